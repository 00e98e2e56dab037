#include "ManageFixture.h"

#include "ui/manage/ManageKeys.h"

#include <QtCore/qnamespace.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using Mode = ManageModel::Mode;
using Effect = KeyOutcome::Effect;

namespace {

// Today "top" (listed first, selected) and "low"; an older open "old" and a link.
const QStringList kFile{
    H14, u"- [ ] low  <!-- 09:00 -->"_s, u"- [ ] top  <!-- 10:00 -->"_s,
    H12, u"- [ ] old  <!-- 08:00 -->"_s, u"- [ ] see https://example.org/doc  <!-- 08:30 -->"_s,
};
const QString kLink = u"see https://example.org/doc"_s;

KeyPress key(int code) {
    return {code, {}, false, false};
}

// A key that types the letter or digit `c`.
KeyPress typed(QChar c) {
    const int code = c.isDigit() ? Qt::Key_0 + (c.unicode() - u'0') : Qt::Key_A + (c.toLower().unicode() - u'a');
    return {code, QString(c), false, c.isUpper()};
}

KeyPress ctrl(KeyPress p) {
    p.command = true;
    // With Ctrl held the desktop may deliver a control character rather than the letter.
    if (p.key >= Qt::Key_A && p.key <= Qt::Key_Z) {
        p.text = QString(QChar(p.key - Qt::Key_A + 1));
    }
    return p;
}

KeyPress shift(KeyPress p) {
    p.shift = true;
    return p;
}

using F = ManageFixture;
using Do = Step;

struct KeyCase {
    std::string name;
    Do setUp;
    KeyPress press;
    bool typing;
    KeyOutcome outcome;
    Do check;
};

const Do skipped = seq({sweep, call(&ManageModel::sweepSkip)});
const Do whenOpen = [](F& f) { f.model->openWhenField({}); };
const Do guide = call(&ManageModel::showKeys);
const Do editing = [](F& f) {
    f.model->beginEditing(f.idOf(u"top"_s));
    f.model->setEditingText(u"summit"_s);
};
const Do done = call(&ManageModel::toggleDone);
const Do trashX = seq({trash, filter(u"x"_s)});
const Do onLink = select(kLink);
const Do linkOpened = [](F& f) { EXPECT_EQ(f.desktop.opened, QStringList{u"https://example.org/doc"_s}); };
const KeyOutcome yes{true, Effect::None};
const KeyOutcome no{false, Effect::None};

const std::vector<KeyCase> kCases{
    // --- Letters and digits: the filter field types them, the list acts on them ---
    {"FilterFieldTypesR", nothing, typed(u'r'), true, no, nothing},
    {"ListROpensTheWhenField", nothing, typed(u'r'), false, yes, is(u"when=top"_s)},
    {"ListDigitSetsAPreset", nothing, typed(u'3'), false, yes,
     fileHas(u"top  <!-- 10:00 remind 2026-03-14 15:00 -->"_s)},
    {"CtrlDigitNeverSetsAReminder", nothing, ctrl(typed(u'3')), false, no, nothing},
    {"ZeroIsNoPreset", nothing, typed(u'0'), false, no, nothing},
    {"ShiftedLetterIsNotTheCommand", nothing, typed(u'A'), false, no, nothing},
    {"ListAShortlists", nothing, typed(u'a'), false, yes, fileHas(u"- [ ] ! top"_s)},
    {"ListSpaceMarksDone", nothing, key(Qt::Key_Space), false, yes, fileHas(u"- [x] ~~top~~"_s)},
    {"ListBackspaceTrashes", nothing, key(Qt::Key_Backspace), false, yes,
     is(u"shown=low,see_https://example.org/doc,old"_s)},
    {"ListUnknownKeyPasses", nothing, typed(u'x'), false, no, nothing},
    {"ListReturnEdits", nothing, key(Qt::Key_Return), false, yes, is(u"editing=top"_s)},
    {"ListCtrlReturnOpensTheLink", onLink, ctrl(key(Qt::Key_Return)), false, yes, linkOpened},
    {"ListRightCarriesAnOlderEntry", select(u"old"_s), key(Qt::Key_Right), false, yes, fileHas(u"- [>] old"_s)},
    {"TrashRightRestores", trashed, key(Qt::Key_Right), false, yes, fileHas(u"- [ ] top  <!-- 12:00 -->"_s)},

    // --- The when field takes every key while it is open ---
    {"WhenFieldTakesDigits", whenOpen, typed(u'3'), false, no, nothing},
    {"WhenFieldTakesEscape", whenOpen, key(Qt::Key_Escape), false, no, is(u"closed=0"_s)},
    {"WhenFieldTakesCtrlShortcuts", whenOpen, ctrl(typed(u't')), false, no, nothing},

    // --- The filter field ---
    {"FilterEscapeClearsAndGivesTheListTheKeyboard", filter(u"o"_s), key(Qt::Key_Escape), true, yes,
     is(u"filter= focus=100 closed=0"_s)},
    // Elsewhere Escape steps back one level without closing.
    {"TrashEscapeDropsTheFilter", trashX, key(Qt::Key_Escape), false, yes, is(u"mode=Log filter= closed=0"_s)},
    {"SweepEscapeKeepsTheFilter", seq({filter(u"o"_s), sweep}), key(Qt::Key_Escape), false, yes,
     is(u"mode=Log filter=o closed=0"_s)},
    {"GuideEscapeGoesBackToLater", seq({later, guide}), key(Qt::Key_Escape), false, yes, is(u"mode=Later closed=0"_s)},
    {"FilterEscapeWithoutFilterCloses", nothing, key(Qt::Key_Escape), true, yes, is(u"closed=1"_s)},
    {"FilterDownGivesTheListTheKeyboardOnly", nothing, key(Qt::Key_Down), true, yes, is(u"focus=100 selected=top"_s)},
    {"FilterCtrlZIsTheFieldsOwnUndo", done, ctrl(typed(u'z')), true, no, nothing},

    // --- The in-place editor ---
    {"EditorShiftReturnAddsALine", editing, shift(key(Qt::Key_Return)), true, KeyOutcome{true, Effect::InsertLineBreak},
     is(u"editing=summit"_s)},
    {"EditorKeepsItsOwnReturn", editing, key(Qt::Key_Return), true, no, is(u"editing=summit"_s)},
    {"EditingReturnSaves", editing, key(Qt::Key_Enter), false, yes,
     seq({is(u"editing=-"_s), fileHas(u"- [ ] summit"_s)})},
    {"EditingEscapeCancels", editing, key(Qt::Key_Escape), false, yes,
     seq({is(u"editing=- closed=0"_s), fileHas(u"- [ ] top  <!-- 10:00 -->"_s)})},
    {"EditingLetterGivesTheEditorTheKeyboardBack", editing, typed(u'x'), false, yes, is(u"focus=001 editing=summit"_s)},

    // --- Ctrl shortcuts ---
    {"CtrlZUndoesInTheList", done, ctrl(typed(u'z')), false, yes, fileHas(u"- [ ] top"_s)},
    {"CtrlShiftZRedoes", seq({done, [](F& f) { f.store->undo(); }}), ctrl(shift(typed(u'z'))), false, yes,
     fileHas(u"- [x] ~~top~~"_s)},
    {"CtrlCCopies", onLink, ctrl(typed(u'c')), false, yes, [](F& f) { EXPECT_EQ(f.desktop.clipboard, kLink); }},
    {"CtrlTAgainReturnsWithoutTheFilter", trashX, ctrl(typed(u't')), false, yes, is(u"mode=Log filter="_s)},
    {"CtrlFLeavesTheGuideForTheFilter", guide, ctrl(typed(u'f')), false, yes, is(u"mode=Log focus=010"_s)},
    {"CtrlQuestionOpensTheGuideAndFreesTheKeyboard", nothing, ctrl(shift(key(Qt::Key_Slash))), true,
     KeyOutcome{true, Effect::ClearFocus}, is(u"mode=Keys"_s)},
    {"CtrlSStartsAndEndsTheSweep", sweep, ctrl(typed(u's')), false, yes, is(u"mode=Log"_s)},
    {"CtrlOtherLetterPasses", nothing, ctrl(typed(u'k')), false, no, nothing},

    // --- The keys guide ---
    {"GuideDownScrolls", guide, key(Qt::Key_Down), false, yes, is(u"scroll=1"_s)},

    // --- The sweep ---
    {"SweepSpaceMarksTheOldestDone", sweep, key(Qt::Key_Space), false, yes, fileHas(u"- [x] ~~old~~"_s)},
    {"SweepDownSkips", sweep, key(Qt::Key_Down), false, yes, is(u"sweep=see_https://example.org/doc"_s)},
    {"SweepUpTakesTheSkipBack", skipped, key(Qt::Key_Up), false, yes, is(u"sweep=old"_s)},
    {"SweepDigitSetsAPreset", sweep, typed(u'2'), false, yes,
     fileHas(u"old  <!-- 08:00 remind 2026-03-14 13:00 -->"_s)},
    {"SweepCtrlDigitPasses", sweep, ctrl(typed(u'2')), false, no, nothing},
    {"SweepReturnOpensTheLink", skipped, key(Qt::Key_Return), false, yes, linkOpened},
    {"SweepReturnWhenFinishedGoesBack", seq({skipped, call(&ManageModel::sweepSkip)}), key(Qt::Key_Return), false, yes,
     is(u"mode=Log"_s)},
};

class Keys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(Keys, RunTheirOperation) {
    const KeyCase& c = GetParam();
    F f;
    f.open(kFile);
    c.setUp(f);
    const QString before = f.file();
    const Mode mode = f.model->mode();
    const std::optional<QUuid> when = f.model->whenFieldID();
    const KeyOutcome outcome = handleManageKey(*f.model, c.press, c.typing);
    EXPECT_EQ(outcome.handled, c.outcome.handled);
    EXPECT_EQ(outcome.effect, c.outcome.effect);
    c.check(f);
    if (!outcome.handled) { // a key that reached nothing leaves the file, the view and the open field
        EXPECT_EQ(f.file(), before);
        EXPECT_EQ(f.model->mode(), mode);
        EXPECT_EQ(f.model->whenFieldID(), when);
    }
}

INSTANTIATE_TEST_SUITE_P(Manage, Keys, ::testing::ValuesIn(kCases), ByName);

} // namespace
