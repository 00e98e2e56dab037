#include "store/NotesStore.h"

#include "reminders/EntryReminders.h"
#include "store/Preferences.h"

namespace plim {

namespace {

Entry* find(NotesDocument& doc, const QUuid& id, const std::optional<EntryLocation>& hint) {
    const auto at = doc.location(id, hint);
    return at ? doc.entryAt(*at) : nullptr;
}

// The entry at a location found in `doc`.
const Entry& entryIn(const NotesDocument& doc, const EntryLocation& at) {
    return std::get<Entry>(doc.sections[at.section].items[at.item]);
}

QString trimmedText(QStringView text) {
    return text.trimmed().toString();
}

// Whether `line` is one whole line of `text` (a carriage return before the line end allowed).
bool hasLine(QStringView text, QStringView line) {
    for (qsizetype at = text.indexOf(line); at >= 0; at = text.indexOf(line, at + 1)) {
        const QStringView rest = text.sliced(at + line.size());
        if ((at == 0 || text[at - 1] == u'\n') &&
            (rest.isEmpty() || rest.startsWith(u'\n') || rest.startsWith(u"\r\n"))) {
            return true;
        }
    }
    return false;
}

} // namespace

Anchors NotesStore::anchors() const {
    return preferences_.anchors();
}

bool NotesStore::lastNotesWriteFailed() const {
    return error_ && error_->kind == StoreError::Kind::WriteFailed && error_->path == loadedPath_;
}

// Each command takes its turn with the file first (kept, when busy, as a call of itself with copies
// of its arguments) and only then looks at the document.

void NotesStore::toggleDone(const QUuid& id, const std::optional<EntryLocation>& hint) {
    const Turn turn(turns_, [this, id, hint] { toggleDone(id, hint); });
    if (!turn || !syncWithDisk()) {
        return;
    }
    const Calendar calendar = clock_.calendar();
    const Anchors a = anchors();
    // Found once: the change looks there first (the document it changes is this one unless the
    // file changed meanwhile).
    const auto at = document_.location(id, hint);
    if (at && EntryReminders::isRoutine(entryIn(document_, *at), calendar, a)) {
        answer(id, NotesDocument::Answer{NotesDocument::Answer::Done{}}, at);
        return;
    }
    mutate([&](NotesDocument& doc) {
        Entry* e = find(doc, id, at ? at : hint);
        if (!e) {
            return;
        }
        bool clear = false;
        switch (e->state) {
        case Entry::State::Open:
        case Entry::State::Carried:
            e->state = Entry::State::Done;
            clear = true;
            break;
        case Entry::State::Done:
            e->state = Entry::State::Open;
            break;
        case Entry::State::Note:
            e->state = Entry::State::Struck;
            clear = true;
            break;
        case Entry::State::Struck:
            e->state = Entry::State::Note;
            break;
        }
        if (clear) {
            e->active = false;
            EntryReminders::setReminder(*e, std::nullopt, calendar, a);
        }
    });
}

void NotesStore::markDone(const QUuid& id, bool done) {
    const Turn turn(turns_, [this, id, done] { markDone(id, done); });
    if (!turn || !syncWithDisk()) {
        return;
    }
    // Looked at within the turn: no other writer can change the state between the look and the change.
    const auto entry = document_.entry(id);
    if (entry && (entry->state == Entry::State::Done || entry->state == Entry::State::Struck) != done) {
        toggleDone(id);
    }
}

void NotesStore::toggleActive(const QUuid& id, const std::optional<EntryLocation>& hint) {
    const Turn turn(turns_, [this, id, hint] { toggleActive(id, hint); });
    if (!turn) {
        return;
    }
    mutate([&](NotesDocument& doc) {
        Entry* e = find(doc, id, hint);
        if (!e) {
            return;
        }
        e->active = !e->active;
        if (e->active && e->state == Entry::State::Done) {
            e->state = Entry::State::Open;
        } else if (e->active && e->state == Entry::State::Struck) {
            e->state = Entry::State::Note;
        }
    });
}

void NotesStore::carryToToday(const QUuid& id, Instant today, const std::optional<EntryLocation>& hint) {
    const Turn turn(turns_, [this, id, today, hint] { carryToToday(id, today, hint); });
    if (!turn) {
        return;
    }
    const Calendar calendar = clock_.calendar();
    const Anchors a = anchors();
    const QString todayHeading = NotesFormat::heading(today, calendar).mid(3);
    mutate([&](NotesDocument& doc) {
        const auto at = doc.location(id, hint);
        if (!at || doc.sections.at(at->section).heading == todayHeading) {
            return;
        }
        Entry* e = doc.entryAt(*at);
        if (!e) {
            return;
        }
        const auto reminder = EntryReminders::reminder(*e, calendar, a);
        e->state = Entry::State::Carried;
        e->comment = QStringLiteral("carried ") + todayHeading.left(10);

        Entry copy;
        copy.id = QUuid::createUuid();
        copy.state = Entry::State::Open;
        copy.text = e->text;
        copy.time = NotesDocument::time(today, calendar);
        EntryReminders::setReminder(copy, reminder, calendar, a);
        const qsizetype index = doc.sectionIndex(today, calendar);
        doc.sections[index].items.append(copy);
    });
}

void NotesStore::updateText(const QUuid& id, QStringView text) {
    const QString trimmed = trimmedText(text);
    if (trimmed.isEmpty()) {
        return;
    }
    const Turn turn(turns_, [this, id, trimmed] { updateText(id, trimmed); });
    if (!turn) {
        return;
    }
    mutate([&](NotesDocument& doc) {
        if (Entry* e = find(doc, id, std::nullopt)) {
            e->text = trimmed;
        }
    });
}

bool NotesStore::deleteEntry(const QUuid& id, const std::optional<EntryLocation>& hint) {
    // One turn for both writes: no other plim process comes between the trash and the notes.
    const Turn turn(turns_, [this, id, hint] { deleteEntry(id, hint); });
    if (!turn || !syncWithDisk()) {
        return false;
    }
    const auto at = document_.location(id, hint);
    const auto entry = at ? std::optional<Entry>(entryIn(document_, *at)) : std::nullopt;
    if (!entry) {
        return false;
    }
    // Into the trash first, so that no failure between the two writes can lose the entry.
    if (!appendToTrash(*entry)) {
        return false;
    }
    return mutate([&](NotesDocument& doc) { doc.remove(id, at); });
}

void NotesStore::setReminder(const QUuid& id, const std::optional<Reminder>& reminder) {
    const Turn turn(turns_, [this, id, reminder] { setReminder(id, reminder); });
    if (!turn) {
        return;
    }
    const Calendar calendar = clock_.calendar();
    const Anchors a = anchors();
    mutate([&](NotesDocument& doc) { EntryReminders::setReminder(doc, id, reminder, calendar, a); });
}

void NotesStore::answer(const QUuid& id, const NotesDocument::Answer& answer,
                        const std::optional<EntryLocation>& hint) {
    const Turn turn(turns_, [this, id, answer, hint] { this->answer(id, answer, hint); });
    if (!turn) {
        return;
    }
    const Calendar calendar = clock_.calendar();
    const Anchors a = anchors();
    const Instant now = clock_.now();
    mutate([&](NotesDocument& doc) { EntryReminders::answer(doc, id, answer, now, calendar, a, hint); });
}

bool NotesStore::removeMostRecentCapture(QStringView text, Instant today) {
    // Now or not at all: made later, it would take the entry out after the drawer, told nothing was
    // removed, had let its text go.
    const Turn turn(turns_, {});
    if (!turn) {
        return false;
    }
    const QString heading = NotesFormat::heading(today, clock_.calendar()).mid(3);
    bool removed = false;
    mutate([&](NotesDocument& doc) {
        for (DaySection& section : doc.sections) {
            if (section.heading != heading) {
                continue;
            }
            for (qsizetype i = section.items.size() - 1; i >= 0; --i) {
                const auto* e = std::get_if<Entry>(&section.items.at(i));
                if (e && e->state == Entry::State::Open && e->text == text) {
                    section.items.removeAt(i);
                    removed = true;
                    return;
                }
            }
            return;
        }
    });
    return removed;
}

// --- Trash ---------------------------------------------------------------------------------------

NotesDocument NotesStore::trashDocument() const {
    const TextRead read = readTextFile(trashFilePath());
    return NotesDocument::parse(read.text);
}

bool NotesStore::appendToTrash(const Entry& entry) {
    purgeTrash();
    const QString path = trashFilePath();
    const TextRead read = readTextFile(path);
    if (!read.ok()) {
        // An unreadable trash is not replaced: the entry stays where it is.
        setError(StoreError{StoreError::Kind::WriteFailed, path, read.reason});
        return false;
    }
    QString text = read.text;
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) {
        text += QLatin1Char('\n');
    }
    const QString heading = NotesFormat::heading(clock_.now(), clock_.calendar());
    // The heading as a line of its own: an entry whose text mentions it is not that day.
    if (!hasLine(text, heading)) {
        if (!text.isEmpty()) {
            text += QLatin1Char('\n');
        }
        text += heading + QLatin1String("\n\n");
    }
    text += NotesDocument::serialize(entry).join(QLatin1Char('\n')) + QLatin1Char('\n');
    return writeTrash(text);
}

bool NotesStore::writeTrash(const QString& text) {
    const QString path = trashFilePath();
    if (const auto failure = writeTextFileAtomically(path, text)) {
        setError(StoreError{StoreError::Kind::WriteFailed, path, *failure});
        return false;
    }
    if (error_ && error_->kind == StoreError::Kind::WriteFailed && error_->path == path) {
        setError(std::nullopt);
    }
    return true;
}

void NotesStore::purgeTrash() {
    const Turn turn(turns_, [this] { purgeTrash(); });
    if (!turn) {
        return;
    }
    const QString path = trashFilePath();
    const TextRead read = readTextFile(path);
    if (read.status != TextRead::Status::Ok) {
        return;
    }
    const Calendar calendar = clock_.calendar();
    const Instant now = clock_.now();
    const Instant cutoff = calendar.addingDays(now, -30).value_or(now);
    NotesDocument doc = NotesDocument::parse(read.text);
    const qsizetype before = doc.sections.size();
    doc.sections.removeIf([&](const DaySection& s) {
        const auto day = NotesDocument::headingDate(s.heading, calendar);
        return day && *day < cutoff;
    });
    if (doc.sections.size() != before) {
        writeTrash(doc.serialized());
    }
}

bool NotesStore::restoreFromTrash(const QUuid& id) {
    const Turn turn(turns_, [this, id] { restoreFromTrash(id); });
    if (!turn) {
        return false;
    }
    const QString path = trashFilePath();
    const TextRead read = readTextFile(path);
    if (read.status != TextRead::Status::Ok) {
        return false;
    }
    NotesDocument trash = NotesDocument::parse(read.text);
    const auto entry = trash.remove(id);
    if (!entry) {
        return false;
    }
    const Calendar calendar = clock_.calendar();
    const Instant now = clock_.now();
    NotesDocument before;
    const bool added = mutate([&](NotesDocument& doc) {
        before = doc;
        Entry restored;
        restored.id = QUuid::createUuid();
        restored.state = Entry::State::Open;
        restored.text = entry->text;
        restored.time = NotesDocument::time(now, calendar);
        doc.sections[doc.sectionIndex(now, calendar)].items.append(restored);
    });
    if (!added) {
        return false;
    }
    // Only once the notes file holds it does the entry leave the trash. Until then it must not stay
    // in the notes either, or trying again would bring it back twice.
    if (lastNotesWriteFailed()) {
        document_ = std::move(before);
        serialized_.reset();
        history_.dropNewest();
        Q_EMIT changed();
        return false;
    }
    const bool written = writeTrash(trash.serialized());
    Q_EMIT changed(); // the trash changed too
    return written;
}

void NotesStore::deleteFromTrash(const QUuid& id) {
    const Turn turn(turns_, [this, id] { deleteFromTrash(id); });
    if (!turn) {
        return;
    }
    const QString path = trashFilePath();
    const TextRead read = readTextFile(path);
    if (read.status != TextRead::Status::Ok) {
        return;
    }
    NotesDocument trash = NotesDocument::parse(read.text);
    if (!trash.remove(id)) {
        return;
    }
    writeTrash(trash.serialized());
    Q_EMIT changed();
}

} // namespace plim
