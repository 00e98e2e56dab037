#pragma once

#include "reminders/Reminder.h"

#include <QStringList>
#include <QStringView>

#include <optional>

// The when-language: the words a user types to say when to be reminded ("20m", "fri 3pm",
// "every weekday 9am"). Reminder::parse is the whole phrase; these are its steps. All of them are
// pure: now, the anchors and the calendar are arguments.
namespace plim::WhenParser {

// Lower-cased words, commas as spaces, "a.m."/"p.m." as "am"/"pm", and "9 pm" glued to "9pm".
QStringList normalized(QStringView text);
// The repeat the words ask for, or none when they are not a repeat; `weekday` is the day "week" means.
std::optional<Rule> repeating(const QStringList& words, const Anchors& anchors, int weekday);
// A one-time moment after now: "20m", "tonight", "fri 3pm", "nov 2 9am", "16:00".
std::optional<Instant> moment(QStringList words, Instant now, const Anchors& anchors, const Calendar& calendar);
// "jan", "sept", "ma." -> 1 ... 12.
std::optional<int> month(QStringView name);
// "2", "2nd", "31st" -> 1 ... 31.
std::optional<int> dayNumber(QStringView word);

struct CalendarDate {
    Instant day; // local midnight (or the first moment) of the day
    int used = 0;
};
// "2026-03-11", "nov 2", "2 nov": the day and how many words it took. A day and month without a
// year is the first one, this year or next, that is not before today.
std::optional<CalendarDate> calendarDate(const QStringList& words, Instant now, const Calendar& calendar);

// t without its seconds, in the calendar's own minutes.
Instant startOfMinute(Instant t, const Calendar& calendar);
// Whether t can be written as a "yyyy-MM-dd HH:mm" stamp and read back (years 1 to 9999).
bool fitsStamp(Instant t, const Calendar& calendar);

} // namespace plim::WhenParser
