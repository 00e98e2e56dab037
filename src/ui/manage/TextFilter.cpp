#include "ui/manage/TextFilter.h"

#include <algorithm>

namespace plim {

namespace {

constexpr std::size_t kRecent = 8;

char16_t foldAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

} // namespace

bool containsLowered(QStringView text, QStringView lowered) {
    const qsizetype n = text.size();
    const qsizetype m = lowered.size();
    const char16_t* t = text.utf16();
    const char16_t* q = lowered.utf16();
    const char16_t first = q[0];
    bool ascii = true;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = t[i];
        if (c >= 0x80) {
            ascii = false;
            break;
        }
        if (foldAscii(c) != first || i + m > n) {
            continue;
        }
        qsizetype k = 1;
        while (k < m && t[i + k] < 0x80 && foldAscii(t[i + k]) == q[k]) {
            ++k;
        }
        if (k == m) {
            // Lowering what follows cannot change this ASCII stretch.
            return true;
        }
    }
    if (ascii) {
        return false;
    }
    return text.toString().toLower().contains(lowered);
}

void TextFilter::reset(std::vector<QString> texts) {
    texts_ = std::move(texts);
    recent_.clear();
}

const std::vector<std::uint8_t>& TextFilter::matches(const QString& lowered) {
    mask_.assign(texts_.size(), 0);
    if (lowered.isEmpty()) {
        return mask_;
    }
    // The narrowest earlier answer this one can start from.
    const Answer* base = nullptr;
    for (const Answer& a : recent_) {
        if (a.query == lowered) {
            base = &a;
            break;
        }
        if (lowered.contains(a.query) && (!base || a.query.size() > base->query.size())) {
            base = &a;
        }
    }
    Answer answer{lowered, {}};
    if (base && base->query == lowered) {
        answer.hits = base->hits;
    } else if (base) {
        for (const std::uint32_t i : base->hits) {
            if (containsLowered(texts_[i], lowered)) {
                answer.hits.push_back(i);
            }
        }
    } else {
        for (std::size_t i = 0; i < texts_.size(); ++i) {
            if (!texts_[i].isNull() && containsLowered(texts_[i], lowered)) {
                answer.hits.push_back(static_cast<std::uint32_t>(i));
            }
        }
    }
    for (const std::uint32_t i : answer.hits) {
        mask_[i] = 1;
    }
    recent_.erase(std::remove_if(recent_.begin(), recent_.end(), [&](const Answer& a) { return a.query == lowered; }),
                  recent_.end());
    recent_.push_front(std::move(answer));
    if (recent_.size() > kRecent) {
        recent_.pop_back();
    }
    return mask_;
}

} // namespace plim
