#pragma once

#include "ui/manage/KeysGuide.h"
#include "ui/manage/ManageModel.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <memory>
#include <optional>

namespace plim {

class DesktopServices;
class LaunchAtLogin;
class ManageWindow;
class NotesStore;
class Theme;

// The notes window as the shell holds it: made on first use, and given up, rows and all, once it
// has been hidden a while (a resident program that lists a large file would otherwise keep it for
// good). Made again, it opens where it was: the same view, filter and selected entry.
class ManageWindowController final : public QObject {
    Q_OBJECT
public:
    // How long the window stays hidden before it is given up.
    static constexpr std::chrono::minutes kKeepHidden{2};

    ManageWindowController(NotesStore& store, DesktopServices& desktop, Theme& theme, LaunchAtLogin& launchAtLogin,
                           std::chrono::milliseconds keepHidden = kKeepHidden, QObject* parent = nullptr);
    ~ManageWindowController() override;

    // The window, made when there is none.
    ManageWindow& window();
    ManageModel& model();
    bool isMade() const { return window_ != nullptr; }

    // Kept and handed to every window made.
    void setShortcuts(const KeysGuide::Shortcuts& shortcuts);

public Q_SLOTS:
    // The scheduler's pass changed what rings (a window that is not made has nothing to show).
    void ringingChanged();

Q_SIGNALS:
    // Ctrl+, in the window.
    void settingsRequested();
    // The window's model asks for notifications (see ManageModel::notificationsRequested).
    void notificationsRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the window showed, to be shown again.
    struct Place {
        ManageModel::Mode mode = ManageModel::Mode::Log;
        QString filter;
        bool showCompleted = false;
        std::optional<QUuid> selected;
    };
    void giveUpIfIdle();

    NotesStore& store_;
    DesktopServices& desktop_;
    Theme& theme_;
    LaunchAtLogin& launchAtLogin_;
    std::optional<KeysGuide::Shortcuts> shortcuts_;
    std::optional<Place> place_;
    QTimer hidden_;
    // The window goes before its model.
    std::unique_ptr<ManageModel> model_;
    std::unique_ptr<ManageWindow> window_;
};

} // namespace plim
