#pragma once

#include "ui/manage/KeysGuide.h"
#include "ui/manage/ManageKeys.h"
#include "ui/manage/ManageTexts.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>

QT_BEGIN_NAMESPACE
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
QT_END_NAMESPACE

namespace plim {

class DesktopServices;
class FirstRunView;
class KeysView;
class ManageListView;
class ManageModel;
class SweepView;
class Theme;

// The notes window: an ordinary top-level window over the notes model, hidden (never destroyed)
// when closed. Every key pressed in it goes first to the model's key table; the filter field and
// the in-place editor get what the table leaves them.
class ManageWindow final : public QWidget {
    Q_OBJECT
public:
    // Where the window's frame is kept between runs (in the program's settings file).
    static constexpr QLatin1String geometryKey{"manageWindowGeometry"};

    ManageWindow(ManageModel& model, Theme& theme, DesktopServices& desktop, QWidget* parent = nullptr);
    ~ManageWindow() override;

    // Shows the window in front with the keyboard.
    void present();
    // Hides the window when it is shown and has the keyboard; otherwise shows it, on the entry
    // when one is given.
    void toggle(std::optional<QUuid> revealing);
    // Shows the window on the entry; with a when-phrase too, the when field opens on the entry
    // with it a moment later (once the window has the keyboard).
    void showEntry(std::optional<QUuid> id, std::optional<QString> when);
    // The global shortcuts as the empty notes list and the keys guide name them.
    void setShortcuts(const KeysGuide::Shortcuts& shortcuts);

    ManageModel& model() { return model_; }
    ManageListView& list() { return *list_; }
    QLineEdit& filterField() { return *filter_; }
    QLabel& footer() { return *footer_; }
    QLabel& titleLabel() { return *title_; }
    QWidget& emptyState() { return *empty_; }
    SweepView& sweepView() { return *sweep_; }
    KeysView& keysView() { return *keys_; }
    FirstRunView& firstRunView() { return *firstRun_; }
    const QList<QPushButton*>& headerButtons() const { return headerButtons_; }

Q_SIGNALS:
    // Ctrl+, : the settings window.
    void settingsRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The window's own shortcuts (the menu bar's on other desktops); whether the key was one.
    bool windowShortcut(const QKeyEvent& event);
    bool keyPressed(QKeyEvent& event);
    bool typing() const;
    void run(ManageTexts::Action action);
    void applyLook();
    void updateHeader();
    void updateFooter();
    void updateBody();
    void restoreFrame();
    void saveFrame();

    ManageModel& model_;
    Theme& theme_;
    QLabel* title_;
    QLineEdit* filter_;
    QHBoxLayout* headerItems_;
    QList<QPushButton*> headerButtons_;
    std::optional<ManageTexts::Header> headerShown_;
    quint64 headerBuild_ = 0; // the build of the list the header's counts were read from
    ManageListView* list_;
    QWidget* empty_;
    SweepView* sweep_;
    KeysView* keys_;
    FirstRunView* firstRun_;
    QVBoxLayout* emptyLines_;
    std::optional<ManageTexts::EmptyState> emptyShown_;
    QLabel* footer_;
    KeysGuide::Shortcuts shortcuts_;
    bool placed_ = false;
    bool lastKeyWasTab_ = false;
    QPointer<QWidget> tabbedTo_;
};

} // namespace plim
