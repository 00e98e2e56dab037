#pragma once

#include "notes/NotesDocument.h"
#include "reminders/Reminder.h"
#include "store/Preferences.h"
#include "ui/manage/FirstRun.h"
#include "ui/manage/ManageList.h"
#include "ui/manage/RowLabels.h"
#include "ui/manage/SweepSession.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

namespace plim {

class DesktopServices;
class LaunchAtLogin;
class NotesStore;
class WhenFieldModel;

// The state behind the notes window: the view it shows, the selection, the in-place editor, the
// when field, and the commands on them. The list it shows, the labels of its rows, the sweep and
// the first-run questions are parts of their own. It owns no notes: it reads the store's documents
// and asks the store to change them; the store's `changed` signal brings every change back through
// `reload`. Every published field has a change signal that fires only when the value actually changed.
class ManageModel : public QObject {
    Q_OBJECT

public:
    enum class Mode { Log, Sweep, Trash, Later, Keys };
    using Row = ManageList::Row;

    ManageModel(NotesStore& store, DesktopServices& desktop, LaunchAtLogin& launchAtLogin, QObject* parent = nullptr);
    ~ManageModel() override;

    // --- Parts ---
    const ManageList& list() const { return list_; }
    const RowLabels& labels() const { return labels_; }
    const SweepSession& sweep() const { return sweep_; }
    FirstRun& firstRun() const { return *firstRun_; }
    WhenFieldModel& when() const { return *when_; }
    NotesStore& store() const { return store_; }

    // --- Published fields ---
    Mode mode() const { return mode_; }
    Mode keysReturn() const { return keysReturn_; }
    int keysScroll() const { return keysScroll_; }
    const QString& filter() const { return filter_; }
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
    const std::optional<QUuid>& whenFieldID() const { return whenFieldID_; }

    // What the view writes: each rebuilds the list at once.
    void setFilter(const QString& filter);
    void setShowCompleted(bool show);
    void setEditingText(const QString& text);
    // The list clears it after a pointer selection (it then does not scroll).
    void setSelectedByPointer(bool byPointer) { selectedByPointer_ = byPointer; }

    // --- Loading ---
    void reload();
    void rebuildVisible();
    // How many times the list was built: what was read from it holds while this stays.
    quint64 builds() const { return builds_; }
    std::optional<Entry> selectedEntry() const;

    // --- Per entry, and the header's counts ---
    // By identity these search the notes file: for one entry, not for every row.
    std::optional<QString> dayLabel(const QUuid& id) const;
    bool isInToday(const QUuid& id) const;
    // The same for a row of the list, read from the row.
    std::optional<QString> dayLabel(const Row& row) const;
    bool isInToday(const Row& row) const;
    QString openSummary() const;
    int laterCount() const;
    int staleOpenCount() const;
    std::optional<Entry> remindable() const;
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
    void whenFieldIDChanged();
    void sweepQueueChanged();
    void sweepTotalChanged();
    // Escape in the notes list without a filter: the window hides.
    void closeRequested();

private:
    // Where the selected row's entry is in the notes file: the store looks there first.
    std::optional<EntryLocation> selectedLocation() const;
    using Now = ManageList::Moment;

    // Now, with the user's calendar read afresh (for commands)...
    Now currentMoment() const;
    // ...or with the calendar of the last reload (for what every row asks).
    Now shownMoment() const;
    void readPreferences();
    void setMode(Mode mode);
    void setSelected(std::optional<QUuid> id);
    void setEditingID(std::optional<QUuid> id);
    void setWhenFieldID(std::optional<QUuid> id);
    void setFilterValue(const QString& filter);
    void readTrash();
    // After the list changed under the selection: it stays while the list shows it, otherwise the
    // entry now at its old place (or the last) is selected, or the first one.
    void keepSelectionVisible(const std::optional<QUuid>& remembered, qsizetype position);
    // rebuildVisible() for a new filter or done-hiding, keeping a selection the list shows.
    void rebuildKeepingSelection();
    void selectFirstVisible();
    // The day of the notes file a listed entry is written under (from the list, not a search);
    // otherwise the first day that holds it.
    const DaySection* daySectionOf(const QUuid& id) const;
    std::optional<Reminder> presetReminder(int preset, const Now& now) const;

    NotesStore& store_;
    Preferences& preferences_;
    DesktopServices& desktop_;
    ManageList list_;
    quint64 builds_ = 0;
    RowLabels labels_;
    SweepSession sweep_;
    std::unique_ptr<FirstRun> firstRun_;

    Mode mode_ = Mode::Log;
    Mode keysReturn_ = Mode::Log;
    int keysScroll_ = 0;
    QString filter_;
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
    std::optional<QUuid> whenFieldID_;
    std::unique_ptr<WhenFieldModel> when_;
};

} // namespace plim
