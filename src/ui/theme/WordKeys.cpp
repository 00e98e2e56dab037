#include "ui/theme/WordKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>

namespace plim::WordKeys {

namespace {

constexpr Qt::KeyboardModifiers kChord = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

template <typename Edit>
void moveCursor(Edit& edit, bool forward, bool select) {
    const auto mode = select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
    edit.moveCursor(forward ? QTextCursor::NextWord : QTextCursor::PreviousWord, mode);
}

class Filter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || watched->property(ownKeysProperty).toBool()) {
            return false;
        }
        return moveByWord(watched, *static_cast<QKeyEvent*>(event));
    }
};

} // namespace

bool moveByWord(QObject* field, const QKeyEvent& key) {
    const Qt::KeyboardModifiers chord = key.modifiers() & kChord;
    if ((key.key() != Qt::Key_Left && key.key() != Qt::Key_Right) ||
        (chord != Qt::AltModifier && chord != (Qt::AltModifier | Qt::ShiftModifier))) {
        return false;
    }
    const bool forward = key.key() == Qt::Key_Right;
    const bool select = chord.testFlag(Qt::ShiftModifier);
    // A read-only field (a shortcut recorder among them) keeps the keys.
    if (auto* line = qobject_cast<QLineEdit*>(field); line != nullptr && !line->isReadOnly()) {
        forward ? line->cursorWordForward(select) : line->cursorWordBackward(select);
        return true;
    }
    if (auto* text = qobject_cast<QPlainTextEdit*>(field); text != nullptr && !text->isReadOnly()) {
        moveCursor(*text, forward, select);
        return true;
    }
    if (auto* rich = qobject_cast<QTextEdit*>(field); rich != nullptr && !rich->isReadOnly()) {
        moveCursor(*rich, forward, select);
        return true;
    }
    return false;
}

void install() {
    static QPointer<Filter> installed;
    if (installed || qApp == nullptr) {
        return;
    }
    installed = new Filter(qApp);
    qApp->installEventFilter(installed);
}

} // namespace plim::WordKeys
