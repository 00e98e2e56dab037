#include "ui/manage/FirstRunView.h"

#include "ui/manage/KeysGuide.h"
#include "ui/manage/ManageModel.h"
#include "ui/theme/Fonts.h"
#include "ui/theme/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace plim {

namespace {

constexpr int kRadius = 10;

} // namespace

FirstRunView::FirstRunView(ManageModel& model, Theme& theme, QWidget* parent)
    : QWidget(parent)
    , model_(model)
    , theme_(theme)
    , question_(new QLabel(this))
    , row_(new QHBoxLayout) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(18, 14, 18, 14);
    column->setSpacing(10);
    column->addWidget(question_);
    column->addLayout(row_);
    row_->setSpacing(10);
    question_->setTextFormat(Qt::PlainText);
    question_->setWordWrap(true);
    connect(&model_.firstRun(), &FirstRun::askedChanged, this, &FirstRunView::refresh);
    applyLook();
}

void FirstRunView::applyLook() {
    QPalette palette = question_->palette();
    palette.setColor(QPalette::WindowText, theme_.colors().ink);
    question_->setPalette(palette);
    question_->setFont(Fonts::inPixels(Fonts::sans(model_.font(), 15, QFont::DemiBold), 15));
    refresh();
}

void FirstRunView::refresh() {
    buttons_.clear();
    while (QLayoutItem* item = row_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const auto asked = model_.firstRun().asked();
    setVisible(asked.has_value());
    if (!asked) {
        return;
    }
    const ThemeColors& colors = theme_.colors();
    const QFont font = Fonts::inPixels(Fonts::sans(model_.font(), 13, QFont::Normal), 13);
    auto add = [&](const QString& title, auto answer) {
        auto* button = new QPushButton(title, this);
        button->setFont(font);
        button->setFocusPolicy(Qt::TabFocus);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(
            QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3; border-radius: 6px;"
                           " padding: 4px 12px; }")
                .arg(colors.ground.name(), colors.ink.name(), colors.muted.name()));
        connect(button, &QPushButton::clicked, this, answer);
        row_->addWidget(button);
        buttons_.append(button);
    };
    if (*asked == FirstRun::Question::Delivery) {
        question_->setText(KeysGuide::deliveryQuestion());
        for (const KeysGuide::DeliveryChoice& choice : KeysGuide::deliveryChoices()) {
            const ReminderDelivery delivery = choice.delivery;
            add(choice.title, [this, delivery] { model_.firstRun().chooseDelivery(delivery); });
        }
    } else {
        question_->setText(KeysGuide::launchAtLoginQuestion());
        for (const KeysGuide::LaunchAtLoginChoice& choice : KeysGuide::launchAtLoginChoices()) {
            const bool yes = choice.yes;
            add(choice.title, [this, yes] { model_.firstRun().answerLaunchAtLogin(yes); });
        }
    }
    row_->addStretch(1);
    update();
}

void FirstRunView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    painter.fillPath(card, theme_.colors().surface);
}

} // namespace plim
