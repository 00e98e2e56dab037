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

TEST(Shortcuts, KeysMapBothWays) {
    const struct {
        int code;
        Qt::Key key;
        const char* name;
    } cases[] = {{0, Qt::Key_A, "A"},
                 {29, Qt::Key_0, "0"},
                 {36, Qt::Key_Return, "Return"},
                 {53, Qt::Key_Escape, "Esc"},
                 {117, Qt::Key_Delete, "Del"},
                 {44, Qt::Key_Slash, "/"},
                 {76, Qt::Key_Enter, "Enter"},
                 {122, Qt::Key_F1, "F1"},
                 {126, Qt::Key_Up, "Up"},
                 {121, Qt::Key_PageDown, "PgDown"}};
    for (const auto& c : cases) {
        EXPECT_EQ(KeyboardShortcuts::qtKey(c.code), c.key) << c.name;
        EXPECT_EQ(KeyboardShortcuts::carbonKeyCode(c.key), c.code) << c.name;
        EXPECT_EQ(KeyboardShortcuts::keyName(c.code), QString::fromUtf8(c.name));
    }
    // A shifted key counts as the key pressed.
    const std::pair<Qt::Key, int> shifted[] = {{Qt::Key_Question, 44}, {Qt::Key_Exclam, 18},  {Qt::Key_ParenRight, 29},
                                               {Qt::Key_Plus, 24},     {Qt::Key_Backtab, 48}, {Qt::Key_AsciiTilde, 50}};
    for (const auto& [key, code] : shifted) {
        EXPECT_EQ(KeyboardShortcuts::carbonKeyCode(key), code) << code;
    }
}

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

TEST(Shortcuts, KeysOutsideTheTableHaveNoCode) {
    EXPECT_FALSE(KeyboardShortcuts::carbonKeyCode(Qt::Key_Shift));
    EXPECT_FALSE(KeyboardShortcuts::carbonKeyCode(Qt::Key_Adiaeresis));
    EXPECT_FALSE(KeyboardShortcuts::qtKey(10));
    EXPECT_FALSE(KeyboardShortcuts::qtKey(-1));
    EXPECT_FALSE(Shortcut::make(Qt::Key_Control, Qt::ControlModifier));
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
}

TEST(Shortcuts, KeypadAndFunctionBitsAreNotModifiersHere) {
    EXPECT_EQ(KeyboardShortcuts::carbonModifiers(Qt::KeypadModifier | Qt::ControlModifier), 4096);
    EXPECT_EQ(KeyboardShortcuts::qtModifiers(131072 | 512), Qt::ShiftModifier);
}

TEST(Shortcuts, DescriptionNamesModifiersInOrderThenTheKey) {
    const std::pair<Shortcut, QString> cases[] = {{{49, 6144}, u"Ctrl+Alt+Space"_s},
                                                  {{9, 6656}, u"Ctrl+Alt+Shift+V"_s},
                                                  {{1, 256 | 512 | 2048 | 4096}, u"Ctrl+Alt+Shift+Super+S"_s},
                                                  {{126, 131072 | 2048}, u"Alt+Up"_s},
                                                  {{10, 4096}, u"Ctrl+Key 10"_s}};
    for (const auto& [shortcut, shown] : cases) {
        EXPECT_EQ(shortcut.presentableDescription(), shown);
    }
}

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
    ::testing::Values(DecodeCase{"Stored", u"{\"carbonKeyCode\":9,\"carbonModifiers\":6656}"_s, Shortcut{9, 6656}},
                      DecodeCase{"OtherOrderAndSpaces", u" { \"carbonModifiers\" : 0 , \"carbonKeyCode\" : 96 } "_s,
                                 Shortcut{96, 0}},
                      DecodeCase{"MissingModifiers", u"{\"carbonKeyCode\":49}"_s, std::nullopt},
                      DecodeCase{"Fraction", u"{\"carbonKeyCode\":49.5,\"carbonModifiers\":0}"_s, std::nullopt},
                      DecodeCase{"Huge", u"{\"carbonKeyCode\":1e40,\"carbonModifiers\":0}"_s, std::nullopt},
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
                      StoredCase{"Text", "KeyboardShortcuts_capture=Ctrl+Space", std::nullopt},
                      StoredCase{"Empty", "KeyboardShortcuts_capture=", std::nullopt}),
    [](const auto& p) { return p.param.name; });

} // namespace
