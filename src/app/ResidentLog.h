#pragma once

#include <QString>

#include <cstdio>
#include <mutex>

namespace plim {

// A log file that never grows past `limit` bytes: the file that would become the one old copy
// (path + ".1", replacing the one before) and a new one is begun. Lines are stamped with the local
// time. Safe from any thread.
class LogFile {
public:
    static constexpr qint64 kLimit = 1024 * 1024;

    explicit LogFile(QString path, qint64 limit = kLimit);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    const QString& path() const { return path_; }
    void append(const QString& line);

private:
    bool open();

    QString path_;
    qint64 limit_;
    int fd_ = -1;
    std::mutex mutex_;
};

// The resident program's messages, Qt's warnings among them, go to its standard error (the
// launcher's terminal or the session's journal, when it had one) and to the log file
// $XDG_STATE_HOME/plim/plim.log.
void installResidentLog();
// The log file's path.
QString residentLogPath();
// Prints one line of the resident program on `stream` and, once installed, into its log file.
void residentSay(std::FILE* stream, const QString& line);

} // namespace plim
