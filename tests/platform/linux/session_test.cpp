#include "platform/linux/LinuxSystemEvents.h"
#include "platform/linux/XdgAutostart.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace plim::test;

namespace {

TEST(RealtimeTimer, FiresAtItsLastDeadlineOnTheWallClock) {
    // The deadlines armed in turn, from now: whether it fires at the last one.
    const std::tuple<const char*, std::vector<std::optional<std::chrono::milliseconds>>, bool> cases[] = {
        {"earlier", {5000ms, 300ms}, true},
        {"disarmed", {200ms, std::nullopt}, false},
        // A deadline already past fires at once.
        {"already past", {5000ms, -2000ms}, true},
    };
    for (const auto& [name, deadlines, fires] : cases) {
        SCOPED_TRACE(name);
        RealtimeTimer timer;
        ASSERT_TRUE(timer.isValid());
        const Instant start = SystemClock().now();
        std::optional<Instant> deadline;
        for (const auto& d : deadlines) {
            deadline = d ? std::optional<Instant>(start + *d) : std::nullopt;
            ASSERT_TRUE(timer.arm(deadline));
        }
        QSignalSpy fired(&timer, &RealtimeTimer::fired);
        ASSERT_EQ(fired.wait(2500), fires);
        if (fires) {
            const auto late = SystemClock().now() - std::max(*deadline, start);
            EXPECT_GE(late, 0ms); // never early
            EXPECT_LT(late, 500ms);
            EXPECT_EQ(timer.deadline(), std::nullopt);
        }
    }
}

TEST(LinuxSystemEvents, NextMidnight) {
    const std::tuple<const char*, LocalDateTime, std::string> cases[] = {
        {"Europe/Berlin", {2026, 3, 14, 10, 30, 0}, "2026-03-15 00:00:00 +01:00"},
        {"Europe/Berlin", {2026, 3, 14, 0, 0, 0}, "2026-03-15 00:00:00 +01:00"},        // at midnight itself
        {"America/New_York", {2026, 12, 31, 23, 59, 59}, "2027-01-01 00:00:00 -05:00"}, // the last second
        {"Europe/Berlin", {2026, 10, 25, 0, 0, 0}, "2026-10-26 00:00:00 +01:00"},       // a day of 25 hours
        // Clocks went from 00:00 to 01:00 here: that day began at 01:00.
        {"America/Sao_Paulo", {2018, 11, 3, 15, 0, 0}, "2018-11-04 01:00:00 -02:00"},
    };
    for (const auto& [zone, local, expected] : cases) {
        const Calendar calendar(QString::fromLatin1(zone));
        const Instant from = at(calendar, local.year, local.month, local.day, local.hour, local.minute, local.second);
        EXPECT_EQ(describe(calendar, LinuxSystemEvents::nextMidnight(from, calendar)), expected)
            << describe(calendar, from);
    }
    // Armed in the clock's zone.
    const Calendar berlin(u"Europe/Berlin"_s);
    ManualClock clock(at(berlin, 2099, 3, 14, 10, 30), berlin);
    EXPECT_EQ(LinuxSystemEvents(clock).midnightDeadline(), at(berlin, 2099, 3, 15));
}

// The entry is written and removed; a system entry is hidden rather than left running; a failure says
// why and a success clears it. The folder follows the environment's.
TEST(Autostart, RegistersUnregistersAndSaysWhyItCannot) {
    const QTemporaryDir dir;
    const QString home = dir.filePath(u"config"_s);
    const QString system = dir.filePath(u"xdg"_s);
    XdgAutostart autostart{home, {dir.filePath(u"none"_s), system}, u"/usr/bin/plim"_s};
    const QString userEntry = home + u"/autostart/plim.desktop"_s;
    const auto userEntryIsHidden = [&] { return XdgAutostart::isHidden(QString::fromUtf8(readAll(userEntry))); };
    EXPECT_EQ(XdgAutostart::forThisProgram().filePath(),
              qEnvironmentVariable("XDG_CONFIG_HOME") + u"/autostart/plim.desktop"_s);
    // A program path with a line break would end the entry's line: refused.
    EXPECT_FALSE(XdgAutostart(home, {}, u"/tmp/a\nb"_s).setRegistered(true));
    EXPECT_FALSE(QFileInfo::exists(userEntry));
    // The autostart folder cannot be made where a file stands.
    ASSERT_TRUE(writeAll(home, "not a folder"));
    EXPECT_FALSE(autostart.setRegistered(true));
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_THAT(autostart.lastError().toStdString(), ::testing::HasSubstr("autostart"));
    ASSERT_TRUE(QFile::remove(home));
    EXPECT_TRUE(autostart.setRegistered(true));
    EXPECT_EQ(autostart.lastError(), QString());
    EXPECT_TRUE(autostart.isRegistered());
    EXPECT_EQ(readAll(userEntry),
              "[Desktop Entry]\nType=Application\nName=plim\nComment=Quick capture and reminders\n"
              "Exec=/usr/bin/plim --background\nIcon=plim\nTerminal=false\nX-GNOME-Autostart-enabled=true\n"
              "X-GNOME-Autostart-Delay=2\n");
    // Nothing but the entry is left in the folder.
    EXPECT_EQ(QDir(home + u"/autostart"_s).entryList(QDir::Files | QDir::Hidden), QStringList{u"plim.desktop"_s});
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_TRUE(autostart.setRegistered(false));
        EXPECT_FALSE(autostart.isRegistered());
        EXPECT_FALSE(QFileInfo::exists(userEntry));
    }
    const QString systemEntry = system + u"/autostart/plim.desktop"_s;
    ASSERT_TRUE(QDir().mkpath(system + u"/autostart"_s));
    ASSERT_TRUE(writeAll(systemEntry, XdgAutostart::desktopEntry(u"/usr/bin/plim"_s).toUtf8()));
    EXPECT_TRUE(autostart.isRegistered());
    EXPECT_TRUE(autostart.setRegistered(false));
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_TRUE(userEntryIsHidden());
    EXPECT_TRUE(QFileInfo::exists(systemEntry));
    // Hidden, it is no longer registered until registered again.
    EXPECT_TRUE(autostart.setRegistered(true));
    EXPECT_TRUE(autostart.isRegistered());
    EXPECT_FALSE(userEntryIsHidden());
}

TEST(AutostartEntry, HiddenIsReadFromTheMainGroup) {
    const std::pair<QString, bool> cases[] = {
        {u"[Desktop Entry]\nHidden = true\n"_s, true},
        {u"[Desktop Entry]\r\nExec=plim\r\nHidden=true\r\n"_s, true},
        {u"[Desktop Entry]\nHidden=True\n"_s, false}, // only lower-case true
        {u"[Desktop Entry]\nExec=plim\n[Desktop Action x]\nHidden=true\n"_s, false},
        {u"[Desktop Entry]\nX-Hidden=true\nNoDisplay=true\n"_s, false},
        {u"[Desktop Entry]\n# Hidden=true\n"_s, false},
    };
    for (const auto& [entry, hidden] : cases) {
        EXPECT_EQ(XdgAutostart::isHidden(entry), hidden) << entry.toStdString();
    }
}

TEST(AutostartEntry, ExecQuotesTheProgramForTheDesktop) {
    const std::pair<QString, QString> cases[] = {
        {u"/opt/my apps/plim"_s, u"\"/opt/my apps/plim\""_s}, {u"/opt/100%/plim"_s, u"/opt/100%%/plim"_s},
        {u"/opt/a$b/plim"_s, u"\"/opt/a\\\\$b/plim\""_s},     {u"/opt/\"x\"/plim"_s, u"\"/opt/\\\\\"x\\\\\"/plim\""_s},
        {u"/opt/a\\b/plim"_s, u"\"/opt/a\\\\\\\\b/plim\""_s},
    };
    for (const auto& [program, exec] : cases) {
        const QString entry = XdgAutostart::desktopEntry(program);
        const qsizetype start = entry.indexOf(u"\nExec="_s) + 6;
        EXPECT_EQ(entry.mid(start, entry.indexOf(u'\n', start) - start), exec + u" --background"_s);
    }
}

} // namespace
