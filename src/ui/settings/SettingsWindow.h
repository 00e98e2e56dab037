#pragma once

#include "delivery/ReminderScheduler.h"
#include "ui/settings/CapturePaneWidget.h"
#include "ui/settings/GeneralPaneWidget.h"
#include "ui/settings/RemindersPaneWidget.h"
#include "ui/settings/TextPaneWidget.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QStyle;
class QTabWidget;
QT_END_NAMESPACE

namespace plim {

class Clock;
class LaunchAtLogin;
class Preferences;
class ShortcutAccess;
class Theme;

// The settings: four panes (General, Capture, Text, Reminders). Every control stores its setting
// the moment it changes and announces it, so everything that depends on it follows; there is no
// Apply. The window assembles the panes and gives them the look; it is kept when closed, its panes
// keeping their state.
class SettingsWindow final : public QWidget {
    Q_OBJECT
public:
    using FileChooser = GeneralPaneWidget::FileChooser;

    struct Services {
        Preferences& preferences;
        const Clock& clock;
        Theme& theme;
        LaunchAtLogin& launchAtLogin;
        ShortcutAccess& shortcuts;
        // May be null: the notification row then stays empty.
        QPointer<ReminderScheduler> scheduler;
        // Empty: the system's save dialog asks.
        FileChooser chooseFile;
    };

    enum class Pane { General, Capture, Text, Reminders };

    explicit SettingsWindow(Services services, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Shows the window in front with the keyboard.
    void present();
    void showPane(Pane pane);

    // --- For tests and the screenshots ---
    QTabWidget& tabs() { return *tabs_; }
    QLineEdit& notesPathField() { return general_->notesPathField(); }
    QPushButton& chooseButton() { return general_->chooseButton(); }
    QLabel& notesPathError() { return general_->notesPathError(); }
    QCheckBox& launchToggle() { return general_->launchToggle(); }
    QLabel& launchError() { return general_->launchError(); }
    QLabel& versionLabel() { return general_->versionLabel(); }
    ValueRowWidget& opacityRow() { return capture_->opacityRow(); }
    ValueRowWidget& blurRow() { return capture_->blurRow(); }
    QList<ShortcutRecorderWidget*> recorders() const { return capture_->recorders(); }
    QLabel* bindCommands() const { return capture_->bindCommands(); }
    QComboBox& fontPicker() { return text_->fontPicker(); }
    SizeSliderWidget& textSizeRow() { return text_->textSizeRow(); }
    SizeSliderWidget& drawerTextSizeRow() { return text_->drawerTextSizeRow(); }
    QLabel& notificationStatus() { return reminders_->notificationStatus(); }
    QPushButton& notificationButton() { return reminders_->notificationButton(); }
    QCheckBox& ringHereToggle() { return reminders_->ringHereToggle(); }
    QTimeEdit& dayStartPicker() { return reminders_->dayStartPicker(); }
    QTimeEdit& dayEndPicker() { return reminders_->dayEndPicker(); }
    QLineEdit& presetField(int index) { return reminders_->presetField(index); }
    QLabel& presetPreview(int index) { return reminders_->presetPreview(index); }
    QPushButton& restoreDefaultsButton() { return reminders_->restoreDefaultsButton(); }

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void setTabSymbols();
    void applyLook();

    Preferences& preferences_;
    Theme& theme_;
    std::unique_ptr<QStyle> style_;
    QTabWidget* tabs_ = nullptr;
    GeneralPaneWidget* general_;
    CapturePaneWidget* capture_;
    TextPaneWidget* text_;
    RemindersPaneWidget* reminders_;
    bool placed_ = false;
};

} // namespace plim
