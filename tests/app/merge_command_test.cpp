#include "store/NotesStore.h"

#include "support/DesktopProcess.h"
#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>
#include <pwd.h>
#include <unistd.h>

using namespace plim;
using namespace Qt::Literals::StringLiterals;
using plim::test::readAll;
using plim::test::writeAll;

namespace {

test::Outcome plimMerge(const QString& notes, const QStringList& args = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TZ"_s, u"Europe/Berlin"_s);
    return test::runCommand(env, QStringLiteral(PLIM_EXECUTABLE), QStringList{u"--file"_s, notes, u"merge"_s} + args);
}

const Calendar kBerlin(u"Europe/Berlin"_s);
const QByteArray kAgreed = "## 2026-12-06 Sunday\n\n"
                           "- [ ] water plants  <!-- 08:00 remind 2026-12-06 08:30 -->\n"
                           "- [ ] call Ann  <!-- 08:05 -->\n"
                           "- [ ] buy milk  <!-- 08:10 -->\n"
                           "- [ ] old idea  <!-- 08:15 -->\n\n"
                           "## 2026-12-05 Saturday\n\n"
                           "- [ ] pay rent  <!-- 18:00 remind 2026-12-05 19:00 -->\n"
                           "- [ ] book train  <!-- 18:30 -->\n";

// One computer: its own copy of the notes file, settings and clock, and a store that keeps the
// agreed text as the resident program does.
struct Computer : test::TempNotes {
    Computer()
        : TempNotes(test::at(kBerlin, 2026, 12, 6, 9, 0), kBerlin) {
        EXPECT_TRUE(writeAll(path, kAgreed));
        NotesStore::Options options;
        options.watch = false;
        options.keepAgreedText = true;
        store = open(options);
        store->flushAgreedText(); // what the resident program's loop does a moment later
    }
    QUuid id(const QString& text) const { return test::entryId(store->document(), text); }

    std::unique_ptr<NotesStore> store;
};

// Two computers change one synced notes file offline; the sync tool keeps one's file as a conflict
// copy beside the other's, and `plim merge` brings both days of work together.
TEST(MergeCommand, TwoComputersChangingOneFileOffline) {
    Computer laptop;
    Computer desktop;
    // The laptop, on a train: a capture, a done, an edit and a delete.
    laptop.clock->set(test::at(kBerlin, 2026, 12, 6, 10, 0));
    ASSERT_TRUE(laptop.store->append(u"tickets for Lisbon"_s, std::nullopt, laptop.clock->now()));
    laptop.store->toggleDone(laptop.id(u"call Ann"_s));
    laptop.store->updateText(laptop.id(u"buy milk"_s), u"buy oat milk"_s);
    ASSERT_TRUE(laptop.store->deleteEntry(laptop.id(u"old idea"_s)));

    // The desktop at home meanwhile: a capture, a done, a delete.
    desktop.clock->set(test::at(kBerlin, 2026, 12, 6, 11, 0));
    ASSERT_TRUE(desktop.store->append(u"dentist friday"_s, std::nullopt, desktop.clock->now()));
    desktop.store->toggleDone(desktop.id(u"pay rent"_s));
    ASSERT_TRUE(desktop.store->deleteEntry(desktop.id(u"book train"_s)));
    ASSERT_TRUE(desktop.store->error() == std::nullopt && laptop.store->error() == std::nullopt);

    // The laptop's file arrives beside the desktop's as a conflict copy.
    const QByteArray laptopFile = readAll(laptop.path);
    const QString copy = desktop.dir.filePath(u"plim.sync-conflict-20261206-120000-LAPTOP1.md"_s);
    ASSERT_TRUE(writeAll(copy, laptopFile));

    // A copy that is not UTF-8 is never merged: reported and left where it is.
    const QString bad = desktop.dir.filePath(u"plim (conflicted copy 2026-12-06 101500).md"_s);
    ASSERT_TRUE(writeAll(bad, "## 2026-12-06 Sunday\n\n- [ ] \xff\xfe\n"));

    const test::Outcome r = plimMerge(desktop.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith(u"plim: "_s + bad + u" cannot be read ("_s)) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(bad));
    EXPECT_EQ(r.out, u"2 entries added, 1 marked done, 2 entries removed, from "
                     u"plim.sync-conflict-20261206-120000-LAPTOP1.md\n"_s);
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_EQ(readAll(NotesStore::mergedFolder() + u"/plim.sync-conflict-20261206-120000-LAPTOP1.md"_s), laptopFile);

    const QString merged = QString::fromUtf8(readAll(desktop.path));
    EXPECT_EQ(merged, u"## 2026-12-06 Sunday\n\n"
                      "- [ ] water plants  <!-- 08:00 remind 2026-12-06 08:30 -->\n"
                      "- [x] ~~call Ann~~  <!-- 08:05 -->\n"
                      "- [ ] buy oat milk  <!-- 08:10 -->\n"
                      "- [ ] tickets for Lisbon  <!-- 10:00 -->\n"
                      "- [ ] dentist friday  <!-- 11:00 -->\n\n"
                      "## 2026-12-05 Saturday\n\n"
                      "- [x] ~~pay rent~~  <!-- 18:00 -->\n"_s);

    // The same copy again: the agreed text holds "old idea", which neither side has now, so it is
    // older than what both share and not taken for their ancestor. The desktop's deletion of
    // "book train" is lost then, nothing else.
    ASSERT_TRUE(writeAll(copy, laptopFile));
    const test::Outcome again = plimMerge(desktop.path, {copy});
    EXPECT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_EQ(again.out, u"1 entry added, from plim.sync-conflict-20261206-120000-LAPTOP1.md\n"_s);
    EXPECT_EQ(QString::fromUtf8(readAll(desktop.path)), merged + u"- [ ] book train  <!-- 18:30 -->\n"_s);
    EXPECT_TRUE(
        QFileInfo::exists(NotesStore::mergedFolder() + u"/plim.sync-conflict-20261206-120000-LAPTOP1 (2).md"_s));
}

// A copy found beside the notes is merged by itself only when it is the user's own file that nobody
// else may write to; named, it is merged whoever's it is, saying whose.
TEST(MergeCommand, FoundCopiesOnlyWhenTheUsersOwn) {
    const passwd* nobody = ::getpwnam("nobody");
    // Whose copy, its mode, named on the command line: the exit status and what it says.
    const std::tuple<const char*, bool, QFile::Permissions, bool, int, const char*> cases[] = {
        {"own", false, QFile::ReadOwner | QFile::WriteOwner, false, 0, "1 entry added, from %1\n"},
        {"nobody's", true, QFile::ReadOwner | QFile::WriteOwner, false, 1,
         "plim: %1 belongs to nobody, not to you, so it was not merged; \u201cplim merge %2\u201d merges it anyway\n"},
        {"writable by others", false, QFile::ReadOwner | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther,
         false, 1, "plim: %1 may be written by others, so it was not merged"},
        {"nobody's, named", true, QFile::ReadOwner | QFile::WriteOwner, true, 0,
         "1 entry added, from %1 (it belongs to nobody, not to you)\n"},
    };
    for (const auto& [name, nobodys, mode, named, status, text] : cases) {
        SCOPED_TRACE(name);
        if (nobodys && (::geteuid() != 0 || !nobody)) {
            std::cout << "not tried without root: a copy " << name << "\n";
            continue;
        }
        QTemporaryDir dir;
        const QString notes = dir.filePath(u"plim.md"_s);
        const QString copy = dir.filePath(u"plim_conflict-20261206-101500.md"_s);
        ASSERT_TRUE(writeAll(notes, kAgreed));
        ASSERT_TRUE(
            writeAll(copy, "## 2026-12-06 Sunday\n\n- [ ] remind me  <!-- 09:00 remind 2026-12-06 10:00 -->\n"));
        ASSERT_TRUE(QFile::setPermissions(copy, mode));
        ASSERT_TRUE(!nobodys || ::chown(QFile::encodeName(copy).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        const test::Outcome r = plimMerge(notes, named ? QStringList{copy} : QStringList{});
        EXPECT_EQ(r.status, status) << r.err.toStdString();
        const QString says =
            QString::fromUtf8(text).replace(u"%1"_s, QFileInfo(copy).fileName()).replace(u"%2"_s, copy);
        EXPECT_TRUE((status == 0 ? r.out : r.err).startsWith(says)) << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(QString::fromUtf8(readAll(notes)).contains(u"remind me"_s), status == 0);
        EXPECT_EQ(QFileInfo::exists(copy), status != 0);
    }
}

} // namespace
