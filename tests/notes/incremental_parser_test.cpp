#include "notes/IncrementalParser.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QSet>

#include <random>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

// The text of each day: from a line that starts with "## " (the first may follow a byte-order
// mark) up to the next such line.
QStringList dayTexts(const QString& text) {
    QList<qsizetype> starts;
    for (qsizetype at = text.startsWith(QChar(0xfeff)) ? 1 : 0; at < text.size(); at = text.indexOf(u'\n', at) + 1) {
        if (QStringView(text).sliced(at).startsWith(u"## ")) {
            starts.append(at);
        }
        if (text.indexOf(u'\n', at) < 0) {
            break;
        }
    }
    QStringList out;
    for (qsizetype i = 0; i < starts.size(); ++i) {
        out.append(text.sliced(starts[i], (i + 1 < starts.size() ? starts[i + 1] : text.size()) - starts[i]));
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
    QStringList earlierTexts;
    for (int round = 0; round < 1500; ++round) {
        QStringList parts = dayTexts(text);
        const QString preamble = text.first(parts.isEmpty() ? text.size() : text.indexOf(parts.front()));
        switch (below(6)) {
        case 0: // a new text
            text = bits[below(bits.size())];
            for (qsizetype n = below(6); n > 0; --n) {
                text += days[below(days.size())];
            }
            break;
        case 1: // a day moved, doubled or dropped
            if (!parts.isEmpty()) {
                const QString day = parts.takeAt(below(parts.size()));
                for (qsizetype n = below(3); n > 0; --n) {
                    parts.insert(below(parts.size() + 1), day);
                }
                text = preamble + parts.join(QString());
            }
            break;
        case 2:
            text += bits[below(bits.size())];
            break;
        default: { // typed or pasted somewhere
            const qsizetype at = below(text.size() + 1);
            text = text.first(at) + bits[below(bits.size())] + text.sliced(std::min(text.size(), at + below(6)));
        }
        }
        SCOPED_TRACE(text.toStdString());
        NotesDocument after = parser.parse(text);
        NotesDocument whole = NotesDocument::parse(text);
        const QStringList texts = dayTexts(text);
        ASSERT_EQ(after.sections.size(), texts.size());
        QSet<QUuid> ids;
        QHash<QString, int> shared;
        for (qsizetype i = 0; i < after.sections.size(); ++i) {
            ids.insert(after.sections[i].id);
            for (const DaySection& earlier : before.sections) {
                if (earlier.id == after.sections[i].id) {
                    ++shared[texts[i]];
                    EXPECT_EQ(earlier.items.constData(), after.sections[i].items.constData()) << i;
                }
            }
            whole.sections[i].id = after.sections[i].id;
        }
        ASSERT_EQ(after, whole);
        EXPECT_EQ(ids.size(), after.sections.size());
        for (const QString& day : texts) {
            EXPECT_EQ(shared.value(day), std::min(texts.count(day), earlierTexts.count(day))) << day.toStdString();
        }
        before = after;
        earlierTexts = texts;
    }
}

} // namespace
