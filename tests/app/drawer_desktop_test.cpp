// The drawer as a user meets it: the real resident plim on an X server, a session bus and a window
// manager (openbox) of the test's own, driven with xdotool. Skipped when one is missing.
#include "store/FileLock.h"

#include "support/DesktopSession.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <memory>
#include <vector>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

using test::Process;

constexpr int kWaitMs = test::kDesktopWaitMs;

class DrawerDesktopTest : public test::DesktopSession {
protected:
    DrawerDesktopTest()
        : DesktopSession({u"openbox"_s, u"xdotool"_s, u"trayer"_s}) {}

    void SetUp() override {
        DesktopSession::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // openbox manages windows once it owns the screen's manager selection.
        ASSERT_TRUE(startUntil(
            wm, u"openbox"_s, {}, [&] { return run(u"xdotool"_s, {u"get_desktop"_s}).status == 0; }, 3));
        ASSERT_TRUE(startTray());
    }

    void keys(const QString& chord) const { run(u"xdotool"_s, {u"key"_s, chord}); }
    void type(const QString& text) const { run(u"xdotool"_s, {u"type"_s, text}); }

    // The drawer among plim's shown windows: the tray icon is the other one, and far narrower.
    QString drawer() {
        const xcb_window_t window = plimWindow([](QRect r) { return r.width() >= 400; });
        return window == XCB_NONE ? QString() : QString::number(window);
    }
    QString focus() const { return run(u"xdotool"_s, {u"getwindowfocus"_s}).out; }

    // Waits until the settings file holds `text`.
    void waitForSetting(const QByteArray& text) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return test::readAll(settingsPath()).contains(text); }, kWaitMs))
            << test::readAll(settingsPath()).toStdString();
    }

    // Shows the drawer with the shortcut and waits until it holds the keyboard.
    void showDrawer() {
        keys(u"ctrl+alt+space"_s);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !drawer().isEmpty() && drawer() == focus(); }, kWaitMs))
            << "drawer " << drawer().toStdString() << ", focus " << focus().toStdString();
    }

    QStringList openItems() const {
        QStringList items;
        for (const QString& line : notes().split(u'\n')) {
            if (line.startsWith(u"- [ ] "_s)) {
                items += line.mid(6).section(u"  <!--"_s, 0, 0); // without the capture time
            }
        }
        return items;
    }

    std::unique_ptr<Process> wm;
};

// The X server going away ends the program (Qt leaves at once), but what it kept is saved first: a
// capture kept while another plim process held the notes file is made, and the draft stays.
TEST_F(DrawerDesktopTest, LosingTheDisplaySavesTheKeptCaptureAndTheDraft) {
    startResident();
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.filePath(u"run"_s)));
    FileLock other(notesPath());
    qputenv("XDG_RUNTIME_DIR", runtime);
    ASSERT_TRUE(other.tryLock());
    showDrawer();
    type(u"kept while busy"_s);
    keys(u"Return"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return drawer().isEmpty(); }, kWaitMs));
    showDrawer();
    type(u"half a thought"_s);
    waitForSetting("draft=half a thought");

    x.reset();
    other.unlock();
    ASSERT_TRUE(resident->p.waitForFinished(kWaitMs));
    EXPECT_EQ(openItems(), QStringList{u"kept while busy"_s}) << notes().toStdString();
    EXPECT_TRUE(test::readAll(settingsPath()).contains("draft=half a thought"));
}

// A fast typist on a busy machine: the shortcut and the thought at once, without waiting for the
// drawer. Every key after the shortcut is the drawer's, none reaches the window the user was in.
TEST_F(DrawerDesktopTest, KeysTypedRightAfterTheShortcutAllReachTheDrawer) {
    // The window the user is in: it counts the keys it is given.
    xcb_connection_t* c = connection();
    const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t user = xcb_generate_id(c);
    const std::uint32_t values[] = {root->white_pixel, XCB_EVENT_MASK_KEY_PRESS};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, user, root->root, 100, 300, 400, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      root->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    xcb_map_window(c, user);
    xcb_flush(c);
    // Modifiers pressed on the way to the shortcut are the user's window's; nothing else is.
    xcb_get_modifier_mapping_reply_t* modifiers =
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    ASSERT_NE(modifiers, nullptr);
    const xcb_keycode_t* modifierCodes = xcb_get_modifier_mapping_keycodes(modifiers);
    const QList<xcb_keycode_t> modifierKeys(modifierCodes, modifierCodes + 8 * modifiers->keycodes_per_modifier);
    std::free(modifiers);
    int strayKeys = 0;
    const auto countStrayKeys = [&] {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS &&
                !modifierKeys.contains(reinterpret_cast<xcb_key_press_event_t*>(event)->detail)) {
                ++strayKeys;
            }
            std::free(event);
        }
    };
    const QString userWindow = QString::number(user);
    // Asked of the server directly: a process per look would slow the test down.
    const auto userHasFocus = [&] {
        xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
        const bool has = reply && reply->focus == user;
        std::free(reply);
        return has;
    };

    // Other plim commands keep both cores busy meanwhile.
    const QString busyFile = home.filePath(u"busy/plim.md"_s);
    std::vector<std::unique_ptr<Process>> busy;
    for (int i = 0; i < 3; ++i) {
        busy.push_back(start(u"sh"_s, {u"-c"_s, u"while :; do \"$0\" --file \"$1\" add busy >/dev/null; done"_s,
                                       QStringLiteral(PLIM_EXECUTABLE), busyFile}));
    }
    startResident();
    run(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, userWindow});

    constexpr int kCaptures = 50;
    QStringList expected;
    for (int i = 1; i <= kCaptures; ++i) {
        // The drawer of the capture before has gone, and the focus is back.
        ASSERT_TRUE(QTest::qWaitFor(userHasFocus, kWaitMs))
            << "capture " << i << ": the focus is on " << focus().toStdString();
        const QString thought = u"thought %1"_s.arg(i);
        expected << thought;
        // One key after another, as a fast typist (`xdotool type` sends no Return).
        QStringList strokes{u"key"_s, u"--delay"_s, u"6"_s, u"ctrl+alt+space"_s};
        for (const QChar ch : thought) {
            strokes << (ch == u' ' ? u"space"_s : QString(ch));
        }
        run(u"xdotool"_s, strokes << u"Return"_s);
        ASSERT_TRUE(QTest::qWaitFor([&] { return openItems().size() == i; }, kWaitMs))
            << "capture " << i << ": " << notes().toStdString();
        EXPECT_EQ(openItems().last(), thought);
        countStrayKeys();
    }
    EXPECT_EQ(openItems(), expected);
    EXPECT_EQ(strayKeys, 0);
    busy.clear();
    quitResident();
}

} // namespace
