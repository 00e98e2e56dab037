#include "ui/manage/Links.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

const auto byName = [](const auto& p) { return p.param.name; };

// A link as the view marks it: the characters it covers and where it leads.
struct Found {
    QString covers;
    QString url;
    friend bool operator==(const Found&, const Found&) = default;
};

Found same(const QString& link) {
    return {link, link};
}

void PrintTo(const Found& f, std::ostream* os) {
    *os << '[' << f.covers.toStdString() << " -> " << f.url.toStdString() << ']';
}

struct LinkCase {
    std::string name;
    QString text;
    std::vector<Found> found;
};

class Detect : public ::testing::TestWithParam<LinkCase> {};

TEST_P(Detect, FindsTheLinksAndOnlyThem) {
    const LinkCase& c = GetParam();
    std::vector<Found> found;
    qsizetype previousEnd = 0;
    for (const LinkMatch& link : Links::matches(c.text)) {
        // In order, not overlapping, inside the text.
        EXPECT_GE(link.start, previousEnd);
        EXPECT_LE(link.start + link.length, c.text.size());
        previousEnd = link.start + link.length;
        found.push_back({c.text.mid(link.start, link.length), link.url.toString()});
    }
    EXPECT_EQ(found, c.found);
    const QList<QUrl> urls = Links::urls(c.text);
    ASSERT_EQ(std::size_t(urls.size()), c.found.size());
    for (std::size_t i = 0; i < c.found.size(); ++i) {
        EXPECT_EQ(urls[qsizetype(i)].toString(), c.found[i].url);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, Detect,
    ::testing::Values(
        // Schemes
        LinkCase{"Https", u"see https://example.com/a today"_s, {same(u"https://example.com/a"_s)}},
        LinkCase{"HttpUpperCase", u"HTTP://Example.COM"_s, {{u"HTTP://Example.COM"_s, u"http://example.com"_s}}},
        LinkCase{"SchemeWithoutHost", u"http:// is a prefix"_s, {}},
        LinkCase{"SchemeInsideWord", u"xhttps://example.com"_s, {}},
        LinkCase{"LocalhostWithPort", u"http://localhost:8080/api?x=1"_s, {same(u"http://localhost:8080/api?x=1"_s)}},
        LinkCase{"UserInfo", u"ftp://anna:pw@files.example.org/"_s, {same(u"ftp://anna:pw@files.example.org/"_s)}},
        LinkCase{"Ipv6Host", u"http://[::1]:3000/"_s, {same(u"http://[::1]:3000/"_s)}},
        LinkCase{"Mailto",
                 u"write mailto:anna@example.com?subject=Hi now"_s,
                 {same(u"mailto:anna@example.com?subject=Hi"_s)}},
        LinkCase{"MailtoWithoutAddress", u"mailto: nobody"_s, {}},
        // www. and bare domains
        LinkCase{"Www", u"www.example.org"_s, {{u"www.example.org"_s, u"http://www.example.org"_s}}},
        LinkCase{"WwwAlone", u"www.example"_s, {}},
        LinkCase{"BareDomain", u"example.com"_s, {{u"example.com"_s, u"http://example.com"_s}}},
        LinkCase{"BareDomainWithPathQueryPort",
                 u"shop.example.co.uk:8443/cart?id=7 ok"_s,
                 {{u"shop.example.co.uk:8443/cart?id=7"_s, u"http://shop.example.co.uk:8443/cart?id=7"_s}}},
        LinkCase{"MissingSpaceAfterFullStop", u"Done.It was fine"_s, {}},
        LinkCase{"UnknownEnding", u"notes.txt and v1.2.3 and 3.14"_s, {}},
        LinkCase{"FileEndingsThatAreDomains", u"plim.md setup.py build.sh cfg.zip"_s, {}},
        LinkCase{"InsidePath", u"/home/anna/example.com"_s, {}},
        LinkCase{"InternationalisedDomain", u"bücher.de"_s, {{u"bücher.de"_s, u"http://bücher.de"_s}}},
        LinkCase{"HyphenAtLabelEnd", u"foo-.com"_s, {}},
        // Trailing punctuation belongs to the sentence
        LinkCase{"FullStop", u"Read example.com."_s, {{u"example.com"_s, u"http://example.com"_s}}},
        LinkCase{"Punctuation",
                 u"https://a.com/x, https://b.com/y; https://c.com/z! https://d.com/w? https://e.com/v:"_s,
                 {same(u"https://a.com/x"_s), same(u"https://b.com/y"_s), same(u"https://c.com/z"_s),
                  same(u"https://d.com/w"_s), same(u"https://e.com/v"_s)}},
        LinkCase{"InParentheses", u"(see https://example.com/docs)"_s, {same(u"https://example.com/docs"_s)}},
        LinkCase{"BalancedParentheses",
                 u"(https://en.example.org/wiki/Mercury_(planet))"_s,
                 {same(u"https://en.example.org/wiki/Mercury_(planet)"_s)}},
        LinkCase{"AngleBrackets", u"<https://example.com/a>"_s, {same(u"https://example.com/a"_s)}},
        LinkCase{"TypographicQuotes", u"„https://example.com/q“"_s, {same(u"https://example.com/q"_s)}},
        LinkCase{"SlashStays", u"https://example.com/dir/"_s, {same(u"https://example.com/dir/"_s)}},
        // E-mail addresses are not links
        LinkCase{"Address", u"mail anna@example.com today"_s, {}},
        LinkCase{"AddressWhoseNameLooksLikeADomain", u"team.io@example.com"_s, {}},
        LinkCase{
            "AddressBesideLink", u"anna@example.com, see example.org"_s, {{u"example.org"_s, u"http://example.org"_s}}},
        // Text in other scripts around links
        LinkCase{"GermanAround", u"Siehe „example.de“ für Details"_s, {{u"example.de"_s, u"http://example.de"_s}}},
        LinkCase{"JapaneseAfterPath", u"https://example.jp/a。次へ"_s, {same(u"https://example.jp/a"_s)}},
        LinkCase{
            "NonAsciiPath", u"https://de.example.org/wiki/Köln ok"_s, {same(u"https://de.example.org/wiki/Köln"_s)}},
        LinkCase{"EmojiBefore", u"🔗https://example.com 🎉"_s, {same(u"https://example.com"_s)}},
        LinkCase{"Nothing", u"buy milk"_s, {}}, LinkCase{"Empty", QString(), {}}),
    byName);

struct SoleCase {
    std::string name;
    QString text;
    QString url; // empty: no sole link
};

class Sole : public ::testing::TestWithParam<SoleCase> {};

TEST_P(Sole, IsTheLinkOnlyWhenTheTextIsNothingElse) {
    const auto url = Links::soleURL(GetParam().text);
    EXPECT_EQ(url ? url->toString() : QString(), GetParam().url);
}

INSTANTIATE_TEST_SUITE_P(
    Links, Sole,
    ::testing::Values(SoleCase{"OnlyALink", u"https://example.com/x"_s, u"https://example.com/x"_s},
                      SoleCase{"SpacesAround", u"  example.com \t"_s, u"http://example.com"_s},
                      SoleCase{"TrailingNewline", u"https://example.com\n"_s, u"https://example.com"_s},
                      SoleCase{"AfterAWord", u"read https://example.com"_s, QString()},
                      SoleCase{"TwoLinesFirstALink", u"https://example.com\nmore"_s, QString()},
                      SoleCase{"TrailingFullStop", u"example.com."_s, QString()},
                      SoleCase{"Address", u"anna@example.com"_s, QString()}, SoleCase{"Blank", u"   "_s, QString()}),
    byName);

// Texts made of the pieces that steer the detector, in every order: the links found stay inside
// the text, in order, start on a whole character and never end in sentence punctuation.
TEST(Links, HoldUpOnAnyText) {
    const QStringList pieces = {u"https://"_s, u"ftp://"_s, u"mailto:"_s, u"www."_s,
                                u"example"_s,  u"com"_s,    u"io"_s,      u"md"_s,
                                u"."_s,        u"/"_s,      u"("_s,       u")"_s,
                                u"["_s,        u"]"_s,      u"@"_s,       u","_s,
                                u" "_s,        u"\n"_s,     u"'"_s,       u"\""_s,
                                u"?q=1"_s,     u"#"_s,      u":80"_s,     u"-"_s,
                                u"_"_s,        u"ü"_s,      u"\u3002"_s,  QString::fromUcs4(U"\U0001F600")};
    quint32 seed = 12345;
    const auto next = [&seed](quint32 bound) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % bound;
    };
    qsizetype found = 0;
    for (int round = 0; round < 1000; ++round) {
        QString text;
        const quint32 length = next(16);
        for (quint32 i = 0; i < length; ++i) {
            text += pieces[qsizetype(next(quint32(pieces.size())))];
        }
        qsizetype previousEnd = 0;
        for (const LinkMatch& link : Links::matches(text)) {
            ASSERT_GE(link.start, previousEnd) << text.toStdString();
            ASSERT_GT(link.length, 0) << text.toStdString();
            ASSERT_LE(link.start + link.length, text.size()) << text.toStdString();
            EXPECT_FALSE(text[link.start].isLowSurrogate()) << text.toStdString();
            EXPECT_FALSE(QStringView(u".,:;!?'").contains(text[link.start + link.length - 1])) << text.toStdString();
            EXPECT_TRUE(link.url.isValid()) << text.toStdString();
            previousEnd = link.start + link.length;
        }
        found += previousEnd > 0 ? 1 : 0;
        Links::soleURL(text);
    }
    EXPECT_GT(found, 100); // the pieces do make links
}

} // namespace
