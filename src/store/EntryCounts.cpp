#include "store/EntryCounts.h"

#include "reminders/EntryReminders.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace plim {

namespace {

// Done, carried and struck entries never ring.
bool canRing(Entry::State state) {
    return state == Entry::State::Open || state == Entry::State::Note;
}

} // namespace

EntryCounts::Day EntryCounts::count(const QList<Item>& items, const Calendar& calendar, const Anchors& anchors) {
    Day day{items, 0, {}, {}};
    for (qsizetype i = 0; i < items.size(); ++i) {
        const auto* e = std::get_if<Entry>(&items.at(i));
        if (e == nullptr) {
            continue;
        }
        // Only a comment with the word can hold a reminder.
        const auto reminder = e->comment && Reminder::mayHold(*e->comment)
                                  ? EntryReminders::reminder(*e, calendar, anchors)
                                  : std::optional<Reminder>();
        const bool routine = canRing(e->state) && reminder && reminder->rule && reminder->routine;
        if (e->state == Entry::State::Open && !routine) {
            ++day.open;
        }
        if (canRing(e->state) && reminder) {
            day.rings.push_back(reminder->next);
            day.facts.push_back(Fact{i, reminder->next, reminder->rule.has_value(), false, {}, {}});
        }
    }
    std::sort(day.rings.begin(), day.rings.end());
    return day;
}

void EntryCounts::update(const NotesDocument& doc, const Calendar& calendar, const Anchors& anchors) {
    const bool sameRules = zone_ == calendar.zoneId() && anchors_ == anchors;
    // Asked for several times after each change: the very list of days it was counted from means
    // nothing changed (held here, its address cannot be reused by another).
    if (sameRules && doc.sections.constData() == sections_.constData() && doc.sections.size() == sections_.size()) {
        return;
    }
    sections_ = doc.sections;
    zone_ = calendar.zoneId();
    anchors_ = anchors;
    const auto counted = [](const Day& day, const QList<Item>& items) {
        // A list still held here is the very list it was counted from: a change would have
        // detached it.
        return !items.isEmpty() && day.items.constData() == items.constData() && day.items.size() == items.size();
    };
    // The usual change leaves the days where they stood: only those it touched are counted again.
    if (sameRules && days_.size() == static_cast<std::size_t>(doc.sections.size())) {
        for (std::size_t i = 0; i < days_.size(); ++i) {
            const QList<Item>& items = doc.sections.at(static_cast<qsizetype>(i)).items;
            if (!counted(days_[i], items)) {
                open_ -= days_[i].open;
                days_[i] = count(items, calendar, anchors);
                open_ += days_[i].open;
            }
        }
        return;
    }
    std::vector<Day> old = std::exchange(days_, {});
    days_.reserve(static_cast<std::size_t>(doc.sections.size()));
    // Days keep their order: a day is looked for where the last one taken over was followed, or a
    // place either side (a day came in or went above it); one moved further is counted again.
    std::size_t hint = 0;
    const auto find = [&](const QList<Item>& items) -> std::optional<std::size_t> {
        for (const std::ptrdiff_t step : {0, 1, -1, 2}) {
            const auto k = static_cast<std::ptrdiff_t>(hint) + step;
            if (sameRules && k >= 0 && k < static_cast<std::ptrdiff_t>(old.size()) &&
                counted(old[static_cast<std::size_t>(k)], items)) {
                hint = static_cast<std::size_t>(k) + 1;
                return static_cast<std::size_t>(k);
            }
        }
        ++hint;
        return std::nullopt;
    };
    open_ = 0;
    for (const DaySection& section : doc.sections) {
        // Taken over once: a second day sharing the list finds it gone and is counted.
        if (const auto same = find(section.items)) {
            days_.push_back(std::move(old[*same]));
        } else {
            days_.push_back(count(section.items, calendar, anchors));
        }
        open_ += days_.back().open;
    }
}

int EntryCounts::ringing(Instant at) const {
    std::size_t n = 0;
    for (const Day& day : days_) {
        n += static_cast<std::size_t>(std::upper_bound(day.rings.begin(), day.rings.end(), at) - day.rings.begin());
    }
    return static_cast<int>(n);
}

std::vector<EntryCounts::Reminding> EntryCounts::reminders(Instant now, const Calendar& calendar,
                                                           const Anchors& anchors) const {
    std::vector<Reminding> out;
    for (const Day& day : days_) {
        for (const Fact& fact : day.facts) {
            const Entry& entry = std::get<Entry>(day.items.at(fact.item));
            const bool ringing = fact.next <= now;
            if (!ringing || !fact.rule) {
                out.push_back({&entry, ringing, ringing ? std::nullopt : std::optional<Instant>(fact.next)});
                continue;
            }
            // A clock set back, or a moment at or past the ring, asks the calendar again.
            if (!fact.known || now < fact.from || (fact.upcoming && *fact.upcoming <= now)) {
                const auto reminder = EntryReminders::reminder(entry, calendar, anchors);
                const Reminder::Upcoming next = reminder ? reminder->upcoming(now, calendar) : Reminder::Upcoming{};
                fact.known = next.steady;
                fact.from = now;
                fact.upcoming = next.ring;
                out.push_back({&entry, true, next.ring});
                continue;
            }
            out.push_back({&entry, true, fact.upcoming});
        }
    }
    return out;
}

} // namespace plim
