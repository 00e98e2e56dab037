#include "ui/capture/DrawerGeometry.h"

#include <QtMath>

#include <algorithm>

namespace plim::DrawerGeometry {

int width(double drawerTextSize) {
    return qRound(std::max(drawerTextSize * 24, 640.0));
}

qreal editorMost(int width, qreal lineHeight) {
    return std::max(width / 1.618 - 76, 3 * lineHeight + 2 * textInset);
}

int editorHeight(int width, qreal lineHeight, qreal textHeight) {
    const qreal least = 3 * lineHeight + 2 * textInset;
    return qCeil(std::min(editorMost(width, lineHeight), std::max(least, textHeight + 2 * textInset)));
}

QRect frame(const QRect& available, QSize size, DrawerPosition position) {
    if (!available.isValid()) {
        return {};
    }
    const int w = std::min(size.width(), available.width());
    const int h = std::min(size.height(), available.height());
    int x = available.x() + (available.width() - w) / 2;
    switch (position) {
    case DrawerPosition::Left:
        x = available.x() + sideMargin;
        break;
    case DrawerPosition::Right:
        x = available.x() + available.width() - w - sideMargin;
        break;
    case DrawerPosition::Center:
        break;
    }
    // A screen narrower than the drawer and its margin keeps it whole.
    x = std::clamp(x, available.x(), available.x() + available.width() - w);
    return {x, available.y(), w, h};
}

double groundAlpha(bool compositing, double opacity) {
    return compositing ? opacity : 1.0;
}

} // namespace plim::DrawerGeometry
