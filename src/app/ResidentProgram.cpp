#include "app/ResidentProgram.h"

#include "app/Shell.h"
#include "store/NotesStore.h"
#include "ui/theme/Mark.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
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
    // exit(), not quit(): a GUI application's quit first asks every window to close, and the
    // drawer refuses (it leaves as Escape does), which would keep the program running.
    connect(signals_.get(), &TerminationSignals::received, this, [] { QCoreApplication::exit(0); });
}

void ResidentProgram::onRequest(const InstanceMessage& message) {
    if (message.request == Request::Quit) {
        QCoreApplication::exit(0);
        return;
    }
    Q_EMIT requested(message);
}

namespace {

// Whether a window system can be reached: without one the program only holds the instance.
bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void nameApplication() {
    QCoreApplication::setOrganizationName(QStringLiteral("plim"));
    QCoreApplication::setApplicationName(QStringLiteral("plim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIM_VERSION));
}

// Takes the instance; none when the program should end at once, with this exit status.
std::optional<int> becomeResident(ResidentProgram& program) {
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
    return std::nullopt;
}

} // namespace

int runResident(int argc, char** argv) {
    // Descriptors inherited from whoever ran the command (a shortcut runner's pipes) would keep it
    // waiting for the program to end.
    ::close_range(3, ~0U, 0);
    // A client gone before its answer must not take the program down with it.
    ::signal(SIGPIPE, SIG_IGN);
    if (!hasDisplay()) {
        QCoreApplication app(argc, argv);
        nameApplication();
        ResidentProgram program;
        if (const auto status = becomeResident(program)) {
            return *status;
        }
        std::fprintf(stderr, "plim: no display; the resident program shows nothing\n");
        return QCoreApplication::exec();
    }

    QApplication app(argc, argv);
    nameApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral("plim"));
    QApplication::setWindowIcon(Mark::applicationIcon());
    // The program lives in the tray: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    // Listening comes first; requests wait on the socket until the event loop runs, by which time
    // the shell is there to take them.
    ResidentProgram program;
    if (const auto status = becomeResident(program)) {
        return *status;
    }
    Shell shell(NotesStore::shared());
    QObject::connect(&program, &ResidentProgram::requested, &shell, &Shell::handle);
    // Quit, SIGTERM and SIGINT end the event loop; a session that ends asks first.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &shell, &Shell::saveState);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &shell, [&shell] { shell.saveState(); });
    return QApplication::exec();
}

} // namespace plim
