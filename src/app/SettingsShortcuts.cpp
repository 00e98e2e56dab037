#include "app/SettingsShortcuts.h"

#include "app/GlobalShortcuts.h"
#include "app/KeyboardShortcuts.h"

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
    connect(&shortcuts_, &KeyboardShortcuts::shortcutByNameDidChange, this, &ShortcutAccess::changed);
    connect(&global_, &GlobalShortcuts::unavailableChanged, this, &ShortcutAccess::changed);
}

bool SettingsShortcuts::holdsKeys() const {
    return global_.hasHotKeys();
}

std::optional<QString> SettingsShortcuts::text(const QString& name) const {
    const auto found = nameOf(name);
    if (!found) {
        return std::nullopt;
    }
    const auto shortcut = shortcuts_.getShortcut(*found);
    return shortcut ? std::optional<QString>(shortcut->presentableDescription()) : std::nullopt;
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
