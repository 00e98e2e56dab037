#include "store/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plim {

FileStamp fileStamp(const QString& path) {
    struct stat st {};
    FileStamp s;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return s;
    }
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    s.ctimeNs = static_cast<qint64>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    return s;
}

TextRead readTextFile(const QString& path) {
    TextRead r;
    QFile file(path);
    // Stamp before reading: a change during the read then shows up as a changed stamp later.
    r.stamp = fileStamp(path);
    if (!file.exists()) {
        r.status = TextRead::Status::Missing;
        return r;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        r.status = TextRead::Status::Unreadable;
        r.reason = file.errorString();
        return r;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        r.status = TextRead::Status::Unreadable;
        r.reason = file.errorString();
        return r;
    }
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        r.status = TextRead::Status::NotUtf8;
        r.reason = QStringLiteral("not valid UTF-8 text");
        return r;
    }
    r.status = TextRead::Status::Ok;
    r.text = std::move(text);
    return r;
}

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Follows a chain of symlinks to the file that is really written, so a linked notes file stays a link.
QByteArray finalTarget(const QByteArray& path) {
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        char buffer[4096];
        const ssize_t n = ::readlink(current.constData(), buffer, sizeof buffer - 1);
        if (n < 0) {
            return current;
        }
        QByteArray link(buffer, static_cast<qsizetype>(n));
        if (!link.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            link = (slash >= 0 ? current.left(slash + 1) : QByteArray()) + link;
        }
        current = link;
    }
    return current;
}

bool writeAll(int fd, const char* data, qsizetype size, int* error) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = errno;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

std::optional<QString> writeTextFileAtomically(const QString& path, QStringView text, int newFilePermissions) {
    const QByteArray target = finalTarget(QFile::encodeName(path));
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? target.left(slash) : (slash == 0 ? QByteArray("/") : QByteArray("."));

    struct stat existing {};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    const mode_t mode = exists ? (existing.st_mode & 07777) : static_cast<mode_t>(newFilePermissions);

    QByteArray temporary = target + ".plim-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return errnoText(errno);
    }
    int error = 0;
    const QByteArray bytes = text.toUtf8();
    bool ok = ::fchmod(fd, mode) == 0 || (error = errno, false);
    if (ok && exists && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
        // Keep the owner where we may (root editing another user's file); failing that is harmless.
        [[maybe_unused]] const int ignored = ::fchown(fd, existing.st_uid, existing.st_gid);
    }
    ok = ok && writeAll(fd, bytes.constData(), bytes.size(), &error);
    // The data must be on disk before the new name points at it, or a crash could leave an empty file.
    ok = ok && (::fsync(fd) == 0 || (error = errno, false));
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    ok = ok && (::rename(temporary.constData(), target.constData()) == 0 || (error = errno, false));
    if (!ok) {
        ::unlink(temporary.constData());
        return errnoText(error);
    }
    // Make the rename itself durable.
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

} // namespace plim
