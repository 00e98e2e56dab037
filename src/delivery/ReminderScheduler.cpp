#include "delivery/ReminderScheduler.h"

#include "reminders/EntryReminders.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"

#include <QProcess>

#include <algorithm>
#include <utility>
#include <vector>

namespace plim {

namespace {

QPointer<ReminderScheduler> sharedInstance;

const QString kSummaryIdentifier = QStringLiteral("plim.ringing");

QString canonical(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// Off until the user chose notifications: the settings then offer to turn them on.
ReminderScheduler::Status statusFor(const NotifierCapabilities& caps, ReminderDelivery delivery) {
    if (!caps.available) {
        return ReminderScheduler::Status::Denied;
    }
    if (delivery != ReminderDelivery::Notification) {
        return ReminderScheduler::Status::Off;
    }
    return caps.persistence ? ReminderScheduler::Status::Persistent : ReminderScheduler::Status::Temporary;
}

} // namespace

ReminderScheduler::ReminderScheduler(NotesStore& store, std::unique_ptr<Notifier> notifier,
                                     std::unique_ptr<SystemEvents> events, QObject* parent)
    : QObject(parent)
    , store_(store)
    , notifier_(std::move(notifier))
    , events_(std::move(events)) {
    sharedInstance = this;
    registerCategories();

    connect(&store_, &NotesStore::changed, this, &ReminderScheduler::reconcile);
    connect(&store_.preferences(), &Preferences::changed, this, &ReminderScheduler::onPreferencesChanged);

    SystemEvents* ev = events_.get();
    connect(ev, &SystemEvents::fired, this, &ReminderScheduler::timePass);
    connect(ev, &SystemEvents::clockChanged, this, &ReminderScheduler::timePass);
    connect(ev, &SystemEvents::dayChanged, this, &ReminderScheduler::timePass);
    connect(ev, &SystemEvents::timeZoneChanged, this, &ReminderScheduler::timePass);
    connect(ev, &SystemEvents::woke, this, &ReminderScheduler::timePass);

    Notifier* n = notifier_.get();
    connect(n, &Notifier::actionInvoked, this, &ReminderScheduler::onAction);
    connect(n, &Notifier::replied, this, &ReminderScheduler::onReplied);
    connect(n, &Notifier::closed, this, &ReminderScheduler::onClosed);

    reconcile();
}

ReminderScheduler::~ReminderScheduler() = default;

ReminderScheduler* ReminderScheduler::shared() {
    return sharedInstance.data();
}

// --- The pass ---

void ReminderScheduler::reconcile() {
    const Clock& clock = store_.clock();
    const Instant now = clock.now();
    const Calendar calendar = clock.calendar();
    const Preferences& prefs = store_.preferences();
    const Anchors anchors = prefs.anchors();

    struct Upcoming {
        const Entry* entry;
        Instant ring;
        std::size_t order; // ties go in the document's order
        bool ringing;
    };
    std::vector<const Entry*> ringing;
    std::vector<Upcoming> upcoming;
    // From the store's facts kept day by day: only the days changed since the last pass are read
    // again, and a repeat's next ring is worked out again only once it has come.
    for (const EntryCounts::Reminding& r : store_.counts().reminders(now, calendar, anchors)) {
        if (r.ringing) {
            ringing.push_back(r.entry);
        }
        if (r.upcoming) {
            upcoming.push_back({r.entry, *r.upcoming, upcoming.size(), r.ringing});
        }
    }
    // Only the earliest are used: the timer's and the pending ones.
    const std::size_t pendingCount = std::min<std::size_t>(upcoming.size(), pendingLimit);
    std::partial_sort(
        upcoming.begin(), upcoming.begin() + static_cast<std::ptrdiff_t>(pendingCount), upcoming.end(),
        [](const Upcoming& a, const Upcoming& b) { return a.ring != b.ring ? a.ring < b.ring : a.order < b.order; });

    timerDeadline_ = upcoming.empty() ? std::nullopt : std::optional<Instant>(upcoming.front().ring + timerDelay);
    events_->arm(timerDeadline_);

    const bool wasFirst = std::exchange(firstPass_, false);
    const QList<Pending> previous = std::exchange(pending_, {});
    const QSet<QUuid> previouslyRinging = std::exchange(pendingRinging_, {});
    const bool notify = prefs.reminderDelivery() == ReminderDelivery::Notification && prefs.ringOnThisMac();
    if (!notify) {
        withdrawAll();
        return;
    }

    // Whether an entry rings is asked only of the rings that were pending and of the notifications
    // on screen.
    QSet<QUuid> asked;
    for (const Pending& p : previous) {
        asked.insert(p.entry);
    }
    for (const auto& [key, delivery] : delivered_) {
        asked.insert(key);
    }
    QHash<QUuid, const Entry*> ringingByID;
    for (std::size_t i = 0; i < ringing.size() && !asked.isEmpty(); ++i) {
        if (asked.contains(ringing[i]->id)) {
            ringingByID.insert(ringing[i]->id, ringing[i]);
        }
    }
    pending_.reserve(static_cast<qsizetype>(pendingCount));
    for (std::size_t i = 0; i < pendingCount; ++i) {
        const QUuid& id = upcoming[i].entry->id;
        pending_.append(Pending{id, upcoming[i].ring});
        if (upcoming[i].ringing) {
            pendingRinging_.insert(id);
        }
    }

    // A pending ring has come when its entry started ringing since the last pass (the time came,
    // or the clock or the zone moved past it) or, for an entry that was already ringing, when the
    // ring it was waiting for is due: that later ring takes the place of the earlier notification.
    QSet<QUuid> shown;
    for (const Pending& p : previous) {
        const Entry* e = ringingByID.value(p.entry);
        if (!e || shown.contains(p.entry) || (p.ring > now && previouslyRinging.contains(p.entry))) {
            continue;
        }
        shown.insert(p.entry);
        deliver(p.entry, content(*e, now), quickSnooze_);
    }

    QList<QUuid> stopped;
    for (const auto& [key, delivery] : delivered_) {
        if (!key.isNull() && !ringingByID.contains(key)) {
            stopped.append(key);
        }
    }
    for (const QUuid& key : stopped) {
        withdraw(key);
    }

    if (wasFirst && !ringing.empty()) {
        deliver(QUuid(), summaryContent(static_cast<int>(ringing.size())), QString());
    } else if (ringing.empty()) {
        withdraw(QUuid());
    }
}

void ReminderScheduler::timePass() {
    reconcile();
    Q_EMIT ringingChanged();
}

void ReminderScheduler::onPreferencesChanged() {
    registerCategories();
    reconcile();
}

// --- Notifications on screen ---

void ReminderScheduler::deliver(const QUuid& key, const NotificationContent& content, const QString& quickSnooze) {
    Delivery& d = delivered_[key];
    const quint32 replaces = d.serverId;
    d.generation = ++generations_;
    d.quickSnooze = quickSnooze;
    const quint64 generation = d.generation;
    // The notifier may answer at once; nothing here is touched after the call.
    notifier_->post(content, replaces,
                    [self = QPointer<ReminderScheduler>(this), key, generation, quickSnooze](auto serverId) {
                        if (self) {
                            self->posted(key, generation, quickSnooze, serverId);
                        }
                    });
}

void ReminderScheduler::posted(const QUuid& key, quint64 generation, const QString& quickSnooze,
                               std::optional<quint32> serverId) {
    const auto it = delivered_.find(key);
    const bool current = it != delivered_.end() && it->second.generation == generation;
    if (!serverId) {
        // Not shown. A notification it was to replace stays on screen and in the record.
        if (current && it->second.serverId == 0) {
            delivered_.erase(it);
        }
        return;
    }
    if (current) {
        it->second.serverId = *serverId;
        return;
    }
    // Shown after all, once the notifier had given up on it: kept where nothing took its place
    // and its subject still rings.
    if (it == delivered_.end() && stillRinging(key)) {
        delivered_[key] = Delivery{*serverId, ++generations_, quickSnooze};
        return;
    }
    // Withdrawn or replaced again while the server was answering.
    if (it == delivered_.end() || it->second.serverId != *serverId) {
        notifier_->close(*serverId);
    }
}

bool ReminderScheduler::stillRinging(const QUuid& key) const {
    const Preferences& prefs = store_.preferences();
    if (prefs.reminderDelivery() != ReminderDelivery::Notification || !prefs.ringOnThisMac()) {
        return false;
    }
    const Clock& clock = store_.clock();
    const Calendar calendar = clock.calendar();
    if (key.isNull()) {
        return !EntryReminders::ringing(store_.document(), clock.now(), calendar, prefs.anchors()).isEmpty();
    }
    const auto entry = store_.document().entry(key);
    return entry && EntryReminders::isRinging(*entry, clock.now(), calendar, prefs.anchors());
}

void ReminderScheduler::withdraw(const QUuid& key) {
    const auto it = delivered_.find(key);
    if (it == delivered_.end()) {
        return;
    }
    const quint32 serverId = it->second.serverId;
    delivered_.erase(it);
    if (serverId != 0) {
        notifier_->close(serverId);
    }
}

void ReminderScheduler::withdrawAll() {
    const auto all = std::exchange(delivered_, {});
    for (const auto& [key, delivery] : all) {
        if (delivery.serverId != 0) {
            notifier_->close(delivery.serverId);
        }
    }
}

QList<QUuid> ReminderScheduler::delivered() const {
    QList<QUuid> out;
    for (const auto& [key, delivery] : delivered_) {
        if (!key.isNull()) {
            out.append(key);
        }
    }
    return out;
}

bool ReminderScheduler::summaryDelivered() const {
    return delivered_.contains(QUuid());
}

std::optional<quint32> ReminderScheduler::serverId(const QUuid& entry) const {
    const auto it = delivered_.find(entry);
    if (it == delivered_.end() || it->second.serverId == 0) {
        return std::nullopt;
    }
    return it->second.serverId;
}

std::optional<QUuid> ReminderScheduler::keyOf(quint32 serverId) const {
    if (serverId == 0) {
        return std::nullopt;
    }
    for (const auto& [key, delivery] : delivered_) {
        if (delivery.serverId == serverId) {
            return key;
        }
    }
    return std::nullopt;
}

QString ReminderScheduler::summaryTitle(int ringing) {
    return ringing == 1 ? QStringLiteral("1 reminder is ringing")
                        : QString::number(ringing) + QStringLiteral(" reminders are ringing");
}

NotificationContent ReminderScheduler::summaryContent(int ringing) {
    NotificationContent c;
    c.identifier = kSummaryIdentifier;
    c.title = summaryTitle(ringing);
    c.thread = kRemindersThread;
    return c;
}

// --- Content and answers ---

QString ReminderScheduler::firstPreset() const {
    const QStringList presets = store_.preferences().reminderPresets();
    return presets.isEmpty() ? QString() : presets.first().trimmed();
}

void ReminderScheduler::registerCategories() {
    quickSnooze_ = firstPreset();
    const NotificationAction done{QStringLiteral("done"), QStringLiteral("Done"), false, {}, {}};
    const NotificationAction snooze{QStringLiteral("snooze"), QStringLiteral("Snooze until…"), true,
                                    QStringLiteral("Snooze"), QStringLiteral("20m, tomorrow 9am, fri")};
    const NotificationAction stop{QStringLiteral("dismiss"), QStringLiteral("Stop reminding"), false, {}, {}};
    const NotificationAction skip{QStringLiteral("dismiss"), QStringLiteral("Skip"), false, {}, {}};

    QList<NotificationAction> once{done};
    if (!quickSnooze_.isEmpty()) {
        once.append(NotificationAction{
            QStringLiteral("quick-snooze"), QStringLiteral("Snooze ") + quickSnooze_, false, {}, {}});
    }
    once << snooze << stop;
    const QList<NotificationAction> repeating{done, skip, snooze};
    categories_ = {{QStringLiteral("once"), once},
                   {QStringLiteral("untilDone"), repeating},
                   {QStringLiteral("routine"), repeating}};
}

NotificationContent ReminderScheduler::content(const Entry& entry, Instant ringingAt) const {
    NotificationContent c;
    c.identifier = QStringLiteral("entry.") + canonical(entry.id);
    const qsizetype lineEnd = entry.text.indexOf(u'\n');
    c.title = lineEnd < 0 ? entry.text : entry.text.left(lineEnd);
    c.body = lineEnd < 0 ? QString() : entry.text.mid(lineEnd + 1);
    const Calendar calendar = store_.clock().calendar();
    if (const auto reminder = EntryReminders::reminder(entry, calendar, store_.preferences().anchors())) {
        c.subtitle = reminder->subtitle(reminder->unansweredRings(ringingAt, calendar));
        c.category = !reminder->rule     ? QStringLiteral("once")
                     : reminder->routine ? QStringLiteral("routine")
                                         : QStringLiteral("untilDone");
        c.actions = categories_.value(c.category);
    }
    c.thread = kRemindersThread;
    c.entry = canonical(entry.id);
    return c;
}

void ReminderScheduler::handle(const QString& action, const std::optional<QUuid>& entryID,
                               const std::optional<QString>& typed) {
    respond(action, entryID, typed, firstPreset());
}

void ReminderScheduler::respond(const QString& action, const std::optional<QUuid>& entryID,
                                const std::optional<QString>& typed, const QString& quickSnooze) {
    if (action == u"default") {
        Q_EMIT openRequested(entryID);
        return;
    }
    if (!entryID) {
        return;
    }
    const auto entry = store_.document().entry(*entryID);
    if (!entry) {
        return;
    }
    if (action == u"done") {
        store_.answer(entry->id, NotesDocument::Answer{NotesDocument::Answer::Done{}});
    } else if (action == u"dismiss") {
        store_.answer(entry->id, NotesDocument::Answer{NotesDocument::Answer::Dismiss{}});
    } else if (action == u"quick-snooze") {
        if (!quickSnooze.isEmpty()) {
            apply(quickSnooze, *entry);
        }
    } else if (action == u"snooze") {
        if (typed && !typed->trimmed().isEmpty()) {
            apply(*typed, *entry);
        }
    }
}

void ReminderScheduler::apply(const QString& phrase, const Entry& entry) {
    const Clock& clock = store_.clock();
    const Calendar calendar = clock.calendar();
    const Anchors anchors = store_.preferences().anchors();
    const auto parsed = Reminder::parse(phrase, clock.now(), anchors, calendar);
    if (!parsed) {
        Q_EMIT unreadable(entry.id, phrase.trimmed());
        return;
    }
    // A repeating phrase, or a first reminder, is set as it is; a one-time phrase on an entry that
    // has a reminder snoozes that reminder.
    if (parsed->rule || !EntryReminders::reminder(entry, calendar, anchors)) {
        store_.setReminder(entry.id, parsed);
        return;
    }
    store_.answer(entry.id, NotesDocument::Answer{NotesDocument::Answer::Snooze{parsed->next}});
}

// Answers from the notification server. The program closes the notification itself: not every
// server does after an action.
void ReminderScheduler::onAction(quint32 serverId, const QString& action) {
    const auto key = keyOf(serverId);
    if (!key) {
        return;
    }
    const QString quickSnooze = delivered_[*key].quickSnooze;
    delivered_.erase(*key);
    notifier_->close(serverId);
    if (key->isNull()) {
        if (action == u"default") {
            Q_EMIT openRequested(std::nullopt);
        }
        return;
    }
    if (action == u"snooze") {
        // Only a server without typed replies sends the plain button.
        if (store_.document().entry(*key)) {
            Q_EMIT snoozeAsked(*key);
        }
        return;
    }
    // The quick-snooze button does what its title said when it was shown.
    respond(action, *key, std::nullopt, quickSnooze);
}

void ReminderScheduler::onReplied(quint32 serverId, const QString& text) {
    const auto key = keyOf(serverId);
    if (!key) {
        return;
    }
    delivered_.erase(*key);
    notifier_->close(serverId);
    if (!key->isNull()) {
        respond(QStringLiteral("snooze"), *key, text, QString());
    }
}

void ReminderScheduler::onClosed(quint32 serverId) {
    if (const auto key = keyOf(serverId)) {
        delivered_.erase(*key);
    }
}

// --- Permission and settings ---

void ReminderScheduler::requestNotifications() {
    Preferences& prefs = store_.preferences();
    prefs.setValue(PreferenceKey::reminderDelivery, toRaw(ReminderDelivery::Notification), Preferences::Announce::No);
    // The notifier belongs to this scheduler, so it cannot answer after the scheduler is gone.
    notifier_->capabilities([this](const NotifierCapabilities&) { Q_EMIT store_.preferences().changed(); });
}

void ReminderScheduler::status(std::function<void(Status)> completion) {
    // The delivery is read when the server answers, so a choice made meanwhile counts.
    notifier_->capabilities([this, completion = std::move(completion)](const NotifierCapabilities& caps) {
        completion(statusFor(caps, store_.preferences().reminderDelivery()));
    });
}

QList<ReminderScheduler::Command> ReminderScheduler::notificationSettingsCommands(QStringView currentDesktop) {
    QList<Command> out;
    for (const QStringView desktop : currentDesktop.split(u':', Qt::SkipEmptyParts)) {
        if (desktop.compare(u"GNOME", Qt::CaseInsensitive) == 0) {
            out.append({QStringLiteral("gnome-control-center"), {QStringLiteral("notifications")}});
        } else if (desktop.compare(u"KDE", Qt::CaseInsensitive) == 0) {
            out.append({QStringLiteral("systemsettings"), {QStringLiteral("kcm_notifications")}});
            out.append({QStringLiteral("systemsettings5"), {QStringLiteral("kcm_notifications")}});
        }
    }
    return out;
}

bool ReminderScheduler::openNotificationSettings() {
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    for (const Command& command : notificationSettingsCommands(desktop)) {
        if (QProcess::startDetached(command.program, command.arguments)) {
            return true;
        }
    }
    return false;
}

} // namespace plim
