#pragma once

#include "app/Instance.h"

#include "support/TestSupport.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace plim::test {

inline bool have(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// A process that ends with the test, however the test ends.
struct Process {
    QProcess p;
    ~Process() {
        if (p.state() != QProcess::NotRunning) {
            p.terminate();
            if (!p.waitForFinished(2000)) {
                p.kill();
                p.waitForFinished(2000);
            }
        }
    }
};

// The environment of programs that live in `home` alone: their settings, data, state and runtime
// folder there, offscreen, with no session bus, no display and no launcher's token; then `extra`
// "NAME=value" settings, "NAME=" removing one.
inline QProcessEnvironment homeEnvironment(const QString& home, const QString& runtime, const QStringList& extra = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QStringList base{QStringLiteral("HOME=") + home,
                           QStringLiteral("XDG_RUNTIME_DIR=") + runtime,
                           QStringLiteral("XDG_CONFIG_HOME=") + home + QStringLiteral("/config"),
                           QStringLiteral("XDG_DATA_HOME=") + home + QStringLiteral("/data"),
                           QStringLiteral("XDG_STATE_HOME=") + home + QStringLiteral("/state"),
                           QStringLiteral("QT_QPA_PLATFORM=offscreen"),
                           QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=") + home + QStringLiteral("/no-bus"),
                           QStringLiteral("DISPLAY="),
                           QStringLiteral("WAYLAND_DISPLAY="),
                           QStringLiteral("DESKTOP_STARTUP_ID="),
                           QStringLiteral("XDG_ACTIVATION_TOKEN="),
                           QStringLiteral("JOURNAL_STREAM=")};
    for (const QString& setting : base + extra) {
        const QString name = setting.section(u'=', 0, 0);
        const QString value = setting.section(u'=', 1);
        value.isEmpty() ? env.remove(name) : env.insert(name, value);
    }
    return env;
}

// How long a desktop test waits for a program to start, end or show something.
constexpr int kDesktopWaitMs = 10000;

// Starts a program with this environment; the test fails when it cannot.
inline std::unique_ptr<Process> startProcess(const QProcessEnvironment& env, const QString& program,
                                             const QStringList& args) {
    auto process = std::make_unique<Process>();
    process->p.setProcessEnvironment(env);
    process->p.start(program, args);
    EXPECT_TRUE(process->p.waitForStarted(kDesktopWaitMs)) << program.toStdString();
    return process;
}

struct Outcome {
    int status = -1; // -1 when it did not end by itself
    QString out;     // standard output, trimmed
    QString err;     // standard error
};

// Runs a program to its end, the event loop turning meanwhile: a server in the test's process may
// be what it talks to.
inline Outcome runProcess(const QProcessEnvironment& env, const QString& program, const QStringList& args) {
    Process process;
    process.p.setProcessEnvironment(env);
    process.p.start(program, args);
    const bool ended = process.p.waitForStarted(kDesktopWaitMs) &&
                       QTest::qWaitFor([&] { return process.p.state() == QProcess::NotRunning; }, kDesktopWaitMs);
    EXPECT_TRUE(ended) << program.toStdString() << ' ' << args.join(u' ').toStdString();
    return {ended && process.p.exitStatus() == QProcess::NormalExit ? process.p.exitCode() : -1,
            QString::fromUtf8(process.p.readAllStandardOutput()).trimmed(),
            QString::fromUtf8(process.p.readAllStandardError())};
}

// Runs a command-line program to its end with `input` on its standard input; the output as written.
inline Outcome runCommand(const QProcessEnvironment& env, const QString& program, const QStringList& args,
                          const QByteArray& input = {}) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(20000)) << args.join(u' ').toStdString();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// Starts the resident plim of `env` into `resident`; true once it answers requests. Start-up, the
// shortcut grabs among it, is done by then: it is ready for keys. On a busy machine that may take
// longer than a command waits for its answer.
inline bool startResident(const QProcessEnvironment& env, std::unique_ptr<Process>& resident) {
    const QString plim = QStringLiteral(PLIM_EXECUTABLE);
    resident = startProcess(env, plim, {QStringLiteral("--resident")});
    const QString socket = instanceSocketPath(
        env.value(QStringLiteral("XDG_RUNTIME_DIR")) + QStringLiteral("/plim"),
        displayKey(env.value(QStringLiteral("DISPLAY")), env.value(QStringLiteral("WAYLAND_DISPLAY"))));
    const bool ready =
        QTest::qWaitFor([&] { return QFile::exists(socket); }, kDesktopWaitMs) &&
        QTest::qWaitFor([&] { return runProcess(env, plim, {QStringLiteral("--background")}).status == 0; },
                        kDesktopWaitMs);
    EXPECT_TRUE(ready) << resident->p.readAllStandardError().toStdString();
    return ready;
}

// `plim quit` ends the resident program, cleanly.
inline void quitResident(const QProcessEnvironment& env, Process& resident) {
    EXPECT_EQ(runProcess(env, QStringLiteral(PLIM_EXECUTABLE), {QStringLiteral("quit")}).status, 0);
    // Already ended by the time it is asked (waitForFinished then says false), or within the wait.
    ASSERT_TRUE(resident.p.state() == QProcess::NotRunning || resident.p.waitForFinished(kDesktopWaitMs))
        << resident.p.readAllStandardError().toStdString();
    EXPECT_EQ(resident.p.exitStatus(), QProcess::NormalExit) << resident.p.readAllStandardError().toStdString();
    EXPECT_EQ(resident.p.exitCode(), 0);
}

// A session bus of the test's own, listening in `folder`: nothing the program under test says reaches
// the user's session, and nothing is started on demand. The address is empty when its daemon did not
// start.
struct SessionBus {
    std::unique_ptr<Process> daemon;
    QString address;
};

inline SessionBus startSessionBus(const QString& folder) {
    const QString config = folder + QStringLiteral("/bus.conf");
    writeAll(config,
             (QStringLiteral("<busconfig><type>session</type><listen>unix:dir=") + folder +
              QStringLiteral("</listen><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                             "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>"))
                 .toUtf8());
    SessionBus bus{std::make_unique<Process>(), {}};
    bus.daemon->p.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                                                        QStringLiteral("--config-file=") + config});
    if (QTest::qWaitFor([&] { return bus.daemon->p.canReadLine(); }, kDesktopWaitMs)) {
        bus.address = QString::fromUtf8(bus.daemon->p.readLine()).trimmed();
    }
    return bus;
}

} // namespace plim::test
