#include "app/TrayPresenter.h"

#include "ui/theme/Mark.h"
#include "ui/theme/Theme.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace plim {

TrayPresenter::TrayPresenter(const Theme& theme, QObject* parent)
    : QObject(parent)
    , theme_(theme)
    , menu_(std::make_unique<QMenu>())
    , tray_(std::make_unique<QSystemTrayIcon>()) {
    tray_->setContextMenu(menu_.get());
    // A left click opens the notes window; the menu is the right click's.
    connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) {
            Q_EMIT clicked();
        }
    });
    // Asked once, at start: the icon is shown all the same, so a tray that comes later (a panel
    // started after the program) still gets it.
    available_ = QSystemTrayIcon::isSystemTrayAvailable();
    connect(&theme_, &Theme::appearanceChanged, this, &TrayPresenter::draw);
}

TrayPresenter::~TrayPresenter() = default;

void TrayPresenter::show(const TrayModel::State& state) {
    state_ = state;
    draw();
    if (state_.menu != shownMenu_) {
        rebuildMenu();
    }
}

void TrayPresenter::draw() {
    // The panel's colour cannot be read; the desktop's own appearance is the best guess at it.
    const QColor color = Mark::colorFor(Theme::colors(theme_.appearance()).ground);
    if (shownDot_ != state_.dot || shownColor_ != color.rgba()) {
        shownDot_ = state_.dot;
        shownColor_ = color.rgba();
        tray_->setIcon(Mark::icon(state_.dot, color));
    }
    // A tray icon has no other text: its tooltip is also what a screen reader says of it.
    if (tray_->toolTip() != state_.toolTip) {
        tray_->setToolTip(state_.toolTip);
    }
    if (!tray_->isVisible()) {
        tray_->show();
    }
}

void TrayPresenter::rebuildMenu() {
    shownMenu_ = state_.menu;
    menu_->clear();
    for (const TrayModel::MenuItem& item : shownMenu_) {
        if (item.action == TrayModel::Action::Separator) {
            menu_->addSeparator();
            continue;
        }
        QAction* action = menu_->addAction(TrayModel::actionText(item.title));
        action->setEnabled(item.enabled);
        const TrayModel::Action which = item.action;
        connect(action, &QAction::triggered, this, [this, which] { Q_EMIT triggered(which); });
    }
}

} // namespace plim
