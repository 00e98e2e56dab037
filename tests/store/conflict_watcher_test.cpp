#include "store/ConflictWatcher.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace plim;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

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
    QFile f(copy);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    clock.start();
    for (int i = 0; i < 10; ++i) {
        f.write("- [ ] entry\n");
        f.flush();
        QTest::qWait(50);
    }
    const qint64 lastWrite = clock.elapsed();
    f.close();
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

} // namespace
