#include "app/cli/Commands.h"

#include "app/cli/Output.h"
#include "base/Shortened.h"
#include "store/ConflictMerge.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"

#include <QFileInfo>

namespace plim::cli {

int merge(const Context& ctx) {
    auto store = openStore(ctx);
    if (const int status = storeStatus(*store); status != kOk) {
        return status;
    }
    const QString notes = store->filePath();
    const QString trash = store->trashFilePath();
    QList<ConflictCopies::Found> copies;
    if (ctx.args.isEmpty()) {
        copies = ConflictCopies::find(notes);
        if (copies.isEmpty()) {
            out(QStringLiteral("no conflict copies beside %1\n").arg(notes));
            return kOk;
        }
    }
    for (const QString& arg : ctx.args) {
        const QString path = QFileInfo(arg).absoluteFilePath();
        if (path == notes || path == trash) {
            err(QStringLiteral("%1 is the file copies are merged into").arg(shortened(arg)));
            return kUsage;
        }
        const bool ofTrash = ConflictCopies::isCopyOf(QFileInfo(path).fileName(), QFileInfo(trash).fileName());
        copies.append({path, ofTrash ? ConflictCopies::Of::Trash : ConflictCopies::Of::Notes});
    }
    // Named copies are merged whoever's they are; found ones only when they are the user's own.
    const auto source = ctx.args.isEmpty() ? NotesStore::CopySource::Found : NotesStore::CopySource::Named;
    int status = kOk;
    for (const ConflictCopies::Found& copy : copies) {
        const NotesStore::CopyMerge merged = store->mergeCopy(copy.path, copy.of, source);
        if (merged.status == NotesStore::CopyMerge::Status::Merged) {
            out(merged.message + QLatin1Char('\n'));
        } else {
            err(merged.message);
            status = kFileError;
        }
    }
    return status;
}

int path(const Context& ctx) {
    if (!ctx.args.isEmpty()) {
        err(QStringLiteral("path takes no arguments"));
        return kUsage;
    }
    NotesStore store(Preferences::shared(), Clock::system(), NotesStore::Options{ctx.file, false});
    out(store.filePath() + QLatin1Char('\n'));
    return kOk;
}

} // namespace plim::cli
