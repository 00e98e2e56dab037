#include "ui/manage/RowLabels.h"

#include "base/Clock.h"
#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"

#include <chrono>

namespace plim {

RowLabels::RowLabels(const Clock& clock)
    : clock_(clock) {}

void RowLabels::load(const Calendar& calendar, const Anchors& anchors, const QString& todayHeading) {
    // The labels depend only on the calendar and the day times (and the minute, which the cache
    // checks): a load that keeps both keeps them, so the next frame need not count a repeat's
    // missed rings again.
    if (!(calendar_ == calendar)) {
        headingLabels_.clear();
        reminderLabels_.clear();
    }
    if (!(anchors_ == anchors)) {
        reminderLabels_.clear();
    }
    calendar_ = calendar;
    anchors_ = anchors;
    todayHeading_ = todayHeading;
}

void RowLabels::setAnchors(const Anchors& anchors) {
    anchors_ = anchors;
    reminderLabels_.clear();
}

QString RowLabels::heading(const QString& heading) const {
    // Rows of one day share its label: each is read and formatted once per calendar.
    if (const auto known = headingLabels_.constFind(heading); known != headingLabels_.cend()) {
        return known.value();
    }
    QString label = heading;
    if (const auto day = NotesDocument::headingDate(heading, calendar_)) {
        label = calendar_.format(*day, u"EEEE, MMM d");
    }
    headingLabels_.insert(heading, label);
    return label;
}

bool RowLabels::isRinging(const Entry& entry) const {
    return EntryReminders::isRinging(entry, clock_.now(), calendar_, anchors_);
}

bool RowLabels::mayShowReminder(const Entry& entry) {
    return (entry.state == Entry::State::Open || entry.state == Entry::State::Note) && entry.comment &&
           Reminder::mayHold(*entry.comment);
}

std::optional<QString> RowLabels::reminder(const Entry& entry) const {
    if (!mayShowReminder(entry)) {
        return std::nullopt;
    }
    const Instant now = clock_.now();
    const std::int64_t minute = std::chrono::floor<std::chrono::minutes>(now.time_since_epoch()).count();
    const auto known = reminderLabels_.constFind(entry.id);
    if (known != reminderLabels_.constEnd() && known->minute == minute && known->comment == *entry.comment) {
        return known->label;
    }
    const auto reminder = EntryReminders::reminder(entry, calendar_, anchors_);
    const std::optional<QString> label =
        reminder ? std::optional<QString>(reminder->label(now, calendar_)) : std::nullopt;
    reminderLabels_.insert(entry.id, KnownLabel{*entry.comment, minute, label});
    return label;
}

RowLabels::OfEntry RowLabels::entry(const ManageList::Row& row) const {
    return {row.entry.time.value_or(QString()), reminder(row.entry).value_or(QString()), awayDay(row)};
}

QString RowLabels::awayDay(const ManageList::Row& row) const {
    return row.awayFromDay ? heading(row.day) : QString();
}

} // namespace plim
