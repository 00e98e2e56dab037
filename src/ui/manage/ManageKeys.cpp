#include "ui/manage/ManageKeys.h"

#include "store/NotesStore.h"
#include "ui/manage/ManageModel.h"

#include <QtCore/qnamespace.h>

#include <optional>

namespace plim {

namespace {

using Mode = ManageModel::Mode;

constexpr KeyOutcome handled{true, KeyOutcome::Effect::None};
constexpr KeyOutcome passed{false, KeyOutcome::Effect::None};

// The character a key types: its text when that is printable, else what its key code names
// (with Ctrl held some desktops deliver a control character as the text).
QString character(const KeyPress& p) {
    if (!p.text.isEmpty() && p.text.at(0).isPrint()) {
        return p.text;
    }
    if (p.key >= Qt::Key_A && p.key <= Qt::Key_Z) {
        const QChar letter(u'a' + (p.key - Qt::Key_A));
        return p.shift ? QString(letter.toUpper()) : QString(letter);
    }
    if (p.key >= Qt::Key_0 && p.key <= Qt::Key_9) {
        return QString(QChar(u'0' + (p.key - Qt::Key_0)));
    }
    if (p.key == Qt::Key_Question) {
        return QStringLiteral("?");
    }
    return {};
}

bool isQuestion(const KeyPress& p) {
    return character(p) == u"?" || (p.key == Qt::Key_Slash && p.shift);
}

// 1...9 for a digit key, none for anything else (0 included).
std::optional<int> digit(const KeyPress& p) {
    const QString c = character(p);
    if (c.size() == 1 && c.at(0) >= u'1' && c.at(0) <= u'9') {
        return c.at(0).unicode() - u'0';
    }
    return std::nullopt;
}

bool isReturn(const KeyPress& p) {
    return p.key == Qt::Key_Return || p.key == Qt::Key_Enter;
}

bool isDelete(const KeyPress& p) {
    return p.key == Qt::Key_Backspace || p.key == Qt::Key_Delete;
}

// Shortcuts with Ctrl; none when the key goes on to the next step.
std::optional<KeyOutcome> commandKey(ManageModel& m, const KeyPress& p, bool typing) {
    if (isQuestion(p)) {
        if (m.mode() == Mode::Keys) {
            m.leaveKeys();
        } else {
            m.showKeys();
        }
        return m.mode() == Mode::Keys ? KeyOutcome{true, KeyOutcome::Effect::ClearFocus} : handled;
    }
    const QString c = character(p).toLower();
    if (c == u"f") {
        m.leaveKeys();
        m.requestFilterFocus();
        return handled;
    }
    if (c == u"e") {
        m.setShowCompleted(!m.showCompleted());
        return handled;
    }
    if (c == u"s") {
        if (m.mode() == Mode::Sweep) {
            m.endSweep();
        } else {
            m.startSweep();
        }
        return handled;
    }
    if (c == u"t") {
        if (m.mode() == Mode::Trash) {
            m.backToNotes();
        } else {
            m.showTrash();
        }
        return handled;
    }
    if (c == u"l") {
        if (m.mode() == Mode::Later) {
            m.backToNotes();
        } else {
            m.showLater();
        }
        return handled;
    }
    if (c == u"c" && !typing && m.mode() != Mode::Sweep && m.mode() != Mode::Keys) {
        m.copySelection();
        return handled;
    }
    if (c == u"z" && !typing && m.mode() != Mode::Keys) {
        if (p.shift) {
            m.store().redo();
        } else {
            m.store().undo();
        }
        return handled;
    }
    return std::nullopt;
}

KeyOutcome listKey(ManageModel& m, const KeyPress& p) {
    if (!p.command) {
        if (const auto d = digit(p)) {
            m.remind(*d - 1);
            return handled;
        }
        if (isQuestion(p)) {
            m.showKeys();
            return handled;
        }
        const QString c = character(p);
        if (c == u"a") {
            m.toggleActive();
            return handled;
        }
        if (c == u"r") {
            m.openWhenField(QString());
            return handled;
        }
        if (c == u"d") {
            m.dismissSelection();
            return handled;
        }
    }
    if (isDelete(p)) {
        m.deleteSelection();
    } else if (p.key == Qt::Key_Escape) {
        m.escape();
    } else if (p.key == Qt::Key_Space) {
        m.toggleDone();
    } else if (isReturn(p)) {
        m.activateSelection(p.command);
    } else if (p.key == Qt::Key_Right) {
        if (m.mode() == Mode::Trash) {
            m.activateSelection(false);
        } else {
            m.carry();
        }
    } else if (p.key == Qt::Key_Down) {
        m.moveSelection(1);
    } else if (p.key == Qt::Key_Up) {
        m.moveSelection(-1);
    } else {
        return passed;
    }
    return handled;
}

KeyOutcome sweepKey(ManageModel& m, const KeyPress& p) {
    if (!p.command) {
        if (const auto d = digit(p)) {
            m.sweepRemind(*d - 1);
            return handled;
        }
        if (isQuestion(p)) {
            m.showKeys();
            return handled;
        }
        if (character(p) == u"a") {
            m.sweepActivate();
            return handled;
        }
    }
    if (p.key == Qt::Key_Space) {
        m.sweepDone();
    } else if (p.key == Qt::Key_Right) {
        m.sweepCarry();
    } else if (p.key == Qt::Key_Down) {
        m.sweepSkip();
    } else if (p.key == Qt::Key_Up) {
        m.sweepBack();
    } else if (isDelete(p)) {
        m.sweepDrop();
    } else if (isReturn(p)) {
        if (m.sweepCurrent()) {
            m.sweepOpenLink();
        } else {
            m.endSweep();
        }
    } else if (p.key == Qt::Key_Escape) {
        m.endSweep();
    } else {
        return passed;
    }
    return handled;
}

KeyOutcome keysGuideKey(ManageModel& m, const KeyPress& p) {
    if ((!p.command && isQuestion(p)) || p.key == Qt::Key_Escape) {
        m.leaveKeys();
    } else if (p.key == Qt::Key_Down) {
        m.scrollKeys(1);
    } else if (p.key == Qt::Key_Up) {
        m.scrollKeys(-1);
    } else {
        return passed;
    }
    return handled;
}

} // namespace

KeyOutcome handleManageKey(ManageModel& m, const KeyPress& p, bool typing) {
    if (m.whenFieldID()) {
        return passed;
    }
    if (p.command) {
        if (const auto outcome = commandKey(m, p, typing)) {
            return *outcome;
        }
    }
    const bool editing = m.editingID().has_value();
    if (typing && !editing) {
        // The filter field.
        if (p.key == Qt::Key_Escape) {
            m.escape();
            m.requestListFocus();
            return handled;
        }
        if (p.key == Qt::Key_Down) {
            m.requestListFocus();
            return handled;
        }
        return passed;
    }
    if (typing) {
        // The in-place editor saves on Return and cancels on Escape by itself.
        if (isReturn(p) && p.shift && !p.command) {
            return {true, KeyOutcome::Effect::InsertLineBreak};
        }
        return passed;
    }
    if (editing) {
        if (isReturn(p)) {
            m.commitEditing();
        } else if (p.key == Qt::Key_Escape) {
            m.cancelEditing();
        } else {
            m.requestEditFocus();
        }
        return handled;
    }
    switch (m.mode()) {
    case Mode::Log:
    case Mode::Trash:
    case Mode::Later:
        return listKey(m, p);
    case Mode::Sweep:
        return sweepKey(m, p);
    case Mode::Keys:
        return keysGuideKey(m, p);
    }
    return passed;
}

} // namespace plim
