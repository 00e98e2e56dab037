// Global shortcuts on a real X server of the test's own (started by the test's main), pressed with
// xdotool. Skipped when Xvfb or xdotool is missing.
#include "app/GlobalShortcuts.h"
#include "platform/linux/X11HotKeys.h"
#include "store/Preferences.h"

#include "support/TestSupport.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>

using namespace plim;
using namespace Qt::Literals::StringLiterals;
using Shortcut = KeyboardShortcuts::Shortcut;
using Name = KeyboardShortcuts::Name;

namespace {

constexpr int kWaitMs = 5000;
constexpr std::uint32_t kSpaceKeysym = 0x20;

bool xdotool(const QStringList& args) {
    QProcess p;
    p.start(u"xdotool"_s, args);
    return p.waitForFinished(kWaitMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Another program on the same X server.
class OtherClient {
public:
    OtherClient()
        : connection_(xcb_connect(nullptr, nullptr))
        , root_(xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root) {}
    ~OtherClient() { xcb_disconnect(connection_); }

    xcb_keycode_t keycodeOf(std::uint32_t keysym) const {
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        xcb_key_symbols_free(symbols);
        return code;
    }
    bool grab(xcb_keycode_t keycode, std::uint16_t modifiers) {
        const auto cookie =
            xcb_grab_key_checked(connection_, 0, root_, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t* error = xcb_request_check(connection_, cookie);
        std::free(error);
        return error == nullptr;
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_;
};

class X11Shortcuts : public ::testing::Test {
protected:
    void SetUp() override {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            GTEST_SKIP() << "no X server of its own: needs Xvfb and xdotool";
        }
    }
    // Attaches a handler to each of the three names that logs the name.
    void start() {
        auto hotKeys = X11HotKeys::create();
        ASSERT_TRUE(hotKeys);
        global = std::make_unique<GlobalShortcuts>(shortcuts, std::move(hotKeys));
        for (const Name& name : Name::all()) {
            global->onKeyDown(name, [this, raw = name.rawValue] { ran.append(raw); });
        }
    }
    // Presses the keys and waits for `count` handlers to run.
    QStringList press(const QStringList& keys, qsizetype count) {
        ran.clear();
        EXPECT_TRUE(xdotool(QStringList{u"key"_s} + keys));
        EXPECT_TRUE(QTest::qWaitFor([&] { return ran.size() >= count; }, kWaitMs)) << ran.join(u' ').toStdString();
        return ran;
    }

    QTemporaryDir dir;
    Preferences preferences{dir.filePath(u"plim.conf"_s)};
    KeyboardShortcuts shortcuts{preferences};
    std::unique_ptr<GlobalShortcuts> global;
    QStringList ran;
};

TEST_F(X11Shortcuts, PressesRunTheirHandlersWhateverTheLocksAndFollowChanges) {
    start();
    EXPECT_EQ(press({u"ctrl+alt+space"_s}, 1), QStringList{u"capture"_s});
    EXPECT_EQ(press({u"ctrl+alt+shift+space"_s, u"ctrl+alt+shift+v"_s}, 2),
              (QStringList{u"manage"_s, u"captureClipboard"_s}));
    EXPECT_EQ(press({u"Caps_Lock"_s, u"ctrl+alt+space"_s, u"Num_Lock"_s, u"ctrl+alt+space"_s, u"Caps_Lock"_s,
                     u"ctrl+alt+space"_s, u"Num_Lock"_s},
                    3),
              (QStringList{u"capture"_s, u"capture"_s, u"capture"_s}));

    // The old combination is let go at once: its press comes first and runs nothing.
    shortcuts.setShortcut(Shortcut{45, 6144}, Name::capture());
    EXPECT_EQ(press({u"ctrl+alt+space"_s, u"ctrl+alt+n"_s}, 1), QStringList{u"capture"_s});
    EXPECT_TRUE(global->unavailable().isEmpty());
}

TEST_F(X11Shortcuts, ACombinationAnotherProgramHoldsIsReportedAndTheOthersWork) {
    OtherClient other;
    const xcb_keycode_t space = other.keycodeOf(kSpaceKeysym);
    // Held only with CapsLock on: the variants taken before the refusal must be let go again.
    ASSERT_TRUE(other.grab(space, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_LOCK));
    EXPECT_EQ(test::printed([&] { start(); }), "Error registering hotkey Ctrl+Alt+Space: 10\n");
    ASSERT_EQ(global->unavailable().size(), 1);
    EXPECT_EQ(global->unavailable().front(), Name::capture());
    EXPECT_EQ(press({u"ctrl+alt+space"_s, u"ctrl+alt+shift+space"_s, u"ctrl+alt+shift+v"_s}, 2),
              (QStringList{u"manage"_s, u"captureClipboard"_s}));
    EXPECT_TRUE(other.grab(space, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
}

} // namespace
