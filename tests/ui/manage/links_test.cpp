#include "ui/manage/Links.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

// The one link the text is, apart from blanks around it.
std::optional<QUrl> soleLink(const QString& text) {
    const QList<LinkMatch> found = Links::matches(text);
    const bool sole = found.size() == 1 && text.mid(found[0].start, found[0].length) == text.trimmed();
    return sole ? std::optional(found[0].url) : std::nullopt;
}

// The links found, " | " between: the characters each covers, then " -> " and where it leads
// when that reads otherwise.
TEST(Links, FindsTheLinksAndOnlyThem) {
    const std::pair<QString, QString> cases[] = {
        // Schemes
        {u"see https://example.com/a today"_s, u"https://example.com/a"_s},
        {u"HTTP://Example.COM"_s, u"HTTP://Example.COM -> http://example.com"_s},
        {u"http:// is a prefix"_s, {}},
        {u"xhttps://example.com"_s, {}},
        {u"http://localhost:8080/api?x=1"_s, u"http://localhost:8080/api?x=1"_s},
        {u"ftp://anna:pw@files.example.org/"_s, u"ftp://anna:pw@files.example.org/"_s},
        {u"http://[::1]:3000/"_s, u"http://[::1]:3000/"_s},
        {u"write mailto:anna@example.com?subject=Hi now"_s, u"mailto:anna@example.com?subject=Hi"_s},
        {u"mailto: nobody"_s, {}},
        // www. and bare domains
        {u"www.example.org"_s, u"www.example.org -> http://www.example.org"_s},
        {u"www.example"_s, {}},
        {u"example.com"_s, u"example.com -> http://example.com"_s},
        {u"  example.com \t"_s, u"example.com -> http://example.com"_s},
        {u"https://example.com\nmore"_s, u"https://example.com"_s},
        {u"shop.example.co.uk:8443/cart?id=7 ok"_s,
         u"shop.example.co.uk:8443/cart?id=7 -> http://shop.example.co.uk:8443/cart?id=7"_s},
        {u"Done.It was fine"_s, {}},
        {u"done.it go.to this.is log.in be.at about.me user.id the.news"_s, {}},
        {u"https://done.it www.go.to"_s, u"https://done.it | www.go.to -> http://www.go.to"_s},
        {u"example.net github.io news.bbc.co.uk"_s,
         u"example.net -> http://example.net | github.io -> http://github.io | news.bbc.co.uk -> http://news.bbc.co.uk"_s},
        {u"notes.txt and v1.2.3 and 3.14"_s, {}},
        {u"plim.md setup.py build.sh cfg.zip"_s, {}},
        {u"/home/anna/example.com"_s, {}},
        {u"bücher.de"_s, u"bücher.de -> http://bücher.de"_s},
        {u"foo-.com"_s, {}},
        // Trailing punctuation belongs to the sentence
        {u"Read example.com."_s, u"example.com -> http://example.com"_s},
        {u"https://a.com/x, https://b.com/y; https://c.com/z! https://d.com/w? https://e.com/v:"_s,
         u"https://a.com/x | https://b.com/y | https://c.com/z | https://d.com/w | https://e.com/v"_s},
        {u"(see https://example.com/docs)"_s, u"https://example.com/docs"_s},
        {u"(https://en.example.org/wiki/Mercury_(planet))"_s, u"https://en.example.org/wiki/Mercury_(planet)"_s},
        {u"<https://example.com/a>"_s, u"https://example.com/a"_s},
        {u"„https://example.com/q“"_s, u"https://example.com/q"_s},
        {u"https://example.com/dir/"_s, u"https://example.com/dir/"_s},
        // E-mail addresses are not links
        {u"mail anna@example.com today"_s, {}},
        {u"team.io@example.com"_s, {}},
        {u"anna@example.com, see example.org"_s, u"example.org -> http://example.org"_s},
        // Text in other scripts around links
        {u"Siehe „example.de“ für Details"_s, u"example.de -> http://example.de"_s},
        {u"https://example.jp/a。次へ"_s, u"https://example.jp/a"_s},
        {u"https://de.example.org/wiki/Köln ok"_s, u"https://de.example.org/wiki/Köln"_s},
        {u"🔗https://example.com 🎉"_s, u"https://example.com"_s},
        {QString(), {}},
    };
    for (const auto& [text, expected] : cases) {
        QStringList found;
        QList<QUrl> urls;
        for (const LinkMatch& link : Links::matches(text)) {
            const QString covers = text.mid(link.start, link.length);
            const QString url = link.url.toString();
            found << (url == covers ? covers : covers + u" -> "_s + url);
            urls << link.url;
        }
        EXPECT_EQ(found.join(u" | "_s), expected) << text.toStdString();
        EXPECT_EQ(Links::soleURL(text), soleLink(text)) << text.toStdString();
        EXPECT_EQ(Links::urls(text), urls) << text.toStdString();
    }
}

// Texts made of the pieces that steer the detector, in every order: the links found stay inside
// the text, in order, start on a whole character and never end in sentence punctuation.
TEST(Links, HoldUpOnAnyText) {
    const QStringList pieces =
        u"https://|ftp://|mailto:|www.|example|com|io|md|.|/|(|)|[|]|@|,| |\n|'|\"|?q=1|#|:80|-|_|ü|\u3002|"_s.split(
            u'|') +
        QStringList{QString::fromUcs4(U"\U0001F600")};
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
        EXPECT_EQ(Links::soleURL(text), soleLink(text)) << text.toStdString();
    }
    EXPECT_GT(found, 100); // the pieces do make links
}

} // namespace
