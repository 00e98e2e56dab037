#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
QT_END_NAMESPACE

namespace plim {

class LaunchAtLogin;
class Preferences;

// The General pane: where the notes file is, launch at login, and the version.
class GeneralPaneWidget final : public QWidget {
    Q_OBJECT
public:
    // Asks where the notes file should be, starting at the current one; none when cancelled.
    using FileChooser = std::function<std::optional<QString>(QWidget* parent, const QString& current)>;

    // Without a chooser the system's save dialog asks.
    GeneralPaneWidget(Preferences& preferences, LaunchAtLogin& launchAtLogin, FileChooser chooseFile,
                      QWidget* parent = nullptr);

    // The system's save dialog (the portal's where the desktop has one).
    static std::optional<QString> askForNotesFile(QWidget* parent, const QString& current);

    // Shows whether the program is registered now (the onboarding question may have switched it).
    void readLaunchAtLogin();

    QLineEdit& notesPathField() { return *notesPath_; }
    QPushButton& chooseButton() { return *choose_; }
    QLabel& notesPathError() { return *notesError_; }
    QCheckBox& launchToggle() { return *launch_; }
    QLabel& launchError() { return *launchError_; }
    QLabel& versionLabel() { return *version_; }

private:
    void chooseNotesFile();
    void switchLaunchAtLogin(bool on);

    Preferences& preferences_;
    LaunchAtLogin& launchAtLogin_;
    FileChooser chooseFile_;
    QLineEdit* notesPath_;
    QPushButton* choose_;
    QLabel* notesError_;
    QCheckBox* launch_;
    QLabel* launchError_;
    QLabel* version_;
};

} // namespace plim
