#include "ui/manage/ManageWindow.h"
#include "ui/manage/ManageWindowController.h"
#include "ui/theme/Theme.h"

#include "ManageFixture.h"

#include <QDBusConnection>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;

namespace {

using Mode = ManageModel::Mode;

constexpr std::chrono::milliseconds kKeepHidden{50};

// Where the user leaves the window before hiding it: whether it is given up, and then what it shows
// once made again (the selection none: not looked at).
struct Case {
    std::string name;
    std::function<void(ManageModel&, ManageFixture&)> leave;
    bool givenUp;
    Mode mode;
    QString filter;
    const char16_t* selected;
};

class ManageWindowControllerTest : public ::testing::TestWithParam<Case> {};

TEST_P(ManageWindowControllerTest, HiddenAWhileItIsMadeAgainWhereItWas) {
    const Case& c = GetParam();
    ManageFixture f;
    writeAll(f.path, "## 2026-03-14 Saturday\n\n- [ ] milk  <!-- 09:00 -->\n- [ ] bread  <!-- 09:05 -->\n"
                     "- [x] ~~eggs~~  <!-- 09:10 -->\n- [ ] dentist  <!-- 09:20 remind 2026-03-16 09:00 -->\n"
                     "- [ ] tax  <!-- 09:30 remind 2026-03-17 09:00 -->\n- [ ] gone  <!-- 09:40 -->\n\n"
                     "## 2026-03-12 Thursday\n\n- [ ] old  <!-- 08:00 -->\n");
    f.store = f.TempNotes::open();
    f.store->deleteEntry(f.idOf(u"gone"_s));
    Theme theme(QDBusConnection(u"none"_s), Theme::Options{});
    ManageWindowController notes(*f.store, f.desktop, theme, f.login, kKeepHidden);
    EXPECT_FALSE(notes.isMade());

    notes.window().present();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&notes.window()));
    c.leave(notes.model(), f);
    notes.window().hide();
    if (c.givenUp) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return !notes.isMade(); }));
    } else {
        QTest::qWait(int(4 * kKeepHidden.count()));
        EXPECT_TRUE(notes.isMade());
    }

    ManageModel& m = notes.model();
    EXPECT_EQ(m.mode(), c.mode);
    EXPECT_EQ(m.filter(), c.filter);
    if (c.selected != nullptr) {
        const auto selected = m.selectedEntry();
        EXPECT_EQ(selected ? selected->text : u"(none)"_s, QString::fromUtf16(c.selected));
    }
}

const Case kCases[] = {
    {"NotesFilteredAndDoneShown",
     [](ManageModel& m, ManageFixture& f) {
         m.setShowCompleted(true);
         m.setFilter(u"e"_s);
         m.select(f.idOf(u"eggs"_s));
     },
     true, Mode::Log, u"e"_s, u"eggs"},
    {"Later",
     [](ManageModel& m, ManageFixture& f) {
         m.showLater();
         m.select(f.idOf(u"tax"_s));
     },
     true, Mode::Later, QString(), u"tax"},
    {"Trash", [](ManageModel& m, ManageFixture&) { m.showTrash(); }, true, Mode::Trash, QString(), u"gone"},
    // What a new window could not show again keeps this one.
    {"Editing",
     [](ManageModel& m, ManageFixture& f) {
         m.beginEditing(f.idOf(u"bread"_s));
         m.setEditingText(u"bread and butter"_s);
     },
     false, Mode::Log, QString(), u"bread"},
    {"Sweeping", [](ManageModel& m, ManageFixture&) { m.startSweep(); }, false, Mode::Sweep, QString(), nullptr},
    {"AskedOnce", [](ManageModel& m, ManageFixture&) { m.firstRun().chooseDelivery(ReminderDelivery::Dot); }, false,
     Mode::Log, QString(), nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, ManageWindowControllerTest, ::testing::ValuesIn(kCases), ByName);

} // namespace
