#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <deque>
#include <vector>

namespace plim {

// Whether `text`, lower-cased, contains `lowered` (a lower-cased, non-empty needle). Texts in
// ASCII are compared as they stand; any other text is lower-cased first, so the answer is always
// that of lowering the whole text.
bool containsLowered(QStringView text, QStringView lowered);

// Answers "which texts contain the filter" over a fixed list of texts, narrowing from the answers
// to recent filters: a filter that extends an earlier one ("mil" after "mi") only looks at what
// the earlier one found, and going back ("mi" after "mil") reuses its answer.
class TextFilter {
public:
    // A new list of texts (the null string for an item that is not searched); forgets all answers.
    void reset(std::vector<QString> texts);
    // One flag per text: whether it contains `lowered`.
    const std::vector<std::uint8_t>& matches(const QString& lowered);

private:
    struct Answer {
        QString query;
        std::vector<std::uint32_t> hits;
    };

    std::vector<QString> texts_;
    std::deque<Answer> recent_; // newest first
    std::vector<std::uint8_t> mask_;
};

} // namespace plim
