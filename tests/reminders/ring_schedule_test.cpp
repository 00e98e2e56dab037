#include "reminders/Reminder.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;

namespace {

const QString kBerlin = QStringLiteral("Europe/Berlin");
const QString kNewYork = QStringLiteral("America/New_York");
const QString kSydney = QStringLiteral("Australia/Sydney");

struct Wall {
    int y, mo, d, h, mi, s = 0;
};

Instant wall(const Calendar& calendar, const Wall& w) {
    return at(calendar, w.y, w.mo, w.d, w.h, w.mi, w.s);
}

std::string shown(const Calendar& calendar, const std::optional<Instant>& t) {
    return t ? describe(calendar, *t) : std::string("none");
}

// --- ring(after:) ---

struct RingCase {
    std::string name;
    QString zone;
    Rule rule;
    Wall after;
    std::string expected; // "yyyy-MM-dd HH:mm:ss xxx" or "none"
};

void PrintTo(const RingCase& c, std::ostream* os) {
    *os << c.name;
}

class RingAfter : public ::testing::TestWithParam<RingCase> {};

TEST_P(RingAfter, GivesTheFirstRingStrictlyLater) {
    const RingCase& c = GetParam();
    const Calendar cal(c.zone);
    const Instant after = wall(cal, c.after);
    const auto ring = repeat(after, c.rule).ring(after, cal);
    EXPECT_EQ(shown(cal, ring), c.expected);
    if (ring) {
        EXPECT_GT(*ring, after);
    }
}

std::vector<RingCase> ringCases() {
    const Rule nine = times(everyDay(), {hm(9, 0)});
    const Rule officeHours = interval(90, hm(9, 0), hm(17, 0));
    const Rule threeHours = interval(180, hm(8, 30), hm(20, 30));
    const Rule halfPastTwo = times(everyDay(), {hm(2, 30)});
    const Rule halfPastOne = times(everyDay(), {hm(1, 30)});
    return {
        {"TimeReachedExactlyMovesToTomorrow", kBerlin, nine, {2026, 3, 11, 9, 0}, "2026-03-12 09:00:00 +01:00"},
        {"SecondsBeforeTheTimeRingToday", kBerlin, nine, {2026, 3, 11, 8, 59, 30}, "2026-03-11 09:00:00 +01:00"},
        {"MondayAskedOnMondayAfterTheTime",
         kBerlin,
         times(onDays({2}), {hm(9, 0)}),
         {2026, 3, 9, 10, 0},
         "2026-03-16 09:00:00 +01:00"},
        {"WeekdaysFridayEveningGoToMonday",
         kNewYork,
         times(weekdays(), {hm(9, 0), hm(17, 0)}),
         {2026, 3, 13, 18, 0},
         "2026-03-16 09:00:00 -04:00"},
        {"UnsortedTimesTakeTheEarliest",
         kBerlin,
         times(everyDay(), {hm(17, 0), hm(9, 0)}),
         {2026, 3, 11, 8, 0},
         "2026-03-11 09:00:00 +01:00"},
        {"NoDaysNeverRings", kBerlin, times(onDays({}), {hm(10, 0)}), {2026, 3, 11, 12, 0}, "none"},
        {"TimeOutOfRangeNeverRings", kBerlin, times(everyDay(), {TimeOfDay{1440}}), {2026, 3, 11, 12, 0}, "none"},
        {"NextDayAfterSpringForwardIs23HoursLater", kBerlin, nine, {2026, 3, 28, 9, 0}, "2026-03-29 09:00:00 +02:00"},
        // Clock changes: a skipped time rings at the next existing time, a repeated one at its first occurrence.
        {"BerlinSkippedTimeRingsAtThree", kBerlin, halfPastTwo, {2026, 3, 29, 0, 0}, "2026-03-29 03:00:00 +02:00"},
        {"BerlinRepeatedTimeRingsFirst", kBerlin, halfPastTwo, {2026, 10, 25, 0, 0}, "2026-10-25 02:30:00 +02:00"},
        {"NewYorkRepeatedTimeRingsFirst", kNewYork, halfPastOne, {2026, 11, 1, 0, 0}, "2026-11-01 01:30:00 -04:00"},
        // Intervals count elapsed time and respect the window, whose end is inclusive.
        {"IntervalReachesTheWindowEnd", kBerlin, officeHours, {2026, 3, 11, 15, 30}, "2026-03-11 17:00:00 +01:00"},
        {"IntervalPastTheEndWaitsForTomorrow",
         kBerlin,
         officeHours,
         {2026, 3, 11, 16, 0},
         "2026-03-12 09:00:00 +01:00"},
        {"IntervalBeforeTheWindowWaitsForIt", kBerlin, officeHours, {2026, 3, 11, 2, 0}, "2026-03-11 09:00:00 +01:00"},
        {"IntervalKeepsSeconds", kNewYork, threeHours, {2026, 3, 11, 10, 7, 25}, "2026-03-11 13:07:25 -04:00"},
        {"IntervalIsElapsedAcrossSpringForward",
         kBerlin,
         interval(60, hm(0, 0), hm(23, 59)),
         {2026, 3, 29, 1, 30},
         "2026-03-29 03:30:00 +02:00"},
        {"IntervalIsElapsedAcrossFallBack",
         kBerlin,
         interval(60, hm(0, 0), hm(23, 59)),
         {2026, 10, 25, 2, 30},
         "2026-10-25 02:30:00 +01:00"},
        // 02:50 summer time plus 20 minutes is 02:10 winter time: the window opened at the first 02:30 already.
        {"IntervalInRepeatedHourStaysAhead",
         kBerlin,
         interval(20, hm(2, 30), hm(20, 0)),
         {2026, 10, 25, 2, 50},
         "2026-10-25 02:10:00 +01:00"},
        {"IntervalNextMorningAfterSpringForward",
         kSydney,
         interval(60, hm(8, 30), hm(20, 30)),
         {2026, 10, 3, 20, 0},
         "2026-10-04 08:30:00 +11:00"},
        {"ZeroMinutesNeverRing", kBerlin, interval(0, hm(0, 0), hm(23, 59)), {2026, 3, 11, 12, 0}, "none"},
        {"HugeIntervalStillComputes",
         kBerlin,
         interval(INT_MAX, hm(0, 0), hm(23, 59)),
         {2026, 3, 11, 12, 0},
         "6109-04-03 15:07:00 +02:00"},
    };
}

INSTANTIATE_TEST_SUITE_P(Rules, RingAfter, ::testing::ValuesIn(ringCases()), CaseName());

TEST(RingAfter, TheEndsOfTimeGiveNoRing) {
    const Calendar cal(kBerlin);
    const std::vector<Instant> extremes = {Instant::max(), Instant::min(),
                                           Instant(std::chrono::milliseconds(8'639'999'999'999'000))};
    const std::vector<Rule> rules = {times(everyDay(), {hm(9, 0)}), interval(1, hm(0, 0), hm(23, 59)),
                                     interval(INT_MAX, hm(0, 0), hm(23, 59))};
    for (const Instant t : extremes) {
        for (const Rule& rule : rules) {
            const Reminder r = repeat(t, rule);
            EXPECT_FALSE(r.ring(t, cal)) << t.time_since_epoch().count();
            EXPECT_FALSE(r.nextRing(t, cal));
            EXPECT_LE(r.unansweredRings(t, cal), 1);
        }
    }
}

// --- nextRing(after:) and unansweredRings(at:) ---

struct CatchUpCase {
    std::string name;
    QString zone;
    std::optional<Rule> rule;
    Wall next;
    Wall now;
    std::string expectedNext; // nextRing(after: now)
    int expectedUnanswered;   // unansweredRings(at: now)
};

void PrintTo(const CatchUpCase& c, std::ostream* os) {
    *os << c.name;
}

class CatchUp : public ::testing::TestWithParam<CatchUpCase> {};

TEST_P(CatchUp, StepsOnFromTheStoredRing) {
    const CatchUpCase& c = GetParam();
    const Calendar cal(c.zone);
    const Reminder r{wall(cal, c.next), c.rule, false};
    const Instant now = wall(cal, c.now);
    EXPECT_EQ(shown(cal, r.nextRing(now, cal)), c.expectedNext);
    EXPECT_EQ(r.unansweredRings(now, cal), c.expectedUnanswered);
}

std::vector<CatchUpCase> catchUpCases() {
    const Rule threeHours = interval(180, hm(8, 30), hm(20, 30));
    const Rule nine = times(everyDay(), {hm(9, 0)});
    return {
        {"AwayThenBackKeepsTheCadence",
         kBerlin,
         threeHours,
         {2026, 3, 11, 9, 0},
         {2026, 3, 11, 15, 10},
         "2026-03-11 18:00:00 +01:00",
         3},
        {"IntervalOvernightRestartsAtTheOpening",
         kBerlin,
         threeHours,
         {2026, 3, 10, 18, 0},
         {2026, 3, 11, 10, 0},
         "2026-03-11 11:30:00 +01:00",
         2},
        {"NotYetDue", kBerlin, threeHours, {2026, 3, 11, 12, 0}, {2026, 3, 11, 10, 7}, "2026-03-11 12:00:00 +01:00", 0},
        {"DueThisVeryMoment",
         kBerlin,
         threeHours,
         {2026, 3, 11, 12, 0},
         {2026, 3, 11, 12, 0},
         "2026-03-11 15:00:00 +01:00",
         1},
        {"TimesSkipMissedDays",
         kBerlin,
         nine,
         {2026, 3, 8, 9, 0},
         {2026, 3, 11, 10, 7},
         "2026-03-12 09:00:00 +01:00",
         4},
        {"TimesCountAcrossSpringForward",
         kNewYork,
         nine,
         {2026, 3, 7, 9, 0},
         {2026, 3, 9, 8, 59},
         "2026-03-09 09:00:00 -04:00",
         2},
        {"OneTimePastDue", kBerlin, std::nullopt, {2026, 3, 11, 9, 0}, {2026, 3, 11, 10, 7}, "none", 1},
        {"OneTimeAhead",
         kBerlin,
         std::nullopt,
         {2026, 3, 12, 9, 0},
         {2026, 3, 11, 10, 7},
         "2026-03-12 09:00:00 +01:00",
         0},
        {"LongRingingRepeatIsCapped",
         kBerlin,
         interval(1, hm(0, 0), hm(23, 59)),
         {2026, 3, 10, 9, 0},
         {2026, 3, 11, 10, 7},
         "2026-03-11 10:08:00 +01:00",
         999},
        // Stepping gives up after 20000 rings; the repeat then restarts its count at now instead of ending.
        {"AwayLongerThanTheStepLimit",
         kBerlin,
         interval(1, hm(0, 0), hm(23, 59)),
         {2026, 1, 1, 9, 0, 30},
         {2026, 3, 11, 10, 7},
         "2026-03-11 10:08:00 +01:00",
         999},
        {"NeverRingingRuleStopsStepping",
         kBerlin,
         times(onDays({}), {hm(9, 0)}),
         {2026, 3, 10, 9, 0},
         {2026, 3, 11, 10, 7},
         "none",
         1},
    };
}

INSTANTIATE_TEST_SUITE_P(Reminders, CatchUp, ::testing::ValuesIn(catchUpCases()), CaseName());

TEST(TimeOfDay, IsWallClockHoursAndMinutes) {
    struct Case {
        QString zone;
        Wall at;
        int minutes;
    };
    const std::vector<Case> cases = {
        {kBerlin, {2026, 3, 11, 10, 7, 59}, 607},
        {kNewYork, {2026, 3, 11, 23, 59}, 1439},
        {kSydney, {2026, 3, 11, 0, 0}, 0},
        {kBerlin, {2026, 3, 29, 2, 30}, 180}, // skipped: resolves to 03:00
    };
    for (const Case& c : cases) {
        const Calendar cal(c.zone);
        EXPECT_EQ(timeOfDay(wall(cal, c.at), cal).minutes, c.minutes) << c.zone.toStdString();
    }
    // The same instant is a different time of day in another zone.
    const Instant t = at(Calendar(kBerlin), 2026, 3, 11, 10, 7);
    EXPECT_EQ(timeOfDay(t, Calendar(kNewYork)).minutes, 5 * 60 + 7);
}

} // namespace
