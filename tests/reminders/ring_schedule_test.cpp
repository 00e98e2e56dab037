#include "reminders/Reminder.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace plim::test;

namespace {

const QString kBerlin = u"Europe/Berlin"_s;
const QString kNewYork = u"America/New_York"_s;
const QString kSydney = u"Australia/Sydney"_s;

TEST(RingAfter, GivesTheFirstRingStrictlyLaterAndNoneAtTheEndsOfTime) {
    const Rule nine = times(everyDay(), {hm(9, 0)});
    const Rule officeHours = interval(90, hm(9, 0), hm(17, 0));
    const Rule allDayHourly = interval(60, hm(0, 0), hm(23, 59));
    // The zone, the rule, the moment after which, the ring ("yyyy-MM-dd HH:mm:ss xxx" or "none").
    const std::tuple<QString, Rule, Wall, std::string> cases[] = {
        // A time reached exactly is passed; seconds before it are not.
        {kBerlin, nine, {2026, 3, 11, 9, 0}, "2026-03-12 09:00:00 +01:00"},
        {kBerlin, nine, {2026, 3, 11, 8, 59, 30}, "2026-03-11 09:00:00 +01:00"},
        {kBerlin, times(onDays({2}), {hm(9, 0)}), {2026, 3, 9, 10, 0}, "2026-03-16 09:00:00 +01:00"},
        {kNewYork, times(weekdays(), {hm(9, 0), hm(17, 0)}), {2026, 3, 13, 18, 0}, "2026-03-16 09:00:00 -04:00"},
        {kBerlin, times(everyDay(), {hm(17, 0), hm(9, 0)}), {2026, 3, 11, 8, 0}, "2026-03-11 09:00:00 +01:00"},
        {kBerlin, times(onDays({}), {hm(10, 0)}), {2026, 3, 11, 12, 0}, "none"},
        {kBerlin, times(everyDay(), {TimeOfDay{1440}}), {2026, 3, 11, 12, 0}, "none"},
        // Clock changes: a day later keeps the wall clock; a skipped time rings at the next existing time, a
        // repeated one at its first occurrence.
        {kBerlin, nine, {2026, 3, 28, 9, 0}, "2026-03-29 09:00:00 +02:00"},
        {kBerlin, times(everyDay(), {hm(2, 30)}), {2026, 3, 29, 0, 0}, "2026-03-29 03:00:00 +02:00"},
        {kBerlin, times(everyDay(), {hm(2, 30)}), {2026, 10, 25, 0, 0}, "2026-10-25 02:30:00 +02:00"},
        // Intervals count elapsed time and respect the window, whose end is inclusive.
        {kBerlin, officeHours, {2026, 3, 11, 15, 30}, "2026-03-11 17:00:00 +01:00"},
        {kBerlin, officeHours, {2026, 3, 11, 16, 0}, "2026-03-12 09:00:00 +01:00"},
        {kBerlin, officeHours, {2026, 3, 11, 2, 0}, "2026-03-11 09:00:00 +01:00"},
        {kNewYork, interval(180, hm(8, 30), hm(20, 30)), {2026, 3, 11, 10, 7, 25}, "2026-03-11 13:07:25 -04:00"},
        {kBerlin, allDayHourly, {2026, 3, 29, 1, 30}, "2026-03-29 03:30:00 +02:00"},
        {kBerlin, allDayHourly, {2026, 10, 25, 2, 30}, "2026-10-25 02:30:00 +01:00"},
        // 02:50 summer time plus 20 minutes is 02:10 winter time: the window opened at the first 02:30 already.
        {kBerlin, interval(20, hm(2, 30), hm(20, 0)), {2026, 10, 25, 2, 50}, "2026-10-25 02:10:00 +01:00"},
        {kSydney, interval(60, hm(8, 30), hm(20, 30)), {2026, 10, 3, 20, 0}, "2026-10-04 08:30:00 +11:00"},
        {kBerlin, interval(0, hm(0, 0), hm(23, 59)), {2026, 3, 11, 12, 0}, "none"},
        {kBerlin, interval(INT_MAX, hm(0, 0), hm(23, 59)), {2026, 3, 11, 12, 0}, "6109-04-03 15:07:00 +02:00"},
    };
    for (const auto& [zone, rule, from, expected] : cases) {
        const Calendar cal(zone);
        const Instant after = wall(cal, from);
        const auto ring = repeat(after, rule).ring(after, cal);
        EXPECT_EQ(shown(cal, ring), expected) << rule.text().toStdString() << " after " << describe(cal, after);
    }
    // The ends of time give no ring.
    const Calendar cal(kBerlin);
    for (const Instant t : {Instant::max(), Instant::min(), Instant(8'639'999'999'999'000ms)}) {
        for (const Rule& rule : {times(everyDay(), {hm(9, 0)}), interval(1, hm(0, 0), hm(23, 59)),
                                 interval(INT_MAX, hm(0, 0), hm(23, 59))}) {
            const Reminder r = repeat(t, rule);
            EXPECT_FALSE(r.ring(t, cal)) << t.time_since_epoch().count();
            EXPECT_FALSE(r.nextRing(t, cal));
            EXPECT_LE(r.unansweredRings(t, cal), 1);
        }
    }
}

// The count of rings by `at` as the schedule defines it (up to 999), and the ring after `at`: ring after
// ring through the calendar from `next`, giving up after 20000 rings.
std::pair<int, std::optional<Instant>> stepping(const Reminder& r, Instant at, const Calendar& calendar) {
    int count = 0;
    std::optional<Instant> cursor = r.next;
    for (; cursor && *cursor <= at && count < 20000; ++count) {
        cursor = r.ring(*cursor, calendar);
    }
    return {std::min(count, 999), cursor && *cursor <= at ? r.ring(at, calendar) : cursor};
}

// The count of rings missed and the next ring, on random rules (and one-time reminders), zones and
// spans of up to 800 days.
TEST(UnansweredRings, CountsAndLandsWhereSteppingDoes) {
    // Zones with clock changes of an hour, half an hour and two hours, at midnight, a skipped day,
    // and none at all.
    const char* const zones[] = {"Europe/Berlin",  "America/New_York", "Australia/Lord_Howe", "Pacific/Apia",
                                 "America/Havana", "Antarctica/Troll", "America/Sao_Paulo",   "UTC"};
    const int lengths[] = {1, 7, 20, 45, 90, 100, 180, 360, 719, 1000, 1380, 1439};
    std::uint64_t seed = 0x9e3779b97f4a7c15ULL;
    const auto below = [&](int n) { // splitmix64
        std::uint64_t z = (seed += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return static_cast<int>((z ^ (z >> 31)) % static_cast<std::uint64_t>(n));
    };
    // Times of day mostly in the small hours, where clocks change.
    const auto timeOfDay = [&] { return TimeOfDay{below(3) == 0 ? below(1440) : below(5 * 60)}; };
    for (int i = 0; i < 300; ++i) {
        const Calendar cal(QString::fromLatin1(zones[below(std::size(zones))]));
        const auto randomRule = [&] {
            if (below(2) == 0) {
                QList<TimeOfDay> list;
                for (int n = 1 + below(4); n > 0; --n) {
                    list.append(timeOfDay());
                }
                std::sort(list.begin(), list.end());
                QList<int> days;
                for (int d = 1; d <= 7; ++d) {
                    if (below(3) == 0) {
                        days.append(d);
                    }
                }
                const Days all[] = {everyDay(), weekdays(), Days{Days::On{days}}};
                return Rule{Rule::Times{all[below(3)], list}};
            }
            const TimeOfDay a = timeOfDay();
            const TimeOfDay b = timeOfDay();
            const int length = below(4) == 0 ? 1 + below(1439) : lengths[below(std::size(lengths))];
            return a == b ? interval(length, hm(0, 0), hm(23, 59)) : interval(length, std::min(a, b), std::max(a, b));
        };
        const Rule rule = randomRule();
        Instant next = at(cal, 2010 + below(18), 1 + below(12), 1 + below(28), below(24), below(60), below(60));
        // Mostly hours around a clock change, where the count is easiest to get wrong.
        const auto changes = cal.offsetChanges(next, next + std::chrono::days(400), 1);
        if (!changes.isEmpty() && below(4) > 0) {
            next = changes.first().at + std::chrono::seconds(below(6 * 86400) - 3 * 86400);
        }
        const std::int64_t spans[] = {below(600), below(3 * 1440), below(40 * 1440), below(800 * 1440)};
        const Reminder r = below(8) == 0 ? once(next) : repeat(next, rule);
        Instant now = next + std::chrono::minutes(spans[below(std::size(spans))] - 30);
        if (below(4) == 0) { // right at a ring
            now = stepping(r, now, cal).second.value_or(r.next);
        }
        SCOPED_TRACE(cal.zoneId().toStdString() + " every " + rule.text().toStdString() + " from " +
                     describe(cal, next) + " to " + describe(cal, now));
        EXPECT_EQ(r.unansweredRings(now, cal), stepping(r, now, cal).first);
        EXPECT_EQ(shown(cal, r.nextRing(now, cal)), shown(cal, stepping(r, now, cal).second));
    }
}

// Around the point where stepping gives up (20000 rings): 5 rings a day give out after 4000 days,
// 9 a day (from midnight, where a zone may skip it) after about 2222.
TEST(Overdue, LandsWhereSteppingLandsWhenSteppingGivesUp) {
    const Calendar berlin(kBerlin);
    const Calendar newYork(kNewYork);
    const std::tuple<const Calendar*, Reminder, std::vector<int>, int> cases[] = {
        {&berlin,
         repeat(at(berlin, 2014, 3, 11, 9, 0), interval(180, hm(8, 30), hm(20, 30))),
         {3990, 3996, 3998, 3999, 4000, 4001, 4002, 4010},
         14 * 60},
        {&newYork,
         repeat(at(newYork, 2019, 6, 1, 0, 0), interval(90, hm(0, 0), hm(12, 0))),
         {2218, 2221, 2222, 2223, 2226},
         4 * 60 + 20},
    };
    for (const auto& [cal, r, days, minuteOfDay] : cases) {
        for (const int d : days) {
            const auto day = cal->addingDays(cal->settingTime(r.next, 12 * 60), d);
            ASSERT_TRUE(day.has_value());
            const Instant after = cal->settingTime(*day, minuteOfDay);
            EXPECT_EQ(shown(*cal, r.nextRing(after, *cal)), shown(*cal, stepping(r, after, *cal).second)) << d;
        }
    }
}

} // namespace
