#include "platform/linux/ActivationToken.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace plim {

namespace {

constexpr const char* kVariable = "XDG_ACTIVATION_TOKEN";

xcb_connection_t* x11Connection() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

// A value of the protocol's messages, quoted when it holds a space, a quote or a backslash.
QByteArray quoted(const QByteArray& value) {
    if (!std::any_of(value.begin(), value.end(), [](char c) { return c == ' ' || c == '"' || c == '\\'; })) {
        return value;
    }
    QByteArray escaped = value;
    escaped.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + escaped + '"';
}

// A startup notification message: broadcast to the root window in pieces of 20 bytes, the first
// of type _NET_STARTUP_INFO_BEGIN, the others _NET_STARTUP_INFO, ending with its NUL.
void broadcast(xcb_connection_t* connection, const QByteArray& message) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = root;
    event.type = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(connection, "_NET_STARTUP_INFO");
    const qsizetype length = message.size() + 1;
    for (qsizetype sent = 0; sent < length; sent += 20) {
        std::memset(event.data.data8, 0, sizeof event.data.data8);
        std::memcpy(event.data.data8, message.constData() + sent,
                    static_cast<size_t>(std::min<qsizetype>(20, length - sent)));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
        event.type = more;
    }
    xcb_flush(connection);
}

// Gives each top-level window shown while it lives the startup id, before it is mapped.
class ShownWindows final : public QObject {
public:
    ShownWindows(xcb_connection_t* connection, QByteArray id)
        : connection_(connection)
        , id_(std::move(id)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWindowType()) {
            auto* window = static_cast<QWindow*>(watched);
            if (window->isTopLevel()) {
                xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()),
                                    atom(connection_, "_NET_STARTUP_ID"), atom(connection_, "UTF8_STRING"), 8,
                                    static_cast<std::uint32_t>(id_.size()), id_.constData());
            }
        }
        return false;
    }

private:
    xcb_connection_t* connection_;
    QByteArray id_;
};

} // namespace

ActivationTokenScope::ActivationTokenScope(const QByteArray& token) {
    if (token.isEmpty()) {
        return;
    }
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland"))) {
        lent_ = qputenv(kVariable, token);
    } else if (platform == u"xcb" && x11Connection()) {
        startupId_ = token;
        shownWindows_ = std::make_unique<ShownWindows>(x11Connection(), token);
    }
}

ActivationTokenScope::~ActivationTokenScope() {
    if (lent_) {
        qunsetenv(kVariable);
    }
    if (xcb_connection_t* connection = startupId_.isEmpty() ? nullptr : x11Connection()) {
        shownWindows_.reset();
        broadcast(connection, "remove: ID=" + quoted(startupId_));
    }
}

} // namespace plim
