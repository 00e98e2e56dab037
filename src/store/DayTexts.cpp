#include "store/DayTexts.h"

#include <QHash>

namespace plim {

QString DayTexts::serialize(const NotesDocument& doc, DayTexts* next) const {
    QHash<const void*, const Day*> known;
    known.reserve(static_cast<qsizetype>(days_.size()));
    for (const Day& day : days_) {
        known.insert(day.items.constData(), &day);
    }
    std::vector<Day> days;
    days.reserve(static_cast<size_t>(doc.sections.size()));
    // A copy of the document with one day, or with none, shares every other field, so whatever the
    // writer makes of them it makes here too.
    NotesDocument part = doc;
    part.sections.clear();
    QString preamble = part.serialized();
    part.preamble.clear();
    qsizetype total = preamble.size();
    for (const DaySection& section : doc.sections) {
        const Day* old = known.value(section.items.constData());
        if (old && old->items.size() == section.items.size() && old->heading == section.heading) {
            days.push_back(*old);
        } else {
            part.sections = {section};
            days.push_back(Day{section.heading, section.items, part.serialized()});
        }
        total += days.back().text.size() + 1;
    }
    QString out;
    out.reserve(total);
    out += preamble;
    for (size_t i = 0; i < days.size(); ++i) {
        if (i > 0) {
            out += QLatin1Char('\n'); // the empty line between two days
        }
        out += days[i].text;
    }
    next->days_ = std::move(days);
    return out;
}

} // namespace plim
