#pragma once

#include "delivery/Notifier.h"
#include "delivery/SystemEvents.h"
#include "notes/NotesDocument.h"
#include "reminders/Reminder.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace plim {

class NotesStore;

// Turns the reminders in the notes file into events in time. It keeps one timer armed for the next
// ring, posts a notification when a ring comes (when the user chose notifications), withdraws the
// notifications of entries that stopped ringing, and turns answers from notifications into store
// commands. Reminder state is never kept here: every pass derives it from the document and the
// clock; what is kept is which notifications are on screen.
class ReminderScheduler : public QObject {
    Q_OBJECT
public:
    // The permission for the program's notifications, as the settings show it.
    enum class Status { Off, Denied, Temporary, Persistent };

    // An upcoming ring that gets a notification when it comes.
    struct Pending {
        QUuid entry;
        Instant ring;
        friend bool operator==(const Pending&, const Pending&) = default;
    };

    // A program the desktop opens its notification settings with.
    struct Command {
        QString program;
        QStringList arguments;
        friend bool operator==(const Command&, const Command&) = default;
    };

    static constexpr int pendingLimit = 60;
    // The timer fires this long after a ring, so its pass already counts the entry as ringing.
    static constexpr std::chrono::milliseconds timerDelay{1000};

    // Observes the store, its preferences, the notifier and the system events, becomes `shared`
    // and runs the first pass. At that pass, entries already ringing get one summary notification
    // instead of one each.
    ReminderScheduler(NotesStore& store, std::unique_ptr<Notifier> notifier, std::unique_ptr<SystemEvents> events,
                      QObject* parent = nullptr);
    ~ReminderScheduler() override;

    // The newest scheduler; none once it is gone.
    static ReminderScheduler* shared();

    // The pass: rings, timer, deliveries and withdrawals from the current document and clock.
    // Running it twice in a row does what running it once does.
    void reconcile();

    // Chooses notifications for reminders and announces the preferences once the notification
    // server has answered.
    void requestNotifications();
    // The permission as far as the desktop tells it, and Off while the user has not chosen
    // notifications; `completion` runs later, on this thread.
    void status(std::function<void(Status)> completion);
    // Opens the desktop's notification settings where it has known ones; false when none opened.
    static bool openNotificationSettings();
    // The commands that open the notification settings of a desktop ($XDG_CURRENT_DESKTOP), in the
    // order to try them.
    static QList<Command> notificationSettingsCommands(QStringView currentDesktop);

    // Rebuilds the answer buttons of each category from the preferences (the quick-snooze title
    // names the first reminder preset).
    void registerCategories();
    // What the notification of `entry` shows for its ring at `ringingAt`.
    NotificationContent content(const Entry& entry, Instant ringingAt) const;
    // An answer to a notification: "default", "done", "dismiss", "quick-snooze", "snooze" (with the
    // typed text). An entry that is gone is left alone.
    void handle(const QString& action, const std::optional<QUuid>& entryID, const std::optional<QString>& typed);
    // Reads a when-phrase and snoozes, sets or replaces the entry's reminder; an unreadable phrase
    // leaves the file alone and goes to `unreadable`.
    void apply(const QString& phrase, const Entry& entry);

    // --- State of the last pass, for the settings and for tests ---
    const QList<Pending>& pending() const { return pending_; }
    std::optional<Instant> timerDeadline() const { return timerDeadline_; }
    // Entries whose notification is on screen (or on its way there), in no particular order.
    QList<QUuid> delivered() const;
    bool summaryDelivered() const;
    // The server's id for the entry's notification (the summary's for the null UUID), once the
    // server has answered.
    std::optional<quint32> serverId(const QUuid& entry) const;

    // "3 reminders are ringing", "1 reminder is ringing".
    static QString summaryTitle(int ringing);
    static NotificationContent summaryContent(int ringing);

Q_SIGNALS:
    // A pass driven by time (the timer, a clock, day or time-zone change, a wake) ran: entries may
    // have started or stopped ringing without the file changing.
    void ringingChanged();
    // Open the notes window on an entry, or on "Now" for none.
    void openRequested(std::optional<QUuid> entry);
    // A typed snooze phrase could not be read: open the entry with the phrase in its when field.
    void unreadable(QUuid entry, QString phrase);
    // The notification's "Snooze until…" was pressed where the desktop cannot take typed text:
    // open the entry with its when field open and empty.
    void snoozeAsked(QUuid entry);

private:
    struct Delivery {
        quint32 serverId = 0; // 0 while the server has not answered
        quint64 generation = 0;
        QString quickSnooze; // the preset the quick-snooze button names
    };

    void timePass();
    void onPreferencesChanged();
    void deliver(const QUuid& key, const NotificationContent& content, const QString& quickSnooze);
    void posted(const QUuid& key, quint64 generation, const QString& quickSnooze, std::optional<quint32> serverId);
    // Whether the entry (for the null UUID: any entry) rings now, with notifications on.
    bool stillRinging(const QUuid& key) const;
    void withdraw(const QUuid& key);
    void withdrawAll();
    std::optional<QUuid> keyOf(quint32 serverId) const;
    void onAction(quint32 serverId, const QString& action);
    void onReplied(quint32 serverId, const QString& text);
    void onClosed(quint32 serverId);
    void respond(const QString& action, const std::optional<QUuid>& entryID, const std::optional<QString>& typed,
                 const QString& quickSnooze);
    QString firstPreset() const;

    NotesStore& store_;
    std::unique_ptr<Notifier> notifier_;
    std::unique_ptr<SystemEvents> events_;
    QHash<QString, QList<NotificationAction>> categories_;
    QString quickSnooze_; // the preset the categories' quick-snooze button names
    QList<Pending> pending_;
    QSet<QUuid> pendingRinging_; // pending entries that were already ringing at the last pass
    std::optional<Instant> timerDeadline_;
    // Keyed by entry; the null UUID is the summary shown at start.
    std::map<QUuid, Delivery> delivered_;
    quint64 generations_ = 0;
    bool firstPass_ = true;
};

} // namespace plim
