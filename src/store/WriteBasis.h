#pragma once

#include "store/TextFile.h"

#include <QByteArray>
#include <QString>

#include <chrono>

namespace plim {

// The version of the notes file a write builds on, held open from the look before the write to the
// look after it. Through it a writer tells whether another program is writing the file now (plim
// must not build on half a file, nor rename over one still being written), and after its rename
// it sees what was written into the version it replaced.
class WriteBasis {
public:
    using Deadline = std::chrono::steady_clock::time_point;
    // How long, after a rename, a program still writing into the replaced version is waited for.
    static constexpr std::chrono::milliseconds kReplacedPatience{1000};
    // Where it cannot be told whether a program has the file open: a last line without its line
    // end counts as being written for this long after the file last changed.
    static constexpr std::chrono::seconds kCutLineFresh{5};

    WriteBasis() = default;
    // Opens the file `path` names now for reading; a missing or not regular file leaves it closed.
    explicit WriteBasis(const QString& path);
    ~WriteBasis();
    WriteBasis(WriteBasis&& other) noexcept;
    WriteBasis& operator=(WriteBasis&& other) noexcept;
    WriteBasis(const WriteBasis&) = delete;
    WriteBasis& operator=(const WriteBasis&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    // The version's stamp as it is now (it changes when someone writes into it).
    FileStamp stamp() const;
    // Whether another program is writing this version: it has it open for writing, or, where that
    // cannot be told (a file system without leases, another user's file), it ends in a cut line
    // and changed moments ago.
    bool beingWritten() const;
    // Waits while it is being written, at most until `deadline`. True once nobody writes it.
    bool waitWhileWritten(Deadline deadline) const;
    // Once this version was replaced: keeps a read lease on it, which anyone opening it for writing
    // breaks. False where none can be had (someone has it open for writing, or the file system or
    // its owner allows none). Held until `endGuard`; an opener waits until then.
    bool guardAgainstWriters();
    // Lets the lease go. True when it was held and nobody opened the version for writing since:
    // once it has no name left, nobody can write into it any more.
    bool endGuard();
    // Its text, read through the descriptor.
    TextRead read(TextRead::Decode decode = TextRead::Decode::Text) const;
    QByteArray readBytes() const;

private:
    int fd_ = -1;
    bool guarded_ = false;
};

} // namespace plim
