#include "ui/manage/SweepView.h"

#include "ui/manage/FlowWidget.h"
#include "ui/manage/ManageModel.h"
#include "ui/manage/ManageTexts.h"
#include "ui/theme/Fonts.h"
#include "ui/theme/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace plim {

namespace {

constexpr int kPad = 40;
constexpr int kBarHeight = 3;

void setInk(QLabel& label, const QColor& color) {
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, color);
    label.setPalette(palette);
}

} // namespace

SweepView::SweepView(ManageModel& model, Theme& theme, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , theme_(theme)
    , day_(new QLabel(this))
    , text_(new QLabel(this))
    , finished_(new QWidget(this))
    , finishedLines_(new QVBoxLayout(finished_))
    , column_(new QVBoxLayout(this)) {
    column_->setContentsMargins(kPad, kPad, kPad, kPad);
    column_->setSpacing(14);
    column_->addStretch(1);
    column_->addWidget(day_);
    column_->addWidget(text_);
    column_->addWidget(finished_);
    column_->addStretch(2);
    finishedLines_->setAlignment(Qt::AlignCenter);
    for (QLabel* label : {day_, text_}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
    // An entry of many lines scrolls no further than the window: it is cut, the keys stay.
    text_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    text_->setMinimumHeight(40);
    for (auto signal : {&ManageModel::sweepQueueChanged, &ManageModel::sweepTotalChanged, &ManageModel::modeChanged}) {
        connect(&model_, signal, this, &SweepView::refresh);
    }
    applyLook();
}

QPair<int, int> SweepView::progress() const {
    const int total = std::max(model_.sweep().total(), static_cast<int>(model_.sweep().left()));
    return {total - static_cast<int>(model_.sweep().left()), total};
}

QStringList SweepView::shownWords() const {
    return words_;
}

void SweepView::applyLook() {
    const ThemeColors& colors = theme_.colors();
    day_->setFont(Fonts::inPixels(Fonts::sans(model_.font(), 13, QFont::Normal), 13));
    setInk(*day_, colors.muted);
    const qreal size = model_.textSize() + 5;
    text_->setFont(Fonts::inPixels(Fonts::sans(model_.font(), size, QFont::Normal), size));
    setInk(*text_, colors.ink);
    refresh();
}

void SweepView::refresh() {
    const ThemeColors& colors = theme_.colors();
    const std::optional<Entry> current = model_.sweepCurrent();
    delete legend_;
    legend_ = nullptr;
    while (QLayoutItem* item = finishedLines_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    words_.clear();
    day_->setVisible(current.has_value());
    text_->setVisible(current.has_value());
    finished_->setVisible(!current);
    if (current) {
        day_->setText(model_.sweepCurrentHeading().value_or(QString()));
        text_->setText(current->text);
        legend_ = new FlowWidget(18, this, Qt::AlignHCenter);
        const qreal keySize = Fonts::keyLabelSize(model_.textSize());
        const QFont mono = Fonts::inPixels(Fonts::mono(keySize), keySize);
        const QFont word = Fonts::inPixels(Fonts::sans(model_.font(), 13, QFont::Normal), 13);
        for (const ManageTexts::LegendKey& key : ManageTexts::sweepLegend(*current)) {
            auto* pair = new QWidget;
            auto* row = new QHBoxLayout(pair);
            row->setContentsMargins(0, 0, 0, 0);
            row->setSpacing(6);
            row->addWidget(keyCap(key.key, mono, colors, pair));
            auto* label = new QLabel(key.word, pair);
            label->setTextFormat(Qt::PlainText);
            label->setFont(word);
            setInk(*label, colors.muted);
            row->addWidget(label);
            legend_->add(pair);
            words_ << key.word;
        }
        column_->insertWidget(3, legend_, 0, Qt::AlignHCenter);
    } else {
        bool first = true;
        for (const QString& line : ManageTexts::sweepFinished()) {
            auto* label = new QLabel(line, finished_);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignCenter);
            const int px = first ? 17 : 13;
            label->setFont(Fonts::inPixels(Fonts::sans(model_.font(), px, QFont::Normal), px));
            setInk(*label, first ? colors.ink : colors.muted);
            finishedLines_->addWidget(label);
            words_ << line;
            first = false;
        }
    }
    update();
}

void SweepView::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    const auto [done, total] = progress();
    if (total <= 0) {
        return;
    }
    const ThemeColors& colors = theme_.colors();
    QPainter painter(this);
    const QRect track(kPad, 0, width() - 2 * kPad, kBarHeight);
    QColor faint = colors.muted;
    faint.setAlphaF(0.25);
    painter.fillRect(track, faint);
    painter.fillRect(QRect(track.topLeft(), QSize(track.width() * done / total, kBarHeight)), colors.highlighter);
}

} // namespace plim
