#include "store/NotesStore.h"
#include "notes/Preferences.h"

#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace plim;
using plim::test::at;
using plim::test::readAll;
using plim::test::writeAll;

namespace {

const Calendar kBerlin(QStringLiteral("Europe/Berlin"));
const QByteArray kToday = "## 2025-03-14 Friday\n\n";

unsigned permissions(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    return st.st_mode & 0777;
}

// A recorded change that toggles the first entry between open and done.
void toggleFirst(NotesDocument& doc) {
    Entry* e = doc.entryAt({0, 0});
    ASSERT_NE(e, nullptr);
    e->state = e->state == Entry::State::Open ? Entry::State::Done : Entry::State::Open;
}

class NotesStoreTest : public ::testing::Test {
protected:
    // A store on `text` (when given) in a folder that does not exist yet.
    std::unique_ptr<NotesStore> open(const QByteArray& text = {}, bool watch = false) {
        if (!text.isNull()) {
            EXPECT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
            EXPECT_TRUE(writeAll(path, text));
        }
        return notes.open(watch);
    }
    std::optional<QUuid> add(NotesStore& store, QStringView text) { return store.append(text, std::nullopt, now()); }
    Instant now() const { return notes.clock->now(); }
    QByteArray file() const { return readAll(path); }

    plim::test::TempNotes notes{at(kBerlin, 2025, 3, 14, 9, 5), kBerlin, QStringLiteral("notes/plim.md")};
    const QString& path = notes.path;
};

TEST_F(NotesStoreTest, LoadCreatesAPrivateFileAndCaptureWritesUnderToday) {
    auto store = open();
    EXPECT_EQ(file(), QByteArray());
    EXPECT_EQ(permissions(path), 0600u);
    QSignalSpy changed(store.get(), &NotesStore::changed);
    const auto id = add(*store, u"  milk \n");
    EXPECT_EQ(file(), kToday + "- [ ] milk  <!-- 09:05 -->\n");
    ASSERT_TRUE(id);
    EXPECT_EQ(*id, NotesDocument::stableID(u"2025-03-14 Friday|milk|0"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(store->undoDepth(), 0);
    EXPECT_FALSE(add(*store, u" \n\t"));
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(NotesStoreTest, UndoKeepsFiftyStepsAndRedoMirrorsIt) {
    auto store = open();
    add(*store, u"step");
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
    EXPECT_EQ(file(), kToday + "- [ ] step 1  <!-- 09:05 -->\n");
    store->undo();
    EXPECT_EQ(store->redoDepth(), 50);
    store->redo();
    EXPECT_TRUE(file().contains("step 2  <"));
    // A new change after an undo drops what could have been redone.
    ASSERT_TRUE(store->mutate(toggleFirst));
    EXPECT_EQ(store->redoDepth(), 0);
    store->redo();
    EXPECT_TRUE(file().contains("- [x] ~~step 2~~"));
}

// What happens after a recorded change without being one itself is undone with it and redone.
TEST_F(NotesStoreTest, UndoTakesBackLaterCapturesAndOutsideEditsRedoably) {
    const QByteArray outside = kToday + "- [x] ~~a~~  <!-- 09:05 -->\n- [ ] from elsewhere\n";
    for (const bool capture : {true, false}) {
        SCOPED_TRACE(capture ? "capture" : "outside edit");
        auto store = open("");
        add(*store, u"a");
        ASSERT_TRUE(store->mutate(toggleFirst));
        ASSERT_TRUE(capture ? add(*store, u"from elsewhere").has_value() : writeAll(path, outside));
        EXPECT_EQ(store->undoDepth(), 1);
        store->undo();
        EXPECT_EQ(file(), kToday + "- [ ] a  <!-- 09:05 -->\n");
        store->redo();
        EXPECT_EQ(file(),
                  capture ? kToday + "- [x] ~~a~~  <!-- 09:05 -->\n- [ ] from elsewhere  <!-- 09:05 -->\n" : outside);
    }
}

TEST_F(NotesStoreTest, InvalidUtf8IsNeverOverwritten) {
    const QByteArray garbage = kToday + "- [ ] caf\xe9 \xff\xfe\n";
    auto store = open(garbage);
    ASSERT_TRUE(store->error());
    EXPECT_EQ(store->error()->kind, StoreError::Kind::Unreadable);
    EXPECT_TRUE(store->error()->message().contains(path));
    EXPECT_EQ(store->document(), NotesDocument{});
    EXPECT_FALSE(add(*store, u"new thought"));
    EXPECT_FALSE(store->mutate([](NotesDocument& d) { d.preamble.append(QStringLiteral("x")); }));
    store->undo();
    store->redo();
    EXPECT_TRUE(store->ensureFileExists());
    EXPECT_EQ(file(), garbage);

    // Once mended, the store reads it and writes again.
    ASSERT_TRUE(writeAll(path, kToday + "- [ ] fixed\n"));
    ASSERT_TRUE(add(*store, u"after"));
    EXPECT_FALSE(store->error());
    EXPECT_TRUE(file().contains("- [ ] fixed\n- [ ] after"));
}

TEST_F(NotesStoreTest, OutsideAppendSurvivesAnImmediateRecordedChange) {
    auto store = open({}, true);
    add(*store, u"mine");
    // Another program appends while the watcher's debounce has not run yet.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("- [ ] theirs\n");
    f.close();
    ASSERT_TRUE(store->mutate(toggleFirst));
    EXPECT_EQ(file(), kToday + "- [x] ~~mine~~  <!-- 09:05 -->\n- [ ] theirs\n");
    // Undo goes back to the outside edit, not before it.
    store->undo();
    EXPECT_EQ(file(), kToday + "- [ ] mine  <!-- 09:05 -->\n- [ ] theirs\n");
}

TEST_F(NotesStoreTest, AFailedWriteIsReportedAndTheNextSuccessClearsIt) {
    auto store = open();
    add(*store, u"a");
    const QByteArray onDisk = file();
    QSignalSpy errors(store.get(), &NotesStore::errorChanged);
    {
        plim::test::FileSizeLimit limit(8);
        EXPECT_TRUE(store->mutate(toggleFirst));
        EXPECT_FALSE(add(*store, u"b") && !store->error());
    }
    ASSERT_TRUE(store->error());
    EXPECT_EQ(store->error()->kind, StoreError::Kind::WriteFailed);
    EXPECT_TRUE(store->error()->message().contains(path));
    EXPECT_GE(errors.count(), 1);
    EXPECT_EQ(file(), onDisk);
    EXPECT_EQ(store->document().allEntries().at(0).state, Entry::State::Done); // the change stands in memory

    EXPECT_TRUE(store->mutate(toggleFirst));
    EXPECT_FALSE(store->error());
    EXPECT_NE(file(), onDisk);
}

TEST_F(NotesStoreTest, ExistingPermissionsAndSymlinksAreKept) {
    const QString real = notes.dir.filePath(QStringLiteral("real.md"));
    ASSERT_TRUE(writeAll(real, ""));
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_TRUE(QFile::link(real, path));
    auto store = open();
    ASSERT_TRUE(add(*store, u"through the link"));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_TRUE(readAll(real).contains("through the link"));
    EXPECT_EQ(permissions(real), 0640u);
}

TEST_F(NotesStoreTest, WatcherIgnoresOwnWritesAndReadsOutsideOnes) {
    auto store = open({}, true);
    add(*store, u"a");
    QSignalSpy changed(store.get(), &NotesStore::changed);
    ASSERT_TRUE(store->mutate(toggleFirst));
    QTest::qWait(700);
    EXPECT_EQ(changed.count(), 1); // only the change itself

    // Another program saves atomically (write a new file, rename it over).
    const QString tmp = path + QStringLiteral(".tmp");
    ASSERT_TRUE(writeAll(tmp, kToday + "- [ ] replaced\n"));
    ASSERT_EQ(::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(path).constData()), 0);
    ASSERT_TRUE(changed.wait(3000));
    EXPECT_EQ(store->document().allEntries().at(0).text, QStringLiteral("replaced"));
}

// The capture re-reads only the day it touched; the result must equal reading the whole file.
class CaptureDocumentTest : public NotesStoreTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CaptureDocumentTest, EqualsReadingTheWholeFile) {
    auto store = open(GetParam());
    for (const char16_t* text : {u"first", u"buy milk", u"buy milk", u"two\nlines"}) {
        ASSERT_TRUE(add(*store, text));
        const NotesDocument whole = NotesDocument::parse(QString::fromUtf8(file()));
        EXPECT_EQ(store->document().preamble, whole.preamble);
        ASSERT_EQ(store->document().sections.size(), whole.sections.size());
        for (qsizetype i = 0; i < whole.sections.size(); ++i) {
            EXPECT_EQ(store->document().sections[i].heading, whole.sections[i].heading);
            EXPECT_EQ(store->document().sections[i].items, whole.sections[i].items);
        }
        notes.clock->advance(std::chrono::hours(7)); // the third capture falls on the next day
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
    auto store = open("Notes\n\n## 2025-03-13 Thursday\n\n- [ ] a\nraw\n- [x] ~~b~~\n\n"
                      "## 2025-03-12 Wednesday\n\n- [ ] c\n  more\n\n## 2025-03-11 Tuesday\n\n- [ ] d\n");
    const auto idOf = [&](const char* text) { return plim::test::entryId(store->document(), QString::fromUtf8(text)); };
    const auto check = [&](const char* step) {
        EXPECT_EQ(QString::fromUtf8(file()), store->document().serialized()) << step;
    };
    store->toggleDone(idOf("c\nmore"));
    check("toggle in a lower day");
    add(*store, u"new");
    check("capture");
    store->carryToToday(idOf("a"), now());
    check("carry");
    store->mutate([](NotesDocument& d) { d.sections.removeAt(2); });
    check("a day removed");
    store->mutate([](NotesDocument& d) { d.preamble.clear(); });
    check("preamble removed");
    store->undo();
    check("undo");
    store->toggleActive(idOf("new"));
    check("after undo");
    store->redo();
    store->deleteEntry(idOf("b"));
    check("delete");
}

} // namespace
