#include "platform/linux/PortalHotKeys.h"

#include "support/FakePortal.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace plim;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

using test::FakePortal;

constexpr QKeyCombination kCtrlAltSpace(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space);
constexpr QKeyCombination kCtrlAltN(Qt::ControlModifier | Qt::AltModifier, Qt::Key_N);
constexpr QKeyCombination kCtrlAltShiftV(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, Qt::Key_V);

bool waitFor(const std::function<bool()>& condition, int ms = 5000) {
    return QTest::qWaitFor(condition, ms);
}

// Holds the two combinations as the program does at start.
std::unique_ptr<PortalHotKeys> holdingTwo(std::chrono::milliseconds answerWithin = 5s) {
    auto keys = std::make_unique<PortalHotKeys>(QDBusConnection::sessionBus(), answerWithin);
    keys->describe(kCtrlAltSpace, u"capture"_s, u"Open or close the capture drawer"_s);
    EXPECT_EQ(keys->grab(kCtrlAltSpace), std::nullopt);
    keys->describe(kCtrlAltShiftV, u"captureClipboard"_s, u"Save the clipboard as a note"_s);
    EXPECT_EQ(keys->grab(kCtrlAltShiftV), std::nullopt);
    return keys;
}

TEST(PortalHotKeys, TriggersInTheShortcutsNotation) {
    const struct {
        QKeyCombination combination;
        std::optional<QString> trigger;
    } cases[] = {
        {kCtrlAltSpace, u"CTRL+ALT+space"_s},
        {kCtrlAltShiftV, u"CTRL+ALT+SHIFT+v"_s},
        {QKeyCombination(Qt::MetaModifier, Qt::Key_F5), u"LOGO+F5"_s},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_BracketLeft), u"CTRL+bracketleft"_s},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_PageUp), u"CTRL+Prior"_s},
        {QKeyCombination(Qt::ControlModifier, Qt::Key_Launch0), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortalHotKeys::trigger(c.combination), c.trigger) << c.combination.toCombined();
    }
}

TEST(PortalHotKeys, BindsWhatIsHeldUnderStableIdsAndRunsWhatIsActivated) {
    // The user gave the capture other keys in the desktop's settings some time ago.
    FakePortal portal({.refused = {}, .triggers = {{u"capture"_s, u"Super+C"_s}}});
    ASSERT_TRUE(portal.registered);
    auto keys = holdingTwo();
    QSignalSpy pressed(keys.get(), &GlobalHotKeys::pressed);
    QSignalSpy keysChanged(keys.get(), &GlobalHotKeys::keysChanged);
    ASSERT_TRUE(waitFor([&] { return portal.binds.size() == 1; }));
    ASSERT_EQ(portal.sessions.size(), 1);
    EXPECT_EQ(portal.bindSessions, portal.sessions);
    const QList<PortalShortcut> expected = {
        {u"capture"_s,
         {{u"description"_s, u"Open or close the capture drawer"_s}, {u"preferred_trigger"_s, u"CTRL+ALT+space"_s}}},
        {u"captureClipboard"_s,
         {{u"description"_s, u"Save the clipboard as a note"_s}, {u"preferred_trigger"_s, u"CTRL+ALT+SHIFT+v"_s}}},
    };
    EXPECT_EQ(portal.binds.front(), expected);
    // The keys are the desktop's: its choice, else what was asked for.
    ASSERT_TRUE(waitFor([&] { return keys->keysOf(kCtrlAltSpace) == u"Super+C"_s; }));
    EXPECT_EQ(keys->keysOf(kCtrlAltShiftV), u"CTRL+ALT+SHIFT+v"_s);
    EXPECT_EQ(keysChanged.size(), 1);

    // Another session's shortcut, and an id never bound, run nothing.
    portal.activate(portal.sessions.front() + u"x"_s, u"capture"_s);
    portal.activate(portal.sessions.front(), u"manage"_s);
    portal.activate(portal.sessions.front(), u"capture"_s);
    ASSERT_TRUE(waitFor([&] { return pressed.size() == 1; }));
    QTest::qWait(50);
    ASSERT_EQ(pressed.size(), 1);
    EXPECT_EQ(pressed.front().front().value<QKeyCombination>(), kCtrlAltSpace);
    EXPECT_TRUE(keys->isAvailable());

    // One let go of stays bound, without a new bind (and dialog), but runs nothing.
    keys->release(kCtrlAltShiftV);
    portal.activate(portal.sessions.front(), u"captureClipboard"_s);
    QTest::qWait(100);
    EXPECT_EQ(pressed.size(), 1);
    EXPECT_EQ(portal.binds.size(), 1);

    // Other keys for the capture: bound in a fresh session under the same id, so the desktop's list
    // keeps one entry for it; the old session's shortcuts no longer run.
    keys->release(kCtrlAltSpace);
    keys->describe(kCtrlAltN, u"capture"_s, u"Open or close the capture drawer"_s);
    EXPECT_EQ(keys->grab(kCtrlAltN), std::nullopt);
    ASSERT_TRUE(waitFor([&] { return portal.binds.size() == 2; }));
    ASSERT_EQ(portal.sessions.size(), 2);
    EXPECT_EQ(portal.bindSessions.back(), portal.sessions.back());
    ASSERT_EQ(portal.binds.back().size(), 1);
    EXPECT_EQ(portal.binds.back().front().id, u"capture"_s);
    EXPECT_EQ(portal.binds.back().front().properties.value(u"preferred_trigger"_s), u"CTRL+ALT+n"_s);
    ASSERT_TRUE(waitFor([&] { return keys->keysOf(kCtrlAltN) == u"Super+C"_s; }));
    portal.activate(portal.sessions.front(), u"capture"_s);
    portal.activate(portal.sessions.back(), u"capture"_s);
    ASSERT_TRUE(waitFor([&] { return pressed.size() == 2; }));
    QTest::qWait(50);
    ASSERT_EQ(pressed.size(), 2);
    EXPECT_EQ(pressed.back().front().value<QKeyCombination>(), kCtrlAltN);

    // The user changes the keys in the desktop's settings.
    portal.changeShortcuts(portal.sessions.back(), {{u"capture"_s, {{u"trigger_description"_s, u"Super+X"_s}}}});
    ASSERT_TRUE(waitFor([&] { return keys->keysOf(kCtrlAltN) == u"Super+X"_s; }));
    EXPECT_EQ(keysChanged.size(), 2);
}

TEST(PortalHotKeys, WhatThePortalOrTheUserTurnsDownIsLost) {
    const struct {
        const char* name;
        FakePortal::Options options;
        QList<QKeyCombination> lost;
        int status;
    } cases[] = {
        {"one left out", {.refused = {u"captureClipboard"_s}, .triggers = {}}, {kCtrlAltShiftV}, 2},
        {"dialog cancelled", {.bindResponse = 1, .refused = {}, .triggers = {}}, {kCtrlAltSpace, kCtrlAltShiftV}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakePortal portal(c.options);
        ASSERT_TRUE(portal.registered);
        auto keys = holdingTwo();
        QSignalSpy lost(keys.get(), &GlobalHotKeys::lost);
        ASSERT_TRUE(waitFor([&] { return lost.size() == c.lost.size(); }));
        for (qsizetype i = 0; i < c.lost.size(); ++i) {
            EXPECT_EQ(lost.at(i).at(0).value<QKeyCombination>(), c.lost.at(i));
            EXPECT_EQ(lost.at(i).at(1).value<GlobalHotKeys::Refusal>(), (GlobalHotKeys::Refusal{c.status, true}));
        }
        // The desktop still offers shortcuts; only these were refused.
        EXPECT_TRUE(keys->isAvailable());
        QTest::qWait(50);
        EXPECT_EQ(portal.binds.size(), 1);
    }
}

TEST(PortalHotKeys, NoPortalOrOneThatNeverAnswersMakesShortcutsUnavailableWithoutWaiting) {
    const struct {
        const char* name;
        bool present;
        FakePortal::Options options;
    } cases[] = {
        {"no portal", false, {}},
        {"session refused", true, {.sessionResponse = 2, .refused = {}, .triggers = {}}},
        {"never answers", true, {.answersSession = false, .refused = {}, .triggers = {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<FakePortal> portal = c.present ? std::make_unique<FakePortal>(c.options) : nullptr;
        QElapsedTimer clock;
        clock.start();
        auto keys = holdingTwo(300ms);
        // Start-up goes on at once: the grabs are taken on trust.
        EXPECT_LT(clock.elapsed(), 200);
        EXPECT_TRUE(keys->isAvailable());
        QSignalSpy changed(keys.get(), &GlobalHotKeys::availabilityChanged);
        ASSERT_TRUE(waitFor([&] { return changed.size() == 1; }, 2000));
        EXPECT_FALSE(keys->isAvailable());
        EXPECT_LT(clock.elapsed(), 1500);
        if (portal) {
            EXPECT_TRUE(portal->binds.isEmpty());
        }
    }
}

TEST(PortalHotKeys, WithoutASessionBusNothingIsOffered) {
    PortalHotKeys keys(QDBusConnection(u"not-connected"_s));
    EXPECT_FALSE(keys.isAvailable());
    EXPECT_EQ(keys.grab(kCtrlAltSpace), std::nullopt);
}

} // namespace
