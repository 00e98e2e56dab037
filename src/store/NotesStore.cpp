#include "store/NotesStore.h"

#include "base/Shortened.h"
#include "reminders/Reminder.h"
#include "store/AgreedText.h"
#include "store/CaptureJournal.h"
#include "store/FileWatcher.h"
#include "store/Preferences.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <malloc.h>
#include <system_error>

namespace plim {

namespace {

using namespace std::chrono_literals;

// Long enough for the window to draw what the read brought first.
constexpr auto kAgreedTextDelay = 300ms;
// How long the file's bytes are kept after the last read or write: captures in a row splice them,
// and an idle program does not hold a second copy of the notes beside its document.
constexpr auto kReleaseDelay = 500ms;
// After a change, what the next one needs is made once the window has drawn this one.
constexpr auto kPrepareDelay = 30ms;
// How soon a replaced version is looked at again, and an outside change read once written.
constexpr auto kRetryInterval = WriteTurns::kRetryInterval;

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
    , options_(std::move(options))
    , turns_(options_.lockWait, options_.retryWhenBusy, turnHooks()) {
    connect(&preferences_, &Preferences::changed, this, &NotesStore::onPreferencesChanged);
    agreedTimer_.setSingleShot(true);
    agreedTimer_.setInterval(kAgreedTextDelay);
    connect(&agreedTimer_, &QTimer::timeout, this, &NotesStore::flushAgreedText);
    releaseTimer_.setSingleShot(true);
    releaseTimer_.setInterval(kReleaseDelay);
    connect(&releaseTimer_, &QTimer::timeout, this, &NotesStore::release);
    prepareTimer_.setSingleShot(true);
    prepareTimer_.setInterval(kPrepareDelay);
    connect(&prepareTimer_, &QTimer::timeout, this, &NotesStore::prepare);
    connect(this, &NotesStore::changed, this, [this] {
        if (ready_) {
            prepareTimer_.start();
        }
    });
    noticeTimer_.setSingleShot(true);
    connect(&noticeTimer_, &QTimer::timeout, this, [this] {
        troubleTold_ = true;
        Q_EMIT errorChanged();
    });
    lingerTimer_.setSingleShot(true);
    connect(&lingerTimer_, &QTimer::timeout, this, [this] {
        {
            // In a turn of its own: what is found is written in at its end.
            const Turn turn(turns_, {}, true);
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
    if (preparing_.valid()) {
        preparing_.wait(); // it posts to this object when done
    }
}

WriteTurns::Hooks NotesStore::turnHooks() {
    return {
        .path = [this] { return filePath(); },
        .taken = [this] { replayDue_ = true; },
        .ending = [this] { endTurn(); },
        .busy =
            [this](const QString& why) {
                setError(StoreError{StoreError::Kind::Busy, filePath(), why});
            },
        .failing = [this] { return error_ && error_->kind == StoreError::Kind::WriteFailed; },
        .retry = [this] { retryPending(); },
    };
}

void NotesStore::endTurn() {
    // What other programs wrote into the versions this turn replaced: written in at once (until
    // then the file lacks it, and a program saving a copy of it would lose it), then once more for
    // what came a moment later.
    carryOver();
    for (int round = 0; round < 3 && !replaced_.empty(); ++round) {
        lookAtReplaced(false);
        carryOver();
        if (options_.retryWhenBusy) {
            break;
        }
    }
    if (!carries_.empty() && options_.retryWhenBusy) {
        lingerTimer_.start(kRetryInterval); // written in at the next chance
    }
    basis_ = WriteBasis();
    replayDue_ = false;
}

void NotesStore::flushAgreedText() {
    agreedTimer_.stop();
    if (!agreed_ || !agreedPending_) {
        return;
    }
    // In a turn with the file: its writers note their own writes in theirs, so a text read just as
    // one was made is known as theirs by now; and the agreed copy has one writer at a time.
    const Turn turn(turns_, {}, true);
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

qsizetype NotesStore::historyBytes() const {
    return history_.bytes();
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

void NotesStore::retryPending(std::chrono::milliseconds wait) {
    turns_.makePending(wait, [this] {
        if (waitingCaptures() > 0) {
            // The first look at the file writes them in.
            const Turn turn(turns_, {});
            if (turn) {
                syncWithDisk();
            }
        }
    });
    if (turns_.hasPending() || waitingCaptures() > 0) {
        scheduleRetry();
    } else if (error_ && error_->kind == StoreError::Kind::Busy) {
        setError(std::nullopt);
    }
}

bool NotesStore::finishPendingChanges(std::chrono::milliseconds wait) {
    if (turns_.hasPending() || waitingCaptures() > 0) {
        turns_.cancelRetry();
        retryPending(wait);
    }
    return !turns_.hasPending();
}

bool NotesStore::ensureFileExists() {
    const QString path = filePath();
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    if (info.exists() || info.isSymLink()) {
        return true;
    }
    const Turn turn(turns_, [this] { ensureFileExists(); });
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
        ahead.document = ahead.parser.parse(ahead.read.text, ahead.read.bytes);
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
        const Turn turn(turns_, {}, true);
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
        file_.forget();
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
        file_.forget();
        const bool hadContent = document_ != NotesDocument{};
        document_ = NotesDocument{};
        dayTexts_.clear();
        serialized_.reset();
        parsedFromText_ = false;
        return hadContent;
    }
    if (unreadable()) {
        setError(std::nullopt);
    }
    const bool bytesOnly = readMode() == TextRead::Decode::BytesOnly;
    releaseTimer_.start();
    if (file_.same(read, bytesOnly)) {
        if (!file_.isKnown()) {
            file_.read(read, bytesOnly); // the bytes let go of, read again for a capture
        }
        return false;
    }
    // A capture splices the bytes (without decoding them when only capturing).
    file_.read(read, bytesOnly);
    if (agreed_) {
        // Its bytes when read: the text is then neither kept nor encoded again for it.
        agreedPending_ = AgreedRead{read.bytes.isNull() ? read.text : QString(), read.bytes, read.stamp};
        agreedTimer_.start();
    }
    if (ahead) {
        parser_ = std::move(ahead->parser);
        document_ = std::move(ahead->document);
    } else {
        document_ = options_.wholeDocument ? parser_.parse(read.text, read.bytes) : NotesDocument{};
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
    // What was made ahead for this change is taken before the file is looked at.
    takePrepared(true);
    releaseTimer_.start(); // what is read or written now is kept a moment
    // Never built on a file another program is still writing (truncated and half written again).
    basis_ = WriteBasis(loadedPath_);
    if (!basis_.waitWhileWritten(turns_.deadline())) {
        giveUpContended(QStringLiteral("another program is writing it"));
        return false;
    }
    if (!unreadable() && file_.isReleased() && basis_.stamp() == stamp_) {
        // The version whose bytes were let go of: taken back when their hash says they are the
        // same, neither checked nor decoded again (the document is that of these bytes already).
        const TextRead read = basis_.isOpen() ? basis_.read(TextRead::Decode::Unchecked)
                                              : readTextFile(loadedPath_, TextRead::Decode::Unchecked);
        if (read.status == TextRead::Status::Ok && read.stamp == stamp_ && file_.same(read, true)) {
            file_.read(read, true);
        }
    }
    if (unreadable() || !file_.isKnown() || basis_.stamp() != stamp_) {
        if (adopt(basis_.isOpen() ? basis_.read(readMode()) : readTextFile(loadedPath_, readMode()))) {
            Q_EMIT changed();
        }
        if (unreadable()) {
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
    // The version the document was made from (most often this program's own write, told here
    // right after it): nothing to read, and a 6 MB read would come before the list's next frame.
    if (!unreadable() && stamp_.exists && basis.stamp() == stamp_) {
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
    // The agreed folder's key of the bytes is worked out meanwhile: it reads every byte, the sync
    // mostly waits.
    std::future<QByteArray> key;
    if (agreed_) {
        try {
            key = std::async(std::launch::async, [copy = bytes] { return AgreedText::keyOf(copy); });
        } catch (const std::system_error&) {
            key = std::async(std::launch::deferred, [copy = bytes] { return AgreedText::keyOf(copy); });
        }
    }
    PreparedWrite write = PreparedWrite::prepare(loadedPath_, bytes);
    const bool prepared = write.ready();
    if (prepared && agreed_) {
        agreed_->writing(key.get());
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
                   (error_->kind == StoreError::Kind::Busy && !turns_.hasPending()))) {
        setError(std::nullopt);
    }
    return Saved::Yes;
}

void NotesStore::giveUpContended(const QString& reason) {
    setError(StoreError{StoreError::Kind::Busy, loadedPath_, reason});
    turns_.setContended(true);
}

const QString& NotesStore::currentText() {
    if (!serialized_) {
        // With the days' bytes: an undo step of this text is then made of them.
        QByteArray bytes;
        serialized_ = dayTexts_.serialize(document_, &dayTexts_, &bytes);
    }
    return *serialized_;
}

TextRead::Decode NotesStore::readMode() const {
    return options_.wholeDocument ? TextRead::Decode::Text : TextRead::Decode::BytesOnly;
}

CompactText NotesStore::compactOf(const QString& text, const CompactText* neighbour) {
    // The days' UTF-8 as kept when `text` is the one last written from them: nothing to scan.
    std::optional<CompactText> made = dayTexts_.compactOf(text, neighbour);
    return made ? std::move(*made) : CompactText::make(text, neighbour);
}

void NotesStore::keepReady(bool ready) {
    ready_ = ready;
    if (ready) {
        prepare();
    } else {
        prepareTimer_.stop();
        releaseTimer_.start();
    }
}

void NotesStore::release() {
    if (ready_) {
        return;
    }
    file_.release();
    if (!dayTexts_.isEmpty()) {
        dayTexts_.clear();
        // Thousands of small strings went: the pages they were on go back to the system.
        ::malloc_trim(0);
    }
}

void NotesStore::prepare() {
    takePrepared(false);
    const bool daysMissing = !dayTexts_.describes(document_);
    const bool bytesMissing = file_.isReleased();
    if (!ready_ || preparing_.valid() || !loaded_ || unreadable() || !options_.wholeDocument ||
        (!daysMissing && !bytesMissing)) {
        return;
    }
    // Copies share everything with the originals, which this thread only replaces, never changes
    // in place: the other thread reads them safely.
    Prepared made{document_, {}, {}};
    DayTexts kept = daysMissing ? dayTexts_ : DayTexts();
    // The days shared with the newest undo step are kept as its very chunks: the next change's
    // step then shares them without comparing them, and an undo decodes none of them.
    const UndoHistory::Step* newest = history_.next(true);
    std::optional<CompactText> neighbour = newest ? std::optional(newest->text) : std::nullopt;
    const QString path = bytesMissing ? loadedPath_ : QString();
    const quint64 number = ++preparations_;
    auto make = [this, made = std::move(made), kept = std::move(kept), daysMissing, neighbour = std::move(neighbour),
                 path, number]() mutable {
        if (!path.isEmpty()) {
            made.read = readTextFile(path, TextRead::Decode::Unchecked);
        }
        if (daysMissing) {
            kept.encodeDays(made.document, &made.days);
            if (neighbour) {
                made.days.compact(&*neighbour);
            }
        }
        // What only this thread holds goes here, not where the result is taken.
        kept = DayTexts();
        neighbour.reset();
        // Taken once it is done: only the return is left when this arrives.
        QMetaObject::invokeMethod(
            this,
            [this, number] {
                if (number == preparations_ && preparing_.valid()) {
                    preparing_.wait();
                    takePrepared(false);
                }
            },
            Qt::QueuedConnection);
        return std::move(made);
    };
    try {
        preparing_ = std::async(std::launch::async, std::move(make));
    } catch (const std::system_error&) {
        // No thread to be had: the change makes what it needs itself, as it would without.
    }
}

void NotesStore::takePrepared(bool wait) {
    using namespace std::chrono_literals;
    if (!preparing_.valid() || (!wait && preparing_.wait_for(0s) != std::future_status::ready)) {
        return;
    }
    Prepared made = preparing_.get();
    if (!ready_) {
        return; // nothing is kept for an idle program
    }
    const TextRead* read = made.read ? &*made.read : nullptr;
    if (read && read->status == TextRead::Status::Ok && file_.isReleased() && read->stamp == stamp_ &&
        file_.same(*read, true)) {
        file_.read(*read, true);
    }
    if (dayTexts_.describes(document_)) {
        return;
    }
    if (made.days.describes(document_)) {
        dayTexts_ = std::move(made.days);
    } else if (made.document.sections.constData() != document_.sections.constData()) {
        prepareTimer_.start(); // the document changed meanwhile
    }
}

bool NotesStore::mutate(const std::function<void(NotesDocument&)>& change) {
    const Turn turn(turns_, [this, change] { mutate(change); });
    if (!turn) {
        return false;
    }
    for (auto tries = turns_.tries(); tries.another();) {
        if (!syncWithDisk()) {
            return false;
        }
        // The days of the text before, each with its UTF-8 (made once after the file was read; only
        // the days not kept are written): the whole text is not made for it.
        if (!dayTexts_.describes(document_)) {
            dayTexts_.encodeDays(document_, &dayTexts_);
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
            turns_.setContended(true);
            return false;
        }
        // A failed write keeps the change in memory; the next write that succeeds carries it.
        history_.record([&](const CompactText* neighbour) { return dayTexts_.compact(neighbour); });
        dayTexts_ = std::move(days);
        document_ = std::move(copy);
        parsedFromText_ = false; // identities stay as they were in memory
        serialized_.reset();
        if (saved == Saved::Yes) {
            file_.writtenBytes(bytes); // the text decoded from them when needed
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

// Undo and redo mirror each other: make the text of the history's next step the document and the
// file, and keep the current text in its place.
void NotesStore::restore(bool undoing) {
    if (!history_.next(undoing) && !turns_.hasPending()) {
        return;
    }
    const Turn turn(turns_, [this, undoing] { restore(undoing); });
    if (!turn) {
        return;
    }
    for (auto tries = turns_.tries(); tries.another();) {
        if (!history_.next(undoing) || !syncWithDisk()) {
            return;
        }
        const CompactText& step = history_.next(undoing)->text;
        const QByteArray bytes = step.utf8();
        const Saved saved = saveNotes(bytes);
        if (saved == Saved::Moved) {
            continue;
        }
        if (saved == Saved::Failed && options_.retryWhenBusy) {
            turns_.setContended(true); // kept, as a change is
            return;
        }
        // The step's own text, once it holds the text it replaces.
        CompactText restored;
        // The text left is kept as the days' UTF-8 already made of it, where they are the document's:
        // the whole text is then not made again for it.
        const std::optional<UndoHistory::MovedFile> moved = history_.cross(
            undoing,
            [this](const CompactText* neighbour) {
                // The text an undo or redo made the file's is kept as it came (the days made ahead of
                // the next key would give the same text again, cut anew).
                if (restored_ && restored_->document.sections.constData() == document_.sections.constData() &&
                    restored_->document == document_) {
                    return std::move(restored_->compact); // replaced below
                }
                if (dayTexts_.describes(document_)) {
                    return dayTexts_.compact(neighbour);
                }
                return compactOf(currentText(), neighbour);
            },
            &restored);
        if (moved) {
            // The merged copy goes back beside the notes with the text it was merged into, and
            // away again with the merge; a file now in its way stays where it is.
            const QString& source = undoing ? moved->to : moved->from;
            const QString& target = undoing ? moved->from : moved->to;
            if (!QFileInfo::exists(target)) {
                QFile::rename(source, target);
            }
        }
        // Only the days not read before are decoded and read; the others are taken as they were
        // read, the very lists (the next change writes only the days it touches anew).
        std::vector<IncrementalParser::Piece> pieces;
        pieces.reserve(restored.chunks().size());
        for (const CompactText::ChunkPtr& chunk : restored.chunks()) {
            pieces.push_back({QByteArrayView(chunk->bytes), chunk->hash});
        }
        if (std::optional<NotesDocument> read = parser_.parse(pieces)) {
            document_ = std::move(*read);
            serialized_.reset();
            restored_ = Restored{document_, std::move(restored)};
            if (saved == Saved::Yes) {
                file_.writtenBytes(bytes); // the text decoded from them when needed
            }
        } else {
            // Not UTF-8 where it was cut: read as a whole.
            bool whole = false;
            const QString text = dayTexts_.decode(restored, &whole);
            document_ = parser_.parse(text, bytes);
            serialized_ = text;
            restored_.reset();
            if (whole) {
                restored_ = Restored{document_, std::move(restored)};
            }
            if (saved == Saved::Yes) {
                file_.written(text, bytes);
            }
        }
        dayTexts_.dropBytes();
        parsedFromText_ = saved == Saved::Yes;
        Q_EMIT changed();
        return;
    }
    giveUpContended();
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
    const Turn turn(turns_, {});
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
    for (auto tries = turns_.tries(); tries.another();) {
        if (!syncWithDisk()) {
            return false;
        }
        // After a failed write the document holds changes the file lacks (the file has not moved
        // since, or it would have been read again): build on them.
        const bool unsaved = lastNotesWriteFailed() && !parsedFromText_ && options_.wholeDocument;
        // Where only the file's bytes are known, the capture is spliced into them.
        const bool inBytes = file_.bytesOnly() && !unsaved;
        const auto edits =
            inBytes ? NotesFormat::captureEdits(trimmed, QByteArrayView(file_.bytes()), at, calendar, comment)
                    : NotesFormat::captureEdits(trimmed, unsaved ? currentText() : file_.text(), at, calendar, comment);
        Saved saved = Saved::Failed;
        const auto write = [&](const QByteArray& bytes) {
            saved = saveNotes(bytes);
            return saved == Saved::Yes;
        };
        QString next; // the new text, unless it is the file's as spliced
        if (inBytes) {
            QByteArray unsavedBytes;
            file_.spliceBytes(edits, write, &unsavedBytes);
            if (saved == Saved::Failed) {
                next = decodeText(unsavedBytes).value_or(QString()); // the capture stands in memory
            }
        } else if (unsaved) {
            next = NotesFormat::applyEdits(currentText(), edits);
            const QByteArray bytes = next.toUtf8();
            if (write(bytes)) {
                file_.written(next, bytes);
            }
        } else if (!file_.spliceText(edits, write) && saved == Saved::Failed) {
            next = NotesFormat::applyEdits(file_.text(), edits); // the capture stands in memory
        }
        if (saved == Saved::Moved) {
            continue; // read what is there now and capture into that
        }
        if (saved == Saved::Failed && (options_.retryWhenBusy || replaying_)) {
            return false; // kept on disk, not in memory
        }
        // The new text, decoded only where needed.
        const auto now = [&]() -> const QString& { return next.isNull() ? file_.text() : next; };
        if (!options_.wholeDocument) {
            document_ = NotesDocument{};
        }
        if (!options_.wholeDocument || (parsedFromText_ && !unsaved)) {
            // Only the top day is parsed again.
            const bool whole = inBytes && next.isNull()
                                   ? CaptureSplice::replaceTopDay(document_, QByteArrayView(file_.bytes()), heading)
                                   : CaptureSplice::replaceTopDay(document_, QStringView(now()), heading);
            if (whole) {
                dayTexts_.clear();
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

} // namespace plim
