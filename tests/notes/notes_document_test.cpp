#include "notes/NotesDocument.h"

#include "support/StoreFixture.h"
#include "support/TestSupport.h"

#include <random>

#include <gtest/gtest.h>

using namespace plim;
using plim::test::at;
using State = Entry::State;

namespace {

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::optional<QString> opt(const char* utf8) {
    return utf8 ? std::optional<QString>(QString::fromUtf8(utf8)) : std::nullopt;
}

// --- The example file ----------------------------------------------------------------------------

const char* const kExample = "My notes\n"
                             "\n"
                             "## 2025-03-14 Friday\n"
                             "\n"
                             "- [ ] call Ann  <!-- 09:02 -->\n"
                             "- [ ] ! plan trip  <!-- 10:30 -->\n"
                             "  with the kids\n"
                             "see the red folder\n"
                             "\n"
                             "## 2025-03-13 Thursday\n"
                             "\n"
                             "- [>] call the bank  <!-- 21:40 carried 2025-03-14 -->\n"
                             "- [x] ~~buy milk~~  <!-- 08:15 -->\n"
                             "- ~~old idea~~\n"
                             "- a thought\n";

struct ExpectedEntry {
    State state;
    bool active;
    const char* text;
    const char* time;
    const char* comment;
};

void expectEntry(const Item& item, const ExpectedEntry& want, const QString& heading, int n) {
    const auto* e = std::get_if<Entry>(&item);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->state, want.state);
    EXPECT_EQ(e->active, want.active);
    EXPECT_EQ(e->text, q(want.text));
    EXPECT_EQ(e->time, opt(want.time));
    EXPECT_EQ(e->comment, opt(want.comment));
    EXPECT_EQ(e->id, NotesDocument::stableID(heading + u'|' + e->text + u'|' + QString::number(n)));
}

TEST(NotesDocumentExample, ParsesEveryLine) {
    const NotesDocument doc = NotesDocument::parse(q(kExample));
    EXPECT_EQ(doc.preamble, QStringList{q("My notes")});
    ASSERT_EQ(doc.sections.size(), 2);

    const DaySection& friday = doc.sections[0];
    EXPECT_EQ(friday.heading, q("2025-03-14 Friday"));
    ASSERT_EQ(friday.items.size(), 3);
    expectEntry(friday.items[0], {State::Open, false, "call Ann", "09:02", nullptr}, friday.heading, 0);
    expectEntry(friday.items[1], {State::Open, true, "plan trip\nwith the kids", "10:30", nullptr}, friday.heading, 0);
    EXPECT_EQ(friday.items[2], Item(RawLine{q("see the red folder")}));

    const DaySection& thursday = doc.sections[1];
    EXPECT_EQ(thursday.heading, q("2025-03-13 Thursday"));
    ASSERT_EQ(thursday.items.size(), 4);
    expectEntry(thursday.items[0], {State::Carried, false, "call the bank", "21:40", "carried 2025-03-14"},
                thursday.heading, 0);
    expectEntry(thursday.items[1], {State::Done, false, "buy milk", "08:15", nullptr}, thursday.heading, 0);
    expectEntry(thursday.items[2], {State::Struck, false, "old idea", nullptr, nullptr}, thursday.heading, 0);
    expectEntry(thursday.items[3], {State::Note, false, "a thought", nullptr, nullptr}, thursday.heading, 0);

    EXPECT_EQ(friday.entries().size(), 2);
    EXPECT_EQ(doc.allEntries().size(), 6);
    EXPECT_NE(friday.id, thursday.id);
    EXPECT_FALSE(friday.id.isNull());
}

TEST(NotesDocumentExample, WritesBackByteForByte) {
    EXPECT_EQ(NotesDocument::parse(q(kExample)).serialized(), q(kExample));
}

// --- Writing -------------------------------------------------------------------------------------

// Files already in the written form come back unchanged.
TEST(NotesDocumentWriting, CanonicalFilesRoundTrip) {
    const char* const files[] = {
        "",
        "only a preamble\n\n",
        "## d\n\nraw first\n- [ ] a  <!-- 09:00 remind 2026-03-14 09:00 every day 09:00 -->\n  \n    indented\n",
        "## d\n\n- [ ] a\r\nraw\r\n- [x] ~~b~~\n",
        "## d\n\n- [ ] caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80  <!-- 12:00 \xc3\xa9t\xc3\xa9 -->\n",
    };
    for (const char* file : files) {
        SCOPED_TRACE(file);
        EXPECT_EQ(NotesDocument::parse(q(file)).serialized(), q(file));
    }
}

struct Normalisation {
    const char* name;
    const char* input;
    const char* written;
};

void PrintTo(const Normalisation& c, std::ostream* os) {
    *os << c.name;
}

class NotesDocumentNormalises : public ::testing::TestWithParam<Normalisation> {};

TEST_P(NotesDocumentNormalises, OnWrite) {
    const auto& c = GetParam();
    const QString written = NotesDocument::parse(q(c.input)).serialized();
    EXPECT_EQ(written, q(c.written));
    // The written form is a fixed point.
    EXPECT_EQ(NotesDocument::parse(written).serialized(), written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NotesDocumentNormalises,
    ::testing::Values(
        Normalisation{"BlankLinesDroppedAndStandardOnesAdded",
                      "pre\n   \n\t\npre2\n## a\n\n\n- x\n \n- y\n\n\n\n## b\n- z",
                      "pre\npre2\n\n## a\n\n- x\n- y\n\n## b\n\n- z\n"},
        Normalisation{"CapitalX", "## d\n- [X] ~~a~~\n", "## d\n\n- [x] ~~a~~\n"},
        Normalisation{"DoneGainsStrike", "## d\n- [x] a\n", "## d\n\n- [x] ~~a~~\n"},
        Normalisation{"OpenLosesStrike", "## d\n- [ ] ~~a~~\n", "## d\n\n- [ ] a\n"},
        Normalisation{"CarriedLosesStrike", "## d\n- [>] ~~a~~\n", "## d\n\n- [>] a\n"},
        Normalisation{"OneSpaceBeforeComment", "## d\n- [ ] a <!-- 09:30 -->\n", "## d\n\n- [ ] a  <!-- 09:30 -->\n"},
        Normalisation{"NoSpaceAroundComment", "## d\n- [ ] a<!--09:30-->\n", "## d\n\n- [ ] a  <!-- 09:30 -->\n"},
        Normalisation{"SpaceAfterComment", "## d\n- [ ] a  <!-- 09:30 -->  \t\n", "## d\n\n- [ ] a  <!-- 09:30 -->\n"},
        Normalisation{"SpacesInsideComment", "## d\n- [ ] a  <!--   09:30    x  y  -->\n",
                      "## d\n\n- [ ] a  <!-- 09:30 x  y -->\n"},
        Normalisation{"EmptyCommentDropped", "## d\n- [ ] a  <!--  -->\n", "## d\n\n- [ ] a\n"},
        Normalisation{"CommentOnlyNote", "## d\n- ~~a~~<!-- x -->\n", "## d\n\n- ~~a~~  <!-- x -->\n"},
        Normalisation{"NoFinalNewline", "## d\n\n- a", "## d\n\n- a\n"},
        Normalisation{"CarriageReturnAfterCommentIsSpaceAfterIt", "## d\r\n- [ ] a  <!-- 09:30 -->\r\n",
                      "## d\r\n\n- [ ] a  <!-- 09:30 -->\n"},
        // Written right under the entry, the indented line would be read back as part of it.
        Normalisation{"IndentedRawLineAfterEntryKeepsItsBlankLine", "## d\n- a\n  b\n\n  raw\n  raw2\n- c\n\n  raw3",
                      "## d\n\n- a\n  b\n\n  raw\n  raw2\n- c\n\n  raw3\n"},
        Normalisation{"PreambleOnly", "\n\n  pre  \n\n", "  pre  \n\n"}, Normalisation{"BlankOnly", " \n\t\n\n", ""}));

NotesDocument withoutSectionIds(NotesDocument doc) {
    for (DaySection& s : doc.sections) {
        s.id = QUuid();
    }
    return doc;
}

// Whatever a file holds, what is written reads back as the same document, and writing that again
// changes nothing.
TEST(NotesDocumentWriting, WrittenTextReadsBackAsTheSameDocument) {
    // Line shapes, '|' between them.
    const QStringList shapes = q("## 2025-03-14 Friday|## d |- [ ] a|- [x] ~~a~~  <!-- 09:00 -->|- [X] b|"
                                 "- [>] ! c  <!-- 09:00 carried 2025-03-15 -->|- ~~d~~|- ! f<!--x-->  |  more|"
                                 "    deeper|  ||\traw|- [ ] a  <!-- 09:30 -->\r|raw\r|\r|- [ ] <!-- 10:00 -->")
                                   .split(u'|');
    std::mt19937 random(42);
    for (int i = 0; i < 500; ++i) {
        QString file;
        const int lines = std::uniform_int_distribution<int>(0, 12)(random);
        for (int l = 0; l < lines; ++l) {
            file += shapes[std::uniform_int_distribution<qsizetype>(0, shapes.size() - 1)(random)] + u'\n';
        }
        const NotesDocument doc = NotesDocument::parse(file);
        const QString written = doc.serialized();
        const NotesDocument again = NotesDocument::parse(written);
        ASSERT_EQ(withoutSectionIds(again), withoutSectionIds(doc)) << file.toStdString();
        ASSERT_EQ(again.serialized(), written) << file.toStdString();
    }
}

// --- Reading entry lines -------------------------------------------------------------------------

struct EntryLineCase {
    const char* line; // after "- "
    State state;
    bool active;
    const char* text;
    const char* time;
    const char* comment;
};

void PrintTo(const EntryLineCase& c, std::ostream* os) {
    *os << '"' << c.line << '"';
}

class ParseEntryLine : public ::testing::TestWithParam<EntryLineCase> {};

TEST_P(ParseEntryLine, Fields) {
    const auto& c = GetParam();
    const Entry e = NotesDocument::parseEntry(q(c.line));
    EXPECT_EQ(e.state, c.state);
    EXPECT_EQ(e.active, c.active);
    EXPECT_EQ(e.text, q(c.text));
    EXPECT_EQ(e.time, opt(c.time));
    EXPECT_EQ(e.comment, opt(c.comment));
}

INSTANTIATE_TEST_SUITE_P(Checkboxes, ParseEntryLine,
                         ::testing::Values(EntryLineCase{"[ ] a", State::Open, false, "a", nullptr, nullptr},
                                           EntryLineCase{"[x] a", State::Done, false, "a", nullptr, nullptr},
                                           EntryLineCase{"[>] a", State::Carried, false, "a", nullptr, nullptr},
                                           EntryLineCase{"[?] a", State::Note, false, "[?] a", nullptr, nullptr},
                                           EntryLineCase{"[ ]a", State::Note, false, "[ ]a", nullptr, nullptr},
                                           EntryLineCase{"[ ] ", State::Open, false, "", nullptr, nullptr}));

INSTANTIATE_TEST_SUITE_P(
    ShortlistAndStrike, ParseEntryLine,
    ::testing::Values(EntryLineCase{"! call Ann", State::Note, true, "call Ann", nullptr, nullptr},
                      EntryLineCase{"[ ] ! a", State::Open, true, "a", nullptr, nullptr},
                      EntryLineCase{"! [ ] a", State::Note, true, "[ ] a", nullptr, nullptr},
                      EntryLineCase{"~~old idea~~", State::Struck, false, "old idea", nullptr, nullptr},
                      EntryLineCase{"~~~", State::Note, false, "~~~", nullptr, nullptr},
                      EntryLineCase{"~~a~~  <!-- 10:00 -->", State::Struck, false, "a", "10:00", nullptr}));

INSTANTIATE_TEST_SUITE_P(
    Comments, ParseEntryLine,
    ::testing::Values(EntryLineCase{"[ ] a  <!-- 9:30 -->", State::Open, false, "a", nullptr, "9:30"},
                      EntryLineCase{"[ ] a  <!-- 14:05x -->", State::Open, false, "a", nullptr, "14:05x"},
                      EntryLineCase{"[ ] a  <!--14:05\t\tb-->", State::Open, false, "a", "14:05", "b"},
                      EntryLineCase{"[ ] a  <!-- \xd9\xa1\xd9\xa2:\xd9\xa3\xd9\xa4 b -->", State::Open, false, "a",
                                    "\xd9\xa1\xd9\xa2:\xd9\xa3\xd9\xa4", "b"},
                      EntryLineCase{"[ ] see <!-- x -->  <!-- 09:00 -->", State::Open, false, "see", nullptr,
                                    "x    09:00"},
                      // A "<!--" left over after taking out the first one is taken out too.
                      EntryLineCase{"[ ] a <!-- x <!-->", State::Open, false, "a", nullptr, "x >"},
                      EntryLineCase{"[ ] a <!-- x --> b", State::Open, false, "a <!-- x --> b", nullptr, nullptr},
                      EntryLineCase{"<!-- only -->", State::Note, false, "", nullptr, "only"},
                      // A comment that does not end the line is text.
                      EntryLineCase{"~~a <!-- b -->~~", State::Struck, false, "a <!-- b -->", nullptr, nullptr},
                      // Space at the end of the line other than spaces and tabs belongs to no field.
                      EntryLineCase{"[ ] a  <!-- 09:30 -->\r", State::Open, false, "a", "09:30", nullptr},
                      EntryLineCase{"[ ] a  <!-- 09:30\xe2\x80\xa8 -->", State::Open, false,
                                    "a  <!-- 09:30\xe2\x80\xa8 -->", nullptr, nullptr},
                      EntryLineCase{"[ ] a\r", State::Open, false, "a\r", nullptr, nullptr}));

// --- Reading the file ----------------------------------------------------------------------------

struct ItemsCase {
    const char* name;
    const char* file;
    std::vector<const char*> preamble;
    // One string per item: "E:text" for an entry, "R:text" for a raw line; sections separated by "#".
    std::vector<const char*> items;
};

void PrintTo(const ItemsCase& c, std::ostream* os) {
    *os << c.name;
}

class NotesDocumentItems : public ::testing::TestWithParam<ItemsCase> {};

TEST_P(NotesDocumentItems, LandWhereTheyBelong) {
    const auto& c = GetParam();
    const auto strings = [](const std::vector<const char*>& v) {
        QStringList out;
        for (const char* text : v) {
            out.append(q(text));
        }
        return out;
    };
    const NotesDocument doc = NotesDocument::parse(q(c.file));
    EXPECT_EQ(doc.preamble, strings(c.preamble));
    QStringList got;
    for (const DaySection& section : doc.sections) {
        if (&section != &doc.sections.front()) {
            got.append(q("#"));
        }
        for (const Item& item : section.items) {
            const auto* e = std::get_if<Entry>(&item);
            got.append(e ? q("E:") + e->text : q("R:") + std::get<RawLine>(item).text);
        }
    }
    EXPECT_EQ(got, strings(c.items));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, NotesDocumentItems,
    ::testing::Values(ItemsCase{"IndentedAfterHeadingIsRaw", "## d\n  more\n- a", {}, {"R:  more", "E:a"}},
                      ItemsCase{"IndentedAfterBlankIsRaw", "## d\n- a\n\n  more", {}, {"E:a", "R:  more"}},
                      ItemsCase{"ContinuationKeepsFurtherIndent", "## d\n- a\n  b\n    c\n  ", {}, {"E:a\nb\n  c\n"}},
                      ItemsCase{"TabIsNotAContinuation", "## d\n- a\n\tb", {}, {"E:a", "R:\tb"}},
                      ItemsCase{"ListLineBeforeHeadingIsPreamble", "- x\n  y\n## d\n- a", {"- x", "  y"}, {"E:a"}},
                      ItemsCase{"HashWithoutSpaceIsNoHeading", "##d\n## d\n###x\n# y", {"##d"}, {"R:###x", "R:# y"}},
                      ItemsCase{"EmptySections", "## a\n## b\n\n## c\n- x", {}, {"#", "#", "E:x"}},
                      ItemsCase{"CarriageReturnsStay",
                                "pre\r\n## d\r\n- a\r\n  b\r\nraw\r\n\r\n",
                                {"pre\r"},
                                {"E:a\r\nb\r", "R:raw\r", "R:\r"}}));

// --- Identities ----------------------------------------------------------------------------------

struct IdentityCase {
    const char* name;
    const char* file;
    std::vector<const char*> keys; // of every entry in document order
};

void PrintTo(const IdentityCase& c, std::ostream* os) {
    *os << c.name;
}

class EntryIdentity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(EntryIdentity, KeysOfHeadingTextAndCount) {
    const auto& c = GetParam();
    const QList<Entry> entries = NotesDocument::parse(q(c.file)).allEntries();
    ASSERT_EQ(entries.size(), static_cast<qsizetype>(c.keys.size()));
    for (qsizetype i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].id, NotesDocument::stableID(q(c.keys[static_cast<std::size_t>(i)])))
            << "entry " << i << " key " << c.keys[static_cast<std::size_t>(i)];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, EntryIdentity,
    ::testing::Values(
        IdentityCase{"RepeatsCountUp",
                     "## 2025-03-14 Friday\n- [ ] buy milk\n- [x] ~~buy milk~~  <!-- 08:00 -->\n- bread\n- buy milk",
                     {"2025-03-14 Friday|buy milk|0", "2025-03-14 Friday|buy milk|1", "2025-03-14 Friday|bread|0",
                      "2025-03-14 Friday|buy milk|2"}},
        IdentityCase{
            "CountsRestartEachSection", "## a\n- x\n- x\n## b\n- x\n## a\n- x", {"a|x|0", "a|x|1", "b|x|0", "a|x|0"}},
        IdentityCase{"WholeTextCounts", "## d\n- x\n  y\n- x\n- x\n  y", {"d|x\ny|0", "d|x|0", "d|x\ny|1"}},
        IdentityCase{
            "MarkersAndCommentsAreNotText", "## d \n- [ ] ! x  <!-- 09:00 y -->\n- ~~x~~", {"d |x|0", "d |x|1"}},
        IdentityCase{
            "PrefixTextsAreDifferentTexts", "## d\n- ab\n- a\n- ab\n- a", {"d|ab|0", "d|a|0", "d|ab|1", "d|a|1"}}));

TEST(EntryIdentity, SurvivesStateStampAndCommentButNotTextOrDay) {
    const auto idOf = [](const char* file) { return NotesDocument::parse(q(file)).allEntries().value(0).id; };
    const QUuid base = idOf("## d\n- [ ] call Ann");
    EXPECT_EQ(idOf("## d\n- [x] ! ~~call Ann~~  <!-- 09:00 remind 2026-03-14 09:00 -->"), base);
    EXPECT_EQ(idOf("## d\n- ~~call Ann~~"), base);
    EXPECT_NE(idOf("## d\n- [ ] call Anne"), base);
    EXPECT_NE(idOf("## e\n- [ ] call Ann"), base);
}

TEST(EntryIdentity, DeletingTheFirstRepeatHandsItsIdentityOn) {
    NotesDocument doc = NotesDocument::parse(q("## 2025-03-14 Friday\n- [ ] buy milk\n- [x] ~~buy milk~~\n"));
    const QList<Entry> before = doc.allEntries();
    ASSERT_EQ(before.size(), 2);
    EXPECT_EQ(before[0].id.toString(QUuid::WithoutBraces), q("a75f138f-d232-fc08-564c-e3170e68fd8d"));
    EXPECT_EQ(before[1].id.toString(QUuid::WithoutBraces), q("a75f148f-d232-fdbb-564c-e2170e68fbda"));

    ASSERT_TRUE(doc.remove(before[0].id));
    const QList<Entry> after = NotesDocument::parse(doc.serialized()).allEntries();
    ASSERT_EQ(after.size(), 1);
    EXPECT_EQ(after[0].id, before[0].id);
    EXPECT_EQ(after[0].state, State::Done);
}

// --- Queries and edits ---------------------------------------------------------------------------

const char* const kThreeDays = "## 2025-03-14 Friday\n\n- [ ] a\nraw\n- [x] ~~b~~\n\n"
                               "## 2025-03-13 Thursday\n\n- only\n\n"
                               "## 2025-03-12 Wednesday\n\n- c\n- d\n";

QUuid idOfText(const NotesDocument& doc, const char* text) {
    return plim::test::entryId(doc, q(text));
}

TEST(NotesDocumentQueries, LocationAndEntryByIdentity) {
    const NotesDocument doc = NotesDocument::parse(q(kThreeDays));
    const struct {
        const char* text;
        EntryLocation location;
    } cases[] = {{"a", {0, 0}}, {"b", {0, 2}}, {"only", {1, 0}}, {"c", {2, 0}}, {"d", {2, 1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const QUuid id = idOfText(doc, c.text);
        EXPECT_EQ(doc.location(id), c.location);
        ASSERT_TRUE(doc.entry(id));
        EXPECT_EQ(doc.entry(id)->text, q(c.text));
    }
    const QUuid unknown = NotesDocument::stableID(q("nowhere"));
    EXPECT_FALSE(doc.location(unknown));
    EXPECT_FALSE(doc.entry(unknown));
    EXPECT_FALSE(doc.location(QUuid()));
    NotesDocument copy = doc;
    EXPECT_FALSE(copy.remove(unknown));
    EXPECT_EQ(copy, doc);
}

TEST(NotesDocumentQueries, RemoveTakesOutOnlyThatEntry) {
    const struct {
        const char* text;
        const char* written;
    } cases[] = {
        {"a", "## 2025-03-14 Friday\n\nraw\n- [x] ~~b~~\n\n## 2025-03-13 Thursday\n\n- only\n\n"
              "## 2025-03-12 Wednesday\n\n- c\n- d\n"},
        // The day stays, with no entries.
        {"only", "## 2025-03-14 Friday\n\n- [ ] a\nraw\n- [x] ~~b~~\n\n## 2025-03-13 Thursday\n\n\n"
                 "## 2025-03-12 Wednesday\n\n- c\n- d\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        NotesDocument doc = NotesDocument::parse(q(kThreeDays));
        const QUuid id = idOfText(doc, c.text);
        const auto removed = doc.remove(id);
        ASSERT_TRUE(removed);
        EXPECT_EQ(removed->text, q(c.text));
        EXPECT_EQ(removed->id, id);
        EXPECT_EQ(doc.serialized(), q(c.written));
        EXPECT_FALSE(doc.location(id));
        EXPECT_FALSE(doc.remove(id));
    }
}

TEST(NotesDocumentQueries, SectionIndexFindsOrCreatesTheDay) {
    const Calendar berlin(QStringLiteral("Europe/Berlin"));
    // Friday 00:30 in Berlin is still Thursday in UTC.
    const Instant friday = at(berlin, 2025, 3, 14, 0, 30);
    const struct {
        const char* name;
        const char* file;
        qsizetype index;
        qsizetype sections;
    } cases[] = {
        {"Empty", "", 0, 1},
        {"OnTop", "## 2025-03-14 Friday\n- a\n## 2025-03-13 Thursday\n", 0, 2},
        {"FirstOfTwoAlike", "## 2025-03-15 Saturday\n## 2025-03-14 Friday\n## 2025-03-14 Friday\n", 1, 3},
        {"TypedDifferently", "## 2025-03-14 friday\n## 2025-03-14 Friday \n", 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NotesDocument doc = NotesDocument::parse(q(c.file));
        const NotesDocument before = doc;
        EXPECT_EQ(doc.sectionIndex(friday, berlin), c.index);
        ASSERT_EQ(doc.sections.size(), c.sections);
        EXPECT_EQ(doc.sections[c.index].heading, q("2025-03-14 Friday"));
        EXPECT_EQ(doc.preamble, before.preamble);
        if (c.sections > before.sections.size()) {
            EXPECT_TRUE(doc.sections[0].items.isEmpty());
            EXPECT_FALSE(doc.sections[0].id.isNull());
            EXPECT_EQ(doc.sections.mid(1), before.sections);
        }
    }
    NotesDocument doc;
    doc.sectionIndex(friday, berlin);
    EXPECT_EQ(doc.serialized(), q("## 2025-03-14 Friday\n\n"));
}

} // namespace

// Lines that once read back differently after being written: the second write must change nothing.
TEST(NotesDocumentStability, WritingTwiceChangesNothing) {
    const char16_t* const lines[] = {
        u"- [ ] ~~a <!-- b -->~~",                       // marks around a comment-like text stay
        u"- [ ] ~~! a~~",                                // would read as a shortlist mark
        u"- [ ] ~~~~a~~~~",                              // marks inside marks
        u"- [ ] ~~<!-[ ] ~~<!--  b--> ",                 // text ending in a space before the comment
        u"- [ ]<!--09:30-->  ",                          // checkbox right before the comment
        u"- !<!--0 90 -->\r",                            // shortlist mark right before the comment
        u"- - [ Y ~~\t<!--a!tel Ann\f <!-- 0 -->",       // a line terminator blocks the earlier comment
        u"-  \f <!--   -->\f <!--   -->",                // an empty comment that would expose another
        u"- [ ] !ee <!--  x   <-->!-- say!-- 21:40 -->", // marks joined by removing others
        u"- [ ] a\r  <!-- 09:30 -->",                    // a carriage return before the comment stays in the text
    };
    for (const char16_t* line : lines) {
        const QString text = QStringLiteral("## 2025-03-14 Friday\n\n") + QString::fromUtf16(line) + QLatin1Char('\n');
        const QString once = NotesDocument::parse(text).serialized();
        EXPECT_EQ(NotesDocument::parse(once).serialized(), once) << QString::fromUtf16(line).toStdString();
        EXPECT_EQ(NotesDocument::parse(once).allEntries(), NotesDocument::parse(text).allEntries())
            << QString::fromUtf16(line).toStdString();
    }
    // The carriage return before a comment is kept where it was.
    const auto cr = NotesDocument::parse(u"## d\n- [ ] a\r  <!-- 09:30 -->\n").allEntries();
    ASSERT_EQ(cr.size(), 1);
    EXPECT_EQ(cr[0].text, QStringLiteral("a\r"));
    EXPECT_EQ(cr[0].time, QStringLiteral("09:30"));
}
