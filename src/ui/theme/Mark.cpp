#include "ui/theme/Mark.h"

#include "ui/theme/DataFolder.h"
#include "ui/theme/Theme.h"

#include <QDir>
#include <QFileInfo>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace plim::Mark {

namespace {

// In design units, y growing downwards.
QPainterPath markPath() {
    constexpr qreal radius = 0.5625;
    QPainterPath path;
    // The bar.
    path.moveTo(1.5, 4.125);
    path.lineTo(16.5, 4.125);
    // The drawer hanging from it, with rounded lower corners.
    path.moveTo(4.125, 4.125);
    path.lineTo(4.125, 13.875 - radius);
    path.arcTo(QRectF(4.125, 13.875 - 2 * radius, 2 * radius, 2 * radius), 180, 90);
    path.lineTo(13.875 - radius, 13.875);
    path.arcTo(QRectF(13.875 - 2 * radius, 13.875 - 2 * radius, 2 * radius, 2 * radius), 270, 90);
    path.lineTo(13.875, 4.125);
    // The handle.
    path.moveTo(7.125, 9.375);
    path.lineTo(10.875, 9.375);
    return path;
}

constexpr qreal kStroke = 1.5;

// The application tile, in units of `applicationSide`.
constexpr qreal kTileInset = 1;
constexpr qreal kTileRadius = 5;
const ThemeColors& tileColors() {
    return Theme::colors(Appearance::Light);
}

void draw(QPainter& painter, QSizeF size, bool dot, const QColor& color) {
    const qreal side = std::min(size.width(), size.height());
    if (side <= 0) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate((size.width() - side) / 2, (size.height() - side) / 2);
    painter.scale(side / designSide, side / designSide);
    painter.setPen(QPen(color, kStroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(markPath());
    if (dot) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QRectF(14.5, 6.25, 3.5, 3.5));
    }
    painter.restore();
}

class MarkEngine final : public QIconEngine {
public:
    MarkEngine(bool dot, QColor color)
        : dot_(dot)
        , color_(color) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->save();
        painter->translate(rect.topLeft());
        draw(*painter, rect.size(), dot_, color_);
        painter->restore();
    }
    // Asked for in device pixels; QIcon sets the pixel ratio from the size it gets back.
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        return QPixmap::fromImage(image(size, 1.0, dot_, color_));
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }
    QIconEngine* clone() const override { return new MarkEngine(dot_, color_); }
    QString key() const override { return QStringLiteral("plim-mark"); }

private:
    bool dot_;
    QColor color_;
};

} // namespace

QImage image(QSize size, qreal devicePixelRatio, bool dot, const QColor& color) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSize pixels(static_cast<int>(std::lround(size.width() * ratio)),
                       static_cast<int>(std::lround(size.height() * ratio)));
    QImage result(pixels.expandedTo(QSize(0, 0)), QImage::Format_ARGB32_Premultiplied);
    if (result.isNull()) {
        return result;
    }
    result.setDevicePixelRatio(ratio);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    // The painter works in device-independent pixels on an image with a ratio.
    draw(painter, QSizeF(pixels) / ratio, dot, color);
    return result;
}

QImage applicationImage(int side) {
    QImage result(QSize(side, side).expandedTo(QSize(0, 0)), QImage::Format_ARGB32_Premultiplied);
    if (result.isNull()) {
        return result;
    }
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal scale = side / applicationSide;
    painter.scale(scale, scale);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tileColors().highlighter);
    const qreal tile = applicationSide - 2 * kTileInset;
    painter.drawRoundedRect(QRectF(kTileInset, kTileInset, tile, tile), kTileRadius, kTileRadius);
    const qreal margin = (applicationSide - designSide) / 2;
    painter.translate(margin, margin);
    draw(painter, QSizeF(designSide, designSide), false, tileColors().ground);
    return result;
}

QByteArray applicationSvg() {
    const auto number = [](qreal v) { return QByteArray::number(v, 'g', 6); };
    const QPainterPath path = markPath();
    QByteArray d;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QByteArray point = number(e.x) + ' ' + number(e.y);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            d += (d.isEmpty() ? "M" : " M") + point;
            break;
        case QPainterPath::LineToElement:
            d += " L" + point;
            break;
        case QPainterPath::CurveToElement:
            d += " C" + point;
            break;
        case QPainterPath::CurveToDataElement:
            d += ' ' + point;
            break;
        }
    }
    const qreal tile = applicationSide - 2 * kTileInset;
    const qreal margin = (applicationSide - designSide) / 2;
    const auto hex = [](const QColor& c) { return c.name(QColor::HexRgb).toLatin1(); };
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(applicationSide) + "\" height=\"" +
           number(applicationSide) + "\" viewBox=\"0 0 " + number(applicationSide) + ' ' + number(applicationSide) +
           "\">\n"
           "  <rect x=\"" +
           number(kTileInset) + "\" y=\"" + number(kTileInset) + "\" width=\"" + number(tile) + "\" height=\"" +
           number(tile) + "\" rx=\"" + number(kTileRadius) + "\" fill=\"" + hex(tileColors().highlighter) +
           "\"/>\n"
           "  <path transform=\"translate(" +
           number(margin) + ' ' + number(margin) + ")\" d=\"" + d + "\" fill=\"none\" stroke=\"" +
           hex(tileColors().ground) + "\" stroke-width=\"" + number(kStroke) +
           "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n"
           "</svg>\n";
}

QIcon applicationIcon() {
    QIcon icon;
    if (const QString own = ownDataFolder(); !own.isEmpty()) {
        const QDir hicolor(own + QStringLiteral("/icons/hicolor"));
        for (const QString& size : hicolor.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString file = hicolor.filePath(size + QStringLiteral("/apps/plim.png"));
            if (QFileInfo::exists(file)) {
                // With its size given, a file is read only when that size is drawn: at start none is,
                // and no image reader needs to be loaded for it.
                const QStringList sides = size.split(u'x');
                const QSize known = sides.size() == 2 ? QSize(sides[0].toInt(), sides[1].toInt()) : QSize();
                icon.addFile(file, known.isValid() && !known.isEmpty() ? known : QSize());
            }
        }
        if (!icon.isNull()) {
            qCInfo(lcData, "icon from %s", qUtf8Printable(hicolor.path()));
            return icon;
        }
    }
    icon = QIcon::fromTheme(QStringLiteral("plim"));
    if (!icon.isNull()) {
        qCInfo(lcData, "icon from the desktop theme");
        return icon;
    }
    qCInfo(lcData, "icon drawn by the program");
    for (const int side : {16, 32, 48, 64, 128, 256}) {
        icon.addPixmap(QPixmap::fromImage(applicationImage(side)));
    }
    return icon;
}

QString notificationIcon() {
    const QString name = QStringLiteral("plim");
    const QString own = ownDataFolder();
    const QString file = own + QStringLiteral("/icons/hicolor/256x256/apps/plim.png");
    if (own.isEmpty() || !QFileInfo::exists(file)) {
        return name;
    }
    // The theme is looked up in the data folders; a build or an unpacked package is in none of them.
    const QString ownCanonical = QFileInfo(own).canonicalFilePath();
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        if (QFileInfo(folder).canonicalFilePath() == ownCanonical) {
            return name;
        }
    }
    return QUrl::fromLocalFile(file).toString();
}

QColor colorFor(const QColor& panelBackground) {
    return Theme::colors(isDark(panelBackground) ? Appearance::Dark : Appearance::Light).ink;
}

QIcon icon(bool dot, const QColor& color) {
    // QIcon takes ownership of its engine.
    return QIcon(new MarkEngine(dot, color));
}

} // namespace plim::Mark
