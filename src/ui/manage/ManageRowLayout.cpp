#include "ui/manage/ManageRowLayout.h"

#include "ui/manage/ManageTexts.h"
#include "ui/theme/Fonts.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace plim {

namespace {

using Kind = ManageModel::Row::Kind;

constexpr qreal kLabelSize = 13;

// At least the width of an ASCII text, from its characters' advances (kerning only ever narrows
// these fonts' pairs by a little; the margin covers it); none for other text, which is shaped.
std::optional<qreal> asciiWidth(const std::array<qreal, 128>& advances, QStringView text) {
    qreal sum = 0;
    for (const QChar c : text) {
        if (c.unicode() >= 128 || c.unicode() < 32) {
            return std::nullopt; // tabs go to tab stops
        }
        sum += advances[c.unicode()];
    }
    return sum * 1.02 + 1;
}

} // namespace

namespace RowLayout {

int widthOf(const QFont& font, const QString& text) {
    return text.isEmpty() ? 0 : int(std::ceil(QFontMetricsF(font).horizontalAdvance(text))) + 1;
}

int labelWidth(const ListFonts& fonts, const QString& text) {
    if (text.isEmpty()) {
        return 0;
    }
    const auto fast = asciiWidth(fonts.monoAdvances, text);
    return fast ? int(std::ceil(*fast)) + 1 : widthOf(fonts.mono, text);
}

std::unique_ptr<QTextLayout> layParagraph(const QString& text, qsizetype start, qsizetype end, const QFont& font,
                                          const QList<LinkMatch>& links, const QColor& accent, qreal first,
                                          qreal width) {
    QString shown = text.mid(start, std::min(end - start, kLineCut));
    if (end - start > kLineCut) {
        shown += QChar(0x2026);
    }
    auto layout = std::make_unique<QTextLayout>(shown, font);
    // Kept shaped: a row painted again only draws its glyphs.
    layout->setCacheEnabled(true);
    QList<QTextLayout::FormatRange> formats;
    for (const LinkMatch& link : links) {
        const qsizetype from = std::max(link.start, start);
        const qsizetype to = std::min(link.start + link.length, start + std::min(end - start, kLineCut));
        if (from < to) {
            QTextCharFormat format;
            format.setForeground(accent);
            format.setFontUnderline(true);
            formats.append({static_cast<int>(from - start), static_cast<int>(to - from), format});
        }
    }
    layout->setFormats(formats);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // The paragraph's first strong letter sets its direction and side; a bare layout would take
    // left to right.
    const bool rtl = shown.isRightToLeft();
    option.setTextDirection(rtl ? Qt::RightToLeft : Qt::LeftToRight);
    option.setAlignment(Qt::AlignAbsolute | (rtl ? Qt::AlignRight : Qt::AlignLeft));
    layout->setTextOption(option);
    const int spacing = QFontMetrics(font).lineSpacing();
    layout->beginLayout();
    for (int i = 0;; ++i) {
        QTextLine line = layout->createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLeadingIncluded(true);
        line.setLineWidth(std::max<qreal>(1, i == 0 ? first : width));
        line.setPosition(QPointF(0, i * spacing));
    }
    layout->endLayout();
    return layout;
}

int paragraphLines(const QString& text, qsizetype start, qsizetype end, const ListFonts& fonts, qreal first,
                   qreal width) {
    const QFont& font = fonts.text;
    const qsizetype length = std::min(end - start, kLineCut);
    if (length == 0) {
        return 1;
    }
    if (const auto fast = asciiWidth(fonts.textAdvances, QStringView(text).sliced(start, length));
        fast && *fast <= first && end - start <= kLineCut) {
        return 1;
    }
    const qreal advance = start == 0 ? QFontMetricsF(font).horizontalAdvance(text, static_cast<int>(length))
                                     : QFontMetricsF(font).horizontalAdvance(text.mid(start, length));
    if (advance <= first && end - start <= kLineCut) {
        return 1;
    }
    return std::max(1, layParagraph(text, start, end, font, {}, {}, first, width)->lineCount());
}

} // namespace RowLayout

RowLook rowLook(const ManageModel& model, const ManageModel::Row& row, const ThemeColors& colors, bool links) {
    RowLook look;
    look.kind = row.kind;
    look.textColor = colors.muted;
    switch (row.kind) {
    case Kind::Header: {
        const ManageTexts::DayHeader header = ManageTexts::dayHeader(model, DaySection{row.sectionID, row.heading, {}});
        look.text = header.text;
        look.today = header.today;
        break;
    }
    case Kind::Folded:
        look.text = ManageTexts::foldedRow(row.hidden);
        break;
    case Kind::Entry: {
        const Entry& e = row.entry;
        look.text = e.text;
        look.state = e.state;
        look.active = e.active;
        const bool closed = e.state == Entry::State::Done || e.state == Entry::State::Struck;
        look.textColor = closed ? colors.muted : colors.ink;
        if (closed) {
            look.strikeColor = colors.strike;
        }
        if (links) {
            look.links = Links::matches(e.text);
        }
        RowLabels::OfEntry labels = model.labels().entry(row);
        look.stamp = std::move(labels.stamp);
        look.reminder = std::move(labels.reminder);
        look.day = std::move(labels.day);
        look.selected = model.selectedID() == e.id;
        break;
    }
    }
    return look;
}

ListFonts ListFonts::of(FontChoice choice, double textSize) {
    ListFonts fonts{Fonts::inPixels(Fonts::sans(choice, textSize, QFont::Normal), textSize),
                    Fonts::inPixels(Fonts::sans(choice, kLabelSize, QFont::DemiBold), kLabelSize),
                    Fonts::inPixels(Fonts::mono(kLabelSize), kLabelSize)};
    const QFontMetricsF text(fonts.text);
    const QFontMetricsF mono(fonts.mono);
    for (char16_t c = 0; c < 128; ++c) {
        fonts.textAdvances[c] = text.horizontalAdvance(QChar(c));
        fonts.monoAdvances[c] = mono.horizontalAdvance(QChar(c));
    }
    return fonts;
}

} // namespace plim
