#pragma once

#include "platform/KeyboardHold.h"

#include <QKeyCombination>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace plim {

// Key combinations held for the whole desktop: while one is held, pressing it anywhere reaches
// this program and no other. Which names a combination serves is the caller's business.
class GlobalHotKeys : public QObject {
    Q_OBJECT

public:
    // Why a combination could not be held: the desktop's status code (on X11 the X error, 10 when
    // another program holds the combination), or noKey when no key of this keyboard makes it;
    // `turnedDown` where the desktop decides which shortcuts a program gets (the portal) and it,
    // or the user in its dialog, did not bind this one.
    struct Refusal {
        static constexpr int noKey = 0;
        int status = noKey;
        bool turnedDown = false;
        friend bool operator==(const Refusal&, const Refusal&) = default;
    };

    using QObject::QObject;
    ~GlobalHotKeys() override = default;

    // Holds the combination; none when it is held now (also when it already was), else why not,
    // and then nothing of it is kept.
    virtual std::optional<Refusal> grab(QKeyCombination combination) = 0;
    // Lets go of it; nothing for a combination not held.
    virtual void release(QKeyCombination combination) = 0;
    // What a combination is for, before it is held: a stable id (the name it serves, the same
    // whatever keys the user gives it) and words, for desktops that keep the shortcuts programs
    // hold under an id and list them (the portal and its binding dialog).
    virtual void describe(QKeyCombination combination, const QString& id, const QString& what) {
        Q_UNUSED(combination);
        Q_UNUSED(id);
        Q_UNUSED(what);
    }
    // The keys that run a held combination, in the desktop's words, where the desktop chooses
    // them (the portal binds what the user set in its own settings); none where they are the
    // combination itself or the desktop has not said.
    virtual std::optional<QString> keysOf(QKeyCombination combination) const {
        Q_UNUSED(combination);
        return std::nullopt;
    }
    // Called from a `pressed` handler: keeps the keys typed after the press waiting until the hold
    // goes (a few seconds at most), so that a window the handler shows receives them.
    // None where the desktop cannot keep them (Wayland) or outside a handler.
    virtual std::unique_ptr<KeyboardHold> holdKeyboard() { return nullptr; }
    // Whether the desktop lets this program hold keys at all. A desktop asked at start may answer
    // later: grabs are taken on trust until then, and `availabilityChanged` tells when it says no.
    virtual bool isAvailable() const { return true; }

Q_SIGNALS:
    // A held combination was pressed. Always on the main thread, never from inside the desktop's
    // event handling.
    void pressed(QKeyCombination combination);
    // A held combination could not be taken again after the keyboard changed; it is no longer held.
    void lost(QKeyCombination combination, plim::GlobalHotKeys::Refusal why);
    // What `isAvailable()` returns changed.
    void availabilityChanged();
    // What `keysOf()` returns changed.
    void keysChanged();
};

} // namespace plim
