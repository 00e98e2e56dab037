#include "ui/manage/ManageList.h"

#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"

#include <QSet>
#include <QTimer>

#include <algorithm>
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
    const auto previousDay = [&](const QList<Item>& items) -> std::optional<std::size_t> {
        if (!reuse || items.isEmpty()) {
            ++hint;
            return std::nullopt;
        }
        for (const std::ptrdiff_t step : {0, 1, -1, 2}) {
            const auto k = static_cast<std::ptrdiff_t>(hint) + step;
            if (k >= 0 && k < static_cast<std::ptrdiff_t>(oldDays) &&
                previous[k].items.constData() == items.constData()) {
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
    std::vector<DayLists> lists;
    std::size_t at = 0;      // where they go in the per-item tables
    std::size_t dayAt = 0;   // and in the per-day ones
    std::size_t oldNext = 0; // the first previous day neither taken over nor given way
    const auto place = [&](std::size_t upTo) {
        const std::size_t count = oldStart(upTo) - oldStart(oldNext);
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
        if (const auto same = previousDay(section.items); same && *same >= oldNext) {
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
        lists.emplace_back();
    }
    place(oldDays);
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
        for (const Built& b : built_) {
            if (b.hidden > 0) {
                folded.insert(headingOf(b), b.hidden);
            }
        }
        folded_ = std::move(folded);
    }
    return *folded_;
}

const ManageList::Built& ManageList::sectionOfEntry(qsizetype entry) const {
    // The last section starting at or before the entry (sections without entries start where the
    // next one does, so the one that holds it comes last).
    const auto it = std::upper_bound(built_.begin(), built_.end(), static_cast<std::uint32_t>(entry),
                                     [](std::uint32_t e, const Built& b) { return e < b.firstEntry; });
    return *(it - 1);
}

const ManageList::Built& ManageList::sectionOfRow(int row) const {
    const auto it = std::upper_bound(built_.begin(), built_.end(), static_cast<std::uint32_t>(row),
                                     [](std::uint32_t r, const Built& b) { return r < b.firstRow; });
    return *(it - 1);
}

const Item& ManageList::listedItem(const Built& section, std::uint32_t place) const {
    if (section.home < 0) {
        return *section.own[place - section.from];
    }
    return builtSource_[section.home].items[listed_[place] - builtOffsets_[static_cast<std::size_t>(section.home)]];
}

std::int64_t ManageList::listedDay(const Built& section, std::uint32_t place) const {
    return section.home >= 0 ? section.home : section.homes[place - section.from];
}

const QUuid& ManageList::idAt(qsizetype entry) const {
    return entryIds_[static_cast<std::size_t>(entry)];
}

ManageList::Row ManageList::rowAt(int index) const {
    if (index < 0 || index >= rowCount()) {
        return {};
    }
    const Built& section = sectionOfRow(index);
    const auto local = static_cast<std::uint32_t>(index) - section.firstRow;
    if (local == 0) {
        return Row{Row::Kind::Header, section.id, headingOf(section), {}, {}, 0, false};
    }
    if (local > section.entryCount) {
        return Row{Row::Kind::Folded, section.id, headingOf(section), {}, {}, section.hidden, false};
    }
    const std::uint32_t place = entries_[section.firstEntry + local - 1];
    const QString& day = builtSource_[listedDay(section, place)].heading;
    const QString& heading = headingOf(section);
    return Row{Row::Kind::Entry,
               section.id,
               heading,
               *entryOf(listedItem(section, place)),
               day,
               0,
               listing_ == Listing::Notes && heading != day};
}

const QString& ManageList::headingOf(const Built& section) const {
    return section.home >= 0 ? builtSource_[static_cast<qsizetype>(section.home)].heading : section.heading;
}

int ManageList::rowIndex(const QUuid& id) const {
    const qsizetype index = indexOf(id);
    if (index < 0) {
        return -1;
    }
    const Built& section = sectionOfEntry(index);
    return static_cast<int>(section.firstRow + 1 + (static_cast<std::uint32_t>(index) - section.firstEntry));
}

const QList<DaySection>& ManageList::visibleSections() const {
    if (!visibleSections_) {
        QList<DaySection> sections;
        sections.reserve(static_cast<qsizetype>(built_.size()));
        for (const Built& b : built_) {
            if (!b.items) {
                QList<Item> items;
                items.reserve(static_cast<qsizetype>(b.to - b.from));
                for (std::uint32_t place = b.from; place < b.to; ++place) {
                    items.append(listedItem(b, place));
                }
                b.items = std::move(items);
            }
            sections.append(DaySection{b.id, headingOf(b), *b.items});
        }
        visibleSections_ = std::move(sections);
    }
    return *visibleSections_;
}

qsizetype ManageList::indexOf(const QUuid& id) const {
    if (lastFound_ && lastFound_->first == id) {
        return lastFound_->second;
    }
    qsizetype index = -1;
    const auto it = std::find(entryIds_.begin(), entryIds_.end(), id);
    if (it != entryIds_.end()) {
        index = it - entryIds_.begin();
    }
    lastFound_ = {id, index};
    return index;
}

std::optional<Entry> ManageList::entryAt(qsizetype index) const {
    if (index < 0 || index >= static_cast<qsizetype>(entries_.size())) {
        return std::nullopt;
    }
    return std::get<Entry>(listedItem(sectionOfEntry(index), entries_[static_cast<std::size_t>(index)]));
}

QList<Entry> ManageList::entries() const {
    QList<Entry> out;
    out.reserve(static_cast<qsizetype>(entries_.size()));
    for (const Built& b : built_) {
        for (std::uint32_t e = b.firstEntry; e < b.firstEntry + b.entryCount; ++e) {
            out.append(std::get<Entry>(listedItem(b, entries_[e])));
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

std::optional<QString> ManageList::rowID(const QUuid& id) const {
    const qsizetype index = indexOf(id);
    if (index < 0) {
        return std::nullopt;
    }
    return entryRowID(headingOf(sectionOfEntry(index)), id);
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
        if (f.isEntry && canRing(f.state) && f.hasReminder) {
            counts.rings.push_back(f.next);
        }
    }
    std::sort(counts.rings.begin(), counts.rings.end());
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
    Building b{trash ? trashSections_ : sections_,
               trash ? trashOffsets_ : offsets_,
               trash ? trashFacts_ : facts_,
               matches,
               {},
               {},
               {},
               0};
    if (listing == Listing::Later) {
        listLater(b, now);
    } else {
        const bool notes = listing == Listing::Notes;
        // Past days show only what is still open, unless the filter or "show done" says otherwise.
        listDays(b, notes, notes && !matches && !showCompleted, now);
    }
    for (Built& section : b.built) {
        section.firstRow = static_cast<std::uint32_t>(b.rows);
        b.rows += 1 + static_cast<int>(section.entryCount) + (section.hidden > 0 ? 1 : 0);
    }
    const Changes changes = compare(b);
    if (changes.rows) {
        take(std::move(b), trash);
    }
    if (changes.folds) {
        folded_.reset();
    }
    if (changes.sections) {
        visibleSections_.reset();
    }
    return changes;
}

const QString& ManageList::Building::headingOf(const Built& section) const {
    return section.home >= 0 ? source[section.home].heading : section.heading;
}

const Item& ManageList::Building::itemOf(const Built& section, std::uint32_t place) const {
    if (section.home < 0) {
        return *section.own[place - section.from];
    }
    return source[section.home].items[listed[place] - offsets[static_cast<std::size_t>(section.home)]];
}

void ManageList::Building::gather(const QUuid& id, const QString& heading, std::span<const Place> places) {
    Built b;
    b.id = id;
    b.heading = heading;
    b.from = static_cast<std::uint32_t>(listed.size());
    b.firstEntry = static_cast<std::uint32_t>(entries.size());
    b.own.reserve(places.size());
    b.homes.reserve(places.size());
    for (const Place& p : places) {
        b.own.push_back(&source[p.section].items[p.item - offsets[p.section]]);
        b.homes.push_back(p.section);
        entries.push_back(static_cast<std::uint32_t>(listed.size()));
        listed.push_back(p.item);
    }
    b.to = static_cast<std::uint32_t>(listed.size());
    b.entryCount = static_cast<std::uint32_t>(places.size());
    built.push_back(std::move(b));
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

// The days' items, listed after "Now" and "Active", whose length is known at the end.
struct ManageList::Days {
    struct Day {
        std::int64_t section;
        std::uint32_t from, to, firstEntry, entryCount;
        int hidden;
    };
    std::vector<Day> days;
    std::vector<std::uint32_t> listed;
    std::vector<std::uint32_t> entries;
    std::vector<Place> ringing;
    std::vector<Place> active;
};

void ManageList::listDays(Building& b, bool notes, bool fold, const Moment& now) const {
    Days d;
    d.days.reserve(static_cast<std::size_t>(b.source.size()));
    d.listed.reserve(b.facts.size());
    d.entries.reserve(b.facts.size());
    for (qsizetype s = 0; s < b.source.size(); ++s) {
        const QString& heading = b.source[s].heading;
        const bool folds = fold && heading != now.todayHeading && heading != activeHeading() && heading != nowHeading();
        listDay(d, b, s, notes, folds, now.instant);
    }
    if (!d.ringing.empty()) {
        std::stable_sort(d.ringing.begin(), d.ringing.end(),
                         [&](const Place& x, const Place& y) { return facts_[x.item].next < facts_[y.item].next; });
        b.gather(nowSectionID(), nowHeading(), d.ringing);
    }
    if (!d.active.empty()) {
        b.gather(activeSectionID(), activeHeading(), d.active);
    }
    const auto listedBase = static_cast<std::uint32_t>(b.listed.size());
    const auto entriesBase = static_cast<std::uint32_t>(b.entries.size());
    b.listed.insert(b.listed.end(), d.listed.begin(), d.listed.end());
    b.entries.reserve(b.entries.size() + d.entries.size());
    for (const std::uint32_t place : d.entries) {
        b.entries.push_back(place + listedBase);
    }
    b.built.reserve(b.built.size() + d.days.size());
    for (const Days::Day& day : d.days) {
        // A day's heading is read from the source when asked for: copying every day's would
        // touch each one's memory.
        Built section;
        section.id = b.source[day.section].id;
        section.home = day.section;
        section.from = day.from + listedBase;
        section.to = day.to + listedBase;
        section.firstEntry = day.firstEntry + entriesBase;
        section.entryCount = day.entryCount;
        section.hidden = day.hidden;
        b.built.push_back(std::move(section));
    }
}

void ManageList::listDay(Days& d, const Building& b, qsizetype s, bool notes, bool folds, Instant now) const {
    const auto base = static_cast<std::uint32_t>(b.offsets[static_cast<std::size_t>(s)]);
    const qsizetype count = b.source[s].items.size();
    const std::uint8_t* matches = b.matches ? b.matches->data() + base : nullptr;
    // The notes' days unfiltered are listed again only when they changed or a ring passed.
    const bool keep = !matches && &b.facts == &facts_ && static_cast<std::size_t>(s) < dayLists_.size();
    DayList& list = keep ? dayLists_[static_cast<std::size_t>(s)][folds ? 1 : 0] : scratch_;
    if (!keep || !list.made || list.notes != notes || list.folds != folds || now < list.from || now >= list.until) {
        listDay(list, b.facts.data() + base, count, matches, notes, folds, now);
    }
    const auto section = static_cast<std::uint32_t>(s);
    for (const std::uint32_t i : list.ringing) {
        d.ringing.push_back({base + i, section});
    }
    for (const std::uint32_t i : list.active) {
        d.active.push_back({base + i, section});
    }
    // A day is listed while it has entries, even when all of them are hidden.
    if (!list.stays) {
        return;
    }
    const auto from = static_cast<std::uint32_t>(d.listed.size());
    const auto entriesFrom = static_cast<std::uint32_t>(d.entries.size());
    d.listed.resize(d.listed.size() + list.listed.size());
    std::transform(list.listed.begin(), list.listed.end(), d.listed.begin() + from,
                   [base](std::uint32_t i) { return base + i; });
    d.entries.resize(d.entries.size() + list.entries.size());
    std::transform(list.entries.begin(), list.entries.end(), d.entries.begin() + entriesFrom,
                   [from](std::uint32_t i) { return from + i; });
    d.days.push_back({s, from, static_cast<std::uint32_t>(d.listed.size()), entriesFrom,
                      static_cast<std::uint32_t>(list.entries.size()), list.hidden});
}

void ManageList::listDay(DayList& list, const Facts* facts, qsizetype count, const std::uint8_t* matches, bool notes,
                         bool folds, Instant now) {
    list.made = true;
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
        list.listed.push_back(i);
    }
    // A day is listed while it has entries, even when all of them are hidden.
    list.stays = stays > 0;
    list.hidden = hidden;
}

ManageList::Changes ManageList::compare(const Building& b) const {
    // The sections changed when a heading, an identity or an item (by value) differs from what
    // was built before; the rows also when a day folds differently.
    bool sectionsSame = b.built.size() == built_.size();
    bool foldsSame = true;
    for (std::size_t k = 0; sectionsSame && k < b.built.size(); ++k) {
        const Built& was = built_[k];
        const Built& is = b.built[k];
        sectionsSame = was.id == is.id && was.to - was.from == is.to - is.from && headingOf(was) == b.headingOf(is);
        // A day whose items are the very list it was built from compares by places alone.
        std::uint32_t i = 0;
        if (sectionsSame && was.home >= 0 && is.home >= 0 &&
            builtSource_[was.home].items.constData() == b.source[is.home].items.constData()) {
            const auto wasBase = static_cast<std::uint32_t>(builtOffsets_[static_cast<std::size_t>(was.home)]);
            const auto isBase = static_cast<std::uint32_t>(b.offsets[static_cast<std::size_t>(is.home)]);
            while (i < is.to - is.from && listed_[was.from + i] - wasBase == b.listed[is.from + i] - isBase) {
                ++i;
            }
        }
        for (; sectionsSame && i < is.to - is.from; ++i) {
            const Item& x = listedItem(was, was.from + i);
            const Item& y = b.itemOf(is, is.from + i);
            sectionsSame = &x == &y || x == y;
        }
        foldsSame = foldsSame && was.hidden == is.hidden;
    }
    // The folded rows in order, by heading: compared across lists of other sections too.
    const auto foldedRows = [](const std::vector<Built>& list, auto headingOfSection) {
        std::vector<std::pair<const QString*, int>> out;
        for (const Built& section : list) {
            if (section.hidden > 0) {
                out.emplace_back(&headingOfSection(section), section.hidden);
            }
        }
        return out;
    };
    if (!sectionsSame) {
        const auto was = foldedRows(built_, [this](const Built& s) -> const QString& { return headingOf(s); });
        const auto is = foldedRows(b.built, [&](const Built& s) -> const QString& { return b.headingOf(s); });
        foldsSame = std::equal(was.begin(), was.end(), is.begin(), is.end(), [](const auto& x, const auto& y) {
            return x.second == y.second && *x.first == *y.first;
        });
    }
    return {!(sectionsSame && foldsSame), !sectionsSame, !foldsSame};
}

void ManageList::take(Building&& b, bool trash) {
    built_ = std::move(b.built);
    listed_ = std::move(b.listed);
    entries_ = std::move(b.entries);
    builtSource_ = b.source;
    builtOffsets_ = b.offsets;
    const std::vector<QUuid>& ids = trash ? *trashIds_ : ids_;
    entryIds_.resize(entries_.size());
    for (std::size_t e = 0; e < entries_.size(); ++e) {
        entryIds_[e] = ids[listed_[entries_[e]]];
    }
    rowCount_ = b.rows;
    lastFound_.reset();
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
    int n = 0;
    for (const DayCounts& day : dayCounts_) {
        n += day.open;
    }
    return n;
}

int ManageList::laterCount(Instant now) const {
    // Waiting: the next ring is still to come.
    qsizetype n = 0;
    for (const DayCounts& day : dayCounts_) {
        n += day.rings.end() - std::upper_bound(day.rings.begin(), day.rings.end(), now);
    }
    return static_cast<int>(n);
}

int ManageList::staleOpenCount(const QString& today) const {
    int n = 0;
    for (std::size_t s = 0; s < dayCounts_.size(); ++s) {
        n += sections_[static_cast<qsizetype>(s)].heading == today ? 0 : dayCounts_[s].stale;
    }
    return n;
}

QList<Entry> ManageList::staleOpenEntries(const QString& today) const {
    QList<Entry> out;
    out.reserve(staleOpenCount(today));
    forEachStale(today, [&](const Item& item, qsizetype) { out.append(std::get<Entry>(item)); });
    return out;
}

const DaySection& ManageList::dayOf(qsizetype index) const {
    return builtSource_[listedDay(sectionOfEntry(index), entries_[static_cast<std::size_t>(index)])];
}

std::optional<EntryLocation> ManageList::locationAt(qsizetype index) const {
    if (listing_ == Listing::Trash || index < 0 || index >= static_cast<qsizetype>(entries_.size())) {
        return std::nullopt;
    }
    const std::uint32_t place = entries_[static_cast<std::size_t>(index)];
    const std::int64_t day = listedDay(sectionOfEntry(index), place);
    return EntryLocation{day, listed_[place] - builtOffsets_[static_cast<std::size_t>(day)]};
}

} // namespace plim
