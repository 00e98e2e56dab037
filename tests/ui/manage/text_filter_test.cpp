#include "ui/manage/TextFilter.h"

#include "support/TestSupport.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

// The texts in blocks of `perBlock`; a null string is an item that is never found.
TextFilter filterOver(const std::vector<QString>& texts, std::size_t perBlock) {
    std::vector<std::shared_ptr<const TextFilter::Block>> blocks;
    for (std::size_t i = 0; i < texts.size(); i += perBlock) {
        std::vector<QStringView> views;
        for (std::size_t k = i; k < std::min(texts.size(), i + perBlock); ++k) {
            views.push_back(texts[k].isNull() ? QStringView() : QStringView(texts[k]));
        }
        blocks.push_back(std::make_shared<const TextFilter::Block>(TextFilter::Block::make(views)));
    }
    TextFilter filter;
    filter.reset(std::move(blocks));
    return filter;
}

TEST(TextFilter, FindsWhatTheLowerCasedTextContains) {
    // The text, the filter as typed: whether it is found.
    const std::vector<std::tuple<QString, QString, bool>> cases{
        {u"Buy MILK"_s, u"milk"_s, true},
        {u"buy mil"_s, u"milk"_s, false},
        {u"mmilk"_s, u"milk"_s, true}, // a false start right before the match
        {u"milk"_s, u"MILK"_s, true},
        {u"ilk"_s, u"milk"_s, false},
        {u"Grüße an MÜLLER"_s, u"müller"_s, true},
        {u"plain words"_s, u"ö"_s, false},
        {u"KELVIN \u212A"_s, u"kelvin k"_s, true}, // the Kelvin sign lowers to a plain k
        {u"İstanbul"_s, u"stanbul"_s, true},
        {u"two\nLines"_s, u"o\nl"_s, true},
        {u"ba"_s, u"ab"_s, false},  // every character there, not in that order
        {u"wow!"_s, u"="_s, false}, // "!" and "=" share a mark of what a text holds
        {u"a = b"_s, u"="_s, true},
        {u"Room 4B"_s, u"4b"_s, true},
    };
    std::vector<QString> texts(cases.size());
    std::transform(cases.begin(), cases.end(), texts.begin(), [](const auto& c) { return std::get<0>(c); });
    for (const std::size_t perBlock : {std::size_t{1}, std::size_t{4}, cases.size()}) {
        TextFilter filter = filterOver(texts, perBlock);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const auto& [text, needle, found] = cases[i];
            EXPECT_EQ(filter.matches(needle.toLower())[i] != 0, found)
                << text.toStdString() << " / " << needle.toStdString() << " in blocks of " << perBlock;
        }
    }
}

// Whatever order the filters come in, each answer is the one lowering every text and searching it
// gives: narrowing from an earlier answer and answers from memory change nothing.
TEST(TextFilter, EveryAnswerIsTheFullAnswer) {
    const std::vector<QString> texts{u"buy milk"_s, u"Milkshake"_s, u"email Tom"_s, QString(),
                                     u"call mum"_s, u"MÜLLER m"_s,  u"mil"_s,       u"lim"_s,
                                     u"ilk"_s,      u"call Ann"_s,  u"xmi"_s,       u"lky"_s};
    TextFilter filter = filterOver(texts, 3);
    const QStringList sequence = u"m mi mil milk mil mi m ilk milk l ll call ca a ü mü ilky y mily ix"_s.split(u' ');
    for (const QString& q : sequence) {
        const std::vector<std::uint8_t>& got = filter.matches(q);
        ASSERT_EQ(got.size(), texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const bool expected = !texts[i].isNull() && texts[i].toLower().contains(q);
            EXPECT_EQ(got[i] != 0, expected) << q.toStdString() << " on " << texts[i].toStdString();
        }
    }
    EXPECT_TRUE(filterOver({}, 3).matches(u"milk").empty());
}

} // namespace
