#include "ui/theme/Theme.h"

#include "support/FakePortal.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <optional>

using namespace plim;
using plim::test::waitFor;
using namespace Qt::Literals::StringLiterals;

namespace {

TEST(Theme, ColourFromHex) {
    for (const auto& [hex, rgb] :
         {std::pair{u"#0E6E64"_s, qRgb(14, 110, 100)}, std::pair{u"#15171B"_s, qRgb(0x15, 0x17, 0x1B)},
          std::pair{u"#ffffff"_s, qRgb(255, 255, 255)}}) {
        EXPECT_EQ(colorFromHex(hex).value_or(QColor()).rgba(), rgb) << hex.toStdString();
    }
    for (const QString& hex :
         {u"0E6E64"_s, u"#0E6E6"_s, u"#0E6E64F"_s, u"#0G6E64"_s, u"#0x6E64"_s, u"# E6E64"_s, QString()}) {
        EXPECT_EQ(colorFromHex(hex), std::nullopt) << hex.toStdString();
    }
}

TEST(Theme, DesktopPreferenceElsePaletteChoosesTheColumn) {
    // The desktop's preference over the palette, either way; without one (0, none, or a value the
    // portal does not define) the palette, high-contrast light among them.
    const std::tuple<std::optional<uint>, QColor, Appearance> cases[] = {
        {1u, Qt::white, Appearance::Dark},
        {2u, Qt::black, Appearance::Light},
        {0u, QColor(0x20, 0x20, 0x20), Appearance::Dark},
        {std::nullopt, QColor(0xEF, 0xF0, 0xF1), Appearance::Light},
        {std::nullopt, Qt::white, Appearance::Light},
        {std::nullopt, QColor(0x7F, 0x7F, 0x7F), Appearance::Dark},
        {std::nullopt, QColor(0x80, 0x80, 0x80), Appearance::Light},
        {7u, Qt::black, Appearance::Dark},
    };
    for (const auto& [scheme, window, expected] : cases) {
        EXPECT_EQ(Theme::appearanceFor(scheme, window), expected)
            << scheme.value_or(99) << " " << window.name().toStdString();
    }
}

using test::FakePortal;
const QString kAppearance = u"org.freedesktop.appearance"_s;
const QString kColorScheme = u"color-scheme"_s;
const QString kGnome = u"org.gnome.desktop.interface"_s;
const QString kAnimations = u"enable-animations"_s;
const QString kKde = u"org.kde.kdeglobals.KDE"_s;
const QString kFactor = u"AnimationDurationFactor"_s;

TEST(Theme, ReadsThePortalWithoutWaitingForIt) {
    // ReadOne known, the settings: the appearance and reduced motion. A portal from before ReadOne is read with Read.
    const std::tuple<bool, std::map<std::pair<QString, QString>, QVariant>, Appearance, bool> cases[] = {
        {true, {{{kAppearance, kColorScheme}, 1u}, {{kGnome, kAnimations}, false}}, Appearance::Dark, true},
        {false, {{{kAppearance, kColorScheme}, 1u}, {{kKde, kFactor}, 0.0}}, Appearance::Dark, true},
        {true, {{{kAppearance, kColorScheme}, 0u}}, Appearance::Light, false},
        {true, {{{kKde, kFactor}, 1.0}}, Appearance::Light, false},
    };
    for (const auto& [readOneKnown, settings, appearance, reduceMotion] : cases) {
        SCOPED_TRACE(settings.begin()->first.second.toStdString());
        FakePortal portal({.settings = settings, .readOneKnown = readOneKnown});
        ASSERT_TRUE(portal.registered);
        QElapsedTimer clock;
        clock.start();
        Theme theme(QDBusConnection::sessionBus(), Theme::Options{});
        // The offscreen palette is light, and nothing is known of the portal yet.
        EXPECT_EQ(theme.appearance(), Appearance::Light);
        EXPECT_LT(clock.elapsed(), 200);
        // Three settings, each read once (twice with ReadOne unknown) and the missing ones refused.
        EXPECT_TRUE(waitFor([&] { return portal.reads == 3; }));
        QTest::qWait(50);
        EXPECT_EQ(theme.appearance(), appearance);
        EXPECT_EQ(theme.reduceMotion(), reduceMotion);
        EXPECT_EQ(theme.ink(), Theme::colors(appearance).ink);
    }
}

TEST(Theme, FollowsThePortalsChanges) {
    FakePortal portal({.settings = {{{kAppearance, kColorScheme}, QVariant(2u)}}});
    ASSERT_TRUE(portal.registered);
    Theme theme(QDBusConnection::sessionBus(), Theme::Options{});
    QSignalSpy appearance(&theme, &Theme::appearanceChanged);
    QSignalSpy motion(&theme, &Theme::reduceMotionChanged);
    ASSERT_TRUE(waitFor([&] { return portal.reads == 3; }));
    QTest::qWait(50);
    EXPECT_EQ(appearance.count(), 0); // light as the palette already was

    portal.changeSetting(kAppearance, kColorScheme, 1u);
    ASSERT_TRUE(waitFor([&] { return appearance.count() == 1; }));
    EXPECT_EQ(theme.appearance(), Appearance::Dark);
    EXPECT_EQ(theme.ground(), Theme::colors(Appearance::Dark).ground);

    portal.changeSetting(kAppearance, kColorScheme, 0u);
    ASSERT_TRUE(waitFor([&] { return appearance.count() == 2; }));
    EXPECT_EQ(theme.appearance(), Appearance::Light);

    portal.changeSetting(kGnome, kAnimations, false);
    ASSERT_TRUE(waitFor([&] { return motion.count() == 1; }));
    EXPECT_TRUE(theme.reduceMotion());
    portal.changeSetting(kGnome, u"cursor-size"_s, 48);
    QTest::qWait(50);
    EXPECT_EQ(motion.count(), 1);
    EXPECT_EQ(appearance.count(), 2);
}

TEST(Theme, AnAnswerToAnEarlierReadDoesNotUndoAChange) {
    FakePortal portal(
        {.settings = {{{kAppearance, kColorScheme}, QVariant(1u)}, {{kGnome, kAnimations}, QVariant(true)}}});
    ASSERT_TRUE(portal.registered);
    portal.holdAnswers = true;
    Theme theme(QDBusConnection::sessionBus(), Theme::Options{});
    ASSERT_TRUE(waitFor([&] { return portal.reads == 3; }));
    // The user switches to light, and animations off, before the first answers come.
    portal.changeSetting(kAppearance, kColorScheme, 2u);
    portal.changeSetting(kGnome, kAnimations, false);
    ASSERT_TRUE(waitFor([&] { return theme.reduceMotion(); }));
    portal.answerHeld();
    QTest::qWait(100);
    EXPECT_EQ(theme.appearance(), Appearance::Light);
    EXPECT_TRUE(theme.reduceMotion());
}

} // namespace
