#include "store/DayTexts.h"

#include <QHash>

namespace plim {

std::optional<QByteArray> DayTexts::bytesOf(const QString& text) const {
    if (bytes_.isNull() || text.constData() != text_.constData() || text.size() != text_.size()) {
        return std::nullopt;
    }
    return bytes_;
}

void DayTexts::dropBytes() {
    text_.clear();
    bytes_.clear();
    for (Day& day : days_) {
        day.byteFrom = -1;
    }
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
            days.push_back(Day{section.heading, section.items, part.serialized().sliced(lead)});
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
    QByteArray utf8;
    if (bytes) {
        const QByteArray betweenBytes = between.toUtf8();
        utf8.reserve(total + total / 2);
        utf8 += preamble.toUtf8();
        for (size_t i = 0; i < days.size(); ++i) {
            if (i > 0) {
                utf8 += betweenBytes;
            }
            Day& day = days[i];
            const qsizetype from = utf8.size();
            // A kept day's bytes are where this object's last bytes hold them (`bytes_` is
            // still this object's: `next` may be this object, and is only assigned below).
            if (day.byteFrom >= 0 && day.byteFrom + day.byteSize <= bytes_.size()) {
                utf8 += QByteArrayView(bytes_).sliced(day.byteFrom, day.byteSize);
            } else {
                utf8 += day.text.toUtf8();
            }
            day.byteFrom = from;
            day.byteSize = utf8.size() - from;
        }
        *bytes = utf8;
    } else {
        for (Day& day : days) {
            day.byteFrom = -1;
        }
    }
    next->days_ = std::move(days);
    next->frame_ = std::move(frame);
    next->text_ = bytes ? out : QString();
    next->bytes_ = std::move(utf8);
    return out;
}

} // namespace plim
