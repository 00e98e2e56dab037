#include "store/WriteBasis.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace plim {

namespace {

using namespace std::chrono_literals;

constexpr auto kPollInterval = 5ms;

enum class Writers { None, Some, Unknown };

// Someone opening a file while we hold a lease on it sends SIGIO, which would end the program.
void ignoreLeaseBreaks() {
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        struct sigaction current {};
        if (::sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            ::signal(SIGIO, SIG_IGN);
        }
    });
}

// Whether anyone has the file open for writing: a read lease is refused exactly then. The lease is
// let go at once; a program opening the file in that instant is held up for no longer.
Writers writersOf(int fd) {
    ignoreLeaseBreaks();
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return Writers::None;
    }
    return errno == EAGAIN ? Writers::Some : Writers::Unknown;
}

} // namespace

WriteBasis::WriteBasis(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    // Look before opening: opening a FIFO for reading would wait for a writer.
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

WriteBasis::~WriteBasis() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

WriteBasis::WriteBasis(WriteBasis&& other) noexcept
    : fd_(std::exchange(other.fd_, -1))
    , guarded_(std::exchange(other.guarded_, false)) {}

WriteBasis& WriteBasis::operator=(WriteBasis&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        guarded_ = std::exchange(other.guarded_, false);
    }
    return *this;
}

FileStamp WriteBasis::stamp() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        return {};
    }
    return stampOf(st);
}

bool WriteBasis::beingWritten() const {
    if (fd_ < 0) {
        return false;
    }
    switch (writersOf(fd_)) {
    case Writers::None:
        return false;
    case Writers::Some:
        return true;
    case Writers::Unknown:
        break;
    }
    // A writer usually ends its last line; one that did not, a moment ago, may still be at it.
    struct stat st {};
    char last = '\n';
    if (::fstat(fd_, &st) != 0 || st.st_size == 0 || ::pread(fd_, &last, 1, st.st_size - 1) != 1 || last == '\n') {
        return false;
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto age = std::chrono::seconds(now.tv_sec - st.st_mtim.tv_sec) +
                     std::chrono::nanoseconds(now.tv_nsec - st.st_mtim.tv_nsec);
    return age < kCutLineFresh && age > -kCutLineFresh;
}

bool WriteBasis::guardAgainstWriters() {
    if (fd_ < 0) {
        return false;
    }
    ignoreLeaseBreaks();
    guarded_ = ::fcntl(fd_, F_SETLEASE, F_RDLCK) == 0;
    return guarded_;
}

bool WriteBasis::endGuard() {
    if (!std::exchange(guarded_, false)) {
        return false;
    }
    // A pending break reads as the type the lease is being broken to.
    const bool untouched = ::fcntl(fd_, F_GETLEASE) == F_RDLCK;
    ::fcntl(fd_, F_SETLEASE, F_UNLCK); // an opener waiting for it goes on at once
    return untouched;
}

bool WriteBasis::waitWhileWritten(Deadline deadline) const {
    while (beingWritten()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

TextRead WriteBasis::read(TextRead::Decode decode) const {
    if (fd_ < 0) {
        return {};
    }
    return readTextFrom(fd_, decode);
}

QByteArray WriteBasis::readBytes() const {
    QByteArray bytes;
    if (fd_ < 0) {
        return bytes;
    }
    char chunk[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd_, chunk, sizeof chunk, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return bytes;
        }
        bytes.append(chunk, static_cast<qsizetype>(n));
        at += n;
    }
}

} // namespace plim
