#include "notes/IncrementalParser.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace plim;

namespace {

const char* const kBefore = "Notes\n"
                            "\n"
                            "## 2025-03-14 Friday\n"
                            "\n"
                            "- [ ] a  <!-- 09:00 -->\n"
                            "\n"
                            "## 2025-03-13 Thursday\n"
                            "\n"
                            "- [x] ~~b~~\n"
                            "raw line\n"
                            "\n"
                            "## 2025-03-12 Wednesday\n"
                            "\n"
                            "- [ ] c\n"
                            "  more\n";

struct Case {
    const char* name;
    const char* after;
    // For each day of the new text, whether it must be the earlier day's items, shared.
    std::vector<bool> shared;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class IncrementalParserTest : public ::testing::TestWithParam<Case> {};

// Whatever was read before, the result is what reading the whole text gives; the days whose text
// is unchanged are the earlier days themselves.
TEST_P(IncrementalParserTest, ReadsLikeAWholeParseAndSharesUnchangedDays) {
    IncrementalParser parser;
    const NotesDocument before = parser.parse(QString::fromUtf8(kBefore));
    const QString afterText = QString::fromUtf8(GetParam().after);
    const NotesDocument after = parser.parse(afterText);
    const NotesDocument whole = NotesDocument::parse(afterText);

    EXPECT_EQ(after.preamble, whole.preamble);
    ASSERT_EQ(after.sections.size(), whole.sections.size());
    ASSERT_EQ(GetParam().shared.size(), static_cast<std::size_t>(after.sections.size()));
    for (qsizetype i = 0; i < after.sections.size(); ++i) {
        const DaySection& day = after.sections[i];
        EXPECT_EQ(day.heading, whole.sections[i].heading) << i;
        EXPECT_EQ(day.items, whole.sections[i].items) << i;
        const auto earlier = std::find_if(before.sections.begin(), before.sections.end(), [&](const DaySection& d) {
            return !d.items.isEmpty() && d.items.constData() == day.items.constData();
        });
        EXPECT_EQ(earlier != before.sections.end(), GetParam().shared[static_cast<std::size_t>(i)]) << i;
        if (earlier != before.sections.end()) {
            EXPECT_EQ(day.id, earlier->id) << i;
        }
    }
    // Every day keeps an identity of its own.
    for (qsizetype i = 0; i < after.sections.size(); ++i) {
        for (qsizetype j = i + 1; j < after.sections.size(); ++j) {
            EXPECT_NE(after.sections[i].id, after.sections[j].id) << i << " " << j;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IncrementalParserTest,
    ::testing::Values(
        Case{"Same", kBefore, {true, true, true}},
        Case{"MiddleDayEdited",
             "Notes\n\n## 2025-03-14 Friday\n\n- [ ] a  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n\n- [ ] b\n"
             "raw line\n\n## 2025-03-12 Wednesday\n\n- [ ] c\n  more\n",
             {true, false, true}},
        Case{"NewDayOnTopAndPreambleChanged",
             "Other\n\n## 2025-03-15 Saturday\n\n- [ ] new\n\n## 2025-03-14 Friday\n\n- [ ] a  <!-- 09:00 -->\n\n"
             "## 2025-03-13 Thursday\n\n- [x] ~~b~~\nraw line\n\n## 2025-03-12 Wednesday\n\n- [ ] c\n  more\n",
             {false, true, true, true}},
        // The last day has no blank line after it here, so its text differs and it is read again.
        Case{"LastDayLosesItsEnd",
             "Notes\n\n## 2025-03-14 Friday\n\n- [ ] a  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n\n- [x] ~~b~~\n"
             "raw line\n\n## 2025-03-12 Wednesday\n\n- [ ] c\n  more",
             {true, true, false}},
        Case{"DaysReordered",
             "Notes\n\n## 2025-03-12 Wednesday\n\n- [ ] c\n  more\n## 2025-03-14 Friday\n\n- [ ] a  <!-- 09:00 -->\n\n"
             "## 2025-03-13 Thursday\n\n- [x] ~~b~~\nraw line\n\n",
             {true, true, true}},
        // A day pasted twice: only one copy can be the earlier day.
        Case{"DayDuplicated",
             "Notes\n\n## 2025-03-14 Friday\n\n- [ ] a  <!-- 09:00 -->\n\n## 2025-03-14 Friday\n\n"
             "- [ ] a  <!-- 09:00 -->\n\n## 2025-03-13 Thursday\n\n- [x] ~~b~~\nraw line\n\n"
             "## 2025-03-12 Wednesday\n\n- [ ] c\n  more\n",
             {true, false, true, true}},
        Case{"LineEndingsChanged", "Notes\r\n\r\n## 2025-03-14 Friday\r\n\r\n- [ ] a  <!-- 09:00 -->\r\n", {false}},
        Case{"Emptied", "", {}}),
    [](const auto& p) { return std::string(p.param.name); });

// After a text without days, nothing of the earlier text is taken over any more.
TEST(IncrementalParserMemory, ForgetsWhatTheLastTextNoLongerHolds) {
    IncrementalParser parser;
    const NotesDocument first = parser.parse(QString::fromUtf8(kBefore));
    parser.parse(QStringLiteral("just a preamble\n"));
    const NotesDocument again = parser.parse(QString::fromUtf8(kBefore));
    ASSERT_EQ(again.sections.size(), first.sections.size());
    for (qsizetype i = 0; i < again.sections.size(); ++i) {
        EXPECT_NE(again.sections[i].items.constData(), first.sections[i].items.constData());
        EXPECT_EQ(again.sections[i].items, first.sections[i].items);
    }
}

} // namespace
