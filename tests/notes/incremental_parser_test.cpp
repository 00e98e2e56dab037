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

// Whatever was read before, the result is what reading the whole text gives; the days whose text
// is unchanged are the earlier days themselves.
TEST(IncrementalParser, ReadsLikeAWholeParseAndSharesUnchangedDays) {
    const Case cases[] = {
        {"Same", kBefore, {true, true, true}},
        {"MiddleDayEdited",
         u"Notes\n\n"_s + kFriday + u"## 2025-03-13 Thursday\n\n- [ ] b\nraw line\n\n"_s + kWednesday,
         {true, false, true}},
        // Characters of more than one byte before, in and after the edit.
        {"NonAsciiDayEdited",
         u"Notes\n\n"_s + kFriday + u"## 2025-03-13 Thursday\n\n- [ ] b\u00e9\U0001F600\nraw line\n\n"_s + kWednesday,
         {true, false, true},
         u"Notes \u00e9\n\n"_s + kFriday + u"## 2025-03-13 Thursday\n\n- [ ] \u4e2d\nraw line\n\n"_s + kWednesday},
        {"NewDayOnTopAndPreambleChanged",
         u"Other\n\n## 2025-03-15 Saturday\n\n- [ ] new\n\n"_s + kFriday + kThursday + kWednesday,
         {false, true, true, true}},
        // The last day has no line end after it here, so its text differs and it is read again.
        {"LastDayLosesItsEnd", kBefore.chopped(1), {true, true, false}},
        // Changes right at a day's edge: the line before a heading, the heading itself.
        {"LineAddedAtTheEndOfADay",
         u"Notes\n\n"_s + kFriday + u"- [ ] d\n"_s + kThursday + kWednesday,
         {false, true, true}},
        {"HeadingChanged",
         u"Notes\n\n"_s + kFriday + QString(kThursday).replace(u"13 T"_s, u"11 T"_s) + kWednesday,
         {true, false, true}},
        {"DayBrokenInTwo",
         u"Notes\n\n"_s + kFriday + QString(kThursday).replace(u"raw"_s, u"## raw"_s) + kWednesday,
         {true, false, false, true}},
        {"TwoDaysMerged",
         u"Notes\n\n"_s + kFriday + QString(kThursday).replace(u"## 2"_s, u"#2"_s) + kWednesday,
         {false, true}},
        {"DaysReordered", u"Notes\n\n"_s + kWednesday + kFriday + kThursday, {true, true, true}},
        // A day pasted twice: only one copy can be the earlier day.
        {"DayDuplicated", u"Notes\n\n"_s + kFriday + kFriday + kThursday + kWednesday, {true, false, true, true}},
        // Two equal days read again are still two days, each with an identity of its own.
        {"TwoEqualDaysReadAgain",
         u"Other\n\n"_s + kFriday + kFriday + u"## 2025-03-12 Wednesday\n"_s,
         {false, true, false},
         u"Notes\n\n"_s + kFriday + kFriday + kWednesday},
        // The days after an edit are found again after the next one.
        {"TwoEditsInARow",
         u"Notes\n\n"_s + kFriday + u"- [ ] d\n- [ ] e\n"_s + kThursday + kWednesday,
         {false, true, true},
         u"Notes\n\n"_s + kFriday + u"- [ ] d\n"_s + kThursday + kWednesday},
        {"HeadingInTheLastCharacters", kBefore + u"## "_s, {true, true, true, false}},
        {"LineEndingsChanged", QString(u"Notes\n\n"_s + kFriday).replace(u'\n', u"\r\n"_s), {false}},
        {"CrLfFromTheFirstDay", QString(kFriday).replace(u'\n', u"\r\n"_s), {false}},
        // A day right after a byte-order mark is still a day of its own.
        {"ByteOrderMarkBeforeTheFirstDay", u"\ufeff"_s + kFriday + kThursday, {true, true}},
        {"Emptied", QString(), {}},
        // After a text without days, nothing of the earlier text is taken over any more.
        {"AfterATextWithoutDays", kBefore, {false, false, false}, u"just a preamble\n"_s}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IncrementalParser parser;
        const NotesDocument before = parser.parse(kBefore);
        if (!c.between.isNull()) {
            parser.parse(c.between);
        }
        const QString& afterText = c.after;
        const NotesDocument after = parser.parse(afterText);
        const NotesDocument whole = NotesDocument::parse(afterText);

        EXPECT_EQ(after.preamble, whole.preamble);
        EXPECT_EQ(after.byteOrderMark, whole.byteOrderMark);
        EXPECT_EQ(after.lineEnd, whole.lineEnd);
        ASSERT_EQ(after.sections.size(), whole.sections.size());
        ASSERT_EQ(c.shared.size(), static_cast<std::size_t>(after.sections.size()));
        for (qsizetype i = 0; i < after.sections.size(); ++i) {
            const DaySection& day = after.sections[i];
            EXPECT_EQ(day.heading, whole.sections[i].heading) << i;
            EXPECT_EQ(day.items, whole.sections[i].items) << i;
            const auto earlier = std::find_if(before.sections.begin(), before.sections.end(), [&](const DaySection& d) {
                return !d.items.isEmpty() && d.items.constData() == day.items.constData();
            });
            EXPECT_EQ(earlier != before.sections.end(), c.shared[static_cast<std::size_t>(i)]) << i;
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
}

} // namespace
