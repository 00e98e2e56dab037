#include "ui/manage/SweepSession.h"

#include "ui/manage/ManageList.h"

#include <algorithm>
#include <utility>

namespace plim {

bool SweepSession::start(const ManageList& list, const QString& today) {
    skipped_.clear();
    const int total = list.staleOpenCount(today);
    if (total == total_) {
        return false;
    }
    total_ = total;
    return true;
}

bool SweepSession::refresh(const ManageList& list, const QString& today) {
    // Compared as the items they are before any is copied: most changes leave most of them shared.
    std::vector<const Item*> queue;
    queue.reserve(static_cast<std::size_t>(list.staleOpenCount(today)));
    qsizetype firstDay = -1;
    list.forEachStale(today, [&](const Item& item, qsizetype s) {
        if (!skipped_.isEmpty() && skipped_.contains(std::get<Entry>(item).id)) {
            return;
        }
        firstDay = queue.empty() ? s : firstDay;
        queue.push_back(&item);
    });
    const bool same = std::equal(queue.begin(), queue.end(), items_.begin(), items_.end(),
                                 [](const Item* a, const Item* b) { return a == b || *a == *b; });
    // The items stay alive with the sections they were read from.
    source_ = list.sections();
    items_ = std::move(queue);
    day_ = firstDay >= 0 ? std::optional<QString>(std::as_const(source_)[firstDay].heading) : std::nullopt;
    place_.reset();
    if (firstDay >= 0) {
        place_ = EntryLocation{firstDay, items_.front() - std::as_const(source_)[firstDay].items.constData()};
    }
    if (same) {
        return false;
    }
    queue_.reset();
    return true;
}

const QList<Entry>& SweepSession::queue() const {
    if (!queue_) {
        QList<Entry> entries;
        entries.reserve(static_cast<qsizetype>(items_.size()));
        for (const Item* item : items_) {
            entries.append(std::get<Entry>(*item));
        }
        queue_ = std::move(entries);
    }
    return *queue_;
}

std::optional<Entry> SweepSession::current() const {
    return items_.empty() ? std::nullopt : std::optional<Entry>(std::get<Entry>(*items_.front()));
}

bool SweepSession::unskip(const ManageList& list, const QString& today) {
    const QList<Entry> stale = list.staleOpenEntries(today);
    for (auto it = stale.crbegin(); it != stale.crend(); ++it) {
        if (skipped_.remove(it->id)) {
            return true;
        }
    }
    return false;
}

} // namespace plim
