#pragma once

#include "platform/GlobalHotKeys.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <chrono>
#include <map>
#include <optional>

QT_BEGIN_NAMESPACE
class QDBusMessage;
QT_END_NAMESPACE

namespace plim {

// One shortcut as the portal takes and gives it: an id and its properties ("description",
// "preferred_trigger"; "trigger_description" in answers).
struct PortalShortcut {
    QString id;
    QVariantMap properties;

    friend bool operator==(const PortalShortcut&, const PortalShortcut&) = default;
};
QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& shortcut);

// Global shortcuts through the desktop portal (org.freedesktop.portal.GlobalShortcuts), where a
// program cannot hold keys itself (Wayland). The portal binds named shortcuts in a session of the
// program's; here each held combination is one shortcut, its id the stable one it was described
// with (the name it serves), its preferred trigger the combination in the portal's notation. The
// desktop keeps what the user chose for an id in its own settings, so a changed combination does
// not leave a stale entry there; the keys it binds are read back from its answer and from its
// ShortcutsChanged signal (`keysOf`). Grabs are taken on trust and bound together a moment later;
// one the portal (or the user in its dialog) leaves out is then reported `lost`. The portal binds
// once per session: a changed set is bound in a fresh session.
// Every call is asynchronous. A portal that is missing, refuses a session or does not answer
// within `answerWithin` makes the desktop unavailable: it is never waited for.
class PortalHotKeys final : public GlobalHotKeys {
    Q_OBJECT

public:
    // How long the portal has to open a session.
    static constexpr std::chrono::milliseconds kAnswerWithin{5000};

    explicit PortalHotKeys(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                           std::chrono::milliseconds answerWithin = kAnswerWithin, QObject* parent = nullptr);
    ~PortalHotKeys() override;

    std::optional<Refusal> grab(QKeyCombination combination) override;
    void release(QKeyCombination combination) override;
    void describe(QKeyCombination combination, const QString& id, const QString& what) override;
    std::optional<QString> keysOf(QKeyCombination combination) const override;
    bool isAvailable() const override { return state_ != State::Unavailable; }

    // "CTRL+ALT+space", the notation the desktop portal uses for triggers; none for a key it has no
    // name for (the desktop then asks the user for one).
    static std::optional<QString> trigger(QKeyCombination combination);

private Q_SLOTS:
    // The portal's signals, connected by name.
    void onResponse(const QDBusMessage& message);
    void onActivated(const QDBusMessage& message);
    void onShortcutsChanged(const QDBusMessage& message);

private:
    enum class State { Opening, Open, Unavailable };

    QString idOf(QKeyCombination combination) const;
    // Keeps the keys the desktop says it bound to each shortcut.
    void readTriggers(const QList<PortalShortcut>& shortcuts);
    void openSession();
    // Asks for the Response of a request before making it (the portal may answer at once).
    QString expectResponse(const QString& token);
    void forgetResponse(QString& requestPath);
    void onSessionOpened(const QVariantMap& results);
    void onBound(uint response, const QVariantMap& results);
    void scheduleBind();
    void bind();
    void giveUp();
    QList<PortalShortcut> wanted() const;

    QDBusConnection bus_;
    std::chrono::milliseconds answerWithin_;
    State state_ = State::Opening;
    QString session_;
    QString sessionRequest_;
    QString bindRequest_;
    // What the last bind asked for, and whether the held set changed while it was under way.
    std::optional<QList<PortalShortcut>> bound_;
    QList<PortalShortcut> binding_;
    bool stale_ = false;
    bool listening_ = false;
    int tokens_ = 0;
    // By shortcut id.
    std::map<QString, QKeyCombination> held_;
    std::map<QString, QString> descriptions_;
    std::map<QString, QString> triggers_;
    // The ids combinations were described with, by QKeyCombination::toCombined.
    std::map<int, QString> ids_;
    QTimer answerTimer_;
    QTimer bindTimer_;
};

} // namespace plim

Q_DECLARE_METATYPE(plim::PortalShortcut)
