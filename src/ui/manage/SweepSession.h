#pragma once

#include "notes/NotesDocument.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

namespace plim {

class ManageList;

// One sweep through the open entries of older days: the queue left, oldest day first, without the
// entries skipped, and how many there were when it started.
class SweepSession {
public:
    // Starts afresh over the list's stale entries: whether the total changed.
    bool start(const ManageList& list, const QString& today);
    // The queue again from the list: whether it changed.
    bool refresh(const ManageList& list, const QString& today);
    // Skips an entry (refresh to see the queue without it).
    void skip(const QUuid& id) { skipped_.insert(id); }
    // Takes back the latest skip of an entry still stale: whether there was one.
    bool unskip(const ManageList& list, const QString& today);

    // The queue's entries, copied out when first asked for after a change; how many are left, and
    // the first, without copying them.
    const QList<Entry>& queue() const;
    qsizetype left() const { return static_cast<qsizetype>(items_.size()); }
    std::optional<Entry> current() const;
    // Where the first is in the notes file the queue was read from.
    const std::optional<EntryLocation>& currentPlace() const { return place_; }
    int total() const { return total_; }
    const QSet<QUuid>& skipped() const { return skipped_; }
    // The heading of the day the first entry of the queue is written under.
    const std::optional<QString>& day() const { return day_; }

private:
    mutable std::optional<QList<Entry>> queue_;
    // The same entries as items of source_ (which keeps them alive).
    std::vector<const Item*> items_;
    QList<DaySection> source_;
    std::optional<QString> day_;
    std::optional<EntryLocation> place_;
    int total_ = 0;
    QSet<QUuid> skipped_;
};

} // namespace plim
