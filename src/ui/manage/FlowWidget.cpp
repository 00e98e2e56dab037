#include "ui/manage/FlowWidget.h"

#include "ui/theme/KeyLabel.h"
#include "ui/theme/Theme.h"

#include <QLabel>

#include <algorithm>

namespace plim {

FlowLayout::FlowLayout(QWidget* parent, int spacing, Qt::Alignment lines)
    : QLayout(parent)
    , spacing_(spacing)
    , lines_(lines) {
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
    int y = rect.y();
    // One line at a time: the items that fit, then where they start.
    for (qsizetype first = 0; first < items_.size();) {
        qsizetype end = first;
        int width = 0;
        int height = 0;
        for (; end < items_.size(); ++end) {
            const QSize hint = items_[end]->sizeHint();
            const int wider = width + (end > first ? spacing_ : 0) + hint.width();
            if (end > first && wider > rect.width()) {
                break;
            }
            width = wider;
            height = std::max(height, hint.height());
        }
        if (apply) {
            int x = rect.x() + (lines_ & Qt::AlignHCenter ? std::max(0, (rect.width() - width) / 2) : 0);
            for (qsizetype i = first; i < end; ++i) {
                const QSize hint = items_[i]->sizeHint();
                items_[i]->setGeometry(QRect(QPoint(x, y), hint));
                x += hint.width() + spacing_;
            }
        }
        y += height + (end < items_.size() ? spacing_ : 0);
        first = end;
    }
    return y - rect.y();
}

FlowWidget::FlowWidget(int spacing, QWidget* parent, Qt::Alignment lines)
    : QWidget(parent)
    , flow_(new FlowLayout(this, spacing, lines)) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void FlowWidget::add(QWidget* child) {
    child->setParent(this);
    flow_->addWidget(child);
}

QLabel* keyCap(const QString& text, const QFont& mono, const ThemeColors& colors, QWidget* parent) {
    auto* cap = new KeyLabel(text, parent);
    cap->setFont(mono);
    cap->setCap(colors.surface);
    QPalette palette = cap->palette();
    palette.setColor(QPalette::WindowText, colors.ink);
    cap->setPalette(palette);
    return cap;
}

} // namespace plim
