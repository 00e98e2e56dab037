#pragma once

#include "store/NotesStore.h"
#include "store/Preferences.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace plim::test {

// A notes file, its settings and a stopped clock, all in a temporary folder.
struct TempNotes {
    TempNotes(Instant start, const Calendar& calendar, const QString& file = QStringLiteral("plim.md"))
        : prefs(std::make_unique<Preferences>(dir.filePath(QStringLiteral("plim.conf"))))
        , clock(std::make_unique<ManualClock>(start, calendar))
        , path(dir.filePath(file)) {}

    // A loaded store on the file.
    std::unique_ptr<NotesStore> open(bool watch = false) const {
        NotesStore::Options options;
        options.watch = watch;
        return open(options);
    }
    std::unique_ptr<NotesStore> open(NotesStore::Options options) const {
        options.filePath = path;
        auto store = std::make_unique<NotesStore>(*prefs, *clock, options);
        store->load();
        return store;
    }

    QTemporaryDir dir;
    std::unique_ptr<Preferences> prefs;
    std::unique_ptr<ManualClock> clock;
    QString path;
};

// The first entry with exactly this text; a test failure when there is none.
inline QUuid entryId(const NotesDocument& doc, const QString& text) {
    for (const Entry& e : doc.allEntries()) {
        if (e.text == text) {
            return e.id;
        }
    }
    ADD_FAILURE() << "no entry " << text.toStdString();
    return {};
}

// Makes file writes fail past `bytes` while it lives; root ignores permissions, not this.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
};

} // namespace plim::test
