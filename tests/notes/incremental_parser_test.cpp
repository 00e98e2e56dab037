#include "notes/IncrementalParser.h"

#include "support/TestSupport.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kFriday = u"## 2025-03-14 Friday\n\n- [ ] a  <!-- 09:00 -->\n\n"_s;
const QString kThursday = u"## 2025-03-13 Thursday\n\n- [x] ~~b~~\nraw line\n\n"_s;
const QString kWednesday = u"## 2025-03-12 Wednesday\n\n- [ ] c\n  more\n"_s;
const QString kBefore = u"Notes\n\n"_s + kFriday + kThursday + kWednesday;

struct Case {
    const char* name;
    QString after;
    // For each day of the new text, whether it must be the earlier day's items, shared.
    std::vector<bool> shared;
    QString between = {}; // read after the earlier text, when not null
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class IncrementalParserTest : public ::testing::TestWithParam<Case> {};

// Whatever was read before, the result is what reading the whole text gives; the days whose text
// is unchanged are the earlier days themselves.
TEST_P(IncrementalParserTest, ReadsLikeAWholeParseAndSharesUnchangedDays) {
    IncrementalParser parser;
    const NotesDocument before = parser.parse(kBefore);
    if (!GetParam().between.isNull()) {
        parser.parse(GetParam().between);
    }
    const QString& afterText = GetParam().after;
    const NotesDocument after = parser.parse(afterText);
    const NotesDocument whole = NotesDocument::parse(afterText);

    EXPECT_EQ(after.preamble, whole.preamble);
    EXPECT_EQ(after.byteOrderMark, whole.byteOrderMark);
    EXPECT_EQ(after.lineEnd, whole.lineEnd);
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
    QSet<QUuid> ids;
    for (const DaySection& day : after.sections) {
        ids.insert(day.id);
    }
    EXPECT_EQ(ids.size(), after.sections.size());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IncrementalParserTest,
    ::testing::Values(
        Case{"Same", kBefore, {true, true, true}},
        Case{"MiddleDayEdited",
             u"Notes\n\n"_s + kFriday + u"## 2025-03-13 Thursday\n\n- [ ] b\nraw line\n\n"_s + kWednesday,
             {true, false, true}},
        // Characters of more than one byte before, in and after the edit.
        Case{"NonAsciiDayEdited",
             u"Notes\n\n"_s + kFriday + u"## 2025-03-13 Thursday\n\n- [ ] b\u00e9\U0001F600\nraw line\n\n"_s +
                 kWednesday,
             {true, false, true},
             u"Notes \u00e9\n\n"_s + kFriday + u"## 2025-03-13 Thursday\n\n- [ ] \u4e2d\nraw line\n\n"_s + kWednesday},
        Case{"NewDayOnTopAndPreambleChanged",
             u"Other\n\n## 2025-03-15 Saturday\n\n- [ ] new\n\n"_s + kFriday + kThursday + kWednesday,
             {false, true, true, true}},
        // The last day has no line end after it here, so its text differs and it is read again.
        Case{"LastDayLosesItsEnd", kBefore.chopped(1), {true, true, false}},
        // Changes right at a day's edge: the line before a heading, the heading itself.
        Case{"LineAddedAtTheEndOfADay",
             u"Notes\n\n"_s + kFriday + u"- [ ] d\n"_s + kThursday + kWednesday,
             {false, true, true}},
        Case{"HeadingChanged",
             u"Notes\n\n"_s + kFriday + QString(kThursday).replace(u"13 T"_s, u"11 T"_s) + kWednesday,
             {true, false, true}},
        Case{"DayBrokenInTwo",
             u"Notes\n\n"_s + kFriday + QString(kThursday).replace(u"raw"_s, u"## raw"_s) + kWednesday,
             {true, false, false, true}},
        Case{"TwoDaysMerged",
             u"Notes\n\n"_s + kFriday + QString(kThursday).replace(u"## 2"_s, u"#2"_s) + kWednesday,
             {false, true}},
        Case{"DaysReordered", u"Notes\n\n"_s + kWednesday + kFriday + kThursday, {true, true, true}},
        // A day pasted twice: only one copy can be the earlier day.
        Case{"DayDuplicated", u"Notes\n\n"_s + kFriday + kFriday + kThursday + kWednesday, {true, false, true, true}},
        // Two equal days read again are still two days, each with an identity of its own.
        Case{"TwoEqualDaysReadAgain",
             u"Other\n\n"_s + kFriday + kFriday + u"## 2025-03-12 Wednesday\n"_s,
             {false, true, false},
             u"Notes\n\n"_s + kFriday + kFriday + kWednesday},
        // The days after an edit are found again after the next one.
        Case{"TwoEditsInARow",
             u"Notes\n\n"_s + kFriday + u"- [ ] d\n- [ ] e\n"_s + kThursday + kWednesday,
             {false, true, true},
             u"Notes\n\n"_s + kFriday + u"- [ ] d\n"_s + kThursday + kWednesday},
        Case{"HeadingInTheLastCharacters", kBefore + u"## "_s, {true, true, true, false}},
        Case{"LineEndingsChanged", QString(u"Notes\n\n"_s + kFriday).replace(u'\n', u"\r\n"_s), {false}},
        Case{"CrLfFromTheFirstDay", QString(kFriday).replace(u'\n', u"\r\n"_s), {false}},
        // A day right after a byte-order mark is still a day of its own.
        Case{"ByteOrderMarkBeforeTheFirstDay", u"\ufeff"_s + kFriday + kThursday, {true, true}},
        Case{"Emptied", QString(), {}},
        // After a text without days, nothing of the earlier text is taken over any more.
        Case{"AfterATextWithoutDays", kBefore, {false, false, false}, u"just a preamble\n"_s}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
