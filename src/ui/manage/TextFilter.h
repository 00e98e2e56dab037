#pragma once

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace plim {

// Answers "which texts, lower-cased, contain the filter" over a fixed list of texts. The texts are
// lower-cased once, in blocks of texts that lie one after another in memory (one block per day of
// notes, so a block can outlive a change elsewhere in the file). A filter that extends a recent one
// ("mil" after "mi") only looks at the texts that one found, and a filter seen recently is
// answered from memory.
class TextFilter {
public:
    struct Block {
        QString folded;                  // the texts lower-cased, one after another
        std::vector<qsizetype> starts;   // text i is folded[starts[i], starts[i + 1])
        std::vector<std::uint8_t> texts; // 0 for an item that is never found
        // Which characters each text holds, one bit per letter and digit (the rest share bits): a
        // text lacking one of the filter's cannot hold it, and for one letter the bit is the answer.
        std::vector<std::uint64_t> signs;
        // A null view stands for an item that is never found.
        static Block make(const std::vector<QStringView>& texts);
        std::size_t size() const { return texts.size(); }
    };

    // A new list of texts, block after block; forgets every answer.
    void reset(std::vector<std::shared_ptr<const Block>> blocks);
    // One flag per text, in block order: whether it contains `lowered` (lower-cased already).
    const std::vector<std::uint8_t>& matches(QStringView lowered);

private:
    struct Answer {
        QString query;
        std::vector<std::uint32_t> hits;
    };
    void scan(QStringView lowered, std::vector<std::uint32_t>& hits) const;
    static std::uint64_t signOf(QStringView text);

    std::vector<std::shared_ptr<const Block>> blocks_;
    std::vector<std::uint32_t> firsts_; // index of each block's first text, then the total
    std::vector<std::uint8_t> mask_;
    std::vector<Answer> recent_; // newest last
};

} // namespace plim
