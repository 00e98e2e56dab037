#pragma once

#include "platform/DesktopServices.h"

namespace plim {

// The desktop as a Qt widgets program reaches it: the clipboard (not the primary selection), the
// default handler of a link, the file manager over D-Bus, the system beep.
class QtDesktopServices final : public DesktopServices {
public:
    QString clipboardText() const override;
    void setClipboardText(const QString& text) override;
    bool openUrl(const QUrl& url) override;
    // Asks the file manager to show the file selected; opens its folder where none answers.
    void revealFile(const QString& path) override;
    void beep() override;
};

} // namespace plim
