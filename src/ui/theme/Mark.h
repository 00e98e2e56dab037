#pragma once

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

} // namespace plim::Mark
