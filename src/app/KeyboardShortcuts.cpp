#include "app/KeyboardShortcuts.h"

#include "store/Preferences.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace plim {

using namespace Qt::Literals::StringLiterals;

namespace {

struct KeyEntry {
    int code;
    Qt::Key key;
    const char16_t* name;
};

// The classic ANSI virtual key codes and the keys they stand for. Keypad digits and operators
// are left out: they share their Qt key with the main keys.
constexpr KeyEntry kKeys[] = {
    {0, Qt::Key_A, u"A"},
    {1, Qt::Key_S, u"S"},
    {2, Qt::Key_D, u"D"},
    {3, Qt::Key_F, u"F"},
    {4, Qt::Key_H, u"H"},
    {5, Qt::Key_G, u"G"},
    {6, Qt::Key_Z, u"Z"},
    {7, Qt::Key_X, u"X"},
    {8, Qt::Key_C, u"C"},
    {9, Qt::Key_V, u"V"},
    {11, Qt::Key_B, u"B"},
    {12, Qt::Key_Q, u"Q"},
    {13, Qt::Key_W, u"W"},
    {14, Qt::Key_E, u"E"},
    {15, Qt::Key_R, u"R"},
    {16, Qt::Key_Y, u"Y"},
    {17, Qt::Key_T, u"T"},
    {18, Qt::Key_1, u"1"},
    {19, Qt::Key_2, u"2"},
    {20, Qt::Key_3, u"3"},
    {21, Qt::Key_4, u"4"},
    {22, Qt::Key_6, u"6"},
    {23, Qt::Key_5, u"5"},
    {24, Qt::Key_Equal, u"="},
    {25, Qt::Key_9, u"9"},
    {26, Qt::Key_7, u"7"},
    {27, Qt::Key_Minus, u"-"},
    {28, Qt::Key_8, u"8"},
    {29, Qt::Key_0, u"0"},
    {30, Qt::Key_BracketRight, u"]"},
    {31, Qt::Key_O, u"O"},
    {32, Qt::Key_U, u"U"},
    {33, Qt::Key_BracketLeft, u"["},
    {34, Qt::Key_I, u"I"},
    {35, Qt::Key_P, u"P"},
    {36, Qt::Key_Return, u"Return"},
    {37, Qt::Key_L, u"L"},
    {38, Qt::Key_J, u"J"},
    {39, Qt::Key_Apostrophe, u"'"},
    {40, Qt::Key_K, u"K"},
    {41, Qt::Key_Semicolon, u";"},
    {42, Qt::Key_Backslash, u"\\"},
    {43, Qt::Key_Comma, u","},
    {44, Qt::Key_Slash, u"/"},
    {45, Qt::Key_N, u"N"},
    {46, Qt::Key_M, u"M"},
    {47, Qt::Key_Period, u"."},
    {48, Qt::Key_Tab, u"Tab"},
    {49, Qt::Key_Space, u"Space"},
    {50, Qt::Key_QuoteLeft, u"`"},
    {51, Qt::Key_Backspace, u"Backspace"},
    {53, Qt::Key_Escape, u"Esc"},
    {64, Qt::Key_F17, u"F17"},
    {72, Qt::Key_VolumeUp, u"Volume Up"},
    {73, Qt::Key_VolumeDown, u"Volume Down"},
    {74, Qt::Key_VolumeMute, u"Volume Mute"},
    {76, Qt::Key_Enter, u"Enter"},
    {79, Qt::Key_F18, u"F18"},
    {80, Qt::Key_F19, u"F19"},
    {90, Qt::Key_F20, u"F20"},
    {96, Qt::Key_F5, u"F5"},
    {97, Qt::Key_F6, u"F6"},
    {98, Qt::Key_F7, u"F7"},
    {99, Qt::Key_F3, u"F3"},
    {100, Qt::Key_F8, u"F8"},
    {101, Qt::Key_F9, u"F9"},
    {103, Qt::Key_F11, u"F11"},
    {105, Qt::Key_F13, u"F13"},
    {106, Qt::Key_F16, u"F16"},
    {107, Qt::Key_F14, u"F14"},
    {109, Qt::Key_F10, u"F10"},
    {111, Qt::Key_F12, u"F12"},
    {113, Qt::Key_F15, u"F15"},
    {114, Qt::Key_Help, u"Help"},
    {115, Qt::Key_Home, u"Home"},
    {116, Qt::Key_PageUp, u"PgUp"},
    {117, Qt::Key_Delete, u"Del"},
    {118, Qt::Key_F4, u"F4"},
    {119, Qt::Key_End, u"End"},
    {120, Qt::Key_F2, u"F2"},
    {121, Qt::Key_PageDown, u"PgDown"},
    {122, Qt::Key_F1, u"F1"},
    {123, Qt::Key_Left, u"Left"},
    {124, Qt::Key_Right, u"Right"},
    {125, Qt::Key_Down, u"Down"},
    {126, Qt::Key_Up, u"Up"},
};

// What a key event reports for a shifted key, and the key that was pressed.
constexpr std::pair<Qt::Key, Qt::Key> kShifted[] = {
    {Qt::Key_Exclam, Qt::Key_1},
    {Qt::Key_At, Qt::Key_2},
    {Qt::Key_NumberSign, Qt::Key_3},
    {Qt::Key_Dollar, Qt::Key_4},
    {Qt::Key_Percent, Qt::Key_5},
    {Qt::Key_AsciiCircum, Qt::Key_6},
    {Qt::Key_Ampersand, Qt::Key_7},
    {Qt::Key_Asterisk, Qt::Key_8},
    {Qt::Key_ParenLeft, Qt::Key_9},
    {Qt::Key_ParenRight, Qt::Key_0},
    {Qt::Key_Underscore, Qt::Key_Minus},
    {Qt::Key_Plus, Qt::Key_Equal},
    {Qt::Key_BraceLeft, Qt::Key_BracketLeft},
    {Qt::Key_BraceRight, Qt::Key_BracketRight},
    {Qt::Key_Bar, Qt::Key_Backslash},
    {Qt::Key_Colon, Qt::Key_Semicolon},
    {Qt::Key_QuoteDbl, Qt::Key_Apostrophe},
    {Qt::Key_Less, Qt::Key_Comma},
    {Qt::Key_Greater, Qt::Key_Period},
    {Qt::Key_Question, Qt::Key_Slash},
    {Qt::Key_AsciiTilde, Qt::Key_QuoteLeft},
    {Qt::Key_Backtab, Qt::Key_Tab},
};

const KeyEntry* entryFor(int code) {
    const auto found =
        std::find_if(std::begin(kKeys), std::end(kKeys), [&](const KeyEntry& e) { return e.code == code; });
    return found == std::end(kKeys) ? nullptr : found;
}

// A whole number of the stored JSON within 0...max.
std::optional<int> wholeNumber(const QJsonValue& value, double max) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (std::trunc(number) != number || number < 0 || number > max) {
        return std::nullopt;
    }
    return int(number);
}

} // namespace

// --- The table ---

std::optional<Qt::Key> KeyboardShortcuts::qtKey(int carbonKeyCode) {
    const KeyEntry* entry = entryFor(carbonKeyCode);
    return entry ? std::optional<Qt::Key>(entry->key) : std::nullopt;
}

std::optional<int> KeyboardShortcuts::carbonKeyCode(Qt::Key key) {
    const auto shifted =
        std::find_if(std::begin(kShifted), std::end(kShifted), [&](const auto& pair) { return pair.first == key; });
    if (shifted != std::end(kShifted)) {
        key = shifted->second;
    }
    // Letters arrive as upper-case keys whatever the Shift state.
    const auto found =
        std::find_if(std::begin(kKeys), std::end(kKeys), [&](const KeyEntry& e) { return e.key == key; });
    return found == std::end(kKeys) ? std::nullopt : std::optional<int>(found->code);
}

std::optional<QString> KeyboardShortcuts::keyName(int carbonKeyCode) {
    const KeyEntry* entry = entryFor(carbonKeyCode);
    return entry ? std::optional<QString>(QString::fromUtf16(entry->name)) : std::nullopt;
}

int KeyboardShortcuts::carbonModifiers(Qt::KeyboardModifiers modifiers) {
    int mask = 0;
    if (modifiers & Qt::ControlModifier) {
        mask |= controlBit;
    }
    if (modifiers & Qt::AltModifier) {
        mask |= altBit;
    }
    if (modifiers & Qt::ShiftModifier) {
        mask |= shiftBit;
    }
    if (modifiers & Qt::MetaModifier) {
        mask |= superBit;
    }
    return mask;
}

Qt::KeyboardModifiers KeyboardShortcuts::qtModifiers(int carbonModifiers) {
    Qt::KeyboardModifiers modifiers;
    if (carbonModifiers & controlBit) {
        modifiers |= Qt::ControlModifier;
    }
    if (carbonModifiers & altBit) {
        modifiers |= Qt::AltModifier;
    }
    if (carbonModifiers & shiftBit) {
        modifiers |= Qt::ShiftModifier;
    }
    if (carbonModifiers & superBit) {
        modifiers |= Qt::MetaModifier;
    }
    return modifiers;
}

// --- Shortcut ---

std::optional<KeyboardShortcuts::Shortcut> KeyboardShortcuts::Shortcut::make(Qt::Key key,
                                                                             Qt::KeyboardModifiers modifiers) {
    const auto code = KeyboardShortcuts::carbonKeyCode(key);
    if (!code) {
        return std::nullopt;
    }
    return Shortcut{*code, KeyboardShortcuts::carbonModifiers(modifiers)};
}

std::optional<Qt::Key> KeyboardShortcuts::Shortcut::key() const {
    return qtKey(carbonKeyCode);
}

Qt::KeyboardModifiers KeyboardShortcuts::Shortcut::modifiers() const {
    return qtModifiers(carbonModifiers);
}

QString KeyboardShortcuts::Shortcut::presentableDescription() const {
    QStringList parts;
    if (carbonModifiers & controlBit) {
        parts.append(u"Ctrl"_s);
    }
    if (carbonModifiers & altBit) {
        parts.append(u"Alt"_s);
    }
    if (carbonModifiers & shiftBit) {
        parts.append(u"Shift"_s);
    }
    if (carbonModifiers & superBit) {
        parts.append(u"Super"_s);
    }
    // A code outside the table still shows something the user can recognise as a key.
    parts.append(keyName(carbonKeyCode).value_or(u"Key "_s + QString::number(carbonKeyCode)));
    return parts.join(u'+');
}

QString KeyboardShortcuts::Shortcut::json() const {
    const QJsonObject object{{u"carbonKeyCode"_s, carbonKeyCode}, {u"carbonModifiers"_s, carbonModifiers}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

std::optional<KeyboardShortcuts::Shortcut> KeyboardShortcuts::Shortcut::fromJson(QStringView text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const auto code = wholeNumber(object.value(u"carbonKeyCode"_s), 0xFFFF);
    const auto modifiers = wholeNumber(object.value(u"carbonModifiers"_s), 0xFFFFFF);
    if (!code || !modifiers) {
        return std::nullopt;
    }
    return Shortcut{*code, *modifiers};
}

// --- Names ---

QString KeyboardShortcuts::Name::storageKey() const {
    return u"KeyboardShortcuts_"_s + rawValue;
}

KeyboardShortcuts::Name KeyboardShortcuts::Name::capture() {
    return Name{u"capture"_s, Shortcut{49, controlBit | altBit}};
}

KeyboardShortcuts::Name KeyboardShortcuts::Name::manage() {
    return Name{u"manage"_s, Shortcut{49, controlBit | altBit | shiftBit}};
}

KeyboardShortcuts::Name KeyboardShortcuts::Name::captureClipboard() {
    return Name{u"captureClipboard"_s, Shortcut{9, controlBit | altBit | shiftBit}};
}

QList<KeyboardShortcuts::Name> KeyboardShortcuts::Name::all() {
    return {capture(), manage(), captureClipboard()};
}

// --- Storage ---

KeyboardShortcuts::KeyboardShortcuts(Preferences& preferences, QObject* parent)
    : QObject(parent)
    , preferences_(preferences) {
    for (const Name& name : Name::all()) {
        declare(name);
    }
}

void KeyboardShortcuts::declare(const Name& name) {
    if (name.defaultShortcut && !preferences_.contains(name.storageKey())) {
        preferences_.setValue(name.storageKey(), name.defaultShortcut->json(), Preferences::Announce::No);
    }
}

std::optional<KeyboardShortcuts::Shortcut> KeyboardShortcuts::getShortcut(const Name& name) const {
    const QVariant stored = preferences_.value(name.storageKey());
    if (stored.metaType().id() != QMetaType::QString) {
        return std::nullopt;
    }
    return Shortcut::fromJson(stored.toString());
}

void KeyboardShortcuts::setShortcut(const std::optional<Shortcut>& shortcut, const Name& name) {
    if (shortcut) {
        preferences_.setValue(name.storageKey(), shortcut->json(), Preferences::Announce::No);
    } else if (getShortcut(name)) {
        if (name.defaultShortcut) {
            preferences_.setValue(name.storageKey(), false, Preferences::Announce::No);
        } else {
            preferences_.remove(name.storageKey(), Preferences::Announce::No);
        }
    } else {
        return;
    }
    Q_EMIT shortcutByNameDidChange(name.rawValue);
}

} // namespace plim
