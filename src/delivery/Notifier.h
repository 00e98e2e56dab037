#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace plim {

// One answer a notification offers. A text-input action asks for a line of text where the desktop
// can take one in the notification itself.
struct NotificationAction {
    QString identifier;
    QString title;
    bool textInput = false;
    QString textInputButton; // the button that sends the typed text
    QString placeholder;
    friend bool operator==(const NotificationAction&, const NotificationAction&) = default;
};

// The thread of every reminder notification; the desktop shows these as reminders.
inline constexpr QLatin1String kRemindersThread{"plim.reminders"};

// What one notification shows and carries. A click on the notification itself is always the action
// "default"; it is not listed in `actions`.
struct NotificationContent {
    QString identifier; // stable per subject: "entry." + the entry's UUID
    QString title;
    QString body;
    QString subtitle;
    QString category; // "once", "untilDone", "routine"; empty for none
    QString thread;   // groups the program's notifications
    QString entry;    // the entry's UUID as canonical text; empty for none
    QList<NotificationAction> actions;
    friend bool operator==(const NotificationContent&, const NotificationContent&) = default;
};

// What the notification server can do.
struct NotifierCapabilities {
    bool available = false; // a server answered
    bool actions = false;
    bool inlineReply = false;
    bool persistence = false; // notifications stay until acted on
    friend bool operator==(const NotifierCapabilities&, const NotifierCapabilities&) = default;
};

// The desktop's notification server. Every call returns at once; answers come later on the thread
// that made the call, or never when the caller is gone.
class Notifier : public QObject {
    Q_OBJECT
public:
    using Posted = std::function<void(std::optional<quint32> serverId)>;
    using CapabilitiesAnswer = std::function<void(const NotifierCapabilities&)>;

    using QObject::QObject;
    ~Notifier() override = default;

    // Shows `content`, in place of the notification `replaces` when that is not 0. `posted` gets the
    // server's id, or none when the server could not be reached or did not answer in time. A server
    // that answers after that time gets `posted` called once more, with the id of what it showed.
    virtual void post(const NotificationContent& content, quint32 replaces, Posted posted) = 0;
    // Takes a notification off the screen; an unknown id is no error.
    virtual void close(quint32 serverId) = 0;
    virtual void capabilities(CapabilitiesAnswer answer) = 0;

Q_SIGNALS:
    // A button or the notification itself ("default") was clicked.
    void actionInvoked(quint32 serverId, const QString& action);
    // Text was typed into the notification's text-input action.
    void replied(quint32 serverId, const QString& text);
    // The notification left the screen (expired, dismissed, or closed by the program).
    void closed(quint32 serverId);
};

} // namespace plim
