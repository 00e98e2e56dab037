#include "ui/when/WhenCard.h"

#include <QPainter>
#include <QPainterPath>

namespace plim {

void WhenCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.fillPath(path, colors.ground);
    p.setPen(QPen(colors.strike, 1));
    p.drawPath(path);
}

} // namespace plim
