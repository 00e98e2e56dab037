#pragma once

#include "delivery/ReminderScheduler.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <optional>

QT_BEGIN_NAMESPACE
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;
QT_END_NAMESPACE

namespace plim {

class Clock;
class Preferences;

// The Reminders pane: whether notifications reach the user, whether this computer rings, the
// day's start and end, and the nine presets with what each would do now.
class RemindersPaneWidget final : public QWidget {
    Q_OBJECT
public:
    // Without a scheduler the notification row stays empty.
    RemindersPaneWidget(Preferences& preferences, const Clock& clock, QPointer<ReminderScheduler> scheduler,
                        QWidget* parent = nullptr);

    // Asks the scheduler whether notifications reach the user, and shows the answer when it comes.
    void readStatus();

    QLabel& notificationStatus() { return *status_; }
    QPushButton& notificationButton() { return *statusButton_; }
    QCheckBox& ringHereToggle() { return *ringHere_; }
    QTimeEdit& dayStartPicker() { return *dayStart_; }
    QTimeEdit& dayEndPicker() { return *dayEnd_; }
    QLineEdit& presetField(int index) { return *presets_.at(index); }
    QLabel& presetPreview(int index) { return *previews_.at(index); }
    QPushButton& restoreDefaultsButton() { return *restore_; }

private:
    void showStatus(std::optional<ReminderScheduler::Status> status);
    void presetEdited();
    void restorePresets();
    void drawPreviews();

    Preferences& preferences_;
    const Clock& clock_;
    QPointer<ReminderScheduler> scheduler_;
    QLabel* status_ = nullptr;
    QPushButton* statusButton_ = nullptr;
    std::optional<ReminderScheduler::Status> statusShown_;
    QCheckBox* ringHere_ = nullptr;
    QTimeEdit* dayStart_ = nullptr;
    QTimeEdit* dayEnd_ = nullptr;
    QList<QLineEdit*> presets_;
    QList<QLabel*> previews_;
    QPushButton* restore_ = nullptr;
};

} // namespace plim
