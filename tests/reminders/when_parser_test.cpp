#include "reminders/Reminder.h"
#include "reminders/WhenParser.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::StringLiterals;

namespace {

const char* const kBerlin = "Europe/Berlin";
const char* const kNewYork = "America/New_York";
constexpr Wall kWed{2026, 3, 11, 10, 7, 25};

// A phrase read at `now`, the wall clock it rings at and the rule it repeats with.
struct PhraseCase {
    Wall now;
    const char* phrase;
    const char* next; // "Wed 2026-03-11 10:27"
    std::optional<Rule> rule = std::nullopt;
    bool routine = false;
    Anchors anchors = kAnchors;
};

class Phrase : public ::testing::TestWithParam<std::tuple<const char*, PhraseCase>> {};

// Checks the reminder, that it has no seconds, and that its words in a comment read back to it.
TEST_P(Phrase, ResolvesAgainstNowAndAnchors) {
    const auto& [zone, c] = GetParam();
    const Calendar cal(QString::fromUtf8(zone));
    const auto r = Reminder::parse(QString::fromUtf8(c.phrase), wall(cal, c.now), c.anchors, cal);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(cal.formatPosix(r->next, u"EEE yyyy-MM-dd HH:mm").toStdString(), c.next);
    EXPECT_EQ(r->rule, c.rule) << (r->rule ? r->rule->text().toStdString() : "no rule");
    EXPECT_EQ(r->routine, c.routine);
    EXPECT_EQ(r->next, WhenParser::startOfMinute(r->next, cal));

    const auto back = Reminder::split(r->clauses(cal), cal, c.anchors);
    EXPECT_EQ(back.reminder, r) << r->clauses(cal).toStdString();
    EXPECT_FALSE(back.rest.has_value());
}

std::string phraseName(const ::testing::TestParamInfo<Phrase::ParamType>& p) {
    std::string name = std::string(std::get<0>(p.param)).substr(0, 4) + std::to_string(p.index) + "_";
    for (const char ch : std::string(std::get<1>(p.param).phrase)) {
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return name;
}

// Seen from Wednesday 11 March 2026 10:07:25, in two zones on either side of the ocean: the wall
// clock must not depend on the zone.
std::vector<PhraseCase> everyZoneCases() {
    const Rule weekday9 = times(weekdays(), {hm(9, 0)});
    return {
        {kWed, "20m", "Wed 2026-03-11 10:27"},
        {kWed, "1h30m", "Wed 2026-03-11 11:37"},
        {kWed, "90 min", "Wed 2026-03-11 11:37"},
        {kWed, "in 2 hours", "Wed 2026-03-11 12:07"},
        {kWed, "in an hour", "Wed 2026-03-11 11:07"},
        {kWed, "3d", "Sat 2026-03-14 10:07"},
        {kWed, "tonight", "Wed 2026-03-11 20:30"},
        {kWed, "later", "Wed 2026-03-11 20:30"},
        {kWed, "morning", "Thu 2026-03-12 08:30"},
        {kWed, "tomorrow", "Thu 2026-03-12 08:30"},
        {kWed, "tmrw 9", "Thu 2026-03-12 09:00"},
        {kWed, "16:00", "Wed 2026-03-11 16:00"},
        {kWed, "4 p.m.", "Wed 2026-03-11 16:00"},
        {kWed, "9am", "Thu 2026-03-12 09:00"},
        {kWed, "noon", "Wed 2026-03-11 12:00"},
        {kWed, "fridays", "Fri 2026-03-13 08:30"},
        {kWed, "fri 3pm", "Fri 2026-03-13 15:00"},
        {kWed, "on friday at 3pm", "Fri 2026-03-13 15:00"},
        {kWed, "wed 9am", "Wed 2026-03-18 09:00"},
        {kWed, "wed 5pm", "Wed 2026-03-11 17:00"},
        {kWed, "next wed", "Wed 2026-03-18 08:30"},
        {kWed, "next sat", "Sat 2026-03-14 08:30"},
        {kWed, "weekend", "Sat 2026-03-14 08:30"},
        {kWed, "next week", "Mon 2026-03-16 08:30"},
        {kWed, "nov 2 9am", "Mon 2026-11-02 09:00"},
        {kWed, "2 nov 9am", "Mon 2026-11-02 09:00"},
        {kWed, "mar 1", "Mon 2027-03-01 08:30"},
        {kWed, "2026-03-11 8am", "Wed 2026-03-11 08:00"},
        {kWed, "2026-3-14", "Sat 2026-03-14 08:30"},
        {kWed, "every 3h", "Wed 2026-03-11 13:07", interval(180, hm(8, 30), hm(20, 30))},
        {kWed, "every 90 minutes 9-17", "Wed 2026-03-11 11:37", interval(90, hm(9, 0), hm(17, 0))},
        {kWed, "hourly", "Wed 2026-03-11 11:07", interval(60, hm(8, 30), hm(20, 30))},
        {kWed, "daily 7:15", "Thu 2026-03-12 07:15", times(everyDay(), {hm(7, 15)})},
        {kWed, "twice a day", "Wed 2026-03-11 20:30", times(everyDay(), {hm(8, 30), hm(20, 30)})},
        {kWed, "every weekday 9am", "Thu 2026-03-12 09:00", weekday9},
        {kWed, "weekdays 9am", "Thu 2026-03-12 09:00", weekday9},
        {kWed, "every mon thu 18:00", "Thu 2026-03-12 18:00", times(onDays({2, 5}), {hm(18, 0)})},
        {kWed, "every week", "Wed 2026-03-18 08:30", times(onDays({4}), {hm(8, 30)})},
        {kWed, "every day 20:30 routine", "Wed 2026-03-11 20:30", times(everyDay(), {hm(20, 30)}), true},
        {kWed, "every day at 9am and 9pm", "Wed 2026-03-11 21:00", times(everyDay(), {hm(9, 0), hm(21, 0)})},
    };
}

INSTANTIATE_TEST_SUITE_P(EveryZone, Phrase,
                         ::testing::Combine(::testing::Values(kBerlin, kNewYork),
                                            ::testing::ValuesIn(everyZoneCases())),
                         phraseName);

std::vector<PhraseCase> momentCases() {
    const Wall wedEarly{2026, 3, 11, 7, 0};
    const Wall dec30{2026, 12, 30, 15, 0};
    const Rule every3h = interval(180, hm(8, 30), hm(20, 30));
    return {
        // A weekday said on that weekday, before and after its time; "next" skips today.
        {wedEarly, "wed", "Wed 2026-03-11 08:30"},
        {kWed, "wed", "Wed 2026-03-18 08:30"},
        {wedEarly, "next wed", "Wed 2026-03-18 08:30"},
        {wedEarly, "every wed", "Wed 2026-03-11 08:30", times(onDays({4}), {hm(8, 30)})},
        {kWed, "th 7pm", "Thu 2026-03-12 19:00"},
        {kWed, "next week 9", "Mon 2026-03-16 09:00"},
        {{2026, 3, 14, 7, 0}, "weekend", "Sat 2026-03-21 08:30"},
        // A time already past means tomorrow; the current minute has passed.
        {kWed, "10:07", "Thu 2026-03-12 10:07"},
        {kWed, "10:08", "Wed 2026-03-11 10:08"},
        {kWed, "midnight", "Thu 2026-03-12 00:00"},
        {{2026, 3, 11, 21, 0}, "tonight", "Thu 2026-03-12 20:30"},
        {kWed, "at 930pm", "Wed 2026-03-11 21:30"},
        // A day and month is the first one not before today.
        {dec30, "dec 31", "Thu 2026-12-31 08:30"},
        {dec30, "jan 1", "Fri 2027-01-01 08:30"},
        {dec30, "dec 30", "Wed 2026-12-30 08:30"},
        {dec30, "dec 29 9am", "Wed 2027-12-29 09:00"},
        {dec30, "ja. 2nd 7:45", "Sat 2027-01-02 07:45"},
        {{2026, 12, 31, 23, 30}, "tomorrow", "Fri 2027-01-01 08:30"},
        {{2027, 12, 1, 9, 0}, "feb 29", "Tue 2028-02-29 08:30"},
        // The first ring of an interval keeps to its window.
        {{2026, 3, 11, 19, 0}, "every 3h", "Thu 2026-03-12 08:30", every3h},
        {{2026, 3, 11, 4, 0}, "every 3h", "Wed 2026-03-11 08:30", every3h},
        {kWed, "each 45 mins between 10am and 11am", "Wed 2026-03-11 10:52", interval(45, hm(10, 0), hm(11, 0))},
        // Routine and until done, wherever they stand.
        {kWed, "routine every day 20:30", "Wed 2026-03-11 20:30", times(everyDay(), {hm(20, 30)}), true},
        {kWed, "every day until done 9pm", "Wed 2026-03-11 21:00", times(everyDay(), {hm(21, 0)})},
        {kWed, "every 3h until done routine", "Wed 2026-03-11 13:07", every3h, true},
        {kWed, "20m until done", "Wed 2026-03-11 10:27"},
        // Words in another dress.
        {kWed, "Tomorrow, 9 A.M.", "Thu 2026-03-12 09:00"},
        {kWed, "9.30 p.m.", "Wed 2026-03-11 21:30"},
        {kWed, "in\t2\nhours", "Wed 2026-03-11 12:07"},
        // Other anchors; a day that does not run forwards has no window.
        {kWed, "tonight", "Wed 2026-03-11 22:00", std::nullopt, false, Anchors{420, 1320}},
        {kWed, "every 3h", "Wed 2026-03-11 13:07", interval(180, hm(0, 0), hm(23, 59)), false, Anchors{1320, 360}},
        {kWed, "twice daily", "Thu 2026-03-12 09:00", times(everyDay(), {hm(9, 0)}), false, Anchors{540, 540}},
        // Far ahead, yet still a stamp.
        {kWed, "in 400000 weeks", "Wed 9692-04-30 11:07"},
        {kWed, "9999-12-31 23:59", "Fri 9999-12-31 23:59"},
    };
}

INSTANTIATE_TEST_SUITE_P(Berlin, Phrase,
                         ::testing::Combine(::testing::Values(kBerlin), ::testing::ValuesIn(momentCases())),
                         phraseName);

TEST(PhraseRejected, ShapesTheLanguageDoesNotHave) {
    const std::vector<const char*> phrases = {
        // Nothing to read, or a routine that does not repeat.
        "", "   ", "in", "at the", "every", "routine", "tomorrow routine", "20m routine", "until done",
        "routine routine every day",
        // Repeats the language does not make.
        "every 2d", "every tue and thu", "every 3h 17-9", "hourly 9-17", "hourly routine 9", "twice", "twice a week",
        "twice daily 9", "every 1440m", "every 0m", "every week 3h", "every 3h until 5pm", "weekly fri", "daily 25:00",
        // Moments with a word too many or a number that is no time, length or date.
        "tonight 9pm", "morning 9", "tomorrow 9 10", "fri 3pm 4pm", "tomorrow at noon at 1", "next", "next 9am",
        "next weekend", "9:5", "25:00", "13pm", "90", "1.5h", "0m", "in 0 minutes", "-5 minutes", "feb 29", "apr 31",
        "nov", "nov 32", "32 nov", "2026-02-30", "2026-03-11 9 10",
        // Counts no calendar can reach: no reminder, never a wrapped one.
        "every 99999999999999999999m", "in 9999999999 weeks", "99999999999999999999m", "in 9223372036854775807 minutes",
        "9223372036854775807m", "every 9223372036854775807m", "1w99999999999999999d",
        "in 99999999999999999999999999999999999999 days", "every 18446744073709551617m 9-17",
        "in 18446744073709551616 minutes", "every 99999999999999999999 minutes 9-17", "99999999999999999999:00",
        "99999999999999999999 nov", "nov 99999999999999999999th",
        // Fits 64 bits as minutes, not as milliseconds; past the year 9999, which a stamp cannot hold.
        "in 153722867280912930 minutes", "in 420000 weeks"};
    for (const char* zone : {kBerlin, kNewYork}) {
        const Calendar cal(QString::fromUtf8(zone));
        for (const char* phrase : phrases) {
            const auto r = Reminder::parse(QString::fromUtf8(phrase), wall(cal, kWed), kAnchors, cal);
            EXPECT_FALSE(r) << phrase << " read as " << r->clauses(cal).toStdString() << " in " << zone;
        }
    }
}

TEST(PhraseRejected, NowOutsideWhatAStampHolds) {
    const Calendar cal(QString::fromUtf8(kBerlin));
    for (const Instant now : {Instant::max(), Instant::min(), at(cal, 10000, 1, 1, 0, 0), at(cal, 0, 12, 31, 12, 0)}) {
        EXPECT_FALSE(Reminder::parse(u"20m", now, kAnchors, cal)) << describe(cal, now);
        EXPECT_FALSE(Reminder::parse(u"every day", now, kAnchors, cal)) << describe(cal, now);
    }
    EXPECT_TRUE(Reminder::parse(u"20m", at(cal, 9999, 12, 31, 23, 0), kAnchors, cal));
    EXPECT_FALSE(Reminder::parse(u"2h", at(cal, 9999, 12, 31, 23, 0), kAnchors, cal));
}

TEST(PhraseAcrossClockChange, UsesExistingTimesAndElapsedLengths) {
    struct Case {
        const char* zone;
        Wall now;
        const char* phrase;
        const char* expected;
    };
    const Case cases[] = {
        // A time the clock skips rings at the next existing time, a repeated one at its first occurrence.
        {kBerlin, {2026, 3, 28, 10, 0}, "sun 2:30", "2026-03-29 03:00:00 +02:00"},
        {kBerlin, {2026, 10, 24, 10, 0}, "sun 2:30", "2026-10-25 02:30:00 +02:00"},
        // A length is elapsed time: the wall clock jumps with the change; a calendar day keeps it.
        {kBerlin, {2026, 3, 29, 1, 30}, "in 2 hours", "2026-03-29 04:30:00 +02:00"},
        {kBerlin, {2026, 10, 25, 1, 30}, "in 2 hours", "2026-10-25 02:30:00 +01:00"},
        {kBerlin, {2026, 3, 28, 10, 0}, "1d", "2026-03-29 11:00:00 +02:00"},
        {kBerlin, {2026, 3, 28, 10, 0}, "tomorrow 10am", "2026-03-29 10:00:00 +02:00"},
        // A zone given as a POSIX rule (TZ) has its clock changes too.
        {"CET-1CEST,M3.5.0,M10.5.0/3", {2026, 3, 28, 10, 0}, "sun 2:30", "2026-03-29 03:00:00 +02:00"},
    };
    for (const Case& c : cases) {
        const Calendar cal(QString::fromUtf8(c.zone));
        const auto r = Reminder::parse(QString::fromUtf8(c.phrase), wall(cal, c.now), kAnchors, cal);
        ASSERT_TRUE(r) << c.phrase;
        EXPECT_EQ(describe(cal, r->next), c.expected) << c.phrase << " in " << c.zone;
    }
}

TEST(PhraseAcrossClockChange, StampsKeepTheirWallClockInAnotherZone) {
    const Calendar berlin(QString::fromUtf8(kBerlin));
    const Calendar newYork(QString::fromUtf8(kNewYork));
    const auto written = Reminder::parse(u"every day 20:30", wall(berlin, kWed), kAnchors, berlin);
    ASSERT_TRUE(written);
    const QString words = written->clauses(berlin);
    EXPECT_EQ(words, u"remind 2026-03-11 20:30 every day 20:30");

    // The same words read after moving to New York: 20:30 there, a different instant.
    const auto read = Reminder::split(words, newYork, kAnchors).reminder;
    ASSERT_TRUE(read);
    EXPECT_EQ(describe(newYork, read->next), "2026-03-11 20:30:00 -04:00");
    EXPECT_EQ(read->rule, written->rule);
    EXPECT_EQ(read->clauses(newYork), words);
}

TEST(PhraseAcrossClockChange, SecondOccurrenceReadsBackAsTheFirst) {
    // The stamp holds wall-clock time only: a ring in the second pass of a repeated hour is
    // written like the first and read back as the first.
    const Calendar cal(QString::fromUtf8(kBerlin));
    const auto r = Reminder::parse(u"in 1 hour", at(cal, 2026, 10, 25, 2, 10), kAnchors, cal);
    ASSERT_TRUE(r);
    EXPECT_EQ(describe(cal, r->next), "2026-10-25 02:10:00 +01:00");
    const auto back = Reminder::split(r->clauses(cal), cal, kAnchors).reminder;
    ASSERT_TRUE(back);
    EXPECT_EQ(describe(cal, back->next), "2026-10-25 02:10:00 +02:00");
    EXPECT_EQ(back->clauses(cal), r->clauses(cal));
}

TEST(WhenWords, StartOfMinuteKeepsTheRepeatedHour) {
    const Calendar cal(QString::fromUtf8(kBerlin));
    const Instant second = at(cal, 2026, 10, 25, 2, 30) + std::chrono::hours(1) + std::chrono::milliseconds(59'999);
    EXPECT_EQ(describe(cal, WhenParser::startOfMinute(second, cal)), "2026-10-25 02:30:00 +01:00");
    const Instant before1970 = instantFromSeconds(-61) + std::chrono::milliseconds(500);
    EXPECT_EQ(WhenParser::startOfMinute(before1970, cal), instantFromSeconds(-120));
}

} // namespace
