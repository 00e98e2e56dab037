#pragma once

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QSize>

namespace plim::Mark {

// The mark is drawn on a square of this many units, scaled to the size asked for.
inline constexpr qreal designSide = 18;

// The tray mark, a drawer hanging from a bar, and with `dot` the ringing dot at its right edge, in
// `color` on a transparent image of `size` device-independent pixels at `devicePixelRatio`. On a
// size that is not square the mark takes the centred square.
QImage image(QSize size, qreal devicePixelRatio, bool dot, const QColor& color);

// A colour for the mark that reads on a panel of this background.
QColor colorFor(const QColor& panelBackground);

// The mark as an icon that draws itself afresh at every size and pixel ratio it is asked for.
QIcon icon(bool dot, const QColor& color);

// The program's own icon (menus, launchers, window lists): the mark without its dot, in the light
// ground colour on a rounded tile of the light accent. The tile is `applicationSide` units wide
// with the mark's square centred in it.
inline constexpr qreal applicationSide = 24;
QImage applicationImage(int side);
// The same drawing as a scalable SVG document, made from the very path the painter strokes.
QByteArray applicationSvg();
// The icon installed beside the executable (the hicolor PNGs of its share folder), else the
// desktop theme's "plim", else the drawing itself.
QIcon applicationIcon();
// How a notification names the program's icon: "plim" where the desktop's icon theme finds the one
// installed beside the executable (or none is there), else that icon's file address.
QString notificationIcon();

} // namespace plim::Mark
