#include "store/AgreedText.h"

#include "store/ConflictMerge.h"
#include "store/TextFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <bit>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plim {

namespace {

// The ledger of own writes is rewritten with only its newest lines once it grows past this.
constexpr qint64 kLedgerBytes = 8192;
constexpr qsizetype kLedgerKeep = 128; // lines: the last 64 writes

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

// The bytes of one text, cheaply: it is taken on every write of the notes file. A collision only
// keeps an older ancestor, so it need not be a cryptographic hash. Four words at a time in four
// independent lanes, so that the multiplications overlap.
QByteArray contentKey(QByteArrayView bytes) {
    constexpr quint64 k = 0x9e3779b97f4a7c15ULL;
    const char* p = bytes.data();
    const qsizetype n = bytes.size();
    quint64 lane[4] = {0xcbf29ce484222325ULL ^ quint64(n), k, 0x100000001b3ULL, ~k};
    qsizetype i = 0;
    for (; i + 32 <= n; i += 32) {
        for (int j = 0; j < 4; ++j) {
            quint64 word = 0;
            std::memcpy(&word, p + i + 8 * j, 8);
            lane[j] = std::rotl((lane[j] ^ word) * k, 29);
        }
    }
    quint64 h = lane[0];
    for (int j = 1; j < 4; ++j) {
        h = std::rotl((h ^ lane[j]) * k, 29);
    }
    for (; i + 8 <= n; i += 8) {
        quint64 word = 0;
        std::memcpy(&word, p + i, 8);
        h = std::rotl((h ^ word) * k, 29);
    }
    for (; i < n; ++i) {
        h = (h ^ static_cast<unsigned char>(p[i])) * 0x100000001b3ULL;
    }
    // Not '#': the keys of the former single-lane hash never match one of these by chance.
    return '&' + QByteArray::number(h, 16);
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

// One write of one short line: another process reading meanwhile sees it whole or not at all.
void appendLine(const QByteArray& path, const QByteArray& line) {
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const QByteArray whole = line + '\n';
        [[maybe_unused]] const ssize_t n = ::write(fd, whole.constData(), static_cast<size_t>(whole.size()));
        ::close(fd);
    }
}

// Sets a file's modification time; the current time when `ns` is none.
void setModified(const QString& path, std::optional<qint64> ns) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    if (ns) {
        times[1].tv_sec = static_cast<time_t>(*ns / 1'000'000'000);
        times[1].tv_nsec = static_cast<long>(*ns % 1'000'000'000);
    } else {
        times[1].tv_sec = 0;
        times[1].tv_nsec = UTIME_NOW;
    }
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
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
    // Which notes file these are, and when it was last used: what pruning goes by.
    const QString named = base_ + QStringLiteral(".path");
    if (readSmall(named) != notesPath_.toUtf8()) {
        writeSmall(named, notesPath_.toUtf8());
    } else {
        setModified(named, std::nullopt);
    }
    QFile::remove(base_ + QStringLiteral(".written")); // what knew only the last own write
}

QByteArray AgreedText::keyOf(QByteArrayView bytes) {
    return contentKey(bytes);
}

void AgreedText::writing(const QByteArray& key) {
    const QString ledger = ledgerPath();
    struct stat st {};
    const QByteArray name = QFile::encodeName(ledger);
    if (::stat(name.constData(), &st) == 0 && st.st_size > kLedgerBytes) {
        const QList<QByteArray> lines = readSmall(ledger).split('\n');
        writeTextFileAtomically(ledger, lines.mid(std::max<qsizetype>(0, lines.size() - kLedgerKeep)).join('\n'));
    }
    appendLine(name, key);
}

void AgreedText::wrote(const FileStamp& stamp) {
    // Kept by its stamp too: a later read of this version needs no hashing.
    appendLine(QFile::encodeName(ledgerPath()), versionKey(stamp));
}

void AgreedText::read(const std::function<QByteArray()>& bytesOfText, const FileStamp& stamp) {
    const QByteArray version = versionKey(stamp);
    // Kept already: every start and reload of an unchanged file would write it all again.
    if (!stamp.exists || readSmall(base_ + QStringLiteral(".kept")) == version) {
        return;
    }
    const QList<QByteArray> own = readSmall(ledgerPath()).split('\n');
    if (own.contains(version)) {
        return;
    }
    const QByteArray bytes = bytesOfText();
    if (own.contains(contentKey(bytes)) || !ConflictCopies::find(notesPath_).isEmpty()) {
        return;
    }
    // None is success.
    if (!writeTextFileAtomically(ancestorPath(), bytes, 0600)) {
        // Dated as the version it copies: a merge tells by it whether a copy can descend from it.
        setModified(ancestorPath(), stamp.mtimeNs);
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

std::optional<qint64> AgreedText::ancestorWrittenNs() const {
    const FileStamp s = fileStamp(ancestorPath());
    return s.exists ? std::optional(s.mtimeNs) : std::nullopt;
}

int AgreedText::prune(const QString& stateFolder, const QDateTime& now, int unusedDays) {
    static const QRegularExpression temporary(QStringLiteral("^\\..*\\.plim-[A-Za-z0-9]{6}$"));
    const QDir folder(stateFolder + QStringLiteral("/agreed"));
    struct Kept {
        QStringList files;
        QDateTime used;
    };
    QHash<QString, Kept> kept;
    int removed = 0;
    for (const QFileInfo& info : folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QString name = info.fileName();
        const QDateTime modified = info.lastModified();
        if (temporary.match(name).hasMatch()) {
            // No live writer takes an hour: one killed mid-write left it.
            removed += modified.secsTo(now) >= 3600 && QFile::remove(info.filePath()) ? 1 : 0;
            continue;
        }
        Kept& k = kept[name.left(name.lastIndexOf(QLatin1Char('.')))];
        k.files.append(info.filePath());
        k.used = std::max(k.used, modified);
    }
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        const QString notes = QString::fromUtf8(readSmall(folder.filePath(it.key() + QStringLiteral(".path"))));
        const bool gone = !notes.isEmpty() && !QFileInfo::exists(notes);
        if (!gone && it->used.addDays(unusedDays) > now) {
            continue;
        }
        for (const QString& file : it->files) {
            removed += QFile::remove(file) ? 1 : 0;
        }
    }
    return removed;
}

} // namespace plim
