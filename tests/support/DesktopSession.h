#pragma once

#include "support/DesktopProcess.h"
#include "support/TestSupport.h"
#include "support/XServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <memory>

namespace plim::test {

// The real plim as a user meets it: on an X server and a session bus of the test's own, with a
// home of its own (settings, runtime folder, notes), so nothing reaches the user's desktop or
// files. Skipped when Xvfb, dbus-daemon or one of `tools` is missing.
class DesktopSession : public ::testing::Test {
protected:
    explicit DesktopSession(QStringList tools = {})
        : tools_(std::move(tools)) {}

    void SetUp() override {
        for (const QString& tool : tools_ + QStringList{QStringLiteral("Xvfb"), QStringLiteral("dbus-daemon")}) {
            if (!have(tool)) {
                GTEST_SKIP() << tool.toStdString() << " is missing";
            }
        }
        x = std::make_unique<XServer>();
        ASSERT_TRUE(x->isRunning());
        makeHome();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(x->display()));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }

    // The home, its settings and the session bus, in the environment of the programs started.
    void makeHome() {
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("run")));
        QFile::setPermissions(runtimeFolder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        bus = startSessionBus(home.path());
        ASSERT_FALSE(bus.address.isEmpty());
        env =
            homeEnvironment(home.path(), runtimeFolder(), {QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + bus.address});
        configure({});
    }

    void TearDown() override {
        if (resident && resident->p.state() != QProcess::NotRunning) {
            resident->p.kill();
        }
        if (xcb) {
            xcb_disconnect(xcb);
        }
    }

    QString runtimeFolder() const { return home.filePath(QStringLiteral("run")); }
    QString notesPath() const { return home.filePath(QStringLiteral("notes/plim.md")); }
    QString notes() const { return QString::fromUtf8(readAll(notesPath())); }
    QString settingsPath() const { return home.filePath(QStringLiteral("config/plim/plim.conf")); }

    // The settings file: the notes file, and `extra` lines.
    void configure(const QString& extra) const {
        QDir().mkpath(home.filePath(QStringLiteral("config/plim")));
        writeAll(settingsPath(), (QStringLiteral("[General]\nnotesFilePath=") + notesPath() + u'\n' + extra).toUtf8());
    }

    std::unique_ptr<Process> start(const QString& program, const QStringList& args) const {
        return startProcess(env, program, args);
    }
    Outcome run(const QString& program, const QStringList& args) const { return runProcess(env, program, args); }
    Outcome plim(const QStringList& args) const { return run(QStringLiteral(PLIM_EXECUTABLE), args); }

    void startResident() { ASSERT_TRUE(test::startResident(env, resident)); }
    void quitResident() { test::quitResident(env, *resident); }

    xcb_connection_t* connection() {
        if (!xcb) {
            xcb = xcb_connect(x->display().constData(), nullptr);
        }
        return xcb;
    }
    // Starts `program` into `process` until `ready` holds, at most `tries` times. Started beside another
    // test's, now and then one gives up at once (openbox silently, trayer with "cannot open display"):
    // then again, a second later.
    bool startUntil(std::unique_ptr<Process>& process, const QString& program, const QStringList& args,
                    const std::function<bool()>& ready, int tries) {
        int starts = 0;
        QElapsedTimer sinceStart;
        const bool ok = QTest::qWaitFor(
            [&] {
                if ((!process || process->p.state() == QProcess::NotRunning) && starts < tries &&
                    (starts == 0 || sinceStart.hasExpired(1000))) {
                    ++starts;
                    sinceStart.start();
                    process = start(program, args);
                }
                return ready();
            },
            3 * kDesktopWaitMs);
        EXPECT_TRUE(ok) << program.toStdString() << " started " << starts << " times";
        return ok;
    }

    // A tray, as on most desktops: without one the program opens its notes window at start. False
    // when trayer is not installed.
    bool startTray() {
        if (!have(QStringLiteral("trayer"))) {
            return false;
        }
        const char name[] = "_NET_SYSTEM_TRAY_S0";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(connection(), xcb_intern_atom(connection(), 0, sizeof name - 1, name), nullptr);
        const xcb_atom_t selection = atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(atom);
        const auto owned = [&] {
            xcb_get_selection_owner_reply_t* reply =
                xcb_get_selection_owner_reply(connection(), xcb_get_selection_owner(connection(), selection), nullptr);
            const bool has = reply && reply->owner != XCB_NONE;
            std::free(reply);
            return has;
        };
        return startUntil(
            tray, QStringLiteral("trayer"),
            {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right")},
            owned, 4);
    }

    // The window's screen position and size.
    QRect geometry(xcb_window_t window) {
        xcb_get_geometry_reply_t* g =
            xcb_get_geometry_reply(connection(), xcb_get_geometry(connection(), window), nullptr);
        QRect r;
        if (g) {
            xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
                connection(), xcb_translate_coordinates(connection(), window, g->root, 0, 0), nullptr);
            if (t) {
                r = QRect(t->dst_x, t->dst_y, g->width, g->height);
            }
            std::free(t);
        }
        std::free(g);
        return r;
    }

    // A shown plim window, found by its class (or its title), whose screen rectangle `fits`; XCB_NONE
    // when there is none.
    xcb_window_t plimWindow(const std::function<bool(QRect)>& fits, bool byTitle = false) {
        const QString by = byTitle ? QStringLiteral("--name") : QStringLiteral("--class");
        const QString ids = run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                            by, QStringLiteral("^plim$")})
                                .out;
        for (const QString& id : ids.split(u'\n', Qt::SkipEmptyParts)) {
            if (fits(geometry(id.toUInt()))) {
                return id.toUInt();
            }
        }
        return XCB_NONE;
    }

    QStringList tools_;
    QTemporaryDir home;
    std::unique_ptr<XServer> x;
    SessionBus bus;
    QProcessEnvironment env;
    std::unique_ptr<Process> resident;
    std::unique_ptr<Process> tray;
    xcb_connection_t* xcb = nullptr;
};

} // namespace plim::test
