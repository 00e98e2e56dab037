#include "notes/NotesDocument.h"
#include "store/FileLock.h"

#include "support/DesktopProcess.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using plim::test::readAll;
using plim::test::writeAll;

namespace {

const QString kZone = u"America/New_York"_s;

using Result = plim::test::Outcome;

QString idText(const char16_t* stableKey) {
    return plim::NotesDocument::stableID(stableKey).toString(QUuid::WithoutBraces).toUpper();
}

// Drives the real executable with its own settings folder and notes file, in a fixed zone.
class CommandLineTest : public ::testing::Test {
protected:
    // The runtime folder is this process's: the lock another plim process holds is taken here.
    QProcessEnvironment environment() const {
        return plim::test::homeEnvironment(dir.path(), qEnvironmentVariable("XDG_RUNTIME_DIR"), {u"TZ="_s + kZone});
    }
    // `command` is split like a shell line: "add --remind \"tomorrow 9am\" later".
    Result plim(const QString& command, const QByteArray& input = {}) {
        return plim::test::runCommand(environment(), QStringLiteral(PLIM_EXECUTABLE),
                                      QStringList{u"--file"_s, notes} + QProcess::splitCommand(command), input);
    }
    QJsonArray list() {
        const Result r = plim(u"list --json"_s);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        expectIndentedJson(r.out);
        return QJsonDocument::fromJson(r.out.toUtf8()).array();
    }
    // The listings are written as Qt writes indented JSON, byte for byte.
    static void expectIndentedJson(const QString& out) {
        EXPECT_EQ(out.toUtf8(), QJsonDocument::fromJson(out.toUtf8()).toJson(QJsonDocument::Indented));
    }
    void seed(const QByteArray& text) {
        ASSERT_TRUE(QDir().mkpath(dir.filePath(u"n"_s)));
        ASSERT_TRUE(writeAll(notes, text));
    }
    QString file() const { return QString::fromUtf8(readAll(notes)); }
    // Whether `text` holds a match of `pattern`, where "@FILE@" stands for the notes file's path;
    // "" wants no text at all, no pattern checks nothing.
    bool matches(const QString& text, const char* pattern) const {
        if (!pattern || !*pattern) {
            return !pattern || text.isEmpty();
        }
        const QString expanded = QString::fromUtf8(pattern).replace(u"@FILE@"_s, QRegularExpression::escape(notes));
        return QRegularExpression(expanded, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch();
    }

    QTemporaryDir dir;
    const QString notes = dir.filePath(u"n/plim.md"_s);
};

// Today's captures come before the older days.
TEST_F(CommandLineTest, AddPrintsTheIdentityAndListGivesEveryFieldInFileOrder) {
    seed("My notes\n\n## 2025-03-14 Friday\n\n- [ ] ! plan trip  <!-- 10:30 -->\n  with the kids\nraw line\n\n"
         "## 2025-03-13 Thursday\n\n- [>] call the bank  <!-- 21:40 carried 2025-03-14 -->\n"
         "- ~~old \"idea\" \\ \t\x01\x7f \xc3\xa9 \xf0\x9f\x98\x80~~\n");
    const QJsonArray expected = QJsonDocument::fromJson(R"([
        {"day": "2025-03-14 Friday", "state": "open", "active": true, "text": "plan trip\nwith the kids",
         "time": "10:30", "comment": null},
        {"day": "2025-03-13 Thursday", "state": "carried", "active": false, "text": "call the bank",
         "time": "21:40", "comment": "carried 2025-03-14"},
        {"day": "2025-03-13 Thursday", "state": "struck", "active": false,
         "text": "old \"idea\" \\ \t\u0001\u007f \u00e9 \ud83d\ude00",
         "time": null, "comment": null}])")
                                    .array();
    const Result r = plim(u"add buy milk"_s);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    ASSERT_EQ(plim(u"add -"_s, "first line\n\nsecond line\n").status, 0);
    QJsonArray entries = list();
    ASSERT_EQ(entries.size(), expected.size() + 2);
    QJsonObject e = entries.takeAt(0).toObject();
    EXPECT_EQ(e.take(u"id"_s).toString() + u'\n', r.out);
    EXPECT_TRUE(matches(e.take(u"time"_s).toString(), "^\\d\\d:\\d\\d$"));
    const QDateTime now = QDateTime::currentDateTimeUtc().toTimeZone(QTimeZone(kZone.toUtf8()));
    EXPECT_TRUE(e.take(u"day"_s).toString().startsWith(now.toString(u"yyyy-MM-dd"_s)));
    EXPECT_EQ(
        e,
        QJsonDocument::fromJson(R"({"state": "open", "active": false, "text": "buy milk", "comment": null})").object());
    EXPECT_EQ(entries.takeAt(0).toObject().value(u"text"_s).toString(), u"first line\n\nsecond line"_s);
    EXPECT_EQ(entries.at(0).toObject().value(u"id"_s).toString(),
              idText(u"2025-03-14 Friday|plan trip\nwith the kids|0"));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QJsonObject o = entries.at(i).toObject();
        o.remove(u"id"_s);
        EXPECT_EQ(o, expected.at(i).toObject()) << QJsonDocument(o).toJson().toStdString();
    }
}

// Each run on its own; none of them may write the notes file.
TEST_F(CommandLineTest, ExitStatusAndOutputOfSingleRuns) {
    const QByteArray garbage = "## 2025-03-14 Friday\n\n- [ ] \xff\xfe\n";
    const char* const notUnderstood =
        "^plim: 'someday' is not understood\\. Try 20m, 3pm, tomorrow 9am, fri, every 3h\n$";
    const char* const whenTomorrow = "^remind [\\d-]{10} 09:00\n[\\d-]{10}T09:00:00-0[45]:00\n→ tomorrow 09:00\n$";
    // The command, the file's text (none: no file): the exit status, patterns searched in the
    // output and in the errors, and whether another plim process holds the file throughout.
    const std::tuple<const char*, QByteArray, int, const char*, const char*, bool> cases[] = {
        {"add", {}, 2, "", "^plim: .", false},
        {"frobnicate", {}, 2, "", "^plim: .", false},
        {"list --xml", {}, 2, "", "^plim: .", false},
        {"done", {}, 2, "", "^plim: .", false},
        {"done abcdef", {}, 2, "", "^plim: .", false},
        {"done c31", "## 2025-03-14 Friday\n\n- [ ] e138\n", 2, "", "^plim: 'c31' is not an entry id", false},
        {"done c31c e138", "## 2025-03-14 Friday\n\n- [ ] e138\n", 2, "", "^plim: done takes an entry id\n$", false},
        // Every line of an error says whose it is (these two ids share their first four digits).
        {"done c31c", "## 2025-03-14 Friday\n\n- [ ] e138\n- [ ] e474\n", 2, "",
         "^plim: 'c31c' names 2 entries:\nplim:   C31C22D6-[-0-9A-F]+  e138\nplim:   C31CFF5C-[-0-9A-F]+  e474\n$",
         false},
        // A phrase not understood is refused alike wherever it is given.
        {"add --remind someday x", {}, 2, "", notUnderstood, false},
        {"add --remind=someday x", {}, 2, "", "^plim: 'someday' is not understood", false},
        {"add x", garbage, 1, "", "@FILE@", false},
        {"list", garbage, 1, "", "@FILE@", false},
        {"path", {}, 0, "^@FILE@\n$", "", false},
        {"merge", "- kept\n", 0, "^no conflict copies beside @FILE@\n$", "", false},
        {"merge missing.md", "- kept\n", 1, "", "^plim: .*missing\\.md cannot be read \\(no such file\\)", false},
        {"merge @FILE@", "- kept\n", 2, "", "^plim: .", false},
        {"merge @DIR@/plim.trash.md", "- kept\n", 2, "", "is the file copies are merged into", false},
        {"--version", {}, 0, "^plim \\S+\n$", "", false},
        {"--help", {}, 0, "^Usage: plim \\[--background\\]\n", "", false},
        // Refused before any resident program is looked for.
        {"capture now", {}, 2, "", "^plim: .", false},
        {"when tomorrow 9am", {}, 0, whenTomorrow, "", false},
        {"when someday", {}, 2, "", "^plim: 'someday' is not understood\\. Try ", false},
        {"add x", "- kept\n", 1, "", "^plim: @FILE@ is busy: another plim process", true},
    };
    for (const auto& [command, text, status, out, err, busy] : cases) {
        SCOPED_TRACE(command);
        QFile::remove(notes);
        if (!text.isNull()) {
            seed(text);
        }
        plim::FileLock other(notes);
        ASSERT_TRUE(!busy || other.tryLock());
        const Result r =
            plim(QString::fromUtf8(command).replace(u"@FILE@"_s, notes).replace(u"@DIR@"_s, dir.filePath(u"n"_s)));
        EXPECT_EQ(r.status, status);
        EXPECT_TRUE(matches(r.out, out)) << r.out.toStdString();
        EXPECT_TRUE(matches(r.err, err)) << r.err.toStdString();
        EXPECT_EQ(readAll(notes), text);
    }
}

// Several plim processes capturing into one file at once take turns: every capture arrives.
TEST_F(CommandLineTest, ParallelCapturesAllArrive) {
    constexpr int lanes = 3;
    constexpr int perLane = 8;
    std::vector<std::unique_ptr<plim::test::Process>> running;
    int failed = 0;
    for (int i = 0; i < perLane; ++i) {
        for (int lane = 0; lane < lanes; ++lane) {
            running.push_back(plim::test::startProcess(environment(), QStringLiteral(PLIM_EXECUTABLE),
                                                       {u"--file"_s, notes, u"add"_s, u"P%1-%2"_s.arg(lane).arg(i)}));
        }
        for (auto& p : running) {
            EXPECT_TRUE(p->p.waitForFinished(20000));
            failed += p->p.exitCode() != 0 ? 1 : 0;
        }
        running.clear();
    }
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(file().count(QRegularExpression(u"^- \\[ \\] P\\d-\\d  <!--"_s, QRegularExpression::MultilineOption)),
              lanes * perLane)
        << file().toStdString();
}

TEST_F(CommandLineTest, RemindersFromCaptureToAnswer) {
    // One reminder long past, one repeat long past.
    seed("## 2025-03-14 Friday\n\n- [ ] call Ann  <!-- 09:02 remind 2025-03-14 10:00 -->\n"
         "- [ ] water plants  <!-- 09:03 remind 2025-03-14 10:00 every day 10:00 -->\n");
    const QString ann = idText(u"2025-03-14 Friday|call Ann|0");
    const QString plants = idText(u"2025-03-14 Friday|water plants|0");
    // Exactly these two are due, in file order.
    const char* const bothDue = "^\\[\\s*\\{[^}]*\"id\": \"@ANN@\",\\s*\"label\": \"rang [^}]*\\},"
                                "\\s*\\{[^}]*\"id\": \"@PLANTS@\"[^}]*\\}\\s*\\]\\s*$";
    // The command (@ANN@ and @PLANTS@ stand for the identities): the exit status, patterns searched
    // in the output and in the notes file.
    const std::tuple<const char*, int, const char*, const char*> steps[] = {
        {"add --remind \"tomorrow 9am\" later", 0, "^[0-9A-F-]{36}\n$",
         "- \\[ \\] later  <!-- [\\d:]{5} remind [\\d-]{10} 09:00 -->"},
        {"due --json", 0, bothDue, nullptr},
        {"due", 0, "^[0-9A-F]{8}  call Ann  · rang [^\n]+\n[0-9A-F]{8}  water plants  · rang [^\n]+\n$", nullptr},
        // skip on a repeat waits for its next ring; done on a one-time reminder finishes the entry.
        {"skip @plants@", 0, "", "every day 10:00 -->"},
        {"done @ANN@", 0, "", "- \\[x\\] ~~call Ann~~  <!-- 09:02 -->\n"},
        // done and undone set the state: a second run changes nothing.
        {"done @ANN@", 0, "", "- \\[x\\] ~~call Ann~~  <!-- 09:02 -->\n"},
        {"undone @ANN@", 0, "", "- \\[ \\] call Ann  <!-- 09:02 -->\n"},
        {"undone @ANN@", 0, "", "- \\[ \\] call Ann  <!-- 09:02 -->\n"},
        {"due --json", 0, "^\\[\\s*\\]\\s*$", nullptr},
        // stop removes the rule; delete moves the entry into the trash beside the file.
        {"stop @PLANTS@", 0, "", "- \\[ \\] water plants  <!-- 09:03 -->\n"},
        {"delete @PLANTS@", 0, "", "^(?!.*water plants)"},
        {"stop 00000000", 2, "", nullptr},
    };
    for (const auto& [command, status, out, inFile] : steps) {
        SCOPED_TRACE(command);
        const Result r = plim(QString::fromUtf8(command)
                                  .replace(u"@ANN@"_s, ann)
                                  .replace(u"@PLANTS@"_s, plants)
                                  .replace(u"@plants@"_s, plants.left(6).toLower()));
        EXPECT_EQ(r.status, status) << r.err.toStdString();
        const QString named = QString(r.out).replace(ann, u"@ANN@"_s).replace(plants, u"@PLANTS@"_s);
        EXPECT_TRUE(matches(named, out)) << r.out.toStdString();
        if (QString::fromUtf8(command).endsWith(u"--json"_s)) {
            expectIndentedJson(r.out);
        }
        EXPECT_TRUE(matches(file(), inFile)) << file().toStdString();
    }
    EXPECT_TRUE(readAll(dir.filePath(u"n/plim.trash.md"_s)).contains("- [ ] water plants"));
}

} // namespace
