#include "ui/manage/ManageModel.h"

#include "platform/DesktopServices.h"
#include "reminders/EntryReminders.h"
#include "store/NotesStore.h"
#include "ui/manage/KeysGuide.h"
#include "ui/manage/Links.h"
#include "ui/when/WhenFieldModel.h"

#include <algorithm>
#include <utility>

namespace plim {

namespace {

template <typename T>
bool assign(T& field, T value) {
    if (field == value) {
        return false;
    }
    field = std::move(value);
    return true;
}

} // namespace

ManageModel::ManageModel(NotesStore& store, DesktopServices& desktop, LaunchAtLogin& launchAtLogin, QObject* parent)
    : QObject(parent)
    , store_(store)
    , preferences_(store.preferences())
    , desktop_(desktop)
    , labels_(store.clock())
    , firstRun_(std::make_unique<FirstRun>(store.preferences(), launchAtLogin))
    , when_(std::make_unique<WhenFieldModel>(store.preferences(), store.clock())) {
    textSize_ = preferences_.textSize();
    font_ = preferences_.font();
    connect(when_.get(), &WhenFieldModel::committed, this, &ManageModel::commitWhenField);
    connect(when_.get(), &WhenFieldModel::cancelled, this, &ManageModel::cancelWhenField);
    connect(when_.get(), &WhenFieldModel::stopRequested, this, &ManageModel::stopReminderFromWhenField);
    // Direct connections: the model goes with its connections, so nothing reaches a model that is gone.
    connect(&store_, &NotesStore::changed, this, &ManageModel::reload);
    connect(&preferences_, &Preferences::changed, this, &ManageModel::readPreferences);
    reload();
}

ManageModel::~ManageModel() = default;

// --- Small setters ---------------------------------------------------------------------------

ManageModel::Now ManageModel::currentMoment() const {
    Now now{store_.clock().now(), store_.clock().calendar(), preferences_.anchors(), {}};
    now.todayHeading = NotesFormat::heading(now.instant, now.calendar).mid(3);
    return now;
}

ManageModel::Now ManageModel::shownMoment() const {
    return {store_.clock().now(), labels_.calendar(), labels_.anchors(), labels_.todayHeading()};
}

void ManageModel::readPreferences() {
    labels_.setAnchors(preferences_.anchors());
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
        list_.prepareFilter();
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

void ManageModel::readTrash() {
    if (list_.loadTrash(store_.trashDocument().sections)) {
        Q_EMIT trashSectionsChanged();
    }
}

// --- Loading ---------------------------------------------------------------------------------

void ManageModel::reload() {
    const std::optional<QUuid> remembered = selectedID_;
    const qsizetype position = remembered ? list_.indexOf(*remembered) : -1;

    const Now now = currentMoment();
    labels_.load(now.calendar, now.anchors, now.todayHeading);
    const bool sectionsNew = list_.load(store_.document().sections, now);
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
    // Checked in this order: most users answered long ago, and the list is long.
    if (firstRun_->waitsForReminder() && list_.hasReminders()) {
        firstRun_->reminderSet();
    }
}

void ManageModel::rebuildVisible() {
    ManageList::Listing listing = ManageList::Listing::Plain;
    switch (mode_) {
    case Mode::Log:
        listing = ManageList::Listing::Notes;
        break;
    case Mode::Later:
        listing = ManageList::Listing::Later;
        break;
    case Mode::Trash:
        listing = ManageList::Listing::Trash;
        break;
    case Mode::Sweep:
    case Mode::Keys:
        break;
    }
    const ManageList::Changes changed = list_.rebuild(listing, filter_, showCompleted_, shownMoment());
    ++builds_;
    // The list is told first: it places its rows before others react to the new sections.
    if (changed.rows) {
        Q_EMIT rowsChanged();
    }
    if (changed.sections) {
        Q_EMIT visibleSectionsChanged();
    }
    if (changed.folds) {
        Q_EMIT foldedChanged();
    }
}

void ManageModel::keepSelectionVisible(const std::optional<QUuid>& remembered, qsizetype position) {
    if (remembered && list_.indexOf(*remembered) >= 0) {
        // The selection stays.
    } else if (position >= 0 && list_.entryCount() > 0) {
        setSelected(list_.idAt(std::min<qsizetype>(position, list_.entryCount() - 1)));
    } else {
        selectFirstVisible();
    }
}

void ManageModel::rebuildKeepingSelection() {
    const std::optional<QUuid> remembered = selectedID_;
    const qsizetype position = remembered ? list_.indexOf(*remembered) : -1;
    rebuildVisible();
    keepSelectionVisible(remembered, position);
}

void ManageModel::dayChanged() {
    reload();
}

void ManageModel::ringingChanged() {
    reload();
}

void ManageModel::selectFirstVisible() {
    setSelected(list_.entryCount() == 0 ? std::nullopt : std::optional<QUuid>(list_.idAt(0)));
}

std::optional<Entry> ManageModel::selectedEntry() const {
    return selectedID_ ? list_.entryAt(list_.indexOf(*selectedID_)) : std::nullopt;
}

std::optional<EntryLocation> ManageModel::selectedLocation() const {
    return selectedID_ ? list_.locationAt(list_.indexOf(*selectedID_)) : std::nullopt;
}

// --- Per entry, and the header's counts ------------------------------------------------------

const DaySection* ManageModel::daySectionOf(const QUuid& id) const {
    // The list's source is the notes file in every view but the trash.
    const qsizetype index = mode_ == Mode::Trash ? -1 : list_.indexOf(id);
    return index < 0 ? list_.sectionOf(id) : &list_.dayOf(index);
}

std::optional<QString> ManageModel::dayLabel(const QUuid& id) const {
    const DaySection* section = daySectionOf(id);
    if (!section) {
        return std::nullopt;
    }
    return labels_.heading(section->heading);
}

bool ManageModel::isInToday(const QUuid& id) const {
    const DaySection* section = daySectionOf(id);
    return section && labels_.isToday(section->heading);
}

std::optional<QString> ManageModel::dayLabel(const Row& row) const {
    if (row.kind != Row::Kind::Entry) {
        return std::nullopt;
    }
    return labels_.heading(row.day);
}

bool ManageModel::isInToday(const Row& row) const {
    // Today's heading of the trash is not today's in the notes file.
    return row.kind == Row::Kind::Entry && mode_ != Mode::Trash && labels_.isToday(row.day);
}

QString ManageModel::openSummary() const {
    const int n = list_.openCount();
    return n == 1 ? QStringLiteral("1 open") : QString::number(n) + QStringLiteral(" open");
}

int ManageModel::laterCount() const {
    return list_.laterCount(store_.clock().now());
}

int ManageModel::staleOpenCount() const {
    return list_.staleOpenCount(labels_.todayHeading());
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

std::optional<Entry> ManageModel::whenEntry() const {
    return whenFieldID_ ? list_.entry(*whenFieldID_) : std::nullopt;
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
    const auto n = list_.entryCount();
    if (n == 0) {
        return;
    }
    const qsizetype at = selectedID_ ? list_.indexOf(*selectedID_) : -1;
    const qsizetype next = at >= 0 ? std::clamp<qsizetype>(at + delta, 0, n - 1) : (delta < 1 ? n - 1 : 0);
    setSelected(list_.idAt(next));
}

void ManageModel::ensureSelectionVisible() {
    if (!selectedEntry()) {
        selectFirstVisible();
    }
}

void ManageModel::reveal(const std::optional<QUuid>& id) {
    // The field belongs to the row it was opened on; every key would go on to it out of sight.
    cancelWhenField();
    if (id && list_.isWaiting(*id, store_.clock().now())) {
        if (mode_ != Mode::Later) {
            showLater();
        }
    } else if (mode_ != Mode::Log) {
        backToNotes();
    }
    if (id && !filter_.isEmpty() && list_.indexOf(*id) < 0) {
        setFilter(QString());
    }
    selectedByPointer_ = false;
    if (id && list_.indexOf(*id) >= 0) {
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
        store_.toggleDone(entry->id, selectedLocation());
    }
}

void ManageModel::toggleActive() {
    if (mode_ != Mode::Log && mode_ != Mode::Later) {
        return;
    }
    if (const auto entry = selectedEntry()) {
        store_.toggleActive(entry->id, selectedLocation());
    }
}

void ManageModel::carry() {
    if (mode_ != Mode::Log) {
        return;
    }
    if (const auto entry = selectedEntry(); entry && !isInToday(entry->id)) {
        store_.carryToToday(entry->id, store_.clock().now(), selectedLocation());
    }
}

void ManageModel::deleteSelection() {
    if (!selectedID_ || (mode_ != Mode::Log && mode_ != Mode::Later && mode_ != Mode::Trash)) {
        return;
    }
    const QUuid target = *selectedID_;
    const auto n = list_.entryCount();
    const qsizetype at = list_.indexOf(target);
    // Only what the list shows is trashed: a selection the filter or done-hiding took out of view
    // is not the entry the user sees.
    if (at < 0) {
        return;
    }
    std::optional<QUuid> after;
    if (at + 1 < n) {
        after = list_.idAt(at + 1);
    } else if (at > 0) {
        after = list_.idAt(at - 1);
    }
    if (mode_ == Mode::Trash) {
        store_.deleteFromTrash(target);
    } else {
        store_.deleteEntry(target, list_.locationAt(at));
    }
    // When the store could not delete (the trash file cannot be written), the selection stays.
    if (list_.indexOf(target) >= 0) {
        return;
    }
    if (after && list_.indexOf(*after) >= 0) {
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
    const auto entry = list_.entryAt(list_.indexOf(id));
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
    firstRun_->reminderSet();
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
    if (const auto entry = selectedEntry(); entry && labels_.isRinging(*entry)) {
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
        } else {
            Q_EMIT closeRequested();
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

void ManageModel::startSweep() {
    if (mode_ == Mode::Sweep) {
        return;
    }
    commitEditing();
    cancelWhenField();
    if (sweep_.start(list_, labels_.todayHeading())) {
        Q_EMIT sweepTotalChanged();
    }
    setMode(Mode::Sweep);
    rebuildVisible();
    refreshSweep();
}

void ManageModel::refreshSweep() {
    if (sweep_.refresh(list_, labels_.todayHeading())) {
        Q_EMIT sweepQueueChanged();
    }
}

std::optional<Entry> ManageModel::sweepCurrent() const {
    if (mode_ != Mode::Sweep) {
        return std::nullopt;
    }
    return sweep_.current();
}

std::optional<QString> ManageModel::sweepCurrentHeading() const {
    if (!sweepCurrent() || !sweep_.day()) {
        return std::nullopt;
    }
    return labels_.heading(*sweep_.day());
}

void ManageModel::sweepCarry() {
    if (const auto current = sweepCurrent()) {
        store_.carryToToday(current->id, store_.clock().now(), sweep_.currentPlace());
    }
}

void ManageModel::sweepDone() {
    if (const auto current = sweepCurrent()) {
        store_.toggleDone(current->id, sweep_.currentPlace());
    }
}

void ManageModel::sweepActivate() {
    if (const auto current = sweepCurrent()) {
        store_.toggleActive(current->id, sweep_.currentPlace());
    }
}

void ManageModel::sweepDrop() {
    if (const auto current = sweepCurrent()) {
        store_.deleteEntry(current->id, sweep_.currentPlace());
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
    firstRun_->reminderSet();
}

void ManageModel::sweepSkip() {
    if (const auto current = sweepCurrent()) {
        sweep_.skip(current->id);
        refreshSweep();
    }
}

void ManageModel::sweepBack() {
    if (mode_ != Mode::Sweep) {
        return;
    }
    if (sweep_.unskip(list_, labels_.todayHeading())) {
        refreshSweep();
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

} // namespace plim
