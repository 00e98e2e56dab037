#include "platform/linux/XdgAutostart.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

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
    void installSystemEntry() {
        ASSERT_TRUE(QDir().mkpath(system + u"/autostart"_s));
        ASSERT_TRUE(
            writeAll(system + u"/autostart/plim.desktop"_s, XdgAutostart::desktopEntry(u"/usr/bin/plim"_s).toUtf8()));
    }
};

TEST_F(Autostart, RegisteringWritesTheEntryAndUnregisteringRemovesIt) {
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_EQ(autostart.filePath(), userEntry());
    EXPECT_TRUE(autostart.setRegistered(true));
    EXPECT_TRUE(autostart.isRegistered());
    EXPECT_EQ(readAll(userEntry()), "[Desktop Entry]\n"
                                    "Type=Application\n"
                                    "Name=plim\n"
                                    "Comment=Quick capture and reminders\n"
                                    "Exec=/usr/bin/plim\n"
                                    "Icon=plim\n"
                                    "Terminal=false\n"
                                    "X-GNOME-Autostart-enabled=true\n"
                                    "X-GNOME-Autostart-Delay=2\n");
    // Nothing but the entry is left in the folder.
    EXPECT_EQ(QDir(home + u"/autostart"_s).entryList(QDir::Files | QDir::Hidden), QStringList{u"plim.desktop"_s});

    EXPECT_TRUE(autostart.setRegistered(false));
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_FALSE(QFileInfo::exists(userEntry()));
    EXPECT_TRUE(autostart.setRegistered(false));
}

TEST_F(Autostart, AHiddenEntryIsNotRegisteredUntilRegisteredAgain) {
    ASSERT_TRUE(QDir().mkpath(home + u"/autostart"_s));
    ASSERT_TRUE(writeAll(userEntry(), "[Desktop Entry]\nType=Application\nExec=plim\nHidden=true\n"));
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_TRUE(autostart.setRegistered(true));
    EXPECT_TRUE(autostart.isRegistered());
    EXPECT_FALSE(XdgAutostart::isHidden(QString::fromUtf8(readAll(userEntry()))));
}

TEST_F(Autostart, ASystemEntryIsHiddenRatherThanLeftRunning) {
    installSystemEntry();
    EXPECT_TRUE(autostart.isRegistered());
    EXPECT_TRUE(autostart.setRegistered(false));
    EXPECT_FALSE(autostart.isRegistered());
    EXPECT_TRUE(XdgAutostart::isHidden(QString::fromUtf8(readAll(userEntry()))));
    EXPECT_TRUE(QFileInfo::exists(system + u"/autostart/plim.desktop"_s));
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

struct HiddenCase {
    std::string name;
    QString entry;
    bool hidden;
};

void PrintTo(const HiddenCase& c, std::ostream* os) {
    *os << c.name;
}

class Hidden : public ::testing::TestWithParam<HiddenCase> {};

TEST_P(Hidden, IsReadFromTheMainGroup) {
    EXPECT_EQ(XdgAutostart::isHidden(GetParam().entry), GetParam().hidden);
}

INSTANTIATE_TEST_SUITE_P(
    Autostart, Hidden,
    ::testing::Values(HiddenCase{"Hidden", u"[Desktop Entry]\nHidden=true\n"_s, true},
                      HiddenCase{"SpacesAroundEquals", u"[Desktop Entry]\nHidden = true\n"_s, true},
                      HiddenCase{"WindowsLineEnds", u"[Desktop Entry]\r\nExec=plim\r\nHidden=true\r\n"_s, true},
                      HiddenCase{"OnlyLowerCaseTrue", u"[Desktop Entry]\nHidden=True\n"_s, false},
                      HiddenCase{"OtherGroup", u"[Desktop Entry]\nExec=plim\n[Desktop Action x]\nHidden=true\n"_s,
                                 false},
                      HiddenCase{"OtherKey", u"[Desktop Entry]\nX-Hidden=true\nNoDisplay=true\n"_s, false},
                      HiddenCase{"Comment", u"[Desktop Entry]\n# Hidden=true\n"_s, false}),
    [](const auto& p) { return p.param.name; });

struct ExecCase {
    std::string name;
    QString program;
    QString exec;
};

void PrintTo(const ExecCase& c, std::ostream* os) {
    *os << c.name;
}

class Exec : public ::testing::TestWithParam<ExecCase> {};

TEST_P(Exec, QuotesTheProgramForTheDesktop) {
    const QString entry = XdgAutostart::desktopEntry(GetParam().program);
    const qsizetype start = entry.indexOf(u"\nExec="_s) + 6;
    EXPECT_EQ(entry.mid(start, entry.indexOf(u'\n', start) - start), GetParam().exec);
}

INSTANTIATE_TEST_SUITE_P(Autostart, Exec,
                         ::testing::Values(ExecCase{"Plain", u"/usr/bin/plim"_s, u"/usr/bin/plim"_s},
                                           ExecCase{"Space", u"/opt/my apps/plim"_s, u"\"/opt/my apps/plim\""_s},
                                           ExecCase{"Percent", u"/opt/100%/plim"_s, u"/opt/100%%/plim"_s},
                                           ExecCase{"Dollar", u"/opt/a$b/plim"_s, u"\"/opt/a\\\\$b/plim\""_s},
                                           ExecCase{"Quote", u"/opt/\"x\"/plim"_s, u"\"/opt/\\\\\"x\\\\\"/plim\""_s},
                                           ExecCase{"Backslash", u"/opt/a\\b/plim"_s, u"\"/opt/a\\\\\\\\b/plim\""_s}),

                         [](const auto& p) { return p.param.name; });

} // namespace
