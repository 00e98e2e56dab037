#include "app/KeyboardShortcuts.h"

#include "notes/Preferences.h"

#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

using namespace plim;
using namespace Qt::Literals::StringLiterals;
using Shortcut = KeyboardShortcuts::Shortcut;
using Name = KeyboardShortcuts::Name;

namespace {

// --- The key table ---

struct KeyCase {
    int code;
    Qt::Key key;
    QString name;
};

class KeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTable, MapsBothWays) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(KeyboardShortcuts::qtKey(c.code), c.key);
    EXPECT_EQ(KeyboardShortcuts::carbonKeyCode(c.key), c.code);
    EXPECT_EQ(KeyboardShortcuts::keyName(c.code), c.name);
}

INSTANTIATE_TEST_SUITE_P(
    Shortcuts, KeyTable,
    ::testing::Values(KeyCase{0, Qt::Key_A, u"A"_s}, KeyCase{1, Qt::Key_S, u"S"_s}, KeyCase{2, Qt::Key_D, u"D"_s},
                      KeyCase{3, Qt::Key_F, u"F"_s}, KeyCase{4, Qt::Key_H, u"H"_s}, KeyCase{5, Qt::Key_G, u"G"_s},
                      KeyCase{6, Qt::Key_Z, u"Z"_s}, KeyCase{7, Qt::Key_X, u"X"_s}, KeyCase{8, Qt::Key_C, u"C"_s},
                      KeyCase{9, Qt::Key_V, u"V"_s}, KeyCase{11, Qt::Key_B, u"B"_s}, KeyCase{12, Qt::Key_Q, u"Q"_s},
                      KeyCase{13, Qt::Key_W, u"W"_s}, KeyCase{14, Qt::Key_E, u"E"_s}, KeyCase{15, Qt::Key_R, u"R"_s},
                      KeyCase{16, Qt::Key_Y, u"Y"_s}, KeyCase{17, Qt::Key_T, u"T"_s}, KeyCase{18, Qt::Key_1, u"1"_s},
                      KeyCase{22, Qt::Key_6, u"6"_s}, KeyCase{23, Qt::Key_5, u"5"_s}, KeyCase{29, Qt::Key_0, u"0"_s},
                      KeyCase{31, Qt::Key_O, u"O"_s}, KeyCase{45, Qt::Key_N, u"N"_s}, KeyCase{46, Qt::Key_M, u"M"_s},
                      KeyCase{36, Qt::Key_Return, u"Return"_s}, KeyCase{48, Qt::Key_Tab, u"Tab"_s},
                      KeyCase{49, Qt::Key_Space, u"Space"_s}, KeyCase{51, Qt::Key_Backspace, u"Backspace"_s},
                      KeyCase{53, Qt::Key_Escape, u"Esc"_s}, KeyCase{117, Qt::Key_Delete, u"Del"_s},
                      KeyCase{44, Qt::Key_Slash, u"/"_s}, KeyCase{43, Qt::Key_Comma, u","_s},
                      KeyCase{50, Qt::Key_QuoteLeft, u"`"_s}, KeyCase{76, Qt::Key_Enter, u"Enter"_s},
                      KeyCase{122, Qt::Key_F1, u"F1"_s}, KeyCase{120, Qt::Key_F2, u"F2"_s},
                      KeyCase{96, Qt::Key_F5, u"F5"_s}, KeyCase{111, Qt::Key_F12, u"F12"_s},
                      KeyCase{123, Qt::Key_Left, u"Left"_s}, KeyCase{124, Qt::Key_Right, u"Right"_s},
                      KeyCase{125, Qt::Key_Down, u"Down"_s}, KeyCase{126, Qt::Key_Up, u"Up"_s},
                      KeyCase{115, Qt::Key_Home, u"Home"_s}, KeyCase{121, Qt::Key_PageDown, u"PgDown"_s}));

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

struct ShiftedCase {
    Qt::Key reported;
    int code;
};

class Shifted : public ::testing::TestWithParam<ShiftedCase> {};

TEST_P(Shifted, CountsAsTheKeyPressed) {
    EXPECT_EQ(KeyboardShortcuts::carbonKeyCode(GetParam().reported), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Shortcuts, Shifted,
                         ::testing::Values(ShiftedCase{Qt::Key_Question, 44}, ShiftedCase{Qt::Key_Exclam, 18},
                                           ShiftedCase{Qt::Key_ParenRight, 29}, ShiftedCase{Qt::Key_Plus, 24},
                                           ShiftedCase{Qt::Key_Backtab, 48}, ShiftedCase{Qt::Key_AsciiTilde, 50}));

TEST(Shortcuts, KeysOutsideTheTableHaveNoCode) {
    EXPECT_FALSE(KeyboardShortcuts::carbonKeyCode(Qt::Key_Shift));
    EXPECT_FALSE(KeyboardShortcuts::carbonKeyCode(Qt::Key_Adiaeresis));
    EXPECT_FALSE(KeyboardShortcuts::qtKey(10));
    EXPECT_FALSE(KeyboardShortcuts::qtKey(-1));
    EXPECT_FALSE(Shortcut::make(Qt::Key_Control, Qt::ControlModifier));
}

// --- Modifiers ---

struct ModifierCase {
    Qt::KeyboardModifiers qt;
    int mask;
};

class Modifiers : public ::testing::TestWithParam<ModifierCase> {};

TEST_P(Modifiers, MapBothWays) {
    EXPECT_EQ(KeyboardShortcuts::carbonModifiers(GetParam().qt), GetParam().mask);
    EXPECT_EQ(KeyboardShortcuts::qtModifiers(GetParam().mask), GetParam().qt);
}

INSTANTIATE_TEST_SUITE_P(
    Shortcuts, Modifiers,
    ::testing::Values(ModifierCase{Qt::NoModifier, 0}, ModifierCase{Qt::ControlModifier, 4096},
                      ModifierCase{Qt::AltModifier, 2048}, ModifierCase{Qt::ShiftModifier, 512},
                      ModifierCase{Qt::MetaModifier, 256}, ModifierCase{Qt::ControlModifier | Qt::AltModifier, 6144},
                      ModifierCase{Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, 6656},
                      ModifierCase{Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier,
                                   6912}));

TEST(Shortcuts, KeypadAndFunctionBitsAreNotModifiersHere) {
    EXPECT_EQ(KeyboardShortcuts::carbonModifiers(Qt::KeypadModifier | Qt::ControlModifier), 4096);
    EXPECT_EQ(KeyboardShortcuts::qtModifiers(131072 | 512), Qt::ShiftModifier);
}

// --- Displayed form ---

struct DescriptionCase {
    Shortcut shortcut;
    QString shown;
};

class Description : public ::testing::TestWithParam<DescriptionCase> {};

TEST_P(Description, NamesModifiersInOrderThenTheKey) {
    EXPECT_EQ(GetParam().shortcut.presentableDescription(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Shortcuts, Description,
                         ::testing::Values(DescriptionCase{{49, 6144}, u"Ctrl+Alt+Space"_s},
                                           DescriptionCase{{49, 6656}, u"Ctrl+Alt+Shift+Space"_s},
                                           DescriptionCase{{9, 6656}, u"Ctrl+Alt+Shift+V"_s},
                                           DescriptionCase{{45, 4096 | 2048}, u"Ctrl+Alt+N"_s},
                                           DescriptionCase{{1, 256 | 512 | 2048 | 4096}, u"Ctrl+Alt+Shift+Super+S"_s},
                                           DescriptionCase{{96, 0}, u"F5"_s},
                                           DescriptionCase{{126, 131072 | 2048}, u"Alt+Up"_s},
                                           DescriptionCase{{10, 4096}, u"Ctrl+Key 10"_s}));

TEST(Shortcuts, MadeFromAKeyPress) {
    const auto shortcut = Shortcut::make(Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_TRUE(shortcut);
    EXPECT_EQ(*shortcut, (Shortcut{49, 6144}));
    EXPECT_EQ(shortcut->key(), Qt::Key_Space);
    EXPECT_EQ(shortcut->modifiers(), Qt::ControlModifier | Qt::AltModifier);
    // Ctrl+Shift+/ arrives as "?".
    EXPECT_EQ(Shortcut::make(Qt::Key_Question, Qt::ControlModifier | Qt::ShiftModifier), (Shortcut{44, 4608}));
}

// --- Stored form ---

TEST(Shortcuts, EncodesAsTheStoredJson) {
    EXPECT_EQ((Shortcut{49, 6144}).json(), u"{\"carbonKeyCode\":49,\"carbonModifiers\":6144}"_s);
}

struct DecodeCase {
    std::string name;
    QString text;
    std::optional<Shortcut> shortcut;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, AcceptsOnlyAWholeShortcut) {
    EXPECT_EQ(Shortcut::fromJson(GetParam().text), GetParam().shortcut);
}

INSTANTIATE_TEST_SUITE_P(
    Shortcuts, Decode,
    ::testing::Values(
        DecodeCase{"Stored", u"{\"carbonKeyCode\":9,\"carbonModifiers\":6656}"_s, Shortcut{9, 6656}},
        DecodeCase{"OtherOrderAndSpaces", u" { \"carbonModifiers\" : 0 , \"carbonKeyCode\" : 96 } "_s, Shortcut{96, 0}},
        DecodeCase{"ExtraMember", u"{\"carbonKeyCode\":1,\"carbonModifiers\":256,\"x\":true}"_s, Shortcut{1, 256}},
        DecodeCase{"MissingModifiers", u"{\"carbonKeyCode\":49}"_s, std::nullopt},
        DecodeCase{"Fraction", u"{\"carbonKeyCode\":49.5,\"carbonModifiers\":0}"_s, std::nullopt},
        DecodeCase{"NumberAsText", u"{\"carbonKeyCode\":\"49\",\"carbonModifiers\":0}"_s, std::nullopt},
        DecodeCase{"Negative", u"{\"carbonKeyCode\":-1,\"carbonModifiers\":0}"_s, std::nullopt},
        DecodeCase{"Huge", u"{\"carbonKeyCode\":1e40,\"carbonModifiers\":0}"_s, std::nullopt},
        DecodeCase{"Array", u"[49,6144]"_s, std::nullopt}, DecodeCase{"False", u"false"_s, std::nullopt},
        DecodeCase{"Truncated", u"{\"carbonKeyCode\":49,"_s, std::nullopt},
        DecodeCase{"Empty", QString(), std::nullopt}),
    [](const auto& p) { return p.param.name; });

// --- Storage in the settings file ---

class Storage : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.filePath(u"plim.conf"_s);

    // One launch of the program: settings read afresh from the file.
    std::unique_ptr<Preferences> launch() { return std::make_unique<Preferences>(file); }
};

TEST_F(Storage, FirstLaunchStoresTheDefaults) {
    auto preferences = launch();
    KeyboardShortcuts shortcuts(*preferences);
    EXPECT_EQ(preferences->value(u"KeyboardShortcuts_capture"_s).toString(),
              u"{\"carbonKeyCode\":49,\"carbonModifiers\":6144}"_s);
    EXPECT_EQ(preferences->value(u"KeyboardShortcuts_manage"_s).toString(),
              u"{\"carbonKeyCode\":49,\"carbonModifiers\":6656}"_s);
    EXPECT_EQ(preferences->value(u"KeyboardShortcuts_captureClipboard"_s).toString(),
              u"{\"carbonKeyCode\":9,\"carbonModifiers\":6656}"_s);

    // Read back by a later launch, through the file.
    auto later = launch();
    KeyboardShortcuts again(*later);
    EXPECT_EQ(again.getShortcut(Name::capture()), (Shortcut{49, 6144}));
    EXPECT_EQ(again.getShortcut(Name::manage()), (Shortcut{49, 6656}));
    EXPECT_EQ(again.getShortcut(Name::captureClipboard()), (Shortcut{9, 6656}));
    EXPECT_EQ(again.current(),
              (KeysGuide::Shortcuts{u"Ctrl+Alt+Space"_s, u"Ctrl+Alt+Shift+Space"_s, u"Ctrl+Alt+Shift+V"_s}));
}

TEST_F(Storage, AChangeSurvivesLaterLaunchesAndIsAnnounced) {
    {
        auto preferences = launch();
        KeyboardShortcuts shortcuts(*preferences);
        QSignalSpy changed(&shortcuts, &KeyboardShortcuts::shortcutByNameDidChange);
        QSignalSpy preferencesChanged(preferences.get(), &Preferences::changed);
        shortcuts.setShortcut(Shortcut{45, 6144}, Name::manage());
        ASSERT_EQ(changed.count(), 1);
        EXPECT_EQ(changed.front().front().toString(), u"manage"_s);
        EXPECT_EQ(preferencesChanged.count(), 0); // the notes do not reload for a shortcut
        EXPECT_EQ(shortcuts.getShortcut(Name::manage()), (Shortcut{45, 6144}));
    }
    auto later = launch();
    KeyboardShortcuts again(*later);
    EXPECT_EQ(again.getShortcut(Name::manage()), (Shortcut{45, 6144}));
    EXPECT_EQ(again.current().notes, u"Ctrl+Alt+N"_s);
}

TEST_F(Storage, ARemovalStaysRemoved) {
    {
        auto preferences = launch();
        KeyboardShortcuts shortcuts(*preferences);
        QSignalSpy changed(&shortcuts, &KeyboardShortcuts::shortcutByNameDidChange);
        shortcuts.setShortcut(std::nullopt, Name::capture());
        EXPECT_EQ(changed.count(), 1);
        EXPECT_EQ(Preferences::toBool(preferences->value(u"KeyboardShortcuts_capture"_s)), false);
        // Removing again changes nothing.
        shortcuts.setShortcut(std::nullopt, Name::capture());
        EXPECT_EQ(changed.count(), 1);
    }
    auto later = launch();
    KeyboardShortcuts again(*later);
    EXPECT_EQ(Preferences::toBool(later->value(u"KeyboardShortcuts_capture"_s)), false);
    EXPECT_FALSE(again.getShortcut(Name::capture()));
    EXPECT_EQ(again.current(),
              (KeysGuide::Shortcuts{u"(not set)"_s, u"Ctrl+Alt+Shift+Space"_s, u"Ctrl+Alt+Shift+V"_s}));
}

TEST_F(Storage, ANameWithoutDefaultForgetsItsKey) {
    auto preferences = launch();
    KeyboardShortcuts shortcuts(*preferences);
    const Name plain{u"plain"_s, std::nullopt};
    shortcuts.declare(plain);
    EXPECT_FALSE(preferences->contains(plain.storageKey()));
    shortcuts.setShortcut(Shortcut{0, 4096}, plain);
    EXPECT_EQ(shortcuts.getShortcut(plain), (Shortcut{0, 4096}));
    shortcuts.setShortcut(std::nullopt, plain);
    EXPECT_FALSE(preferences->contains(plain.storageKey()));
    EXPECT_FALSE(shortcuts.getShortcut(plain));
}

struct StoredCase {
    std::string name;
    QByteArray line; // the settings file's line for the capture shortcut
    std::optional<Shortcut> shortcut;
};

void PrintTo(const StoredCase& c, std::ostream* os) {
    *os << c.name;
}

class StoredValue : public Storage, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredValue, IsReadAsTheShortcutOrNone) {
    ASSERT_TRUE(plim::test::writeAll(file, "[General]\n" + GetParam().line + "\n"));
    auto preferences = launch();
    KeyboardShortcuts shortcuts(*preferences);
    EXPECT_EQ(shortcuts.getShortcut(Name::capture()), GetParam().shortcut);
    // Whatever the user's file holds, the default is not written over it.
    auto later = launch();
    KeyboardShortcuts again(*later);
    EXPECT_EQ(again.getShortcut(Name::capture()), GetParam().shortcut);
}

INSTANTIATE_TEST_SUITE_P(
    Shortcuts, StoredValue,
    ::testing::Values(StoredCase{"Quoted",
                                 R"(KeyboardShortcuts_capture="{\"carbonKeyCode\":12,\"carbonModifiers\":4096}")",
                                 Shortcut{12, 4096}},
                      // The settings file drops the inner quotes of an unquoted value and splits it at commas.
                      StoredCase{"UnquotedByHand",
                                 R"(KeyboardShortcuts_capture={"carbonKeyCode":12,"carbonModifiers":4096})",
                                 std::nullopt},
                      StoredCase{"Removed", "KeyboardShortcuts_capture=false", std::nullopt},
                      StoredCase{"True", "KeyboardShortcuts_capture=true", std::nullopt},
                      StoredCase{"Number", "KeyboardShortcuts_capture=49", std::nullopt},
                      StoredCase{"Text", "KeyboardShortcuts_capture=Ctrl+Space", std::nullopt},
                      StoredCase{"Empty", "KeyboardShortcuts_capture=", std::nullopt}),
    [](const auto& p) { return p.param.name; });

} // namespace
