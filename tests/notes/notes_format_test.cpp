#include "notes/NotesDocument.h"

#include "support/TestSupport.h"

#include <QStringDecoder>

#include <gtest/gtest.h>

using namespace plim;
using plim::test::at;

namespace {

// Keeps a leading byte-order mark, which QString::fromUtf8 drops, as the notes file reader does.
QString q(const char* utf8) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(utf8);
}

TEST(NotesFormatHeading, DayInTheCalendarsZoneWithEnglishWeekday) {
    const struct {
        const char* zone;
        int y, m, d, h, mi;
        const char* zoneOfHeading; // the heading is computed in this zone for the same instant
        const char* locale;
        const char* heading;
    } cases[] = {
        {"Europe/Berlin", 2025, 3, 14, 0, 30, "Europe/Berlin", "en_US", "## 2025-03-14 Friday"},
        {"Europe/Berlin", 2025, 3, 14, 0, 30, "UTC", "en_US", "## 2025-03-13 Thursday"},
        {"America/New_York", 2025, 3, 9, 3, 30, "America/New_York", "en_US", "## 2025-03-09 Sunday"},
        {"Europe/Berlin", 2025, 3, 14, 9, 0, "Europe/Berlin", "ar_EG", "## 2025-03-14 Friday"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heading);
        const Instant t = at(Calendar(q(c.zone)), c.y, c.m, c.d, c.h, c.mi);
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        const std::optional<QString> comment = c.comment ? std::optional(q(c.comment)) : std::nullopt;
        EXPECT_EQ(NotesFormat::formatEntry(q(c.text), comment), q(c.written));
    }
}

// A capture goes last under the day's heading when that day is on top, else into a new day on top.
TEST(NotesFormatAppending, InsertsTheCaptureAsTheDaysLastEntry) {
    const Calendar berlin(QStringLiteral("Europe/Berlin"));
    const Instant day = at(berlin, 2025, 3, 14, 9, 0);
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
        const QList<NotesFormat::TextEdit> edits =
            NotesFormat::captureEdits(q(c.text), q(c.file), day, berlin, q("09:00"));
        qsizetype done = 0;
        for (const NotesFormat::TextEdit& e : edits) {
            EXPECT_LE(done, e.from);
            EXPECT_LE(e.from, e.to);
            done = e.to;
        }
        const QString result = NotesFormat::applyEdits(q(c.file), edits);
        EXPECT_EQ(result, q(c.result));

        // Read back, the day's section (the first with its heading) ends with the capture as typed.
        NotesDocument doc = NotesDocument::parse(result);
        const qsizetype sections = doc.sections.size();
        const QList<Entry> entries = doc.sections[doc.sectionIndex(day, berlin)].entries();
        EXPECT_EQ(doc.sections.size(), sections);
        ASSERT_FALSE(entries.isEmpty());
        EXPECT_EQ(std::tuple(entries.last().text, entries.last().time, entries.last().state),
                  std::tuple(q(c.text), std::optional(q("09:00")), Entry::State::Open));
    }
}

} // namespace
