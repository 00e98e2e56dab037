// Two computers share the notes file through two real Syncthing daemons on loopback: whatever
// both change while the link is down, every capture of both ends up on both.
#include "notes/NotesDocument.h"
#include "store/ConflictMerge.h"

#include "support/DesktopProcess.h"
#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray kApiKey = "plim-test-key";
constexpr int kRoundMs = 40000;

// One Syncthing daemon with a home of its own, reached over its REST interface.
struct Syncthing {
    QString home;
    int listen = 0;
    int gui = 0;
    QString id;
    std::unique_ptr<test::Process> daemon;
    QNetworkAccessManager* net = nullptr;

    QJsonObject call(const QByteArray& verb, const QString& path) const {
        QNetworkRequest request(QUrl(u"http://127.0.0.1:%1%2"_s.arg(gui).arg(path)));
        request.setRawHeader("X-API-Key", kApiKey);
        QNetworkReply* reply = net->sendCustomRequest(request, verb);
        if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 20000)) {
            reply->abort(); // an empty answer: the caller's condition is not met
        }
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        return answer;
    }
    bool connected(const QString& other) const {
        const QJsonObject all = call("GET", u"/rest/system/connections"_s).value(u"connections"_s).toObject();
        return all.value(other).toObject().value(u"connected"_s).toBool();
    }
    // Nothing left to pull, and the other computer has all of this one's.
    bool idle(const QString& folder, const QString& other) const {
        const QJsonObject status = call("GET", u"/rest/db/status?folder="_s + folder);
        const QJsonObject done = call("GET", u"/rest/db/completion?folder=%1&device=%2"_s.arg(folder, other));
        return status.value(u"state"_s).toString() == u"idle"_s && status.value(u"needTotalItems"_s).toInt(-1) == 0 &&
               done.value(u"completion"_s).toDouble() == 100.0 && done.value(u"needItems"_s).toInt(-1) == 0;
    }
    void scan(const QString& folder) const { call("POST", u"/rest/db/scan?folder="_s + folder); }
};

enum class Runs { CommandLine, Resident };

// One computer: a home, a Syncthing, the command line and (when asked) the resident program.
struct Computer {
    QString name;
    QString home;
    QProcessEnvironment env;
    Syncthing sync;
    std::unique_ptr<test::Process> resident;
    QString notes; // the notes file in use

    test::Outcome plim(const QStringList& args) const {
        return test::runProcess(env, QStringLiteral(PLIM_EXECUTABLE), args);
    }
    QString text() const { return QString::fromUtf8(test::readAll(notes)); }
    // The conflict copies plim merged here so far.
    qsizetype merged() const { return QDir(home + u"/state/plim/merged"_s).entryList(QDir::Files).size(); }
    QString id(const QString& entry) const {
        return test::entryId(NotesDocument::parse(text()), entry).toString(QUuid::WithoutBraces);
    }
    void use(const QString& folder) {
        notes = folder + u"/plim.md"_s;
        test::writeAll(home + u"/config/plim/plim.conf"_s, (u"[General]\nnotesFilePath="_s + notes + u"\n"_s).toUtf8());
    }
    void stopResident() {
        if (resident) {
            test::quitResident(env, *resident);
            resident.reset();
        }
    }
};

struct Variant {
    const char* name;
    Runs laptop;
    Runs desktop;
    int rounds;
};

const Variant kVariants[] = {
    {"a resident program on each side", Runs::Resident, Runs::Resident, 1},
    {"three rounds of offline edits in a row", Runs::CommandLine, Runs::Resident, 3},
};

QString folderId(int variant) {
    return u"notes%1"_s.arg(variant);
}

class SyncTool : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::have(u"syncthing"_s)) {
            GTEST_SKIP() << "syncthing is not installed (scripts/install-deps.sh installs it)";
        }
        net.setProxy(QNetworkProxy::NoProxy);
        // Ports free now (closed before the daemons start): two runs side by side do not meet.
        std::array<std::unique_ptr<QTcpServer>, 4> ports;
        for (auto& port : ports) {
            port = std::make_unique<QTcpServer>();
            ASSERT_TRUE(port->listen(QHostAddress::LocalHost, 0));
        }
        for (int i = 0; i < 2; ++i) {
            Computer& c = computers[i];
            c.name = i == 0 ? u"laptop"_s : u"desktop"_s;
            c.home = dir.filePath(c.name);
            for (const QString& sub : {u"run"_s, u"config/plim"_s, u"syncthing"_s}) {
                ASSERT_TRUE(QDir().mkpath(c.home + u"/"_s + sub));
            }
            QFile::setPermissions(c.home + u"/run"_s, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            c.env = test::homeEnvironment(c.home, c.home + u"/run"_s, {u"STNOUPGRADE=1"_s, u"STNORESTART=1"_s});
            Syncthing& s = c.sync;
            s.home = c.home + u"/syncthing"_s;
            s.listen = ports[2 * i]->serverPort();
            s.gui = ports[2 * i + 1]->serverPort();
            s.net = &net;
            const test::Outcome made = test::runProcess(
                c.env, u"syncthing"_s, {u"generate"_s, u"--home="_s + s.home, u"--no-default-folder"_s});
            ASSERT_EQ(made.status, 0);
            s.id = test::runProcess(c.env, u"syncthing"_s, {u"serve"_s, u"--home="_s + s.home, u"--device-id"_s}).out;
            ASSERT_FALSE(s.id.isEmpty());
        }
        ports = {};
        for (Computer& c : computers) {
            ASSERT_TRUE(test::writeAll(c.sync.home + u"/config.xml"_s, config(c)));
            c.sync.daemon = test::startProcess(
                c.env, u"syncthing"_s, {u"serve"_s, u"--home="_s + c.sync.home, u"--no-browser"_s, u"--no-restart"_s});
        }
        // Two daemons starting beside a loaded build may take a while to open their databases.
        ASSERT_TRUE(QTest::qWaitFor([&] { return linked(true); }, 60000)) << "the two daemons did not connect";
    }

    void TearDown() override {
        for (Computer& c : computers) {
            c.stopResident();
        }
    }

    // As Syncthing's own interface makes a folder shared by both (conflict copies kept), on
    // loopback only: no discovery, relays, NAT, reports or upgrades. Scans are asked for by the test.
    QByteArray config(const Computer& c) const {
        QString folders;
        for (int v = 0; v < int(std::size(kVariants)); ++v) {
            const QString path = c.home + u"/"_s + folderId(v);
            QDir().mkpath(path);
            folders += uR"(<folder id="%1" label="%1" path="%2" type="sendreceive" rescanIntervalS="0"
                fsWatcherEnabled="false" ignorePerms="false" autoNormalize="true">
                <device id="%3"></device><device id="%4"></device>
                <maxConflicts>10</maxConflicts></folder>)"_s.arg(folderId(v), path, computers[0].sync.id,
                                                                 computers[1].sync.id);
        }
        QString devices;
        for (const Computer& d : computers) {
            devices += uR"(<device id="%1" name="%2" compression="metadata"><address>tcp://127.0.0.1:%3</address>
                </device>)"_s.arg(d.sync.id, d.name)
                           .arg(d.sync.listen);
        }
        return uR"(<configuration version="36">%1%2
            <gui enabled="true" tls="false"><address>127.0.0.1:%3</address><apikey>%4</apikey></gui>
            <options><listenAddress>tcp://127.0.0.1:%5</listenAddress>
            <globalAnnounceEnabled>false</globalAnnounceEnabled><localAnnounceEnabled>false</localAnnounceEnabled>
            <relaysEnabled>false</relaysEnabled><natEnabled>false</natEnabled><urAccepted>-1</urAccepted>
            <autoUpgradeIntervalH>0</autoUpgradeIntervalH><startBrowser>false</startBrowser>
            <crashReportingEnabled>false</crashReportingEnabled><setLowPriority>false</setLowPriority>
            <reconnectionIntervalS>1</reconnectionIntervalS></options></configuration>)"_s.arg(folders, devices)
            .arg(c.sync.gui)
            .arg(QString::fromLatin1(kApiKey))
            .arg(c.sync.listen)
            .toUtf8();
    }

    bool linked(bool up) const {
        return computers[0].sync.connected(computers[1].sync.id) == up &&
               computers[1].sync.connected(computers[0].sync.id) == up;
    }

    // Scans, lets the command line merge where it runs, until both files are the same and stay so.
    bool settle(int variant, const Variant& v) {
        const QString folder = folderId(variant);
        int calm = 0;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < kRoundMs) {
            for (int i = 0; i < 2; ++i) {
                Computer& c = computers[i];
                c.sync.scan(folder);
                const Runs runs = i == 0 ? v.laptop : v.desktop;
                if (runs == Runs::CommandLine && !ConflictCopies::find(c.notes).isEmpty()) {
                    c.plim({u"merge"_s});
                }
            }
            const bool same = ConflictCopies::find(computers[0].notes).isEmpty() &&
                              ConflictCopies::find(computers[1].notes).isEmpty() &&
                              computers[0].text() == computers[1].text() &&
                              computers[0].sync.idle(folder, computers[1].sync.id) &&
                              computers[1].sync.idle(folder, computers[0].sync.id);
            calm = same ? calm + 1 : 0;
            if (calm == 3) {
                return true;
            }
            QTest::qWait(300);
        }
        return false;
    }

    QTemporaryDir dir;
    QNetworkAccessManager net;
    Computer computers[2];
};

// The laptop and the desktop each capture five entries and change one shared entry while the link
// is paused; Syncthing keeps one side's file as a conflict copy, and plim merges it back.
TEST_F(SyncTool, EveryCaptureOfBothSidesReachesBoth) {
    for (int variant = 0; variant < int(std::size(kVariants)); ++variant) {
        const Variant& v = kVariants[variant];
        SCOPED_TRACE(v.name);
        Computer& laptop = computers[0];
        Computer& desktop = computers[1];
        for (Computer& c : computers) {
            c.use(c.home + u"/"_s + folderId(variant));
        }
        QStringList captures;
        QStringList done;
        QStringList reminded;
        for (const char* shared : {"call Ann", "water plants", "buy milk"}) {
            ASSERT_EQ(laptop.plim({u"add"_s, QString::fromLatin1(shared)}).status, 0);
        }
        ASSERT_TRUE(settle(variant, v)) << "the shared entries did not reach the desktop";
        for (int i = 0; i < 2; ++i) {
            if ((i == 0 ? v.laptop : v.desktop) == Runs::Resident) {
                ASSERT_TRUE(test::startResident(computers[i].env, computers[i].resident));
            }
        }
        for (int round = 1; round <= v.rounds; ++round) {
            SCOPED_TRACE(round);
            laptop.sync.call("POST", u"/rest/system/pause"_s);
            ASSERT_TRUE(QTest::qWaitFor([&] { return linked(false); }, 20000));
            for (Computer* c : {&laptop, &desktop}) {
                for (int i = 1; i <= 5; ++i) {
                    const QString capture = u"%1 %2.%3"_s.arg(c->name).arg(round).arg(i);
                    ASSERT_EQ(c->plim({u"add"_s, capture}).status, 0);
                    captures.append(capture);
                }
            }
            const QString closing = round == 1 ? u"call Ann"_s : u"desktop %1.1"_s.arg(round - 1);
            if (laptop.plim({u"done"_s, laptop.id(closing)}).status == 0) {
                done.append(closing);
            }
            const QString reminding = round == 1 ? u"water plants"_s : u"laptop %1.2"_s.arg(round - 1);
            if (desktop.plim({u"remind"_s, desktop.id(reminding), u"tomorrow 9am"_s}).status == 0) {
                reminded.append(reminding);
            }
            const qsizetype mergedSoFar = laptop.merged() + desktop.merged();
            laptop.sync.call("POST", u"/rest/system/resume"_s);
            ASSERT_TRUE(settle(variant, v)) << "the two files did not come together";
            EXPECT_GT(laptop.merged() + desktop.merged(), mergedSoFar) << "no conflict copy was made";
        }
        laptop.stopResident();
        desktop.stopResident();

        // Both files stay the same once the programs have ended; the laptop's is checked.
        const QString text = laptop.text();
        EXPECT_EQ(desktop.text(), text);
        const QList<Entry> all = NotesDocument::parse(text).allEntries();
        EXPECT_EQ(NotesDocument::parse(text).serialized(), text) << "not canonical";
        const auto count = [&](const auto& is) { return std::count_if(all.begin(), all.end(), is); };
        for (const QString& capture : captures) {
            EXPECT_EQ(count([&](const Entry& e) { return e.text == capture; }), 1) << capture.toStdString();
        }
        EXPECT_EQ(count([&](const Entry& e) { return done.contains(e.text) && e.state == Entry::State::Done; }),
                  done.size());
        EXPECT_EQ(count([&](const Entry& e) {
                      return reminded.contains(e.text) && e.comment && e.comment->contains(u"remind"_s);
                  }),
                  reminded.size());
        EXPECT_TRUE(ConflictCopies::find(laptop.notes).isEmpty() && ConflictCopies::find(desktop.notes).isEmpty());
    }
}

} // namespace
