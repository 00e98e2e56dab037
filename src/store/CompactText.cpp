#include "store/CompactText.h"

#include "base/KeyedHash.h"
#include "store/TextFile.h"

#include <QHash>
#include <QSet>

#include <cstring>
#include <optional>
#include <utility>

namespace plim {

namespace {
// A day section is the natural unit of change; very long runs without headings are cut at lines.
constexpr qsizetype kMaxChunk = 64 * 1024;
} // namespace

CompactText::ChunkPtr CompactText::chunk(QByteArray bytes) {
    auto c = std::make_shared<Chunk>();
    c->hash = keyedHash(bytes);
    c->bytes = std::move(bytes);
    c->bytes.squeeze(); // an encoder's buffer is larger than what it holds; fifty steps keep it
    return c;
}

CompactText CompactText::fromChunks(std::vector<ChunkPtr> chunks, const std::vector<bool>& fresh,
                                    const CompactText* neighbour) {
    CompactText out;
    out.nonNull_ = true;
    if (neighbour && !fresh.empty()) {
        QMultiHash<size_t, const ChunkPtr*> known;
        for (size_t i = 0; i < chunks.size() && i < fresh.size(); ++i) {
            if (!fresh[i]) {
                continue;
            }
            if (known.isEmpty()) {
                known.reserve(static_cast<qsizetype>(neighbour->chunks_.size()));
                for (const auto& c : neighbour->chunks_) {
                    known.insert(c->hash, &c);
                }
            }
            for (auto it = known.constFind(chunks[i]->hash); it != known.cend() && it.key() == chunks[i]->hash; ++it) {
                if ((**it)->bytes == chunks[i]->bytes) {
                    chunks[i] = **it;
                    break;
                }
            }
        }
    }
    out.chunks_ = std::move(chunks);
    return out;
}

CompactText CompactText::make(QStringView text, const CompactText* neighbour) {
    return make(QByteArrayView(text.toUtf8()), neighbour);
}

CompactText CompactText::make(QByteArrayView utf8, const CompactText* neighbour) {
    CompactText out;
    out.nonNull_ = true;

    QMultiHash<size_t, const std::shared_ptr<const Chunk>*> known;
    if (neighbour) {
        known.reserve(static_cast<qsizetype>(neighbour->chunks_.size()));
        for (const auto& c : neighbour->chunks_) {
            known.insert(c->hash, &c);
        }
    }

    const char* data = utf8.constData();
    const qsizetype n = utf8.size();
    qsizetype start = 0;
    auto cut = [&](qsizetype end) {
        const QByteArrayView piece(data + start, end - start);
        const size_t h = keyedHash(piece);
        for (auto it = known.constFind(h); it != known.cend() && it.key() == h; ++it) {
            if ((**it)->bytes == piece) {
                out.chunks_.push_back(**it);
                start = end;
                return;
            }
        }
        auto chunk = std::make_shared<Chunk>();
        chunk->hash = h;
        chunk->bytes = piece.toByteArray();
        out.chunks_.push_back(std::move(chunk));
        start = end;
    };

    qsizetype lineStart = 0;
    while (lineStart < n) {
        const char* nl = static_cast<const char*>(memchr(data + lineStart, '\n', static_cast<size_t>(n - lineStart)));
        const qsizetype lineEnd = nl ? (nl - data) + 1 : n;
        const bool heading = lineStart > start && n - lineStart >= 3 && data[lineStart] == '#' &&
                             data[lineStart + 1] == '#' && data[lineStart + 2] == ' ';
        if (heading || (lineStart > start && lineEnd - start > kMaxChunk)) {
            cut(lineStart);
        }
        lineStart = lineEnd;
    }
    if (start < n) {
        cut(n);
    }
    return out;
}

qsizetype CompactText::size() const {
    qsizetype total = 0;
    for (const auto& c : chunks_) {
        total += c->bytes.size();
    }
    return total;
}

QByteArray CompactText::utf8() const {
    // Copied straight into their place: thousands of appends would each check for room.
    QByteArray all(size(), Qt::Uninitialized);
    char* at = all.data();
    for (const auto& c : chunks_) {
        std::memcpy(at, c->bytes.constData(), static_cast<std::size_t>(c->bytes.size()));
        at += c->bytes.size();
    }
    return all;
}

QString CompactText::toString() const {
    return toString(utf8());
}

QString CompactText::toString(const QByteArray& utf8) {
    // A byte-order mark at the start is part of the text (fromUtf8 would drop it). Decoded once:
    // value_or would make the fallback every time.
    if (std::optional<QString> text = decodeText(utf8)) {
        return std::move(*text);
    }
    return QString::fromUtf8(utf8);
}

qsizetype CompactText::memoryUsed(const std::vector<const CompactText*>& texts) {
    QSet<const Chunk*> seen;
    qsizetype total = 0;
    for (const CompactText* t : texts) {
        total += static_cast<qsizetype>(sizeof(CompactText) + t->chunks_.capacity() * sizeof(std::shared_ptr<Chunk>));
        for (const auto& c : t->chunks_) {
            if (!seen.contains(c.get())) {
                seen.insert(c.get());
                total += static_cast<qsizetype>(sizeof(Chunk)) + c->bytes.capacity() + 32;
            }
        }
    }
    return total;
}

} // namespace plim
