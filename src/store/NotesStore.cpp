#include "store/NotesStore.h"

#include "store/FileWatcher.h"
#include "notes/Preferences.h"
#include "reminders/Reminder.h"

#include <QDir>
#include <QFileInfo>

namespace plim {

QString StoreError::message() const {
    switch (kind) {
    case Kind::Unreadable:
        return QStringLiteral("%1 cannot be read (%2); it is left untouched until it is mended").arg(path, reason);
    case Kind::WriteFailed:
        return QStringLiteral("%1 could not be saved (%2)").arg(path, reason);
    }
    return {};
}

NotesStore::NotesStore(Preferences& preferences, const Clock& clock, Options options, QObject* parent)
    : QObject(parent)
    , preferences_(preferences)
    , clock_(clock)
    , options_(std::move(options)) {
    connect(&preferences_, &Preferences::changed, this, &NotesStore::onPreferencesChanged);
}

NotesStore::~NotesStore() = default;

NotesStore& NotesStore::shared() {
    static NotesStore* store =
        new NotesStore(Preferences::shared(), Clock::system(), Options{}); // lives as long as the process
    return *store;
}

QString NotesStore::notesPath() const {
    return options_.filePath.isEmpty() ? preferences_.notesFilePath() : QFileInfo(options_.filePath).absoluteFilePath();
}

QString NotesStore::filePath() const {
    return loaded_ ? loadedPath_ : notesPath();
}

QString NotesStore::trashFilePath() const {
    return QFileInfo(filePath()).absoluteDir().filePath(QStringLiteral("plim.trash.md"));
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

bool NotesStore::ensureFileExists() {
    const QString path = filePath();
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    if (info.exists() || info.isSymLink()) {
        return true;
    }
    return write(QString(), path);
}

void NotesStore::load() {
    loadedPath_ = notesPath();
    loaded_ = true;
    lastWritten_.reset();
    ensureFileExists();
    lastSynced_.reset();
    adopt(readTextFile(loadedPath_));
    startWatching();
    Q_EMIT changed();
}

bool NotesStore::adopt(const TextRead& read) {
    if (!read.ok()) {
        // Show nothing rather than a stale document, and refuse to write until the file is mended.
        setError(StoreError{StoreError::Kind::Unreadable, filePath(), read.reason});
        lastSynced_.reset();
        syncedStamp_ = read.stamp;
        const bool hadContent = document_ != NotesDocument{};
        document_ = NotesDocument{};
        sectionTexts_.clear();
        serialized_.reset();
        parsedText_ = QString();
        return hadContent;
    }
    if (error_ && error_->kind == StoreError::Kind::Unreadable) {
        setError(std::nullopt);
    }
    syncedStamp_ = read.stamp;
    if (lastSynced_ && *lastSynced_ == read.text) {
        return false;
    }
    lastSynced_ = read.text;
    document_ = parser_.parse(read.text);
    sectionTexts_.clear();
    parsedText_ = read.text;
    serialized_.reset();
    return true;
}

bool NotesStore::syncWithDisk() {
    if (!loaded_) {
        load();
    }
    const bool blocked = error_ && error_->kind == StoreError::Kind::Unreadable;
    if (!blocked && lastSynced_ && fileStamp(loadedPath_) == syncedStamp_) {
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

bool NotesStore::write(const QString& text, const QString& path) {
    const bool notes = path == loadedPath_ || path == notesPath();
    if (notes) {
        lastWritten_ = text;
    }
    if (const auto failure = writeTextFileAtomically(path, text)) {
        setError(StoreError{StoreError::Kind::WriteFailed, path, *failure});
        return false;
    }
    if (notes) {
        lastSynced_ = text;
        syncedStamp_ = fileStamp(path);
    }
    if (error_ && error_->kind == StoreError::Kind::WriteFailed) {
        setError(std::nullopt);
    }
    return true;
}

const QString& NotesStore::currentText() {
    if (!serialized_) {
        serialized_ = serializeReusing(document_, &sectionTexts_);
    }
    return *serialized_;
}

QString NotesStore::serializeReusing(const NotesDocument& doc, std::vector<SectionText>* texts) const {
    QHash<const void*, const SectionText*> known;
    known.reserve(static_cast<qsizetype>(sectionTexts_.size()));
    for (const SectionText& t : sectionTexts_) {
        known.insert(t.items.constData(), &t);
    }
    std::vector<SectionText> next;
    next.reserve(static_cast<size_t>(doc.sections.size()));
    qsizetype total = 0;
    for (const QString& line : doc.preamble) {
        total += line.size() + 1;
    }
    for (const DaySection& section : doc.sections) {
        const SectionText* old = known.value(section.items.constData());
        if (old && old->items.size() == section.items.size() && old->heading == section.heading) {
            next.push_back(*old);
        } else {
            QString text = QStringLiteral("## ") + section.heading + QStringLiteral("\n\n");
            for (const Item& item : section.items) {
                if (const auto* entry = std::get_if<Entry>(&item)) {
                    for (const QString& line : NotesDocument::serialize(*entry)) {
                        text += line + QLatin1Char('\n');
                    }
                } else {
                    text += std::get<RawLine>(item).text + QLatin1Char('\n');
                }
            }
            next.push_back(SectionText{section.heading, section.items, std::move(text)});
        }
        total += next.back().text.size() + 1;
    }
    QString out;
    out.reserve(total + 1);
    for (const QString& line : doc.preamble) {
        out += line + QLatin1Char('\n');
    }
    if (!doc.preamble.isEmpty()) {
        out += QLatin1Char('\n');
    }
    for (size_t i = 0; i < next.size(); ++i) {
        out += next[i].text;
        if (i + 1 < next.size()) {
            out += QLatin1Char('\n');
        }
    }
    *texts = std::move(next);
    return out;
}

void NotesStore::pushUndo(const QString& text) {
    const CompactText* neighbour = undoStack_.empty() ? nullptr : &undoStack_.back();
    CompactText compact = CompactText::make(text, neighbour);
    if (undoStack_.size() >= undoLimit) {
        undoStack_.pop_front();
    }
    undoStack_.push_back(std::move(compact));
}

void NotesStore::pushRedo(const QString& text) {
    const CompactText* neighbour = redoStack_.empty() ? nullptr : &redoStack_.back();
    redoStack_.push_back(CompactText::make(text, neighbour));
}

bool NotesStore::mutate(const std::function<void(NotesDocument&)>& change) {
    if (!syncWithDisk()) {
        return false;
    }
    const QString before = currentText();
    NotesDocument copy = document_;
    change(copy);
    std::vector<SectionText> texts;
    QString after = serializeReusing(copy, &texts);
    if (after == before) {
        return false;
    }
    sectionTexts_ = std::move(texts);
    pushUndo(before);
    redoStack_.clear();
    document_ = std::move(copy);
    parsedText_.reset(); // identities stay as they were in memory
    serialized_ = after;
    write(after, loadedPath_);
    Q_EMIT changed();
    return true;
}

void NotesStore::undo() {
    restore(undoStack_, true);
}

void NotesStore::redo() {
    restore(redoStack_, false);
}

// Undo and redo mirror each other: take the newest text of one stack, keep the current text on the
// other, and make the taken text the document and the file.
void NotesStore::restore(std::deque<CompactText>& from, bool undoing) {
    if (from.empty() || !syncWithDisk()) {
        return;
    }
    const QString restored = from.back().toString();
    from.pop_back();
    if (undoing) {
        pushRedo(currentText());
    } else {
        pushUndo(currentText());
    }
    document_ = parser_.parse(restored);
    sectionTexts_.clear();
    parsedText_ = restored;
    serialized_ = restored;
    write(restored, loadedPath_);
    Q_EMIT changed();
}

std::optional<QUuid> NotesStore::append(QStringView text, const std::optional<Reminder>& reminder, Instant at) {
    const QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    if (!loaded_) {
        load();
    }
    ensureFileExists();
    // Read afresh, unless the file is provably the text last read or written.
    TextRead read;
    if (lastSynced_ && fileStamp(loadedPath_) == syncedStamp_ &&
        !(error_ && error_->kind == StoreError::Kind::Unreadable)) {
        read.status = TextRead::Status::Ok;
        read.text = *lastSynced_;
        read.stamp = syncedStamp_;
    } else {
        read = readTextFile(loadedPath_);
    }
    if (!read.ok()) {
        if (adopt(read)) {
            Q_EMIT changed();
        }
        return std::nullopt;
    }
    if (error_ && error_->kind == StoreError::Kind::Unreadable) {
        setError(std::nullopt);
    }
    const Calendar calendar = clock_.calendar();
    QString comment = NotesDocument::time(at, calendar);
    if (reminder) {
        comment += QLatin1Char(' ') + reminder->clauses(calendar);
    }
    // After a failed write the document holds changes the file lacks; build on them unless another
    // program has changed the file since.
    const bool unsaved = error_ && error_->kind == StoreError::Kind::WriteFailed && error_->path == loadedPath_ &&
                         read.stamp == syncedStamp_;
    const QString& base = unsaved ? currentText() : read.text;
    const QString next = NotesFormat::appending(trimmed, base, at, calendar, comment);
    const bool incremental = parsedText_ && (parsedText_->constData() == base.constData() || *parsedText_ == base);
    write(next, loadedPath_);
    const QString heading = NotesFormat::heading(at, calendar).mid(3);
    if (incremental) {
        replaceTopSection(next, heading);
    } else {
        document_ = parser_.parse(next);
        sectionTexts_.clear();
    }
    parsedText_ = next;
    serialized_.reset();
    Q_EMIT changed();

    // The capture is by construction the last entry of the first section with the day's heading;
    // looking it up by text would miss a capture whose text reads back differently (a trailing
    // comment of its own, carriage returns).
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

void NotesStore::replaceTopSection(QStringView next, const QString& heading) {
    // A capture only touches the top day: the section under the first heading, or a new one above
    // it. Everything else reads as it did, so only that day is parsed again.
    const auto headingAt = [&](qsizetype from) -> qsizetype {
        if (from == 0 && next.startsWith(u"## ")) {
            return 0;
        }
        const qsizetype hit = next.indexOf(u"\n## ", from == 0 ? 0 : from - 1);
        return hit < 0 ? next.size() : hit + 1;
    };
    const qsizetype first = headingAt(0);
    const qsizetype second = first < next.size() ? headingAt(first + 1) : next.size();
    NotesDocument top = NotesDocument::parse(next.sliced(first, second - first));
    if (top.sections.isEmpty()) {
        document_ = NotesDocument::parse(next);
        sectionTexts_.clear();
        return;
    }
    if (!document_.sections.isEmpty() && document_.sections.first().heading == heading) {
        document_.sections.first() = std::move(top.sections.first());
    } else {
        document_.sections.prepend(std::move(top.sections.first()));
    }
}

} // namespace plim
