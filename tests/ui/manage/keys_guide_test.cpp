#include "ui/manage/KeysGuide.h"

#include "support/TestSupport.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

const KeysGuide::Shortcuts kShortcuts{u"Ctrl+Alt+Space"_s, u"Ctrl+Alt+Shift+Space"_s, u"Ctrl+Alt+Shift+V"_s};

// Rows that carry this desktop's key names or the user's shortcuts, and no key named the way
// another desktop would; ids that tell every row apart.
TEST(KeysGuide, RowsUseThisDesktopsKeys) {
    const QList<KeysGuide::Group> groups = KeysGuide::groups(kShortcuts, Anchors{});
    ASSERT_EQ(groups.size(), 6);
    const std::tuple<int, int, QString, QString> cases[] = {
        {0, 0, u"Ctrl+Alt+Space"_s, u"open or close the drawer"_s},
        {0, 1, u"Ctrl+Alt+Shift+Space"_s, u"open or close your notes"_s},
        {0, 2, u"Ctrl+Alt+Shift+V"_s, u"save the clipboard as a note without opening anything"_s},
        {1, 6, u"hold Ctrl"_s, u"see what Ctrl+1–Ctrl+9 would set"_s},
        {2, 8, u"Ctrl+Z Ctrl+Shift+Z"_s, u"undo, redo, up to fifty steps back"_s}};
    for (const auto& [group, row, keys, meaning] : cases) {
        ASSERT_LT(row, groups[group].rows.size());
        EXPECT_EQ(groups[group].rows[row].keys, keys) << group << '/' << row;
        EXPECT_EQ(groups[group].rows[row].meaning, meaning) << group << '/' << row;
    }
    QStringList texts = KeysGuide::steps(kShortcuts);
    texts << KeysGuide::deliveryQuestion() << KeysGuide::launchAtLoginQuestion();
    QSet<QString> ids;
    qsizetype rows = 0;
    for (const auto& group : groups) {
        rows += group.rows.size();
        texts << group.title;
        for (const auto& row : group.rows) {
            ids.insert(row.id());
            texts << row.keys << row.meaning << row.examples;
        }
    }
    EXPECT_EQ(ids.size(), rows);
    EXPECT_EQ(KeysGuide::groups(kShortcuts, Anchors{}), groups); // the same guide again, ids included
    for (const QString& text : texts) {
        for (const QString& foreign : {u"⌘"_s, u"⌥"_s, u"⇧"_s, u"⌃"_s, u"Mac"_s, u"menu bar"_s}) {
            EXPECT_FALSE(text.contains(foreign)) << text.toStdString();
        }
    }
}

// No key runs the capture (none stored, or held elsewhere): the guide names the command instead.
TEST(KeysGuide, WithoutAWorkingShortcutTheCommandIsNamed) {
    const KeysGuide::Shortcuts shortcuts{std::nullopt, u"Ctrl+Alt+N"_s, u"Ctrl+Alt+Shift+V"_s};
    EXPECT_EQ(KeysGuide::steps(shortcuts).front(),
              u"Run \u201cplim capture\u201d anywhere, type the thought, and press Return. It's saved, and "
              u"you're back where you were."_s);
    const auto groups = KeysGuide::groups(shortcuts, Anchors{});
    EXPECT_EQ(groups[0].rows[0].keys, u"plim capture"_s);
    EXPECT_EQ(groups[0].rows[1].keys, u"Ctrl+Alt+N"_s);
}

// The last group teaches the when-language: every example is understood, the day times follow
// the settings.
TEST(KeysGuide, WhenExamplesAreUnderstoodAndDayTimesFollowTheSettings) {
    const Calendar berlin(QStringLiteral("Europe/Berlin"));
    const Instant now = plim::test::at(berlin, 2026, 3, 11, 10, 7);
    const auto groups = KeysGuide::groups(kShortcuts, Anchors{});
    ASSERT_EQ(KeysGuide::whenExamples().size(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(groups[5].rows[i].examples, KeysGuide::whenExamples()[i]);
        EXPECT_TRUE(groups[5].rows[i].keys.isEmpty());
        for (const QString& phrase : KeysGuide::whenExamples()[i]) {
            EXPECT_TRUE(Reminder::parse(phrase, now, Anchors{}, berlin).has_value()) << phrase.toStdString();
        }
    }
    for (const auto& [start, end, from, to] :
         {std::tuple{510, 1230, u"08:30"_s, u"20:30"_s}, std::tuple{0, 1439, u"00:00"_s, u"23:59"_s}}) {
        const auto rows = KeysGuide::groups(kShortcuts, Anchors{start, end})[5].rows;
        EXPECT_EQ(rows[1].meaning, u"tonight is %1; the others start at %2"_s.arg(to, from));
        EXPECT_EQ(rows[3].meaning,
                  u"again and again until it's done, between %1 and %2 unless you give hours"_s.arg(from, to));
    }
}

} // namespace
