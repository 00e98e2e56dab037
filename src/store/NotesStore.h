#pragma once

#include "notes/Clock.h"
#include "store/CompactText.h"
#include "notes/IncrementalParser.h"
#include "notes/NotesDocument.h"
#include "store/TextFile.h"
#include "reminders/Reminder.h"

#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace plim {

class FileWatcher;
class Preferences;

// Why the store cannot do what it was asked. An unreadable file blocks every write until it is
// mended (nothing may replace it); a failed write is reported until the next write succeeds.
struct StoreError {
    enum class Kind { Unreadable, WriteFailed };
    Kind kind = Kind::Unreadable;
    QString path;
    QString reason;
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
    };

    NotesStore(Preferences& preferences, const Clock& clock, Options options, QObject* parent = nullptr);
    ~NotesStore() override;

    // The program's instance (the user's settings and the system clock).
    static NotesStore& shared();

    static constexpr int undoLimit = 50;

    QString filePath() const;
    QString trashFilePath() const;
    const NotesDocument& document() const { return document_; }
    const std::optional<QString>& lastWritten() const { return lastWritten_; }
    const std::optional<StoreError>& error() const { return error_; }
    bool isLoaded() const { return loaded_; }
    int undoDepth() const { return static_cast<int>(undoStack_.size()); }
    int redoDepth() const { return static_cast<int>(redoStack_.size()); }
    // Memory held by the undo and redo texts.
    qsizetype historyBytes() const;
    const Clock& clock() const { return clock_; }
    Preferences& preferences() const { return preferences_; }

    // (Re)reads the file, starts watching it, announces the document.
    void load();
    void undo();
    void redo();
    // Creates the folder and an empty file when missing. False when it could not.
    bool ensureFileExists();

    // The one path of every recorded change: applies `change` to a copy of the document and, when
    // the text differs, records an undo step, writes and announces. Returns whether it changed.
    bool mutate(const std::function<void(NotesDocument&)>& change);

    // A capture: adds the trimmed text under the day's heading of `at` without rewriting the rest
    // of the file. Returns the new entry's identity; none for empty text or an unreadable file.
    std::optional<QUuid> append(QStringView text, const std::optional<Reminder>& reminder, Instant at);

    // --- Commands on entries (recorded changes; an unknown identity changes nothing) ---
    void toggleDone(const QUuid& id);
    void toggleActive(const QUuid& id);
    void carryToToday(const QUuid& id, Instant today);
    void updateText(const QUuid& id, QStringView text);
    // Moves the entry to the trash file. The trash is written first: when it cannot be, nothing is
    // deleted and the error is reported. Returns whether the entry was deleted.
    bool deleteEntry(const QUuid& id);
    void setReminder(const QUuid& id, const std::optional<Reminder>& reminder);
    void answer(const QUuid& id, const NotesDocument::Answer& answer);
    // Takes back the latest open capture of `text` under today; true when one was removed.
    bool removeMostRecentCapture(QStringView text, Instant today);

    // --- The trash file (same format, days oldest first, no undo) ---
    NotesDocument trashDocument() const;
    // Brings a trashed entry back as a new open capture of today; it leaves the trash only once
    // the notes file holds it.
    bool restoreFromTrash(const QUuid& id);
    void deleteFromTrash(const QUuid& id);
    // Drops trash days older than 30 days.
    void purgeTrash();

Q_SIGNALS:
    // The document changed (load, a recorded change, undo, redo, capture, an outside edit).
    void changed();
    void errorChanged();

private:
    QString notesPath() const;
    void onFileChanged();
    void onPreferencesChanged();
    void startWatching();
    // Brings the document up to the file on disk before a change is written over it. False when
    // the file cannot be read and so must not be written.
    bool syncWithDisk();
    // Adopts what was read; returns whether the document changed.
    bool adopt(const TextRead& read);
    bool write(const QString& text, const QString& path);
    bool appendToTrash(const Entry& entry);
    bool lastNotesWriteFailed() const;
    Anchors anchors() const;
    void setError(std::optional<StoreError> e);
    void replaceTopSection(QStringView next, const QString& heading);
    const QString& currentText();
    void pushUndo(const QString& text);
    void pushRedo(const QString& text);
    void restore(std::deque<CompactText>& from, bool undoing);

    Preferences& preferences_;
    const Clock& clock_;
    Options options_;
    QString loadedPath_;
    bool loaded_ = false;
    NotesDocument document_;
    // The document's serialized text, when known (saves serializing it again).
    std::optional<QString> serialized_;
    std::optional<QString> lastWritten_;
    // Each day's written form, kept with the items it was written from: a change that leaves a
    // day's items alone (they stay shared) reuses its text instead of writing the whole file anew.
    struct SectionText {
        QString heading;
        QList<Item> items;
        QString text; // "## heading\n\n" and one line per item, each ending in "\n"
    };
    std::vector<SectionText> sectionTexts_;
    QString serializeReusing(const NotesDocument& doc, std::vector<SectionText>* texts) const;
    // The text `document_` is exactly the parse of, when known: a capture then re-reads only the
    // day it changed.
    std::optional<QString> parsedText_;
    // Re-reads of the whole file take over the days that read the same as before.
    IncrementalParser parser_;
    // The file's text as last read or written, and the stamp it had then.
    std::optional<QString> lastSynced_;
    FileStamp syncedStamp_;
    std::deque<CompactText> undoStack_;
    std::deque<CompactText> redoStack_;
    std::optional<StoreError> error_;
    std::unique_ptr<FileWatcher> watcher_;
};

} // namespace plim
