#include "ManageFixture.h"

#include "ui/manage/ManageTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using ManageTexts::Action;

namespace {

using F = ManageFixture;
using Do = Step;
const Do sweptThrough =
    seq({call(&ManageModel::startSweep), call(&ManageModel::sweepSkip), call(&ManageModel::sweepSkip)});

struct HintCase {
    std::string name;
    QString line; // the one entry, "it" unless it is a link
    QString heading;
    Do setUp;
    QString hint;
};

class Footer : public ::testing::TestWithParam<HintCase> {};

TEST_P(Footer, NamesTheKeysOfTheSelectedEntry) {
    const HintCase& c = GetParam();
    F f;
    f.open({c.heading, c.line}).setShowCompleted(true);
    f.model->ensureSelectionVisible();
    c.setUp(f);
    EXPECT_EQ(ManageTexts::footerHint(*f.model), c.hint);
}

const QString kPlain = u"- [ ] it  <!-- 09:00 -->"_s;
const std::vector<HintCase> kHints{
    {"Editing", kPlain, H14, [](F& f) { f.model->beginEditing(f.idOf(u"it"_s)); },
     u"↩ save · Shift+↩ new line · esc cancel"_s},
    {"NothingSelected", kPlain, H14, [](F& f) { f.model->select(QUuid::createUuid()); }, u"? keys"_s},
    {"Trash", kPlain, H14, trashed, u"↩ restore to today · ⌫ delete forever · ? keys"_s},
    {"RingingRoutine", u"- [ ] it  <!-- 09:00 remind 2026-03-14 09:00 every day 09:00 routine -->"_s, H14, nothing,
     u"space done today · d skip · 1–9 snooze · r when · ⌫ trash · ? keys"_s},
    {"RingingOnce", u"- [ ] it  <!-- 09:00 remind 2026-03-14 09:00 -->"_s, H12, nothing,
     u"space done · d stop reminding · 1–9 snooze · r when · ⌫ trash · ? keys"_s},
    {"SoleLink", u"- [ ] https://example.org/x  <!-- 09:00 -->"_s, H14, nothing,
     u"↩ open · space done · → carry · r remind · ⌫ trash · ? keys"_s},
    {"PlainToday", kPlain, H14, nothing, u"space done · a shortlist · r remind · ⌫ trash · ↩ edit · ? keys"_s},
    {"ShortlistedOlder", u"- [ ] ! it  <!-- 09:00 -->"_s, H12, nothing,
     u"space done · a unlist · → carry · r remind · ⌫ trash · ↩ edit · ? keys"_s},
    {"WaitingWithALinkInLater", u"- [ ] read https://example.org/x  <!-- 09:00 remind 2026-03-20 09:00 -->"_s, H12,
     later, u"space done · a shortlist · r change reminder · ⌫ trash · Ctrl+↩ open link · ? keys"_s},
};

INSTANTIATE_TEST_SUITE_P(Manage, Footer, ::testing::ValuesIn(kHints), ByName);

// "title [placeholder] | item -> action | ...".
QString show(const ManageTexts::Header& h) {
    static const char* const actions[]{"",         "ShowLater", "StartSweep", "ToggleCompleted", "BackToNotes",
                                       "EndSweep", "LeaveKeys", "ShowKeys"};
    QString out = h.title + (h.filterPlaceholder ? u" ["_s + *h.filterPlaceholder + u"]"_s : QString());
    for (const ManageTexts::Item& item : h.items) {
        out += u" | "_s + item.text;
        if (item.action != Action::None) {
            out += u" -> "_s + QLatin1String(actions[static_cast<int>(item.action)]);
        }
    }
    return out;
}

TEST(ManageTexts, HeaderShowsTheViewAndItsWayBack) {
    const std::pair<Do, QString> cases[]{
        {nothing,
         u" [Filter] | 2 later  Ctrl+L -> ShowLater | Sweep · 2 older than today  Ctrl+S -> StartSweep | 5 open -> "
         u"ToggleCompleted"_s},
        {[](F& f) {
             f.model->setShowCompleted(true);
             f.store->toggleDone(f.idOf(u"d"_s));
             f.store->toggleDone(f.idOf(u"e"_s));
             f.store->setReminder(f.idOf(u"a"_s), std::nullopt);
         },
         u" [Filter] | 1 later  Ctrl+L -> ShowLater | hide done  Ctrl+E -> ToggleCompleted"_s},
        {trash, u"Trash [Filter trash] | Back to notes  Ctrl+T -> BackToNotes"_s},
        {sweptThrough, u"Sweep | done | esc back -> EndSweep"_s},
        {seq({later, call(&ManageModel::showKeys)}), u"Keys & Tips | Back to Later  esc -> LeaveKeys"_s},
    };
    for (const auto& [setUp, expected] : cases) {
        F f;
        f.open({H14, u"- [ ] a  <!-- 09:00 remind 2026-03-15 09:00 -->"_s,
                u"- [ ] b  <!-- 09:10 remind 2026-03-16 09:00 every day 09:00 -->"_s, u"- [ ] c  <!-- 09:20 -->"_s, H12,
                u"- [ ] d  <!-- 09:00 -->"_s, u"- [ ] e  <!-- 09:10 -->"_s, u"- [x] ~~f~~  <!-- 09:20 -->"_s});
        setUp(f);
        EXPECT_EQ(show(ManageTexts::header(*f.model)), expected);
    }
}

TEST(ManageTexts, DayHeadersSayTodayOnlyForTodayAndTrashedInTheTrash) {
    F f;
    ManageModel& m =
        f.open({H14, u"- [ ] a  <!-- 09:00 -->"_s, u"- [ ] ! b  <!-- 09:10 -->"_s, H12, u"- [ ] c  <!-- 09:00 -->"_s});
    const QList<DaySection>& s = m.list().visibleSections();
    ASSERT_EQ(s.size(), 3);
    EXPECT_EQ(ManageTexts::dayHeader(m, s[0]), (ManageTexts::DayHeader{u"Active"_s, false}));
    EXPECT_EQ(ManageTexts::dayHeader(m, s[1]), (ManageTexts::DayHeader{u"Saturday, Mar 14"_s, true}));
    EXPECT_EQ(ManageTexts::dayHeader(m, s[2]), (ManageTexts::DayHeader{u"Thursday, Mar 12"_s, false}));
    m.deleteSelection();
    m.showTrash();
    ASSERT_EQ(m.list().visibleSections().size(), 1);
    EXPECT_EQ(ManageTexts::dayHeader(m, m.list().visibleSections()[0]),
              (ManageTexts::DayHeader{u"Trashed Saturday, Mar 14"_s, false}));
}

// What replaces an empty list: its lines, " / " between, and "[keys]" for the button that opens the guide.
struct EmptyCase {
    std::string name;
    Do setUp;
    QString shown; // empty: nothing replaces the list
    QStringList file = {};
    std::optional<QString> shortcut = {};
};

class Empty : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(Empty, ReplacesAnEmptyList) {
    const EmptyCase& c = GetParam();
    F f;
    f.open(c.file);
    c.setUp(f);
    const auto state = ManageTexts::emptyState(*f.model, c.shortcut);
    const ManageTexts::Item keysButton{u"? keys and how plim works"_s, Action::ShowKeys};
    ASSERT_EQ(state.has_value(), !c.shown.isEmpty());
    if (state) {
        ASSERT_TRUE(!state->button || *state->button == keysButton);
        EXPECT_EQ(state->lines.join(u" / "_s) + (state->button ? u" [keys]"_s : QString()), c.shown);
    }
}

const QStringList kOne{H14, u"- [ ] a  <!-- 09:00 -->"_s};
const std::vector<EmptyCase> kEmpty{
    {"NotesEmpty", nothing, u"Nothing yet. / Press Ctrl+Alt+N anywhere. [keys]"_s, {}, u"Ctrl+Alt+N"_s},
    {"NotesEmptyWithoutShortcut", nothing, u"Nothing yet. / Run \u201cplim capture\u201d anywhere. [keys]"_s},
    {"NotesFilteredAway", filter(u"zebra"_s), u"No entries match “zebra”."_s, kOne},
    {"NotesShowingSomething", nothing, {}, kOne},
    {"TrashEmpty", trash, u"Trash is empty."_s},
    {"TrashFilteredAway", seq({trash, filter(u" x "_s)}), u"Nothing in the trash matches “ x ”."_s},
    {"LaterEmpty", later, u"Nothing waiting. / Press r or 1–9 on an entry to bring it back later."_s},
    {"SweepHasNoList", call(&ManageModel::startSweep), {}},
};

INSTANTIATE_TEST_SUITE_P(Manage, Empty, ::testing::ValuesIn(kEmpty), ByName);

TEST(ManageTexts, SweepLegendOffersTheLinkOnlyWhenThereIsOne) {
    Entry e;
    e.text = u"call the bank"_s;
    const QList<ManageTexts::LegendKey> plain = ManageTexts::sweepLegend(e);
    EXPECT_EQ(plain.size(), 6);
    e.text = u"read example.org/a first"_s;
    EXPECT_EQ(ManageTexts::sweepLegend(e), (plain + QList<ManageTexts::LegendKey>{{u"↩"_s, u"open link"_s}}));
}

} // namespace
