#include "app/Instance.h"

#include "app/ResidentLog.h"
#include "platform/linux/DisplayCheck.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLocalSocket>
#include <QProcess>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace plim {

namespace {

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

// A client that answers a shortcut must come back at once; these bound every wait. A start may
// first wait for a program on its way out, or take over from one that no longer listens.
constexpr auto kHandoverTimeout = 2s;
constexpr auto kStartTimeout = 10s;
constexpr auto kStartPoll = 10ms;
// A lock file without its holder's pid is taken over only once it cannot be one still being written.
constexpr qint64 kUnreadableLockAgeMs = 5000;

QByteArray startupToken() {
    const QByteArray activation = qgetenv("XDG_ACTIVATION_TOKEN");
    return activation.isEmpty() ? qgetenv("DESKTOP_STARTUP_ID") : activation;
}

// Whether the program should keep this stream of the command: a terminal (someone reads it) or the
// session's journal (what the desktop gives the programs it starts, named by JOURNAL_STREAM).
// Anything else, such as the pipe of a program that runs shortcuts, would keep its reader waiting
// for the program to end.
bool worthKeeping(int fd) {
    if (::isatty(fd)) {
        return true;
    }
    const QList<QByteArray> journal = qgetenv("JOURNAL_STREAM").split(':');
    struct stat stream {};
    if (journal.size() != 2 || ::fstat(fd, &stream) != 0) {
        return false;
    }
    bool deviceOk = false;
    bool inodeOk = false;
    const qulonglong device = journal.at(0).toULongLong(&deviceOk);
    const qulonglong inode = journal.at(1).toULongLong(&inodeOk);
    return deviceOk && inodeOk && stream.st_dev == device && stream.st_ino == inode;
}

// Starts this executable as the resident program in a session of its own, so whoever ran the
// command neither waits for it nor takes it down. Its messages go where the command's go when
// someone can see them there (they also go to its log file), else nowhere.
bool startResident(qint64* pid) {
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments({QStringLiteral("--resident")});
    process.setWorkingDirectory(QDir::rootPath());
    process.setStandardInputFile(QProcess::nullDevice());
    if (!worthKeeping(STDOUT_FILENO)) {
        process.setStandardOutputFile(QProcess::nullDevice());
    }
    if (!worthKeeping(STDERR_FILENO)) {
        process.setStandardErrorFile(QProcess::nullDevice());
    }
    // The token belongs to this request, which carries it; the program must not spend it at start.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
    environment.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
    process.setProcessEnvironment(environment);
    return process.startDetached(pid);
}

std::chrono::milliseconds left(const QDeadlineTimer& deadline) {
    return std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0));
}

} // namespace

QString instanceFolder() {
    return runtimeFolder();
}

QString displayKey(const QString& x11Display, const QString& waylandDisplay) {
    QString key;
    if (!waylandDisplay.isEmpty()) {
        key = waylandDisplay;
    } else if (!x11Display.isEmpty()) {
        // host:display.screen; the screen and a local "unix" host name no other display.
        QString host = x11Display.section(u':', 0, -2);
        QString number = x11Display.section(u':', -1).section(u'.', 0, 0);
        if (host == u"unix") {
            host.clear();
        }
        key = u'x' + (host.isEmpty() ? number : host + u'-' + number);
    } else {
        return {};
    }
    QString safe;
    for (const QChar c : std::as_const(key)) {
        safe += c.isLetterOrNumber() && c.unicode() < 128 ? c : u'-';
    }
    // The socket's whole path must fit in sun_path (108 bytes): a long name (a Wayland socket
    // given by its path) is shortened to a digest.
    if (safe.size() > 24) {
        safe = QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    }
    return safe;
}

QString displayKey() {
    return displayKey(qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("WAYLAND_DISPLAY"));
}

QString instanceSocketPath(const QString& folder, const QString& display) {
    return folder + (display.isEmpty() ? QStringLiteral("/instance") : u"/instance-"_s + display) + u".socket"_s;
}

QString instanceLockPath(const QString& folder, const QString& display) {
    return folder + (display.isEmpty() ? QStringLiteral("/instance") : u"/instance-"_s + display) + u".lock"_s;
}

// --- InstanceServer ---

namespace {

// A connection refused for want of descriptors is tried again after this pause.
constexpr auto kAcceptBackOff = 100ms;
// A lock this fresh may belong to a program about to listen.
constexpr qint64 kStartingLockAgeMs = 1000;
// How long a start may spend taking over from a program that holds the lock but does not listen,
// and how long such a program has to save and end once asked (its last changes may wait up to
// three seconds for the notes file).
constexpr auto kTakeOverWithin = 8s;
constexpr auto kQuitGrace = 4s;
constexpr auto kTakeOverPoll = 50ms;

std::optional<sockaddr_un> socketAddress(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (bytes.size() >= qsizetype(sizeof address.sun_path)) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, bytes.constData(), static_cast<size_t>(bytes.size()));
    return address;
}

// Whether a program takes connections on the socket (a full queue counts: someone listens).
bool listening(const QString& path) {
    const auto address = socketAddress(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (!address || fd < 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0 || errno == EAGAIN;
    ::close(fd);
    return connected;
}

// Whether the process is a resident plim program (and not a process that took a dead one's pid).
bool isResident(qint64 pid) {
    QFile file(u"/proc/%1/cmdline"_s.arg(pid));
    if (pid <= 0 || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QList<QByteArray> arguments = file.readAll().split('\0');
    return arguments.size() >= 2 && arguments.at(1) == "--resident";
}

// What a client sent so far, without waiting; `ended` when it closed its side.
QByteArray receiveAvailable(int fd, bool* ended) {
    QByteArray received;
    char buffer[InstanceFrame::kHeaderSize + InstanceFrame::kMaxToken];
    *ended = false;
    while (received.size() < qsizetype(sizeof buffer)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer - static_cast<size_t>(received.size()), MSG_DONTWAIT);
        if (n > 0) {
            received.append(buffer, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            *ended = n == 0;
            break;
        }
    }
    return received;
}

} // namespace

InstanceServer::InstanceServer(QString folder, QString display, QObject* parent)
    : QObject(parent)
    , folder_(std::move(folder))
    , display_(std::move(display))
    , lock_(instanceLockPath(folder_, display_)) {
    // Age never makes the lock stale: the program runs for weeks. Only its holder's death does.
    lock_.setStaleLockTime(0);
}

InstanceServer::~InstanceServer() {
    for (QLocalSocket* socket : std::exchange(clients_, {})) {
        delete socket;
    }
    // The socket goes first: whoever takes the lock next finds no socket of ours.
    stopListening();
    lock_.unlock();
}

bool InstanceServer::takeLock() {
    if (lock_.tryLock(0)) {
        return true;
    }
    if (lock_.error() != QLockFile::LockFailedError) {
        return false;
    }
    // QLockFile takes over from a dead holder by itself, but never from one killed before it wrote
    // its pid: the empty file would keep every later program out.
    qint64 pid = 0;
    QString host;
    QString application;
    const bool unreadable = !lock_.getLockInfo(&pid, &host, &application);
    const QDateTime written = QFileInfo(instanceLockPath(folder_, display_)).lastModified();
    if (!unreadable || written.msecsTo(QDateTime::currentDateTime()) <= kUnreadableLockAgeMs) {
        return false;
    }
    // Removing is refused while a live process holds the file's lock, so a wrong guess is harmless.
    return lock_.removeStaleLockFile() && lock_.tryLock(0);
}

// A program that holds the lock but takes no connections (its socket deleted under a version of
// plim that did not make it again, or a program stopped) would keep every later start out, and
// every command failing. It is asked to end as on logout, and ended when it has not within
// kQuitGrace. One on its way out has already stopped listening: it ends by itself meanwhile.
bool InstanceServer::takeOverFromSilentHolder() {
    const QString socket = instanceSocketPath(folder_, display_);
    const QString lockPath = instanceLockPath(folder_, display_);
    const QDeadlineTimer deadline(kTakeOverWithin);
    std::optional<QDeadlineTimer> asked;
    while (!deadline.hasExpired()) {
        if (listening(socket)) {
            return false;
        }
        qint64 pid = 0;
        QString host;
        QString application;
        // A lock without a pid is takeLock's to judge.
        if (!lock_.getLockInfo(&pid, &host, &application)) {
            return false;
        }
        const bool fresh =
            QFileInfo(lockPath).lastModified().msecsTo(QDateTime::currentDateTime()) <= kStartingLockAgeMs;
        if (!fresh && isResident(pid)) {
            if (!asked) {
                ::kill(static_cast<pid_t>(pid), SIGTERM);
                asked = QDeadlineTimer(kQuitGrace);
            } else if (asked->hasExpired()) {
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            }
        }
        QThread::msleep(static_cast<unsigned long>(kTakeOverPoll.count()));
        if (takeLock()) {
            return true;
        }
        if (lock_.error() != QLockFile::LockFailedError) {
            return false;
        }
    }
    return false;
}

InstanceServer::Start InstanceServer::start(QString* error) {
    const auto fail = [error](const QString& why) {
        if (error) {
            *error = why;
        }
        return Start::Failed;
    };
    if (const auto problem = ensurePrivateFolder(folder_)) {
        return fail(*problem);
    }
    if (!takeLock()) {
        if (lock_.error() != QLockFile::LockFailedError) {
            return fail(QStringLiteral("cannot take the lock %1").arg(instanceLockPath(folder_, display_)));
        }
        if (!takeOverFromSilentHolder()) {
            return lock_.error() == QLockFile::LockFailedError
                       ? Start::AlreadyRunning
                       : fail(QStringLiteral("cannot take the lock %1").arg(instanceLockPath(folder_, display_)));
        }
    }
    QString why;
    if (!listen(&why)) {
        lock_.unlock();
        return fail(why);
    }
    backOff_ = std::make_unique<QTimer>();
    backOff_->setSingleShot(true);
    connect(backOff_.get(), &QTimer::timeout, this, [this] {
        if (acceptable_) {
            acceptable_->setEnabled(true);
            acceptClients();
        }
    });
    // A deleted socket file is made again: without it no command could reach the program.
    folderWatch_ = std::make_unique<QFileSystemWatcher>(QStringList{folder_});
    connect(folderWatch_.get(), &QFileSystemWatcher::directoryChanged, this, &InstanceServer::checkSocketFile);
    return Start::Listening;
}

bool InstanceServer::listen(QString* error) {
    const QString path = instanceSocketPath(folder_, display_);
    const auto address = socketAddress(path);
    if (!address) {
        *error = QStringLiteral("cannot listen on %1 (the path is too long)").arg(path);
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    // A socket left by a killed program would refuse the new one.
    ::unlink(name.constData());
    struct stat made {};
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0 ||
        ::chmod(name.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd, SOMAXCONN) != 0 ||
        ::stat(name.constData(), &made) != 0) {
        *error = QStringLiteral("cannot listen on %1 (%2)").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    listener_ = fd;
    socketDevice_ = made.st_dev;
    socketInode_ = made.st_ino;
    acceptable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(acceptable_.get(), &QSocketNotifier::activated, this, &InstanceServer::acceptClients);
    return true;
}

void InstanceServer::stopListening() {
    if (listener_ < 0) {
        return;
    }
    folderWatch_.reset();
    acceptable_.reset();
    if (backOff_) {
        backOff_->stop();
    }
    ::close(std::exchange(listener_, -1));
    // Only the socket this program made.
    const QByteArray name = QFile::encodeName(instanceSocketPath(folder_, display_));
    struct stat now {};
    if (::stat(name.constData(), &now) == 0 && now.st_dev == socketDevice_ && now.st_ino == socketInode_) {
        ::unlink(name.constData());
    }
}

void InstanceServer::checkSocketFile() {
    if (listener_ < 0) {
        return;
    }
    const QByteArray name = QFile::encodeName(instanceSocketPath(folder_, display_));
    struct stat now {};
    if (::stat(name.constData(), &now) == 0 && now.st_dev == socketDevice_ && now.st_ino == socketInode_) {
        return;
    }
    acceptable_.reset();
    ::close(std::exchange(listener_, -1));
    QString why;
    if (ensurePrivateFolder(folder_) || !listen(&why)) {
        residentSay(stderr, QStringLiteral("plim: the socket was deleted and cannot be made again: ") + why);
        return;
    }
    // A deleted folder takes its watch along.
    if (!folderWatch_->directories().contains(folder_)) {
        folderWatch_->addPath(folder_);
    }
}

void InstanceServer::pauseAccepting() {
    acceptable_->setEnabled(false);
    backOff_->start(kAcceptBackOff);
}

void InstanceServer::acceptClients() {
    while (listener_ >= 0) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                // Out of descriptors or memory, for a moment: the clients stay queued meanwhile,
                // and the one held longest makes room.
                if (!clients_.empty()) {
                    clients_.front()->abort();
                }
                pauseAccepting();
            }
            return;
        }
        // A command sends its frame as it connects: most are answered here and never held.
        bool ended = false;
        QByteArray received = receiveAvailable(fd, &ended);
        if (answer(fd, received)) {
            continue;
        }
        if (ended) {
            ::close(fd);
            continue;
        }
        hold(fd, std::move(received));
    }
}

bool InstanceServer::answer(int fd, const QByteArray& received) {
    const InstanceFrame::Decoded decoded = InstanceFrame::decode(received);
    if (decoded.status == InstanceFrame::Decoded::Status::Incomplete) {
        return false;
    }
    const bool complete = decoded.status == InstanceFrame::Decoded::Status::Complete;
    const char reply = complete ? InstanceFrame::kAccepted : InstanceFrame::kRefused;
    [[maybe_unused]] const ssize_t sent = ::send(fd, &reply, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
    if (complete) {
        Q_EMIT requested(decoded.message);
    }
    return true;
}

void InstanceServer::hold(int fd, QByteArray received) {
    if (clients_.size() >= kMaxClients) {
        // The one waiting longest has had more time than any other to say something.
        QLocalSocket* oldest = clients_.front();
        clients_.pop_front();
        oldest->abort();
        oldest->deleteLater();
    }
    auto* socket = new QLocalSocket(this);
    if (!socket->setSocketDescriptor(fd)) {
        ::close(fd);
        delete socket;
        return;
    }
    clients_.push_back(socket);
    // The socket is the server's child and owns its timer; what it sent so far lives in the lambda.
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    connect(socket, &QObject::destroyed, this, [this, socket] { forget(socket); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this,
            [this, socket, received = std::move(received)]() mutable { onReadable(socket, received); });
    timer->start(clientTimeout_);
}

void InstanceServer::forget(QLocalSocket* socket) {
    const auto at = std::find(clients_.begin(), clients_.end(), socket);
    if (at != clients_.end()) {
        clients_.erase(at);
    }
}

void InstanceServer::onReadable(QLocalSocket* socket, QByteArray& received) {
    if (socket->state() != QLocalSocket::ConnectedState || !socket->isReadable()) {
        return;
    }
    received += socket->read(InstanceFrame::kHeaderSize + InstanceFrame::kMaxToken - received.size());
    const InstanceFrame::Decoded decoded = InstanceFrame::decode(received);
    if (decoded.status == InstanceFrame::Decoded::Status::Incomplete) {
        return;
    }
    forget(socket);
    const bool complete = decoded.status == InstanceFrame::Decoded::Status::Complete;
    socket->write(QByteArray(1, complete ? InstanceFrame::kAccepted : InstanceFrame::kRefused));
    socket->flush();
    socket->disconnectFromServer();
    if (complete) {
        Q_EMIT requested(decoded.message);
    }
}

// --- client ---

Handover sendRequest(const QString& socketPath, const InstanceMessage& message, std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(static_cast<int>(left(deadline).count()))) {
        const auto error = socket.error();
        return error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError
                   ? Handover::NoneRunning
                   : Handover::NoAnswer;
    }
    // Closed without an answer: the program is on its way out (or cut this client off in a burst).
    const auto failed = [&socket] {
        return socket.state() == QLocalSocket::ConnectedState ? Handover::NoAnswer : Handover::Dropped;
    };
    socket.write(InstanceFrame::encode(message));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(left(deadline).count()))) {
            return failed();
        }
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(static_cast<int>(left(deadline).count()))) {
            return socket.bytesAvailable() > 0 ? Handover::Refused : failed();
        }
    }
    char answer = 0;
    socket.getChar(&answer);
    return answer == InstanceFrame::kAccepted ? Handover::Delivered : Handover::Refused;
}

std::optional<QString> handOver(Request request) {
    const QString socketPath = instanceSocketPath(instanceFolder());
    const InstanceMessage message{request, startupToken()};
    const QDeadlineTimer deadline(kStartTimeout);
    bool started = false;
    qint64 startedPid = 0;
    while (true) {
        switch (
            sendRequest(socketPath, message, std::min<std::chrono::milliseconds>(kHandoverTimeout, left(deadline)))) {
        case Handover::Delivered:
            return std::nullopt;
        case Handover::Refused:
            return QStringLiteral("the running plim refused the request (is it another version?)");
        case Handover::NoAnswer:
            return QStringLiteral("the running plim does not answer");
        case Handover::Dropped:
            // On its way out: once it is gone, a new one is started.
            break;
        case Handover::NoneRunning:
            if (request == Request::Quit) {
                return std::nullopt;
            }
            // The program started (or one that won a race to start) is waited for. Started while
            // one on its way out still held the lock, it ended at once: then it is started again.
            if (!started || (startedPid > 0 && ::kill(static_cast<pid_t>(startedPid), 0) != 0 && errno == ESRCH)) {
                // Checked here, before the program is detached, so that the message reaches the
                // terminal and nothing is left running.
                if (const auto problem = displayProblem()) {
                    return *problem;
                }
                if (!startResident(&startedPid)) {
                    return QStringLiteral("cannot start %1").arg(QCoreApplication::applicationFilePath());
                }
                started = true;
            }
            break;
        }
        if (deadline.hasExpired()) {
            return started ? QStringLiteral("plim's resident program did not start")
                           : QStringLiteral("the running plim does not answer");
        }
        QThread::msleep(static_cast<unsigned long>(kStartPoll.count()));
    }
}

} // namespace plim
