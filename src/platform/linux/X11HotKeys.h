#pragma once

#include "platform/GlobalHotKeys.h"

#include <QAbstractNativeEventFilter>
#include <QTimer>

#include <chrono>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct xcb_connection_t;
struct _XCBKeySymbols;

namespace plim {

// Global hot keys as passive key grabs on the root windows of the application's X connection.
// X matches the lock modifiers exactly, so each combination is grabbed for every keycode that
// makes its key, with CapsLock and NumLock each on and off. The grabs follow keyboard-mapping
// changes. Must be destroyed before the application.
// A press freezes the keyboard (the grabs are synchronous): the server keeps the keys typed after
// it, in order, until the handlers have run, or until a hold they take goes; then the server hands
// them to the window that has the focus. So no key typed right after a shortcut reaches the window
// the user was leaving.
class X11HotKeys final : public GlobalHotKeys, private QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // None unless the application runs on an X server: Wayland has no connection, and the
    // offscreen platform answers with a null one.
    static std::unique_ptr<X11HotKeys> create();
    ~X11HotKeys() override;

    // The longest the keyboard is held for a handler: past it the keys go where the focus is.
    static constexpr std::chrono::milliseconds kHoldLimit{3000};

    std::optional<Refusal> grab(QKeyCombination combination) override;
    void release(QKeyCombination combination) override;
    std::unique_ptr<KeyboardHold> holdKeyboard() override;

    // The X keysym of a key; none for a key that has none.
    static std::optional<std::uint32_t> keysym(Qt::Key key);

private:
    struct KeyGrab {
        std::uint8_t keycode;
        std::uint16_t modifiers;
    };
    struct KeySymbolsFree {
        void operator()(_XCBKeySymbols* symbols) const;
    };

    explicit X11HotKeys(xcb_connection_t* connection);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
    // Whether the press was a held combination's; its handlers then run soon.
    bool onKeyPress(std::uint8_t keycode, std::uint16_t state, std::uint32_t time);
    // Lets the keys the server keeps go on: to where the focus is, or on to us until the
    // combination's key is released.
    void thaw();
    void endHold(int hold);
    bool focusIsOurs() const;
    void readKeyboard();
    void remap();
    std::vector<KeyGrab> keyGrabsFor(QKeyCombination combination) const;
    // The X error of the first grab refused; then none of `grabs` is kept.
    std::optional<int> grabAll(const std::vector<KeyGrab>& grabs);
    void releaseAll(const std::vector<KeyGrab>& grabs);
    bool isRoot(std::uint32_t window) const;

    xcb_connection_t* connection_;
    std::vector<std::uint32_t> roots_;
    std::unique_ptr<_XCBKeySymbols, KeySymbolsFree> symbols_;
    std::uint16_t numLockMask_ = 0;
    // Held combinations (QKeyCombination::toCombined) and their grabs.
    std::map<int, std::vector<KeyGrab>> held_;
    bool remapQueued_ = false;
    // Auto-repeat, whether the server reports it as repeated presses or as release/press pairs
    // with one timestamp, is one press.
    std::optional<std::uint8_t> down_;
    std::uint8_t releasedKeycode_ = 0;
    std::uint32_t releasedAt_ = 0;
    // The keyboard is frozen from a held combination's press until thawed.
    bool frozen_ = false;
    // The hold a handler took, by number; 0 for none.
    int hold_ = 0;
    int holds_ = 0;
    QTimer holdLimit_;
};

} // namespace plim
