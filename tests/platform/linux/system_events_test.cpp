#include "platform/linux/LinuxSystemEvents.h"

#include "support/TestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

Instant realNow() {
    return SystemClock().now();
}

TEST(RealtimeTimer, FiresAtItsLastDeadlineOnTheWallClock) {
    struct Case {
        std::string name;
        std::vector<std::optional<std::chrono::milliseconds>> deadlines; // armed in turn, from now
        bool fires;                                                      // at the last deadline
    };
    const std::vector<Case> cases{
        {"earlier", {5000ms, 300ms}, true},
        {"disarmed", {200ms, std::nullopt}, false},
        // A deadline already past fires at once.
        {"already past", {5000ms, -2000ms}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RealtimeTimer timer;
        ASSERT_TRUE(timer.isValid());
        const Instant start = realNow();
        std::optional<Instant> deadline;
        for (const auto& d : c.deadlines) {
            deadline = d ? std::optional<Instant>(start + *d) : std::nullopt;
            ASSERT_TRUE(timer.arm(deadline));
        }
        QSignalSpy fired(&timer, &RealtimeTimer::fired);
        ASSERT_EQ(fired.wait(2500), c.fires);
        if (c.fires) {
            const auto late = realNow() - std::max(*deadline, start);
            EXPECT_GE(late, 0ms); // never early
            EXPECT_LT(late, 500ms);
            EXPECT_EQ(timer.deadline(), std::nullopt);
        }
    }
}

TEST(LinuxSystemEvents, RingTimerReportsThroughTheEvents) {
    LinuxSystemEvents events(Clock::system());
    QSignalSpy fired(&events, &SystemEvents::fired);
    const Instant deadline = realNow() + 200ms;
    events.arm(deadline);
    ASSERT_TRUE(fired.wait(2000));
    EXPECT_GE(realNow(), deadline);
}

TEST(LinuxSystemEvents, MidnightIsArmedInTheClocksZone) {
    const Calendar berlin(u"Europe/Berlin"_s);
    ManualClock clock(at(berlin, 2099, 3, 14, 10, 30), berlin);
    LinuxSystemEvents events(clock);
    EXPECT_EQ(events.midnightDeadline(), at(berlin, 2099, 3, 15));
}

TEST(LinuxSystemEvents, NextMidnight) {
    struct Case {
        const char* zone;
        LocalDateTime from;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"Europe/Berlin", {2026, 3, 14, 10, 30, 0}, "2026-03-15 00:00:00 +01:00"},
        {"Europe/Berlin", {2026, 3, 14, 0, 0, 0}, "2026-03-15 00:00:00 +01:00"},        // at midnight itself
        {"America/New_York", {2026, 12, 31, 23, 59, 59}, "2027-01-01 00:00:00 -05:00"}, // the last second
        {"Europe/Berlin", {2026, 10, 25, 0, 0, 0}, "2026-10-26 00:00:00 +01:00"},       // a day of 25 hours
        // Clocks went from 00:00 to 01:00 here: that day began at 01:00.
        {"America/Sao_Paulo", {2018, 11, 3, 15, 0, 0}, "2018-11-04 01:00:00 -02:00"},
    };
    for (const Case& c : cases) {
        const Calendar calendar(QString::fromLatin1(c.zone));
        const Instant from =
            at(calendar, c.from.year, c.from.month, c.from.day, c.from.hour, c.from.minute, c.from.second);
        EXPECT_EQ(describe(calendar, LinuxSystemEvents::nextMidnight(from, calendar)), c.expected)
            << describe(calendar, from);
    }
}

} // namespace
