#include "ui/manage/FirstRun.h"

#include "platform/LaunchAtLogin.h"

namespace plim {

FirstRun::FirstRun(Preferences& preferences, LaunchAtLogin& launchAtLogin, QObject* parent)
    : QObject(parent)
    , preferences_(preferences)
    , launchAtLogin_(launchAtLogin) {}

void FirstRun::ask(std::optional<Question> question) {
    if (asked_ != question) {
        asked_ = question;
        Q_EMIT askedChanged();
    }
}

void FirstRun::reminderSet() {
    if (preferences_.reminderDelivery() == ReminderDelivery::Unset) {
        ask(Question::Delivery);
    }
}

bool FirstRun::waitsForReminder() const {
    return !asked_ && preferences_.reminderDelivery() == ReminderDelivery::Unset;
}

void FirstRun::chooseDelivery(ReminderDelivery delivery) {
    switch (delivery) {
    case ReminderDelivery::Unset:
        return; // not an answer
    case ReminderDelivery::Notification:
        Q_EMIT notificationsRequested();
        break;
    case ReminderDelivery::Dot:
        preferences_.setValue(PreferenceKey::reminderDelivery, toRaw(ReminderDelivery::Dot));
        break;
    }
    if (!launchAtLogin_.isRegistered() && !preferences_.launchAtLoginOffered()) {
        ask(Question::LaunchAtLogin);
    } else {
        ask(std::nullopt);
    }
}

void FirstRun::answerLaunchAtLogin(bool yes) {
    preferences_.setValue(PreferenceKey::launchAtLoginOffered, true);
    if (yes) {
        launchAtLogin_.setRegistered(true);
    }
    ask(std::nullopt);
}

} // namespace plim
