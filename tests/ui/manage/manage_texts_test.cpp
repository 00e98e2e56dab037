#include "ManageFixture.h"

#include "ui/manage/ManageTexts.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using Mode = ManageModel::Mode;
using ManageTexts::Action;

namespace {

const QString H14 = u"## 2026-03-14 Saturday"_s;
const QString H12 = u"## 2026-03-12 Thursday"_s;

struct HintCase {
    std::string name;
    QString line; // the one entry, "it" unless it is a link
    QString heading;
    std::function<void(ManageFixture&)> setUp;
    QString hint;
};

const auto nothing = [](ManageFixture&) {};

class Footer : public ::testing::TestWithParam<HintCase> {};

TEST_P(Footer, NamesTheKeysOfTheSelectedEntry) {
    const HintCase& c = GetParam();
    ManageFixture f;
    f.open({c.heading, c.line});
    f.model->setShowCompleted(true);
    f.model->ensureSelectionVisible();
    c.setUp(f);
    EXPECT_EQ(ManageTexts::footerHint(*f.model), c.hint);
}

INSTANTIATE_TEST_SUITE_P(
    Manage, Footer,
    ::testing::Values(
        HintCase{"Editing", u"- [ ] it  <!-- 09:00 -->"_s, H14,
                 [](ManageFixture& f) { f.model->beginEditing(f.idOf(u"it"_s)); },
                 u"↩ save · Shift+↩ new line · esc cancel"_s},
        HintCase{"NothingSelected", u"- [ ] it  <!-- 09:00 -->"_s, H14,
                 [](ManageFixture& f) { f.model->select(QUuid::createUuid()); }, u"? keys"_s},
        HintCase{"Trash", u"- [ ] it  <!-- 09:00 -->"_s, H14,
                 [](ManageFixture& f) {
                     f.model->deleteSelection();
                     f.model->showTrash();
                 },
                 u"↩ restore to today · ⌫ delete forever · ? keys"_s},
        HintCase{"RingingRoutine", u"- [ ] it  <!-- 09:00 remind 2026-03-14 09:00 every day 09:00 routine -->"_s, H14,
                 nothing, u"space done today · d skip · 1–9 snooze · r when · ⌫ trash · ? keys"_s},
        HintCase{"RingingOnce", u"- [ ] it  <!-- 09:00 remind 2026-03-14 09:00 -->"_s, H12, nothing,
                 u"space done · d stop reminding · 1–9 snooze · r when · ⌫ trash · ? keys"_s},
        HintCase{"SoleLink", u"- [ ] https://example.org/x  <!-- 09:00 -->"_s, H14, nothing,
                 u"↩ open · space done · → carry · r remind · ⌫ trash · ? keys"_s},
        HintCase{"PlainToday", u"- [ ] it  <!-- 09:00 -->"_s, H14, nothing,
                 u"space done · a shortlist · r remind · ⌫ trash · ↩ edit · ? keys"_s},
        HintCase{"ShortlistedOlder", u"- [ ] ! it  <!-- 09:00 -->"_s, H12, nothing,
                 u"space done · a unlist · → carry · r remind · ⌫ trash · ↩ edit · ? keys"_s},
        HintCase{"WaitingWithALinkInLater",
                 u"- [ ] read https://example.org/x  <!-- 09:00 remind 2026-03-20 09:00 -->"_s, H12,
                 [](ManageFixture& f) { f.model->showLater(); },
                 u"space done · a shortlist · r change reminder · ⌫ trash · Ctrl+↩ open link · ? keys"_s}),
    ByName);

struct HeaderCase {
    std::string name;
    std::function<void(ManageFixture&)> setUp;
    ManageTexts::Header header;
};

class Header : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(Header, ShowsTheViewAndItsWayBack) {
    const HeaderCase& c = GetParam();
    ManageFixture f;
    f.open({H14, u"- [ ] a  <!-- 09:00 remind 2026-03-15 09:00 -->"_s,
            u"- [ ] b  <!-- 09:10 remind 2026-03-16 09:00 every day 09:00 -->"_s, u"- [ ] c  <!-- 09:20 -->"_s, H12,
            u"- [ ] d  <!-- 09:00 -->"_s, u"- [ ] e  <!-- 09:10 -->"_s, u"- [x] ~~f~~  <!-- 09:20 -->"_s});
    c.setUp(f);
    const ManageTexts::Header h = ManageTexts::header(*f.model);
    EXPECT_EQ(h.title, c.header.title);
    EXPECT_EQ(h.filterPlaceholder, c.header.filterPlaceholder);
    ASSERT_EQ(h.items.size(), c.header.items.size());
    for (qsizetype i = 0; i < h.items.size(); ++i) {
        EXPECT_EQ(h.items[i].text, c.header.items[i].text);
        EXPECT_EQ(h.items[i].action, c.header.items[i].action) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Manage, Header,
    ::testing::Values(
        HeaderCase{"Notes",
                   nothing,
                   {{},
                    u"Filter"_s,
                    {{u"2 later  Ctrl+L"_s, Action::ShowLater},
                     {u"Sweep · 2 older than today  Ctrl+S"_s, Action::StartSweep},
                     {u"5 open"_s, Action::None}}}},
        HeaderCase{"NotesShowingDone",
                   [](ManageFixture& f) {
                       f.model->setShowCompleted(true);
                       f.store->toggleDone(f.idOf(u"d"_s));
                       f.store->toggleDone(f.idOf(u"e"_s));
                       f.store->setReminder(f.idOf(u"a"_s), std::nullopt);
                   },
                   {{},
                    u"Filter"_s,
                    {{u"1 later  Ctrl+L"_s, Action::ShowLater}, {u"hide done  Ctrl+E"_s, Action::ToggleCompleted}}}},
        HeaderCase{"Trash",
                   [](ManageFixture& f) { f.model->showTrash(); },
                   {u"Trash"_s, u"Filter trash"_s, {{u"Back to notes  Ctrl+T"_s, Action::BackToNotes}}}},
        HeaderCase{"SweepDone",
                   [](ManageFixture& f) {
                       f.model->startSweep();
                       f.model->sweepSkip();
                       f.model->sweepSkip();
                   },
                   {u"Sweep"_s, std::nullopt, {{u"done"_s, Action::None}, {u"esc back"_s, Action::EndSweep}}}},
        HeaderCase{"KeysFromLater",
                   [](ManageFixture& f) {
                       f.model->showLater();
                       f.model->showKeys();
                   },
                   {u"Keys & Tips"_s, std::nullopt, {{u"Back to Later  esc"_s, Action::LeaveKeys}}}}),
    ByName);

TEST(ManageTexts, DayHeadersSayTodayOnlyForTodayAndTrashedInTheTrash) {
    ManageFixture f;
    ManageModel& m =
        f.open({H14, u"- [ ] a  <!-- 09:00 -->"_s, u"- [ ] ! b  <!-- 09:10 -->"_s, H12, u"- [ ] c  <!-- 09:00 -->"_s});
    const QList<DaySection>& s = m.visibleSections();
    ASSERT_EQ(s.size(), 3);
    EXPECT_EQ(ManageTexts::dayHeader(m, s[0]), (ManageTexts::DayHeader{u"Active"_s, false}));
    EXPECT_EQ(ManageTexts::dayHeader(m, s[1]), (ManageTexts::DayHeader{u"Saturday, Mar 14"_s, true}));
    EXPECT_EQ(ManageTexts::dayHeader(m, s[2]), (ManageTexts::DayHeader{u"Thursday, Mar 12"_s, false}));
    m.deleteSelection();
    m.showTrash();
    ASSERT_EQ(m.visibleSections().size(), 1);
    EXPECT_EQ(ManageTexts::dayHeader(m, m.visibleSections()[0]),
              (ManageTexts::DayHeader{u"Trashed Saturday, Mar 14"_s, false}));
}

struct EmptyCase {
    std::string name;
    std::function<void(ManageModel&)> setUp;
    std::optional<ManageTexts::EmptyState> state;
    QStringList file = {};
    std::optional<QString> shortcut = {};
};

class Empty : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(Empty, ReplacesAnEmptyList) {
    const EmptyCase& c = GetParam();
    ManageFixture f;
    f.open(c.file);
    c.setUp(*f.model);
    EXPECT_EQ(ManageTexts::emptyState(*f.model, c.shortcut), c.state);
}

const ManageTexts::Item kKeysButton{u"? keys and how plim works"_s, Action::ShowKeys};

INSTANTIATE_TEST_SUITE_P(
    Manage, Empty,
    ::testing::Values(
        EmptyCase{"NotesEmpty",
                  [](ManageModel&) {},
                  ManageTexts::EmptyState{{u"Nothing yet."_s, u"Press Ctrl+Alt+N anywhere."_s}, kKeysButton},
                  {},
                  u"Ctrl+Alt+N"_s},
        EmptyCase{"NotesEmptyWithoutShortcut", [](ManageModel&) {},
                  ManageTexts::EmptyState{{u"Nothing yet."_s, u"Press Ctrl+Alt+Space anywhere."_s}, kKeysButton}},
        EmptyCase{"NotesFilteredAway",
                  [](ManageModel& m) { m.setFilter(u"zebra"_s); },
                  ManageTexts::EmptyState{{u"No entries match \u201Czebra\u201D."_s}, std::nullopt},
                  {H14, u"- [ ] a  <!-- 09:00 -->"_s}},
        EmptyCase{"NotesShowingSomething", [](ManageModel&) {}, std::nullopt, {H14, u"- [ ] a  <!-- 09:00 -->"_s}},
        EmptyCase{"TrashEmpty", [](ManageModel& m) { m.showTrash(); },
                  ManageTexts::EmptyState{{u"Trash is empty."_s}, std::nullopt}},
        EmptyCase{"TrashFilteredAway",
                  [](ManageModel& m) {
                      m.showTrash();
                      m.setFilter(u" x "_s);
                  },
                  ManageTexts::EmptyState{{u"Nothing in the trash matches \u201C x \u201D."_s}, std::nullopt}},
        EmptyCase{"LaterEmpty", [](ManageModel& m) { m.showLater(); },
                  ManageTexts::EmptyState{
                      {u"Nothing waiting."_s, u"Press r or 1–9 on an entry to bring it back later."_s}, std::nullopt}},
        EmptyCase{"SweepHasNoList", [](ManageModel& m) { m.startSweep(); }, std::nullopt}),
    ByName);

TEST(ManageTexts, SweepLegendOffersTheLinkOnlyWhenThereIsOne) {
    Entry e;
    e.text = u"call the bank"_s;
    const QList<ManageTexts::LegendKey> plain = ManageTexts::sweepLegend(e);
    EXPECT_EQ(plain.size(), 6);
    e.text = u"read example.org/a first"_s;
    EXPECT_EQ(ManageTexts::sweepLegend(e), (plain + QList<ManageTexts::LegendKey>{{u"↩"_s, u"open link"_s}}));
}

} // namespace
