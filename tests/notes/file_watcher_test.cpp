#include "notes/FileWatcher.h"

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
#include <vector>

using namespace plim;
using namespace std::chrono_literals;

namespace {

// Short timings keep the suite quick; one test below runs with the real ones.
constexpr FileWatcher::Timings quick{20ms, 50ms};
// Long enough for every event, a re-arm and the debounce to have played out.
constexpr int settleMs = 120;

struct World {
    QString folder;
    QString file;
    QString other() const { return folder + QStringLiteral("/other.md"); }
};

bool append(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Append) && f.write(bytes) == bytes.size();
}

bool atomicSave(const QString& path, const QByteArray& bytes) {
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit();
}

using Action = bool (*)(World&);

struct Step {
    const char* what;
    Action act;
    int signals;   // changed() emissions expected once things settle
    bool watching; // whether the file itself is under watch afterwards
};

struct Scenario {
    const char* name;
    bool fileAtStart;
    std::vector<Step> steps;
};

void PrintTo(const Scenario& s, std::ostream* os) {
    *os << s.name;
}

const Scenario scenarios[] = {
    {"AtomicSavesKeepBeingFollowed",
     true,
     {
         {"atomic save", [](World& w) { return atomicSave(w.file, "one\n"); }, 1, true},
         // Only a watch on the new file can see an in-place write.
         {"append after atomic save", [](World& w) { return append(w.file, "more\n"); }, 1, true},
     }},
    {"BurstGivesOneSignal",
     true,
     {
         {"five appends 5 ms apart",
          [](World& w) {
              for (int i = 0; i < 5; ++i) {
                  if (!append(w.file, "x\n")) {
                      return false;
                  }
                  QTest::qWait(5);
              }
              return true;
          },
          1, true},
         {"save and append at once", [](World& w) { return atomicSave(w.file, "a\n") && append(w.file, "b\n"); }, 1,
          true},
     }},
    {"DeletedFileComesBack",
     true,
     {
         {"delete", [](World& w) { return QFile::remove(w.file); }, 1, false},
         {"recreate", [](World& w) { return append(w.file, "again\n"); }, 1, true},
         {"append", [](World& w) { return append(w.file, "more\n"); }, 1, true},
     }},
    {"OtherFilesInTheFolderAreIgnored",
     true,
     {
         {"create and write another file",
          [](World& w) { return append(w.other(), "x\n") && append(w.other(), "y\n"); }, 0, true},
         {"save and rename another file",
          [](World& w) { return atomicSave(w.other(), "z\n") && QFile::rename(w.other(), w.other() + u'~'); }, 0, true},
         {"make a subfolder", [](World& w) { return QDir(w.folder).mkdir(QStringLiteral("sub")); }, 0, true},
         {"still following ours", [](World& w) { return append(w.file, "ours\n"); }, 1, true},
     }},
    {"MissingAtStartIsSeenWhenCreated",
     false,
     {
         {"other file while ours is missing", [](World& w) { return append(w.other(), "x\n"); }, 0, false},
         {"create", [](World& w) { return atomicSave(w.file, "first\n"); }, 1, true},
         {"append", [](World& w) { return append(w.file, "second\n"); }, 1, true},
     }},
};

class FileWatcherScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(FileWatcherScenario, SignalsOncePerSettledChangeOfTheFile) {
    const Scenario& scenario = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    World world{dir.path(), dir.filePath(QStringLiteral("plim.md"))};
    if (scenario.fileAtStart) {
        ASSERT_TRUE(append(world.file, "start\n"));
    }
    FileWatcher watcher(world.file, quick);
    EXPECT_EQ(watcher.path(), world.file);
    EXPECT_EQ(watcher.isWatchingFile(), scenario.fileAtStart);
    QSignalSpy spy(&watcher, &FileWatcher::changed);
    QTest::qWait(50); // nothing is reported for a file that was left alone
    EXPECT_EQ(spy.count(), 0);

    for (const Step& step : scenario.steps) {
        SCOPED_TRACE(step.what);
        spy.clear();
        ASSERT_TRUE(step.act(world));
        if (step.signals > 0) {
            spy.wait(2000);
        }
        QTest::qWait(settleMs);
        EXPECT_EQ(spy.count(), step.signals);
        EXPECT_EQ(watcher.isWatchingFile(), step.watching);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, FileWatcherScenario, ::testing::ValuesIn(scenarios),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(FileWatcher, RealTimingsDebounceABurst) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("plim.md"));
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

TEST(FileWatcher, DestroyedWatcherStaysSilent) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("plim.md"));
    ASSERT_TRUE(append(file, "start\n"));
    int signals = 0;
    QObject receiver;
    auto watcher = std::make_unique<FileWatcher>(file, quick);
    QObject::connect(watcher.get(), &FileWatcher::changed, &receiver, [&signals] { ++signals; });

    ASSERT_TRUE(atomicSave(file, "saved\n"));
    QTest::qWait(10); // events taken in, debounce and re-arm pending
    watcher.reset();
    ASSERT_TRUE(append(file, "more\n"));
    QTest::qWait(settleMs);
    EXPECT_EQ(signals, 0);
}

} // namespace
