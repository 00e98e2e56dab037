#include "store/WriteTurns.h"

#include "store/FileLock.h"

namespace plim {

using namespace std::chrono_literals;

namespace {

// How soon kept changes are tried again: a busy file is free again in a moment, a full disk stays
// full for a while.
constexpr auto kFailedRetryInterval = 1000ms;

} // namespace

WriteTurns::WriteTurns(std::chrono::milliseconds lockWait, bool keepWhenBusy, Hooks hooks)
    : lockWait_(lockWait)
    , keepWhenBusy_(keepWhenBusy)
    , hooks_(std::move(hooks)) {
    retryTimer_.setSingleShot(true);
    QObject::connect(&retryTimer_, &QTimer::timeout, &retryTimer_, [this] { hooks_.retry(); });
}

WriteTurns::~WriteTurns() = default;

FileLock& WriteTurns::lock() {
    const QString path = hooks_.path();
    if (!lock_ || lockedPath_ != path) {
        lock_ = std::make_unique<FileLock>(path);
        lockedPath_ = path;
    }
    return *lock_;
}

// When the file is busy the operation is kept as `retry` (if it may be) and made later, after the
// changes already waiting.
WriteTurns::Turn::Turn(WriteTurns& turns, std::function<void()> retry, bool quiet)
    : turns_(turns)
    , retry_(std::move(retry)) {
    if (turns_.depth_ > 0) {
        ++turns_.depth_;
        held_ = true;
        return;
    }
    if (!turns_.retrying_ && !turns_.pending_.empty() && canKeep()) {
        turns_.pending_.push_back(std::move(retry_)); // never ahead of earlier changes
        return;
    }
    const auto wait = quiet ? 0ms : turns_.retrying_ ? turns_.retryWait_ : turns_.lockWait_;
    if (const auto failure = turns_.lock().lock(wait)) {
        if (!quiet) {
            turns_.hooks_.busy(canKeep()
                                   ? *failure + QStringLiteral("; the change waits and is saved as soon as it can be")
                                   : *failure);
            keep();
        }
        return;
    }
    turns_.depth_ = 1;
    turns_.contended_ = false;
    turns_.deadline_ = std::chrono::steady_clock::now() + wait;
    turns_.hooks_.taken();
    held_ = true;
}

WriteTurns::Turn::~Turn() {
    if (!held_ || --turns_.depth_ > 0) {
        return;
    }
    turns_.hooks_.ending();
    turns_.lock().unlock();
    if (turns_.takeContended()) {
        keep();
    }
}

bool WriteTurns::Turn::canKeep() const {
    return turns_.keepWhenBusy_ && retry_;
}

void WriteTurns::Turn::keep() {
    if (!canKeep()) {
        return;
    }
    // A change taken from the waiting ones goes back to the head of the line.
    if (turns_.retrying_) {
        turns_.pending_.push_front(std::move(retry_));
    } else {
        turns_.pending_.push_back(std::move(retry_));
    }
    turns_.scheduleRetry();
}

void WriteTurns::makePending(std::chrono::milliseconds wait, const std::function<void()>& first) {
    retrying_ = true;
    retryWait_ = wait;
    first();
    while (!pending_.empty()) {
        const std::function<void()> change = std::move(pending_.front());
        pending_.pop_front();
        const size_t waiting = pending_.size();
        change();
        if (pending_.size() > waiting) {
            break; // still busy: it went back to the head of the line
        }
    }
    retryWait_ = 0ms;
    retrying_ = false;
}

void WriteTurns::scheduleRetry() {
    retryTimer_.start(hooks_.failing() ? kFailedRetryInterval : kRetryInterval);
}

void WriteTurns::extendDeadline() {
    deadline_ = std::max(deadline_, std::chrono::steady_clock::now() + lockWait_);
}

} // namespace plim
