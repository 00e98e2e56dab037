#include "store/DayTexts.h"

#include "store/TextFile.h"

#include <QHash>

#include <cstring>

namespace plim {

namespace {

// Finds kept days by a key: where the last one found stood first (a new list mostly keeps the old
// order), then, once a few were not there (a changed day is in neither), through a table made once.
template <class Day, class KeyOf>
class KeptDays {
public:
    KeptDays(const std::vector<Day>& days, KeyOf keyOf)
        : days_(days)
        , keyOf_(keyOf) {}

    const Day* find(const void* key) {
        for (const std::size_t k : {next_, next_ + 1}) {
            if (key && k < days_.size() && keyOf_(days_[k]) == key) {
                next_ = k + 1;
                return &days_[k];
            }
        }
        if (!key || ++misses_ <= 4) {
            return nullptr;
        }
        if (table_.isEmpty()) {
            table_.reserve(static_cast<qsizetype>(days_.size()));
            for (const Day& day : days_) {
                if (const void* k = keyOf_(day)) {
                    table_.insert(k, &day);
                }
            }
        }
        const Day* day = table_.value(key);
        if (day) {
            next_ = static_cast<std::size_t>(day - days_.data()) + 1;
        }
        return day;
    }

private:
    const std::vector<Day>& days_;
    KeyOf keyOf_;
    QHash<const void*, const Day*> table_;
    std::size_t next_ = 0;
    int misses_ = 0;
};

} // namespace

std::optional<CompactText> DayTexts::compactOf(const QString& text, const CompactText* neighbour) {
    if (!preamble_ || text.constData() != text_.constData() || text.size() != text_.size()) {
        return std::nullopt;
    }
    return compact(neighbour);
}

CompactText DayTexts::compact(const CompactText* neighbour) {
    std::vector<CompactText::ChunkPtr> chunks;
    std::vector<bool> fresh;
    chunks.reserve(days_.size() + 1);
    fresh.reserve(days_.size() + 1);
    chunks.push_back(preamble_);
    fresh.push_back(false);
    for (const Day& day : days_) {
        chunks.push_back(day.utf8);
        fresh.push_back(day.fresh);
    }
    CompactText compact = CompactText::fromChunks(std::move(chunks), fresh, neighbour);
    // A day shared with the neighbour is kept as that copy from now on.
    for (size_t i = 0; i < days_.size(); ++i) {
        days_[i].utf8 = compact.chunks()[1 + i];
        days_[i].fresh = false;
    }
    return compact;
}

void DayTexts::dropBytes() {
    text_.clear();
    preamble_.reset();
}

DayTexts::Frame DayTexts::frameOf(const NotesDocument& doc) {
    // Copies of the document with no day, one or two share every other field, so whatever the
    // writer makes of them (a mark before everything, the line ends) it makes here too.
    NotesDocument part = doc;
    part.sections.clear();
    Frame f;
    f.preamble = part.serialized();
    part.preamble.clear();
    f.lead = part.serialized().size(); // what comes before the first day
    part.sections = {DaySection{}};
    const qsizetype emptyDay = part.serialized().size() - f.lead;
    part.sections = {DaySection{}, DaySection{}};
    f.frame = part.serialized();
    f.between = f.frame.sliced(f.lead + emptyDay).chopped(emptyDay);
    return f;
}

bool DayTexts::describes(const NotesDocument& doc) const {
    if (!preamble_ || days_.size() != static_cast<size_t>(doc.sections.size())) {
        return false;
    }
    for (size_t i = 0; i < days_.size(); ++i) {
        const Day& day = days_[i];
        const DaySection& section = doc.sections[static_cast<qsizetype>(i)];
        if (day.items.constData() != section.items.constData() || day.items.size() != section.items.size() ||
            day.heading != section.heading || !day.utf8 || day.trailing != (i + 1 < days_.size())) {
            return false;
        }
    }
    const Frame f = frameOf(doc);
    return f.frame == frame_ && f.preamble == preambleText_;
}

QString DayTexts::decode(const CompactText& compact, bool* whole) const {
    if (whole) {
        *whole = false;
    }
    // A step's days are the kept ones whose UTF-8 decodes to their text, known by that chunk.
    KeptDays keptDay(days_, [](const Day& day) -> const void* { return day.exact ? day.utf8.get() : nullptr; });
    QString out;
    out.reserve(compact.size());
    // The chunks between kept days are decoded together; the pieces split where a kept day's
    // UTF-8 (whole characters) stands, so they decode as the whole would, unless the whole is not
    // UTF-8 at all: then it is decoded as a whole.
    QByteArray pending;
    const auto flush = [&] {
        if (pending.isEmpty()) {
            return true;
        }
        std::optional<QString> text = decodeText(pending);
        pending.clear();
        if (!text) {
            return false;
        }
        out += *text;
        return true;
    };
    const std::vector<CompactText::ChunkPtr>& chunks = compact.chunks();
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const Day* day = i > 0 ? keptDay.find(chunks[i].get()) : nullptr;
        if (!day) {
            pending += chunks[i]->bytes;
            continue;
        }
        if (!flush()) {
            return compact.toString();
        }
        out += day->text;
        if (day->trailing) {
            out += between_;
        }
    }
    if (!flush()) {
        return compact.toString();
    }
    if (whole) {
        *whole = true;
    }
    return out;
}

bool DayTexts::sameText(const DayTexts& other) const {
    if (frame_ != other.frame_ || preambleText_ != other.preambleText_ || days_.size() != other.days_.size()) {
        return false;
    }
    for (size_t i = 0; i < days_.size(); ++i) {
        const Day& a = days_[i];
        const Day& b = other.days_[i];
        if (!(a.utf8 && a.utf8 == b.utf8) && a.text != b.text) {
            return false;
        }
    }
    return true;
}

QString DayTexts::serialize(const NotesDocument& doc, DayTexts* next, QByteArray* bytes) const {
    QString out;
    build(doc, next, &out, bytes);
    return out;
}

QByteArray DayTexts::encode(const NotesDocument& doc, DayTexts* next) const {
    QByteArray bytes;
    build(doc, next, nullptr, &bytes);
    return bytes;
}

void DayTexts::encodeDays(const NotesDocument& doc, DayTexts* next) const {
    QByteArray unused;
    build(doc, next, nullptr, &unused, false);
}

void DayTexts::build(const NotesDocument& doc, DayTexts* next, QString* text, QByteArray* bytes, bool join) const {
    Frame f = frameOf(doc);
    // Kept days are only as good as the frame they were written in.
    // A kept day is known by its items' address.
    const bool sameFrame = f.frame == frame_;
    KeptDays keptDay(days_, [](const Day& day) -> const void* { return day.items.constData(); });
    std::vector<Day> days;
    days.reserve(static_cast<size_t>(doc.sections.size()));
    NotesDocument part = doc; // each day alone, written after `lead`
    part.sections.clear();
    part.preamble.clear();
    qsizetype total = f.preamble.size();
    for (const DaySection& section : doc.sections) {
        const Day* old = sameFrame ? keptDay.find(section.items.constData()) : nullptr;
        if (old && old->items.size() == section.items.size() && old->heading == section.heading) {
            days.push_back(*old);
        } else {
            part.sections = {section};
            days.push_back(Day{section.heading, section.items, part.serialized().sliced(f.lead), {}, false, false});
        }
        total += days.back().text.size() + f.between.size();
    }
    if (text) {
        text->clear();
        text->reserve(total);
        *text += f.preamble;
        for (size_t i = 0; i < days.size(); ++i) {
            if (i > 0) {
                *text += f.between;
            }
            *text += days[i].text;
        }
    }
    CompactText::ChunkPtr preambleUtf8;
    if (bytes) {
        preambleUtf8 = CompactText::chunk(f.preamble.toUtf8());
        qsizetype size = preambleUtf8->bytes.size();
        for (size_t i = 0; i < days.size(); ++i) {
            // A kept day's UTF-8 is kept with it, with what follows it up to the next day (the
            // way an undo step cuts the text too); only the days written anew are encoded.
            Day& day = days[i];
            const bool trailing = i + 1 < days.size();
            day.fresh = !day.utf8 || day.trailing != trailing;
            if (day.fresh) {
                day.utf8 = CompactText::chunk(trailing ? (day.text + f.between).toUtf8() : day.text.toUtf8());
                day.trailing = trailing;
                day.exact = QStringView(day.text).isValidUtf16() && QStringView(f.between).isValidUtf16();
            }
            size += day.utf8->bytes.size();
        }
        if (join) {
            // Copied straight into their place: thousands of appends would each check for room.
            QByteArray utf8(size, Qt::Uninitialized);
            char* at = utf8.data();
            const auto put = [&](const QByteArray& piece) {
                std::memcpy(at, piece.constData(), static_cast<std::size_t>(piece.size()));
                at += piece.size();
            };
            put(preambleUtf8->bytes);
            for (const Day& day : days) {
                put(day.utf8->bytes);
            }
            *bytes = std::move(utf8);
        }
    }
    next->days_ = std::move(days);
    next->frame_ = std::move(f.frame);
    next->between_ = std::move(f.between);
    next->preambleText_ = std::move(f.preamble);
    next->text_ = bytes && text ? *text : QString();
    next->preamble_ = std::move(preambleUtf8);
}

} // namespace plim
