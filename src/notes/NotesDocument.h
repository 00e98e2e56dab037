#pragma once

#include "base/Calendar.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>
#include <variant>

namespace plim {

// An entry's capture stamp: used as a std::optional<QString>, held in the room of an integer. A
// plain "HH:mm" is kept as its minute of the day; any other text is kept once for the program and
// named by its number, so that every stamp reads back exactly as it was written.
class Stamp {
public:
    Stamp() = default;
    Stamp(std::nullopt_t) {}
    Stamp(QStringView text);
    Stamp(const QString& text)
        : Stamp(QStringView(text)) {}
    Stamp(const std::optional<QString>& text)
        : Stamp(text ? Stamp(*text) : Stamp()) {}

    explicit operator bool() const { return code_ != 0; }
    bool has_value() const { return code_ != 0; }
    const QString& operator*() const;
    const QString* operator->() const { return &**this; }
    QString value_or(const QString& other) const { return code_ != 0 ? **this : other; }
    void reset() { code_ = 0; }
    operator std::optional<QString>() const { return code_ != 0 ? std::optional<QString>(**this) : std::nullopt; }

    // Equal texts have equal numbers.
    friend bool operator==(const Stamp&, const Stamp&) = default;
    friend bool operator==(const Stamp& a, const std::optional<QString>& b) { return a == Stamp(b); }
    friend bool operator==(const Stamp& a, const QString& b) { return a == Stamp(b); }

private:
    quint32 code_ = 0; // 0: none; else 1 + the minute of a plain stamp, or a number past those
};

// One list line of the notes file (plus its continuation lines).
struct Entry {
    enum class State : quint8 { Open, Done, Carried, Note, Struck };

    QUuid id;
    State state = State::Open;
    bool active = false;            // on the shortlist, written "! "
    Stamp time;                     // "HH:mm" capture stamp
    QString text;                   // further lines joined with "\n"
    std::optional<QString> comment; // rest of the trailing comment, trimmed; absent when empty

    friend bool operator==(const Entry&, const Entry&) = default;
};

// A non-blank line inside a section that is neither an entry nor a continuation, kept verbatim.
struct RawLine {
    QString text;
    friend bool operator==(const RawLine&, const RawLine&) = default;
};

using Item = std::variant<Entry, RawLine>;

} // namespace plim
// Relocated as bytes (nothing in it points into itself): a growing list of them is reallocated, not
// moved member by member.
Q_DECLARE_TYPEINFO(plim::Item, Q_RELOCATABLE_TYPE);
namespace plim {

struct DaySection {
    QUuid id;        // fresh whenever the day is read anew
    QString heading; // without "## ", verbatim
    QList<Item> items;

    QList<Entry> entries() const;
    friend bool operator==(const DaySection&, const DaySection&) = default;
};

struct EntryLocation {
    qsizetype section = 0;
    qsizetype item = 0;
    friend bool operator==(const EntryLocation&, const EntryLocation&) = default;
};

// The parsed notes file: an untouched preamble and one section per day, newest first by convention.
struct NotesDocument {
    enum class LineEnd { Lf, CrLf };

    QStringList preamble;
    QList<DaySection> sections;
    // How the text was read, so that writing it back keeps it: a byte-order mark (U+FEFF) first,
    // and the line end of its first line for every line.
    bool byteOrderMark = false;
    LineEnd lineEnd = LineEnd::Lf;

    // Never fails; every non-blank line lands somewhere. Carriage returns before a line feed are
    // part of the line end, never of a line.
    static NotesDocument parse(QStringView text);
    // The canonical file text, with the byte-order mark and line ends it was read with.
    QString serialized() const;
    // One entry as its file lines (first line, then continuation lines). A "<!--" in the text is
    // written "\<!--", so that it reads back as text and never as the trailing comment.
    static QStringList serialize(const Entry& entry);
    // The text of an entry line after its "- "; its identity stays null until parse places it in a section.
    static Entry parseEntry(QStringView line);
    // Two 64-bit FNV-1a hashes of the key's UTF-8 bytes, big-endian, as a UUID.
    static QUuid stableID(QStringView key);
    // "HH:mm" of t in the calendar's zone.
    static QString time(Instant t, const Calendar& calendar);
    // Local midnight of the "yyyy-MM-dd" date in the first ten characters of a heading.
    static std::optional<Instant> headingDate(QStringView heading, const Calendar& calendar);

    // Where the entry is. `hint` (where the caller last saw it, e.g. the row the user chose) is
    // looked at first and taken when the entry there has the identity; otherwise the first entry
    // with it in file order. Two entries may share an identity after a hand edit: the hint decides.
    std::optional<EntryLocation> location(const QUuid& id, const std::optional<EntryLocation>& hint = {}) const;
    std::optional<Entry> entry(const QUuid& id, const std::optional<EntryLocation>& hint = {}) const;
    Entry* entryAt(const EntryLocation& at);
    // Takes the entry out; its section stays even when empty.
    std::optional<Entry> remove(const QUuid& id, const std::optional<EntryLocation>& hint = {});
    QList<Entry> allEntries() const;
    // Index of the first section headed with day's heading; created on top when missing.
    qsizetype sectionIndex(Instant day, const Calendar& calendar);

    // The answer to a ringing reminder (carried out in reminders/).
    struct Answer {
        struct Snooze {
            Instant until;
            friend bool operator==(const Snooze&, const Snooze&) = default;
        };
        struct Done {
            friend bool operator==(const Done&, const Done&) = default;
        };
        struct Dismiss {
            friend bool operator==(const Dismiss&, const Dismiss&) = default;
        };
        struct Stop {
            friend bool operator==(const Stop&, const Stop&) = default;
        };
        std::variant<Snooze, Done, Dismiss, Stop> value;
        friend bool operator==(const Answer&, const Answer&) = default;
    };

    friend bool operator==(const NotesDocument&, const NotesDocument&) = default;
};

// The file-text functions of the format that the store and the capture use.
namespace NotesFormat {
// "## yyyy-MM-dd EEEE" of t's day in the calendar's zone, en_US_POSIX.
QString heading(Instant t, const Calendar& calendar);
// The text of a new open entry: "- [ ] " + first line (+ comment) + continuation lines, joined
// by "\n", with "<!--" in the text escaped as the document writes it.
QString formatEntry(QStringView text, const std::optional<QString>& comment);
// One replacement in a text: the characters [from, to) become `text`.
struct TextEdit {
    qsizetype from = 0;
    qsizetype to = 0;
    QString text;
    friend bool operator==(const TextEdit&, const TextEdit&) = default;
};
// What a capture changes in the file text, in ascending order and not overlapping: the new entry
// as the last one under day's heading (with the heading when the day is new), and the blank lines
// after the last line dropped (that line ends in a line end). New lines take the file's line end
// (CR LF when its first line has one); nothing goes before a byte-order mark. Everything else keeps
// its characters, so a writer can splice.
QList<TextEdit> captureEdits(QStringView text, QStringView fileText, Instant day, const Calendar& calendar,
                             const std::optional<QString>& comment);
// The same on the file's UTF-8 bytes: the positions are byte offsets.
QList<TextEdit> captureEdits(QStringView text, QByteArrayView fileUtf8, Instant day, const Calendar& calendar,
                             const std::optional<QString>& comment);
QString applyEdits(QStringView fileText, const QList<TextEdit>& edits);
// The file text with the capture added as the last entry under day's heading.
QString appending(QStringView text, QStringView fileText, Instant day, const Calendar& calendar,
                  const std::optional<QString>& comment);
} // namespace NotesFormat

} // namespace plim
