#pragma once

#include "base/Calendar.h"
#include "notes/NotesDocument.h"
#include "reminders/Reminder.h"
#include "store/Preferences.h"
#include "ui/manage/TextFilter.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace plim {

class DesktopServices;
class LaunchAtLogin;
class NotesStore;
class WhenFieldModel;

// The state behind the notes window: the view it shows, the sections and entries it lists, the
// filter, the selection, the in-place editor, the when field, the sweep and the first-run questions.
// It owns no notes: it reads the store's documents and asks the store to change them; the store's
// `changed` signal brings every change back through `reload`. Every published field has a change
// signal that fires only when the value actually changed.
class ManageModel : public QObject {
    Q_OBJECT

public:
    enum class Mode { Log, Sweep, Trash, Later, Keys };
    enum class Onboarding { Delivery, LaunchAtLogin };

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
        // "h|" + heading, "e|" + heading + "|" + UUID in upper case, "f|" + heading.
        QString id() const;
        friend bool operator==(const Row&, const Row&) = default;
    };

    ManageModel(NotesStore& store, DesktopServices& desktop, LaunchAtLogin& launchAtLogin, QObject* parent = nullptr);
    ~ManageModel() override;

    // Fixed identities of the two sections that can stand on top of the log.
    static QUuid nowSectionID();
    static QUuid activeSectionID();
    static QString entryRowID(const QString& heading, const QUuid& id);

    // Hides the window (set by the window controller).
    void setCloseWindow(std::function<void()> close) { closeWindow_ = std::move(close); }
    // Stores "notification" as the delivery and asks the desktop for permission (the scheduler's
    // part). Without it, choosing notifications stores nothing.
    void setRequestNotifications(std::function<void()> request) { requestNotifications_ = std::move(request); }

    // --- Published fields ---
    Mode mode() const { return mode_; }
    Mode keysReturn() const { return keysReturn_; }
    int keysScroll() const { return keysScroll_; }
    const QList<DaySection>& sections() const { return sections_; }
    const QList<DaySection>& trashSections() const { return trashSections_; }
    const QString& filter() const { return filter_; }
    // What the list shows, section by section (copied out when first asked for after a change).
    const QList<DaySection>& visibleSections() const;
    qsizetype visibleSectionCount() const { return static_cast<qsizetype>(built_.size()); }
    const std::optional<QUuid>& selectedID() const { return selectedID_; }
    const std::optional<QUuid>& editingID() const { return editingID_; }
    const QString& editingText() const { return editingText_; }
    int filterFocusRequest() const { return filterFocusRequest_; }
    int listFocusRequest() const { return listFocusRequest_; }
    int editFocusRequest() const { return editFocusRequest_; }
    bool selectedByPointer() const { return selectedByPointer_; }
    double textSize() const { return textSize_; }
    FontChoice font() const { return font_; }
    bool showCompleted() const { return showCompleted_; }
    const QMap<QString, int>& folded() const;
    const std::optional<Onboarding>& onboarding() const { return onboarding_; }
    const std::optional<QUuid>& whenFieldID() const { return whenFieldID_; }
    WhenFieldModel& when() const { return *when_; }
    const QList<Entry>& sweepQueue() const { return sweepQueue_; }
    int sweepTotal() const { return sweepTotal_; }
    const QSet<QUuid>& sweepSkipped() const { return sweepSkipped_; }
    NotesStore& store() const { return store_; }
    // The calendar and day times the lists were last loaded with (the user's, re-read on every
    // reload, so a new zone or day shows after the next reload).
    const Calendar& calendar() const { return calendar_; }
    const Anchors& anchors() const { return anchors_; }

    // What the view writes: each rebuilds the list at once.
    void setFilter(const QString& filter);
    void setShowCompleted(bool show);
    void setEditingText(const QString& text);
    // The list clears it after a pointer selection (it then does not scroll).
    void setSelectedByPointer(bool byPointer) { selectedByPointer_ = byPointer; }

    // --- Loading and lists ---
    void reload();
    void rebuildVisible();
    QList<Entry> visibleEntries() const;
    std::optional<Entry> selectedEntry() const;
    QList<Row> rows() const;
    // The same rows one at a time, without copying the list: for a view that draws only some.
    int rowCount() const;
    Row rowAt(int index) const;
    // The row of an entry, -1 when it is not listed.
    int rowIndex(const QUuid& id) const;
    std::optional<QString> rowID(const QUuid& id) const;

    // --- Labels and counts ---
    QString displayHeading(const DaySection& section) const;
    QString displayHeading(const QString& heading) const;
    // By identity these search the notes file: for one entry, not for every row.
    std::optional<QString> dayLabel(const QUuid& id) const;
    bool isInToday(const QUuid& id) const;
    // The same for a row of `rows()`, read from the row.
    std::optional<QString> dayLabel(const Row& row) const;
    bool isInToday(const Row& row) const;
    // A heading that is the current day's ("yyyy-MM-dd Weekday").
    bool isTodayHeading(const QString& heading) const;
    bool isRinging(const Entry& entry) const;
    QString openSummary() const;
    int laterCount() const;
    std::optional<Entry> remindable() const;
    std::optional<QString> reminderLabel(const Entry& entry) const;
    std::optional<Entry> whenEntry() const;

    // --- Selection ---
    void select(const QUuid& id);
    void moveSelection(int delta);
    void ensureSelectionVisible();
    void reveal(const std::optional<QUuid>& id);

    // --- Entry commands ---
    void toggleDone();
    void toggleActive();
    void carry();
    void deleteSelection();
    void activateSelection(bool commandHeld);
    void beginEditing(const QUuid& id);
    void commitEditing();
    // Leaves the editor without saving.
    void cancelEditing();
    void copySelection();
    void remind(int preset);
    void openWhenField(const QString& text);
    void commitWhenField(const Reminder& reminder);
    void cancelWhenField();
    void stopReminderFromWhenField();
    void dismissSelection();
    void apply(const Reminder& reminder, const Entry& entry);

    // --- Views ---
    void showTrash();
    void showLater();
    void showKeys();
    void leaveKeys();
    void scrollKeys(int delta);
    void escape();
    // Back to the notes list with the filter cleared (⌘T / ⌘L again, header buttons).
    void backToNotes();
    // Back to the notes list from the sweep, the filter kept.
    void endSweep();
    // The focus requests: each raises its counter by one.
    void requestFilterFocus();
    void requestListFocus();
    void requestEditFocus();

    // --- Sweep ---
    QList<Entry> staleOpenEntries() const;
    int staleOpenCount() const;
    void startSweep();
    void refreshSweep();
    std::optional<Entry> sweepCurrent() const;
    std::optional<QString> sweepCurrentHeading() const;
    void sweepCarry();
    void sweepDone();
    void sweepActivate();
    void sweepDrop();
    void sweepRemind(int preset);
    void sweepSkip();
    void sweepBack();
    void sweepOpenLink();

    // --- First-run questions ---
    void chooseDelivery(ReminderDelivery delivery);
    void answerLaunchAtLogin(bool yes);

public Q_SLOTS:
    // The calendar day changed.
    void dayChanged();
    // The scheduler's pass changed what rings.
    void ringingChanged();

Q_SIGNALS:
    void modeChanged();
    void keysScrollChanged();
    void sectionsChanged();
    void trashSectionsChanged();
    void filterChanged();
    void visibleSectionsChanged();
    void selectedIDChanged();
    void editingIDChanged();
    void editingTextChanged();
    void filterFocusRequestChanged();
    void listFocusRequestChanged();
    void editFocusRequestChanged();
    void textSizeChanged();
    void fontChanged();
    void showCompletedChanged();
    void foldedChanged();
    // The rows changed (the sections or the folded rows): sent once, before both signals above.
    void rowsChanged();
    void onboardingChanged();
    void whenFieldIDChanged();
    void sweepQueueChanged();
    void sweepTotalChanged();

private:
    // What a reload learns once about each item of `sections_`, so that the lists, the counts and
    // the filter never read a reminder or lower-case a text twice.
    struct Facts {
        bool hasReminder = false;
        bool repeats = false;
        bool routine = false;
        Instant next{};
        bool isEntry = false;
        bool active = false;
        Entry::State state = Entry::State::Open;
    };
    // An item of the source: its index in the per-item tables and its section.
    struct Place {
        std::uint32_t item = 0;
        std::uint32_t section = 0;
    };
    struct Now {
        Instant instant;
        Calendar calendar;
        Anchors anchors;
        QString todayHeading;
    };

    // Now, with the user's calendar read afresh (for commands)...
    Now currentMoment() const;
    // ...or with the calendar of the last reload (for what every row asks).
    Now shownMoment() const;
    void readPreferences();
    void setMode(Mode mode);
    void setSelected(std::optional<QUuid> id);
    void setEditingID(std::optional<QUuid> id);
    void setWhenFieldID(std::optional<QUuid> id);
    void setOnboarding(std::optional<Onboarding> value);
    void setFilterValue(const QString& filter);
    void setTrashSections(QList<DaySection> trash);
    void readTrash();
    void learnFacts(const Now& now, const QList<DaySection>& previous);
    const Facts& facts(qsizetype section, qsizetype item) const;
    // Open, not shortlisted, without a reminder: what the sweep walks through on older days.
    static bool isStale(const Facts& f) {
        return f.isEntry && f.state == Entry::State::Open && !f.active && !f.hasReminder;
    }
    // Calls each(item, section) for the stale open entries, oldest day first.
    template <typename Each>
    void forEachStale(Each each) const;
    // Which items of the list's source contain the filter (lower-cased, not empty).
    const std::vector<std::uint8_t>& filterMatches(bool trash, const QString& lowered);
    static std::shared_ptr<const TextFilter::Block> filterBlock(const QList<Item>& items);
    // Lowers the notes' texts for the filter ahead of it, from day `from` on, a part at a time.
    void prepareFilter(qsizetype from = 0);
    qsizetype visibleIndex(const QUuid& id) const;
    // After the list changed under the selection: it stays while the list shows it, otherwise the
    // entry now at its old place (or the last) is selected, or the first one.
    void keepSelectionVisible(const std::optional<QUuid>& remembered, qsizetype position);
    // rebuildVisible() for a new filter or done-hiding, keeping a selection the list shows.
    void rebuildKeepingSelection();
    std::optional<Entry> visibleEntryAt(qsizetype index) const;
    void selectFirstVisible();
    static bool isWaiting(const Facts& f, Instant now);
    // The first section of `sections_` that holds the entry.
    const DaySection* sectionOf(const QUuid& id) const;
    // The day of the notes file a listed entry is written under (from the list, not a search);
    // otherwise sectionOf's.
    const DaySection* daySectionOf(const QUuid& id) const;
    std::optional<Reminder> presetReminder(int preset, const Now& now) const;
    void offerDeliveryQuestion();

    NotesStore& store_;
    Preferences& preferences_;
    Calendar calendar_{QStringLiteral("UTC")};
    Anchors anchors_;
    QString todayHeading_;
    // displayHeading's answers since the last reload (which may bring a new calendar).
    mutable QHash<QString, QString> headingLabels_;
    // reminderLabel's answers in the current minute since the last reload: a repeat's label counts
    // the rings it missed, many steps of the calendar for an old one, and every painted row asks.
    struct KnownLabel {
        QString comment;
        std::int64_t minute = 0;
        std::optional<QString> label;
    };
    mutable QHash<QUuid, KnownLabel> reminderLabels_;
    DesktopServices& desktop_;
    LaunchAtLogin& launchAtLogin_;

    Mode mode_ = Mode::Log;
    Mode keysReturn_ = Mode::Log;
    int keysScroll_ = 0;
    QList<DaySection> sections_;
    QList<DaySection> trashSections_;
    QString filter_;
    mutable std::optional<QList<DaySection>> visibleSections_;
    std::optional<QUuid> selectedID_;
    std::optional<QUuid> editingID_;
    QString editingText_;
    int filterFocusRequest_ = 0;
    int listFocusRequest_ = 0;
    int editFocusRequest_ = 0;
    bool selectedByPointer_ = false;
    double textSize_ = Preferences::defaultTextSize;
    FontChoice font_ = FontChoice::Hyperlegible;
    bool showCompleted_ = false;
    // Made from the built list when asked for.
    mutable std::optional<QMap<QString, int>> folded_;
    std::optional<Onboarding> onboarding_;
    std::optional<QUuid> whenFieldID_;
    std::unique_ptr<WhenFieldModel> when_;
    QList<Entry> sweepQueue_;
    // The same entries as items of sweepSource_ (which keeps them alive), and the current one's day.
    std::vector<const Item*> sweepItems_;
    QList<DaySection> sweepSource_;
    std::optional<QString> sweepDay_;
    int sweepTotal_ = 0;
    QSet<QUuid> sweepSkipped_;
    std::function<void()> closeWindow_;
    std::function<void()> requestNotifications_;

    // Facts of `sections_`: facts_[offsets_[s] + i] belongs to item i of section s.
    std::vector<Facts> facts_;
    // The identities of the same items (null for raw lines): listing reads them here, together,
    // rather than from the items. Shared with the list built from them.
    std::shared_ptr<std::vector<QUuid>> ids_ = std::make_shared<std::vector<QUuid>>();
    // The header's counts, day by day and taken over with a day's facts: the header asks after
    // every change. Later's are the waiting entries' next rings, sorted, so that the count for a
    // moment is a search.
    struct DayCounts {
        int open = 0;
        int stale = 0;
        std::vector<Instant> rings;
    };
    std::vector<DayCounts> dayCounts_;
    std::vector<qsizetype> offsets_;
    // The zone and day times the facts were read with: a change of either reads every reminder again.
    QString factsZone_;
    Anchors factsAnchors_;
    // The filter over the notes and over the trash, set up on the first filter after a load
    // (indexed like facts_). A day's lower-cased texts are kept with the day's items and taken
    // over while the items stay the same; keeping the items also keeps their address unique.
    struct FilterBlock {
        QList<Item> items;
        std::shared_ptr<const TextFilter::Block> block;
    };
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
    // The last entry visibleIndex found: the selection is asked for many times after each change.
    mutable std::optional<std::pair<QUuid, qsizetype>> lastFound_;

    // What the list shows, kept as places in the source it was built from: a long list costs one
    // number a row. `builtSource_` (with its offsets and identities) keeps those items alive.
    struct Built {
        QUuid id;
        QString heading;        // empty for a day of the source: see headingOf
        std::int64_t home = -1; // the day of the source it shows, or -1 ("Now", "Active", Later's days)
        std::uint32_t from = 0; // its items: listed_[from, to)
        std::uint32_t to = 0;
        std::uint32_t firstEntry = 0; // its entries: entries_[firstEntry, firstEntry + entryCount)
        std::uint32_t entryCount = 0;
        std::uint32_t firstRow = 0; // its header's row
        int hidden = 0;             // done entries the folded row after its entries counts
        // Without a home: each item, and the day of the source it is written under.
        std::vector<const Item*> own;
        std::vector<std::uint32_t> homes;
        mutable std::optional<QList<Item>> items; // the copy visibleSections hands out
    };
    std::vector<Built> built_;
    // Each listed item (raw lines too) as its index in the source's per-item tables, in list order;
    // each listed entry as its place in listed_.
    std::vector<std::uint32_t> listed_;
    std::vector<std::uint32_t> entries_;
    QList<DaySection> builtSource_;
    std::vector<qsizetype> builtOffsets_;
    std::shared_ptr<const std::vector<QUuid>> builtIds_ = std::make_shared<const std::vector<QUuid>>();
    int rowCount_ = 0;
    // A section's heading: its day's in the source, or its own ("Now", "Active", Later's days).
    const QString& headingOf(const Built& section) const;
    // The built section of a listed entry and of a row; a listed item, its day and its identity.
    const Built& sectionOfEntry(qsizetype entry) const;
    const Built& sectionOfRow(int row) const;
    const Item& listedItem(const Built& section, std::uint32_t place) const;
    std::int64_t listedDay(const Built& section, std::uint32_t place) const;
    const QUuid& visibleID(qsizetype entry) const;
};

} // namespace plim
