// The resident program as a user meets it: the real plim on an X server and a session bus of the
// test's own, with a tray (trayer), a window manager (openbox) and a notification server (dunst)
// where the test needs them. Skipped when Xvfb, dbus-daemon or a helper the test needs is missing.
#include "support/DesktopSession.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QTime>
#include <QUrl>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <memory>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

using test::have;
using test::Process;

constexpr int kWaitMs = test::kDesktopWaitMs;

// Something is drawn on the image: not all of it is its corner's colour.
bool drawn(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != image.pixel(0, 0)) {
                return true;
            }
        }
    }
    return false;
}

class ResidentDesktopTest : public test::DesktopSession {
protected:
    void SetUp() override {
        DesktopSession::SetUp();
        configure(u"reminderDelivery=notification\n"_s);
    }

    QString windowClass(xcb_window_t window) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            connection(), xcb_get_property(connection(), 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
            nullptr);
        QString cls;
        if (reply) {
            const QByteArray bytes(static_cast<const char*>(xcb_get_property_value(reply)),
                                   xcb_get_property_value_length(reply));
            cls = QString::fromLatin1(bytes.mid(bytes.indexOf('\0') + 1)).remove(QChar(0));
        }
        std::free(reply);
        return cls;
    }

    // plim's window docked in trayer: one of class plim with a trayer window among its ancestors.
    xcb_window_t trayIcon() {
        const QString found = run(u"xdotool"_s, {u"search"_s, u"--class"_s, u"^plim$"_s}).out;
        for (const QString& id : found.split(u'\n', Qt::SkipEmptyParts)) {
            xcb_window_t w = id.toUInt();
            while (true) {
                xcb_query_tree_reply_t* tree =
                    xcb_query_tree_reply(connection(), xcb_query_tree(connection(), w), nullptr);
                if (!tree || tree->parent == tree->root || tree->parent == XCB_NONE) {
                    std::free(tree);
                    break;
                }
                w = tree->parent;
                std::free(tree);
                if (windowClass(w) == u"trayer"_s) {
                    return id.toUInt();
                }
            }
        }
        return XCB_NONE;
    }

    // The window's screen position and size.
    QRect geometry(xcb_window_t window) {
        xcb_get_geometry_reply_t* g =
            xcb_get_geometry_reply(connection(), xcb_get_geometry(connection(), window), nullptr);
        QRect r;
        if (g) {
            xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
                connection(), xcb_translate_coordinates(connection(), window, g->root, 0, 0), nullptr);
            if (t) {
                r = QRect(t->dst_x, t->dst_y, g->width, g->height);
            }
            std::free(t);
        }
        std::free(g);
        return r;
    }

    // The notes window when it is shown: a visible plim window as tall as no drawer is.
    xcb_window_t notesWindow() {
        const QString ids = run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^plim$"_s}).out;
        for (const QString& id : ids.split(u'\n', Qt::SkipEmptyParts)) {
            if (geometry(id.toUInt()).height() >= 500) {
                return id.toUInt();
            }
        }
        return XCB_NONE;
    }

    QImage capture(const QString& window, const QString& name) const {
        const QString path = QDir::current().filePath(name);
        Process import;
        import.p.start(u"import"_s, {u"-display"_s, QString::fromLatin1(x->display()), u"-window"_s, window, path});
        import.p.waitForFinished(kWaitMs);
        return QImage(path);
    }
};

// The desktop's file manager, as the program reaches it over the session bus.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& /*startupId*/) { shown += uris; }
};

TEST_F(ResidentDesktopTest, TrayMenuShowsTheFilesAndQuits) {
    if (!have(u"xdotool"_s) || !startTray()) {
        GTEST_SKIP() << "trayer or xdotool is missing";
    }
    const auto wm = have(u"openbox"_s) ? start(u"openbox"_s, {}) : nullptr;
    QDBusConnection session = QDBusConnection::connectToBus(bus.address, u"files"_s);
    FakeFileManager files;
    ASSERT_TRUE(session.registerObject(u"/org/freedesktop/FileManager1"_s, &files, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(session.registerService(u"org.freedesktop.FileManager1"_s));
    startResident();
    xcb_window_t icon = XCB_NONE;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (icon = trayIcon()) != XCB_NONE; }, kWaitMs));

    // Opens the menu with a right click on the icon and picks an item with the keys. Clicks closer
    // than the double-click time (Qt's default 400 ms) would make a double click, which opens nothing.
    QElapsedTimer sinceClick;
    const auto choose = [&](const QStringList& keys) {
        if (sinceClick.isValid()) {
            QTest::qWait(std::max<int>(0, 500 - int(sinceClick.elapsed())));
        }
        sinceClick.start();
        const QRect at = geometry(icon);
        run(u"xdotool"_s,
            {u"mousemove"_s, QString::number(at.center().x()), QString::number(at.center().y()), u"click"_s, u"3"_s});
        // The menu: a visible plim window tall enough for its items.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const QString ids = run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--class"_s, u"^plim$"_s}).out;
                const QStringList list = ids.split(u'\n', Qt::SkipEmptyParts);
                return std::any_of(list.begin(), list.end(),
                                   [&](const QString& id) { return geometry(id.toUInt()).height() > 100; });
            },
            kWaitMs));
        run(u"xdotool"_s, QStringList{u"key"_s} + keys + QStringList{u"Return"_s});
    };
    const QString folder = QFileInfo(notesPath()).path();
    const auto uri = [](const QString& path) { return QUrl::fromLocalFile(path).toString(); };

    const auto down = [](int n) { return QStringList(n, u"Down"_s); };
    // Nothing deleted yet: the notes folder.
    choose(down(7));
    ASSERT_TRUE(QTest::qWaitFor([&] { return files.shown == QStringList{uri(folder)}; }, kWaitMs))
        << files.shown.join(u' ').toStdString();
    choose(down(6));
    ASSERT_TRUE(QTest::qWaitFor([&] { return files.shown.size() == 2; }, kWaitMs));
    EXPECT_EQ(files.shown.last(), uri(notesPath()));
    EXPECT_TRUE(QFile::exists(notesPath()));

    const QString id = plim({u"add"_s, u"a thought to throw away"_s}).out.trimmed();
    ASSERT_EQ(plim({u"delete"_s, id}).status, 0);
    choose(down(7));
    ASSERT_TRUE(QTest::qWaitFor([&] { return files.shown.size() == 3; }, kWaitMs));
    EXPECT_EQ(files.shown.last(), uri(folder + u"/plim.trash.md"_s));

    choose({u"Up"_s});
    ASSERT_TRUE(resident->p.waitForFinished(kWaitMs));
    EXPECT_EQ(resident->p.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(
        instanceLockPath(home.filePath(u"run/plim"_s), displayKey(QString::fromLatin1(x->display()), {}))));
    QDBusConnection::disconnectFromBus(u"files"_s);
}

// With dunst as the notification server: each notification it shows is logged by a rule script,
// and its context menu (`dunstctl context`) is answered by a script that picks the Done line.
class WithNotifications : public ResidentDesktopTest {
protected:
    void SetUp() override {
        ResidentDesktopTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        if (!have(u"dunst"_s) || !have(u"dunstctl"_s)) {
            GTEST_SKIP() << "dunst is missing";
        }
        const QString pick = home.filePath(u"pick.sh"_s);
        const QString log = home.filePath(u"log.sh"_s);
        test::writeAll(pick, "#!/bin/sh\ngrep ',done]' | head -n 1\n");
        test::writeAll(log, ("#!/bin/sh\nprintf '%s\\n' \"$2\" >> " + shown().toUtf8() + "\n"));
        for (const QString& script : {pick, log}) {
            QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const QString config = home.filePath(u"dunstrc"_s);
        test::writeAll(config, (u"[global]\n    dmenu = "_s + pick + u"\n"_s +
                                u"[urgency_low]\n    timeout = 0\n[urgency_normal]\n    timeout = 0\n"_s +
                                u"[urgency_critical]\n    timeout = 0\n"_s +
                                u"[log]\n    summary = \"*\"\n    script = "_s + log + u"\n"_s)
                                   .toUtf8());
        dunst = start(u"dunst"_s, {u"-config"_s, config});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return run(u"dunstctl"_s, {u"count"_s, u"displayed"_s}).status == 0;
            },
            kWaitMs));
    }

    QString shown() const { return home.filePath(u"shown.txt"_s); }
    int shownCount(const QString& summary) const {
        return QString::fromUtf8(test::readAll(shown())).split(u'\n').count(summary);
    }
    int displayed() const { return run(u"dunstctl"_s, {u"count"_s, u"displayed"_s}).out.trimmed().toInt(); }

    // Starts the program with a tray where trayer is there; without one, once it said so (its own
    // notification, which stays on screen).
    void startResidentSettled() {
        withTray = startTray();
        startResident();
        if (!withTray) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return shownCount(u"plim is running"_s) == 1; }, kWaitMs));
        }
    }

    std::unique_ptr<Process> dunst;
    bool withTray = false;
};

TEST_F(WithNotifications, AReminderThatComesDueIsPostedAndItsDoneButtonMarksItDone) {
    // With a window manager a second entry rings, and a click on its notification opens the notes
    // window on it.
    const auto wm = have(u"openbox"_s) && have(u"xdotool"_s) ? start(u"openbox"_s, {}) : nullptr;
    startResidentSettled();
    xcb_window_t icon = XCB_NONE;
    QImage before;
    if (withTray) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return (icon = trayIcon()) != XCB_NONE; }, kWaitMs));
        // Once the mark is drawn.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                before = capture(QString::number(icon), u"resident-tray-quiet.png"_s);
                return drawn(before);
            },
            kWaitMs));
    }

    // Reminders are to the minute: the next one, with time to spare before it begins.
    while (QTime::currentTime().second() > 55) {
        QTest::qWait(500);
    }
    const QString minute = QDateTime::currentDateTime().addSecs(60).toString(u"HH:mm"_s);
    QStringList texts{u"water the ficus"_s};
    if (wm) {
        texts << u"call the vet"_s;
    }
    for (const QString& text : texts) {
        ASSERT_EQ(plim({u"add"_s, u"--remind"_s, minute, text}).status, 0);
    }
    const auto isDone = [&](const QString& text) {
        return QString::fromUtf8(test::readAll(notesPath())).contains(u"- [x] ~~"_s + text + u"~~"_s);
    };

    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return std::all_of(texts.begin(), texts.end(), [&](const QString& t) { return shownCount(t) == 1; }); },
        75000))
        << test::readAll(shown()).toStdString();
    if (withTray) {
        // The dot shows while the entry rings.
        EXPECT_TRUE(capture(QString::number(icon), u"resident-tray-ringing.png"_s) != before) << "no dot";
    }
    const int ringing = displayed();
    if (wm) {
        EXPECT_EQ(run(u"dunstctl"_s, {u"action"_s}).status, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return notesWindow() != XCB_NONE; }, kWaitMs));
        QTest::qWait(300);
        // The window is on the clicked entry: Space in the list marks that one, and only that one, done.
        run(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"60"_s, u"ctrl+f"_s, u"Down"_s, u"space"_s});
        ASSERT_TRUE(QTest::qWaitFor([&] { return isDone(texts[0]) != isDone(texts[1]); }, kWaitMs))
            << test::readAll(notesPath()).toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return displayed() == ringing - 1; }, kWaitMs));
    }
    EXPECT_EQ(run(u"dunstctl"_s, {u"context"_s}).status, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::all_of(texts.begin(), texts.end(), isDone); }, kWaitMs))
        << test::readAll(notesPath()).toStdString();
    if (withTray) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return capture(QString::number(icon), u"resident-tray-done.png"_s) == before; }, kWaitMs));
    }
    // The answered notification leaves the screen.
    EXPECT_TRUE(QTest::qWaitFor([&] { return displayed() == ringing - texts.size(); }, kWaitMs));
    quitResident();
}

} // namespace

#include "resident_desktop_test.moc"
