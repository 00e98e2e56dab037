#include "store/NotesStore.h"

#include "notes/Preferences.h"
#include "notes/Shortened.h"
#include "reminders/Reminder.h"
#include "store/AgreedText.h"
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
    held_ = true;
}

NotesStore::Turn::~Turn() {
    if (!held_ || --store_.turnDepth_ > 0) {
        return;
    }
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
    store_.retryTimer_.start();
}

NotesStore::Options NotesStore::residentOptions() {
    Options o;
    o.lockWait = 50ms;
    o.retryWhenBusy = true;
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
    agreed_->read(agreedPending_->first, agreedPending_->second);
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
    error_ = std::move(e);
    Q_EMIT errorChanged();
}

void NotesStore::retryPending() {
    retrying_ = true;
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
    if (!pending_.empty()) {
        retryTimer_.start();
    } else if (error_ && error_->kind == StoreError::Kind::Busy) {
        setError(std::nullopt);
    }
}

bool NotesStore::finishPendingChanges(std::chrono::milliseconds wait) {
    if (!pending_.empty()) {
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
        adopt(readTextFile(loadedPath_));
    }
    startWatching();
    Q_EMIT changed();
}

bool NotesStore::adopt(const TextRead& read) {
    stamp_ = read.stamp;
    if (!read.ok()) {
        // Show nothing rather than a stale document, and refuse to write until the file is mended.
        setError(StoreError{StoreError::Kind::Unreadable, filePath(), read.reason});
        text_.reset();
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
    if (text_ && *text_ == read.text) {
        return false;
    }
    text_ = read.text;
    bytesKnown_ = false;
    if (agreed_) {
        agreedPending_ = {read.text, read.stamp};
        agreedTimer_.start();
    }
    document_ = parser_.parse(read.text);
    dayTexts_.clear();
    serialized_.reset();
    parsedFromText_ = true;
    return true;
}

bool NotesStore::syncWithDisk() {
    if (!loaded_) {
        load();
    }
    const bool blocked = error_ && error_->kind == StoreError::Kind::Unreadable;
    if (!blocked && text_ && fileStamp(loadedPath_) == stamp_) {
        return true;
    }
    if (adopt(readTextFile(loadedPath_))) {
        Q_EMIT changed();
    }
    return !(error_ && error_->kind == StoreError::Kind::Unreadable);
}

void NotesStore::onFileChanged() {
    if (adopt(readTextFile(loadedPath_))) {
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
    const PreparedWrite::Result result = prepared ? write.commit(stamp_) : PreparedWrite::Result{};
    switch (result.outcome) {
    case PreparedWrite::Outcome::TargetMoved:
        return Saved::Moved;
    case PreparedWrite::Outcome::Failed:
        setError(StoreError{StoreError::Kind::WriteFailed, loadedPath_, prepared ? result.reason : write.error()});
        return Saved::Failed;
    case PreparedWrite::Outcome::Committed:
        break;
    }
    stamp_ = result.stamp;
    if (agreed_) {
        agreed_->wrote(result.stamp);
    }
    if (error_ && (error_->kind == StoreError::Kind::WriteFailed ||
                   (error_->kind == StoreError::Kind::Busy && pending_.empty()))) {
        setError(std::nullopt);
    }
    return Saved::Yes;
}

void NotesStore::giveUpContended() {
    setError(StoreError{StoreError::Kind::Busy, loadedPath_,
                        QStringLiteral("another program kept changing it while it was being saved")});
    contended_ = true;
}

const QString& NotesStore::currentText() {
    if (!serialized_) {
        serialized_ = dayTexts_.serialize(document_, &dayTexts_);
    }
    return *serialized_;
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
    CompactText compact = CompactText::make(text, neighbour);
    if (undoStack_.size() >= undoLimit) {
        undoStack_.pop_front();
        undoMoves_.pop_front();
    }
    undoStack_.push_back(std::move(compact));
    undoMoves_.push_back(std::move(moved));
}

void NotesStore::pushRedo(const QString& text, std::optional<MovedFile> moved) {
    const CompactText* neighbour = redoStack_.empty() ? nullptr : &redoStack_.back();
    redoStack_.push_back(CompactText::make(text, neighbour));
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
        const QString before = currentText();
        NotesDocument copy = document_;
        change(copy);
        DayTexts days;
        const QString after = dayTexts_.serialize(copy, &days);
        if (after == before) {
            return false;
        }
        const QByteArray bytes = after.toUtf8();
        const Saved saved = saveNotes(bytes);
        if (saved == Saved::Moved) {
            continue; // read what is there now and make the change on that
        }
        // A failed write keeps the change in memory; the next write that succeeds carries it.
        dayTexts_ = std::move(days);
        pushUndo(before);
        redoStack_.clear();
        redoMoves_.clear();
        document_ = std::move(copy);
        parsedFromText_ = false; // identities stay as they were in memory
        serialized_ = after;
        if (saved == Saved::Yes) {
            text_ = after;
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
        const QString restored = from.back().toString();
        const QByteArray bytes = restored.toUtf8();
        const Saved saved = saveNotes(bytes);
        if (saved == Saved::Moved) {
            continue;
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
        if (undoing) {
            pushRedo(currentText(), std::move(moved));
        } else {
            pushUndo(currentText(), std::move(moved));
        }
        document_ = parser_.parse(restored);
        dayTexts_.clear();
        serialized_ = restored;
        parsedFromText_ = saved == Saved::Yes;
        if (saved == Saved::Yes) {
            text_ = restored;
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

std::optional<QUuid> NotesStore::append(QStringView text, const std::optional<Reminder>& reminder, Instant at) {
    const QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    // What does not depend on the file is done before the file is looked at.
    const Calendar calendar = clock_.calendar();
    QString comment = NotesDocument::time(at, calendar);
    if (reminder) {
        comment += QLatin1Char(' ') + reminder->clauses(calendar);
    }
    const QString heading = NotesFormat::heading(at, calendar).mid(3);

    const Turn turn(*this, [this, trimmed, reminder, at] { append(trimmed, reminder, at); });
    if (!turn) {
        return std::nullopt;
    }
    if (!loaded_) {
        load();
    }
    ensureFileExists();
    for (Tries tries(options_.lockWait); tries.another();) {
        if (!syncWithDisk()) {
            return std::nullopt;
        }
        // After a failed write the document holds changes the file lacks (the file has not moved
        // since, or it would have been read again): build on them.
        const bool unsaved = lastNotesWriteFailed() && !parsedFromText_;
        const auto edits = NotesFormat::captureEdits(trimmed, unsaved ? currentText() : *text_, at, calendar, comment);
        Saved saved = Saved::Failed;
        QString next; // the new text, unless it is `text_` itself
        if (unsaved) {
            next = NotesFormat::applyEdits(currentText(), edits);
            const QByteArray bytes = next.toUtf8();
            saved = saveNotes(bytes);
            if (saved == Saved::Yes) {
                text_ = next;
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
        const QString& now = next.isNull() ? *text_ : next;
        if (parsedFromText_ && !unsaved) {
            replaceTopSection(now, heading);
        } else {
            document_ = parser_.parse(now);
            dayTexts_.clear();
        }
        parsedFromText_ = saved == Saved::Yes;
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
                    return entry->id;
                }
            }
            break;
        }
        return std::nullopt;
    }
    giveUpContended();
    return std::nullopt;
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
