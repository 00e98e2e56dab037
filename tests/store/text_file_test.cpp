#include "store/FileLock.h"
#include "store/TextFile.h"
#include "store/WriteBasis.h"

#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace plim;
using plim::test::readAll;
using plim::test::writeAll;

namespace {

class TextFileTest : public ::testing::Test {
protected:
    QString at(const QString& name) const { return dir.filePath(name); }
    // Everything in the folder but the given names.
    QStringList others(const QStringList& known = {QStringLiteral("notes.md")}) const {
        QStringList names =
            QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString& name : known) {
            names.removeAll(name);
        }
        return names;
    }
    static mode_t modeOf(const QString& path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
    }

    QTemporaryDir dir;
    const QString notes = at(QStringLiteral("notes.md"));
};

// A capture checks the bytes without decoding them: it must refuse exactly what decoding refuses,
// or it would write over a file that is not text. Each sequence also inside a long ASCII run.
TEST(Utf8Check, AgreesWithDecoding) {
    const char* const rows[] = {
        "plain",        "\xc3\xbc",         "\xe2\x9c\x93",     "\xf0\x9f\x98\x80", "\xef\xbb\xbf!",    "\xc3",
        "\xe2\x9c",     "\xf0\x9f\x98",     "\xc0\x80",         "\xc1\xbf",         "\xe0\x9f\xbf",     "\xed\xa0\x80",
        "\xed\x9f\xbf", "\xf0\x8f\xbf\xbf", "\xf4\x90\x80\x80", "\xf4\x8f\xbf\xbf", "\xf5\x80\x80\x80", "\xff",
        "\x80",         "\xc3\x28",         "\xe2\x28\xa1",     "\xef\xbf\xbf"};
    for (const char* row : rows) {
        for (const QByteArray& bytes :
             {QByteArray(row), QByteArray(40, 'a') + row + QByteArray(40, 'b'), QByteArray(37, 'a') + row}) {
            EXPECT_EQ(isUtf8(bytes), decodeText(bytes).has_value()) << bytes.toHex(' ').toStdString();
        }
    }
}

TEST_F(TextFileTest, TemporaryIsHiddenAndOnlyOursAreRemovedAsStale) {
    ASSERT_TRUE(writeAll(notes, "old\n"));
    {
        PreparedWrite pending = PreparedWrite::prepare(notes, "new\n");
        ASSERT_TRUE(pending.ready()) << pending.error().toStdString();
        const QStringList temporaries = others();
        ASSERT_EQ(temporaries.size(), 1);
        EXPECT_TRUE(temporaries[0].startsWith(QLatin1String(".notes.md.plim-"))) << temporaries[0].toStdString();
    }
    EXPECT_EQ(others(), QStringList()) << "an uncommitted temporary outlives its write";
    EXPECT_EQ(readAll(notes), "old\n");

    const QStringList ours = {QStringLiteral(".notes.md.plim-a1B2c3"), QStringLiteral(".notes.md.plim-XXXXXX")};
    const QStringList kept = QStringLiteral("notes.md|.notes.md.other|notes.md.plim-123456|.notes.md.plim-12345|"
                                            ".notes.md.plim-1234567|.other.md.plim-abcdef|.notes.md.plim-a_b-c.")
                                 .split(u'|');
    for (const QString& name : ours + kept) {
        ASSERT_TRUE(writeAll(at(name), "x"));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral(".notes.md.plim-dir123")));
    // Found beside the file a symlink leads to.
    const QString link = at(QStringLiteral("sub/plim.md"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    ASSERT_TRUE(QFile::link(QStringLiteral("../notes.md"), link));
    EXPECT_EQ(removeStaleTemporaries(link), 2);
    EXPECT_EQ(others(QStringList(kept) << QStringLiteral("sub")), QStringList(QStringLiteral(".notes.md.plim-dir123")));
}

// What may not be read or replaced, and how each refuses. Nothing is touched and nothing blocks.
TEST_F(TextFileTest, OnlyRegularWritableFilesAreReadOrReplaced) {
    struct Case {
        const char* name;
        bool regular; // read, but refused as read-only
        std::function<bool(const QString&)> make;
    };
    const QString fifo = at(QStringLiteral("fifo"));
    const Case cases[] = {
        {"fifo", false, [](const QString& p) { return ::mkfifo(QFile::encodeName(p).constData(), 0600) == 0; }},
        {"folder", false, [](const QString& p) { return QDir().mkdir(p) && writeAll(p + QStringLiteral("/x"), "x"); }},
        {"link to a fifo", false, [&](const QString& p) { return QFile::link(fifo, p); }}, // the first row's
        {"read-only", true,
         [](const QString& p) { return writeAll(p, "keep\n") && QFile::setPermissions(p, QFile::ReadOwner); }},
    };
    // A blocking open is interrupted instead of hanging the test.
    struct sigaction wake {};
    wake.sa_handler = [](int) {};
    struct sigaction previous {};
    ASSERT_EQ(::sigaction(SIGALRM, &wake, &previous), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = at(QString::fromLatin1(c.name).replace(QLatin1Char(' '), QLatin1Char('-')));
        ASSERT_TRUE(c.make(path));
        const mode_t before = modeOf(path);
        const QByteArray bytes = S_ISREG(before) ? readAll(path) : QByteArray();
        ::alarm(2);
        const TextRead read = readTextFile(path);
        ::alarm(0);
        EXPECT_EQ(read.status, c.regular ? TextRead::Status::Ok : TextRead::Status::NotRegular);
        EXPECT_EQ(read.reason, c.regular ? QString() : QStringLiteral("it is not a regular file"));
        const auto failure = writeTextFileAtomically(path, u"new\n");
        ASSERT_TRUE(failure);
        EXPECT_TRUE(failure->contains(QLatin1String(c.regular ? "read-only" : "not a regular file")))
            << failure->toStdString();
        EXPECT_EQ(modeOf(path), before);
        if (S_ISREG(before)) {
            EXPECT_EQ(readAll(path), bytes);
        }
    }
    ::sigaction(SIGALRM, &previous, nullptr);
    EXPECT_EQ(others({QStringLiteral("fifo"), QStringLiteral("folder"), QStringLiteral("link-to-a-fifo"),
                      QStringLiteral("read-only")}),
              QStringList());
    // A character device is refused without opening it; never written here.
    EXPECT_EQ(readTextFile(QStringLiteral("/dev/null")).status, TextRead::Status::NotRegular);
}

// The lock names the file, not the way to it: a link (dangling or not) and a relative path from
// anywhere take its target's lock; a relative link is written beside itself from any folder, and
// the target keeps its permissions.
TEST_F(TextFileTest, ARelativeSymlinkIsWrittenThroughAndTakesItsTargetsLock) {
    const QString real = at(QStringLiteral("real.md"));
    const QString link = at(QStringLiteral("plim.md"));
    ASSERT_TRUE(QFile::link(QStringLiteral("real.md"), link));
    const QString lock = FileLock::lockPathFor(real);
    EXPECT_EQ(FileLock::lockPathFor(link), lock);
    ASSERT_TRUE(writeAll(real, "old\n"));
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    QTemporaryDir elsewhere;
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    const auto failure = writeTextFileAtomically(link, u"new\n");
    const QString lockOfLink = FileLock::lockPathFor(link);
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const QString lockOfRelative = FileLock::lockPathFor(QStringLiteral("./real.md"));
    QDir::setCurrent(cwd);
    EXPECT_FALSE(failure);
    EXPECT_EQ(readAll(real), "new\n");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(modeOf(real) & 07777, 0640u);
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_EQ(lockOfLink, lock);
    EXPECT_EQ(lockOfRelative, lock);
    EXPECT_TRUE(lock.startsWith(FileLock::lockFolder() + QLatin1Char('/')));
    EXPECT_NE(FileLock::lockPathFor(at(QStringLiteral("other.md"))), lock);
}

TEST_F(TextFileTest, CommitRenamesOnlyOverTheVersionItWasToldOf) {
    // Also where the file system cannot swap two files and only the last look before the rename guards.
    for (const bool swaps : {true, false}) {
        SCOPED_TRACE(swaps);
        plim::test::ScriptedCalls calls;
        calls.failing[calls.Exchange] = swaps ? 0 : EINVAL;
        const FileSystemCalls::Override use(calls);
        QFile::remove(notes);
        PreparedWrite created = PreparedWrite::prepare(notes, "first\n");
        const PreparedWrite::Result first = created.commit(FileStamp{});
        ASSERT_TRUE(first.committed()) << first.reason.toStdString();
        EXPECT_EQ(first.stamp, fileStamp(notes));
        EXPECT_EQ(modeOf(notes) & 07777, 0600u);

        PreparedWrite late = PreparedWrite::prepare(notes, "second\n");
        ASSERT_TRUE(late.ready());
        ASSERT_TRUE(writeAll(notes, "appended\n", true));
        EXPECT_EQ(late.commit(first.stamp).outcome, PreparedWrite::Outcome::TargetMoved);
        EXPECT_EQ(readAll(notes), "first\nappended\n");
        EXPECT_EQ(others(), QStringList());
    }
}

// A replaced version is looked at again only when someone may still write into it: someone had it
// open for writing, or opened it so while it was guarded.
TEST_F(TextFileTest, AGuardedVersionTellsWhetherAnyoneOpenedItForWriting) {
    ASSERT_TRUE(writeAll(notes, "- [ ] a\n"));
    const QByteArray name = QFile::encodeName(notes);
    const struct {
        const char* name;
        int openedBefore; // open flags of another descriptor before the guard; 0: none
        int openedDuring; // and while it is held
        bool untouched;
    } rows[] = {
        {"nobody", 0, 0, true},
        {"a reader", O_RDONLY, O_RDONLY, true},
        {"a writer before", O_WRONLY | O_APPEND, 0, false},
        {"a writer during", 0, O_WRONLY | O_APPEND, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBasis basis(notes);
        const int before = row.openedBefore ? ::open(name.constData(), row.openedBefore) : -1;
        const bool guarded = basis.guardAgainstWriters();
        if (!guarded && row.openedBefore == 0) {
            GTEST_SKIP() << "this file system takes no leases";
        }
        // Opened so, it would wait for the guard to end: it only starts the guard's end.
        const int during = row.openedDuring ? ::open(name.constData(), row.openedDuring | O_NONBLOCK) : -1;
        EXPECT_EQ(basis.endGuard(), row.untouched);
        for (const int fd : {before, during}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
}

TEST_F(TextFileTest, AFailingSystemCallIsReportedAndKeepsTheOldFile) {
    const QByteArray old = "- [ ] keep me\n";
    ASSERT_TRUE(writeAll(notes, old));
    using Calls = plim::test::ScriptedCalls;
    const std::pair<Calls::Call, int> cases[] = {
        {Calls::MakeTemporary, EACCES}, {Calls::Write, ENOSPC}, {Calls::Fsync, EIO}, {Calls::Rename, EIO}};
    for (const auto& [call, error] : cases) {
        SCOPED_TRACE(call);
        Calls calls;
        calls.failing[call] = error;
        const FileSystemCalls::Override use(calls);
        const auto failure = writeTextFileAtomically(notes, u"- [ ] replaced\n");
        ASSERT_TRUE(failure);
        EXPECT_EQ(*failure, QString::fromLocal8Bit(std::strerror(error)));
        EXPECT_EQ(readAll(notes), old);
        EXPECT_EQ(others(), QStringList());
    }
}

TEST_F(TextFileTest, OneLockPerFileEvenWithinOneProcess) {
    FileLock first(notes);
    FileLock second(notes);
    ASSERT_TRUE(first.tryLock());
    EXPECT_FALSE(second.tryLock());

    const auto start = std::chrono::steady_clock::now();
    const auto reason = second.lock(std::chrono::milliseconds(150));
    const auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(reason);
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::milliseconds(450));

    first.unlock();
    EXPECT_FALSE(second.lock(std::chrono::milliseconds(150)));
    EXPECT_TRUE(second.isLocked());
    EXPECT_EQ(modeOf(FileLock::lockFolder()) & 07777, 0700u);
}

} // namespace
