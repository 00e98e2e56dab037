#include "platform/linux/XdgAutostart.h"

#include "store/TextFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace plim {

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kEntryName = u"autostart/plim.desktop"_s;

// An absolute folder from an environment variable, or the fallback.
QString folderFromEnvironment(const char* variable, const QString& fallback) {
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : fallback;
}

// One argument of "Exec": quoted when it holds a reserved character, with "%" doubled for the
// field codes and every backslash doubled for the string escape that is read first.
QString execArgument(const QString& argument) {
    static const QString reserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
    const bool quote = std::any_of(argument.begin(), argument.end(), [](QChar c) { return reserved.contains(c); });
    QString out;
    for (const QChar c : argument) {
        if (c == u'%') {
            out += u"%%"_s;
        } else if (quote && (c == u'"' || c == u'`' || c == u'$' || c == u'\\')) {
            out += u'\\';
            out += c;
        } else {
            out += c;
        }
    }
    if (quote) {
        out = u'"' + out + u'"';
    }
    return out.replace(u'\\', u"\\\\"_s);
}

} // namespace

XdgAutostart::XdgAutostart(QString configHome, QStringList systemConfigDirs, QString program)
    : configHome_(std::move(configHome))
    , systemConfigDirs_(std::move(systemConfigDirs))
    , program_(std::move(program)) {}

XdgAutostart XdgAutostart::forThisProgram() {
    const QString home = folderFromEnvironment("XDG_CONFIG_HOME", QDir::homePath() + u"/.config"_s);
    QStringList system;
    for (const QString& dir : qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir)) {
            system.append(dir);
        }
    }
    if (system.isEmpty()) {
        system.append(u"/etc/xdg"_s);
    }
    return XdgAutostart(home, system, QCoreApplication::applicationFilePath());
}

QString XdgAutostart::filePath() const {
    return QDir(configHome_).filePath(kEntryName);
}

QString XdgAutostart::systemEntry() const {
    for (const QString& dir : systemConfigDirs_) {
        const QString path = QDir(dir).filePath(kEntryName);
        if (QFileInfo::exists(path)) {
            return path;
        }
    }
    return {};
}

bool XdgAutostart::isHidden(QStringView entry) {
    bool mainGroup = false;
    for (QStringView line : entry.split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            mainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (mainGroup && equals > 0 && line.left(equals).trimmed() == u"Hidden") {
            return line.mid(equals + 1).trimmed() == u"true";
        }
    }
    return false;
}

bool XdgAutostart::isRegistered() const {
    // The user's entry, when there is one, overrides the system's of the same name.
    QString path = filePath();
    if (!QFileInfo::exists(path)) {
        path = systemEntry();
        if (path.isEmpty()) {
            return false;
        }
    }
    const TextRead read = readTextFile(path);
    return read.status == TextRead::Status::Ok && !isHidden(read.text);
}

QString XdgAutostart::desktopEntry(const QString& program) {
    return u"[Desktop Entry]\n"
           u"Type=Application\n"
           u"Name=plim\n"
           u"Comment=Quick capture and reminders\n"
           u"Exec="_s +
           execArgument(program) +
           // Started at login it shows nothing: no notes window before the user asks for one.
           u" --background\n"
           u"Icon=plim\n"
           u"Terminal=false\n"
           u"X-GNOME-Autostart-enabled=true\n"
           // The tray must exist before the program looks for it.
           u"X-GNOME-Autostart-Delay=2\n"_s;
}

bool XdgAutostart::setRegistered(bool on) {
    const QString path = filePath();
    const QString folder = QFileInfo(path).absolutePath();
    std::optional<QString> failure;
    if (on) {
        // A line break cannot be written into an entry's value.
        if (program_.isEmpty() || program_.contains(u'\n') || program_.contains(u'\r')) {
            failure = u"The program's path cannot be written into an autostart entry"_s;
        } else if (!QDir().mkpath(folder)) {
            failure = u"Cannot create the folder %1"_s.arg(folder);
        } else {
            failure = writeTextFileAtomically(path, desktopEntry(program_), 0644);
        }
    } else if (!systemEntry().isEmpty()) {
        failure =
            QDir().mkpath(folder)
                ? writeTextFileAtomically(path, u"[Desktop Entry]\nType=Application\nName=plim\nHidden=true\n"_s, 0644)
                : std::optional<QString>(u"Cannot create the folder %1"_s.arg(folder));
    } else {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            failure = u"Cannot remove %1: %2"_s.arg(path, file.errorString());
        }
    }
    const bool done = isRegistered() == on;
    lastError_ = done ? QString() : failure.value_or(u"The autostart entry %1 did not change"_s.arg(path));
    return done;
}

} // namespace plim
