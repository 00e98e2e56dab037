#pragma once

#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <utility>

namespace plim {

class FileLock;

// Taking turns with the notes file among plim processes: the lock is held from the re-read before a
// change through its rename, once per process however deeply operations nest. When the file is busy
// an operation does not happen: it is reported, or (with `keepWhenBusy`, the resident program,
// which must not block) kept and made later from the event loop, in order.
class WriteTurns {
public:
    // What the owner does around the turns.
    struct Hooks {
        std::function<QString()> path;                // the file whose turns are taken
        std::function<void()> taken;                  // an outermost turn has begun
        std::function<void()> ending;                 // an outermost turn is about to let go
        std::function<void(const QString& why)> busy; // a turn could not be had
        std::function<bool()> failing;                // writes fail (tried again less often)
        std::function<void()> retry;                  // time to make the kept changes
    };

    // `lockWait`: how long a turn waits for other plim processes, and a change keeps trying while
    // another program keeps changing the file.
    WriteTurns(std::chrono::milliseconds lockWait, bool keepWhenBusy, Hooks hooks);
    ~WriteTurns();
    WriteTurns(const WriteTurns&) = delete;
    WriteTurns& operator=(const WriteTurns&) = delete;

    // One turn, held for the length of an operation. The outermost takes the lock (waiting at most
    // `lockWait`) and lets it go at its end; nested operations share it.
    class Turn {
    public:
        // `retry` makes the operation again later, should the file be busy now; `quiet` neither
        // waits, reports nor keeps anything (housekeeping that can wait for another time).
        Turn(WriteTurns& turns, std::function<void()> retry, bool quiet = false);
        ~Turn();
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;
        explicit operator bool() const { return held_; }

    private:
        bool canKeep() const;
        void keep();

        WriteTurns& turns_;
        std::function<void()> retry_;
        bool held_ = false;
    };

    // How soon kept changes are tried again.
    static constexpr std::chrono::milliseconds kRetryInterval{100};

    // Bounds the tries of a change whose file keeps moving: a few at least, and more for as long as
    // a turn may be waited for (a program appending to the file every few milliseconds would
    // otherwise win every time, the write and sync of a try taking longer than that).
    class Tries {
    public:
        explicit Tries(std::chrono::milliseconds budget)
            : deadline_(std::chrono::steady_clock::now() + budget) {}
        bool another() { return ++made_ <= kLeast || std::chrono::steady_clock::now() < deadline_; }

    private:
        // How often a change is made at least when the file moved between its read and its rename.
        static constexpr int kLeast = 5;
        std::chrono::steady_clock::time_point deadline_;
        int made_ = 0;
    };
    Tries tries() const { return Tries(lockWait_); }

    // Changes kept while the file was busy, waiting to be made in order.
    bool hasPending() const { return !pending_.empty(); }
    // Makes the kept changes in order, `first` before them, each turn waiting at most `wait`; stops
    // at one that is kept again.
    void makePending(std::chrono::milliseconds wait, const std::function<void()>& first);
    // The kept changes are tried again in a moment.
    void scheduleRetry();
    void cancelRetry() { retryTimer_.stop(); }

    // Set when a change gave up because another program kept changing the file; the turn's
    // operation is then kept as if the file had been busy.
    bool contended() const { return contended_; }
    void setContended(bool contended) { contended_ = contended; }
    bool takeContended() { return std::exchange(contended_, false); }

    // Until when the current turn may wait for other programs to finish writing the file.
    std::chrono::steady_clock::time_point deadline() const { return deadline_; }
    // At least `lockWait` from now.
    void extendDeadline();

private:
    FileLock& lock();

    std::chrono::milliseconds lockWait_;
    bool keepWhenBusy_;
    Hooks hooks_;
    std::unique_ptr<FileLock> lock_;
    QString lockedPath_; // the notes file `lock_` is for
    int depth_ = 0;
    bool contended_ = false;
    std::deque<std::function<void()>> pending_;
    bool retrying_ = false;
    std::chrono::milliseconds retryWait_{0}; // how long a kept change waits for the file
    std::chrono::steady_clock::time_point deadline_;
    QTimer retryTimer_;
};

} // namespace plim
