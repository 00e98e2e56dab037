#pragma once

#include "base/Calendar.h"
#include "reminders/Reminder.h"
#include "store/Preferences.h"
#include "ui/capture/CaptureKeys.h"
#include "ui/capture/Delays.h"
#include "ui/capture/DrawerTexts.h"
#include "ui/when/WhenFieldModel.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <optional>

namespace plim {

class DesktopServices;
class NotesStore;

// The state behind the capture drawer: whether it is shown, the editor's text and the draft, the
// when field and the preset peek, the last capture (for taking it back and for revealing it). The
// window draws what this holds (its words from `DrawerTexts`, its size and place from
// `DrawerGeometry`), forwards the editor's keys and carries out the requests it signals. Delays run
// through `Delays`, so tests drive them by hand.
class CaptureModel : public QObject {
    Q_OBJECT

public:
    // Hidden; shown with the keyboard; or shown without it, briefly, to confirm a clipboard capture.
    enum class Presence { Hidden, Visible, Confirming };
    // What the editor does itself after a key (everything else the model has done).
    enum class EditorEffect { Pass, Handled, LineBreak, SelectAll, Copy, Cut, Paste, Undo, Redo };

    using Hint = DrawerHint;
    using HintItem = DrawerHintItem;

    static constexpr std::chrono::seconds undoWindow{10};
    static constexpr std::chrono::seconds recentWindow{120};
    // The draft is stored once typing pauses this long, and at the latest this long after the
    // first change not yet stored: a crash, a lost display or a power cut takes little typing.
    static constexpr std::chrono::milliseconds draftPause{200};
    static constexpr std::chrono::milliseconds draftLatest{1000};
    static constexpr std::chrono::milliseconds reminderConfirmation{800};
    static constexpr std::chrono::milliseconds clipboardConfirmation{450};
    static constexpr std::chrono::milliseconds clipboardConfirmationReduced{600};
    // Longer text is refused from the clipboard and from pasting: one entry is one line of the
    // notes file, and laying out megabytes in one line would stall the drawer.
    static constexpr qsizetype maxCaptureLength = Preferences::maxDraftLength;

    CaptureModel(NotesStore& store, DesktopServices& desktop, Delays& delays = Delays::eventLoop(),
                 QObject* parent = nullptr);
    ~CaptureModel() override;

    // --- What the shell calls ---
    // Shows the drawer with the stored draft and gives it the keyboard.
    void show();
    // The capture shortcut: hides a drawer that has the keyboard (keeping the draft), else shows it.
    void toggle();
    // Saves the clipboard's text as its own entry; the draft is not touched.
    void captureClipboard();
    // Stores the editor's text as the draft.
    void saveDraft();
    // The last capture's identity while it is younger than two minutes; one use either way.
    std::optional<QUuid> takeRecentCapture();

    // --- State ---
    Presence presence() const { return presence_; }
    bool isVisible() const { return presence_ == Presence::Visible; }
    // What the editor holds.
    const QString& text() const { return text_; }
    bool hasText() const;
    bool whenOpen() const { return whenOpen_; }
    bool presetsShown() const { return presetsShown_; }
    bool peeking() const { return peeking_; }
    bool reduceMotion() const { return reduceMotion_; }
    WhenFieldModel& when() { return *when_; }
    CaptureGestures& gestures() { return gestures_; }
    NotesStore& store() const { return store_; }
    Preferences& preferences() const { return preferences_; }

    // --- Texts ---
    // "Saturday, Mar 14" in the user's language.
    QString dateText() const;
    // "3 open", "3 open · 1 now".
    QString countText() const;
    // The key hints, a confirmation, or the store's trouble.
    Hint hint() const;
    // The key hints as separate items, for the window to lay out on one line.
    QList<HintItem> hintItems() const;
    // The preset grid at the moment it opened.
    QList<WhenFieldModel::PeekCell> peekCells() const;

    // --- From the window ---
    // Every edit in the editor.
    void setText(const QString& text);
    // A key in the editor; `canUndo` tells whether the editor has typing to undo.
    EditorEffect keyPressed(const CaptureKeyPress& press, bool canUndo);
    void modifiersChanged(Qt::KeyboardModifiers modifiers);
    // The drawer lost the keyboard (a click elsewhere).
    void keyboardLost();
    // Whether a paste of this many characters may go in; a longer one beeps and says why.
    bool acceptPaste(qsizetype length);
    void setReduceMotion(bool reduce);

    // --- The drawer's actions ---
    void commit(bool keepOpen, const std::optional<Reminder>& reminder = std::nullopt);
    void cancel();
    void nudge(DrawerPosition position);
    void openWhenField();
    void closeWhenField();
    void remind(int preset);
    void showPresets(bool on);
    void setPeeking(bool on);
    void undoLastCapture();
    void openManage();
    void openKeys();

Q_SIGNALS:
    // Open the notes window, revealing the entry when one is given.
    void openManageRequested(std::optional<QUuid> revealing);
    // Open the keys guide.
    void keysRequested();
    // Show the drawer and give it the keyboard; drop it down unless motion is reduced.
    void presented();
    // Show the drawer without the keyboard, in place, to confirm a capture.
    void confirming();
    // Hide the drawer; `animated`: slide it up and fade it (a save), else at once.
    void dismissed(bool animated);
    // Place the drawer again (its height may have changed).
    void placeRequested(bool animated);
    // The editor's text is replaced; the insertion point goes to its end.
    void textReplaced(const QString& text);
    // The header, the hint, the when field or the preset peek changed, or the settings did.
    void contentChanged();
    void peekChanged(bool peeking);
    void whenFocusRequested();
    void editorFocusRequested();

private:
    struct LastCapture {
        QString text;
        Instant at;
    };
    struct RecentCapture {
        QUuid id;
        Instant at;
    };

    Instant now() const;
    Calendar calendar() const;
    void replaceText(const QString& text);
    void hideNow();
    void settle();
    void refresh();
    // The editor's text when nothing covers it (a confirmation shows the capture in its place).
    const QString& draftText() const;
    void confirmHidden(const QString& shown, std::optional<Hint> hint);
    void endConfirmation();
    bool undoable() const;

    NotesStore& store_;
    Preferences& preferences_;
    DesktopServices& desktop_;
    std::unique_ptr<WhenFieldModel> when_;
    CaptureGestures gestures_;
    std::unique_ptr<Delay> draftDelay_;
    std::unique_ptr<Delay> draftDeadline_;
    std::unique_ptr<Delay> settleDelay_;
    std::unique_ptr<Delay> confirmDelay_;

    Presence presence_ = Presence::Hidden;
    QString text_;
    // The editor's own text while a confirmation covers it.
    std::optional<QString> covered_;
    bool whenOpen_ = false;
    bool presetsShown_ = false;
    bool peeking_ = false;
    bool reduceMotion_ = false;
    Instant presetsAt_{};
    // A one-off line in place of the hints, until the hints are next refreshed.
    std::optional<Hint> message_;
    std::optional<LastCapture> lastCapture_;
    std::optional<RecentCapture> recentCapture_;
};

} // namespace plim
