#include "ui/manage/ManageWindowController.h"

#include "store/NotesStore.h"
#include "ui/manage/ManageWindow.h"

#include <QEvent>

#include <malloc.h>

namespace plim {

ManageWindowController::ManageWindowController(NotesStore& store, DesktopServices& desktop, Theme& theme,
                                               LaunchAtLogin& launchAtLogin, std::chrono::milliseconds keepHidden,
                                               QObject* parent)
    : QObject(parent)
    , store_(store)
    , desktop_(desktop)
    , theme_(theme)
    , launchAtLogin_(launchAtLogin) {
    hidden_.setSingleShot(true);
    hidden_.setInterval(keepHidden);
    connect(&hidden_, &QTimer::timeout, this, &ManageWindowController::giveUpIfIdle);
}

ManageWindowController::~ManageWindowController() = default;

ManageWindow& ManageWindowController::window() {
    if (window_) {
        return *window_;
    }
    model_ = std::make_unique<ManageModel>(store_, desktop_, launchAtLogin_);
    connect(&model_->firstRun(), &FirstRun::notificationsRequested, this,
            &ManageWindowController::notificationsRequested);
    if (const auto place = std::exchange(place_, std::nullopt)) {
        if (place->mode == ManageModel::Mode::Later) {
            model_->showLater();
        } else if (place->mode == ManageModel::Mode::Trash) {
            model_->showTrash();
        }
        if (place->showCompleted) {
            model_->setShowCompleted(true);
        }
        if (!place->filter.isEmpty()) {
            model_->setFilter(place->filter);
        }
        if (place->selected && model_->list().rowIndex(*place->selected) >= 0) {
            model_->select(*place->selected);
            model_->setSelectedByPointer(false); // shown in view, as it was
        }
    }
    window_ = std::make_unique<ManageWindow>(*model_, theme_, desktop_);
    if (shortcuts_) {
        window_->setShortcuts(*shortcuts_);
    }
    connect(window_.get(), &ManageWindow::settingsRequested, this, &ManageWindowController::settingsRequested);
    window_->installEventFilter(this);
    return *window_;
}

ManageModel& ManageWindowController::model() {
    window();
    return *model_;
}

void ManageWindowController::setShortcuts(const KeysGuide::Shortcuts& shortcuts) {
    shortcuts_ = shortcuts;
    if (window_) {
        window_->setShortcuts(shortcuts);
    }
}

void ManageWindowController::ringingChanged() {
    if (model_) {
        model_->ringingChanged();
    }
}

bool ManageWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.get()) {
        // Keys change the file while the window is shown: the store keeps ready for them.
        if (event->type() == QEvent::Hide) {
            hidden_.start();
            store_.keepReady(false);
        } else if (event->type() == QEvent::Show) {
            hidden_.stop();
            store_.keepReady(true);
        }
    }
    return QObject::eventFilter(watched, event);
}

void ManageWindowController::giveUpIfIdle() {
    // A minimised window is still the user's; one with an edit, the when field, a sweep or the
    // question asked once under way keeps what a new one could not show again (a new one asks how
    // reminders ring itself).
    if (!window_ || window_->isVisible()) {
        return;
    }
    const ManageModel& m = *model_;
    const ManageModel::Mode mode = m.mode();
    if (m.editingID() || m.whenFieldID() || m.firstRun().asked() == FirstRun::Question::LaunchAtLogin ||
        (mode != ManageModel::Mode::Log && mode != ManageModel::Mode::Later && mode != ManageModel::Mode::Trash)) {
        return;
    }
    place_ = Place{mode, m.filter(), m.showCompleted(), m.selectedID()};
    window_.reset();
    model_.reset();
    // The freed rows lie among what the notes keep: hand the pages back to the system.
    ::malloc_trim(0);
}

} // namespace plim
