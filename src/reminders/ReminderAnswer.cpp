#include "notes/NotesDocument.h"
#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"

namespace plim {

namespace {

// The start of t's wall-clock minute. Taken off t itself rather than rebuilt from the wall clock, so a
// moment in the repeated hour of a clock change stays in the occurrence it was in.
Instant startOfMinute(Instant t, const Calendar& calendar) {
    const std::int64_t ms = t.time_since_epoch().count();
    const std::int64_t subsecond = ((ms % 1000) + 1000) % 1000;
    const int second = calendar.components(t).second;
    return t - std::chrono::milliseconds(subsecond) - std::chrono::seconds(second);
}

} // namespace

void EntryReminders::answer(NotesDocument& document, const QUuid& id, const NotesDocument::Answer& answer, Instant now,
                            const Calendar& calendar, const Anchors& anchors,
                            const std::optional<EntryLocation>& hint) {
    using Answer = NotesDocument::Answer;
    const auto at = document.location(id, hint);
    if (!at) {
        return;
    }
    Entry* entry = document.entryAt(*at);
    if (entry == nullptr || (entry->state != Entry::State::Open && entry->state != Entry::State::Note)) {
        return;
    }
    std::optional<Reminder> reminder = EntryReminders::reminder(*entry, calendar, anchors);
    if (!reminder) {
        return;
    }

    if (const auto* snooze = std::get_if<Answer::Snooze>(&answer.value)) {
        reminder->next = startOfMinute(snooze->until, calendar);
        setReminder(*entry, reminder, calendar, anchors);
        return;
    }
    if (std::holds_alternative<Answer::Stop>(answer.value)) {
        setReminder(*entry, std::nullopt, calendar, anchors);
        return;
    }
    if (std::holds_alternative<Answer::Dismiss>(answer.value)) {
        // A one-time reminder has no further ring, so letting this ring go ends it.
        const auto following = reminder->rule ? reminder->nextRing(now, calendar) : std::nullopt;
        if (following) {
            reminder->next = *following;
            setReminder(*entry, reminder, calendar, anchors);
        } else {
            setReminder(*entry, std::nullopt, calendar, anchors);
        }
        return;
    }

    // Done.
    if (!reminder->rule || !reminder->routine) {
        entry->state = entry->state == Entry::State::Note ? Entry::State::Struck : Entry::State::Done;
        entry->active = false;
        setReminder(*entry, std::nullopt, calendar, anchors);
        return;
    }

    // A routine stays open and keeps coming back; the done is logged as its own line. Done ahead of the
    // ring skips the occurrence that was coming up.
    const Instant when = isRinging(*entry, now, calendar, anchors) ? now : reminder->next;
    const auto following = reminder->nextRing(when, calendar);
    // No further ring means the rule can never ring again, so its words go; the entry itself stays open and
    // nothing the user wrote disappears. Keeping the old ring instead would leave a routine that rings on
    // after every done.
    if (following) {
        reminder->next = *following;
        setReminder(*entry, reminder, calendar, anchors);
    } else {
        setReminder(*entry, std::nullopt, calendar, anchors);
    }
    Entry log;
    log.id = QUuid::createUuid();
    log.state = Entry::State::Done;
    log.active = false;
    log.text = entry->text;
    log.time = NotesDocument::time(now, calendar);
    // `entry` points into the sections, which adding today's section may move: it is not used past here.
    const qsizetype section = document.sectionIndex(now, calendar);
    document.sections[section].items.append(Item(std::move(log)));
}

} // namespace plim
