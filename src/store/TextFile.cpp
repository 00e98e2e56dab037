#include "store/TextFile.h"

#include "store/WriteBasis.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

namespace plim {

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

const QString kNotRegular = QStringLiteral("it is not a regular file");

// Reads to the end, however the file grows meanwhile. Returns 0 or the errno.
int readToEnd(int fd, qint64 sizeHint, QByteArray* bytes) {
    // Straight into the buffer, with room for a capture spliced in without moving the whole file
    // to a larger buffer.
    qsizetype size = 0;
    bytes->resize(static_cast<qsizetype>(sizeHint) + 4096);
    for (;;) {
        if (bytes->size() - size < 65536) {
            bytes->resize(size + std::max<qsizetype>(65536, size / 2));
        }
        const ssize_t n = ::read(fd, bytes->data() + size, static_cast<size_t>(bytes->size() - size));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            bytes->truncate(size);
            return 0;
        }
        size += n;
    }
}

} // namespace

FileStamp stampOf(const struct stat& st) {
    FileStamp s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = st.st_size;
    s.mtimeNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    s.ctimeNs = static_cast<qint64>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    return s;
}

FileStamp fileStamp(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return FileStamp{};
    }
    return stampOf(st);
}

TextRead readTextFile(const QString& path, TextRead::Decode decode) {
    TextRead r;
    const QByteArray name = QFile::encodeName(path);
    // Look before opening: opening a FIFO for reading would wait for a writer.
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        const int error = errno;
        r.status = error == ENOENT || error == ENOTDIR ? TextRead::Status::Missing : TextRead::Status::Unreadable;
        r.reason = r.status == TextRead::Status::Missing ? QString() : errnoText(error);
        return r;
    }
    if (!S_ISREG(st.st_mode)) {
        r.status = TextRead::Status::NotRegular;
        r.reason = kNotRegular;
        return r;
    }
    // Non-blocking and checked again once open, in case something else was put there meanwhile.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        r.status = error == ENOENT ? TextRead::Status::Missing : TextRead::Status::Unreadable;
        r.reason = r.status == TextRead::Status::Missing ? QString() : errnoText(error);
        return r;
    }
    r = readTextFrom(fd, decode);
    ::close(fd);
    return r;
}

TextRead readTextFrom(int fd, TextRead::Decode decode) {
    TextRead r;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool regular = S_ISREG(st.st_mode);
        r.status = regular ? TextRead::Status::Unreadable : TextRead::Status::NotRegular;
        r.reason = regular ? errnoText(errno) : kNotRegular;
        return r;
    }
    // Stamp before reading: a change during the read then shows up as a changed stamp later.
    r.stamp = stampOf(st);
    QByteArray bytes;
    const int error = ::lseek(fd, 0, SEEK_SET) < 0 ? errno : readToEnd(fd, st.st_size, &bytes);
    if (error != 0) {
        r.status = TextRead::Status::Unreadable;
        r.reason = errnoText(error);
        return r;
    }
    std::optional<QString> text;
    if (decode == TextRead::Decode::Text) {
        text = decodeText(bytes);
    } else if (decode == TextRead::Decode::Unchecked || isUtf8(bytes)) {
        text.emplace();
    }
    if (!text) {
        r.status = TextRead::Status::NotUtf8;
        r.reason = QStringLiteral("not valid UTF-8 text");
        return r;
    }
    r.status = TextRead::Status::Ok;
    r.text = std::move(*text);
    r.bytes = std::move(bytes);
    return r;
}

bool isUtf8(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        // Mostly ASCII: 32 bytes at a time.
        if (end - p >= 32) {
            quint64 w[4];
            std::memcpy(w, p, sizeof w);
            if (((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080ULL) == 0) {
                p += 32;
                continue;
            }
        }
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        // The shortest form only, no surrogates, nothing above U+10FFFF.
        int more = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (end - p <= more || p[1] < low || p[1] > high) {
            return false;
        }
        for (int i = 2; i <= more; ++i) {
            if (p[i] < 0x80 || p[i] > 0xBF) {
                return false;
            }
        }
        p += more + 1;
    }
    return true;
}

std::optional<QString> decodeText(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

namespace {

// Follows a chain of symlinks to the file that is really written, so a linked notes file stays a link.
QByteArray finalTargetBytes(const QByteArray& path) {
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        char buffer[4096];
        const ssize_t n = ::readlink(current.constData(), buffer, sizeof buffer - 1);
        if (n < 0) {
            return current;
        }
        QByteArray link(buffer, static_cast<qsizetype>(n));
        if (!link.startsWith('/')) {
            // Relative to the link's own folder, not to the working directory.
            const qsizetype slash = current.lastIndexOf('/');
            link = (slash >= 0 ? current.left(slash + 1) : QByteArray()) + link;
        }
        current = link;
    }
    return current;
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash > 0 ? path.left(slash) : (slash == 0 ? QByteArray("/") : QByteArray("."));
}

QByteArray nameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

const QByteArray kTemporaryInfix = ".plim-";
constexpr qsizetype kTemporaryRandom = 6; // mkostemp's XXXXXX

bool writeAll(int fd, const char* data, qsizetype size, int* error) {
    while (size > 0) {
        const ssize_t n = FileSystemCalls::current().write(fd, data, static_cast<size_t>(size));
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

// Not ours to replace: the owner's write bit for our own file (so it holds for root too),
// otherwise what the system grants us.
bool isReadOnly(const struct stat& st, const QByteArray& target) {
    if (st.st_uid == ::geteuid()) {
        return (st.st_mode & S_IWUSR) == 0;
    }
    return ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

} // namespace

QString finalTarget(const QString& path) {
    return QFile::decodeName(finalTargetBytes(QFile::encodeName(path)));
}

PreparedWrite PreparedWrite::prepare(const QString& path, QByteArray bytes, int newFilePermissions) {
    PreparedWrite w;
    w.path_ = path;
    w.target_ = finalTargetBytes(QFile::encodeName(path));

    struct stat existing {};
    const bool exists = ::stat(w.target_.constData(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        w.error_ = errnoText(errno);
        return w;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        w.error_ = kNotRegular;
        return w;
    }
    if (exists && isReadOnly(existing, w.target_)) {
        w.error_ = QStringLiteral("it is read-only");
        return w;
    }
    const mode_t mode = exists ? (existing.st_mode & 07777) : static_cast<mode_t>(newFilePermissions);

    // Hidden, so that file managers and sync folders pass over one a crash left behind.
    const qsizetype slash = w.target_.lastIndexOf('/');
    QByteArray temporary =
        w.target_.left(slash + 1) + '.' + nameOf(w.target_) + kTemporaryInfix + QByteArray(kTemporaryRandom, 'X');
    FileSystemCalls& calls = FileSystemCalls::current();
    const int fd = calls.makeTemporary(temporary.data());
    if (fd < 0) {
        w.error_ = errnoText(errno);
        return w;
    }
    int error = 0;
    bool ok = ::fchmod(fd, mode) == 0 || (error = errno, false);
    if (ok && exists && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
        // Keep the owner where we may (root editing another user's file); failing that is harmless.
        [[maybe_unused]] const int ignored = ::fchown(fd, existing.st_uid, existing.st_gid);
    }
    ok = ok && writeAll(fd, bytes.constData(), bytes.size(), &error);
    // The data must be on disk before the new name points at it, or a crash could leave an empty file.
    ok = ok && (calls.fsync(fd) == 0 || (error = errno, false));
    struct stat written {};
    ok = ok && (::fstat(fd, &written) == 0 || (error = errno, false));
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        w.error_ = errnoText(error);
        return w;
    }
    w.temporary_ = std::move(temporary);
    w.device_ = written.st_dev;
    w.inode_ = written.st_ino;
    w.size_ = bytes.size();
    return w;
}

PreparedWrite::PreparedWrite(PreparedWrite&& other) noexcept
    : path_(std::move(other.path_))
    , target_(std::move(other.target_))
    , temporary_(std::exchange(other.temporary_, QByteArray()))
    , device_(other.device_)
    , inode_(other.inode_)
    , size_(other.size_)
    , error_(std::move(other.error_)) {}

PreparedWrite& PreparedWrite::operator=(PreparedWrite&& other) noexcept {
    if (this != &other) {
        discard();
        path_ = std::move(other.path_);
        target_ = std::move(other.target_);
        temporary_ = std::exchange(other.temporary_, QByteArray());
        device_ = other.device_;
        inode_ = other.inode_;
        size_ = other.size_;
        error_ = std::move(other.error_);
    }
    return *this;
}

PreparedWrite::~PreparedWrite() {
    discard();
}

void PreparedWrite::discard() {
    if (!temporary_.isEmpty()) {
        ::unlink(temporary_.constData());
        temporary_.clear();
    }
}

PreparedWrite::Result PreparedWrite::commit(const FileStamp& expected, const WriteBasis* basis) {
    return finish(&expected, basis);
}

PreparedWrite::Result PreparedWrite::commit() {
    return finish(nullptr, nullptr);
}

PreparedWrite::Result PreparedWrite::finish(const FileStamp* expected, const WriteBasis* basis) {
    Result result;
    if (!ready()) {
        result.reason = error_.isEmpty() ? QStringLiteral("nothing was prepared") : error_;
        return result;
    }
    // The last look and the rename, with nothing slow in between. A program that opened the version
    // for writing since it was read is let finish first.
    if ((basis && basis->beingWritten()) || (expected && fileStamp(path_) != *expected)) {
        discard();
        result.outcome = Outcome::TargetMoved;
        return result;
    }
    FileSystemCalls& calls = FileSystemCalls::current();
    // Swapped rather than renamed over, where the file system can: whatever got in between the
    // look and the swap is then still at hand, under the temporary's name, and goes back.
    bool swapped = false;
    if (expected && expected->exists) {
        swapped = calls.exchange(temporary_.constData(), target_.constData()) == 0;
        const int error = errno;
        if (!swapped && error != EINVAL && error != ENOSYS && error != ENOTSUP && error != ENOENT) {
            result.reason = errnoText(error);
            discard();
            return result;
        }
        if (swapped && !swappedOutAsExpected(*expected, basis)) {
            return swapBack();
        }
    }
    if (!swapped && calls.rename(temporary_.constData(), target_.constData()) != 0) {
        result.reason = errnoText(errno);
        discard();
        return result;
    }
    result.outcome = Outcome::Committed;
    struct stat st {};
    if (::stat(QFile::encodeName(path_).constData(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_ &&
        st.st_size == size_) {
        result.stamp = stampOf(st);
    }
    if (swapped) {
        ::unlink(temporary_.constData());
    } else if (expected && expected->exists) {
        result.replaced = writtenSince(*expected, basis);
    }
    temporary_.clear();
    // Make the rename itself durable.
    const int dir = ::open(folderOf(target_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return result;
}

bool PreparedWrite::swappedOutAsExpected(const FileStamp& expected, const WriteBasis* basis) const {
    struct stat old {};
    return ::lstat(temporary_.constData(), &old) == 0 && quint64(old.st_dev) == expected.device &&
           quint64(old.st_ino) == expected.inode && old.st_size == expected.size &&
           static_cast<qint64>(old.st_mtim.tv_sec) * 1'000'000'000 + old.st_mtim.tv_nsec == expected.mtimeNs &&
           !(basis && basis->beingWritten());
}

PreparedWrite::Result PreparedWrite::swapBack() {
    Result result;
    result.outcome = Outcome::TargetMoved;
    FileSystemCalls& calls = FileSystemCalls::current();
    const auto readTemporary = [this] {
        QFile file(QFile::decodeName(temporary_));
        return file.open(QIODevice::ReadOnly) ? std::optional(file.readAll()) : std::nullopt;
    };
    if (calls.exchange(temporary_.constData(), target_.constData()) != 0) {
        // Ours stays; what got in is handed back to be written in.
        result.outcome = Outcome::Committed;
        result.replaced = readTemporary();
        ::unlink(temporary_.constData());
        temporary_.clear();
        return result;
    }
    struct stat back {};
    if (::lstat(temporary_.constData(), &back) != 0 || quint64(back.st_dev) != device_ ||
        quint64(back.st_ino) != inode_) {
        // Yet another file got in between the two swaps: the newest goes back in place, and what
        // the one before it held is handed back.
        calls.exchange(temporary_.constData(), target_.constData());
        result.replaced = readTemporary();
    }
    discard();
    return result;
}

std::optional<QByteArray> PreparedWrite::writtenSince(const FileStamp& expected, const WriteBasis* basis) {
    // The version read, written into between the look and the rename by a program that had it
    // open. One still at it is not waited for here: the caller looks at it again through the basis.
    if (!basis || !basis->isOpen() || basis->beingWritten()) {
        return std::nullopt;
    }
    const FileStamp now = basis->stamp();
    if (now.size == expected.size && now.mtimeNs == expected.mtimeNs) {
        return std::nullopt;
    }
    return basis->readBytes();
}

std::optional<QString> writeTextFileAtomically(const QString& path, const QByteArray& bytes, int newFilePermissions) {
    PreparedWrite write = PreparedWrite::prepare(path, bytes, newFilePermissions);
    if (!write.ready()) {
        return write.error();
    }
    const PreparedWrite::Result result = write.commit();
    if (!result.committed()) {
        return result.reason;
    }
    return std::nullopt;
}

std::optional<QString> writeTextFileAtomically(const QString& path, QStringView text, int newFilePermissions) {
    return writeTextFileAtomically(path, text.toUtf8(), newFilePermissions);
}

int removeStaleTemporaries(const QString& notesPath) {
    const QByteArray target = finalTargetBytes(QFile::encodeName(notesPath));
    const QByteArray prefix = '.' + nameOf(target) + kTemporaryInfix;
    DIR* dir = ::opendir(folderOf(target).constData());
    if (!dir) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.size() != prefix.size() + kTemporaryRandom || !name.startsWith(prefix)) {
            continue;
        }
        const QByteArray random = name.right(kTemporaryRandom);
        const bool generated = std::all_of(random.begin(), random.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        });
        struct stat st {};
        if (generated && ::fstatat(::dirfd(dir), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && ::unlinkat(::dirfd(dir), name.constData(), 0) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

FileSystemCalls* FileSystemCalls::installed_ = nullptr;

int FileSystemCalls::makeTemporary(char* pattern) {
    return ::mkostemp(pattern, O_CLOEXEC);
}

ssize_t FileSystemCalls::write(int fd, const void* data, size_t size) {
    return ::write(fd, data, size);
}

int FileSystemCalls::fsync(int fd) {
    return ::fsync(fd);
}

int FileSystemCalls::rename(const char* from, const char* to) {
    return ::rename(from, to);
}

int FileSystemCalls::exchange(const char* from, const char* to) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_EXCHANGE);
}

FileSystemCalls& FileSystemCalls::current() {
    static FileSystemCalls real;
    return installed_ ? *installed_ : real;
}

FileSystemCalls::Override::Override(FileSystemCalls& calls)
    : previous_(std::exchange(installed_, &calls)) {}

FileSystemCalls::Override::~Override() {
    installed_ = previous_;
}

} // namespace plim
