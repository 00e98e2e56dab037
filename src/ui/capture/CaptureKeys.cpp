#include "ui/capture/CaptureKeys.h"

namespace plim {

namespace {

// Modifiers that say nothing about the chord: the keypad flag and the layout group switch.
constexpr Qt::KeyboardModifiers kChordModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

Qt::KeyboardModifiers chord(Qt::KeyboardModifiers modifiers) {
    return modifiers & kChordModifiers;
}

bool exactly(Qt::KeyboardModifiers modifiers, Qt::KeyboardModifiers wanted) {
    return chord(modifiers) == wanted;
}

} // namespace

CaptureKeyAction captureKeyAction(const CaptureKeyPress& press, bool canUndo) {
    using C = CaptureCommand;
    const Qt::KeyboardModifiers mods = press.modifiers;
    const int key = press.key;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (mods & Qt::ControlModifier) {
            return {C::CommitKeepOpen};
        }
        return {(mods & Qt::ShiftModifier) ? C::LineBreak : C::Commit};
    }
    if (key == Qt::Key_Escape) {
        return {C::Cancel};
    }
    const bool ctrl = exactly(mods, Qt::ControlModifier);
    const bool ctrlShift = exactly(mods, Qt::ControlModifier | Qt::ShiftModifier);
    if (ctrl) {
        switch (key) {
        case Qt::Key_Left:
            return {C::NudgeLeft};
        case Qt::Key_Right:
            return {C::NudgeRight};
        case Qt::Key_Up:
            return {C::NudgeCenter};
        case Qt::Key_R:
            return {C::When};
        case Qt::Key_V:
            return {C::Paste};
        case Qt::Key_Z:
            return {canUndo ? C::Undo : C::UndoCapture};
        default:
            break;
        }
        if (key >= Qt::Key_1 && key <= Qt::Key_9) {
            return {C::Preset, key - Qt::Key_1};
        }
    }
    if (ctrlShift) {
        switch (key) {
        case Qt::Key_V:
            return {C::CaptureClipboard};
        case Qt::Key_Z:
            return {C::Redo};
        case Qt::Key_Slash: // "?" is Shift with the slash key on most layouts
            return {C::OpenKeys};
        default:
            break;
        }
    }
    if (ctrl || ctrlShift) {
        switch (key) {
        case Qt::Key_A:
            return {C::SelectAll};
        case Qt::Key_C:
            return {C::Copy};
        case Qt::Key_X:
            return {C::Cut};
        case Qt::Key_O:
            return {C::OpenManage};
        case Qt::Key_Question:
            return {C::OpenKeys};
        default:
            break;
        }
    }
    return {C::Pass};
}

CaptureGestures::CaptureGestures(Delays& delays, QObject* parent)
    : QObject(parent)
    , peekDelay_(delays.make())
    , presetsDelay_(delays.make()) {}

void CaptureGestures::keyPressed() {
    peekDelay_->stop();
    presetsDelay_->stop();
}

void CaptureGestures::modifiersChanged(Qt::KeyboardModifiers modifiers) {
    if (exactly(modifiers, Qt::AltModifier)) {
        peekDelay_->start(peekDelay, [this] {
            peeking_ = true;
            Q_EMIT peekChanged(true);
        });
        endPresets();
        return;
    }
    peekDelay_->stop();
    if (peeking_) {
        peeking_ = false;
        Q_EMIT peekChanged(false);
    }
    if (exactly(modifiers, Qt::ControlModifier)) {
        presetsDelay_->start(presetsDelay, [this] {
            showingPresets_ = true;
            Q_EMIT presetsChanged(true);
        });
    } else {
        endPresets();
    }
}

void CaptureGestures::endPeek() {
    peekDelay_->stop();
    if (peeking_) {
        peeking_ = false;
        Q_EMIT peekChanged(false);
    }
    endPresets();
}

void CaptureGestures::endPresets() {
    presetsDelay_->stop();
    if (showingPresets_) {
        showingPresets_ = false;
        Q_EMIT presetsChanged(false);
    }
}

} // namespace plim
