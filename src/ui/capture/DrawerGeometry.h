#pragma once

#include "store/Preferences.h"

#include <QRect>
#include <QSize>
#include <QtGlobal>

namespace plim::DrawerGeometry {

// The measures the drawer is drawn with, in device-independent pixels.
inline constexpr int horizontalInset = 20;
inline constexpr int cornerRadius = 6;
inline constexpr int sideMargin = 24;
inline constexpr int textInset = 4;

// W = max(drawerTextSize × 24, 640).
int width(double drawerTextSize);
// The tallest the editor grows: a golden-ratio share of the drawer width, never below three lines.
qreal editorMost(int width, qreal lineHeight);
// The editor's height: three lines at least, growing with the text up to `editorMost`.
// `lineHeight` is one line of the editor font, `textHeight` the laid-out text's.
int editorHeight(int width, qreal lineHeight, qreal textHeight);
// The drawer at the top of a screen's usable area: left, centred or right; empty without one.
QRect frame(const QRect& available, QSize size, DrawerPosition position);
// The ground's alpha: the `opacity` setting where a compositor blends, opaque elsewhere.
double groundAlpha(bool compositing, double opacity);

} // namespace plim::DrawerGeometry
