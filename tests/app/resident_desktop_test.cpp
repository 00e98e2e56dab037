// The resident program as a user meets it: the real plim on an X server and a session bus of the
// test's own, with a tray (trayer), a window manager (openbox) and a notification server (dunst)
// where the test needs them. Skipped when Xvfb, dbus-daemon or a helper the test needs is missing.
#include "support/DesktopSession.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QTime>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <memory>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

using test::have;
using test::Process;

constexpr int kWaitMs = test::kDesktopWaitMs;

// Something is drawn on the image: not all of it is its corner's colour.
bool drawn(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != image.pixel(0, 0)) {
                return true;
            }
        }
    }
    return false;
}

class ResidentDesktopTest : public test::DesktopSession {
protected:
    void SetUp() override {
        DesktopSession::SetUp();
        configure(u"reminderDelivery=notification\n"_s);
    }

    QString windowClass(xcb_window_t window) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            connection(), xcb_get_property(connection(), 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
            nullptr);
        QString cls;
        if (reply) {
            const QByteArray bytes(static_cast<const char*>(xcb_get_property_value(reply)),
                                   xcb_get_property_value_length(reply));
            cls = QString::fromLatin1(bytes.mid(bytes.indexOf('\0') + 1)).remove(QChar(0));
        }
        std::free(reply);
        return cls;
    }

    // plim's window docked in trayer: one of class plim with a trayer window among its ancestors.
    xcb_window_t trayIcon() {
        const QString found = run(u"xdotool"_s, {u"search"_s, u"--class"_s, u"^plim$"_s}).out;
        for (const QString& id : found.split(u'\n', Qt::SkipEmptyParts)) {
            xcb_window_t w = id.toUInt();
            while (true) {
                xcb_query_tree_reply_t* tree =
                    xcb_query_tree_reply(connection(), xcb_query_tree(connection(), w), nullptr);
                if (!tree || tree->parent == tree->root || tree->parent == XCB_NONE) {
                    std::free(tree);
                    break;
                }
                w = tree->parent;
                std::free(tree);
                if (windowClass(w) == u"trayer"_s) {
                    return id.toUInt();
                }
            }
        }
        return XCB_NONE;
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

    // The notes window when it is shown: a visible plim window as tall as no drawer is.
    xcb_window_t notesWindow() {
        const QString ids = run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^plim$"_s}).out;
        for (const QString& id : ids.split(u'\n', Qt::SkipEmptyParts)) {
            if (geometry(id.toUInt()).height() >= 500) {
                return id.toUInt();
            }
        }
        return XCB_NONE;
    }

    QImage capture(const QString& window, const QString& name) const {
        const QString path = QDir::current().filePath(name);
        Process import;
        import.p.start(u"import"_s, {u"-display"_s, QString::fromLatin1(x->display()), u"-window"_s, window, path});
        import.p.waitForFinished(kWaitMs);
        return QImage(path);
    }
};

// The drawer through `plim capture` and the shortcut; what was typed outlives SIGTERM.
TEST_F(ResidentDesktopTest, CaptureRequestAndShortcutReachTheDrawerAndTheDraftOutlivesTheProgram) {
    if (!have(u"xdotool"_s) || !have(u"openbox"_s)) {
        GTEST_SKIP() << "xdotool or openbox is missing";
    }
    const auto wm = start(u"openbox"_s, {});
    // Shown and holding the keyboard: keys typed before that go to another window.
    const auto drawerShown = [&] {
        const QString ids = run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--class"_s, u"^plim$"_s}).out;
        const QString focused = run(u"xdotool"_s, {u"getwindowfocus"_s, u"-f"_s}).out.trimmed();
        for (const QString& id : ids.split(u'\n', Qt::SkipEmptyParts)) {
            if (geometry(id.toUInt()).width() >= 640 && id == focused) {
                return true;
            }
        }
        return false;
    };

    // With a tray, as on most desktops: without one the notes window opens at start, and under load
    // the window manager may hand it the keyboard only after the drawer had it.
    if (!startTray()) {
        GTEST_SKIP() << "trayer is missing";
    }
    const QString settings = settingsPath();

    startResident();
    EXPECT_EQ(plim({u"capture"_s}).status, 0);
    ASSERT_TRUE(QTest::qWaitFor(drawerShown, kWaitMs));
    run(u"xdotool"_s, {u"type"_s, u"half a thought"_s});
    ::kill(static_cast<pid_t>(resident->p.processId()), SIGTERM);
    ASSERT_TRUE(resident->p.waitForFinished(kWaitMs));
    EXPECT_EQ(resident->p.exitCode(), 0);
    EXPECT_TRUE(test::readAll(settings).contains("draft=half a thought")) << test::readAll(settings).toStdString();

    startResident();
    run(u"xdotool"_s, {u"key"_s, u"ctrl+alt+space"_s});
    ASSERT_TRUE(QTest::qWaitFor(drawerShown, kWaitMs));
    run(u"xdotool"_s, {u"key"_s, u"Return"_s});
    EXPECT_TRUE(QTest::qWaitFor([&] { return test::readAll(notesPath()).contains("- [ ] half a thought"); }, kWaitMs))
        << test::readAll(notesPath()).toStdString() << test::readAll(settings).toStdString();
    quitResident();
}

// The notes window from `plim notes` and from the notes shortcut, driven from the keyboard.
TEST_F(ResidentDesktopTest, NotesWindowOpensOnRequestAndItsKeysChangeTheFile) {
    if (!have(u"xdotool"_s) || !have(u"openbox"_s) || !startTray()) {
        GTEST_SKIP() << "xdotool, openbox or trayer is missing";
    }
    const auto wm = start(u"openbox"_s, {});
    ASSERT_EQ(plim({u"add"_s, u"buy milk"_s}).status, 0);
    ASSERT_EQ(plim({u"add"_s, u"call Ann"_s}).status, 0);
    const auto key = [&](const QString& keys) { run(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"60"_s, keys}); };
    const auto fileHas = [&](const char* line) {
        return QTest::qWaitFor([&] { return test::readAll(notesPath()).contains(line); }, kWaitMs);
    };
    // What has the keyboard: keys are typed once the window a user would type into has it.
    const auto focused = [&] { return xcb_window_t(run(u"xdotool"_s, {u"getwindowfocus"_s, u"-f"_s}).out.toUInt()); };
    const auto notesFocused = [&] { return notesWindow() != XCB_NONE && notesWindow() == focused(); };
    const auto drawerFocused = [&] {
        const xcb_window_t window = focused();
        const QRect frame = geometry(window);
        return windowClass(window) == u"plim"_s && frame.width() >= 640 && frame.height() < 500;
    };

    startResident();
    EXPECT_EQ(plim({u"notes"_s}).status, 0);
    ASSERT_TRUE(QTest::qWaitFor(notesFocused, kWaitMs));
    key(u"ctrl+f"_s);
    run(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"60"_s, u"milk"_s});
    key(u"Down"_s);
    key(u"space"_s);
    EXPECT_TRUE(fileHas("- [x] ~~buy milk~~")) << test::readAll(notesPath()).toStdString();
    key(u"ctrl+z"_s);
    EXPECT_TRUE(fileHas("- [ ] buy milk")) << test::readAll(notesPath()).toStdString();
    EXPECT_TRUE(test::readAll(notesPath()).contains("- [ ] call Ann"));
    key(u"ctrl+w"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notesWindow() == XCB_NONE; }, kWaitMs));

    // The notes shortcut after a capture opens the window on what the drawer just saved.
    EXPECT_EQ(plim({u"capture"_s}).status, 0);
    ASSERT_TRUE(QTest::qWaitFor(drawerFocused, kWaitMs));
    run(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"60"_s, u"fresh idea"_s});
    key(u"Return"_s);
    ASSERT_TRUE(fileHas("- [ ] fresh idea"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !drawerFocused(); }, kWaitMs));
    key(u"ctrl+alt+shift+space"_s);
    ASSERT_TRUE(QTest::qWaitFor(notesFocused, kWaitMs));
    key(u"space"_s);
    EXPECT_TRUE(fileHas("- [x] ~~fresh idea~~")) << test::readAll(notesPath()).toStdString();
    EXPECT_TRUE(test::readAll(notesPath()).contains("- [ ] buy milk"));
    quitResident();
    // The window was open at the end: its frame is kept for the next run.
    EXPECT_TRUE(test::readAll(settingsPath()).contains("manageWindowGeometry"));
}

// With dunst as the notification server: each notification it shows is logged by a rule script,
// and its context menu (`dunstctl context`) is answered by a script that picks the Done line.
class WithNotifications : public ResidentDesktopTest {
protected:
    void SetUp() override {
        ResidentDesktopTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        if (!have(u"dunst"_s) || !have(u"dunstctl"_s)) {
            GTEST_SKIP() << "dunst is missing";
        }
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

    // Starts the program with a tray where trayer is there; without one, once it said so (its own
    // notification, which stays on screen).
    void startResidentSettled() {
        withTray = startTray();
        startResident();
        if (!withTray) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return shownCount(u"plim is running"_s) == 1; }, kWaitMs));
        }
    }

    std::unique_ptr<Process> dunst;
    bool withTray = false;
};

TEST_F(WithNotifications, AReminderThatComesDueIsPostedAndItsDoneButtonMarksItDone) {
    // With a window manager a second entry rings, and a click on its notification opens the notes
    // window on it.
    const auto wm = have(u"openbox"_s) && have(u"xdotool"_s) ? start(u"openbox"_s, {}) : nullptr;
    startResidentSettled();
    xcb_window_t icon = XCB_NONE;
    QImage before;
    if (withTray) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return (icon = trayIcon()) != XCB_NONE; }, kWaitMs));
        // Once the mark is drawn.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                before = capture(QString::number(icon), u"resident-tray-quiet.png"_s);
                return drawn(before);
            },
            kWaitMs));
    }

    // Reminders are to the minute: the next one, with time to spare before it begins.
    while (QTime::currentTime().second() > 55) {
        QTest::qWait(500);
    }
    const QString minute = QDateTime::currentDateTime().addSecs(60).toString(u"HH:mm"_s);
    QStringList texts{u"water the ficus"_s};
    if (wm) {
        texts << u"call the vet"_s;
    }
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
    if (withTray) {
        // The dot shows while the entry rings.
        EXPECT_TRUE(capture(QString::number(icon), u"resident-tray-ringing.png"_s) != before) << "no dot";
    }
    const int ringing = displayed();
    if (wm) {
        EXPECT_EQ(run(u"dunstctl"_s, {u"action"_s}).status, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return notesWindow() != XCB_NONE; }, kWaitMs));
        QTest::qWait(300);
        // The window is on the clicked entry: Space in the list marks that one, and only that one, done.
        run(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"60"_s, u"ctrl+f"_s, u"Down"_s, u"space"_s});
        ASSERT_TRUE(QTest::qWaitFor([&] { return isDone(texts[0]) != isDone(texts[1]); }, kWaitMs))
            << test::readAll(notesPath()).toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return displayed() == ringing - 1; }, kWaitMs));
    }
    EXPECT_EQ(run(u"dunstctl"_s, {u"context"_s}).status, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::all_of(texts.begin(), texts.end(), isDone); }, kWaitMs))
        << test::readAll(notesPath()).toStdString();
    if (withTray) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return capture(QString::number(icon), u"resident-tray-done.png"_s) == before; }, kWaitMs));
    }
    // The answered notification leaves the screen.
    EXPECT_TRUE(QTest::qWaitFor([&] { return displayed() == ringing - texts.size(); }, kWaitMs));
    quitResident();
}

// Answers to a notification go to the program that posted it: one that ends takes its own along.
TEST_F(WithNotifications, QuittingTakesItsNotificationsOffTheScreen) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(notesPath()).path()));
    ASSERT_TRUE(test::writeAll(notesPath(),
                               "## 2025-03-14 Friday\n\n- [ ] call Ann  <!-- 09:02 remind 2025-03-14 10:00 -->\n"));
    startResidentSettled();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownCount(u"1 reminder is ringing"_s) == 1; }, kWaitMs));
    ASSERT_GE(displayed(), 1);
    quitResident();
    EXPECT_TRUE(QTest::qWaitFor([&] { return displayed() == 0; }, kWaitMs)) << displayed();
}

TEST_F(WithNotifications, EachNewStoreErrorIsToldOnceAndWithdrawnWhenMended) {
    const QString title = u"plim cannot read the notes file"_s;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(notesPath()).path()));
    ASSERT_TRUE(test::writeAll(notesPath(), "## 2026-03-11 Wednesday\n\n- [ ] \xff\xfe broken\n"));
    startResidentSettled();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownCount(title) == 1; }, kWaitMs));
    const int broken = displayed();

    // Mended by another program: the notification goes; broken again, a new one comes.
    ASSERT_TRUE(test::writeAll(notesPath(), "## 2026-03-11 Wednesday\n\n- [ ] mended\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return displayed() == broken - 1; }, kWaitMs));
    ASSERT_TRUE(test::writeAll(notesPath(), "## 2026-03-11 Wednesday\n\n- [ ] \xff broken again\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownCount(title) == 2; }, kWaitMs));
    QTest::qWait(300);
    EXPECT_EQ(shownCount(title), 2);
    quitResident();
}

// A conflict copy the sync tool leaves beside the notes is merged by itself once written, and told once.
TEST_F(WithNotifications, AConflictCopyIsMergedByItselfAndToldOnce) {
    const QString title = u"plim merged a conflict copy"_s;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(notesPath()).path()));
    ASSERT_TRUE(test::writeAll(notesPath(), "## 2026-03-11 Wednesday\n\n- [ ] here\n"));
    startResidentSettled();
    const QString copy = QFileInfo(notesPath()).path() + u"/plim.sync-conflict-20260311-101500-ABCDEFG.md"_s;
    ASSERT_TRUE(test::writeAll(copy, "## 2026-03-11 Wednesday\n\n- [ ] here\n- [ ] there\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownCount(title) == 1; }, kWaitMs));
    EXPECT_EQ(test::readAll(notesPath()), "## 2026-03-11 Wednesday\n\n- [ ] here\n- [ ] there\n");
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_TRUE(QFileInfo::exists(home.filePath(u"state/plim/merged/plim.sync-conflict-20260311-101500-ABCDEFG.md"_s)));
    QTest::qWait(1500);
    EXPECT_EQ(shownCount(title), 1);
    quitResident();
}

} // namespace
