#pragma once

#include "app/InstanceProtocol.h"
#include "store/RuntimeFolder.h"

#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QLocalServer;
class QLocalSocket;
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
// holding up the others.
class InstanceServer final : public QObject {
    Q_OBJECT
public:
    enum class Start { Listening, AlreadyRunning, Failed };

    explicit InstanceServer(QString folder, QString display = displayKey(), QObject* parent = nullptr);
    ~InstanceServer() override;

    // Takes the lock (over from a program that died holding it) and listens. `error` tells why on
    // Failed.
    Start start(QString* error = nullptr);
    // How long a client may take to send its frame.
    void setClientTimeout(std::chrono::milliseconds timeout) { clientTimeout_ = timeout; }

Q_SIGNALS:
    void requested(const plim::InstanceMessage& message);

private:
    bool takeLock();
    void onNewConnection();
    void onReadable(QLocalSocket* socket, QByteArray& received);

    QString folder_;
    QString display_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
    std::chrono::milliseconds clientTimeout_{2000};
};

// What became of a request sent to the resident program.
enum class Handover { Delivered, NoneRunning, Refused, NoAnswer };

// Sends one request over the socket and waits at most `timeout` for the answer.
Handover sendRequest(const QString& socketPath, const InstanceMessage& message, std::chrono::milliseconds timeout);

// What a `plim` command that acts on the resident program does: hands the request over, first
// starting the program, detached, when none runs (except for Quit, which then does nothing).
// Returns why it failed. Needs a QCoreApplication.
std::optional<QString> handOver(Request request);

} // namespace plim
