#pragma once

#include "store/ConflictMerge.h"

#include <QObject>
#include <QString>

#include <memory>

namespace plim {

class ConflictWatcher;
class NotesStore;
class Notifier;

// Merges the conflict copies a sync tool leaves beside the notes file back into it once they are
// written, and tells the user how each went.
class ConflictCopyMerger final : public QObject {
    Q_OBJECT
public:
    // Watches beside the store's file, following it when the file changes.
    ConflictCopyMerger(NotesStore& store, Notifier& alerts, QObject* parent = nullptr);
    ~ConflictCopyMerger() override;

private:
    // Watches for conflict copies beside the notes file as it is now.
    void watch();
    void merge(const QString& path, ConflictCopies::Of of);

    NotesStore& store_;
    Notifier& alerts_;
    std::unique_ptr<ConflictWatcher> watcher_;
};

} // namespace plim
