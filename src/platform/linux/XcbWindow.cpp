#include "platform/linux/XcbWindow.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QHash>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace plim::x11 {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_connection_t* connection() {
    const auto* app = qGuiApp;
    if (app == nullptr) {
        return nullptr;
    }
    const auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_window_t root(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    static QHash<QByteArray, xcb_atom_t> cache;
    const QByteArray key(name);
    if (const auto it = cache.constFind(key); it != cache.constEnd()) {
        return *it;
    }
    const Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(key.size()), name), nullptr));
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    cache.insert(key, value);
    return value;
}

// The 32-bit values of a window property of the given type; none when it is not set.
std::optional<std::vector<quint32>> property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name,
                                             xcb_atom_t type) {
    const Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 1024), nullptr));
    if (!reply || reply->format != 32 || reply->type != type) {
        return std::nullopt;
    }
    const auto* values = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    return std::vector<quint32>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

// What the running window manager offers, read once and again when told (a manager rarely
// changes): reading it takes three round trips to the server.
struct ManagerFacts {
    bool read = false;
    bool running = false;
    std::vector<quint32> supported;
};

ManagerFacts& managerFacts() {
    static ManagerFacts facts;
    return facts;
}

// A manager that has gone leaves its root properties behind: it runs while the window its check
// property names points back at itself.
bool managerRunning(xcb_connection_t* c) {
    const xcb_atom_t check = atom(c, "_NET_SUPPORTING_WM_CHECK");
    const auto child = property(c, root(c), check, XCB_ATOM_WINDOW);
    if (!child || child->empty()) {
        return false;
    }
    const auto self = property(c, child->front(), check, XCB_ATOM_WINDOW);
    return self && !self->empty() && self->front() == child->front();
}

void readManager(xcb_connection_t* c) {
    ManagerFacts& facts = managerFacts();
    facts.read = true;
    facts.running = managerRunning(c);
    facts.supported.clear();
    if (facts.running) {
        facts.supported =
            property(c, root(c), atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM).value_or(std::vector<quint32>{});
    }
}

bool supported(xcb_connection_t* c, const char* name) {
    ManagerFacts& facts = managerFacts();
    if (!facts.read) {
        readManager(c);
    }
    const xcb_atom_t wanted = atom(c, name);
    return std::find(facts.supported.begin(), facts.supported.end(), wanted) != facts.supported.end();
}

} // namespace

bool available() {
    return connection() != nullptr;
}

void readWindowManager() {
    if (xcb_connection_t* c = connection()) {
        readManager(c);
    }
}

FocusAsk::FocusAsk() {
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        return;
    }
    if (supported(c, "_NET_ACTIVE_WINDOW")) {
        active_ = xcb_get_property(c, 0, root(c), atom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1).sequence;
    }
    focus_ = xcb_get_input_focus(c).sequence;
    xcb_flush(c);
}

FocusAsk::~FocusAsk() {
    if (xcb_connection_t* c = connection()) {
        for (const unsigned int sequence : {active_, focus_}) {
            if (sequence != 0) {
                xcb_discard_reply(c, sequence);
            }
        }
    }
}

quint32 FocusAsk::window() {
    xcb_connection_t* c = connection();
    if (c == nullptr || focus_ == 0) {
        return 0;
    }
    std::optional<quint32> active;
    if (active_ != 0) {
        const Reply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(c, xcb_get_property_cookie_t{std::exchange(active_, 0u)}, nullptr));
        active = reply && reply->format == 32 && reply->type == XCB_ATOM_WINDOW &&
                         xcb_get_property_value_length(reply.get()) >= 4
                     ? *static_cast<const quint32*>(xcb_get_property_value(reply.get()))
                     : 0u;
    }
    const Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(c, xcb_get_input_focus_cookie_t{std::exchange(focus_, 0u)}, nullptr));
    if (active) {
        return *active;
    }
    if (!reply || reply->focus == XCB_INPUT_FOCUS_POINTER_ROOT || reply->focus == root(c)) {
        return 0;
    }
    return reply->focus;
}

CompositingAsk::CompositingAsk() {
    if (xcb_connection_t* c = connection()) {
        owner_ = xcb_get_selection_owner(c, atom(c, "_NET_WM_CM_S0")).sequence;
        xcb_flush(c);
    }
}

CompositingAsk::~CompositingAsk() {
    xcb_connection_t* c = connection();
    if (c != nullptr && owner_ != 0) {
        xcb_discard_reply(c, owner_);
    }
}

bool CompositingAsk::compositing() {
    xcb_connection_t* c = connection();
    if (c == nullptr || owner_ == 0) {
        return false;
    }
    const Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner_cookie_t{std::exchange(owner_, 0u)}, nullptr));
    return reply && reply->owner != XCB_NONE;
}

std::optional<quint32> activeWindow() {
    xcb_connection_t* c = connection();
    if (c == nullptr || !supported(c, "_NET_ACTIVE_WINDOW")) {
        return std::nullopt;
    }
    const auto values = property(c, root(c), atom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    return values && !values->empty() ? values->front() : 0u;
}

quint32 inputFocus() {
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        return 0;
    }
    const Reply<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (!reply || reply->focus == XCB_INPUT_FOCUS_POINTER_ROOT || reply->focus == root(c)) {
        return 0;
    }
    return reply->focus;
}

bool isViewable(quint32 window) {
    xcb_connection_t* c = connection();
    if (c == nullptr || window == 0) {
        return false;
    }
    const Reply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

void activate(quint32 window) {
    xcb_connection_t* c = connection();
    if (c == nullptr || window == 0) {
        return;
    }
    if (!supported(c, "_NET_ACTIVE_WINDOW")) {
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
        xcb_flush(c);
        return;
    }
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(c, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 2; // a pager's request: the user asked for it, no focus-stealing check
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, root(c), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

bool compositing() {
    return CompositingAsk().compositing();
}

void markAsDrawer(quint32 window) {
    xcb_connection_t* c = connection();
    if (c == nullptr || window == 0) {
        return;
    }
    // Read when the window is mapped; the toolkit adds its own states to these.
    const xcb_atom_t states[] = {atom(c, "_NET_WM_STATE_SKIP_TASKBAR"), atom(c, "_NET_WM_STATE_SKIP_PAGER"),
                                 atom(c, "_NET_WM_STATE_STICKY"), atom(c, "_NET_WM_STATE_ABOVE")};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 4, states);
    const quint32 allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    xcb_flush(c);
}

std::optional<bool> focusChange(const QByteArray& eventType, const void* message, quint32 window) {
    if (eventType != "xcb_generic_event_t") {
        return std::nullopt;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const auto type = event->response_type & 0x7f;
    if (type != XCB_FOCUS_IN && type != XCB_FOCUS_OUT) {
        return std::nullopt;
    }
    // Both events share one layout.
    const auto* focus = static_cast<const xcb_focus_in_event_t*>(message);
    // Pointer: only the pointer is over the window, the focus is elsewhere. A grab's start and end
    // leave the focus where it is.
    if (focus->event != window || focus->detail == XCB_NOTIFY_DETAIL_POINTER || focus->mode == XCB_NOTIFY_MODE_GRAB ||
        focus->mode == XCB_NOTIFY_MODE_UNGRAB) {
        return std::nullopt;
    }
    return type == XCB_FOCUS_IN;
}

bool blurOffered() {
    xcb_connection_t* c = connection();
    return c != nullptr && supported(c, "_KDE_NET_WM_BLUR_BEHIND_REGION");
}

void setBlurBehind(quint32 window, bool on) {
    xcb_connection_t* c = connection();
    if (c == nullptr || window == 0) {
        return;
    }
    const xcb_atom_t name = atom(c, "_KDE_NET_WM_BLUR_BEHIND_REGION");
    if (on) {
        // An empty region blurs behind the whole window.
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, name, XCB_ATOM_CARDINAL, 32, 0, nullptr);
    } else {
        xcb_delete_property(c, window, name);
    }
    xcb_flush(c);
}

} // namespace plim::x11
