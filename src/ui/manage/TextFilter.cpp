#include "ui/manage/TextFilter.h"

#include <algorithm>

namespace plim {

namespace {

constexpr std::size_t kRecent = 8;

// Where `lowered` lies wholly inside one text of the block: calls `found` with each such text once.
template <typename Found>
void search(const TextFilter::Block& block, QStringView lowered, Found found) {
    // Find the first character (a vectorised search), then compare the rest; a hit that runs on
    // into the next text does not count.
    const QStringView all(block.folded);
    const QChar first = lowered.front();
    const QStringView rest = lowered.sliced(1);
    qsizetype from = 0;
    while (true) {
        const qsizetype at = all.indexOf(first, from);
        if (at < 0 || at + lowered.size() > all.size()) {
            return;
        }
        if (all.sliced(at + 1, rest.size()) != rest) {
            from = at + 1;
            continue;
        }
        const auto next = std::upper_bound(block.starts.begin(), block.starts.end(), at);
        if (at + lowered.size() <= *next) {
            const auto i = static_cast<std::size_t>(next - block.starts.begin() - 1);
            if (block.texts[i]) {
                found(i);
            }
            from = *next;
        } else {
            from = at + 1;
        }
    }
}

} // namespace

TextFilter::Block TextFilter::Block::make(const std::vector<QStringView>& texts) {
    Block b;
    qsizetype total = 0;
    for (const QStringView t : texts) {
        total += t.size();
    }
    b.folded.reserve(total);
    b.starts.reserve(texts.size() + 1);
    b.texts.assign(texts.size(), 0);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const QStringView t = texts[i];
        b.starts.push_back(b.folded.size());
        if (t.isNull()) {
            continue;
        }
        b.texts[i] = 1;
        const bool ascii = std::all_of(t.begin(), t.end(), [](QChar c) { return c.unicode() < 0x80; });
        if (!ascii) {
            // Lowering may change the length ("İ"), so such a text is lowered as a whole.
            b.folded += t.toString().toLower();
            continue;
        }
        const qsizetype at = b.folded.size();
        b.folded.append(t);
        char16_t* out = reinterpret_cast<char16_t*>(b.folded.data()) + at;
        for (qsizetype k = 0; k < t.size(); ++k) {
            if (out[k] >= u'A' && out[k] <= u'Z') {
                out[k] = static_cast<char16_t>(out[k] + (u'a' - u'A'));
            }
        }
    }
    b.starts.push_back(b.folded.size());
    return b;
}

void TextFilter::reset(std::vector<std::shared_ptr<const Block>> blocks) {
    blocks_ = std::move(blocks);
    firsts_.clear();
    firsts_.reserve(blocks_.size() + 1);
    std::uint32_t first = 0;
    for (const auto& block : blocks_) {
        firsts_.push_back(first);
        first += static_cast<std::uint32_t>(block->size());
    }
    firsts_.push_back(first);
    recent_.clear();
}

std::pair<const TextFilter::Block*, std::size_t> TextFilter::locate(std::uint32_t i) const {
    const auto next = std::upper_bound(firsts_.begin(), firsts_.end(), i);
    const auto b = static_cast<std::size_t>(next - firsts_.begin() - 1);
    return {blocks_[b].get(), i - firsts_[b]};
}

void TextFilter::scan(QStringView lowered, std::vector<std::uint32_t>& hits) const {
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        const std::uint32_t first = firsts_[b];
        search(*blocks_[b], lowered, [&](std::size_t i) { hits.push_back(first + static_cast<std::uint32_t>(i)); });
    }
}

const std::vector<std::uint8_t>& TextFilter::matches(QStringView lowered) {
    mask_.assign(firsts_.empty() ? 0 : firsts_.back(), 0);
    if (lowered.isEmpty() || mask_.empty()) {
        return mask_;
    }
    // The narrowest recent answer that this filter extends.
    const Answer* base = nullptr;
    for (const Answer& a : recent_) {
        if (lowered.contains(a.query) && (!base || a.query.size() > base->query.size())) {
            base = &a;
        }
    }
    Answer answer{lowered.toString(), {}};
    if (base && base->query.size() == lowered.size()) {
        answer.hits = base->hits;
    } else if (base) {
        for (const std::uint32_t i : base->hits) {
            const auto [block, at] = locate(i);
            const QStringView text =
                QStringView(block->folded).sliced(block->starts[at], block->starts[at + 1] - block->starts[at]);
            if (text.contains(lowered)) {
                answer.hits.push_back(i);
            }
        }
    } else {
        scan(lowered, answer.hits);
    }
    for (const std::uint32_t i : answer.hits) {
        mask_[i] = 1;
    }
    std::erase_if(recent_, [&](const Answer& a) { return a.query == answer.query; });
    recent_.push_back(std::move(answer));
    if (recent_.size() > kRecent) {
        recent_.erase(recent_.begin());
    }
    return mask_;
}

} // namespace plim
