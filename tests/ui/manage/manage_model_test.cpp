#include "ManageFixture.h"

#include "ui/when/WhenFieldModel.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using Mode = ManageModel::Mode;
using State = Entry::State;

namespace {

const QString H13 = u"## 2026-03-13 Friday"_s;
const QString H11 = u"## 2026-03-11 Wednesday"_s;
const QString H7 = u"## 2026-03-07 Saturday"_s;

using F = ManageFixture;
Step preset(int n) {
    return [n](F& f) { f.model->remind(n); };
}
const Step carry = call(&ManageModel::carry);
const Step shortlist = call(&ManageModel::toggleActive);
const Step dismiss = call(&ManageModel::dismissSelection);
const Step del = call(&ManageModel::deleteSelection);
Step showDone(bool on) {
    return [on](F& f) { f.model->setShowCompleted(on); };
}

// The list after the step, as "heading: text, text, +folded | heading: ...".
struct ListCase {
    std::string name;
    QStringList file;
    QString rows;
    Step step = nothing;
};

const QStringList kFoldingFile({H14, u"- [x] ~~today-done~~  <!-- 09:00 -->"_s, H12,
                                u"- [>] moved  <!-- 07:00 carried 2026-03-13 -->"_s, u"- ~~gone~~"_s,
                                u"- [x] ~~d1~~  <!-- 08:00 -->"_s, u"- [ ] open-one  <!-- 08:30 -->"_s, u"- a note"_s,
                                u"- [x] ~~d2~~  <!-- 09:00 -->"_s, H11, u"- [x] ~~only-done~~  <!-- 09:00 -->"_s, H7,
                                u"a raw line and nothing else"_s});
const QString kFolded =
    u"2026-03-14 Saturday: today-done | 2026-03-12 Thursday: a note, open-one, +4 | 2026-03-11 Wednesday: +1"_s;

const std::vector<ListCase> kListCases{
    {"DueGoesToNowFutureWaitsDoneStays",
     {H14, u"- [ ] due  <!-- 09:00 remind 2026-03-14 11:55 -->"_s,
      u"- [ ] tomorrow  <!-- 09:05 remind 2026-03-15 09:00 -->"_s,
      u"- [x] ~~finished~~  <!-- 09:10 remind 2026-03-15 09:00 -->"_s, u"- [ ] plain  <!-- 09:20 -->"_s},
     u"Now: due | 2026-03-14 Saturday: plain, finished"_s},
    {"NowBeforeActiveEarliestDueFirst",
     {H14, u"- [ ] ! listed-due  <!-- 08:00 remind 2026-03-14 11:00 -->"_s,
      u"- [ ] late-due  <!-- 08:10 remind 2026-03-14 11:50 -->"_s, u"- [x] ! ~~listed-done~~  <!-- 08:20 -->"_s,
      u"- [ ] ! listed-open  <!-- 08:30 -->"_s, H13, u"- [ ] ! old-listed  <!-- 10:00 -->"_s,
      u"- [ ] early-due  <!-- 10:05 remind 2026-03-13 18:00 -->"_s},
     u"Now: early-due, listed-due, late-due | Active: listed-open, listed-done, old-listed"_s},
    {"PastDaysFoldTheirClosedEntries", kFoldingFile, kFolded},
    {"ShowCompletedShowsEveryEntryAndNoFoldedRow", kFoldingFile,
     u"2026-03-14 Saturday: today-done | 2026-03-12 Thursday: d2, a note, open-one, d1, gone, moved | "
     u"2026-03-11 Wednesday: only-done"_s,
     showDone(true)},
    {"SpacesAreNoFilter", kFoldingFile, kFolded, filter(u"   "_s)},
    {"FilterIgnoresCaseFoldingAndComments",
     {H14, u"- [ ] call Ann  <!-- 09:00 -->"_s, u"- [ ] tea  <!-- 09:30 milk -->"_s,
      u"- [ ] milk reminder  <!-- 09:40 remind 2026-03-14 11:00 -->"_s, H12, u"- [x] ~~buy milk~~  <!-- 08:00 -->"_s,
      u"- [x] ~~bread~~  <!-- 08:10 -->"_s, H11, u"- [ ] Buy Milk and eggs  <!-- 09:00 -->"_s},
     u"Now: milk reminder | 2026-03-12 Thursday: buy milk | 2026-03-11 Wednesday: Buy Milk and eggs"_s,
     filter(u"  MILK "_s)},
    {"LaterGroupsByTheDayItComesBack",
     {H14, u"- [ ] written-today  <!-- 09:00 remind 2026-03-16 09:00 -->"_s,
      u"- [ ] soon  <!-- 09:30 remind 2026-03-14 18:00 -->"_s, H7,
      u"- [ ] written-last-week  <!-- 09:00 remind 2026-03-15 08:00 -->"_s,
      u"- [x] ~~done-future~~  <!-- 09:10 remind 2026-03-15 07:00 -->"_s,
      u"- [ ] due-now  <!-- 09:20 remind 2026-03-14 10:00 -->"_s,
      u"- [ ] same-day-later  <!-- 09:30 remind 2026-03-15 21:00 -->"_s},
     u"2026-03-14 Saturday: soon | 2026-03-15 Sunday: written-last-week, same-day-later | "
     u"2026-03-16 Monday: written-today"_s,
     later},
    {"LaterPutsMidnightUnderTheNewDay",
     {H14, u"- [ ] tonight  <!-- 09:00 remind 2026-03-14 23:59 -->"_s,
      u"- [ ] midnight  <!-- 09:10 remind 2026-03-15 00:00 -->"_s},
     u"2026-03-14 Saturday: tonight | 2026-03-15 Sunday: midnight"_s,
     later},
    {"HidingDoneMovesTheSelectionToAShownEntry",
     {H12, u"- [ ] open-one  <!-- 08:00 -->"_s, u"- [x] ~~done-one~~  <!-- 09:00 -->"_s},
     u"2026-03-12 Thursday: open-one, +1"_s,
     seq({showDone(true), select(u"done-one"_s), showDone(false)})},
    {"AnUnreadableReminderStaysInItsDay",
     {H14, u"- [ ] odd  <!-- 09:00 remind 2026-02-30 09:00 -->"_s},
     u"2026-03-14 Saturday: odd"_s},
    {"ANewDayFoldsYesterday",
     {H14, u"- [x] ~~done today~~  <!-- 09:00 -->"_s},
     u"2026-03-14 Saturday: +1"_s,
     seq({[](F& f) { f.clock->set(at(berlin(), 2026, 3, 15, 0, 1)); }, call(&ManageModel::dayChanged)})},
    {"ARingMovesTheEntryToNow",
     {H14, u"- [ ] soon  <!-- 09:00 remind 2026-03-14 12:30 -->"_s},
     u"Now: soon"_s,
     seq({[](F& f) { f.clock->set(at(berlin(), 2026, 3, 14, 12, 30)); }, call(&ManageModel::ringingChanged)})},
    // 12:00 in Berlin is 07:00 in New York: 11:55 there is still to come.
    {"ReminderTimesFollowTheZone",
     {H14, u"- [ ] due  <!-- 09:00 remind 2026-03-14 11:55 -->"_s},
     u"2026-03-14 Saturday: due"_s,
     [](F& f) {
         f.clock->setCalendar(Calendar(u"America/New_York"_s));
         f.model->reload();
         f.model->showLater();
     }},
};

class ListRows : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListRows, ShowTheSectionsInOrder) {
    const ListCase& c = GetParam();
    F f;
    ManageModel& m = f.open(c.file);
    c.step(f);
    EXPECT_EQ(f.picture(), c.rows);
    if (!m.filter().trimmed().isEmpty()) {
        EXPECT_TRUE(m.list().folded().isEmpty());
    }
    // The selection is always an entry the list shows: after a load, a view change or a new entry
    // at the top, the first one.
    if (!f.visibleTexts().isEmpty()) {
        EXPECT_TRUE(m.selectedEntry());
        EXPECT_TRUE(!m.filter().isEmpty() || f.selectedText() == f.visibleTexts().first())
            << f.selectedText().toStdString();
    }
    // A row knows its own day: what the lookups by identity find in the file. An entry's row is
    // found again by its identity.
    const QList<ManageModel::Row> rows = m.list().rows();
    EXPECT_EQ(m.list().rowCount(), rows.size());
    EXPECT_EQ(m.list().rowIndex(QUuid::createUuid()), -1);
    for (int i = 0; i < rows.size(); ++i) {
        const ManageModel::Row& row = rows[i];
        if (row.kind == ManageModel::Row::Kind::Entry) {
            const int found = m.list().rowIndex(row.entry.id);
            EXPECT_LE(found, i);
            EXPECT_EQ(m.list().rowAt(found).entry.id, row.entry.id);
        }
        EXPECT_EQ(m.dayLabel(row), row.kind == ManageModel::Row::Kind::Entry ? m.dayLabel(row.entry.id) : std::nullopt);
        EXPECT_EQ(m.isInToday(row), row.kind == ManageModel::Row::Kind::Entry && m.isInToday(row.entry.id));
    }
}

INSTANTIATE_TEST_SUITE_P(Manage, ListRows, ::testing::ValuesIn(kListCases), ByName);

// A command on the entry "it", the only one in the view: the file's lines of "it" afterwards;
// none when the file must stay as it was.
struct CommandCase {
    std::string name;
    QString line;
    Step step;
    std::optional<QString> after = {};
    QString heading = H12;
};

class Command : public ::testing::TestWithParam<CommandCase> {};

TEST_P(Command, ChangesTheEntryOnlyWhereItApplies) {
    const CommandCase& c = GetParam();
    F f;
    f.open({c.heading, c.line}).setShowCompleted(true);
    f.model->select(f.idOf(u"it"_s));
    const QString before = f.file();
    c.step(f);
    if (!c.after) {
        EXPECT_EQ(f.file(), before);
    } else {
        static const QRegularExpression it(u"\\bit\\b"_s);
        EXPECT_EQ(f.file().split(u'\n').filter(it).join(u" / "_s), *c.after);
    }
}

// The line of the open entry "it" written at 08:00 with this comment.
QString it(const QString& comment = {}) {
    return u"- [ ] it  <!-- 08:00"_s + (comment.isEmpty() ? QString() : u" "_s + comment) + u" -->"_s;
}
const QString kWaiting = it(u"remind 2026-03-20 09:00"_s);
const QString kDaily = it(u"remind 2026-03-14 09:00 every day 09:00"_s);
const QString kCarried = u"- [ ] it  <!-- 12:00 --> / - [>] it  <!-- 08:00 carried 2026-03-14 -->"_s;
Step sweepThen(void (ManageModel::*command)()) {
    return seq({sweep, call(command)});
}

const std::vector<CommandCase> kCommandCases{
    {"CarryFromAnOlderDay", it(), carry, kCarried},
    {"CarryFromTodayDoesNothing", it(), carry, {}, H14},
    {"CarryOnlyInTheNotesList", kWaiting, seq({later, carry})},
    {"ShortlistInLater", kWaiting, seq({later, shortlist}), u"- [ ] ! it  <!-- 08:00 remind 2026-03-20 09:00 -->"_s},
    {"TheSweepHasItsOwnKeys", it(), sweepThen(&ManageModel::toggleDone)},
    {"PresetSnoozesARingingRepeatKeepingItsRule", kDaily, preset(2), it(u"remind 2026-03-14 15:00 every day 09:00"_s)},
    {"PresetReplacesARingingOneTime", it(u"remind 2026-03-14 11:00"_s), preset(0), it(u"remind 2026-03-14 12:20"_s)},
    {"PresetReplacesAWaitingRepeat", it(u"remind 2026-03-15 09:00 every day 09:00"_s), seq({later, preset(1)}),
     it(u"remind 2026-03-14 13:00"_s)},
    {"RepeatPresetReplacesARingingRepeat", kDaily, preset(8), it(u"remind 2026-03-14 20:30 every day 08:30 20:30"_s)},
    {"PresetOnCarriedDoesNothing", u"- [>] it  <!-- 08:00 carried 2026-03-13 -->"_s, preset(2)},
    {"PresetOutOfRangeDoesNothing", it(), preset(9)},
    {"DismissAnswersARingingEntry", kDaily, dismiss, it(u"remind 2026-03-15 09:00 every day 09:00"_s)},
    {"DismissLeavesAQuietEntry", kWaiting, seq({later, dismiss})},
    {"SweepCarry", it(), sweepThen(&ManageModel::sweepCarry), kCarried},
    {"SweepShortlist", it(), sweepThen(&ManageModel::sweepActivate), u"- [ ] ! it  <!-- 08:00 -->"_s},
    {"SweepDrop", it(), sweepThen(&ManageModel::sweepDrop), QString()},
    // Two entries with one identity (a day's heading written twice): the row chosen is the one changed.
    {"DoneOnTheChosenOfTwoWithOneIdentity", it() + u"\n"_s + H12 + u"\n- [ ] ! it  <!-- 08:00 -->"_s,
     call(&ManageModel::toggleDone), it() + u" / - [x] ~~it~~  <!-- 08:00 -->"_s},
    // The file changed under the list: the entry is looked for, not taken from where the row was.
    {"DoneAfterAnOutsideEditActsOnTheEntry", it(),
     seq({[](F& f) { writeAll(f.path, (H12 + u"\n- [ ] other\n"_s + it() + u"\n"_s).toUtf8()); },
          call(&ManageModel::toggleDone)}),
     u"- [x] ~~it~~  <!-- 08:00 -->"_s},
    // Commands act only on an entry the list shows.
    {"TrashNothingTheFilterHides", it(), seq({filter(u"milk"_s), select(u"it"_s), del})},
    {"TrashNothingDoneHidingHides", u"- [x] ~~it~~  <!-- 08:00 -->"_s, seq({showDone(false), del})},
};

INSTANTIATE_TEST_SUITE_P(Manage, Command, ::testing::ValuesIn(kCommandCases), ByName);

TEST(ManageModel, SelectionMovesWithinTheListAndSurvivesReloads) {
    F f;
    f.open({H14, u"- [ ] a  <!-- 09:00 -->"_s, u"- [ ] b  <!-- 09:01 -->"_s, u"- [ ] c  <!-- 09:02 -->"_s});
    play(f, {{move(-5), u"selected=c"_s},
             {move(7), u"selected=a"_s},
             {seq({unselect, move(0)}), u"selected=a"_s}, // nothing visible selected: start from an end
             {seq({unselect, move(1)}), u"selected=c pointer=0"_s},
             // Another entry changes: the selection stays. The entry's identity changes with its text.
             {seq({move(1), [](F& g) { g.store->toggleDone(g.idOf(u"a"_s)); }}), u"selected=b"_s},
             {[](F& g) { g.store->updateText(g.idOf(u"b"_s), u"bee"); }, u"selected=bee"_s},
             // "bee", second, is filtered away: the entry now at its place, or the last.
             {filter(u"a"_s), u"selected=a"_s}});
}

TEST(ManageModel, EditingCommitsTheTextOnAClickElsewhere) {
    F f;
    f.open({H14, u"- [ ] draft  <!-- 09:00 -->"_s, u"- [ ] other  <!-- 09:10 -->"_s});
    const auto edit = [](const QString& text) { return Step([text](F& g) { g.model->beginEditing(g.idOf(text)); }); };
    play(f, {{seq({edit(u"draft"_s), [](F& g) { g.model->setEditingText(u"final"_s); }}), u"editing=final"_s},
             {select(u"other"_s), u"editing=- selected=other pointer=1"_s}, // a click elsewhere saves first
             {fileHas(u"- [ ] final"_s), {}},
             {seq({trash, edit(u"other"_s)}), u"editing=-"_s}}); // not in the trash view
}

TEST(ManageModel, WhenFieldOpensOnTheEntryAndReportsBack) {
    F f;
    ManageModel& m =
        f.open({H14, u"- [ ] plain  <!-- 09:00 -->"_s, u"- [ ] due  <!-- 09:10 remind 2026-03-14 11:00 -->"_s});
    const auto open = [](const QString& text) { return Step([text](F& g) { g.model->openWhenField(text); }); };
    play(f, {{open({}), u"selected=due when=due"_s}}); // it rings, so it is listed first
    ASSERT_TRUE(m.when().current());
    Q_EMIT m.when().cancelled();
    play(f, {{nothing, u"when=-"_s},
             // Deleting in the empty field.
             {seq({open({}), [](F& g) { ASSERT_TRUE(g.model->when().stop()); }}), u"when=-"_s},
             {fileHas(u"- [ ] due  <!-- 09:10 -->"_s), {}},
             {seq({select(u"plain"_s), open(u"tomorrow"_s)}), u"when=plain"_s}});
    EXPECT_EQ(m.when().text(), u"tomorrow"_s);
    const QString before = f.file();
    m.stopReminderFromWhenField(); // nothing to stop: the field stays open
    play(f, {{nothing, u"when=plain"_s}});
    EXPECT_EQ(f.file(), before);
    const auto reminder = m.when().chosen(f.clock->now());
    ASSERT_TRUE(reminder);
    Q_EMIT m.when().committed(*reminder);
    play(f, {{fileHas(u"- [ ] plain  <!-- 09:00 remind 2026-03-15 08:30 -->"_s), u"when=-"_s}});
    EXPECT_EQ(m.firstRun().asked(), FirstRun::Question::Delivery);
    // A view change or a reveal closes the field: the keys would go on to it out of sight.
    for (const Step& step : {sweep, trash, later, call(&ManageModel::backToNotes), reveal(u"due"_s)}) {
        play(f, {{seq({select(u"due"_s), open({})}), u"when=due"_s},
                 {step, u"when=-"_s},
                 {call(&ManageModel::backToNotes), {}}});
    }
}

TEST(ManageModel, DeletingSelectsTheNextEntryDownAndTheTrashGivesBack) {
    F f;
    f.open({H14, u"- [ ] a  <!-- 09:00 -->"_s, u"- [ ] b  <!-- 09:01 -->"_s, u"- [ ] c  <!-- 09:02 -->"_s,
            u"- [ ] d  <!-- 09:03 -->"_s});
    play(f, {{seq({select(u"b"_s), del}), u"selected=a"_s}, // the third entry again
             {del, u"selected=c"_s},                        // the last one again
             {trash, u"shown=a,b selected=a"_s},
             {[](F& g) { g.model->activateSelection(false); }, u"shown=b selected=b"_s}, // restore
             {del, u"shown= selected=-"_s},
             {call(&ManageModel::backToNotes), u"shown=a,d,c"_s}}); // restored as a new entry of now
}

TEST(ManageModel, SummaryCountsOpenAndWaitingEntries) {
    // A routine is neither open nor waiting; waiting notes count, done or due entries do not.
    const std::tuple<QString, int, QString> cases[]{
        {u"1 open"_s, 0, u"- [ ] a\n- [>] b\n- [x] ~~done~~\n- a note"_s},
        {u"2 open"_s, 2,
         u"- [ ] a\n- [ ] b  <!-- remind 2026-03-14 20:30 every day 20:30 routine -->\n"
         u"- [ ] c  <!-- remind 2026-03-14 20:30 every day 20:30 -->"_s},
        {u"1 open"_s, 1,
         u"- n  <!-- remind 2026-03-15 09:00 -->\n- [x] ~~d~~  <!-- remind 2026-03-15 09:00 -->\n"
         u"- [ ] due  <!-- remind 2026-03-14 12:00 -->"_s},
    };
    for (const auto& [summary, laterCount, entries] : cases) {
        F f;
        ManageModel& m = f.open(QStringList{H14} + entries.split(u'\n'));
        EXPECT_EQ(m.openSummary(), summary) << entries.toStdString();
        EXPECT_EQ(m.laterCount(), laterCount) << entries.toStdString();
    }
}

// Changes through the store share the untouched days with the previous load, undo reads the
// file anew, a filter reads texts lowered ahead: all must give the lists a fresh load gives.
TEST(ManageModel, ListsAfterChangesMatchAFreshLoad) {
    F f;
    // "Now" rings at the same moment on several days and twice on one: the list built after a change
    // takes over the days it did not touch and must order them with those read again.
    f.open({H14, u"- [ ] a  <!-- 09:00 -->"_s, u"- [ ] due  <!-- 09:10 remind 2026-03-14 11:00 -->"_s,
            u"- [ ] due2  <!-- 09:20 remind 2026-03-14 11:00 -->"_s, H12, u"- [ ] b  <!-- 09:00 -->"_s,
            u"- [x] ~~c~~  <!-- 09:10 -->"_s, u"- [ ] later  <!-- 09:20 remind 2026-03-16 09:00 -->"_s,
            u"- [ ] early  <!-- 09:30 remind 2026-03-14 10:00 -->"_s,
            u"- [ ] tie  <!-- 09:40 remind 2026-03-14 11:00 -->"_s, H11, u"- [ ] d  <!-- 09:00 -->"_s,
            u"- [ ] old  <!-- 09:10 remind 2026-03-14 11:00 -->"_s});
    // The rows, the day each entry is written under, and the header's counts.
    const auto seen = [](const F& g) {
        QString out = g.picture() + u' ' + g.model->openSummary() +
                      u" %1 %2"_s.arg(g.model->laterCount()).arg(g.model->staleOpenCount());
        for (const ManageModel::Row& row : g.model->list().rows()) {
            out += u' ' + row.day;
        }
        return out;
    };
    const auto fresh = [&] {
        F g;
        writeAll(g.path, readAll(f.path));
        g.load();
        g.model->setFilter(f.model->filter());
        return seen(g);
    };
    const auto at10 = Reminder{at(berlin(), 2026, 3, 14, 10, 0), {}, false};
    const auto tomorrow9 = Reminder{at(berlin(), 2026, 3, 15, 9, 0), {}, false};
    const std::vector<std::function<void()>> steps{
        [&] { f.store->toggleDone(f.idOf(u"b"_s)); },
        [&] { f.store->toggleActive(f.idOf(u"d"_s)); },
        [&] { f.store->setReminder(f.idOf(u"a"_s), at10); },
        [&] { f.store->undo(); },
        [&] { f.store->setReminder(f.idOf(u"d"_s), tomorrow9); },
        [&] { f.store->answer(f.idOf(u"due"_s), NotesDocument::Answer{NotesDocument::Answer::Done{}}); },
        [&] { f.store->undo(); },
        [&] { f.store->redo(); },
        [&] { f.store->deleteEntry(f.idOf(u"c"_s)); },
        [&] { f.store->setReminder(f.idOf(u"b"_s), at10); },
        [&] { f.store->toggleDone(f.idOf(u"due2"_s)); },
        [&] { f.store->mutate([](NotesDocument& d) {
                  d.sections.insert(1, DaySection{{}, H13, {}});
              }); },
        [&] { f.store->toggleDone(f.idOf(u"a"_s)); },
        [&] { f.store->mutate([](NotesDocument& d) { d.sections.prepend(d.sections.takeAt(2)); }); },
        [&] { f.store->mutate([](NotesDocument& d) { d.sections.removeAt(0); }); },
        [&] { f.store->undo(); },
        [&] { f.store->mutate([](NotesDocument& d) { d.sections.move(2, 0); }); },
        [&] {
            f.store->mutate([](NotesDocument& d) {
                d.sections.append(DaySection{{}, u"## 2026-03-10 Tuesday"_s, {}});
            });
        },
    };
    // The sections handed out agree with the rows, and their signal comes exactly when they change.
    const auto sectionsPicture = [&] {
        QStringList out;
        for (const DaySection& section : f.model->list().visibleSections()) {
            QStringList items = f.texts(section.entries());
            if (f.model->list().folded().contains(section.heading)) {
                items << u"+"_s + QString::number(f.model->list().folded().value(section.heading));
            }
            out << section.heading + u": "_s + items.join(u", "_s);
        }
        return out.join(u" | "_s);
    };
    QSignalSpy sectionsChanged(f.model.get(), &ManageModel::visibleSectionsChanged);
    // What a view reads when told the sections changed is already up to date.
    std::optional<int> laterSeen;
    QObject::connect(f.model.get(), &ManageModel::sectionsChanged, [&] { laterSeen = f.model->laterCount(); });
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const QList<DaySection> before = f.model->list().visibleSections();
        sectionsChanged.clear();
        laterSeen.reset();
        steps[i]();
        EXPECT_EQ(laterSeen.value_or(-1), f.model->laterCount()) << "after step " << i;
        EXPECT_EQ(seen(f), fresh()) << "after step " << i;
        EXPECT_EQ(sectionsPicture(), f.picture()) << "after step " << i;
        EXPECT_EQ(sectionsChanged.count() > 0, f.model->list().visibleSections() != before) << "after step " << i;
    }
    // The texts lowered ahead of a filter (once Ctrl+F asks for the field) are those of the file as
    // it is when the filter is typed.
    f.model->requestFilterFocus();
    QCoreApplication::processEvents();
    f.store->updateText(f.idOf(u"d"_s), u"plums"_s);
    f.model->setFilter(u"plum"_s);
    EXPECT_EQ(seen(f), fresh());
}

TEST(ManageModel, RevealOpensTheEntrysViewAndClearsAFilterThatHidesIt) {
    F f;
    f.open({H14, u"- [ ] plain  <!-- 09:00 -->"_s, u"- [ ] pears  <!-- 09:10 -->"_s,
            u"- [ ] tomorrow  <!-- 09:20 remind 2026-03-15 09:00 -->"_s});
    play(f, {{reveal(u"tomorrow"_s), u"mode=Later selected=tomorrow"_s},
             {reveal(u"plain"_s), u"mode=Log selected=plain"_s},
             {seq({filter(u"pea"_s), reveal(u"pears"_s)}), u"filter=pea"_s}, // visible: the filter stays
             {reveal(u"plain"_s), u"filter= selected=plain"_s},
             {seq({trash, [](F& g) { g.model->reveal(std::nullopt); }}), u"mode=Log selected=pears"_s}});
}

const QStringList kSweepFile({H14, u"- [ ] today-open  <!-- 09:00 -->"_s, H13, u"- [ ] f1  <!-- 08:00 -->"_s,
                              u"- [ ] f2  <!-- 09:00 -->"_s, H12, u"- [ ] t1  <!-- 08:00 -->"_s,
                              u"- [ ] ! listed  <!-- 08:10 -->"_s, u"- a note"_s,
                              u"- [ ] waiting  <!-- 08:20 remind 2026-03-20 09:00 -->"_s,
                              u"- [x] ~~done~~  <!-- 08:30 -->"_s, u"- [>] moved  <!-- 08:40 carried 2026-03-13 -->"_s,
                              H7, u"- [ ] s1  <!-- 08:00 -->"_s, u"- [ ] s2  <!-- 09:00 -->"_s});

TEST(ManageSweep, OldestDayFirstOnlyPlainOpenEntriesSkipBackAndDecide) {
    F f;
    ManageModel& m = f.open(kSweepFile);
    const Step skip = call(&ManageModel::sweepSkip);
    const Step back = call(&ManageModel::sweepBack);
    play(f, {{sweep, u"mode=Sweep queue=s1,s2,t1,f1,f2"_s},
             // The guide in between keeps the skips.
             {seq({skip, skip, call(&ManageModel::showKeys), call(&ManageModel::leaveKeys)}), u"sweep=t1"_s},
             {back, u"sweep=s2"_s},
             {seq({back, back}), u"sweep=s1"_s}}); // nothing skipped
    EXPECT_EQ(m.sweepCurrentHeading(), u"Saturday, Mar 7"_s);

    // Decisions leave the queue one by one; the second acts on the next entry, does not undo the first.
    const QSignalSpy told(&m, &ManageModel::sweepQueueChanged); // the sweep view follows it
    play(f, {{seq({call(&ManageModel::sweepDone), call(&ManageModel::sweepDone)}), u"queue=t1,f1,f2"_s}});
    EXPECT_EQ(told.count(), 2);
    EXPECT_EQ(f.entry(u"s1"_s)->state, State::Done);
    const Step remind = [](F& g) { g.model->sweepRemind(0); };
    play(f, {{seq({call(&ManageModel::sweepCarry), call(&ManageModel::sweepActivate), remind}),
              u"queue= sweep= total=5"_s},
             // Nothing older than today is open: done at once.
             {seq({call(&ManageModel::endSweep), sweep}), u"mode=Sweep queue= total=0"_s}});
    EXPECT_EQ(m.firstRun().asked(), FirstRun::Question::Delivery);
}

// Choice, a scheduler to ask, already launched at login: stored, the next question.
TEST(ManageModel, DeliveryStoresTheChoiceAndAsksAboutLoginOnce) {
    constexpr auto kLogin = FirstRun::Question::LaunchAtLogin;
    const std::tuple<ReminderDelivery, bool, bool, QString, std::optional<FirstRun::Question>> cases[]{
        {ReminderDelivery::Dot, false, false, u"dot"_s, kLogin},
        {ReminderDelivery::Dot, false, true, u"dot"_s, std::nullopt},
        {ReminderDelivery::Notification, true, false, u"notification"_s, kLogin},
        {ReminderDelivery::Notification, false, true, {}, std::nullopt}, // without a scheduler nothing is stored
    };
    for (const auto& [choice, hook, registered, stored, next] : cases) {
        F f;
        f.login.registered = registered;
        ManageModel& m = f.open({H14, u"- [ ] it  <!-- 09:00 remind 2026-03-20 09:00 -->"_s});
        ASSERT_EQ(m.firstRun().asked(), FirstRun::Question::Delivery);
        int requests = 0;
        if (hook) {
            QObject::connect(&m.firstRun(), &FirstRun::notificationsRequested, [&] {
                ++requests;
                f.prefs->setValue(PreferenceKey::reminderDelivery, u"notification"_s);
            });
        }
        m.firstRun().chooseDelivery(choice);
        EXPECT_EQ(f.prefs->value(PreferenceKey::reminderDelivery).toString(), stored);
        EXPECT_EQ(requests, hook && choice == ReminderDelivery::Notification ? 1 : 0);
        EXPECT_EQ(m.firstRun().asked(), next);
    }
}

} // namespace
