#include "ui/manage/ManageList.h"

#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"

#include <QSet>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <utility>

namespace plim {

namespace {

// How many days' texts are lowered ahead of a filter in one turn of the event loop.
constexpr int kFilterDaysATurn = 256;

const QString& nowHeading() {
    static const QString heading = QStringLiteral("Now");
    return heading;
}

const QString& activeHeading() {
    static const QString heading = QStringLiteral("Active");
    return heading;
}

bool canRing(Entry::State state) {
    return state == Entry::State::Open || state == Entry::State::Note;
}

const Entry* entryOf(const Item& item) {
    return std::get_if<Entry>(&item);
}

// Replaces v[at, at + count) by `with`: what follows moves only by the difference. Returns with's size.
template <typename T>
std::size_t splice(std::vector<T>& v, std::size_t at, std::size_t count, std::vector<T>& with) {
    // Room ahead, also on the first fill: a table that grows by a day then moves the days after
    // it by a block copy, rather than each into new memory.
    if (const std::size_t size = v.size() + with.size() - std::min(count, with.size()); size > v.capacity()) {
        v.reserve(size + size / 16);
    }
    const auto pos = v.begin() + static_cast<std::ptrdiff_t>(at);
    const std::size_t common = std::min(count, with.size());
    std::move(with.begin(), with.begin() + static_cast<std::ptrdiff_t>(common), pos);
    if (count > with.size()) {
        v.erase(pos + static_cast<std::ptrdiff_t>(common), pos + static_cast<std::ptrdiff_t>(count));
    } else {
        v.insert(pos + static_cast<std::ptrdiff_t>(common),
                 std::make_move_iterator(with.begin() + static_cast<std::ptrdiff_t>(common)),
                 std::make_move_iterator(with.end()));
    }
    return with.size();
}

// Most headings a load compares are the very same string.
bool sameText(const QString& a, const QString& b) {
    return a.size() == b.size() && (a.constData() == b.constData() || a == b);
}

// Two of the 256 bits of a list's summary of identities, from an identity's first word.
std::array<std::uint64_t, 4> idBits(const QUuid& id) {
    std::array<std::uint64_t, 4> bits{};
    bits[(id.data1 >> 6) & 3] |= std::uint64_t{1} << (id.data1 & 63);
    bits[(id.data1 >> 14) & 3] |= std::uint64_t{1} << ((id.data1 >> 8) & 63);
    return bits;
}

bool mayHold(const std::array<std::uint64_t, 4>& summary, const std::array<std::uint64_t, 4>& bits) {
    bool all = true;
    for (std::size_t w = 0; w < bits.size(); ++w) {
        all = all && (summary[w] & bits[w]) == bits[w];
    }
    return all;
}

} // namespace

ManageList::~ManageList() = default;

void ManageList::learnFacts(const Moment& now, const QList<DaySection>& previous) {
    notesFilterReady_ = false;
    const bool sameRules = factsZone_ == now.calendar.zoneId() && factsAnchors_ == now.anchors;
    factsZone_ = now.calendar.zoneId();
    factsAnchors_ = now.anchors;

    // A change through the store, and a re-read of the file, leave every day they did not touch
    // shared with the previous load: its facts stay where they are in the tables, which are edited
    // in place around the days that changed.
    const bool reuse = sameRules && offsets_.size() == static_cast<std::size_t>(previous.size()) &&
                       dayCounts_.size() == offsets_.size() && dayLists_.size() == offsets_.size();
    if (!reuse) {
        facts_.clear();
        ids_.clear();
        dayCounts_.clear();
        dayLists_.clear();
        listPool_.clear();
        freeLists_.clear();
        openTotal_ = 0;
        staleTotal_ = 0;
        rings_.clear();
        staleOn_.clear();
    }
    const std::size_t oldDays = reuse ? offsets_.size() : 0;
    const std::vector<qsizetype> oldOffsets = std::move(offsets_);
    const std::size_t oldTotal = facts_.size();
    offsets_.clear();
    offsets_.reserve(static_cast<std::size_t>(sections_.size()));
    const auto oldStart = [&](std::size_t k) {
        return k < oldDays ? static_cast<std::size_t>(oldOffsets[k]) : oldTotal;
    };

    // Days keep their order, so a day is looked for where the previous load had it, or a place
    // either side (a day came in or went before it); a day moved further is read again. A changed
    // day stands where the one it replaces stood.
    std::size_t hint = 0;
    const auto previousDay = [&](const DaySection& day) -> std::optional<std::size_t> {
        if (!reuse || day.items.isEmpty()) {
            ++hint;
            return std::nullopt;
        }
        for (const std::ptrdiff_t step : {0, 1, -1, 2}) {
            const auto k = static_cast<std::ptrdiff_t>(hint) + step;
            if (k >= 0 && k < static_cast<std::ptrdiff_t>(oldDays) &&
                previous[k].items.constData() == day.items.constData() && previous[k].id == day.id &&
                sameText(previous[k].heading, day.heading)) {
                hint = static_cast<std::size_t>(k) + 1;
                return static_cast<std::size_t>(k);
            }
        }
        ++hint;
        return std::nullopt;
    };

    // The days read since the last day taken over, put in place of the previous days between.
    std::vector<Facts> facts;
    std::vector<QUuid> ids;
    std::vector<DayCounts> counts;
    std::vector<std::uint32_t> lists;
    std::vector<DayEdit> edits;
    std::size_t at = 0;      // where they go in the per-item tables
    std::size_t dayAt = 0;   // and in the per-day ones
    std::size_t oldNext = 0; // the first previous day neither taken over nor given way
    const auto place = [&](std::size_t upTo) {
        if (upTo == oldNext && counts.empty()) {
            return; // nothing read, nothing given way: the usual day taken over
        }
        edits.push_back({static_cast<std::uint32_t>(dayAt), static_cast<std::uint32_t>(upTo - oldNext),
                         static_cast<std::uint32_t>(counts.size())});
        const std::size_t count = oldStart(upTo) - oldStart(oldNext);
        // The days given way leave the counts, read from their facts before these are replaced.
        for (std::size_t k = oldNext; k < upTo; ++k) {
            tally(std::span<const Facts>(facts_).subspan(at + oldStart(k) - oldStart(oldNext),
                                                         oldStart(k + 1) - oldStart(k)),
                  previous[static_cast<qsizetype>(k)].heading, -1);
            const std::uint32_t slot = dayLists_[dayAt + k - oldNext];
            listPool_[slot] = {};
            freeLists_.push_back(slot);
        }
        if (count > 0 || !facts.empty()) {
            at += splice(facts_, at, count, facts);
            splice(ids_, at - facts.size(), count, ids);
        }
        dayAt += splice(dayCounts_, dayAt, upTo - oldNext, counts);
        splice(dayLists_, dayAt - counts.size(), upTo - oldNext, lists);
        facts.clear();
        ids.clear();
        counts.clear();
        lists.clear();
        oldNext = upTo;
    };

    for (const DaySection& section : std::as_const(sections_)) {
        if (const auto same = previousDay(section); same && *same >= oldNext) {
            place(*same);
            offsets_.push_back(static_cast<qsizetype>(at));
            at += static_cast<std::size_t>(section.items.size());
            ++dayAt;
            oldNext = *same + 1;
            continue;
        }
        offsets_.push_back(static_cast<qsizetype>(at + facts.size()));
        const std::size_t first = facts.size();
        for (const Item& item : section.items) {
            const Entry* e = entryOf(item);
            ids.push_back(e ? e->id : QUuid());
            facts.push_back(factsOf(item, now));
        }
        counts.push_back(countsOf(std::span<const Facts>(facts).subspan(first)));
        tally(std::span<const Facts>(facts).subspan(first), section.heading, reuse ? 1 : 0);
        if (freeLists_.empty()) {
            lists.push_back(static_cast<std::uint32_t>(listPool_.size()));
            listPool_.emplace_back();
        } else {
            lists.push_back(freeLists_.back());
            freeLists_.pop_back();
        }
    }
    place(oldDays);
    if (!reuse) {
        std::sort(rings_.begin(), rings_.end());
    }
    // Edits are known against the list last built: not across a load read whole, nor two loads.
    if (reuse && edits_ && edits_->empty()) {
        edits_ = std::move(edits);
    } else {
        edits_.reset();
    }
}

void ManageList::tally(std::span<const Facts> facts, const QString& heading, int sign) {
    // sign 0: added unsorted, for a load read whole (sorted once at its end).
    const int by = sign < 0 ? -1 : 1;
    const DayCounts day = countsOf(facts);
    openTotal_ += by * day.open;
    staleTotal_ += by * day.stale;
    if (day.stale > 0) {
        if (int& n = staleOn_[heading]; (n += by * day.stale) == 0) {
            staleOn_.remove(heading);
        }
    }
    for (const Facts& f : facts) {
        if (!(f.isEntry && canRing(f.state) && f.hasReminder)) {
            continue;
        }
        const Instant ring = f.next;
        if (sign == 0) {
            rings_.push_back(ring);
        } else if (sign > 0) {
            rings_.insert(std::upper_bound(rings_.begin(), rings_.end(), ring), ring);
        } else if (const auto it = std::lower_bound(rings_.begin(), rings_.end(), ring); it != rings_.end()) {
            rings_.erase(it);
        }
    }
}

std::shared_ptr<const TextFilter::Block> ManageList::filterBlock(const QList<Item>& items) {
    std::vector<QStringView> texts;
    texts.reserve(static_cast<std::size_t>(items.size()));
    for (const Item& item : items) {
        const Entry* e = entryOf(item);
        texts.push_back(e ? QStringView(e->text) : QStringView());
    }
    return std::make_shared<const TextFilter::Block>(TextFilter::Block::make(texts));
}

void ManageList::prepareFilter(qsizetype from) {
    if (notesFilterReady_ || (from == 0 && preparingFilter_)) {
        return;
    }
    // The notes' texts lowered ahead of the first keystroke, some hundred days a turn of the event
    // loop, so that the keys in between are not held up. What a reload leaves of them is used by the
    // first filter; the rest is read then.
    preparingFilter_ = true;
    QSet<const void*> current;
    for (const DaySection& section : std::as_const(sections_)) {
        current.insert(section.items.constData());
    }
    QSet<const void*> known;
    std::erase_if(notesBlocks_, [&](const FilterBlock& b) { return !current.contains(b.items.constData()); });
    for (const FilterBlock& b : notesBlocks_) {
        known.insert(b.items.constData());
    }
    qsizetype s = from;
    for (int made = 0; s < sections_.size() && made < kFilterDaysATurn; ++s) {
        const QList<Item>& items = std::as_const(sections_)[s].items;
        if (!items.isEmpty() && !known.contains(items.constData())) {
            notesBlocks_.push_back({items, filterBlock(items)});
            ++made;
        }
    }
    if (s >= sections_.size()) {
        preparingFilter_ = false;
        return;
    }
    QTimer::singleShot(0, this, [this, s] {
        if (preparingFilter_) {
            prepareFilter(s);
        }
    });
}

const std::vector<std::uint8_t>& ManageList::filterMatches(bool trash, const QString& lowered) {
    TextFilter& filter = trash ? trashFilter_ : notesFilter_;
    bool& ready = trash ? trashFilterReady_ : notesFilterReady_;
    if (!ready) {
        std::vector<FilterBlock>& kept = trash ? trashBlocks_ : notesBlocks_;
        QHash<const void*, std::shared_ptr<const TextFilter::Block>> known;
        for (const FilterBlock& b : kept) {
            if (!b.items.isEmpty()) {
                known.insert(b.items.constData(), b.block);
            }
        }
        std::vector<FilterBlock> blocks;
        std::vector<std::shared_ptr<const TextFilter::Block>> list;
        for (const DaySection& section : std::as_const(trash ? trashSections_ : sections_)) {
            auto block = section.items.isEmpty() ? nullptr : known.value(section.items.constData());
            if (!block) {
                block = filterBlock(section.items);
            }
            blocks.push_back({section.items, block});
            list.push_back(std::move(block));
        }
        kept = std::move(blocks);
        filter.reset(std::move(list));
        ready = true;
        if (!trash) {
            preparingFilter_ = false;
        }
    }
    return filter.matches(lowered);
}

const QMap<QString, int>& ManageList::folded() const {
    if (!folded_) {
        QMap<QString, int> folded;
        for (const Part& p : parts_) {
            if (p.hidden > 0) {
                folded.insert(p.heading(builtSource_), p.hidden);
            }
        }
        folded_ = std::move(folded);
    }
    return *folded_;
}

const ManageList::Part& ManageList::sectionOfEntry(qsizetype entry) const {
    // The last section starting at or before the entry (sections without entries start where the
    // next one does, so the one that holds it comes last).
    const auto it = std::upper_bound(parts_.begin(), parts_.end(), static_cast<std::uint32_t>(entry),
                                     [](std::uint32_t e, const Part& p) { return e < p.firstEntry; });
    return *(it - 1);
}

const ManageList::Part& ManageList::sectionOfRow(int row) const {
    const auto it = std::upper_bound(parts_.begin(), parts_.end(), static_cast<std::uint32_t>(row),
                                     [](std::uint32_t r, const Part& p) { return r < p.firstRow; });
    return *(it - 1);
}

const QUuid& ManageList::idAt(qsizetype entry) const {
    const Part& p = sectionOfEntry(entry);
    const auto k = static_cast<std::uint32_t>(entry) - p.firstEntry;
    return p.gathered ? p.gathered->members[k].id : entryOf(p.item(builtSource_, p.entryPlace(k)))->id;
}

ManageList::Row ManageList::rowAt(int index) const {
    if (index < 0 || index >= rowCount()) {
        return {};
    }
    const Part& p = sectionOfRow(index);
    const auto local = static_cast<std::uint32_t>(index) - p.firstRow;
    const QString& heading = p.heading(builtSource_);
    const QUuid& id = p.id(builtSource_);
    if (local == 0) {
        return Row{Row::Kind::Header, id, heading, {}, {}, 0, false};
    }
    if (local > p.entryCount) {
        return Row{Row::Kind::Folded, id, heading, {}, {}, p.hidden, false};
    }
    const std::uint32_t place = p.entryPlace(local - 1);
    const QString& day = builtSource_[p.dayOf(builtSource_, place)].heading;
    return Row{Row::Kind::Entry,
               id,
               heading,
               *entryOf(p.item(builtSource_, place)),
               day,
               0,
               listing_ == Listing::Notes && heading != day};
}

int ManageList::rowIndex(const QUuid& id) const {
    const qsizetype index = indexOf(id);
    if (index < 0) {
        return -1;
    }
    const Part& p = sectionOfEntry(index);
    return static_cast<int>(p.firstRow + 1 + (static_cast<std::uint32_t>(index) - p.firstEntry));
}

const QList<DaySection>& ManageList::visibleSections() const {
    if (!visibleSections_) {
        QList<DaySection> sections;
        sections.reserve(static_cast<qsizetype>(parts_.size()));
        for (const Part& p : parts_) {
            QList<Item> items;
            items.reserve(static_cast<qsizetype>(p.count));
            for (std::uint32_t place = 0; place < p.count; ++place) {
                items.append(p.item(builtSource_, place));
            }
            sections.append(DaySection{p.id(builtSource_), p.heading(builtSource_), std::move(items)});
        }
        visibleSections_ = std::move(sections);
    }
    return *visibleSections_;
}

qsizetype ManageList::indexOf(const QUuid& id) const {
    if (lastFound_ && lastFound_->first == id) {
        return lastFound_->second;
    }
    // The identities are read from the per-item tables while they belong to the source shown, side
    // by side in memory; else from the items.
    const bool trash = listing_ == Listing::Trash;
    const QList<DaySection>& loaded = trash ? trashSections_ : sections_;
    const bool tables = builtSource_.constData() == loaded.constData();
    const QUuid* ids = trash ? trashIds_->data() : ids_.data();
    const std::vector<qsizetype>& offsets = trash ? trashOffsets_ : offsets_;
    const IdBits bits = idBits(id);
    qsizetype index = -1;
    for (const Part& p : parts_) {
        if (p.gathered) {
            const auto& own = p.gathered->members;
            if (const auto it =
                    std::find_if(own.begin(), own.end(), [&](const Gathered::Member& m) { return m.id == id; });
                it != own.end()) {
                index = p.firstEntry + (it - own.begin());
                break;
            }
            continue;
        }
        if (!mayHold(p.ids, bits)) {
            continue;
        }
        const std::uint32_t* listed = p.list->listed.data() + p.listedAt;
        const std::uint32_t* entries = p.list->entries.data() + p.entriesAt;
        std::uint32_t k = 0;
        if (tables) {
            const QUuid* day = ids + offsets[static_cast<std::size_t>(Part::flip(builtSource_, p.home))];
            while (k < p.entryCount && day[listed[entries[k]]] != id) {
                ++k;
            }
        } else {
            const QList<Item>& items = builtSource_[Part::flip(builtSource_, p.home)].items;
            while (k < p.entryCount && entryOf(items[listed[entries[k]]])->id != id) {
                ++k;
            }
        }
        if (k < p.entryCount) {
            index = p.firstEntry + k;
            break;
        }
    }
    lastFound_ = {id, index};
    return index;
}

std::optional<Entry> ManageList::entryAt(qsizetype index) const {
    if (index < 0 || index >= entryCount()) {
        return std::nullopt;
    }
    const Part& p = sectionOfEntry(index);
    return std::get<Entry>(p.item(builtSource_, p.entryPlace(static_cast<std::uint32_t>(index) - p.firstEntry)));
}

QList<Entry> ManageList::entries() const {
    QList<Entry> out;
    out.reserve(entryCount());
    for (const Part& p : parts_) {
        for (std::uint32_t k = 0; k < p.entryCount; ++k) {
            out.append(std::get<Entry>(p.item(builtSource_, p.entryPlace(k))));
        }
    }
    return out;
}

QList<ManageList::Row> ManageList::rows() const {
    QList<Row> out;
    out.reserve(rowCount());
    for (int i = 0; i < rowCount(); ++i) {
        out.append(rowAt(i));
    }
    return out;
}

const DaySection* ManageList::sectionOf(const QUuid& id) const {
    for (const DaySection& section : sections_) {
        for (const Item& item : section.items) {
            const Entry* e = entryOf(item);
            if (e && e->id == id) {
                return &section;
            }
        }
    }
    return nullptr;
}

QString ManageList::Row::id() const {
    switch (kind) {
    case Kind::Header:
        return QStringLiteral("h|") + heading;
    case Kind::Entry:
        return entryRowID(heading, entry.id);
    case Kind::Folded:
        return QStringLiteral("f|") + heading;
    }
    return {};
}

QUuid ManageList::nowSectionID() {
    static const QUuid id = NotesDocument::stableID(u"section|Now");
    return id;
}

QUuid ManageList::activeSectionID() {
    static const QUuid id = NotesDocument::stableID(u"section|Active");
    return id;
}

QString ManageList::entryRowID(const QString& heading, const QUuid& id) {
    return QStringLiteral("e|") + heading + QLatin1Char('|') + id.toString(QUuid::WithoutBraces).toUpper();
}

ManageList::Facts ManageList::factsOf(const Item& item, const Moment& now) {
    Facts f;
    const Entry* e = entryOf(item);
    if (!e) {
        return f;
    }
    f.isEntry = true;
    f.active = e->active;
    f.state = e->state;
    // Only a comment with the word can hold a reminder.
    if (e->comment && Reminder::mayHold(*e->comment)) {
        if (const auto reminder = EntryReminders::reminder(*e, now.calendar, now.anchors)) {
            f.hasReminder = true;
            f.repeats = reminder->rule.has_value();
            f.routine = reminder->routine;
            f.next = reminder->next;
        }
    }
    return f;
}

ManageList::DayCounts ManageList::countsOf(std::span<const Facts> facts) {
    DayCounts counts;
    for (const Facts& f : facts) {
        counts.open += f.isEntry && f.state == Entry::State::Open && !(f.repeats && f.routine) ? 1 : 0;
        counts.stale += isStale(f) ? 1 : 0;
    }
    return counts;
}

// --- Loading ---------------------------------------------------------------------------------

bool ManageList::load(QList<DaySection> sections, const Moment& now) {
    const QList<DaySection> previous = sections_;
    const bool changed = !(sections_ == sections);
    if (changed) {
        sections_ = std::move(sections);
    }
    learnFacts(now, previous);
    return changed;
}

bool ManageList::loadTrash(QList<DaySection> trash) {
    trashOffsets_.clear();
    trashFacts_.clear();
    trashIds_ = std::make_shared<std::vector<QUuid>>();
    trashFilterReady_ = false;
    qsizetype offset = 0;
    for (const DaySection& section : trash) {
        trashOffsets_.push_back(offset);
        offset += section.items.size();
        for (const Item& item : section.items) {
            const Entry* e = entryOf(item);
            Facts f;
            f.isEntry = e != nullptr;
            f.state = e ? e->state : Entry::State::Open;
            trashFacts_.push_back(f);
            trashIds_->push_back(e ? e->id : QUuid());
        }
    }
    if (trashSections_ == trash) {
        return false;
    }
    trashSections_ = std::move(trash);
    return true;
}

// --- Building the list -----------------------------------------------------------------------

ManageList::Changes ManageList::rebuild(Listing listing, const QString& filter, bool showCompleted, const Moment& now) {
    listing_ = listing;
    const bool trash = listing == Listing::Trash;
    // A filter keeps only the entries whose text holds it, raw lines dropped, in every view.
    const QString q = filter.trimmed().toLower();
    const std::vector<std::uint8_t>* matches = q.isEmpty() ? nullptr : &filterMatches(trash, q);
    const bool notes = listing == Listing::Notes;
    // The notes' days unfiltered, listed for the same day and while no ring passed, are listed again
    // only where the last load changed them.
    const std::optional<std::vector<DayEdit>> edits = std::exchange(edits_, std::vector<DayEdit>{});
    const bool keep = !trash && !matches && listing != Listing::Later;
    if (keep && edits && basis_ && basis_->notes == notes && basis_->fold == (notes && !showCompleted) &&
        basis_->today == now.todayHeading && basis_->from <= now.instant && now.instant < basis_->until) {
        const Changes changes = relist(*edits, now);
        dropCaches(changes);
        return changes;
    }
    basis_.reset();
    Building b{trash ? trashSections_ : sections_,
               trash ? trashOffsets_ : offsets_,
               trash ? trashFacts_ : facts_,
               trash ? *trashIds_ : ids_,
               matches,
               {},
               nullptr,
               {},
               {}};
    if (listing == Listing::Later) {
        listLater(b, now);
    } else {
        // Past days show only what is still open, unless the filter or "show done" says otherwise.
        listDays(b, notes, notes && !matches && !showCompleted, now);
    }
    const Changes changes = compare(b);
    if (keep) {
        basis_ = Basis{notes, notes && !showCompleted, now.todayHeading, b.from, b.until};
    }
    // Taken also when it shows the same, so that the list is the one the next edits apply to.
    parts_ = std::move(b.parts);
    now_ = std::move(b.now);
    active_ = std::move(b.active);
    builtSource_ = b.source;
    placeParts(changes);
    dropCaches(changes);
    return changes;
}

void ManageList::placeParts(const Changes& changes) {
    std::uint32_t entries = 0;
    int rows = 0;
    for (Part& p : parts_) {
        p.firstRow = static_cast<std::uint32_t>(rows);
        p.firstEntry = entries;
        entries += p.entryCount;
        rows += 1 + static_cast<int>(p.entryCount) + (p.hidden > 0 ? 1 : 0);
    }
    entryCount_ = entries;
    rowCount_ = rows;
    if (changes.rows) {
        lastFound_.reset();
    }
}

void ManageList::dropCaches(const Changes& changes) {
    if (changes.folds) {
        folded_.reset();
    }
    if (changes.sections) {
        visibleSections_.reset();
    }
}

void ManageList::Building::gather(const QUuid& id, const QString& heading, std::span<const Place> places) {
    auto g = std::make_shared<Gathered>();
    g->id = id;
    g->heading = heading;
    g->members.reserve(places.size());
    for (const Place& p : places) {
        const auto item = p.item - static_cast<std::uint32_t>(offsets[p.section]);
        const Item& it = source[p.section].items[item];
        g->members.push_back(
            {&it, entryOf(it)->id, {}, static_cast<std::uint32_t>(Part::flip(source, p.section)), item, 0});
    }
    Part part;
    part.count = static_cast<std::uint32_t>(places.size());
    part.entryCount = part.count;
    part.gathered = std::move(g);
    parts.push_back(std::move(part));
}

void ManageList::listLater(Building& b, const Moment& now) const {
    std::vector<Place> waiting;
    for (qsizetype s = 0; s < sections_.size(); ++s) {
        const auto base = static_cast<std::uint32_t>(offsets_[static_cast<std::size_t>(s)]);
        for (qsizetype i = 0; i < std::as_const(sections_)[s].items.size(); ++i) {
            const auto g = base + static_cast<std::uint32_t>(i);
            const Facts& f = facts_[g];
            if (f.isEntry && canRing(f.state) && isWaiting(f, now.instant) && (!b.matches || (*b.matches)[g])) {
                waiting.push_back({g, static_cast<std::uint32_t>(s)});
            }
        }
    }
    const auto nextRing = [&](const Place& p) { return facts_[p.item].next; };
    std::stable_sort(waiting.begin(), waiting.end(),
                     [&](const Place& x, const Place& y) { return nextRing(x) < nextRing(y); });
    // Grouped by the day each entry comes back; a heading is only formatted when a new day starts.
    std::vector<std::pair<QString, std::size_t>> days; // each day and where it starts
    Instant dayEnd{};
    for (std::size_t k = 0; k < waiting.size(); ++k) {
        const Instant next = nextRing(waiting[k]);
        if (days.empty() || next >= dayEnd) {
            QString day = NotesFormat::heading(next, now.calendar).mid(3);
            if (days.empty() || days.back().first != day) {
                days.emplace_back(std::move(day), k);
            }
            dayEnd = now.calendar.addingDays(now.calendar.startOfDay(next), 1).value_or(next + std::chrono::hours(1));
        }
    }
    for (std::size_t d = 0; d < days.size(); ++d) {
        const std::size_t end = d + 1 < days.size() ? days[d + 1].second : waiting.size();
        b.gather(NotesDocument::stableID(QStringLiteral("later|") + days[d].first), days[d].first,
                 std::span<const Place>(waiting.data() + days[d].second, end - days[d].second));
    }
}

// "Now" or "Active" being gathered while the days are listed: the days whose lists the group shown
// was gathered from keep their entries; the others' are read.
struct ManageList::Gathering {
    const Group& was;
    bool byRing;
    Group is;
    std::vector<std::int64_t> moved; // each of was.days: where it stands in is.days, -1 gone
    std::size_t next = 0;            // the first of was.days not met again
    struct Fresh {
        Place place;
        std::uint32_t day;
    };
    std::vector<Fresh> fresh;

    Gathering(const Group& group, bool ring)
        : was(group)
        , byRing(ring)
        , moved(group.days.size(), -1) {}

    // A day with entries for the group; `list` null when the day's list is not kept.
    void add(const std::shared_ptr<const DayList>& list, std::uint32_t section, std::uint32_t base,
             const std::vector<std::uint32_t>& which) {
        const auto day = static_cast<std::uint32_t>(is.days.size());
        is.days.emplace_back(list, section);
        // Days keep their order: the same list is looked for a few days ahead of the last met.
        for (std::size_t t = next; list && t < std::min(next + 4, was.days.size()); ++t) {
            if (was.days[t].first == list) {
                moved[t] = day;
                next = t + 1;
                return;
            }
        }
        for (const std::uint32_t i : which) {
            fresh.push_back({{base + i, section}, day});
        }
    }

    // The group in order of next ring (in "Now"), day, and newest entry first.
    std::shared_ptr<const Gathered> make(const Building& b, const QUuid& id, const QString& heading) {
        const auto nextOf = [&](const Place& p) { return byRing ? b.facts[p.item].next : Instant{}; };
        std::stable_sort(fresh.begin(), fresh.end(),
                         [&](const Fresh& x, const Fresh& y) { return nextOf(x.place) < nextOf(y.place); });
        auto g = std::make_shared<Gathered>();
        g->id = id;
        g->heading = heading;
        const std::vector<Gathered::Member> none;
        const std::vector<Gathered::Member>& kept = was.list ? was.list->members : none;
        std::vector<Gathered::Member>& out = g->members;
        out.reserve(kept.size() + fresh.size());
        std::size_t k = 0;
        for (std::size_t f = 0; f <= fresh.size(); ++f) {
            // The kept entries before the fresh one f (all of them after the last), copied as they are
            // and moved to the days they stand at now.
            const bool last = f == fresh.size();
            const Instant at = last ? Instant{} : nextOf(fresh[f].place);
            while (k < kept.size()) {
                const Gathered::Member& m = kept[k];
                const std::int64_t day = moved[m.day];
                if (day < 0) {
                    ++k;
                    continue;
                }
                const std::uint32_t section = is.days[static_cast<std::size_t>(day)].second;
                // A day is kept or read whole, so the two stand on different days.
                if (!last && (at != m.next ? at < m.next : fresh[f].place.section < section)) {
                    break;
                }
                out.push_back(m);
                out.back().home = static_cast<std::uint32_t>(Part::flip(b.source, section));
                out.back().day = static_cast<std::uint32_t>(day);
                ++k;
            }
            if (f < fresh.size()) {
                const Place& p = fresh[f].place;
                const auto item = p.item - static_cast<std::uint32_t>(b.offsets[p.section]);
                const Item& it = b.source[p.section].items[item];
                out.push_back({&it, entryOf(it)->id, nextOf(p),
                               static_cast<std::uint32_t>(Part::flip(b.source, p.section)), item, fresh[f].day});
            }
        }
        return g;
    }
};

const ManageList::DayList& ManageList::dayList(Building& b, qsizetype s, bool notes, bool fold, const Moment& now,
                                               Part& part) const {
    // The notes' days unfiltered are kept with their facts, and listed again only when they changed
    // or a ring passed; the rest are listed in scratch_.
    const QString& heading = b.source[s].heading;
    const bool folds = fold && heading != now.todayHeading && heading != activeHeading() && heading != nowHeading();
    const auto base = static_cast<std::uint32_t>(b.offsets[static_cast<std::size_t>(s)]);
    const qsizetype count = b.source[s].items.size();
    part.home = Part::flip(b.source, s);
    if (!b.matches && &b.facts == &facts_ && static_cast<std::size_t>(s) < dayLists_.size()) {
        std::shared_ptr<const DayList>& kept = listPool_[dayLists_[static_cast<std::size_t>(s)]][folds ? 1 : 0];
        if (!kept || kept->notes != notes || now.instant < kept->from || now.instant >= kept->until) {
            auto fresh = std::make_shared<DayList>();
            listDay(*fresh, b.facts.data() + base, b.ids.data() + base, count, nullptr, notes, folds, now.instant);
            kept = std::move(fresh);
        }
        b.from = std::max(b.from, kept->from);
        b.until = std::min(b.until, kept->until);
        part.list = kept;
        return *kept;
    }
    const std::uint8_t* matches = b.matches ? b.matches->data() + base : nullptr;
    listDay(scratch_, b.facts.data() + base, nullptr, count, matches, notes, folds, now.instant);
    return scratch_;
}

void ManageList::listDays(Building& b, bool notes, bool fold, const Moment& now) const {
    // The days kept go to the groups' next lists; the rest to the pool, one after another.
    const bool keep = !b.matches && &b.facts == &facts_;
    static const Group none;
    Gathering ringing(keep ? now_ : none, true);
    Gathering active(keep ? active_ : none, false);
    std::vector<Part> days;
    days.reserve(static_cast<std::size_t>(b.source.size()));
    for (qsizetype s = 0; s < b.source.size(); ++s) {
        Part part;
        const DayList* list = &dayList(b, s, notes, fold, now, part);
        const auto base = static_cast<std::uint32_t>(b.offsets[static_cast<std::size_t>(s)]);
        const auto section = static_cast<std::uint32_t>(s);
        if (!list->ringing.empty()) {
            ringing.add(part.list, section, base, list->ringing);
        }
        if (!list->active.empty()) {
            active.add(part.list, section, base, list->active);
        }
        // A day is listed while it has entries, even when all of them are hidden.
        if (!list->stays) {
            continue;
        }
        if (!part.list) {
            if (!b.pool) {
                b.pool = std::make_shared<DayList>();
            }
            part.listedAt = static_cast<std::uint32_t>(b.pool->listed.size());
            part.entriesAt = static_cast<std::uint32_t>(b.pool->entries.size());
            b.pool->listed.insert(b.pool->listed.end(), list->listed.begin(), list->listed.end());
            b.pool->entries.insert(b.pool->entries.end(), list->entries.begin(), list->entries.end());
        }
        fill(part, *list);
        days.push_back(std::move(part));
    }
    for (auto [gathering, id, heading, into] : {std::tuple{&ringing, nowSectionID(), &nowHeading(), &b.now},
                                                std::tuple{&active, activeSectionID(), &activeHeading(), &b.active}}) {
        if (gathering->is.days.empty()) {
            continue;
        }
        auto g = gathering->make(b, id, *heading);
        b.parts.push_back(gatheredPart(g));
        if (keep) {
            *into = Group{std::move(g), std::move(gathering->is.days)};
            for (auto& day : into->days) {
                day.second = static_cast<std::uint32_t>(Part::flip(b.source, day.second));
            }
        }
    }
    // The pool is complete: its days read from it.
    for (Part& part : days) {
        if (!part.list) {
            part.list = b.pool;
        }
    }
    // With room for the days that come in at the top later.
    b.parts.reserve(b.parts.size() + days.size() + days.size() / 16);
    std::move(days.begin(), days.end(), std::back_inserter(b.parts));
}

void ManageList::fill(Part& part, const DayList& list) {
    part.count = static_cast<std::uint32_t>(list.listed.size());
    part.entryCount = static_cast<std::uint32_t>(list.entries.size());
    part.hidden = list.hidden;
    part.ids = list.ids;
}

ManageList::Part ManageList::gatheredPart(std::shared_ptr<const Gathered> g) {
    Part part;
    part.count = static_cast<std::uint32_t>(g->members.size());
    part.entryCount = part.count;
    part.gathered = std::move(g);
    return part;
}

ManageList::Changes ManageList::relist(const std::vector<DayEdit>& edits, const Moment& now) {
    if (edits.empty()) {
        builtSource_ = sections_;
        return {};
    }
    Building b{sections_, offsets_, facts_, ids_, nullptr, {}, nullptr, {}, {}};
    b.from = basis_->from;
    b.until = basis_->until;
    std::size_t gathered = 0;
    while (gathered < parts_.size() && parts_[gathered].gathered) {
        ++gathered;
    }
    // Each edit: the previous days it takes out, the days shown in their place, and by how much
    // the days after it moved.
    struct Edit {
        std::int64_t oldAt = 0;
        std::int64_t oldEnd = 0;
        std::int64_t shift = 0;
        std::int64_t newEnd = 0; // where the days it lists end, counted from the top
        std::size_t from = 0;
        std::size_t to = 0;
        std::vector<Part> with;
    };
    std::vector<Edit> done;
    done.reserve(edits.size());
    // The days listed again that have entries for "Now" or "Active", in order.
    std::vector<std::pair<std::shared_ptr<const DayList>, std::uint32_t>> listed;
    // The parts' days, as the list shown counts them, from the top.
    const auto oldDay = [&](const Part& p) { return Part::flip(builtSource_, p.home); };
    std::int64_t shift = 0;
    std::size_t scan = gathered;
    for (const DayEdit& e : edits) {
        Edit d;
        d.oldAt = e.at - shift;
        d.oldEnd = d.oldAt + e.removed;
        d.newEnd = e.at + e.added;
        while (scan < parts_.size() && oldDay(parts_[scan]) < d.oldAt) {
            ++scan;
        }
        d.from = scan;
        while (scan < parts_.size() && oldDay(parts_[scan]) < d.oldEnd) {
            ++scan;
        }
        d.to = scan;
        for (std::uint32_t s = e.at; s < e.at + e.added; ++s) {
            Part part;
            const DayList& list = dayList(b, s, basis_->notes, basis_->fold, now, part);
            if (!list.ringing.empty() || !list.active.empty()) {
                listed.emplace_back(part.list, s);
            }
            if (list.stays) {
                fill(part, list);
                d.with.push_back(std::move(part));
            }
        }
        shift += static_cast<std::int64_t>(e.added) - static_cast<std::int64_t>(e.removed);
        d.shift = shift;
        done.push_back(std::move(d));
    }

    // Edit by edit, the parts each takes out against those it puts in: where every edit puts in as
    // many as it takes out, the lists are the same if those are; a different number in all differs;
    // else the parts from the first edit to the last are compared as they were and as they will be.
    bool sectionsSame = true;
    bool foldsSame = true;
    if (!done.empty()) {
        using Read = std::pair<const Part*, const QList<DaySection>*>;
        using Folded = std::vector<std::pair<const QString*, int>>;
        // The folded rows in order, by heading.
        const auto folded = [](const std::vector<Read>& list) {
            Folded out;
            for (const auto& [p, source] : list) {
                if (p->hidden > 0) {
                    out.emplace_back(&p->heading(*source), p->hidden);
                }
            }
            return out;
        };
        const auto sameFolds = [](const Folded& x, const Folded& y) {
            return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](const auto& u, const auto& v) {
                return u.second == v.second && sameText(*u.first, *v.first);
            });
        };
        bool aligned = true;
        bool foldsAligned = true;
        std::ptrdiff_t more = 0;
        std::ptrdiff_t moreFolded = 0;
        for (const Edit& d : done) {
            std::vector<Read> was;
            std::vector<Read> is;
            for (std::size_t k = d.from; k < d.to; ++k) {
                was.emplace_back(&parts_[k], &builtSource_);
            }
            for (const Part& p : d.with) {
                is.emplace_back(&p, &sections_);
            }
            aligned = aligned && was.size() == is.size();
            more += static_cast<std::ptrdiff_t>(is.size()) - static_cast<std::ptrdiff_t>(was.size());
            for (std::size_t k = 0; sectionsSame && aligned && k < was.size(); ++k) {
                sectionsSame = samePart(*was[k].first, builtSource_, *is[k].first, sections_);
            }
            const Folded x = folded(was);
            const Folded y = folded(is);
            foldsAligned = foldsAligned && x.size() == y.size();
            moreFolded += static_cast<std::ptrdiff_t>(y.size()) - static_cast<std::ptrdiff_t>(x.size());
            foldsSame = foldsSame && sameFolds(x, y);
        }
        if (!(aligned && foldsAligned)) {
            std::vector<Read> was;
            std::vector<Read> is;
            if (more == 0 || (!foldsAligned && moreFolded == 0)) {
                for (std::size_t k = done.front().from; k < done.back().to; ++k) {
                    was.emplace_back(&parts_[k], &builtSource_);
                }
                for (std::size_t i = 0; i < done.size(); ++i) {
                    for (const Part& p : done[i].with) {
                        is.emplace_back(&p, &sections_);
                    }
                    for (std::size_t k = done[i].to; i + 1 < done.size() && k < done[i + 1].from; ++k) {
                        is.emplace_back(&parts_[k], &builtSource_);
                    }
                }
            }
            if (!aligned) {
                sectionsSame = more == 0;
                for (std::size_t k = 0; sectionsSame && k < was.size(); ++k) {
                    sectionsSame = was[k].first == is[k].first ||
                                   samePart(*was[k].first, *was[k].second, *is[k].first, *is[k].second);
                }
            }
            if (!foldsAligned) {
                foldsSame = moreFolded == 0 && sameFolds(folded(was), folded(is));
            }
        }
        // The days above an edit move by the days it and those below it added: counted from the
        // last day, the days below the last edit keep their number.
        for (std::size_t k = gathered; k < done.front().from; ++k) {
            parts_[k].home += shift;
        }
        for (std::size_t i = 0; i + 1 < done.size(); ++i) {
            for (std::size_t k = done[i].to; k < done[i + 1].from; ++k) {
                parts_[k].home += shift - done[i].shift;
            }
        }
    }

    // "Now" and "Active": the days they were gathered from where they stand now, those listed again
    // in place of the ones they replace; gathered again only when one of them changed or moved.
    std::vector<Part> top;
    const auto regroup = [&](Group& group, bool ring, const QUuid& id, const QString& heading) {
        const auto which = [&](const DayList& list) -> const std::vector<std::uint32_t>& {
            return ring ? list.ringing : list.active;
        };
        auto& days = group.days;
        const auto oldTop = [&](std::size_t t) { return Part::flip(builtSource_, days[t].second); };
        // Where each edit falls among the group's days (found by halves: the days are in order), and
        // the days it lists again that have entries for the group.
        struct Cut {
            std::size_t from = 0;
            std::size_t to = 0;
            std::vector<const std::pair<std::shared_ptr<const DayList>, std::uint32_t>*> with;
        };
        std::vector<Cut> cuts(done.size());
        const auto firstFrom = [&](std::int64_t at) {
            return static_cast<std::size_t>(
                std::partition_point(days.begin(), days.end(),
                                     [&](const auto& day) { return Part::flip(builtSource_, day.second) < at; }) -
                days.begin());
        };
        bool same = true;
        std::size_t l = 0;
        for (std::size_t i = 0; i < done.size(); ++i) {
            cuts[i].from = firstFrom(done[i].oldAt);
            cuts[i].to = firstFrom(done[i].oldEnd);
            for (; l < listed.size() && listed[l].second < done[i].newEnd; ++l) {
                if (!which(*listed[l].first).empty()) {
                    cuts[i].with.push_back(&listed[l]);
                }
            }
            same = same && cuts[i].from == cuts[i].to && cuts[i].with.empty();
            // Counted from the last day, the days above an edit move by what the edits from it down added.
            const std::size_t above = i == 0 ? 0 : cuts[i - 1].to;
            same = same && (cuts[i].from == above || shift == (i == 0 ? 0 : done[i - 1].shift));
        }
        if (same) {
            if (group.list) {
                top.push_back(gatheredPart(group.list));
            }
            return;
        }
        // The days kept hand their entries over as they are; only the days listed again are read.
        Gathering gathering(group, ring);
        gathering.is.days.reserve(days.size() + listed.size());
        std::size_t t = 0;
        std::int64_t by = 0;
        const auto keepUpTo = [&](std::size_t end) {
            for (; t < end; ++t) {
                gathering.moved[t] = static_cast<std::int64_t>(gathering.is.days.size());
                gathering.is.days.emplace_back(std::move(days[t].first), static_cast<std::uint32_t>(oldTop(t) + by));
            }
        };
        for (std::size_t i = 0; i < cuts.size(); ++i) {
            keepUpTo(cuts[i].from);
            for (const auto* day : cuts[i].with) {
                const auto at = static_cast<std::uint32_t>(gathering.is.days.size());
                const auto base = static_cast<std::uint32_t>(offsets_[day->second]);
                for (const std::uint32_t item : which(*day->first)) {
                    gathering.fresh.push_back({{base + item, day->second}, at});
                }
                gathering.is.days.push_back(*day);
            }
            t = cuts[i].to;
            by = done[i].shift;
        }
        keepUpTo(days.size());
        Group next;
        if (!gathering.is.days.empty()) {
            next.list = gathering.make(b, id, heading);
            next.days = std::move(gathering.is.days);
            for (auto& day : next.days) {
                day.second = static_cast<std::uint32_t>(Part::flip(sections_, day.second));
            }
            top.push_back(gatheredPart(next.list));
        }
        group = std::move(next);
    };
    regroup(now_, true, nowSectionID(), nowHeading());
    regroup(active_, false, activeSectionID(), activeHeading());
    sectionsSame = sectionsSame && top.size() == gathered;
    for (std::size_t k = 0; sectionsSame && k < top.size(); ++k) {
        sectionsSame = top[k].gathered == parts_[k].gathered || samePart(parts_[k], builtSource_, top[k], sections_);
    }

    // Put in place from the last, so that the places of those before hold.
    for (auto d = done.rbegin(); d != done.rend(); ++d) {
        splice(parts_, d->from, d->to - d->from, d->with);
    }
    splice(parts_, 0, gathered, top);
    builtSource_ = sections_;
    basis_->from = b.from;
    basis_->until = b.until;
    const Changes changes{!(sectionsSame && foldsSame), !sectionsSame, !foldsSame};
    placeParts(changes);
    return changes;
}

void ManageList::listDay(DayList& list, const Facts* facts, const QUuid* ids, qsizetype count,
                         const std::uint8_t* matches, bool notes, bool folds, Instant now) {
    // A list made for one list only (the trash, a filter) is not summed up: it may hold any entry.
    list.ids = {};
    if (ids == nullptr) {
        list.ids.fill(~std::uint64_t{0});
    }
    list.notes = notes;
    list.folds = folds;
    list.from = Instant::min();
    list.until = Instant::max();
    list.listed.clear();
    list.entries.clear();
    list.ringing.clear();
    list.active.clear();
    int stays = 0;
    int hidden = 0;
    // Newest entry of the day first: entries are added at the end of their day.
    for (auto i = static_cast<std::uint32_t>(count); i-- > 0;) {
        const Facts& f = facts[i];
        if (matches && !(f.isEntry && matches[i])) {
            continue;
        }
        if (notes && f.isEntry) {
            const bool rings = canRing(f.state) && f.hasReminder;
            if (rings) {
                if (f.next <= now) {
                    list.from = std::max(list.from, f.next);
                } else {
                    list.until = std::min(list.until, f.next);
                }
            }
            if (rings && f.next <= now) {
                list.ringing.push_back(i);
                continue;
            }
            if (f.active) {
                list.active.push_back(i);
                continue;
            }
            if (rings) {
                continue; // waiting in Later
            }
        }
        stays += f.isEntry ? 1 : 0;
        if (folds && !(f.isEntry && canRing(f.state))) {
            hidden += f.isEntry ? 1 : 0;
            continue;
        }
        if (f.isEntry) {
            list.entries.push_back(static_cast<std::uint32_t>(list.listed.size()));
        }
        if (f.isEntry && ids != nullptr) {
            const IdBits bits = idBits(ids[i]);
            for (std::size_t w = 0; w < bits.size(); ++w) {
                list.ids[w] |= bits[w];
            }
        }
        list.listed.push_back(i);
    }
    // A day is listed while it has entries, even when all of them are hidden.
    list.stays = stays > 0;
    list.hidden = hidden;
}

bool ManageList::samePart(const Part& was, const QList<DaySection>& wasSource, const Part& is,
                          const QList<DaySection>& isSource) {
    if (was.count != is.count || was.id(wasSource) != is.id(isSource) ||
        was.heading(wasSource) != is.heading(isSource)) {
        return false;
    }
    // A day whose items are the very list it was built from compares by places alone, and not
    // at all when it was listed the same way.
    std::uint32_t i = 0;
    if (!was.gathered && !is.gathered &&
        wasSource[Part::flip(wasSource, was.home)].items.constData() ==
            isSource[Part::flip(isSource, is.home)].items.constData()) {
        if (was.list == is.list && was.listedAt == is.listedAt) {
            i = is.count;
        }
        while (i < is.count && was.itemIndex(i) == is.itemIndex(i)) {
            ++i;
        }
    }
    for (; i < is.count; ++i) {
        const Item& x = was.item(wasSource, i);
        const Item& y = is.item(isSource, i);
        if (&x != &y && !(x == y)) {
            return false;
        }
    }
    return true;
}

ManageList::Changes ManageList::compare(const Building& b) const {
    // The sections changed when a heading, an identity or an item (by value) differs from what
    // was built before; the rows also when a day folds differently.
    bool sectionsSame = b.parts.size() == parts_.size();
    bool foldsSame = true;
    for (std::size_t k = 0; sectionsSame && k < b.parts.size(); ++k) {
        sectionsSame = samePart(parts_[k], builtSource_, b.parts[k], b.source);
        foldsSame = foldsSame && parts_[k].hidden == b.parts[k].hidden;
    }
    // The folded rows in order, by heading: compared across lists of other sections too.
    const auto foldedRows = [](const std::vector<Part>& list, const QList<DaySection>& source) {
        std::vector<std::pair<const QString*, int>> out;
        for (const Part& p : list) {
            if (p.hidden > 0) {
                out.emplace_back(&p.heading(source), p.hidden);
            }
        }
        return out;
    };
    if (!sectionsSame) {
        const auto was = foldedRows(parts_, builtSource_);
        const auto is = foldedRows(b.parts, b.source);
        foldsSame = std::equal(was.begin(), was.end(), is.begin(), is.end(), [](const auto& x, const auto& y) {
            return x.second == y.second && *x.first == *y.first;
        });
    }
    return {!(sectionsSame && foldsSame), !sectionsSame, !foldsSame};
}

// --- The notes file as loaded ----------------------------------------------------------------

std::optional<Entry> ManageList::entry(const QUuid& id) const {
    for (const DaySection& section : sections_) {
        for (const Item& item : section.items) {
            const Entry* e = entryOf(item);
            if (e && e->id == id) {
                return *e;
            }
        }
    }
    return std::nullopt;
}

bool ManageList::isWaiting(const QUuid& id, Instant now) const {
    // Read from the per-item tables, side by side in memory, rather than from the items.
    const std::vector<QUuid>& ids = ids_;
    std::size_t s = 0;
    std::optional<std::size_t> lastDay;
    for (std::size_t g = 0; g < ids.size(); ++g) {
        if (ids[g] != id || !facts_[g].isEntry) {
            continue;
        }
        while (s + 1 < offsets_.size() && static_cast<std::size_t>(offsets_[s + 1]) <= g) {
            ++s;
        }
        // The first of the day that holds it; a namesake on another day may wait.
        if (lastDay == s) {
            continue;
        }
        lastDay = s;
        if (canRing(facts_[g].state) && isWaiting(facts_[g], now)) {
            return true;
        }
    }
    return false;
}

bool ManageList::hasReminders() const {
    return std::any_of(facts_.begin(), facts_.end(), [](const Facts& f) { return f.hasReminder; });
}

int ManageList::openCount() const {
    return openTotal_;
}

int ManageList::laterCount(Instant now) const {
    // Waiting: the next ring is still to come.
    return static_cast<int>(rings_.end() - std::upper_bound(rings_.begin(), rings_.end(), now));
}

int ManageList::staleOpenCount(const QString& today) const {
    return staleTotal_ - staleOn_.value(today);
}

QList<Entry> ManageList::staleOpenEntries(const QString& today) const {
    QList<Entry> out;
    out.reserve(staleOpenCount(today));
    forEachStale(today, [&](const Item& item, qsizetype) { out.append(std::get<Entry>(item)); });
    return out;
}

const DaySection& ManageList::dayOf(qsizetype index) const {
    const Part& p = sectionOfEntry(index);
    return builtSource_[p.dayOf(builtSource_, p.entryPlace(static_cast<std::uint32_t>(index) - p.firstEntry))];
}

std::optional<EntryLocation> ManageList::locationAt(qsizetype index) const {
    if (listing_ == Listing::Trash || index < 0 || index >= entryCount()) {
        return std::nullopt;
    }
    const Part& p = sectionOfEntry(index);
    const std::uint32_t place = p.entryPlace(static_cast<std::uint32_t>(index) - p.firstEntry);
    return EntryLocation{p.dayOf(builtSource_, place), p.itemIndex(place)};
}

} // namespace plim
