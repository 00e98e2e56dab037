#include "ManageFixture.h"

#include "ui/manage/ManageKeys.h"

#include <QtCore/qnamespace.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using Mode = ManageModel::Mode;
using Effect = KeyOutcome::Effect;

namespace {

const QString H14 = u"## 2026-03-14 Saturday"_s;
const QString H12 = u"## 2026-03-12 Thursday"_s;

// Today "top" (listed first, selected) and "low"; an older open "old" and a link.
const QStringList kFile{
    H14, u"- [ ] low  <!-- 09:00 -->"_s, u"- [ ] top  <!-- 10:00 -->"_s,
    H12, u"- [ ] old  <!-- 08:00 -->"_s, u"- [ ] see https://example.org/doc  <!-- 08:30 -->"_s,
};

KeyPress key(int code) {
    return {code, {}, false, false};
}

// A key that types `c` ("r", "3", "?").
KeyPress typed(QChar c) {
    int code = 0;
    if (c.isLetter()) {
        code = Qt::Key_A + (c.toLower().unicode() - u'a');
    } else if (c.isDigit()) {
        code = Qt::Key_0 + (c.unicode() - u'0');
    } else if (c == u'?') {
        code = Qt::Key_Question;
    }
    return {code, QString(c), false, c.isUpper() || c == u'?'};
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

struct KeyCase {
    std::string name;
    std::function<void(ManageFixture&)> setUp;
    KeyPress press;
    bool typing;
    KeyOutcome outcome;
    std::function<void(ManageFixture&)> check;
};

const auto nothing = [](ManageFixture&) {};
const auto sweep = [](ManageFixture& f) { f.model->startSweep(); };
const auto whenOpen = [](ManageFixture& f) { f.model->openWhenField({}); };
const auto guide = [](ManageFixture& f) { f.model->showKeys(); };
const auto editing = [](ManageFixture& f) { f.model->beginEditing(f.idOf(u"top"_s)); };
const auto done = [](ManageFixture& f) { f.model->toggleDone(); };
const KeyOutcome yes{true, Effect::None};
const KeyOutcome no{false, Effect::None};

const std::vector<KeyCase> kCases{
    // --- Letters and digits: the filter field types them, the list acts on them ---
    {"FilterFieldTypesR", nothing, typed(u'r'), true, no, nothing},
    {"ListROpensTheWhenField", nothing, typed(u'r'), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.model->whenFieldID(), f.idOf(u"top"_s)); }},
    {"ListDigitSetsAPreset", nothing, typed(u'3'), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.entry(u"top"_s)->comment, u"remind 2026-03-14 15:00"_s); }},
    {"CtrlDigitNeverSetsAReminder", nothing, ctrl(typed(u'3')), false, no, nothing},
    {"ZeroIsNoPreset", nothing, typed(u'0'), false, no, nothing},
    {"ShiftedLetterIsNotTheCommand", nothing, typed(u'A'), false, no, nothing},
    {"ListAShortlists", nothing, typed(u'a'), false, yes,
     [](ManageFixture& f) { EXPECT_TRUE(f.entry(u"top"_s)->active); }},
    {"ListSpaceMarksDone", nothing, key(Qt::Key_Space), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.entry(u"top"_s)->state, Entry::State::Done); }},
    {"ListBackspaceTrashes", nothing, key(Qt::Key_Backspace), false, yes,
     [](ManageFixture& f) {
         EXPECT_FALSE(f.entry(u"top"_s));
         EXPECT_EQ(f.selectedText(), u"low"_s);
     }},
    {"ListUnknownKeyPasses", nothing, typed(u'x'), false, no, nothing},
    {"ListReturnEdits", nothing, key(Qt::Key_Return), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.model->editingID(), f.idOf(u"top"_s)); }},
    {"ListCtrlReturnOpensTheLink", [](ManageFixture& f) { f.model->select(f.idOf(u"see https://example.org/doc"_s)); },
     ctrl(key(Qt::Key_Return)), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.desktop.opened, QStringList{u"https://example.org/doc"_s}); }},
    {"ListRightCarriesAnOlderEntry", [](ManageFixture& f) { f.model->select(f.idOf(u"old"_s)); }, key(Qt::Key_Right),
     false, yes,
     [](ManageFixture& f) {
         EXPECT_EQ(f.states(u"old"_s), (QList<Entry::State>{Entry::State::Open, Entry::State::Carried}));
     }},
    {"TrashRightRestores",
     [](ManageFixture& f) {
         f.model->deleteSelection();
         f.model->showTrash();
     },
     key(Qt::Key_Right), false, yes,
     [](ManageFixture& f) {
         EXPECT_TRUE(f.entry(u"top"_s));
         EXPECT_TRUE(f.visibleTexts().isEmpty());
     }},

    // --- The when field takes every key while it is open ---
    {"WhenFieldTakesSpace", whenOpen, key(Qt::Key_Space), false, no, nothing},
    {"WhenFieldTakesDigits", whenOpen, typed(u'3'), false, no, nothing},
    {"WhenFieldTakesEscape", whenOpen, key(Qt::Key_Escape), false, no,
     [](ManageFixture& f) { EXPECT_EQ(f.closed, 0); }},
    {"WhenFieldTakesCtrlShortcuts", whenOpen, ctrl(typed(u't')), false, no, nothing},

    // --- The filter field ---
    {"FilterEscapeClearsAndGivesTheListTheKeyboard", [](ManageFixture& f) { f.model->setFilter(u"o"_s); },
     key(Qt::Key_Escape), true, yes,
     [](ManageFixture& f) {
         EXPECT_EQ(f.model->filter(), QString());
         EXPECT_EQ(f.model->listFocusRequest(), 1);
         EXPECT_EQ(f.closed, 0);
     }},
    {"FilterEscapeWithoutFilterCloses", nothing, key(Qt::Key_Escape), true, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.closed, 1); }},
    {"FilterDownGivesTheListTheKeyboardOnly", nothing, key(Qt::Key_Down), true, yes,
     [](ManageFixture& f) {
         EXPECT_EQ(f.model->listFocusRequest(), 1);
         EXPECT_EQ(f.selectedText(), u"top"_s);
     }},
    {"FilterCtrlZIsTheFieldsOwnUndo", done, ctrl(typed(u'z')), true, no, nothing},

    // --- The in-place editor ---
    {"EditorShiftReturnAddsALine", editing, shift(key(Qt::Key_Return)), true, KeyOutcome{true, Effect::InsertLineBreak},
     [](ManageFixture& f) { EXPECT_TRUE(f.model->editingID()); }},
    {"EditorKeepsItsOwnReturn", editing, key(Qt::Key_Return), true, no,
     [](ManageFixture& f) { EXPECT_TRUE(f.model->editingID()); }},
    {"EditingReturnSaves",
     [](ManageFixture& f) {
         f.model->beginEditing(f.idOf(u"top"_s));
         f.model->setEditingText(u"summit"_s);
     },
     key(Qt::Key_Enter), false, yes,
     [](ManageFixture& f) {
         EXPECT_EQ(f.model->editingID(), std::nullopt);
         EXPECT_TRUE(f.entry(u"summit"_s));
     }},
    {"EditingEscapeCancels",
     [](ManageFixture& f) {
         f.model->beginEditing(f.idOf(u"top"_s));
         f.model->setEditingText(u"summit"_s);
     },
     key(Qt::Key_Escape), false, yes,
     [](ManageFixture& f) {
         EXPECT_EQ(f.model->editingID(), std::nullopt);
         EXPECT_TRUE(f.entry(u"top"_s));
         EXPECT_EQ(f.closed, 0);
     }},
    {"EditingLetterGivesTheEditorTheKeyboardBack", editing, typed(u'x'), false, yes,
     [](ManageFixture& f) {
         EXPECT_EQ(f.model->editFocusRequest(), 1);
         EXPECT_TRUE(f.model->editingID());
     }},

    // --- Ctrl shortcuts ---
    {"CtrlZUndoesInTheList", done, ctrl(typed(u'z')), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.entry(u"top"_s)->state, Entry::State::Open); }},
    {"CtrlShiftZRedoes",
     [](ManageFixture& f) {
         f.model->toggleDone();
         f.store->undo();
     },
     ctrl(shift(typed(u'z'))), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.entry(u"top"_s)->state, Entry::State::Done); }},
    {"CtrlCCopies", [](ManageFixture& f) { f.model->select(f.idOf(u"see https://example.org/doc"_s)); },
     ctrl(typed(u'c')), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.desktop.clipboard, u"see https://example.org/doc"_s); }},
    {"CtrlTAgainReturnsWithoutTheFilter",
     [](ManageFixture& f) {
         f.model->showTrash();
         f.model->setFilter(u"x"_s);
     },
     ctrl(typed(u't')), false, yes,
     [](ManageFixture& f) {
         EXPECT_EQ(f.model->mode(), Mode::Log);
         EXPECT_EQ(f.model->filter(), QString());
     }},
    {"CtrlFLeavesTheGuideForTheFilter", guide, ctrl(typed(u'f')), false, yes,
     [](ManageFixture& f) {
         EXPECT_EQ(f.model->mode(), Mode::Log);
         EXPECT_EQ(f.model->filterFocusRequest(), 1);
     }},
    {"CtrlQuestionOpensTheGuideAndFreesTheKeyboard", nothing, ctrl(shift(key(Qt::Key_Slash))), true,
     KeyOutcome{true, Effect::ClearFocus}, [](ManageFixture& f) { EXPECT_EQ(f.model->mode(), Mode::Keys); }},
    {"CtrlSStartsAndEndsTheSweep", sweep, ctrl(typed(u's')), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.model->mode(), Mode::Log); }},
    {"CtrlOtherLetterPasses", nothing, ctrl(typed(u'k')), false, no, nothing},

    // --- The keys guide ---
    {"GuideDownScrolls", guide, key(Qt::Key_Down), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.model->keysScroll(), 1); }},

    // --- The sweep ---
    {"SweepSpaceMarksTheOldestDone", sweep, key(Qt::Key_Space), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.entry(u"old"_s)->state, Entry::State::Done); }},
    {"SweepDownSkips", sweep, key(Qt::Key_Down), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.model->sweepCurrent()->text, u"see https://example.org/doc"_s); }},
    {"SweepUpTakesTheSkipBack",
     [](ManageFixture& f) {
         f.model->startSweep();
         f.model->sweepSkip();
     },
     key(Qt::Key_Up), false, yes, [](ManageFixture& f) { EXPECT_EQ(f.model->sweepCurrent()->text, u"old"_s); }},
    {"SweepDigitSetsAPreset", sweep, typed(u'2'), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.entry(u"old"_s)->comment, u"remind 2026-03-14 13:00"_s); }},
    {"SweepCtrlDigitPasses", sweep, ctrl(typed(u'2')), false, no, nothing},
    {"SweepReturnOpensTheLink",
     [](ManageFixture& f) {
         f.model->startSweep();
         f.model->sweepSkip();
     },
     key(Qt::Key_Return), false, yes,
     [](ManageFixture& f) { EXPECT_EQ(f.desktop.opened, QStringList{u"https://example.org/doc"_s}); }},
    {"SweepReturnWhenFinishedGoesBack",
     [](ManageFixture& f) {
         f.model->startSweep();
         f.model->sweepSkip();
         f.model->sweepSkip();
     },
     key(Qt::Key_Return), false, yes, [](ManageFixture& f) { EXPECT_EQ(f.model->mode(), Mode::Log); }},
};

class Keys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(Keys, RunTheirOperation) {
    const KeyCase& c = GetParam();
    ManageFixture f;
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
