#include "store/FileWatcher.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace plim;
using namespace std::chrono_literals;

namespace {

// Short timings keep the suite quick; one test below runs with the real ones.
constexpr FileWatcher::Timings quick{20ms, 50ms};
// Long enough for every event, a re-arm and the debounce to have played out.
constexpr int settleMs = 120;

bool append(const QString& path, const QByteArray& bytes) {
    return test::writeAll(path, bytes, true);
}

bool atomicSave(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit();
}

// Another file in the same folder.
QString other(const QString& file) {
    return file + QStringLiteral(".other");
}

struct Step {
    const char* what;
    bool (*act)(const QString& file);
    int signals; // changed() emissions expected once things settle
};

// One watcher through all of them, starting before the file exists.
const Step steps[] = {
    {"other file while ours is missing", [](const auto& f) { return append(other(f), "x\n"); }, 0},
    {"create", [](const auto& f) { return atomicSave(f, "first\n"); }, 1},
    {"append", [](const auto& f) { return append(f, "second\n"); }, 1},
    {"atomic save", [](const auto& f) { return atomicSave(f, "one\n"); }, 1},
    // Only a watch on the new file can see an in-place write.
    {"append after atomic save", [](const auto& f) { return append(f, "more\n"); }, 1},
    {"save and append at once", [](const auto& f) { return atomicSave(f, "a\n") && append(f, "b\n"); }, 1},
    {"delete", [](const auto& f) { return QFile::remove(f); }, 1},
    {"recreate", [](const auto& f) { return append(f, "again\n"); }, 1},
    {"append to the recreated file", [](const auto& f) { return append(f, "more\n"); }, 1},
    {"another file written twice", [](const auto& f) { return append(other(f), "x\n") && append(other(f), "y\n"); }, 0},
    {"save and rename another file",
     [](const auto& f) { return atomicSave(other(f), "z\n") && QFile::rename(other(f), other(f) + u'~'); }, 0},
    {"make a folder", [](const auto& f) { return QDir().mkdir(f + QStringLiteral(".d")); }, 0},
    {"still following ours", [](const auto& f) { return append(f, "ours\n"); }, 1},
};

class FileWatcherTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plim.md"));
};

TEST_F(FileWatcherTest, SignalsOncePerSettledChangeOfTheFile) {
    auto watcher = std::make_unique<FileWatcher>(file, quick);
    QSignalSpy spy(watcher.get(), &FileWatcher::changed);
    QTest::qWait(50); // nothing is reported while nothing changes
    EXPECT_EQ(spy.count(), 0);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        spy.clear();
        ASSERT_TRUE(step.act(file));
        if (step.signals > 0) {
            spy.wait(2000);
        }
        QTest::qWait(settleMs);
        EXPECT_EQ(spy.count(), step.signals);
    }
    // Destroyed with its report and a re-arm pending, it says nothing more.
    spy.clear();
    ASSERT_TRUE(atomicSave(file, "saved\n"));
    QTest::qWait(10);
    watcher.reset();
    ASSERT_TRUE(append(file, "more\n"));
    QTest::qWait(settleMs);
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(FileWatcherTest, RealTimingsDebounceABurst) {
    ASSERT_TRUE(append(file, "start\n"));
    FileWatcher watcher(file);
    QSignalSpy spy(&watcher, &FileWatcher::changed);
    // Writes 100 ms apart are one burst under a 0.3 s quiet time.
    QElapsedTimer sinceLastWrite;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(append(file, "x\n"));
        sinceLastWrite.start();
        QTest::qWait(100);
    }
    ASSERT_TRUE(spy.wait(2000));
    const qint64 delay = sinceLastWrite.elapsed();
    EXPECT_GE(delay, 280);
    EXPECT_LT(delay, 1000);
    QTest::qWait(400);
    EXPECT_EQ(spy.count(), 1);
}

} // namespace
