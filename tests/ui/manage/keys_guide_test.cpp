#include "ui/manage/KeysGuide.h"

#include "support/TestSupport.h"

#include <QSet>

#include <gtest/gtest.h>

#include <string>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

const KeysGuide::Shortcuts kShortcuts{u"Ctrl+Alt+Space"_s, u"Ctrl+Alt+Shift+Space"_s, u"Ctrl+Alt+Shift+V"_s};

// Every text of the guide, for checks that hold for all of them.
QStringList everyText(const KeysGuide::Shortcuts& shortcuts, const Anchors& anchors) {
    QStringList texts = KeysGuide::steps(shortcuts);
    for (const auto& group : KeysGuide::groups(shortcuts, anchors)) {
        texts.append(group.title);
        for (const auto& row : group.rows) {
            texts << row.keys << row.meaning << row.examples;
        }
    }
    texts.append(KeysGuide::deliveryQuestion());
    texts.append(KeysGuide::launchAtLoginQuestion());
    for (const auto& choice : KeysGuide::deliveryChoices()) {
        texts.append(choice.title);
    }
    for (const auto& choice : KeysGuide::launchAtLoginChoices()) {
        texts.append(choice.title);
    }
    return texts;
}

TEST(KeysGuide, NamesNoKeyTheWayAnotherDesktopWould) {
    for (const QString& text : everyText(kShortcuts, Anchors{})) {
        for (const QChar symbol : u"⌘⌥⇧⌃") {
            EXPECT_FALSE(text.contains(symbol)) << text.toStdString();
        }
        EXPECT_FALSE(text.contains(u"Mac"_s)) << text.toStdString();
        EXPECT_FALSE(text.contains(u"menu bar"_s)) << text.toStdString();
    }
}

// --- Rows as shown here ---

struct RowCase {
    std::string name;
    int group;
    int row;
    QString keys;
    QString meaning;
};

void PrintTo(const RowCase& c, std::ostream* os) {
    *os << c.name;
}

class GuideRow : public ::testing::TestWithParam<RowCase> {};

TEST_P(GuideRow, ReadsAsDescribedWithThisDesktopsKeys) {
    const RowCase& c = GetParam();
    const QList<KeysGuide::Group> groups = KeysGuide::groups(kShortcuts, Anchors{});
    ASSERT_LT(c.group, groups.size());
    ASSERT_LT(c.row, groups[c.group].rows.size());
    EXPECT_EQ(groups[c.group].rows[c.row].keys, c.keys);
    EXPECT_EQ(groups[c.group].rows[c.row].meaning, c.meaning);
}

INSTANTIATE_TEST_SUITE_P(
    KeysGuide, GuideRow,
    ::testing::Values(RowCase{"CaptureShortcut", 0, 0, u"Ctrl+Alt+Space"_s, u"open or close the drawer"_s},
                      RowCase{"NotesShortcut", 0, 1, u"Ctrl+Alt+Shift+Space"_s, u"open or close your notes"_s},
                      RowCase{"ClipboardShortcut", 0, 2, u"Ctrl+Alt+Shift+V"_s,
                              u"save the clipboard as a note without opening anything"_s},
                      RowCase{"Return", 1, 0, u"↩"_s, u"save and close"_s},
                      RowCase{"KeepOpen", 1, 1, u"Ctrl+↩"_s, u"save and keep the drawer open for the next one"_s},
                      RowCase{"NewLine", 1, 2, u"Shift+↩"_s, u"new line"_s},
                      RowCase{"Presets", 1, 4, u"Ctrl+1 – Ctrl+9"_s, u"save with a reminder preset"_s},
                      RowCase{"Peek", 1, 6, u"hold Ctrl"_s, u"see what Ctrl+1–Ctrl+9 would set"_s},
                      RowCase{"Fade", 1, 7, u"hold Alt"_s, u"fade the drawer to read what's under it"_s},
                      RowCase{"Clip", 1, 9, u"Ctrl+Shift+V"_s,
                              u"save the clipboard as its own note; the draft stays"_s},
                      RowCase{"MoveDrawer", 1, 10, u"Ctrl+← Ctrl+→ Ctrl+↑"_s,
                              u"move the drawer left, right, or back to the middle"_s},
                      RowCase{"DrawerKeys", 1, 12, u"Ctrl+?"_s, u"these keys"_s},
                      RowCase{"UndoRedo", 2, 8, u"Ctrl+Z Ctrl+Shift+Z"_s, u"undo, redo, up to fifty steps back"_s},
                      RowCase{"Click", 2, 10, u"click"_s, u"a bullet marks it done; a double click edits"_s},
                      RowCase{"Snooze", 3, 4, u"1 – 9"_s, u"on a ringing entry: snooze; a repeat keeps its schedule"_s},
                      RowCase{"Trash", 4, 4, u"Ctrl+T"_s, u"trash: ↩ restores, ⌫ deletes for good"_s},
                      RowCase{"Keys", 4, 5, u"? Ctrl+?"_s, u"these keys"_s},
                      RowCase{"Settings", 4, 6, u"Ctrl+,"_s, u"settings"_s},
                      RowCase{"Tab", 5, 7, u"⇥"_s, u"make a repeat a routine, or not"_s},
                      RowCase{"SetIt", 5, 9, u"↩"_s, u"set it"_s}),
    [](const auto& p) { return p.param.name; });

TEST(KeysGuide, GroupsInOrder) {
    QStringList titles;
    QList<qsizetype> sizes;
    for (const auto& group : KeysGuide::groups(kShortcuts, Anchors{})) {
        titles.append(group.title);
        sizes.append(group.rows.size());
    }
    EXPECT_EQ(titles, (QStringList{u"Anywhere · change these in Settings"_s, u"In the drawer"_s, u"In your notes"_s,
                                   u"Reminders"_s, u"Views"_s, u"What r and Ctrl+R understand"_s}));
    EXPECT_EQ(sizes, (QList<qsizetype>{3, 13, 11, 5, 7, 10}));
}

TEST(KeysGuide, RowIdsAreUniqueAndStable) {
    QSet<QString> ids;
    int rows = 0;
    for (const auto& group : KeysGuide::groups(kShortcuts, Anchors{})) {
        for (const auto& row : group.rows) {
            ids.insert(row.id());
            ++rows;
        }
    }
    EXPECT_EQ(ids.size(), rows);
    EXPECT_EQ(KeysGuide::groups(kShortcuts, Anchors{}), KeysGuide::groups(kShortcuts, Anchors{}));
}

// --- Day times ---

struct DayCase {
    int dayStart;
    int dayEnd;
    QString tonight;
    QString repeat;
};

class DayTimes : public ::testing::TestWithParam<DayCase> {};

TEST_P(DayTimes, FollowTheSettings) {
    const auto groups = KeysGuide::groups(kShortcuts, Anchors{GetParam().dayStart, GetParam().dayEnd});
    EXPECT_EQ(groups[5].rows[1].meaning, GetParam().tonight);
    EXPECT_EQ(groups[5].rows[3].meaning, GetParam().repeat);
}

INSTANTIATE_TEST_SUITE_P(
    KeysGuide, DayTimes,
    ::testing::Values(DayCase{510, 1230, u"tonight is 20:30; the others start at 08:30"_s,
                              u"again and again until it's done, between 08:30 and 20:30 unless you give hours"_s},
                      DayCase{540, 1290, u"tonight is 21:30; the others start at 09:00"_s,
                              u"again and again until it's done, between 09:00 and 21:30 unless you give hours"_s},
                      DayCase{0, 1439, u"tonight is 23:59; the others start at 00:00"_s,
                              u"again and again until it's done, between 00:00 and 23:59 unless you give hours"_s}));

// --- Shortcuts ---

TEST(KeysGuide, RemovedShortcutReadsNotSet) {
    const auto shortcuts = KeysGuide::Shortcuts::from(std::nullopt, u"Ctrl+Alt+N"_s, u"Ctrl+Alt+Shift+V"_s);
    EXPECT_EQ(KeysGuide::steps(shortcuts).front(),
              u"Press (not set) anywhere, type the thought, and press Return. It's saved, and you're back where you "
              u"were."_s);
    const auto groups = KeysGuide::groups(shortcuts, Anchors{});
    EXPECT_EQ(groups[0].rows[0].keys, u"(not set)"_s);
    EXPECT_EQ(groups[0].rows[1].keys, u"Ctrl+Alt+N"_s);
}

TEST(KeysGuide, StepsNameTheShortcutsAndThisDesktopsKeys) {
    const QStringList steps = KeysGuide::steps(kShortcuts);
    EXPECT_EQ(steps,
              (QStringList{
                  u"Press Ctrl+Alt+Space anywhere, type the thought, and press Return. It's saved, and you're "
                  u"back where you were."_s,
                  u"Press Ctrl+Alt+Shift+Space for your notes, today on top. Space marks an entry done, → "
                  u"carries an older one to today, and a keeps it on top in Active."_s,
                  u"To have something come back, press 1–9 for a preset or r to say when, or Ctrl+1–Ctrl+9 and "
                  u"Ctrl+R in the drawer as you save. When it rings, Space is done, d lets this ring go, and 1–9 "
                  u"snoozes it."_s,
                  u"When older days pile up, Ctrl+S sweeps them one entry at a time."_s,
                  u"Nothing is lost. Ctrl+Z undoes anything, ⌫ moves to the trash, and every note lives in one "
                  u"text file you own."_s,
              }));
}

// --- The examples are the when-language ---

TEST(KeysGuide, EveryExampleIsUnderstood) {
    const Calendar berlin(QStringLiteral("Europe/Berlin"));
    const Instant now = plim::test::at(berlin, 2026, 3, 11, 10, 7);
    ASSERT_EQ(KeysGuide::whenExamples().size(), 6);
    for (const QStringList& list : KeysGuide::whenExamples()) {
        for (const QString& phrase : list) {
            EXPECT_TRUE(Reminder::parse(phrase, now, Anchors{}, berlin).has_value()) << phrase.toStdString();
        }
    }
    // The rows carry them in order.
    const auto groups = KeysGuide::groups(kShortcuts, Anchors{});
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(groups[5].rows[i].examples, KeysGuide::whenExamples()[i]);
        EXPECT_TRUE(groups[5].rows[i].keys.isEmpty());
    }
}

// --- First-run questions ---

TEST(KeysGuide, QuestionsInThisDesktopsWords) {
    EXPECT_EQ(KeysGuide::deliveryQuestion(), u"How should reminders reach you?"_s);
    const auto delivery = KeysGuide::deliveryChoices();
    ASSERT_EQ(delivery.size(), 2);
    EXPECT_EQ(delivery[0].title, u"Desktop notifications"_s);
    EXPECT_EQ(delivery[0].delivery, ReminderDelivery::Notification);
    EXPECT_EQ(delivery[1].title, u"Just the tray dot"_s);
    EXPECT_EQ(delivery[1].delivery, ReminderDelivery::Dot);

    EXPECT_EQ(KeysGuide::launchAtLoginQuestion(), u"Reminders ring only while plim is running."_s);
    const auto login = KeysGuide::launchAtLoginChoices();
    ASSERT_EQ(login.size(), 2);
    EXPECT_EQ(login[0].title, u"Open plim at login"_s);
    EXPECT_TRUE(login[0].yes);
    EXPECT_EQ(login[1].title, u"Not now"_s);
    EXPECT_FALSE(login[1].yes);
}

} // namespace
