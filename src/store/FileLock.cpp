#include "store/FileLock.h"
#include "store/RuntimeFolder.h"
#include "store/TextFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace plim {

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The real path of a file that may not exist yet: the deepest folder that exists is resolved, the
// rest kept as written.
QString canonicalOf(const QString& path) {
    const QString real = QFileInfo(path).canonicalFilePath();
    if (!real.isEmpty()) {
        return real;
    }
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash <= 0) {
        return QDir::cleanPath(path);
    }
    return canonicalOf(path.left(slash)) + path.mid(slash);
}

} // namespace

FileLock::FileLock(const QString& notesPath)
    : lockPath_(lockPathFor(notesPath)) {}

FileLock::~FileLock() {
    unlock();
}

QString FileLock::lockFolder() {
    return runtimeFolder();
}

QString FileLock::lockPathFor(const QString& notesPath) {
    // The file a write really replaces, so a symlink and its target share one lock.
    const QString target = finalTarget(QFileInfo(notesPath).absoluteFilePath());
    const QString canonical = canonicalOf(QFileInfo(target).absoluteFilePath());
    const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(canonical), QCryptographicHash::Sha256);
    return lockFolder() + QLatin1Char('/') + QString::fromLatin1(hash.toHex().left(32)) + QStringLiteral(".lock");
}

FileLock::Attempt FileLock::attempt(QString* reason) {
    if (fd_ >= 0) {
        return Attempt::Locked;
    }
    if (const auto failure = ensurePrivateFolder(lockFolder())) {
        *reason = *failure;
        return Attempt::Failed;
    }
    const int fd = ::open(QFile::encodeName(lockPath_).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *reason = QStringLiteral("cannot open %1 (%2)").arg(lockPath_, errnoText(errno));
        return Attempt::Failed;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return Attempt::Busy;
        }
        *reason = QStringLiteral("cannot lock %1 (%2)").arg(lockPath_, errnoText(error));
        return Attempt::Failed;
    }
    fd_ = fd;
    return Attempt::Locked;
}

bool FileLock::tryLock() {
    QString reason;
    return attempt(&reason) == Attempt::Locked;
}

std::optional<QString> FileLock::lock(std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    // Short sleeps: a writer holds the lock for milliseconds.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        QString reason;
        switch (attempt(&reason)) {
        case Attempt::Locked:
            return std::nullopt;
        case Attempt::Failed:
            return reason;
        case Attempt::Busy:
            break;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return QStringLiteral("another plim process is writing it");
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

void FileLock::unlock() {
    if (fd_ >= 0) {
        // Closing the only descriptor of this open file releases the lock. The file stays: removing
        // it could let two processes lock two different files of the same name.
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace plim
