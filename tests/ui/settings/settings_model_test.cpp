#include "ui/settings/RecorderModel.h"
#include "ui/settings/SettingsModel.h"

#include "store/Preferences.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

using namespace plim;
using namespace plim::SettingsModel;
using namespace Qt::Literals::StringLiterals;

namespace {

TEST(ValueRow, TypedNumbersAreScaledClampedAndSnapped) {
    struct Case {
        const char* row;
        ValueRange range;
        QString text;
        std::optional<double> stored;
        int shownAfter;
    };
    const Case cases[] = {
        {"opacity", opacityRange(), u"20"_s, 0.3, 30},
        {"opacity", opacityRange(), u"97"_s, 0.95, 95},
        {"opacity", opacityRange(), u"62"_s, 0.6, 60},
        {"opacity", opacityRange(), u" 63 "_s, 0.65, 65},
        {"opacity", opacityRange(), u"-5"_s, 0.3, 30},
        {"opacity", opacityRange(), u"sixty"_s, std::nullopt, 0},
        {"opacity", opacityRange(), u""_s, std::nullopt, 0},
        {"opacity", opacityRange(), u"inf"_s, std::nullopt, 0},
        {"blur", blurRange(), u"0"_s, 0.0, 0},
        {"blur", blurRange(), u"12"_s, 8.0, 8},
        {"blur", blurRange(), u"2.6"_s, 3.0, 3},
        {"size", sizeRange(), u"60"_s, 48.0, 48},
        {"size", sizeRange(), u"3"_s, 12.0, 12},
        {"size", sizeRange(), u"30"_s, 30.0, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.row) + " " + c.text.toStdString());
        const auto value = typed(c.text, c.range);
        EXPECT_EQ(value, c.stored);
        if (value) {
            EXPECT_EQ(shown(*value, c.range), c.shownAfter);
            EXPECT_EQ(valueAt(sliderPosition(*value, c.range), c.range), *value);
        }
    }
    EXPECT_EQ(sliderSteps(opacityRange()), 13);
    EXPECT_EQ(sliderSteps(sizeRange()), 36);
}

TEST(NotificationRow, FollowsTheStatus) {
    using S = ReminderScheduler::Status;
    using B = NotificationRow::Button;
    EXPECT_EQ(notificationRow(std::nullopt), NotificationRow{});
    EXPECT_EQ(notificationRow(S::Off), (NotificationRow{u"Off"_s, B::TurnOn, u"Turn On"_s}));
    EXPECT_EQ(notificationRow(S::Denied),
              (NotificationRow{u"Not available on this desktop"_s, B::OpenSettings, u"Notification Settings…"_s}));
    EXPECT_EQ(notificationRow(S::Temporary).text, u"On · Temporary"_s);
    EXPECT_EQ(notificationRow(S::Persistent).text, u"On · Persistent"_s);
}

TEST(ChooseNotesFile, CreatesTheFileOrKeepsTheOldPath) {
    QTemporaryDir dir;
    Preferences prefs(dir.filePath(u"plim.conf"_s));
    QSignalSpy changed(&prefs, &Preferences::changed);
    prefs.setValue(PreferenceKey::notesFilePath, dir.filePath(u"old.md"_s));

    const QString fresh = dir.filePath(u"new/folder/plim.md"_s);
    EXPECT_EQ(chooseNotesFile(prefs, fresh), std::nullopt);
    EXPECT_TRUE(QFileInfo(fresh).isFile());
    EXPECT_EQ(QFileInfo(fresh).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
    EXPECT_EQ(prefs.notesFilePath(), fresh);
    EXPECT_EQ(changed.count(), 2);

    // An existing file is left as it is.
    ASSERT_TRUE(test::writeAll(dir.filePath(u"kept.md"_s), "- [ ] keep me\n"));
    EXPECT_EQ(chooseNotesFile(prefs, dir.filePath(u"kept.md"_s)), std::nullopt);
    EXPECT_EQ(test::readAll(dir.filePath(u"kept.md"_s)), "- [ ] keep me\n");

    // A folder that cannot be made (a file stands in its way, which stops root too): an error, the
    // old path kept, nothing announced.
    const QString locked = dir.filePath(u"locked"_s);
    ASSERT_TRUE(test::writeAll(locked, "a file"));
    const int announced = static_cast<int>(changed.count());
    const auto error = chooseNotesFile(prefs, locked + u"/plim.md"_s);
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->contains(locked)) << error->toStdString();
    EXPECT_EQ(prefs.notesFilePath(), dir.filePath(u"kept.md"_s));
    EXPECT_EQ(changed.count(), announced);
    EXPECT_TRUE(createNotesFile(dir.path()).has_value()); // a folder is no notes file
}

// --- The shortcut recorder ---

RecorderModel::Checks checks(QList<QKeyCombination> held = {}) {
    RecorderModel::Checks c;
    c.known = [](Qt::Key key) { return key != Qt::Key_F35; };
    c.heldElsewhere = [held](QKeyCombination k) { return held.contains(k); };
    c.describe = [](QKeyCombination k) { return QString::number(k.toCombined(), 16); };
    return c;
}

TEST(Recorder, JudgesThePressedCombination) {
    using V = RecorderModel::Verdict;
    const QKeyCombination desktops = Qt::CTRL | Qt::ALT | Qt::Key_T;
    struct Case {
        const char* name;
        QKeyCombination pressed;
        V verdict;
    };
    const Case cases[] = {
        {"a modifier alone", Qt::CTRL | Qt::Key_Control, V::Wait},
        {"Esc", QKeyCombination(Qt::Key_Escape), V::Cancel},
        {"Backspace", QKeyCombination(Qt::Key_Backspace), V::Clear},
        {"Delete", QKeyCombination(Qt::Key_Delete), V::Clear},
        {"a plain letter", QKeyCombination(Qt::Key_A), V::Disallowed},
        {"Shift and a letter", Qt::SHIFT | Qt::Key_A, V::Disallowed},
        {"a key without a code", Qt::CTRL | Qt::Key_F35, V::Disallowed},
        {"Ctrl+W", Qt::CTRL | Qt::Key_W, V::UsedByWindow},
        {"Ctrl+Q", Qt::CTRL | Qt::Key_Q, V::UsedByWindow},
        {"Ctrl+,", Qt::CTRL | Qt::Key_Comma, V::UsedByWindow},
        {"Ctrl+?", Qt::CTRL | Qt::SHIFT | Qt::Key_Question, V::UsedByWindow},
        {"held by the desktop", desktops, V::UsedByDesktop},
        {"Ctrl+Alt+N", Qt::CTRL | Qt::ALT | Qt::Key_N, V::Accept},
        {"Ctrl+Esc", Qt::CTRL | Qt::Key_Escape, V::Accept},
        {"Ctrl+Alt+W", Qt::CTRL | Qt::ALT | Qt::Key_W, V::Accept},
        {"Super+Space", Qt::META | Qt::Key_Space, V::Accept},
        {"keypad flag ignored", QKeyCombination(Qt::ControlModifier | Qt::AltModifier | Qt::KeypadModifier, Qt::Key_5),
         V::Accept},
    };
    int askedDesktop = 0;
    RecorderModel::Checks c = checks({desktops});
    c.heldElsewhere = [&, inner = c.heldElsewhere](QKeyCombination k) {
        ++askedDesktop;
        return inner(k);
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        const RecorderModel::Judgement j = RecorderModel::judge(tc.pressed, c);
        EXPECT_EQ(j.verdict, tc.verdict);
        const bool refused =
            tc.verdict == V::Disallowed || tc.verdict == V::UsedByWindow || tc.verdict == V::UsedByDesktop;
        EXPECT_EQ(j.warning.isEmpty(), !refused);
    }
    // The desktop is asked (a grab) only for combinations that passed the other rules.
    EXPECT_EQ(askedDesktop, 6);
    EXPECT_EQ(RecorderModel::judge(Qt::CTRL | Qt::Key_W, checks()).warning,
              u"%1 is the notes window's “Close”. Choose another shortcut."_s.arg(
                  QString::number((Qt::CTRL | Qt::Key_W).toCombined(), 16)));
}

} // namespace
