#include "ui/settings/RemindersPaneWidget.h"

#include "base/Clock.h"
#include "store/Preferences.h"
#include "ui/settings/SettingsModel.h"
#include "ui/settings/SettingsWidget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace plim {

namespace {

constexpr auto kStatusAgain = std::chrono::seconds(1);

} // namespace

RemindersPaneWidget::RemindersPaneWidget(Preferences& preferences, const Clock& clock,
                                         QPointer<ReminderScheduler> scheduler, QWidget* parent)
    : QWidget(parent)
    , preferences_(preferences)
    , clock_(clock)
    , scheduler_(std::move(scheduler)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 12, 20, 10);
    layout->setSpacing(4);

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(SettingsModel::Text::notificationsLabel(), this));
    status_ = roleLabel(LabelRole::Caption, QString(), this);
    statusRow->addWidget(status_, 1, Qt::AlignRight);
    statusButton_ = new QPushButton(this);
    statusButton_->hide();
    connect(statusButton_, &QPushButton::clicked, this, [this] {
        if (statusShown_ == ReminderScheduler::Status::Off) {
            if (scheduler_) {
                scheduler_->requestNotifications();
                QTimer::singleShot(kStatusAgain, this, &RemindersPaneWidget::readStatus);
            }
        } else {
            ReminderScheduler::openNotificationSettings();
        }
    });
    statusRow->addWidget(statusButton_);
    layout->addLayout(statusRow);
    layout->addWidget(captionLabel(SettingsModel::Text::notificationsCaption(), this));
    layout->addSpacing(6);

    ringHere_ = new QCheckBox(SettingsModel::Text::ringHereLabel(), this);
    ringHere_->setChecked(preferences_.ringOnThisMac());
    connect(ringHere_, &QCheckBox::toggled, this,
            [this](bool on) { preferences_.setValue(PreferenceKey::ringOnThisMac, on); });
    layout->addWidget(ringHere_);
    layout->addWidget(captionLabel(SettingsModel::Text::ringHereCaption(), this));
    layout->addSpacing(6);

    auto* days = new QGridLayout;
    days->setColumnStretch(0, 1);
    const auto picker = [&](const QString& label, int minutes, QLatin1String key, int line) {
        days->addWidget(new QLabel(label, this), line, 0);
        auto* edit = new QTimeEdit(QTime(minutes / 60, minutes % 60), this);
        edit->setDisplayFormat(u"HH:mm"_s);
        edit->setAccessibleName(label);
        connect(edit, &QTimeEdit::timeChanged, this, [this, key](QTime time) {
            preferences_.setValue(key, time.hour() * 60 + time.minute());
            drawPreviews();
        });
        days->addWidget(edit, line, 1);
        return edit;
    };
    dayStart_ = picker(u"Day starts"_s, preferences_.dayStart(), PreferenceKey::dayStart, 0);
    dayEnd_ = picker(u"Day ends"_s, preferences_.dayEnd(), PreferenceKey::dayEnd, 1);
    layout->addLayout(days);
    layout->addWidget(captionLabel(SettingsModel::Text::dayCaption(), this));
    layout->addSpacing(6);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(2);
    grid->setColumnStretch(2, 1);
    const QStringList stored = preferences_.reminderPresets();
    for (int i = 0; i < Preferences::presetCount; ++i) {
        QLabel* number = roleLabel(LabelRole::Number, QString::number(i + 1), this);
        number->setFixedWidth(14);
        grid->addWidget(number, i, 0);
        auto* field = new QLineEdit(stored.value(i), this);
        field->setFixedWidth(150);
        field->setAccessibleName(u"Preset %1"_s.arg(i + 1));
        connect(field, &QLineEdit::textEdited, this, &RemindersPaneWidget::presetEdited);
        grid->addWidget(field, i, 1);
        presets_.append(field);
        QLabel* preview = roleLabel(LabelRole::Caption, QString(), this);
        grid->addWidget(preview, i, 2);
        previews_.append(preview);
    }
    layout->addLayout(grid);
    layout->addWidget(captionLabel(SettingsModel::Text::presetsCaption(), this));
    restore_ = new QPushButton(u"Restore Defaults"_s, this);
    connect(restore_, &QPushButton::clicked, this, &RemindersPaneWidget::restorePresets);
    auto* restoreRow = new QHBoxLayout;
    restoreRow->addStretch(1);
    restoreRow->addWidget(restore_);
    layout->addLayout(restoreRow);
    layout->addStretch(1);
    drawPreviews();
}

void RemindersPaneWidget::readStatus() {
    if (!scheduler_) {
        return;
    }
    scheduler_->status([pane = QPointer<RemindersPaneWidget>(this)](ReminderScheduler::Status status) {
        if (pane) {
            pane->showStatus(status);
        }
    });
}

void RemindersPaneWidget::showStatus(std::optional<ReminderScheduler::Status> status) {
    statusShown_ = status;
    const SettingsModel::NotificationRow row = SettingsModel::notificationRow(status);
    status_->setText(row.text);
    statusButton_->setText(row.buttonTitle);
    // A desktop whose notification settings the program cannot open gets no button that does nothing.
    const bool opens =
        row.button != SettingsModel::NotificationRow::Button::OpenSettings ||
        !ReminderScheduler::notificationSettingsCommands(qEnvironmentVariable("XDG_CURRENT_DESKTOP")).isEmpty();
    statusButton_->setVisible(row.button != SettingsModel::NotificationRow::Button::None && opens);
}

void RemindersPaneWidget::presetEdited() {
    QStringList list;
    for (const QLineEdit* field : std::as_const(presets_)) {
        list.append(field->text());
    }
    preferences_.setValue(PreferenceKey::reminderPresets, list);
    drawPreviews();
}

void RemindersPaneWidget::restorePresets() {
    const QStringList defaults = Preferences::defaultReminderPresets();
    for (int i = 0; i < presets_.size(); ++i) {
        presets_[i]->setText(defaults.value(i));
    }
    presetEdited();
}

void RemindersPaneWidget::drawPreviews() {
    const Instant now = clock_.now();
    const Calendar calendar = clock_.calendar();
    const Anchors anchors = preferences_.anchors();
    for (int i = 0; i < presets_.size(); ++i) {
        previews_[i]->setText(SettingsModel::presetPreview(presets_[i]->text(), now, anchors, calendar));
    }
}

} // namespace plim
