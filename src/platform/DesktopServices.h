#pragma once

#include <QString>
#include <QUrl>

namespace plim {

// What the windows ask of the desktop; the program implements it, tests fake it.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    virtual QString clipboardText() const = 0;
    virtual void setClipboardText(const QString& text) = 0;
    // Opens a link with its default handler; false when nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;
    // Shows the file in the file manager (or its folder).
    virtual void revealFile(const QString& path) = 0;
    virtual void beep() = 0;
};

} // namespace plim
