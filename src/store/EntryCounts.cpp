#include "store/EntryCounts.h"

#include "reminders/EntryReminders.h"

#include <QHash>

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
    zone_ = calendar.zoneId();
    anchors_ = anchors;
    std::vector<Day> old = std::exchange(days_, {});
    days_.reserve(static_cast<std::size_t>(doc.sections.size()));
    // Days keep their order: a day is looked for where it stood, or a place either side (a day came
    // in or went above it), and only then among all.
    QHash<const void*, std::size_t> known;
    const auto find = [&](const QList<Item>& items, std::size_t at) -> std::optional<std::size_t> {
        if (!sameRules || items.isEmpty()) {
            return std::nullopt;
        }
        for (const std::ptrdiff_t step : {0, -1, 1}) {
            const auto k = static_cast<std::ptrdiff_t>(at) + step;
            if (k >= 0 && k < static_cast<std::ptrdiff_t>(old.size()) &&
                old[static_cast<std::size_t>(k)].items.constData() == items.constData()) {
                return static_cast<std::size_t>(k);
            }
        }
        if (known.isEmpty()) {
            known.reserve(static_cast<qsizetype>(old.size()));
            for (std::size_t k = 0; k < old.size(); ++k) {
                if (!old[k].items.isEmpty()) {
                    known.insert(old[k].items.constData(), k);
                }
            }
        }
        const auto hit = known.constFind(items.constData());
        return hit == known.cend() ? std::nullopt : std::optional<std::size_t>(*hit);
    };
    open_ = 0;
    for (const DaySection& section : doc.sections) {
        // A list still held here is the very list it was counted from: a change would have
        // detached it. (Taken over once: a second day sharing it finds it gone and is counted.)
        const auto same = find(section.items, days_.size());
        if (same && old[*same].items.size() == section.items.size()) {
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
