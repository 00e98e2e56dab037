#include "notes/NotesStore.h"
#include "notes/Preferences.h"

#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace plim;
using plim::test::at;
using plim::test::readAll;
using plim::test::writeAll;

namespace {

const Calendar kBerlin(QStringLiteral("Europe/Berlin"));

class NotesStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(notes.dir.isValid()); }

    std::unique_ptr<NotesStore> makeStore(bool watch = false) { return notes.open(watch); }

    QByteArray file() const { return readAll(path); }

    // A recorded change that toggles the first entry between open and done.
    static void toggleFirst(NotesDocument& doc) {
        Entry* e = doc.entryAt({0, 0});
        ASSERT_NE(e, nullptr);
        e->state = e->state == Entry::State::Open ? Entry::State::Done : Entry::State::Open;
    }

    plim::test::TempNotes notes{at(kBerlin, 2025, 3, 14, 9, 5), kBerlin, QStringLiteral("notes/plim.md")};
    QTemporaryDir& dir = notes.dir;
    std::unique_ptr<ManualClock>& clock = notes.clock;
    const QString& path = notes.path;
};

TEST_F(NotesStoreTest, LoadCreatesAPrivateEmptyFile) {
    auto store = makeStore();
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(file(), QByteArray());
    EXPECT_EQ(store->document(), NotesDocument{});
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(store->lastWritten(), QString());
}

TEST_F(NotesStoreTest, CaptureWritesTheLineUnderTodayAndReturnsItsIdentity) {
    auto store = makeStore();
    QSignalSpy changed(store.get(), &NotesStore::changed);
    const auto id = store->append(u"  milk \n", std::nullopt, clock->now());
    EXPECT_EQ(file(), QByteArray("## 2025-03-14 Friday\n\n- [ ] milk  <!-- 09:05 -->\n"));
    ASSERT_TRUE(id);
    EXPECT_EQ(*id, NotesDocument::stableID(u"2025-03-14 Friday|milk|0"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(store->undoDepth(), 0);

    EXPECT_FALSE(store->append(u" \n\t", std::nullopt, clock->now()));
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(NotesStoreTest, UndoKeepsFiftyStepsAndRedoMirrorsIt) {
    auto store = makeStore();
    store->append(u"step", std::nullopt, clock->now());
    for (int i = 1; i <= 51; ++i) {
        ASSERT_TRUE(store->mutate([&](NotesDocument& d) {
            d.entryAt({0, 0})->text = QStringLiteral("step %1").arg(i);
        }));
    }
    EXPECT_EQ(store->undoDepth(), 50);
    for (int i = 0; i < 50; ++i) {
        store->undo();
    }
    // The oldest change (to "step 1") can no longer be undone.
    EXPECT_TRUE(file().contains("- [ ] step 1  <!-- 09:05 -->"));
    QSignalSpy changed(store.get(), &NotesStore::changed);
    store->undo();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(store->redoDepth(), 50);
    store->redo();
    EXPECT_TRUE(file().contains("step 2  <"));
    // A new change after an undo drops what could have been redone.
    ASSERT_TRUE(store->mutate(toggleFirst));
    EXPECT_EQ(store->redoDepth(), 0);
    store->redo();
    EXPECT_TRUE(file().contains("- [x] ~~step 2~~"));
}

TEST_F(NotesStoreTest, CaptureIsNotAnUndoStepButUndoAfterItIsRedoable) {
    auto store = makeStore();
    store->append(u"a", std::nullopt, clock->now());
    ASSERT_TRUE(store->mutate(toggleFirst));
    store->append(u"b", std::nullopt, clock->now());
    EXPECT_EQ(store->undoDepth(), 1);
    store->undo();
    EXPECT_EQ(file(), QByteArray("## 2025-03-14 Friday\n\n- [ ] a  <!-- 09:05 -->\n"));
    store->redo();
    EXPECT_EQ(file(), QByteArray("## 2025-03-14 Friday\n\n- [x] ~~a~~  <!-- 09:05 -->\n- [ ] b  <!-- 09:05 -->\n"));
}

// --- An unreadable file is never overwritten ---------------------------------------------------

TEST_F(NotesStoreTest, InvalidUtf8IsNeverOverwritten) {
    const QByteArray garbage = "## 2025-03-14 Friday\n\n- [ ] caf\xe9 \xff\xfe\n";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_TRUE(writeAll(path, garbage));
    auto store = makeStore();
    ASSERT_TRUE(store->error());
    EXPECT_EQ(store->error()->kind, StoreError::Kind::Unreadable);
    EXPECT_TRUE(store->error()->message().contains(path));
    EXPECT_EQ(store->document(), NotesDocument{});

    EXPECT_FALSE(store->append(u"new thought", std::nullopt, clock->now()));
    EXPECT_FALSE(store->mutate([](NotesDocument& d) { d.preamble.append(QStringLiteral("x")); }));
    store->undo();
    store->redo();
    EXPECT_TRUE(store->ensureFileExists());
    EXPECT_EQ(file(), garbage);

    // Once mended, the store reads it and writes again.
    ASSERT_TRUE(writeAll(path, "## 2025-03-14 Friday\n\n- [ ] fixed\n"));
    ASSERT_TRUE(store->append(u"after", std::nullopt, clock->now()));
    EXPECT_FALSE(store->error());
    EXPECT_TRUE(file().contains("- [ ] fixed\n- [ ] after"));
}

// --- Outside edits are never overwritten ------------------------------------------------------

TEST_F(NotesStoreTest, OutsideAppendSurvivesAnImmediateRecordedChange) {
    auto store = makeStore(true);
    store->append(u"mine", std::nullopt, clock->now());
    // Another program appends while the watcher's debounce has not run yet.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("- [ ] theirs\n");
    f.close();
    ASSERT_TRUE(store->mutate(toggleFirst));
    EXPECT_EQ(file(), QByteArray("## 2025-03-14 Friday\n\n- [x] ~~mine~~  <!-- 09:05 -->\n- [ ] theirs\n"));
    // Undo goes back to the outside edit, not before it.
    store->undo();
    EXPECT_EQ(file(), QByteArray("## 2025-03-14 Friday\n\n- [ ] mine  <!-- 09:05 -->\n- [ ] theirs\n"));
}

TEST_F(NotesStoreTest, UndoAfterAnOutsideEditIsRedoable) {
    auto store = makeStore();
    store->append(u"a", std::nullopt, clock->now());
    ASSERT_TRUE(store->mutate(toggleFirst));
    const QByteArray outside = "## 2025-03-14 Friday\n\n- [x] ~~a~~  <!-- 09:05 -->\n- [ ] from elsewhere\n";
    ASSERT_TRUE(writeAll(path, outside));
    store->undo();
    EXPECT_EQ(file(), QByteArray("## 2025-03-14 Friday\n\n- [ ] a  <!-- 09:05 -->\n"));
    store->redo();
    EXPECT_EQ(file(), outside);
}

// --- Writes ------------------------------------------------------------------------------------

using plim::test::FileSizeLimit;

TEST_F(NotesStoreTest, AFailedWriteIsReportedAndTheNextSuccessClearsIt) {
    auto store = makeStore();
    store->append(u"a", std::nullopt, clock->now());
    const QByteArray onDisk = file();
    QSignalSpy errors(store.get(), &NotesStore::errorChanged);
    {
        FileSizeLimit limit(8);
        EXPECT_TRUE(store->mutate(toggleFirst));
        EXPECT_FALSE(store->append(u"b", std::nullopt, clock->now()) && !store->error());
    }
    ASSERT_TRUE(store->error());
    EXPECT_EQ(store->error()->kind, StoreError::Kind::WriteFailed);
    EXPECT_TRUE(store->error()->message().contains(path));
    EXPECT_GE(errors.count(), 1);
    EXPECT_EQ(file(), onDisk);
    // The change stands in memory.
    EXPECT_EQ(store->document().allEntries().at(0).state, Entry::State::Done);

    EXPECT_TRUE(store->mutate(toggleFirst));
    EXPECT_FALSE(store->error());
    EXPECT_NE(file(), onDisk);
}

TEST_F(NotesStoreTest, ExistingPermissionsAndSymlinksAreKept) {
    const QString real = dir.filePath(QStringLiteral("real.md"));
    ASSERT_TRUE(writeAll(real, ""));
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_TRUE(QFile::link(real, path));
    auto store = makeStore();
    ASSERT_TRUE(store->append(u"through the link", std::nullopt, clock->now()));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_TRUE(readAll(real).contains("through the link"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(real).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// --- Watching ----------------------------------------------------------------------------------

TEST_F(NotesStoreTest, WatcherIgnoresOwnWritesAndReadsOutsideOnes) {
    auto store = makeStore(true);
    store->append(u"a", std::nullopt, clock->now());
    QSignalSpy changed(store.get(), &NotesStore::changed);
    ASSERT_TRUE(store->mutate(toggleFirst));
    QTest::qWait(700);
    EXPECT_EQ(changed.count(), 1); // only the change itself

    // Another program saves atomically (write a new file, rename it over).
    const QString tmp = path + QStringLiteral(".tmp");
    ASSERT_TRUE(writeAll(tmp, "## 2025-03-14 Friday\n\n- [ ] replaced\n"));
    ASSERT_EQ(::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()), 0);
    ASSERT_TRUE(changed.wait(3000));
    EXPECT_EQ(store->document().allEntries().at(0).text, QStringLiteral("replaced"));
}

// The capture re-reads only the day it touched; the result must equal reading the whole file.
class CaptureDocumentTest : public NotesStoreTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CaptureDocumentTest, EqualsReadingTheWholeFile) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_TRUE(writeAll(path, GetParam()));
    auto store = makeStore();
    for (const char16_t* text : {u"first", u"buy milk", u"buy milk", u"two\nlines"}) {
        ASSERT_TRUE(store->append(text, std::nullopt, clock->now()));
        const NotesDocument whole = NotesDocument::parse(QString::fromUtf8(file()));
        EXPECT_EQ(store->document().preamble, whole.preamble);
        ASSERT_EQ(store->document().sections.size(), whole.sections.size());
        for (qsizetype i = 0; i < whole.sections.size(); ++i) {
            EXPECT_EQ(store->document().sections[i].heading, whole.sections[i].heading);
            EXPECT_EQ(store->document().sections[i].items, whole.sections[i].items);
        }
        clock->advance(std::chrono::hours(7)); // the third capture falls on the next day
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CaptureDocumentTest,
                         ::testing::Values("", "Preamble only\n", "## 2025-03-14 Friday\n\n- [ ] a\nraw\n\n\n",
                                           "intro\n\n## 2025-03-13 Thursday\n\n- [ ] old\n",
                                           "## 2025-03-14 Friday\n\n- [ ] buy milk\n\n## 2025-03-14 Friday\n\n- x\n",
                                           "## 2025-03-14 Friday\r\n\r\n- [ ] crlf\r\n"));

// Days the change left alone are written from their kept text; the file must still be exactly the
// document's written form after every kind of change.
TEST_F(NotesStoreTest, WrittenTextAlwaysMatchesTheDocument) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_TRUE(writeAll(path, "Notes\n\n## 2025-03-13 Thursday\n\n- [ ] a\nraw\n- [x] ~~b~~\n\n"
                               "## 2025-03-12 Wednesday\n\n- [ ] c\n  more\n\n## 2025-03-11 Tuesday\n\n- [ ] d\n"));
    auto store = makeStore();
    const auto check = [&](const char* step) {
        EXPECT_EQ(QString::fromUtf8(file()), store->document().serialized()) << step;
    };
    const auto idOf = [&](const QString& text) { return plim::test::entryId(store->document(), text); };
    store->toggleDone(idOf(QStringLiteral("c\nmore")));
    check("toggle in a lower day");
    store->append(u"new", std::nullopt, clock->now());
    check("capture");
    store->carryToToday(idOf(QStringLiteral("a")), clock->now());
    check("carry");
    store->mutate([](NotesDocument& d) { d.sections.removeAt(2); });
    check("a day removed");
    store->mutate([](NotesDocument& d) { d.preamble.clear(); });
    check("preamble removed");
    store->undo();
    check("undo");
    store->toggleActive(idOf(QStringLiteral("new")));
    check("after undo");
    store->redo();
    store->deleteEntry(idOf(QStringLiteral("b")));
    check("delete");
}

} // namespace
