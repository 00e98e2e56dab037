#pragma once

#include <QColor>
#include <QLabel>

namespace plim {

// Key symbols (↩ ⇥ ⌫ ← → ↑ ↓) drawn as strokes at the height of the capitals beside them: the
// program's fixed-width face has none, and the faces a fallback finds draw them at half size.
namespace KeyText {

bool isSymbol(QChar c);
// The width of `text` on one line in `font`, its symbols drawn.
qreal width(const QString& text, const QFont& font);
// Draws `text` on one line, its baseline at `baseline.y()`, starting at `baseline.x()`.
void draw(QPainter& painter, QPointF baseline, const QString& text, const QFont& font, const QColor& color);

} // namespace KeyText

// A label whose key symbols are drawn at the size of its letters. On one line it draws its text
// itself; a label that wraps (a long message) is drawn as any other. As a key cap it stands on a
// small raised ground.
class KeyLabel final : public QLabel {
    Q_OBJECT
public:
    explicit KeyLabel(const QString& text = {}, QWidget* parent = nullptr);

    // A cap: the text centred on a rounded ground of this colour, with room around it.
    void setCap(const QColor& ground);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor cap_;
};

} // namespace plim
