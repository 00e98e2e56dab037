#include "store/FileWatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace plim {

FileWatcher::FileWatcher(const QString& path, QObject* parent)
    : FileWatcher(path, Timings{}, parent) {}

FileWatcher::FileWatcher(const QString& path, Timings timings, QObject* parent)
    : QObject(parent)
    , path_(QDir::cleanPath(QFileInfo(path).absoluteFilePath()))
    , folder_(QFileInfo(path_).absolutePath()) {
    rearmTimer_.setSingleShot(true);
    rearmTimer_.setInterval(timings.rearm);
    debounce_.setSingleShot(true);
    debounce_.setInterval(timings.debounce);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &FileWatcher::fileEvent);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &FileWatcher::folderEvent);
    connect(&rearmTimer_, &QTimer::timeout, this, &FileWatcher::rearm);
    connect(&debounce_, &QTimer::timeout, this, &FileWatcher::changed);
    identity_ = identify(path_);
    arm();
}

FileWatcher::~FileWatcher() {
    // Nothing may reach a half-destroyed watcher.
    debounce_.stop();
    rearmTimer_.stop();
    watcher_.disconnect(this);
}

bool FileWatcher::isWatchingFile() const {
    return watcher_.files().contains(path_) && !fileWatchIsStale(identify(path_));
}

FileWatcher::Identity FileWatcher::identify(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return {};
    }
    return Identity{true,
                    quint64(info.st_dev),
                    quint64(info.st_ino),
                    qint64(info.st_size),
                    qint64(info.st_mtim.tv_sec),
                    qint64(info.st_mtim.tv_nsec)};
}

void FileWatcher::fileEvent() {
    // Only our own file is under the file watch: every event of it counts.
    identity_ = identify(path_);
    if (fileWatchIsStale(identity_)) {
        scheduleRearm();
    }
    fire();
}

void FileWatcher::folderEvent() {
    // Any file in the folder may have caused this; report it only when ours changed.
    const Identity now = identify(path_);
    if (fileWatchIsStale(now)) {
        scheduleRearm();
    }
    if (now != identity_) {
        identity_ = now;
        fire();
    }
}

void FileWatcher::rearm() {
    arm();
    // The path may have changed between the event and now without an event of its own.
    const Identity now = identify(path_);
    if (now != identity_) {
        identity_ = now;
        fire();
    }
}

void FileWatcher::arm() {
    if (!watcher_.directories().contains(folder_) && QFileInfo(folder_).isDir()) {
        watcher_.addPath(folder_);
    }
    const Identity now = identify(path_);
    const bool watched = watcher_.files().contains(path_);
    if (watched && !fileWatchIsStale(now)) {
        return;
    }
    if (watched) {
        // Still on a file that no longer has this name (kept alive by some open handle).
        watcher_.removePath(path_);
    }
    if (now.exists && watcher_.addPath(path_)) {
        watchedFile_ = now;
    }
}

bool FileWatcher::fileWatchIsStale(const Identity& now) const {
    if (!watcher_.files().contains(path_)) {
        return true;
    }
    return !now.exists || now.device != watchedFile_.device || now.inode != watchedFile_.inode;
}

void FileWatcher::scheduleRearm() {
    // Not restarted by later events: a steady stream of them must not postpone the new watch.
    if (!rearmTimer_.isActive()) {
        rearmTimer_.start();
    }
}

void FileWatcher::fire() {
    debounce_.start();
}

} // namespace plim
