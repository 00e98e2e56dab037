#include "ui/settings/RecorderModel.h"

using namespace Qt::Literals::StringLiterals;

namespace plim::RecorderModel {

namespace {

bool isModifierKey(Qt::Key key) {
    switch (key) {
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_unknown:
        return true;
    default:
        return false;
    }
}

// The modifiers a shortcut is made of; the keypad flag and the like say nothing of it.
Qt::KeyboardModifiers held(Qt::KeyboardModifiers modifiers) {
    return modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier);
}

} // namespace

const QList<WindowKey>& windowKeys() {
    static const QList<WindowKey> keys{
        {Qt::CTRL | Qt::Key_Comma, u"Settings\u2026"_s},
        {Qt::CTRL | Qt::Key_Q, u"Quit plim"_s},
        {Qt::CTRL | Qt::Key_W, u"Close"_s},
        {Qt::CTRL | Qt::Key_M, u"Minimize"_s},
        {Qt::CTRL | Qt::Key_H, u"Hide plim"_s},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Slash, u"Keys & Tips"_s},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Question, u"Keys & Tips"_s},
        {Qt::CTRL | Qt::Key_Z, u"Undo"_s},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Z, u"Redo"_s},
        {Qt::CTRL | Qt::Key_X, u"Cut"_s},
        {Qt::CTRL | Qt::Key_C, u"Copy"_s},
        {Qt::CTRL | Qt::Key_V, u"Paste"_s},
        {Qt::CTRL | Qt::Key_A, u"Select All"_s},
    };
    return keys;
}

Judgement judge(QKeyCombination pressed, const Checks& checks) {
    const Qt::Key key = pressed.key();
    const Qt::KeyboardModifiers modifiers = held(pressed.keyboardModifiers());
    if (isModifierKey(key)) {
        return {Verdict::Wait, {}};
    }
    if (modifiers == Qt::NoModifier && key == Qt::Key_Escape) {
        return {Verdict::Cancel, {}};
    }
    if (modifiers == Qt::NoModifier && (key == Qt::Key_Backspace || key == Qt::Key_Delete)) {
        return {Verdict::Clear, {}};
    }
    const QKeyCombination combination(modifiers, key);
    const QString keys = checks.describe(combination);
    if (!(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) || !checks.known(key)) {
        return {Verdict::Disallowed, disallowedText(keys)};
    }
    for (const WindowKey& own : windowKeys()) {
        if (own.keys == combination) {
            return {Verdict::UsedByWindow, usedByWindowText(keys, own.title)};
        }
    }
    if (checks.heldElsewhere(combination)) {
        return {Verdict::UsedByDesktop, usedByDesktopText(keys)};
    }
    return {Verdict::Accept, {}};
}

QString placeholder() {
    return u"Record Shortcut"_s;
}

QString recordingPlaceholder() {
    return u"Press Shortcut"_s;
}

QString disallowedText(const QString& keys) {
    return u"%1 cannot be a shortcut: it needs Ctrl, Alt or Super and a key."_s.arg(keys);
}

QString usedByWindowText(const QString& keys, const QString& title) {
    return u"%1 is the notes window's \u201c%2\u201d. Choose another shortcut."_s.arg(keys, title);
}

QString usedByDesktopText(const QString& keys) {
    return u"%1 is used by the desktop or another program. Choose another shortcut."_s.arg(keys);
}

} // namespace plim::RecorderModel
