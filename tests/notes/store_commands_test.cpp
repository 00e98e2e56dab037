#include "notes/NotesStore.h"
#include "notes/Preferences.h"
#include "reminders/Reminder.h"

#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace plim;
using plim::test::at;
using plim::test::readAll;
using plim::test::writeAll;

namespace {

const Calendar kBerlin(QStringLiteral("Europe/Berlin"));

class StoreCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(notes.dir.isValid());
        trash = notes.dir.filePath(QStringLiteral("plim.trash.md"));
    }

    void load(const QByteArray& text) {
        ASSERT_TRUE(writeAll(path, text));
        store = notes.open();
    }
    QUuid id(const QString& text) const { return plim::test::entryId(store->document(), text); }
    QString file() const { return QString::fromUtf8(readAll(path)); }

    plim::test::TempNotes notes{at(kBerlin, 2025, 3, 14, 9, 5), kBerlin};
    std::unique_ptr<Preferences>& prefs = notes.prefs;
    std::unique_ptr<ManualClock>& clock = notes.clock;
    const QString& path = notes.path;
    std::unique_ptr<NotesStore> store;
    QString trash;
};

struct ToggleCase {
    const char* line;
    const char* afterDone;
};

TEST_F(StoreCommandsTest, ToggleDoneFollowsTheStateTable) {
    const ToggleCase cases[] = {
        {"- [ ] ! a  <!-- 08:00 remind 2025-03-14 10:00 -->", "- [x] ~~a~~  <!-- 08:00 -->"},
        {"- [>] ! a  <!-- 08:00 carried 2025-03-15 -->", "- [x] ~~a~~  <!-- 08:00 carried 2025-03-15 -->"},
        {"- [x] ! ~~a~~  <!-- 08:00 remind 2025-03-14 10:00 -->", "- [ ] ! a  <!-- 08:00 remind 2025-03-14 10:00 -->"},
        {"- ! a  <!-- remind 2025-03-14 10:00 keep -->", "- ~~a~~  <!-- keep -->"},
        {"- ! ~~a~~", "- ! a"},
    };
    for (const auto& c : cases) {
        load(QByteArray("## 2025-03-14 Friday\n\n") + c.line + "\n");
        store->toggleDone(id(QStringLiteral("a")));
        EXPECT_EQ(file(), QStringLiteral("## 2025-03-14 Friday\n\n") + QString::fromUtf8(c.afterDone) + u'\n')
            << c.line;
    }
}

TEST_F(StoreCommandsTest, DoneOnARoutineLogsItAndKeepsItComing) {
    load("## 2025-03-14 Friday\n\n- [ ] water  <!-- 08:00 remind 2025-03-14 09:00 every day 09:00 routine -->\n");
    store->toggleDone(id(QStringLiteral("water")));
    EXPECT_EQ(file(), QStringLiteral("## 2025-03-14 Friday\n\n"
                                     "- [ ] water  <!-- 08:00 remind 2025-03-15 09:00 every day 09:00 routine -->\n"
                                     "- [x] ~~water~~  <!-- 09:05 -->\n"));
}

TEST_F(StoreCommandsTest, ShortlistReopensDoneAndStruckEntries) {
    load("## 2025-03-14 Friday\n\n- [x] ~~a~~\n- ~~b~~\n- [>] c\n");
    store->toggleActive(id(QStringLiteral("a")));
    store->toggleActive(id(QStringLiteral("b")));
    store->toggleActive(id(QStringLiteral("c")));
    EXPECT_EQ(file(), QStringLiteral("## 2025-03-14 Friday\n\n- [ ] ! a\n- ! b\n- [>] ! c\n"));
    store->toggleActive(id(QStringLiteral("a")));
    EXPECT_TRUE(file().contains(QStringLiteral("- [ ] a\n")));
}

TEST_F(StoreCommandsTest, CarryMovesAnOldEntryToTodayWithItsReminder) {
    load("## 2025-03-14 Friday\n\n- [ ] today's\n\n## 2025-03-10 Monday\n\n"
         "- [ ] ! call Ann  <!-- 08:00 note remind 2025-03-15 09:00 -->\n");
    const QUuid todays = id(QStringLiteral("today's"));
    store->carryToToday(todays, clock->now());
    EXPECT_EQ(store->undoDepth(), 0) << "an entry already under today stays";

    store->carryToToday(id(QStringLiteral("call Ann")), clock->now());
    EXPECT_EQ(file(), QStringLiteral("## 2025-03-14 Friday\n\n- [ ] today's\n"
                                     "- [ ] call Ann  <!-- 09:05 remind 2025-03-15 09:00 -->\n\n"
                                     "## 2025-03-10 Monday\n\n"
                                     "- [>] ! call Ann  <!-- 08:00 carried 2025-03-14 -->\n"));
}

TEST_F(StoreCommandsTest, EditingTrimsAndIgnoresEmptyText) {
    load("## 2025-03-14 Friday\n\n- [ ] ! a  <!-- 08:00 x -->\n");
    store->updateText(id(QStringLiteral("a")), u" \n ");
    EXPECT_EQ(store->undoDepth(), 0);
    store->updateText(id(QStringLiteral("a")), u"  b\nc \n");
    EXPECT_EQ(file(), QStringLiteral("## 2025-03-14 Friday\n\n- [ ] ! b  <!-- 08:00 x -->\n  c\n"));
}

TEST_F(StoreCommandsTest, UnknownIdentitiesChangeNothing) {
    load("## 2025-03-14 Friday\n\n- [ ] a\nraw line\n");
    QSignalSpy changed(store.get(), &NotesStore::changed);
    const QUuid unknown = QUuid::createUuid();
    store->toggleDone(unknown);
    store->toggleActive(unknown);
    store->carryToToday(unknown, clock->now());
    store->updateText(unknown, u"x");
    EXPECT_FALSE(store->deleteEntry(unknown));
    store->setReminder(unknown, std::nullopt);
    store->answer(unknown, NotesDocument::Answer{NotesDocument::Answer::Done{}});
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(store->undoDepth(), 0);
    EXPECT_FALSE(QFile::exists(trash));
}

TEST_F(StoreCommandsTest, TrashKeepsDaysOldestFirstAcrossTwoDays) {
    load("## 2025-03-14 Friday\n\n- [ ] a  <!-- 08:00 remind 2025-03-15 09:00 -->\n- [x] ~~b~~\n- [ ] c\n");
    ASSERT_TRUE(store->deleteEntry(id(QStringLiteral("a"))));
    ASSERT_TRUE(store->deleteEntry(id(QStringLiteral("b"))));
    clock->advance(std::chrono::hours(24));
    ASSERT_TRUE(store->deleteEntry(id(QStringLiteral("c"))));
    EXPECT_EQ(QString::fromUtf8(readAll(trash)),
              QStringLiteral("## 2025-03-14 Friday\n\n- [ ] a  <!-- 08:00 remind 2025-03-15 09:00 -->\n"
                             "- [x] ~~b~~\n\n## 2025-03-15 Saturday\n\n- [ ] c\n"));
    // The day heading stays in the notes file.
    EXPECT_EQ(file(), QStringLiteral("## 2025-03-14 Friday\n\n"));
    // Deleting is undoable; the trash keeps its copy.
    store->undo();
    EXPECT_TRUE(file().contains(QStringLiteral("- [ ] c")));
}

TEST_F(StoreCommandsTest, ATrashThatCannotBeWrittenDeletesNothing) {
    load("## 2025-03-14 Friday\n\n- [ ] keep me\n");
    // Root may write anywhere, so make the trash's name a folder instead.
    ASSERT_TRUE(QDir().mkdir(trash));
    EXPECT_FALSE(store->deleteEntry(id(QStringLiteral("keep me"))));
    ASSERT_TRUE(store->error());
    EXPECT_TRUE(store->error()->message().contains(trash));
    EXPECT_EQ(file(), QStringLiteral("## 2025-03-14 Friday\n\n- [ ] keep me\n"));
    EXPECT_EQ(store->undoDepth(), 0);
}

TEST_F(StoreCommandsTest, AnUnreadableTrashIsNotReplaced) {
    load("## 2025-03-14 Friday\n\n- [ ] keep me\n");
    ASSERT_TRUE(writeAll(trash, "## 2025-03-13 Thursday\n\n- [ ] \xff\n"));
    EXPECT_FALSE(store->deleteEntry(id(QStringLiteral("keep me"))));
    EXPECT_EQ(readAll(trash), QByteArray("## 2025-03-13 Thursday\n\n- [ ] \xff\n"));
    EXPECT_TRUE(file().contains(QStringLiteral("keep me")));
}

TEST_F(StoreCommandsTest, PurgeDropsTrashDaysOlderThanThirtyDays) {
    load("");
    ASSERT_TRUE(writeAll(trash, "## 2025-02-11 Tuesday\n\n- [ ] 31 days\n\n## 2025-02-13 Thursday\n\n- [ ] 29 days\n\n"
                                "## misc\n\n- [ ] kept\n"));
    store->purgeTrash();
    EXPECT_EQ(QString::fromUtf8(readAll(trash)),
              QStringLiteral("## 2025-02-13 Thursday\n\n- [ ] 29 days\n\n## misc\n\n- [ ] kept\n"));
}

TEST_F(StoreCommandsTest, RestoreBringsAnEntryBackAsTodaysCapture) {
    load("## 2025-03-14 Friday\n\n- [x] ! ~~old~~  <!-- 07:00 remind 2025-03-15 09:00 -->\n");
    ASSERT_TRUE(store->deleteEntry(id(QStringLiteral("old"))));
    clock->advance(std::chrono::hours(26));
    const QUuid trashed = store->trashDocument().allEntries().at(0).id;
    QSignalSpy changed(store.get(), &NotesStore::changed);
    ASSERT_TRUE(store->restoreFromTrash(trashed));
    EXPECT_EQ(file(),
              QStringLiteral("## 2025-03-15 Saturday\n\n- [ ] old  <!-- 11:05 -->\n\n## 2025-03-14 Friday\n\n"));
    EXPECT_TRUE(store->trashDocument().allEntries().isEmpty());
    EXPECT_GE(changed.count(), 2) << "the trash view learns of the restore after the trash is written";
}

TEST_F(StoreCommandsTest, RestoreKeepsTheEntryInTheTrashWhenTheNotesCannotBeWritten) {
    load("## 2025-03-14 Friday\n\n- [ ] precious\n");
    ASSERT_TRUE(store->deleteEntry(id(QStringLiteral("precious"))));
    const QByteArray trashBefore = readAll(trash);
    const QUuid trashed = store->trashDocument().allEntries().at(0).id;
    {
        plim::test::FileSizeLimit limit(8);
        EXPECT_FALSE(store->restoreFromTrash(trashed));
    }
    EXPECT_EQ(readAll(trash), trashBefore);
}

TEST_F(StoreCommandsTest, TakingBackACaptureRemovesTheLatestOpenOne) {
    load("## 2025-03-14 Friday\n\n- [ ] milk  <!-- 08:00 -->\n- [ ] bread\n- [ ] milk  <!-- 09:00 -->\n- [x] "
         "~~eggs~~\n");
    EXPECT_TRUE(store->removeMostRecentCapture(u"milk", clock->now()));
    EXPECT_EQ(file(),
              QStringLiteral("## 2025-03-14 Friday\n\n- [ ] milk  <!-- 08:00 -->\n- [ ] bread\n- [x] ~~eggs~~\n"));
    EXPECT_FALSE(store->removeMostRecentCapture(u"eggs", clock->now()));
    store->undo();
    EXPECT_TRUE(file().contains(QStringLiteral("milk  <!-- 09:00 -->")));
}

TEST_F(StoreCommandsTest, ARemindedCaptureAndGivingAReminderReopen) {
    load("## 2025-03-14 Friday\n\n- [x] ~~a~~\n- ~~b~~\n");
    const auto in20 = Reminder::parse(u"20m", clock->now(), prefs->anchors(), kBerlin);
    ASSERT_TRUE(in20);
    ASSERT_TRUE(store->append(u"call back", in20, clock->now()));
    EXPECT_TRUE(file().contains(QStringLiteral("- [ ] call back  <!-- 09:05 remind 2025-03-14 09:25 -->")));
    store->setReminder(id(QStringLiteral("a")), in20);
    store->setReminder(id(QStringLiteral("b")), in20);
    EXPECT_TRUE(file().contains(QStringLiteral("- [ ] a  <!-- remind 2025-03-14 09:25 -->")));
    EXPECT_TRUE(file().contains(QStringLiteral("- b  <!-- remind 2025-03-14 09:25 -->")));
    store->setReminder(id(QStringLiteral("a")), std::nullopt);
    EXPECT_TRUE(file().contains(QStringLiteral("- [ ] a\n")));
}

} // namespace
