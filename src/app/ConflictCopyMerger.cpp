#include "app/ConflictCopyMerger.h"

#include "app/TrayModel.h"
#include "delivery/Notifier.h"
#include "store/ConflictWatcher.h"
#include "store/NotesStore.h"

#include <QFileInfo>

namespace plim {

ConflictCopyMerger::ConflictCopyMerger(NotesStore& store, Notifier& alerts, QObject* parent)
    : QObject(parent)
    , store_(store)
    , alerts_(alerts) {
    connect(&store_, &NotesStore::changed, this, &ConflictCopyMerger::watch);
    watch();
}

ConflictCopyMerger::~ConflictCopyMerger() = default;

void ConflictCopyMerger::watch() {
    if (watcher_ && watcher_->notesPath() == QFileInfo(store_.filePath()).absoluteFilePath()) {
        return;
    }
    watcher_ = std::make_unique<ConflictWatcher>(store_.filePath());
    connect(watcher_.get(), &ConflictWatcher::copyReady, this, &ConflictCopyMerger::merge);
}

void ConflictCopyMerger::merge(const QString& path, ConflictCopies::Of of) {
    const NotesStore::CopyMerge merged = store_.mergeCopy(path, of);
    if (merged.status == NotesStore::CopyMerge::Status::Failed && store_.error() &&
        store_.error()->kind == StoreError::Kind::Busy) {
        // Another plim process has the file: try again once the copy has settled anew.
        watcher_->again(path);
        return;
    }
    alerts_.post(TrayModel::mergeNotification(merged.status == NotesStore::CopyMerge::Status::Merged, merged.message),
                 0, [](std::optional<quint32>) {});
}

} // namespace plim
