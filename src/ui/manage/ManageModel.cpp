#include "ui/manage/ManageModel.h"

#include "platform/DesktopServices.h"
#include "platform/LaunchAtLogin.h"
#include "reminders/EntryReminders.h"
#include "store/NotesStore.h"
#include "ui/manage/KeysGuide.h"
#include "ui/manage/Links.h"
#include "ui/when/WhenFieldModel.h"

#include <QTimer>

#include <algorithm>
#include <span>
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

template <typename T>
bool assign(T& field, T value) {
    if (field == value) {
        return false;
    }
    field = std::move(value);
    return true;
}

} // namespace

QString ManageModel::Row::id() const {
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

ManageModel::ManageModel(NotesStore& store, DesktopServices& desktop, LaunchAtLogin& launchAtLogin, QObject* parent)
    : QObject(parent)
    , store_(store)
    , preferences_(store.preferences())
    , desktop_(desktop)
    , launchAtLogin_(launchAtLogin)
    , when_(std::make_unique<WhenFieldModel>(store.preferences(), store.clock())) {
    textSize_ = preferences_.textSize();
    font_ = preferences_.font();
    when_->onCommit = [this](const Reminder& reminder) { commitWhenField(reminder); };
    when_->onCancel = [this] { cancelWhenField(); };
    when_->onStop = [this] { stopReminderFromWhenField(); };
    // Direct connections: the model goes with its connections, so nothing reaches a model that is gone.
    connect(&store_, &NotesStore::changed, this, &ManageModel::reload);
    connect(&preferences_, &Preferences::changed, this, &ManageModel::readPreferences);
    reload();
}

ManageModel::~ManageModel() = default;

QUuid ManageModel::nowSectionID() {
    static const QUuid id = NotesDocument::stableID(u"section|Now");
    return id;
}

QUuid ManageModel::activeSectionID() {
    static const QUuid id = NotesDocument::stableID(u"section|Active");
    return id;
}

QString ManageModel::entryRowID(const QString& heading, const QUuid& id) {
    return QStringLiteral("e|") + heading + QLatin1Char('|') + id.toString(QUuid::WithoutBraces).toUpper();
}

// --- Small setters ---------------------------------------------------------------------------

ManageModel::Now ManageModel::currentMoment() const {
    Now now{store_.clock().now(), store_.clock().calendar(), preferences_.anchors(), {}};
    now.todayHeading = NotesFormat::heading(now.instant, now.calendar).mid(3);
    return now;
}

ManageModel::Now ManageModel::shownMoment() const {
    return {store_.clock().now(), calendar_, anchors_, todayHeading_};
}

void ManageModel::readPreferences() {
    anchors_ = preferences_.anchors();
    reminderLabels_.clear();
    if (assign(textSize_, preferences_.textSize())) {
        Q_EMIT textSizeChanged();
    }
    if (assign(font_, preferences_.font())) {
        Q_EMIT fontChanged();
    }
}

void ManageModel::setMode(Mode mode) {
    if (assign(mode_, mode)) {
        Q_EMIT modeChanged();
    }
}

void ManageModel::setSelected(std::optional<QUuid> id) {
    if (assign(selectedID_, id)) {
        Q_EMIT selectedIDChanged();
    }
}

void ManageModel::setEditingID(std::optional<QUuid> id) {
    if (assign(editingID_, id)) {
        Q_EMIT editingIDChanged();
    }
}

void ManageModel::setWhenFieldID(std::optional<QUuid> id) {
    if (assign(whenFieldID_, id)) {
        Q_EMIT whenFieldIDChanged();
    }
}

void ManageModel::setOnboarding(std::optional<Onboarding> value) {
    if (assign(onboarding_, value)) {
        Q_EMIT onboardingChanged();
    }
}

void ManageModel::setFilterValue(const QString& filter) {
    if (assign(filter_, filter)) {
        Q_EMIT filterChanged();
    }
}

void ManageModel::setFilter(const QString& filter) {
    setFilterValue(filter);
    rebuildKeepingSelection();
}

void ManageModel::setShowCompleted(bool show) {
    if (assign(showCompleted_, show)) {
        Q_EMIT showCompletedChanged();
    }
    rebuildKeepingSelection();
}

void ManageModel::setEditingText(const QString& text) {
    if (assign(editingText_, text)) {
        Q_EMIT editingTextChanged();
    }
}

void ManageModel::requestFilterFocus() {
    ++filterFocusRequest_;
    Q_EMIT filterFocusRequestChanged();
    // A filter is about to be typed.
    if (mode_ != Mode::Trash) {
        prepareFilter();
    }
}

void ManageModel::requestListFocus() {
    ++listFocusRequest_;
    Q_EMIT listFocusRequestChanged();
}

void ManageModel::requestEditFocus() {
    ++editFocusRequest_;
    Q_EMIT editFocusRequestChanged();
}

void ManageModel::setTrashSections(QList<DaySection> trash) {
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
    if (assign(trashSections_, std::move(trash))) {
        Q_EMIT trashSectionsChanged();
    }
}

void ManageModel::readTrash() {
    setTrashSections(store_.trashDocument().sections);
}

// --- Loading ---------------------------------------------------------------------------------

void ManageModel::learnFacts(const Now& now, const QList<DaySection>& previous) {
    std::vector<Facts> oldFacts = std::move(facts_);
    // The list built from the previous identities keeps them: these are new ones.
    const std::shared_ptr<std::vector<QUuid>> oldIds = std::exchange(ids_, std::make_shared<std::vector<QUuid>>());
    std::vector<QUuid>& ids = *ids_;
    std::vector<qsizetype> oldOffsets = std::move(offsets_);
    facts_.clear();
    offsets_.clear();
    notesFilterReady_ = false;
    qsizetype count = 0;
    for (const DaySection& section : std::as_const(sections_)) {
        count += section.items.size();
    }
    facts_.reserve(static_cast<std::size_t>(count));
    ids.reserve(static_cast<std::size_t>(count));
    offsets_.reserve(static_cast<std::size_t>(sections_.size()));

    const bool sameRules = factsZone_ == now.calendar.zoneId() && factsAnchors_ == now.anchors;
    factsZone_ = now.calendar.zoneId();
    factsAnchors_ = now.anchors;

    // A change through the store, and a re-read of the file, leave every day they did not touch
    // shared with the previous load: its facts are taken over as they were.
    std::vector<DayCounts> oldCounts = std::move(dayCounts_);
    dayCounts_.clear();
    dayCounts_.reserve(static_cast<std::size_t>(sections_.size()));
    // Days keep their order, so a day is looked for where the previous load had it, or a place
    // either side (a day came in or went before it); a day moved further is read again. A changed
    // day stands where the one it replaces stood.
    const bool reuse = sameRules && oldOffsets.size() == static_cast<std::size_t>(previous.size()) &&
                       oldCounts.size() == oldOffsets.size();
    std::size_t hint = 0;
    const auto previousDay = [&](const QList<Item>& items) -> std::optional<std::size_t> {
        if (!reuse || items.isEmpty()) {
            ++hint;
            return std::nullopt;
        }
        for (const std::ptrdiff_t step : {0, 1, -1, 2}) {
            const auto k = static_cast<std::ptrdiff_t>(hint) + step;
            if (k >= 0 && k < static_cast<std::ptrdiff_t>(oldOffsets.size()) &&
                previous[k].items.constData() == items.constData()) {
                hint = static_cast<std::size_t>(k) + 1;
                return static_cast<std::size_t>(k);
            }
        }
        ++hint;
        return std::nullopt;
    };

    for (const DaySection& section : std::as_const(sections_)) {
        const std::size_t first = facts_.size();
        offsets_.push_back(static_cast<qsizetype>(first));
        if (const auto same = previousDay(section.items)) {
            const qsizetype offset = oldOffsets[*same];
            const auto from = oldFacts.begin() + offset;
            facts_.insert(facts_.end(), from, from + section.items.size());
            const auto known = oldIds->begin() + offset;
            ids.insert(ids.end(), known, known + section.items.size());
            dayCounts_.push_back(std::move(oldCounts[*same]));
            continue;
        }
        for (const Item& item : section.items) {
            Facts f;
            const Entry* e = entryOf(item);
            ids.push_back(e ? e->id : QUuid());
            if (e) {
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
            }
            facts_.push_back(f);
        }
        DayCounts counts;
        for (auto f = facts_.begin() + static_cast<qsizetype>(first); f != facts_.end(); ++f) {
            counts.open += f->isEntry && f->state == Entry::State::Open && !(f->repeats && f->routine) ? 1 : 0;
            counts.stale += isStale(*f) ? 1 : 0;
            if (f->isEntry && canRing(f->state) && f->hasReminder) {
                counts.rings.push_back(f->next);
            }
        }
        std::sort(counts.rings.begin(), counts.rings.end());
        dayCounts_.push_back(std::move(counts));
    }
}

const ManageModel::Facts& ManageModel::facts(qsizetype section, qsizetype item) const {
    return facts_[static_cast<std::size_t>(offsets_[static_cast<std::size_t>(section)] + item)];
}

std::shared_ptr<const TextFilter::Block> ManageModel::filterBlock(const QList<Item>& items) {
    std::vector<QStringView> texts;
    texts.reserve(static_cast<std::size_t>(items.size()));
    for (const Item& item : items) {
        const Entry* e = entryOf(item);
        texts.push_back(e ? QStringView(e->text) : QStringView());
    }
    return std::make_shared<const TextFilter::Block>(TextFilter::Block::make(texts));
}

void ManageModel::prepareFilter(qsizetype from) {
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

const std::vector<std::uint8_t>& ManageModel::filterMatches(bool trash, const QString& lowered) {
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

void ManageModel::reload() {
    const std::optional<QUuid> remembered = selectedID_;
    const qsizetype position = remembered ? visibleIndex(*remembered) : -1;

    const Now now = currentMoment();
    // The labels depend only on the calendar and the day times (and the minute, which the cache
    // checks): a reload that keeps both keeps them, so the next frame need not count a repeat's
    // missed rings again.
    if (!(calendar_ == now.calendar)) {
        headingLabels_.clear();
        reminderLabels_.clear();
    }
    if (!(anchors_ == now.anchors)) {
        reminderLabels_.clear();
    }
    calendar_ = now.calendar;
    anchors_ = now.anchors;
    todayHeading_ = now.todayHeading;
    const QList<DaySection> previous = sections_;
    const bool sectionsNew = assign(sections_, store_.document().sections);
    learnFacts(now, previous);
    if (mode_ == Mode::Trash) {
        readTrash();
    }
    rebuildVisible();
    // Told once every table agrees with the new sections: a view reading counts on the signal
    // would otherwise index the old per-item facts.
    if (sectionsNew) {
        Q_EMIT sectionsChanged();
    }
    keepSelectionVisible(remembered, position);

    if (mode_ == Mode::Sweep) {
        refreshSweep();
    }
    if (!onboarding_ && preferences_.reminderDelivery() == ReminderDelivery::Unset &&
        std::any_of(facts_.begin(), facts_.end(), [](const Facts& f) { return f.hasReminder; })) {
        setOnboarding(Onboarding::Delivery);
    }
}

void ManageModel::keepSelectionVisible(const std::optional<QUuid>& remembered, qsizetype position) {
    if (remembered && visibleIndex(*remembered) >= 0) {
        // The selection stays.
    } else if (position >= 0 && !entries_.empty()) {
        setSelected(visibleID(std::min<qsizetype>(position, static_cast<qsizetype>(entries_.size()) - 1)));
    } else {
        selectFirstVisible();
    }
}

void ManageModel::rebuildKeepingSelection() {
    const std::optional<QUuid> remembered = selectedID_;
    const qsizetype position = remembered ? visibleIndex(*remembered) : -1;
    rebuildVisible();
    keepSelectionVisible(remembered, position);
}

void ManageModel::dayChanged() {
    reload();
}

void ManageModel::ringingChanged() {
    reload();
}

bool ManageModel::isWaiting(const Facts& f, Instant now) {
    return f.hasReminder && f.next > now;
}

void ManageModel::rebuildVisible() {
    const Now now = shownMoment();
    const bool trash = mode_ == Mode::Trash;
    const QList<DaySection>& source = trash ? trashSections_ : sections_;
    const std::vector<qsizetype>& offsets = trash ? trashOffsets_ : offsets_;
    const std::vector<Facts>& facts = trash ? trashFacts_ : facts_;
    const auto nextRing = [&](const Place& p) { return facts_[p.item].next; };
    const auto byNextRing = [&](const Place& a, const Place& b) { return nextRing(a) < nextRing(b); };

    // A filter keeps only the entries whose text holds it, raw lines dropped, in every view.
    const QString q = filter_.trimmed().toLower();
    const std::vector<std::uint8_t>* matches = q.isEmpty() ? nullptr : &filterMatches(trash, q);

    // The list is built as places in the per-item tables of the source, one number a row.
    std::vector<Built> built;
    std::vector<std::uint32_t> listed;
    std::vector<std::uint32_t> entries;
    // A section of entries gathered from several days ("Now", "Active", Later's days).
    const auto gathered = [&](const QUuid& id, const QString& heading, std::span<const Place> places) {
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
    };

    if (mode_ == Mode::Later) {
        std::vector<Place> waiting;
        for (qsizetype s = 0; s < sections_.size(); ++s) {
            const auto base = static_cast<std::uint32_t>(offsets_[static_cast<std::size_t>(s)]);
            for (qsizetype i = 0; i < std::as_const(sections_)[s].items.size(); ++i) {
                const auto g = base + static_cast<std::uint32_t>(i);
                const Facts& f = facts_[g];
                if (f.isEntry && canRing(f.state) && isWaiting(f, now.instant) && (!matches || (*matches)[g])) {
                    waiting.push_back({g, static_cast<std::uint32_t>(s)});
                }
            }
        }
        std::stable_sort(waiting.begin(), waiting.end(), byNextRing);
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
                dayEnd =
                    now.calendar.addingDays(now.calendar.startOfDay(next), 1).value_or(next + std::chrono::hours(1));
            }
        }
        for (std::size_t d = 0; d < days.size(); ++d) {
            const std::size_t end = d + 1 < days.size() ? days[d + 1].second : waiting.size();
            gathered(NotesDocument::stableID(QStringLiteral("later|") + days[d].first), days[d].first,
                     std::span<const Place>(waiting.data() + days[d].second, end - days[d].second));
        }
    } else {
        const bool log = mode_ == Mode::Log;
        // Past days show only what is still open, unless the filter or "show done" says otherwise.
        const bool fold = log && !matches && !showCompleted_;
        std::vector<Place> ringing;
        std::vector<Place> active;
        // The days' items are listed after "Now" and "Active", whose length is known at the end.
        struct Day {
            std::int64_t section;
            std::uint32_t from, to, firstEntry, entryCount;
            int hidden;
        };
        std::vector<Day> days;
        std::vector<std::uint32_t> dayListed;
        std::vector<std::uint32_t> dayEntries;
        days.reserve(static_cast<std::size_t>(source.size()));
        dayListed.reserve(facts.size());
        dayEntries.reserve(facts.size());
        for (qsizetype s = 0; s < source.size(); ++s) {
            const DaySection& section = source[s];
            const bool folds = fold && section.heading != now.todayHeading && section.heading != activeHeading() &&
                               section.heading != nowHeading();
            const auto base = static_cast<std::uint32_t>(offsets[static_cast<std::size_t>(s)]);
            const auto from = static_cast<std::uint32_t>(dayListed.size());
            const auto entriesFrom = static_cast<std::uint32_t>(dayEntries.size());
            int stays = 0;
            int hidden = 0;
            // Newest entry of the day first: entries are added at the end of their day.
            for (auto i = static_cast<std::uint32_t>(section.items.size()); i-- > 0;) {
                const std::uint32_t g = base + i;
                const Facts& f = facts[g];
                if (matches && !(f.isEntry && (*matches)[g])) {
                    continue;
                }
                if (log && f.isEntry) {
                    const bool rings = canRing(f.state) && f.hasReminder;
                    if (rings && f.next <= now.instant) {
                        ringing.push_back({g, static_cast<std::uint32_t>(s)});
                        continue;
                    }
                    if (f.active) {
                        active.push_back({g, static_cast<std::uint32_t>(s)});
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
                    dayEntries.push_back(static_cast<std::uint32_t>(dayListed.size()));
                }
                dayListed.push_back(g);
            }
            // A day is listed while it has entries, even when all of them are hidden.
            if (stays == 0) {
                dayListed.resize(from);
                dayEntries.resize(entriesFrom);
                continue;
            }
            days.push_back({s, from, static_cast<std::uint32_t>(dayListed.size()), entriesFrom,
                            static_cast<std::uint32_t>(dayEntries.size()) - entriesFrom, hidden});
        }
        if (!ringing.empty()) {
            std::stable_sort(ringing.begin(), ringing.end(), byNextRing);
            gathered(nowSectionID(), nowHeading(), ringing);
        }
        if (!active.empty()) {
            gathered(activeSectionID(), activeHeading(), active);
        }
        const auto listedBase = static_cast<std::uint32_t>(listed.size());
        const auto entriesBase = static_cast<std::uint32_t>(entries.size());
        listed.insert(listed.end(), dayListed.begin(), dayListed.end());
        entries.reserve(entries.size() + dayEntries.size());
        for (const std::uint32_t place : dayEntries) {
            entries.push_back(place + listedBase);
        }
        built.reserve(built.size() + days.size());
        for (const Day& d : days) {
            // A day's heading is read from the source when asked for: copying every day's would
            // touch each one's memory.
            Built b;
            b.id = source[d.section].id;
            b.home = d.section;
            b.from = d.from + listedBase;
            b.to = d.to + listedBase;
            b.firstEntry = d.firstEntry + entriesBase;
            b.entryCount = d.entryCount;
            b.hidden = d.hidden;
            built.push_back(std::move(b));
        }
    }
    int rows = 0;
    for (Built& b : built) {
        b.firstRow = static_cast<std::uint32_t>(rows);
        rows += 1 + static_cast<int>(b.entryCount) + (b.hidden > 0 ? 1 : 0);
    }

    // The sections changed when a heading, an identity or an item (by value) differs from what
    // was built before; the rows also when a day folds differently.
    const auto itemOf = [&](const Built& b, std::uint32_t place) -> const Item& {
        if (b.home < 0) {
            return *b.own[place - b.from];
        }
        return source[b.home].items[listed[place] - offsets[static_cast<std::size_t>(b.home)]];
    };
    bool sectionsSame = built.size() == built_.size();
    bool foldsSame = true;
    for (std::size_t k = 0; sectionsSame && k < built.size(); ++k) {
        const Built& was = built_[k];
        const Built& is = built[k];
        const QString& heading = is.home >= 0 ? source[is.home].heading : is.heading;
        sectionsSame = was.id == is.id && was.to - was.from == is.to - is.from && headingOf(was) == heading;
        for (std::uint32_t i = 0; sectionsSame && i < is.to - is.from; ++i) {
            const Item& a = listedItem(was, was.from + i);
            const Item& b = itemOf(is, is.from + i);
            sectionsSame = &a == &b || a == b;
        }
        foldsSame = foldsSame && was.hidden == is.hidden;
    }
    // The folded rows in order, by heading: compared across lists of other sections too.
    const auto foldedRows = [](const std::vector<Built>& list, auto headingOfSection) {
        std::vector<std::pair<const QString*, int>> out;
        for (const Built& b : list) {
            if (b.hidden > 0) {
                out.emplace_back(&headingOfSection(b), b.hidden);
            }
        }
        return out;
    };
    if (!sectionsSame) {
        const auto was = foldedRows(built_, [this](const Built& b) -> const QString& { return headingOf(b); });
        const auto is = foldedRows(
            built, [&](const Built& b) -> const QString& { return b.home >= 0 ? source[b.home].heading : b.heading; });
        foldsSame = std::equal(was.begin(), was.end(), is.begin(), is.end(), [](const auto& a, const auto& b) {
            return a.second == b.second && *a.first == *b.first;
        });
    }
    const bool rowsSame = sectionsSame && foldsSame;
    if (!rowsSame) {
        built_ = std::move(built);
        listed_ = std::move(listed);
        entries_ = std::move(entries);
        builtSource_ = source;
        builtOffsets_ = offsets;
        builtIds_ = trash ? trashIds_ : ids_;
        rowCount_ = rows;
        lastFound_.reset();
    }
    if (!foldsSame) {
        folded_.reset();
    }
    if (!sectionsSame) {
        visibleSections_.reset();
    }
    // The list is told first: it places its rows before others react to the new sections.
    if (!rowsSame) {
        Q_EMIT rowsChanged();
    }
    if (!sectionsSame) {
        Q_EMIT visibleSectionsChanged();
    }
    if (!foldsSame) {
        Q_EMIT foldedChanged();
    }
}

const QMap<QString, int>& ManageModel::folded() const {
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

const ManageModel::Built& ManageModel::sectionOfEntry(qsizetype entry) const {
    // The last section starting at or before the entry (sections without entries start where the
    // next one does, so the one that holds it comes last).
    const auto it = std::upper_bound(built_.begin(), built_.end(), static_cast<std::uint32_t>(entry),
                                     [](std::uint32_t e, const Built& b) { return e < b.firstEntry; });
    return *(it - 1);
}

const ManageModel::Built& ManageModel::sectionOfRow(int row) const {
    const auto it = std::upper_bound(built_.begin(), built_.end(), static_cast<std::uint32_t>(row),
                                     [](std::uint32_t r, const Built& b) { return r < b.firstRow; });
    return *(it - 1);
}

const Item& ManageModel::listedItem(const Built& section, std::uint32_t place) const {
    if (section.home < 0) {
        return *section.own[place - section.from];
    }
    return builtSource_[section.home].items[listed_[place] - builtOffsets_[static_cast<std::size_t>(section.home)]];
}

std::int64_t ManageModel::listedDay(const Built& section, std::uint32_t place) const {
    return section.home >= 0 ? section.home : section.homes[place - section.from];
}

const QUuid& ManageModel::visibleID(qsizetype entry) const {
    return (*builtIds_)[listed_[entries_[static_cast<std::size_t>(entry)]]];
}

int ManageModel::rowCount() const {
    return rowCount_;
}

ManageModel::Row ManageModel::rowAt(int index) const {
    if (index < 0 || index >= rowCount()) {
        return {};
    }
    const Built& section = sectionOfRow(index);
    const auto local = static_cast<std::uint32_t>(index) - section.firstRow;
    if (local == 0) {
        return Row{Row::Kind::Header, section.id, headingOf(section), {}, {}, 0};
    }
    if (local > section.entryCount) {
        return Row{Row::Kind::Folded, section.id, headingOf(section), {}, {}, section.hidden};
    }
    const std::uint32_t place = entries_[section.firstEntry + local - 1];
    const QString& day = builtSource_[listedDay(section, place)].heading;
    return Row{Row::Kind::Entry, section.id, headingOf(section), *entryOf(listedItem(section, place)), day, 0};
}

const QString& ManageModel::headingOf(const Built& section) const {
    return section.home >= 0 ? builtSource_[static_cast<qsizetype>(section.home)].heading : section.heading;
}

int ManageModel::rowIndex(const QUuid& id) const {
    const qsizetype index = visibleIndex(id);
    if (index < 0) {
        return -1;
    }
    const Built& section = sectionOfEntry(index);
    return static_cast<int>(section.firstRow + 1 + (static_cast<std::uint32_t>(index) - section.firstEntry));
}

const QList<DaySection>& ManageModel::visibleSections() const {
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

// --- Lists -----------------------------------------------------------------------------------

qsizetype ManageModel::visibleIndex(const QUuid& id) const {
    if (lastFound_ && lastFound_->first == id) {
        return lastFound_->second;
    }
    qsizetype index = -1;
    const std::vector<QUuid>& ids = *builtIds_;
    for (std::size_t e = 0; e < entries_.size(); ++e) {
        if (ids[listed_[entries_[e]]] == id) {
            index = static_cast<qsizetype>(e);
            break;
        }
    }
    lastFound_ = {id, index};
    return index;
}

std::optional<Entry> ManageModel::visibleEntryAt(qsizetype index) const {
    if (index < 0 || index >= static_cast<qsizetype>(entries_.size())) {
        return std::nullopt;
    }
    return std::get<Entry>(listedItem(sectionOfEntry(index), entries_[static_cast<std::size_t>(index)]));
}

void ManageModel::selectFirstVisible() {
    setSelected(entries_.empty() ? std::nullopt : std::optional<QUuid>(visibleID(0)));
}

QList<Entry> ManageModel::visibleEntries() const {
    QList<Entry> out;
    out.reserve(static_cast<qsizetype>(entries_.size()));
    for (const Built& b : built_) {
        for (std::uint32_t e = b.firstEntry; e < b.firstEntry + b.entryCount; ++e) {
            out.append(std::get<Entry>(listedItem(b, entries_[e])));
        }
    }
    return out;
}

std::optional<Entry> ManageModel::selectedEntry() const {
    return selectedID_ ? visibleEntryAt(visibleIndex(*selectedID_)) : std::nullopt;
}

QList<ManageModel::Row> ManageModel::rows() const {
    QList<Row> out;
    out.reserve(rowCount());
    for (int i = 0; i < rowCount(); ++i) {
        out.append(rowAt(i));
    }
    return out;
}

std::optional<QString> ManageModel::rowID(const QUuid& id) const {
    const qsizetype index = visibleIndex(id);
    if (index < 0) {
        return std::nullopt;
    }
    return entryRowID(headingOf(sectionOfEntry(index)), id);
}

// --- Labels and counts -----------------------------------------------------------------------

QString ManageModel::displayHeading(const DaySection& section) const {
    return displayHeading(section.heading);
}

QString ManageModel::displayHeading(const QString& heading) const {
    // Rows of one day share its label: each is read and formatted once per calendar.
    if (const auto known = headingLabels_.constFind(heading); known != headingLabels_.cend()) {
        return known.value();
    }
    QString label = heading;
    if (const auto day = NotesDocument::headingDate(heading, calendar_)) {
        label = calendar_.format(*day, u"EEEE, MMM d");
    }
    headingLabels_.insert(heading, label);
    return label;
}

const DaySection* ManageModel::sectionOf(const QUuid& id) const {
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

const DaySection* ManageModel::daySectionOf(const QUuid& id) const {
    // The list's source is the notes file in every view but the trash.
    const qsizetype index = mode_ == Mode::Trash ? -1 : visibleIndex(id);
    if (index < 0) {
        return sectionOf(id);
    }
    return &builtSource_[listedDay(sectionOfEntry(index), entries_[static_cast<std::size_t>(index)])];
}

std::optional<QString> ManageModel::dayLabel(const QUuid& id) const {
    const DaySection* section = daySectionOf(id);
    if (!section) {
        return std::nullopt;
    }
    return displayHeading(*section);
}

bool ManageModel::isTodayHeading(const QString& heading) const {
    return heading == todayHeading_;
}

bool ManageModel::isInToday(const QUuid& id) const {
    const DaySection* section = daySectionOf(id);
    return section && isTodayHeading(section->heading);
}

std::optional<QString> ManageModel::dayLabel(const Row& row) const {
    if (row.kind != Row::Kind::Entry) {
        return std::nullopt;
    }
    return displayHeading(row.day);
}

bool ManageModel::isInToday(const Row& row) const {
    // Today's heading of the trash is not today's in the notes file.
    return row.kind == Row::Kind::Entry && mode_ != Mode::Trash && isTodayHeading(row.day);
}

bool ManageModel::isRinging(const Entry& entry) const {
    const Now now = shownMoment();
    return EntryReminders::isRinging(entry, now.instant, now.calendar, now.anchors);
}

QString ManageModel::openSummary() const {
    int n = 0;
    for (const DayCounts& day : dayCounts_) {
        n += day.open;
    }
    return n == 1 ? QStringLiteral("1 open") : QString::number(n) + QStringLiteral(" open");
}

int ManageModel::laterCount() const {
    // Waiting: the next ring is still to come.
    const Instant now = store_.clock().now();
    qsizetype n = 0;
    for (const DayCounts& day : dayCounts_) {
        n += day.rings.end() - std::upper_bound(day.rings.begin(), day.rings.end(), now);
    }
    return static_cast<int>(n);
}

std::optional<Entry> ManageModel::remindable() const {
    if (mode_ != Mode::Log && mode_ != Mode::Later) {
        return std::nullopt;
    }
    auto entry = selectedEntry();
    if (!entry || entry->state == Entry::State::Carried) {
        return std::nullopt;
    }
    return entry;
}

std::optional<QString> ManageModel::reminderLabel(const Entry& entry) const {
    if (!canRing(entry.state) || !entry.comment) {
        return std::nullopt;
    }
    const std::int64_t minute =
        std::chrono::floor<std::chrono::minutes>(store_.clock().now().time_since_epoch()).count();
    const auto known = reminderLabels_.constFind(entry.id);
    if (known != reminderLabels_.constEnd() && known->minute == minute && known->comment == *entry.comment) {
        return known->label;
    }
    const Now now = shownMoment();
    const auto reminder = EntryReminders::reminder(entry, now.calendar, now.anchors);
    const std::optional<QString> label =
        reminder ? std::optional<QString>(reminder->label(now.instant, now.calendar)) : std::nullopt;
    reminderLabels_.insert(entry.id, KnownLabel{*entry.comment, minute, label});
    return label;
}

std::optional<Entry> ManageModel::whenEntry() const {
    if (!whenFieldID_) {
        return std::nullopt;
    }
    for (const DaySection& section : sections_) {
        for (const Item& item : section.items) {
            const Entry* e = entryOf(item);
            if (e && e->id == *whenFieldID_) {
                return *e;
            }
        }
    }
    return std::nullopt;
}

// --- Selection -------------------------------------------------------------------------------

void ManageModel::select(const QUuid& id) {
    if (editingID_ && *editingID_ != id) {
        commitEditing();
    }
    if (selectedID_ != id) {
        selectedByPointer_ = true;
    }
    setSelected(id);
}

void ManageModel::moveSelection(int delta) {
    selectedByPointer_ = false;
    const auto n = static_cast<qsizetype>(entries_.size());
    if (n == 0) {
        return;
    }
    const qsizetype at = selectedID_ ? visibleIndex(*selectedID_) : -1;
    const qsizetype next = at >= 0 ? std::clamp<qsizetype>(at + delta, 0, n - 1) : (delta < 1 ? n - 1 : 0);
    setSelected(visibleID(next));
}

void ManageModel::ensureSelectionVisible() {
    if (!selectedEntry()) {
        selectFirstVisible();
    }
}

void ManageModel::reveal(const std::optional<QUuid>& id) {
    // The field belongs to the row it was opened on; every key would go on to it out of sight.
    cancelWhenField();
    bool waiting = false;
    if (id) {
        const Now now = shownMoment();
        for (qsizetype s = 0; s < sections_.size() && !waiting; ++s) {
            const QList<Item>& items = std::as_const(sections_)[s].items;
            for (qsizetype i = 0; i < items.size(); ++i) {
                const Entry* e = entryOf(items[i]);
                if (e && e->id == *id) {
                    waiting = canRing(e->state) && isWaiting(facts(s, i), now.instant);
                    break;
                }
            }
        }
    }
    if (waiting) {
        if (mode_ != Mode::Later) {
            showLater();
        }
    } else if (mode_ != Mode::Log) {
        backToNotes();
    }
    if (id && !filter_.isEmpty() && visibleIndex(*id) < 0) {
        setFilter(QString());
    }
    selectedByPointer_ = false;
    if (id && visibleIndex(*id) >= 0) {
        setSelected(*id);
    } else {
        selectFirstVisible();
    }
}

// --- Entry commands --------------------------------------------------------------------------

void ManageModel::toggleDone() {
    if (mode_ != Mode::Log && mode_ != Mode::Later) {
        return;
    }
    if (const auto entry = selectedEntry()) {
        store_.toggleDone(entry->id);
    }
}

void ManageModel::toggleActive() {
    if (mode_ != Mode::Log && mode_ != Mode::Later) {
        return;
    }
    if (const auto entry = selectedEntry()) {
        store_.toggleActive(entry->id);
    }
}

void ManageModel::carry() {
    if (mode_ != Mode::Log) {
        return;
    }
    if (const auto entry = selectedEntry(); entry && !isInToday(entry->id)) {
        store_.carryToToday(entry->id, store_.clock().now());
    }
}

void ManageModel::deleteSelection() {
    if (!selectedID_ || (mode_ != Mode::Log && mode_ != Mode::Later && mode_ != Mode::Trash)) {
        return;
    }
    const QUuid target = *selectedID_;
    const auto n = static_cast<qsizetype>(entries_.size());
    const qsizetype at = visibleIndex(target);
    // Only what the list shows is trashed: a selection the filter or done-hiding took out of view
    // is not the entry the user sees.
    if (at < 0) {
        return;
    }
    std::optional<QUuid> after;
    if (at + 1 < n) {
        after = visibleID(at + 1);
    } else if (at > 0) {
        after = visibleID(at - 1);
    }
    if (mode_ == Mode::Trash) {
        store_.deleteFromTrash(target);
    } else {
        store_.deleteEntry(target);
    }
    // When the store could not delete (the trash file cannot be written), the selection stays.
    if (visibleIndex(target) >= 0) {
        return;
    }
    if (after && visibleIndex(*after) >= 0) {
        setSelected(*after);
    }
}

void ManageModel::activateSelection(bool commandHeld) {
    const auto entry = selectedEntry();
    if (!entry) {
        return;
    }
    if (mode_ == Mode::Trash) {
        store_.restoreFromTrash(entry->id);
        // The store announces the notes file before it takes the entry out of the trash file.
        if (mode_ == Mode::Trash) {
            reload();
        }
        return;
    }
    if (!commandHeld) {
        if (const auto url = Links::soleURL(entry->text)) {
            desktop_.openUrl(*url);
        } else {
            beginEditing(entry->id);
        }
        return;
    }
    const QList<QUrl> links = Links::urls(entry->text);
    if (!links.isEmpty()) {
        desktop_.openUrl(links.first());
    }
}

void ManageModel::beginEditing(const QUuid& id) {
    if (mode_ != Mode::Log && mode_ != Mode::Later) {
        return;
    }
    const auto entry = visibleEntryAt(visibleIndex(id));
    if (!entry) {
        return;
    }
    setSelected(id);
    setEditingText(entry->text);
    setEditingID(id);
}

void ManageModel::commitEditing() {
    if (!editingID_) {
        return;
    }
    const QUuid id = *editingID_;
    const QString text = editingText_;
    setEditingID(std::nullopt);
    store_.updateText(id, text);
}

void ManageModel::cancelEditing() {
    setEditingID(std::nullopt);
}

void ManageModel::copySelection() {
    if (const auto entry = selectedEntry()) {
        desktop_.setClipboardText(entry->text);
    }
}

std::optional<Reminder> ManageModel::presetReminder(int preset, const Now& now) const {
    const QStringList presets = preferences_.reminderPresets();
    if (preset < 0 || preset >= presets.size()) {
        return std::nullopt;
    }
    return Reminder::parse(presets[preset], now.instant, now.anchors, now.calendar);
}

void ManageModel::offerDeliveryQuestion() {
    if (preferences_.reminderDelivery() == ReminderDelivery::Unset) {
        setOnboarding(Onboarding::Delivery);
    }
}

void ManageModel::remind(int preset) {
    const auto entry = remindable();
    if (!entry) {
        return;
    }
    if (const auto reminder = presetReminder(preset, currentMoment())) {
        apply(*reminder, *entry);
    }
}

void ManageModel::apply(const Reminder& reminder, const Entry& entry) {
    const Now now = currentMoment();
    const auto current = EntryReminders::reminder(entry, now.calendar, now.anchors);
    if (!reminder.rule && current && current->rule &&
        EntryReminders::isRinging(entry, now.instant, now.calendar, now.anchors)) {
        // Only this ring comes back later; the repeat keeps its schedule.
        store_.answer(entry.id, NotesDocument::Answer{NotesDocument::Answer::Snooze{reminder.next}});
    } else {
        store_.setReminder(entry.id, reminder);
    }
    offerDeliveryQuestion();
}

void ManageModel::openWhenField(const QString& text) {
    const auto entry = remindable();
    if (!entry) {
        return;
    }
    const Now now = currentMoment();
    when_->reset(text, EntryReminders::reminder(*entry, now.calendar, now.anchors));
    setWhenFieldID(entry->id);
}

void ManageModel::commitWhenField(const Reminder& reminder) {
    const auto entry = whenEntry();
    setWhenFieldID(std::nullopt);
    if (entry) {
        apply(reminder, *entry);
    }
}

void ManageModel::cancelWhenField() {
    setWhenFieldID(std::nullopt);
}

void ManageModel::stopReminderFromWhenField() {
    const auto entry = whenEntry();
    if (!entry) {
        return;
    }
    const Now now = currentMoment();
    if (!EntryReminders::reminder(*entry, now.calendar, now.anchors)) {
        return;
    }
    setWhenFieldID(std::nullopt);
    store_.answer(entry->id, NotesDocument::Answer{NotesDocument::Answer::Stop{}});
}

void ManageModel::dismissSelection() {
    // A trashed entry is not in the notes file; answering it could only hit a namesake there.
    if (mode_ == Mode::Trash) {
        return;
    }
    if (const auto entry = selectedEntry(); entry && isRinging(*entry)) {
        store_.answer(entry->id, NotesDocument::Answer{NotesDocument::Answer::Dismiss{}});
    }
}

// --- Views -----------------------------------------------------------------------------------

void ManageModel::showTrash() {
    commitEditing();
    cancelWhenField();
    setMode(Mode::Trash);
    setFilterValue(QString());
    readTrash();
    rebuildVisible();
    selectFirstVisible();
}

void ManageModel::showLater() {
    commitEditing();
    cancelWhenField();
    setMode(Mode::Later);
    setFilterValue(QString());
    rebuildVisible();
    selectFirstVisible();
}

void ManageModel::showKeys() {
    commitEditing();
    cancelWhenField();
    if (mode_ != Mode::Keys) {
        keysReturn_ = mode_;
        setMode(Mode::Keys);
        rebuildVisible();
    }
    if (assign(keysScroll_, 0)) {
        Q_EMIT keysScrollChanged();
    }
}

void ManageModel::leaveKeys() {
    if (mode_ != Mode::Keys) {
        return;
    }
    setMode(keysReturn_);
    if (mode_ == Mode::Trash) {
        readTrash();
    } else if (mode_ == Mode::Sweep) {
        refreshSweep();
    }
    rebuildVisible();
    ensureSelectionVisible();
}

void ManageModel::scrollKeys(int delta) {
    // "How plim works" is target 0, then one per group.
    const auto targets = static_cast<int>(KeysGuide::groups(KeysGuide::Shortcuts{}, preferences_.anchors()).size());
    if (assign(keysScroll_, std::min(targets, std::max(0, keysScroll_ + delta)))) {
        Q_EMIT keysScrollChanged();
    }
}

void ManageModel::escape() {
    switch (mode_) {
    case Mode::Log:
        if (!filter_.isEmpty()) {
            setFilter(QString());
        } else if (closeWindow_) {
            closeWindow_();
        }
        return;
    case Mode::Sweep:
        endSweep();
        return;
    case Mode::Trash:
    case Mode::Later:
        backToNotes();
        return;
    case Mode::Keys:
        leaveKeys();
        return;
    }
}

void ManageModel::backToNotes() {
    cancelWhenField();
    setMode(Mode::Log);
    setFilterValue(QString());
    rebuildVisible();
    reload();
}

void ManageModel::endSweep() {
    cancelWhenField();
    setMode(Mode::Log);
    reload();
}

// --- Sweep -----------------------------------------------------------------------------------

template <typename Each>
void ManageModel::forEachStale(Each each) const {
    for (qsizetype s = sections_.size() - 1; s >= 0; --s) {
        const DaySection& section = sections_[s];
        if (section.heading == todayHeading_ || dayCounts_[static_cast<std::size_t>(s)].stale == 0) {
            continue;
        }
        const Facts* f = facts_.data() + offsets_[static_cast<std::size_t>(s)];
        for (qsizetype i = 0; i < section.items.size(); ++i) {
            if (isStale(f[i])) {
                each(section.items[i], s);
            }
        }
    }
}

QList<Entry> ManageModel::staleOpenEntries() const {
    QList<Entry> out;
    out.reserve(staleOpenCount());
    forEachStale([&](const Item& item, qsizetype) { out.append(std::get<Entry>(item)); });
    return out;
}

int ManageModel::staleOpenCount() const {
    int n = 0;
    for (std::size_t s = 0; s < dayCounts_.size(); ++s) {
        n += sections_[static_cast<qsizetype>(s)].heading == todayHeading_ ? 0 : dayCounts_[s].stale;
    }
    return n;
}

void ManageModel::startSweep() {
    if (mode_ == Mode::Sweep) {
        return;
    }
    commitEditing();
    cancelWhenField();
    sweepSkipped_.clear();
    if (assign(sweepTotal_, staleOpenCount())) {
        Q_EMIT sweepTotalChanged();
    }
    setMode(Mode::Sweep);
    rebuildVisible();
    refreshSweep();
}

void ManageModel::refreshSweep() {
    // Compared as the items they are before any is copied: most changes leave most of them shared.
    std::vector<const Item*> queue;
    queue.reserve(static_cast<std::size_t>(staleOpenCount()));
    qsizetype firstDay = -1;
    forEachStale([&](const Item& item, qsizetype s) {
        if (!sweepSkipped_.isEmpty() && sweepSkipped_.contains(std::get<Entry>(item).id)) {
            return;
        }
        firstDay = queue.empty() ? s : firstDay;
        queue.push_back(&item);
    });
    const bool same = std::equal(queue.begin(), queue.end(), sweepItems_.begin(), sweepItems_.end(),
                                 [](const Item* a, const Item* b) { return a == b || *a == *b; });
    // The items stay alive with the sections they were read from.
    sweepSource_ = sections_;
    sweepItems_ = std::move(queue);
    sweepDay_ = firstDay >= 0 ? std::optional<QString>(sections_[firstDay].heading) : std::nullopt;
    if (same) {
        return;
    }
    QList<Entry> entries;
    entries.reserve(static_cast<qsizetype>(sweepItems_.size()));
    for (const Item* item : sweepItems_) {
        entries.append(std::get<Entry>(*item));
    }
    sweepQueue_ = std::move(entries);
    Q_EMIT sweepQueueChanged();
}

std::optional<Entry> ManageModel::sweepCurrent() const {
    if (mode_ != Mode::Sweep || sweepQueue_.isEmpty()) {
        return std::nullopt;
    }
    return sweepQueue_.first();
}

std::optional<QString> ManageModel::sweepCurrentHeading() const {
    if (!sweepCurrent() || !sweepDay_) {
        return std::nullopt;
    }
    return displayHeading(*sweepDay_);
}

void ManageModel::sweepCarry() {
    if (const auto current = sweepCurrent()) {
        store_.carryToToday(current->id, store_.clock().now());
    }
}

void ManageModel::sweepDone() {
    if (const auto current = sweepCurrent()) {
        store_.toggleDone(current->id);
    }
}

void ManageModel::sweepActivate() {
    if (const auto current = sweepCurrent()) {
        store_.toggleActive(current->id);
    }
}

void ManageModel::sweepDrop() {
    if (const auto current = sweepCurrent()) {
        store_.deleteEntry(current->id);
    }
}

void ManageModel::sweepRemind(int preset) {
    const auto current = sweepCurrent();
    if (!current) {
        return;
    }
    const auto reminder = presetReminder(preset, currentMoment());
    if (!reminder) {
        return;
    }
    store_.setReminder(current->id, *reminder);
    offerDeliveryQuestion();
}

void ManageModel::sweepSkip() {
    if (const auto current = sweepCurrent()) {
        sweepSkipped_.insert(current->id);
        refreshSweep();
    }
}

void ManageModel::sweepBack() {
    if (mode_ != Mode::Sweep) {
        return;
    }
    const QList<Entry> stale = staleOpenEntries();
    for (auto it = stale.crbegin(); it != stale.crend(); ++it) {
        if (sweepSkipped_.remove(it->id)) {
            refreshSweep();
            return;
        }
    }
}

void ManageModel::sweepOpenLink() {
    const auto current = sweepCurrent();
    if (!current) {
        return;
    }
    const QList<QUrl> links = Links::urls(current->text);
    if (!links.isEmpty()) {
        desktop_.openUrl(links.first());
    }
}

// --- First-run questions ---------------------------------------------------------------------

void ManageModel::chooseDelivery(ReminderDelivery delivery) {
    switch (delivery) {
    case ReminderDelivery::Unset:
        return; // not an answer
    case ReminderDelivery::Notification:
        if (requestNotifications_) {
            requestNotifications_();
        }
        break;
    case ReminderDelivery::Dot:
        preferences_.setValue(PreferenceKey::reminderDelivery, toRaw(ReminderDelivery::Dot));
        break;
    }
    if (!launchAtLogin_.isRegistered() && !preferences_.launchAtLoginOffered()) {
        setOnboarding(Onboarding::LaunchAtLogin);
    } else {
        setOnboarding(std::nullopt);
    }
}

void ManageModel::answerLaunchAtLogin(bool yes) {
    preferences_.setValue(PreferenceKey::launchAtLoginOffered, true);
    if (yes) {
        launchAtLogin_.setRegistered(true);
    }
    setOnboarding(std::nullopt);
}

} // namespace plim
