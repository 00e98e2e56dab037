#pragma once

#include "app/TrayModel.h"

#include <QList>
#include <QObject>
#include <QRgb>

#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QMenu;
class QSystemTrayIcon;
QT_END_NAMESPACE

namespace plim {

class Theme;

// The tray icon and its menu: draws what the tray model says in the desktop's appearance, and
// passes on what the user picks.
class TrayPresenter final : public QObject {
    Q_OBJECT
public:
    explicit TrayPresenter(const Theme& theme, QObject* parent = nullptr);
    ~TrayPresenter() override;

    // Whether the desktop had a tray when the program started.
    bool available() const { return available_; }
    // What the tray shows now.
    const TrayModel::State& state() const { return state_; }
    // Shows `state`, changing only what differs from what is shown.
    void show(const TrayModel::State& state);

Q_SIGNALS:
    // A left click on the icon.
    void clicked();
    // A pick from the menu.
    void triggered(plim::TrayModel::Action action);

private:
    void draw();
    void rebuildMenu();

    const Theme& theme_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    bool available_ = false;
    TrayModel::State state_;
    QList<TrayModel::MenuItem> shownMenu_;
    std::optional<bool> shownDot_;
    QRgb shownColor_ = 0;
};

} // namespace plim
