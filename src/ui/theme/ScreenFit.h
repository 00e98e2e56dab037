#pragma once

#include <QRect>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace plim::ScreenFit {

// The frame inside the available area: shrunk where it is larger, then moved in.
QRect within(QRect frame, const QRect& available);

// Keeps a window, its decorations included, inside the available area of its screen (panels
// excluded): shrunk and moved in now, and again once the window manager has framed it. Call it
// after showing the window; a window that fits is left where it is.
void keepInside(QWidget& window);

} // namespace plim::ScreenFit
