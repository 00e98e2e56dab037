#pragma once

#include "app/KeyboardShortcuts.h"
#include "platform/GlobalHotKeys.h"
#include "ui/manage/KeysGuide.h"

#include <QList>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace plim {

// The named shortcuts as keys held for the whole desktop. Each combination stored for a name with
// a handler is held once, however many names share it; a press runs the handlers of every name
// whose stored shortcut is the pressed combination at that moment. Changed shortcuts are held
// at once. A combination the desktop refuses prints one line on standard output, and its names
// are listed as unavailable; the others keep working.
class GlobalShortcuts final : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void()>;

    // `hotKeys` may be null where the desktop lets no program hold keys: handlers are then kept
    // and never run.
    GlobalShortcuts(KeyboardShortcuts& shortcuts, std::unique_ptr<GlobalHotKeys> hotKeys, QObject* parent = nullptr);
    ~GlobalShortcuts() override;

    // Runs `handler` on the main thread each time the name's combination is pressed, whatever
    // window is in front, and holds that combination from now on.
    void onKeyDown(const KeyboardShortcuts::Name& name, Handler handler);

    // Whether this desktop lets the program hold keys at all. Where the desktop is asked at start
    // (the portal), true until it has said no; `unavailableChanged` tells when that changes.
    bool hasHotKeys() const { return hotKeys_ != nullptr && hotKeys_->isAvailable(); }
    // Names with handlers whose combination could not be held, in the order their first handler
    // was attached.
    QList<KeyboardShortcuts::Name> unavailable() const;
    // Why the name's combination could not be held; none when it is held or has no handler.
    std::optional<GlobalHotKeys::Refusal> refusal(const KeyboardShortcuts::Name& name) const;
    // The keys that run the name's handlers now, as every text names them: the desktop's own words
    // where it chose the keys (the portal), else the stored shortcut ("Ctrl+Alt+Space"); none when
    // nothing runs them (no shortcut, one refused, or a desktop that lets no program hold keys).
    std::optional<QString> keys(const KeyboardShortcuts::Name& name) const;
    // The same for the three names, as the keys guide and the notes window take them.
    KeysGuide::Shortcuts reachable() const;

    // From a handler: the keys typed since the press wait until the hold goes (see GlobalHotKeys).
    std::unique_ptr<KeyboardHold> holdKeyboard() { return hotKeys_ ? hotKeys_->holdKeyboard() : nullptr; }

    // While a shortcut is being recorded no press is dispatched and nothing is held, so the
    // recorder receives every combination, its own included.
    void setRecording(bool recording);
    bool isRecording() const { return recording_; }
    // Whether the desktop would let the program hold the combination: held for a moment and let
    // go again. None when it would (or where no program can hold keys), else why not. Meant for
    // while recording, when the program itself holds nothing.
    std::optional<GlobalHotKeys::Refusal> probe(QKeyCombination combination);

Q_SIGNALS:
    // What `unavailable()` or `hasHotKeys()` returns changed.
    void unavailableChanged();
    // What `keys()` returns may have changed.
    void reachChanged();

private:
    // A stored shortcut without the bits that are no modifier here.
    using Combo = std::pair<int, int>;

    std::optional<Combo> comboOf(const KeyboardShortcuts::Name& name) const;
    void onShortcutChanged(const QString& name);
    void onPressed(QKeyCombination combination);
    void onLost(QKeyCombination combination, GlobalHotKeys::Refusal why);
    // Holds what the handled names need now and lets go of the rest.
    void sync();
    void refuse(const Combo& combo, GlobalHotKeys::Refusal why);
    // What the names stored on the combination do, in words, and the first one's name as its id.
    QString describe(const Combo& combo) const;
    QString idOf(const Combo& combo) const;
    void announceIfChanged();

    struct Handled {
        KeyboardShortcuts::Name name;
        std::vector<Handler> handlers;
    };

    KeyboardShortcuts& shortcuts_;
    std::unique_ptr<GlobalHotKeys> hotKeys_;
    std::vector<Handled> handled_;
    std::set<Combo> held_;
    // Refused combinations are tried again only when a name is set to one of them anew.
    std::map<Combo, GlobalHotKeys::Refusal> refused_;
    QList<KeyboardShortcuts::Name> lastUnavailable_;
    bool recording_ = false;
};

} // namespace plim
