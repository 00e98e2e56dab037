#include "ui/theme/Mark.h"
#include "ui/theme/Theme.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

using namespace plim;

namespace {

// WCAG contrast ratio of two opaque colours.
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return la > lb ? la / lb : lb / la;
}

TEST(Mark, IsDrawnAtTheSizeAndPixelRatioAskedFor) {
    // A panel slot wider than tall gets the centred square.
    const std::tuple<QSize, qreal, bool> cases[] = {{{22, 22}, 1, false}, {{22, 22}, 1, true},   {{22, 22}, 2, true},
                                                    {{16, 16}, 1, true},  {{24, 24}, 1.5, true}, {{32, 24}, 1, true}};
    for (const auto& [size, ratio, dot] : cases) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " @" << ratio
                                        << (dot ? " dot" : ""));
        const QImage image = Mark::image(size, ratio, dot, Qt::black);
        ASSERT_EQ(image.size(), QSize(std::lround(size.width() * ratio), std::lround(size.height() * ratio)));
        EXPECT_EQ(image.devicePixelRatio(), ratio);

        // Design units to image pixels.
        // The dot, where nothing else is drawn (design units to image pixels).
        const qreal side = std::min(size.width(), size.height()) * ratio;
        const QPointF origin((image.width() - side) / 2, (image.height() - side) / 2);
        const QPoint dotCentre = (origin + QPointF(16.25, 8) * (side / Mark::designSide)).toPoint();
        EXPECT_EQ(qAlpha(image.pixel(dotCentre)), dot ? 255 : 0);
    }
}

TEST(Mark, ReadsOnDarkAndLightPanels) {
    // Black and white, usual dark and light panels, and the two greys either side of the middle.
    for (const char* hex : {"#000000", "#242424", "#2E3440", "#31363B", "#7F7F7F", "#808080", "#D6D6D6", "#EFF0F1",
                            "#F6F5F4", "#FFFFFF"}) {
        SCOPED_TRACE(hex);
        const QColor ground(QLatin1String{hex});
        const QColor ink = Mark::colorFor(ground);
        // Graphical objects want 3:1 against what is next to them; away from the middle grey, text's 4.5:1.
        const bool extreme = ground.lightness() < 80 || ground.lightness() > 175;
        EXPECT_GE(contrast(ink, ground), extreme ? 4.5 : 3.0) << ink.name().toStdString();

        // On the panel, the handle's middle is the ink itself.
        QImage panel(22, 22, QImage::Format_ARGB32_Premultiplied);
        panel.fill(ground);
        {
            QPainter painter(&panel);
            painter.drawImage(0, 0, Mark::image({22, 22}, 1, true, ink));
        }
        const QColor handle = panel.pixelColor(11, 11);
        EXPECT_EQ(handle.rgb(), ink.rgb()) << handle.name().toStdString();
    }
}

// The program's icon: the tile fills the square but for its rounded corners, the mark stands on it
// in the ground colour, at every size the package installs.
TEST(Mark, ApplicationIconIsTheMarkOnItsTileAtEverySize) {
    const ThemeColors& light = Theme::colors(Appearance::Light);
    for (const int side : {16, 22, 32, 48, 256, 512}) {
        SCOPED_TRACE(side);
        const QImage image = Mark::applicationImage(side);
        ASSERT_EQ(image.size(), QSize(side, side));
        const qreal unit = side / Mark::applicationSide;
        const auto at = [&](qreal x, qreal y) {
            return image.pixelColor(static_cast<int>(x * unit), static_cast<int>(y * unit));
        };
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(side - 1, side - 1)), 0);
        // Beside the drawer, and the middle of its bar (design units shifted by the tile's margin).
        EXPECT_EQ(at(4, 18).rgba(), light.highlighter.rgba());
        if (side >= 32) { // smaller, the stroke is blended into the tile
            EXPECT_EQ(at(12, 3 + 4.125).rgb(), light.ground.rgb());
        }
    }
    const QByteArray svg = Mark::applicationSvg();
    EXPECT_TRUE(svg.contains("viewBox=\"0 0 24 24\"")) << svg.constData();
    EXPECT_TRUE(svg.contains("fill=\"" + light.highlighter.name().toLatin1() + '"')) << svg.constData();
}

} // namespace
