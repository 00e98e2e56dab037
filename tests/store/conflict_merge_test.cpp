#include "store/ConflictMerge.h"

#include "reminders/Reminder.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace plim;

namespace {

const char* const kSun = "## 2026-12-06 Sunday\n\n";
const char* const kSat = "## 2026-12-05 Saturday\n\n";
const char* const kFri = "## 2026-12-04 Friday\n\n";

QString text(std::initializer_list<const char*> parts) {
    QString s;
    for (const char* p : parts) {
        s += QString::fromUtf8(p);
    }
    return s;
}

TEST(ConflictCopies, NamesOfTheSyncToolsCopies) {
    const struct {
        const char* name;
        const char* original;
        bool copy;
    } cases[] = {
        {"plim.sync-conflict-20261206-101500-ABCDEFG.md", "plim.md", true},
        {"plim (Ann's conflicted copy 2026-12-06).md", "plim.md", true},
        {"plim (Ann’s conflicted copy 2026-12-06 (1)).md", "plim.md", true},
        {"plim (conflicted copy 2026-12-06 101500).md", "plim.md", true},
        {"plim_conflict-20261206-101500.md", "plim.md", true},
        {"plim.trash.sync-conflict-20261206-101500-ABCDEFG.md", "plim.trash.md", true},
        {"notes (1).sync-conflict-20261206-101500-ABCDEFG.txt", "notes (1).txt", true},
        {"todo.sync-conflict-20261206-101500-ABCDEFG", "todo", true},
        // Not copies of this file.
        {"plim.md", "plim.md", false},
        {"plim.trash.sync-conflict-20261206-101500-ABCDEFG.md", "plim.md", false},
        {"plimx.sync-conflict-20261206-101500-ABCDEFG.md", "plim.md", false},
        {"plim.sync-conflict-20261206-101500-ABCDEFG.md.tmp", "plim.md", false},
        {".syncthing.plim.md.tmp", "plim.md", false},
        {"plim (copy).md", "plim.md", false},
        {"plim.sync-conflict-2026-ABCDEFG.md", "plim.md", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ConflictCopies::isCopyOf(QString::fromUtf8(c.name), QString::fromUtf8(c.original)), c.copy);
    }

    QTemporaryDir dir;
    for (const char* name : {"plim.md", "plim.trash.md", "plim_conflict-20261206-101500.md", "other.md",
                             "plim.trash (Bo's conflicted copy 2026-12-06).md"}) {
        ASSERT_TRUE(test::writeAll(dir.filePath(QString::fromUtf8(name)), "x\n"));
    }
    const QList<ConflictCopies::Found> expected{
        {dir.filePath(QStringLiteral("plim.trash (Bo's conflicted copy 2026-12-06).md")), ConflictCopies::Of::Trash},
        {dir.filePath(QStringLiteral("plim_conflict-20261206-101500.md")), ConflictCopies::Of::Notes}};
    EXPECT_EQ(ConflictCopies::find(dir.filePath(QStringLiteral("plim.md"))), expected);
}

TEST(ConflictMerge, ByIdentity) {
    const struct {
        const char* name;
        QString ancestor; // null: none
        QString notes;
        QString copy;
        QString merged; // null: the notes as they were
        MergeCounts counts;
    } cases[] = {
        {"captures on both sides",
         {},
         text({kSun, "- [ ] a\n- [ ] here\n"}),
         text({kSun, "- [ ] a\n- [ ] there\n"}),
         text({kSun, "- [ ] a\n- [ ] there\n- [ ] here\n"}),
         {.added = 1}},
        {"a capture before every other",
         {},
         text({kSun, "- [ ] a\n"}),
         text({kSun, "- [ ] first\n- [ ] a\n"}),
         text({kSun, "- [ ] first\n- [ ] a\n"}),
         {.added = 1}},
        {"done here, snoozed there",
         {},
         text({kSun, "- [x] ~~rent~~  <!-- 09:00 -->\n"}),
         text({kSun, "- [ ] rent  <!-- 09:00 remind 2026-12-06 15:00 -->\n"}),
         {},
         {}},
        {"snoozed here, done there",
         {},
         text({kSun, "- [ ] ! rent  <!-- 09:00 remind 2026-12-06 15:00 -->\n"}),
         text({kSun, "- [x] ~~rent~~  <!-- 09:00 -->\n"}),
         text({kSun, "- [x] ! ~~rent~~  <!-- 09:00 -->\n"}),
         {.done = 1}},
        {"struck there",
         {},
         text({kSun, "- idea\n"}),
         text({kSun, "- ~~idea~~\n"}),
         text({kSun, "- ~~idea~~\n"}),
         {.done = 1}},
        {"struck here, done there",
         {},
         text({kSun, "- ~~idea~~\n"}),
         text({kSun, "- [x] ~~idea~~\n"}),
         text({kSun, "- [x] ~~idea~~\n"}),
         {.updated = 1}},
        {"the reminder that rings first stays",
         {},
         text({kSun, "- [ ] call  <!-- 09:00 remind 2026-12-06 15:00 -->\n"}),
         text({kSun, "- [ ] call  <!-- 09:00 remind 2026-12-06 13:00 -->\n"}),
         text({kSun, "- [ ] call  <!-- 09:00 remind 2026-12-06 13:00 -->\n"}),
         {.updated = 1}},
        {"a ringing reminder rings before a snoozed one",
         {},
         text({kSun, "- [ ] call  <!-- 09:00 remind 2026-12-06 15:00 -->\n"}),
         text({kSun, "- [ ] call  <!-- 09:00 remind 2026-12-06 11:00 -->\n"}),
         text({kSun, "- [ ] call  <!-- 09:00 remind 2026-12-06 11:00 -->\n"}),
         {.updated = 1}},
        {"a reminder only there",
         {},
         text({kSun, "- [ ] call  <!-- 09:00 -->\n"}),
         text({kSun, "- [ ] call  <!-- 09:00 remind 2026-12-07 09:00 -->\n"}),
         text({kSun, "- [ ] call  <!-- 09:00 remind 2026-12-07 09:00 -->\n"}),
         {.updated = 1}},
        {"shortlisted there",
         {},
         text({kSun, "- [ ] a\n"}),
         text({kSun, "- [ ] ! a\n"}),
         text({kSun, "- [ ] ! a\n"}),
         {.updated = 1}},
        {"edited there, with the ancestor",
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n- [ ] b2\n"}),
         text({kSun, "- [ ] a\n- [ ] b2\n"}),
         {.added = 1, .removed = 1}},
        {"edited there, without an ancestor",
         {},
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n- [ ] b2\n"}),
         text({kSun, "- [ ] a\n- [ ] b2\n- [ ] b\n"}),
         {.added = 1}},
        {"deleted there, with the ancestor",
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n"}),
         text({kSun, "- [ ] a\n"}),
         {.removed = 1}},
        {"deleted there but changed here",
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n- [x] ~~b~~\n"}),
         text({kSun, "- [ ] a\n"}),
         {},
         {}},
        {"deleted there, without an ancestor",
         {},
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n"}),
         {},
         {}},
        {"an ancestor older than what both sides shared since is not used",
         text({kSun, "- [ ] a\n- [ ] gone on both\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n"}),
         {},
         {}},
        {"deleted here, with the ancestor",
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n"}),
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         {},
         {}},
        {"deleted here, without an ancestor",
         {},
         text({kSun, "- [ ] a\n"}),
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         {.added = 1}},
        {"deleted here, done there",
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\n"}),
         text({kSun, "- [ ] a\n- [x] ~~b~~\n"}),
         text({kSun, "- [ ] a\n- [x] ~~b~~\n"}),
         {.added = 1}},
        {"snoozed here, done there, with the ancestor",
         text({kSun, "- [ ] ! pay  <!-- 09:00 remind 2026-12-06 10:00 -->\n"}),
         text({kSun, "- [ ] ! pay  <!-- 09:00 remind 2026-12-06 18:00 -->\n"}),
         text({kSun, "- [x] ~~pay~~  <!-- 09:00 -->\n"}),
         text({kSun, "- [x] ~~pay~~  <!-- 09:00 -->\n"}),
         {.done = 1}},
        {"reopened here, untouched there",
         text({kSun, "- [x] ~~a~~\n"}),
         text({kSun, "- [ ] a\n"}),
         text({kSun, "- [x] ~~a~~\n"}),
         {},
         {}},
        {"the same text twice on both sides",
         {},
         text({kSun, "- [ ] milk\n- [ ] tea\n- [ ] milk\n"}),
         text({kSun, "- [ ] milk\n- [ ] milk\n"}),
         {},
         {}},
        {"a third time there",
         {},
         text({kSun, "- [ ] milk\n- [ ] milk\n"}),
         text({kSun, "- [ ] milk\n- [ ] milk\n- [x] ~~milk~~\n"}),
         text({kSun, "- [ ] milk\n- [ ] milk\n- [x] ~~milk~~\n"}),
         {.added = 1}},
        {"days only in the copy",
         {},
         text({"pre\n\n", kSun, "- [ ] a\n\n", kFri, "- [ ] c\n"}),
         text({"pre\nmore\n\n", kSun, "- [ ] a\n\n", kSat, "- [ ] b\n\n", "## misc\n\n- [ ] m\n"}),
         text({"pre\nmore\n\n", kSun, "- [ ] a\n\n", kSat, "- [ ] b\n\n", kFri, "- [ ] c\n\n", "## misc\n\n- [ ] m\n"}),
         {.added = 2, .lines = 1}},
        {"a newer day only in the copy",
         {},
         text({kSat, "- [ ] b\n"}),
         text({kSun, "- [ ] a\n\n", kSat, "- [ ] b\n"}),
         text({kSun, "- [ ] a\n\n", kSat, "- [ ] b\n"}),
         {.added = 1}},
        {"raw lines at their place",
         {},
         text({kSun, "- [ ] a\n- [ ] b\n"}),
         text({kSun, "- [ ] a\nsee folder\n- [ ] b\n"}),
         text({kSun, "- [ ] a\nsee folder\n- [ ] b\n"}),
         {.lines = 1}},
        {"a raw line deleted here",
         text({kSun, "- [ ] a\nsee folder\n"}),
         text({kSun, "- [ ] a\n"}),
         text({kSun, "- [ ] a\nsee folder\n"}),
         {},
         {}},
        {"a CRLF copy",
         {},
         text({kSun, "- [ ] a\n"}),
         QString::fromUtf8("## 2026-12-06 Sunday\r\n\r\n- [x] ~~a~~\r\n- [ ] new  <!-- 10:00 -->\r\n"),
         text({kSun, "- [x] ~~a~~\n- [ ] new  <!-- 10:00 -->\n"}),
         {.added = 1, .done = 1}},
    };
    const Calendar calendar(QStringLiteral("Europe/Berlin"));
    const Instant now = test::at(calendar, 2026, 12, 6, 12, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const NotesDocument notes = NotesDocument::parse(c.notes);
        const NotesDocument copy = NotesDocument::parse(c.copy);
        const std::optional<NotesDocument> ancestor =
            c.ancestor.isNull() ? std::nullopt : std::optional(NotesDocument::parse(c.ancestor));
        const MergeOutcome m = mergeNotes(ancestor ? &*ancestor : nullptr, notes, copy, now, calendar, Anchors{});
        const QString expected = c.merged.isNull() ? c.notes : c.merged;
        EXPECT_EQ(m.document.serialized(), expected);
        EXPECT_EQ(m.counts, c.counts);
        // Merging the same copy again changes nothing.
        const NotesDocument again = NotesDocument::parse(m.document.serialized());
        const MergeOutcome twice = mergeNotes(ancestor ? &*ancestor : nullptr, again, copy, now, calendar, Anchors{});
        EXPECT_EQ(twice.document.serialized(), expected);
        EXPECT_EQ(twice.counts, MergeCounts{});
    }
}

TEST(ConflictMerge, Summary) {
    const QString name = QStringLiteral("plim.sync-conflict-20261206-101500-ABCDEFG.md");
    EXPECT_EQ(mergeSummary({.added = 3, .done = 1}, name),
              QStringLiteral("3 entries added, 1 marked done, from ") + name);
    EXPECT_EQ(mergeSummary({.added = 1, .updated = 2, .removed = 1, .lines = 1}, name),
              QStringLiteral("1 entry added, 2 entries updated, 1 entry removed, 1 line added, from ") + name);
    EXPECT_EQ(mergeSummary({}, name), QStringLiteral("nothing new from ") + name);
}

} // namespace
