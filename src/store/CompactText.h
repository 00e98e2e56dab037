#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace plim {

// A whole file text kept for undo in little memory: UTF-8, cut into chunks at day headings,
// with chunks that equal a neighbouring text's chunks shared rather than copied. Fifty undo
// steps of a large file then cost about one copy of the file plus the days that changed.
class CompactText {
public:
    // One piece of the text's UTF-8 (a day), shared between the texts that hold it.
    struct Chunk {
        size_t hash = 0; // keyedHash of the bytes
        QByteArray bytes;
    };
    using ChunkPtr = std::shared_ptr<const Chunk>;
    static ChunkPtr chunk(QByteArray bytes);

    CompactText() = default;
    // The text of these chunks in order, made without looking at the bytes. A chunk equal to one of
    // `neighbour`'s whose hash `fresh` marks is taken from the neighbour instead (and handed back
    // in its place), so that a day written anew shares what an earlier step holds.
    static CompactText fromChunks(std::vector<ChunkPtr> chunks, const std::vector<bool>& fresh = {},
                                  const CompactText* neighbour = nullptr);
    // `neighbour` is a text likely to share most chunks (the previous undo step).
    static CompactText make(QStringView text, const CompactText* neighbour = nullptr);
    // The same from the text's UTF-8.
    static CompactText make(QByteArrayView utf8, const CompactText* neighbour = nullptr);

    QString toString() const;
    QByteArray utf8() const; // what toString decodes
    // The text of `utf8()` already made: it is not put together again.
    static QString toString(const QByteArray& utf8);
    bool isNull() const { return chunks_.empty() && !nonNull_; }
    qsizetype size() const; // bytes of UTF-8

    // Bytes held by these texts together, each shared chunk counted once.
    static qsizetype memoryUsed(const std::vector<const CompactText*>& texts);

    const std::vector<ChunkPtr>& chunks() const { return chunks_; }

private:
    std::vector<ChunkPtr> chunks_;
    bool nonNull_ = false;
};

} // namespace plim
