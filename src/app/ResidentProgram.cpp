#include "app/ResidentProgram.h"

#include "app/ResidentLog.h"
#include "app/Shell.h"
#include "platform/linux/DisplayCheck.h"
#include "store/NotesStore.h"
#include "ui/theme/Mark.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QThread>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>

namespace plim {

namespace {

constexpr std::array kTerminationSignals{SIGTERM, SIGINT, SIGHUP};

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
    , signals_(std::make_unique<TerminationSignals>())
    , server_(std::make_unique<InstanceServer>(folder)) {
    connect(server_.get(), &InstanceServer::requested, this, &ResidentProgram::onRequest);
    // Connected before anything that saves at quit: a command run meanwhile starts a new program
    // (which waits for this one to end) instead of waiting on this one for an answer never given.
    if (QCoreApplication::instance()) {
        connect(qApp, &QCoreApplication::aboutToQuit, server_.get(), &InstanceServer::stopListening);
    }
    // exit(), not quit(): a GUI application's quit first asks every window to close, and the
    // drawer refuses (it leaves as Escape does), which would keep the program running.
    connect(signals_.get(), &TerminationSignals::received, this, [this] {
        server_->stopListening();
        QCoreApplication::exit(0);
    });
}

void ResidentProgram::onRequest(const InstanceMessage& message) {
    if (message.request == Request::Quit) {
        // At once: a command that follows must not be taken by a program that will not serve it.
        server_->stopListening();
        QCoreApplication::exit(0);
        return;
    }
    Q_EMIT requested(message);
}

namespace {

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
        residentSay(stderr, QStringLiteral("plim: ") + error);
        return 1;
    case InstanceServer::Start::Listening:
        break;
    }
    return std::nullopt;
}

// Every descriptor the system allows: a burst of clients or many watched files must not run the
// program out of them at the usual soft limit of 1024.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Qt ends the program with exit() (or _exit()) when the connection to the display is lost, skipping
// the end of the event loop, right after it warns of it: the warning is the last moment the program
// is whole, and what must not be lost is saved then.
ResidentProgram* leavingProgram = nullptr;
Shell* leavingShell = nullptr;
QtMessageHandler passOn = nullptr;

void onMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    passOn(type, context, message);
    const bool mainThread = QThread::currentThread() == qApp->thread();
    // Only Qt's own last words count: any other message may come from inside a settings or file
    // call that holds a lock the save needs (a lock file that cannot be removed once the display,
    // and the test or session around it, is gone).
    const bool x11Gone = message.startsWith(QLatin1String("The X11 connection broke")) && displayConnectionLost();
    if (leavingShell && mainThread && (x11Gone || message.startsWith(QLatin1String("The Wayland connection")))) {
        leavingProgram->stopListening();
        // Nothing is drawn on the way out: the display is gone.
        const QSignalBlocker quiet(NotesStore::shared());
        std::exchange(leavingShell, nullptr)->saveState();
    }
}

} // namespace

int runResident(int argc, char** argv) {
    // Descriptors inherited from whoever ran the command (a shortcut runner's pipes) would keep it
    // waiting for the program to end.
    ::close_range(3, ~0U, 0);
    // A client gone before its answer must not take the program down with it.
    ::signal(SIGPIPE, SIG_IGN);
    // Nothing to show anything on: an error, and no program left holding the instance.
    if (const auto problem = displayProblem()) {
        std::fprintf(stderr, "plim: %s\n", qUtf8Printable(*problem));
        return 1;
    }
    raiseDescriptorLimit();
    installResidentLog();

    QApplication app(argc, argv);
    nameApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral("plim"));
    // The windows' icon (files read or drawn at six sizes) waits until the tray icon is asked for:
    // queued now, it is set before the drawer or any window is made.
    QMetaObject::invokeMethod(
        &app, [] { QApplication::setWindowIcon(Mark::applicationIcon()); }, Qt::QueuedConnection);
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
    // Quit and the termination signals end the event loop; a session that ends asks first.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &shell, &Shell::saveState);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &shell, [&shell] { shell.saveState(); });
    leavingProgram = &program;
    leavingShell = &shell;
    passOn = qInstallMessageHandler(onMessage);
    const int status = QApplication::exec();
    leavingShell = nullptr;
    return status;
}

} // namespace plim
