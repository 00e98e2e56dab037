#include "store/NotesStore.h"

#include "store/CaptureJournal.h"
#include "store/Preferences.h"

#include <future>
#include <system_error>
#include <thread>

namespace plim {

// --- What other programs wrote into versions a write replaced ---

void NotesStore::noteReplaced(const std::optional<QByteArray>& replaced, const FileStamp& built) {
    if (replaced) {
        const QString base = file_.textBefore();
        const std::optional<QString> theirs = decodeText(*replaced);
        if (theirs && *theirs != base) {
            carries_.push_back(Carry{base, *theirs});
        }
        return;
    }
    if (basis_.isOpen() && (options_.linger.count() > 0 || basis_.beingWritten())) {
        // Guarded, it need not be looked at again unless someone opens it for writing meanwhile.
        basis_.guardAgainstWriters();
        replaced_.push_back(Replaced{std::move(basis_), built});
    }
}

void NotesStore::closeElsewhere(std::vector<WriteBasis> versions) {
    if (versions.empty()) {
        return;
    }
    if (closing_.valid()) {
        closing_.wait(); // long done: a write takes longer than a close
    }
    try {
        closing_ = std::async(std::launch::async, [v = std::move(versions)]() mutable { v.clear(); });
    } catch (const std::system_error&) {
        // No thread to be had: closed here, as `versions` goes.
    }
}

void NotesStore::lookAtReplaced(bool due) {
    // Nobody had a guarded version open for writing when it was replaced, nor opened it since, and
    // it has no name left: nothing can be written into it any more.
    std::vector<WriteBasis> done;
    std::erase_if(replaced_, [&done](Replaced& r) {
        const bool untouched = r.version.endGuard();
        const FileStamp now = r.version.stamp();
        const bool over = untouched && now.size == r.stamp.size && now.mtimeNs == r.stamp.mtimeNs;
        if (over) {
            done.push_back(std::move(r.version));
        }
        return over;
    });
    closeElsewhere(std::move(done));
    if (replaced_.empty()) {
        return;
    }
    if (!due) {
        if (options_.retryWhenBusy) {
            if (!lingerTimer_.isActive()) {
                lingerTimer_.start(options_.linger);
            }
            return;
        }
        std::this_thread::sleep_for(options_.linger);
    }
    std::vector<Replaced> later;
    for (Replaced& r : replaced_) {
        if (options_.retryWhenBusy && r.version.beingWritten()) {
            later.push_back(std::move(r)); // the resident program never waits: looked at again
            continue;
        }
        r.version.waitWhileWritten(std::chrono::steady_clock::now() + WriteBasis::kReplacedPatience);
        const FileStamp now = r.version.stamp();
        if (now.size == r.stamp.size && now.mtimeNs == r.stamp.mtimeNs) {
            continue;
        }
        // Its text as it was is not kept (a capture into a large file would copy it all): grown
        // after whole lines, it was appended to; otherwise it is merged without an ancestor, which
        // drops nothing of either side.
        const QByteArray bytes = r.version.readBytes();
        const qsizetype was = r.stamp.size;
        if (bytes.size() > was && (was == 0 || bytes.at(was - 1) == '\n')) {
            if (const std::optional<QString> added = decodeText(bytes.sliced(was))) {
                carries_.push_back(Carry{QString(), *added});
            }
        } else if (const std::optional<QString> theirs = decodeText(bytes)) {
            carries_.push_back(Carry{std::nullopt, *theirs});
        }
    }
    replaced_ = std::move(later);
}

namespace {

// `into` with what `theirs` has beyond `base`; without a base, with everything of `theirs`.
QString withCarried(const QString& into, const std::optional<QString>& base, const QString& theirs, Instant now,
                    const Calendar& calendar, const Anchors& anchors) {
    if (!base) {
        return mergeNotes(nullptr, NotesDocument::parse(into), NotesDocument::parse(theirs), now, calendar, anchors)
            .document.serialized();
    }
    // Lines added after whole lines (an appender): added at the end.
    if ((base->isEmpty() || base->endsWith(u'\n')) && theirs.startsWith(*base)) {
        QString out = into;
        if (!out.isEmpty() && !out.endsWith(u'\n')) {
            out += u'\n';
        }
        return out.append(QStringView(theirs).sliced(base->size()));
    }
    // Anything else (rewritten, a line finished): entry by entry, from the version both built on.
    const NotesDocument ancestor = NotesDocument::parse(*base);
    return mergeNotes(&ancestor, NotesDocument::parse(into), NotesDocument::parse(theirs), now, calendar, anchors)
        .document.serialized();
}

} // namespace

void NotesStore::carryOver() {
    if (carries_.empty()) {
        return;
    }
    // Not the concern of the change whose turn this is, whatever becomes of it.
    const bool contended = turns_.takeContended();
    carryOverNow();
    turns_.setContended(contended);
}

void NotesStore::carryOverNow() {
    // As many tries as a change of its own gets: a program appending every few milliseconds moves
    // the file under most of them.
    turns_.extendDeadline();
    for (int tries = 0; !carries_.empty() && (tries < 5 || std::chrono::steady_clock::now() < turns_.deadline());
         ++tries) {
        std::vector<Carry> batch = std::exchange(carries_, {});
        if (!syncWithDisk() || !file_.isKnown()) {
            carries_ = std::move(batch); // tried again at the next turn
            return;
        }
        QString text = file_.text();
        for (const Carry& c : batch) {
            text = withCarried(text, c.base, c.theirs, clock_.now(), clock_.calendar(), anchors());
        }
        if (text == file_.text()) {
            continue;
        }
        const QByteArray bytes = text.toUtf8();
        const Saved saved = saveNotes(bytes);
        if (saved != Saved::Yes) {
            // Moved: made again on what is there now. Failed: at the next turn.
            batch.insert(batch.end(), carries_.begin(), carries_.end());
            carries_ = std::move(batch);
            if (saved == Saved::Failed) {
                return;
            }
            continue;
        }
        // Like an outside edit read in: no undo step of its own.
        file_.written(text, bytes);
        document_ = parser_.parse(text);
        dayTexts_.clear();
        serialized_.reset();
        parsedFromText_ = true;
        Q_EMIT changed();
    }
}

// --- Captures kept on disk ---

int NotesStore::waitingCaptures() const {
    return journal_ ? journal_->size() : 0;
}

NotesStore::Capture NotesStore::keepCapture(const QString& trimmed, const QString& comment, Instant at) {
    const QString why = error_ ? error_->message() : QStringLiteral("%1 could not be saved").arg(filePath());
    // A file that cannot be read is not written until it is mended: the caller keeps the text.
    if (!options_.retryWhenBusy || unreadable()) {
        return {std::nullopt, false, why};
    }
    if (!journal_) {
        journal_ = std::make_unique<CaptureJournal>(filePath());
    }
    if (const auto failure = journal_->keep(trimmed, at, comment)) {
        return {std::nullopt, false, why + QStringLiteral(" · nor could the capture be kept aside: ") + *failure};
    }
    scheduleRetry();
    Q_EMIT errorChanged(); // one more waits
    return {std::nullopt, true, {}};
}

void NotesStore::replayJournal() {
    replayDue_ = false;
    if (!journal_ || replaying_) {
        return;
    }
    const QList<CaptureJournal::Record> records = journal_->records();
    if (records.isEmpty()) {
        return;
    }
    // Not the concern of the change whose turn this is; nor, in a command, of the command.
    const bool contended = turns_.takeContended();
    const std::optional<StoreError> error = error_;
    replaying_ = true;
    bool all = true;
    for (const CaptureJournal::Record& record : records) {
        std::optional<QUuid> id;
        if (!writeCapture(record.text, record.comment, record.at, &id)) {
            all = false;
            break;
        }
        journal_->remove(record);
    }
    replaying_ = false;
    turns_.setContended(contended);
    if (!all && !options_.retryWhenBusy) {
        setError(error); // the records stay for the next process
    }
    if (all && !turns_.hasPending() && error_ && error_->kind == StoreError::Kind::Busy) {
        setError(std::nullopt);
    }
    Q_EMIT errorChanged(); // fewer wait
}

std::optional<StoreError> NotesStore::shownError() const {
    if (!error_ || (troubled_ && !troubleTold_ && options_.retryWhenBusy)) {
        return std::nullopt;
    }
    StoreError shown = *error_;
    shown.waitingCaptures = waitingCaptures();
    return shown;
}

} // namespace plim
