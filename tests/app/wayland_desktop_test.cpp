// The resident program as a native Wayland client: the real plim under weston, with a session bus
// of the test's own on which no portal runs. Weston runs in a window of a private X server where
// there is one, so keys pressed there with xdotool reach the Wayland windows; else on its headless
// backend, which has no keyboard. Skipped when weston or the Qt Wayland plugin is missing.
#include "support/DesktopSession.h"
#include "support/FakePortal.h"

#include <QLibraryInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

using test::have;
using test::Process;

constexpr int kWaitMs = test::kDesktopWaitMs;

bool qtSpeaksWayland() {
    return QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) + u"/platforms/libqwayland-generic.so"_s);
}

class WaylandDesktopTest : public test::DesktopSession {
protected:
    void SetUp() override {
        if (!have(u"weston"_s) || !have(u"weston-debug"_s) || !have(u"dbus-daemon"_s) || !qtSpeaksWayland()) {
            GTEST_SKIP() << "weston, weston-debug, dbus-daemon or Qt's Wayland plugin is missing";
        }
        makeHome();
        env.insert(u"WAYLAND_DISPLAY"_s, kSocket);
        env.insert(u"QT_QPA_PLATFORM"_s, u"wayland"_s);

        onX = env; // weston in its window and xdotool; plim never sees the X display
        QStringList args{u"--socket="_s + kSocket, u"--idle-time=0"_s, u"--debug"_s};
        if (have(u"Xvfb"_s) && have(u"xdotool"_s)) {
            x = std::make_unique<test::XServer>();
            ASSERT_TRUE(x->isRunning());
            onX.insert(u"DISPLAY"_s, QString::fromLatin1(x->display()));
            args << u"--backend=x11-backend.so"_s << u"--use-pixman"_s << u"--width=1280"_s << u"--height=800"_s;
        } else {
            args << u"--backend=headless-backend.so"_s;
        }
        weston = test::startProcess(onX, u"weston"_s, args);
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(runtimeFolder() + u"/"_s + kSocket); }, kWaitMs));
    }

    // The sizes of plim's windows on screen, from the compositor's scene graph.
    QList<QSize> plimWindows() const {
        static const QRegularExpression view(
            uR"(top-level window '[^']*' of plim[^\n]*\n\s*position: \((-?\d+), (-?\d+)\) -> \((-?\d+), (-?\d+)\))"_s);
        QList<QSize> sizes;
        for (const auto& m : view.globalMatch(run(u"weston-debug"_s, {u"scene-graph"_s}).out)) {
            sizes.append(
                QSize(m.captured(3).toInt() - m.captured(1).toInt(), m.captured(4).toInt() - m.captured(2).toInt()));
        }
        return sizes;
    }

    bool drawerShown() const {
        // The drawer is 640 wide at the default text size; the notes window is wider.
        const auto sizes = plimWindows();
        return std::any_of(sizes.begin(), sizes.end(), [](QSize s) { return s.width() == 640; });
    }

    void xdotool(const QStringList& args) const { test::runProcess(onX, u"xdotool"_s, args); }

    inline static const QString kSocket = u"plim-test-%1"_s.arg(QCoreApplication::applicationPid());
    QProcessEnvironment onX;
    std::unique_ptr<Process> weston;
};

// As from a launcher, the command brings its activation token along; a line typed into the drawer
// (where Xvfb gives weston a keyboard) is saved with Return, as on X11.
TEST_F(WaylandDesktopTest, CaptureCommandShowsTheDrawerAndQuitEndsTheProgram) {
    startResident();
    EXPECT_FALSE(drawerShown());
    QProcessEnvironment launched = env;
    launched.insert(u"XDG_ACTIVATION_TOKEN"_s, u"launcher-token"_s);
    ASSERT_EQ(test::runProcess(launched, QStringLiteral(PLIM_EXECUTABLE), {u"capture"_s}).status, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return drawerShown(); }, kWaitMs));
    if (x) {
        xdotool({u"type"_s, u"--delay"_s, u"20"_s, u"typed on wayland"_s});
        xdotool({u"key"_s, u"Return"_s});
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return test::readAll(notesPath()).contains("- [ ] typed on wayland"); }, kWaitMs))
            << test::readAll(notesPath()).toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !drawerShown(); }, kWaitMs));
    }

    // No portal on this bus: the program goes on without global shortcuts, and ends when asked.
    quitResident();
    EXPECT_EQ(resident->p.readAllStandardOutput().count("Error registering hotkey"), 0);
    // Without a tray the program says how to reach it: by the command alone, keys being none.
    EXPECT_TRUE(QString::fromUtf8(resident->p.readAllStandardError())
                    .contains(u"plim runs without a tray icon on this desktop: run \u201cplim capture\u201d to"_s));
}

TEST_F(WaylandDesktopTest, TheCaptureShortcutComesThroughThePortal) {
    test::FakePortal portal({}, bus.address);
    ASSERT_TRUE(portal.registered);
    startResident();
    // The shortcuts are bound at start (what each asks for is the global shortcuts' own tests').
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal.binds.size() == 1; }, kWaitMs));
    EXPECT_EQ(portal.binds.front().size(), 3);
    EXPECT_FALSE(drawerShown());

    portal.activate(portal.sessions.front(), u"capture"_s, u"portal-token"_s);
    EXPECT_TRUE(QTest::qWaitFor([&] { return drawerShown(); }, kWaitMs));
    quitResident();
}

} // namespace
