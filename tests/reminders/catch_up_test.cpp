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
        if (!following || *following > after) {
            return following;
        }
        cursor = *following;
    }
    return r.ring(after, calendar);
}

// --- A long-overdue interval skips whole days and lands where stepping lands ---

struct OverdueCase {
    std::string name;
    const char* zone;
    Rule rule;
    LocalDateTime next;
    std::int64_t daysLater; // `after` is this many days after next's day...
    int minuteOfDay;        // ...at this minute of that day
};

class Overdue : public ::testing::TestWithParam<OverdueCase> {};

TEST_P(Overdue, LandsWhereSteppingLands) {
    const OverdueCase& c = GetParam();
    const Calendar calendar(QString::fromLatin1(c.zone));
    const Reminder r = repeat(at(calendar, c.next.year, c.next.month, c.next.day, c.next.hour, c.next.minute), c.rule);
    const auto day = calendar.addingDays(calendar.settingTime(r.next, 12 * 60), c.daysLater);
    ASSERT_TRUE(day.has_value());
    const Instant after = calendar.settingTime(*day, c.minuteOfDay);
    const auto shown = [&](std::optional<Instant> t) { return t ? describe(calendar, *t) : std::string("none"); };
    EXPECT_EQ(shown(r.nextRing(after, calendar)), shown(stepped(r, after, calendar)));
}

std::vector<OverdueCase> overdueCases() {
    const Rule threeHours = interval(180, hm(8, 30), hm(20, 30)); // 5 rings a day
    const Rule ninety = interval(90, hm(0, 0), hm(12, 0));        // 9 rings a day, from midnight
    const Rule quarter = interval(45, hm(7, 0), hm(22, 0));       // 21 rings a day
    // Too little night for a fresh start each day: the cadence runs on across midnight.
    const Rule allDay = interval(100, hm(0, 30), hm(23, 50));
    std::vector<OverdueCase> cases{
        {"Berlin10Days", "Europe/Berlin", threeHours, {2026, 3, 11, 9, 0}, 10, 10 * 60},
        {"NextOffTheCadence", "Europe/Berlin", threeHours, {2026, 3, 11, 19, 47}, 30, 13 * 60 + 1},
        {"NextBeforeItsWindow", "Europe/Berlin", threeHours, {2026, 3, 11, 6, 10}, 30, 8 * 60 + 30},
        {"NextAfterItsWindow", "Europe/Berlin", threeHours, {2026, 3, 11, 23, 50}, 30, 20 * 60 + 30},
        {"AcrossBothChangesOfAYear", "Europe/Berlin", quarter, {2026, 1, 5, 7, 0}, 400, 15 * 60 + 20},
        {"NewYork", "America/New_York", quarter, {2025, 10, 1, 7, 30}, 200, 21 * 60 + 59},
        {"LordHoweHalfHourChanges", "Australia/Lord_Howe", quarter, {2025, 3, 1, 7, 0}, 420, 9 * 60},
        {"MidnightSkippedAtTheOpening", "America/Sao_Paulo", ninety, {2018, 10, 1, 0, 0}, 200, 11 * 60},
        {"WholeDaySkipped", "Pacific/Apia", threeHours, {2011, 12, 1, 9, 0}, 60, 14 * 60},
        {"NoFreshStartEachDay", "Europe/Berlin", allDay, {2026, 3, 11, 0, 30}, 31, 12 * 60},
    };
    // Around the point where stepping gives up (20000 rings): 5 a day give out after 4000 days, 9 a
    // day after about 2222.
    for (const int d : {3990, 3996, 3998, 3999, 4000, 4001, 4002, 4010}) {
        cases.push_back(
            {"ThreeHours" + std::to_string(d), "Europe/Berlin", threeHours, {2014, 3, 11, 9, 0}, d, 14 * 60});
    }
    for (const int d : {2218, 2221, 2222, 2223, 2226}) {
        cases.push_back({"Ninety" + std::to_string(d), "America/New_York", ninety, {2019, 6, 1, 0, 0}, d, 4 * 60 + 20});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Reminders, Overdue, ::testing::ValuesIn(overdueCases()), CaseName());

// --- Offset changes of a zone ---

TEST(OffsetChanges, ListsEachChangeWithItsSize) {
    struct Case {
        std::string name;
        const char* zone;
        LocalDateTime from; // in UTC
        LocalDateTime to;
        int limit;
        std::string expected; // UTC moment and seconds of each change
    };
    const std::vector<Case> cases{
        {"a year", "Europe/Berlin", {2026, 1, 1}, {2027, 1, 1}, 10, "2026-03-29 01:00 3600, 2026-10-25 01:00 -3600"},
        {"limited", "Europe/Berlin", {2026, 1, 1}, {2027, 1, 1}, 1, "2026-03-29 01:00 3600"},
        {"the end is included", "Europe/Berlin", {2026, 3, 29}, {2026, 3, 29, 1}, 10, "2026-03-29 01:00 3600"},
        {"the start is not", "Europe/Berlin", {2026, 3, 29, 1}, {2026, 10, 1}, 10, ""},
        {"half an hour", "Australia/Lord_Howe", {2026, 1, 1}, {2026, 6, 1}, 10, "2026-04-04 15:00 -1800"},
        {"a whole day", "Pacific/Apia", {2011, 12, 1}, {2012, 1, 31}, 10, "2011-12-30 10:00 86400"},
        {"none in UTC", "UTC", {2000, 1, 1}, {2030, 1, 1}, 10, ""},
    };
    const Calendar utc(u"UTC"_s);
    const auto instant = [&](const LocalDateTime& d) { return at(utc, d.year, d.month, d.day, d.hour, d.minute); };
    for (const Case& c : cases) {
        std::string got;
        for (const auto& change :
             Calendar(QString::fromLatin1(c.zone)).offsetChanges(instant(c.from), instant(c.to), c.limit)) {
            got += (got.empty() ? "" : ", ") + utc.formatPosix(change.at, u"yyyy-MM-dd HH:mm"_s).toStdString() + ' ' +
                   std::to_string(change.deltaSeconds);
        }
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

} // namespace
