#include "reminders/Reminder.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;

namespace {

// The ring after `after` as stepping ring by ring from `next` finds it, giving up after 20000 rings.
std::optional<Instant> stepped(const Reminder& r, Instant after, const Calendar& calendar) {
    if (r.next > after) {
        return r.next;
    }
    Instant cursor = r.next;
    for (int step = 0; step < 20000; ++step) {
        const auto following = r.ring(cursor, calendar);
        if (!following) {
            return std::nullopt;
        }
        if (*following > after) {
            return following;
        }
        cursor = *following;
    }
    return r.ring(after, calendar);
}

std::string shown(const Calendar& calendar, const std::optional<Instant>& t) {
    return t ? describe(calendar, *t) : std::string("none");
}

// --- A long-overdue interval skips whole days and lands where stepping lands ---

struct OverdueCase {
    std::string name;
    QString zone;
    Rule rule;
    LocalDateTime next;
    std::int64_t daysLater; // `after` is this many days after next's day...
    int minuteOfDay;        // ...at this minute of that day
};

void PrintTo(const OverdueCase& c, std::ostream* os) {
    *os << c.name;
}

class Overdue : public ::testing::TestWithParam<OverdueCase> {};

TEST_P(Overdue, LandsWhereSteppingLands) {
    const OverdueCase& c = GetParam();
    const Calendar calendar(c.zone);
    const Reminder r = repeat(at(calendar, c.next.year, c.next.month, c.next.day, c.next.hour, c.next.minute), c.rule);
    const auto day = calendar.addingDays(calendar.settingTime(r.next, 12 * 60), c.daysLater);
    ASSERT_TRUE(day.has_value());
    const Instant after = calendar.settingTime(*day, c.minuteOfDay);
    EXPECT_EQ(shown(calendar, r.nextRing(after, calendar)), shown(calendar, stepped(r, after, calendar)));
}

std::vector<OverdueCase> overdueCases() {
    const Rule threeHours = interval(180, hm(8, 30), hm(20, 30)); // 5 rings a day
    const Rule ninety = interval(90, hm(0, 0), hm(12, 0));        // 9 rings a day, from midnight
    const Rule quarter = interval(45, hm(7, 0), hm(22, 0));       // 21 rings a day
    std::vector<OverdueCase> cases{
        {"Berlin10Days", u"Europe/Berlin"_s, threeHours, {2026, 3, 11, 9, 0}, 10, 10 * 60},
        {"NextOffTheCadence", u"Europe/Berlin"_s, threeHours, {2026, 3, 11, 19, 47}, 30, 13 * 60 + 1},
        {"NextBeforeItsWindow", u"Europe/Berlin"_s, threeHours, {2026, 3, 11, 6, 10}, 30, 8 * 60 + 30},
        {"NextAfterItsWindow", u"Europe/Berlin"_s, threeHours, {2026, 3, 11, 23, 50}, 30, 20 * 60 + 30},
        {"AcrossBothChangesOfAYear", u"Europe/Berlin"_s, quarter, {2026, 1, 5, 7, 0}, 400, 15 * 60 + 20},
        {"NewYork", u"America/New_York"_s, quarter, {2025, 10, 1, 7, 30}, 200, 21 * 60 + 59},
        {"LordHoweHalfHourChanges", u"Australia/Lord_Howe"_s, quarter, {2025, 3, 1, 7, 0}, 420, 9 * 60},
        {"MidnightSkippedAtTheOpening", u"America/Sao_Paulo"_s, ninety, {2018, 10, 1, 0, 0}, 200, 11 * 60},
        {"WholeDaySkipped", u"Pacific/Apia"_s, threeHours, {2011, 12, 1, 9, 0}, 60, 14 * 60},
        // Too little night for a fresh start each day: the cadence runs on across midnight.
        {"NoFreshStartEachDay",
         u"Europe/Berlin"_s,
         interval(100, hm(0, 30), hm(23, 50)),
         {2026, 3, 11, 0, 30},
         31,
         12 * 60},
    };
    // Around the point where stepping gives up (20000 rings): 5 a day give out after 4000 days, 9 a
    // day after about 2222.
    for (const std::int64_t days : {3990, 3996, 3998, 3999, 4000, 4001, 4002, 4010}) {
        cases.push_back({"ThreeHoursFor" + std::to_string(days) + "Days",
                         u"Europe/Berlin"_s,
                         threeHours,
                         {2014, 3, 11, 9, 0},
                         days,
                         14 * 60});
    }
    for (const std::int64_t days : {2218, 2221, 2222, 2223, 2226}) {
        cases.push_back({"NinetyFor" + std::to_string(days) + "Days",
                         u"America/New_York"_s,
                         ninety,
                         {2019, 6, 1, 0, 0},
                         days,
                         4 * 60 + 20});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Reminders, Overdue, ::testing::ValuesIn(overdueCases()), CaseName());

// --- Offset changes of a zone ---

TEST(OffsetChanges, ListsEachChangeWithItsSize) {
    struct Case {
        std::string name;
        QString zone;
        LocalDateTime from; // in UTC
        LocalDateTime to;
        int limit;
        std::vector<std::pair<std::string, int>> expected; // UTC moment, seconds
    };
    const std::vector<Case> cases{
        {"Berlin's year",
         u"Europe/Berlin"_s,
         {2026, 1, 1},
         {2027, 1, 1},
         10,
         {{"2026-03-29 01:00:00 +00:00", 3600}, {"2026-10-25 01:00:00 +00:00", -3600}}},
        {"limited", u"Europe/Berlin"_s, {2026, 1, 1}, {2027, 1, 1}, 1, {{"2026-03-29 01:00:00 +00:00", 3600}}},
        {"the end is included",
         u"Europe/Berlin"_s,
         {2026, 3, 29, 0, 0, 0},
         {2026, 3, 29, 1, 0, 0},
         10,
         {{"2026-03-29 01:00:00 +00:00", 3600}}},
        {"the start is not", u"Europe/Berlin"_s, {2026, 3, 29, 1, 0, 0}, {2026, 10, 1}, 10, {}},
        {"half an hour",
         u"Australia/Lord_Howe"_s,
         {2026, 1, 1},
         {2026, 6, 1},
         10,
         {{"2026-04-04 15:00:00 +00:00", -1800}}},
        {"a whole day", u"Pacific/Apia"_s, {2011, 12, 1}, {2012, 1, 31}, 10, {{"2011-12-30 10:00:00 +00:00", 86400}}},
        {"none in UTC", u"UTC"_s, {2000, 1, 1}, {2030, 1, 1}, 10, {}},
    };
    const Calendar utc(u"UTC"_s);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Calendar calendar(c.zone);
        const Instant from = at(utc, c.from.year, c.from.month, c.from.day, c.from.hour, c.from.minute);
        const Instant to = at(utc, c.to.year, c.to.month, c.to.day, c.to.hour, c.to.minute);
        std::vector<std::pair<std::string, int>> got;
        for (const Calendar::OffsetChange& change : calendar.offsetChanges(from, to, c.limit)) {
            got.emplace_back(describe(utc, change.at), change.deltaSeconds);
        }
        EXPECT_EQ(got, c.expected);
    }
}

} // namespace
