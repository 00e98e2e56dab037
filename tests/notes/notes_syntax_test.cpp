#include "notes/NotesDocument.h"
#include "notes/NotesSyntax.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unicode/regex.h>
#include <unicode/uchar.h>

#include <memory>
#include <random>

using namespace plim;
using namespace plim::syntax;

namespace {

// The reader scans by hand what these expressions say; ICU's own engine is the reference.
class IcuPattern {
public:
    explicit IcuPattern(const char16_t* pattern) {
        UErrorCode status = U_ZERO_ERROR;
        pattern_.reset(icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, status));
        EXPECT_TRUE(U_SUCCESS(status));
    }
    // Start and end of the first match and of group 1, when there is a match.
    struct Match {
        int start, end, groupStart, groupEnd;
    };
    std::optional<Match> find(QStringView s) const {
        const icu::UnicodeString text(false, s.utf16(), static_cast<int32_t>(s.size()));
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> m(pattern_->matcher(text, status));
        if (!m->find()) {
            return std::nullopt;
        }
        return Match{m->start(status), m->end(status), m->start(1, status), m->end(1, status)};
    }

private:
    std::unique_ptr<icu::RegexPattern> pattern_;
};

// Random strings over an alphabet that stresses the scanners: markers, every kind of white space
// and line terminator, a character that looks blank but is not white space.
QString randomLine(std::mt19937& random, const QList<QString>& alphabet) {
    QString s;
    const int length = std::uniform_int_distribution<int>(0, 18)(random);
    for (int i = 0; i < length; ++i) {
        s += alphabet[std::uniform_int_distribution<qsizetype>(0, alphabet.size() - 1)(random)];
    }
    return s;
}

const QList<QString> kCommentAlphabet = {
    QStringLiteral("<!--"), QStringLiteral("-->"), QStringLiteral("<"),  QStringLiteral("!"),    QStringLiteral("-"),
    QStringLiteral(">"),    QStringLiteral(" "),   QStringLiteral("\t"), QStringLiteral("\r"),   QStringLiteral("\n"),
    QStringLiteral("\v"),   QStringLiteral("\f"),  QString(QChar(0x85)), QString(QChar(0x2028)), QString(QChar(0xa0)),
    QString(QChar(0x200b)), QStringLiteral("a")};

const IcuPattern& commentPattern() {
    static const IcuPattern icu(u"[\\s&&[^\\n\\u000B\\f\\r\\u0085\\u2028\\u2029]]*<!--(.*?)-->\\s*$");
    return icu;
}

// Whether the comment finder and ICU agree on the line; true when both found a comment.
bool expectSameComment(const QString& line) {
    SCOPED_TRACE(line.toStdString());
    const auto expected = commentPattern().find(line);
    const auto got = findTrailingComment(line);
    EXPECT_EQ(expected.has_value(), got.has_value());
    if (!got || !expected) {
        return false;
    }
    EXPECT_EQ(got->start, expected->start);
    EXPECT_EQ(got->end, expected->end);
    EXPECT_EQ(got->open + 4, expected->groupStart);
    EXPECT_EQ(got->close - 3, expected->groupEnd);
    return true;
}

TEST(TrailingComment, AgreesWithIcuOnChosenLines) {
    // '|' between lines; the last one is empty.
    const QStringList lines =
        QString::fromUtf16(u"call Ann  <!-- 09:02 -->|see <!-- x -->  <!-- 09:00 -->|a <!-- x --> b|a<!---->|<!-->|"
                           u"<!--->|a <!-- x <!-->|a <!-- x -->\r|a <!-- x -->\u0085|a <!-- x -->\v |"
                           u"a <!-- x\u2028 y -->|<!-- a\u2028<!-- b -->|a\u2028 <!-- x -->|a\u00a0<!-- x -->\u3000|"
                           u"a\u200b<!-- x -->\u200b|<!-- <!-- x --> -->|-->|")
            .split(u'|');
    for (const QString& line : lines) {
        expectSameComment(line);
    }
}

TEST(TrailingComment, AgreesWithIcuOnRandomLines) {
    std::mt19937 random(20250314);
    int matches = 0;
    const QList<QString> spaces = {QStringLiteral(" "),  QStringLiteral("\t"),   QStringLiteral("\r"),
                                   QString(QChar(0x85)), QString(QChar(0x2028)), QString(QChar(0xa0))};
    for (int i = 0; i < 3000 && !::testing::Test::HasFailure(); ++i) {
        // Half of the lines are shaped like a commented entry, with random parts.
        QString line = randomLine(random, kCommentAlphabet);
        if (i % 2 == 0) {
            line += QStringLiteral("<!--") + randomLine(random, kCommentAlphabet) + QStringLiteral("-->") +
                    randomLine(random, spaces);
        }
        matches += expectSameComment(line) ? 1 : 0;
    }
    EXPECT_GT(matches, 300); // the lines really hold comments
}

TEST(TimeStamp, AgreesWithIcu) {
    const IcuPattern icu(u"^(\\d{2}:\\d{2})(\\s+|$)");
    const QString mathDigit = QString::fromUcs4(U"\U0001D7D7"); // MATHEMATICAL BOLD DIGIT NINE
    const QList<QString> alphabet = {QStringLiteral("0"),
                                     QStringLiteral("9"),
                                     QStringLiteral(":"),
                                     QStringLiteral(" "),
                                     QStringLiteral("\t"),
                                     QStringLiteral("\r"),
                                     QStringLiteral("x"),
                                     QString(QChar(0x663)),
                                     QString(QChar(0xa0)),
                                     QString(QChar(0xd835)),
                                     mathDigit};
    QList<QString> inputs = {QStringLiteral("09:30 x"),
                             QStringLiteral("9:30"),
                             QStringLiteral("09:30x"),
                             QStringLiteral("99:99\t\t"),
                             QStringLiteral("09:30") + QChar(0xa0) + QStringLiteral("c"),
                             mathDigit + mathDigit + QStringLiteral(":00 a"),
                             QString()};
    std::mt19937 random(7);
    const QList<QString> digits = {QStringLiteral("0"), QStringLiteral("7"), QString(QChar(0x663)), mathDigit,
                                   QStringLiteral("x")};
    for (int i = 0; i < 3000; ++i) {
        QString stamp;
        for (int d = 0; d < 5; ++d) {
            stamp += d == 2 ? QStringLiteral(":") : digits[std::uniform_int_distribution<qsizetype>(0, 4)(random)];
        }
        inputs.append(i % 2 == 0 ? stamp + randomLine(random, alphabet).left(4) : randomLine(random, alphabet).left(9));
    }
    int matches = 0;
    for (const QString& s : inputs) {
        const auto expected = icu.find(s);
        const auto got = matchTimeStamp(s);
        ASSERT_EQ(expected.has_value(), got.has_value()) << s.toStdString();
        if (got) {
            ++matches;
            ASSERT_EQ(got->stamp, expected->groupEnd) << s.toStdString();
            ASSERT_EQ(got->withSpace, expected->end) << s.toStdString();
        }
    }
    EXPECT_GT(matches, 150);
}

TEST(CharacterClasses, WhiteSpaceIsIcusWhiteSpaceProperty) {
    for (char32_t c = 0; c <= 0xffff; ++c) {
        ASSERT_EQ(isRegexSpace(static_cast<char16_t>(c)), static_cast<bool>(u_isUWhiteSpace(static_cast<UChar32>(c))))
            << std::hex << static_cast<unsigned>(c);
    }
}

// FNV-1a over the bytes QString::toUtf8 gives: the on-the-fly encoder must agree with it.
std::pair<std::uint64_t, std::uint64_t> referenceHash(const QString& key) {
    std::uint64_t a = 0xcbf29ce484222325ULL;
    std::uint64_t b = 0x84222325cbf29ce4ULL;
    for (const char ch : key.toUtf8()) {
        const auto byte = static_cast<std::uint8_t>(ch);
        a = (a ^ byte) * 0x100000001b3ULL;
        b = (b ^ byte) * 0x100000001b3ULL;
    }
    return {a, b};
}

TEST(StableId, EncodesUtf8LikeQt) {
    const QList<QString> keys = {
        QString(),
        QStringLiteral("2025-03-14 Friday|caf") + QChar(0xe9) + QStringLiteral("|0"),
        QStringLiteral("d|") + QChar(0x20ac) + QChar(0x800) + QChar(0x7ff) + QChar(0x80) + QStringLiteral("|12"),
        QStringLiteral("d|") + QString::fromUcs4(U"\U0001F600\U00010000\U0010FFFF") + QStringLiteral("|0"),
        QStringLiteral("d|lone ") + QChar(0xd800) + QStringLiteral(" high|0"),
        QStringLiteral("d|") + QChar(0xdbff), // high surrogate at the very end
    };
    for (const QString& key : keys) {
        SCOPED_TRACE(key.toStdString());
        const auto [a, b] = referenceHash(key);
        const QByteArray bytes = NotesDocument::stableID(key).toRfc4122();
        std::uint64_t gotA = 0;
        std::uint64_t gotB = 0;
        for (int i = 0; i < 8; ++i) {
            gotA = (gotA << 8) | static_cast<std::uint8_t>(bytes[i]);
            gotB = (gotB << 8) | static_cast<std::uint8_t>(bytes[8 + i]);
        }
        EXPECT_EQ(gotA, a);
        EXPECT_EQ(gotB, b);
    }
}

} // namespace
