#pragma once

#include "base/Calendar.h"
#include "notes/NotesDocument.h"
#include "store/Preferences.h"
#include "ui/manage/TextFilter.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUuid>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace plim {

// The notes window's list: the days of the notes file (or of the trash) as it was last loaded, what
// each entry is (learnt once a load), and the rows one view of them shows, filtered, gathered into
// "Now", "Active" and Later's days, past days folded. It reads no file and tells nobody: its owner
// loads it and passes on what changed.
class ManageList final : public QObject {
    Q_OBJECT

public:
    // One line of the list.
    struct Row {
        enum class Kind { Header, Entry, Folded };
        Kind kind = Kind::Header;
        QUuid sectionID; // Header: the section's identity
        QString heading; // the heading of the section the row belongs to
        Entry entry;     // Entry rows
        // Entry rows: the heading of the day the entry is written under in the file the list shows
        // (the notes file, or the trash in the trash view); differs from `heading` under "Now",
        // "Active" and in Later. Kept with the row so that labelling a row needs no search.
        QString day;
        int hidden = 0; // Folded rows: how many entries the day hides
        // Entry rows that name the day they are written under: under "Now" and "Active" in the
        // notes list, where the row stands away from it.
        bool awayFromDay = false;
        // "h|" + heading, "e|" + heading + "|" + UUID in upper case, "f|" + heading.
        QString id() const;
        friend bool operator==(const Row&, const Row&) = default;
    };

    // Which rows a view lists: the notes (ringing entries under "Now", shortlisted ones under
    // "Active", waiting ones left out, past days folded), the waiting entries by the day they come
    // back, the trash, or every day as it is in the file.
    enum class Listing { Notes, Later, Trash, Plain };

    // The moment a list is built for, and the calendar and day times it is read with.
    struct Moment {
        Instant instant;
        Calendar calendar;
        Anchors anchors;
        QString todayHeading;
    };

    // What a rebuild changed: the rows, the sections (a heading, an identity or an item), the folds.
    struct Changes {
        bool rows = false;
        bool sections = false;
        bool folds = false;
    };

    using QObject::QObject;
    ~ManageList() override;

    // Fixed identities of the two sections that can stand on top of the log.
    static QUuid nowSectionID();
    static QUuid activeSectionID();
    static QString entryRowID(const QString& heading, const QUuid& id);

    // --- Loading ---
    // New days of the notes file: whether they differ from the last. The days it shares with the
    // last load keep what was learnt of them.
    bool load(QList<DaySection> sections, const Moment& now);
    bool loadTrash(QList<DaySection> trash);
    Changes rebuild(Listing listing, const QString& filter, bool showCompleted, const Moment& now);
    // Lowers the notes' texts for the filter ahead of it, a part at a time.
    void prepareFilter() { prepareFilter(0); }

    // --- The notes file as loaded ---
    const QList<DaySection>& sections() const { return sections_; }
    // By identity, searching the notes file: for one entry, not for every row.
    std::optional<Entry> entry(const QUuid& id) const;
    const DaySection* sectionOf(const QUuid& id) const;
    // Whether the entry may ring and its next ring is still to come.
    bool isWaiting(const QUuid& id, Instant now) const;
    bool hasReminders() const;
    // Open entries (a routine's repeat aside), and those waiting after `now`.
    int openCount() const;
    int laterCount(Instant now) const;
    // Open, not shortlisted, without a reminder, on another day than `today`: what the sweep walks
    // through, oldest day first; each(item, section).
    int staleOpenCount(const QString& today) const;
    QList<Entry> staleOpenEntries(const QString& today) const;
    template <typename Each>
    void forEachStale(const QString& today, Each each) const;

    // --- What the list shows ---
    // Section by section (copied out when first asked for after a change).
    const QList<DaySection>& visibleSections() const;
    qsizetype visibleSectionCount() const { return static_cast<qsizetype>(parts_.size()); }
    const QMap<QString, int>& folded() const;
    // The rows one at a time, without copying the list: for a view that draws only some.
    int rowCount() const { return rowCount_; }
    Row rowAt(int index) const;
    QList<Row> rows() const;
    // The row of an entry, -1 when it is not listed.
    int rowIndex(const QUuid& id) const;
    // The listed entries in order: their number, where one is (-1: not listed), and each.
    qsizetype entryCount() const { return static_cast<qsizetype>(entryCount_); }
    qsizetype indexOf(const QUuid& id) const;
    const QUuid& idAt(qsizetype index) const;
    std::optional<Entry> entryAt(qsizetype index) const;
    QList<Entry> entries() const;
    // The day of the list's file a listed entry is written under (read from the list, not searched).
    const DaySection& dayOf(qsizetype index) const;
    // Where a listed entry is in the notes file as loaded (none in the trash view).
    std::optional<EntryLocation> locationAt(qsizetype index) const;

private:
    // What a load learns once about each item of `sections_`, so that the lists, the counts and
    // the filter never read a reminder or lower-case a text twice.
    struct Facts {
        Instant next{}; // first, so that the flags pack behind it: the table moves with each change
        bool hasReminder = false;
        bool repeats = false;
        bool routine = false;
        bool isEntry = false;
        bool active = false;
        Entry::State state = Entry::State::Open;
    };
    // An item of the source: its index in the per-item tables and its section.
    struct Place {
        std::uint32_t item = 0;
        std::uint32_t section = 0;
    };
    // A day's open and stale entries, taken over with the day's facts (the header's totals are kept
    // apart, see tally).
    struct DayCounts {
        int open = 0;
        int stale = 0;
    };
    // What listing one day found, its places counted from the day's first item: kept with the day's
    // facts while the moment stays between the rings it was made around.
    using IdBits = std::array<std::uint64_t, 4>;
    struct DayList {
        bool notes = false;
        bool folds = false;
        Instant from{};  // the latest ring at or before the moment it was made for
        Instant until{}; // the first ring after it
        bool stays = false;
        int hidden = 0;
        std::vector<std::uint32_t> listed;
        std::vector<std::uint32_t> entries; // places in `listed`
        std::vector<std::uint32_t> ringing;
        std::vector<std::uint32_t> active;
        // A summary of the listed entries' identities: an identity not in it is not listed.
        IdBits ids{};
    };
    // The filter over the notes and over the trash, set up on the first filter after a load
    // (indexed like facts_). A day's lower-cased texts are kept with the day's items and taken
    // over while the items stay the same; keeping the items also keeps their address unique.
    struct FilterBlock {
        QList<Item> items;
        std::shared_ptr<const TextFilter::Block> block;
    };
    // A section gathered from several days ("Now", "Active", Later's days): each entry, the day of
    // the source it is written under, its place in that day, its identity.
    struct Gathered {
        // An entry: the item, its identity, its next ring ("Now"), the day of the source it is written
        // under (counted from the last, see Part), its place in that day, and the day in the group's days.
        struct Member {
            const Item* own = nullptr;
            QUuid id;
            Instant next{};
            std::uint32_t home = 0;
            std::uint32_t item = 0;
            std::uint32_t day = 0;
        };
        QUuid id;
        QString heading;
        std::vector<Member> members;
    };
    // "Now" or "Active" as gathered from the days' lists, with those lists (kept alive, so that
    // the same address is the same list) and the day each stood at (counted from the last day of
    // the source): the next list takes over the entries of the days whose lists stay, and reads and
    // sorts only the others'.
    struct Group {
        std::shared_ptr<const Gathered> list;
        std::vector<std::pair<std::shared_ptr<const DayList>, std::uint32_t>> days;
    };
    struct Gathering;
    // A section the list shows. A day of the source reads its rows from what listing the day found
    // (kept with the day's facts, or in the build's pool), counted from the day's first item, so
    // that a change lists only the days it touched again and the rest only move down or up.
    struct Part {
        std::uint32_t firstRow = 0;   // its header's row
        std::uint32_t firstEntry = 0; // its first entry among the listed ones
        std::uint32_t entryCount = 0;
        std::uint32_t count = 0; // items listed, raw lines too
        int hidden = 0;          // done entries the folded row after its entries counts
        // The day of the source it shows, or -1 (gathered). Days are counted from the last one: days
        // come in at the top, and those below them keep their number.
        std::int64_t home = -1;
        // A day: its places in list->listed from listedAt, its entries in list->entries from entriesAt.
        std::shared_ptr<const DayList> list;
        std::uint32_t listedAt = 0;
        std::uint32_t entriesAt = 0;
        IdBits ids{}; // the day's list's
        std::shared_ptr<const Gathered> gathered;
        // The index in the day of the item at `place` (among the part's listed items), and of entry k.
        std::uint32_t itemIndex(std::uint32_t place) const {
            return gathered ? gathered->members[place].item : list->listed[listedAt + place];
        }
        std::uint32_t entryPlace(std::uint32_t k) const { return gathered ? k : list->entries[entriesAt + k]; }
        // A day counted from the top as counted from the last, and back.
        static std::int64_t flip(const QList<DaySection>& source, std::int64_t day) { return source.size() - 1 - day; }
        // The day of the source the item at `place` is written under, counted from the top.
        std::int64_t dayOf(const QList<DaySection>& source, std::uint32_t place) const {
            return flip(source, gathered ? gathered->members[place].home : home);
        }
        const Item& item(const QList<DaySection>& source, std::uint32_t place) const {
            return gathered ? *gathered->members[place].own : source[flip(source, home)].items[itemIndex(place)];
        }
        const QString& heading(const QList<DaySection>& source) const {
            return gathered ? gathered->heading : source[flip(source, home)].heading;
        }
        const QUuid& id(const QList<DaySection>& source) const {
            return gathered ? gathered->id : source[flip(source, home)].id;
        }
    };
    // How the days changed with a load: the days read at `at` in place of `removed` previous days
    // (between days taken over), in order.
    struct DayEdit {
        std::uint32_t at = 0;
        std::uint32_t removed = 0;
        std::uint32_t added = 0;
    };
    // What the notes' days were listed for, and while which moments every day's list holds: a list
    // built from it is edited around the days a load changed rather than made again.
    struct Basis {
        bool notes = false;
        bool fold = false;
        QString today;
        Instant from{};
        Instant until{};
    };
    // A list being built from one source, before it replaces the one shown.
    struct Building {
        const QList<DaySection>& source;
        const std::vector<qsizetype>& offsets;
        const std::vector<Facts>& facts;
        const std::vector<QUuid>& ids;
        const std::vector<std::uint8_t>* matches; // none without a filter
        std::vector<Part> parts;
        // The days listed for this list alone (the trash, a filter), one after another.
        std::shared_ptr<DayList> pool;
        Group now;
        Group active;
        // The kept days' lists hold from the latest `from` until the first `until`.
        Instant from = Instant::min();
        Instant until = Instant::max();
        // A section of entries gathered from several days ("Now", "Active", Later's days).
        void gather(const QUuid& id, const QString& heading, std::span<const Place> places);
    };

    static bool isStale(const Facts& f) {
        return f.isEntry && f.state == Entry::State::Open && !f.active && !f.hasReminder;
    }
    static bool isWaiting(const Facts& f, Instant now) { return f.hasReminder && f.next > now; }
    static Facts factsOf(const Item& item, const Moment& now);
    static DayCounts countsOf(std::span<const Facts> facts);
    // A day's counts added to the totals (sign 1, or 0 unsorted) or taken out of them (-1).
    void tally(std::span<const Facts> day, const QString& heading, int sign);

    // The facts of the days the last load shares with this one are taken over, the rest read.
    void learnFacts(const Moment& now, const QList<DaySection>& previous);
    // Which items of the list's source contain the filter (lower-cased, not empty).
    const std::vector<std::uint8_t>& filterMatches(bool trash, const QString& lowered);
    static std::shared_ptr<const TextFilter::Block> filterBlock(const QList<Item>& items);
    void prepareFilter(qsizetype from);

    // The lists of each view, then how the new list compares with the one shown.
    void listLater(Building& b, const Moment& now) const;
    void listDays(Building& b, bool notes, bool fold, const Moment& now) const;
    // The list of day s for a part of `b`, kept with the day's facts or made in scratch_.
    const DayList& dayList(Building& b, qsizetype s, bool notes, bool fold, const Moment& now, Part& part) const;
    static void fill(Part& part, const DayList& list);
    static Part gatheredPart(std::shared_ptr<const Gathered> g);
    // The list shown, edited around the days the last load changed.
    Changes relist(const std::vector<DayEdit>& edits, const Moment& now);
    static void listDay(DayList& list, const Facts* facts, const QUuid* ids, qsizetype count,
                        const std::uint8_t* matches, bool notes, bool folds, Instant now);
    Changes compare(const Building& b) const;
    static bool samePart(const Part& was, const QList<DaySection>& wasSource, const Part& is,
                         const QList<DaySection>& isSource);
    // The places of the parts shown, counted from the first; the caches a change makes stale.
    void placeParts(const Changes& changes);
    void dropCaches(const Changes& changes);

    // The section of a listed entry and of a row.
    const Part& sectionOfEntry(qsizetype entry) const;
    const Part& sectionOfRow(int row) const;

    QList<DaySection> sections_;
    QList<DaySection> trashSections_;
    // Facts of `sections_`: facts_[offsets_[s] + i] belongs to item i of section s.
    std::vector<Facts> facts_;
    // The identities of the same items (null for raw lines): listing reads them here, together,
    // rather than from the items. Edited in place with the days that change.
    std::vector<QUuid> ids_;
    std::vector<DayCounts> dayCounts_;
    // The header's totals, kept with each change: the next ring of each entry that may ring, sorted (the
    // waiting count for a moment is a search), and the stale entries by the heading of their day.
    int openTotal_ = 0;
    int staleTotal_ = 0;
    std::vector<Instant> rings_;
    QHash<QString, int> staleOn_;
    // Each day's list in the notes, made when first asked for (listing is const): with its done
    // entries folded and shown, so that ⌘E back and forth lists no day again.
    // A list once shown is never changed: listing a day again makes a new one.
    // Kept in a pool, the day's place in it moving with the day: a day coming in moves the others by
    // a block copy.
    using DayLists = std::array<std::shared_ptr<const DayList>, 2>;
    std::vector<std::uint32_t> dayLists_;
    mutable std::vector<DayLists> listPool_;
    std::vector<std::uint32_t> freeLists_;
    mutable DayList scratch_; // a day's list not kept (the trash, a filter)
    std::vector<qsizetype> offsets_;
    // The days' changes since the list was last built (none known: read whole, or loaded twice).
    std::optional<std::vector<DayEdit>> edits_;
    std::optional<Basis> basis_;
    // The zone and day times the facts were read with: a change of either reads every reminder again.
    QString factsZone_;
    Anchors factsAnchors_;
    TextFilter notesFilter_;
    TextFilter trashFilter_;
    std::vector<FilterBlock> notesBlocks_;
    std::vector<FilterBlock> trashBlocks_;
    bool notesFilterReady_ = false;
    bool preparingFilter_ = false;
    bool trashFilterReady_ = false;
    std::vector<qsizetype> trashOffsets_;
    // The trash's items as the list needs them (entry or not, state) and their identities.
    std::vector<Facts> trashFacts_;
    std::shared_ptr<std::vector<QUuid>> trashIds_ = std::make_shared<std::vector<QUuid>>();

    Listing listing_ = Listing::Notes;
    // The sections shown, "Now" and "Active" first, and the source they were built from, which
    // keeps their items alive.
    std::vector<Part> parts_;
    Group now_;
    Group active_;
    QList<DaySection> builtSource_;
    std::uint32_t entryCount_ = 0;
    int rowCount_ = 0;
    mutable std::optional<QList<DaySection>> visibleSections_;
    // Made from the built list when asked for.
    mutable std::optional<QMap<QString, int>> folded_;
    // The last entry indexOf found: the selection is asked for many times after each change.
    mutable std::optional<std::pair<QUuid, qsizetype>> lastFound_;
};

template <typename Each>
void ManageList::forEachStale(const QString& today, Each each) const {
    for (qsizetype s = sections_.size() - 1; s >= 0; --s) {
        const DaySection& section = sections_[s];
        if (section.heading == today || dayCounts_[static_cast<std::size_t>(s)].stale == 0) {
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

} // namespace plim
