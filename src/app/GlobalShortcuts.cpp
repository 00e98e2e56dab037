#include "app/GlobalShortcuts.h"

#include "app/ResidentLog.h"

#include <algorithm>
#include <cstdio>

namespace plim {

using Shortcut = KeyboardShortcuts::Shortcut;

namespace {

constexpr int kModifierBits = KeyboardShortcuts::controlBit | KeyboardShortcuts::altBit | KeyboardShortcuts::shiftBit |
                              KeyboardShortcuts::superBit;

std::optional<QKeyCombination> combinationOf(const std::pair<int, int>& combo) {
    const auto key = KeyboardShortcuts::qtKey(combo.first);
    if (!key) {
        return std::nullopt;
    }
    return QKeyCombination(KeyboardShortcuts::qtModifiers(combo.second), *key);
}

// For desktops that list the shortcuts programs hold.
QString purpose(const QString& name) {
    if (name == KeyboardShortcuts::Name::capture().rawValue) {
        return QStringLiteral("Open or close the capture drawer");
    }
    if (name == KeyboardShortcuts::Name::manage().rawValue) {
        return QStringLiteral("Open or close the notes window");
    }
    if (name == KeyboardShortcuts::Name::captureClipboard().rawValue) {
        return QStringLiteral("Save the clipboard as a note");
    }
    return name;
}

} // namespace

GlobalShortcuts::GlobalShortcuts(KeyboardShortcuts& shortcuts, std::unique_ptr<GlobalHotKeys> hotKeys, QObject* parent)
    : QObject(parent)
    , shortcuts_(shortcuts)
    , hotKeys_(std::move(hotKeys)) {
    connect(&shortcuts_, &KeyboardShortcuts::shortcutByNameDidChange, this, &GlobalShortcuts::onShortcutChanged);
    connect(this, &GlobalShortcuts::unavailableChanged, this, &GlobalShortcuts::reachChanged);
    if (hotKeys_) {
        connect(hotKeys_.get(), &GlobalHotKeys::pressed, this, &GlobalShortcuts::onPressed);
        connect(hotKeys_.get(), &GlobalHotKeys::lost, this, &GlobalShortcuts::onLost);
        connect(hotKeys_.get(), &GlobalHotKeys::availabilityChanged, this, &GlobalShortcuts::unavailableChanged);
        connect(hotKeys_.get(), &GlobalHotKeys::keysChanged, this, &GlobalShortcuts::reachChanged);
    }
}

GlobalShortcuts::~GlobalShortcuts() = default;

std::optional<GlobalShortcuts::Combo> GlobalShortcuts::comboOf(const KeyboardShortcuts::Name& name) const {
    const auto shortcut = shortcuts_.getShortcut(name);
    if (!shortcut) {
        return std::nullopt;
    }
    return Combo{shortcut->carbonKeyCode, shortcut->carbonModifiers & kModifierBits};
}

void GlobalShortcuts::onKeyDown(const KeyboardShortcuts::Name& name, Handler handler) {
    const auto found = std::find_if(handled_.begin(), handled_.end(),
                                    [&](const Handled& h) { return h.name.rawValue == name.rawValue; });
    if (found != handled_.end()) {
        found->handlers.push_back(std::move(handler));
        return;
    }
    shortcuts_.declare(name);
    handled_.push_back({name, {std::move(handler)}});
    sync();
}

QList<KeyboardShortcuts::Name> GlobalShortcuts::unavailable() const {
    QList<KeyboardShortcuts::Name> names;
    for (const Handled& h : handled_) {
        const auto combo = comboOf(h.name);
        if (combo && refused_.count(*combo) != 0) {
            names.append(h.name);
        }
    }
    return names;
}

std::optional<GlobalHotKeys::Refusal> GlobalShortcuts::refusal(const KeyboardShortcuts::Name& name) const {
    const auto combo = comboOf(name);
    const auto found = combo ? refused_.find(*combo) : refused_.end();
    if (found == refused_.end() || !unavailable().contains(name)) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<QString> GlobalShortcuts::keys(const KeyboardShortcuts::Name& name) const {
    const bool handled = std::any_of(handled_.begin(), handled_.end(),
                                     [&](const Handled& h) { return h.name.rawValue == name.rawValue; });
    const auto shortcut = shortcuts_.getShortcut(name);
    const auto combo = comboOf(name);
    const auto combination = combo ? combinationOf(*combo) : std::nullopt;
    if (!handled || !combination || !hasHotKeys() || unavailable().contains(name)) {
        return std::nullopt;
    }
    return hotKeys_->keysOf(*combination).value_or(shortcut->presentableDescription());
}

KeysGuide::Shortcuts GlobalShortcuts::reachable() const {
    return {keys(KeyboardShortcuts::Name::capture()), keys(KeyboardShortcuts::Name::manage()),
            keys(KeyboardShortcuts::Name::captureClipboard())};
}

void GlobalShortcuts::setRecording(bool recording) {
    if (recording_ == recording) {
        return;
    }
    recording_ = recording;
    sync();
}

std::optional<GlobalHotKeys::Refusal> GlobalShortcuts::probe(QKeyCombination combination) {
    if (!hotKeys_) {
        return std::nullopt;
    }
    for (const Combo& held : held_) {
        // Ours already: the desktop let us have it.
        if (combinationOf(held) == combination) {
            return std::nullopt;
        }
    }
    if (auto refusal = hotKeys_->grab(combination)) {
        return refusal;
    }
    hotKeys_->release(combination);
    return std::nullopt;
}

void GlobalShortcuts::onShortcutChanged(const QString& name) {
    // Setting a name to a combination that was refused is a new attempt.
    for (const Handled& h : handled_) {
        if (h.name.rawValue == name) {
            if (const auto combo = comboOf(h.name)) {
                refused_.erase(*combo);
            }
        }
    }
    sync();
    Q_EMIT reachChanged();
}

void GlobalShortcuts::sync() {
    if (!hotKeys_) {
        return;
    }
    std::set<Combo> wanted;
    if (!recording_) {
        for (const Handled& h : handled_) {
            if (const auto combo = comboOf(h.name)) {
                wanted.insert(*combo);
            }
        }
        std::erase_if(refused_, [&](const auto& entry) { return wanted.count(entry.first) == 0; });
    }
    for (auto it = held_.begin(); it != held_.end();) {
        if (wanted.count(*it) == 0) {
            hotKeys_->release(*combinationOf(*it));
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
    for (const Combo& combo : wanted) {
        if (refused_.count(combo) != 0) {
            continue;
        }
        const auto combination = combinationOf(combo);
        // Before the grab, and again when the names sharing it change.
        if (combination) {
            hotKeys_->describe(*combination, idOf(combo), describe(combo));
        }
        if (held_.count(combo) != 0) {
            continue;
        }
        const auto refusal = combination ? hotKeys_->grab(*combination)
                                         : std::optional<GlobalHotKeys::Refusal>(GlobalHotKeys::Refusal{});
        if (refusal) {
            refuse(combo, *refusal);
        } else {
            held_.insert(combo);
        }
    }
    announceIfChanged();
}

QString GlobalShortcuts::describe(const Combo& combo) const {
    QStringList parts;
    for (const Handled& h : handled_) {
        if (comboOf(h.name) == combo) {
            parts.append(purpose(h.name.rawValue));
        }
    }
    return parts.join(QStringLiteral("; "));
}

QString GlobalShortcuts::idOf(const Combo& combo) const {
    for (const Handled& h : handled_) {
        if (comboOf(h.name) == combo) {
            return h.name.rawValue;
        }
    }
    return {};
}

void GlobalShortcuts::refuse(const Combo& combo, GlobalHotKeys::Refusal why) {
    refused_[combo] = why;
    residentSay(stdout, QStringLiteral("Error registering hotkey %1: %2")
                            .arg(Shortcut{combo.first, combo.second}.presentableDescription())
                            .arg(why.status));
}

void GlobalShortcuts::announceIfChanged() {
    const QList<KeyboardShortcuts::Name> now = unavailable();
    if (now != lastUnavailable_) {
        lastUnavailable_ = now;
        Q_EMIT unavailableChanged();
    }
}

void GlobalShortcuts::onPressed(QKeyCombination combination) {
    if (recording_) {
        return;
    }
    const auto pressed = Shortcut::make(combination.key(), combination.keyboardModifiers());
    if (!pressed) {
        return;
    }
    const Combo combo{pressed->carbonKeyCode, pressed->carbonModifiers};
    // Collected first: a handler may attach handlers or change shortcuts.
    std::vector<Handler> run;
    for (const Handled& h : handled_) {
        if (comboOf(h.name) == combo) {
            run.insert(run.end(), h.handlers.begin(), h.handlers.end());
        }
    }
    for (const Handler& handler : run) {
        handler();
    }
}

void GlobalShortcuts::onLost(QKeyCombination combination, GlobalHotKeys::Refusal why) {
    const auto shortcut = Shortcut::make(combination.key(), combination.keyboardModifiers());
    if (!shortcut) {
        return;
    }
    const Combo combo{shortcut->carbonKeyCode, shortcut->carbonModifiers};
    held_.erase(combo);
    refuse(combo, why);
    announceIfChanged();
}

} // namespace plim
