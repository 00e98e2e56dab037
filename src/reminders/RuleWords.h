#pragma once

#include "reminders/Reminder.h"

#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>

// The shared grammar of repeats, lengths of time, daily windows and times of day. Words arrive
// lower-cased and split; every comparison is exact. Counts are 64-bit and checked: a number whose
// minutes do not fit is no length at all.
namespace plim::RuleWords {

struct Duration {
    std::int64_t minutes = 0;
    int used = 0; // words taken from the front
    friend bool operator==(const Duration&, const Duration&) = default;
};

// "m" = 1, "h" = 60, "d" = 1440, "w" = 10080 and their longer spellings.
std::optional<int> unitMinutes(QStringView word);
// "20m", "1h30m", "1h30", "1w2d"; "90" alone and "1.5h" are none.
std::optional<std::int64_t> compactDuration(QStringView word);
// A compact length, a number and a unit ("90 minutes"), or a bare unit word ("hour").
std::optional<Duration> duration(const QStringList& words);
// "9-17", "from 9 to 5pm", "between 9am and 5pm", "9 to 17"; start strictly before end.
std::optional<Window> window(const QStringList& words, const Anchors& anchors);
// "9", "930", "17:30", "9.30pm", "12am", "noon", "morning".
std::optional<TimeOfDay> time(QStringView word, const Anchors& anchors);
// "mon", "tues", "th", "fridays" -> 1 = Sunday ... 7 = Saturday.
std::optional<int> weekday(QStringView name);

// An anchor as a time of day, kept inside the day.
TimeOfDay anchorTime(int minutes);
// The window an interval keeps to when none is given: the user's day. A day that does not run
// forwards (start at or after end) cannot be a window, so the whole day is used instead.
Window defaultWindow(const Anchors& anchors);
// An interval rule of that length and window.
std::optional<Rule> intervalRule(int minutes, Window window);
// A whole number, optionally signed, of ASCII digits; none when it does not fit in 64 bits.
std::optional<std::int64_t> integer(QStringView word, bool allowSign = true);

} // namespace plim::RuleWords
