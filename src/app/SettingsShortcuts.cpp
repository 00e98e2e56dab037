#include "app/SettingsShortcuts.h"

#include "app/GlobalShortcuts.h"
#include "app/KeyboardShortcuts.h"
#include "app/TrayModel.h"

#include <QKeySequence>

namespace plim {

namespace {

std::optional<KeyboardShortcuts::Name> nameOf(const QString& raw) {
    for (const KeyboardShortcuts::Name& name : KeyboardShortcuts::Name::all()) {
        if (name.rawValue == raw) {
            return name;
        }
    }
    return std::nullopt;
}

} // namespace

SettingsShortcuts::SettingsShortcuts(KeyboardShortcuts& shortcuts, GlobalShortcuts& global, QObject* parent)
    : ShortcutAccess(parent)
    , shortcuts_(shortcuts)
    , global_(global) {
    connect(&global_, &GlobalShortcuts::reachChanged, this, &ShortcutAccess::changed);
}

bool SettingsShortcuts::holdsKeys() const {
    return global_.hasHotKeys();
}

std::optional<QString> SettingsShortcuts::text(const QString& name) const {
    const auto found = nameOf(name);
    if (!found) {
        return std::nullopt;
    }
    // The keys that work, as the desktop names them; else what is stored, beside its problem.
    if (const auto keys = global_.keys(*found)) {
        return keys;
    }
    const auto shortcut = shortcuts_.getShortcut(*found);
    return shortcut ? std::optional<QString>(shortcut->presentableDescription()) : std::nullopt;
}

std::optional<QString> SettingsShortcuts::problem(const QString& name) const {
    const auto found = nameOf(name);
    const auto shortcut = found ? shortcuts_.getShortcut(*found) : std::nullopt;
    const auto why = found ? global_.refusal(*found) : std::nullopt;
    if (!shortcut || !why) {
        return std::nullopt;
    }
    // The tray's words, and what to do.
    return TrayModel::unavailableText({shortcut->presentableDescription(), why->status, why->turnedDown}) +
           QStringLiteral(": it does nothing here. Record another.");
}

void SettingsShortcuts::set(const QString& name, std::optional<QKeyCombination> combination) {
    const auto found = nameOf(name);
    if (!found) {
        return;
    }
    if (!combination) {
        shortcuts_.setShortcut(std::nullopt, *found);
        return;
    }
    if (const auto shortcut = KeyboardShortcuts::Shortcut::make(combination->key(), combination->keyboardModifiers())) {
        shortcuts_.setShortcut(shortcut, *found);
    }
}

void SettingsShortcuts::setRecording(bool recording) {
    global_.setRecording(recording);
}

RecorderModel::Checks SettingsShortcuts::checks() {
    RecorderModel::Checks c;
    c.known = [](Qt::Key key) { return KeyboardShortcuts::carbonKeyCode(key).has_value(); };
    c.heldElsewhere = [this](QKeyCombination combination) { return global_.probe(combination).has_value(); };
    c.describe = [](QKeyCombination combination) {
        const auto shortcut = KeyboardShortcuts::Shortcut::make(combination.key(), combination.keyboardModifiers());
        return shortcut ? shortcut->presentableDescription()
                        : QKeySequence(combination).toString(QKeySequence::NativeText);
    };
    return c;
}

} // namespace plim
