#include "platform/linux/LinuxSystemEvents.h"

#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

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

// How far from `deadline` (on the wall clock) the timer fired; none when it did not within `wait`.
std::optional<std::chrono::milliseconds> firedAfter(RealtimeTimer& timer, Instant deadline,
                                                    std::chrono::milliseconds wait) {
    QSignalSpy fired(&timer, &RealtimeTimer::fired);
    if (!fired.wait(static_cast<int>(wait.count()))) {
        return std::nullopt;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(realNow() - deadline);
}

TEST(RealtimeTimer, FiresAtItsWallClockDeadline) {
    RealtimeTimer timer;
    ASSERT_TRUE(timer.isValid());
    const Instant deadline = realNow() + 1s;
    ASSERT_TRUE(timer.arm(deadline));
    const auto late = firedAfter(timer, deadline, 3s);
    ASSERT_TRUE(late.has_value());
    EXPECT_GE(late->count(), 0);    // never early
    EXPECT_LT(late->count(), 1000); // and within a second of it
    EXPECT_EQ(timer.deadline(), std::nullopt);
}

TEST(RealtimeTimer, ArmingAgainReplacesTheDeadline) {
    struct Case {
        std::string name;
        std::chrono::milliseconds first; // from now
        std::optional<std::chrono::milliseconds> second;
        bool fires; // at the second deadline
    };
    const std::vector<Case> cases{
        {"earlier", 5000ms, 300ms, true},
        {"disarmed", 200ms, std::nullopt, false},
        {"already past", 5000ms, -2000ms, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RealtimeTimer timer;
        const Instant start = realNow();
        ASSERT_TRUE(timer.arm(start + c.first));
        const std::optional<Instant> second =
            c.second ? std::optional<Instant>(start + *c.second) : std::optional<Instant>();
        ASSERT_TRUE(timer.arm(second));
        // A deadline already past fires at once.
        const auto late = firedAfter(timer, std::max(second.value_or(start), start), 1500ms);
        ASSERT_EQ(late.has_value(), c.fires);
        if (late) {
            EXPECT_GE(late->count(), 0);
            EXPECT_LT(late->count(), 500);
        }
    }
}

TEST(LinuxSystemEvents, RingTimerReportsThroughTheEvents) {
    LinuxSystemEvents events(Clock::system());
    QSignalSpy fired(&events, &SystemEvents::fired);
    const Instant deadline = realNow() + 200ms;
    events.arm(deadline);
    EXPECT_EQ(events.ringDeadline(), deadline);
    ASSERT_TRUE(fired.wait(2000));
    EXPECT_GE(realNow(), deadline);
    events.arm(std::nullopt);
    EXPECT_EQ(events.ringDeadline(), std::nullopt);
}

TEST(LinuxSystemEvents, MidnightIsArmedInTheClocksZone) {
    const Calendar berlin(u"Europe/Berlin"_s);
    ManualClock clock(at(berlin, 2099, 3, 14, 10, 30), berlin);
    LinuxSystemEvents events(clock);
    EXPECT_EQ(events.midnightDeadline(), at(berlin, 2099, 3, 15));
}

TEST(LinuxSystemEvents, NextMidnight) {
    struct Case {
        std::string name;
        QString zone;
        LocalDateTime from;
        LocalDateTime expected;
    };
    const std::vector<Case> cases{
        {"ordinary day", u"Europe/Berlin"_s, {2026, 3, 14, 10, 30, 0}, {2026, 3, 15, 0, 0, 0}},
        {"at midnight itself", u"Europe/Berlin"_s, {2026, 3, 14, 0, 0, 0}, {2026, 3, 15, 0, 0, 0}},
        {"last second of the day", u"America/New_York"_s, {2026, 12, 31, 23, 59, 59}, {2027, 1, 1, 0, 0, 0}},
        // Clocks went from 00:00 to 01:00 here: that day began at 01:00.
        {"midnight skipped", u"America/Sao_Paulo"_s, {2018, 11, 3, 15, 0, 0}, {2018, 11, 4, 1, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Calendar calendar(c.zone);
        const Instant from =
            at(calendar, c.from.year, c.from.month, c.from.day, c.from.hour, c.from.minute, c.from.second);
        const Instant next = LinuxSystemEvents::nextMidnight(from, calendar);
        const LocalDateTime got = calendar.components(next);
        EXPECT_EQ(describe(calendar, next),
                  describe(calendar, at(calendar, c.expected.year, c.expected.month, c.expected.day, c.expected.hour,
                                        c.expected.minute, c.expected.second)));
        EXPECT_EQ(got.day, c.expected.day);
    }
}

} // namespace
