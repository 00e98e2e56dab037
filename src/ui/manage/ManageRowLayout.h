#pragma once

#include "ui/manage/Links.h"
#include "ui/manage/ManageModel.h"
#include "ui/theme/Theme.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <QTextLayout>

#include <array>
#include <memory>
#include <optional>

namespace plim {

// What one row of the notes list shows, worked out from the model; the delegate only lays it out.
struct RowLook {
    ManageModel::Row::Kind kind = ManageModel::Row::Kind::Header;
    QString text; // the day, the entry's text, or the folded row's words
    bool today = false;
    QColor textColor;
    std::optional<QColor> strikeColor; // done and struck entries are struck through in it
    QList<LinkMatch> links;
    QString stamp;    // "HH:mm", empty without one
    QString reminder; // the reminder's label, empty without one
    QString day;      // the day the entry was written, where it is listed away from it
    Entry::State state = Entry::State::Open;
    bool active = false;
    bool selected = false;
};
// Without `links` its links are left out: a row whose text is kept laid out has them already.
RowLook rowLook(const ManageModel& model, const ManageModel::Row& row, const ThemeColors& colors, bool links = true);

// The fonts of the list at the model's text size and font choice (sizes in pixels, as the drawer's).
struct ListFonts {
    QFont text;
    QFont label; // 13: headers, folded rows
    QFont mono;  // 13: time stamps, reminder and day labels
    // Each ASCII character's advance in `text` and `mono`: what a row's height needs, without shaping.
    std::array<qreal, 128> textAdvances{};
    std::array<qreal, 128> monoAdvances{};
    static ListFonts of(FontChoice choice, double textSize);
};

// How a row of the notes list is laid out: its margins in pixels, and its text wrapped to its width.
namespace RowLayout {

inline constexpr int kPadX = 20;
inline constexpr int kBulletWidth = 26;
inline constexpr int kPadY = 6;
inline constexpr int kHeaderTop = 16;
inline constexpr int kLabelGap = 12;
// No screen shows more of one line than this; longer lines are cut before they are laid out.
inline constexpr qsizetype kLineCut = 2000;

// A text's width in a font, rounded up; a label's, from the mono font's advances where it can.
int widthOf(const QFont& font, const QString& text);
int labelWidth(const ListFonts& fonts, const QString& text);

// One paragraph of an entry's text (a line of it) laid out in its row: wrapped at word boundaries,
// its first line `first` wide and the others `width`, one line spacing apart, aligned by its own
// direction (a right-to-left paragraph to the right); its links marked.
std::unique_ptr<QTextLayout> layParagraph(const QString& text, qsizetype start, qsizetype end, const QFont& font,
                                          const QList<LinkMatch>& links, const QColor& accent, qreal first,
                                          qreal width);

// How many lines a paragraph takes: one when it fits its first line, which most do, without
// laying it out.
int paragraphLines(const QString& text, qsizetype start, qsizetype end, const ListFonts& fonts, qreal first,
                   qreal width);

// Calls `each(start, end)` for each paragraph of the text, in order, until it returns false.
template <typename Each>
void forEachParagraph(const QString& text, Each each) {
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0) {
            end = text.size();
        }
        if (!each(start, end)) {
            return;
        }
        start = end + 1;
    }
}

} // namespace RowLayout

} // namespace plim
