#include "store/DayTexts.h"

#include <QHash>

namespace plim {

std::optional<CompactText> DayTexts::compactOf(const QString& text, const CompactText* neighbour) {
    if (!preamble_ || text.constData() != text_.constData() || text.size() != text_.size()) {
        return std::nullopt;
    }
    std::vector<CompactText::ChunkPtr> chunks;
    std::vector<bool> fresh;
    chunks.reserve(days_.size() * 2 + 1);
    fresh.reserve(days_.size() * 2 + 1);
    chunks.push_back(preamble_);
    fresh.push_back(false);
    for (size_t i = 0; i < days_.size(); ++i) {
        if (i > 0) {
            chunks.push_back(between_);
            fresh.push_back(false);
        }
        chunks.push_back(days_[i].utf8);
        fresh.push_back(days_[i].fresh);
    }
    CompactText compact = CompactText::fromChunks(std::move(chunks), fresh, neighbour);
    // A day shared with the neighbour is kept as that copy from now on.
    for (size_t i = 0; i < days_.size(); ++i) {
        days_[i].utf8 = compact.chunks()[1 + 2 * i];
        days_[i].fresh = false;
    }
    return compact;
}

void DayTexts::dropBytes() {
    text_.clear();
    preamble_.reset();
    between_.reset();
}

QString DayTexts::serialize(const NotesDocument& doc, DayTexts* next, QByteArray* bytes) const {
    // Copies of the document with no day, one or two share every other field, so whatever the
    // writer makes of them (a mark before everything, the line ends) it makes here too.
    NotesDocument part = doc;
    part.sections.clear();
    const QString preamble = part.serialized();
    part.preamble.clear();
    const qsizetype lead = part.serialized().size(); // what comes before the first day
    part.sections = {DaySection{}};
    const qsizetype emptyDay = part.serialized().size() - lead;
    part.sections = {DaySection{}, DaySection{}};
    QString frame = part.serialized();
    const QString between = frame.sliced(lead + emptyDay).chopped(emptyDay);

    // Kept days are only as good as the frame they were written in.
    QHash<const void*, const Day*> known;
    if (frame == frame_) {
        known.reserve(static_cast<qsizetype>(days_.size()));
        for (const Day& day : days_) {
            known.insert(day.items.constData(), &day);
        }
    }
    std::vector<Day> days;
    days.reserve(static_cast<size_t>(doc.sections.size()));

    qsizetype total = preamble.size();
    for (const DaySection& section : doc.sections) {
        const Day* old = known.value(section.items.constData());
        if (old && old->items.size() == section.items.size() && old->heading == section.heading) {
            days.push_back(*old);
        } else {
            part.sections = {section};
            days.push_back(Day{section.heading, section.items, part.serialized().sliced(lead), {}, false});
        }
        total += days.back().text.size() + between.size();
    }
    QString out;
    out.reserve(total);
    out += preamble;
    for (size_t i = 0; i < days.size(); ++i) {
        if (i > 0) {
            out += between;
        }
        out += days[i].text;
    }
    CompactText::ChunkPtr preambleUtf8;
    CompactText::ChunkPtr betweenUtf8;
    if (bytes) {
        preambleUtf8 = CompactText::chunk(preamble.toUtf8());
        betweenUtf8 = CompactText::chunk(between.toUtf8());
        QByteArray utf8;
        utf8.reserve(total + total / 2);
        utf8 += preambleUtf8->bytes;
        for (size_t i = 0; i < days.size(); ++i) {
            if (i > 0) {
                utf8 += betweenUtf8->bytes;
            }
            Day& day = days[i];
            // A kept day's UTF-8 is kept with it; only the days written anew are encoded.
            day.fresh = !day.utf8;
            if (day.fresh) {
                day.utf8 = CompactText::chunk(day.text.toUtf8());
            }
            utf8 += day.utf8->bytes;
        }
        *bytes = std::move(utf8);
    }
    next->days_ = std::move(days);
    next->frame_ = std::move(frame);
    next->text_ = bytes ? out : QString();
    next->preamble_ = std::move(preambleUtf8);
    next->between_ = std::move(betweenUtf8);
    return out;
}

} // namespace plim
