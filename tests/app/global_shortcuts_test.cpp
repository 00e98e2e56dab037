#include "app/GlobalShortcuts.h"

#include "store/Preferences.h"

#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

using namespace plim;
using namespace Qt::Literals::StringLiterals;
using Shortcut = KeyboardShortcuts::Shortcut;
using Name = KeyboardShortcuts::Name;

namespace {

using namespace plim::test;
constexpr QKeyCombination kCtrlAltShiftSpace(Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, Qt::Key_Space);

// A desktop where `takenByOthers` are held by other programs.
class FakeHotKeys final : public GlobalHotKeys {
public:
    std::optional<Refusal> grab(QKeyCombination c) override {
        ++grabs;
        if (takenByOthers.contains(c.toCombined())) {
            return Refusal{takenByOthers.at(c.toCombined())};
        }
        held.insert(c.toCombined());
        return std::nullopt;
    }
    void release(QKeyCombination c) override { held.erase(c.toCombined()); }
    void describe(QKeyCombination c, const QString& id, const QString& what) override {
        ids[c.toCombined()] = id;
        described[c.toCombined()] = what;
    }
    std::optional<QString> keysOf(QKeyCombination c) const override {
        return desktopKeys.contains(c.toCombined()) ? std::optional(desktopKeys.at(c.toCombined())) : std::nullopt;
    }
    bool isAvailable() const override { return available; }

    // The user presses a combination: only a held one reaches the program.
    void press(QKeyCombination c) {
        if (holds(c)) {
            Q_EMIT pressed(c);
        }
    }
    bool holds(QKeyCombination c) const { return held.contains(c.toCombined()); }

    std::map<int, int> takenByOthers;
    std::set<int> held;
    std::map<int, QString> described;
    std::map<int, QString> ids;
    // Keys the desktop chose for a combination (the portal).
    std::map<int, QString> desktopKeys;
    bool available = true;
    int grabs = 0;
};

class GlobalShortcutsTest : public ::testing::Test {
protected:
    // Attaches a handler to each of the three names that logs the name.
    void start() {
        global = std::make_unique<GlobalShortcuts>(shortcuts, std::move(ownedFake));
        for (const Name& name : Name::all()) {
            global->onKeyDown(name, [this, raw = name.rawValue] { ran.append(raw); });
        }
    }
    QStringList pressed(QKeyCombination c) {
        ran.clear();
        fake->press(c);
        return ran;
    }

    QTemporaryDir dir;
    Preferences preferences{dir.filePath(u"plim.conf"_s)};
    KeyboardShortcuts shortcuts{preferences};
    std::unique_ptr<FakeHotKeys> ownedFake = std::make_unique<FakeHotKeys>();
    FakeHotKeys* fake = ownedFake.get();
    std::unique_ptr<GlobalShortcuts> global;
    QStringList ran;
};

TEST_F(GlobalShortcutsTest, TwoNamesOnOneCombinationAreHeldOnceAndBothRun) {
    shortcuts.setShortcut(Shortcut{49, 6144}, Name::manage());
    start();
    EXPECT_EQ(fake->grabs, 2);
    EXPECT_EQ(pressed(kCtrlAltSpace), (QStringList{u"capture"_s, u"manage"_s}));
    EXPECT_FALSE(fake->holds(kCtrlAltShiftSpace));
    // A desktop that lists the shortcuts it holds says what the combination does.
    EXPECT_EQ(fake->described[kCtrlAltSpace.toCombined()],
              u"Open or close the capture drawer; Open or close the notes window"_s);
    EXPECT_EQ(fake->described[kCtrlAltShiftV.toCombined()], u"Save the clipboard as a note"_s);
    // Under the first name's id, whatever its keys.
    EXPECT_EQ(fake->ids[kCtrlAltSpace.toCombined()], u"capture"_s);
    EXPECT_EQ(fake->ids[kCtrlAltShiftV.toCombined()], u"captureClipboard"_s);
    // Moving one of them away keeps the other on the shared combination.
    shortcuts.setShortcut(Shortcut{45, 6144}, Name::capture());
    EXPECT_EQ(pressed(kCtrlAltSpace), QStringList{u"manage"_s});
    EXPECT_EQ(pressed(kCtrlAltN), QStringList{u"capture"_s});
}

// What every text names: the keys that run each name now, the desktop's words for them where it
// chose them, none where nothing runs it.
TEST_F(GlobalShortcutsTest, KeysAreWhatRunsEachNameNow) {
    fake->takenByOthers[kCtrlAltShiftV.toCombined()] = 10;
    fake->desktopKeys[kCtrlAltShiftSpace.toCombined()] = u"Super+N"_s;
    test::printed([&] { start(); });
    EXPECT_EQ(global->reachable(), (KeysGuide::Shortcuts{u"Ctrl+Alt+Space"_s, u"Super+N"_s, std::nullopt}));
    QSignalSpy changed(global.get(), &GlobalShortcuts::reachChanged);
    shortcuts.setShortcut(std::nullopt, Name::capture());
    EXPECT_EQ(global->keys(Name::capture()), std::nullopt);
    EXPECT_EQ(changed.count(), 1);
    fake->available = false;
    Q_EMIT fake->availabilityChanged();
    EXPECT_EQ(global->reachable(), KeysGuide::Shortcuts{});
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(GlobalShortcutsTest, ChangesAndRemovalsTakeEffectAtOnceAndNothingRunsWhileRecording) {
    start();
    shortcuts.setShortcut(Shortcut{45, 6144}, Name::manage());
    EXPECT_FALSE(fake->holds(kCtrlAltShiftSpace));
    EXPECT_EQ(pressed(kCtrlAltN), QStringList{u"manage"_s});

    shortcuts.setShortcut(std::nullopt, Name::capture());
    EXPECT_FALSE(fake->holds(kCtrlAltSpace));
    // A press that was on its way when the shortcut was removed runs nothing.
    ran.clear();
    Q_EMIT fake->pressed(kCtrlAltSpace);
    EXPECT_TRUE(ran.isEmpty());
    EXPECT_EQ(pressed(kCtrlAltShiftV), QStringList{u"captureClipboard"_s});

    // Nothing is held or run while a recorder listens; a shortcut recorded meanwhile is held after.
    global->setRecording(true);
    EXPECT_TRUE(fake->held.empty());
    ran.clear();
    Q_EMIT fake->pressed(kCtrlAltN);
    EXPECT_TRUE(ran.isEmpty());
    shortcuts.setShortcut(Shortcut{8, 6144}, Name::capture());
    EXPECT_TRUE(fake->held.empty());
    global->setRecording(false);
    EXPECT_EQ(pressed(QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_C)), QStringList{u"capture"_s});
    EXPECT_EQ(pressed(kCtrlAltN), QStringList{u"manage"_s});
}

TEST_F(GlobalShortcutsTest, ARefusedCombinationIsReportedOnceAndTheOthersWork) {
    fake->takenByOthers[kCtrlAltSpace.toCombined()] = 10;
    EXPECT_EQ(test::printed([&] { start(); }), "Error registering hotkey Ctrl+Alt+Space: 10\n");
    ASSERT_EQ(global->unavailable().size(), 1);
    EXPECT_EQ(global->unavailable().front(), Name::capture());
    EXPECT_EQ(pressed(kCtrlAltShiftSpace), QStringList{u"manage"_s});
    EXPECT_EQ(pressed(kCtrlAltShiftV), QStringList{u"captureClipboard"_s});

    // Other changes do not try it again; moving the name away makes it available.
    QSignalSpy changed(global.get(), &GlobalShortcuts::unavailableChanged);
    EXPECT_EQ(test::printed([&] { shortcuts.setShortcut(Shortcut{45, 6144}, Name::manage()); }), "");
    shortcuts.setShortcut(Shortcut{8, 6144}, Name::capture());
    EXPECT_TRUE(global->unavailable().isEmpty());
    EXPECT_EQ(changed.count(), 1);
    // Setting a name to it is a new attempt, also when the name already had it.
    const auto twice = [&] {
        shortcuts.setShortcut(Shortcut{49, 6144}, Name::capture());
        shortcuts.setShortcut(Shortcut{49, 6144}, Name::capture());
    };
    EXPECT_EQ(test::printed(twice), "Error registering hotkey Ctrl+Alt+Space: 10\n"
                                    "Error registering hotkey Ctrl+Alt+Space: 10\n");
    EXPECT_EQ(changed.count(), 2);
    fake->takenByOthers.clear();
    shortcuts.setShortcut(Shortcut{49, 6144}, Name::capture());
    EXPECT_TRUE(global->unavailable().isEmpty());
    EXPECT_EQ(pressed(kCtrlAltSpace), QStringList{u"capture"_s});
}

TEST_F(GlobalShortcutsTest, AProbeAsksTheDesktopAndLetsGoAgain) {
    fake->takenByOthers[kCtrlAltN.toCombined()] = 10;
    start();
    // Held by the program itself: no new grab.
    const int grabs = fake->grabs;
    EXPECT_EQ(global->probe(kCtrlAltSpace), std::nullopt);
    EXPECT_EQ(fake->grabs, grabs);
    global->setRecording(true);
    const QKeyCombination free(Qt::ControlModifier | Qt::AltModifier, Qt::Key_B);
    EXPECT_EQ(global->probe(free), std::nullopt);
    EXPECT_FALSE(fake->holds(free));
    EXPECT_EQ(global->probe(kCtrlAltN), GlobalHotKeys::Refusal{10});
    EXPECT_TRUE(fake->held.empty());
}

} // namespace
