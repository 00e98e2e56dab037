#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace plim {

// Follows one file path (not the first file found there) and emits `changed` once a burst of
// changes has settled. It watches the file and its folder: an atomic save by any program
// replaces the file and ends a watch on the old one, so the file watch is renewed a moment after
// such a replacement, and the folder watch sees the file being replaced, deleted or coming back.
// Changes to other files in the folder are not reported. Destroying the watcher stops it.
class FileWatcher : public QObject {
    Q_OBJECT
public:
    struct Timings {
        // After the file was replaced or removed, when to watch what the path now names.
        std::chrono::milliseconds rearm{200};
        // Quiet time after the last event before `changed` is emitted.
        std::chrono::milliseconds debounce{300};
    };

    explicit FileWatcher(const QString& path, QObject* parent = nullptr);
    FileWatcher(const QString& path, Timings timings, QObject* parent = nullptr);
    ~FileWatcher() override;

    // The watched path, absolute.
    QString path() const { return path_; }
    // Whether the file itself (as the path names it now) is under watch.
    bool isWatchingFile() const;

Q_SIGNALS:
    void changed();

private:
    // Enough of the file's state to tell whether an event in the folder concerned it.
    struct Identity {
        bool exists = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedSeconds = 0;
        qint64 modifiedNanoseconds = 0;
        friend bool operator==(const Identity&, const Identity&) = default;
    };
    static Identity identify(const QString& path);

    void fileEvent();
    void folderEvent();
    // Watches the file and folder as the path names them now; a change missed meanwhile fires.
    void rearm();
    void arm();
    bool fileWatchIsStale(const Identity& now) const;
    void scheduleRearm();
    void fire();

    QString path_;
    QString folder_;
    Identity identity_;    // as of the last event
    Identity watchedFile_; // the file the watch was put on
    QFileSystemWatcher watcher_;
    QTimer rearmTimer_;
    QTimer debounce_;
};

} // namespace plim
