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
const Anchors kAnchors{8 * 60 + 30, 20 * 60 + 30};

struct Wall {
    int y, mo, d, h, mi, s = 0;
};

std::string wallClock(const Calendar& calendar, Instant t) {
    return calendar.formatPosix(t, u"EEE yyyy-MM-dd HH:mm").toStdString();
}

std::string withOffset(const Calendar& calendar, Instant t) {
    return calendar.formatPosix(t, u"yyyy-MM-dd HH:mm:ss xxx").toStdString();
}

std::string nameOf(std::string text) {
    std::string out;
    for (char ch : text) {
        out += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    }
    return out.empty() ? std::string("blank") : out;
}

// A phrase, the wall clock it rings at ("Wed 2026-03-11 10:27") and the rule it repeats with.
struct PhraseCase {
    const char* phrase;
    const char* next;
    std::optional<Rule> rule = std::nullopt;
    bool routine = false;
};

void PrintTo(const PhraseCase& c, std::ostream* os) {
    *os << '"' << c.phrase << '"';
}

// Reads the phrase at `now` and checks the reminder, that it has no seconds, and that its words
// in a comment read back to the same reminder.
void expectPhrase(const PhraseCase& c, const Calendar& cal, Instant now, const Anchors& anchors = kAnchors) {
    SCOPED_TRACE(std::string("phrase \"") + c.phrase + "\" in " + cal.zoneId().toStdString());
    const auto r = Reminder::parse(QString::fromUtf8(c.phrase), now, anchors, cal);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(wallClock(cal, r->next), c.next);
    EXPECT_EQ(r->rule, c.rule) << (r->rule ? r->rule->text().toStdString() : "no rule");
    EXPECT_EQ(r->routine, c.routine);
    EXPECT_EQ(r->next, WhenParser::startOfMinute(r->next, cal));

    const auto back = Reminder::split(r->clauses(cal), cal, anchors);
    EXPECT_EQ(back.reminder, r) << r->clauses(cal).toStdString();
    EXPECT_FALSE(back.rest.has_value());
}

// --- The reference examples, at Wednesday 11 March 2026 10:07:25 ---

std::vector<PhraseCase> referenceCases() {
    const Rule every3h = interval(180, hm(8, 30), hm(20, 30));
    const Rule hourly = interval(60, hm(8, 30), hm(20, 30));
    const Rule daily = times(everyDay(), {hm(8, 30)});
    const Rule twice = times(everyDay(), {hm(8, 30), hm(20, 30)});
    const Rule weekday9 = times(weekdays(), {hm(9, 0)});
    return {
        {"20m", "Wed 2026-03-11 10:27"},
        {"1h30m", "Wed 2026-03-11 11:37"},
        {"1h30", "Wed 2026-03-11 11:37"},
        {"90 min", "Wed 2026-03-11 11:37"},
        {"in 2 hours", "Wed 2026-03-11 12:07"},
        {"in an hour", "Wed 2026-03-11 11:07"},
        {"3d", "Sat 2026-03-14 10:07"},
        {"tonight", "Wed 2026-03-11 20:30"},
        {"later", "Wed 2026-03-11 20:30"},
        {"evening", "Wed 2026-03-11 20:30"},
        {"morning", "Thu 2026-03-12 08:30"},
        {"tomorrow", "Thu 2026-03-12 08:30"},
        {"tomorrow 9am", "Thu 2026-03-12 09:00"},
        {"tmrw 9", "Thu 2026-03-12 09:00"},
        {"16:00", "Wed 2026-03-11 16:00"},
        {"4pm", "Wed 2026-03-11 16:00"},
        {"4 p.m.", "Wed 2026-03-11 16:00"},
        {"9am", "Thu 2026-03-12 09:00"},
        {"9:00", "Thu 2026-03-12 09:00"},
        {"noon", "Wed 2026-03-11 12:00"},
        {"fri", "Fri 2026-03-13 08:30"},
        {"friday", "Fri 2026-03-13 08:30"},
        {"fridays", "Fri 2026-03-13 08:30"},
        {"fri 3pm", "Fri 2026-03-13 15:00"},
        {"on friday at 3pm", "Fri 2026-03-13 15:00"},
        {"wed 9am", "Wed 2026-03-18 09:00"},
        {"wed 5pm", "Wed 2026-03-11 17:00"},
        {"next wed", "Wed 2026-03-18 08:30"},
        {"next sat", "Sat 2026-03-14 08:30"},
        {"weekend", "Sat 2026-03-14 08:30"},
        {"next week", "Mon 2026-03-16 08:30"},
        {"nov 2 9am", "Mon 2026-11-02 09:00"},
        {"2 nov 9am", "Mon 2026-11-02 09:00"},
        {"mar 1", "Mon 2027-03-01 08:30"},
        {"2026-03-11 8am", "Wed 2026-03-11 08:00"},
        {"every 3h", "Wed 2026-03-11 13:07", every3h},
        {"every 90 minutes 9-17", "Wed 2026-03-11 11:37", interval(90, hm(9, 0), hm(17, 0))},
        {"every 2h from 9 to 5pm", "Wed 2026-03-11 12:07", interval(120, hm(9, 0), hm(17, 0))},
        {"hourly", "Wed 2026-03-11 11:07", hourly},
        {"every hour", "Wed 2026-03-11 11:07", hourly},
        {"every day", "Thu 2026-03-12 08:30", daily},
        {"daily", "Thu 2026-03-12 08:30", daily},
        {"daily 7:15", "Thu 2026-03-12 07:15", times(everyDay(), {hm(7, 15)})},
        {"twice a day", "Wed 2026-03-11 20:30", twice},
        {"twice daily", "Wed 2026-03-11 20:30", twice},
        {"every weekday 9am", "Thu 2026-03-12 09:00", weekday9},
        {"weekdays 9am", "Thu 2026-03-12 09:00", weekday9},
        {"every mon thu 18:00", "Thu 2026-03-12 18:00", times(onDays({2, 5}), {hm(18, 0)})},
        {"every week", "Wed 2026-03-18 08:30", times(onDays({4}), {hm(8, 30)})},
        {"every morning", "Thu 2026-03-12 08:30", daily},
        {"every day 20:30 routine", "Wed 2026-03-11 20:30", times(everyDay(), {hm(20, 30)}), true},
        {"every day at 9am and 9pm", "Wed 2026-03-11 21:00", times(everyDay(), {hm(9, 0), hm(21, 0)})},
        {"every 3h until done", "Wed 2026-03-11 13:07", every3h},
    };
}

const std::vector<const char*> kReferenceRejected = {
    "",
    "   ",
    "routine",
    "tomorrow routine",
    "every 2d",
    "every tue and thu",
    "every 3h 17-9",
    "hourly 9-17",
    "twice",
    "tonight 9pm",
    "9:5",
    "25:00",
    "13pm",
    "90",
    "next",
    "every 1440m",
};

class ReferencePhrase : public ::testing::TestWithParam<std::tuple<const char*, PhraseCase>> {};

TEST_P(ReferencePhrase, GivesTheSameWallClockInEveryZone) {
    const auto& [zone, c] = GetParam();
    const Calendar cal(QString::fromUtf8(zone));
    expectPhrase(c, cal, at(cal, 2026, 3, 11, 10, 7, 25));
}

INSTANTIATE_TEST_SUITE_P(Examples, ReferencePhrase,
                         ::testing::Combine(::testing::Values(kBerlin, kNewYork),
                                            ::testing::ValuesIn(referenceCases())),
                         [](const auto& p) {
                             return nameOf(std::string(std::get<0>(p.param)) + "_" + std::get<1>(p.param).phrase);
                         });

class RejectedPhrase : public ::testing::TestWithParam<std::tuple<const char*, const char*>> {};

TEST_P(RejectedPhrase, GivesNoReminder) {
    const auto& [zone, phrase] = GetParam();
    const Calendar cal(QString::fromUtf8(zone));
    const auto r = Reminder::parse(QString::fromUtf8(phrase), at(cal, 2026, 3, 11, 10, 7, 25), kAnchors, cal);
    EXPECT_FALSE(r) << phrase << " read as " << r->clauses(cal).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Examples, RejectedPhrase,
                         ::testing::Combine(::testing::Values(kBerlin, kNewYork),
                                            ::testing::ValuesIn(kReferenceRejected)),
                         [](const auto& p) {
                             return nameOf(std::string(std::get<0>(p.param)) + "_" + std::get<1>(p.param)) + "_" +
                                    std::to_string(p.index);
                         });

// --- More phrases, each at its own moment ---

struct MomentCase {
    std::string name;
    Wall now;
    PhraseCase phrase;
    Anchors anchors = kAnchors;
};

void PrintTo(const MomentCase& c, std::ostream* os) {
    *os << c.name;
}

class PhraseAtMoment : public ::testing::TestWithParam<MomentCase> {};

TEST_P(PhraseAtMoment, ResolvesAgainstNowAndAnchors) {
    const auto& c = GetParam();
    const Calendar cal(QString::fromUtf8(kBerlin));
    expectPhrase(c.phrase, cal, at(cal, c.now.y, c.now.mo, c.now.d, c.now.h, c.now.mi, c.now.s), c.anchors);
}

std::vector<MomentCase> momentCases() {
    const Wall wedEarly{2026, 3, 11, 7, 0};
    const Wall wed{2026, 3, 11, 10, 7, 25};
    const Wall dec30{2026, 12, 30, 15, 0};
    const Wall dec31Late{2026, 12, 31, 23, 30};
    const Rule every3h = interval(180, hm(8, 30), hm(20, 30));
    return {
        // A weekday said on that weekday, before and after its time.
        {"SameWeekdayBeforeItsTime", wedEarly, {"wed", "Wed 2026-03-11 08:30"}},
        {"SameWeekdayTimePassed", wed, {"wed", "Wed 2026-03-18 08:30"}},
        {"NextSameWeekdaySkipsToday", wedEarly, {"next wed", "Wed 2026-03-18 08:30"}},
        {"SameWeekdayEveryWeek", wedEarly, {"every wed", "Wed 2026-03-11 08:30", times(onDays({4}), {hm(8, 30)})}},
        {"WeekdayAbbreviation", wed, {"th 7pm", "Thu 2026-03-12 19:00"}},
        {"NextWeekWithTime", wed, {"next week 9", "Mon 2026-03-16 09:00"}},
        {"WeekendOnSaturdayIsNextWeek", Wall{2026, 3, 14, 7, 0}, {"weekend", "Sat 2026-03-21 08:30"}},
        // A time already past means tomorrow; the minute itself has passed.
        {"ThisMinuteHasPassed", wed, {"10:07", "Thu 2026-03-12 10:07"}},
        {"NextMinuteIsToday", wed, {"10:08", "Wed 2026-03-11 10:08"}},
        {"MidnightIsTomorrow", wed, {"midnight", "Thu 2026-03-12 00:00"}},
        {"TonightAfterDayEnd", Wall{2026, 3, 11, 21, 0}, {"tonight", "Thu 2026-03-12 20:30"}},
        {"ThreeDigitTime", wed, {"at 930pm", "Wed 2026-03-11 21:30"}},
        // The end of the year.
        {"LastDayOfTheYear", dec30, {"dec 31", "Thu 2026-12-31 08:30"}},
        {"NewYearIsNextYear", dec30, {"jan 1", "Fri 2027-01-01 08:30"}},
        {"TodayEvenIfPassed", dec30, {"dec 30", "Wed 2026-12-30 08:30"}},
        {"YesterdayIsNextYear", dec30, {"dec 29 9am", "Wed 2027-12-29 09:00"}},
        {"MonthWithDot", dec30, {"ja. 2nd 7:45", "Sat 2027-01-02 07:45"}},
        {"IsoDateNextYear", dec30, {"2027-01-05", "Tue 2027-01-05 08:30"}},
        {"TomorrowIsNewYear", dec31Late, {"tomorrow", "Fri 2027-01-01 08:30"}},
        {"HourIntoNewYear", dec31Late, {"in 1h", "Fri 2027-01-01 00:30"}},
        {"LeapDayAhead", Wall{2027, 12, 1, 9, 0}, {"feb 29", "Tue 2028-02-29 08:30"}},
        // Windows and intervals crossing their end.
        {"IntervalPastWindowEnd", Wall{2026, 3, 11, 19, 0}, {"every 3h", "Thu 2026-03-12 08:30", every3h}},
        {"IntervalAtWindowEnd",
         Wall{2026, 3, 11, 15, 30},
         {"every 90m 9-17", "Wed 2026-03-11 17:00", interval(90, hm(9, 0), hm(17, 0))}},
        {"IntervalJustPastWindowEnd",
         Wall{2026, 3, 11, 15, 31},
         {"every 90m 9-17", "Thu 2026-03-12 09:00", interval(90, hm(9, 0), hm(17, 0))}},
        {"IntervalWaitsForWindow", Wall{2026, 3, 11, 4, 0}, {"every 3h", "Wed 2026-03-11 08:30", every3h}},
        {"IntervalBetween",
         wed,
         {"each 45 mins between 10am and 11am", "Wed 2026-03-11 10:52", interval(45, hm(10, 0), hm(11, 0))}},
        {"WeekdaysSkipTheWeekend",
         Wall{2026, 3, 13, 18, 0},
         {"weekdays 9am 5pm", "Mon 2026-03-16 09:00", times(weekdays(), {hm(9, 0), hm(17, 0)})}},
        // Routine and until done, wherever they stand.
        {"RoutineFirst",
         wed,
         {"routine every day 20:30", "Wed 2026-03-11 20:30", times(everyDay(), {hm(20, 30)}), true}},
        {"UntilDoneInTheMiddle",
         wed,
         {"every day until done 9pm", "Wed 2026-03-11 21:00", times(everyDay(), {hm(21, 0)})}},
        {"UntilDoneAndRoutine", wed, {"every 3h until done routine", "Wed 2026-03-11 13:07", every3h, true}},
        {"UntilDoneOnAMoment", wed, {"20m until done", "Wed 2026-03-11 10:27"}},
        // Words in another dress.
        {"CapitalsCommasAndDots", wed, {"Tomorrow, 9 A.M.", "Thu 2026-03-12 09:00"}},
        {"DottedTime", wed, {"9.30 p.m.", "Wed 2026-03-11 21:30"}},
        {"TabsAndNewlines", wed, {"in\t2\nhours", "Wed 2026-03-11 12:07"}},
        // Other anchors.
        {"OtherAnchorsTonight", wed, {"tonight", "Wed 2026-03-11 22:00"}, Anchors{420, 1320}},
        {"ReversedAnchorsInterval",
         wed,
         {"every 3h", "Wed 2026-03-11 13:07", interval(180, hm(0, 0), hm(23, 59))},
         Anchors{1320, 360}},
        {"EqualAnchorsTwice",
         wed,
         {"twice daily", "Thu 2026-03-12 09:00", times(everyDay(), {hm(9, 0)})},
         Anchors{540, 540}},
        // Counts far ahead that still fit a stamp.
        {"FarButWritable", wed, {"in 400000 weeks", "Wed 9692-04-30 11:07"}},
        {"LastWritableDay", wed, {"9999-12-31 23:59", "Fri 9999-12-31 23:59"}},
    };
}

INSTANTIATE_TEST_SUITE_P(Phrases, PhraseAtMoment, ::testing::ValuesIn(momentCases()), CaseName());

TEST(PhraseRejected, ShapesTheLanguageDoesNotHave) {
    const Calendar cal(QString::fromUtf8(kBerlin));
    const Instant now = at(cal, 2026, 3, 11, 10, 7, 25);
    const std::vector<const char*> phrases = {
        "until done",
        "20m routine",
        "every 3h until 5pm",
        "weekly fri",
        "feb 29",
        "apr 31",
        "next weekend",
        "tomorrow 9 10",
        "fri 3pm 4pm",
        "morning 9",
        "0m",
        "in 0 minutes",
        "-5 minutes",
        "in",
        "at the",
        "every",
        "each",
        "twice a week",
        "twice daily 9",
        "daily 25:00",
        "nov",
        "nov 32",
        "32 nov",
        "2026-02-30",
        "2026-03-11 9 10",
        "hourly routine 9",
        "next 9am",
        "1.5h",
        "every 0m",
        "every week 3h",
        "tomorrow at noon at 1",
        "routine routine every day",
    };
    for (const char* phrase : phrases) {
        const auto r = Reminder::parse(QString::fromUtf8(phrase), now, kAnchors, cal);
        EXPECT_FALSE(r) << phrase << " read as " << r->clauses(cal).toStdString();
    }
}

// --- Counts too large for any calendar ---

TEST(PhraseRejected, CountsBeyondAnyCalendar) {
    const Calendar cal(QString::fromUtf8(kBerlin));
    const Instant now = at(cal, 2026, 3, 11, 10, 7, 25);
    const std::vector<const char*> phrases = {
        "every 99999999999999999999m",
        "in 9999999999 weeks",
        "99999999999999999999m",
        "in 9223372036854775807 minutes",
        "9223372036854775807m",
        "in 153722867280912930 minutes", // fits 64 bits as minutes, not as milliseconds
        "every 9223372036854775807m",
        "1w99999999999999999d",
        "in 420000 weeks", // past the year 9999, which a stamp cannot hold
        "in 99999999999999999999999999999999999999 days",
        "every 18446744073709551617m 9-17",
        "in 18446744073709551616 minutes",
        "every 99999999999999999999 minutes 9-17",
        "99999999999999999999:00",
        "99999999999999999999 nov",
        "nov 99999999999999999999th",
    };
    for (const char* phrase : phrases) {
        const auto r = Reminder::parse(QString::fromUtf8(phrase), now, kAnchors, cal);
        EXPECT_FALSE(r) << phrase << " read as " << r->clauses(cal).toStdString();
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

// --- Clock changes ---

struct ClockCase {
    std::string name;
    const char* zone;
    Wall now;
    const char* phrase;
    const char* expected; // "yyyy-MM-dd HH:mm:ss xxx"
};

void PrintTo(const ClockCase& c, std::ostream* os) {
    *os << c.name;
}

class PhraseAcrossClockChange : public ::testing::TestWithParam<ClockCase> {};

TEST_P(PhraseAcrossClockChange, UsesExistingTimesAndElapsedLengths) {
    const auto& c = GetParam();
    const Calendar cal(QString::fromUtf8(c.zone));
    const Instant now = at(cal, c.now.y, c.now.mo, c.now.d, c.now.h, c.now.mi, c.now.s);
    const auto r = Reminder::parse(QString::fromUtf8(c.phrase), now, kAnchors, cal);
    ASSERT_TRUE(r) << c.phrase;
    EXPECT_EQ(withOffset(cal, r->next), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, PhraseAcrossClockChange,
    ::testing::Values(
        // A time the clock skips rings at the next existing time.
        ClockCase{"BerlinGapWeekday", kBerlin, {2026, 3, 28, 10, 0}, "sun 2:30", "2026-03-29 03:00:00 +02:00"},
        ClockCase{"BerlinGapDate", kBerlin, {2026, 3, 20, 10, 0}, "mar 29 2:15", "2026-03-29 03:00:00 +02:00"},
        ClockCase{"BerlinGapDaily", kBerlin, {2026, 3, 28, 10, 0}, "every day 2:30", "2026-03-29 03:00:00 +02:00"},
        ClockCase{"NewYorkGap", kNewYork, {2026, 3, 7, 10, 0}, "2:30am", "2026-03-08 03:00:00 -04:00"},
        // A time the clock repeats rings at its first occurrence.
        ClockCase{"BerlinRepeat", kBerlin, {2026, 10, 24, 10, 0}, "sun 2:30", "2026-10-25 02:30:00 +02:00"},
        ClockCase{"NewYorkRepeat", kNewYork, {2026, 10, 31, 10, 0}, "1:30am", "2026-11-01 01:30:00 -04:00"},
        // A length is elapsed time: the wall clock jumps with the change.
        ClockCase{"BerlinElapsedForward", kBerlin, {2026, 3, 29, 1, 30}, "in 2 hours", "2026-03-29 04:30:00 +02:00"},
        ClockCase{"BerlinElapsedBack", kBerlin, {2026, 10, 25, 1, 30}, "in 2 hours", "2026-10-25 02:30:00 +01:00"},
        ClockCase{"BerlinDaysAreElapsed", kBerlin, {2026, 3, 28, 10, 0}, "1d", "2026-03-29 11:00:00 +02:00"},
        // A calendar day later keeps its wall clock.
        ClockCase{"BerlinTomorrowKeepsWallClock",
                  kBerlin,
                  {2026, 3, 28, 10, 0},
                  "tomorrow 10am",
                  "2026-03-29 10:00:00 +02:00"}),
    CaseName{});

TEST(PhraseAcrossClockChange, StampsKeepTheirWallClockInAnotherZone) {
    const Calendar berlin(QString::fromUtf8(kBerlin));
    const Calendar newYork(QString::fromUtf8(kNewYork));
    const auto written = Reminder::parse(u"every day 20:30", at(berlin, 2026, 3, 11, 10, 7, 25), kAnchors, berlin);
    ASSERT_TRUE(written);
    const QString words = written->clauses(berlin);
    EXPECT_EQ(words, u"remind 2026-03-11 20:30 every day 20:30");

    // The same words read after moving to New York: 20:30 there, a different instant.
    const auto read = Reminder::split(words, newYork, kAnchors).reminder;
    ASSERT_TRUE(read);
    EXPECT_EQ(withOffset(newYork, read->next), "2026-03-11 20:30:00 -04:00");
    EXPECT_EQ(read->rule, written->rule);
    EXPECT_NE(read->next, written->next);
    EXPECT_EQ(read->clauses(newYork), words);
}

TEST(PhraseAcrossClockChange, SecondOccurrenceReadsBackAsTheFirst) {
    // The stamp holds wall-clock time only: a ring in the second pass of a repeated hour is
    // written like the first and read back as the first.
    const Calendar cal(QString::fromUtf8(kBerlin));
    const auto r = Reminder::parse(u"in 1 hour", at(cal, 2026, 10, 25, 2, 10), kAnchors, cal);
    ASSERT_TRUE(r);
    EXPECT_EQ(withOffset(cal, r->next), "2026-10-25 02:10:00 +01:00");
    const auto back = Reminder::split(r->clauses(cal), cal, kAnchors).reminder;
    ASSERT_TRUE(back);
    EXPECT_EQ(withOffset(cal, back->next), "2026-10-25 02:10:00 +02:00");
    EXPECT_EQ(back->clauses(cal), r->clauses(cal));
}

// --- The steps on their own ---

TEST(WhenWords, StartOfMinuteKeepsTheRepeatedHour) {
    const Calendar cal(QString::fromUtf8(kBerlin));
    const Instant second = at(cal, 2026, 10, 25, 2, 30) + std::chrono::hours(1) + std::chrono::milliseconds(59'999);
    EXPECT_EQ(withOffset(cal, WhenParser::startOfMinute(second, cal)), "2026-10-25 02:30:00 +01:00");
    const Instant before1970 = instantFromSeconds(-61) + std::chrono::milliseconds(500);
    EXPECT_EQ(WhenParser::startOfMinute(before1970, cal), instantFromSeconds(-120));
}

} // namespace
