#include "app/CommandLine.h"

#include "app/Instance.h"
#include "base/Shortened.h"
#include "reminders/EntryReminders.h"
#include "reminders/Reminder.h"
#include "store/ConflictMerge.h"
#include "store/NotesStore.h"
#include "store/Preferences.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace plim {

namespace {

constexpr int kOk = 0;
constexpr int kFileError = 1;
constexpr int kUsage = 2;

const char* const kHelp = R"(Usage: plim [--background]
       plim [--file PATH] COMMAND [ARGS...]

Without a command, plim starts its resident desktop program, or asks the running one to open.

Commands for the resident program (started first when none runs, except for quit):
  capture            show or hide the capture drawer
  clip               capture the clipboard's text
  notes              show or hide the notes window
  sweep              go through the open entries one at a time
  later              the entries kept for later
  keys               the notes window's keys and tips
  settings           the settings window
  quit               end the resident program

Commands on the notes file (with or without the resident program):
  add [--remind PHRASE] TEXT...
                     capture the words as a new entry under today; prints its id
  add [--remind PHRASE] -
                     capture standard input (several lines allowed)
  list [--json]      every entry in file order
  due [--json]       the entries ringing now, with their reminder labels
  when PHRASE...     what a when-phrase means now ("tomorrow 9am", "every 3h")
  done ID            mark the entry done (a routine is logged and comes back);
                     an entry already done stays done
  undone ID          open a done entry again
  remind ID PHRASE...
                     give the entry a reminder (a one-time phrase on a ringing
                     repeat snoozes this ring)
  skip ID            let this ring go (a repeat waits for its next ring)
  stop ID            stop reminding, leaving the entry as it is
  delete ID          move the entry to the trash file
  merge [FILE...]    merge sync-conflict copies back into the notes (without FILE,
                     every copy beside the notes file and the trash that is yours and
                     writable only by you); merged copies are moved to
                     $XDG_STATE_HOME/plim/merged/
  path               the notes file's path

ID is the entry's identity or a unique prefix of at least four of its hex digits.

Options:
  --background       start the resident program showing nothing (for autostart)
  --file PATH        use this notes file (the trash file lives beside it)
  --help             show this help
  --version          show the version

Exit status: 0 success, 1 the notes file cannot be read or written (or another plim
process kept it busy for five seconds, or the resident program cannot be reached, or a
copy to merge cannot be read or is not yours), 2 wrong usage (also a when-phrase that is not
understood, in when, add --remind and remind, or an unknown id).
)";

void out(const QString& s) {
    const QByteArray bytes = s.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

// Every line of an error starts with "plim: ", so a script's log tells whose it is.
void err(const QString& s) {
    QString text;
    for (const QStringView line : QStringView(s).split(QLatin1Char('\n'))) {
        text += QStringLiteral("plim: ");
        text += line;
        text += QLatin1Char('\n');
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
}

// A phrase that is not understood, with the examples the when field shows.
int notUnderstood(const QString& phrase) {
    err(QStringLiteral("'%1' is not understood. Try 20m, 3pm, tomorrow 9am, fri, every 3h").arg(phrase.trimmed()));
    return kUsage;
}

QString idText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// Each state's word in JSON and its mark in the plain listing, in the order of Entry::State.
struct StateWords {
    const char* name;
    const char* mark;
};
constexpr StateWords kStateWords[] = {
    {"open", "[ ]"}, {"done", "[x]"}, {"carried", "[>]"}, {"note", " - "}, {"struck", " ~ "}};

QString stateMark(Entry::State s) {
    return QLatin1String(kStateWords[static_cast<int>(s)].mark);
}

struct Context {
    QString file;
    QStringList args; // after the command word
};

// Reports the store's error, if any, as the command's failure.
int storeStatus(const NotesStore& store) {
    if (const auto& e = store.error()) {
        err(e->message());
        return kFileError;
    }
    return kOk;
}

// `wholeDocument` false: the store only captures, and reads no more of the file than that needs.
std::unique_ptr<NotesStore> openStore(const Context& ctx, bool wholeDocument = true) {
    NotesStore::Options options{ctx.file, false};
    options.wholeDocument = wholeDocument;
    options.keepAgreedText = true;
    // A program that opened the file just before a write may write into the version replaced.
    options.linger = std::chrono::milliseconds(30);
    auto store = std::make_unique<NotesStore>(Preferences::shared(), Clock::system(), options);
    store->load();
    return store;
}

// The listings' JSON: an array of one object per entry, written as QJsonDocument writes it indented
// (keys in order, the same escapes), but entry by entry into a small buffer, so that a listing of
// any size holds no more than that buffer of its text.
class JsonEntries {
public:
    JsonEntries()
        : buffer_(kFlushAt + 4096, '\0') {
        put("[\n");
    }

    // The entry of a day, with its reminder's label when given.
    void add(const Entry& e, QStringView day, const QString* label = nullptr) {
        put(first_ ? "    {\n" : ",\n    {\n");
        first_ = false;
        put(e.active ? "        \"active\": true,\n" : "        \"active\": false,\n");
        put("        \"comment\": ");
        nullableString(e.comment);
        put(",\n        \"day\": ");
        string(day);
        put(",\n        \"id\": \"");
        id(e.id);
        if (label) {
            put("\",\n        \"label\": ");
            string(*label);
            put(",\n        \"state\": \"");
        } else {
            put("\",\n        \"state\": \"");
        }
        put(kStateWords[static_cast<int>(e.state)].name);
        put("\",\n        \"text\": ");
        string(e.text);
        put(",\n        \"time\": ");
        nullableString(e.time);
        put("\n    }");
        if (used_ >= kFlushAt) {
            flush();
        }
    }

    void finish() {
        put(first_ ? "]\n" : "\n]\n");
        flush();
    }

private:
    static constexpr std::size_t kFlushAt = 1 << 16;

    // Room for n more bytes.
    char* room(std::size_t n) {
        if (used_ + n > buffer_.size()) {
            flush();
            if (n > buffer_.size()) {
                buffer_.resize(n);
            }
        }
        return buffer_.data() + used_;
    }
    void put(std::string_view s) {
        std::memcpy(room(s.size()), s.data(), s.size());
        used_ += s.size();
    }

    // As idText writes it: upper-case hex digits in groups of 8, 4, 4, 4 and 12.
    void id(const QUuid& id) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        char* out = room(36);
        const auto hex = [&](std::uint64_t value, int digits) {
            for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
                *out++ = kHex[(value >> shift) & 0xf];
            }
        };
        hex(id.data1, 8);
        *out++ = '-';
        hex(id.data2, 4);
        *out++ = '-';
        hex(id.data3, 4);
        *out++ = '-';
        hex(std::uint64_t{id.data4[0]} << 8 | id.data4[1], 4);
        *out++ = '-';
        for (int i = 2; i < 8; ++i) {
            hex(id.data4[i], 2);
        }
        used_ += 36;
    }

    void nullableString(const std::optional<QString>& s) {
        if (s) {
            string(*s);
        } else {
            put("null");
        }
    }

    // As QJsonDocument escapes: quote, backslash and control characters; the rest as UTF-8, but a
    // lone surrogate as \uXXXX.
    void string(QStringView s) {
        static constexpr char kHex[] = "0123456789abcdef";
        const char16_t* p = s.utf16();
        const qsizetype n = s.size();
        char* const start = room(static_cast<std::size_t>(n) * 6 + 2);
        char* out = start;
        *out++ = '"';
        for (qsizetype i = 0; i < n; ++i) {
#ifdef __SSE2__
            // Printable ASCII other than quote and backslash, eight characters at a time.
            while (i + 8 <= n) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
                const __m128i special = _mm_or_si128(
                    _mm_or_si128(_mm_cmplt_epi16(v, _mm_set1_epi16(0x20)), _mm_cmpgt_epi16(v, _mm_set1_epi16(0x7f))),
                    _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16(u'"')), _mm_cmpeq_epi16(v, _mm_set1_epi16(u'\\'))));
                if (_mm_movemask_epi8(special) != 0) {
                    break;
                }
                _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(v, v));
                out += 8;
                i += 8;
            }
            if (i >= n) {
                break;
            }
#endif
            const char16_t c = p[i];
            if (c >= 0x20 && c < 0x80 && c != u'"' && c != u'\\') {
                *out++ = static_cast<char>(c);
            } else if (c < 0x80) {
                *out++ = '\\';
                switch (c) {
                case u'"':
                case u'\\':
                    *out++ = static_cast<char>(c);
                    break;
                case u'\b':
                    *out++ = 'b';
                    break;
                case u'\f':
                    *out++ = 'f';
                    break;
                case u'\n':
                    *out++ = 'n';
                    break;
                case u'\r':
                    *out++ = 'r';
                    break;
                case u'\t':
                    *out++ = 't';
                    break;
                default:
                    *out++ = 'u';
                    *out++ = '0';
                    *out++ = '0';
                    *out++ = kHex[c >> 4];
                    *out++ = kHex[c & 0xf];
                    break;
                }
            } else if (c < 0x800) {
                *out++ = static_cast<char>(0xc0 | (c >> 6));
                *out++ = static_cast<char>(0x80 | (c & 0x3f));
            } else if (!QChar::isSurrogate(c)) {
                *out++ = static_cast<char>(0xe0 | (c >> 12));
                *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3f));
                *out++ = static_cast<char>(0x80 | (c & 0x3f));
            } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
                const char32_t cp = QChar::surrogateToUcs4(c, p[++i]);
                *out++ = static_cast<char>(0xf0 | (cp >> 18));
                *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
                *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
                *out++ = static_cast<char>(0x80 | (cp & 0x3f));
            } else {
                *out++ = '\\';
                *out++ = 'u';
                for (int shift = 12; shift >= 0; shift -= 4) {
                    *out++ = kHex[(c >> shift) & 0xf];
                }
            }
        }
        *out++ = '"';
        used_ += static_cast<std::size_t>(out - start);
    }

    void flush() {
        std::fwrite(buffer_.data(), 1, used_, stdout);
        used_ = 0;
    }

    std::string buffer_;
    std::size_t used_ = 0;
    bool first_ = true;
};

std::optional<Reminder> parsePhrase(const QString& phrase, Instant now) {
    return Reminder::parse(phrase, now, Preferences::shared().anchors(), Clock::system().calendar());
}

int commandAdd(const Context& ctx) {
    QStringList words = ctx.args;
    std::optional<Reminder> reminder;
    const Instant now = Clock::system().now();
    if (!words.isEmpty() &&
        (words.first() == QLatin1String("--remind") || words.first().startsWith(QLatin1String("--remind=")))) {
        QString phrase;
        if (words.first() == QLatin1String("--remind")) {
            words.removeFirst();
            if (words.isEmpty()) {
                err(QStringLiteral("--remind needs a phrase"));
                return kUsage;
            }
            phrase = words.takeFirst();
        } else {
            phrase = words.takeFirst().mid(9);
        }
        reminder = parsePhrase(phrase, now);
        if (!reminder) {
            return notUnderstood(phrase);
        }
    }
    if (!words.isEmpty() && words.first() == QLatin1String("--")) {
        words.removeFirst();
    }
    QString text;
    if (words.size() == 1 && words.first() == QLatin1String("-")) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly)) {
            err(QStringLiteral("cannot read standard input"));
            return kUsage;
        }
        text = QString::fromUtf8(in.readAll());
    } else {
        text = words.join(QLatin1Char(' '));
    }
    if (text.trimmed().isEmpty()) {
        err(QStringLiteral("nothing to add"));
        return kUsage;
    }
    auto store = openStore(ctx, false);
    if (const int status = storeStatus(*store); status != kOk) {
        return status;
    }
    const auto id = store->append(text, reminder, now);
    if (const int status = storeStatus(*store); status != kOk) {
        return status;
    }
    if (!id) {
        err(QStringLiteral("nothing to add"));
        return kUsage;
    }
    out(idText(*id) + QLatin1Char('\n'));
    return kOk;
}

// Reads the only option of list and due; false (with a message) for anything else.
bool readJsonFlag(const Context& ctx, const char* command, bool* json) {
    *json = false;
    for (const QString& a : ctx.args) {
        if (a != QLatin1String("--json")) {
            err(QStringLiteral("%1: unknown argument '%2'").arg(QLatin1String(command), shortened(a)));
            return false;
        }
        *json = true;
    }
    return true;
}

int commandList(const Context& ctx) {
    bool json = false;
    if (!readJsonFlag(ctx, "list", &json)) {
        return kUsage;
    }
    auto store = openStore(ctx);
    if (const int status = storeStatus(*store); status != kOk) {
        return status;
    }
    const NotesDocument& doc = store->document();
    if (json) {
        JsonEntries listing;
        for (const DaySection& s : doc.sections) {
            for (const Item& item : s.items) {
                if (const auto* e = std::get_if<Entry>(&item)) {
                    listing.add(*e, s.heading);
                }
            }
        }
        listing.finish();
        return kOk;
    }
    for (const DaySection& s : doc.sections) {
        for (const Entry& e : s.entries()) {
            QString line =
                idText(e.id).left(8) + QLatin1String("  ") + s.heading.left(10) + QLatin1String("  ") +
                stateMark(e.state) + QLatin1Char(' ') + (e.active ? QStringLiteral("! ") : QString()) +
                QString(e.text).replace(QLatin1Char('\n'), QLatin1String("\n") + QString(26, QLatin1Char(' ')));
            if (e.time) {
                line += QLatin1String("  ") + *e.time;
            }
            if (e.comment) {
                line += QLatin1String("  (") + *e.comment + QLatin1Char(')');
            }
            out(line + QLatin1Char('\n'));
        }
    }
    return kOk;
}

// Finds the one entry whose identity is `key` or starts with it (four hex digits at least).
std::optional<QUuid> resolve(const NotesDocument& doc, const QString& key) {
    const QString wanted = key.toUpper();
    const QString bare = QString(wanted).remove(QLatin1Char('-'));
    const bool hex = !bare.isEmpty() && std::all_of(bare.cbegin(), bare.cend(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    });
    if (!hex || bare.size() < 4) {
        err(QStringLiteral("'%1' is not an entry id (give at least four hex digits)").arg(shortened(key)));
        return std::nullopt;
    }
    QList<Entry> matches;
    for (const Entry& e : doc.allEntries()) {
        const QString id = idText(e.id);
        const bool hit = wanted.contains(QLatin1Char('-')) ? id.startsWith(wanted)
                                                           : QString(id).remove(QLatin1Char('-')).startsWith(bare);
        if (hit && std::none_of(matches.cbegin(), matches.cend(), [&](const Entry& m) { return m.id == e.id; })) {
            matches.append(e);
        }
    }
    if (matches.size() == 1) {
        return matches.first().id;
    }
    if (matches.isEmpty()) {
        err(QStringLiteral("no entry has the id '%1'").arg(shortened(key)));
        return std::nullopt;
    }
    QString names;
    for (const Entry& m : matches) {
        names += QLatin1String("\n  ") + idText(m.id) + QLatin1String("  ") + m.text.section(QLatin1Char('\n'), 0, 0);
    }
    err(QStringLiteral("'%1' names %2 entries:%3").arg(key).arg(matches.size()).arg(names));
    return std::nullopt;
}

// Loads the store and resolves the ID argument; `status` is set when the command must end.
struct Target {
    std::unique_ptr<NotesStore> store;
    QUuid id;
    int status = kOk;
};

Target openTarget(const Context& ctx, const QString& command, qsizetype minArgs, qsizetype maxArgs) {
    Target t;
    if (ctx.args.size() < minArgs || ctx.args.size() > maxArgs) {
        err(minArgs == maxArgs ? QStringLiteral("%1 takes an entry id").arg(command)
                               : QStringLiteral("%1 takes an entry id and a when-phrase").arg(command));
        t.status = kUsage;
        return t;
    }
    t.store = openStore(ctx);
    if ((t.status = storeStatus(*t.store)) != kOk) {
        return t;
    }
    const auto id = resolve(t.store->document(), ctx.args.first());
    if (!id) {
        t.status = kUsage;
        return t;
    }
    t.id = *id;
    return t;
}

int commandEntry(const Context& ctx, const QString& command) {
    Target t = openTarget(ctx, command, 1, 1);
    if (t.status != kOk) {
        return t.status;
    }
    // Done and undone set the state rather than flip it, so a script may run them twice.
    if (command == QLatin1String("done") || command == QLatin1String("undone")) {
        t.store->markDone(t.id, command == QLatin1String("done"));
    } else if (command == QLatin1String("skip")) {
        t.store->answer(t.id, NotesDocument::Answer{NotesDocument::Answer::Dismiss{}});
    } else if (command == QLatin1String("stop")) {
        t.store->answer(t.id, NotesDocument::Answer{NotesDocument::Answer::Stop{}});
    } else if (command == QLatin1String("delete")) {
        t.store->deleteEntry(t.id);
    }
    return storeStatus(*t.store);
}

int commandRemind(const Context& ctx) {
    Target t = openTarget(ctx, QStringLiteral("remind"), 2, std::numeric_limits<qsizetype>::max());
    if (t.status != kOk) {
        return t.status;
    }
    const Instant now = Clock::system().now();
    const Calendar calendar = Clock::system().calendar();
    const QString phrase = ctx.args.mid(1).join(QLatin1Char(' '));
    const auto reminder = parsePhrase(phrase, now);
    if (!reminder) {
        return notUnderstood(phrase);
    }
    const auto entry = t.store->document().entry(t.id);
    const auto existing =
        entry ? EntryReminders::reminder(*entry, calendar, Preferences::shared().anchors()) : std::nullopt;
    // A one-time phrase on a ringing repeat snoozes this ring and keeps the rule.
    if (existing && existing->rule && !reminder->rule &&
        EntryReminders::isRinging(*entry, now, calendar, Preferences::shared().anchors())) {
        t.store->answer(t.id, NotesDocument::Answer{NotesDocument::Answer::Snooze{reminder->next}});
    } else {
        t.store->setReminder(t.id, reminder);
    }
    return storeStatus(*t.store);
}

QString isoLocal(Instant t, const Calendar& calendar) {
    return calendar.formatPosix(t, u"yyyy-MM-dd'T'HH:mm:ssxxx");
}

int commandWhen(const Context& ctx) {
    const QString phrase = ctx.args.join(QLatin1Char(' '));
    if (phrase.trimmed().isEmpty()) {
        err(QStringLiteral("when needs a phrase, e.g. plim when tomorrow 9am"));
        return kUsage;
    }
    const Instant now = Clock::system().now();
    const Calendar calendar = Clock::system().calendar();
    const auto reminder = parsePhrase(phrase, now);
    if (!reminder) {
        return notUnderstood(phrase);
    }
    out(reminder->clauses(calendar) + QLatin1Char('\n'));
    out(isoLocal(reminder->next, calendar) + QLatin1Char('\n'));
    out(QStringLiteral("→ ") + reminder->summary(now, false, calendar) + QLatin1Char('\n'));
    return kOk;
}

int commandDue(const Context& ctx) {
    bool json = false;
    if (!readJsonFlag(ctx, "due", &json)) {
        return kUsage;
    }
    auto store = openStore(ctx);
    if (const int status = storeStatus(*store); status != kOk) {
        return status;
    }
    const Instant now = Clock::system().now();
    const Calendar calendar = Clock::system().calendar();
    const Anchors anchors = Preferences::shared().anchors();
    const NotesDocument& doc = store->document();
    std::optional<JsonEntries> listing;
    if (json) {
        listing.emplace();
    }
    for (const DaySection& s : doc.sections) {
        for (const Item& item : s.items) {
            const auto* e = std::get_if<Entry>(&item);
            if (!e || !EntryReminders::isRinging(*e, now, calendar, anchors)) {
                continue;
            }
            const QString label = EntryReminders::reminder(*e, calendar, anchors)->label(now, calendar);
            if (listing) {
                listing->add(*e, s.heading, &label);
            } else {
                out(idText(e->id).left(8) + QLatin1String("  ") + e->text.section(QLatin1Char('\n'), 0, 0) +
                    QStringLiteral("  · ") + label + QLatin1Char('\n'));
            }
        }
    }
    if (listing) {
        listing->finish();
    }
    return kOk;
}

int commandMerge(const Context& ctx) {
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

int commandPath(const Context& ctx) {
    if (!ctx.args.isEmpty()) {
        err(QStringLiteral("path takes no arguments"));
        return kUsage;
    }
    NotesStore store(Preferences::shared(), Clock::system(), NotesStore::Options{ctx.file, false});
    out(store.filePath() + QLatin1Char('\n'));
    return kOk;
}

// Commands for the resident program, which hands them over and returns at once.
int commandResident(const Context& ctx, const QString& command, Request request) {
    if (!ctx.file.isEmpty()) {
        err(QStringLiteral("--file is for the commands on the notes file"));
        return kUsage;
    }
    if (!ctx.args.isEmpty()) {
        err(QStringLiteral("%1 takes no arguments").arg(command));
        return kUsage;
    }
    if (const auto failure = handOver(request)) {
        err(*failure);
        return kFileError;
    }
    return kOk;
}

} // namespace

int runCommandLine(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("plim"));
    QCoreApplication::setApplicationName(QStringLiteral("plim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLIM_VERSION));

    QStringList args = QCoreApplication::arguments().mid(1);
    Context ctx;
    QString command;
    bool background = false;
    // Global options come before the command; for commands other than add they may follow it too.
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        // The words of a capture or a phrase are taken as they are, even when they look like options.
        const bool takesText =
            command == QLatin1String("add") || command == QLatin1String("when") || command == QLatin1String("remind");
        if (!takesText && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
            out(QString::fromUtf8(kHelp));
            return kOk;
        }
        if (!takesText && a == QLatin1String("--version")) {
            out(QStringLiteral("plim %1\n").arg(QStringLiteral(PLIM_VERSION)));
            return kOk;
        }
        if (command.isEmpty() && a == QLatin1String("--background")) {
            background = true;
            continue;
        }
        if (!takesText && (a == QLatin1String("--file") || a.startsWith(QLatin1String("--file=")))) {
            if (a == QLatin1String("--file")) {
                if (args.isEmpty()) {
                    err(QStringLiteral("--file needs a path"));
                    return kUsage;
                }
                ctx.file = args.takeFirst();
            } else {
                ctx.file = a.mid(7);
            }
            if (ctx.file.isEmpty()) {
                err(QStringLiteral("--file needs a path"));
                return kUsage;
            }
            continue;
        }
        if (command.isEmpty()) {
            if (a.startsWith(QLatin1Char('-'))) {
                err(QStringLiteral("unknown option '%1' (see plim --help)").arg(shortened(a)));
                return kUsage;
            }
            command = a;
            continue;
        }
        ctx.args.append(a);
        if (takesText) {
            ctx.args.append(args);
            args.clear();
        }
    }

    if (background && !command.isEmpty()) {
        err(QStringLiteral("--background takes no command"));
        return kUsage;
    }
    if (command.isEmpty()) {
        return commandResident(ctx, command, background ? Request::Background : Request::Open);
    }
    for (const auto& [word, request] :
         {std::pair{"capture", Request::Capture}, std::pair{"clip", Request::Clip}, std::pair{"notes", Request::Notes},
          std::pair{"sweep", Request::Sweep}, std::pair{"later", Request::Later}, std::pair{"keys", Request::Keys},
          std::pair{"settings", Request::Settings}, std::pair{"quit", Request::Quit}}) {
        if (command == QLatin1String(word)) {
            return commandResident(ctx, command, request);
        }
    }
    if (command == QLatin1String("add")) {
        return commandAdd(ctx);
    }
    if (command == QLatin1String("list")) {
        return commandList(ctx);
    }
    if (command == QLatin1String("path")) {
        return commandPath(ctx);
    }
    if (command == QLatin1String("merge")) {
        return commandMerge(ctx);
    }
    if (command == QLatin1String("when")) {
        return commandWhen(ctx);
    }
    if (command == QLatin1String("due")) {
        return commandDue(ctx);
    }
    if (command == QLatin1String("remind")) {
        return commandRemind(ctx);
    }
    if (command == QLatin1String("done") || command == QLatin1String("undone") || command == QLatin1String("skip") ||
        command == QLatin1String("stop") || command == QLatin1String("delete")) {
        return commandEntry(ctx, command);
    }
    err(QStringLiteral("unknown command '%1' (see plim --help)").arg(shortened(command)));
    return kUsage;
}

} // namespace plim
