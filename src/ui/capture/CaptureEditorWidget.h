#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QTimer>

namespace plim {

class CaptureModel;

// The drawer's editor: plain text, every key first offered to the model's key table; modifier
// changes drive the hold gestures. The insertion point is drawn in the accent colour.
class CaptureEditor final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit CaptureEditor(CaptureModel& model, QWidget* parent = nullptr);

    // The laid-out height of the text at a width, stopping once it passes `enough`.
    qreal textHeight(qreal width, qreal enough) const;
    // The laid-out height of one line.
    qreal lineHeight() const;
    void setCaretColor(const QColor& color);
    // Replaces the text without telling the model (it sent it) and puts the insertion point last.
    void replace(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Whether the event was a modifier key; tells the model what is held afterwards.
    bool modifierKey(QKeyEvent* event, bool pressed);
    void blink();

    CaptureModel& model_;
    QColor caret_;
    QTimer blink_;
    bool caretOn_ = true;
    bool replacing_ = false;
};

} // namespace plim
