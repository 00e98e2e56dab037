#include "notes/NotesDocument.h"
#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kBerlin = u"Europe/Berlin"_s;
const QString kNewYork = u"America/New_York"_s;

std::string text(const std::optional<QString>& s) {
    return s ? s->toStdString() : std::string("(none)");
}

// --- Writing ---

TEST(ReminderClauses, WritesStampRuleAndRoutine) {
    const Calendar cal(kBerlin);
    const Instant sat = at(cal, 2026, 3, 14, 20, 30);
    const std::pair<Reminder, const char*> cases[] = {
        {once(at(cal, 2026, 3, 14, 9, 0, 59)), "remind 2026-03-14 09:00"},
        {repeat(sat, times(everyDay(), {hm(20, 30)}), true), "remind 2026-03-14 20:30 every day 20:30 routine"},
        {repeat(sat, interval(180, hm(9, 0), hm(21, 0))), "remind 2026-03-14 20:30 every 3h 09:00-21:00"},
        {repeat(sat, times(onDays({5, 2}), {hm(18, 0)})), "remind 2026-03-14 20:30 every mon thu 18:00"},
        {repeat(sat, times(everyDay(), {hm(21, 0), hm(9, 0)})), "remind 2026-03-14 20:30 every day 09:00 21:00"},
        {repeat(sat, times(weekdays(), {hm(0, 5)})), "remind 2026-03-14 20:30 every weekday 00:05"},
        // A routine needs a rule: without one the word is not written.
        {Reminder{at(cal, 2026, 1, 2, 3, 4), std::nullopt, true}, "remind 2026-01-02 03:04"},
    };
    for (const auto& [reminder, clauses] : cases) {
        EXPECT_EQ(reminder.clauses(cal).toStdString(), clauses);
    }
    const std::pair<int, const char*> amounts[] = {{60, "1h"}, {180, "3h"},     {90, "90m"},
                                                   {1, "1m"},  {1439, "1439m"}, {1380, "23h"}};
    for (const auto& [minutes, words] : amounts) {
        EXPECT_EQ(Reminder::amount(minutes).toStdString(), words) << minutes;
    }
    EXPECT_EQ(onDays({7, 1}).text(), u"sun sat");
    EXPECT_EQ(onDays({1, 2, 3, 4, 5, 6, 7}).text(), u"sun mon tue wed thu fri sat");
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
    EXPECT_EQ(shown(berlin, Reminder::readStamp(u"2028-02-29", u"23:59", berlin)), "2028-02-29 23:59:00 +01:00");
}

TEST(ReminderStamp, ReadsOneDigitMonthDayAndHourButNothingLooser) {
    const Calendar cal(kBerlin);
    const std::array<const char*, 3> good[] = {
        {"2026-3-14", "9:00", "2026-03-14 09:00:00 +01:00"},
        {"2026-03-14", "9:05", "2026-03-14 09:05:00 +01:00"},
        {"2026-3-4", "19:30", "2026-03-04 19:30:00 +01:00"},
    };
    for (const auto& [date, time, expected] : good) {
        const auto t = Reminder::readStamp(QString::fromUtf8(date), QString::fromUtf8(time), cal);
        EXPECT_EQ(shown(cal, t), expected) << date << " " << time;
    }
    const std::pair<const char*, const char*> bad[] = {
        {"2026-003-14", "09:00"},   {"2026-03-014", "09:00"}, {"2026-02-30", "09:00"}, {"2026-13-01", "09:00"},
        {"2026-03-14", "24:00"},    {"2026-03-14", "09:60"},  {"2026/03/14", "09:00"}, {"2026-03-14", "09.00"},
        {"20260314", "09:00"},      {"2026-03-1x", "09:00"},  {"2026-03-14", "0900"},  {"", ""},
        {"2026-03-14", "09:00:00"}, {"+026-03-14", "09:00"},  {"2026-03-14", "-9:00"}, {"2026-00-10", "09:00"},
        {"2026--3-14", "09:00"},    {"2026-3-", "09:00"},     {"2026-03-14", "9:0"},   {"2026-03-14", "009:00"},
        {"26-3-14", "09:00"},
    };
    for (const auto& [date, time] : bad) {
        EXPECT_FALSE(Reminder::readStamp(QString::fromUtf8(date), QString::fromUtf8(time), cal)) << date << " " << time;
    }
}

// --- Reading a comment ---

TEST(CommentSplit, FindsTheReminderAndKeepsTheOtherWords) {
    const Calendar cal(kBerlin);
    const Instant sat9 = at(cal, 2026, 3, 14, 9, 0);
    const Instant mon9 = at(cal, 2026, 3, 16, 9, 0);
    const Rule every3h = interval(180, hm(9, 0), hm(21, 0));
    struct Case {
        const char* comment;
        std::optional<Reminder> reminder;
        std::optional<const char*> rest;
        Anchors anchors = kAnchors;
    };
    const Case cases[] = {
        {"buy  milk   soon", std::nullopt, "buy milk soon"},
        {"", std::nullopt, std::nullopt},
        {"remind 2026-03-14", std::nullopt, "remind 2026-03-14"},
        {"remind 2026-02-30 09:00", std::nullopt, "remind 2026-02-30 09:00"},
        {"Remind 2026-03-14 09:00", std::nullopt, "Remind 2026-03-14 09:00"},
        {"  x   remind 2026-03-14   09:00  y ", once(sat9), "x y"},
        {"remind remind 2026-03-14 09:00", once(sat9), "remind"},
        {"remind 2026-03-14 09:00 routine", once(sat9), std::nullopt},
        {"remind 2026-3-14 9:00", once(sat9), std::nullopt},
        {"remind 2026-03-14 09:00 routine every day", once(sat9), "every day"},
        {"remind 2026-03-14 20:30 every day 20:30 routine",
         repeat(at(cal, 2026, 3, 14, 20, 30), times(everyDay(), {hm(20, 30)}), true), std::nullopt},
        {"remind 2026-03-14 09:00 every 3h 09:00-21:00 carried 2026-03-12", repeat(sat9, every3h),
         "carried 2026-03-12"},
        {"remind 2026-03-14 09:00 every day carried 2026-03-12 routine", repeat(sat9, times(everyDay(), {hm(8, 30)})),
         "carried 2026-03-12 routine"},
        {"remind 2026-03-14 09:00 every tue and thu", once(sat9), std::nullopt},
        // "week" is the stamp's weekday; a rule without a time takes the day's start.
        {"remind 2026-03-14 09:00 every week", repeat(sat9, times(onDays({7}), {hm(8, 30)})), std::nullopt},
        {"remind 2026-03-14 09:00 every day", repeat(sat9, times(everyDay(), {hm(7, 0)})), std::nullopt, {420, 1200}},
        // A later clause wins; a rule ends where it begins.
        {"remind 2026-03-14 09:00 note remind 2026-03-16 09:00", once(mon9), "note"},
        {"remind 2026-03-14 09:00 every day 20:30 remind 2026-03-16 09:00", once(mon9), std::nullopt},
    };
    for (const Case& c : cases) {
        const auto split = Reminder::split(QString::fromUtf8(c.comment), cal, c.anchors);
        EXPECT_EQ(split.reminder, c.reminder)
            << c.comment << " read as " << (split.reminder ? split.reminder->clauses(cal).toStdString() : "none");
        EXPECT_EQ(text(split.rest), c.rest ? *c.rest : "(none)") << c.comment;
    }
}

// --- Entries ---

Entry entryWith(std::optional<QString> comment, Entry::State state = Entry::State::Open) {
    Entry e;
    e.id = QUuid::createUuid();
    e.state = state;
    e.text = u"water the plants"_s;
    e.time = u"08:15"_s;
    e.comment = std::move(comment);
    return e;
}

TEST(EntryAssign, ReplacesOnlyTheReminderWords) {
    const Calendar cal(kBerlin);
    const Instant mon9 = at(cal, 2026, 3, 16, 9, 0);
    const Rule daily = times(everyDay(), {hm(20, 30)});
    struct Case {
        std::optional<const char*> comment;
        std::optional<Reminder> assigned;
        std::optional<const char*> expected;
    };
    const Case cases[] = {
        {"remind 2026-03-14 20:30 every day 20:30 routine", repeat(at(cal, 2026, 3, 14, 20, 50), daily, true),
         "remind 2026-03-14 20:50 every day 20:30 routine"},
        {"carried 2026-03-13 remind 2026-03-16 09:00", std::nullopt, "carried 2026-03-13"},
        {"remind 2026-03-16 09:00", std::nullopt, std::nullopt},
        {"carried   2026-03-13", once(mon9), "carried 2026-03-13 remind 2026-03-16 09:00"},
        {std::nullopt, repeat(at(cal, 2026, 3, 14, 20, 30), daily), "remind 2026-03-14 20:30 every day 20:30"},
        {std::nullopt, std::nullopt, std::nullopt},
        // Nothing to change: the words stay as they were written.
        {"x   remind 2026-03-16  09:00  ", once(mon9), "x   remind 2026-03-16  09:00  "},
        {"a  b", std::nullopt, "a  b"},
        {"remind 2026-03-14 20:30 x remind 2026-03-15 09:00", once(mon9), "x remind 2026-03-16 09:00"},
        {"remind 2026-02-30 09:00", once(mon9), "remind 2026-02-30 09:00 remind 2026-03-16 09:00"},
        {"remind 2026-3-14 9:00", once(mon9), "remind 2026-03-16 09:00"},
        {"remind 2026-03-14 09:00 every tue and thu", once(mon9), "remind 2026-03-16 09:00"},
        {"a remind 2026-03-14 20:30 every day 20:30 routine b", once(mon9), "a b remind 2026-03-16 09:00"},
    };
    for (const Case& c : cases) {
        Entry e = entryWith(c.comment ? std::optional<QString>(QString::fromUtf8(*c.comment)) : std::nullopt);
        const Entry before = e;
        EntryReminders::setReminder(e, c.assigned, cal, kAnchors);
        EXPECT_EQ(text(e.comment), c.expected ? *c.expected : "(none)") << c.comment.value_or("(none)");
        EXPECT_EQ(EntryReminders::reminder(e, cal, kAnchors), c.assigned) << c.comment.value_or("(none)");
        // Nothing else of the entry moves.
        e.comment = before.comment;
        EXPECT_EQ(e, before);
    }
}

TEST(EntryReminder, OnlyOpenAndNoteEntriesRingOrAreRoutines) {
    const Calendar cal(kBerlin);
    const Instant due = at(cal, 2026, 3, 14, 20, 30);
    const QString routine = u"remind 2026-03-14 20:30 every day 20:30 routine"_s;
    const QString oneTime = u"carried 2026-03-13 remind 2026-03-14 20:30"_s;
    using S = Entry::State;
    for (const auto& [state, canRing] : {std::pair{S::Open, true}, std::pair{S::Note, true}, std::pair{S::Done, false},
                                         std::pair{S::Carried, false}, std::pair{S::Struck, false}}) {
        SCOPED_TRACE(static_cast<int>(state));
        const Entry r = entryWith(routine, state);
        EXPECT_EQ(EntryReminders::isRoutine(r, cal, kAnchors), canRing);
        EXPECT_EQ(EntryReminders::isRinging(r, due, cal, kAnchors), canRing);
        EXPECT_FALSE(EntryReminders::isRinging(r, due - std::chrono::milliseconds(1), cal, kAnchors));
        EXPECT_EQ(EntryReminders::isRinging(r, due + std::chrono::hours(50), cal, kAnchors), canRing);

        EXPECT_FALSE(
            EntryReminders::isRoutine(entryWith(u"remind 2026-03-14 20:30 every day 20:30"_s, state), cal, kAnchors));
        EXPECT_FALSE(EntryReminders::isRoutine(entryWith(oneTime, state), cal, kAnchors));
        EXPECT_EQ(EntryReminders::isRinging(entryWith(oneTime, state), due, cal, kAnchors), canRing);
        EXPECT_FALSE(EntryReminders::isRinging(entryWith(std::nullopt, state), due, cal, kAnchors));
    }
    // Routine written without a rule is not a routine.
    EXPECT_FALSE(EntryReminders::isRoutine(entryWith(u"remind 2026-03-14 20:30 routine"_s), cal, kAnchors));
}

// --- Document ---

TEST(DocumentReminders, RingingInDocumentOrderAndOpenCountWithoutRoutines) {
    const Calendar cal(kBerlin);
    // The raw line "remind ..." never rings.
    const NotesDocument doc = NotesDocument::parse(
        u"My notes\n## 2026-03-14 Saturday\n- [ ] first  <!-- remind 2026-03-14 20:30 -->\n"
        "- [ ] later  <!-- remind 2026-03-14 21:01 -->\n- [x] ~~done~~  <!-- remind 2026-03-14 08:00 -->\n"
        "- [ ] routine  <!-- remind 2026-03-15 20:30 every day 20:30 routine -->\n"
        "- [ ] repeat  <!-- remind 2026-03-15 20:30 every day 20:30 -->\nremind 2026-03-01 09:00\n"
        "## 2026-03-13 Friday\n- [>] carried  <!-- remind 2026-03-13 09:00 -->\n- ~~struck~~\n"
        "- second  <!-- x remind 2026-03-13 09:00 every day 09:00 routine -->\n"
        "- [ ] third  <!-- remind 2026-03-14 21:00 routine -->\n"_s);
    QStringList texts;
    for (const Entry& e : EntryReminders::ringing(doc, at(cal, 2026, 3, 14, 21, 0), cal, kAnchors)) {
        texts.append(e.text);
    }
    EXPECT_EQ(texts, (QStringList{u"first"_s, u"second"_s, u"third"_s}));
    EXPECT_TRUE(EntryReminders::ringing(doc, at(cal, 2026, 3, 13, 8, 59), cal, kAnchors).isEmpty());
    // Open entries only, a routine left out; a routine word without a rule makes no routine.
    EXPECT_EQ(EntryReminders::openCount(doc, cal, kAnchors), 4);
}

TEST(DocumentReminders, GivingAReminderReopensFinishedEntries) {
    const Calendar cal(kBerlin);
    const Reminder r = once(at(cal, 2026, 3, 16, 9, 0));
    using S = Entry::State;
    for (const auto& [state, withReminder] :
         {std::pair{S::Open, S::Open}, std::pair{S::Done, S::Open}, std::pair{S::Struck, S::Note},
          std::pair{S::Note, S::Note}, std::pair{S::Carried, S::Carried}}) {
        SCOPED_TRACE(static_cast<int>(state));
        const Entry target = entryWith(u"carried 2026-03-13"_s, state);
        NotesDocument doc;
        doc.sections = {DaySection{QUuid::createUuid(), u"2026-03-14 Saturday"_s, {entryWith(std::nullopt, state)}},
                        DaySection{QUuid::createUuid(), u"2026-03-13 Friday"_s, {target}}};
        const NotesDocument before = doc;

        EntryReminders::setReminder(doc, target.id, r, cal, kAnchors);
        const Entry& changed = std::get<Entry>(doc.sections[1].items[0]);
        EXPECT_EQ(changed.state, withReminder);
        EXPECT_EQ(changed.comment, u"carried 2026-03-13 remind 2026-03-16 09:00"_s);
        EXPECT_EQ(doc.sections[0], before.sections[0]);

        // Taking the reminder away leaves the state alone.
        EntryReminders::setReminder(doc, target.id, std::nullopt, cal, kAnchors);
        EXPECT_EQ(std::get<Entry>(doc.sections[1].items[0]).state, withReminder);
        EXPECT_EQ(std::get<Entry>(doc.sections[1].items[0]).comment, u"carried 2026-03-13"_s);

        // A finished entry losing a reminder it never had stays finished; an unknown identity changes nothing.
        NotesDocument untouched = before;
        EntryReminders::setReminder(untouched, std::get<Entry>(before.sections[0].items[0]).id, std::nullopt, cal,
                                    kAnchors);
        EntryReminders::setReminder(untouched, QUuid::createUuid(), r, cal, kAnchors);
        EXPECT_EQ(untouched, before);
    }
}

} // namespace
