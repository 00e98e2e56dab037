#pragma once

#include "delivery/ReminderScheduler.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStyle;
class QTabWidget;
class QTimeEdit;
class QVBoxLayout;
QT_END_NAMESPACE

namespace plim {

class Clock;
class LaunchAtLogin;
class Preferences;
class ShortcutAccess;
class ShortcutRecorderWidget;
class SizeSliderWidget;
class Theme;
class ValueRowWidget;

// The settings: four panes (General, Capture, Text, Reminders). Every control stores its setting
// the moment it changes and announces it, so everything that depends on it follows; there is no
// Apply. The window is kept when closed, its panes keeping their state.
class SettingsWindow final : public QWidget {
    Q_OBJECT
public:
    // Asks where the notes file should be, starting at the current one; none when cancelled.
    using FileChooser = std::function<std::optional<QString>(QWidget* parent, const QString& current)>;

    struct Services {
        Preferences& preferences;
        const Clock& clock;
        Theme& theme;
        LaunchAtLogin& launchAtLogin;
        ShortcutAccess& shortcuts;
        // May be null: the notification row then stays empty.
        QPointer<ReminderScheduler> scheduler;
        FileChooser chooseFile;
    };

    enum class Pane { General, Capture, Text, Reminders };

    explicit SettingsWindow(Services services, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // The system's save dialog (the portal's where the desktop has one).
    static std::optional<QString> askForNotesFile(QWidget* parent, const QString& current);

    // Shows the window in front with the keyboard.
    void present();
    void showPane(Pane pane);

    // --- For tests and the screenshots ---
    QTabWidget& tabs() { return *tabs_; }
    QLineEdit& notesPathField() { return *notesPath_; }
    QPushButton& chooseButton() { return *choose_; }
    QLabel& notesPathError() { return *notesError_; }
    QCheckBox& launchToggle() { return *launch_; }
    QLabel& launchError() { return *launchError_; }
    QLabel& versionLabel() { return *version_; }
    ValueRowWidget& opacityRow() { return *opacity_; }
    ValueRowWidget& blurRow() { return *blur_; }
    QComboBox& fontPicker() { return *font_; }
    SizeSliderWidget& textSizeRow() { return *textSize_; }
    SizeSliderWidget& drawerTextSizeRow() { return *drawerTextSize_; }
    QLabel& notificationStatus() { return *status_; }
    QPushButton& notificationButton() { return *statusButton_; }
    QCheckBox& ringHereToggle() { return *ringHere_; }
    QTimeEdit& dayStartPicker() { return *dayStart_; }
    QTimeEdit& dayEndPicker() { return *dayEnd_; }
    QLineEdit& presetField(int index) { return *presets_.at(index); }
    QLabel& presetPreview(int index) { return *previews_.at(index); }
    QPushButton& restoreDefaultsButton() { return *restore_; }
    // The recorders while the desktop lets the program hold keys; empty otherwise.
    QList<ShortcutRecorderWidget*> recorders() const { return recorders_; }
    // The commands to bind where it does not.
    QLabel* bindCommands() const { return bindCommands_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    QWidget* buildGeneral();
    QWidget* buildCapture();
    QWidget* buildText();
    QWidget* buildReminders();
    void buildShortcuts();
    void setTabSymbols();
    void chooseNotesFile();
    void switchLaunchAtLogin(bool on);
    void readStatus();
    void showStatus(std::optional<ReminderScheduler::Status> status);
    void presetEdited();
    void restorePresets();
    void drawPreviews();
    void applyLook();
    QLabel* caption(const QString& text, QWidget* parent);

    Services services_;
    std::unique_ptr<QStyle> style_;
    QTabWidget* tabs_ = nullptr;
    QLineEdit* notesPath_ = nullptr;
    QPushButton* choose_ = nullptr;
    QLabel* notesError_ = nullptr;
    QCheckBox* launch_ = nullptr;
    QLabel* launchError_ = nullptr;
    QLabel* version_ = nullptr;
    QWidget* shortcutsBox_ = nullptr;
    QVBoxLayout* shortcutsLayout_ = nullptr;
    std::optional<bool> shortcutsHeld_;
    QList<ShortcutRecorderWidget*> recorders_;
    QLabel* bindCommands_ = nullptr;
    ValueRowWidget* opacity_ = nullptr;
    ValueRowWidget* blur_ = nullptr;
    QComboBox* font_ = nullptr;
    SizeSliderWidget* textSize_ = nullptr;
    SizeSliderWidget* drawerTextSize_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* statusButton_ = nullptr;
    std::optional<ReminderScheduler::Status> statusShown_;
    QCheckBox* ringHere_ = nullptr;
    QTimeEdit* dayStart_ = nullptr;
    QTimeEdit* dayEnd_ = nullptr;
    QList<QLineEdit*> presets_;
    QList<QLabel*> previews_;
    QPushButton* restore_ = nullptr;
    QList<QLabel*> captions_;
    QList<QLabel*> errors_;
    QList<QLabel*> numbers_;
    bool placed_ = false;
};

} // namespace plim
