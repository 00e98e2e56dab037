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
    CompactText() = default;
    // `neighbour` is a text likely to share most chunks (the previous undo step).
    static CompactText make(QStringView text, const CompactText* neighbour = nullptr);
    // The same from the text's UTF-8.
    static CompactText make(QByteArrayView utf8, const CompactText* neighbour = nullptr);

    QString toString() const;
    bool isNull() const { return chunks_.empty() && !nonNull_; }
    qsizetype size() const; // bytes of UTF-8

    // Bytes held by these texts together, each shared chunk counted once.
    static qsizetype memoryUsed(const std::vector<const CompactText*>& texts);

private:
    struct Chunk {
        size_t hash = 0;
        QByteArray bytes;
    };
    std::vector<std::shared_ptr<const Chunk>> chunks_;
    bool nonNull_ = false;
};

} // namespace plim
