#include "notes/NotesDocument.h"
#include "notes/NotesSyntax.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unicode/regex.h>
#include <unicode/uchar.h>

#include <random>

using namespace plim;
using namespace plim::syntax;

namespace {

struct Match {
    int start, end, groupStart, groupEnd;
};

// The first match of an ICU expression and of its group 1: the reader scans by hand what the
// expressions say, and ICU's own engine is the reference.
std::optional<Match> icuFind(const char16_t* pattern, QStringView s) {
    const icu::UnicodeString text(false, s.utf16(), static_cast<int32_t>(s.size()));
    UErrorCode status = U_ZERO_ERROR;
    icu::RegexMatcher m(icu::UnicodeString(pattern), text, 0, status);
    EXPECT_TRUE(U_SUCCESS(status));
    if (!m.find()) {
        return std::nullopt;
    }
    return Match{m.start(status), m.end(status), m.start(1, status), m.end(1, status)};
}

QList<QString> split(const char16_t* text, char16_t separator = u'|') {
    return QString::fromUtf16(text).split(separator);
}

// Up to 18 random pieces of an alphabet.
QString randomLine(std::mt19937& random, const QList<QString>& alphabet) {
    QString s;
    const int length = std::uniform_int_distribution<int>(0, 18)(random);
    for (int i = 0; i < length; ++i) {
        s += alphabet[std::uniform_int_distribution<qsizetype>(0, alphabet.size() - 1)(random)];
    }
    return s;
}

// Whether the comment finder and ICU agree on the line; true when both found a comment. ICU is
// given the line with each escaped opener (after an odd run of backslashes) made plain text.
bool expectSameComment(const QString& line) {
    SCOPED_TRACE(line.toStdString());
    QString masked = line;
    for (qsizetype at = masked.indexOf(u"<!--"); at >= 0; at = masked.indexOf(u"<!--", at + 1)) {
        qsizetype run = 0;
        while (run < at && masked[at - run - 1] == u'\\') {
            ++run;
        }
        if (run % 2 == 1) {
            masked[at] = u'x';
        }
    }
    const auto expected = icuFind(u"[\\s&&[^\\n\\u000B\\f\\r\\u0085\\u2028\\u2029]]*<!--(.*?)-->\\s*$", masked);
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

TEST(TrailingComment, AgreesWithIcu) {
    const QList<QString> chosen =
        split(u"call Ann  <!-- 09:02 -->|see <!-- x -->  <!-- 09:00 -->|a <!-- x --> b|a<!---->|<!-->|"
              u"<!--->|a <!-- x <!-->|a <!-- x -->\r|a <!-- x -->\u0085|a <!-- x -->\v |"
              u"a <!-- x\u2028 y -->|<!-- a\u2028<!-- b -->|a\u2028 <!-- x -->|a\u00a0<!-- x -->\u3000|"
              u"a\u200b<!-- x -->\u200b|<!-- <!-- x --> -->|-->|a \\<!-- x -->  <!-- y -->|"
              u"a \\\\<!-- x -->|\\\\\\<!-- x -->|");
    for (const QString& line : chosen) {
        expectSameComment(line);
    }
    // Markers, every kind of white space and line terminator, characters that look blank but are not
    // white space; half of the lines shaped like a commented entry.
    const QList<QString> alphabet = split(u"<!--|-->|<|!|-|>| |\t|\r|\n|\v|\f|\u0085|\u2028|\u00a0|\u200b|a|\\");
    const QList<QString> spaces = split(u" |\t|\r|\u0085|\u2028|\u00a0");
    std::mt19937 random(20250314);
    int matches = 0;
    for (int i = 0; i < 3000 && !::testing::Test::HasFailure(); ++i) {
        QString line = randomLine(random, alphabet);
        if (i % 2 == 0) {
            line += QStringLiteral("<!--") + randomLine(random, alphabet) + QStringLiteral("-->") +
                    randomLine(random, spaces);
        }
        matches += expectSameComment(line) ? 1 : 0;
    }
    EXPECT_GT(matches, 300); // the lines really hold comments
}

TEST(TimeStamp, AgreesWithIcu) {
    // Arabic-Indic and astral (mathematical bold) digits, and a lone surrogate.
    QList<QString> alphabet = split(u"0|9|:| |\t|\r|x|\u0663|\u00a0");
    alphabet << QString(QChar(0xd835)) << QString::fromUtf16(u"\U0001D7D7");
    const QList<QString> digits = split(u"0|7|\u0663|\U0001D7D7|x");
    QList<QString> inputs = split(u"09:30 x|9:30|09:30x|99:99\t\t|09:30\u00a0c|\U0001D7D7\U0001D7D7:00 a|");
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        QString stamp;
        for (int d = 0; d < 5; ++d) {
            stamp += d == 2 ? QStringLiteral(":") : digits[std::uniform_int_distribution<qsizetype>(0, 4)(random)];
        }
        inputs.append(i % 2 == 0 ? stamp + randomLine(random, alphabet).left(4) : randomLine(random, alphabet).left(9));
    }
    int matches = 0;
    for (const QString& s : inputs) {
        const auto expected = icuFind(u"^(\\d{2}:\\d{2})(\\s+|$)", s);
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

// The identity hashes UTF-8 on the fly: it must agree with FNV-1a over what QString::toUtf8 gives.
TEST(StableId, EncodesUtf8LikeQt) {
    QList<QString> keys = split(u";2025-03-14 Friday|caf\u00e9|0;d|\u20ac\u0800\u07ff\u0080|12;"
                                u"d|\U0001F600\U00010000\U0010FFFF|0",
                                u';');
    keys.append(QStringLiteral("d|lone ") + QChar(0xd800) + QStringLiteral(" high|0"));
    keys.append(QStringLiteral("d|") + QChar(0xdbff)); // high surrogate at the very end
    for (const QString& key : keys) {
        std::uint64_t a = 0xcbf29ce484222325ULL;
        std::uint64_t b = 0x84222325cbf29ce4ULL;
        for (const char ch : key.toUtf8()) {
            a = (a ^ static_cast<std::uint8_t>(ch)) * 0x100000001b3ULL;
            b = (b ^ static_cast<std::uint8_t>(ch)) * 0x100000001b3ULL;
        }
        QByteArray expected;
        for (const std::uint64_t half : {a, b}) {
            for (int shift = 56; shift >= 0; shift -= 8) {
                expected.append(static_cast<char>(half >> shift));
            }
        }
        EXPECT_EQ(NotesDocument::stableID(key).toRfc4122(), expected) << key.toStdString();
    }
}

} // namespace
