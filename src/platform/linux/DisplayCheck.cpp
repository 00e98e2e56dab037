#include "platform/linux/DisplayCheck.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

namespace plim {

namespace {

xcb_connection_t* applicationConnection() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace

bool displayConnectionLost() {
    xcb_connection_t* connection = applicationConnection();
    return connection && xcb_connection_has_error(connection) != 0;
}

void flushDisplay() {
    if (xcb_connection_t* connection = applicationConnection()) {
        xcb_flush(connection);
    }
}

} // namespace plim
