#include "app/cli/Commands.h"

#include "app/cli/Output.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"

namespace plim::cli {

namespace {

template <Request request>
int resident(const Context& ctx) {
    return handOverRequest(ctx, request);
}

template <EntryChange change>
int entry(const Context& ctx) {
    return changeEntry(ctx, change);
}

constexpr Words kOptions = Words::Options;
constexpr Words kAsTheyAre = Words::AsTheyAre;
constexpr Section kResident = Section::Resident;
constexpr Section kNotesFile = Section::NotesFile;

// Every command, in the help's order.
constexpr Command kCommands[] = {
    {"capture", "", resident<Request::Capture>, kOptions, kResident, "show or hide the capture drawer"},
    {"clip", "", resident<Request::Clip>, kOptions, kResident, "capture the clipboard's text"},
    {"notes", "", resident<Request::Notes>, kOptions, kResident, "show or hide the notes window"},
    {"sweep", "", resident<Request::Sweep>, kOptions, kResident, "go through the open entries one at a time"},
    {"later", "", resident<Request::Later>, kOptions, kResident, "the entries kept for later"},
    {"keys", "", resident<Request::Keys>, kOptions, kResident, "the notes window's keys and tips"},
    {"settings", "", resident<Request::Settings>, kOptions, kResident, "the settings window"},
    {"quit", "", resident<Request::Quit>, kOptions, kResident, "end the resident program"},

    {"add", "[--remind PHRASE] TEXT...", add, kAsTheyAre, kNotesFile,
     "capture the words as a new entry under today; prints its id"},
    {"add", "[--remind PHRASE] -", add, kAsTheyAre, kNotesFile, "capture standard input (several lines allowed)"},
    {"list", "[--json]", list, kOptions, kNotesFile, "every entry in file order"},
    {"due", "[--json]", due, kOptions, kNotesFile, "the entries ringing now, with their reminder labels"},
    {"when", "PHRASE...", when, kAsTheyAre, kNotesFile,
     "what a when-phrase means now (\"tomorrow 9am\", \"every 3h\")"},
    {"done", "ID", entry<EntryChange::Done>, kOptions, kNotesFile,
     "mark the entry done (a routine is logged and comes back);\nan entry already done stays done"},
    {"undone", "ID", entry<EntryChange::Undone>, kOptions, kNotesFile, "open a done entry again"},
    {"remind", "ID PHRASE...", remind, kAsTheyAre, kNotesFile,
     "give the entry a reminder (a one-time phrase on a ringing\nrepeat snoozes this ring)"},
    {"skip", "ID", entry<EntryChange::Skip>, kOptions, kNotesFile,
     "let this ring go (a repeat waits for its next ring)"},
    {"stop", "ID", entry<EntryChange::Stop>, kOptions, kNotesFile, "stop reminding, leaving the entry as it is"},
    {"delete", "ID", entry<EntryChange::Delete>, kOptions, kNotesFile, "move the entry to the trash file"},
    {"merge", "[FILE...]", merge, kOptions, kNotesFile,
     "merge sync-conflict copies back into the notes (without FILE,\nevery copy beside the notes file and the trash "
     "that is yours and\nwritable only by you); merged copies are moved to\n$XDG_STATE_HOME/plim/merged/"},
    {"path", "", path, kOptions, kNotesFile, "the notes file's path"},
};

// The column the summaries start in; a longer synopsis has its summary on the next line.
constexpr qsizetype kSummaryColumn = 21;

QString commandLines(Section section) {
    const QString indent(kSummaryColumn, QLatin1Char(' '));
    QString text;
    for (const Command& c : kCommands) {
        if (c.section != section) {
            continue;
        }
        QString line = QStringLiteral("  ") + QLatin1String(c.name);
        if (*c.arguments) {
            line += QLatin1Char(' ') + QLatin1String(c.arguments);
        }
        line =
            line.size() + 2 <= kSummaryColumn ? line.leftJustified(kSummaryColumn) : line + QLatin1Char('\n') + indent;
        text += line + QString::fromUtf8(c.summary).replace(QLatin1Char('\n'), QLatin1Char('\n') + indent) +
                QLatin1Char('\n');
    }
    return text;
}

} // namespace

const Command* findCommand(QStringView name) {
    for (const Command& c : kCommands) {
        if (name == QLatin1String(c.name)) {
            return &c;
        }
    }
    return nullptr;
}

QString usage() {
    return QStringLiteral(
               "Usage: plim [--background]\n"
               "       plim [--file PATH] COMMAND [ARGS...]\n"
               "\n"
               "Without a command, plim starts its resident desktop program, or asks the running one to open.\n"
               "\n"
               "Commands for the resident program (started first when none runs, except for quit):\n") +
           commandLines(Section::Resident) +
           QStringLiteral("\nCommands on the notes file (with or without the resident program):\n") +
           commandLines(Section::NotesFile) +
           QStringLiteral(
               "\n"
               "ID is the entry's identity or a unique prefix of at least four of its hex digits.\n"
               "\n"
               "Options:\n"
               "  --background       start the resident program showing nothing (for autostart)\n"
               "  --file PATH        use this notes file (the trash file lives beside it)\n"
               "  --help             show this help\n"
               "  --version          show the version\n"
               "\n"
               "Exit status: 0 success, 1 the notes file cannot be read or written (or another plim\n"
               "process kept it busy for five seconds, or the resident program cannot be reached, or a\n"
               "copy to merge cannot be read or is not yours), 2 wrong usage (also a when-phrase that is not\n"
               "understood, in when, add --remind and remind, or an unknown id).\n");
}

int storeStatus(const NotesStore& store) {
    if (const auto& e = store.error()) {
        err(e->message());
        return kFileError;
    }
    return kOk;
}

std::unique_ptr<NotesStore> openStore(const Context& ctx, bool wholeDocument) {
    NotesStore::Options options{ctx.file, false};
    options.wholeDocument = wholeDocument;
    options.keepAgreedText = true;
    // A program that opened the file just before a write may write into the version replaced.
    options.linger = std::chrono::milliseconds(30);
    auto store = std::make_unique<NotesStore>(Preferences::shared(), Clock::system(), options);
    store->load();
    return store;
}

std::optional<Reminder> parsePhrase(const QString& phrase, Instant now) {
    return Reminder::parse(phrase, now, Preferences::shared().anchors(), Clock::system().calendar());
}

int notUnderstood(const QString& phrase) {
    err(QStringLiteral("'%1' is not understood. Try 20m, 3pm, tomorrow 9am, fri, every 3h").arg(phrase.trimmed()));
    return kUsage;
}

} // namespace plim::cli
