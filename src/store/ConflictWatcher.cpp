#include "store/ConflictWatcher.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace plim {

ConflictWatcher::ConflictWatcher(const QString& notesPath, QObject* parent)
    : ConflictWatcher(notesPath, Timings{}, parent) {}

ConflictWatcher::ConflictWatcher(const QString& notesPath, Timings timings, QObject* parent)
    : QObject(parent)
    , notesPath_(QFileInfo(notesPath).absoluteFilePath())
    , timings_(timings) {
    poll_.setInterval(timings_.poll);
    connect(&poll_, &QTimer::timeout, this, &ConflictWatcher::check);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &ConflictWatcher::scan);
    const QString folder = QFileInfo(notesPath_).absolutePath();
    if (QFileInfo(folder).isDir()) {
        watcher_.addPath(folder);
    }
    // Copies made while the program was not running count as new.
    scan();
}

std::optional<ConflictWatcher::Version> ConflictWatcher::versionOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return Version{quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
                   qint64(info.st_mtim.tv_sec) * 1000000000 + qint64(info.st_mtim.tv_nsec)};
}

QString ConflictWatcher::key(const Version& v) {
    return QStringLiteral("%1:%2:%3:%4").arg(v.device).arg(v.inode).arg(v.size).arg(v.mtimeNs);
}

void ConflictWatcher::again(const QString& path) {
    if (const auto v = versionOf(path)) {
        reported_.remove(key(*v));
    }
    scan();
}

void ConflictWatcher::scan() {
    const auto now = std::chrono::steady_clock::now();
    for (const ConflictCopies::Found& found : ConflictCopies::find(notesPath_)) {
        const auto v = versionOf(found.path);
        if (!v || reported_.contains(key(*v)) || pending_.contains(found.path)) {
            continue;
        }
        pending_.insert(found.path, Pending{found.of, *v, now});
    }
    if (!pending_.isEmpty() && !poll_.isActive()) {
        poll_.start();
    }
}

void ConflictWatcher::check() {
    const auto now = std::chrono::steady_clock::now();
    QList<std::pair<QString, ConflictCopies::Of>> ready;
    for (auto it = pending_.begin(); it != pending_.end();) {
        const auto v = versionOf(it.key());
        if (!v) {
            it = pending_.erase(it);
            continue;
        }
        if (*v != it->version) {
            // Still being written.
            it->version = *v;
            it->since = now;
        } else if (now - it->since >= timings_.settle) {
            reported_.insert(key(*v));
            ready.append({it.key(), it->of});
            it = pending_.erase(it);
            continue;
        }
        ++it;
    }
    if (pending_.isEmpty()) {
        poll_.stop();
    }
    for (const auto& [path, of] : ready) {
        Q_EMIT copyReady(path, of);
    }
}

} // namespace plim
