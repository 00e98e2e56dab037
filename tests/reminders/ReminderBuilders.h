#pragma once

#include "reminders/Reminder.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

// Short builders for the rules and reminders that the reminder tests write out in tables.
namespace plim::test {

constexpr TimeOfDay hm(int hours, int minutes) {
    return TimeOfDay{hours * 60 + minutes};
}

inline Days onDays(std::initializer_list<int> weekdays) {
    return Days{Days::On{QList<int>(weekdays)}};
}
inline Days everyDay() {
    return Days{Days::EveryDay{}};
}
inline Days weekdays() {
    return Days{Days::Weekdays{}};
}

inline Rule times(Days days, std::initializer_list<TimeOfDay> list) {
    return Rule{Rule::Times{std::move(days), QList<TimeOfDay>(list)}};
}
inline Rule interval(int minutes, TimeOfDay start, TimeOfDay end) {
    return Rule{Rule::Interval{minutes, Window{start, end}}};
}

inline Reminder once(Instant next) {
    return Reminder{next, std::nullopt, false};
}
inline Reminder repeat(Instant next, Rule rule, bool routine = false) {
    return Reminder{next, std::move(rule), routine};
}

// The default day times (08:30 to 20:30) the tables are written against.
inline const Anchors kAnchors{};

// A wall-clock moment, for case tables: {2026, 3, 11, 10, 7}.
struct Wall {
    int y, mo, d, h, mi, s = 0;
};
inline Instant wall(const Calendar& calendar, const Wall& w) {
    return at(calendar, w.y, w.mo, w.d, w.h, w.mi, w.s);
}

// "2026-03-11 10:07:00 +01:00", or "none".
inline std::string shown(const Calendar& calendar, const std::optional<Instant>& t) {
    return t ? describe(calendar, *t) : std::string("none");
}

} // namespace plim::test
