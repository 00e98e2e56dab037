#include "ui/capture/CaptureEditorWidget.h"

#include "ui/capture/CaptureModel.h"
#include "ui/capture/DrawerGeometry.h"
#include "ui/theme/WordKeys.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyleHints>
#include <QTextBlock>
#include <QTextLayout>

namespace plim {

CaptureEditor::CaptureEditor(CaptureModel& model, QWidget* parent)
    : QPlainTextEdit(parent)
    , model_(model) {
    setFrameShape(QFrame::NoFrame);
    setBackgroundVisible(false);
    viewport()->setAutoFillBackground(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(false);
    document()->setDocumentMargin(0);
    setViewportMargins(0, DrawerGeometry::textInset, 0, DrawerGeometry::textInset);
    setCursorWidth(0); // drawn in the accent colour by paintEvent
    // Its keys go to the model first (a key press ends a pending peek), the word keys among them.
    setProperty(WordKeys::ownKeysProperty, true);
    setContextMenuPolicy(Qt::NoContextMenu);
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    blink_.setInterval(flash > 0 ? flash / 2 : 0);
    connect(&blink_, &QTimer::timeout, this, &CaptureEditor::blink);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!replacing_) {
            model_.setText(toPlainText());
        }
    });
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        caretOn_ = true;
        if (blink_.isActive()) {
            blink_.start();
        }
        viewport()->update();
    });
}

void CaptureEditor::replace(const QString& text) {
    if (text == toPlainText()) {
        moveCursor(QTextCursor::End);
        return;
    }
    replacing_ = true;
    setPlainText(text);
    replacing_ = false;
    moveCursor(QTextCursor::End);
}

qreal CaptureEditor::textHeight(qreal width, qreal enough) const {
    // As the editor lays out its lines (leading included), without waiting for it to do so.
    QTextOption option = document()->defaultTextOption();
    option.setWrapMode(wordWrapMode());
    qreal height = 0;
    for (QTextBlock block = document()->begin(); block.isValid() && height <= enough; block = block.next()) {
        QTextLayout layout(block.text(), font());
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLeadingIncluded(true);
            line.setLineWidth(width);
            height += line.height();
        }
        layout.endLayout();
    }
    return height;
}

qreal CaptureEditor::lineHeight() const {
    QTextLayout layout(QStringLiteral("X"), font());
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLeadingIncluded(true);
    line.setLineWidth(1000);
    layout.endLayout();
    return line.height();
}

void CaptureEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    // The editor grows with its text, and a scroll bar that comes or goes re-wraps the lines: the
    // insertion point stays in view through both (a long paste ends where it was put).
    ensureCursorVisible();
}

void CaptureEditor::setCaretColor(const QColor& color) {
    caret_ = color;
    viewport()->update();
}

bool CaptureEditor::modifierKey(QKeyEvent* event, bool pressed) {
    Qt::KeyboardModifiers flag;
    switch (event->key()) {
    case Qt::Key_Control:
        flag = Qt::ControlModifier;
        break;
    case Qt::Key_Alt:
        flag = Qt::AltModifier;
        break;
    case Qt::Key_Shift:
        flag = Qt::ShiftModifier;
        break;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
        flag = Qt::MetaModifier;
        break;
    case Qt::Key_AltGr:
        flag = Qt::GroupSwitchModifier;
        break;
    default:
        return false;
    }
    if (!event->isAutoRepeat()) {
        // Whether the event's own key is counted differs between press and release: settle it here.
        const Qt::KeyboardModifiers held = pressed ? (event->modifiers() | flag) : (event->modifiers() & ~flag);
        model_.modifiersChanged(held);
    }
    return true;
}

void CaptureEditor::keyPressEvent(QKeyEvent* event) {
    if (modifierKey(event, true)) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    using E = CaptureModel::EditorEffect;
    switch (model_.keyPressed({event->key(), event->modifiers()}, document()->isUndoAvailable())) {
    case E::Pass:
        if (!WordKeys::moveByWord(this, *event)) {
            QPlainTextEdit::keyPressEvent(event);
            return;
        }
        break;
    case E::Handled:
        break;
    case E::LineBreak:
        insertPlainText(QStringLiteral("\n"));
        break;
    case E::SelectAll:
        selectAll();
        break;
    case E::Copy:
        copy();
        break;
    case E::Cut:
        cut();
        break;
    case E::Paste:
        paste();
        break;
    case E::Undo:
        undo();
        break;
    case E::Redo:
        redo();
        break;
    }
    event->accept();
}

void CaptureEditor::keyReleaseEvent(QKeyEvent* event) {
    modifierKey(event, false);
    QPlainTextEdit::keyReleaseEvent(event);
}

void CaptureEditor::insertFromMimeData(const QMimeData* source) {
    if (source != nullptr && source->hasText() && !model_.acceptPaste(source->text().size())) {
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}

void CaptureEditor::paintEvent(QPaintEvent* event) {
    QPlainTextEdit::paintEvent(event);
    if (!hasFocus() || !caretOn_ || isReadOnly()) {
        return;
    }
    QPainter p(viewport());
    const QRect r = cursorRect();
    p.fillRect(QRect(r.left(), r.top(), 2, r.height()), caret_);
}

void CaptureEditor::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    caretOn_ = true;
    if (blink_.interval() > 0) {
        blink_.start();
    }
}

void CaptureEditor::focusOutEvent(QFocusEvent* event) {
    blink_.stop();
    QPlainTextEdit::focusOutEvent(event);
}

void CaptureEditor::blink() {
    caretOn_ = !caretOn_;
    viewport()->update(cursorRect().adjusted(-2, 0, 2, 0));
}

} // namespace plim
