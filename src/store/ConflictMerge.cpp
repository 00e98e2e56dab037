#include "store/ConflictMerge.h"

#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"
#include "store/Preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plim {

namespace ConflictCopies {

namespace {

// The names the common sync tools give a conflict copy of "NAME.EXT"; %1 stands for the escaped
// name, %2 for the escaped extension with its dot.
constexpr const char* kPatterns[] = {
    // Syncthing: NAME.sync-conflict-20261206-101500-ABCDEFG.EXT
    R"(%1\.sync-conflict-\d{8}-\d{6}-[A-Z0-9]{7}%2)",
    // Dropbox: NAME (Ann's conflicted copy 2026-12-06).EXT, a second one of the day ending " (1)"
    R"(%1 \([^()]*['’]s conflicted copy \d{4}-\d{2}-\d{2}(?: \(\d+\))?\)%2)",
    // Nextcloud and ownCloud: NAME (conflicted copy 2026-12-06 101500).EXT
    R"(%1 \(conflicted copy \d{4}-\d{2}-\d{2} \d{6}\)%2)",
    // ownCloud, older clients: NAME_conflict-20261206-101500.EXT
    R"(%1_conflict-\d{8}-\d{6}%2)",
};

} // namespace

bool isCopyOf(QStringView name, QStringView original) {
    const qsizetype dot = original.lastIndexOf(u'.');
    // Every pattern keeps the name and the extension around a "conflict": other names are turned
    // away before a pattern is compiled (the folder is looked at again after every own write).
    const QStringView stem = dot > 0 ? original.first(dot) : original;
    const QStringView suffix = dot > 0 ? original.sliced(dot) : QStringView();
    if (name.size() <= original.size() || !name.startsWith(stem) || !name.endsWith(suffix) ||
        !name.contains(u"conflict")) {
        return false;
    }
    const QString base = QRegularExpression::escape(stem);
    const QString ext = QRegularExpression::escape(suffix);
    for (const char* pattern : kPatterns) {
        const QRegularExpression re(QRegularExpression::anchoredPattern(QString::fromUtf8(pattern).arg(base, ext)));
        if (re.match(name).hasMatch()) {
            return true;
        }
    }
    return false;
}

QList<Found> find(const QString& notesPath) {
    const QFileInfo notes(notesPath);
    const QString notesName = notes.fileName();
    const QString trashName = QFileInfo(Preferences::trashFilePathFor(notesPath)).fileName();
    const QDir folder = notes.absoluteDir();
    QList<Found> found;
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        // The trash's name holds the notes file's base name, so it is asked first.
        if (isCopyOf(name, trashName)) {
            found.append(Found{folder.filePath(name), Of::Trash});
        } else if (isCopyOf(name, notesName)) {
            found.append(Found{folder.filePath(name), Of::Notes});
        }
    }
    return found;
}

Ownership ownership(const QString& path) {
    Ownership o;
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return o;
    }
    o.exists = true;
    o.device = st.st_dev;
    o.inode = st.st_ino;
    if (S_ISLNK(st.st_mode)) {
        o.why = QStringLiteral("is a symbolic link");
    } else if (!S_ISREG(st.st_mode)) {
        o.why = QStringLiteral("is not a regular file");
    } else if (st.st_uid != ::getuid()) {
        QString owner = QString::number(st.st_uid);
        if (const passwd* pw = ::getpwuid(st.st_uid)) {
            owner = QString::fromLocal8Bit(pw->pw_name);
        }
        o.why = QStringLiteral("belongs to %1, not to you").arg(owner);
    } else if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        o.why = QStringLiteral("may be written by others");
    } else {
        o.own = true;
    }
    return o;
}

} // namespace ConflictCopies

namespace {

bool closed(Entry::State s) {
    return s == Entry::State::Done || s == Entry::State::Carried || s == Entry::State::Struck;
}

// Of two states that both sides changed: a closed state over an open one, and done over the rest.
Entry::State mergeState(Entry::State n, Entry::State c) {
    if (closed(n) != closed(c)) {
        return closed(n) ? n : c;
    }
    return c == Entry::State::Done ? c : n;
}

// Three-way for one field: the side that changed it wins; `both` decides when both did.
template <class T, class Both>
T pick(const T* a, const T& n, const T& c, Both both) {
    if (n == c) {
        return n;
    }
    if (a && n == *a) {
        return c;
    }
    if (a && c == *a) {
        return n;
    }
    return both();
}

// When a reminder rings next, seen from now: a ringing one rings now.
Instant ringsAt(const Reminder& r, Instant now) {
    return std::max(r.next, now);
}

struct EntryMerger {
    Instant now;
    const Calendar& calendar;
    const Anchors& anchors;

    Entry merge(const Entry* a, const Entry& n, const Entry& c) const {
        Entry m = n;
        m.state = pick(a ? &a->state : nullptr, n.state, c.state, [&] { return mergeState(n.state, c.state); });
        m.active = pick(a ? &a->active : nullptr, n.active, c.active, [&] { return n.active || c.active; });
        m.time = pick(a ? &a->time : nullptr, n.time, c.time, [&] { return n.time ? n.time : c.time; });
        m.comment = pick(a ? &a->comment : nullptr, n.comment, c.comment, [&] { return comment(m.state, n, c); });
        return m;
    }

    // Both sides changed the comment (or there is no ancestor).
    std::optional<QString> comment(Entry::State merged, const Entry& n, const Entry& c) const {
        if (closed(merged)) {
            // Closing cleared the reminder on the side that closed it: its comment goes with it.
            return merged == n.state || merged != c.state ? n.comment : c.comment;
        }
        const auto rn = EntryReminders::reminder(n, calendar, anchors);
        const auto rc = EntryReminders::reminder(c, calendar, anchors);
        if (!rc || (rn && ringsAt(*rn, now) <= ringsAt(*rc, now))) {
            return n.comment;
        }
        Entry e = n;
        EntryReminders::setReminder(e, rc, calendar, anchors);
        return e.comment;
    }
};

bool sameLineSet(const QList<Item>& items, const QString& line) {
    return std::any_of(items.cbegin(), items.cend(), [&](const Item& i) {
        const auto* r = std::get_if<RawLine>(&i);
        return r && r->text == line;
    });
}

QHash<QUuid, const Entry*> indexEntries(const NotesDocument& doc) {
    QHash<QUuid, const Entry*> index;
    for (const DaySection& s : doc.sections) {
        for (const Item& item : s.items) {
            if (const auto* e = std::get_if<Entry>(&item)) {
                index.insert(e->id, e);
            }
        }
    }
    return index;
}

// Where a new day goes among days newest first: above the first older dated day, else at the end.
qsizetype dayPosition(const QList<DaySection>& sections, const QString& heading) {
    static const QRegularExpression dated(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}"));
    if (!dated.match(heading).hasMatch()) {
        return sections.size();
    }
    const QStringView day = QStringView(heading).first(10);
    for (qsizetype i = 0; i < sections.size(); ++i) {
        const QString& h = sections.at(i).heading;
        if (dated.match(h).hasMatch() && QStringView(h).first(10) < day) {
            return i;
        }
    }
    return sections.size();
}

} // namespace

MergeOutcome mergeNotes(const NotesDocument* ancestor, const NotesDocument& notes, const NotesDocument& copy,
                        Instant now, const Calendar& calendar, const Anchors& anchors) {
    const auto inCopy = indexEntries(copy);
    auto inAncestor = ancestor ? indexEntries(*ancestor) : QHash<QUuid, const Entry*>{};
    if (ancestor) {
        const auto inNotes = indexEntries(notes);
        const auto stale = [&](const QUuid& id) { return !inNotes.contains(id) && !inCopy.contains(id); };
        const auto ids = inAncestor.keys();
        if (std::any_of(ids.cbegin(), ids.cend(), stale)) {
            ancestor = nullptr;
            inAncestor.clear();
        }
    }
    MergeOutcome out{notes, {}};
    MergeCounts& counts = out.counts;
    NotesDocument& doc = out.document;
    const EntryMerger merger{now, calendar, anchors};
    const auto ancestorEntry = [&](const QUuid& id) { return inAncestor.value(id, nullptr); };

    // Entries of the notes: merged with the copy's, or gone when the copy deleted them untouched.
    QSet<QUuid> kept;
    for (DaySection& section : doc.sections) {
        // Most days are the same on both sides: only a day that changes is copied.
        const QList<Item>& items = std::as_const(section).items;
        std::optional<QList<Item>> rebuilt;
        const auto rebuild = [&](qsizetype upTo) {
            if (!rebuilt) {
                rebuilt.emplace(items.first(upTo));
            }
        };
        for (qsizetype i = 0; i < items.size(); ++i) {
            const Item& item = items.at(i);
            const auto* e = std::get_if<Entry>(&item);
            if (e) {
                const Entry* a = ancestorEntry(e->id);
                const Entry* c = inCopy.value(e->id, nullptr);
                if (!c && a && *a == *e) {
                    rebuild(i);
                    ++counts.removed;
                    continue;
                }
                kept.insert(e->id);
                if (c && *c != *e) {
                    Entry m = merger.merge(a, *e, *c);
                    if (m != *e) {
                        ++(closed(m.state) && !closed(e->state) ? counts.done : counts.updated);
                        rebuild(i);
                        rebuilt->append(std::move(m));
                        continue;
                    }
                }
            }
            if (rebuilt) {
                rebuilt->append(item);
            }
        }
        if (rebuilt) {
            section.items = std::move(*rebuilt);
        }
    }

    // What only the copy holds, unless the notes deleted it and the copy left it untouched.
    QHash<QString, qsizetype> dayIndex;
    for (qsizetype i = doc.sections.size() - 1; i >= 0; --i) {
        dayIndex.insert(doc.sections.at(i).heading, i);
    }
    QHash<QString, const DaySection*> ancestorDays;
    if (ancestor) {
        for (auto it = ancestor->sections.crbegin(); it != ancestor->sections.crend(); ++it) {
            ancestorDays.insert(it->heading, &*it);
        }
    }
    for (const DaySection& theirs : copy.sections) {
        const auto at = dayIndex.constFind(theirs.heading);
        const DaySection* ancestorDay = ancestorDays.value(theirs.heading, nullptr);
        const QList<Item>* ours = at == dayIndex.cend() ? nullptr : &doc.sections.at(*at).items;
        // Each new item follows the copy's nearest earlier item that the notes hold (or opens the day).
        QHash<QUuid, QList<Item>> afterEntry;
        QHash<QString, QList<Item>> afterLine;
        QList<Item> atStart;
        QList<Item>* slot = &atStart;
        bool any = false;
        for (const Item& item : theirs.items) {
            if (const auto* e = std::get_if<Entry>(&item)) {
                if (kept.contains(e->id)) {
                    slot = &afterEntry[e->id];
                    continue;
                }
                const Entry* a = ancestorEntry(e->id);
                if (a && *a == *e) {
                    continue; // deleted here, untouched there
                }
                ++counts.added;
            } else {
                const QString& line = std::get<RawLine>(item).text;
                if (ours && sameLineSet(*ours, line)) {
                    slot = &afterLine[line];
                    continue;
                }
                if (ours && ancestorDay && sameLineSet(ancestorDay->items, line)) {
                    continue;
                }
                ++counts.lines;
            }
            slot->append(item);
            any = true;
        }
        if (!ours) {
            if (!any && ancestorDay) {
                continue; // a day the notes removed
            }
            const qsizetype pos = dayPosition(doc.sections, theirs.heading);
            doc.sections.insert(pos, DaySection{QUuid::createUuid(), theirs.heading, atStart});
            for (auto it = dayIndex.begin(); it != dayIndex.end(); ++it) {
                if (*it >= pos) {
                    ++*it;
                }
            }
            dayIndex.insert(theirs.heading, pos);
            continue;
        }
        if (!any) {
            continue;
        }
        QList<Item> merged = atStart;
        merged.reserve(ours->size() + 8);
        QSet<QString> placedAfter;
        for (const Item& item : *ours) {
            merged.append(item);
            if (const auto* e = std::get_if<Entry>(&item)) {
                merged.append(afterEntry.value(e->id));
            } else {
                const QString& line = std::get<RawLine>(item).text;
                if (!placedAfter.contains(line)) {
                    placedAfter.insert(line);
                    merged.append(afterLine.value(line));
                }
            }
        }
        doc.sections[*at].items = std::move(merged);
    }

    for (const QString& line : copy.preamble) {
        const bool removedHere = ancestor && ancestor->preamble.contains(line);
        if (!doc.preamble.contains(line) && !removedHere) {
            doc.preamble.append(line);
            ++counts.lines;
        }
    }
    return out;
}

QString mergeSummary(const MergeCounts& counts, const QString& copyName) {
    const auto part = [](int n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    QStringList parts;
    if (counts.added) {
        parts.append(part(counts.added, "entry added", "entries added"));
    }
    if (counts.done) {
        parts.append(part(counts.done, "marked done", "marked done"));
    }
    if (counts.updated) {
        parts.append(part(counts.updated, "entry updated", "entries updated"));
    }
    if (counts.removed) {
        parts.append(part(counts.removed, "entry removed", "entries removed"));
    }
    if (counts.lines) {
        parts.append(part(counts.lines, "line added", "lines added"));
    }
    if (parts.isEmpty()) {
        return QStringLiteral("nothing new from %1").arg(copyName);
    }
    return parts.join(QStringLiteral(", ")) + QStringLiteral(", from ") + copyName;
}

} // namespace plim
