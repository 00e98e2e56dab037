#include "notes/NotesDocument.h"
#include "reminders/Reminder.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;

namespace {

const QString kBerlin = QStringLiteral("Europe/Berlin");
const QString kNewYork = QStringLiteral("America/New_York");
const Anchors kAnchors{8 * 60 + 30, 20 * 60 + 30};

std::string shown(const Calendar& calendar, const std::optional<Instant>& t) {
    return t ? describe(calendar, *t) : std::string("none");
}

// --- Writing ---

TEST(ReminderClauses, WritesStampRuleAndRoutine) {
    const Calendar cal(kBerlin);
    const Instant sat = at(cal, 2026, 3, 14, 20, 30);
    struct Case {
        Reminder reminder;
        const char* clauses;
    };
    const std::vector<Case> table = {
        {once(at(cal, 2026, 3, 14, 9, 0)), "remind 2026-03-14 09:00"},
        {once(at(cal, 2026, 3, 14, 9, 0, 59)), "remind 2026-03-14 09:00"},
        {repeat(sat, times(everyDay(), {hm(20, 30)}), true), "remind 2026-03-14 20:30 every day 20:30 routine"},
        {repeat(sat, interval(180, hm(9, 0), hm(21, 0))), "remind 2026-03-14 20:30 every 3h 09:00-21:00"},
        {repeat(sat, interval(90, hm(9, 0), hm(17, 0))), "remind 2026-03-14 20:30 every 90m 09:00-17:00"},
        {repeat(sat, times(onDays({5, 2}), {hm(18, 0)})), "remind 2026-03-14 20:30 every mon thu 18:00"},
        {repeat(sat, times(everyDay(), {hm(21, 0), hm(9, 0)})), "remind 2026-03-14 20:30 every day 09:00 21:00"},
        {repeat(sat, times(weekdays(), {hm(0, 5)})), "remind 2026-03-14 20:30 every weekday 00:05"},
        // A routine needs a rule: without one the word is not written.
        {Reminder{at(cal, 2026, 1, 2, 3, 4), std::nullopt, true}, "remind 2026-01-02 03:04"},
    };
    for (const Case& c : table) {
        EXPECT_EQ(c.reminder.clauses(cal).toStdString(), c.clauses);
    }
}

TEST(ReminderClauses, AmountsAndDayWords) {
    const std::vector<std::pair<int, const char*>> amounts = {{60, "1h"},  {180, "3h"}, {120, "2h"},     {90, "90m"},
                                                              {45, "45m"}, {1, "1m"},   {1439, "1439m"}, {1380, "23h"}};
    for (const auto& [minutes, text] : amounts) {
        EXPECT_EQ(Reminder::amount(minutes).toStdString(), text) << minutes;
    }
    EXPECT_EQ(onDays({5, 2}).text(), u"mon thu");
    EXPECT_EQ(onDays({7, 1}).text(), u"sun sat");
    EXPECT_EQ(onDays({1, 2, 3, 4, 5, 6, 7}).text(), u"sun mon tue wed thu fri sat");
    EXPECT_EQ(everyDay().text(), u"day");
    EXPECT_EQ(weekdays().text(), u"weekday");
}

// --- Stamps ---

TEST(ReminderStamp, IsLocalWallClockToTheMinute) {
    const Calendar berlin(kBerlin);
    const Calendar newYork(kNewYork);
    const Instant t = at(berlin, 2026, 3, 14, 9, 0);
    EXPECT_EQ(Reminder::stamp(t, berlin), u"2026-03-14 09:00");
    EXPECT_EQ(Reminder::stamp(t, newYork), u"2026-03-14 04:00");
    EXPECT_EQ(Reminder::stamp(at(berlin, 33, 1, 2, 3, 4), berlin), u"0033-01-02 03:04");

    // Read in another zone, the same words mean the same wall-clock time there.
    const auto there = Reminder::readStamp(u"2026-03-14", u"09:00", newYork);
    EXPECT_EQ(shown(newYork, there), "2026-03-14 09:00:00 -04:00");
    EXPECT_EQ(shown(berlin, there), "2026-03-14 14:00:00 +01:00");
}

TEST(ReminderStamp, ClockChangesResolveForward) {
    const Calendar berlin(kBerlin);
    // The skipped hour reads as the next existing time, the repeated hour as its first occurrence.
    EXPECT_EQ(shown(berlin, Reminder::readStamp(u"2026-03-29", u"02:30", berlin)), "2026-03-29 03:00:00 +02:00");
    EXPECT_EQ(shown(berlin, Reminder::readStamp(u"2026-10-25", u"02:30", berlin)), "2026-10-25 02:30:00 +02:00");
    // The second 02:30 of that night is written the same, so it reads back an hour earlier.
    const Instant second = at(berlin, 2026, 10, 25, 2, 30) + std::chrono::hours(1);
    EXPECT_EQ(describe(berlin, second), "2026-10-25 02:30:00 +01:00");
    EXPECT_EQ(Reminder::stamp(second, berlin), u"2026-10-25 02:30");
}

TEST(ReminderStamp, RejectsAnythingButTheExactForm) {
    const Calendar cal(kBerlin);
    const std::vector<std::pair<const char*, const char*>> bad = {
        {"2026-3-14", "09:00"},     {"2026-03-14", "9:00"},  {"2026-02-30", "09:00"}, {"2026-13-01", "09:00"},
        {"2026-03-14", "24:00"},    {"2026-03-14", "09:60"}, {"2026/03/14", "09:00"}, {"2026-03-14", "09.00"},
        {"20260314", "09:00"},      {"2026-03-1x", "09:00"}, {"2026-03-14", "0900"},  {"", ""},
        {"2026-03-14", "09:00:00"}, {"+026-03-14", "09:00"}, {"2026-03-14", "-9:00"}, {"2026-00-10", "09:00"},
    };
    for (const auto& [date, time] : bad) {
        EXPECT_FALSE(Reminder::readStamp(QString::fromUtf8(date), QString::fromUtf8(time), cal)) << date << " " << time;
    }
    EXPECT_TRUE(Reminder::readStamp(u"2028-02-29", u"23:59", cal));
}

// --- Reading a comment ---

struct SplitCase {
    std::string name;
    const char* comment;
    std::optional<Reminder> reminder;
    std::optional<const char*> rest;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.comment;
}

class CommentSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommentSplit, FindsTheReminderAndKeepsTheOtherWords) {
    const auto& c = GetParam();
    const Calendar cal(kBerlin);
    const auto split = Reminder::split(QString::fromUtf8(c.comment), cal, kAnchors);
    EXPECT_EQ(split.reminder, c.reminder) << (split.reminder ? split.reminder->clauses(cal).toStdString() : "none");
    ASSERT_EQ(split.rest.has_value(), c.rest.has_value()) << split.rest.value_or(QString()).toStdString();
    if (c.rest) {
        EXPECT_EQ(split.rest->toStdString(), *c.rest);
    }
}

std::vector<SplitCase> splitCases() {
    const Calendar cal(kBerlin);
    const Instant sat9 = at(cal, 2026, 3, 14, 9, 0);
    const Instant sat2030 = at(cal, 2026, 3, 14, 20, 30);
    const Instant mon9 = at(cal, 2026, 3, 16, 9, 0);
    return {
        {"NoReminderCollapsesSpaces", "buy  milk   soon", std::nullopt, "buy milk soon"},
        {"Empty", "", std::nullopt, std::nullopt},
        {"MissingTime", "remind 2026-03-14", std::nullopt, "remind 2026-03-14"},
        {"OneTime", "remind 2026-03-14 09:00", once(sat9), std::nullopt},
        {"RoutineWithoutRuleIsConsumed", "remind 2026-03-14 09:00 routine", once(sat9), std::nullopt},
        {"IntervalBeforeCarried", "remind 2026-03-14 09:00 every 3h 09:00-21:00 carried 2026-03-12",
         repeat(sat9, interval(180, hm(9, 0), hm(21, 0))), "carried 2026-03-12"},
        {"Routine", "remind 2026-03-14 20:30 every day 20:30 routine",
         repeat(sat2030, times(everyDay(), {hm(20, 30)}), true), std::nullopt},
        {"LaterClauseWins", "remind 2026-03-14 09:00 note remind 2026-03-16 09:00", once(mon9), "note"},
        {"RuleEndsAtRemind", "remind 2026-03-14 09:00 every day 20:30 remind 2026-03-16 09:00", once(mon9),
         std::nullopt},
        {"BadDateStaysInRest", "remind 2026-02-30 09:00", std::nullopt, "remind 2026-02-30 09:00"},
        {"ShortTimeStaysInRest", "remind 2026-03-14 9:00 x", std::nullopt, "remind 2026-03-14 9:00 x"},
        {"CaseSensitive", "Remind 2026-03-14 09:00", std::nullopt, "Remind 2026-03-14 09:00"},
        {"RejectedRuleIsDropped", "remind 2026-03-14 09:00 every tue and thu", once(sat9), std::nullopt},
        {"RemindBeforeAClause", "remind remind 2026-03-14 09:00", once(sat9), "remind"},
        {"WeekMeansTheStampsDay", "remind 2026-03-14 09:00 every week", repeat(sat9, times(onDays({7}), {hm(8, 30)})),
         std::nullopt},
        {"RoutineBeforeEvery", "remind 2026-03-14 09:00 routine every day", once(sat9), "every day"},
        {"CarriedEndsTheRule", "remind 2026-03-14 09:00 every day carried 2026-03-12 routine",
         repeat(sat9, times(everyDay(), {hm(8, 30)})), "carried 2026-03-12 routine"},
        {"SpacesAround", "  x   remind 2026-03-14   09:00  y ", once(sat9), "x y"},
    };
}

INSTANTIATE_TEST_SUITE_P(Comments, CommentSplit, ::testing::ValuesIn(splitCases()), CaseName());

TEST(CommentSplit, ReadsRulesAgainstTheGivenAnchors) {
    const Calendar cal(kBerlin);
    const auto split = Reminder::split(u"remind 2026-03-14 09:00 every day", cal, Anchors{420, 1200});
    ASSERT_TRUE(split.reminder);
    EXPECT_EQ(split.reminder->rule, times(everyDay(), {hm(7, 0)}));
}

// --- Entries ---

Entry entryWith(std::optional<QString> comment, Entry::State state = Entry::State::Open) {
    Entry e;
    e.id = QUuid::createUuid();
    e.state = state;
    e.text = QStringLiteral("water the plants");
    e.time = QStringLiteral("08:15");
    e.comment = std::move(comment);
    return e;
}

struct AssignCase {
    std::string name;
    std::optional<const char*> comment;
    std::optional<Reminder> assigned;
    std::optional<const char*> expected;
};

void PrintTo(const AssignCase& c, std::ostream* os) {
    *os << c.name;
}

class EntryAssign : public ::testing::TestWithParam<AssignCase> {};

TEST_P(EntryAssign, ReplacesOnlyTheReminderWords) {
    const auto& c = GetParam();
    const Calendar cal(kBerlin);
    Entry e = entryWith(c.comment ? std::optional<QString>(QString::fromUtf8(*c.comment)) : std::nullopt);
    const Entry before = e;
    e.setReminder(c.assigned, cal, kAnchors);
    ASSERT_EQ(e.comment.has_value(), c.expected.has_value()) << e.comment.value_or(QString()).toStdString();
    if (c.expected) {
        EXPECT_EQ(e.comment->toStdString(), *c.expected);
    }
    EXPECT_EQ(e.reminder(cal, kAnchors), c.assigned);
    // Nothing else of the entry moves.
    e.comment = before.comment;
    EXPECT_EQ(e, before);
}

std::vector<AssignCase> assignCases() {
    const Calendar cal(kBerlin);
    const Instant sat2030 = at(cal, 2026, 3, 14, 20, 30);
    const Instant sat2050 = at(cal, 2026, 3, 14, 20, 50);
    const Instant mon9 = at(cal, 2026, 3, 16, 9, 0);
    const Rule daily = times(everyDay(), {hm(20, 30)});
    return {
        {"Snooze", "remind 2026-03-14 20:30 every day 20:30 routine", repeat(sat2050, daily, true),
         "remind 2026-03-14 20:50 every day 20:30 routine"},
        {"RemoveKeepsCarried", "carried 2026-03-13 remind 2026-03-16 09:00", std::nullopt, "carried 2026-03-13"},
        {"RemoveLastWords", "remind 2026-03-16 09:00", std::nullopt, std::nullopt},
        {"AddAfterOtherWords", "carried   2026-03-13", once(mon9), "carried 2026-03-13 remind 2026-03-16 09:00"},
        {"AddToNoComment", std::nullopt, repeat(sat2030, daily), "remind 2026-03-14 20:30 every day 20:30"},
        {"NoneToNone", std::nullopt, std::nullopt, std::nullopt},
        {"EqualLeavesSpacing", "x   remind 2026-03-16  09:00  ", once(mon9), "x   remind 2026-03-16  09:00  "},
        {"NoReminderLeavesSpacing", "a  b", std::nullopt, "a  b"},
        {"TwoClausesBecomeOne", "remind 2026-03-14 20:30 x remind 2026-03-15 09:00", once(mon9),
         "x remind 2026-03-16 09:00"},
        {"UnreadableWordsStay", "remind 2026-02-30 09:00", once(mon9),
         "remind 2026-02-30 09:00 remind 2026-03-16 09:00"},
        {"RejectedRuleWordsGo", "remind 2026-03-14 09:00 every tue and thu", once(mon9), "remind 2026-03-16 09:00"},
        {"RepeatToOneTime", "a remind 2026-03-14 20:30 every day 20:30 routine b", once(mon9),
         "a b remind 2026-03-16 09:00"},
    };
}

INSTANTIATE_TEST_SUITE_P(Comments, EntryAssign, ::testing::ValuesIn(assignCases()), CaseName());

TEST(EntryReminder, OnlyOpenAndNoteEntriesRingOrAreRoutines) {
    const Calendar cal(kBerlin);
    const Instant due = at(cal, 2026, 3, 14, 20, 30);
    const QString routine = QStringLiteral("remind 2026-03-14 20:30 every day 20:30 routine");
    const QString repeat = QStringLiteral("remind 2026-03-14 20:30 every day 20:30");
    const QString oneTime = QStringLiteral("carried 2026-03-13 remind 2026-03-14 20:30");
    struct Case {
        Entry::State state;
        bool canRing;
    };
    const std::vector<Case> states = {{Entry::State::Open, true},
                                      {Entry::State::Note, true},
                                      {Entry::State::Done, false},
                                      {Entry::State::Carried, false},
                                      {Entry::State::Struck, false}};
    for (const Case& s : states) {
        const Entry r = entryWith(routine, s.state);
        EXPECT_EQ(r.isRoutine(cal, kAnchors), s.canRing) << int(s.state);
        EXPECT_EQ(r.isRinging(due, cal, kAnchors), s.canRing) << int(s.state);
        EXPECT_FALSE(r.isRinging(due - std::chrono::milliseconds(1), cal, kAnchors)) << int(s.state);
        EXPECT_EQ(r.isRinging(due + std::chrono::hours(50), cal, kAnchors), s.canRing) << int(s.state);

        EXPECT_FALSE(entryWith(repeat, s.state).isRoutine(cal, kAnchors));
        EXPECT_FALSE(entryWith(oneTime, s.state).isRoutine(cal, kAnchors));
        EXPECT_EQ(entryWith(oneTime, s.state).isRinging(due, cal, kAnchors), s.canRing);
        EXPECT_FALSE(entryWith(std::nullopt, s.state).isRinging(due, cal, kAnchors));
        EXPECT_FALSE(entryWith(QStringLiteral("remind 2026-03-14"), s.state).isRinging(due, cal, kAnchors));
    }
    // Routine written without a rule is not a routine.
    EXPECT_FALSE(entryWith(QStringLiteral("remind 2026-03-14 20:30 routine")).isRoutine(cal, kAnchors));
}

// --- Document ---

NotesDocument sampleDocument(const QList<Entry>& top, const QList<Entry>& below) {
    NotesDocument doc;
    doc.preamble = {QStringLiteral("My notes")};
    DaySection a{QUuid::createUuid(), QStringLiteral("2026-03-14 Saturday"), {}};
    for (const Entry& e : top) {
        a.items.append(e);
    }
    a.items.append(RawLine{QStringLiteral("remind 2026-03-01 09:00")}); // a raw line never rings
    DaySection b{QUuid::createUuid(), QStringLiteral("2026-03-13 Friday"), {}};
    for (const Entry& e : below) {
        b.items.append(e);
    }
    doc.sections = {a, b};
    return doc;
}

TEST(DocumentReminders, RingingListsDueEntriesInDocumentOrder) {
    const Calendar cal(kBerlin);
    const Instant now = at(cal, 2026, 3, 14, 21, 0);
    Entry due1 = entryWith(QStringLiteral("remind 2026-03-14 20:30"));
    due1.text = QStringLiteral("first");
    Entry later = entryWith(QStringLiteral("remind 2026-03-14 21:01"));
    Entry doneDue = entryWith(QStringLiteral("remind 2026-03-14 08:00"), Entry::State::Done);
    Entry plain = entryWith(QStringLiteral("carried 2026-03-12"));
    Entry due2 = entryWith(QStringLiteral("x remind 2026-03-13 09:00 every day 09:00 routine"), Entry::State::Note);
    due2.text = QStringLiteral("second");
    Entry due3 = entryWith(QStringLiteral("remind 2026-03-14 21:00"));
    due3.text = QStringLiteral("third");
    const NotesDocument doc = sampleDocument({due1, later, doneDue}, {plain, due2, due3});

    const QList<Entry> ringing = doc.ringing(now, cal, kAnchors);
    QStringList texts;
    for (const Entry& e : ringing) {
        texts.append(e.text);
    }
    EXPECT_EQ(texts, (QStringList{QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third")}));
    EXPECT_TRUE(doc.ringing(at(cal, 2026, 3, 13, 8, 59), cal, kAnchors).isEmpty());
}

TEST(DocumentReminders, OpenCountLeavesOutRoutinesAndOtherStates) {
    const Calendar cal(kBerlin);
    const NotesDocument doc =
        sampleDocument({entryWith(std::nullopt), entryWith(QStringLiteral("carried 2025-03-13")),
                        entryWith(QStringLiteral("remind 2026-03-14 20:30")),
                        entryWith(QStringLiteral("remind 2026-03-14 20:30 every day 20:30 routine")),
                        entryWith(QStringLiteral("remind 2026-03-14 20:30 every day 20:30"))},
                       {entryWith(std::nullopt, Entry::State::Done), entryWith(std::nullopt, Entry::State::Carried),
                        entryWith(std::nullopt, Entry::State::Note), entryWith(std::nullopt, Entry::State::Struck),
                        entryWith(QStringLiteral("remind 2026-03-14 20:30 routine"))});
    EXPECT_EQ(doc.openCount(cal, kAnchors), 5);
    EXPECT_EQ(NotesDocument{}.openCount(cal, kAnchors), 0);
}

TEST(DocumentReminders, GivingAReminderReopensFinishedEntries) {
    const Calendar cal(kBerlin);
    const Reminder r = once(at(cal, 2026, 3, 16, 9, 0));
    struct Case {
        Entry::State state;
        Entry::State withReminder;
    };
    const std::vector<Case> table = {{Entry::State::Open, Entry::State::Open},
                                     {Entry::State::Done, Entry::State::Open},
                                     {Entry::State::Struck, Entry::State::Note},
                                     {Entry::State::Note, Entry::State::Note},
                                     {Entry::State::Carried, Entry::State::Carried}};
    for (const Case& c : table) {
        const Entry target = entryWith(QStringLiteral("carried 2026-03-13"), c.state);
        const Entry other = entryWith(std::nullopt, c.state);
        NotesDocument doc = sampleDocument({other}, {target});

        doc.setReminder(target.id, r, cal, kAnchors);
        const Entry& changed = std::get<Entry>(doc.sections[1].items[0]);
        EXPECT_EQ(changed.state, c.withReminder) << int(c.state);
        EXPECT_EQ(changed.comment, QStringLiteral("carried 2026-03-13 remind 2026-03-16 09:00"));
        EXPECT_EQ(std::get<Entry>(doc.sections[0].items[0]), other);

        // Taking the reminder away leaves the state alone.
        doc.setReminder(target.id, std::nullopt, cal, kAnchors);
        EXPECT_EQ(std::get<Entry>(doc.sections[1].items[0]).state, c.withReminder);
        EXPECT_EQ(std::get<Entry>(doc.sections[1].items[0]).comment, QStringLiteral("carried 2026-03-13"));
    }

    // A finished entry losing a reminder it never had stays finished.
    const Entry done = entryWith(std::nullopt, Entry::State::Done);
    NotesDocument doc = sampleDocument({done}, {});
    doc.setReminder(done.id, std::nullopt, cal, kAnchors);
    EXPECT_EQ(std::get<Entry>(doc.sections[0].items[0]), done);

    // An unknown identity changes nothing.
    const NotesDocument before = doc;
    doc.setReminder(QUuid::createUuid(), r, cal, kAnchors);
    EXPECT_EQ(doc, before);
}

} // namespace
