#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"
#include "store/FileLock.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"
#include "store/TextFile.h"

#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <random>
#include <thread>
#include <unistd.h>

using namespace plim;
using plim::test::at;
using plim::test::readAll;
using plim::test::writeAll;

namespace {

const Calendar kBerlin(QStringLiteral("Europe/Berlin"));
const QByteArray kToday = "## 2025-03-14 Friday\n\n";

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
    static QUuid id(const NotesStore& store, const char* text) {
        return plim::test::entryId(store.document(), QString::fromUtf8(text));
    }

    plim::test::TempNotes notes{at(kBerlin, 2025, 3, 14, 9, 5), kBerlin, QStringLiteral("notes/plim.md")};
    const QString& path = notes.path;
};

TEST_F(NotesStoreTest, LoadCreatesAPrivateFileAndCaptureWritesUnderToday) {
    // What a writer killed mid-write left behind goes at the start; other hidden files stay.
    const QString folder = QFileInfo(path).absolutePath();
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(writeAll(folder + QStringLiteral("/.plim.md.plim-a1B2c3"), "half a copy"));
    ASSERT_TRUE(writeAll(folder + QStringLiteral("/.plim.md.keep"), "mine"));
    auto store = open();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral(".plim.md.keep"), QStringLiteral("plim.md")}));
    EXPECT_EQ(file(), QByteArray());
    EXPECT_EQ(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QSignalSpy changed(store.get(), &NotesStore::changed);
    EXPECT_TRUE(add(*store, u"  milk \n"));
    EXPECT_EQ(file(), kToday + "- [ ] milk  <!-- 09:05 -->\n");
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

// What happens after a recorded change without being one itself is undone with it and redone; an
// outside append the watcher has not reported yet is kept by the change, and its undo goes back to it.
TEST_F(NotesStoreTest, UndoTakesBackLaterCapturesAndOutsideEditsRedoably) {
    const QByteArray undone = kToday + "- [ ] a  <!-- 09:05 -->\n- [ ] theirs\n";
    const QByteArray toggled = kToday + "- [x] ~~a~~  <!-- 09:05 -->\n- [ ] theirs\n";
    for (const bool capture : {true, false}) {
        SCOPED_TRACE(capture ? "capture" : "outside edit");
        auto store = open("", true);
        add(*store, u"a");
        ASSERT_TRUE(writeAll(path, "- [ ] theirs\n", true));
        ASSERT_TRUE(store->mutate(toggleFirst));
        EXPECT_EQ(file(), toggled);
        ASSERT_TRUE(capture ? add(*store, u"from elsewhere").has_value()
                            : writeAll(path, toggled + "- [ ] from elsewhere\n"));
        EXPECT_EQ(store->undoDepth(), 1);
        store->undo();
        EXPECT_EQ(file(), undone);
        store->redo();
        EXPECT_EQ(file(), toggled + (capture ? "- [ ] from elsewhere  <!-- 09:05 -->\n" : "- [ ] from elsewhere\n"));
        // A capture after an undo is kept by the next redo, for the undo after it.
        store->undo();
        add(*store, u"b");
        store->redo();
        store->undo();
        EXPECT_EQ(file(), undone + "- [ ] b  <!-- 09:05 -->\n");
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

// Another program writes after plim read the file but before its rename: plim sees it at the last
// look before the rename, reads again and makes its change on what is there now.
TEST_F(NotesStoreTest, AWriteBetweenReadAndRenameIsKeptAndTheChangeMadeAgain) {
    const struct {
        bool capture;
        int outsideWrites; // negative: on every try
        const char* after; // under today's heading
    } cases[] = {
        {true, 1, "- [ ] mine  <!-- 09:05 -->\n- [ ] outside 1\n- [ ] new  <!-- 09:05 -->\n"},
        {false, 2, "- [x] ~~mine~~  <!-- 09:05 -->\n- [ ] outside 1\n- [ ] outside 2\n"},
        // It gives up after a few tries, says so, and keeps every line the other program wrote.
        {true, -1,
         "- [ ] mine  <!-- 09:05 -->\n- [ ] outside 1\n- [ ] outside 2\n- [ ] outside 3\n"
         "- [ ] outside 4\n- [ ] outside 5\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after);
        open("");
        NotesStore::Options options;
        options.lockWait = std::chrono::milliseconds(0); // no tries beyond the few
        auto store = notes.open(options);
        add(*store, u"mine");
        int written = 0;
        plim::test::ScriptedCalls outside;
        outside.atSync = [&] {
            EXPECT_TRUE(writeAll(path, "- [ ] outside " + QByteArray::number(++written) + '\n', true));
            return c.outsideWrites < 0 || written < c.outsideWrites;
        };
        const FileSystemCalls::Override during(outside);
        const bool changed = c.capture ? add(*store, u"new").has_value() : store->mutate(toggleFirst);
        EXPECT_EQ(file(), kToday + c.after);
        EXPECT_EQ(changed, c.outsideWrites >= 0);
        EXPECT_EQ(store->error().has_value(), c.outsideWrites < 0);
        if (store->error()) {
            EXPECT_EQ(store->error()->kind, StoreError::Kind::Busy);
        }
    }
}

// Another program writes the notes file in its own way while plim captures into it: what it wrote
// stays, and so does the capture.
struct OutsideWriter {
    const char* name;
    enum Way {
        InPlace,          // truncates, writes half, pauses, writes the rest (the capture comes in the pause)
        AppendingThrough, // opened the file just before plim's rename, appends just after it
        RenamingIn,       // renames its own copy in just before plim's rename
    } way;
    bool resident;
    bool captureOnly = false; // as `plim add`: splices the bytes it read
    bool noSwap = false;      // on a file system that cannot swap two files
};

class OutsideWriterTest : public NotesStoreTest, public ::testing::WithParamInterface<OutsideWriter> {};

TEST_P(OutsideWriterTest, WhatItWroteAndTheCaptureAreBothKept) {
    using namespace std::chrono_literals;
    const OutsideWriter w = GetParam();
    const QByteArray text = kToday + QByteArray("- [ ] entry\n").repeated(200);
    open(text);
    NotesStore::Options options = w.resident ? NotesStore::residentOptions() : NotesStore::Options{};
    options.wholeDocument = !w.captureOnly;
    auto store = notes.open(options);
    const QByteArray name = QFile::encodeName(path);
    std::thread writer;
    int fd = -1;
    plim::test::ScriptedCalls around;
    around.failing[around.Exchange] = w.noSwap ? EINVAL : 0;
    switch (w.way) {
    case OutsideWriter::InPlace: {
        fd = ::open(name.constData(), O_WRONLY | O_TRUNC);
        ASSERT_GE(fd, 0);
        // Mid-line, as where a program cannot be seen holding the file only a cut line tells.
        const qsizetype half = text.size() / 2 - (text.at(text.size() / 2 - 1) == '\n' ? 1 : 0);
        ASSERT_EQ(::write(fd, text.constData(), size_t(half)), half);
        writer = std::thread([&, half] {
            std::this_thread::sleep_for(300ms);
            EXPECT_EQ(::write(fd, text.constData() + half, size_t(text.size() - half)), text.size() - half);
            ::close(fd);
        });
        break;
    }
    case OutsideWriter::AppendingThrough:
        around.before = [&] { fd = ::open(name.constData(), O_WRONLY | O_APPEND); };
        around.after = [&] {
            EXPECT_GT(::write(fd, "- [ ] outside\n", 14), 0);
            ::close(fd);
        };
        break;
    case OutsideWriter::RenamingIn:
        // Only a file system that can swap two files keeps what got in between look and rename.
        if (const QByteArray probe = name + "~probe";
            !writeAll(QFile::decodeName(probe), "") ||
            around.FileSystemCalls::exchange(probe.constData(), name.constData()) != 0 ||
            around.FileSystemCalls::exchange(probe.constData(), name.constData()) != 0) {
            GTEST_SKIP() << "the file system cannot swap two files";
        }
        around.before = [&] {
            const QString copy = path + QStringLiteral("~");
            writeAll(copy, readAll(path) + "- [ ] outside\n");
            ::rename(QFile::encodeName(copy).constData(), name.constData());
        };
        break;
    }
    const FileSystemCalls::Override use(around);
    const NotesStore::Capture capture = store->capture(u"mine", std::nullopt, now());
    // The resident program keeps it aside while the file is being written and never waits.
    EXPECT_EQ(capture.waiting, w.resident);
    if (writer.joinable()) {
        writer.join();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return file().contains("- [ ] mine  <!-- 09:05 -->\n"); }, 5000));
    const QByteArray after = file();
    EXPECT_TRUE(after.startsWith(text));
    EXPECT_EQ(after.count("- [ ] mine"), 1);
    EXPECT_EQ(after.contains("- [ ] outside\n"), w.way != OutsideWriter::InPlace);
}

INSTANTIATE_TEST_SUITE_P(Ways, OutsideWriterTest,
                         ::testing::Values(OutsideWriter{"InPlace", OutsideWriter::InPlace, false},
                                           OutsideWriter{"InPlaceResident", OutsideWriter::InPlace, true},
                                           OutsideWriter{"AppendingThrough", OutsideWriter::AppendingThrough, false},
                                           OutsideWriter{"RenamingIn", OutsideWriter::RenamingIn, false},
                                           OutsideWriter{"AppendingThroughAddNoSwap", OutsideWriter::AppendingThrough,
                                                         false, true, true}),
                         [](const auto& row) { return std::string(row.param.name); });

// What the resident program cannot write now it keeps, in the order asked for, until it can: once
// there is space again (and on top of an outside edit made meanwhile), once the file is free (from the
// event loop, or at once when it quits), or, a capture kept on disk, by the next plim process when this
// one ends first. Said only once it has waited a while; unsaid once written. Meanwhile the command
// line fails at once and says why.
TEST_F(NotesStoreTest, WhatCannotBeWrittenNowIsKeptUntilItIs) {
    using namespace std::chrono_literals;
    enum Then { MoreSpace, FileFree, Quits, ProgramEnds };
    for (const Then then : {MoreSpace, FileFree, Quits, ProgramEnds}) {
        SCOPED_TRACE(then);
        const QByteArray text = kToday + "- [ ] a\n" +
                                QByteArray("- [ ] filler that a record of the capture is smaller than\n").repeated(10);
        open(text);
        NotesStore::Options options = NotesStore::residentOptions();
        options.noticeDelay = 300ms;
        auto resident = notes.open(options);
        FileLock other(path);
        std::optional<plim::test::FileSizeLimit> limit;
        if (then == MoreSpace) {
            limit.emplace(rlim_t(text.size() + 2));
        } else {
            ASSERT_TRUE(other.tryLock());
            NotesStore::Options commandLine;
            commandLine.lockWait = 20ms;
            auto command = notes.open(commandLine);
            EXPECT_FALSE(add(*command, u"refused"));
            ASSERT_TRUE(command->error());
            EXPECT_EQ(command->error()->kind, StoreError::Kind::Busy);
        }
        const NotesStore::Capture capture = resident->capture(u"kept", std::nullopt, now());
        EXPECT_TRUE(capture.waiting);
        EXPECT_FALSE(capture.id);
        // Kept changes are made in the order they were asked for: done after a reminder clears it.
        const QUuid a = plim::test::entryId(resident->document(), QStringLiteral("a"));
        resident->setReminder(a, Reminder{at(kBerlin, 2025, 3, 15, 9, 0), std::nullopt, false});
        resident->toggleDone(a);
        EXPECT_TRUE(resident->hasPendingChanges());
        EXPECT_EQ(file(), text);
        EXPECT_EQ(resident->waitingCaptures(), 1);
        EXPECT_FALSE(resident->shownError()) << "a moment's trouble is no news";
        ASSERT_TRUE(QTest::qWaitFor([&] { return resident->shownError().has_value(); }, 3000));
        EXPECT_TRUE(resident->shownError()->message().startsWith(QStringLiteral("1 capture waits to be saved · ")));
        other.unlock();
        if (then == MoreSpace) {
            limit.reset();
            ASSERT_TRUE(writeAll(path, "- [ ] outside\n", true));
        } else if (then == Quits) {
            EXPECT_TRUE(resident->finishPendingChanges(1s));
            EXPECT_TRUE(file().contains("- [x] ~~a~~\n") && file().endsWith("- [ ] kept  <!-- 09:05 -->\n"));
        } else if (then == ProgramEnds) {
            resident.reset();        // quit or killed: nothing it held in memory counts
            resident = notes.open(); // the next plim process
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return file().contains("- [ ] kept  <!-- 09:05 -->\n"); }, 5000));
        EXPECT_EQ(resident->waitingCaptures(), 0);
        if (then != ProgramEnds) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return file().contains("- [x] ~~a~~\n"); }, 5000));
            EXPECT_EQ(file().contains("- [ ] outside\n"), then == MoreSpace);
            EXPECT_FALSE(resident->hasPendingChanges());
            EXPECT_FALSE(resident->error());
            EXPECT_FALSE(resident->shownError());
        }
    }
}

TEST_F(NotesStoreTest, AFailedWriteIsReportedAndTheNextSuccessClearsIt) {
    for (const bool renameFails : {false, true}) {
        SCOPED_TRACE(renameFails ? "rename fails" : "disk full");
        auto store = open("");
        add(*store, u"a");
        // Changes written before: the store then knows the file as the bytes it wrote.
        EXPECT_TRUE(store->mutate(toggleFirst));
        EXPECT_TRUE(store->mutate(toggleFirst));
        const QByteArray onDisk = file();
        QSignalSpy errors(store.get(), &NotesStore::errorChanged);
        {
            plim::test::ScriptedCalls failing;
            failing.failing[failing.Rename] = failing.failing[failing.Exchange] = renameFails ? EIO : 0;
            const FileSystemCalls::Override calls(failing);
            std::optional<plim::test::FileSizeLimit> limit;
            if (!renameFails) {
                limit.emplace(8);
            }
            EXPECT_TRUE(store->mutate(toggleFirst));
            EXPECT_FALSE(add(*store, u"b") && !store->error());
        }
        ASSERT_TRUE(store->error());
        EXPECT_EQ(store->error()->kind, StoreError::Kind::WriteFailed);
        EXPECT_TRUE(store->error()->message().contains(path));
        EXPECT_FALSE(store->error()->reason.isEmpty());
        EXPECT_GE(errors.count(), 1);
        EXPECT_EQ(file(), onDisk);
        EXPECT_EQ(store->document().allEntries().at(0).state, Entry::State::Done); // the change stands in memory

        // The next write that succeeds carries what could not be saved.
        EXPECT_TRUE(store->mutate(toggleFirst));
        EXPECT_FALSE(store->error());
        EXPECT_EQ(file(), kToday + "- [ ] a  <!-- 09:05 -->\n- [ ] b  <!-- 09:05 -->\n");
    }
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
    QTest::qWait(700); // the file's bytes are let go of: a capture reads them again
    ASSERT_TRUE(add(*store, u"b"));
    EXPECT_EQ(store->document().allEntries().size(), 2);
    EXPECT_EQ(file(), kToday + "- [ ] replaced\n- [ ] b  <!-- 09:05 -->\n");
}

// The entry a capture on `day` must return: the last of the first section with the day's heading.
std::optional<QUuid> capturedOn(const NotesDocument& doc, Instant day) {
    const QString heading = NotesFormat::heading(day, kBerlin).mid(3);
    for (const DaySection& s : doc.sections) {
        if (s.heading == heading) {
            return s.entries().isEmpty() ? std::nullopt : std::optional(s.entries().last().id);
        }
    }
    return std::nullopt;
}

// On random files (byte-order mark, CR LF, characters of several bytes, blank lines, no final line
// end), a capture re-reads only the day it touched, or, in a store that only captures, reads nothing
// but that day: the file must be the capture spliced into the text, the identity and the document
// what reading the whole file gives.
TEST_F(NotesStoreTest, ACaptureWritesAndReadsWhatTheWholeTextGives) {
    std::mt19937 random(20261207);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const QStringList lines = QStringLiteral("## 2025-03-14 Friday|## 2025-03-13 Thursday|## 2025-03-14 Friday |"
                                             "- [ ] a|- [ ] \u00fc\u2713\U0001F600|raw||  |  more|pre|- [x] ~~b~~|"
                                             "- [ ] buy milk")
                                  .split(u'|');
    const char16_t* const captures[] = {u"a", u"buy milk", u"two\nlines", u"\U0001F600 <!-- x -->"};
    const Instant start = now();
    for (int round = 0; round < 80; ++round) {
        const QByteArray lineEnd = pick(4) == 0 ? "\r\n" : "\n";
        QByteArray text = pick(5) == 0 ? "\xef\xbb\xbf" : "";
        for (int n = pick(12); n > 0; --n) {
            text += lines[pick(int(lines.size()))].toUtf8() + lineEnd;
        }
        if (pick(4) == 0 && text.endsWith(lineEnd)) {
            text.chop(lineEnd.size());
        }
        SCOPED_TRACE(text.toStdString());
        open(text);
        NotesStore::Options options;
        options.wholeDocument = round % 2 == 0;
        notes.clock->set(start);
        auto store = notes.open(options);
        for (int n = 0; n < 3; ++n) { // the third falls on the next day
            const QString capture = QString::fromUtf16(captures[pick(std::size(captures))]);
            const QString before = *decodeText(file());
            const std::optional<QUuid> id = add(*store, capture);
            const QString written = *decodeText(file());
            EXPECT_EQ(written,
                      NotesFormat::appending(capture, before, now(), kBerlin, NotesDocument::time(now(), kBerlin)));
            const NotesDocument whole = NotesDocument::parse(written);
            EXPECT_EQ(id, capturedOn(whole, now()));
            if (options.wholeDocument) {
                EXPECT_EQ(store->document().serialized(), whole.serialized());
                EXPECT_EQ(store->document().allEntries(), whole.allEntries());
            }
            notes.clock->advance(std::chrono::hours(7));
        }
    }
}

// Days a change left alone are written from their kept text, and the counts are kept day by day and
// counted again only where the document changed: after every kind of change, on a file read with or
// without a byte-order mark and with CR LF line ends, the file must still be exactly the document's
// written form, an undo give back the file before, and the counts what counting the whole document gives.
TEST_F(NotesStoreTest, FileAndCountsAlwaysMatchTheWholeDocument) {
    const QByteArray start = "Notes\n\n## 2025-03-14 Friday\n\n- [ ] a  <!-- remind 2025-03-14 09:00 -->\n- [ ] b\n"
                             "- note  <!-- remind 2025-03-14 10:00 -->\n\n## 2025-03-13 Thursday\n\n"
                             "- [ ] c  <!-- remind 2025-03-13 20:00 every day 20:00 routine -->\nraw\n- [x] ~~d~~\n"
                             "- [ ] e  <!-- remind 2025-03-16 08:00 -->\n\n## 2025-03-12 Wednesday\n\n- [ ] f\n"
                             "  more\n\n## misc\n\n- [ ] \xc3\xbc\xe2\x9c\x93\xf0\x9f\x98\x80\n\n"
                             "## 2025-03-11 Tuesday\n\n- [ ] g\n\n  indented note\n- [ ] h\n";
    for (const QByteArray& text : {start, "\xef\xbb\xbf" + start, QByteArray(start).replace("\n", "\r\n")}) {
        SCOPED_TRACE(text.left(8).toStdString());
        notes.clock->setCalendar(kBerlin);
        notes.prefs->remove(PreferenceKey::dayStart);
        auto store = open(text);
        const auto idOf = [&](const char* entry) { return id(*store, entry); };
        QByteArray earlier; // the file before the step before
        QByteArray before;
        using namespace std::chrono;
        const std::pair<const char*, std::function<void()>> steps[] = {
            {"load", [] {}},
            {"done", [&] { store->toggleDone(idOf("a")); }},
            {"capture with a reminder", [&] { store->append(u"new", Reminder(now() + 5min, {}, false), now()); }},
            {"done in a lower day", [&] { store->toggleDone(idOf("f\nmore")); }},
            {"done beside an indented line of its own",
             [&] {
                 store->toggleDone(idOf("h"));
                 EXPECT_TRUE(file().replace("\r\n", "\n").contains("- [ ] g\n\n  indented note\n"))
                     << "the line must not join the entry above";
             }},
            {"reminder set on a lower day", [&] { store->setReminder(idOf("g"), Reminder(now() - 1h, {}, false)); }},
            {"snoozed", [&] { store->answer(idOf("note"), {NotesDocument::Answer::Snooze{now() + 2h}}); }},
            {"routine done", [&] { store->markDone(idOf("c"), true); }},
            {"carried", [&] { store->carryToToday(idOf("e"), now()); }},
            {"last day gone", [&] { EXPECT_TRUE(store->mutate([](NotesDocument& d) { d.sections.removeLast(); })); }},
            {"preamble removed", [&] { store->mutate([](NotesDocument& d) { d.preamble.clear(); }); }},
            {"undo", [&] { store->undo(); }},
            {"a heading renamed",
             [&] { EXPECT_TRUE(store->mutate([](NotesDocument& d) { d.sections[1].heading += u" renamed"; })); }},
            {"two lines", [&] { store->updateText(idOf("b"), u"b\nsecond line"); }},
            {"a day before all",
             [&] {
                 store->mutate([](NotesDocument& d) {
                     d.sections.prepend(DaySection{{}, QStringLiteral("misc"), {RawLine{QStringLiteral("  x")}}});
                 });
             }},
            {"capture after undo", [&] { add(*store, u"after undo"); }},
            {"after undo", [&] { store->toggleActive(idOf("new")); }},
            {"deleted", [&] { store->deleteEntry(idOf("b\nsecond line")); }},
            {"undo of a delete", [&] { store->undo(); }},
            {"redo", [&] { store->redo(); }},
            {"edited elsewhere",
             [&] {
                 writeAll(path, file()
                                    .replace("- [x] ~~d~~", "- [ ] d  <!-- remind 2025-03-13 07:00 -->")
                                    .replace("\xef\xbb\xbf", ""));
                 store->load();
             }},
            {"another zone", [&] { notes.clock->setCalendar(Calendar(QStringLiteral("America/New_York"))); }},
            {"another day start", [&] { notes.prefs->setValue(PreferenceKey::dayStart, 420); }},
        };
        for (const auto& [step, change] : steps) {
            earlier = std::exchange(before, file());
            change();
            if (step != steps[0].first) { // a file read in is written only at the first change
                EXPECT_EQ(file(), store->document().serialized().toUtf8()) << step;
            }
            if (std::string_view(step).starts_with("undo") || std::string_view(step) == "redo") {
                EXPECT_EQ(file(), earlier) << step; // the file before the step it takes back
                // What an undo or redo reads is what a whole read of the file gives, entries'
                // identities too (a day's identity is new whenever it is read anew).
                NotesDocument whole = NotesDocument::parse(decodeText(file()).value_or(QString()));
                NotesDocument held = store->document();
                for (NotesDocument* d : {&whole, &held}) {
                    for (DaySection& section : d->sections) {
                        section.id = QUuid();
                    }
                }
                EXPECT_EQ(held, whole) << step;
            }
            const Calendar calendar = notes.clock->calendar();
            const Anchors anchors = notes.prefs->anchors();
            const EntryCounts& counts = store->counts();
            EXPECT_EQ(counts.open(), EntryReminders::openCount(store->document(), calendar, anchors)) << step;
            for (const auto later : {hours(0), hours(5), hours(30), hours(24 * 40)}) {
                EXPECT_EQ(counts.ringing(now() + later),
                          EntryReminders::ringing(store->document(), now() + later, calendar, anchors).size())
                    << step << " and " << later.count() << " h later";
            }
        }
    }
}

// Made ready for keys after a pause, the store reads the file it had let go of on another thread:
// what another program wrote meanwhile is read in, not taken for the version let go of.
TEST_F(NotesStoreTest, AnEditMadeWhileTheFileWasLetGoOfIsKeptByTheNextKey) {
    auto store = open(kToday + "- [ ] a\n- [ ] b\n");
    QTest::qWait(700); // the bytes are let go of half a second after the read
    ASSERT_TRUE(writeAll(path, kToday + "- [ ] a\n- [ ] b\n- [ ] c\n"));
    store->keepReady(true);
    store->toggleDone(id(*store, "a"));
    EXPECT_EQ(file(), kToday + "- [x] ~~a~~\n- [ ] b\n- [ ] c\n");
}

// The file read ahead on another thread is taken only while the file is still that version.
TEST_F(NotesStoreTest, AFileReadAheadIsTakenOnlyWhileItIsThatVersion) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    for (const bool changed : {false, true}) {
        ASSERT_TRUE(writeAll(path, kToday + "- [ ] read ahead\n"));
        NotesStore::ReadAhead ahead = NotesStore::readAhead(path);
        if (changed) {
            ASSERT_TRUE(writeAll(path, kToday + "- [ ] written meanwhile\n"));
        }
        NotesStore store(*notes.prefs, *notes.clock, NotesStore::Options{path, false});
        store.load(std::move(ahead));
        EXPECT_EQ(store.document().allEntries().at(0).text, changed ? u"written meanwhile" : u"read ahead");
    }
}

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
    // A reminder opens a finished entry again, a struck note is a note again; a carried one stays.
    {"- ~~a~~", remindIn20, "- a  <!-- remind 2025-03-14 09:25 -->"},
    {"- [>] a  <!-- 08:00 carried 2025-03-15 -->", remindIn20,
     "- [>] a  <!-- 08:00 carried 2025-03-15 remind 2025-03-14 09:25 -->"},
    {"- [ ] a  <!-- remind 2025-03-14 09:25 -->", unremind, "- [ ] a"},
    {"- [x] ~~a~~  <!-- x remind 2025-03-14 09:25 -->", unremind, "- [x] ~~a~~  <!-- x -->"},
    {"- ~~a~~", unremind, "- ~~a~~"},
    {"- [ ] a\n- [ ] b", remove, "- [ ] b"},
};

TEST_F(NotesStoreTest, StoreCommandsChangeOnlyTheirEntryAndUndoRestoresTheFile) {
    for (const CommandCase& c : commandCases) {
        const QByteArray before = kToday + c.before + '\n';
        const QByteArray after = kToday + c.after + '\n';
        SCOPED_TRACE(c.before);
        auto store = open(before);
        QSignalSpy changed(store.get(), &NotesStore::changed);
        c.command(*store, QUuid::createUuid());
        EXPECT_EQ(changed.count(), 0) << "an unknown identity changes nothing";
        EXPECT_FALSE(QFile::exists(store->trashFilePath()));

        c.command(*store, id(*store, "a"));
        EXPECT_EQ(file(), after);
        EXPECT_EQ(store->undoDepth(), before == after ? 0 : 1);
        store->undo();
        EXPECT_EQ(file(), before);
    }
}

// Where the trash goes (never the notes file itself) is the settings' to say.
TEST_F(NotesStoreTest, TrashKeepsDaysOldestFirst) {
    auto store = open(kToday + "- [ ] a  <!-- 08:00 remind 2025-03-15 09:00 -->\n- [x] ~~b~~\n- [ ] c\n");
    // Today's heading inside an entry's text is not today's day.
    const QByteArray older = "## 2025-03-13 Thursday\n\n- [ ] see ## 2025-03-14 Friday\n";
    // Days thirty days old or older go when the trash is purged.
    const QByteArray kept = "## 2025-02-14 Friday\n\n- [ ] 29 days\n\n## misc\n\n- [ ] kept\n\n";
    ASSERT_TRUE(writeAll(store->trashFilePath(), "## 2025-02-12 Wednesday\n\n- [ ] 30 days\n\n" + kept + older));
    store->purgeTrash();
    ASSERT_TRUE(store->deleteEntry(id(*store, "a")));
    ASSERT_TRUE(store->deleteEntry(id(*store, "b")));
    notes.clock->advance(std::chrono::hours(24));
    ASSERT_TRUE(store->deleteEntry(id(*store, "c")));
    EXPECT_EQ(readAll(store->trashFilePath()), kept + older + '\n' + kToday +
                                                   "- [ ] a  <!-- 08:00 remind 2025-03-15 09:00 -->\n- [x] ~~b~~\n\n"
                                                   "## 2025-03-15 Saturday\n\n- [ ] c\n");
    EXPECT_EQ(file(), kToday); // the day heading stays
}

// Root may write anywhere, so an unwritable trash is a folder in its place.
TEST_F(NotesStoreTest, ATrashThatCannotBeWrittenDeletesNothing) {
    for (const bool folder : {true, false}) {
        SCOPED_TRACE(folder ? "folder" : "invalid UTF-8");
        auto store = open(kToday + "- [ ] keep me\n");
        const QString trash = store->trashFilePath();
        const QByteArray garbage = "## 2025-03-13 Thursday\n\n- [ ] \xff\n";
        ASSERT_TRUE(folder ? QDir().mkdir(trash) : writeAll(trash, garbage));
        EXPECT_FALSE(store->deleteEntry(id(*store, "keep me")));
        ASSERT_TRUE(store->error());
        EXPECT_TRUE(store->error()->message().contains(trash));
        EXPECT_EQ(file(), kToday + "- [ ] keep me\n");
        EXPECT_EQ(store->undoDepth(), 0);
        EXPECT_EQ(readAll(trash), folder ? QByteArray() : garbage);
        QDir().rmdir(trash);
    }
}

// Only once the notes are written does the entry leave the trash, and only once.
TEST_F(NotesStoreTest, RestoreBringsAnEntryBackAsTodaysCapture) {
    auto store = open(kToday + "- [x] ! ~~old~~  <!-- 07:00 remind 2025-03-15 09:00 -->\n");
    ASSERT_TRUE(store->deleteEntry(id(*store, "old")));
    notes.clock->advance(std::chrono::hours(26));
    const QByteArray trashBefore = readAll(store->trashFilePath());
    {
        plim::test::FileSizeLimit limit(8);
        EXPECT_FALSE(store->restoreFromTrash(store->trashDocument().allEntries().at(0).id));
    }
    EXPECT_EQ(readAll(store->trashFilePath()), trashBefore);
    EXPECT_TRUE(store->document().allEntries().isEmpty()) << "only what the file holds is shown";
    QSignalSpy changed(store.get(), &NotesStore::changed);
    ASSERT_TRUE(store->restoreFromTrash(store->trashDocument().allEntries().at(0).id));
    EXPECT_EQ(file(), "## 2025-03-15 Saturday\n\n- [ ] old  <!-- 11:05 -->\n\n" + kToday);
    EXPECT_TRUE(store->trashDocument().allEntries().isEmpty());
    EXPECT_GE(changed.count(), 2) << "the trash view learns of the restore after the trash is written";
}

TEST_F(NotesStoreTest, TakingBackACaptureRemovesTheLatestOpenOne) {
    auto store = open(kToday + "- [ ] milk  <!-- 08:00 -->\n- [ ] bread\n- [ ] milk  <!-- 09:00 -->\n- [x] ~~eggs~~\n");
    EXPECT_TRUE(store->removeMostRecentCapture(u"milk", now()));
    EXPECT_EQ(file(), kToday + "- [ ] milk  <!-- 08:00 -->\n- [ ] bread\n- [x] ~~eggs~~\n");
    EXPECT_FALSE(store->removeMostRecentCapture(u"eggs", now()));
}

} // namespace
