#pragma once

#include "delivery/Notifier.h"
#include "delivery/SystemEvents.h"

#include <QList>

#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace plim::test {

// A notification server in memory. It answers at once unless told to hold its answers, or to be
// late: then the post counts as not shown at once, and is shown on release().
class FakeNotifier final : public Notifier {
public:
    struct Post {
        NotificationContent content;
        quint32 replaces = 0;
        quint32 id = 0;
    };

    void post(const NotificationContent& content, quint32 replaces, Posted posted) override {
        ++requests;
        auto show = [this, content, replaces, posted] {
            if (failing) {
                posted(std::nullopt);
                return;
            }
            const quint32 id = replaces != 0 && screen.contains(replaces) ? replaces : nextId++;
            screen[id] = content;
            posts.append({content, replaces, id});
            posted(id);
        };
        if (late) {
            posted(std::nullopt);
            held.append(std::move(show));
            return;
        }
        answer(std::move(show));
    }
    void close(quint32 serverId) override {
        closes.append(serverId);
        screen.erase(serverId);
    }
    void capabilities(CapabilitiesAnswer reply) override {
        answer([this, reply] { reply(caps); });
    }

    // Answers everything held so far, in order.
    void release() {
        for (const auto& f : std::exchange(held, {})) {
            f();
        }
    }
    // The user clicks a button (or the notification, "default"), types a reply, or dismisses it.
    void click(quint32 id, const QString& action) { Q_EMIT actionInvoked(id, action); }
    void reply(quint32 id, const QString& text) { Q_EMIT replied(id, text); }
    void dismiss(quint32 id) {
        screen.erase(id);
        Q_EMIT closed(id);
    }
    // The notification on screen whose identifier is `identifier`; 0 when none.
    quint32 idOf(const QString& identifier) const {
        for (const auto& [id, content] : screen) {
            if (content.identifier == identifier) {
                return id;
            }
        }
        return 0;
    }

    NotifierCapabilities caps{true, true, false, true};
    bool holding = false;
    bool late = false;
    bool failing = false;
    int requests = 0;
    QList<Post> posts;
    QList<quint32> closes;
    std::map<quint32, NotificationContent> screen;
    QList<std::function<void()>> held;
    quint32 nextId = 1;

private:
    void answer(std::function<void()> f) {
        if (holding) {
            held.append(std::move(f));
        } else {
            f();
        }
    }
};

// The ring timer and system events, fired by hand.
class FakeSystemEvents final : public SystemEvents {
public:
    void arm(std::optional<Instant> deadline) override { armed = deadline; }
    void fire() { Q_EMIT fired(); }

    std::optional<Instant> armed;
};

} // namespace plim::test
