#pragma once

#include "platform/LaunchAtLogin.h"

#include <QString>
#include <QStringList>

namespace plim {

// Starting at login through the desktop's autostart folder: the entry
// <config>/autostart/plim.desktop. The program is registered when that entry exists and is not
// hidden; without a user entry, an entry that the system installs in one of its config folders
// counts. Turning it off removes the user's entry, or hides the system's with a user entry of
// "Hidden=true".
class XdgAutostart final : public LaunchAtLogin {
public:
    // `configHome`: the user's config folder; `systemConfigDirs`: the system's, most important
    // first; `program`: what the entry starts.
    XdgAutostart(QString configHome, QStringList systemConfigDirs, QString program);
    // $XDG_CONFIG_HOME (~/.config), $XDG_CONFIG_DIRS (/etc/xdg) and this executable.
    static XdgAutostart forThisProgram();

    QString filePath() const;
    bool isRegistered() const override;
    bool setRegistered(bool on) override;
    QString lastError() const override { return lastError_; }

    // The entry's text for a program; "Exec" quoted as desktop entries want it.
    static QString desktopEntry(const QString& program);
    // Whether an entry's text hides it ("Hidden=true" in its main group).
    static bool isHidden(QStringView entry);

private:
    QString systemEntry() const;

    QString configHome_;
    QStringList systemConfigDirs_;
    QString program_;
    QString lastError_;
};

} // namespace plim
