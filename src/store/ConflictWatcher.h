#pragma once

#include "store/ConflictMerge.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <chrono>

namespace plim {

// Watches the notes file's folder for the conflict copies a sync tool leaves there (of the notes
// file and of the trash) and reports each once the tool has finished writing it: its size and time
// unchanged for `settle`. A copy is reported once; the same file coming back (an undone merge puts
// it back) is not reported again unless `again` asks for it.
class ConflictWatcher : public QObject {
    Q_OBJECT
public:
    struct Timings {
        std::chrono::milliseconds settle{1000};
        std::chrono::milliseconds poll{250};
    };

    explicit ConflictWatcher(const QString& notesPath, QObject* parent = nullptr);
    ConflictWatcher(const QString& notesPath, Timings timings, QObject* parent = nullptr);

    QString notesPath() const { return notesPath_; }
    // Reports the copy again once it has settled (a merge that could not be made now).
    void again(const QString& path);

Q_SIGNALS:
    void copyReady(const QString& path, plim::ConflictCopies::Of of);

private:
    struct Version {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 mtimeNs = 0;
        friend bool operator==(const Version&, const Version&) = default;
    };
    struct Pending {
        ConflictCopies::Of of = ConflictCopies::Of::Notes;
        Version version;
        std::chrono::steady_clock::time_point since;
    };
    static std::optional<Version> versionOf(const QString& path);
    static QString key(const Version& v);
    void scan();
    void check();

    QString notesPath_;
    Timings timings_;
    QFileSystemWatcher watcher_;
    QTimer poll_;
    QHash<QString, Pending> pending_;
    QSet<QString> reported_; // versions already reported
};

} // namespace plim
