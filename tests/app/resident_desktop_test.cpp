// The resident program as a user meets it: the real plim on an X server and a session bus of the
// test's own, with a tray (trayer), a window manager (openbox) and a notification server (dunst)
// where the test needs them. Skipped when Xvfb, dbus-daemon or a helper the test needs is missing.
#include "support/DesktopSession.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QTime>
#include <QUrl>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
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

// A launcher's startup notification (its busy cursor) is completed: a window shown for the request
// carries the launcher's id as the window manager maps it, and a request that shows nothing ends it
// too.
TEST_F(ResidentDesktopTest, CompletesTheLaunchersStartupNotification) {
    // Launchers listen to the messages broadcast on the root window.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection(), root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection());
    const xcb_atom_t begin = atom("_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom("_NET_STARTUP_INFO");
    QStringList messages;
    QByteArray partial;
    const auto heard = [&](const QString& message) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection())) {
            const auto* m = reinterpret_cast<xcb_client_message_event_t*>(event);
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && (m->type == begin || m->type == more)) {
                if (m->type == begin) {
                    partial.clear();
                }
                partial.append(reinterpret_cast<const char*>(m->data.data8), 20);
                if (partial.contains('\0')) {
                    messages << QString::fromUtf8(partial.left(partial.indexOf('\0')));
                    partial.clear();
                }
            }
            std::free(event);
        }
        return messages.contains(message);
    };
    // The windows carrying the id.
    const auto carrying = [&](const QByteArray& id) {
        int found = 0;
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection(), xcb_query_tree(connection(), root), nullptr);
        for (int i = 0; tree && i < xcb_query_tree_children_length(tree); ++i) {
            xcb_get_property_reply_t* p =
                xcb_get_property_reply(connection(),
                                       xcb_get_property(connection(), 0, xcb_query_tree_children(tree)[i],
                                                        atom("_NET_STARTUP_ID"), XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
                                       nullptr);
            if (p && QByteArray(static_cast<const char*>(xcb_get_property_value(p)),
                                xcb_get_property_value_length(p)) == id) {
                ++found;
            }
            std::free(p);
        }
        std::free(tree);
        return found;
    };
    startResident();
    const struct {
        const char* request;
        const char* id;
        int windows;
    } cases[] = {
        {"settings", "plim-test-1_TIME0", 1},
        {"clip", "plim-test-2_TIME0", 0}, // nothing on the clipboard: a beep, nothing shown
        {"--background", "plim test 3_TIME0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        QProcessEnvironment launched = env;
        launched.insert(u"DESKTOP_STARTUP_ID"_s, QString::fromUtf8(c.id));
        EXPECT_EQ(test::runProcess(launched, QStringLiteral(PLIM_EXECUTABLE), {QString::fromUtf8(c.request)}).status,
                  0);
        const QString id = QString::fromUtf8(c.id);
        const QString quoted = id.contains(u' ') ? u'"' + id + u'"' : id;
        EXPECT_TRUE(QTest::qWaitFor([&] { return heard(u"remove: ID="_s + quoted); }, kWaitMs))
            << messages.join(u" | "_s).toStdString();
        EXPECT_EQ(carrying(c.id), c.windows);
    }
    quitResident();
}

// The notes window from `plim notes` and from the notes shortcut, holding the keyboard (the keys
// themselves are the window's own tests').
TEST_F(ResidentDesktopTest, NotesWindowOpensOnRequestAndItsKeysChangeTheFile) {
    if (!have(u"xdotool"_s) || !have(u"openbox"_s) || !startTray()) {
        GTEST_SKIP() << "xdotool, openbox or trayer is missing";
    }
    const auto wm = start(u"openbox"_s, {});
    ASSERT_EQ(plim({u"add"_s, u"buy milk"_s}).status, 0);
    const auto key = [&](const QString& keys) { run(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"60"_s, keys}); };
    const auto fileHas = [&](const char* line) {
        return QTest::qWaitFor([&] { return test::readAll(notesPath()).contains(line); }, kWaitMs);
    };
    // What has the keyboard: keys are typed once the window a user would type into has it.
    const auto focused = [&] { return xcb_window_t(run(u"xdotool"_s, {u"getwindowfocus"_s, u"-f"_s}).out.toUInt()); };
    const auto notesFocused = [&] { return notesWindow() != XCB_NONE && notesWindow() == focused(); };
    const auto drawerFocused = [&] {
        const xcb_window_t window = focused();
        const QRect frame = geometry(window);
        return windowClass(window) == u"plim"_s && frame.width() >= 640 && frame.height() < 500;
    };

    startResident();
    EXPECT_EQ(plim({u"notes"_s}).status, 0);
    ASSERT_TRUE(QTest::qWaitFor(notesFocused, kWaitMs));
    key(u"ctrl+w"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notesWindow() == XCB_NONE; }, kWaitMs));

    // The notes shortcut after a capture opens the window on what the drawer just saved.
    EXPECT_EQ(plim({u"capture"_s}).status, 0);
    ASSERT_TRUE(QTest::qWaitFor(drawerFocused, kWaitMs));
    run(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"60"_s, u"fresh idea"_s});
    key(u"Return"_s);
    ASSERT_TRUE(fileHas("- [ ] fresh idea"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !drawerFocused(); }, kWaitMs));
    key(u"ctrl+alt+shift+space"_s);
    ASSERT_TRUE(QTest::qWaitFor(notesFocused, kWaitMs));
    key(u"space"_s);
    EXPECT_TRUE(fileHas("- [x] ~~fresh idea~~")) << test::readAll(notesPath()).toStdString();
    EXPECT_TRUE(test::readAll(notesPath()).contains("- [ ] buy milk"));
    quitResident();
    // The window was open at the end: its frame is kept for the next run.
    EXPECT_TRUE(test::readAll(settingsPath()).contains("manageWindowGeometry"));
}

// What a screen reader finds through AT-SPI (the accessibility bus of the test's own session): the
// notes list's rows by their spoken names, the keys guide naming the shortcut the user stored, and
// the drawer and the settings as frames whose every control has a name.
TEST_F(ResidentDesktopTest, RowsAndTheKeysGuideAreReadThroughAtSpi) {
    const QString launcher = u"/usr/libexec/at-spi-bus-launcher"_s;
    // Debian's pyatspi is for the system's Python, whatever else is on the path.
    const QString python = u"/usr/bin/python3"_s;
    if (!QFile::exists(launcher) || !QFile::exists(python) || run(python, {u"-c"_s, u"import pyatspi"_s}).status != 0 ||
        !have(u"xdotool"_s)) {
        GTEST_SKIP() << "at-spi2-core, python3-pyatspi or xdotool is missing";
    }
    // Ctrl+Alt+K for the drawer.
    configure(uR"(reminderDelivery=notification
KeyboardShortcuts_capture="{\"carbonKeyCode\":40,\"carbonModifiers\":6144}"
)"_s);
    ASSERT_EQ(plim({u"add"_s, u"buy milk"_s}).status, 0);
    const auto a11y = start(launcher, {u"--launch-immediately"_s});
    // As in a desktop session, the accessibility bus is up before programs start: the toolkit asks
    // for its address while the program starts, and waits for the answer.
    QDBusConnection session = QDBusConnection::connectToBus(bus.address, u"a11y"_s);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QDBusMessage reply =
                session.call(QDBusMessage::createMethodCall(u"org.a11y.Bus"_s, u"/org/a11y/bus"_s, u"org.a11y.Bus"_s,
                                                            u"GetAddress"_s),
                             QDBus::Block, 1000);
            return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().value(0).toString().isEmpty();
        },
        kWaitMs));
    QDBusConnection::disconnectFromBus(u"a11y"_s);
    env.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
    const QString script = home.filePath(u"tree.py"_s);
    // Each node as "role<TAB>name"; a control shown without a name also as "UNNAMED<TAB>role", the
    // tab that has the keyboard also as "FOCUSED<TAB>name".
    test::writeAll(script, R"(import pyatspi
controls = {"push button", "check box", "radio button", "toggle button", "slider", "spin button",
            "combo box", "text", "entry", "password text", "page tab", "list", "table", "tree"}
def walk(node, depth):
    if node is None or depth > 40:
        return
    role = node.getRoleName()
    print(role + "\t" + (node.name or "").replace("\n", " "))
    if role in controls and not node.name and node.getState().contains(pyatspi.STATE_VISIBLE):
        print("UNNAMED\t" + role)
    if role == "page tab" and node.getState().contains(pyatspi.STATE_FOCUSED):
        print("FOCUSED\t" + node.name)
    for i in range(min(node.childCount, 300)):
        walk(node.getChildAtIndex(i), depth + 1)
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == "plim":
        walk(app, 0)
)");
    const auto tree = [&] { return run(python, {script}).out; };

    startResident();
    EXPECT_EQ(plim({u"notes"_s}).status, 0);
    QString seen;
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return (seen = tree()).contains(u"list item\tOpen: buy milk, captured "_s); }, kWaitMs))
        << seen.toStdString();
    EXPECT_TRUE(seen.contains(u"\tNotes\n"_s)) << seen.toStdString();
    EXPECT_EQ(plim({u"keys"_s}).status, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return (seen = tree()).contains(u"Press Ctrl+Alt+K anywhere"_s); }, kWaitMs))
        << seen.toStdString();
    EXPECT_TRUE(seen.contains(u"frame\tplim\n"_s)) << seen.toStdString();

    // The drawer, its when field open.
    EXPECT_EQ(plim({u"capture"_s}).status, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return (seen = tree()).contains(u"text\tNew entry\n"_s); }, kWaitMs))
        << seen.toStdString();
    run(u"xdotool"_s, {u"type"_s, u"dentist"_s});
    run(u"xdotool"_s, {u"key"_s, u"ctrl+r"_s});
    EXPECT_TRUE(QTest::qWaitFor([&] { return (seen = tree()).contains(u"text\tRemind when\n"_s); }, kWaitMs))
        << seen.toStdString();
    EXPECT_EQ(seen.count(u"frame\tplim\n"_s), 2) << seen.toStdString(); // the notes window and the drawer
    EXPECT_FALSE(seen.contains(u"UNNAMED"_s)) << seen.toStdString();
    run(u"xdotool"_s, {u"key"_s, u"Escape"_s, u"Escape"_s});

    // The settings, pane by pane (the arrows switch panes from the tabs, where the keyboard starts).
    EXPECT_EQ(plim({u"settings"_s}).status, 0);
    for (const QString& pane : {u"General"_s, u"Capture"_s, u"Text"_s, u"Reminders"_s}) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                seen = tree();
                return seen.contains(u"frame\tplim Settings\n"_s) && seen.contains(u"FOCUSED\t"_s + pane + u"\n"_s);
            },
            kWaitMs))
            << seen.toStdString();
        EXPECT_FALSE(seen.contains(u"UNNAMED"_s)) << pane.toStdString() << "\n" << seen.toStdString();
        run(u"xdotool"_s, {u"key"_s, u"Right"_s});
    }
    quitResident();
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

// Answers to a notification go to the program that posted it: one that ends takes its own along.
TEST_F(WithNotifications, QuittingTakesItsNotificationsOffTheScreen) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(notesPath()).path()));
    ASSERT_TRUE(test::writeAll(notesPath(),
                               "## 2025-03-14 Friday\n\n- [ ] call Ann  <!-- 09:02 remind 2025-03-14 10:00 -->\n"));
    startResidentSettled();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownCount(u"1 reminder is ringing"_s) == 1; }, kWaitMs));
    ASSERT_GE(displayed(), 1);
    quitResident();
    EXPECT_TRUE(QTest::qWaitFor([&] { return displayed() == 0; }, kWaitMs)) << displayed();
}

TEST_F(WithNotifications, EachNewStoreErrorIsToldOnceAndWithdrawnWhenMended) {
    const QString title = u"plim cannot read the notes file"_s;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(notesPath()).path()));
    ASSERT_TRUE(test::writeAll(notesPath(), "## 2026-03-11 Wednesday\n\n- [ ] \xff\xfe broken\n"));
    startResidentSettled();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownCount(title) == 1; }, kWaitMs));
    const int broken = displayed();

    // Mended by another program: the notification goes; broken again, a new one comes.
    ASSERT_TRUE(test::writeAll(notesPath(), "## 2026-03-11 Wednesday\n\n- [ ] mended\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return displayed() == broken - 1; }, kWaitMs));
    ASSERT_TRUE(test::writeAll(notesPath(), "## 2026-03-11 Wednesday\n\n- [ ] \xff broken again\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownCount(title) == 2; }, kWaitMs));
    QTest::qWait(300);
    EXPECT_EQ(shownCount(title), 2);
    quitResident();
}

// A conflict copy the sync tool leaves beside the notes is merged by itself once written, and told once.
TEST_F(WithNotifications, AConflictCopyIsMergedByItselfAndToldOnce) {
    const QString title = u"plim merged a conflict copy"_s;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(notesPath()).path()));
    ASSERT_TRUE(test::writeAll(notesPath(), "## 2026-03-11 Wednesday\n\n- [ ] here\n"));
    startResidentSettled();
    const QString copy = QFileInfo(notesPath()).path() + u"/plim.sync-conflict-20260311-101500-ABCDEFG.md"_s;
    ASSERT_TRUE(test::writeAll(copy, "## 2026-03-11 Wednesday\n\n- [ ] here\n- [ ] there\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownCount(title) == 1; }, kWaitMs));
    EXPECT_EQ(test::readAll(notesPath()), "## 2026-03-11 Wednesday\n\n- [ ] here\n- [ ] there\n");
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_TRUE(QFileInfo::exists(home.filePath(u"state/plim/merged/plim.sync-conflict-20260311-101500-ABCDEFG.md"_s)));
    QTest::qWait(1500);
    EXPECT_EQ(shownCount(title), 1);
    quitResident();
}

} // namespace

#include "resident_desktop_test.moc"
