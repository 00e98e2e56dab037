#include "ui/manage/FlowWidget.h"

#include "ui/theme/Theme.h"

#include <QLabel>

#include <algorithm>

namespace plim {

FlowLayout::FlowLayout(QWidget* parent, int spacing)
    : QLayout(parent)
    , spacing_(spacing) {
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() {
    while (QLayoutItem* item = takeAt(0)) {
        delete item;
    }
}

void FlowLayout::addItem(QLayoutItem* item) {
    items_.append(item);
}

QLayoutItem* FlowLayout::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int index) {
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

int FlowLayout::heightForWidth(int width) const {
    return place(QRect(0, 0, width, 0), false);
}

QSize FlowLayout::minimumSize() const {
    QSize size;
    for (const QLayoutItem* item : items_) {
        size = size.expandedTo(item->minimumSize());
    }
    return size;
}

QSize FlowLayout::sizeHint() const {
    // One line: what the items want side by side.
    int width = 0;
    int height = 0;
    for (const QLayoutItem* item : items_) {
        const QSize hint = item->sizeHint();
        width += hint.width() + (width > 0 ? spacing_ : 0);
        height = std::max(height, hint.height());
    }
    return {width, height};
}

void FlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    place(rect, true);
}

int FlowLayout::place(const QRect& rect, bool apply) const {
    int x = rect.x();
    int y = rect.y();
    int line = 0;
    for (QLayoutItem* item : items_) {
        const QSize hint = item->sizeHint();
        if (x > rect.x() && x + hint.width() > rect.right() + 1) {
            x = rect.x();
            y += line + spacing_;
            line = 0;
        }
        if (apply) {
            item->setGeometry(QRect(QPoint(x, y), hint));
        }
        x += hint.width() + spacing_;
        line = std::max(line, hint.height());
    }
    return y + line - rect.y();
}

FlowWidget::FlowWidget(int spacing, QWidget* parent)
    : QWidget(parent)
    , flow_(new FlowLayout(this, spacing)) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void FlowWidget::add(QWidget* child) {
    child->setParent(this);
    flow_->addWidget(child);
}

QLabel* keyCap(const QString& text, const QFont& mono, const ThemeColors& colors, QWidget* parent) {
    auto* cap = new QLabel(text, parent);
    cap->setTextFormat(Qt::PlainText);
    cap->setFont(mono);
    cap->setAlignment(Qt::AlignCenter);
    cap->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; border-radius: 4px; padding: 1px 6px; }")
                           .arg(colors.surface.name(QColor::HexRgb), colors.ink.name(QColor::HexRgb)));
    return cap;
}

} // namespace plim
