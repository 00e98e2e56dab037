#include "notes/NotesDocument.h"
#include "notes/NotesSyntax.h"

#include "support/TestSupport.h"

#include <QHash>
#include <QStringDecoder>

#include <random>

#include <gtest/gtest.h>

#include <unicode/regex.h>
#include <unicode/uchar.h>

using namespace plim;
using plim::test::at;
using State = Entry::State;
using namespace plim::syntax;

namespace {

// Keeps a leading byte-order mark, which QString::fromUtf8 drops, as the notes file reader does.
QString q(const char* utf8) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(utf8);
}

std::optional<QString> opt(const char* utf8) {
    return utf8 ? std::optional<QString>(QString::fromUtf8(utf8)) : std::nullopt;
}

const Calendar kBerlin(QStringLiteral("Europe/Berlin"));
// Friday 00:30 in Berlin is still Thursday in UTC.
const Instant kFriday = at(kBerlin, 2025, 3, 14, 0, 30);

const char* const kExample =
    "My notes\n\n## 2025-03-14 Friday\n\n"
    "- [ ] call Ann  <!-- 09:02 -->\n- [ ] ! plan trip  <!-- 10:30 -->\n  with the kids\n"
    "see the red folder\n\n## 2025-03-13 Thursday\n\n"
    "- [>] call the bank  <!-- 21:40 carried 2025-03-14 -->\n- [x] ~~buy milk~~  <!-- 08:15 -->\n"
    "- ~~old idea~~\n- a thought\n";

// FNV-1a, from two bases, over the key's UTF-8 as QString::toUtf8 writes it.
QUuid fnv(const QString& key) {
    std::uint64_t a = 0xcbf29ce484222325ULL;
    std::uint64_t b = 0x84222325cbf29ce4ULL;
    for (const char ch : key.toUtf8()) {
        a = (a ^ static_cast<std::uint8_t>(ch)) * 0x100000001b3ULL;
        b = (b ^ static_cast<std::uint8_t>(ch)) * 0x100000001b3ULL;
    }
    QByteArray bytes;
    for (const std::uint64_t half : {a, b}) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            bytes.append(static_cast<char>(half >> shift));
        }
    }
    return QUuid::fromRfc4122(bytes);
}

// --- Writing -------------------------------------------------------------------------------------

// Every file is written in one canonical form, which reads back and writes again unchanged.
TEST(NotesDocumentWriting, CanonicalForm) {
    // A file and what is written (null: the file is canonical already).
    const std::pair<const char*, const char*> cases[] = {
        {kExample, nullptr},
        {"", nullptr},
        {"only a preamble\n\n", nullptr},
        {"## d\n\nraw first\n- [ ] a  <!-- 09:00 remind 2026-03-14 09:00 every day 09:00 -->\n  \n    indented\n",
         nullptr},
        // Carriage returns before a line feed are the line end, written as the first line's.
        {"## d\n\n- [ ] a\r\nraw\r\r\n- [x] ~~b~~\n", "## d\n\n- [ ] a\nraw\n- [x] ~~b~~\n"},
        {"pre\r\n\r\n## d\r\n\r\n- [ ] a  <!-- 09:30 -->\r\n  more\r\nraw\r\n\r\n## e\r\n\r\n- b\r\n", nullptr},
        {"## d\r\n- [ ] a  <!-- 09:30 -->\r\n- b\n\r", "## d\r\n\r\n- [ ] a  <!-- 09:30 -->\r\n- b\r\n"},
        // A byte-order mark stays first.
        {"\xef\xbb\xbf## d\n\n- [ ] a\n", nullptr},
        // One after a blank line is text: the blank line stays, or the mark would be read as the file's.
        {"\n\xef\xbb\xbf## d\n- a\n\n", nullptr},
        // A comment opener in the text is written escaped; escaped ones stay as they are.
        {"## d\n\n- [ ] a \\<!-- b --> c  <!-- 17:37 -->\n  \\\\\\<!-- d\n", nullptr},
        {"## d\n- [ ] a <!-- b --> c\n  <!-- d\n", "## d\n\n- [ ] a \\<!-- b --> c\n  \\<!-- d\n"},
        {"## d\n\n- [ ] caf\u00e9 \u20ac \U0001F600  <!-- 12:00 \u00e9t\u00e9 -->\n", nullptr},
        {"## d\n\n- [ ] a  <!-- \u0661\u0662:\u0663\u0664 b -->\n- [ ] c  <!-- 23:59 -->\n", nullptr},
        {"pre\n   \n\t\npre2\n## a\n\n\n- x\n \n- y\n\n\n\n## b\n- z",
         "pre\npre2\n\n## a\n\n- x\n- y\n\n## b\n\n- z\n"},
        {"\n\n  pre  \n\n", "  pre  \n\n"},
        {" \n\t\n\n", ""},
        // Strike marks follow the state.
        {"## d\n- [X] ~~a~~\n- [x] b\n- [ ] ~~c~~\n- [>] ~~e~~\n",
         "## d\n\n- [x] ~~a~~\n- [x] ~~b~~\n- [ ] c\n- [>] e\n"},
        // Two spaces before a comment, one inside on either side, nothing after; an empty one goes.
        {"## d\n- [ ] a <!-- 09:30 -->\n- [ ] b<!--09:30-->\n- [ ] c  <!-- 09:30 -->  \t\n"
         "- [ ] e  <!--   09:30    x  y  -->\n- [ ] f  <!--  -->\n- ~~g~~<!-- x -->\n",
         "## d\n\n- [ ] a  <!-- 09:30 -->\n- [ ] b  <!-- 09:30 -->\n- [ ] c  <!-- 09:30 -->\n"
         "- [ ] e  <!-- 09:30 x  y -->\n- [ ] f\n- ~~g~~  <!-- x -->\n"},
        // Written right under the entry, the indented line would be read back as part of it.
        {"## d\n- a\n  b\n\n  raw\n  raw2\n- c\n\n  raw3", "## d\n\n- a\n  b\n\n  raw\n  raw2\n- c\n\n  raw3\n"},
    };
    for (const auto& [file, canonical] : cases) {
        SCOPED_TRACE(file);
        const QString written = NotesDocument::parse(q(file)).serialized();
        EXPECT_EQ(written, q(canonical ? canonical : file));
        EXPECT_EQ(NotesDocument::parse(written).serialized(), written);
    }
}

// Whatever a file holds, what is written reads back as the same document, and writing that again
// changes nothing; its entries' identities and where a day is found follow from what it holds. First
// lines that once broke this, then random files.
TEST(NotesDocumentWriting, WrittenTextReadsBackAsTheSameDocumentAndFindsItsDays) {
    const char* const found[] = {
        "- [ ] ~~a <!-- b -->~~",                       // marks around a comment-like text stay
        "- [ ] ~~! a~~",                                // would read as a shortlist mark
        "- [ ] ~~~~a~~~~",                              // marks inside marks
        "- [ ] ~~<!-[ ] ~~<!--  b--> ",                 // text ending in a space before the comment
        "- [ ]<!--09:30-->  ",                          // checkbox right before the comment
        "- !<!--0 90 -->\r",                            // shortlist mark right before the comment
        "- - [ Y ~~\t<!--a!tel Ann\f <!-- 0 -->",       // a line terminator blocks the earlier comment
        "-  \f <!--   -->\f <!--   -->",                // an empty comment that would expose another
        "- [ ] !ee <!--  x   <-->!-- say!-- 21:40 -->", // marks joined by removing others
        "- [ ] a\r  <!-- 09:30 -->",                    // a carriage return before the comment stays in the text
        "- [ ] a\r <!-- -->",                           // ...but ends the line once an empty comment goes
        "- [ ] ~~a\r~~",                                // would end the line without its marks
        "- [ ] ~~a <!-- b -->~~  <!-- 09:00 -->",       // an opener in the text is written escaped
        "- [ ] \\\\<!-- a --> \\\\\\<!-- b",            // even and odd runs of backslashes
    };
    QStringList files;
    for (const char* line : found) {
        files.append(q("## 2025-03-14 Friday\n\n") + q(line) + u'\n');
    }
    // Line shapes, '|' between them.
    const QStringList shapes =
        q("## 2025-03-14 Friday|## 2025-03-14 Friday |## 2025-03-14 friday|- [ ] a|- [x] ~~a~~  <!-- 09:00 -->|- [X] b|"
          "- [>] ! c  <!-- 09:00 carried 2025-03-15 -->|- ~~d~~|- ! f<!--x-->  |  more|"
          "    deeper|  ||\traw|- [ ] a  <!-- 09:30 -->\r|raw\r|\r|- [ ] <!-- 10:00 -->|"
          "- [x] ~~a \\<!-- b~~|- [ ] \\\\<!-- c -->|  \\<!-- d -->|- \u00e9\U0001F600")
            .split(u'|');
    std::mt19937 random(42);
    for (int i = 0; i < 500; ++i) {
        QString file = i % 5 == 0 ? QString(QChar(0xfeff)) : QString();
        const int lines = std::uniform_int_distribution<int>(0, 12)(random);
        for (int l = 0; l < lines; ++l) {
            file += shapes[std::uniform_int_distribution<qsizetype>(0, shapes.size() - 1)(random)] + u'\n';
        }
        files.append(file);
    }
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const NotesDocument doc = NotesDocument::parse(file);
        const QString written = doc.serialized();
        NotesDocument again = NotesDocument::parse(written);
        for (qsizetype i = 0; i < std::min(again.sections.size(), doc.sections.size()); ++i) {
            again.sections[i].id = doc.sections[i].id; // days get new identities when read
        }
        again.lineEnd = written.contains(u'\n') ? again.lineEnd : doc.lineEnd; // no line to carry it
        ASSERT_EQ(again, doc);
        ASSERT_EQ(again.serialized(), written);
        // An entry's identity hashes its heading, its text and how many entries of that text came
        // before it in its day.
        for (const DaySection& section : doc.sections) {
            QHash<QString, int> before;
            for (const Entry& e : section.entries()) {
                ASSERT_EQ(e.id, fnv(section.heading + u'|' + e.text + u'|' + QString::number(before[e.text]++)));
            }
        }
        // A day's section is the first of its heading, or a new one on top; nothing else changes.
        NotesDocument withDay = doc;
        const qsizetype index = withDay.sectionIndex(kFriday, kBerlin);
        qsizetype first = 0;
        while (first < doc.sections.size() && doc.sections[first].heading != q("2025-03-14 Friday")) {
            ++first;
        }
        const bool created = first == doc.sections.size();
        EXPECT_EQ(index, created ? 0 : first);
        EXPECT_EQ(withDay.sections.mid(created ? 1 : 0), doc.sections);
        EXPECT_EQ(withDay.sections[index].heading, q("2025-03-14 Friday"));
        EXPECT_EQ(withDay.preamble, doc.preamble);
        EXPECT_FALSE(withDay.sections[0].id.isNull());
    }
}

// --- Reading -------------------------------------------------------------------------------------

TEST(NotesDocumentReading, EntryLineFields) {
    // The line after "- ", then the entry's state, shortlist mark, text, time and comment.
    const std::tuple<const char*, State, bool, const char*, const char*, const char*> cases[] = {
        {"[ ] a", State::Open, false, "a", nullptr, nullptr},
        {"[x] a", State::Done, false, "a", nullptr, nullptr},
        {"[>] a", State::Carried, false, "a", nullptr, nullptr},
        {"[?] a", State::Note, false, "[?] a", nullptr, nullptr},
        {"[ ]a", State::Note, false, "[ ]a", nullptr, nullptr},
        {"[ ] ", State::Open, false, "", nullptr, nullptr},
        {"! call Ann", State::Note, true, "call Ann", nullptr, nullptr},
        {"[ ] ! a", State::Open, true, "a", nullptr, nullptr},
        {"! [ ] a", State::Note, true, "[ ] a", nullptr, nullptr},
        {"~~old idea~~", State::Struck, false, "old idea", nullptr, nullptr},
        {"~~~", State::Note, false, "~~~", nullptr, nullptr},
        {"~~a~~  <!-- 10:00 -->", State::Struck, false, "a", "10:00", nullptr},
        {"[>] a  <!-- 21:40 carried 2025-03-14 -->", State::Carried, false, "a", "21:40", "carried 2025-03-14"},
        {"[ ] a  <!-- 9:30 -->", State::Open, false, "a", nullptr, "9:30"},
        {"[ ] a  <!-- 14:05x -->", State::Open, false, "a", nullptr, "14:05x"},
        {"[ ] a  <!--14:05\t\tb-->", State::Open, false, "a", "14:05", "b"},
        {"[ ] a  <!-- \u0661\u0662:\u0663\u0664 b -->", State::Open, false, "a", "\u0661\u0662:\u0663\u0664", "b"},
        {"[ ] see <!-- x -->  <!-- 09:00 -->", State::Open, false, "see", nullptr, "x    09:00"},
        // A "<!--" left over after taking out the first one is taken out too.
        {"[ ] a <!-- x <!-->", State::Open, false, "a", nullptr, "x >"},
        {"[ ] a <!-- x --> b", State::Open, false, "a <!-- x --> b", nullptr, nullptr},
        {"<!-- only -->", State::Note, false, "", nullptr, "only"},
        // A comment that does not end the line is text.
        {"~~a <!-- b -->~~", State::Struck, false, "a <!-- b -->", nullptr, nullptr},
        // Space at the end of the line other than spaces and tabs belongs to no field...
        {"[ ] a  <!-- 09:30 -->\r", State::Open, false, "a", "09:30", nullptr},
        {"[ ] a  <!-- 09:30\u2028 -->", State::Open, false, "a  <!-- 09:30\u2028 -->", nullptr, nullptr},
        {"[ ] a\r", State::Open, false, "a", nullptr, nullptr},
        // ...but before a comment it stays in the text.
        {"[ ] a\r  <!-- 09:30 -->", State::Open, false, "a\r", "09:30", nullptr},
        // An escaped opener is text, and the trailing comment the one after it.
        {"[ ] a \\<!-- b --> c  <!-- 17:37 -->", State::Open, false, "a <!-- b --> c", "17:37", nullptr},
        {"[x] ~~open \\<!--~~  <!-- 17:37 -->", State::Done, false, "open <!--", "17:37", nullptr},
        {"[ ] \\\\\\<!-- x -->", State::Open, false, "\\<!-- x -->", nullptr, nullptr},
        {"[ ] \\\\<!-- x -->", State::Open, false, "\\\\", nullptr, "x"},
        // What the reader of a whole file decides from one look at the line: white space of any kind
        // before the comment, a '<' before it, a line terminator in it, any white space after a stamp.
        {"[ ] a\u3000 <!-- 09:30 -->", State::Open, false, "a", "09:30", nullptr},
        {"[ ] \u00e9 a < b  <!-- 09:30 -->", State::Open, false, "\u00e9 a < b", "09:30", nullptr},
        {"[ ] a  <!-- 09:30\r -->", State::Open, false, "a  <!-- 09:30\r -->", nullptr, nullptr},
        {"[ ] a  <!-- 09:30\u00a0b -->", State::Open, false, "a", "09:30", "b"},
    };
    for (const auto& [line, state, active, text, time, comment] : cases) {
        SCOPED_TRACE(line);
        const NotesDocument day = NotesDocument::parse(q("## d\n\n- ") + q(line) + u'\n');
        for (const Entry& e : {NotesDocument::parseEntry(q(line)), std::get<Entry>(day.sections[0].items[0])}) {
            EXPECT_EQ(std::tuple(e.state, e.active, e.text, e.time, e.comment),
                      std::tuple(state, active, q(text), opt(time), opt(comment)));
        }
    }
}

// The document as "P:" preamble lines, "#" headings, "E:" entry texts and "R:" raw lines.
QStringList summary(const NotesDocument& doc) {
    QStringList out;
    for (const QString& line : doc.preamble) {
        out.append(q("P:") + line);
    }
    for (const DaySection& section : doc.sections) {
        out.append(u'#' + section.heading);
        for (const Item& item : section.items) {
            const auto* e = std::get_if<Entry>(&item);
            out.append(e ? q("E:") + e->text : q("R:") + std::get<RawLine>(item).text);
        }
    }
    return out;
}

TEST(NotesDocumentReading, LinesLandWhereTheyBelong) {
    // A file and its summary, '|' between lines.
    const std::pair<const char*, const char*> cases[] = {
        {kExample, "P:My notes|#2025-03-14 Friday|E:call Ann|E:plan trip\nwith the kids|R:see the red folder|"
                   "#2025-03-13 Thursday|E:call the bank|E:buy milk|E:old idea|E:a thought"},
        {"## d\n  more\n- a\n\n  more", "#d|R:  more|E:a|R:  more"},
        {"## d\n- a\n  b\n    c\n  ", "#d|E:a\nb\n  c\n"},
        {"## d\n- a\n\tb", "#d|E:a|R:\tb"},
        {"- x\n  y\n## d\n- a", "P:- x|P:  y|#d|E:a"},
        {"##d\n## d\n###x\n# y", "P:##d|#d|R:###x|R:# y"},
        {"## a\n## b\n\n## c\n- x", "#a|#b|#c|E:x"},
        {"pre\r\n## d\r\n- a\r\n  b\r\r\nraw\r\n\r\n \r\n", "P:pre|#d|E:a\nb|R:raw"},
        {"\xef\xbb\xbf## d\n- a\n  b \\<!-- c", "#d|E:a\nb <!-- c"},
    };
    for (const auto& [file, lines] : cases) {
        EXPECT_EQ(summary(NotesDocument::parse(q(file))), q(lines).split(u'|')) << file;
    }
}

// --- Identities ----------------------------------------------------------------------------------

// Identities are FNV-1a over the key's UTF-8, also of a count of more than one digit, characters of
// every length and lone surrogates (also at the very end); the keys a file gives are checked above.
TEST(EntryIdentity, HashesTheKeysUtf8) {
    for (const QString& key : {q("d|x|12"), q("caf\u00e9|\u20ac\u0800\u07ff\u0080\U0001F600\U00010000\U0010FFFF|0"),
                               q("d|lone ") + QChar(0xd800) + q(" high|0"), q("d|") + QChar(0xdbff)}) {
        EXPECT_EQ(NotesDocument::stableID(key), fnv(key)) << key.toStdString();
    }
}

// --- Queries and edits ---------------------------------------------------------------------------

// Random files above hold the day's section to being the first of its heading or a new one on top.
TEST(NotesDocumentEdits, ANewDayIsHeadedInEnglish) {
    NotesDocument doc;
    doc.sectionIndex(kFriday, kBerlin);
    EXPECT_EQ(doc.serialized(), q("## 2025-03-14 Friday\n\n"));
    // The weekday is English whatever the user's language.
    EXPECT_EQ(NotesFormat::heading(kFriday, Calendar(q("Europe/Berlin"), q("ar_EG"))), q("## 2025-03-14 Friday"));
}

TEST(NotesFormatEntry, FirstLineCommentAndContinuations) {
    // The text, its comment (null: none), the entry written.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"  buy milk \n", "09:00", "- [ ] buy milk  <!-- 09:00 -->"},
        {"a\n\nb", "10:00", "- [ ] a  <!-- 10:00 -->\n  \n  b"},
        {"a\nb", nullptr, "- [ ] a\n  b"},
        {"a\rb", nullptr, "- [ ] a\n  b"},
        {"a\u2028b", nullptr, "- [ ] a\n  b"},
        {"a\u0085b", nullptr, "- [ ] a\n  b"},
        // A pasted Windows line end is one break.
        {"a\r\nb", nullptr, "- [ ] a\n  b"},
        {"a\r\n\r\nb", nullptr, "- [ ] a\n  \n  b"},
        {"a\n\rb", nullptr, "- [ ] a\n  \n  b"},
        {"\u00a0a\u3000", nullptr, "- [ ] a"},
        {"  x\n  y", "09:00", "- [ ] x  <!-- 09:00 -->\n    y"},
        {"a", "", "- [ ] a"},
        // A comment opener is written escaped, backslashes before it doubled.
        {"a <!-- b -->\n\\<!--", "09:00", "- [ ] a \\<!-- b -->  <!-- 09:00 -->\n  \\\\\\<!--"},
        {"", nullptr, "- [ ] "},
    };
    for (const auto& [text, comment, written] : cases) {
        EXPECT_EQ(NotesFormat::formatEntry(q(text), opt(comment)), q(written)) << written;
    }
}

// A capture goes last under the day's heading when that day is on top, else into a new day on top.
TEST(NotesFormatAppending, InsertsTheCaptureAsTheDaysLastEntry) {
    const Instant day = at(kBerlin, 2025, 3, 14, 9, 0);
    const struct {
        const char* file;
        const char* result;
        const char* text = "new";
    } cases[] = {
        {"", "## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n"},
        {"My notes\n\n\n", "My notes\n\n## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n"},
        {"a\nb", "a\nb\n\n## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n"},
        {"## 2025-03-14 Friday\n\n- [ ] a\nraw\n\n\n## 2025-03-13 Thursday\n\n- [ ] b\n",
         "## 2025-03-14 Friday\n\n- [ ] a\nraw\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n\n- [ ] b\n"},
        {"pre\n\n## 2025-03-14 Friday\n\n- [ ] a\n  more\n\n \n",
         "pre\n\n## 2025-03-14 Friday\n\n- [ ] a\n  more\n- [ ] new  <!-- 09:00 -->\n"},
        {"## 2025-03-14 Friday\n\n\n## 2025-03-13 Thursday\n- b\n",
         "## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n- b\n"},
        // Without blank lines, one is added between the capture and the next day.
        {"## 2025-03-14 Friday\n- [ ] a\n## 2025-03-13 Thursday\n- b",
         "## 2025-03-14 Friday\n- [ ] a\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n- b\n"},
        // Only the top day is looked at.
        {"## 2025-03-15 Saturday\n\n- x\n\n## 2025-03-14 Friday\n\n- y\n",
         "## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-15 Saturday\n\n- x\n\n"
         "## 2025-03-14 Friday\n\n- y\n"},
        // The carriage return of a CR LF line end is no part of the heading; new lines take the file's
        // line end, the other lines keep theirs.
        {"## 2025-03-14 Friday\r\n\r\n- [ ] a\n\r\n\r\n",
         "## 2025-03-14 Friday\r\n\r\n- [ ] a\n- [ ] new  <!-- 09:00 -->\r\n"},
        {"## 2025-03-14 Friday\r\n- [ ] x\r\n\r\n\r\n## 2025-03-13 Thursday\r\n- b\r",
         "## 2025-03-14 Friday\r\n- [ ] x\r\n- [ ] a  <!-- 09:00 -->\r\n  \r\n  b\r\n\r\n## 2025-03-13 Thursday\r\n- "
         "b\r\n",
         "a\n\nb"},
        {"pre\r\n## 2025-03-13 Thursday\r\n",
         "pre\r\n## 2025-03-14 Friday\r\n\r\n- [ ] new  <!-- 09:00 -->\r\n\r\n## 2025-03-13 Thursday\r\n"},
        // Nothing goes before a byte-order mark.
        {"\xef\xbb\xbf", "\xef\xbb\xbf## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n"},
        {"\xef\xbb\xbf## 2025-03-14 Friday\n\n- [ ] a\n",
         "\xef\xbb\xbf## 2025-03-14 Friday\n\n- [ ] a\n- [ ] new  <!-- 09:00 -->\n"},
        // What was typed reads back as typed, an opener and backslashes before it included.
        {"", "## 2025-03-14 Friday\n\n- [ ] open \\<!--  <!-- 09:00 -->\n", "open <!--"},
        {"", "## 2025-03-14 Friday\n\n- [ ] \\\\\\<!-- x\\ -->  <!-- 09:00 -->\n", "\\<!-- x\\ -->"},
        {"pre\n\n\n## 2025-03-13 Thursday\n- [X] a\n\n\n## x\n",
         "pre\n\n\n## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n- [X] a\n\n\n"
         "## x\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString result = NotesFormat::appending(q(c.text), q(c.file), day, kBerlin, q("09:00"));
        EXPECT_EQ(result, q(c.result));

        // Read back, the day's section (the first with its heading) ends with the capture as typed.
        NotesDocument doc = NotesDocument::parse(result);
        const QList<Entry> entries = doc.sections[doc.sectionIndex(day, kBerlin)].entries();
        ASSERT_FALSE(entries.isEmpty()) << "no day of that heading, or an empty one";
        EXPECT_EQ(std::tuple(entries.last().text, entries.last().time, entries.last().state),
                  std::tuple(q(c.text), std::optional(q("09:00")), Entry::State::Open));
    }
}

struct Match {
    int start, end, groupStart, groupEnd;
};

// The first match of an ICU expression and of its group 1: the reader scans by hand what the
// expressions say, and ICU's own engine is the reference.
std::optional<Match> icuFind(const char16_t* pattern, QStringView s) {
    const icu::UnicodeString text(false, s.utf16(), static_cast<int32_t>(s.size()));
    UErrorCode status = U_ZERO_ERROR;
    icu::RegexMatcher m(icu::UnicodeString(pattern), text, 0, status);
    EXPECT_TRUE(U_SUCCESS(status));
    if (!m.find()) {
        return std::nullopt;
    }
    return Match{m.start(status), m.end(status), m.start(1, status), m.end(1, status)};
}

QList<QString> split(const char16_t* text, char16_t separator = u'|') {
    return QString::fromUtf16(text).split(separator);
}

// Up to 18 random pieces of an alphabet.
QString randomLine(std::mt19937& random, const QList<QString>& alphabet) {
    QString s;
    const int length = std::uniform_int_distribution<int>(0, 18)(random);
    for (int i = 0; i < length; ++i) {
        s += alphabet[std::uniform_int_distribution<qsizetype>(0, alphabet.size() - 1)(random)];
    }
    return s;
}

// Whether the comment finder and ICU agree on the line; true when both found a comment. ICU is
// given the line with each escaped opener (after an odd run of backslashes) made plain text.
bool expectSameComment(const QString& line) {
    SCOPED_TRACE(line.toStdString());
    QString masked = line;
    for (qsizetype at = masked.indexOf(u"<!--"); at >= 0; at = masked.indexOf(u"<!--", at + 1)) {
        qsizetype run = 0;
        while (run < at && masked[at - run - 1] == u'\\') {
            ++run;
        }
        if (run % 2 == 1) {
            masked[at] = u'x';
        }
    }
    const auto expected = icuFind(u"[\\s&&[^\\n\\u000B\\f\\r\\u0085\\u2028\\u2029]]*<!--(.*?)-->\\s*$", masked);
    const auto got = findTrailingComment(line);
    EXPECT_EQ(expected.has_value(), got.has_value());
    if (!got || !expected) {
        return false;
    }
    EXPECT_EQ(got->start, expected->start);
    EXPECT_EQ(got->end, expected->end);
    EXPECT_EQ(got->open + 4, expected->groupStart);
    EXPECT_EQ(got->close - 3, expected->groupEnd);
    return true;
}

TEST(TrailingComment, AgreesWithIcu) {
    const QList<QString> chosen =
        split(u"call Ann  <!-- 09:02 -->|see <!-- x -->  <!-- 09:00 -->|a <!-- x --> b|a<!---->|<!-->|"
              u"<!--->|a <!-- x <!-->|a <!-- x -->\r|a <!-- x -->\u0085|a <!-- x -->\v |"
              u"a <!-- x\u2028 y -->|<!-- a\u2028<!-- b -->|a\u2028 <!-- x -->|a\u00a0<!-- x -->\u3000|"
              u"a\u200b<!-- x -->\u200b|<!-- <!-- x --> -->|-->|a \\<!-- x -->  <!-- y -->|"
              u"a \\\\<!-- x -->|\\\\\\<!-- x -->|");
    for (const QString& line : chosen) {
        expectSameComment(line);
    }
    // Markers, every kind of white space and line terminator, characters that look blank but are not
    // white space; half of the lines shaped like a commented entry.
    const QList<QString> alphabet = split(u"<!--|-->|<|!|-|>| |\t|\r|\n|\v|\f|\u0085|\u2028|\u00a0|\u200b|a|\\");
    const QList<QString> spaces = split(u" |\t|\r|\u0085|\u2028|\u00a0");
    std::mt19937 random(20250314);
    int matches = 0;
    for (int i = 0; i < 3000 && !::testing::Test::HasFailure(); ++i) {
        QString line = randomLine(random, alphabet);
        if (i % 2 == 0) {
            line += QStringLiteral("<!--") + randomLine(random, alphabet) + QStringLiteral("-->") +
                    randomLine(random, spaces);
        }
        matches += expectSameComment(line) ? 1 : 0;
    }
    EXPECT_GT(matches, 300); // the lines really hold comments
}

TEST(TimeStamp, AgreesWithIcu) {
    // Arabic-Indic and astral (mathematical bold) digits, and a lone surrogate.
    QList<QString> alphabet = split(u"0|9|:| |\t|\r|x|\u0663|\u00a0");
    alphabet << QString(QChar(0xd835)) << QString::fromUtf16(u"\U0001D7D7");
    const QList<QString> digits = split(u"0|7|\u0663|\U0001D7D7|x");
    QList<QString> inputs = split(u"09:30 x|9:30|09:30x|99:99\t\t|09:30\u00a0c|\U0001D7D7\U0001D7D7:00 a|");
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        QString stamp;
        for (int d = 0; d < 5; ++d) {
            stamp += d == 2 ? QStringLiteral(":") : digits[std::uniform_int_distribution<qsizetype>(0, 4)(random)];
        }
        inputs.append(i % 2 == 0 ? stamp + randomLine(random, alphabet).left(4) : randomLine(random, alphabet).left(9));
    }
    int matches = 0;
    for (const QString& s : inputs) {
        const auto expected = icuFind(u"^(\\d{2}:\\d{2})(\\s+|$)", s);
        const auto got = matchTimeStamp(s);
        ASSERT_EQ(expected.has_value(), got.has_value()) << s.toStdString();
        if (got) {
            ++matches;
            ASSERT_EQ(got->stamp, expected->groupEnd) << s.toStdString();
            ASSERT_EQ(got->withSpace, expected->end) << s.toStdString();
        }
    }
    EXPECT_GT(matches, 150);
}

TEST(CharacterClasses, WhiteSpaceIsIcusWhiteSpaceProperty) {
    for (char32_t c = 0; c <= 0xffff; ++c) {
        ASSERT_EQ(isRegexSpace(static_cast<char16_t>(c)), static_cast<bool>(u_isUWhiteSpace(static_cast<UChar32>(c))))
            << std::hex << static_cast<unsigned>(c);
    }
}

} // namespace
