#pragma once

#include "platform/DesktopServices.h"
#include "platform/LaunchAtLogin.h"

namespace plim::bench {

// The desktop as the benchmarks need it: nothing reaches the clipboard, a browser or autostart.
class NoDesktop final : public DesktopServices {
public:
    QString clipboardText() const override { return {}; }
    void setClipboardText(const QString&) override {}
    bool openUrl(const QUrl&) override { return false; }
    void revealFile(const QString&) override {}
    void beep() override {}
};

class NoLogin final : public LaunchAtLogin {
public:
    bool isRegistered() const override { return true; }
    bool setRegistered(bool) override { return false; }
};

} // namespace plim::bench
