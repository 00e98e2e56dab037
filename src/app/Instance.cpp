#include "app/Instance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace plim {

namespace {

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

// A client that answers a shortcut must come back at once; these bound every wait.
constexpr auto kHandoverTimeout = 2s;
constexpr auto kStartTimeout = 3s;
constexpr auto kStartPoll = 10ms;
// A lock file without its holder's pid is taken over only once it cannot be one still being written.
constexpr qint64 kUnreadableLockAgeMs = 5000;

QByteArray startupToken() {
    const QByteArray activation = qgetenv("XDG_ACTIVATION_TOKEN");
    return activation.isEmpty() ? qgetenv("DESKTOP_STARTUP_ID") : activation;
}

// Starts this executable as the resident program in a session of its own, its standard streams on
// /dev/null, so whoever ran the command neither waits for it nor takes it down.
bool startResident() {
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments({QStringLiteral("--resident")});
    process.setWorkingDirectory(QDir::rootPath());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // The token belongs to this request, which carries it; the program must not spend it at start.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
    environment.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
    process.setProcessEnvironment(environment);
    return process.startDetached();
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

InstanceServer::InstanceServer(QString folder, QString display, QObject* parent)
    : QObject(parent)
    , folder_(std::move(folder))
    , display_(std::move(display))
    , lock_(instanceLockPath(folder_, display_)) {
    // Age never makes the lock stale: the program runs for weeks. Only its holder's death does.
    lock_.setStaleLockTime(0);
}

InstanceServer::~InstanceServer() {
    // The socket goes first: whoever takes the lock next finds no socket of ours.
    server_.reset();
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
        if (lock_.error() == QLockFile::LockFailedError) {
            return Start::AlreadyRunning;
        }
        return fail(QStringLiteral("cannot take the lock %1").arg(instanceLockPath(folder_, display_)));
    }
    const QString path = instanceSocketPath(folder_, display_);
    // A socket left by a killed program would refuse the new one.
    QLocalServer::removeServer(path);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        const QString why = QStringLiteral("cannot listen on %1 (%2)").arg(path, server_->errorString());
        server_.reset();
        lock_.unlock();
        return fail(why);
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &InstanceServer::onNewConnection);
    return Start::Listening;
}

void InstanceServer::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        // The socket is the server's child and owns its timer; what it sent so far lives in the lambda.
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, received = QByteArray()]() mutable { onReadable(socket, received); });
        timer->start(clientTimeout_);
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
    socket.write(InstanceFrame::encode(message));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(left(deadline).count()))) {
            return socket.state() == QLocalSocket::ConnectedState ? Handover::NoAnswer : Handover::Refused;
        }
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(static_cast<int>(left(deadline).count()))) {
            return socket.state() == QLocalSocket::ConnectedState ? Handover::NoAnswer : Handover::Refused;
        }
    }
    char answer = 0;
    socket.getChar(&answer);
    return answer == InstanceFrame::kAccepted ? Handover::Delivered : Handover::Refused;
}

std::optional<QString> handOver(Request request) {
    const QString socketPath = instanceSocketPath(instanceFolder());
    const InstanceMessage message{request, startupToken()};
    const auto failure = [](Handover h) -> std::optional<QString> {
        switch (h) {
        case Handover::Delivered:
            return std::nullopt;
        case Handover::Refused:
            return QStringLiteral("the running plim refused the request (is it another version?)");
        case Handover::NoAnswer:
        case Handover::NoneRunning:
            break;
        }
        return QStringLiteral("the running plim does not answer");
    };
    const Handover first = sendRequest(socketPath, message, kHandoverTimeout);
    if (first != Handover::NoneRunning) {
        return failure(first);
    }
    if (request == Request::Quit) {
        return std::nullopt;
    }
    if (!startResident()) {
        return QStringLiteral("cannot start %1").arg(QCoreApplication::applicationFilePath());
    }
    // Wait for the new program (or one that won a race to start) to listen.
    const QDeadlineTimer deadline(kStartTimeout);
    while (!deadline.hasExpired()) {
        const Handover h = sendRequest(socketPath, message, left(deadline));
        if (h != Handover::NoneRunning) {
            return failure(h);
        }
        QThread::msleep(static_cast<unsigned long>(kStartPoll.count()));
    }
    return QStringLiteral("plim's resident program did not start");
}

} // namespace plim
