#include "notes/NotesDocument.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace plim;
using plim::test::at;

namespace {

QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST(NotesFormatHeading, DayInTheCalendarsZoneWithEnglishWeekday) {
    const struct {
        const char* zone;
        const char* locale;
        int y, m, d, h, mi;
        const char* zoneOfHeading; // the heading is computed in this zone for the same instant
        const char* heading;
    } cases[] = {
        {"Europe/Berlin", "en_US", 2025, 3, 14, 9, 0, "Europe/Berlin", "## 2025-03-14 Friday"},
        {"Europe/Berlin", "en_US", 2025, 3, 14, 0, 30, "Europe/Berlin", "## 2025-03-14 Friday"},
        {"Europe/Berlin", "en_US", 2025, 3, 14, 0, 30, "UTC", "## 2025-03-13 Thursday"},
        {"America/New_York", "en_US", 2025, 3, 9, 3, 30, "America/New_York", "## 2025-03-09 Sunday"},
        {"Europe/Berlin", "ar_EG", 2025, 3, 14, 9, 0, "Europe/Berlin", "## 2025-03-14 Friday"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heading);
        const Calendar where(q(c.zone));
        const Instant t = at(where, c.y, c.m, c.d, c.h, c.mi);
        EXPECT_EQ(NotesFormat::heading(t, Calendar(q(c.zoneOfHeading), q(c.locale))), q(c.heading));
    }
}

TEST(NotesFormatEntry, FirstLineCommentAndContinuations) {
    const struct {
        const char* text;
        const char* comment; // null: none
        const char* written;
    } cases[] = {
        {"  buy milk \n", "09:00", "- [ ] buy milk  <!-- 09:00 -->"},
        {"a\n\nb", "10:00", "- [ ] a  <!-- 10:00 -->\n  \n  b"},
        {"a\nb", nullptr, "- [ ] a\n  b"},
        {"a\rb", nullptr, "- [ ] a\n  b"},
        {"a\xe2\x80\xa8"
         "b",
         nullptr, "- [ ] a\n  b"},
        {"a\xc2\x85"
         "b",
         nullptr, "- [ ] a\n  b"},
        // A pasted Windows line end is one break.
        {"a\r\nb", nullptr, "- [ ] a\n  b"},
        {"a\r\n\r\nb", nullptr, "- [ ] a\n  \n  b"},
        {"a\n\rb", nullptr, "- [ ] a\n  \n  b"},
        {"\xc2\xa0"
         "a\xe3\x80\x80",
         nullptr, "- [ ] a"},
        {"  x\n  y", "09:00", "- [ ] x  <!-- 09:00 -->\n    y"},
        {"a", "", "- [ ] a"},
        {"", nullptr, "- [ ] "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        const std::optional<QString> comment = c.comment ? std::optional(q(c.comment)) : std::nullopt;
        EXPECT_EQ(NotesFormat::formatEntry(q(c.text), comment), q(c.written));
    }
}

struct AppendCase {
    const char* name;
    const char* file;
    const char* result;
};

void PrintTo(const AppendCase& c, std::ostream* os) {
    *os << c.name;
}

class NotesFormatAppending : public ::testing::TestWithParam<AppendCase> {};

TEST_P(NotesFormatAppending, InsertsTheCaptureAsTheDaysLastEntry) {
    const auto& c = GetParam();
    const Calendar berlin(QStringLiteral("Europe/Berlin"));
    const Instant day = at(berlin, 2025, 3, 14, 9, 0);
    const QString result = NotesFormat::appending(u"new", q(c.file), day, berlin, q("09:00"));
    EXPECT_EQ(result, q(c.result));

    // Read back, the day's section (the first with its heading) ends with the capture.
    NotesDocument doc = NotesDocument::parse(result);
    const qsizetype sections = doc.sections.size();
    const qsizetype index = doc.sectionIndex(day, berlin);
    EXPECT_EQ(doc.sections.size(), sections);
    ASSERT_LT(index, doc.sections.size());
    const QList<Entry> entries = doc.sections[index].entries();
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_EQ(entries.last().text, q("new"));
    EXPECT_EQ(entries.last().time, q("09:00"));
    EXPECT_EQ(entries.last().state, Entry::State::Open);
}

INSTANTIATE_TEST_SUITE_P(
    Files, NotesFormatAppending,
    ::testing::Values(
        AppendCase{"EmptyFile", "", "## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n"},
        AppendCase{"PreambleOnly", "My notes\n\n\n", "My notes\n\n## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n"},
        AppendCase{"NoHeadings", "a\nb", "a\nb\n\n## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n"},
        AppendCase{
            "TodayOnTopBeforeAnotherDay",
            "## 2025-03-14 Friday\n\n- [ ] a\nraw\n\n\n## 2025-03-13 Thursday\n\n- [ ] b\n",
            "## 2025-03-14 Friday\n\n- [ ] a\nraw\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n\n- [ ] b\n"},
        AppendCase{"TodayOnTopAndLast", "pre\n\n## 2025-03-14 Friday\n\n- [ ] a\n  more\n\n \n",
                   "pre\n\n## 2025-03-14 Friday\n\n- [ ] a\n  more\n- [ ] new  <!-- 09:00 -->\n"},
        AppendCase{"TodayOnTopWithoutEntriesBeforeAnotherDay",
                   "## 2025-03-14 Friday\n\n\n## 2025-03-13 Thursday\n- b\n",
                   "## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n- b\n"},
        AppendCase{"TodayOnTopWrittenTightly", "## 2025-03-14 Friday\n- [ ] a\n## 2025-03-13 Thursday\n- b",
                   "## 2025-03-14 Friday\n- [ ] a\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n- b\n"},
        AppendCase{
            "AnotherDayOnTop", "My notes\n\n## 2025-03-13 Thursday\n\n- [ ] b\n",
            "My notes\n\n## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n\n- [ ] b\n"},
        AppendCase{"TodayBelowAnotherDay", "## 2025-03-15 Saturday\n\n- x\n\n## 2025-03-14 Friday\n\n- y\n",
                   "## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-15 Saturday\n\n- x\n\n"
                   "## 2025-03-14 Friday\n\n- y\n"},
        AppendCase{"CarriageReturnsKept", "## 2025-03-14 Friday\r\n\r\n- [ ] a\r\n",
                   "## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-14 Friday\r\n\r\n- [ ] a\r\n"},
        AppendCase{"RestOfTheFileUntouched", "pre\n\n\n## 2025-03-13 Thursday\n- [X] a\n\n\n## x\n",
                   "pre\n\n\n## 2025-03-14 Friday\n\n- [ ] new  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n- [X] a\n\n\n"
                   "## x\n"}));

TEST(NotesFormatAppendingLines, MultiLineCaptureReadsBackAsOneEntry) {
    const Calendar berlin(QStringLiteral("Europe/Berlin"));
    const Instant day = at(berlin, 2025, 3, 14, 10, 0);
    const QString result =
        NotesFormat::appending(u"a\n\nb", q("## 2025-03-14 Friday\n\n- [ ] x\n"), day, berlin, q("10:00"));
    EXPECT_EQ(result, q("## 2025-03-14 Friday\n\n- [ ] x\n- [ ] a  <!-- 10:00 -->\n  \n  b\n"));
    const QList<Entry> entries = NotesDocument::parse(result).allEntries();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[1].text, q("a\n\nb"));
    EXPECT_EQ(entries[1].time, q("10:00"));
    // A canonical file stays canonical.
    EXPECT_EQ(NotesDocument::parse(result).serialized(), result);
}

} // namespace
