// The comparison for the drawer: the least a Qt widgets program does to show a frameless window with
// an editor that takes the keyboard when a key combination grabbed on the root window is pressed.
// Usage: bare_drawer KEYCODE MODMASK (MODMASK: 4 Ctrl, 8 Alt, 1 Shift, added). Escape hides it.
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

class Editor : public QPlainTextEdit {
protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            window()->hide();
            return;
        }
        QPlainTextEdit::keyPressEvent(event);
    }
};

class Grab : public QAbstractNativeEventFilter {
public:
    Grab(xcb_keycode_t key, QWidget& window, Editor& editor)
        : key_(key)
        , window_(window)
        , editor_(editor) {}
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_KEY_PRESS ||
            reinterpret_cast<const xcb_key_press_event_t*>(event)->detail != key_) {
            return false;
        }
        if (window_.isVisible()) {
            window_.hide();
        } else {
            window_.show();
            window_.raise();
            window_.activateWindow();
            editor_.setFocus(Qt::ActiveWindowFocusReason);
        }
        return true;
    }

private:
    xcb_keycode_t key_;
    QWidget& window_;
    Editor& editor_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        return 2;
    }
    const auto key = static_cast<xcb_keycode_t>(std::atoi(argv[1]));
    const auto mods = static_cast<uint16_t>(std::atoi(argv[2]));
    QWidget window(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window.setGeometry(320, 0, 640, 150);
    auto* editor = new Editor;
    auto* column = new QVBoxLayout(&window);
    column->addWidget(editor);

    auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (c == nullptr) {
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    // With and without CapsLock and NumLock.
    for (const int locks : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2), XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2}) {
        xcb_grab_key(c, 1, root, static_cast<uint16_t>(mods | locks), key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    xcb_flush(c);
    Grab grab(key, window, *editor);
    app.installNativeEventFilter(&grab);
    QApplication::setQuitOnLastWindowClosed(false);
    return QApplication::exec();
}
