#include "ui/manage/TextFilter.h"

#include <algorithm>
#include <array>

namespace plim {

namespace {

constexpr std::size_t kRecent = 8;

// Letters and digits have a bit each; every other character shares one of the rest.
constexpr std::uint64_t bitOf(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return std::uint64_t{1} << (c - u'a');
    }
    if (c >= u'0' && c <= u'9') {
        return std::uint64_t{1} << (26 + c - u'0');
    }
    return std::uint64_t{1} << (36 + c % 28);
}

// For each ASCII character: itself lower-cased, and that one's bit.
struct Folding {
    char16_t lower;
    std::uint64_t bit;
};
constexpr std::array<Folding, 128> kAscii = [] {
    std::array<Folding, 128> table{};
    for (char16_t c = 0; c < 128; ++c) {
        const char16_t lower = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
        table[c] = {lower, bitOf(lower)};
    }
    return table;
}();

bool hasOwnBit(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

// Whether `text` holds `needle`: a vectorised search for its first character, then the rest compared.
bool holds(QStringView text, QStringView needle) {
    const QChar first = needle.front();
    const QStringView rest = needle.sliced(1);
    const qsizetype last = text.size() - needle.size();
    for (qsizetype from = 0; from <= last;) {
        const qsizetype at = text.indexOf(first, from);
        if (at < 0 || at > last) {
            return false;
        }
        if (text.sliced(at + 1, rest.size()) == rest) {
            return true;
        }
        from = at + 1;
    }
    return false;
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
    b.signs.reserve(texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const QStringView t = texts[i];
        b.starts.push_back(b.folded.size());
        if (t.isNull()) {
            b.signs.push_back(0);
            continue;
        }
        b.texts[i] = 1;
        const qsizetype at = b.folded.size();
        // Most texts are ASCII: lowered, copied and signed in one pass.
        b.folded.resize(at + t.size());
        char16_t* out = reinterpret_cast<char16_t*>(b.folded.data()) + at;
        const char16_t* in = t.utf16();
        std::uint64_t sign = 0;
        qsizetype k = 0;
        for (; k < t.size() && in[k] < 0x80; ++k) {
            const Folding& f = kAscii[in[k]];
            out[k] = f.lower;
            sign |= f.bit;
        }
        if (k < t.size()) {
            // Lowering may change the length ("İ"), so such a text is lowered as a whole.
            b.folded.truncate(at);
            b.folded += t.toString().toLower();
            sign = signOf(QStringView(b.folded).sliced(at));
        }
        b.signs.push_back(sign);
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

std::uint64_t TextFilter::signOf(QStringView text) {
    std::uint64_t sign = 0;
    for (const QChar c : text) {
        sign |= bitOf(c.unicode());
    }
    return sign;
}

void TextFilter::scan(QStringView lowered, std::vector<std::uint32_t>& hits) const {
    const std::uint64_t need = signOf(lowered);
    // One letter or digit: its bit is the answer.
    const bool signEnough = lowered.size() == 1 && hasOwnBit(lowered.front().unicode());
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        const Block& block = *blocks_[b];
        const std::uint32_t first = firsts_[b];
        const QStringView all(block.folded);
        for (std::size_t i = 0; i < block.size(); ++i) {
            if (!block.texts[i] || (block.signs[i] & need) != need) {
                continue;
            }
            if (signEnough || holds(all.sliced(block.starts[i], block.starts[i + 1] - block.starts[i]), lowered)) {
                hits.push_back(first + static_cast<std::uint32_t>(i));
            }
        }
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
        const std::uint64_t need = signOf(lowered);
        // The hits are in order, so their blocks are walked rather than searched.
        std::size_t b = 0;
        for (const std::uint32_t i : base->hits) {
            while (firsts_[b + 1] <= i) {
                ++b;
            }
            const Block& block = *blocks_[b];
            const std::size_t at = i - firsts_[b];
            if ((block.signs[at] & need) != need) {
                continue;
            }
            const QStringView text =
                QStringView(block.folded).sliced(block.starts[at], block.starts[at + 1] - block.starts[at]);
            if (holds(text, lowered)) {
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
