#include <QCoreApplication>
#ifdef PLIM_TEST_GUI
#include <QApplication>
#endif
#ifdef PLIM_TEST_X11
#include "support/XServer.h"

#include <QGuiApplication>
#endif
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sys/stat.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Tests never see the user's real settings or documents.
    QTemporaryDir home;
    if (!home.isValid()) {
        return 3;
    }
    const QByteArray root = home.path().toUtf8();
    ::setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    ::setenv("XDG_STATE_HOME", (root + "/state").constData(), 1);
    ::setenv("XDG_DOCUMENTS_DIR", (root + "/Documents").constData(), 1);
    ::setenv("HOME", root.constData(), 1);
    // Lock files too stay out of the user's runtime folder.
    const QByteArray runtime = root + "/runtime";
    if (::mkdir(runtime.constData(), 0700) != 0) {
        return 3;
    }
    ::setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
    QStandardPaths::setTestModeEnabled(true);
#ifdef PLIM_TEST_GUI
    // Drawing tests need no display; listing them (test discovery) neither.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
#elif defined(PLIM_TEST_X11)
    // On an X server of the test's own, where xdotool presses keys: the application connects once, so
    // the server comes first. Without one (nor when only listing) the application has no display, and
    // the tests skip.
    std::unique_ptr<plim::test::XServer> server;
    if (!::testing::GTEST_FLAG(list_tests) && !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() &&
        !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        server = std::make_unique<plim::test::XServer>();
    }
    std::unique_ptr<QCoreApplication> app;
    if (server && server->isRunning()) {
        ::setenv("DISPLAY", server->display().constData(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::unsetenv("WAYLAND_DISPLAY");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
#else
    QCoreApplication app(argc, argv);
#endif
    QCoreApplication::setOrganizationName(QStringLiteral("plim"));
    QCoreApplication::setApplicationName(QStringLiteral("plim"));
    return RUN_ALL_TESTS();
}
