#include "platform/linux/XdgAutostart.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace plim;
using namespace Qt::Literals::StringLiterals;
using plim::test::readAll;
using plim::test::writeAll;

namespace {

class Autostart : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString home = dir.filePath(u"config"_s);
    QString system = dir.filePath(u"xdg"_s);
    XdgAutostart autostart{home, {dir.filePath(u"none"_s), system}, u"/usr/bin/plim"_s};

    QString userEntry() const { return home + u"/autostart/plim.desktop"_s; }
    bool userEntryIsHidden() const { return XdgAutostart::isHidden(QString::fromUtf8(readAll(userEntry()))); }
};

TEST_F(Autostart, RegisteringWritesTheEntryAndUnregisteringRemovesIt) {
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_TRUE(autostart.setRegistered(true));
    EXPECT_TRUE(autostart.isRegistered());
    EXPECT_EQ(readAll(userEntry()),
              "[Desktop Entry]\nType=Application\nName=plim\nComment=Quick capture and reminders\n"
              "Exec=/usr/bin/plim --background\nIcon=plim\nTerminal=false\nX-GNOME-Autostart-enabled=true\n"
              "X-GNOME-Autostart-Delay=2\n");
    // Nothing but the entry is left in the folder.
    EXPECT_EQ(QDir(home + u"/autostart"_s).entryList(QDir::Files | QDir::Hidden), QStringList{u"plim.desktop"_s});
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_TRUE(autostart.setRegistered(false));
        EXPECT_FALSE(autostart.isRegistered());
        EXPECT_FALSE(QFileInfo::exists(userEntry()));
    }
}

TEST_F(Autostart, AHiddenEntryIsNotRegisteredUntilRegisteredAgain) {
    ASSERT_TRUE(QDir().mkpath(home + u"/autostart"_s));
    ASSERT_TRUE(writeAll(userEntry(), "[Desktop Entry]\nType=Application\nExec=plim\nHidden=true\n"));
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_TRUE(autostart.setRegistered(true));
    EXPECT_TRUE(autostart.isRegistered());
    EXPECT_FALSE(userEntryIsHidden());
}

TEST_F(Autostart, ASystemEntryIsHiddenRatherThanLeftRunning) {
    const QString systemEntry = system + u"/autostart/plim.desktop"_s;
    ASSERT_TRUE(QDir().mkpath(system + u"/autostart"_s));
    ASSERT_TRUE(writeAll(systemEntry, XdgAutostart::desktopEntry(u"/usr/bin/plim"_s).toUtf8()));
    EXPECT_TRUE(autostart.isRegistered());
    EXPECT_TRUE(autostart.setRegistered(false));
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_TRUE(userEntryIsHidden());
    EXPECT_TRUE(QFileInfo::exists(systemEntry));
    EXPECT_TRUE(autostart.setRegistered(true));
    EXPECT_TRUE(autostart.isRegistered());
}

TEST_F(Autostart, AProgramPathWithALineBreakIsRefused) {
    XdgAutostart broken(home, {}, u"/tmp/a\nb"_s);
    EXPECT_FALSE(broken.setRegistered(true));
    EXPECT_FALSE(QFileInfo::exists(userEntry()));
}

TEST(AutostartFolder, FollowsTheConfigFolderOfTheEnvironment) {
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_FALSE(config.isEmpty());
    EXPECT_EQ(XdgAutostart::forThisProgram().filePath(), config + u"/autostart/plim.desktop"_s);
}

TEST(AutostartEntry, HiddenIsReadFromTheMainGroup) {
    const std::pair<QString, bool> cases[] = {
        {u"[Desktop Entry]\nHidden=true\n"_s, true},
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

TEST_F(Autostart, AFailureSaysWhyAndASuccessClearsIt) {
    // The autostart folder cannot be made where a file stands.
    ASSERT_TRUE(writeAll(home, "not a folder"));
    EXPECT_FALSE(autostart.setRegistered(true));
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_THAT(autostart.lastError().toStdString(), ::testing::HasSubstr("autostart"));
    ASSERT_TRUE(QFile::remove(home));
    EXPECT_TRUE(autostart.setRegistered(true));
    EXPECT_EQ(autostart.lastError(), QString());
}

TEST(AutostartEntry, ExecQuotesTheProgramForTheDesktop) {
    const std::pair<QString, QString> cases[] = {
        {u"/usr/bin/plim"_s, u"/usr/bin/plim"_s},
        {u"/opt/my apps/plim"_s, u"\"/opt/my apps/plim\""_s},
        {u"/opt/100%/plim"_s, u"/opt/100%%/plim"_s},
        {u"/opt/a$b/plim"_s, u"\"/opt/a\\\\$b/plim\""_s},
        {u"/opt/\"x\"/plim"_s, u"\"/opt/\\\\\"x\\\\\"/plim\""_s},
        {u"/opt/a\\b/plim"_s, u"\"/opt/a\\\\\\\\b/plim\""_s},
    };
    for (const auto& [program, exec] : cases) {
        const QString entry = XdgAutostart::desktopEntry(program);
        const qsizetype start = entry.indexOf(u"\nExec="_s) + 6;
        EXPECT_EQ(entry.mid(start, entry.indexOf(u'\n', start) - start), exec + u" --background"_s);
    }
}

} // namespace
