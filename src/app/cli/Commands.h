#pragma once

#include "app/InstanceProtocol.h"
#include "reminders/Reminder.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>

namespace plim {
class NotesStore;
} // namespace plim

namespace plim::cli {

// The exit statuses.
constexpr int kOk = 0;
constexpr int kFileError = 1;
constexpr int kUsage = 2;

// What a command runs with.
struct Context {
    QString command;
    QString file;     // --file, or empty for the notes file of the settings
    QStringList args; // after the command word
};

// How the words after a command are read: options (--file, --help, --version) among them, or as
// they are, even when they look like options (the words of a capture or a phrase).
enum class Words { Options, AsTheyAre };
// The heading of the help that lists a command.
enum class Section { Resident, NotesFile };

// One form of a command: the parser reads how it takes its words, the dispatch its handler (the
// first row of a name's), the help its arguments and summary (lines after the first indented).
struct Command {
    const char* name;
    const char* arguments;
    int (*handler)(const Context&);
    Words words;
    Section section;
    const char* summary;
};

// The first row named `name`, or null.
const Command* findCommand(QStringView name);
// What --help prints.
QString usage();

// Shared by the commands on the notes file.
// Reports the store's error, if any, as the command's failure.
int storeStatus(const NotesStore& store);
// `wholeDocument` false: the store only captures, and reads no more of the file than that needs.
std::unique_ptr<NotesStore> openStore(const Context& ctx, bool wholeDocument = true);
std::optional<Reminder> parsePhrase(const QString& phrase, Instant now);
// A phrase that is not understood, with the examples the when field shows.
int notUnderstood(const QString& phrase);

// The handlers, one file per group.
// ResidentCommands.cpp: handed over to the resident program, which is started first when none runs.
int handOverRequest(const Context& ctx, Request request);
// CaptureCommands.cpp
int add(const Context& ctx);
int when(const Context& ctx);
// ListingCommands.cpp
int list(const Context& ctx);
int due(const Context& ctx);
// EntryCommands.cpp: the commands on one entry, named by its ID.
enum class EntryChange { Done, Undone, Skip, Stop, Delete };
int changeEntry(const Context& ctx, EntryChange change);
int remind(const Context& ctx);
// FileCommands.cpp
int merge(const Context& ctx);
int path(const Context& ctx);

} // namespace plim::cli
