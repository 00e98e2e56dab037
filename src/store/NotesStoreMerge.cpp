#include "store/NotesStore.h"

#include "store/AgreedText.h"
#include "store/Preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace plim {

QString NotesStore::mergedFolder() {
    return plimStateFolder() + QStringLiteral("/merged");
}

std::optional<QString> NotesStore::moveMerged(const QString& copyPath, QString* movedTo) {
    const QString folder = mergedFolder();
    if (!QDir().mkpath(folder)) {
        return QStringLiteral("%1 cannot be made").arg(folder);
    }
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // A copy of the same name merged before is kept too.
    const QFileInfo info(copyPath);
    QString target = folder + QLatin1Char('/') + info.fileName();
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n) {
        target = folder + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(" (%1).").arg(n) + info.suffix();
    }
    QFile file(copyPath);
    if (!file.rename(target)) {
        return QStringLiteral("%1 could not be moved to %2 (%3)").arg(copyPath, folder, file.errorString());
    }
    *movedTo = target;
    return std::nullopt;
}

NotesStore::CopyMerge NotesStore::mergeCopy(const QString& copyPath, ConflictCopies::Of of, CopySource source) {
    using Status = CopyMerge::Status;
    const QString name = QFileInfo(copyPath).fileName();
    // Asked for now, so kept for nobody: a busy file is reported and the caller may ask again.
    const Turn turn(turns_, {});
    if (!turn) {
        return {Status::Failed, error_ ? error_->message() : QString()};
    }
    const ConflictCopies::Ownership owner = ConflictCopies::ownership(copyPath);
    if (owner.exists && !owner.own && source == CopySource::Found) {
        return {Status::NotOwn,
                QStringLiteral("%1 %2, so it was not merged; \u201cplim merge %3\u201d merges it anyway")
                    .arg(name, owner.why, copyPath)};
    }
    // Read in the turn: another plim process may have merged and moved it meanwhile.
    const TextRead read = readTextFile(copyPath);
    if (read.status != TextRead::Status::Ok) {
        const QString reason = read.status == TextRead::Status::Missing ? QStringLiteral("no such file") : read.reason;
        return {Status::Unreadable, QStringLiteral("%1 cannot be read (%2); it was not merged").arg(copyPath, reason)};
    }
    if (source == CopySource::Found && (read.stamp.device != owner.device || read.stamp.inode != owner.inode)) {
        return {Status::NotOwn, QStringLiteral("%1 was replaced while it was read: it was not merged").arg(name)};
    }
    const QString whose = owner.own ? QString() : QStringLiteral(" (it %1)").arg(owner.why);
    const NotesDocument copy = NotesDocument::parse(read.text);
    if (of == ConflictCopies::Of::Trash) {
        return mergeIntoTrash(copyPath, copy, whose);
    }
    if (!syncWithDisk()) {
        return {Status::Failed, error_ ? error_->message() : QString()};
    }
    flushAgreedText();
    // The agreed text is what both sides started from only if it is older than either: a copy
    // made before it (the other computer's text, come back after this one merged it) did not
    // delete what it lacks.
    const std::optional<qint64> agreedAt = agreed_ ? agreed_->ancestorWrittenNs() : std::nullopt;
    const bool older = agreedAt && *agreedAt <= read.stamp.mtimeNs && *agreedAt <= stamp_.mtimeNs;
    const std::optional<QString> agreed = older ? agreed_->ancestor() : std::nullopt;
    const std::optional<NotesDocument> ancestor = agreed ? std::optional(NotesDocument::parse(*agreed)) : std::nullopt;
    const Calendar calendar = clock_.calendar();
    const Instant now = clock_.now();
    const Anchors a = anchors();
    MergeCounts counts;
    const bool changed = mutate([&](NotesDocument& doc) {
        // Identities as a reading of the file gives them: an entry edited here keeps its old one
        // in memory.
        MergeOutcome merged =
            mergeNotes(ancestor ? &*ancestor : nullptr, NotesDocument::parse(currentText()), copy, now, calendar, a);
        doc = std::move(merged.document);
        counts = merged.counts;
    });
    if (turns_.contended() || lastNotesWriteFailed()) {
        return {Status::Failed, error_ ? error_->message() : QString()};
    }
    QString movedTo;
    if (const auto failure = moveMerged(copyPath, &movedTo)) {
        return {Status::Failed, mergeSummary(counts, name) + whose + QStringLiteral("; but ") + *failure};
    }
    if (changed) {
        history_.setNewestMove(UndoHistory::MovedFile{copyPath, movedTo});
    }
    return {Status::Merged, mergeSummary(counts, name) + whose};
}

NotesStore::CopyMerge NotesStore::mergeIntoTrash(const QString& copyPath, const NotesDocument& copy,
                                                 const QString& whose) {
    using Status = CopyMerge::Status;
    const QString name = QFileInfo(copyPath).fileName();
    const TextRead read = readTextFile(trashFilePath());
    if (!read.ok()) {
        return {Status::Failed, QStringLiteral("%1 cannot be read (%2)").arg(trashFilePath(), read.reason)};
    }
    const NotesDocument trash = NotesDocument::parse(read.text);
    // The trash keeps no history to tell deletions by: everything of both stays.
    const MergeOutcome merged = mergeNotes(nullptr, trash, copy, clock_.now(), clock_.calendar(), anchors());
    if (merged.counts != MergeCounts{} && !writeTrash(merged.document.serialized())) {
        return {Status::Failed, error_ ? error_->message() : QString()};
    }
    QString movedTo;
    if (const auto failure = moveMerged(copyPath, &movedTo)) {
        return {Status::Failed, mergeSummary(merged.counts, name) + whose + QStringLiteral("; but ") + *failure};
    }
    if (merged.counts != MergeCounts{}) {
        Q_EMIT changed(); // a trash view shows it
    }
    return {Status::Merged, mergeSummary(merged.counts, name) + whose};
}

} // namespace plim
