#include "ui/capture/CaptureKeys.h"

#include "CaptureFixture.h"

#include <QKeySequence>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using C = CaptureCommand;

namespace {

constexpr auto Ctrl = Qt::ControlModifier;
constexpr auto Shift = Qt::ShiftModifier;
constexpr auto Alt = Qt::AltModifier;

TEST(CaptureKeys, MapTheKeyToItsCommand) {
    // Key, modifiers, whether the editor can undo: the command and its preset.
    const std::tuple<int, Qt::KeyboardModifiers, bool, CaptureKeyAction> cases[] = {
        {Qt::Key_Enter, Qt::KeypadModifier, false, {C::Commit}},
        {Qt::Key_Return, Alt, false, {C::Commit}},
        {Qt::Key_Return, Ctrl | Shift, false, {C::CommitKeepOpen}},
        {Qt::Key_Return, Shift, false, {C::LineBreak}},
        {Qt::Key_Escape, Ctrl | Alt, false, {C::Cancel}},
        {Qt::Key_Up, Ctrl, false, {C::NudgeCenter}},
        {Qt::Key_Down, Ctrl, false, {C::Pass}},
        {Qt::Key_Left, Ctrl | Alt, false, {C::Pass}},
        {Qt::Key_Up, Ctrl | Shift, false, {C::Pass}},
        {Qt::Key_R, Ctrl | Shift, false, {C::Pass}},
        {Qt::Key_9, Ctrl, false, {C::Preset, 8}},
        {Qt::Key_3, Ctrl | Qt::KeypadModifier, false, {C::Preset, 2}},
        {Qt::Key_0, Ctrl, false, {C::Pass}},
        {Qt::Key_1, Ctrl | Alt, false, {C::Pass}},
        {Qt::Key_Slash, Ctrl | Shift, false, {C::OpenKeys}},
        {Qt::Key_Slash, Ctrl, false, {C::Pass}},
        {Qt::Key_Z, Ctrl, true, {C::Undo}},
        {Qt::Key_Z, Ctrl, false, {C::UndoCapture}},
        {Qt::Key_Z, Ctrl | Qt::MetaModifier, false, {C::Pass}},
    };
    for (const auto& [key, mods, canUndo, action] : cases) {
        const CaptureKeyAction got = captureKeyAction({key, mods}, canUndo);
        EXPECT_EQ(int(got.command), int(action.command))
            << QKeySequence(QKeyCombination(mods, Qt::Key(key))).toString().toStdString();
        EXPECT_EQ(got.preset, action.preset) << key;
    }
}

// --- The hold-a-modifier gestures ---

// Steps such as "alt 650 up": the modifiers held from then on ("up" for none), a wait in
// milliseconds, a typed "key", or the drawer's "end" of the peek.
struct GestureCase {
    std::string name;
    const char* steps;
    const char* log; // what the gestures told, in order
};

const std::vector<GestureCase> kGestures{
    {"AltHeldPeeksUntilReleased", "alt 650 up", "peek+ peek-"},
    {"PeekStartsAtExactlyTheDelay", "alt 149 up alt 150", "peek+"},
    {"AltTappedNeverPeeks", "alt 100 up 500", ""},
    {"TypingWithAltNeverPeeks", "alt 50 key 500", ""},
    {"AKeyKeepsAnActivePeek", "alt 200 key 500", "peek+"},
    {"AnotherModifierEndsThePeek", "alt 200 alt+shift", "peek+ peek-"},
    {"AltShiftNeverPeeks", "alt+shift 500", ""},
    {"CtrlHeldShortlyShowsNothing", "ctrl 400 up 500", ""},
    {"CtrlHeldShowsPresetsUntilReleased", "ctrl 600 up", "presets+ presets-"},
    {"CtrlDigitBeforeHalfASecondShowsNothing", "ctrl 300 key 500", ""},
    {"AltJoiningEndsThePresets", "ctrl 600 ctrl+alt", "presets+ presets-"},
    {"TheDrawerEndsBoth", "alt 200 end", "peek+ peek-"},
};

class GestureTable : public ::testing::TestWithParam<GestureCase> {};

TEST_P(GestureTable, Runs) {
    ManualClock clock(Instant{});
    ManualDelays delays(clock);
    CaptureGestures gestures(delays);
    QStringList log;
    QObject::connect(&gestures, &CaptureGestures::peekChanged, [&](bool on) { log << (on ? u"peek+"_s : u"peek-"_s); });
    QObject::connect(&gestures, &CaptureGestures::presetsChanged,
                     [&](bool on) { log << (on ? u"presets+"_s : u"presets-"_s); });
    const std::map<QString, Qt::KeyboardModifiers> held{
        {u"up"_s, {}}, {u"alt"_s, Alt}, {u"ctrl"_s, Ctrl}, {u"alt+shift"_s, Alt | Shift}, {u"ctrl+alt"_s, Ctrl | Alt}};
    for (const QString& step : QString::fromLatin1(GetParam().steps).split(u' ')) {
        bool wait = false;
        const int ms = step.toInt(&wait);
        if (wait) {
            delays.advance(std::chrono::milliseconds(ms));
        } else if (step == u"key"_s) {
            gestures.keyPressed();
        } else if (step == u"end"_s) {
            gestures.endPeek();
        } else {
            gestures.modifiersChanged(held.at(step));
        }
    }
    EXPECT_EQ(log.join(u' ').toStdString(), GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(Editor, GestureTable, ::testing::ValuesIn(kGestures), ByName);

} // namespace
