#pragma once

#include "base/Clock.h"
#include "notes/IncrementalParser.h"
#include "notes/NotesDocument.h"
#include "reminders/Reminder.h"
#include "store/CaptureSplice.h"
#include "store/ConflictMerge.h"
#include "store/DayTexts.h"
#include "store/EntryCounts.h"
#include "store/TextFile.h"
#include "store/UndoHistory.h"
#include "store/WriteBasis.h"
#include "store/WriteTurns.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace plim {

class AgreedText;
class CaptureJournal;
class FileWatcher;
class Preferences;

// Why the store cannot do what it was asked. An unreadable file blocks every write until it is
// mended (nothing may replace it); a failed write is reported until the next write succeeds; a
// busy file (another plim process holds it, or another program kept changing it while it was
// being saved) is reported until a change gets through.
struct StoreError {
    enum class Kind { Unreadable, WriteFailed, Busy };
    Kind kind = Kind::Unreadable;
    QString path;
    QString reason;
    // Captures kept on disk meanwhile, waiting to be written in (said first when there are any).
    int waitingCaptures = 0;
    // One line for the user: names the file and the reason.
    QString message() const;
    friend bool operator==(const StoreError&, const StoreError&) = default;
};

// The one owner of the notes file: the parsed document, every recorded change, undo and redo,
// outside edits, the trash file.
class NotesStore : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString filePath; // empty: the setting
        bool watch = true;
        // How long a change waits for another plim process to finish with the file, and keeps
        // trying while another program keeps changing it.
        std::chrono::milliseconds lockWait{5000};
        // When that wait runs out, keep the change and try it again from the event loop (the
        // resident program, which must not block) instead of failing it (the command line).
        bool retryWhenBusy = false;
        // Keep the text the file last agreed on with other computers (the ancestor of a merge).
        bool keepAgreedText = false;
        // How long a busy or failing file goes unmentioned while the changes waiting for it are
        // tried again (with `retryWhenBusy`): a moment's contention is no news.
        std::chrono::milliseconds noticeDelay{3000};
        // How long after a write the version it replaced is looked at again, for what a program
        // whose open found that version just before the rename wrote into it after. The resident
        // program looks from its event loop, others wait before their turn ends; 0: not at all.
        std::chrono::milliseconds linger{0};
        // Reads the whole file into the document. Without, a store only captures (a command that
        // adds one entry): its document holds no more than the day its last capture went into.
        bool wholeDocument = true;
    };
    // What the resident program uses: its event loop never waits long for the file.
    static Options residentOptions();
    // Records the agreed text now rather than a moment after the read that brought it (a merge
    // does this first itself).
    void flushAgreedText();

    NotesStore(Preferences& preferences, const Clock& clock, Options options, QObject* parent = nullptr);
    ~NotesStore() override;

    // The program's instance (the user's settings and the system clock).
    static NotesStore& shared();

    static constexpr int undoLimit = UndoHistory::limit;

    QString filePath() const;
    QString trashFilePath() const;
    const NotesDocument& document() const { return document_; }
    // The open and ringing counts of the document (the drawer's header, the tray's dot), brought
    // up to it when asked: only the days changed since the last time are counted again.
    const EntryCounts& counts() const;
    const std::optional<StoreError>& error() const { return error_; }
    // The error as the user is told of it: none while changes kept for a busy or failing file are
    // still within `noticeDelay`; with the count of captures waiting.
    std::optional<StoreError> shownError() const;
    // Captures kept on disk, waiting to be written into the notes file (by any plim process).
    int waitingCaptures() const;
    // Changes kept while the file was busy, waiting to be made in order.
    bool hasPendingChanges() const { return turns_.hasPending(); }
    // Makes the kept changes now, waiting at most `wait` for the file (before the program quits).
    // Returns whether none is left.
    bool finishPendingChanges(std::chrono::milliseconds wait);
    bool isLoaded() const { return loaded_; }
    int undoDepth() const { return history_.undoDepth(); }
    int redoDepth() const { return history_.redoDepth(); }
    // Memory held by the undo and redo texts.
    qsizetype historyBytes() const;
    const Clock& clock() const { return clock_; }
    Preferences& preferences() const { return preferences_; }

    // Whether keys are about to change the file one after another (the notes window is shown): the
    // file's bytes are then kept, and each day's UTF-8 is made on another thread ahead of the next
    // change, so that a change encodes only what it touches. Otherwise both are let go of a moment
    // later: an idle program keeps no second copy of a large file.
    void keepReady(bool ready);

    // (Re)reads the file, starts watching it, announces the document.
    void load();
    // The notes file read and parsed ahead of load(), on any thread: a large file is read while the
    // program starts up. load() takes it over while the file is still the version read.
    struct ReadAhead {
        QString path;
        TextRead read;
        IncrementalParser parser;
        NotesDocument document;
    };
    static ReadAhead readAhead(const QString& path);
    void load(ReadAhead ahead);
    void undo();
    void redo();
    // Creates the folder and an empty file when missing. False when it could not.
    bool ensureFileExists();

    // The one path of every recorded change: applies `change` to a copy of the document and, when
    // the text differs, records an undo step, writes and announces. Returns whether it changed.
    // When the file moved meanwhile, `change` is applied again to what it holds now; a change kept
    // for later (busy file, resident program) is called later, so it must not hold references.
    bool mutate(const std::function<void(NotesDocument&)>& change);

    // A capture: adds the trimmed text under the day's heading of `at` without rewriting the rest
    // of the file. Returns the new entry's identity; none for empty text, an unreadable file, or a
    // capture kept for later because the file is busy.
    std::optional<QUuid> append(QStringView text, const std::optional<Reminder>& reminder, Instant at);
    struct Capture {
        std::optional<QUuid> id; // written: the new entry
        // Not written yet, but kept on disk (with `retryWhenBusy`) and written in as soon as the
        // file can be, by this process or the next plim process that has the file.
        bool waiting = false;
        // Neither: why (the caller must keep the text).
        QString why;
    };
    Capture capture(QStringView text, const std::optional<Reminder>& reminder, Instant at);

    // --- Commands on entries (recorded changes; an unknown identity changes nothing) ---
    // `at`, where given, is where the caller saw the entry (the row the user chose): looked at
    // first, and the entry found there when it still has the identity.
    void toggleDone(const QUuid& id, const std::optional<EntryLocation>& at = {});
    // Done (struck for a note) or open again, as toggleDone does, unless it is so already; a
    // routine is logged each time.
    void markDone(const QUuid& id, bool done);
    void toggleActive(const QUuid& id, const std::optional<EntryLocation>& at = {});
    void carryToToday(const QUuid& id, Instant today, const std::optional<EntryLocation>& at = {});
    void updateText(const QUuid& id, QStringView text);
    // Moves the entry to the trash file. The trash is written first: when it cannot be, nothing is
    // deleted and the error is reported. Returns whether the entry was deleted.
    bool deleteEntry(const QUuid& id, const std::optional<EntryLocation>& at = {});
    void setReminder(const QUuid& id, const std::optional<Reminder>& reminder);
    void answer(const QUuid& id, const NotesDocument::Answer& answer, const std::optional<EntryLocation>& at = {});
    // Takes back the latest open capture of `text` under today; true when one was removed.
    bool removeMostRecentCapture(QStringView text, Instant today);

    // --- The trash file (same format, days oldest first, no undo) ---
    NotesDocument trashDocument() const;
    // Brings a trashed entry back as a new open capture of today; it leaves the trash only once
    // the notes file holds it.
    bool restoreFromTrash(const QUuid& id);
    void deleteFromTrash(const QUuid& id);
    // Drops trash days 30 days old or older.
    void purgeTrash();

    // --- Conflict copies a sync tool left beside the notes file or the trash ---
    struct CopyMerge {
        enum class Status { Merged, Unreadable, NotOwn, Failed };
        Status status = Status::Failed;
        QString message; // what was merged ("3 entries added, from NAME"), or why not
    };
    // Where a copy to merge comes from: found beside the notes, or named by the user.
    enum class CopySource { Found, Named };
    // Merges the copy into the notes (one recorded change: its undo also puts the copy back) or into
    // the trash, then moves it into `mergedFolder()`. A copy that cannot be read is left alone, and
    // so is a found one that is not the user's own (ConflictCopies::ownership); a named one is
    // merged whoever's it is, the message saying whose.
    CopyMerge mergeCopy(const QString& copyPath, ConflictCopies::Of of, CopySource source = CopySource::Found);
    // Where merged copies are kept: out of the synced folder, never deleted.
    static QString mergedFolder();

Q_SIGNALS:
    // The document changed (load, a recorded change, undo, redo, capture, an outside edit).
    void changed();
    void errorChanged();

private:
    using Turn = WriteTurns::Turn;
    enum class Saved { Yes, Moved, Failed };

    QString notesPath() const;
    WriteTurns::Hooks turnHooks();
    // The end of the outermost turn: what other programs wrote meanwhile is written in.
    void endTurn();
    void onFileChanged();
    void onPreferencesChanged();
    void startWatching();
    // Brings the document up to the file on disk before a change is written over it. False when
    // the file cannot be read and so must not be written.
    bool syncWithDisk();
    // Adopts what was read; returns whether the document changed.
    bool adopt(const TextRead& read, ReadAhead* ahead = nullptr);
    // Replaces the notes file with `bytes` if it is still the version last read (its stamp).
    Saved saveNotes(const QByteArray& bytes);
    // Gives up a change because the file kept moving under it (or another program kept writing it).
    void giveUpContended(const QString& reason = QStringLiteral("another program kept changing it while it was "
                                                                "being saved"));
    // --- Outside writers and kept captures (NotesStoreKept.cpp) ---
    // After a write over the version stamped `built`: what another program wrote into the replaced
    // file (`replaced`) is written in at the end of the turn; that version is looked at again a
    // moment later, for a program that opened it just before the rename may write into it after.
    void noteReplaced(const std::optional<QByteArray>& replaced, const FileStamp& built);
    // Looks at those versions again: all of them (`due`: the moment has passed), else, in a
    // process that ends after its command, after a short wait; the resident program looks later.
    void lookAtReplaced(bool due);
    // Writes in what other programs wrote into replaced versions meanwhile; what cannot be written
    // now is tried again at the next turn.
    void carryOver();
    void carryOverNow();
    // Writes in the captures kept on disk, oldest first, each removed once written.
    void replayJournal();
    // Writes one capture; true once it is in the file. Sets `id` to its entry.
    bool writeCapture(const QString& trimmed, const QString& comment, Instant at, std::optional<QUuid>* id);
    // Keeps a capture that could not be written (resident program): on disk, tried again later.
    Capture keepCapture(const QString& trimmed, const QString& comment, Instant at);
    void scheduleRetry() { turns_.scheduleRetry(); }
    bool writeTrash(const QString& text);
    bool appendToTrash(const Entry& entry);
    bool lastNotesWriteFailed() const;
    Anchors anchors() const;
    void setError(std::optional<StoreError> e);
    const QString& currentText();
    // A store that only captures reads the file's bytes without decoding them.
    TextRead::Decode readMode() const;
    // `text` kept for undo, sharing what it can with `neighbour`.
    CompactText compactOf(const QString& text, const CompactText* neighbour);
    CopyMerge mergeIntoTrash(const QString& copyPath, const NotesDocument& copy, const QString& whose);
    // Moves a merged copy into the merged folder; the reason when it could not be.
    std::optional<QString> moveMerged(const QString& copyPath, QString* movedTo);
    void restore(bool undoing);
    void retryPending(std::chrono::milliseconds wait = {});
    // --- Made ahead of the next change while `ready_` ---
    // What another thread made of a copy of the document: its days, and the file's bytes read
    // again where they had been let go of.
    struct Prepared {
        NotesDocument document; // holds its lists: their addresses name the days
        DayTexts days;
        std::optional<TextRead> read;
    };
    // Starts making what the next change needs, when something is missing and nothing is under way.
    void prepare();
    // Takes what was made, where it is still the document's and the file's; `wait`: for one under
    // way (a change is about to look at the file).
    void takePrepared(bool wait);
    // Lets go of the file's bytes and the days' UTF-8, unless keys are expected.
    void release();

    Preferences& preferences_;
    const Clock& clock_;
    Options options_;
    QString loadedPath_;
    bool loaded_ = false;
    NotesDocument document_;
    // The document's serialized text, when known (saves serializing it again).
    std::optional<QString> serialized_;
    // Each day's written form, kept with the items it was written from.
    DayTexts dayTexts_;
    // The text the last undo or redo made the file's, with the document read from it: while the
    // document is still that one, the next undo or redo keeps these chunks instead of cutting the
    // text again.
    struct Restored {
        NotesDocument document;
        CompactText compact;
    };
    std::optional<Restored> restored_;
    // Re-reads of the whole file take over the days that read the same as before.
    IncrementalParser parser_;
    mutable EntryCounts counts_;
    // The file as last read or written (a capture splices it instead of encoding the whole text
    // again), and its stamp then.
    CaptureSplice file_;
    QTimer releaseTimer_;
    bool ready_ = false;
    QTimer prepareTimer_;
    std::future<Prepared> preparing_;
    quint64 preparations_ = 0; // the number of the latest
    FileStamp stamp_;
    // Whether `document_` is exactly the parse of the file's text: a capture then re-reads only its
    // day.
    bool parsedFromText_ = false;
    UndoHistory history_;
    std::unique_ptr<AgreedText> agreed_;
    // A text read in, recorded as agreed a moment later: copying a large file out must not delay
    // the window's next frame.
    struct AgreedRead {
        QString text;     // the text read, or
        QByteArray bytes; // its bytes, when read
        FileStamp stamp;
    };
    std::optional<AgreedRead> agreedPending_;
    QTimer agreedTimer_;
    std::optional<StoreError> error_;
    // The file could not be read: nothing is shown and nothing written until it can.
    bool unreadable() const { return error_ && error_->kind == StoreError::Kind::Unreadable; }
    std::unique_ptr<FileWatcher> watcher_;

    // Taking turns with other plim processes; changes kept while the file was busy (resident
    // program) are made in order from the event loop.
    WriteTurns turns_;
    // The version the current try builds on.
    WriteBasis basis_;
    // What other programs wrote into versions this turn replaced: the version read (none: not
    // known), theirs.
    struct Carry {
        std::optional<QString> base;
        QString theirs;
    };
    std::vector<Carry> carries_;
    struct Replaced {
        WriteBasis version;
        FileStamp stamp; // as it was replaced
    };
    std::vector<Replaced> replaced_;
    QTimer lingerTimer_;
    // Closing the last descriptor of a replaced version frees its pages (milliseconds for a large
    // file): done on another thread, so that the rows of the key that wrote are not held up.
    void closeElsewhere(std::vector<WriteBasis> versions);
    std::future<void> closing_;
    // Captures kept on disk; written in by the first look at the file in each turn.
    std::unique_ptr<CaptureJournal> journal_;
    bool replayDue_ = false;
    bool replaying_ = false;
    // A busy or failing file stands in the way; told once it has for `noticeDelay`.
    bool troubled_ = false;
    bool troubleTold_ = false;
    QTimer noticeTimer_;
    // An outside change read in once the other program has finished writing it.
    QTimer settleTimer_;
};

} // namespace plim
