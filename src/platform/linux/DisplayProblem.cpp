#include "platform/linux/DisplayCheck.h"

#include "base/Shortened.h"

#include <QStringList>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

// Apart from the rest of the display's helpers: the command line uses it, and must not need Qt Gui.

namespace plim {

namespace {

bool opensX11(const QByteArray& display) {
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool opened = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opened;
}

// A compositor listens on the socket: $WAYLAND_DISPLAY, a path or a name in $XDG_RUNTIME_DIR.
bool opensWayland(const QByteArray& display) {
    const QByteArray path = display.startsWith('/') ? display : qgetenv("XDG_RUNTIME_DIR") + '/' + display;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool opened = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return opened;
}

QString named(const char* variable, const QByteArray& value) {
    return QLatin1String(variable) + u'=' + shortened(QString::fromLocal8Bit(value));
}

} // namespace

std::optional<QString> displayProblem() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool x11 = platform.isEmpty() || platform.contains("xcb");
    const bool wayland = platform.isEmpty() || platform.contains("wayland");
    if (!x11 && !wayland) {
        return std::nullopt;
    }
    const QByteArray x11Display = x11 ? qgetenv("DISPLAY") : QByteArray();
    const QByteArray waylandDisplay = wayland ? qgetenv("WAYLAND_DISPLAY") : QByteArray();
    if (x11Display.isEmpty() && waylandDisplay.isEmpty()) {
        return x11 && wayland ? QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are unset)")
               : x11          ? QStringLiteral("no display (DISPLAY is unset)")
                              : QStringLiteral("no display (WAYLAND_DISPLAY is unset)");
    }
    if ((!waylandDisplay.isEmpty() && opensWayland(waylandDisplay)) ||
        (!x11Display.isEmpty() && opensX11(x11Display))) {
        return std::nullopt;
    }
    QStringList tried;
    if (!waylandDisplay.isEmpty()) {
        tried << named("WAYLAND_DISPLAY", waylandDisplay);
    }
    if (!x11Display.isEmpty()) {
        tried << named("DISPLAY", x11Display);
    }
    return QStringLiteral("no display (cannot open %1)").arg(tried.join(QStringLiteral(" or ")));
}

} // namespace plim
