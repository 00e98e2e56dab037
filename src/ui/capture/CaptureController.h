#pragma once

#include "platform/KeyboardHold.h"
#include "ui/capture/CaptureModel.h"

#include <QObject>
#include <QUuid>

#include <memory>
#include <optional>

namespace plim {

class CaptureWindow;
class DesktopServices;
class NotesStore;
class Theme;

// The capture drawer as the shell sees it: one per program, created at start-up with the shared
// store, living as long as the program.
class CaptureController final : public QObject {
    Q_OBJECT
public:
    CaptureController(NotesStore& store, DesktopServices& desktop, Theme& theme, QObject* parent = nullptr);
    ~CaptureController() override;

    // Shows the drawer with the stored draft, holding the keyboard.
    void show() { model_->show(); }
    // The capture shortcut and `plim capture`: hides a drawer that has the keyboard, else shows it.
    // The keys the hold keeps are let go once the editor has the keyboard, or at once when the
    // drawer does not open.
    void toggle(std::unique_ptr<KeyboardHold> hold = nullptr);
    // The clipboard shortcut and `plim clip`: saves the clipboard's text as its own entry.
    void captureClipboard() { model_->captureClipboard(); }
    // At quit, SIGTERM, SIGINT and session end.
    void saveDraft() { model_->saveDraft(); }
    // For the notes shortcut: the entry just captured, within two minutes, once.
    std::optional<QUuid> takeRecentCapture() { return model_->takeRecentCapture(); }

    bool isVisible() const { return model_->isVisible(); }
    CaptureModel& model() { return *model_; }
    CaptureWindow& window() { return *window_; }

Q_SIGNALS:
    // Open the notes window, revealing the given entry (Ctrl+O in the drawer).
    void openManageRequested(std::optional<QUuid> revealing);
    // Open the keys guide (Ctrl+? in the drawer).
    void keysRequested();

private:
    std::unique_ptr<CaptureModel> model_;
    std::unique_ptr<CaptureWindow> window_;
};

} // namespace plim
