#include "store/AgreedText.h"

#include "store/ConflictMerge.h"
#include "store/TextFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace plim {

namespace {

QByteArray digest(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

// One version of the file on this computer: a write by anyone else gives another.
QByteArray versionKey(const FileStamp& s) {
    return QStringLiteral("%1:%2:%3:%4:%5")
        .arg(s.device)
        .arg(s.inode)
        .arg(s.size)
        .arg(s.mtimeNs)
        .arg(s.ctimeNs)
        .toUtf8();
}

QByteArray readSmall(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeSmall(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        f.write(bytes);
    }
}

bool makePrivateFolder(const QString& path) {
    if (!QDir().mkpath(path)) {
        return false;
    }
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace

QString plimStateFolder() {
    QString root = qEnvironmentVariable("XDG_STATE_HOME");
    if (root.isEmpty() || QDir::isRelativePath(root)) {
        root = QDir::homePath() + QStringLiteral("/.local/state");
    }
    const QString folder = root + QStringLiteral("/plim");
    makePrivateFolder(folder);
    return folder;
}

AgreedText::AgreedText(const QString& notesPath, const QString& stateFolder)
    : notesPath_(QDir::cleanPath(QFileInfo(notesPath).absoluteFilePath())) {
    const QString folder = stateFolder + QStringLiteral("/agreed");
    makePrivateFolder(folder);
    const QString key = QString::fromLatin1(digest(notesPath_.toUtf8()).left(16));
    base_ = folder + QLatin1Char('/') + QFileInfo(notesPath_).completeBaseName() + QLatin1Char('-') + key;
}

void AgreedText::wrote(const FileStamp& stamp) {
    // Kept by its stamp, not its text: a capture into a large file must not read it all again.
    writeSmall(base_ + QStringLiteral(".written"), versionKey(stamp));
}

void AgreedText::read(const QString& text, const FileStamp& stamp) {
    const QByteArray version = versionKey(stamp);
    // Ours, or kept already: every start and reload of an unchanged file would write it all again.
    if (!stamp.exists || readSmall(base_ + QStringLiteral(".written")) == version ||
        readSmall(base_ + QStringLiteral(".kept")) == version) {
        return;
    }
    if (!ConflictCopies::find(notesPath_).isEmpty()) {
        return;
    }
    // None is success.
    if (!writeTextFileAtomically(ancestorPath(), QStringView(text), 0600)) {
        writeSmall(base_ + QStringLiteral(".kept"), version);
    }
}

std::optional<QString> AgreedText::ancestor() const {
    const TextRead read = readTextFile(ancestorPath());
    if (read.status != TextRead::Status::Ok) {
        return std::nullopt;
    }
    return read.text;
}

} // namespace plim
