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
    texts << KeysGuide::deliveryQuestion() << KeysGuide::launchAtLoginQuestion();
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

// Rows that carry this desktop's key names or the user's shortcuts.
TEST(KeysGuide, RowsUseThisDesktopsKeys) {
    struct Case {
        int group;
        int row;
        QString keys;
        QString meaning;
    };
    const QList<KeysGuide::Group> groups = KeysGuide::groups(kShortcuts, Anchors{});
    EXPECT_EQ(groups.size(), 6);
    for (const Case& c : {Case{0, 0, u"Ctrl+Alt+Space"_s, u"open or close the drawer"_s},
                          Case{0, 1, u"Ctrl+Alt+Shift+Space"_s, u"open or close your notes"_s},
                          Case{0, 2, u"Ctrl+Alt+Shift+V"_s, u"save the clipboard as a note without opening anything"_s},
                          Case{1, 6, u"hold Ctrl"_s, u"see what Ctrl+1–Ctrl+9 would set"_s},
                          Case{2, 8, u"Ctrl+Z Ctrl+Shift+Z"_s, u"undo, redo, up to fifty steps back"_s}}) {
        ASSERT_LT(c.row, groups[c.group].rows.size());
        EXPECT_EQ(groups[c.group].rows[c.row].keys, c.keys) << c.group << '/' << c.row;
        EXPECT_EQ(groups[c.group].rows[c.row].meaning, c.meaning) << c.group << '/' << c.row;
    }
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
                      DayCase{0, 1439, u"tonight is 23:59; the others start at 00:00"_s,
                              u"again and again until it's done, between 00:00 and 23:59 unless you give hours"_s}));

TEST(KeysGuide, RemovedShortcutReadsNotSet) {
    const auto shortcuts = KeysGuide::Shortcuts::from(std::nullopt, u"Ctrl+Alt+N"_s, u"Ctrl+Alt+Shift+V"_s);
    EXPECT_EQ(KeysGuide::steps(shortcuts).front(),
              u"Press (not set) anywhere, type the thought, and press Return. It's saved, and you're back where you "
              u"were."_s);
    const auto groups = KeysGuide::groups(shortcuts, Anchors{});
    EXPECT_EQ(groups[0].rows[0].keys, u"(not set)"_s);
    EXPECT_EQ(groups[0].rows[1].keys, u"Ctrl+Alt+N"_s);
}

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

TEST(KeysGuide, QuestionChoicesLeadToTheirAnswers) {
    const auto delivery = KeysGuide::deliveryChoices();
    ASSERT_EQ(delivery.size(), 2);
    EXPECT_EQ(delivery[0].title, u"Desktop notifications"_s);
    EXPECT_EQ(delivery[0].delivery, ReminderDelivery::Notification);
    EXPECT_EQ(delivery[1].delivery, ReminderDelivery::Dot);
    const auto login = KeysGuide::launchAtLoginChoices();
    ASSERT_EQ(login.size(), 2);
    EXPECT_TRUE(login[0].yes);
    EXPECT_FALSE(login[1].yes);
}

} // namespace
