#include "ui/manage/TextFilter.h"

#include "support/TestSupport.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

struct ContainsCase {
    QString text;
    QString needle; // as typed; lower-cased by the test
    bool found;
};

TEST(TextFilter, ContainsWhatTheLowerCasedTextContains) {
    const std::vector<ContainsCase> cases{
        {u"Buy MILK"_s, u"milk"_s, true},
        {u"buy mil"_s, u"milk"_s, false},
        {u"mmilk"_s, u"milk"_s, true}, // a false start right before the match
        {u"milk"_s, u"MILK"_s, true},
        {u"m"_s, u"m"_s, true},
        {u"ilk"_s, u"milk"_s, false},
        {u"Grüße an MÜLLER"_s, u"müller"_s, true},
        {u"Grüße an MÜLLER"_s, u"an m"_s, true},
        {u"MÜLLER and milk"_s, u"milk"_s, true}, // ASCII part after a non-ASCII letter
        {u"ÄRGER"_s, u"ärger"_s, true},
        {u"ÄRGER"_s, u"rger"_s, true},
        {u"plain words"_s, u"ö"_s, false},
        {u"KELVIN \u212A"_s, u"kelvin k"_s, true}, // the Kelvin sign lowers to a plain k
        {u"İstanbul"_s, u"stanbul"_s, true},
        {u"tab\there"_s, u"\th"_s, true},
    };
    for (const ContainsCase& c : cases) {
        const QString lowered = c.needle.toLower();
        EXPECT_EQ(containsLowered(c.text, lowered), c.found) << c.text.toStdString() << " / " << c.needle.toStdString();
        // The reference: lowering the whole text.
        EXPECT_EQ(c.text.toLower().contains(lowered), c.found) << c.text.toStdString();
    }
}

// Whatever order filters come in, each answer is the one a full search gives.
TEST(TextFilter, NarrowingAndGoingBackGiveTheFullAnswer) {
    const std::vector<QString> texts{u"buy milk"_s, u"Milkshake"_s, u"email Tom"_s, QString(), u"call mum"_s,
                                     u"MÜLLER m"_s, u"mil"_s,       u"lim"_s,       u"ilk"_s,  u"call Ann"_s};
    TextFilter filter;
    filter.reset(texts);
    const QStringList sequence{u"m"_s,    u"mi"_s, u"mil"_s, u"milk"_s, u"mil"_s, u"mi"_s, u"m"_s, u"ilk"_s,
                               u"milk"_s, u"l"_s,  u"ll"_s,  u"call"_s, u"ca"_s,  u"a"_s,  u"ü"_s, u"mü"_s};
    for (const QString& q : sequence) {
        const std::vector<std::uint8_t>& got = filter.matches(q);
        ASSERT_EQ(got.size(), texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const bool expected = !texts[i].isNull() && texts[i].toLower().contains(q);
            EXPECT_EQ(got[i] != 0, expected) << q.toStdString() << " on " << texts[i].toStdString();
        }
    }
    filter.reset({u"Milk"_s});
    EXPECT_EQ(filter.matches(u"milk"_s), std::vector<std::uint8_t>{1});
    filter.reset({u"tea"_s});
    EXPECT_EQ(filter.matches(u"milk"_s), std::vector<std::uint8_t>{0}); // nothing remembered across texts
}

} // namespace
