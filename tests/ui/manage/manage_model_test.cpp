#include "ManageFixture.h"

#include "reminders/WhenFieldModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using Mode = ManageModel::Mode;

namespace {

const QString H14 = u"## 2026-03-14 Saturday"_s; // today
const QString H13 = u"## 2026-03-13 Friday"_s;
const QString H12 = u"## 2026-03-12 Thursday"_s;
const QString H11 = u"## 2026-03-11 Wednesday"_s;
const QString H7 = u"## 2026-03-07 Saturday"_s;

struct ListCase {
    std::string name;
    QStringList file;
    QStringList rows;
    bool showCompleted = false;
    QString filter = {};
    Mode mode = Mode::Log;
};

// clang-format off
const QStringList kFoldingFile{
    H14, u"- [x] ~~today-done~~  <!-- 09:00 -->"_s,
    H12, u"- [>] moved  <!-- 07:00 carried 2026-03-13 -->"_s, u"- ~~gone~~"_s, u"- [x] ~~d1~~  <!-- 08:00 -->"_s,
    u"- [ ] open-one  <!-- 08:30 -->"_s, u"- a note"_s, u"- [x] ~~d2~~  <!-- 09:00 -->"_s,
    H11, u"- [x] ~~only-done~~  <!-- 09:00 -->"_s,
    H7, u"a raw line and nothing else"_s};
// clang-format on

const QStringList kFoldedRows{u"# 2026-03-14 Saturday"_s,
                              u"- today-done"_s,
                              u"# 2026-03-12 Thursday"_s,
                              u"- a note"_s,
                              u"- open-one"_s,
                              u"+ 4"_s,
                              u"# 2026-03-11 Wednesday"_s,
                              u"+ 1"_s};

const std::vector<ListCase> kListCases{
    {"NewestEntryOfADayFirst",
     {H14, u"- [ ] nine  <!-- 09:00 -->"_s, u"- [ ] ten  <!-- 10:00 -->"_s, u"- [ ] eleven  <!-- 11:00 -->"_s},
     {u"# 2026-03-14 Saturday"_s, u"- eleven"_s, u"- ten"_s, u"- nine"_s}},
    {"DueGoesToNowFutureWaitsDoneStays",
     {H14, u"- [ ] due  <!-- 09:00 remind 2026-03-14 11:55 -->"_s,
      u"- [ ] tomorrow  <!-- 09:05 remind 2026-03-15 09:00 -->"_s,
      u"- [x] ~~finished~~  <!-- 09:10 remind 2026-03-15 09:00 -->"_s, u"- [ ] plain  <!-- 09:20 -->"_s},
     {u"# Now"_s, u"- due"_s, u"# 2026-03-14 Saturday"_s, u"- plain"_s, u"- finished"_s}},
    {"NowBeforeActiveEarliestDueFirst",
     {H14, u"- [ ] ! listed-due  <!-- 08:00 remind 2026-03-14 11:00 -->"_s,
      u"- [ ] late-due  <!-- 08:10 remind 2026-03-14 11:50 -->"_s, u"- [x] ! ~~listed-done~~  <!-- 08:20 -->"_s,
      u"- [ ] ! listed-open  <!-- 08:30 -->"_s, H13, u"- [ ] ! old-listed  <!-- 10:00 -->"_s,
      u"- [ ] early-due  <!-- 10:05 remind 2026-03-13 18:00 -->"_s},
     {u"# Now"_s, u"- early-due"_s, u"- listed-due"_s, u"- late-due"_s, u"# Active"_s, u"- listed-open"_s,
      u"- listed-done"_s, u"- old-listed"_s}},
    {"PastDaysFoldTheirClosedEntries", kFoldingFile, kFoldedRows},
    {"ShowCompletedShowsEveryEntryAndNoFoldedRow",
     kFoldingFile,
     {u"# 2026-03-14 Saturday"_s, u"- today-done"_s, u"# 2026-03-12 Thursday"_s, u"- d2"_s, u"- a note"_s,
      u"- open-one"_s, u"- d1"_s, u"- gone"_s, u"- moved"_s, u"# 2026-03-11 Wednesday"_s, u"- only-done"_s},
     true},
    {"SpacesAreNoFilter", kFoldingFile, kFoldedRows, false, u"   "_s},
    {"FilterIgnoresCaseFoldingAndComments",
     {H14, u"- [ ] call Ann  <!-- 09:00 -->"_s, u"- [ ] tea  <!-- 09:30 milk -->"_s,
      u"- [ ] milk reminder  <!-- 09:40 remind 2026-03-14 11:00 -->"_s, H12, u"- [x] ~~buy milk~~  <!-- 08:00 -->"_s,
      u"- [x] ~~bread~~  <!-- 08:10 -->"_s, H11, u"- [ ] Buy Milk and eggs  <!-- 09:00 -->"_s},
     {u"# Now"_s, u"- milk reminder"_s, u"# 2026-03-12 Thursday"_s, u"- buy milk"_s, u"# 2026-03-11 Wednesday"_s,
      u"- Buy Milk and eggs"_s},
     false,
     u"  MILK "_s},
    {"LaterGroupsByTheDayItComesBack",
     {H14, u"- [ ] written-today  <!-- 09:00 remind 2026-03-16 09:00 -->"_s,
      u"- [ ] soon  <!-- 09:30 remind 2026-03-14 18:00 -->"_s, H7,
      u"- [ ] written-last-week  <!-- 09:00 remind 2026-03-15 08:00 -->"_s,
      u"- [x] ~~done-future~~  <!-- 09:10 remind 2026-03-15 07:00 -->"_s,
      u"- [ ] due-now  <!-- 09:20 remind 2026-03-14 10:00 -->"_s,
      u"- [ ] same-day-later  <!-- 09:30 remind 2026-03-15 21:00 -->"_s},
     {u"# 2026-03-14 Saturday"_s, u"- soon"_s, u"# 2026-03-15 Sunday"_s, u"- written-last-week"_s,
      u"- same-day-later"_s, u"# 2026-03-16 Monday"_s, u"- written-today"_s},
     false,
     {},
     Mode::Later},
    {"AnUnreadableReminderStaysInItsDay",
     {H14, u"- [ ] odd  <!-- 09:00 remind 2026-02-30 09:00 -->"_s},
     {u"# 2026-03-14 Saturday"_s, u"- odd"_s}},
};

class ListRows : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListRows, ShowTheSectionsInOrder) {
    const ListCase& c = GetParam();
    ManageFixture f;
    ManageModel& m = f.open(c.file);
    if (c.mode == Mode::Later) {
        m.showLater();
    }
    m.setShowCompleted(c.showCompleted);
    m.setFilter(c.filter);
    EXPECT_EQ(f.picture(), c.rows);
    if (!c.filter.trimmed().isEmpty()) {
        EXPECT_TRUE(m.folded().isEmpty());
    }
    // After a load or a view change the first visible entry is selected; a filter alone leaves it.
    if (c.filter.isEmpty()) {
        ASSERT_FALSE(f.visibleTexts().isEmpty());
        EXPECT_EQ(f.selectedText(), f.visibleTexts().first());
    }
}

INSTANTIATE_TEST_SUITE_P(Manage, ListRows, ::testing::ValuesIn(kListCases), ByName);

struct DeleteCase {
    std::string name;
    int entries;      // a...e written in order, so the list shows them newest first
    QString selected; // the entry trashed
    QString expected; // selected afterwards
};

class DeleteSelection : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(DeleteSelection, MovesToTheNextEntryDown) {
    const DeleteCase& c = GetParam();
    QStringList file{H14};
    for (int i = 0; i < c.entries; ++i) {
        file << u"- [ ] %1  <!-- 09:0%2 -->"_s.arg(QChar(u'a' + i)).arg(i);
    }
    ManageFixture f;
    ManageModel& m = f.open(file);
    m.select(f.idOf(c.selected));
    m.deleteSelection();
    EXPECT_FALSE(f.entry(c.selected)) << "still in the notes file";
    EXPECT_EQ(f.selectedText(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Manage, DeleteSelection,
                         ::testing::Values(DeleteCase{"ThirdSelectsTheNewThird", 5, u"c"_s, u"b"_s},
                                           DeleteCase{"LastSelectsTheNewLast", 5, u"a"_s, u"b"_s},
                                           DeleteCase{"OnlyLeavesNothing", 1, u"a"_s, u"(none)"_s}),
                         ByName);

TEST(ManageModel, SelectionMovesWithinTheListAndSurvivesReloads) {
    ManageFixture f;
    ManageModel& m =
        f.open({H14, u"- [ ] a  <!-- 09:00 -->"_s, u"- [ ] b  <!-- 09:01 -->"_s, u"- [ ] c  <!-- 09:02 -->"_s});
    EXPECT_EQ(f.selectedText(), u"c"_s); // first visible
    m.moveSelection(-5);
    EXPECT_EQ(f.selectedText(), u"c"_s);
    m.moveSelection(7);
    EXPECT_EQ(f.selectedText(), u"a"_s);
    m.select(QUuid::createUuid()); // nothing visible selected: start from an end
    m.moveSelection(0);
    EXPECT_EQ(f.selectedText(), u"a"_s);
    m.select(QUuid::createUuid());
    m.moveSelection(1);
    EXPECT_EQ(f.selectedText(), u"c"_s);
    EXPECT_FALSE(m.selectedByPointer());
    m.moveSelection(1);
    f.store->toggleDone(f.idOf(u"a"_s)); // another entry changes: the selection stays
    EXPECT_EQ(f.selectedText(), u"b"_s);
    f.store->updateText(f.idOf(u"b"_s), u"bee"); // the entry's identity changes with its text
    EXPECT_EQ(f.selectedText(), u"bee"_s);
}

struct EscapeCase {
    std::string name;
    std::function<void(ManageModel&)> setUp;
    int closed = 0;
    Mode mode = Mode::Log;
    QString filter = {};
};

class Escape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(Escape, StepsBackOneLevel) {
    const EscapeCase& c = GetParam();
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] milk  <!-- 09:00 -->"_s, H12, u"- [ ] old  <!-- 09:00 -->"_s});
    c.setUp(m);
    m.escape();
    EXPECT_EQ(m.mode(), c.mode);
    EXPECT_EQ(m.filter(), c.filter);
    EXPECT_EQ(f.closed, c.closed);
}

INSTANTIATE_TEST_SUITE_P(Manage, Escape,
                         ::testing::Values(EscapeCase{"FilterIsClearedFirst",
                                                      [](ManageModel& m) { m.setFilter(u"mi"_s); }},
                                           EscapeCase{"EmptyFilterClosesTheWindow", [](ManageModel&) {}, 1},
                                           EscapeCase{"TrashGoesBackWithoutTheFilter",
                                                      [](ManageModel& m) {
                                                          m.showTrash();
                                                          m.setFilter(u"x"_s);
                                                      }},
                                           EscapeCase{"SweepGoesBackKeepingTheFilter",
                                                      [](ManageModel& m) {
                                                          m.setFilter(u"mi"_s);
                                                          m.startSweep();
                                                      },
                                                      0, Mode::Log, u"mi"_s},
                                           EscapeCase{"KeysGoBackToWhereTheyWereOpened",
                                                      [](ManageModel& m) {
                                                          m.showLater();
                                                          m.showKeys();
                                                      },
                                                      0, Mode::Later}),
                         ByName);

TEST(ManageModel, CarryOnlyFromAnOlderDay) {
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] fresh  <!-- 09:00 -->"_s, H12, u"- [ ] old  <!-- 09:00 -->"_s});
    const QString before = f.file();
    m.select(f.idOf(u"fresh"_s));
    m.carry();
    EXPECT_EQ(f.file(), before);

    m.select(f.idOf(u"old"_s));
    m.carry();
    EXPECT_EQ(f.states(u"old"_s), (QList<Entry::State>{Entry::State::Open, Entry::State::Carried}));
    EXPECT_EQ(f.picture(), (QStringList{u"# 2026-03-14 Saturday"_s, u"- old"_s, u"- fresh"_s,
                                        u"# 2026-03-12 Thursday"_s, u"+ 1"_s}));
    EXPECT_EQ(f.selectedText(), u"fresh"_s); // the entry now second in the list
}

TEST(ManageModel, CommandsKeepToTheirViews) {
    ManageFixture f;
    ManageModel& m = f.open({H12, u"- [ ] old  <!-- 09:00 remind 2026-03-20 09:00 -->"_s});
    m.showLater();
    ASSERT_EQ(f.selectedText(), u"old"_s);
    const QString before = f.file();
    m.carry(); // only in the notes list
    EXPECT_EQ(f.file(), before);
    m.toggleActive();
    EXPECT_TRUE(f.entry(u"old"_s)->active);
    m.startSweep();
    m.toggleDone(); // the sweep has its own keys
    EXPECT_EQ(f.entry(u"old"_s)->state, Entry::State::Open);
}

TEST(ManageModel, EditingCommitsTheTextAndCancelLeavesIt) {
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] draft  <!-- 09:00 -->"_s, u"- [ ] other  <!-- 09:10 -->"_s});
    m.beginEditing(f.idOf(u"draft"_s));
    EXPECT_EQ(f.selectedText(), u"draft"_s);
    m.setEditingText(u"changed"_s);
    m.cancelEditing();
    EXPECT_TRUE(f.entry(u"draft"_s));

    m.beginEditing(f.idOf(u"draft"_s));
    m.setEditingText(u"final"_s);
    m.select(f.idOf(u"other"_s)); // a click elsewhere saves first
    EXPECT_EQ(m.editingID(), std::nullopt);
    EXPECT_TRUE(f.entry(u"final"_s));
    EXPECT_EQ(f.selectedText(), u"other"_s);
    EXPECT_TRUE(m.selectedByPointer());

    m.showTrash();
    m.beginEditing(f.idOf(u"other"_s)); // not in the trash view
    EXPECT_EQ(m.editingID(), std::nullopt);
}

struct ActivateCase {
    std::string name;
    QString text;
    bool command;
    QStringList opened;
    bool editing;
};

class Activate : public ::testing::TestWithParam<ActivateCase> {};

TEST_P(Activate, OpensALinkOrEdits) {
    const ActivateCase& c = GetParam();
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] "_s + c.text + u"  <!-- 09:00 -->"_s});
    m.activateSelection(c.command);
    EXPECT_EQ(f.desktop.opened, c.opened);
    EXPECT_EQ(m.editingID().has_value(), c.editing);
}

INSTANTIATE_TEST_SUITE_P(
    Manage, Activate,
    ::testing::Values(
        ActivateCase{"SoleLinkOpens", u"https://example.org/a"_s, false, {u"https://example.org/a"_s}, false},
        ActivateCase{"TextWithLinkEdits", u"read https://example.org/a"_s, false, {}, true},
        ActivateCase{"CommandOpensTheFirstLink",
                     u"see https://a.example.org and https://b.example.org"_s,
                     true,
                     {u"https://a.example.org"_s},
                     false},
        ActivateCase{"CommandWithoutLinkDoesNothing", u"plain words"_s, true, {}, false}),
    ByName);

struct PresetCase {
    std::string name;
    QString line;                   // the entry "it", under today or in Later
    bool later;                     // selected in the Later view
    int preset;                     // 0-based
    std::optional<QString> comment; // afterwards; none: the file is unchanged
};

class Preset : public ::testing::TestWithParam<PresetCase> {};

TEST_P(Preset, SetsOrSnoozes) {
    const PresetCase& c = GetParam();
    ManageFixture f;
    ManageModel& m = f.open({H12, c.line});
    m.setShowCompleted(true);
    if (c.later) {
        m.showLater();
    }
    m.select(f.idOf(u"it"_s));
    ASSERT_EQ(f.selectedText(), u"it"_s);
    const QString before = f.file();
    m.remind(c.preset);
    if (!c.comment) {
        EXPECT_EQ(f.file(), before);
        return;
    }
    ASSERT_TRUE(f.entry(u"it"_s));
    EXPECT_EQ(f.entry(u"it"_s)->comment, c.comment);
}

INSTANTIATE_TEST_SUITE_P(
    Manage, Preset,
    ::testing::Values(
        PresetCase{"RingingRepeatSnoozesAndKeepsItsRule",
                   u"- [ ] it  <!-- 08:00 remind 2026-03-14 09:00 every day 09:00 -->"_s, false, 2,
                   u"remind 2026-03-14 15:00 every day 09:00"_s},
        PresetCase{"RingingOneTimeIsReplaced", u"- [ ] it  <!-- 08:00 remind 2026-03-14 11:00 -->"_s, false, 0,
                   u"remind 2026-03-14 12:20"_s},
        PresetCase{"WaitingRepeatIsReplaced", u"- [ ] it  <!-- 08:00 remind 2026-03-15 09:00 every day 09:00 -->"_s,
                   true, 1, u"remind 2026-03-14 13:00"_s},
        PresetCase{"RepeatPresetReplacesARingingRepeat",
                   u"- [ ] it  <!-- 08:00 remind 2026-03-14 09:00 every day 09:00 -->"_s, false, 8,
                   u"remind 2026-03-14 20:30 every day 08:30 20:30"_s},
        PresetCase{"CarriedDoesNothing", u"- [>] it  <!-- 08:00 carried 2026-03-13 -->"_s, false, 2, std::nullopt},
        PresetCase{"OutOfRangeDoesNothing", u"- [ ] it  <!-- 08:00 -->"_s, false, 9, std::nullopt}),
    ByName);

TEST(ManageModel, WhenFieldOpensOnTheEntryAndReportsBack) {
    ManageFixture f;
    ManageModel& m =
        f.open({H14, u"- [ ] plain  <!-- 09:00 -->"_s, u"- [ ] due  <!-- 09:10 remind 2026-03-14 11:00 -->"_s});
    // "due" rings, so it is listed first.
    ASSERT_EQ(f.selectedText(), u"due"_s);
    m.openWhenField({});
    EXPECT_EQ(m.whenFieldID(), f.idOf(u"due"_s));
    ASSERT_TRUE(m.when().current());
    m.when().onCancel();
    EXPECT_EQ(m.whenFieldID(), std::nullopt);

    m.openWhenField({});
    ASSERT_TRUE(m.when().stop()); // deleting in the empty field
    EXPECT_EQ(m.whenFieldID(), std::nullopt);
    EXPECT_EQ(f.entry(u"due"_s)->comment, std::nullopt);

    m.select(f.idOf(u"plain"_s));
    m.openWhenField(u"tomorrow"_s);
    EXPECT_EQ(m.when().text(), u"tomorrow"_s);
    const QString before = f.file();
    m.stopReminderFromWhenField(); // nothing to stop: the field stays open
    EXPECT_EQ(m.whenFieldID(), f.idOf(u"plain"_s));
    EXPECT_EQ(f.file(), before);
    const auto reminder = m.when().chosen(f.clock->now());
    ASSERT_TRUE(reminder);
    m.when().onCommit(*reminder);
    EXPECT_EQ(m.whenFieldID(), std::nullopt);
    EXPECT_EQ(f.entry(u"plain"_s)->comment, u"remind 2026-03-15 08:30"_s);
    EXPECT_EQ(m.onboarding(), ManageModel::Onboarding::Delivery);
}

TEST(ManageModel, DismissOnlyAnswersARingingEntry) {
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] plain  <!-- 09:00 -->"_s,
                             u"- [ ] daily  <!-- 09:10 remind 2026-03-14 09:00 every day 09:00 -->"_s});
    ASSERT_EQ(f.selectedText(), u"daily"_s);
    m.dismissSelection();
    EXPECT_EQ(f.entry(u"daily"_s)->comment, u"remind 2026-03-15 09:00 every day 09:00"_s);
    m.select(f.idOf(u"plain"_s));
    const QString before = f.file();
    m.dismissSelection();
    EXPECT_EQ(f.file(), before);
}

TEST(ManageModel, TrashListsRestoresAndDeletesForGood) {
    ManageFixture f;
    ManageModel& m = f.open(
        {H14, u"- [ ] keep  <!-- 09:00 -->"_s, u"- [ ] toss  <!-- 09:10 -->"_s, u"- [ ] burn  <!-- 09:20 -->"_s});
    m.deleteSelection(); // burn
    m.deleteSelection(); // toss
    EXPECT_EQ(f.visibleTexts(), QStringList{u"keep"_s});

    m.showTrash();
    EXPECT_EQ(f.visibleTexts(), (QStringList{u"toss"_s, u"burn"_s}));
    EXPECT_EQ(f.selectedText(), u"toss"_s);
    m.activateSelection(false); // restore
    EXPECT_EQ(f.visibleTexts(), QStringList{u"burn"_s});
    EXPECT_EQ(f.selectedText(), u"burn"_s);
    EXPECT_TRUE(f.entry(u"toss"_s));
    m.deleteSelection();
    EXPECT_TRUE(f.visibleTexts().isEmpty());
    EXPECT_EQ(m.selectedID(), std::nullopt);
    m.backToNotes();
    EXPECT_EQ(f.visibleTexts(), (QStringList{u"toss"_s, u"keep"_s}));
}

struct SummaryCase {
    std::string name;
    QStringList entries;
    QString summary;
    int later;
};

class Summary : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(Summary, CountsOpenAndWaitingEntries) {
    const SummaryCase& c = GetParam();
    ManageFixture f;
    ManageModel& m = f.open(QStringList{H14} + c.entries);
    EXPECT_EQ(m.openSummary(), c.summary);
    EXPECT_EQ(m.laterCount(), c.later);
}

INSTANTIATE_TEST_SUITE_P(
    Manage, Summary,
    ::testing::Values(SummaryCase{"OneOpenNotCarriedDoneOrNote",
                                  {u"- [ ] a"_s, u"- [>] b"_s, u"- [x] ~~done~~"_s, u"- a note"_s},
                                  u"1 open"_s,
                                  0},
                      SummaryCase{"RoutineNotCounted",
                                  {u"- [ ] a"_s, u"- [ ] b  <!-- remind 2026-03-14 20:30 every day 20:30 routine -->"_s,
                                   u"- [ ] c  <!-- remind 2026-03-14 20:30 every day 20:30 -->"_s},
                                  u"2 open"_s,
                                  2},
                      SummaryCase{"WaitingNotesCountButNotDoneOrDue",
                                  {u"- n  <!-- remind 2026-03-15 09:00 -->"_s,
                                   u"- [x] ~~d~~  <!-- remind 2026-03-15 09:00 -->"_s,
                                   u"- [ ] due  <!-- remind 2026-03-14 12:00 -->"_s},
                                  u"1 open"_s,
                                  1}),
    ByName);

TEST(ManageModel, HeadingsAndDaysInWords) {
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] today  <!-- 09:00 -->"_s, u"## Someday"_s, u"- [ ] later  <!-- 09:00 -->"_s,
                             H12, u"- [ ] older  <!-- 09:00 -->"_s, u"- [ ] today  <!-- 09:00 -->"_s});
    struct Case {
        QString heading;
        QString shown;
    };
    for (const Case& c : {Case{u"2026-03-14 Saturday"_s, u"Saturday, Mar 14"_s},
                          Case{u"2026-03-12 whatever"_s, u"Thursday, Mar 12"_s}, Case{u"Now"_s, u"Now"_s},
                          Case{u"Someday"_s, u"Someday"_s}, Case{u"2026-02-30 Monday"_s, u"2026-02-30 Monday"_s}}) {
        EXPECT_EQ(m.displayHeading(c.heading), c.shown) << c.heading.toStdString();
    }
    EXPECT_EQ(m.dayLabel(f.idOf(u"older"_s)), u"Thursday, Mar 12"_s);
    EXPECT_EQ(m.dayLabel(f.idOf(u"later"_s)), u"Someday"_s);
    EXPECT_TRUE(m.isInToday(f.idOf(u"today"_s)));
    EXPECT_FALSE(m.isInToday(f.idOf(u"later"_s)));

    f.clock->setCalendar(Calendar(u"Europe/Berlin"_s, u"de_DE"_s));
    m.reload(); // the model reads the user's calendar on each reload
    EXPECT_EQ(m.displayHeading(u"2026-03-14 Saturday"_s), u"Samstag, März 14"_s);
}

TEST(ManageModel, ANewDayFoldsYesterday) {
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [x] ~~done today~~  <!-- 09:00 -->"_s});
    EXPECT_EQ(f.picture(), (QStringList{u"# 2026-03-14 Saturday"_s, u"- done today"_s}));
    f.clock->set(at(berlin(), 2026, 3, 15, 0, 1));
    m.dayChanged();
    EXPECT_EQ(f.picture(), (QStringList{u"# 2026-03-14 Saturday"_s, u"+ 1"_s}));
}

TEST(ManageModel, ARingMovesTheEntryToNow) {
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] soon  <!-- 09:00 remind 2026-03-14 12:30 -->"_s});
    EXPECT_TRUE(m.visibleSections().isEmpty());
    f.clock->set(at(berlin(), 2026, 3, 14, 12, 30));
    m.ringingChanged();
    EXPECT_EQ(f.picture(), (QStringList{u"# Now"_s, u"- soon"_s}));
    EXPECT_EQ(f.selectedText(), u"soon"_s);
    EXPECT_TRUE(m.isRinging(*m.selectedEntry()));
}

TEST(ManageModel, ReminderTimesFollowTheZone) {
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] due  <!-- 09:00 remind 2026-03-14 11:55 -->"_s});
    EXPECT_EQ(f.picture(), (QStringList{u"# Now"_s, u"- due"_s}));
    // 12:00 in Berlin is 07:00 in New York: 11:55 there is still to come.
    f.clock->setCalendar(Calendar(u"America/New_York"_s));
    m.reload();
    EXPECT_TRUE(m.visibleSections().isEmpty());
    EXPECT_EQ(m.laterCount(), 1);
}

// Changes through the store share the untouched days with the previous load, undo reads the
// file anew: both must give the lists a fresh load gives.
TEST(ManageModel, ListsAfterChangesMatchAFreshLoad) {
    const QStringList file{H14,
                           u"- [ ] a  <!-- 09:00 -->"_s,
                           u"- [ ] due  <!-- 09:10 remind 2026-03-14 11:00 -->"_s,
                           H12,
                           u"- [ ] b  <!-- 09:00 -->"_s,
                           u"- [x] ~~c~~  <!-- 09:10 -->"_s,
                           u"- [ ] later  <!-- 09:20 remind 2026-03-16 09:00 -->"_s,
                           H11,
                           u"- [ ] d  <!-- 09:00 -->"_s};
    ManageFixture f;
    f.open(file);
    const auto fresh = [&] {
        ManageFixture g;
        writeAll(g.path, readAll(f.path));
        g.store = std::make_unique<NotesStore>(*g.prefs, *g.clock, NotesStore::Options{g.path, false});
        g.store->load();
        g.model = std::make_unique<ManageModel>(*g.store, g.desktop, g.login);
        return g.picture();
    };
    const std::vector<std::function<void()>> steps{
        [&] { f.store->toggleDone(f.idOf(u"b"_s)); },
        [&] { f.store->toggleActive(f.idOf(u"d"_s)); },
        [&] {
            f.store->setReminder(f.idOf(u"a"_s), Reminder{at(berlin(), 2026, 3, 14, 10, 0), {}, false});
        },
        [&] { f.store->undo(); },
        [&] { f.store->answer(f.idOf(u"due"_s), NotesDocument::Answer{NotesDocument::Answer::Done{}}); },
        [&] { f.store->undo(); },
        [&] { f.store->redo(); },
        [&] { f.store->deleteEntry(f.idOf(u"c"_s)); },
    };
    // The sections handed out agree with the rows, and their signal comes exactly when they change.
    const auto sectionsPicture = [&] {
        QStringList out;
        for (const DaySection& section : f.model->visibleSections()) {
            out << u"# "_s + section.heading;
            for (const Entry& e : section.entries()) {
                out << u"- "_s + e.text;
            }
            if (f.model->folded().contains(section.heading)) {
                out << u"+ "_s + QString::number(f.model->folded().value(section.heading));
            }
        }
        return out;
    };
    QSignalSpy sectionsChanged(f.model.get(), &ManageModel::visibleSectionsChanged);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const QList<DaySection> before = f.model->visibleSections();
        sectionsChanged.clear();
        steps[i]();
        EXPECT_EQ(f.picture(), fresh()) << "after step " << i;
        EXPECT_EQ(sectionsPicture(), f.picture()) << "after step " << i;
        EXPECT_EQ(sectionsChanged.count() > 0, f.model->visibleSections() != before) << "after step " << i;
    }
}

TEST(ManageModel, RemindableSkipsCarriedAndOtherViews) {
    ManageFixture f;
    ManageModel& m =
        f.open({H12, u"- [>] moved  <!-- 08:00 carried 2026-03-13 -->"_s, u"- [ ] open  <!-- 09:00 -->"_s});
    m.setShowCompleted(true);
    m.select(f.idOf(u"moved"_s));
    EXPECT_EQ(m.remindable(), std::nullopt);
    m.select(f.idOf(u"open"_s));
    ASSERT_TRUE(m.remindable());
    m.showKeys();
    EXPECT_EQ(m.remindable(), std::nullopt);
}

TEST(ManageModel, RevealOpensTheEntrysViewAndClearsAFilterThatHidesIt) {
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] plain  <!-- 09:00 -->"_s, u"- [ ] pears  <!-- 09:10 -->"_s,
                             u"- [ ] tomorrow  <!-- 09:20 remind 2026-03-15 09:00 -->"_s});
    m.reveal(f.idOf(u"tomorrow"_s));
    EXPECT_EQ(m.mode(), Mode::Later);
    EXPECT_EQ(f.selectedText(), u"tomorrow"_s);
    m.reveal(f.idOf(u"plain"_s));
    EXPECT_EQ(m.mode(), Mode::Log);
    EXPECT_EQ(f.selectedText(), u"plain"_s);
    m.setFilter(u"pea"_s);
    m.reveal(f.idOf(u"pears"_s));
    EXPECT_EQ(m.filter(), u"pea"_s); // visible: the filter stays
    m.reveal(f.idOf(u"plain"_s));
    EXPECT_EQ(m.filter(), QString());
    EXPECT_EQ(f.selectedText(), u"plain"_s);
    m.showTrash();
    m.reveal(std::nullopt);
    EXPECT_EQ(m.mode(), Mode::Log);
    EXPECT_EQ(f.selectedText(), u"pears"_s);
}

TEST(ManageModel, KeysRememberWhereToReturnAndScrollWithinTheGuide) {
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] a  <!-- 09:00 -->"_s});
    m.beginEditing(f.idOf(u"a"_s));
    m.setEditingText(u"b"_s);
    m.showTrash();
    EXPECT_TRUE(f.entry(u"b"_s)); // the view change saved the edit
    m.showKeys();
    EXPECT_EQ(m.keysReturn(), Mode::Trash);
    m.scrollKeys(1);
    m.showKeys(); // again: back to the top, same way back
    EXPECT_EQ(m.keysScroll(), 0);
    EXPECT_EQ(m.keysReturn(), Mode::Trash);
    m.scrollKeys(-1);
    EXPECT_EQ(m.keysScroll(), 0);
    m.leaveKeys();
    EXPECT_EQ(m.mode(), Mode::Trash);
}

// clang-format off
const QStringList kSweepFile{
    H14, u"- [ ] today-open  <!-- 09:00 -->"_s,
    H13, u"- [ ] f1  <!-- 08:00 -->"_s, u"- [ ] f2  <!-- 09:00 -->"_s,
    H12, u"- [ ] t1  <!-- 08:00 -->"_s, u"- [ ] ! listed  <!-- 08:10 -->"_s, u"- a note"_s,
    u"- [ ] waiting  <!-- 08:20 remind 2026-03-20 09:00 -->"_s, u"- [x] ~~done~~  <!-- 08:30 -->"_s,
    u"- [>] moved  <!-- 08:40 carried 2026-03-13 -->"_s,
    H7, u"- [ ] s1  <!-- 08:00 -->"_s, u"- [ ] s2  <!-- 09:00 -->"_s};
// clang-format on

TEST(ManageSweep, OldestDayFirstOnlyPlainOpenEntriesThenSkipAndBack) {
    ManageFixture f;
    ManageModel& m = f.open(kSweepFile);
    m.startSweep();
    EXPECT_EQ(m.mode(), Mode::Sweep);
    EXPECT_EQ(f.sweepTexts(), (QStringList{u"s1"_s, u"s2"_s, u"t1"_s, u"f1"_s, u"f2"_s}));
    EXPECT_EQ(m.sweepCurrentHeading(), u"Saturday, Mar 7"_s);
    m.sweepSkip();
    m.sweepSkip();
    EXPECT_EQ(m.sweepCurrent()->text, u"t1"_s);
    m.showKeys(); // the guide in between keeps the skips
    m.leaveKeys();
    EXPECT_EQ(m.sweepCurrent()->text, u"t1"_s);
    m.sweepBack();
    EXPECT_EQ(m.sweepCurrent()->text, u"s2"_s);
    m.sweepBack();
    EXPECT_EQ(m.sweepCurrent()->text, u"s1"_s);
    m.sweepBack(); // nothing skipped
    EXPECT_EQ(f.sweepTexts().size(), 5);
    EXPECT_EQ(m.sweepTotal(), 5);
}

TEST(ManageSweep, DecisionsLeaveTheQueueThroughTheFile) {
    ManageFixture f;
    ManageModel& m = f.open(kSweepFile);
    m.startSweep();
    m.sweepDone();
    EXPECT_EQ(f.entry(u"s1"_s)->state, Entry::State::Done);
    EXPECT_EQ(f.sweepTexts(), (QStringList{u"s2"_s, u"t1"_s, u"f1"_s, u"f2"_s}));
    m.sweepDone(); // acts on the next entry, does not undo the first
    EXPECT_EQ(f.entry(u"s1"_s)->state, Entry::State::Done);
    EXPECT_EQ(f.entry(u"s2"_s)->state, Entry::State::Done);
    m.sweepCarry();
    EXPECT_EQ(f.states(u"t1"_s), (QList<Entry::State>{Entry::State::Open, Entry::State::Carried}));
    m.sweepActivate();
    EXPECT_TRUE(f.entry(u"f1"_s)->active);
    m.sweepRemind(0);
    EXPECT_EQ(f.entry(u"f2"_s)->comment, u"remind 2026-03-14 12:20"_s);
    EXPECT_EQ(m.onboarding(), ManageModel::Onboarding::Delivery);
    EXPECT_TRUE(m.sweepQueue().isEmpty());
    EXPECT_EQ(m.sweepCurrent(), std::nullopt);
    EXPECT_EQ(m.sweepTotal(), 5);
}

TEST(ManageSweep, DroppingTheLastEntryFinishesAndAnEmptySweepIsDoneAtOnce) {
    ManageFixture f;
    ManageModel& m = f.open({H12, u"- [ ] last  <!-- 08:00 -->"_s});
    m.startSweep();
    m.sweepDrop();
    EXPECT_FALSE(f.entry(u"last"_s));
    EXPECT_TRUE(m.sweepQueue().isEmpty());

    ManageFixture g;
    ManageModel& n = g.open({H14, u"- [ ] fresh  <!-- 08:00 -->"_s});
    n.startSweep();
    EXPECT_EQ(n.mode(), Mode::Sweep);
    EXPECT_TRUE(n.sweepQueue().isEmpty());
    EXPECT_EQ(n.sweepTotal(), 0);
}

struct DeliveryCase {
    std::string name;
    ReminderDelivery choice;
    bool hook;
    bool registered;
    QString stored;
    std::optional<ManageModel::Onboarding> next;
};

class Delivery : public ::testing::TestWithParam<DeliveryCase> {};

TEST_P(Delivery, StoresTheChoiceAndAsksAboutLoginOnce) {
    const DeliveryCase& c = GetParam();
    ManageFixture f;
    f.login.registered = c.registered;
    ManageModel& m = f.open({H14, u"- [ ] it  <!-- 09:00 remind 2026-03-20 09:00 -->"_s});
    ASSERT_EQ(m.onboarding(), ManageModel::Onboarding::Delivery);
    int requests = 0;
    if (c.hook) {
        m.setRequestNotifications([&] {
            ++requests;
            f.prefs->setValue(PreferenceKey::reminderDelivery, u"notification"_s);
        });
    }
    m.chooseDelivery(c.choice);
    EXPECT_EQ(f.prefs->value(PreferenceKey::reminderDelivery).toString(), c.stored);
    EXPECT_EQ(requests, c.hook && c.choice == ReminderDelivery::Notification ? 1 : 0);
    EXPECT_EQ(m.onboarding(), c.next);
}

INSTANTIATE_TEST_SUITE_P(
    Manage, Delivery,
    ::testing::Values(DeliveryCase{"DotThenLogin", ReminderDelivery::Dot, false, false, u"dot"_s,
                                   ManageModel::Onboarding::LaunchAtLogin},
                      DeliveryCase{"DotWhenAlreadyRegistered", ReminderDelivery::Dot, false, true, u"dot"_s,
                                   std::nullopt},
                      DeliveryCase{"NotificationsThroughTheScheduler", ReminderDelivery::Notification, true, false,
                                   u"notification"_s, ManageModel::Onboarding::LaunchAtLogin},
                      DeliveryCase{"NotificationsWithoutASchedulerStoreNothing", ReminderDelivery::Notification, false,
                                   true, QString(), std::nullopt}),
    ByName);

TEST(ManageModel, LoginAnswerIsRememberedAndRegisters) {
    for (const bool yes : {true, false}) {
        ManageFixture f;
        ManageModel& m = f.open({H14, u"- [ ] it  <!-- 09:00 remind 2026-03-20 09:00 -->"_s});
        m.chooseDelivery(ReminderDelivery::Dot);
        ASSERT_EQ(m.onboarding(), ManageModel::Onboarding::LaunchAtLogin);
        m.answerLaunchAtLogin(yes);
        EXPECT_EQ(m.onboarding(), std::nullopt);
        EXPECT_TRUE(f.prefs->launchAtLoginOffered());
        EXPECT_EQ(f.login.registered, yes);
        m.reload(); // the choice is made: no question comes back
        EXPECT_EQ(m.onboarding(), std::nullopt);
    }
}

TEST(ManageModel, NoQuestionWithoutAReminder) {
    ManageFixture f;
    ManageModel& m = f.open({H14, u"- [ ] it  <!-- 09:00 -->"_s});
    EXPECT_EQ(m.onboarding(), std::nullopt);
}

} // namespace
