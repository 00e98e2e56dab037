#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>
#include <sys/types.h>

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

// The stamp of the file at `path`, following symlinks; a missing file gives `FileStamp{}`.
FileStamp fileStamp(const QString& path);
// The same, of what fstat or stat gave.
FileStamp stampOf(const struct stat& st);

struct TextRead {
    enum class Status { Ok, Missing, NotUtf8, Unreadable, NotRegular };
    // Whether the text is decoded, or only its bytes checked to be UTF-8 (`text` stays empty), or
    // the bytes taken as they are, for a caller that knows them by other means.
    enum class Decode { Text, BytesOnly, Unchecked };
    Status status = Status::Missing;
    QString text;     // empty unless Ok (and decoded)
    QByteArray bytes; // the text's bytes as read, with room for a line or two more; empty unless Ok
    QString reason;   // why it could not be read
    FileStamp stamp;
    bool ok() const { return status == Status::Ok || status == Status::Missing; }
};

// Reads a UTF-8 text file. A missing file reads as empty text; a file that exists but cannot be
// read, is not valid UTF-8 or is not a regular file (a FIFO, a device, a folder) is reported as
// such so that nobody writes over it. Never blocks on such a file.
TextRead readTextFile(const QString& path, TextRead::Decode decode = TextRead::Decode::Text);
// The same, through a descriptor open for reading, from the file's start.
TextRead readTextFrom(int fd, TextRead::Decode decode = TextRead::Decode::Text);
// The text of a file's bytes as `readTextFile` reads it; none when they are not UTF-8.
std::optional<QString> decodeText(const QByteArray& bytes);
// Whether `decodeText` would decode the bytes, without decoding them.
bool isUtf8(QByteArrayView bytes);

class WriteBasis;

// The file a write to `path` really replaces: symlinks followed to their last target (which may
// not exist yet), relative links taken from the link's own folder.
QString finalTarget(const QString& path);

// An atomic replacement in two steps, so that everything slow (writing, fsync) is done before
// the last look at the target and the rename follows that look at once:
//   auto w = PreparedWrite::prepare(path, bytes);
//   if (!w.ready()) report(w.error());
//   switch (w.commit(stampOfWhatWasRead).outcome) ...
// The temporary file is a hidden file beside the final target of symlinks (so a linked notes file
// stays a link), named "." + name + ".plim-XXXXXX". It has the target's permissions and owner, or
// `newFilePermissions` for a new file. An uncommitted temporary is removed with this object.
class PreparedWrite {
public:
    enum class Outcome { Committed, TargetMoved, Failed };
    struct Result {
        Outcome outcome = Outcome::Failed;
        QString reason; // set when Failed
        // The stamp of the written file just after the rename (what `fileStamp(path)` gives while
        // nobody else touches it); `FileStamp{}` when another writer got in right away.
        FileStamp stamp;
        // What another program wrote that is not in the file now: into the version replaced after
        // the last look (through a descriptor it had open), or in a file of its own renamed in and
        // replaced in turn. Its lines are to be written in again.
        std::optional<QByteArray> replaced;
        bool committed() const { return outcome == Outcome::Committed; }
    };

    // Writes `bytes` to a temporary file and syncs it. Refuses a target that is not a regular
    // file or is read-only; the target is never touched here.
    static PreparedWrite prepare(const QString& path, QByteArray bytes, int newFilePermissions = 0600);

    PreparedWrite(PreparedWrite&& other) noexcept;
    PreparedWrite& operator=(PreparedWrite&& other) noexcept;
    PreparedWrite(const PreparedWrite&) = delete;
    PreparedWrite& operator=(const PreparedWrite&) = delete;
    ~PreparedWrite();

    // True when the temporary file is written and waits for `commit`.
    bool ready() const { return !temporary_.isEmpty(); }
    // Why `prepare` failed; empty when it did not.
    const QString& error() const { return error_; }

    // Renames over the target only if `fileStamp(path)` still equals `expected` (`FileStamp{}`
    // for a file that must still be missing); otherwise discards the temporary: TargetMoved.
    // Where the file system can swap two files, it swaps, and puts back what went out when that
    // was not the version expected (something got in between the look and the swap): TargetMoved.
    // With the `basis` the expected version was read through, also TargetMoved when another
    // program has it open for writing; where the file is renamed over, what was written into the
    // version replaced since the look is given back in `Result::replaced` (unless a program is
    // still writing it: then the caller looks at it again through the basis).
    Result commit(const FileStamp& expected, const WriteBasis* basis = nullptr);
    // Renames over the target whatever happened to it since.
    Result commit();

private:
    PreparedWrite() = default;
    Result finish(const FileStamp* expected, const WriteBasis* basis);
    // After a swap: whether what went out is the version expected, untouched and not being written.
    bool swappedOutAsExpected(const FileStamp& expected, const WriteBasis* basis) const;
    // Puts back what a swap took out: TargetMoved.
    Result swapBack();
    // After a rename: what was written into the version expected since the last look.
    static std::optional<QByteArray> writtenSince(const FileStamp& expected, const WriteBasis* basis);
    void discard();

    QString path_;
    QByteArray target_;
    QByteArray temporary_;
    quint64 device_ = 0;
    quint64 inode_ = 0;
    qint64 size_ = 0;
    QString error_;
};

// Writes UTF-8 text atomically (prepare, then commit without a check). Returns the reason on
// failure, and then the target is untouched.
std::optional<QString> writeTextFileAtomically(const QString& path, QStringView text, int newFilePermissions = 0600);
std::optional<QString> writeTextFileAtomically(const QString& path, const QByteArray& bytes,
                                               int newFilePermissions = 0600);

// Removes the temporary files a killed writer left beside the final target of `notesPath`; only
// names made by `PreparedWrite`. Call while holding the file's `FileLock`, so no live writer owns
// one. Returns how many were removed.
int removeStaleTemporaries(const QString& notesPath);

// The writer's system calls, replaceable so that tests can make them fail. Each returns what the
// system call returns and sets errno the same way.
class FileSystemCalls {
public:
    virtual ~FileSystemCalls() = default;
    virtual int makeTemporary(char* pattern);
    virtual ssize_t write(int fd, const void* data, size_t size);
    virtual int fsync(int fd);
    virtual int rename(const char* from, const char* to);
    // Swaps the two names' files (both exist), so the replaced file stays at hand under `from`.
    virtual int exchange(const char* from, const char* to);

    // The calls in use; the real ones unless a test installed others.
    static FileSystemCalls& current();

    // Uses `calls` for as long as this object lives (tests only; not thread-safe).
    class Override {
    public:
        explicit Override(FileSystemCalls& calls);
        ~Override();
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

    private:
        FileSystemCalls* previous_;
    };

private:
    static FileSystemCalls* installed_;
};

} // namespace plim
