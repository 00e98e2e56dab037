#include "app/ResidentProgram.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace plim {

namespace {

constexpr std::array kTerminationSignals{SIGTERM, SIGINT};

// The pipe the handler writes to; one TerminationSignals owns it at a time.
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signal) {
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

// --- TerminationSignals ---

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent) {
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::onReadable);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : kTerminationSignals) {
        ::sigaction(s, &action, nullptr);
    }
}

TerminationSignals::~TerminationSignals() {
    if (!notifier_) {
        return;
    }
    for (const int s : kTerminationSignals) {
        ::signal(s, SIG_DFL);
    }
    notifier_.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void TerminationSignals::onReadable() {
    char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1) {
        Q_EMIT received(byte);
    }
}

// --- ResidentProgram ---

ResidentProgram::ResidentProgram(const QString& folder, QObject* parent)
    : QObject(parent)
    , server_(std::make_unique<InstanceServer>(folder))
    , signals_(std::make_unique<TerminationSignals>()) {
    connect(server_.get(), &InstanceServer::requested, this, &ResidentProgram::onRequest);
    connect(signals_.get(), &TerminationSignals::received, this, [] { QCoreApplication::quit(); });
}

void ResidentProgram::onRequest(const InstanceMessage& message) {
    if (message.request == Request::Quit) {
        QCoreApplication::quit();
        return;
    }
    Q_EMIT requested(message);
}

int runResident(int argc, char** argv) {
    // Descriptors inherited from whoever ran the command (a shortcut runner's pipes) would keep it
    // waiting for the program to end.
    ::close_range(3, ~0U, 0);
    // A client gone before its answer must not take the program down with it.
    ::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("plim"));
    QCoreApplication::setApplicationName(QStringLiteral("plim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIM_VERSION));

    ResidentProgram program;
    QString error;
    switch (program.start(&error)) {
    case InstanceServer::Start::AlreadyRunning:
        return 0;
    case InstanceServer::Start::Failed:
        std::fprintf(stderr, "plim: %s\n", error.toLocal8Bit().constData());
        return 1;
    case InstanceServer::Start::Listening:
        break;
    }
    return QCoreApplication::exec();
}

} // namespace plim
