#include "store/ConflictMerge.h"

#include "reminders/Reminder.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace plim;

namespace {

TEST(ConflictCopies, NamesOfTheSyncToolsCopies) {
    // "name>original" rows, copies first, then names that are no copy of that file.
    const QStringList copies = QStringLiteral("plim.sync-conflict-20261206-101500-ABCDEFG.md>plim.md|"
                                              "plim (Ann's conflicted copy 2026-12-06).md>plim.md|"
                                              "plim (Ann’s conflicted copy 2026-12-06 (1)).md>plim.md|"
                                              "plim (conflicted copy 2026-12-06 101500).md>plim.md|"
                                              "plim_conflict-20261206-101500.md>plim.md|"
                                              "plim.trash.sync-conflict-20261206-101500-ABCDEFG.md>plim.trash.md|"
                                              "notes (1).sync-conflict-20261206-101500-ABCDEFG.txt>notes (1).txt|"
                                              "todo.sync-conflict-20261206-101500-ABCDEFG>todo")
                                   .split(u'|');
    const QStringList others = QStringLiteral("plim.md>plim.md|plim (copy).md>plim.md|.syncthing.plim.md.tmp>plim.md|"
                                              "plim.trash.sync-conflict-20261206-101500-ABCDEFG.md>plim.md|"
                                              "plimx.sync-conflict-20261206-101500-ABCDEFG.md>plim.md|"
                                              "plim.sync-conflict-20261206-101500-ABCDEFG.md.tmp>plim.md|"
                                              "plim.sync-conflict-2026-ABCDEFG.md>plim.md")
                                   .split(u'|');
    for (const QString& row : copies + others) {
        EXPECT_EQ(ConflictCopies::isCopyOf(row.section(u'>', 0, 0), row.section(u'>', 1)), copies.contains(row))
            << row.toStdString();
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

// Each side's text is a day's lines under Sunday's heading unless it has headings of its own.
TEST(ConflictMerge, ByIdentity) {
    const struct {
        const char* name;
        const char* ancestor; // null: none
        const char* notes;
        const char* copy;
        const char* merged; // null: the notes as they were
        const char* counts; // as the summary says them
    } cases[] = {
        {"captures on both sides", nullptr, "- [ ] a\n- [ ] here\n", "- [ ] a\n- [ ] there\n",
         "- [ ] a\n- [ ] there\n- [ ] here\n", "1 entry added"},
        {"a capture before every other", nullptr, "- [ ] a\n", "- [ ] first\n- [ ] a\n", "- [ ] first\n- [ ] a\n",
         "1 entry added"},
        {"done here, snoozed there", nullptr, "- [x] ~~rent~~  <!-- 09:00 -->\n",
         "- [ ] rent  <!-- 09:00 remind 2026-12-06 15:00 -->\n", nullptr, "nothing new"},
        {"snoozed here, done there", nullptr, "- [ ] ! rent  <!-- 09:00 remind 2026-12-06 15:00 -->\n",
         "- [x] ~~rent~~  <!-- 09:00 -->\n", "- [x] ! ~~rent~~  <!-- 09:00 -->\n", "1 marked done"},
        {"struck there", nullptr, "- idea\n", "- ~~idea~~\n", "- ~~idea~~\n", "1 marked done"},
        {"struck here, done there", nullptr, "- ~~idea~~\n", "- [x] ~~idea~~\n", "- [x] ~~idea~~\n", "1 entry updated"},
        {"the reminder that rings first stays", nullptr, "- [ ] call  <!-- 09:00 remind 2026-12-06 15:00 -->\n",
         "- [ ] call  <!-- 09:00 remind 2026-12-06 13:00 -->\n", "- [ ] call  <!-- 09:00 remind 2026-12-06 13:00 -->\n",
         "1 entry updated"},
        {"a ringing reminder rings before a snoozed one", nullptr,
         "- [ ] call  <!-- 09:00 remind 2026-12-06 15:00 -->\n", "- [ ] call  <!-- 09:00 remind 2026-12-06 11:00 -->\n",
         "- [ ] call  <!-- 09:00 remind 2026-12-06 11:00 -->\n", "1 entry updated"},
        {"a reminder only there", nullptr, "- [ ] call  <!-- 09:00 -->\n",
         "- [ ] call  <!-- 09:00 remind 2026-12-07 09:00 -->\n", "- [ ] call  <!-- 09:00 remind 2026-12-07 09:00 -->\n",
         "1 entry updated"},
        {"shortlisted there", nullptr, "- [ ] a\n", "- [ ] ! a\n", "- [ ] ! a\n", "1 entry updated"},
        {"edited there, with the ancestor", "- [ ] a\n- [ ] b\n", "- [ ] a\n- [ ] b\n", "- [ ] a\n- [ ] b2\n",
         "- [ ] a\n- [ ] b2\n", "1 entry added, 1 entry removed"},
        {"edited there, without an ancestor", nullptr, "- [ ] a\n- [ ] b\n", "- [ ] a\n- [ ] b2\n",
         "- [ ] a\n- [ ] b2\n- [ ] b\n", "1 entry added"},
        {"deleted there, with the ancestor", "- [ ] a\n- [ ] b\n", "- [ ] a\n- [ ] b\n", "- [ ] a\n", "- [ ] a\n",
         "1 entry removed"},
        {"deleted there but changed here", "- [ ] a\n- [ ] b\n", "- [ ] a\n- [x] ~~b~~\n", "- [ ] a\n", nullptr,
         "nothing new"},
        {"deleted there, without an ancestor", nullptr, "- [ ] a\n- [ ] b\n", "- [ ] a\n", nullptr, "nothing new"},
        {"an ancestor older than what both sides shared since is not used", "- [ ] a\n- [ ] gone on both\n- [ ] b\n",
         "- [ ] a\n- [ ] b\n", "- [ ] a\n", nullptr, "nothing new"},
        {"deleted here, with the ancestor", "- [ ] a\n- [ ] b\n", "- [ ] a\n", "- [ ] a\n- [ ] b\n", nullptr,
         "nothing new"},
        {"deleted here, without an ancestor", nullptr, "- [ ] a\n", "- [ ] a\n- [ ] b\n", "- [ ] a\n- [ ] b\n",
         "1 entry added"},
        {"deleted here, done there", "- [ ] a\n- [ ] b\n", "- [ ] a\n", "- [ ] a\n- [x] ~~b~~\n",
         "- [ ] a\n- [x] ~~b~~\n", "1 entry added"},
        {"snoozed here, done there, with the ancestor", "- [ ] ! pay  <!-- 09:00 remind 2026-12-06 10:00 -->\n",
         "- [ ] ! pay  <!-- 09:00 remind 2026-12-06 18:00 -->\n", "- [x] ~~pay~~  <!-- 09:00 -->\n",
         "- [x] ~~pay~~  <!-- 09:00 -->\n", "1 marked done"},
        {"reopened here, untouched there", "- [x] ~~a~~\n", "- [ ] a\n", "- [x] ~~a~~\n", nullptr, "nothing new"},
        {"the same text twice on both sides", nullptr, "- [ ] milk\n- [ ] tea\n- [ ] milk\n",
         "- [ ] milk\n- [ ] milk\n", nullptr, "nothing new"},
        {"a third time there", nullptr, "- [ ] milk\n- [ ] milk\n", "- [ ] milk\n- [ ] milk\n- [x] ~~milk~~\n",
         "- [ ] milk\n- [ ] milk\n- [x] ~~milk~~\n", "1 entry added"},
        {"days only in the copy", nullptr,
         "pre\n\n## 2026-12-06 Sunday\n\n- [ ] a\n\n## 2026-12-04 Friday\n\n- [ ] c\n",
         "pre\nmore\n\n## 2026-12-06 Sunday\n\n- [ ] a\n\n## 2026-12-05 Saturday\n\n- [ ] b\n\n## misc\n\n- [ ] m\n",
         "pre\nmore\n\n## 2026-12-06 Sunday\n\n- [ ] a\n\n## 2026-12-05 Saturday\n\n- [ ] b\n\n## 2026-12-04 "
         "Friday\n\n- [ ] c\n\n## misc\n\n- [ ] m\n",
         "2 entries added, 1 line added"},
        {"a newer day only in the copy", nullptr, "## 2026-12-05 Saturday\n\n- [ ] b\n",
         "## 2026-12-06 Sunday\n\n- [ ] a\n\n## 2026-12-05 Saturday\n\n- [ ] b\n",
         "## 2026-12-06 Sunday\n\n- [ ] a\n\n## 2026-12-05 Saturday\n\n- [ ] b\n", "1 entry added"},
        {"raw lines at their place", nullptr, "- [ ] a\n- [ ] b\n", "- [ ] a\nsee folder\n- [ ] b\n",
         "- [ ] a\nsee folder\n- [ ] b\n", "1 line added"},
        {"a raw line deleted here", "- [ ] a\nsee folder\n", "- [ ] a\n", "- [ ] a\nsee folder\n", nullptr,
         "nothing new"},
        {"a CRLF copy", nullptr, "- [ ] a\n",
         "## 2026-12-06 Sunday\r\n\r\n- [x] ~~a~~\r\n- [ ] new  <!-- 10:00 -->\r\n",
         "- [x] ~~a~~\n- [ ] new  <!-- 10:00 -->\n", "1 entry added, 1 marked done"},
    };
    const Calendar calendar(QStringLiteral("Europe/Berlin"));
    const Instant now = test::at(calendar, 2026, 12, 6, 12, 0);
    const auto said = [](const MergeCounts& counts) {
        return mergeSummary(counts, QString()).remove(QStringLiteral(", from ")).remove(QStringLiteral(" from "));
    };
    const auto file = [](const char* lines) {
        const QString s = QString::fromUtf8(lines);
        return s.contains(QStringLiteral("## ")) ? s : QStringLiteral("## 2026-12-06 Sunday\n\n") + s;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const NotesDocument notes = NotesDocument::parse(file(c.notes));
        const NotesDocument copy = NotesDocument::parse(file(c.copy));
        const std::optional<NotesDocument> ancestor =
            c.ancestor ? std::optional(NotesDocument::parse(file(c.ancestor))) : std::nullopt;
        const MergeOutcome m = mergeNotes(ancestor ? &*ancestor : nullptr, notes, copy, now, calendar, Anchors{});
        const QString expected = file(c.merged ? c.merged : c.notes);
        EXPECT_EQ(m.document.serialized(), expected);
        EXPECT_EQ(said(m.counts), QString::fromUtf8(c.counts));
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
