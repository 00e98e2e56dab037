#include "platform/linux/PortalHotKeys.h"

#include "platform/linux/ActivationToken.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSet>

#include <algorithm>

#include <utility>

namespace plim {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

// Request answers besides success: 1 the user cancelled, 2 anything else.
constexpr uint kOtherFailure = 2;

// The keysym names of the keys a stored shortcut can hold.
std::optional<QString> keyName(Qt::Key key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return QString(QChar(key)).toLower();
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    }
    static const std::map<Qt::Key, const char*> names = {
        {Qt::Key_Space, "space"},
        {Qt::Key_Return, "Return"},
        {Qt::Key_Enter, "KP_Enter"},
        {Qt::Key_Tab, "Tab"},
        {Qt::Key_Backspace, "BackSpace"},
        {Qt::Key_Escape, "Escape"},
        {Qt::Key_Delete, "Delete"},
        {Qt::Key_Insert, "Insert"},
        {Qt::Key_Home, "Home"},
        {Qt::Key_End, "End"},
        {Qt::Key_PageUp, "Prior"},
        {Qt::Key_PageDown, "Next"},
        {Qt::Key_Left, "Left"},
        {Qt::Key_Right, "Right"},
        {Qt::Key_Up, "Up"},
        {Qt::Key_Down, "Down"},
        {Qt::Key_Help, "Help"},
        {Qt::Key_Equal, "equal"},
        {Qt::Key_Minus, "minus"},
        {Qt::Key_BracketLeft, "bracketleft"},
        {Qt::Key_BracketRight, "bracketright"},
        {Qt::Key_Apostrophe, "apostrophe"},
        {Qt::Key_Semicolon, "semicolon"},
        {Qt::Key_Backslash, "backslash"},
        {Qt::Key_Comma, "comma"},
        {Qt::Key_Slash, "slash"},
        {Qt::Key_Period, "period"},
        {Qt::Key_QuoteLeft, "grave"},
        {Qt::Key_VolumeUp, "XF86AudioRaiseVolume"},
        {Qt::Key_VolumeDown, "XF86AudioLowerVolume"},
        {Qt::Key_VolumeMute, "XF86AudioMute"},
    };
    const auto found = names.find(key);
    if (found == names.end()) {
        return std::nullopt;
    }
    return QString::fromLatin1(found->second);
}

// The bus name of this connection as it appears in request paths: ":1.42" is "1_42".
QString senderPart(const QDBusConnection& bus) {
    QString name = bus.baseService();
    if (name.startsWith(QLatin1Char(':'))) {
        name.remove(0, 1);
    }
    return name.replace(QLatin1Char('.'), QLatin1Char('_'));
}

// An object path, whether sent as one or as a string.
QString pathOf(const QVariant& value) {
    return value.userType() == qMetaTypeId<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path()
                                                              : value.toString();
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& shortcut) {
    out.beginStructure();
    out << shortcut.id << shortcut.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& shortcut) {
    in.beginStructure();
    in >> shortcut.id >> shortcut.properties;
    in.endStructure();
    return in;
}

PortalHotKeys::PortalHotKeys(const QDBusConnection& bus, std::chrono::milliseconds answerWithin, QObject* parent)
    : GlobalHotKeys(parent)
    , bus_(bus)
    , answerWithin_(answerWithin) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    answerTimer_.setSingleShot(true);
    connect(&answerTimer_, &QTimer::timeout, this, &PortalHotKeys::giveUp);
    // Grabs made one after another at start go to the portal as one bind.
    bindTimer_.setSingleShot(true);
    bindTimer_.setInterval(0);
    connect(&bindTimer_, &QTimer::timeout, this, &PortalHotKeys::bind);
    if (!bus_.isConnected()) {
        // Nobody listens yet: those who ask read isAvailable().
        state_ = State::Unavailable;
        return;
    }
    openSession();
}

PortalHotKeys::~PortalHotKeys() {
    if (!session_.isEmpty() && bus_.isConnected()) {
        bus_.call(QDBusMessage::createMethodCall(kService, session_, kSession, QStringLiteral("Close")),
                  QDBus::NoBlock);
    }
}

std::optional<QString> PortalHotKeys::trigger(QKeyCombination combination) {
    const auto key = keyName(combination.key());
    if (!key) {
        return std::nullopt;
    }
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    QStringList parts;
    if (modifiers & Qt::ControlModifier) {
        parts.append(QStringLiteral("CTRL"));
    }
    if (modifiers & Qt::AltModifier) {
        parts.append(QStringLiteral("ALT"));
    }
    if (modifiers & Qt::ShiftModifier) {
        parts.append(QStringLiteral("SHIFT"));
    }
    if (modifiers & Qt::MetaModifier) {
        parts.append(QStringLiteral("LOGO"));
    }
    parts.append(*key);
    return parts.join(QLatin1Char('+'));
}

QString PortalHotKeys::idOf(QKeyCombination combination) const {
    if (const auto found = ids_.find(combination.toCombined()); found != ids_.end()) {
        return found->second;
    }
    return trigger(combination).value_or(QStringLiteral("key-%1").arg(combination.toCombined(), 0, 16));
}

std::optional<GlobalHotKeys::Refusal> PortalHotKeys::grab(QKeyCombination combination) {
    const QString id = idOf(combination);
    if (held_.count(id) == 0) {
        held_.emplace(id, combination);
        scheduleBind();
    }
    return std::nullopt;
}

void PortalHotKeys::release(QKeyCombination combination) {
    if (held_.erase(idOf(combination)) != 0) {
        scheduleBind();
    }
}

void PortalHotKeys::describe(QKeyCombination combination, const QString& id, const QString& what) {
    ids_[combination.toCombined()] = id;
    QString& description = descriptions_[id];
    if (description != what) {
        description = what;
        if (held_.count(id) != 0) {
            scheduleBind();
        }
    }
}

std::optional<QString> PortalHotKeys::keysOf(QKeyCombination combination) const {
    const QString id = idOf(combination);
    const auto held = held_.find(id);
    const auto keys = triggers_.find(id);
    if (held == held_.end() || held->second != combination || keys == triggers_.end() || keys->second.isEmpty()) {
        return std::nullopt;
    }
    return keys->second;
}

void PortalHotKeys::readTriggers(const QList<PortalShortcut>& shortcuts) {
    bool changed = false;
    for (const PortalShortcut& s : shortcuts) {
        const QString keys = s.properties.value(QStringLiteral("trigger_description")).toString();
        QString& known = triggers_[s.id];
        changed = changed || known != keys;
        known = keys;
    }
    if (changed) {
        Q_EMIT keysChanged();
    }
}

QString PortalHotKeys::expectResponse(const QString& token) {
    const QString path = QStringLiteral("%1/request/%2/%3").arg(kPath, senderPart(bus_), token);
    bus_.connect(kService, path, kRequest, QStringLiteral("Response"), this, SLOT(onResponse(QDBusMessage)));
    return path;
}

void PortalHotKeys::forgetResponse(QString& requestPath) {
    if (!requestPath.isEmpty()) {
        bus_.disconnect(kService, requestPath, kRequest, QStringLiteral("Response"), this,
                        SLOT(onResponse(QDBusMessage)));
        requestPath.clear();
    }
}

void PortalHotKeys::openSession() {
    if (tokens_ == 0) {
        // Names the program to a portal that asks host programs who they are (their desktop file);
        // an older one, or a connection already named, refuses, which changes nothing.
        QDBusMessage name = QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
        name << QStringLiteral("plim") << QVariantMap();
        bus_.call(name, QDBus::NoBlock);
    }
    state_ = State::Opening;
    const QString token = QStringLiteral("plim%1").arg(++tokens_);
    sessionRequest_ = expectResponse(token);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CreateSession"));
    call << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("session_handle_token"), QStringLiteral("plim_session%1").arg(tokens_)}};
    answerTimer_.start(answerWithin_);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, static_cast<int>(answerWithin_.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            // No portal, or one without global shortcuts.
            giveUp();
            return;
        }
        // A portal older than handle tokens answers on a path of its own choosing.
        const QString path = reply.value().path();
        if (state_ == State::Opening && path != sessionRequest_) {
            forgetResponse(sessionRequest_);
            sessionRequest_ = path;
            bus_.connect(kService, path, kRequest, QStringLiteral("Response"), this, SLOT(onResponse(QDBusMessage)));
        }
    });
}

void PortalHotKeys::onResponse(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2) {
        return;
    }
    const uint response = args.at(0).toUInt();
    const QVariantMap results = qdbus_cast<QVariantMap>(args.at(1));
    if (message.path() == sessionRequest_) {
        forgetResponse(sessionRequest_);
        if (response != 0) {
            giveUp();
            return;
        }
        onSessionOpened(results);
    } else if (message.path() == bindRequest_) {
        forgetResponse(bindRequest_);
        onBound(response, results);
    }
}

void PortalHotKeys::onSessionOpened(const QVariantMap& results) {
    session_ = pathOf(results.value(QStringLiteral("session_handle")));
    if (session_.isEmpty() || state_ == State::Unavailable) {
        giveUp();
        return;
    }
    answerTimer_.stop();
    state_ = State::Open;
    if (!listening_) {
        listening_ = bus_.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                                  SLOT(onActivated(QDBusMessage))) &&
                     bus_.connect(kService, kPath, kInterface, QStringLiteral("ShortcutsChanged"), this,
                                  SLOT(onShortcutsChanged(QDBusMessage)));
    }
    bind();
}

QList<PortalShortcut> PortalHotKeys::wanted() const {
    QList<PortalShortcut> list;
    for (const auto& [id, combination] : held_) {
        const auto described = descriptions_.find(id);
        QVariantMap properties{
            {QStringLiteral("description"), described != descriptions_.end() ? described->second : id}};
        if (const auto preferred = trigger(combination)) {
            properties.insert(QStringLiteral("preferred_trigger"), *preferred);
        }
        list.append({id, properties});
    }
    return list;
}

void PortalHotKeys::scheduleBind() {
    if (state_ != State::Unavailable) {
        bindTimer_.start();
    }
}

void PortalHotKeys::bind() {
    if (state_ != State::Open) {
        return; // bound once the session is open
    }
    if (!bindRequest_.isEmpty()) {
        stale_ = true; // bound again once this one is answered
        return;
    }
    const QList<PortalShortcut> list = wanted();
    // Shortcuts let go of stay bound, their presses ignored: binding anew may bring up the
    // desktop's dialog, so only a shortcut the session lacks is worth it.
    const bool lacking =
        std::any_of(list.begin(), list.end(), [&](const PortalShortcut& s) { return !bound_ || !bound_->contains(s); });
    if (!lacking) {
        return;
    }
    if (bound_) {
        // The portal binds once per session: a fresh one takes the new set.
        bus_.call(QDBusMessage::createMethodCall(kService, session_, kSession, QStringLiteral("Close")),
                  QDBus::NoBlock);
        session_.clear();
        bound_.reset();
        openSession();
        return;
    }
    const QString token = QStringLiteral("plim%1").arg(++tokens_);
    bindRequest_ = expectResponse(token);
    binding_ = list;
    bound_ = QList<PortalShortcut>();
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(session_)) << QVariant::fromValue(list) << QString()
         << QVariantMap{{QStringLiteral("handle_token"), token}};
    // The answer may wait for the user in the desktop's dialog: no time limit on it.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError() && !bindRequest_.isEmpty()) {
            forgetResponse(bindRequest_);
            onBound(kOtherFailure, {});
        }
    });
}

void PortalHotKeys::onBound(uint response, const QVariantMap& results) {
    QSet<QString> bound;
    if (response == 0) {
        const auto shortcuts =
            qdbus_cast<QList<PortalShortcut>>(results.value(QStringLiteral("shortcuts")).value<QDBusArgument>());
        for (const PortalShortcut& s : shortcuts) {
            bound.insert(s.id);
        }
        readTriggers(shortcuts);
    }
    // Left out: refused by the portal or by the user.
    for (const PortalShortcut& asked : std::exchange(binding_, {})) {
        if (bound.contains(asked.id)) {
            bound_->append(asked);
            continue;
        }
        const auto held = held_.find(asked.id);
        if (held != held_.end()) {
            const QKeyCombination combination = held->second;
            held_.erase(held);
            Q_EMIT lost(combination,
                        Refusal{response == 0 ? static_cast<int>(kOtherFailure) : static_cast<int>(response), true});
        }
    }
    if (std::exchange(stale_, false)) {
        scheduleBind();
    }
}

void PortalHotKeys::onActivated(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || pathOf(args.at(0)) != session_ || state_ != State::Open) {
        return;
    }
    const auto held = held_.find(args.at(1).toString());
    if (held == held_.end()) {
        return;
    }
    const QVariantMap options = args.size() > 3 ? qdbus_cast<QVariantMap>(args.at(3)) : QVariantMap();
    // A recent portal passes a token with which the window shown may take the keyboard.
    const ActivationTokenScope token(options.value(QStringLiteral("activation_token")).toString().toUtf8());
    Q_EMIT pressed(held->second);
}

void PortalHotKeys::onShortcutsChanged(const QDBusMessage& message) {
    // The user gave a shortcut other keys in the desktop's settings.
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || pathOf(args.at(0)) != session_) {
        return;
    }
    readTriggers(qdbus_cast<QList<PortalShortcut>>(args.at(1)));
}

void PortalHotKeys::giveUp() {
    if (state_ == State::Unavailable) {
        return;
    }
    answerTimer_.stop();
    forgetResponse(sessionRequest_);
    state_ = State::Unavailable;
    Q_EMIT availabilityChanged();
}

} // namespace plim
