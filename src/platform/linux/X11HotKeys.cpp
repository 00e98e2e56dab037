#include "platform/linux/X11HotKeys.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>

namespace plim {

namespace {

constexpr std::uint32_t kNumLockKeysym = 0xff7f;
constexpr std::uint16_t kMatchedModifiers = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

std::uint16_t xModifiers(Qt::KeyboardModifiers modifiers) {
    std::uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers & Qt::ControlModifier) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers & Qt::AltModifier) {
        mask |= XCB_MOD_MASK_1;
    }
    if (modifiers & Qt::MetaModifier) {
        mask |= XCB_MOD_MASK_4;
    }
    return mask;
}

// The keycodes that make a keysym on the current mapping.
std::vector<std::uint8_t> keycodesFor(xcb_key_symbols_t* symbols, std::uint32_t keysym) {
    std::vector<std::uint8_t> codes;
    xcb_keycode_t* found = xcb_key_symbols_get_keycode(symbols, keysym);
    for (const xcb_keycode_t* code = found; code && *code != XCB_NO_SYMBOL; ++code) {
        if (std::find(codes.begin(), codes.end(), *code) == codes.end()) {
            codes.push_back(*code);
        }
    }
    std::free(found);
    return codes;
}

} // namespace

void X11HotKeys::KeySymbolsFree::operator()(_XCBKeySymbols* symbols) const {
    xcb_key_symbols_free(symbols);
}

std::optional<std::uint32_t> X11HotKeys::keysym(Qt::Key key) {
    const int k = int(key);
    if (k >= Qt::Key_A && k <= Qt::Key_Z) {
        return std::uint32_t(k - Qt::Key_A + 'a');
    }
    // Latin-1 printable keys share their code with their keysym.
    if (k >= Qt::Key_Space && k <= Qt::Key_AsciiTilde) {
        return std::uint32_t(k);
    }
    if (k >= Qt::Key_F1 && k <= Qt::Key_F35) {
        return std::uint32_t(0xffbe + (k - Qt::Key_F1));
    }
    static constexpr std::pair<Qt::Key, std::uint32_t> kSpecial[] = {
        {Qt::Key_Return, 0xff0d},
        {Qt::Key_Enter, 0xff8d},
        {Qt::Key_Tab, 0xff09},
        {Qt::Key_Backspace, 0xff08},
        {Qt::Key_Escape, 0xff1b},
        {Qt::Key_Delete, 0xffff},
        {Qt::Key_Home, 0xff50},
        {Qt::Key_Left, 0xff51},
        {Qt::Key_Up, 0xff52},
        {Qt::Key_Right, 0xff53},
        {Qt::Key_Down, 0xff54},
        {Qt::Key_PageUp, 0xff55},
        {Qt::Key_PageDown, 0xff56},
        {Qt::Key_End, 0xff57},
        {Qt::Key_Help, 0xff6a},
        {Qt::Key_VolumeDown, 0x1008ff11},
        {Qt::Key_VolumeMute, 0x1008ff12},
        {Qt::Key_VolumeUp, 0x1008ff13},
    };
    const auto found =
        std::find_if(std::begin(kSpecial), std::end(kSpecial), [&](const auto& pair) { return pair.first == key; });
    return found == std::end(kSpecial) ? std::nullopt : std::optional<std::uint32_t>(found->second);
}

std::unique_ptr<X11HotKeys> X11HotKeys::create() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || xcb_connection_has_error(connection)) {
        return nullptr;
    }
    return std::unique_ptr<X11HotKeys>(new X11HotKeys(connection));
}

X11HotKeys::X11HotKeys(xcb_connection_t* connection)
    : connection_(connection) {
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_)); it.rem; xcb_screen_next(&it)) {
        roots_.push_back(it.data->root);
    }
    readKeyboard();
    holdLimit_.setSingleShot(true);
    holdLimit_.setInterval(kHoldLimit);
    connect(&holdLimit_, &QTimer::timeout, this, [this] { endHold(hold_); });
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotKeys::~X11HotKeys() {
    // Without the application its connection is gone too.
    if (!QCoreApplication::instance()) {
        return;
    }
    QCoreApplication::instance()->removeNativeEventFilter(this);
    endHold(hold_);
    thaw();
    for (const auto& [combination, grabs] : held_) {
        releaseAll(grabs);
    }
    xcb_flush(connection_);
}

void X11HotKeys::readKeyboard() {
    symbols_.reset(xcb_key_symbols_alloc(connection_));
    numLockMask_ = 0;
    const std::vector<std::uint8_t> numLock = keycodesFor(symbols_.get(), kNumLockKeysym);
    xcb_get_modifier_mapping_reply_t* reply =
        xcb_get_modifier_mapping_reply(connection_, xcb_get_modifier_mapping(connection_), nullptr);
    if (!reply) {
        return;
    }
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8 && numLockMask_ == 0; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            if (code != 0 && std::find(numLock.begin(), numLock.end(), code) != numLock.end()) {
                numLockMask_ = std::uint16_t(1U << modifier);
                break;
            }
        }
    }
    std::free(reply);
}

std::vector<X11HotKeys::KeyGrab> X11HotKeys::keyGrabsFor(QKeyCombination combination) const {
    const auto sym = keysym(combination.key());
    if (!sym) {
        return {};
    }
    const std::uint16_t modifiers = xModifiers(combination.keyboardModifiers());
    std::vector<std::uint16_t> locks{0, XCB_MOD_MASK_LOCK};
    if (numLockMask_ != 0 && numLockMask_ != XCB_MOD_MASK_LOCK && !(numLockMask_ & kMatchedModifiers)) {
        locks.push_back(numLockMask_);
        locks.push_back(numLockMask_ | XCB_MOD_MASK_LOCK);
    }
    std::vector<KeyGrab> grabs;
    for (const std::uint8_t code : keycodesFor(symbols_.get(), *sym)) {
        for (const std::uint16_t lock : locks) {
            grabs.push_back({code, std::uint16_t(modifiers | lock)});
        }
    }
    return grabs;
}

std::optional<int> X11HotKeys::grabAll(const std::vector<KeyGrab>& grabs) {
    // All requests go out at once; the answers are read afterwards (one round trip).
    std::vector<std::pair<KeyGrab, xcb_window_t>> sent;
    std::vector<xcb_void_cookie_t> cookies;
    for (const xcb_window_t root : roots_) {
        for (const KeyGrab& g : grabs) {
            cookies.push_back(xcb_grab_key_checked(connection_, 0, root, g.modifiers, g.keycode, XCB_GRAB_MODE_ASYNC,
                                                   XCB_GRAB_MODE_SYNC));
            sent.emplace_back(g, root);
        }
    }
    std::optional<int> refused;
    std::vector<bool> taken(cookies.size(), false);
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        if (xcb_generic_error_t* error = xcb_request_check(connection_, cookies[i])) {
            if (!refused) {
                refused = error->error_code;
            }
            std::free(error);
        } else {
            taken[i] = true;
        }
    }
    if (refused) {
        for (std::size_t i = 0; i < sent.size(); ++i) {
            if (taken[i]) {
                xcb_ungrab_key(connection_, sent[i].first.keycode, sent[i].second, sent[i].first.modifiers);
            }
        }
        xcb_flush(connection_);
    }
    return refused;
}

void X11HotKeys::releaseAll(const std::vector<KeyGrab>& grabs) {
    for (const xcb_window_t root : roots_) {
        for (const KeyGrab& g : grabs) {
            xcb_ungrab_key(connection_, g.keycode, root, g.modifiers);
        }
    }
}

std::optional<GlobalHotKeys::Refusal> X11HotKeys::grab(QKeyCombination combination) {
    if (held_.count(combination.toCombined()) != 0) {
        return std::nullopt;
    }
    std::vector<KeyGrab> grabs = keyGrabsFor(combination);
    if (grabs.empty()) {
        return Refusal{Refusal::noKey};
    }
    if (const auto error = grabAll(grabs)) {
        return Refusal{*error};
    }
    held_.emplace(combination.toCombined(), std::move(grabs));
    return std::nullopt;
}

void X11HotKeys::release(QKeyCombination combination) {
    const auto found = held_.find(combination.toCombined());
    if (found == held_.end()) {
        return;
    }
    releaseAll(found->second);
    xcb_flush(connection_);
    held_.erase(found);
}

void X11HotKeys::remap() {
    remapQueued_ = false;
    for (const auto& [combination, grabs] : held_) {
        releaseAll(grabs);
    }
    readKeyboard();
    std::vector<std::pair<QKeyCombination, Refusal>> lostOnes;
    for (auto it = held_.begin(); it != held_.end();) {
        const QKeyCombination combination = QKeyCombination::fromCombined(it->first);
        it->second = keyGrabsFor(combination);
        std::optional<int> error = it->second.empty() ? std::optional<int>(Refusal::noKey) : grabAll(it->second);
        if (error) {
            lostOnes.emplace_back(combination, Refusal{*error});
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
    xcb_flush(connection_);
    for (const auto& [combination, why] : lostOnes) {
        Q_EMIT lost(combination, why);
    }
}

bool X11HotKeys::isRoot(std::uint32_t window) const {
    return std::find(roots_.begin(), roots_.end(), window) != roots_.end();
}

bool X11HotKeys::onKeyPress(std::uint8_t keycode, std::uint16_t state, std::uint32_t time) {
    const std::uint16_t modifiers = state & kMatchedModifiers;
    const bool repeat = down_ == keycode || (keycode == releasedKeycode_ && time == releasedAt_);
    down_ = keycode;
    if (repeat) {
        return false;
    }
    for (const auto& [combined, grabs] : held_) {
        const bool match = std::any_of(grabs.begin(), grabs.end(), [&](const KeyGrab& g) {
            return g.keycode == keycode && (g.modifiers & kMatchedModifiers) == modifiers;
        });
        if (match) {
            // Out of the X event handling: a handler may show windows or change the grabs.
            const QKeyCombination combination = QKeyCombination::fromCombined(combined);
            QMetaObject::invokeMethod(
                this,
                [this, combination] {
                    Q_EMIT pressed(combination);
                    if (hold_ == 0) {
                        thaw();
                    }
                },
                Qt::QueuedConnection);
            return true;
        }
    }
    return false;
}

void X11HotKeys::thaw() {
    if (!frozen_) {
        return;
    }
    frozen_ = false;
    xcb_allow_events(connection_, XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
    xcb_flush(connection_);
}

namespace {

class X11KeyboardHold final : public KeyboardHold {
public:
    explicit X11KeyboardHold(std::function<void()> end)
        : end_(std::move(end)) {}
    ~X11KeyboardHold() override { end_(); }

private:
    std::function<void()> end_;
};

} // namespace

std::unique_ptr<KeyboardHold> X11HotKeys::holdKeyboard() {
    if (!frozen_ || hold_ != 0) {
        return nullptr;
    }
    hold_ = ++holds_;
    holdLimit_.start();
    return std::make_unique<X11KeyboardHold>([self = QPointer<X11HotKeys>(this), hold = hold_] {
        if (self) {
            self->endHold(hold);
        }
    });
}

void X11HotKeys::endHold(int hold) {
    if (hold == 0 || hold != hold_) {
        return;
    }
    hold_ = 0;
    holdLimit_.stop();
    frozen_ = false;
    if (focusIsOurs()) {
        // Ends the grab the press began (it outlasts the key's release, which waits with the other
        // keys): what the server kept goes to our focused window, in order, and so does the key's
        // release, which tells that the next press is not a repeat.
        xcb_ungrab_keyboard(connection_, XCB_CURRENT_TIME);
    } else {
        // Nothing of ours took the keyboard: as after any press, the keys go on to us until the
        // combination's key is let go, then to the focused window.
        xcb_allow_events(connection_, XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
    }
    xcb_flush(connection_);
}

bool X11HotKeys::focusIsOurs() const {
    const std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&std::free)> focus(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr), &std::free);
    if (!focus) {
        return false;
    }
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.begin(), windows.end(), [&](const QWindow* window) {
        return window->handle() != nullptr && window->winId() == focus->focus;
    });
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7f) {
    case XCB_KEY_PRESS: {
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (!isRoot(key->event)) {
            return false;
        }
        // A press that begins one of the grabs freezes the keyboard; the others let it go on.
        frozen_ = true;
        if (!onKeyPress(key->detail, key->state, key->time)) {
            thaw();
        }
        return true;
    }
    case XCB_KEY_RELEASE: {
        // Seen on any window of ours: after a hold the release goes to the window shown.
        const auto* key = reinterpret_cast<const xcb_key_release_event_t*>(event);
        if (down_ == key->detail) {
            down_.reset();
        }
        releasedKeycode_ = key->detail;
        releasedAt_ = key->time;
        return isRoot(key->event);
    }
    case XCB_MAPPING_NOTIFY: {
        const auto* mapping = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
        // A burst of changes (a tool remapping a spare key) takes one regrab.
        if (mapping->request != XCB_MAPPING_POINTER && !remapQueued_) {
            remapQueued_ = true;
            QMetaObject::invokeMethod(this, &X11HotKeys::remap, Qt::QueuedConnection);
        }
        return false;
    }
    default:
        return false;
    }
}

} // namespace plim
