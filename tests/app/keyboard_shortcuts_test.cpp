#include "app/KeyboardShortcuts.h"

#include "store/Preferences.h"

#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace plim;
using namespace Qt::Literals::StringLiterals;
using Shortcut = KeyboardShortcuts::Shortcut;
using Name = KeyboardShortcuts::Name;

namespace {

TEST(Shortcuts, EveryCodeInTheTableComesBackFromItsKey) {
    std::set<int> keys;
    int known = 0;
    for (int code = 0; code < 256; ++code) {
        const auto key = KeyboardShortcuts::qtKey(code);
        if (!key) {
            EXPECT_FALSE(KeyboardShortcuts::keyName(code)) << code;
            continue;
        }
        ++known;
        EXPECT_EQ(KeyboardShortcuts::carbonKeyCode(*key), code) << code;
        EXPECT_TRUE(keys.insert(int(*key)).second) << "two codes for one key at " << code;
    }
    // 26 letters, 10 digits, 11 punctuation keys, 20 function keys, 19 others.
    EXPECT_EQ(known, 86);
}

TEST(Shortcuts, ModifiersMapBothWays) {
    const std::pair<Qt::KeyboardModifiers, int> cases[] = {
        {Qt::NoModifier, 0},     {Qt::ControlModifier, 4096},
        {Qt::AltModifier, 2048}, {Qt::ShiftModifier, 512},
        {Qt::MetaModifier, 256}, {Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier, 6912}};
    for (const auto& [qt, mask] : cases) {
        EXPECT_EQ(KeyboardShortcuts::carbonModifiers(qt), mask);
        EXPECT_EQ(KeyboardShortcuts::qtModifiers(mask), qt);
    }
    // The keypad and function bits are no modifiers here.
    EXPECT_EQ(KeyboardShortcuts::carbonModifiers(Qt::KeypadModifier | Qt::ControlModifier), 4096);
    EXPECT_EQ(KeyboardShortcuts::qtModifiers(131072 | 512), Qt::ShiftModifier);
}

TEST(Shortcuts, MadeFromAKeyPressAndDescribedModifiersFirst) {
    EXPECT_EQ(Shortcut::make(Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier), (Shortcut{49, 6144}));
    // Ctrl+Shift+/ arrives as "?".
    EXPECT_EQ(Shortcut::make(Qt::Key_Question, Qt::ControlModifier | Qt::ShiftModifier), (Shortcut{44, 4608}));
    const std::pair<Shortcut, QString> cases[] = {{{49, 6144}, u"Ctrl+Alt+Space"_s},
                                                  {{9, 6656}, u"Ctrl+Alt+Shift+V"_s},
                                                  {{1, 256 | 512 | 2048 | 4096}, u"Ctrl+Alt+Shift+Super+S"_s},
                                                  {{126, 131072 | 2048}, u"Alt+Up"_s},
                                                  {{10, 4096}, u"Ctrl+Key 10"_s}};
    for (const auto& [shortcut, shown] : cases) {
        EXPECT_EQ(shortcut.presentableDescription(), shown);
    }
}

TEST(Shortcuts, StoredTextIsReadOnlyAsAWholeShortcut) {
    const std::pair<QString, std::optional<Shortcut>> cases[] = {
        {u"{\"carbonKeyCode\":9,\"carbonModifiers\":6656}"_s, Shortcut{9, 6656}},
        {u" { \"carbonModifiers\" : 0 , \"carbonKeyCode\" : 96 } "_s, Shortcut{96, 0}},
        {u"{\"carbonKeyCode\":49}"_s, std::nullopt},
        {u"{\"carbonKeyCode\":49.5,\"carbonModifiers\":0}"_s, std::nullopt},
        {u"{\"carbonKeyCode\":1e40,\"carbonModifiers\":0}"_s, std::nullopt},
        {u"{\"carbonKeyCode\":49,"_s, std::nullopt},
    };
    for (const auto& [text, shortcut] : cases) {
        EXPECT_EQ(Shortcut::fromJson(text), shortcut) << text.toStdString();
    }
}

// Each launch of the program reads the settings afresh from the file.
class Storage : public ::testing::Test {
protected:
    std::unique_ptr<Preferences> launch() { return std::make_unique<Preferences>(file); }
    QTemporaryDir dir;
    QString file = dir.filePath(u"plim.conf"_s);
};

TEST_F(Storage, TheFirstLaunchStoresTheDefaultsAndChangesSurviveLaterLaunches) {
    {
        auto preferences = launch();
        KeyboardShortcuts shortcuts(*preferences);
        for (const auto& [name, json] :
             {std::pair{"capture", "{\"carbonKeyCode\":49,\"carbonModifiers\":6144}"},
              std::pair{"manage", "{\"carbonKeyCode\":49,\"carbonModifiers\":6656}"},
              std::pair{"captureClipboard", "{\"carbonKeyCode\":9,\"carbonModifiers\":6656}"}}) {
            EXPECT_EQ(preferences->value(u"KeyboardShortcuts_"_s + QLatin1String(name)), QLatin1String(json));
        }
        QSignalSpy changed(&shortcuts, &KeyboardShortcuts::shortcutByNameDidChange);
        QSignalSpy preferencesChanged(preferences.get(), &Preferences::changed);
        shortcuts.setShortcut(Shortcut{45, 6144}, Name::manage());
        shortcuts.setShortcut(std::nullopt, Name::capture());
        shortcuts.setShortcut(std::nullopt, Name::capture()); // removing again changes nothing
        ASSERT_EQ(changed.count(), 2);
        EXPECT_EQ(changed.at(0).at(0), u"manage"_s);
        EXPECT_EQ(changed.at(1).at(0), u"capture"_s);
        EXPECT_EQ(preferencesChanged.count(), 0); // the notes do not reload for a shortcut
    }
    auto later = launch();
    KeyboardShortcuts again(*later);
    EXPECT_EQ(Preferences::toBool(later->value(u"KeyboardShortcuts_capture"_s)), false);
    EXPECT_EQ(again.getShortcut(Name::manage()), (Shortcut{45, 6144}));
    EXPECT_EQ(again.getShortcut(Name::capture()), std::nullopt);
    EXPECT_EQ(again.getShortcut(Name::captureClipboard()), (Shortcut{9, 6656}));
}

TEST_F(Storage, WhatTheUserStoredIsReadAndNeverReplacedByTheDefault) {
    const std::pair<QByteArray, std::optional<Shortcut>> cases[] = {
        {R"(KeyboardShortcuts_capture="{\"carbonKeyCode\":12,\"carbonModifiers\":4096}")", Shortcut{12, 4096}},
        // The settings file drops the inner quotes of an unquoted value and splits it at commas.
        {R"(KeyboardShortcuts_capture={"carbonKeyCode":12,"carbonModifiers":4096})", std::nullopt},
        {"KeyboardShortcuts_capture=", std::nullopt},
    };
    int files = 0;
    for (const auto& [line, shortcut] : cases) {
        SCOPED_TRACE(line.toStdString());
        file = dir.filePath(u"%1.conf"_s.arg(++files)); // settings are cached per file name
        ASSERT_TRUE(plim::test::writeAll(file, "[General]\n" + line + "\n"));
        for (int run = 0; run < 2; ++run) {
            auto preferences = launch();
            EXPECT_EQ(KeyboardShortcuts(*preferences).getShortcut(Name::capture()), shortcut);
        }
    }
}

} // namespace
