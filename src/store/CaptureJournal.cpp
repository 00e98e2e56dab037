#include "store/CaptureJournal.h"

#include "store/FileLock.h"
#include "store/RuntimeFolder.h"
#include "store/TextFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace plim {

namespace {

const QString kSuffix = QStringLiteral(".capture");

// $XDG_STATE_HOME/plim, by default ~/.local/state/plim; not made here.
QString stateFolder() {
    QString root = qEnvironmentVariable("XDG_STATE_HOME");
    if (root.isEmpty() || QDir::isRelativePath(root)) {
        root = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return root + QStringLiteral("/plim");
}

QStringList recordNames(const QString& folder) {
    // Sorted by name, which starts with the moment it was kept: oldest first. Temporaries of a
    // write in progress are hidden, so not listed.
    return QDir(folder).entryList({QLatin1Char('*') + kSuffix}, QDir::Files, QDir::Name);
}

} // namespace

CaptureJournal::CaptureJournal(const QString& notesPath) {
    // Named like the file's lock: one journal for every path that leads to the same file.
    const QString key = QFileInfo(FileLock::lockPathFor(notesPath)).completeBaseName();
    folder_ = stateFolder() + QStringLiteral("/journal/") + key;
}

std::optional<QString> CaptureJournal::keep(const QString& text, Instant at, const QString& comment) {
    if (const auto failure = ensurePrivateFolder(QFileInfo(folder_).absolutePath())) {
        return failure;
    }
    if (const auto failure = ensurePrivateFolder(folder_)) {
        return failure;
    }
    static std::atomic<int> made{0};
    const qint64 ms = at.time_since_epoch().count();
    const QString name = QStringLiteral("%1-%2-%3")
                             .arg(QDateTime::currentMSecsSinceEpoch(), 15, 10, QLatin1Char('0'))
                             .arg(::getpid())
                             .arg(++made, 6, 10, QLatin1Char('0')) +
                         kSuffix;
    const QJsonObject record{{QStringLiteral("text"), text},
                             {QStringLiteral("at"), QString::number(ms)},
                             {QStringLiteral("comment"), comment}};
    // Written beside and renamed in, synced before and after: whole or not at all.
    return writeTextFileAtomically(folder_ + QLatin1Char('/') + name,
                                   QJsonDocument(record).toJson(QJsonDocument::Compact), 0600);
}

QList<CaptureJournal::Record> CaptureJournal::records() const {
    QList<Record> list;
    for (const QString& name : recordNames(folder_)) {
        const TextRead read = readTextFile(folder_ + QLatin1Char('/') + name);
        const QJsonObject o = QJsonDocument::fromJson(read.text.toUtf8()).object();
        bool ok = false;
        const qint64 ms = o.value(QStringLiteral("at")).toString().toLongLong(&ok);
        const QString text = o.value(QStringLiteral("text")).toString();
        if (read.status != TextRead::Status::Ok || !ok || text.isEmpty()) {
            continue;
        }
        list.append(
            Record{name, text, Instant(std::chrono::milliseconds(ms)), o.value(QStringLiteral("comment")).toString()});
    }
    return list;
}

int CaptureJournal::size() const {
    return QFileInfo::exists(folder_) ? static_cast<int>(recordNames(folder_).size()) : 0;
}

void CaptureJournal::remove(const Record& record) {
    if (!QFile::remove(folder_ + QLatin1Char('/') + record.name)) {
        return;
    }
    // Gone for good before the next record is written in: a record back after a crash would be
    // written twice.
    const int dir = ::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace plim
