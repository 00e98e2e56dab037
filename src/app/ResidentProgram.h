#pragma once

#include "app/Instance.h"

#include <QObject>

#include <memory>

QT_BEGIN_NAMESPACE
class QSocketNotifier;
QT_END_NAMESPACE

namespace plim {

// Brings SIGTERM, SIGINT and SIGHUP (the end of the session) onto the event loop (through a pipe
// written by the handler), so the program can end as it does on a quit request. One at a time per
// process.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received(int signal);

private:
    void onReadable();

    std::unique_ptr<QSocketNotifier> notifier_;
};

// The resident program's core: the single instance and the ways it is told to end. A quit request
// and the termination signals quit the application's event loop, so QCoreApplication::aboutToQuit
// is where the shell saves what must not be lost; before that, the program stops taking requests.
// Every other request comes out of `requested`.
class ResidentProgram final : public QObject {
    Q_OBJECT
public:
    explicit ResidentProgram(const QString& folder = instanceFolder(), QObject* parent = nullptr);

    InstanceServer::Start start(QString* error = nullptr) { return server_->start(error); }
    void stopListening() { server_->stopListening(); }

Q_SIGNALS:
    void requested(const plim::InstanceMessage& message);

private:
    void onRequest(const InstanceMessage& message);

    // The signals stay handled until the lock has gone with the server: a signal meant for a
    // program on its way out must not cut its end short.
    std::unique_ptr<TerminationSignals> signals_;
    std::unique_ptr<InstanceServer> server_;
};

// `plim --resident`: becomes the user's resident program and runs until told to quit; returns at
// once when another one runs.
int runResident(int argc, char** argv);

} // namespace plim
