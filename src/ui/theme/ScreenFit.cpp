#include "ui/theme/ScreenFit.h"

#include <QElapsedTimer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace plim::ScreenFit {

namespace {

// How long the window manager has to frame a window that was just shown.
constexpr int kFramedWithinMs = 1000;
constexpr int kLookEveryMs = 50;

void fit(QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr || !window.isVisible() || window.isMaximized() || window.isFullScreen()) {
        return;
    }
    const QRect available = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    const QRect inside = within(frame, available);
    if (inside == frame) {
        return;
    }
    const QRect client = window.geometry();
    const QSize decorations = frame.size() - client.size();
    const QSize size = (inside.size() - decorations).expandedTo(QSize(1, 1));
    // The window's least size gives way to the screen's.
    window.setMinimumSize(window.minimumSize().boundedTo(size));
    window.resize(size);
    window.move(inside.topLeft()); // a window's position is its frame's
}

} // namespace

QRect within(QRect frame, const QRect& available) {
    if (!available.isValid()) {
        return frame;
    }
    frame.setSize(frame.size().boundedTo(available.size()));
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() - frame.width() + 1));
    frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() - frame.height() + 1));
    return frame;
}

void keepInside(QWidget& window) {
    fit(window);
    // The frame's size is known once the manager has put it around the window.
    auto* look = new QTimer(&window);
    QElapsedTimer since;
    since.start();
    look->setInterval(kLookEveryMs);
    QObject::connect(look, &QTimer::timeout, &window, [&window, look, since] {
        if (window.frameGeometry() != window.geometry() || since.hasExpired(kFramedWithinMs)) {
            look->stop();
            look->deleteLater();
            fit(window);
        }
    });
    look->start();
}

} // namespace plim::ScreenFit
