#pragma once

#include "store/Preferences.h"

#include <QObject>

#include <optional>

namespace plim {

class LaunchAtLogin;

// The questions the notes window asks once: how reminders ring (when the first reminder is set or
// listed), then whether plim starts at login.
class FirstRun final : public QObject {
    Q_OBJECT

public:
    enum class Question { Delivery, LaunchAtLogin };

    FirstRun(Preferences& preferences, LaunchAtLogin& launchAtLogin, QObject* parent = nullptr);

    // The question shown, if any.
    const std::optional<Question>& asked() const { return asked_; }
    // A reminder was set, or listed while waitsForReminder: how reminders ring is asked until it
    // is answered.
    void reminderSet();
    // No question is shown and how reminders ring was never answered.
    bool waitsForReminder() const;

    void chooseDelivery(ReminderDelivery delivery);
    void answerLaunchAtLogin(bool yes);

Q_SIGNALS:
    void askedChanged();
    // Notifications were chosen: whoever delivers them stores "notification" as the delivery and
    // asks the desktop for permission. Unanswered, choosing notifications stores nothing.
    void notificationsRequested();

private:
    void ask(std::optional<Question> question);

    Preferences& preferences_;
    LaunchAtLogin& launchAtLogin_;
    std::optional<Question> asked_;
};

} // namespace plim
