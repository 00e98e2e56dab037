#include "platform/linux/QtDesktopServices.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>

namespace plim {

QString QtDesktopServices::clipboardText() const {
    // An image or nothing on the clipboard reads as no text.
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

void QtDesktopServices::setClipboardText(const QString& text) {
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

bool QtDesktopServices::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

void QtDesktopServices::revealFile(const QString& path) {
    // Where no file manager answers, a folder is opened itself, a file's folder for a file.
    const QFileInfo info(path);
    const QUrl folder = QUrl::fromLocalFile(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folder);
        return;
    }
    // Never waits on the bus: a missing file manager answers with an error, later.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [folder](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError()) {
            QDesktopServices::openUrl(folder);
        }
    });
}

void QtDesktopServices::beep() {
    QApplication::beep();
}

} // namespace plim
