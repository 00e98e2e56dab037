#include "app/cli/Commands.h"

#include "app/cli/Output.h"
#include "base/Shortened.h"
#include "reminders/EntryReminders.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"

#include <QList>

#include <algorithm>
#include <limits>

namespace plim::cli {

namespace {

// Finds the one entry whose identity is `key` or starts with it (four hex digits at least).
std::optional<QUuid> resolve(const NotesDocument& doc, const QString& key) {
    const QString wanted = key.toUpper();
    const QString bare = QString(wanted).remove(QLatin1Char('-'));
    const bool hex = !bare.isEmpty() && std::all_of(bare.cbegin(), bare.cend(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    });
    if (!hex || bare.size() < 4) {
        err(QStringLiteral("'%1' is not an entry id (give at least four hex digits)").arg(shortened(key)));
        return std::nullopt;
    }
    QList<Entry> matches;
    for (const Entry& e : doc.allEntries()) {
        const QString id = idText(e.id);
        const bool hit = wanted.contains(QLatin1Char('-')) ? id.startsWith(wanted)
                                                           : QString(id).remove(QLatin1Char('-')).startsWith(bare);
        if (hit && std::none_of(matches.cbegin(), matches.cend(), [&](const Entry& m) { return m.id == e.id; })) {
            matches.append(e);
        }
    }
    if (matches.size() == 1) {
        return matches.first().id;
    }
    if (matches.isEmpty()) {
        err(QStringLiteral("no entry has the id '%1'").arg(shortened(key)));
        return std::nullopt;
    }
    QString names;
    for (const Entry& m : matches) {
        names += QLatin1String("\n  ") + idText(m.id) + QLatin1String("  ") + m.text.section(QLatin1Char('\n'), 0, 0);
    }
    err(QStringLiteral("'%1' names %2 entries:%3").arg(key).arg(matches.size()).arg(names));
    return std::nullopt;
}

// Loads the store and resolves the ID argument; `status` is set when the command must end.
struct Target {
    std::unique_ptr<NotesStore> store;
    QUuid id;
    int status = kOk;
};

Target openTarget(const Context& ctx, qsizetype minArgs, qsizetype maxArgs) {
    Target t;
    if (ctx.args.size() < minArgs || ctx.args.size() > maxArgs) {
        err(minArgs == maxArgs ? QStringLiteral("%1 takes an entry id").arg(ctx.command)
                               : QStringLiteral("%1 takes an entry id and a when-phrase").arg(ctx.command));
        t.status = kUsage;
        return t;
    }
    t.store = openStore(ctx);
    if ((t.status = storeStatus(*t.store)) != kOk) {
        return t;
    }
    const auto id = resolve(t.store->document(), ctx.args.first());
    if (!id) {
        t.status = kUsage;
        return t;
    }
    t.id = *id;
    return t;
}

} // namespace

int changeEntry(const Context& ctx, EntryChange change) {
    Target t = openTarget(ctx, 1, 1);
    if (t.status != kOk) {
        return t.status;
    }
    switch (change) {
    // Done and undone set the state rather than flip it, so a script may run them twice.
    case EntryChange::Done:
    case EntryChange::Undone:
        t.store->markDone(t.id, change == EntryChange::Done);
        break;
    case EntryChange::Skip:
        t.store->answer(t.id, NotesDocument::Answer{NotesDocument::Answer::Dismiss{}});
        break;
    case EntryChange::Stop:
        t.store->answer(t.id, NotesDocument::Answer{NotesDocument::Answer::Stop{}});
        break;
    case EntryChange::Delete:
        t.store->deleteEntry(t.id);
        break;
    }
    return storeStatus(*t.store);
}

int remind(const Context& ctx) {
    Target t = openTarget(ctx, 2, std::numeric_limits<qsizetype>::max());
    if (t.status != kOk) {
        return t.status;
    }
    const Instant now = Clock::system().now();
    const Calendar calendar = Clock::system().calendar();
    const QString phrase = ctx.args.mid(1).join(QLatin1Char(' '));
    const auto reminder = parsePhrase(phrase, now);
    if (!reminder) {
        return notUnderstood(phrase);
    }
    const auto entry = t.store->document().entry(t.id);
    const auto existing =
        entry ? EntryReminders::reminder(*entry, calendar, Preferences::shared().anchors()) : std::nullopt;
    // A one-time phrase on a ringing repeat snoozes this ring and keeps the rule.
    if (existing && existing->rule && !reminder->rule &&
        EntryReminders::isRinging(*entry, now, calendar, Preferences::shared().anchors())) {
        t.store->answer(t.id, NotesDocument::Answer{NotesDocument::Answer::Snooze{reminder->next}});
    } else {
        t.store->setReminder(t.id, reminder);
    }
    return storeStatus(*t.store);
}

} // namespace plim::cli
