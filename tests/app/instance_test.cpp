#include "app/Instance.h"
#include "app/ResidentLog.h"

#include "support/DesktopProcess.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>
#include <vector>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kWaitMs = 5000;

// No such process, or one that died and waits to be collected.
bool processGone(qint64 pid) {
    QFile status(u"/proc/%1/stat"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray line = status.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) == "Z";
}

// A runtime folder and home of their own; plim is run for real against them.
class InstanceTest : public ::testing::Test {
protected:
    void TearDown() override {
        // A resident program a failed test left behind.
        if (const qint64 pid = residentPid(); pid > 0 && !processGone(pid)) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        }
    }

    QString folder() const { return dir.filePath(u"plim"_s); }
    // The programs run here have no display (see env); the servers in this process say so too,
    // whatever display the tests run on.
    QString socketPath() const { return instanceSocketPath(folder(), {}); }
    QString lockPath() const { return instanceLockPath(folder(), {}); }

    // Nothing of the resident program reaches a desktop or a bus the tests run on; `extra` as
    // homeEnvironment takes it.
    QProcessEnvironment env(const QStringList& extra = {}) const {
        return test::homeEnvironment(dir.path(), dir.path(), extra);
    }
    test::Outcome plim(const QStringList& args, const QStringList& extra = {}) const {
        return test::runProcess(env(extra), QStringLiteral(PLIM_EXECUTABLE), args);
    }

    // The pid in the instance lock file; 0 without one.
    qint64 residentPid(const QString& display = {}) const {
        qint64 pid = 0;
        QString host;
        QString application;
        return QLockFile(instanceLockPath(folder(), display)).getLockInfo(&pid, &host, &application) ? pid : 0;
    }

    QTemporaryDir dir;
};

TEST_F(InstanceTest, RequestsReachTheProgramOfTheirDisplayAndBadClientsHoldNobodyUp) {
    InstanceServer server(folder(), {});
    ASSERT_EQ(server.start(), InstanceServer::Start::Listening);
    std::vector<InstanceMessage> received;
    QObject::connect(&server, &InstanceServer::requested, [&](const InstanceMessage& m) { received.push_back(m); });

    // The launcher's token travels with the request: Wayland's activation token, else X11's startup id.
    // Arguments, XDG_ACTIVATION_TOKEN, DESKTOP_STARTUP_ID: exit status, the request and the token sent.
    const std::tuple<QStringList, QString, QString, int, std::optional<Request>, QByteArray> cases[] = {
        {{}, {}, {}, 0, Request::Open, ""},
        {{u"--background"_s}, {}, {}, 0, Request::Background, ""},
        {{u"capture"_s}, u"host;12;token"_s, {}, 0, Request::Capture, "host;12;token"},
        {{u"clip"_s}, {}, u"openbox-1234-host_TIME56"_s, 0, Request::Clip, "openbox-1234-host_TIME56"},
        {{u"notes"_s}, u"wl-token"_s, u"openbox-1234-host_TIME56"_s, 0, Request::Notes, "wl-token"},
        {{u"sweep"_s}, {}, {}, 0, Request::Sweep, ""},
        {{u"later"_s}, {}, {}, 0, Request::Later, ""},
        {{u"keys"_s}, {}, {}, 0, Request::Keys, ""},
        {{u"settings"_s}, {}, {}, 0, Request::Settings, ""},
        {{u"quit"_s}, {}, {}, 0, Request::Quit, ""},
        {{u"capture"_s, u"now"_s}, {}, {}, 2, std::nullopt, ""},
        {{u"--background"_s, u"capture"_s}, {}, {}, 2, std::nullopt, ""},
        {{u"--file"_s, u"x.md"_s}, {}, {}, 2, std::nullopt, ""},
    };
    for (const auto& [args, activation, startup, status, request, sent] : cases) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        received.clear();
        const test::Outcome r =
            plim(args, {u"XDG_ACTIVATION_TOKEN="_s + activation, u"DESKTOP_STARTUP_ID="_s + startup});
        EXPECT_EQ(r.status, status) << r.err.toStdString();
        EXPECT_EQ(received, (request ? std::vector{InstanceMessage{*request, sent}} : std::vector<InstanceMessage>{}));
    }

    // Clients that say nothing, half a frame, too much or no frame at all hold nobody up.
    received.clear();
    server.setClientTimeout(std::chrono::seconds(30));
    const auto connected = [&](const QByteArray& bytes) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(socketPath());
        EXPECT_TRUE(socket->waitForConnected(kWaitMs));
        socket->write(bytes);
        socket->flush();
        return socket;
    };
    const auto silent = connected({});
    const auto halfFrame = connected(QByteArray("PLIM\x01\x03", 6));
    const auto oversized = connected(QByteArray("PLIM\x01\x03\x40\x00\x00\x00", 10));
    const auto garbage = connected("GET / HTTP/1.0\r\n\r\n");

    EXPECT_EQ(plim(QStringList{u"capture"_s}).status, 0);
    EXPECT_EQ(received, (std::vector{InstanceMessage{Request::Capture, {}}}));
    EXPECT_EQ(silent->state(), QLocalSocket::ConnectedState);
    // The bad ones are refused and cut off at once, not when their time is up.
    for (QLocalSocket* socket : {oversized.get(), garbage.get()}) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return socket->state() == QLocalSocket::UnconnectedState; }, kWaitMs));
        EXPECT_EQ(socket->readAll(), QByteArray(1, InstanceFrame::kRefused));
    }
    // One that says nothing is cut off when its time is up.
    server.setClientTimeout(std::chrono::milliseconds(50));
    const auto late = connected("PLI");
    EXPECT_TRUE(QTest::qWaitFor([&] { return late->state() == QLocalSocket::UnconnectedState; }, kWaitMs));
    EXPECT_EQ(received.size(), 1U);

    // A second session of the same user (a remote desktop, another seat) gets a resident program of
    // its own: handing its shortcut to the program on the first screen would leave it without one.
    InstanceServer sameDisplay(folder(), {});
    EXPECT_EQ(sameDisplay.start(), InstanceServer::Start::AlreadyRunning);
    received.clear();
    EXPECT_EQ(plim({u"capture"_s}, {u"DISPLAY=:7"_s}).status, 0);
    const qint64 other = residentPid(u"x7"_s);
    ASSERT_GT(other, 0);
    EXPECT_NE(other, QCoreApplication::applicationPid());
    EXPECT_EQ(plim({u"quit"_s}, {u"DISPLAY=:7.0"_s}).status, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return processGone(other); }, kWaitMs));
    EXPECT_TRUE(received.empty());
}

// The programs here are started by plim itself, detached, as a desktop would have it.
TEST_F(InstanceTest, OneResidentProgramTakingOverFromAKilledOne) {
    ASSERT_EQ(plim(QStringList{u"--background"_s}).status, 0);
    const qint64 first = residentPid();
    ASSERT_GT(first, 0);
    EXPECT_FALSE(processGone(first));
    // Neither group nor others may use them (0x0077: their read, write and execute bits).
    EXPECT_EQ(QFileInfo(folder()).permissions() & 0x0077, 0);
    EXPECT_EQ(QFileInfo(socketPath()).permissions() & 0x0066, 0);

    // A second one started by hand leaves at once; the first stays and takes the requests.
    EXPECT_EQ(plim(QStringList{u"--resident"_s}).status, 0);
    EXPECT_EQ(plim(QStringList{u"capture"_s}).status, 0);
    EXPECT_EQ(residentPid(), first);
    EXPECT_FALSE(processGone(first));

    // Killed, it leaves its lock and socket behind; the next command starts a new one.
    ::kill(static_cast<pid_t>(first), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return processGone(first); }, kWaitMs));
    EXPECT_TRUE(QFileInfo::exists(socketPath()));
    EXPECT_EQ(plim(QStringList{u"clip"_s}).status, 0);
    const qint64 second = residentPid();
    EXPECT_NE(second, first);
    EXPECT_FALSE(processGone(second));

    // quit ends it, clearing its files; with none running it starts nothing.
    EXPECT_EQ(plim(QStringList{u"quit"_s}).status, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return processGone(second) && !QFileInfo::exists(lockPath()); }, kWaitMs));
    EXPECT_FALSE(QFileInfo::exists(socketPath()));
    EXPECT_EQ(plim(QStringList{u"quit"_s}).status, 0);
    EXPECT_EQ(residentPid(), 0);
}

// Without a display nothing could be shown: the command says so, fails and leaves nothing running.
TEST_F(InstanceTest, NoDisplayIsAnError) {
    // Arguments, QT_QPA_PLATFORM and DISPLAY ("" for none): what it says.
    const std::tuple<QStringList, QString, QString, QString> cases[] = {
        {{}, {}, {}, u"plim: no display (DISPLAY and WAYLAND_DISPLAY are unset)\n"_s},
        {{u"notes"_s}, {}, u":9999"_s, u"plim: no display (cannot open DISPLAY=:9999)\n"_s},
        {{u"--background"_s}, u"xcb"_s, {}, u"plim: no display (DISPLAY is unset)\n"_s},
        {{u"--resident"_s}, {}, {}, u"plim: no display (DISPLAY and WAYLAND_DISPLAY are unset)\n"_s},
    };
    for (const auto& [args, platform, display, says] : cases) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        const test::Outcome r = plim(args, {u"QT_QPA_PLATFORM="_s + platform, u"DISPLAY="_s + display});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, says);
        EXPECT_FALSE(QFileInfo::exists(lockPath()));
    }
}

// At its limit the log becomes the one old copy, and a new one begins.
TEST(ResidentLogTest, KeepsOneOldFileBelowTheLimit) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"plim.log"_s);
    LogFile log(path, 100);
    for (int i = 0; i < 12; ++i) {
        log.append(u"line %1"_s.arg(i));
    }
    const QString now = QString::fromUtf8(test::readAll(path));
    const QString old = QString::fromUtf8(test::readAll(path + u".1"_s));
    EXPECT_LE(QFileInfo(path).size(), 100);
    EXPECT_LE(QFileInfo(path + u".1"_s).size(), 100);
    EXPECT_TRUE(now.endsWith(u" line 11\n"_s)) << now.toStdString();
    EXPECT_TRUE(old.endsWith(u" line %1\n"_s.arg(11 - now.count(u'\n')))) << old.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path + u".2"_s));
}

TEST(DisplayKeyTest, OneNamePerDisplay) {
    // X display, Wayland display: the key. A Wayland session also has an X display (for older
    // programs); the session is the Wayland one.
    for (const char* row : {"||", ":0||x0", ":0.0||x0", "unix:0.1||x0", ":12||x12", "localhost:10.0||xlocalhost-10",
                            ":0|wayland-0|wayland-0", "|wayland-1|wayland-1", "|../a b|---a-b"}) {
        const QStringList c = QString::fromUtf8(row).split(u'|');
        EXPECT_EQ(displayKey(c[0], c[1]), c[2]) << row;
    }
    const QString longPath = displayKey({}, u"/run/user/1000/a-very-long-compositor-socket-name-0"_s);
    EXPECT_EQ(longPath.size(), 16);
    EXPECT_NE(longPath, displayKey({}, u"/run/user/1000/a-very-long-compositor-socket-name-1"_s));
}

TEST_F(InstanceTest, TerminationSignalsEndItCleanly) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        const auto resident = test::startProcess(env(), QStringLiteral(PLIM_EXECUTABLE), {u"--resident"_s});
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(socketPath()); }, kWaitMs));
        ::kill(static_cast<pid_t>(resident->p.processId()), signal);
        ASSERT_TRUE(resident->p.waitForFinished(kWaitMs));
        EXPECT_EQ(resident->p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(resident->p.exitCode(), 0);
        EXPECT_FALSE(QFileInfo::exists(socketPath()));
        EXPECT_FALSE(QFileInfo::exists(lockPath()));
    }
}

} // namespace
