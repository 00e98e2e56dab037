#include "ui/capture/XcbWindow.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QHash>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
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

bool supported(xcb_connection_t* c, const char* name) {
    if (!managerRunning(c)) {
        return false;
    }
    const auto atoms = property(c, root(c), atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    if (!atoms) {
        return false;
    }
    const xcb_atom_t wanted = atom(c, name);
    for (const quint32 a : *atoms) {
        if (a == wanted) {
            return true;
        }
    }
    return false;
}

} // namespace

bool available() {
    return connection() != nullptr;
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
    xcb_connection_t* c = connection();
    if (c == nullptr) {
        return false;
    }
    const Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom(c, "_NET_WM_CM_S0")), nullptr));
    return reply && reply->owner != XCB_NONE;
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

bool gainsFocus(const QByteArray& eventType, const void* message, quint32 window) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_FOCUS_IN) {
        return false;
    }
    const auto* focus = static_cast<const xcb_focus_in_event_t*>(message);
    // Pointer: only the pointer is over the window, the focus is elsewhere.
    return focus->event == window && focus->detail != XCB_NOTIFY_DETAIL_POINTER;
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
