#include "ui/theme/KeyLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace plim {

namespace {

// A cap's room around its text.
constexpr int kCapPadX = 6;
constexpr int kCapPadY = 1;
constexpr qreal kCapRadius = 4;

struct Metrics {
    qreal cap;    // height of the capitals
    qreal stroke; // a regular stem
    qreal side;   // room either side of a symbol
};

Metrics metricsOf(const QFont& font) {
    const QFontMetricsF m(font);
    const qreal cap = m.capHeight() > 0 ? m.capHeight() : m.ascent() * 0.7;
    return {cap, std::max<qreal>(1.0, cap / 7.0), cap * 0.18};
}

// How wide a symbol's drawing is, without its side room.
qreal bodyWidth(QChar c, const Metrics& m) {
    switch (c.unicode()) {
    case 0x2191: // ↑
    case 0x2193: // ↓
        return m.cap * 0.7;
    case 0x232B: // ⌫
    case 0x21A9: // ↩
        return m.cap * 1.35;
    default:
        return m.cap * 1.1;
    }
}

qreal symbolWidth(QChar c, const Metrics& m) {
    return bodyWidth(c, m) + 2 * m.side;
}

// The symbol in the box from `left` on, standing on the baseline `base`.
QPainterPath symbolPath(QChar c, qreal left, qreal base, const Metrics& m) {
    const qreal w = bodyWidth(c, m);
    const qreal x0 = left + m.side;
    const qreal x1 = x0 + w;
    const qreal top = base - m.cap;
    const qreal mid = base - m.cap / 2;
    const qreal head = m.cap * 0.32;
    QPainterPath p;
    const auto arrowLeft = [&](qreal from, qreal to, qreal y) {
        p.moveTo(from, y);
        p.lineTo(to, y);
        p.moveTo(to + head, y - head);
        p.lineTo(to, y);
        p.lineTo(to + head, y + head);
    };
    const auto arrowRight = [&](qreal from, qreal to, qreal y) {
        p.moveTo(from, y);
        p.lineTo(to, y);
        p.moveTo(to - head, y - head);
        p.lineTo(to, y);
        p.lineTo(to - head, y + head);
    };
    switch (c.unicode()) {
    case 0x2190: // ←
        arrowLeft(x1, x0, mid);
        break;
    case 0x2192: // →
        arrowRight(x0, x1, mid);
        break;
    case 0x2191: { // ↑
        const qreal x = (x0 + x1) / 2;
        p.moveTo(x, base);
        p.lineTo(x, top);
        p.moveTo(x - head, top + head);
        p.lineTo(x, top);
        p.lineTo(x + head, top + head);
        break;
    }
    case 0x2193: { // ↓
        const qreal x = (x0 + x1) / 2;
        p.moveTo(x, top);
        p.lineTo(x, base);
        p.moveTo(x - head, base - head);
        p.lineTo(x, base);
        p.lineTo(x + head, base - head);
        break;
    }
    case 0x21A9: { // ↩: the tail comes in at the top, turns down on the right and goes back left
        const qreal low = base - m.cap * 0.2;
        const qreal high = top + m.cap * 0.12;
        const qreal r = (low - high) / 2;
        p.moveTo(x1 - r - m.cap * 0.3, high);
        p.lineTo(x1 - r, high);
        p.arcTo(QRectF(x1 - 2 * r, high, 2 * r, 2 * r), 90, -180);
        p.lineTo(x0, low);
        p.moveTo(x0 + head, low - head);
        p.lineTo(x0, low);
        p.lineTo(x0 + head, low + head);
        break;
    }
    case 0x21E5: { // ⇥
        arrowRight(x0, x1 - m.stroke * 1.5, mid);
        p.moveTo(x1, top + m.cap * 0.1);
        p.lineTo(x1, base - m.cap * 0.1);
        break;
    }
    case 0x232B: { // ⌫: a key pointing left with a cross in it
        const qreal tip = x0 + m.cap * 0.4;
        const qreal t = top + m.cap * 0.05;
        const qreal b = base - m.cap * 0.05;
        p.moveTo(x0, mid);
        p.lineTo(tip, t);
        p.lineTo(x1, t);
        p.lineTo(x1, b);
        p.lineTo(tip, b);
        p.closeSubpath();
        const qreal cx = (tip + x1) / 2;
        const qreal s = m.cap * 0.2;
        p.moveTo(cx - s, mid - s);
        p.lineTo(cx + s, mid + s);
        p.moveTo(cx - s, mid + s);
        p.lineTo(cx + s, mid - s);
        break;
    }
    default:
        break;
    }
    return p;
}

} // namespace

namespace KeyText {

bool isSymbol(QChar c) {
    switch (c.unicode()) {
    case 0x2190:
    case 0x2191:
    case 0x2192:
    case 0x2193:
    case 0x21A9:
    case 0x21E5:
    case 0x232B:
        return true;
    default:
        return false;
    }
}

qreal width(const QString& text, const QFont& font) {
    const QFontMetricsF fm(font);
    const Metrics m = metricsOf(font);
    qreal total = 0;
    qsizetype run = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isSymbol(text[i])) {
            total += fm.horizontalAdvance(text.mid(run, i - run));
            if (i < text.size()) {
                total += symbolWidth(text[i], m);
            }
            run = i + 1;
        }
    }
    return total;
}

void draw(QPainter& painter, QPointF baseline, const QString& text, const QFont& font, const QColor& color) {
    const QFontMetricsF fm(font);
    const Metrics m = metricsOf(font);
    painter.save();
    painter.setFont(font);
    painter.setPen(QPen(color, m.stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.setRenderHint(QPainter::Antialiasing);
    qreal x = baseline.x();
    qsizetype run = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isSymbol(text[i])) {
            const QString part = text.mid(run, i - run);
            if (!part.isEmpty()) {
                painter.drawText(QPointF(x, baseline.y()), part);
                x += fm.horizontalAdvance(part);
            }
            if (i < text.size()) {
                painter.drawPath(symbolPath(text[i], x, baseline.y(), m));
                x += symbolWidth(text[i], m);
            }
            run = i + 1;
        }
    }
    painter.restore();
}

} // namespace KeyText

KeyLabel::KeyLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
}

void KeyLabel::setCap(const QColor& ground) {
    cap_ = ground;
    setAlignment(Qt::AlignCenter);
    setContentsMargins(kCapPadX, kCapPadY, kCapPadX, kCapPadY);
    updateGeometry();
    update();
}

QSize KeyLabel::sizeHint() const {
    if (wordWrap()) {
        return QLabel::sizeHint();
    }
    const QMargins margins = contentsMargins();
    return {int(std::ceil(KeyText::width(text(), font()))) + margins.left() + margins.right(),
            int(std::ceil(QFontMetricsF(font()).height())) + margins.top() + margins.bottom()};
}

QSize KeyLabel::minimumSizeHint() const {
    return wordWrap() ? QLabel::minimumSizeHint() : sizeHint();
}

void KeyLabel::paintEvent(QPaintEvent* event) {
    if (wordWrap()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (cap_.isValid()) {
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath ground;
        ground.addRoundedRect(QRectF(rect()), kCapRadius, kCapRadius);
        painter.fillPath(ground, cap_);
    }
    const QRect box = contentsRect();
    const QFontMetricsF fm(font());
    const qreal textWidth = KeyText::width(text(), font());
    qreal x = box.left();
    if (alignment() & Qt::AlignHCenter) {
        x += (box.width() - textWidth) / 2;
    } else if (alignment() & Qt::AlignRight) {
        x += box.width() - textWidth;
    }
    const qreal baseline = box.top() + (box.height() - fm.height()) / 2 + fm.ascent();
    KeyText::draw(painter, QPointF(x, baseline), text(), font(), palette().color(foregroundRole()));
}

} // namespace plim
