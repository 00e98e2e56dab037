#include "ui/when/WhenFieldWidget.h"

#include "base/Clock.h"
#include "ui/theme/Fonts.h"
#include "ui/theme/KeyLabel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace plim {

namespace {

constexpr int kRowPadding = 6;
constexpr int kNumberWidth = 12;
constexpr int kGap = 8;
constexpr int kCellGap = 6;
constexpr qreal kRadius = 4;

void setTextColor(QWidget& widget, const QColor& color) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget.setPalette(palette);
}

// The width a line of text needs, with a pixel to spare for rounding.
int widthOf(const QFont& font, const QString& text) {
    return int(std::ceil(QFontMetricsF(font).horizontalAdvance(text))) + 1;
}

// Draws `text` left-aligned, cut with an ellipsis when it does not fit.
void drawLine(QPainter& p, const QRect& box, const QFont& font, const QColor& color, const QString& text,
              Qt::Alignment align = Qt::AlignLeft) {
    p.setFont(font);
    p.setPen(color);
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, box.width());
    p.drawText(box, int(align | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
}

} // namespace

QFont DrawerFonts::sans(qreal size) const {
    return Fonts::inPixels(Fonts::sans(choice, size, QFont::Normal), size);
}

QFont DrawerFonts::mono(qreal size) {
    return Fonts::inPixels(Fonts::mono(size), size);
}

// --- The text field ---

WhenLineEdit::WhenLineEdit(WhenFieldModel& model, QWidget* parent)
    : QLineEdit(parent)
    , model_(model) {
    setFrame(false);
    setPlaceholderText(WhenFieldModel::placeholder());
    setFixedHeight(22);
    connect(this, &QLineEdit::textEdited, &model_, &WhenFieldModel::setText);
    connect(&model_, &WhenFieldModel::textChanged, this, [this](const QString& text) {
        if (this->text() != text) {
            setText(text);
        }
    });
}

bool WhenLineEdit::event(QEvent* event) {
    // Tab would move the focus before the key reaches keyPressEvent.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            model_.toggleRoutine();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void WhenLineEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        model_.submit();
        return;
    case Qt::Key_Up:
        model_.move(-1);
        return;
    case Qt::Key_Down:
        model_.move(+1);
        return;
    case Qt::Key_Escape:
        model_.cancel();
        return;
    case Qt::Key_Backspace:
        if (text().isEmpty() && model_.stop()) {
            return;
        }
        break;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}

// --- Preset rows ---

PresetRowsWidget::PresetRowsWidget(QWidget* parent)
    : QWidget(parent)
    , colors_(Theme::colors(Appearance::Light)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PresetRowsWidget::setRows(const QList<WhenFieldModel::PresetRow>& rows) {
    if (rows == rows_) {
        return;
    }
    const bool resized = rows.size() != rows_.size();
    rows_ = rows;
    if (resized) {
        updateGeometry();
    }
    update();
}

void PresetRowsWidget::setLook(const ThemeColors& colors, const DrawerFonts& fonts) {
    colors_ = colors;
    fonts_ = fonts;
    updateGeometry();
    update();
}

int PresetRowsWidget::rowHeight() const {
    const int text = std::max(QFontMetrics(fonts_.sans(13)).height(), QFontMetrics(DrawerFonts::mono(11)).height());
    return text + kRowPadding;
}

QSize PresetRowsWidget::sizeHint() const {
    return {200, int(rows_.size()) * rowHeight()};
}

void PresetRowsWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int h = rowHeight();
    const QFont number = DrawerFonts::mono(11);
    const QFont phrase = fonts_.sans(13);
    for (int i = 0; i < rows_.size(); ++i) {
        const auto& row = rows_[i];
        const QRect box(0, i * h, width(), h);
        if (row.picked) {
            QPainterPath path;
            path.addRoundedRect(QRectF(box), kRadius, kRadius);
            p.fillPath(path, colors_.surface);
        }
        const QRect inner = box.adjusted(kGap, 0, -kGap, 0);
        drawLine(p, QRect(inner.left(), inner.top(), kNumberWidth, h), number, colors_.muted, row.number);
        const int summaryWidth = std::min(widthOf(number, row.summary), inner.width() / 2);
        const QRect summary(inner.right() - summaryWidth + 1, inner.top(), summaryWidth, h);
        drawLine(p, summary, number, colors_.muted, row.summary, Qt::AlignRight);
        const int phraseLeft = inner.left() + kNumberWidth + kGap;
        drawLine(p, QRect(phraseLeft, inner.top(), summary.left() - kGap - phraseLeft, h), phrase, colors_.ink,
                 row.phrase);
    }
}

void PresetRowsWidget::mouseReleaseEvent(QMouseEvent* event) {
    const int row = int(event->position().y()) / rowHeight();
    if (event->button() == Qt::LeftButton && row >= 0 && row < rows_.size()) {
        Q_EMIT picked(row);
    }
}

// --- The field ---

WhenFieldWidget::WhenFieldWidget(WhenFieldModel& model, const Clock& clock, Style style, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , clock_(clock)
    , style_(style)
    , colors_(Theme::colors(Appearance::Light))
    , field_(new WhenLineEdit(model, this))
    , preview_(new QLabel(this))
    , rows_(new PresetRowsWidget(this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, style == Style::Drawer ? 9 : 0, 0, 0); // room for the divider
    column->setSpacing(6);
    column->addWidget(field_);
    column->addWidget(preview_);
    column->addWidget(rows_);
    preview_->setTextFormat(Qt::PlainText);
    // Named for screen readers; the placeholder describes the field.
    field_->setAccessibleName(QStringLiteral("Remind when"));
    rows_->setAccessibleName(QStringLiteral("Presets"));
    if (style == Style::Popover) {
        keyHint_ = new KeyLabel(QString(), this);
        column->addWidget(keyHint_);
    }
    connect(rows_, &PresetRowsWidget::picked, &model_, &WhenFieldModel::commit);
    connect(&model_, &WhenFieldModel::textChanged, this, &WhenFieldWidget::refresh);
    connect(&model_, &WhenFieldModel::highlightedChanged, this, &WhenFieldWidget::refresh);
    connect(&model_, &WhenFieldModel::currentChanged, this, &WhenFieldWidget::refresh);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void WhenFieldWidget::setLook(const ThemeColors& colors, const DrawerFonts& fonts) {
    colors_ = colors;
    field_->setFont(fonts.sans(15));
    QPalette palette = field_->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, colors.ink);
    palette.setColor(QPalette::PlaceholderText, colors.muted);
    palette.setColor(QPalette::Highlight, colors.highlighter);
    palette.setColor(QPalette::HighlightedText, colors.ground);
    field_->setPalette(palette);
    preview_->setFont(fonts.sans(13));
    setTextColor(*preview_, colors.muted);
    if (keyHint_ != nullptr) {
        keyHint_->setFont(DrawerFonts::mono(11));
        setTextColor(*keyHint_, colors.muted);
    }
    rows_->setLook(colors, fonts);
    update();
}

void WhenFieldWidget::refresh() {
    const Instant now = clock_.now();
    preview_->setText(model_.preview(now));
    rows_->setRows(model_.presetRows(now));
    if (keyHint_ != nullptr) {
        keyHint_->setText(model_.keyHint());
    }
}

void WhenFieldWidget::takeFocus() {
    // A window that becomes active only after it appears takes the first attempts for nothing.
    for (const int ms : {0, 50, 150}) {
        QTimer::singleShot(ms, field_, [field = field_] {
            if (field->isVisible() && !field->hasFocus()) {
                field->activateWindow();
                field->setFocus(Qt::OtherFocusReason);
            }
        });
    }
}

void WhenFieldWidget::paintEvent(QPaintEvent*) {
    if (style_ != Style::Drawer) {
        return;
    }
    QPainter p(this);
    QColor line = colors_.muted;
    line.setAlphaF(0.35);
    p.fillRect(QRect(0, 0, width(), 1), line);
}

// --- The preset peek ---

PresetPeekWidget::PresetPeekWidget(QWidget* parent)
    : QWidget(parent)
    , colors_(Theme::colors(Appearance::Light)) {
    setAccessibleName(QStringLiteral("Presets"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PresetPeekWidget::setCells(const QList<WhenFieldModel::PeekCell>& cells) {
    if (cells == cells_) {
        return;
    }
    cells_ = cells;
    updateGeometry();
    update();
}

void PresetPeekWidget::setLook(const ThemeColors& colors, const DrawerFonts& fonts) {
    colors_ = colors;
    fonts_ = fonts;
    updateGeometry();
    update();
}

int PresetPeekWidget::cellHeight() const {
    const int text = std::max(QFontMetrics(fonts_.sans(13)).height(), QFontMetrics(DrawerFonts::mono(11)).height());
    return text + 2 * kRowPadding;
}

int PresetPeekWidget::heightForWidth(int) const {
    return 3 * cellHeight() + 2 * kCellGap;
}

QSize PresetPeekWidget::sizeHint() const {
    return {300, heightForWidth(300)};
}

void PresetPeekWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int h = cellHeight();
    const int w = (width() - 2 * kCellGap) / 3;
    const QFont number = DrawerFonts::mono(11);
    const QFont phrase = fonts_.sans(13);
    for (int i = 0; i < std::min(int(cells_.size()), 9); ++i) {
        const auto& cell = cells_[i];
        const QRect box((i % 3) * (w + kCellGap), (i / 3) * (h + kCellGap), w, h);
        QPainterPath path;
        path.addRoundedRect(QRectF(box), kRadius, kRadius);
        p.fillPath(path, colors_.surface);
        const QRect inner = box.adjusted(kGap, 0, -kGap, 0);
        drawLine(p, QRect(inner.left(), inner.top(), kNumberWidth, h), number, colors_.muted, cell.number);
        const int whenWidth = std::min(widthOf(number, cell.when), inner.width() / 2);
        const QRect when(inner.right() - whenWidth + 1, inner.top(), whenWidth, h);
        drawLine(p, when, number, colors_.muted, cell.when, Qt::AlignRight);
        const int phraseLeft = inner.left() + kNumberWidth + kGap / 2;
        drawLine(p, QRect(phraseLeft, inner.top(), when.left() - kGap - phraseLeft, h), phrase, colors_.ink,
                 cell.phrase);
    }
}

} // namespace plim
