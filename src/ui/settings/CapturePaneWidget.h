#pragma once

#include <QList>
#include <QWidget>

#include <optional>

QT_BEGIN_NAMESPACE
class QLabel;
class QVBoxLayout;
QT_END_NAMESPACE

namespace plim {

class Preferences;
class ShortcutAccess;
class ShortcutRecorderWidget;
class ValueRowWidget;

// The Capture pane: the global shortcuts (recorders where the desktop lets the program hold keys,
// the commands to bind where it does not), the drawer's opacity and the blur behind it.
class CapturePaneWidget final : public QWidget {
    Q_OBJECT
public:
    CapturePaneWidget(Preferences& preferences, ShortcutAccess& shortcuts, QWidget* parent = nullptr);

    // Shows the shortcuts again; the rows are made anew when the desktop started or stopped
    // letting the program hold keys.
    void readShortcuts();

    ValueRowWidget& opacityRow() { return *opacity_; }
    ValueRowWidget& blurRow() { return *blur_; }
    // The recorders while the desktop lets the program hold keys; empty otherwise.
    QList<ShortcutRecorderWidget*> recorders() const { return recorders_; }
    // The commands to bind where it does not.
    QLabel* bindCommands() const { return bindCommands_; }

Q_SIGNALS:
    // The shortcut rows were made anew: they want the window's look.
    void controlsReplaced();

private:
    Preferences& preferences_;
    ShortcutAccess& shortcuts_;
    QWidget* shortcutsBox_;
    QVBoxLayout* shortcutsLayout_;
    std::optional<bool> shortcutsHeld_;
    QList<ShortcutRecorderWidget*> recorders_;
    QLabel* bindCommands_ = nullptr;
    ValueRowWidget* opacity_ = nullptr;
    ValueRowWidget* blur_ = nullptr;
};

} // namespace plim
