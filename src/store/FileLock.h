#pragma once

#include <QString>

#include <chrono>
#include <optional>

namespace plim {

// Makes plim processes take turns on one notes file: an advisory flock on a lock file in the
// per-user runtime folder ($XDG_RUNTIME_DIR/plim, 0700), named from the notes file's canonical
// path. It is kept out of the notes folder, where a sync service would carry it to other
// computers. The lock belongs to this object's open file: a second FileLock on the same file, even
// in the same process, is refused while the first holds it.
class FileLock {
public:
    explicit FileLock(const QString& notesPath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // The folder that holds the lock files.
    static QString lockFolder();
    // The lock file for a notes file; the same for every path that names the same file
    // (symlinks, relative paths, a file that does not exist yet).
    static QString lockPathFor(const QString& notesPath);

    const QString& path() const { return lockPath_; }

    // Takes the lock if it is free; never waits. True also when this object already holds it.
    bool tryLock();
    // Waits at most `timeout` for the lock. Returns why it could not be taken.
    std::optional<QString> lock(std::chrono::milliseconds timeout);
    void unlock();
    bool isLocked() const { return fd_ >= 0; }

private:
    enum class Attempt { Locked, Busy, Failed };
    Attempt attempt(QString* reason);

    QString lockPath_;
    int fd_ = -1;
};

} // namespace plim
