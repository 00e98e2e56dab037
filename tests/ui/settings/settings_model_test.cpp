#include "ui/settings/RecorderModel.h"
#include "ui/settings/SettingsModel.h"

#include "store/Preferences.h"
#include "support/TestSupport.h"

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
    // Range, text typed: the value stored (none: left as it was) and the number shown after.
    const ValueRange o = opacityRange();
    const ValueRange b = blurRange();
    const ValueRange z = sizeRange();
    const std::tuple<ValueRange, QString, std::optional<double>, int> cases[] = {
        {o, u"20"_s, 0.3, 30},       {o, u"97"_s, 0.95, 95},         {o, u"62"_s, 0.6, 60},
        {o, u" 63 "_s, 0.65, 65},    {o, u"-5"_s, 0.3, 30},          {o, u"sixty"_s, std::nullopt, 0},
        {o, u""_s, std::nullopt, 0}, {o, u"inf"_s, std::nullopt, 0}, {b, u"0"_s, 0.0, 0},
        {b, u"12"_s, 8.0, 8},        {b, u"2.6"_s, 3.0, 3},          {z, u"60"_s, 48.0, 48},
        {z, u"3"_s, 12.0, 12},       {z, u"30"_s, 30.0, 30}};
    for (const auto& [range, text, stored, shownAfter] : cases) {
        SCOPED_TRACE(text.toStdString() + " up to " + std::to_string(range.max));
        const auto value = typed(text, range);
        EXPECT_EQ(value, stored);
        if (value) {
            EXPECT_EQ(shown(*value, range), shownAfter);
            EXPECT_EQ(valueAt(sliderPosition(*value, range), range), *value);
        }
    }
    EXPECT_EQ(sliderSteps(opacityRange()), 13);
    EXPECT_EQ(sliderSteps(sizeRange()), 36);
}

// The temporary text is what the settings window shows in its own test.
TEST(NotificationRow, FollowsTheStatus) {
    using S = ReminderScheduler::Status;
    using B = NotificationRow::Button;
    EXPECT_EQ(notificationRow(std::nullopt), NotificationRow{});
    EXPECT_EQ(notificationRow(S::Off), (NotificationRow{u"Off"_s, B::TurnOn, u"Turn On"_s}));
    EXPECT_EQ(notificationRow(S::Denied),
              (NotificationRow{u"Not available on this desktop"_s, B::OpenSettings, u"Notification Settings…"_s}));
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
    return {[](Qt::Key key) { return key != Qt::Key_F35; }, [held](QKeyCombination k) { return held.contains(k); },
            [](QKeyCombination k) { return QString::number(k.toCombined(), 16); }};
}

TEST(Recorder, JudgesThePressedCombination) {
    using V = RecorderModel::Verdict;
    const QKeyCombination desktops = Qt::CTRL | Qt::ALT | Qt::Key_T;
    // A modifier alone, Esc, Backspace, Delete, a plain letter, Shift and a letter, a key without a
    // code, the window's own, the desktop's, the ones taken (the keypad flag ignored).
    const std::pair<QKeyCombination, V> cases[] = {
        {Qt::CTRL | Qt::Key_Control, V::Wait},
        {QKeyCombination(Qt::Key_Escape), V::Cancel},
        {QKeyCombination(Qt::Key_Backspace), V::Clear},
        {QKeyCombination(Qt::Key_Delete), V::Clear},
        {QKeyCombination(Qt::Key_A), V::Disallowed},
        {Qt::SHIFT | Qt::Key_A, V::Disallowed},
        {Qt::CTRL | Qt::Key_F35, V::Disallowed},
        {Qt::CTRL | Qt::Key_W, V::UsedByWindow},
        {Qt::CTRL | Qt::Key_Q, V::UsedByWindow},
        {Qt::CTRL | Qt::Key_Comma, V::UsedByWindow},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Question, V::UsedByWindow},
        {desktops, V::UsedByDesktop},
        {Qt::CTRL | Qt::ALT | Qt::Key_N, V::Accept},
        {Qt::CTRL | Qt::Key_Escape, V::Accept},
        {Qt::CTRL | Qt::ALT | Qt::Key_W, V::Accept},
        {Qt::META | Qt::Key_Space, V::Accept},
        {QKeyCombination(Qt::ControlModifier | Qt::AltModifier | Qt::KeypadModifier, Qt::Key_5), V::Accept}};
    int askedDesktop = 0;
    RecorderModel::Checks c = checks({desktops});
    c.heldElsewhere = [&, inner = c.heldElsewhere](QKeyCombination k) {
        ++askedDesktop;
        return inner(k);
    };
    for (const auto& [pressed, verdict] : cases) {
        SCOPED_TRACE(pressed.toCombined());
        const RecorderModel::Judgement j = RecorderModel::judge(pressed, c);
        EXPECT_EQ(j.verdict, verdict);
        const bool refused = verdict == V::Disallowed || verdict == V::UsedByWindow || verdict == V::UsedByDesktop;
        EXPECT_EQ(j.warning.isEmpty(), !refused);
    }
    // The desktop is asked (a grab) only for combinations that passed the other rules.
    EXPECT_EQ(askedDesktop, 6);
    EXPECT_EQ(RecorderModel::judge(Qt::CTRL | Qt::Key_W, checks()).warning,
              u"%1 is the notes window's “Close”. Choose another shortcut."_s.arg(
                  QString::number((Qt::CTRL | Qt::Key_W).toCombined(), 16)));
}

} // namespace
