// The resident program as a user meets it: the real plim on an X server, a session bus, a window
// manager (openbox), a tray (trayer) and a notification server (dunst) of the test's own, driven
// with xdotool. Skipped when one is missing.
#include "store/FileLock.h"

#include "support/DesktopSession.h"

#include <QDateTime>
#include <QImage>
#include <QTime>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

using test::Process;

constexpr int kWaitMs = test::kDesktopWaitMs;

// Something is drawn on the image: not all of it is its corner's colour.
bool drawn(const QImage& image) {
    QImage blank = image;
    blank.fill(image.pixelColor(0, 0));
    return !image.isNull() && blank != image;
}

class ResidentDesktopTest : public test::DesktopSession {
protected:
    ResidentDesktopTest()
        : DesktopSession({u"dunst"_s, u"dunstctl"_s, u"trayer"_s, u"openbox"_s, u"xdotool"_s}) {}

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

    // plim's icon docked in the tray: a shown plim window of an icon's size.
    xcb_window_t trayIcon() {
        return plimWindow([](QRect r) { return r.isValid() && r.width() <= 64 && r.height() <= 64; });
    }
    // The notes window when it is shown: a visible plim window as tall as no drawer is.
    xcb_window_t notesWindow() {
        return plimWindow([](QRect r) { return r.height() >= 500; }, true);
    }

    QImage capture(const QString& window, const QString& name) const {
        const QString path = QDir::current().filePath(name);
        run(u"import"_s, {u"-window"_s, window, path});
        return QImage(path);
    }

    // dunst as the notification server, reminders ringing there: each notification it shows is
    // logged by a rule script, and its context menu (`dunstctl context`) is answered by a script
    // that picks the Done line.
    void startNotifications() {
        configure(u"reminderDelivery=notification\n"_s);
        const QString pick = home.filePath(u"pick.sh"_s);
        const QString log = home.filePath(u"log.sh"_s);
        test::writeAll(pick, "#!/bin/sh\ngrep ',done]' | head -n 1\n");
        test::writeAll(log, ("#!/bin/sh\nprintf '%s\\n' \"$2\" >> " + shown().toUtf8() + "\n"));
        for (const QString& script : {pick, log}) {
            QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const QString config = home.filePath(u"dunstrc"_s);
        test::writeAll(config, (u"[global]\n    dmenu = "_s + pick + u"\n"_s +
                                u"[urgency_low]\n    timeout = 0\n[urgency_normal]\n    timeout = 0\n"_s +
                                u"[urgency_critical]\n    timeout = 0\n"_s +
                                u"[log]\n    summary = \"*\"\n    script = "_s + log + u"\n"_s)
                                   .toUtf8());
        dunst = start(u"dunst"_s, {u"-config"_s, config});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return run(u"dunstctl"_s, {u"count"_s, u"displayed"_s}).status == 0;
            },
            kWaitMs));
    }

    QString shown() const { return home.filePath(u"shown.txt"_s); }
    int shownCount(const QString& summary) const {
        return QString::fromUtf8(test::readAll(shown())).split(u'\n').count(summary);
    }
    int displayed() const { return run(u"dunstctl"_s, {u"count"_s, u"displayed"_s}).out.trimmed().toInt(); }

    std::unique_ptr<Process> wm;
    std::unique_ptr<Process> dunst;
};

TEST_F(ResidentDesktopTest, AReminderThatComesDueRingsInTheTrayAndItsNotificationsAnswer) {
    // Two entries ring: a click on one's notification opens the notes window on it, the other is
    // answered from its notification's menu.
    startNotifications();
    startResident();
    xcb_window_t icon = XCB_NONE;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (icon = trayIcon()) != XCB_NONE; }, kWaitMs));
    QImage before; // once the mark is drawn
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return drawn(before = capture(QString::number(icon), u"resident-tray-quiet.png"_s)); }, kWaitMs));

    // Reminders are to the minute: the next one, with time to spare before it begins.
    while (QTime::currentTime().second() > 55) {
        QTest::qWait(500);
    }
    const QString minute = QDateTime::currentDateTime().addSecs(60).toString(u"HH:mm"_s);
    const QStringList texts{u"water the ficus"_s, u"call the vet"_s};
    for (const QString& text : texts) {
        ASSERT_EQ(plim({u"add"_s, u"--remind"_s, minute, text}).status, 0);
    }
    const auto isDone = [&](const QString& text) {
        return QString::fromUtf8(test::readAll(notesPath())).contains(u"- [x] ~~"_s + text + u"~~"_s);
    };

    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return std::all_of(texts.begin(), texts.end(), [&](const QString& t) { return shownCount(t) == 1; }); },
        75000))
        << test::readAll(shown()).toStdString();
    // The dot shows while the entries ring.
    EXPECT_TRUE(capture(QString::number(icon), u"resident-tray-ringing.png"_s) != before) << "no dot";
    const int ringing = displayed();
    EXPECT_EQ(run(u"dunstctl"_s, {u"action"_s}).status, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notesWindow() != XCB_NONE; }, kWaitMs));
    QTest::qWait(300);
    // The window is on the clicked entry: Space in the list marks that one, and only that one, done.
    run(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"60"_s, u"ctrl+f"_s, u"Down"_s, u"space"_s});
    ASSERT_TRUE(QTest::qWaitFor([&] { return isDone(texts[0]) != isDone(texts[1]); }, kWaitMs))
        << test::readAll(notesPath()).toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return displayed() == ringing - 1; }, kWaitMs));
    EXPECT_EQ(run(u"dunstctl"_s, {u"context"_s}).status, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::all_of(texts.begin(), texts.end(), isDone); }, kWaitMs))
        << test::readAll(notesPath()).toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return capture(QString::number(icon), u"resident-tray-done.png"_s) == before; },
                                kWaitMs));
    // The answered notification leaves the screen.
    EXPECT_TRUE(QTest::qWaitFor([&] { return displayed() == ringing - texts.size(); }, kWaitMs));
    quitResident();
}

// The X server going away ends the program (Qt leaves at once), but what it kept is saved first: a
// capture kept while another plim process held the notes file is made, and the draft stays.
TEST_F(ResidentDesktopTest, LosingTheDisplaySavesTheKeptCaptureAndTheDraft) {
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
    const auto draftKept = [&] { return test::readAll(settingsPath()).contains("draft=half a thought"); };
    ASSERT_TRUE(QTest::qWaitFor(draftKept, kWaitMs)) << test::readAll(settingsPath()).toStdString();

    x.reset();
    other.unlock();
    ASSERT_TRUE(resident->p.waitForFinished(kWaitMs));
    EXPECT_EQ(openItems(), QStringList{u"kept while busy"_s}) << notes().toStdString();
    EXPECT_TRUE(draftKept());
}

// A fast typist on a busy machine: the shortcut and the thought at once, without waiting for the
// drawer. Every key after the shortcut is the drawer's, none reaches the window the user was in.
TEST_F(ResidentDesktopTest, KeysTypedRightAfterTheShortcutAllReachTheDrawer) {
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
