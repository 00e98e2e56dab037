#pragma once

#include <QString>

namespace plim {

class ManageModel;

// One key press in the notes window, as the dispatch reads it.
struct KeyPress {
    int key = 0;          // Qt::Key
    QString text;         // what the key types without Ctrl (Shift applied): "a", "A", "?", "3"
    bool command = false; // Ctrl held
    bool shift = false;

    friend bool operator==(const KeyPress&, const KeyPress&) = default;
};

// What became of a key press. A handled key is swallowed; any other goes on to the control that
// has the keyboard. The effect is the part the window carries out itself.
struct KeyOutcome {
    enum class Effect {
        None,
        InsertLineBreak, // into the in-place editor
        ClearFocus,      // no control keeps the keyboard (the keys guide took the window)
    };
    bool handled = false;
    Effect effect = Effect::None;

    friend bool operator==(const KeyOutcome&, const KeyOutcome&) = default;
};

// Runs the model operation a key stands for in the notes window. `typing` is true while an
// editable text control (the filter field or the in-place editor) has the keyboard. While the when
// field is open every key is left to it. Before calling, the window takes the keyboard from a
// read-only text view that holds it when nothing is typed or edited.
KeyOutcome handleManageKey(ManageModel& model, const KeyPress& press, bool typing);

} // namespace plim
