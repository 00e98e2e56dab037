#pragma once

#include "store/NotesStore.h"
#include "store/Preferences.h"
#include "store/TextFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <functional>
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

// The writer's system calls as a test steers them: each fails with its error when one is set,
// `atSync` runs at every fsync until it says no more, `before` and `after` once around the next
// rename or swap of the temporary over the file.
struct ScriptedCalls : FileSystemCalls {
    enum Call { MakeTemporary, Write, Fsync, Rename, Exchange, Calls };
    int failing[Calls] = {};
    std::function<bool()> atSync;
    std::function<void()> before;
    std::function<void()> after;

    bool fails(Call c) const { return failing[c] != 0 && (errno = failing[c], true); }
    int makeTemporary(char* p) override { return fails(MakeTemporary) ? -1 : FileSystemCalls::makeTemporary(p); }
    ssize_t write(int fd, const void* d, size_t n) override {
        return fails(Write) ? -1 : FileSystemCalls::write(fd, d, n);
    }
    int fsync(int fd) override {
        if (atSync && !atSync()) {
            atSync = {};
        }
        return fails(Fsync) ? -1 : FileSystemCalls::fsync(fd);
    }
    int rename(const char* from, const char* to) override {
        return fails(Rename) ? -1 : around([&] { return FileSystemCalls::rename(from, to); });
    }
    int exchange(const char* from, const char* to) override {
        return fails(Exchange) ? -1 : around([&] { return FileSystemCalls::exchange(from, to); });
    }
    int around(const std::function<int()>& replace) {
        if (auto f = std::exchange(before, {})) {
            f();
        }
        const int result = replace();
        if (auto f = std::exchange(after, {})) {
            f();
        }
        return result;
    }
};

} // namespace plim::test
