#include "store/AgreedText.h"
#include "store/ConflictMerge.h"
#include "store/ConflictWatcher.h"
#include "store/NotesStore.h"

#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace plim;
using namespace Qt::Literals::StringLiterals;
using test::readAll;
using test::writeAll;
using namespace std::chrono_literals;

namespace {

const Calendar kBerlin(u"Europe/Berlin"_s);

// Moves the file's modification time `seconds` into the past (into the future when negative).
bool age(const QString& path, int seconds) {
    QFile f(path);
    return f.open(QIODevice::ReadWrite) &&
           f.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime);
}

struct ConflictStore : ::testing::Test {
    ConflictStore() {
        EXPECT_TRUE(writeAll(notes.path, "## 2026-12-06 Sunday\n\n- [ ] a\n"));
        NotesStore::Options options;
        options.keepAgreedText = true;
        store = notes.open(options);
    }
    QString beside(const QString& name) const { return notes.dir.filePath(name); }
    // Reads the file again and records the agreed text at once.
    void reload() {
        store->load();
        store->flushAgreedText();
    }

    test::TempNotes notes{test::at(kBerlin, 2026, 12, 6, 12, 0), kBerlin};
    std::unique_ptr<NotesStore> store;
};

// The merge is one step of the history: undo brings the file back and the copy beside it.
TEST_F(ConflictStore, UndoPutsTheCopyBack) {
    const QString copy = beside(u"plim.sync-conflict-20261206-101500-ABCDEFG.md"_s);
    const QByteArray copyText = "## 2026-12-06 Sunday\n\n- [x] ~~a~~\n- [ ] b\n";
    ASSERT_TRUE(writeAll(copy, copyText));
    const QByteArray before = readAll(notes.path);

    const auto merged = store->mergeCopy(copy, ConflictCopies::Of::Notes);
    ASSERT_EQ(merged.status, NotesStore::CopyMerge::Status::Merged) << merged.message.toStdString();
    EXPECT_EQ(merged.message, u"1 entry added, 1 marked done, from plim.sync-conflict-20261206-101500-ABCDEFG.md"_s);
    EXPECT_EQ(readAll(notes.path), "## 2026-12-06 Sunday\n\n- [x] ~~a~~\n- [ ] b\n");
    const QString kept = NotesStore::mergedFolder() + u"/plim.sync-conflict-20261206-101500-ABCDEFG.md"_s;
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_EQ(readAll(kept), copyText);
    EXPECT_EQ(QFileInfo(NotesStore::mergedFolder()).permissions() & 0x0077, 0);
    EXPECT_EQ(store->undoDepth(), 1);

    store->undo();
    EXPECT_EQ(readAll(notes.path), before);
    EXPECT_EQ(readAll(copy), copyText);
    EXPECT_FALSE(QFileInfo::exists(kept));
    store->redo();
    EXPECT_EQ(readAll(notes.path), "## 2026-12-06 Sunday\n\n- [x] ~~a~~\n- [ ] b\n");
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_TRUE(QFileInfo::exists(kept));
}

// A copy of the trash goes into the trash, everything of both kept.
TEST_F(ConflictStore, TrashCopyIntoTheTrash) {
    ASSERT_TRUE(writeAll(store->trashFilePath(), "## 2026-12-01 Tuesday\n\n- [ ] gone here\n"));
    const QString copy = beside(u"plim.trash (Ann's conflicted copy 2026-12-06).md"_s);
    ASSERT_TRUE(writeAll(copy, "## 2026-12-02 Wednesday\n\n- [ ] gone there\n"));
    ASSERT_TRUE(writeAll(beside(u"other.md"_s), "- x\n"));
    const QByteArray notesBefore = readAll(notes.path);
    // Found beside the notes and its trash (no copy of theirs) as the trash's copy.
    const auto found = ConflictCopies::find(notes.path);
    ASSERT_EQ(found, (QList<ConflictCopies::Found>{{copy, ConflictCopies::Of::Trash}}));
    const auto merged = store->mergeCopy(found.first().path, found.first().of);
    EXPECT_EQ(merged.status, NotesStore::CopyMerge::Status::Merged);
    EXPECT_EQ(readAll(store->trashFilePath()),
              "## 2026-12-02 Wednesday\n\n- [ ] gone there\n\n## 2026-12-01 Tuesday\n\n- [ ] gone here\n");
    EXPECT_EQ(readAll(notes.path), notesBefore);
    EXPECT_FALSE(QFileInfo::exists(copy));
}

// The agreed text: a text read in that no plim process wrote, never while a copy sits beside it.
// What one plim process wrote is never the agreed text of a later one: not when another process
// reads it only after writing on top of it, not once its stamp moved (touched) with its bytes the
// same. A temporary a killed writer left in the agreed folder goes at the next start.
TEST_F(ConflictStore, AgreedTextFollowsWhatComesFromElsewhere) {
    const AgreedText agreed(notes.path);
    const QString loaded = u"## 2026-12-06 Sunday\n\n- [ ] a\n"_s;
    // Recorded a moment after the read, so that the window draws first.
    EXPECT_EQ(agreed.ancestor(), std::nullopt);
    EXPECT_TRUE(test::waitFor([&] { return agreed.ancestor().has_value(); }));
    EXPECT_EQ(agreed.ancestor(), loaded);
    EXPECT_EQ(QFileInfo(agreed.ancestorPath()).permissions() & 0x0077, 0);
    // The same version read again is not written again.
    ASSERT_TRUE(writeAll(agreed.ancestorPath(), "kept"));
    reload();
    EXPECT_EQ(agreed.ancestor(), u"kept"_s);
    ASSERT_TRUE(writeAll(agreed.ancestorPath(), loaded.toUtf8()));

    store->toggleDone(test::entryId(store->document(), u"a"_s)); // our own write
    NotesStore::Options options;
    options.keepAgreedText = true;
    for (const QString& text : {u"one"_s, u"two"_s, u"three"_s}) {
        // A command of its own: reads the last one's write, writes on top, records what it read.
        auto command = notes.open(options);
        ASSERT_TRUE(command->append(text, std::nullopt, notes.clock->now()));
    }
    ASSERT_TRUE(age(notes.path, -5)); // touched
    const QString litter = QFileInfo(agreed.ancestorPath()).path() + u"/."_s +
                           QFileInfo(agreed.ancestorPath()).fileName() + u".plim-Ab12Cd"_s;
    ASSERT_TRUE(writeAll(litter, "half"));
    reload();
    EXPECT_EQ(agreed.ancestor(), loaded);
    EXPECT_FALSE(QFileInfo::exists(litter));

    const QByteArray fromElsewhere = "## 2026-12-06 Sunday\n\n- [ ] a\n- [ ] b\n";
    ASSERT_TRUE(writeAll(notes.path, fromElsewhere));
    reload();
    EXPECT_EQ(agreed.ancestor(), QString::fromUtf8(fromElsewhere));

    ASSERT_TRUE(writeAll(beside(u"plim_conflict-20261206-101500.md"_s), "- x\n"));
    ASSERT_TRUE(writeAll(notes.path, "## 2026-12-06 Sunday\n\n- [ ] c\n"));
    reload();
    EXPECT_EQ(agreed.ancestor(), QString::fromUtf8(fromElsewhere));
}

// An agreed text newer than the copy (the other computer's text come back after this one merged
// it) is not what the copy started from: what the copy lacks stays.
TEST_F(ConflictStore, AnAgreedTextNewerThanTheCopyIsNoAncestor) {
    const QString copy = beside(u"plim.sync-conflict-20261206-101500-ABCDEFG.md"_s);
    ASSERT_TRUE(writeAll(copy, "## 2026-12-06 Sunday\n\n- [ ] a\n"));
    ASSERT_TRUE(age(copy, 60));
    const QByteArray merged = "## 2026-12-06 Sunday\n\n- [ ] a\n- [ ] b\n";
    ASSERT_TRUE(writeAll(notes.path, merged)); // from elsewhere, once the copy has gone there
    QFile::rename(copy, copy + u".away"_s);
    reload();
    ASSERT_EQ(AgreedText(notes.path).ancestor(), QString::fromUtf8(merged));
    QFile::rename(copy + u".away"_s, copy);

    const auto result = store->mergeCopy(copy, ConflictCopies::Of::Notes);
    EXPECT_EQ(result.message, u"nothing new from plim.sync-conflict-20261206-101500-ABCDEFG.md"_s);
    EXPECT_EQ(readAll(notes.path), merged);
}

// The agreed folder keeps what the notes files in use need, and nothing a killed writer left.
TEST(AgreedTextPrune, KeepsWhatNotesFilesInUseNeed) {
    QTemporaryDir dir;
    const QString state = dir.filePath(u"state"_s);
    const QDateTime now = QDateTime::currentDateTime();
    constexpr int kDay = 86400;
    const struct {
        const char* notes;
        bool exists;
        int unused; // seconds
        bool kept;
    } cases[] = {
        {"in-use.md", true, kDay, true},
        {"gone.md", false, kDay, false},
        {"unused.md", true, 91 * kDay, false},
        {"quiet.md", true, 89 * kDay, true},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QString::fromUtf8(c.notes));
        ASSERT_TRUE(!c.exists || writeAll(path, "- a\n"));
        const AgreedText agreed(path, state);
        ASSERT_TRUE(writeAll(agreed.ancestorPath(), "- a\n"));
        for (const QString& file : QDir(state + u"/agreed"_s).entryList({QFileInfo(path).baseName() + u"-*"_s})) {
            ASSERT_TRUE(age(state + u"/agreed/"_s + file, c.unused));
        }
    }
    const QString killed = state + u"/agreed/.other-0123456789abcdef.md.plim-Ab12Cd"_s;
    const QString writing = state + u"/agreed/.other-0123456789abcdef.md.plim-Ef34Gh"_s;
    ASSERT_TRUE(writeAll(killed, "half") && age(killed, 7200) && writeAll(writing, "half"));

    AgreedText::prune(state, now);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.notes);
        EXPECT_EQ(QFileInfo::exists(AgreedText(dir.filePath(QString::fromUtf8(c.notes)), state).ancestorPath()),
                  c.kept);
    }
    EXPECT_FALSE(QFileInfo::exists(killed));
    EXPECT_TRUE(QFileInfo::exists(writing));
}

// A copy is reported once the sync tool has stopped writing it, once; the same file coming back
// (an undone merge) is not reported again, a new copy of that name is.
TEST(ConflictWatcher, ReportsACopyOnceItsSizeSettled) {
    QTemporaryDir dir;
    const QString notes = dir.filePath(u"plim.md"_s);
    ASSERT_TRUE(test::writeAll(notes, "- a\n"));
    const QString old = dir.filePath(u"plim_conflict-20261205-101500.md"_s);
    ASSERT_TRUE(test::writeAll(old, "- there before\n"));

    ConflictWatcher watcher(notes, ConflictWatcher::Timings{300ms, 20ms});
    QStringList reported;
    QElapsedTimer clock;
    qint64 reportedAt = -1;
    QObject::connect(&watcher, &ConflictWatcher::copyReady, [&](const QString& path, ConflictCopies::Of of) {
        reported.append(path);
        reportedAt = clock.elapsed();
        EXPECT_EQ(of, ConflictCopies::Of::Notes);
    });
    QTRY_COMPARE_WITH_TIMEOUT(reported, QStringList{old}, 3000);
    reported.clear();

    // Written in pieces for half a second: reported only once the writing stopped and settled.
    const QString copy = dir.filePath(u"plim.sync-conflict-20261206-101500-ABCDEFG.md"_s);
    clock.start();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(test::writeAll(copy, "- [ ] entry\n", true));
        QTest::qWait(50);
    }
    const qint64 lastWrite = clock.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(reported, QStringList{copy}, 3000);
    EXPECT_GE(reportedAt, lastWrite + 250);
    QTest::qWait(400);
    EXPECT_EQ(reported.size(), 1);

    // Moved away and back: the same file, not reported again.
    const QString away = dir.filePath(u"away"_s);
    ASSERT_TRUE(QFile::rename(copy, away));
    QTest::qWait(100);
    ASSERT_TRUE(QFile::rename(away, copy));
    QTest::qWait(600);
    EXPECT_EQ(reported.size(), 1);

    // Asked again (a merge that could not be made): reported again.
    watcher.again(copy);
    QTRY_COMPARE_WITH_TIMEOUT(reported.size(), 2, 3000);
}

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
}

// Each side's text is a day's lines under Sunday's heading unless it has headings of its own.
TEST(ConflictMerge, ByIdentity) {
    const struct {
        const char* name;
        const char* ancestor; // null: none
        const char* notes;
        const char* copy;
        const char* merged; // null: the notes as they were; empty: the copy
        const char* counts; // as the summary says them
    } cases[] = {
        {"captures on both sides", nullptr, "- [ ] a\n- [ ] here\n", "- [ ] a\n- [ ] there\n",
         "- [ ] a\n- [ ] there\n- [ ] here\n", "1 entry added"},
        {"a capture before every other", nullptr, "- [ ] a\n", "- [ ] first\n- [ ] a\n", "", "1 entry added"},
        {"done here, snoozed there", nullptr, "- [x] ~~rent~~  <!-- 09:00 -->\n",
         "- [ ] rent  <!-- 09:00 remind 2026-12-06 15:00 -->\n", nullptr, "nothing new"},
        {"snoozed here, done there", nullptr, "- [ ] ! rent  <!-- 09:00 remind 2026-12-06 15:00 -->\n",
         "- [x] ~~rent~~  <!-- 09:00 -->\n", "- [x] ! ~~rent~~  <!-- 09:00 -->\n", "1 marked done"},
        {"struck there", nullptr, "- idea\n", "- ~~idea~~\n", "", "1 marked done"},
        {"struck here, done there", nullptr, "- ~~idea~~\n", "- [x] ~~idea~~\n", "", "1 entry updated"},
        {"the reminder that rings first stays", nullptr, "- [ ] call  <!-- 09:00 remind 2026-12-06 15:00 -->\n",
         "- [ ] call  <!-- 09:00 remind 2026-12-06 13:00 -->\n", "", "1 entry updated"},
        {"a ringing reminder rings before a snoozed one", nullptr,
         "- [ ] call  <!-- 09:00 remind 2026-12-06 15:00 -->\n", "- [ ] call  <!-- 09:00 remind 2026-12-06 11:00 -->\n",
         "", "1 entry updated"},
        {"a reminder only there", nullptr, "- [ ] call  <!-- 09:00 -->\n",
         "- [ ] call  <!-- 09:00 remind 2026-12-07 09:00 -->\n", "", "1 entry updated"},
        {"shortlisted there", nullptr, "- [ ] a\n", "- [ ] ! a\n", "", "1 entry updated"},
        {"edited there (ancestor)", "- [ ] a\n- [ ] b\n", "- [ ] a\n- [ ] b\n", "- [ ] a\n- [ ] b2\n", "",
         "1 entry added, 1 entry removed"},
        {"edited there (no ancestor)", nullptr, "- [ ] a\n- [ ] b\n", "- [ ] a\n- [ ] b2\n",
         "- [ ] a\n- [ ] b2\n- [ ] b\n", "1 entry added"},
        {"deleted there (ancestor)", "- [ ] a\n- [ ] b\n", "- [ ] a\n- [ ] b\n", "- [ ] a\n", "", "1 entry removed"},
        {"done here, gone there", "- [ ] a\n- [ ] b\n", "- [ ] a\n- [x] ~~b~~\n", "- [ ] a\n", nullptr, "nothing new"},
        {"deleted there (no ancestor)", nullptr, "- [ ] a\n- [ ] b\n", "- [ ] a\n", nullptr, "nothing new"},
        {"an ancestor older than what both sides shared since is not used", "- [ ] a\n- [ ] gone on both\n- [ ] b\n",
         "- [ ] a\n- [ ] b\n", "- [ ] a\n", nullptr, "nothing new"},
        {"deleted here (ancestor)", "- [ ] a\n- [ ] b\n", "- [ ] a\n", "- [ ] a\n- [ ] b\n", nullptr, "nothing new"},
        {"deleted here (no ancestor)", nullptr, "- [ ] a\n", "- [ ] a\n- [ ] b\n", "", "1 entry added"},
        {"deleted here, done there", "- [ ] a\n- [ ] b\n", "- [ ] a\n", "- [ ] a\n- [x] ~~b~~\n", "", "1 entry added"},
        {"snoozed here, done there (ancestor)", "- [ ] ! pay  <!-- 09:00 remind 2026-12-06 10:00 -->\n",
         "- [ ] ! pay  <!-- 09:00 remind 2026-12-06 18:00 -->\n", "- [x] ~~pay~~  <!-- 09:00 -->\n", "",
         "1 marked done"},
        {"reopened here, untouched there", "- [x] ~~a~~\n", "- [ ] a\n", "- [x] ~~a~~\n", nullptr, "nothing new"},
        {"the same text twice on both sides", nullptr, "- [ ] milk\n- [ ] tea\n- [ ] milk\n",
         "- [ ] milk\n- [ ] milk\n", nullptr, "nothing new"},
        {"a third time there", nullptr, "- [ ] milk\n- [ ] milk\n", "- [ ] milk\n- [ ] milk\n- [x] ~~milk~~\n", "",
         "1 entry added"},
        {"days only in the copy", nullptr,
         "pre\n\n## 2026-12-06 Sunday\n\n- [ ] a\n\n## 2026-12-04 Friday\n\n- [ ] c\n",
         "pre\nmore\n\n## 2026-12-06 Sunday\n\n- [ ] a\n\n## 2026-12-05 Saturday\n\n- [ ] b\n\n## misc\n\n- [ ] m\n",
         "pre\nmore\n\n## 2026-12-06 Sunday\n\n- [ ] a\n\n## 2026-12-05 Saturday\n\n- [ ] b\n\n## 2026-12-04 "
         "Friday\n\n- [ ] c\n\n## misc\n\n- [ ] m\n",
         "2 entries added, 1 line added"},
        {"a newer day only in the copy", nullptr, "## 2026-12-05 Saturday\n\n- [ ] b\n",
         "## 2026-12-06 Sunday\n\n- [ ] a\n\n## 2026-12-05 Saturday\n\n- [ ] b\n", "", "1 entry added"},
        {"a raw line in place", nullptr, "- [ ] a\n- [ ] b\n", "- [ ] a\nsee folder\n- [ ] b\n", "", "1 line added"},
        {"a raw line gone here", "- [ ] a\nsee folder\n", "- [ ] a\n", "- [ ] a\nsee folder\n", nullptr, "nothing new"},
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
        const QString expected = file(!c.merged ? c.notes : *c.merged ? c.merged : c.copy);
        EXPECT_EQ(m.document.serialized(), expected);
        EXPECT_EQ(said(m.counts), QString::fromUtf8(c.counts));
        // Merging the same copy again changes nothing.
        const NotesDocument again = NotesDocument::parse(m.document.serialized());
        const MergeOutcome twice = mergeNotes(ancestor ? &*ancestor : nullptr, again, copy, now, calendar, Anchors{});
        EXPECT_EQ(twice.document.serialized(), expected);
        EXPECT_EQ(twice.counts, MergeCounts{});
    }
}

} // namespace
