#pragma once

#include "ui/capture/Delays.h"

#include <QObject>

#include <memory>

namespace plim {

// One key press in the drawer's editor. Modifier keys pressed alone are no key press: they come
// through `CaptureGestures::modifiersChanged`.
struct CaptureKeyPress {
    int key = 0; // Qt::Key
    Qt::KeyboardModifiers modifiers;
    friend bool operator==(const CaptureKeyPress&, const CaptureKeyPress&) = default;
};

// What a key in the editor stands for.
enum class CaptureCommand {
    Pass,           // the editor's own handling: typing, arrows, deletion, other shortcuts
    Commit,         // save and close
    CommitKeepOpen, // save and stay for the next thought
    LineBreak,      // a line break in the text
    Cancel,         // leave, keeping the draft
    NudgeLeft,
    NudgeCenter,
    NudgeRight,
    When,   // open the when field
    Preset, // save with a reminder preset
    SelectAll,
    Copy,
    Cut,
    Paste,
    CaptureClipboard, // save the clipboard as its own entry
    OpenManage,
    OpenKeys,
    Undo, // typing, in the editor's own history
    Redo,
    UndoCapture, // take back the last saved capture
};

struct CaptureKeyAction {
    CaptureCommand command = CaptureCommand::Pass;
    int preset = -1; // 0...8 with Preset
    friend bool operator==(const CaptureKeyAction&, const CaptureKeyAction&) = default;
};

// The editor's key table. `canUndo`: the editor has typing to undo (Ctrl+Z undoes that first).
CaptureKeyAction captureKeyAction(const CaptureKeyPress& press, bool canUndo);

// The two hold-a-modifier gestures of the drawer: Alt alone for 0.15 s peeks under the drawer
// until Alt is released or another modifier joins; Ctrl alone for 0.5 s shows the reminder presets
// until Ctrl is released. A key press cancels a pending gesture but never ends an active one.
class CaptureGestures final : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds peekDelay{150};
    static constexpr std::chrono::milliseconds presetsDelay{500};

    explicit CaptureGestures(Delays& delays, QObject* parent = nullptr);

    // A key other than a modifier went down.
    void keyPressed();
    // The held modifiers are now these.
    void modifiersChanged(Qt::KeyboardModifiers modifiers);
    // Cancels a pending peek and ends an active one; then `endPresets`.
    void endPeek();
    void endPresets();

    bool peeking() const { return peeking_; }
    bool showingPresets() const { return showingPresets_; }

Q_SIGNALS:
    void peekChanged(bool on);
    void presetsChanged(bool on);

private:
    std::unique_ptr<Delay> peekDelay_;
    std::unique_ptr<Delay> presetsDelay_;
    bool peeking_ = false;
    bool showingPresets_ = false;
};

} // namespace plim
