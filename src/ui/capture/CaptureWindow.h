#pragma once

#include "platform/KeyboardHold.h"
#include "ui/capture/CaptureEditorWidget.h"
#include "ui/capture/CaptureModel.h"
#include "ui/when/WhenFieldWidget.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QLabel;
class QParallelAnimationGroup;
class QPropertyAnimation;
QT_END_NAMESPACE

namespace plim {

class KeyLabel;
class Theme;

// The capture drawer: a frameless tool window above all others and on every workspace, kept out
// of the taskbar and the pager. It takes the keyboard when it drops down and, when it goes, leaves
// the focus where it was. It draws what the model holds.
class CaptureWindow final : public QWidget {
    Q_OBJECT
public:
    CaptureWindow(CaptureModel& model, Theme& theme, QWidget* parent = nullptr);
    ~CaptureWindow() override;

    CaptureEditor& editor() { return *editor_; }
    QLabel& dateLabel() { return *dateLabel_; }
    QLabel& countLabel() { return *countLabel_; }
    KeyLabel& hintLabel() { return *hintLabel_; }
    WhenFieldWidget& whenField() { return *when_; }
    PresetPeekWidget& presetPeek() { return *peek_; }
    // Where the drawer goes on the screen under the pointer, at its current content.
    QRect targetFrame();
    // Keeps the hold until the shown drawer has the keyboard; drops it at once when hidden.
    void keepKeysUntilFocused(std::unique_ptr<KeyboardHold> hold);
    bool animating() const;

protected:
    bool event(QEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void present();
    void confirm();
    // The answer to whether a compositor runs, asked as the drawer came.
    void settleCompositing(bool now);
    void dismiss(bool animated);
    void hideNow();
    void place(bool animated);
    void applyContent();
    void applyLook();
    // The editor's height at the drawer's width, at most `room`.
    void fitEditor(int width, int room);
    // The usable area of the screen the drawer goes on; empty without a screen.
    QRect availableArea() const;
    // The key hints laid out on one line at the drawer's width.
    QString hintLine() const;
    void onEditorChanged();
    void peek(bool on);
    void stopAnimations();
    void mapAsDrawer();
    void applyMask();
    void returnFocus();
    bool reduceMotion() const;
    // The drawer's width at the drawer text size, before a narrow screen trims it.
    int drawerWidth() const;
    // The drawer's outline: square top, rounded bottom corners, `height` tall (all of it by default).
    QPainterPath groundPath(int height = -1) const;

    CaptureModel& model_;
    Theme& theme_;
    QLabel* dateLabel_;
    QLabel* countLabel_;
    CaptureEditor* editor_;
    WhenFieldWidget* when_;
    PresetPeekWidget* peek_;
    KeyLabel* hintLabel_;
    QPointer<QParallelAnimationGroup> motion_;
    QPointer<QPropertyAnimation> fade_;
    bool compositing_ = true;
    // The look the widgets were last given: a change of settings re-applies it.
    std::optional<std::pair<FontChoice, double>> fontsApplied_;
    std::optional<Appearance> appearanceApplied_;
    // Text the model sent while the drawer was sliding away: shown once it is gone.
    std::optional<QString> pendingText_;
    // The screen area the drawer goes on, chosen once while it comes (the pointer is asked of the
    // server once).
    struct ScreenChosen {
        explicit ScreenChosen(CaptureWindow& window);
        ~ScreenChosen();
        ScreenChosen(const ScreenChosen&) = delete;
        ScreenChosen& operator=(const ScreenChosen&) = delete;
        CaptureWindow& window_;
    };
    std::optional<QRect> chosenArea_;
    // Whether the server has given the drawer the keyboard, as its focus events tell.
    bool hasServerFocus_ = false;
    // The window that had the keyboard before the drawer took it.
    quint32 previousWindow_ = 0;
    QTimer focusCheck_;
    // Keys typed since the capture shortcut, waiting for the editor to have the keyboard.
    std::unique_ptr<KeyboardHold> keysHeld_;
};

} // namespace plim
