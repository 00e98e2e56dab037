#include "reminders/Reminder.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"

#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace plim;
using namespace Qt::Literals::StringLiterals;
using plim::test::at;
using plim::test::readAll;
using plim::test::writeAll;

namespace {

const Calendar kBerlin(QStringLiteral("Europe/Berlin"));
const QString kToday = QStringLiteral("## 2025-03-14 Friday\n\n");

// A store loaded from `text` on Friday 2025-03-14 09:05 in Berlin.
struct Notes : plim::test::TempNotes {
    explicit Notes(const QByteArray& text, const QString& name = QStringLiteral("plim.md"),
                   const QString& trash = QStringLiteral("plim.trash.md"))
        : TempNotes(at(kBerlin, 2025, 3, 14, 9, 5), kBerlin, name)
        , trashName(trash) {
        EXPECT_TRUE(writeAll(path, text));
        store = open();
    }
    QUuid id(const QString& text) const { return plim::test::entryId(store->document(), text); }
    QString file() const { return QString::fromUtf8(readAll(path)); }
    QString trash() const { return dir.filePath(trashName); }
    QString trashName;
    std::unique_ptr<NotesStore> store;
};

using Command = void (*)(NotesStore&, const QUuid&);

const Command done = [](NotesStore& s, const QUuid& id) { s.toggleDone(id); };
const Command markDone = [](NotesStore& s, const QUuid& id) { s.markDone(id, true); };
const Command shortlist = [](NotesStore& s, const QUuid& id) { s.toggleActive(id); };
const Command carry = [](NotesStore& s, const QUuid& id) { s.carryToToday(id, s.clock().now()); };
const Command edit = [](NotesStore& s, const QUuid& id) { s.updateText(id, u"  b\nc \n"); };
const Command blank = [](NotesStore& s, const QUuid& id) { s.updateText(id, u" \n "); };
const Command remindIn20 = [](NotesStore& s, const QUuid& id) {
    s.setReminder(id, Reminder::parse(u"20m", s.clock().now(), Anchors{}, s.clock().calendar()));
};
const Command unremind = [](NotesStore& s, const QUuid& id) { s.setReminder(id, std::nullopt); };
const Command remove = [](NotesStore& s, const QUuid& id) { s.deleteEntry(id); };
const Command answerDone = [](NotesStore& s, const QUuid& id) {
    s.answer(id, NotesDocument::Answer{NotesDocument::Answer::Done{}});
};

struct CommandCase {
    const char* before; // under today's heading; the command acts on the entry "a"
    Command command;
    const char* after;
};

const CommandCase commandCases[] = {
    {"- [ ] ! a  <!-- 08:00 remind 2025-03-14 10:00 -->", done, "- [x] ~~a~~  <!-- 08:00 -->"},
    {"- [>] ! a  <!-- 08:00 carried 2025-03-15 -->", done, "- [x] ~~a~~  <!-- 08:00 carried 2025-03-15 -->"},
    {"- [x] ! ~~a~~  <!-- 08:00 remind 2025-03-14 10:00 -->", done,
     "- [ ] ! a  <!-- 08:00 remind 2025-03-14 10:00 -->"},
    {"- ! a  <!-- remind 2025-03-14 10:00 keep -->", done, "- ~~a~~  <!-- keep -->"},
    {"- ! ~~a~~", done, "- ! a"},
    // Done on a routine logs it and keeps it coming.
    {"- [ ] a  <!-- 08:00 remind 2025-03-14 09:00 every day 09:00 routine -->", done,
     "- [ ] a  <!-- 08:00 remind 2025-03-15 09:00 every day 09:00 routine -->\n- [x] ~~a~~  <!-- 09:05 -->"},
    {"- [ ] a  <!-- remind 2025-03-14 09:00 -->", answerDone, "- [x] ~~a~~"},
    {"- [x] ~~a~~", markDone, "- [x] ~~a~~"}, // done again, as a script may say it
    {"- [x] ~~a~~", shortlist, "- [ ] ! a"},
    {"- ~~a~~", shortlist, "- ! a"},
    {"- [>] a", shortlist, "- [>] ! a"},
    {"- [ ] ! a", shortlist, "- [ ] a"},
    {"- [ ] a", carry, "- [ ] a"}, // already under today
    {"- [ ] b\n\n## 2025-03-10 Monday\n\n- [ ] ! a  <!-- 08:00 note remind 2025-03-15 09:00 -->", carry,
     "- [ ] b\n- [ ] a  <!-- 09:05 remind 2025-03-15 09:00 -->\n\n## 2025-03-10 Monday\n\n"
     "- [>] ! a  <!-- 08:00 carried 2025-03-14 -->"},
    {"- [ ] ! a  <!-- 08:00 x -->", edit, "- [ ] ! b  <!-- 08:00 x -->\n  c"},
    {"- [ ] ! a  <!-- 08:00 x -->", blank, "- [ ] ! a  <!-- 08:00 x -->"},
    {"- [x] ~~a~~", remindIn20, "- [ ] a  <!-- remind 2025-03-14 09:25 -->"},
    {"- [ ] a  <!-- remind 2025-03-14 09:25 -->", unremind, "- [ ] a"},
    {"- [ ] a\n- [ ] b", remove, "- [ ] b"},
};

TEST(StoreCommands, ChangeOnlyTheirEntryAndUndoRestoresTheFile) {
    for (const CommandCase& c : commandCases) {
        const QString before = kToday + QString::fromUtf8(c.before) + u'\n';
        const QString after = kToday + QString::fromUtf8(c.after) + u'\n';
        SCOPED_TRACE(c.before);
        Notes notes(before.toUtf8());
        QSignalSpy changed(notes.store.get(), &NotesStore::changed);
        c.command(*notes.store, QUuid::createUuid());
        EXPECT_EQ(changed.count(), 0) << "an unknown identity changes nothing";
        EXPECT_FALSE(QFile::exists(notes.trash()));

        c.command(*notes.store, notes.id(QStringLiteral("a")));
        EXPECT_EQ(notes.file(), after);
        EXPECT_EQ(notes.store->undoDepth(), before == after ? 0 : 1);
        notes.store->undo();
        EXPECT_EQ(notes.file(), before);
    }
}

TEST(StoreCommands, TrashKeepsDaysOldestFirst) {
    // A notes file named like the trash still has a trash of its own.
    for (const auto& [name, trashName] :
         {std::pair(u"plim.md"_s, u"plim.trash.md"_s), std::pair(u"plim.trash.md"_s, u"plim.trash.trash.md"_s)}) {
        SCOPED_TRACE(name.toStdString());
        Notes notes("## 2025-03-14 Friday\n\n- [ ] a  <!-- 08:00 remind 2025-03-15 09:00 -->\n- [x] ~~b~~\n- [ ] c\n",
                    name, trashName);
        // Today's heading inside an entry's text is not today's day.
        const QString older = u"## 2025-03-13 Thursday\n\n- [ ] see ## 2025-03-14 Friday\n"_s;
        ASSERT_TRUE(writeAll(notes.trash(), older.toUtf8()));
        ASSERT_TRUE(notes.store->deleteEntry(notes.id(QStringLiteral("a"))));
        ASSERT_TRUE(notes.store->deleteEntry(notes.id(QStringLiteral("b"))));
        notes.clock->advance(std::chrono::hours(24));
        ASSERT_TRUE(notes.store->deleteEntry(notes.id(QStringLiteral("c"))));
        EXPECT_EQ(QString::fromUtf8(readAll(notes.trash())),
                  older + u'\n' + kToday +
                      u"- [ ] a  <!-- 08:00 remind 2025-03-15 09:00 -->\n- [x] ~~b~~\n\n"
                      "## 2025-03-15 Saturday\n\n- [ ] c\n"_s);
        EXPECT_EQ(notes.file(), kToday); // the day heading stays
    }
}

// Root may write anywhere, so an unwritable trash is a folder in its place.
TEST(StoreCommands, ATrashThatCannotBeWrittenDeletesNothing) {
    for (const bool folder : {true, false}) {
        SCOPED_TRACE(folder ? "folder" : "invalid UTF-8");
        Notes notes("## 2025-03-14 Friday\n\n- [ ] keep me\n");
        const QByteArray garbage = "## 2025-03-13 Thursday\n\n- [ ] \xff\n";
        ASSERT_TRUE(folder ? QDir().mkdir(notes.trash()) : writeAll(notes.trash(), garbage));
        EXPECT_FALSE(notes.store->deleteEntry(notes.id(QStringLiteral("keep me"))));
        ASSERT_TRUE(notes.store->error());
        EXPECT_TRUE(notes.store->error()->message().contains(notes.trash()));
        EXPECT_EQ(notes.file(), kToday + u"- [ ] keep me\n"_s);
        EXPECT_EQ(notes.store->undoDepth(), 0);
        if (!folder) {
            EXPECT_EQ(readAll(notes.trash()), garbage);
        }
    }
}

TEST(StoreCommands, PurgeDropsTrashDaysOlderThanThirtyDays) {
    Notes notes("");
    ASSERT_TRUE(writeAll(notes.trash(), "## 2025-02-11 Tuesday\n\n- [ ] 31 days\n\n## 2025-02-12 Wednesday\n\n"
                                        "- [ ] 30 days\n\n## 2025-02-13 Thursday\n\n"
                                        "- [ ] 29 days\n\n## misc\n\n- [ ] kept\n"));
    notes.store->purgeTrash();
    EXPECT_EQ(readAll(notes.trash()), "## 2025-02-13 Thursday\n\n- [ ] 29 days\n\n## misc\n\n- [ ] kept\n");
}

TEST(StoreCommands, RestoreBringsAnEntryBackAsTodaysCapture) {
    Notes notes("## 2025-03-14 Friday\n\n- [x] ! ~~old~~  <!-- 07:00 remind 2025-03-15 09:00 -->\n");
    ASSERT_TRUE(notes.store->deleteEntry(notes.id(QStringLiteral("old"))));
    notes.clock->advance(std::chrono::hours(26));
    QSignalSpy changed(notes.store.get(), &NotesStore::changed);
    ASSERT_TRUE(notes.store->restoreFromTrash(notes.store->trashDocument().allEntries().at(0).id));
    EXPECT_EQ(notes.file(), u"## 2025-03-15 Saturday\n\n- [ ] old  <!-- 11:05 -->\n\n"_s + kToday);
    EXPECT_TRUE(notes.store->trashDocument().allEntries().isEmpty());
    EXPECT_GE(changed.count(), 2) << "the trash view learns of the restore after the trash is written";
}

TEST(StoreCommands, RestoreKeepsTheEntryInTheTrashWhenTheNotesCannotBeWritten) {
    Notes notes("## 2025-03-14 Friday\n\n- [ ] precious\n");
    ASSERT_TRUE(notes.store->deleteEntry(notes.id(QStringLiteral("precious"))));
    const QByteArray trashBefore = readAll(notes.trash());
    {
        plim::test::FileSizeLimit limit(8);
        EXPECT_FALSE(notes.store->restoreFromTrash(notes.store->trashDocument().allEntries().at(0).id));
    }
    EXPECT_EQ(readAll(notes.trash()), trashBefore);
    EXPECT_TRUE(notes.store->document().allEntries().isEmpty()) << "only what the file holds is shown";
    // Trying again once the disk takes writes restores it once, not twice.
    ASSERT_TRUE(notes.store->restoreFromTrash(notes.store->trashDocument().allEntries().at(0).id));
    EXPECT_EQ(notes.file().count(u"precious"_s), 1);
    EXPECT_EQ(notes.store->document().allEntries().size(), 1);
}

TEST(StoreCommands, TakingBackACaptureRemovesTheLatestOpenOne) {
    Notes notes("## 2025-03-14 Friday\n\n- [ ] milk  <!-- 08:00 -->\n- [ ] bread\n- [ ] milk  <!-- 09:00 -->\n"
                "- [x] ~~eggs~~\n");
    const Instant now = notes.clock->now();
    EXPECT_TRUE(notes.store->removeMostRecentCapture(u"milk", now));
    EXPECT_EQ(notes.file(), kToday + u"- [ ] milk  <!-- 08:00 -->\n- [ ] bread\n- [x] ~~eggs~~\n"_s);
    EXPECT_FALSE(notes.store->removeMostRecentCapture(u"eggs", now));
}

} // namespace
