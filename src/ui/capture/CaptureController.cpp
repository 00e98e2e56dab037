#include "ui/capture/CaptureController.h"

#include "ui/capture/CaptureWindow.h"

namespace plim {

CaptureController::CaptureController(NotesStore& store, DesktopServices& desktop, Theme& theme, QObject* parent)
    : QObject(parent)
    , model_(std::make_unique<CaptureModel>(store, desktop))
    , window_(std::make_unique<CaptureWindow>(*model_, theme)) {
    connect(model_.get(), &CaptureModel::openManageRequested, this, &CaptureController::openManageRequested);
    connect(model_.get(), &CaptureModel::keysRequested, this, &CaptureController::keysRequested);
}

CaptureController::~CaptureController() = default;

void CaptureController::toggle(std::unique_ptr<KeyboardHold> hold) {
    model_->toggle();
    window_->keepKeysUntilFocused(std::move(hold));
}

} // namespace plim
