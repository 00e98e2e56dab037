#pragma once

#include "base/Calendar.h"
#include "platform/DesktopServices.h"
#include "platform/LaunchAtLogin.h"

#include <QStringList>
#include <QUrl>

namespace plim::test {

// The desktop's services, remembering what was asked of them.
class FakeDesktop final : public DesktopServices {
public:
    QString clipboardText() const override { return clipboard; }
    void setClipboardText(const QString& text) override { clipboard = text; }
    bool openUrl(const QUrl& url) override {
        opened.append(url.toString());
        return true;
    }
    void revealFile(const QString&) override {}
    void beep() override { ++beeps; }

    QString clipboard;
    QStringList opened;
    int beeps = 0;
};

// Starting at login, on a file system that may refuse the change.
class FakeLaunchAtLogin final : public LaunchAtLogin {
public:
    bool isRegistered() const override { return registered; }
    bool setRegistered(bool on) override {
        if (!fails) {
            registered = on;
        }
        return registered == on;
    }
    QString lastError() const override { return fails ? QStringLiteral("Read-only file system") : QString(); }
    bool registered = false;
    bool fails = false;
};

inline const Calendar& berlin() {
    static const Calendar calendar(QStringLiteral("Europe/Berlin"));
    return calendar;
}

// Cases are named after their `name` field.
inline const auto ByName = [](const auto& p) { return p.param.name; };

} // namespace plim::test
