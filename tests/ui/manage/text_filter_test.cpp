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

// Whatever order the filters come in, each answer is the one lowering every text and searching it
// gives: narrowing from an earlier answer and answers from memory change nothing.
TEST(TextFilter, EveryAnswerIsTheFullAnswer) {
    // Among them a false start right before a match, letters that lower to plain ones or to longer
    // text, two lines, "!" and "=" that share a mark of what a text holds.
    const std::vector<QString> texts{
        u"buy milk"_s,      u"Milkshake"_s, u"email Tom"_s,  QString(),    u"call mum"_s,
        u"MÜLLER m"_s,      u"mil"_s,       u"lim"_s,        u"ilk"_s,     u"call Ann"_s,
        u"xmi"_s,           u"lky"_s,       u"mmilk"_s,      u"Room 4B"_s, u"Grüße an MÜLLER"_s,
        u"KELVIN \u212A"_s, u"İstanbul"_s,  u"two\nLines"_s, u"ba"_s,      u"wow!"_s,
        u"a = b"_s};
    const QStringList sequence =
        u"m mi mil milk mil mi m ilk milk l ll call ca a ü mü ilky y mily ix müller ö stanbul ab = 4b"_s.split(u' ')
        << u"kelvin k"_s << u"o\nl"_s;
    for (const std::size_t perBlock : {std::size_t{1}, std::size_t{3}, texts.size()}) {
        TextFilter filter = filterOver(texts, perBlock);
        for (const QString& q : sequence) {
            const std::vector<std::uint8_t>& got = filter.matches(q);
            ASSERT_EQ(got.size(), texts.size());
            for (std::size_t i = 0; i < texts.size(); ++i) {
                const bool expected = !texts[i].isNull() && texts[i].toLower().contains(q);
                EXPECT_EQ(got[i] != 0, expected)
                    << q.toStdString() << " on " << texts[i].toStdString() << " in blocks of " << perBlock;
            }
        }
    }
    EXPECT_TRUE(filterOver({}, 3).matches(u"milk").empty());
}

} // namespace
