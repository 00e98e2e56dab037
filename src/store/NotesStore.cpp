#include "store/NotesStore.h"

#include "notes/Preferences.h"
#include "notes/Shortened.h"
#include "reminders/Reminder.h"
#include "store/AgreedText.h"
#include "store/CaptureJournal.h"
#include "store/FileLock.h"
#include "store/FileWatcher.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace plim {

namespace {

using namespace std::chrono_literals;

// How often a change is made at least when the file moved between its read and its rename.
constexpr int kSaveTries = 5;

// Bounds the tries of a change whose file keeps moving: a few at least, and more for as long as a
// turn with the file may be waited for (a program appending to the file every few milliseconds
// would otherwise win every time, the write and sync of a try taking longer than that).
class Tries {
public:
    explicit Tries(std::chrono::milliseconds budget)
        : deadline_(std::chrono::steady_clock::now() + budget) {}
    bool another() { return ++made_ <= kSaveTries || std::chrono::steady_clock::now() < deadline_; }

private:
    std::chrono::steady_clock::time_point deadline_;
    int made_ = 0;
};
// How soon the resident program tries the changes it kept again.
constexpr auto kRetryInterval = 100ms;
constexpr auto kFailedRetryInterval = 1000ms;
// Long enough for the window to draw what the read brought first.
constexpr auto kAgreedTextDelay = 300ms;

// The length QString::toUtf8 gives (a lone surrogate becomes one '?').
qsizetype utf8Length(QStringView s) {
    qsizetype n = 0;
    const char16_t* p = s.utf16();
    const qsizetype size = s.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = p[i];
        if (c < 0x80) {
            n += 1;
        } else if (c < 0x800) {
            n += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < size && QChar::isLowSurrogate(p[i + 1])) {
            n += 4;
            ++i;
        } else {
            n += QChar::isSurrogate(c) ? 1 : 3;
        }
    }
    return n;
}

// Replaces [from, to) by `with` inside the string's own buffer: with room to spare, a capture at the
// top of a large file moves the rest once instead of copying it to a fresh allocation.
template <class String, class View>
void replaceInPlace(String& s, qsizetype from, qsizetype to, View with) {
    using Unit = std::remove_cv_t<std::remove_pointer_t<decltype(with.data())>>;
    static_assert(sizeof(Unit) == sizeof(*s.data()));
    const qsizetype size = s.size();
    const qsizetype grow = with.size() - (to - from);
    if (grow > 0 && s.capacity() < size + grow) {
        s.reserve((size + grow) + (size + grow) / 4);
    }
    if (grow > 0) {
        s.resize(size + grow);
    }
    auto* d = s.data();
    std::memmove(d + to + grow, d + to, static_cast<size_t>(size - to) * sizeof(Unit));
    if (!with.isEmpty()) {
        std::memcpy(d + from, with.data(), static_cast<size_t>(with.size()) * sizeof(Unit));
    }
    if (grow < 0) {
        s.resize(size + grow);
    }
}

} // namespace

QString StoreError::message() const {
    if (waitingCaptures > 0) {
        StoreError alone = *this;
        alone.waitingCaptures = 0;
        return (waitingCaptures == 1 ? QStringLiteral("1 capture waits to be saved · ")
                                     : QStringLiteral("%1 captures wait to be saved · ").arg(waitingCaptures)) +
               alone.message();
    }
    // A path or a reason can be as long as the system allows: a message stays one line.
    const QString file = shortened(path, 160);
    const QString why = shortened(reason, 400);
    switch (kind) {
    case Kind::Unreadable:
        return QStringLiteral("%1 cannot be read (%2); it is left untouched until it is mended").arg(file, why);
    case Kind::WriteFailed:
        return QStringLiteral("%1 could not be saved (%2)").arg(file, why);
    case Kind::Busy:
        return QStringLiteral("%1 is busy: %2").arg(file, why);
    }
    return {};
}

// One turn with the notes file. The outermost turn of an operation takes the lock (waiting at most
// `lockWait`) and lets it go at its end; nested operations (a delete writing the trash and then
// the notes) share it. When the file is busy the operation does not happen: it is reported, or in
// the resident program kept as `retry` and made later, after the changes already waiting.
NotesStore::Turn::Turn(NotesStore& store, std::function<void()> retry, bool quiet)
    : store_(store)
    , retry_(std::move(retry)) {
    if (store_.turnDepth_ > 0) {
        ++store_.turnDepth_;
        held_ = true;
        return;
    }
    if (!store_.retrying_ && !store_.pending_.empty() && canKeep()) {
        store_.pending_.push_back(std::move(retry_)); // never ahead of earlier changes
        return;
    }
    const auto wait = quiet ? 0ms : store_.retrying_ ? store_.retryWait_ : store_.options_.lockWait;
    if (const auto failure = store_.fileLock().lock(wait)) {
        if (!quiet) {
            busy(*failure);
        }
        return;
    }
    store_.turnDepth_ = 1;
    store_.contended_ = false;
    store_.turnDeadline_ = std::chrono::steady_clock::now() + wait;
    store_.replayDue_ = true;
    held_ = true;
}

NotesStore::Turn::~Turn() {
    if (!held_ || --store_.turnDepth_ > 0) {
        return;
    }
    // What other programs wrote into the versions this turn replaced: written in at once (until
    // then the file lacks it, and a program saving a copy of it would lose it), then once more for
    // what came a moment later.
    store_.carryOver();
    for (int round = 0; round < 3 && !store_.replaced_.empty(); ++round) {
        store_.lookAtReplaced(false);
        store_.carryOver();
        if (store_.options_.retryWhenBusy) {
            break;
        }
    }
    if (!store_.carries_.empty() && store_.options_.retryWhenBusy) {
        store_.lingerTimer_.start(kRetryInterval); // written in at the next chance
    }
    store_.basis_ = WriteBasis();
    store_.replayDue_ = false;
    store_.fileLock().unlock();
    if (std::exchange(store_.contended_, false)) {
        keep();
    }
}

bool NotesStore::Turn::canKeep() const {
    return store_.options_.retryWhenBusy && retry_;
}

void NotesStore::Turn::busy(const QString& reason) {
    store_.setError(StoreError{
        StoreError::Kind::Busy, store_.filePath(),
        canKeep() ? reason + QStringLiteral("; the change waits and is saved as soon as it can be") : reason});
    keep();
}

void NotesStore::Turn::keep() {
    if (!canKeep()) {
        return;
    }
    // A change taken from the waiting ones goes back to the head of the line.
    if (store_.retrying_) {
        store_.pending_.push_front(std::move(retry_));
    } else {
        store_.pending_.push_back(std::move(retry_));
    }
    store_.scheduleRetry();
}

NotesStore::Options NotesStore::residentOptions() {
    Options o;
    o.lockWait = 50ms;
    o.retryWhenBusy = true;
    o.linger = 250ms;
    o.keepAgreedText = true;
    return o;
}

NotesStore::NotesStore(Preferences& preferences, const Clock& clock, Options options, QObject* parent)
    : QObject(parent)
    , preferences_(preferences)
    , clock_(clock)
    , options_(std::move(options)) {
    connect(&preferences_, &Preferences::changed, this, &NotesStore::onPreferencesChanged);
    retryTimer_.setSingleShot(true);
    retryTimer_.setInterval(kRetryInterval);
    connect(&retryTimer_, &QTimer::timeout, this, &NotesStore::retryPending);
    agreedTimer_.setSingleShot(true);
    agreedTimer_.setInterval(kAgreedTextDelay);
    connect(&agreedTimer_, &QTimer::timeout, this, &NotesStore::flushAgreedText);
    noticeTimer_.setSingleShot(true);
    connect(&noticeTimer_, &QTimer::timeout, this, [this] {
        troubleTold_ = true;
        Q_EMIT errorChanged();
    });
    lingerTimer_.setSingleShot(true);
    connect(&lingerTimer_, &QTimer::timeout, this, [this] {
        {
            // In a turn of its own: what is found is written in at its end.
            const Turn turn(*this, {}, true);
            if (turn) {
                lookAtReplaced(true);
            }
        }
        if (!replaced_.empty() || !carries_.empty()) {
            lingerTimer_.start(kRetryInterval);
        }
    });
    settleTimer_.setSingleShot(true);
    settleTimer_.setInterval(kRetryInterval);
    connect(&settleTimer_, &QTimer::timeout, this, &NotesStore::onFileChanged);
    if (QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, &NotesStore::flushAgreedText);
    }
}

NotesStore::~NotesStore() {
    flushAgreedText();
}

void NotesStore::flushAgreedText() {
    agreedTimer_.stop();
    if (!agreed_ || !agreedPending_) {
        return;
    }
    // In a turn with the file: its writers note their own writes in theirs, so a text read just as
    // one was made is known as theirs by now; and the agreed copy has one writer at a time.
    const Turn turn(*this, {}, true);
    if (!turn) {
        agreedTimer_.start(); // kept for a moment later (none comes in a command that ends)
        return;
    }
    const AgreedRead& pending = *agreedPending_;
    agreed_->read([&] { return pending.bytes.isNull() ? pending.text.toUtf8() : pending.bytes; }, pending.stamp);
    agreedPending_.reset();
}

NotesStore& NotesStore::shared() {
    static NotesStore* store =
        new NotesStore(Preferences::shared(), Clock::system(), residentOptions()); // lives as long as the process
    return *store;
}

QString NotesStore::notesPath() const {
    return options_.filePath.isEmpty() ? preferences_.notesFilePath() : QFileInfo(options_.filePath).absoluteFilePath();
}

const EntryCounts& NotesStore::counts() const {
    counts_.update(document_, clock_.calendar(), preferences_.anchors());
    return counts_;
}

QString NotesStore::filePath() const {
    return loaded_ ? loadedPath_ : notesPath();
}

QString NotesStore::trashFilePath() const {
    return Preferences::trashFilePathFor(filePath());
}

FileLock& NotesStore::fileLock() {
    const QString path = filePath();
    if (!lock_ || lockedPath_ != path) {
        lock_ = std::make_unique<FileLock>(path);
        lockedPath_ = path;
    }
    return *lock_;
}

qsizetype NotesStore::historyBytes() const {
    std::vector<const CompactText*> all;
    for (const auto& t : undoStack_) {
        all.push_back(&t);
    }
    for (const auto& t : redoStack_) {
        all.push_back(&t);
    }
    return CompactText::memoryUsed(all);
}

void NotesStore::setError(std::optional<StoreError> e) {
    if (e == error_) {
        return;
    }
    const auto passing = [](const std::optional<StoreError>& x) {
        return x && (x->kind == StoreError::Kind::Busy || x->kind == StoreError::Kind::WriteFailed);
    };
    if (!passing(e)) {
        troubled_ = false;
        troubleTold_ = false;
        noticeTimer_.stop();
    } else if (!troubled_) {
        troubled_ = true;
        // Told once it has lasted.
        noticeTimer_.start(options_.noticeDelay);
    }
    error_ = std::move(e);
    Q_EMIT errorChanged();
}

void NotesStore::retryPending() {
    retrying_ = true;
    if (waitingCaptures() > 0) {
        // The first look at the file writes them in.
        const Turn turn(*this, {});
        if (turn) {
            syncWithDisk();
        }
    }
    while (!pending_.empty()) {
        const std::function<void()> change = std::move(pending_.front());
        pending_.pop_front();
        const size_t waiting = pending_.size();
        change();
        if (pending_.size() > waiting) {
            break; // still busy: it went back to the head of the line
        }
    }
    retrying_ = false;
    if (!pending_.empty() || waitingCaptures() > 0) {
        scheduleRetry();
    } else if (error_ && error_->kind == StoreError::Kind::Busy) {
        setError(std::nullopt);
    }
}

void NotesStore::scheduleRetry() {
    // A full disk stays full for a while; a busy file is free again in a moment.
    const bool failing = error_ && error_->kind == StoreError::Kind::WriteFailed;
    retryTimer_.start(failing ? kFailedRetryInterval : kRetryInterval);
}

bool NotesStore::finishPendingChanges(std::chrono::milliseconds wait) {
    if (!pending_.empty() || waitingCaptures() > 0) {
        retryTimer_.stop();
        retryWait_ = wait;
        retryPending();
        retryWait_ = 0ms;
    }
    return pending_.empty();
}

bool NotesStore::ensureFileExists() {
    const QString path = filePath();
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    if (info.exists() || info.isSymLink()) {
        return true;
    }
    const Turn turn(*this, [this] { ensureFileExists(); });
    if (!turn) {
        return false;
    }
    PreparedWrite write = PreparedWrite::prepare(path, QByteArray());
    const bool prepared = write.ready();
    // Created meanwhile by someone else is as good.
    const PreparedWrite::Result result = prepared ? write.commit(FileStamp{}) : PreparedWrite::Result{};
    if (result.outcome == PreparedWrite::Outcome::Failed) {
        setError(StoreError{StoreError::Kind::WriteFailed, path, prepared ? result.reason : write.error()});
        return false;
    }
    return true;
}

void NotesStore::load() {
    load(ReadAhead{});
}

NotesStore::ReadAhead NotesStore::readAhead(const QString& path) {
    ReadAhead ahead{path, readTextFile(path), {}, {}};
    if (ahead.read.status == TextRead::Status::Ok) {
        ahead.document = ahead.parser.parse(ahead.read.text);
    }
    return ahead;
}

void NotesStore::load(ReadAhead ahead) {
    if (options_.keepAgreedText) {
        flushAgreedText(); // what was read from the file before, in a turn with that file
    }
    loadedPath_ = notesPath();
    loaded_ = true;
    if (options_.keepAgreedText) {
        agreed_ = std::make_unique<AgreedText>(loadedPath_);
    }
    {
        // Housekeeping needs the file to itself; reading does not, so a busy file is still read.
        const Turn turn(*this, {}, true);
        if (turn) {
            ensureFileExists();
            // What a writer killed mid-write left behind; nobody else writes while we hold the lock.
            removeStaleTemporaries(loadedPath_);
            if (agreed_) {
                removeStaleTemporaries(agreed_->ancestorPath());
                removeStaleTemporaries(agreed_->ledgerPath());
                AgreedText::prune(plimStateFolder(), QDateTime::currentDateTime());
            }
        }
        text_.reset();
        // What was read ahead stands while the file is still that version.
        if (ahead.read.status == TextRead::Status::Ok && ahead.path == loadedPath_ &&
            fileStamp(loadedPath_) == ahead.read.stamp) {
            adopt(ahead.read, &ahead);
        } else {
            adopt(readTextFile(loadedPath_, readMode()));
        }
        if (!options_.wholeDocument) {
            // No window waits for it; and once recorded the text is not shared when a capture
            // splices it in place.
            flushAgreedText();
        }
        journal_ = std::make_unique<CaptureJournal>(loadedPath_);
        // Captures a plim process kept and could not write (it may have been killed since).
        if (turn) {
            replayJournal();
        }
    }
    if (options_.retryWhenBusy && waitingCaptures() > 0) {
        scheduleRetry();
    }
    startWatching();
    Q_EMIT changed();
}

bool NotesStore::adopt(const TextRead& read, ReadAhead* ahead) {
    stamp_ = read.stamp;
    if (!read.ok()) {
        // Show nothing rather than a stale document, and refuse to write until the file is mended.
        setError(StoreError{StoreError::Kind::Unreadable, filePath(), read.reason});
        text_.reset();
        textStale_ = false;
        bytesKnown_ = false;
        const bool hadContent = document_ != NotesDocument{};
        document_ = NotesDocument{};
        dayTexts_.clear();
        serialized_.reset();
        parsedFromText_ = false;
        return hadContent;
    }
    if (error_ && error_->kind == StoreError::Kind::Unreadable) {
        setError(std::nullopt);
    }
    const bool bytesOnly = readMode() == TextRead::Decode::BytesOnly;
    if (text_ && (textStale_ ? bytes_ == read.bytes : !bytesOnly && *text_ == read.text)) {
        return false;
    }
    // A capture splices the bytes (without decoding them when only capturing); a store that keeps
    // the whole document encodes them again only when it needs them, and not its memory twice
    // meanwhile.
    text_ = read.text;
    textStale_ = bytesOnly;
    bytesKnown_ = !options_.wholeDocument;
    bytes_ = options_.wholeDocument ? QByteArray() : read.bytes;
    if (agreed_) {
        agreedPending_ = AgreedRead{read.text, bytesOnly ? read.bytes : QByteArray(), read.stamp};
        agreedTimer_.start();
    }
    if (ahead) {
        parser_ = std::move(ahead->parser);
        document_ = std::move(ahead->document);
    } else {
        document_ = options_.wholeDocument ? parser_.parse(read.text) : NotesDocument{};
    }
    dayTexts_.clear();
    serialized_.reset();
    parsedFromText_ = options_.wholeDocument;
    return true;
}

bool NotesStore::syncWithDisk() {
    if (!loaded_) {
        load();
    }
    // Never built on a file another program is still writing (truncated and half written again).
    basis_ = WriteBasis(loadedPath_);
    if (!basis_.waitWhileWritten(turnDeadline_)) {
        giveUpContended(QStringLiteral("another program is writing it"));
        return false;
    }
    const bool blocked = error_ && error_->kind == StoreError::Kind::Unreadable;
    if (blocked || !text_ || basis_.stamp() != stamp_) {
        if (adopt(basis_.isOpen() ? basis_.read(readMode()) : readTextFile(loadedPath_, readMode()))) {
            Q_EMIT changed();
        }
        if (error_ && error_->kind == StoreError::Kind::Unreadable) {
            return false;
        }
    }
    if (std::exchange(replayDue_, false)) {
        replayJournal();
    }
    return true;
}

void NotesStore::onFileChanged() {
    // Half a file is not shown: it is read once the other program has finished writing it.
    const WriteBasis basis(loadedPath_);
    if (basis.beingWritten()) {
        settleTimer_.start();
        return;
    }
    if (adopt(basis.isOpen() ? basis.read(readMode()) : readTextFile(loadedPath_, readMode()))) {
        Q_EMIT changed();
    }
}

void NotesStore::onPreferencesChanged() {
    // Only a new location needs the file read again; the watcher keeps the rest current.
    if (loaded_ && notesPath() != loadedPath_) {
        load();
    }
}

void NotesStore::startWatching() {
    watcher_.reset();
    if (!options_.watch) {
        return;
    }
    watcher_ = std::make_unique<FileWatcher>(loadedPath_);
    connect(watcher_.get(), &FileWatcher::changed, this, &NotesStore::onFileChanged);
}

NotesStore::Saved NotesStore::saveNotes(const QByteArray& bytes) {
    // Writing and syncing the temporary come first; the last look at the file is right before the
    // rename, so another program's write can only be lost within a stat and a rename.
    PreparedWrite write = PreparedWrite::prepare(loadedPath_, bytes);
    const bool prepared = write.ready();
    if (prepared && agreed_) {
        agreed_->writing(bytes);
    }
    const PreparedWrite::Result result = prepared ? write.commit(stamp_, &basis_) : PreparedWrite::Result{};
    switch (result.outcome) {
    case PreparedWrite::Outcome::TargetMoved:
        if (result.replaced) {
            noteReplaced(result.replaced, stamp_);
        }
        return Saved::Moved;
    case PreparedWrite::Outcome::Failed:
        setError(StoreError{StoreError::Kind::WriteFailed, loadedPath_, prepared ? result.reason : write.error()});
        return Saved::Failed;
    case PreparedWrite::Outcome::Committed:
        break;
    }
    const FileStamp built = stamp_;
    stamp_ = result.stamp;
    if (agreed_) {
        agreed_->wrote(result.stamp);
    }
    noteReplaced(result.replaced, built);
    if (error_ && (error_->kind == StoreError::Kind::WriteFailed ||
                   (error_->kind == StoreError::Kind::Busy && pending_.empty()))) {
        setError(std::nullopt);
    }
    return Saved::Yes;
}

void NotesStore::giveUpContended(const QString& reason) {
    setError(StoreError{StoreError::Kind::Busy, loadedPath_, reason});
    contended_ = true;
}

const QString& NotesStore::currentText() {
    if (!serialized_) {
        // With the days' bytes: an undo step of this text is then made of them.
        QByteArray bytes;
        serialized_ = dayTexts_.serialize(document_, &dayTexts_, &bytes);
    }
    return *serialized_;
}

const QString& NotesStore::fileText() {
    if (textStale_) {
        text_ = decodeText(bytes_).value_or(QString());
        textStale_ = false;
    }
    return *text_;
}

TextRead::Decode NotesStore::readMode() const {
    return options_.wholeDocument ? TextRead::Decode::Text : TextRead::Decode::BytesOnly;
}

QByteArray& NotesStore::fileBytes() {
    if (!bytesKnown_) {
        bytes_ = text_ ? text_->toUtf8() : QByteArray();
        bytesKnown_ = true;
    }
    return bytes_;
}

void NotesStore::pushUndo(const QString& text, std::optional<MovedFile> moved) {
    const CompactText* neighbour = undoStack_.empty() ? nullptr : &undoStack_.back();
    // The days' UTF-8 as kept when `text` is the one last written from them: nothing to scan.
    std::optional<CompactText> made = dayTexts_.compactOf(text, neighbour);
    pushUndo(made ? std::move(*made) : CompactText::make(text, neighbour), std::move(moved));
}

void NotesStore::pushUndo(CompactText compact, std::optional<MovedFile> moved) {
    if (undoStack_.size() >= undoLimit) {
        undoStack_.pop_front();
        undoMoves_.pop_front();
    }
    undoStack_.push_back(std::move(compact));
    undoMoves_.push_back(std::move(moved));
}

void NotesStore::pushRedo(const QString& text, std::optional<MovedFile> moved) {
    const CompactText* neighbour = redoStack_.empty() ? nullptr : &redoStack_.back();
    std::optional<CompactText> made = dayTexts_.compactOf(text, neighbour);
    redoStack_.push_back(made ? std::move(*made) : CompactText::make(text, neighbour));
    redoMoves_.push_back(std::move(moved));
}

bool NotesStore::mutate(const std::function<void(NotesDocument&)>& change) {
    const Turn turn(*this, [this, change] { mutate(change); });
    if (!turn) {
        return false;
    }
    for (Tries tries(options_.lockWait); tries.another();) {
        if (!syncWithDisk()) {
            return false;
        }
        // The days of the text before, each with its UTF-8 (made once after the file was read; only
        // the days not kept are written): the whole text is not made for it.
        if (!dayTexts_.describes(document_)) {
            dayTexts_.encode(document_, &dayTexts_);
        }
        NotesDocument copy = document_;
        change(copy);
        DayTexts days;
        // Only the days the change touched are encoded; the others' bytes are copied. The whole
        // text is not made: what needs it makes it from the days.
        const QByteArray bytes = dayTexts_.encode(copy, &days);
        if (days.sameText(dayTexts_)) {
            return false;
        }
        const Saved saved = saveNotes(bytes);
        if (saved == Saved::Moved) {
            continue; // read what is there now and make the change on that
        }
        if (saved == Saved::Failed && options_.retryWhenBusy) {
            // Kept and made again once the file can be written: in memory only, a later re-read of
            // the file would drop it.
            contended_ = true;
            return false;
        }
        // A failed write keeps the change in memory; the next write that succeeds carries it.
        pushUndo(dayTexts_.compact(undoStack_.empty() ? nullptr : &undoStack_.back()));
        dayTexts_ = std::move(days);
        redoStack_.clear();
        redoMoves_.clear();
        document_ = std::move(copy);
        parsedFromText_ = false; // identities stay as they were in memory
        serialized_.reset();
        if (saved == Saved::Yes) {
            text_ = QString();
            textStale_ = true; // decoded from the bytes when needed
            bytes_ = bytes;
            bytesKnown_ = true;
        }
        Q_EMIT changed();
        return true;
    }
    giveUpContended();
    return false;
}

void NotesStore::undo() {
    restore(true);
}

void NotesStore::redo() {
    restore(false);
}

// Undo and redo mirror each other: take the newest text of one stack, keep the current text on the
// other, and make the taken text the document and the file.
void NotesStore::restore(bool undoing) {
    std::deque<CompactText>& from = undoing ? undoStack_ : redoStack_;
    if (from.empty() && pending_.empty()) {
        return;
    }
    const Turn turn(*this, [this, undoing] { restore(undoing); });
    if (!turn) {
        return;
    }
    for (Tries tries(options_.lockWait); tries.another();) {
        if (from.empty() || !syncWithDisk()) {
            return;
        }
        const QByteArray bytes = from.back().utf8();
        const QString restored = from.back().toString();
        const Saved saved = saveNotes(bytes);
        if (saved == Saved::Moved) {
            continue;
        }
        if (saved == Saved::Failed && options_.retryWhenBusy) {
            contended_ = true; // kept, as a change is
            return;
        }
        from.pop_back();
        std::deque<std::optional<MovedFile>>& moves = undoing ? undoMoves_ : redoMoves_;
        std::optional<MovedFile> moved = std::move(moves.back());
        moves.pop_back();
        if (moved) {
            // The merged copy goes back beside the notes with the text it was merged into, and
            // away again with the merge; a file now in its way stays where it is.
            const QString& source = undoing ? moved->to : moved->from;
            const QString& target = undoing ? moved->from : moved->to;
            if (!QFileInfo::exists(target)) {
                QFile::rename(source, target);
            }
        }
        // The text left is kept as the days' UTF-8 already made of it, where they are the document's:
        // the whole text is then not made again for it.
        std::deque<CompactText>& to = undoing ? redoStack_ : undoStack_;
        if (dayTexts_.describes(document_)) {
            CompactText left = dayTexts_.compact(to.empty() ? nullptr : &to.back());
            if (undoing) {
                redoStack_.push_back(std::move(left));
                redoMoves_.push_back(std::move(moved));
            } else {
                pushUndo(std::move(left), std::move(moved));
            }
        } else if (undoing) {
            pushRedo(currentText(), std::move(moved));
        } else {
            pushUndo(currentText(), std::move(moved));
        }
        document_ = parser_.parse(restored);
        // The days read again are new lists; the others are still the very lists whose text is kept,
        // so the next change writes only those anew.
        dayTexts_.dropBytes();
        serialized_ = restored;
        parsedFromText_ = saved == Saved::Yes;
        if (saved == Saved::Yes) {
            text_ = restored;
            textStale_ = false;
            bytes_ = bytes;
            bytesKnown_ = true;
        }
        Q_EMIT changed();
        return;
    }
    giveUpContended();
}

NotesStore::Saved NotesStore::spliceCapture(const QList<NotesFormat::TextEdit>& edits) {
    // The edits are at the top of the file and at its very end: each position becomes a byte
    // offset by measuring the short stretch between it and the nearer end of the text.
    const QString& text = *text_;
    QByteArray& bytes = fileBytes();
    const auto byteAt = [&](qsizetype pos) {
        return pos <= text.size() / 2 ? utf8Length(QStringView(text).first(pos))
                                      : bytes.size() - utf8Length(QStringView(text).sliced(pos));
    };
    struct Cut {
        qsizetype from;
        qsizetype to;
        QByteArray with;
    };
    QList<Cut> cuts;
    cuts.reserve(edits.size());
    for (const NotesFormat::TextEdit& e : edits) {
        cuts.append(Cut{byteAt(e.from), byteAt(e.to), e.text.toUtf8()});
    }
    for (auto it = cuts.crbegin(); it != cuts.crend(); ++it) {
        replaceInPlace(bytes, it->from, it->to, QByteArrayView(it->with));
    }
    const Saved saved = saveNotes(bytes);
    if (saved != Saved::Yes) {
        bytesKnown_ = false; // they no longer match the text; encoded again when needed
        return saved;
    }
    for (auto it = edits.crbegin(); it != edits.crend(); ++it) {
        replaceInPlace(*text_, it->from, it->to, QStringView(it->text));
    }
    return saved;
}

NotesStore::Saved NotesStore::spliceBytes(const QList<NotesFormat::TextEdit>& edits, QByteArray* unsaved) {
    // In place, last edit first (the earlier ones keep their offsets); what each replaced is kept
    // for as long as the write is not in, as the base of what another program may write into the
    // version replaced meanwhile.
    qsizetype shift = 0;
    for (const NotesFormat::TextEdit& e : edits) {
        SplicedCut cut{e.from + shift, e.text.toUtf8(), bytes_.sliced(e.from, e.to - e.from)};
        shift += cut.with.size() - cut.was.size();
        splicing_.push_back(std::move(cut));
    }
    for (qsizetype i = edits.size() - 1; i >= 0; --i) {
        replaceInPlace(bytes_, edits[i].from, edits[i].to, QByteArrayView(splicing_[size_t(i)].with));
    }
    const Saved saved = saveNotes(bytes_);
    if (saved != Saved::Yes) {
        *unsaved = bytes_;
        bytes_ = bytesBeforeSplice();
    }
    splicing_.clear();
    text_ = QString();
    textStale_ = true;
    return saved;
}

QByteArray NotesStore::bytesBeforeSplice() const {
    QByteArray bytes = bytes_;
    for (auto it = splicing_.crbegin(); it != splicing_.crend(); ++it) {
        replaceInPlace(bytes, it->at, it->at + it->with.size(), QByteArrayView(it->was));
    }
    return bytes;
}

std::optional<QUuid> NotesStore::append(QStringView text, const std::optional<Reminder>& reminder, Instant at) {
    return capture(text, reminder, at).id;
}

NotesStore::Capture NotesStore::capture(QStringView text, const std::optional<Reminder>& reminder, Instant at) {
    const QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty()) {
        return {};
    }
    // What does not depend on the file is done before the file is looked at.
    const Calendar calendar = clock_.calendar();
    QString comment = NotesDocument::time(at, calendar);
    if (reminder) {
        comment += QLatin1Char(' ') + reminder->clauses(calendar);
    }
    // Never kept in memory only: one that cannot be written now is kept on disk.
    const Turn turn(*this, {});
    if (!turn) {
        return keepCapture(trimmed, comment, at);
    }
    std::optional<QUuid> id;
    if (writeCapture(trimmed, comment, at, &id) || id) {
        return {id, false, {}};
    }
    return keepCapture(trimmed, comment, at);
}

bool NotesStore::writeCapture(const QString& trimmed, const QString& comment, Instant at, std::optional<QUuid>* id) {
    const Calendar calendar = clock_.calendar();
    const QString heading = NotesFormat::heading(at, calendar).mid(3);
    if (!loaded_) {
        load();
    }
    ensureFileExists();
    for (Tries tries(options_.lockWait); tries.another();) {
        if (!syncWithDisk()) {
            return false;
        }
        // After a failed write the document holds changes the file lacks (the file has not moved
        // since, or it would have been read again): build on them.
        const bool unsaved = lastNotesWriteFailed() && !parsedFromText_ && options_.wholeDocument;
        // Where only the file's bytes are known, the capture is spliced into them.
        const bool inBytes = textStale_ && !unsaved;
        const auto edits =
            inBytes ? NotesFormat::captureEdits(trimmed, QByteArrayView(bytes_), at, calendar, comment)
                    : NotesFormat::captureEdits(trimmed, unsaved ? currentText() : *text_, at, calendar, comment);
        Saved saved = Saved::Failed;
        QString next; // the new text, unless it is `text_` itself
        if (inBytes) {
            QByteArray unsavedBytes;
            saved = spliceBytes(edits, &unsavedBytes);
            if (saved == Saved::Failed) {
                next = decodeText(unsavedBytes).value_or(QString()); // the capture stands in memory
            }
        } else if (unsaved) {
            next = NotesFormat::applyEdits(currentText(), edits);
            const QByteArray bytes = next.toUtf8();
            saved = saveNotes(bytes);
            if (saved == Saved::Yes) {
                text_ = next;
                textStale_ = false;
                bytes_ = bytes;
                bytesKnown_ = true;
            }
        } else {
            saved = spliceCapture(edits);
            if (saved == Saved::Failed) {
                next = NotesFormat::applyEdits(*text_, edits); // the capture stands in memory
            }
        }
        if (saved == Saved::Moved) {
            continue; // read what is there now and capture into that
        }
        if (saved == Saved::Failed && (options_.retryWhenBusy || replaying_)) {
            return false; // kept on disk, not in memory
        }
        // The new text, decoded only where needed.
        const auto now = [&]() -> const QString& { return next.isNull() ? fileText() : next; };
        if (!options_.wholeDocument) {
            document_ = NotesDocument{};
        }
        if (!options_.wholeDocument || (parsedFromText_ && !unsaved)) {
            if (inBytes && next.isNull()) {
                replaceTopSection(QByteArrayView(bytes_), heading);
            } else {
                replaceTopSection(now(), heading);
            }
        } else {
            document_ = parser_.parse(now());
            dayTexts_.clear();
        }
        parsedFromText_ = saved == Saved::Yes && options_.wholeDocument;
        serialized_.reset();
        Q_EMIT changed();

        // The capture is by construction the last entry of the first section with the day's
        // heading; looking it up by text would miss a capture whose text reads back differently
        // (a trailing comment of its own, carriage returns).
        for (const DaySection& section : document_.sections) {
            if (section.heading != heading) {
                continue;
            }
            for (auto it = section.items.crbegin(); it != section.items.crend(); ++it) {
                if (const auto* entry = std::get_if<Entry>(&*it)) {
                    *id = entry->id;
                    break;
                }
            }
            break;
        }
        return saved == Saved::Yes;
    }
    giveUpContended();
    return false;
}

void NotesStore::replaceTopSection(QByteArrayView next, const QString& heading) {
    // As below, on the bytes: only the top day is decoded.
    const qsizetype begin = next.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const auto headingAt = [&](qsizetype from) -> qsizetype {
        if (from == begin && next.sliced(begin).startsWith("## ")) {
            return begin;
        }
        const qsizetype hit = next.indexOf("\n## ", from == begin ? begin : from - 1);
        return hit < 0 ? next.size() : hit + 1;
    };
    const qsizetype first = headingAt(begin);
    if (first >= next.size()) {
        replaceTopSection(decodeText(next.toByteArray()).value_or(QString()), heading); // no day: read it all
        return;
    }
    replaceTopSection(QString::fromUtf8(next.sliced(first, headingAt(first + 1) - first)), heading);
}

void NotesStore::replaceTopSection(QStringView next, const QString& heading) {
    // A capture only touches the top day: the section under the first heading, or a new one above
    // it. Everything else reads as it did, so only that day is parsed again.
    // A byte-order mark before everything is not part of the first line.
    const qsizetype begin = next.startsWith(QChar(0xFEFF)) ? 1 : 0;
    const auto headingAt = [&](qsizetype from) -> qsizetype {
        if (from == begin && next.sliced(begin).startsWith(u"## ")) {
            return begin;
        }
        const qsizetype hit = next.indexOf(u"\n## ", from == begin ? begin : from - 1);
        return hit < 0 ? next.size() : hit + 1;
    };
    const qsizetype first = headingAt(begin);
    const qsizetype second = first < next.size() ? headingAt(first + 1) : next.size();
    NotesDocument top = NotesDocument::parse(next.sliced(first, second - first));
    if (top.sections.isEmpty()) {
        document_ = NotesDocument::parse(next);
        dayTexts_.clear();
        return;
    }
    if (!document_.sections.isEmpty() && document_.sections.first().heading == heading) {
        document_.sections.first() = std::move(top.sections.first());
    } else {
        document_.sections.prepend(std::move(top.sections.first()));
    }
}

} // namespace plim
