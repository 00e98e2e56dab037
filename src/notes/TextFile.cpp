#include "notes/TextFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
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

std::optional<QString> writeTextFileAtomically(const QString& path, QStringView text, int newFilePermissions) {
    const QByteArray native = QFile::encodeName(path);
    // A new file starts private: create it with the wanted mode so the rename keeps it.
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          static_cast<mode_t>(newFilePermissions));
    if (fd >= 0) {
        ::close(fd);
    } else if (errno != EEXIST) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return file.errorString();
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    // QSaveFile flushes and syncs the temporary file before renaming it over the target.
    if (!file.commit()) {
        return file.errorString();
    }
    return std::nullopt;
}

} // namespace plim
