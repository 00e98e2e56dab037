#pragma once

#include "app/InstanceProtocol.h"
#include "store/RuntimeFolder.h"

#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <sys/types.h>

QT_BEGIN_NAMESPACE
class QFileSystemWatcher;
class QLocalSocket;
class QSocketNotifier;
class QTimer;
QT_END_NAMESPACE

namespace plim {

// The per-user folder of the instance lock and socket (the runtime folder).
QString instanceFolder();
// Which display the program serves, as a short name fit for a file name: one resident program per
// display, so a second session of the same user (another seat, a remote desktop) gets its own tray
// and shortcuts instead of handing its requests to a program on a screen nobody sees. Empty
// without a display. ":0", ":0.0" and "unix:0" are one display.
QString displayKey(const QString& x11Display, const QString& waylandDisplay);
// The display of this process's environment.
QString displayKey();
QString instanceSocketPath(const QString& folder, const QString& display = displayKey());
QString instanceLockPath(const QString& folder, const QString& display = displayKey());

// The one resident program of this user: holds the instance lock and takes requests on the socket.
// Everything happens on the event loop; a client that sends nothing or garbage is cut off without
// holding up the others. The socket outlives every trouble but the program's end: a failed accept
// (out of descriptors) only pauses taking connections, a burst of clients never holds more than
// kMaxClients descriptors, and a deleted socket file is made again.
class InstanceServer final : public QObject {
    Q_OBJECT
public:
    enum class Start { Listening, AlreadyRunning, Failed };

    // Clients held at once; a new one beyond them cuts off the one waiting longest.
    static constexpr std::size_t kMaxClients = 64;

    explicit InstanceServer(QString folder, QString display = displayKey(), QObject* parent = nullptr);
    ~InstanceServer() override;

    // Takes the lock (over from a program that died holding it, or asking one that holds it but no
    // longer listens to end) and listens. `error` tells why on Failed.
    Start start(QString* error = nullptr);
    // How long a client may take to send its frame.
    void setClientTimeout(std::chrono::milliseconds timeout) { clientTimeout_ = timeout; }
    // Takes no more requests: the socket goes at once, so that a command run from now on starts a
    // new program instead of waiting on this one, which is on its way out. The lock stays held
    // until the server goes.
    void stopListening();

Q_SIGNALS:
    void requested(const plim::InstanceMessage& message);

private:
    bool takeLock();
    bool takeOverFromSilentHolder();
    bool listen(QString* error);
    void acceptClients();
    void pauseAccepting();
    // Answers a client whose frame is complete (or can never be); false while it is incomplete.
    bool answer(int fd, const QByteArray& received);
    void hold(int fd, QByteArray received);
    void onReadable(QLocalSocket* socket, QByteArray& received);
    void forget(QLocalSocket* socket);
    void checkSocketFile();

    QString folder_;
    QString display_;
    QLockFile lock_;
    int listener_ = -1;
    dev_t socketDevice_ = 0;
    ino_t socketInode_ = 0;
    std::unique_ptr<QSocketNotifier> acceptable_;
    std::unique_ptr<QTimer> backOff_;
    std::unique_ptr<QFileSystemWatcher> folderWatch_;
    // Held clients, the one waiting longest first.
    std::deque<QLocalSocket*> clients_;
    std::chrono::milliseconds clientTimeout_{2000};
};

// What became of a request sent to the resident program. Dropped: the connection closed without
// an answer (the program is on its way out, or cut off a burst of clients).
enum class Handover { Delivered, NoneRunning, Refused, NoAnswer, Dropped };

// Sends one request over the socket and waits at most `timeout` for the answer.
Handover sendRequest(const QString& socketPath, const InstanceMessage& message, std::chrono::milliseconds timeout);

// What a `plim` command that acts on the resident program does: hands the request over, first
// starting the program, detached, when none runs (except for Quit, which then does nothing); it
// fails instead when there is no display. One on its way out is waited for and followed by a new
// one. Returns why it failed. Needs a QCoreApplication.
std::optional<QString> handOver(Request request);

} // namespace plim
