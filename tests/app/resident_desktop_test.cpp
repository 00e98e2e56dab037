// The resident program as a user meets it: the real plim on an X server and a session bus of the
// test's own, with a notification server (dunst), and a tray (trayer) and a window manager (openbox)
// where they are installed. Skipped when Xvfb, dbus-daemon or dunst is missing.
#include "support/DesktopSession.h"

#include <QDateTime>
#include <QImage>
#include <QTime>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <memory>

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
        configure(u"reminderDelivery=notification\n"_s);
        startNotifications();
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

    // dunst as the notification server: each notification it shows is logged by a rule script,
    // and its context menu (`dunstctl context`) is answered by a script that picks the Done line.
    void startNotifications() {
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

    std::unique_ptr<Process> dunst;
};

TEST_F(ResidentDesktopTest, AReminderThatComesDueRingsInTheTrayAndItsNotificationsAnswer) {
    // Two entries ring: a click on one's notification opens the notes window on it, the other is
    // answered from its notification's menu.
    const auto wm = start(u"openbox"_s, {});
    ASSERT_TRUE(startTray());
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

} // namespace
