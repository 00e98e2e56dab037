#include "ui/capture/CaptureKeys.h"

#include "CaptureFixture.h"

#include <QKeySequence>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
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

struct Step {
    enum Kind { Mods, Key, Wait, End } kind;
    Qt::KeyboardModifiers mods{};
    int ms = 0;
};
Step mods(Qt::KeyboardModifiers m) {
    return {Step::Mods, m, 0};
}
Step wait(int ms) {
    return {Step::Wait, {}, ms};
}
const Step key{Step::Key, {}, 0};
const Step release{Step::Mods, {}, 0};
const Step endPeek{Step::End, {}, 0};

struct GestureCase {
    std::string name;
    std::vector<Step> steps;
    std::string log; // what the gestures told, in order
};

const std::vector<GestureCase> kGestures{
    {"AltHeldPeeksUntilReleased", {mods(Alt), wait(650), release}, "peek+ peek-"},
    {"PeekStartsAtExactlyTheDelay", {mods(Alt), wait(149), release, mods(Alt), wait(150)}, "peek+"},
    {"AltTappedNeverPeeks", {mods(Alt), wait(100), release, wait(500)}, ""},
    {"TypingWithAltNeverPeeks", {mods(Alt), wait(50), key, wait(500)}, ""},
    {"AKeyKeepsAnActivePeek", {mods(Alt), wait(200), key, wait(500)}, "peek+"},
    {"AnotherModifierEndsThePeek", {mods(Alt), wait(200), mods(Alt | Shift)}, "peek+ peek-"},
    {"AltShiftNeverPeeks", {mods(Alt | Shift), wait(500)}, ""},
    {"CtrlHeldShortlyShowsNothing", {mods(Ctrl), wait(400), release, wait(500)}, ""},
    {"CtrlHeldShowsPresetsUntilReleased", {mods(Ctrl), wait(600), release}, "presets+ presets-"},
    {"CtrlDigitBeforeHalfASecondShowsNothing", {mods(Ctrl), wait(300), key, wait(500)}, ""},
    {"AltJoiningEndsThePresets", {mods(Ctrl), wait(600), mods(Ctrl | Alt)}, "presets+ presets-"},
    {"TheDrawerEndsBoth", {mods(Alt), wait(200), endPeek}, "peek+ peek-"},
};

class GestureTable : public ::testing::TestWithParam<GestureCase> {};

TEST_P(GestureTable, Runs) {
    ManualClock clock(Instant{});
    ManualDelays delays(clock);
    CaptureGestures gestures(delays);
    QStringList log;
    QObject::connect(&gestures, &CaptureGestures::peekChanged,
                     [&](bool on) { log << (on ? QStringLiteral("peek+") : QStringLiteral("peek-")); });
    QObject::connect(&gestures, &CaptureGestures::presetsChanged,
                     [&](bool on) { log << (on ? QStringLiteral("presets+") : QStringLiteral("presets-")); });
    for (const Step& step : GetParam().steps) {
        switch (step.kind) {
        case Step::Mods:
            gestures.modifiersChanged(step.mods);
            break;
        case Step::Key:
            gestures.keyPressed();
            break;
        case Step::Wait:
            delays.advance(std::chrono::milliseconds(step.ms));
            break;
        case Step::End:
            gestures.endPeek();
            break;
        }
    }
    EXPECT_EQ(log.join(u' ').toStdString(), GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(Editor, GestureTable, ::testing::ValuesIn(kGestures), ByName);

} // namespace
