#include "notes/NotesDocument.h"

#include "support/TestSupport.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using plim::test::readAll;
using plim::test::writeAll;

namespace {

struct Result {
    int status = -1;
    QString out;
    QString err;
};

// Drives the real executable with its own settings folder and notes file.
class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        notes = dir.filePath(QStringLiteral("n/plim.md"));
    }

    Result plim(QStringList args, const QByteArray& input = {}, const QString& tz = QStringLiteral("Europe/Berlin")) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("TZ"), tz);
        p.setProcessEnvironment(env);
        args.prepend(notes);
        args.prepend(QStringLiteral("--file"));
        p.start(QStringLiteral(PLIM_EXECUTABLE), args);
        if (!input.isNull()) {
            p.write(input);
        }
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(20000));
        return Result{p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                      QString::fromUtf8(p.readAllStandardError())};
    }

    QJsonArray list() {
        const Result r = plim({QStringLiteral("list"), QStringLiteral("--json")});
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out.toUtf8()).array();
    }

    QTemporaryDir dir;
    QString notes;
};

TEST_F(CommandLineTest, AddPrintsTheIdentityThatListShows) {
    const Result r = plim({QStringLiteral("add"), QStringLiteral("buy"), QStringLiteral("milk")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString id = r.out.trimmed();
    EXPECT_EQ(id, QUuid::fromString(id).toString(QUuid::WithoutBraces).toUpper());

    const QJsonArray entries = list();
    ASSERT_EQ(entries.size(), 1);
    const QJsonObject e = entries.at(0).toObject();
    EXPECT_EQ(e.value(QStringLiteral("id")).toString(), id);
    EXPECT_EQ(e.value(QStringLiteral("text")).toString(), QStringLiteral("buy milk"));
    EXPECT_EQ(e.value(QStringLiteral("state")).toString(), QStringLiteral("open"));
    EXPECT_TRUE(e.value(QStringLiteral("comment")).isNull());
    EXPECT_EQ(e.value(QStringLiteral("time")).toString().size(), 5);
    EXPECT_TRUE(e.value(QStringLiteral("day"))
                    .toString()
                    .startsWith(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd"))));
    EXPECT_EQ(QFile::permissions(notes) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
}

TEST_F(CommandLineTest, AddReadsSeveralLinesFromStandardInput) {
    ASSERT_EQ(plim({QStringLiteral("add"), QStringLiteral("-")}, "first line\n\nsecond line\n").status, 0);
    const QJsonArray entries = list();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.at(0).toObject().value(QStringLiteral("text")).toString(),
              QStringLiteral("first line\n\nsecond line"));
}

TEST_F(CommandLineTest, ListGivesEveryFieldInFileOrder) {
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("n"))));
    ASSERT_TRUE(writeAll(notes, "My notes\n\n## 2025-03-14 Friday\n\n- [ ] ! plan trip  <!-- 10:30 -->\n"
                                "  with the kids\nraw line\n\n## 2025-03-13 Thursday\n\n"
                                "- [>] call the bank  <!-- 21:40 carried 2025-03-14 -->\n- ~~old idea~~\n"));
    const QJsonArray entries = list();
    ASSERT_EQ(entries.size(), 3);
    const QJsonObject first = entries.at(0).toObject();
    EXPECT_EQ(first.value(QStringLiteral("day")).toString(), QStringLiteral("2025-03-14 Friday"));
    EXPECT_TRUE(first.value(QStringLiteral("active")).toBool());
    EXPECT_EQ(first.value(QStringLiteral("text")).toString(), QStringLiteral("plan trip\nwith the kids"));
    EXPECT_EQ(first.value(QStringLiteral("id")).toString(),
              plim::NotesDocument::stableID(u"2025-03-14 Friday|plan trip\nwith the kids|0")
                  .toString(QUuid::WithoutBraces)
                  .toUpper());
    const QJsonObject second = entries.at(1).toObject();
    EXPECT_EQ(second.value(QStringLiteral("state")).toString(), QStringLiteral("carried"));
    EXPECT_EQ(second.value(QStringLiteral("comment")).toString(), QStringLiteral("carried 2025-03-14"));
    EXPECT_EQ(entries.at(2).toObject().value(QStringLiteral("state")).toString(), QStringLiteral("struck"));
    EXPECT_TRUE(entries.at(2).toObject().value(QStringLiteral("time")).isNull());
}

struct UsageCase {
    QStringList args;
    int status;
};

TEST_F(CommandLineTest, WrongUsageExitsTwoWithAMessage) {
    const UsageCase cases[] = {
        {{QStringLiteral("add")}, 2},
        {{QStringLiteral("frobnicate")}, 2},
        {{QStringLiteral("list"), QStringLiteral("--xml")}, 2},
        {{QStringLiteral("done")}, 2},
        {{QStringLiteral("done"), QStringLiteral("abcdef")}, 2},
        {{QStringLiteral("add"), QStringLiteral("--remind"), QStringLiteral("someday"), QStringLiteral("x")}, 2},
    };
    for (const auto& c : cases) {
        const Result r = plim(c.args);
        EXPECT_EQ(r.status, c.status) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << c.args.join(QLatin1Char(' ')).toStdString();
    }
    // Nothing was written by any of them.
    EXPECT_TRUE(readAll(notes).isEmpty());
}

TEST_F(CommandLineTest, AnUnreadableFileIsReportedAndLeftAlone) {
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("n"))));
    const QByteArray garbage = "## 2025-03-14 Friday\n\n- [ ] \xff\xfe\n";
    ASSERT_TRUE(writeAll(notes, garbage));
    for (const QStringList& args :
         {QStringList{QStringLiteral("add"), QStringLiteral("x")}, QStringList{QStringLiteral("list")}}) {
        const Result r = plim(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.contains(notes)) << r.err.toStdString();
    }
    EXPECT_EQ(readAll(notes), garbage);
}

TEST_F(CommandLineTest, PathAndVersion) {
    Result r = plim({QStringLiteral("path")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, notes + QLatin1Char('\n'));
    r = plim({QStringLiteral("--version")});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("plim ")));
}

TEST_F(CommandLineTest, WhenExplainsAPhraseInTheGivenZone) {
    Result r = plim({QStringLiteral("when"), QStringLiteral("tomorrow"), QStringLiteral("9am")}, {},
                    QStringLiteral("America/New_York"));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("remind "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" 09:00")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("T09:00:00-0"))) << lines[1].toStdString();
    EXPECT_EQ(lines[2], QStringLiteral("→ tomorrow 09:00"));

    r = plim({QStringLiteral("when"), QStringLiteral("someday")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("? Try 20m, 3pm, tomorrow 9am, fri, every 3h"));
}

TEST_F(CommandLineTest, RemindersFromCaptureToAnswer) {
    // One reminder long past, one ahead.
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("n"))));
    ASSERT_TRUE(writeAll(notes, "## 2025-03-14 Friday\n\n- [ ] call Ann  <!-- 09:02 remind 2025-03-14 10:00 -->\n"
                                "- [ ] water plants  <!-- 09:03 remind 2025-03-14 10:00 every day 10:00 -->\n"));
    Result r = plim(
        {QStringLiteral("add"), QStringLiteral("--remind"), QStringLiteral("tomorrow 9am"), QStringLiteral("later")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(readAll(notes)).contains(QStringLiteral(" 09:00 -->")));

    r = plim({QStringLiteral("due"), QStringLiteral("--json")});
    ASSERT_EQ(r.status, 0);
    QJsonArray due = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(due.size(), 2);
    const QString ann = due.at(0).toObject().value(QStringLiteral("id")).toString();
    const QString plants = due.at(1).toObject().value(QStringLiteral("id")).toString();
    EXPECT_TRUE(due.at(0).toObject().value(QStringLiteral("label")).toString().startsWith(QStringLiteral("rang ")));

    // skip on a repeat waits for its next ring; done on a one-time reminder finishes the entry.
    EXPECT_EQ(plim({QStringLiteral("skip"), plants.left(6).toLower()}).status, 0);
    EXPECT_EQ(plim({QStringLiteral("done"), ann}).status, 0);
    r = plim({QStringLiteral("due"), QStringLiteral("--json")});
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).array().size(), 0);
    const QString text = QString::fromUtf8(readAll(notes));
    EXPECT_TRUE(text.contains(QStringLiteral("- [x] ~~call Ann~~  <!-- 09:02 -->"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("every day 10:00 -->")));

    // stop removes the rule; delete moves the entry into the trash beside the file.
    EXPECT_EQ(plim({QStringLiteral("stop"), plants}).status, 0);
    EXPECT_TRUE(QString::fromUtf8(readAll(notes)).contains(QStringLiteral("- [ ] water plants  <!-- 09:03 -->")));
    EXPECT_EQ(plim({QStringLiteral("delete"), plants}).status, 0);
    EXPECT_FALSE(QString::fromUtf8(readAll(notes)).contains(QStringLiteral("water plants")));
    EXPECT_TRUE(readAll(dir.filePath(QStringLiteral("n/plim.trash.md"))).contains("- [ ] water plants"));

    EXPECT_EQ(plim({QStringLiteral("stop"), QStringLiteral("00000000")}).status, 2);
}

} // namespace
