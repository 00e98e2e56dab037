#include "notes/IncrementalParser.h"

#include "base/KeyedHash.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QSet>

#include <random>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

// The text before the first day, then the text of each day: from a line that starts with "## "
// (the first may follow a byte-order mark) up to the next one.
QStringList pieces(const QString& text) {
    const qsizetype mark = text.startsWith(QChar(0xfeff)) ? 1 : 0;
    QList<qsizetype> starts{0};
    if (QStringView(text).sliced(mark).startsWith(u"## ")) {
        starts.append(mark);
    }
    for (qsizetype at = text.indexOf(u"\n## "); at >= 0; at = text.indexOf(u"\n## ", at + 1)) {
        starts.append(at + 1);
    }
    starts.append(text.size());
    QStringList out;
    for (qsizetype i = 0; i + 1 < starts.size(); ++i) {
        out.append(text.sliced(starts[i], starts[i + 1] - starts[i]));
    }
    return out;
}

// Over random edits (typed, pasted, days moved, doubled, dropped) each read gives what a whole parse
// gives, and takes over the earlier days of the same text, each once: as many as the earlier text
// and the new one both hold. Every day keeps an identity of its own.
TEST(IncrementalParser, ReadsLikeAWholeParseAndSharesUnchangedDays) {
    const QStringList days{u"## 2025-03-14 Friday\n\n- [ ] a  <!-- 09:00 -->\n\n"_s,
                           u"## 2025-03-13 Thursday\n\n- [x] ~~b~~\nraw line\n\n"_s,
                           u"## 2025-03-12 Wednesday\n\n- [ ] c \u00e9\U0001F600\n  more\n"_s, u"## d\r\n- e\r\n"_s,
                           u"## x\n"_s};
    const QStringList bits{u"## "_s, u"## y\n"_s, u"- [ ] d\n"_s, u"\n"_s,        u"\r\n"_s,
                           u"#"_s,   u"\u4e2d"_s, u"\ufeff"_s,    u"Notes\n\n"_s, QString()};
    std::mt19937 random(14);
    const auto below = [&](qsizetype n) { return std::uniform_int_distribution<qsizetype>(0, n - 1)(random); };
    IncrementalParser parser;
    NotesDocument before;
    QString text;
    QStringList earlier{QString()};
    for (int round = 0; round < 1500; ++round) {
        const qsizetype kind = below(5);
        if (kind == 0) {
            text = bits[below(bits.size())];
            for (qsizetype n = below(6); n > 0; --n) {
                text += days[below(days.size())];
            }
        } else if (kind == 1 && earlier.size() > 1) {
            QStringList parts = earlier;
            const QString day = parts.takeAt(1 + below(parts.size() - 1));
            for (qsizetype n = below(3); n > 0; --n) {
                parts.insert(1 + below(parts.size()), day);
            }
            text = parts.join(QString());
        } else {
            const qsizetype at = kind == 2 ? text.size() : below(text.size() + 1);
            text = text.first(at) + bits[below(bits.size())] + text.sliced(std::min(text.size(), at + below(6)));
        }
        SCOPED_TRACE(text.toStdString());
        // Every other round the text comes as its days' UTF-8, as an undo step keeps it; every fourth
        // also cut anywhere in a day (then it may have to be read as a whole).
        std::optional<NotesDocument> cut;
        if (round % 2 == 1 && QStringView(text).isValidUtf16()) {
            const bool anywhere = round % 4 == 3;
            std::vector<QByteArray> utf8;
            for (const QString& piece : pieces(text)) {
                const QByteArray bytes = piece.toUtf8();
                const qsizetype at = anywhere && !bytes.isEmpty() ? below(bytes.size()) : 0;
                if (at > 0) {
                    utf8.push_back(bytes.first(at));
                }
                utf8.push_back(bytes.sliced(at));
            }
            std::vector<IncrementalParser::Piece> given;
            for (const QByteArray& bytes : utf8) {
                given.push_back({bytes, keyedHash(bytes)});
            }
            cut = parser.parse(given);
            ASSERT_TRUE(cut || anywhere);
        }
        NotesDocument after = cut ? *cut : parser.parse(text);
        NotesDocument whole = NotesDocument::parse(text);
        const QStringList texts = pieces(text).mid(1);
        ASSERT_EQ(after.sections.size(), texts.size());
        QSet<QUuid> ids;
        QHash<QString, int> shared;
        for (qsizetype i = 0; i < after.sections.size(); ++i) {
            ids.insert(after.sections[i].id);
            for (const DaySection& old : before.sections) {
                if (old.id == after.sections[i].id) {
                    ++shared[texts[i]];
                    EXPECT_EQ(old.items.constData(), after.sections[i].items.constData()) << i;
                }
            }
            whole.sections[i].id = after.sections[i].id;
        }
        ASSERT_EQ(after, whole);
        EXPECT_EQ(ids.size(), after.sections.size());
        for (const QString& day : texts) {
            EXPECT_EQ(shared.value(day), std::min(texts.count(day), earlier.count(day))) << day.toStdString();
        }
        before = after;
        earlier = pieces(text);
    }
}

} // namespace
