#include "notes/NotesDocument.h"
#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <QSet>

#include <gtest/gtest.h>

#include <array>
#include <string>

using namespace plim::test;

namespace {

const QString kBerlin = u"Europe/Berlin"_s;
const QString kNewYork = u"America/New_York"_s;
const Calendar kCal(kBerlin);

std::string text(const std::optional<QString>& s) {
    return s ? s->toStdString() : std::string("(none)");
}

// --- Writing ---

TEST(ReminderClauses, WritesStampRuleAndRoutine) {
    const Instant sat = at(kCal, 2026, 3, 14, 20, 30);
    const std::pair<Reminder, const char*> cases[] = {
        {once(at(kCal, 2026, 3, 14, 9, 0, 59)), "remind 2026-03-14 09:00"},
        {repeat(sat, times(onDays({5, 2}), {hm(18, 0)})), "remind 2026-03-14 20:30 every mon thu 18:00"},
        {repeat(sat, times(everyDay(), {hm(21, 0), hm(9, 0)})), "remind 2026-03-14 20:30 every day 09:00 21:00"},
        // A routine needs a rule: without one the word is not written.
        {Reminder{at(kCal, 2026, 1, 2, 3, 4), std::nullopt, true}, "remind 2026-01-02 03:04"},
    };
    for (const auto& [reminder, clauses] : cases) {
        EXPECT_EQ(reminder.clauses(kCal).toStdString(), clauses);
    }
}

// --- Stamps ---

// Local wall clock to the minute; read in another zone, the same words mean the same wall-clock
// time there. One-digit months, days and hours read (see the comments read below), nothing looser.
TEST(ReminderStamp, IsLocalWallClockToTheMinuteAndReadsStrictly) {
    const Calendar newYork(kNewYork);
    const Instant t = at(kCal, 2026, 3, 14, 9, 0);
    EXPECT_EQ(Reminder::stamp(t, kCal), u"2026-03-14 09:00");
    EXPECT_EQ(Reminder::stamp(t, newYork), u"2026-03-14 04:00");
    EXPECT_EQ(Reminder::stamp(at(kCal, 33, 1, 2, 3, 4), kCal), u"0033-01-02 03:04");
    const auto there = Reminder::readStamp(u"2026-03-14", u"09:00", newYork);
    EXPECT_EQ(shown(newYork, there), "2026-03-14 09:00:00 -04:00");
    EXPECT_EQ(shown(kCal, there), "2026-03-14 14:00:00 +01:00");
    const std::pair<const char*, const char*> bad[] = {
        {"2026-003-14", "09:00"},   {"2026-03-014", "09:00"}, {"2026-02-30", "09:00"}, {"2026-13-01", "09:00"},
        {"2026-03-14", "24:00"},    {"2026-03-14", "09:60"},  {"2026/03/14", "09:00"}, {"2026-03-14", "09.00"},
        {"20260314", "09:00"},      {"2026-03-1x", "09:00"},  {"2026-03-14", "0900"},  {"", ""},
        {"2026-03-14", "09:00:00"}, {"+026-03-14", "09:00"},  {"2026-03-14", "-9:00"}, {"2026-00-10", "09:00"},
        {"2026--3-14", "09:00"},    {"2026-3-", "09:00"},     {"2026-03-14", "9:0"},   {"2026-03-14", "009:00"},
        {"26-3-14", "09:00"},
    };
    for (const auto& [date, time] : bad) {
        EXPECT_FALSE(Reminder::readStamp(QString::fromUtf8(date), QString::fromUtf8(time), kCal))
            << date << " " << time;
    }
}

// --- Reading a comment ---

TEST(CommentSplit, FindsTheReminderAndKeepsTheOtherWords) {
    const Instant sat9 = at(kCal, 2026, 3, 14, 9, 0);
    const Instant mon9 = at(kCal, 2026, 3, 16, 9, 0);
    const Rule every3h = interval(180, hm(9, 0), hm(21, 0));
    // The comment, the reminder it holds, the other words.
    const std::tuple<const char*, std::optional<Reminder>, std::optional<const char*>> cases[] = {
        {"buy  milk   soon", std::nullopt, "buy milk soon"},
        {"", std::nullopt, std::nullopt},
        {"remind 2026-03-14", std::nullopt, "remind 2026-03-14"},
        {"remind 2026-02-30 09:00", std::nullopt, "remind 2026-02-30 09:00"},
        {"Remind 2026-03-14 09:00", std::nullopt, "Remind 2026-03-14 09:00"},
        {"  x   remind 2026-03-14   09:00  y ", once(sat9), "x y"},
        {"remind remind 2026-03-14 09:00", once(sat9), "remind"},
        {"remind 2026-03-14 09:00 routine", once(sat9), std::nullopt},
        {"remind 2026-3-14 9:00", once(sat9), std::nullopt},
        {"remind 2026-03-14 9:05", once(at(kCal, 2026, 3, 14, 9, 5)), std::nullopt},
        {"remind 2026-3-4 19:30", once(at(kCal, 2026, 3, 4, 19, 30)), std::nullopt},
        {"remind 2028-02-29 23:59", once(at(kCal, 2028, 2, 29, 23, 59)), std::nullopt},
        {"remind 2026-03-14 09:00 routine every day", once(sat9), "every day"},
        {"remind 2026-03-14 09:00 every 3h 09:00-21:00 carried 2026-03-12", repeat(sat9, every3h),
         "carried 2026-03-12"},
        {"remind 2026-03-14 09:00 every day carried 2026-03-12 routine", repeat(sat9, times(everyDay(), {hm(8, 30)})),
         "carried 2026-03-12 routine"},
        {"remind 2026-03-14 09:00 every tue and thu", once(sat9), std::nullopt},
        // "week" is the stamp's weekday; a rule without a time takes the day's start.
        {"remind 2026-03-14 09:00 every week", repeat(sat9, times(onDays({7}), {hm(8, 30)})), std::nullopt},
        // A later clause wins; a rule ends where it begins.
        {"remind 2026-03-14 09:00 note remind 2026-03-16 09:00", once(mon9), "note"},
        {"remind 2026-03-14 09:00 every day 20:30 remind 2026-03-16 09:00", once(mon9), std::nullopt},
    };
    for (const auto& [comment, reminder, rest] : cases) {
        const auto split = Reminder::split(QString::fromUtf8(comment), kCal, kAnchors);
        EXPECT_EQ(split.reminder, reminder)
            << comment << " read as " << (split.reminder ? split.reminder->clauses(kCal).toStdString() : "none");
        EXPECT_EQ(text(split.rest), rest.value_or("(none)")) << comment;
    }
    EXPECT_EQ(Reminder::split(u"remind 2026-03-14 09:00 every day"_s, kCal, Anchors{420, 1200}).reminder,
              repeat(sat9, times(everyDay(), {hm(7, 0)})));
}

// --- Entries ---

TEST(EntryAssign, ReplacesOnlyTheReminderWords) {
    const Instant mon9 = at(kCal, 2026, 3, 16, 9, 0);
    const Rule daily = times(everyDay(), {hm(20, 30)});
    // The comment, the reminder assigned, the comment after.
    const std::tuple<std::optional<const char*>, std::optional<Reminder>, std::optional<const char*>> cases[] = {
        {"remind 2026-03-14 20:30 every day 20:30 routine", repeat(at(kCal, 2026, 3, 14, 20, 50), daily, true),
         "remind 2026-03-14 20:50 every day 20:30 routine"},
        {"carried 2026-03-13 remind 2026-03-16 09:00", std::nullopt, "carried 2026-03-13"},
        {"remind 2026-03-16 09:00", std::nullopt, std::nullopt},
        {"carried   2026-03-13", once(mon9), "carried 2026-03-13 remind 2026-03-16 09:00"},
        {std::nullopt, repeat(at(kCal, 2026, 3, 14, 20, 30), daily), "remind 2026-03-14 20:30 every day 20:30"},
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
    for (const auto& [comment, assigned, expected] : cases) {
        SCOPED_TRACE(comment.value_or("(none)"));
        Entry e{.id = QUuid::createUuid(),
                .active = true,
                .time = u"08:15"_s,
                .text = u"water the plants"_s,
                .comment = comment ? std::optional(QString::fromUtf8(*comment)) : std::nullopt};
        const Entry before = e;
        EntryReminders::setReminder(e, assigned, kCal, kAnchors);
        EXPECT_EQ(text(e.comment), expected.value_or("(none)"));
        EXPECT_EQ(EntryReminders::reminder(e, kCal, kAnchors), assigned);
        // Nothing else of the entry moves.
        e.comment = before.comment;
        EXPECT_EQ(e, before);
    }
}

// --- Document ---

TEST(DocumentReminders, RingingInDocumentOrderAndOpenCountWithoutRoutines) {
    // The raw line "remind ..." never rings.
    const NotesDocument doc = NotesDocument::parse(
        u"My notes\n## 2026-03-14 Saturday\n- [ ] first  <!-- remind 2026-03-14 20:30 -->\n"
        "- [ ] later  <!-- remind 2026-03-14 21:01 -->\n- [x] ~~done~~  <!-- remind 2026-03-14 08:00 -->\n"
        "- [ ] routine  <!-- remind 2026-03-15 20:30 every day 20:30 routine -->\n"
        "- [ ] repeat  <!-- remind 2026-03-15 20:30 every day 20:30 -->\nremind 2026-03-01 09:00\n"
        "## 2026-03-13 Friday\n- [>] carried  <!-- remind 2026-03-13 09:00 -->\n- ~~struck~~  <!-- remind 2026-03-13 "
        "09:00 -->\n"
        "- second  <!-- x remind 2026-03-13 09:00 every day 09:00 routine -->\n"
        "- [ ] third  <!-- remind 2026-03-14 21:00 routine -->\n"_s);
    QStringList texts;
    for (const Entry& e : EntryReminders::ringing(doc, at(kCal, 2026, 3, 14, 21, 0), kCal, kAnchors)) {
        texts.append(e.text);
    }
    EXPECT_EQ(texts, (QStringList{u"first"_s, u"second"_s, u"third"_s}));
    EXPECT_TRUE(EntryReminders::ringing(doc, at(kCal, 2026, 3, 13, 8, 59), kCal, kAnchors).isEmpty());
    // Open entries only, a routine left out; a routine word without a rule makes no routine.
    EXPECT_EQ(EntryReminders::openCount(doc, kCal, kAnchors), 4);
}

constexpr Wall kNow{2026, 3, 11, 10, 7, 25};

using Answer = NotesDocument::Answer;
const Answer kSnooze{Answer::Snooze{at(kCal, 2026, 3, 11, 14, 37, 45)}}; // the same day
const Answer kDone{Answer::Done{}};
const Answer kDismiss{Answer::Dismiss{}};
const Answer kStop{Answer::Stop{}};

// A day's lines under today's heading; lines that start with a heading of their own stand alone.
QString fileText(const char* lines) {
    const QString text = QString::fromUtf8(lines) + u'\n';
    return text.startsWith(u"## ") ? text : u"## 2026-03-11 Wednesday\n\n"_s + text;
}

// The first entry of the file is answered.
struct AnswerCase {
    Answer answer;
    const char* before;
    const char* after; // nullptr: unchanged
    QString zone = kBerlin;
    Wall now = kNow;
};

TEST(Answering, ChangesTheFileAsExpected) {
    const AnswerCase cases[] = {
        // One-time reminders: a done finishes the entry, a dismiss or stop only ends the reminder.
        {kSnooze, "- [ ] ! call  <!-- 09:02 carried 2026-03-10 remind 2026-03-11 09:00 -->",
         "- [ ] ! call  <!-- 09:02 carried 2026-03-10 remind 2026-03-11 14:37 -->"},
        {kDone, "- [ ] ! call  <!-- 09:02 carried 2026-03-10 remind 2026-03-11 09:00 -->\n- [ ] x  <!-- 08:00 -->",
         "- [x] ~~call~~  <!-- 09:02 carried 2026-03-10 -->\n- [ ] x  <!-- 08:00 -->"},
        {kDone, "- ! idea  <!-- remind 2026-03-11 09:00 -->", "- ~~idea~~"},
        {kDismiss, "- [ ] ! call  <!-- 09:02 remind 2026-03-11 09:00 -->", "- [ ] ! call  <!-- 09:02 -->"},
        {kDismiss, "- [ ] later  <!-- remind 2026-03-11 16:00 -->", "- [ ] later", kNewYork}, // ahead of its ring
        {kStop, "- ! idea  <!-- remind 2026-03-11 09:00 -->", "- ! idea"},
        // Repeats: a dismiss waits for the next ring, a done finishes unless it is a routine.
        {kSnooze, "- [ ] a  <!-- remind 2026-03-11 09:00 every 3h 08:30-20:30 -->",
         "- [ ] a  <!-- remind 2026-03-11 14:37 every 3h 08:30-20:30 -->"},
        {kDone, "- [ ] ! a  <!-- 08:00 remind 2026-03-11 09:00 every 3h 08:30-20:30 -->",
         "- [x] ~~a~~  <!-- 08:00 -->"},
        {kDismiss, "- [ ] a  <!-- remind 2026-03-11 09:00 every 3h 08:30-20:30 -->",
         "- [ ] a  <!-- remind 2026-03-11 12:00 every 3h 08:30-20:30 -->"},
        {kDismiss, "- [ ] a  <!-- remind 2026-03-11 09:00 every day 09:00 -->",
         "- [ ] a  <!-- remind 2026-03-12 09:00 every day 09:00 -->", kNewYork},
        {kStop, "- [ ] a  <!-- 08:15 remind 2026-03-11 09:00 every day 09:00 routine -->", "- [ ] a  <!-- 08:15 -->"},
        // A routine's done is logged at the end of today's section; the routine moves past the ring.
        {kDone, "- [ ] a  <!-- 08:15 remind 2026-03-11 09:00 every day 09:00 routine -->\nsee the red folder",
         "- [ ] a  <!-- 08:15 remind 2026-03-12 09:00 every day 09:00 routine -->\nsee the red folder\n"
         "- [x] ~~a~~  <!-- 10:07 -->"},
        // Done ahead of the ring skips it.
        {kDone,
         "- [ ] a  <!-- remind 2026-03-11 09:00 every day 09:00 routine -->",
         "- [ ] a  <!-- remind 2026-03-12 09:00 every day 09:00 routine -->\n- [x] ~~a~~  <!-- 08:40 -->",
         kNewYork,
         {2026, 3, 11, 8, 40}},
        {kDone, "- ! a  <!-- remind 2026-03-11 09:00 every 1h 08:30-20:30 routine -->",
         "- ! a  <!-- remind 2026-03-11 11:00 every 1h 08:30-20:30 routine -->\n- [x] ~~a~~  <!-- 10:07 -->"},
        {kDone, "## 2026-03-10 Tuesday\n\n- [ ] a  <!-- remind 2026-03-11 09:00 every day 09:00 routine -->",
         "## 2026-03-11 Wednesday\n\n- [x] ~~a~~  <!-- 10:07 -->\n\n## 2026-03-10 Tuesday\n\n"
         "- [ ] a  <!-- remind 2026-03-12 09:00 every day 09:00 routine -->"},
        // Nothing to answer: the entry is finished, carried or struck, or has no reminder.
        {kStop, "- [x] ~~paid~~  <!-- remind 2026-03-11 09:00 -->", nullptr},
        {kDone, "- [>] moved  <!-- remind 2026-03-11 09:00 -->", nullptr},
        {kDismiss, "- ~~gone~~  <!-- remind 2026-03-11 09:00 -->", nullptr},
        {kDone, "- [ ] ! plain  <!-- 08:00 carried 2026-03-10 -->", nullptr},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.before);
        const Calendar cal(c.zone);
        NotesDocument document = NotesDocument::parse(fileText(c.before));
        ASSERT_FALSE(document.allEntries().isEmpty());
        const QUuid id = document.allEntries().front().id;
        const auto place = document.location(id);

        EntryReminders::answer(document, id, c.answer, wall(cal, c.now), cal, kAnchors);

        EXPECT_EQ(document.serialized(), fileText(c.after ? c.after : c.before));
        // The answered entry keeps its identity; its place only moves when a new day is put on top.
        const auto after = document.location(id);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->item, place->item);
        // A routine's log is an entry of its own.
        QSet<QUuid> ids;
        for (const Entry& e : document.allEntries()) {
            ids.insert(e.id);
        }
        EXPECT_EQ(ids.size(), document.allEntries().size());
        EXPECT_FALSE(ids.contains(QUuid()));
    }
}

// Wednesday 11 March 2026 10:07, the moment most examples are seen from.
constexpr Wall kSeenAt{2026, 3, 11, 10, 7};

TEST(Wording, MomentNamesTheRingRelativeToNow) {
    const Calendar berlin(u"Europe/Berlin"_s, u"en_US"_s);
    const Calendar newYork(u"America/New_York"_s, u"en_US"_s);
    const Calendar german(u"Europe/Berlin"_s, u"de_DE"_s);
    // The calendar, now, the ring, whether "today" is said, the words.
    const std::tuple<const Calendar*, Wall, Wall, bool, QString> cases[] = {
        {&berlin, kSeenAt, {2026, 3, 14, 8, 30}, false, u"Sat 08:30"_s},
        // Six days either way is a weekday, seven a date; another year adds it.
        {&berlin, kSeenAt, {2026, 3, 17, 9, 0}, false, u"Tue 09:00"_s},
        {&berlin, kSeenAt, {2026, 3, 5, 9, 0}, false, u"Thu 09:00"_s},
        {&berlin, kSeenAt, {2026, 3, 18, 9, 0}, false, u"Mar 18, 09:00"_s},
        {&newYork, kSeenAt, {2026, 3, 4, 9, 0}, false, u"Mar 4, 09:00"_s},
        {&berlin, kSeenAt, {2027, 3, 1, 8, 30}, false, u"Mar 1 27, 08:30"_s},
        {&berlin, kSeenAt, {2025, 12, 31, 23, 59}, false, u"Dec 31 25, 23:59"_s},
        // Days are counted on the calendar: 47 hours across a lost hour are still two days.
        {&newYork, {2026, 3, 7, 23, 30}, {2026, 3, 9, 0, 30}, false, u"Mon 00:30"_s},
        {&berlin, {2026, 3, 28, 23, 30}, {2026, 3, 29, 23, 0}, false, u"tomorrow 23:00"_s},
        // Names from the user's language, the words around them in English.
        {&german, kSeenAt, {2026, 3, 14, 8, 30}, false, u"Sa. 08:30"_s},
        {&german, kSeenAt, {2027, 3, 1, 8, 30}, false, u"März 1 27, 08:30"_s},
        {&german, kSeenAt, {2026, 3, 12, 8, 30}, false, u"tomorrow 08:30"_s},
    };
    for (const auto& [cal, now, next, todayWord, expected] : cases) {
        EXPECT_EQ(once(wall(*cal, next)).moment(wall(*cal, now), todayWord, *cal), expected)
            << describe(*cal, wall(*cal, next));
    }
}

TEST(Wording, RulesInShortAndFullWords) {
    const std::tuple<Rule, QString, QString> cases[] = {
        {interval(90, hm(9, 0), hm(17, 0)), u"every 90m"_s, u"every 90m, 09:00–17:00"_s},
        {times(everyDay(), {hm(8, 30), hm(20, 30)}), u"twice a day"_s, u"every day at 08:30 and 20:30"_s},
        {times(everyDay(), {hm(20, 30), hm(8, 5), hm(12, 0)}), u"every day"_s,
         u"every day at 08:05, 12:00 and 20:30"_s},
        {times(weekdays(), {hm(9, 0), hm(17, 0)}), u"weekdays"_s, u"every weekday at 09:00 and 17:00"_s},
        {times(onDays({2, 5}), {hm(18, 0)}), u"Mon and Thu"_s, u"every Mon and Thu at 18:00"_s},
        {times(onDays({7, 3, 5}), {hm(7, 0)}), u"Tue and Thu and Sat"_s, u"every Tue and Thu and Sat at 07:00"_s},
        {times(onDays({1}), {hm(0, 0)}), u"Sun"_s, u"every Sun at 00:00"_s},
    };
    for (const auto& [rule, shortWords, phrase] : cases) {
        EXPECT_EQ(rule.shortWords(), shortWords) << phrase.toStdString();
        EXPECT_EQ(rule.phrase(), phrase);
    }
}

// The same wall clocks give the same words in either zone.
TEST(Wording, SummaryAndLabel) {
    const Rule threeHours = interval(180, hm(8, 30), hm(20, 30));
    const Rule evening = times(everyDay(), {hm(20, 30)});
    // The ring, its rule, whether it is a routine, now; the short and the long summary and the label.
    const std::pair<std::tuple<Wall, std::optional<Rule>, bool, Wall>, std::array<QString, 3>> cases[] = {
        {{{2026, 3, 11, 16, 0}, std::nullopt, false, kSeenAt}, {u"today 16:00"_s, u"today 16:00"_s, u"16:00"_s}},
        {{{2026, 3, 11, 9, 0}, std::nullopt, false, kSeenAt}, {u"today 09:00"_s, u"today 09:00"_s, u"rang 09:00"_s}},
        {{{2026, 3, 10, 21, 0}, std::nullopt, false, kSeenAt},
         {u"yesterday 21:00"_s, u"yesterday 21:00"_s, u"rang yesterday 21:00"_s}},
        {{{2026, 3, 11, 13, 7}, threeHours, false, kSeenAt},
         {u"today 13:07 · every 3h"_s, u"today 13:07 · then every 3h, 08:30–20:30 until done"_s,
          u"13:07 · every 3h"_s}},
        {{{2026, 3, 11, 9, 0}, threeHours, false, {2026, 3, 11, 15, 10}},
         {u"today 09:00 · every 3h"_s, u"today 09:00 · then every 3h, 08:30–20:30 until done"_s,
          u"rang 09:00 · every 3h · 3rd ring"_s}},
        {{{2026, 3, 12, 20, 30}, evening, true, kSeenAt},
         {u"tomorrow 20:30 · every day · routine"_s, u"tomorrow 20:30 · then every day at 20:30 · routine"_s,
          u"tomorrow 20:30 · every day · routine"_s}},
        {{{2026, 3, 10, 20, 30}, evening, true, {2026, 3, 11, 21, 0}},
         {u"yesterday 20:30 · every day · routine"_s, u"yesterday 20:30 · then every day at 20:30 · routine"_s,
          u"rang yesterday 20:30 · every day · routine · 2nd ring"_s}},
        {{{2026, 3, 12, 9, 0}, times(weekdays(), {hm(9, 0)}), false, kSeenAt},
         {u"tomorrow 09:00 · weekdays"_s, u"tomorrow 09:00 · then every weekday at 09:00 until done"_s,
          u"tomorrow 09:00 · weekdays"_s}},
    };
    for (const QString& zone : {u"Europe/Berlin"_s, u"America/New_York"_s}) {
        const Calendar cal(zone, u"en_US"_s);
        for (const auto& [given, words] : cases) {
            const auto& [next, rule, routine, seen] = given;
            const Instant now = wall(cal, seen);
            const Reminder r{wall(cal, next), rule, routine};
            EXPECT_EQ((std::array{r.summary(now, true, cal), r.summary(now, false, cal), r.label(now, cal)}), words)
                << zone.toStdString();
        }
    }
}

TEST(Wording, SubtitleIsRoutineThenRuleThenRing) {
    const Instant t = wall(Calendar(u"Europe/Berlin"_s), kSeenAt);
    const std::tuple<Reminder, int, QString> cases[] = {
        {repeat(t, times(everyDay(), {hm(20, 30)}), true), 2, u"routine · every day · 2nd ring"_s},
        {repeat(t, interval(180, hm(8, 30), hm(20, 30))), 1, u"every 3h"_s},
        {repeat(t, times(weekdays(), {hm(9, 0)})), 4, u"weekdays · 4th ring"_s},
        {repeat(t, times(everyDay(), {hm(9, 0), hm(21, 0)}), true), 1, u"routine · twice a day"_s},
        {once(t), 1, QString()},
        {once(t), 3, u"3rd ring"_s},
        // A routine mark without a rule means nothing.
        {Reminder{t, std::nullopt, true}, 2, u"2nd ring"_s},
    };
    for (const auto& [reminder, ring, expected] : cases) {
        EXPECT_EQ(reminder.subtitle(ring), expected);
    }
    const std::pair<int, QString> ordinals[] = {
        {0, u"0th"_s},     {1, u"1st"_s},     {2, u"2nd"_s},     {3, u"3rd"_s},   {4, u"4th"_s},   {11, u"11th"_s},
        {12, u"12th"_s},   {13, u"13th"_s},   {21, u"21st"_s},   {22, u"22nd"_s}, {23, u"23rd"_s}, {101, u"101st"_s},
        {111, u"111th"_s}, {112, u"112th"_s}, {113, u"113th"_s}, {-1, u"-1st"_s}};
    for (const auto& [n, expected] : ordinals) {
        EXPECT_EQ(Reminder::ordinal(n), expected) << n;
    }
}

} // namespace
