#pragma once

#include <QString>

#include <optional>

namespace plim {

// What identifies one version of a file on disk: a rename over it, a write or a
// metadata change all give a different stamp.
struct FileStamp {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp fileStamp(const QString& path);

struct TextRead {
    enum class Status { Ok, Missing, NotUtf8, Unreadable };
    Status status = Status::Missing;
    QString text;   // empty unless Ok
    QString reason; // why it could not be read
    FileStamp stamp;
    bool ok() const { return status == Status::Ok || status == Status::Missing; }
};

// Reads a UTF-8 text file. A missing file reads as empty text; a file that exists but cannot be
// read, or is not valid UTF-8, is reported as such so that nobody writes over it.
TextRead readTextFile(const QString& path);

// Writes UTF-8 text atomically: a temporary file beside the target, every byte checked, fsync,
// then rename over the target. Writes through a symlink (the link stays), keeps an existing file's
// permissions; a new file gets `newFilePermissions` (octal). Returns the reason on failure, and
// then the target is untouched.
std::optional<QString> writeTextFileAtomically(const QString& path, QStringView text, int newFilePermissions = 0600);

} // namespace plim
