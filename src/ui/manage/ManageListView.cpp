#include "ui/manage/ManageListView.h"

#include "base/Clock.h"
#include "platform/DesktopServices.h"
#include "store/NotesStore.h"
#include "ui/manage/ManageTexts.h"
#include "ui/theme/Fonts.h"

#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStaticText>
#include <QTextLayout>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace plim {

namespace {

using Kind = ManageModel::Row::Kind;

constexpr int kPadX = 20;
constexpr int kBulletWidth = 26;
constexpr int kPadY = 6;
constexpr int kHeaderTop = 16;
constexpr int kLabelGap = 12;
constexpr qreal kLabelSize = 13;
// No screen shows more of one line than this; longer lines are cut before they are laid out.
constexpr qsizetype kLineCut = 2000;
// How much narrower than the editor its lines are counted for the row's height.
constexpr int kEditorSlack = 4;
// How many entries' line counts, labels and laid out texts are kept at most.
constexpr qsizetype kKnownLinesLimit = 4096;
constexpr qsizetype kKnownLabelsLimit = 2048;
constexpr qsizetype kLaidLimit = 256;
// What a line of a mouse wheel's notch scrolls, in pixels.
constexpr qreal kWheelLine = 24;

int widthOf(const QFont& font, const QString& text) {
    return text.isEmpty() ? 0 : int(std::ceil(QFontMetricsF(font).horizontalAdvance(text))) + 1;
}

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

int labelWidth(const ListFonts& fonts, const QString& text) {
    if (text.isEmpty()) {
        return 0;
    }
    const auto fast = asciiWidth(fonts.monoAdvances, text);
    return fast ? int(std::ceil(*fast)) + 1 : widthOf(fonts.mono, text);
}

// One paragraph of an entry's text (a line of it) laid out in its row: wrapped at word boundaries,
// its first line `first` wide and the others `width`, one line spacing apart, aligned by its own
// direction (a right-to-left paragraph to the right); its links marked.
std::unique_ptr<QTextLayout> layParagraph(const QString& text, qsizetype start, qsizetype end, const QFont& font,
                                          const QList<LinkMatch>& links, const QColor& accent, qreal first,
                                          qreal width) {
    QString shown = text.mid(start, std::min(end - start, kLineCut));
    if (end - start > kLineCut) {
        shown += QChar(0x2026);
    }
    auto layout = std::make_unique<QTextLayout>(shown, font);
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

// How many lines a paragraph takes: one when it fits its first line, which most do, without
// laying it out.
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

using Labels = ManageRowDelegate::Labels;

// The labels on an entry's first line, from the right: time stamp, reminder, day. They leave the text
// at least 60% of the row: the day goes first, then the reminder label is cut short. `labelWidth`
// gives a label's width.
template <typename LabelWidth>
Labels fitLabels(const RowLook& look, int textWidth, const QFont& mono, LabelWidth labelWidth) {
    const int room = textWidth - textWidth * 2 / 5;
    auto width = [&](const QString& t) { return t.isEmpty() ? 0 : labelWidth(t) + kLabelGap; };
    Labels l{look.stamp, look.reminder, look.day, 0};
    if (width(l.stamp) + width(l.reminder) + width(l.day) > room) {
        l.day.clear();
    }
    if (width(l.stamp) + width(l.reminder) > room) {
        l.reminder =
            QFontMetrics(mono).elidedText(l.reminder, Qt::ElideRight, std::max(0, room - width(l.stamp) - kLabelGap));
    }
    l.width = width(l.stamp) + width(l.reminder) + width(l.day);
    return l;
}

} // namespace

void rowLabels(const ManageModel& model, const ManageModel::Row& row, RowLook& look) {
    look.stamp = row.entry.time.value_or(QString());
    look.reminder = model.reminderLabel(row.entry).value_or(QString());
    // The day tells most where the entry is listed away from it: under "Now" and "Active".
    if (model.mode() == ManageModel::Mode::Log && row.heading != row.day) {
        look.day = model.dayLabel(row).value_or(QString());
    }
}

RowLook rowLook(const ManageModel& model, const ManageModel::Row& row, const ThemeColors& colors) {
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
        look.links = Links::matches(e.text);
        rowLabels(model, row, look);
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

// --- The rows ---

ManageRowsModel::ManageRowsModel(ManageModel& model, QObject* parent)
    : QAbstractListModel(parent)
    , model_(model) {}

int ManageRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : model_.rowCount();
}

QVariant ManageRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= model_.rowCount()) {
        return {};
    }
    const ManageModel::Row row = model_.rowAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.kind == Kind::Entry ? row.entry.text : row.heading;
    case Qt::AccessibleTextRole:
        return ManageTexts::spokenRow(model_, row).name;
    case Qt::AccessibleDescriptionRole:
        return ManageTexts::spokenRow(model_, row).description;
    default:
        return {};
    }
}

Qt::ItemFlags ManageRowsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    // Editable so that the view keeps the in-place editor open on it.
    return model_.rowAt(index.row()).kind == Kind::Entry ? Qt::ItemIsEnabled | Qt::ItemIsEditable : Qt::ItemIsEnabled;
}

void ManageRowsModel::refresh() {
    beginResetModel();
    endResetModel();
}

// --- The in-place editor ---

RowEditor::RowEditor(ManageModel& model, QWidget* parent)
    : QPlainTextEdit(parent)
    , model_(model) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTabChangesFocus(true);
    document()->setDocumentMargin(0);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { model_.setEditingText(toPlainText()); });
}

void RowEditor::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !shift) {
        model_.commitEditing();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        model_.cancelEditing();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void RowEditor::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
    // Grown after the text did (the row follows the text a moment later), it had scrolled its first
    // lines out of sight to keep the cursor in view: now that all of it fits, show it from the top.
    if (document()->lineCount() * fontMetrics().lineSpacing() <= viewport()->height()) {
        verticalScrollBar()->setValue(0);
    }
}

// --- The delegate ---

ManageRowDelegate::ManageRowDelegate(ManageModel& model, const ManageRowsModel& rows, QObject* parent)
    : QStyledItemDelegate(parent)
    , model_(model)
    , rows_(rows)
    , colors_(Theme::colors(Appearance::Light))
    , fonts_(ListFonts::of(model.font(), model.textSize())) {}

void ManageRowDelegate::setLook(const ThemeColors& colors, const ListFonts& fonts) {
    colors_ = colors;
    fonts_ = fonts;
    lines_.clear();
    labelWidths_.clear();
    fitted_.clear();
    labelTexts_.clear();
    laid_.clear();
}

QRect ManageRowDelegate::bulletRect(const QRect& row, const ListFonts& fonts) {
    const int line = QFontMetrics(fonts.text).lineSpacing();
    return {row.left() + kPadX, row.top() + kPadY, kBulletWidth, line};
}

QRect ManageRowDelegate::textRect(const QRect& row) const {
    const int left = row.left() + kPadX + kBulletWidth;
    return {left, row.top() + kPadY, std::max(0, row.right() - kPadX - left), row.height() - 2 * kPadY};
}

int ManageRowDelegate::labelWidthOf(const QString& label) const {
    if (labelWidths_.size() > kKnownLabelsLimit) {
        labelWidths_.clear();
    }
    auto known = labelWidths_.constFind(label);
    if (known == labelWidths_.constEnd()) {
        known = labelWidths_.insert(label, labelWidth(fonts_, label));
    }
    return *known;
}

Labels ManageRowDelegate::labelsFor(const RowLook& look, int textWidth) const {
    if (fitted_.size() > kKnownLabelsLimit) {
        fitted_.clear();
    }
    const QString key = look.stamp + QChar(u'\x1f') + look.reminder + QChar(u'\x1f') + look.day + QChar(u'\x1f') +
                        QString::number(textWidth);
    auto known = fitted_.constFind(key);
    if (known == fitted_.constEnd()) {
        known = fitted_.insert(
            key, fitLabels(look, textWidth, fonts_.mono, [this](const QString& t) { return labelWidthOf(t); }));
    }
    return *known;
}

const QStaticText& ManageRowDelegate::labelText(const QString& label) const {
    if (labelTexts_.size() > kKnownLabelsLimit) {
        labelTexts_.clear();
    }
    auto known = labelTexts_.find(label);
    if (known == labelTexts_.end()) {
        QStaticText text(label);
        text.setTextFormat(Qt::PlainText);
        text.setPerformanceHint(QStaticText::AggressiveCaching);
        text.prepare(QTransform(), fonts_.mono);
        known = labelTexts_.insert(label, text);
    }
    return *known;
}

ManageRowDelegate::LaidText& ManageRowDelegate::laidOut(const QUuid& id, const QString& text, qreal first,
                                                        qreal width) const {
    if (laid_.size() > kLaidLimit) {
        laid_.clear();
    }
    LaidText& laid = laid_[id];
    if (laid.paragraphs.empty() || laid.text != text || laid.first != first || laid.width != width) {
        laid =
            LaidText{text, first, width, std::vector<LaidParagraph>(static_cast<std::size_t>(text.count(u'\n') + 1))};
    }
    return laid;
}

QRect ManageRowDelegate::stampRect(const QRect& row, const RowLook& look) const {
    const int width = labelWidthOf(look.stamp);
    const int line = QFontMetrics(fonts_.text).lineSpacing();
    return {row.right() - kPadX - width, row.top() + kPadY, width, line};
}

int ManageRowDelegate::labelRoom(const ManageModel::Row& row, int textWidth) const {
    const Entry& e = row.entry;
    // The reminder's label is dear to work out (a repeat counts its missed rings) for every row of a
    // long list: an entry that may have one keeps all the labels may take.
    if ((e.state == Entry::State::Open || e.state == Entry::State::Note) && e.comment &&
        e.comment->contains(QLatin1String("remind"))) {
        return textWidth - textWidth * 2 / 5 + kLabelGap;
    }
    RowLook look;
    look.stamp = e.time.value_or(QString());
    if (model_.mode() == ManageModel::Mode::Log && row.heading != row.day) {
        look.day = model_.dayLabel(row).value_or(QString());
    }
    return labelsFor(look, textWidth).width;
}

int ManageRowDelegate::editorLines(int viewWidth) const {
    // The editor wraps as the row did; counted a little narrower, so that it never needs a line
    // more than the row gives it.
    const QString& text = model_.editingText();
    const int room = std::max(1, textRect(QRect(0, 0, viewWidth, 0)).width() - kEditorSlack);
    int lines = 0;
    forEachParagraph(text, [&](qsizetype start, qsizetype end) {
        lines += paragraphLines(text, start, end, fonts_, room, room);
        return true;
    });
    return std::max(1, lines);
}

int ManageRowDelegate::entryLines(const ManageModel::Row& row, int textWidth) const {
    const QString& text = row.entry.text;
    const qreal first = textWidth - labelRoom(row, textWidth);
    int lines = 0;
    bool firstParagraph = true;
    forEachParagraph(text, [&](qsizetype start, qsizetype end) {
        lines += paragraphLines(text, start, end, fonts_, firstParagraph ? first : textWidth, textWidth);
        firstParagraph = false;
        return true;
    });
    return lines;
}

QSize ManageRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const ManageModel::Row row = rows_.row(index.row());
    // Rows are as wide as the list shows them; their text wraps to that.
    const auto* view = qobject_cast<const QAbstractScrollArea*>(option.widget);
    const int width = view ? view->viewport()->width() : option.rect.width();
    switch (row.kind) {
    case Kind::Header:
        return {width, kHeaderTop + QFontMetrics(fonts_.label).lineSpacing() + kPadY};
    case Kind::Folded:
        return {width, QFontMetrics(fonts_.label).lineSpacing() + 2 * kPadY};
    case Kind::Entry:
        break;
    }
    const int spacing = QFontMetrics(fonts_.text).lineSpacing();
    if (model_.editingID() == row.entry.id) {
        return {width, editorLines(width) * spacing + 2 * kPadY};
    }
    return {width, knownLines(row, textRect(QRect(0, 0, width, 0)).width()) * spacing + 2 * kPadY};
}

int ManageRowDelegate::knownLines(const ManageModel::Row& row, int textWidth) const {
    // A row is asked for its height several times a frame, and the same entries come back after
    // most changes of the list: its lines are kept while what they depend on stays.
    if (textWidth != linesWidth_ || lines_.size() > kKnownLinesLimit) {
        lines_.clear();
        linesWidth_ = textWidth;
    }
    const bool away = model_.mode() == ManageModel::Mode::Log && row.heading != row.day;
    const QString day = away ? row.day : QString();
    const auto known = lines_.constFind(row.entry.id);
    if (known != lines_.constEnd() && known->text == row.entry.text && known->comment == row.entry.comment &&
        known->time == row.entry.time && known->state == row.entry.state && known->day == day) {
        return known->lines;
    }
    const int lines = entryLines(row, textWidth);
    lines_.insert(row.entry.id,
                  KnownLines{row.entry.text, row.entry.comment, row.entry.time, row.entry.state, day, lines});
    return lines;
}

void ManageRowDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const ManageModel::Row row = rows_.row(index.row());
    const RowLook look = rowLook(model_, row, colors_);
    const QRect& r = option.rect;
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    switch (look.kind) {
    case Kind::Header: {
        const int line = QFontMetrics(fonts_.label).lineSpacing();
        QRect box(r.left() + kPadX, r.top() + kHeaderTop, r.width() - 2 * kPadX, line);
        p->setFont(fonts_.label);
        p->setPen(colors_.muted);
        p->drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, look.text);
        if (look.today) {
            box.setLeft(box.left() + widthOf(fonts_.label, look.text) + 8);
            p->setPen(colors_.highlighter);
            p->drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QStringLiteral("today"));
        }
        break;
    }
    case Kind::Folded: {
        const QRect box(r.left() + kPadX + kBulletWidth, r.top() + kPadY, r.width() - 2 * kPadX - kBulletWidth,
                        r.height() - 2 * kPadY);
        p->setFont(fonts_.label);
        p->setPen(colors_.muted);
        p->drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, look.text);
        break;
    }
    case Kind::Entry: {
        if (look.selected) {
            const QRectF band = QRectF(r).adjusted(8, 1, -8, -1);
            QPainterPath path;
            path.addRoundedRect(band, 6, 6);
            p->fillPath(path, colors_.surface);
            p->fillRect(QRectF(band.left(), band.top() + 4, 3, band.height() - 8), colors_.highlighter);
        }
        // The bullet says the state; the accent marks a shortlisted entry.
        const QRectF bullet = bulletRect(r, fonts_);
        const QPointF c(bullet.left() + 6, bullet.center().y());
        const QColor mark = look.active ? colors_.highlighter : colors_.muted;
        p->setPen(QPen(mark, 1.5));
        p->setBrush(Qt::NoBrush);
        switch (look.state) {
        case Entry::State::Open:
            p->drawEllipse(c, 5, 5);
            break;
        case Entry::State::Done:
            p->setBrush(mark);
            p->drawEllipse(c, 5, 5);
            break;
        case Entry::State::Note:
            p->drawLine(QPointF(c.x() - 5, c.y()), QPointF(c.x() + 5, c.y()));
            break;
        case Entry::State::Carried:
            p->drawLine(QPointF(c.x() - 4, c.y() - 5), QPointF(c.x() + 3, c.y()));
            p->drawLine(QPointF(c.x() + 3, c.y()), QPointF(c.x() - 4, c.y() + 5));
            break;
        case Entry::State::Struck:
            p->drawLine(QPointF(c.x() - 4, c.y() - 4), QPointF(c.x() + 4, c.y() + 4));
            p->drawLine(QPointF(c.x() + 4, c.y() - 4), QPointF(c.x() - 4, c.y() + 4));
            break;
        }
        const int line = QFontMetrics(fonts_.text).lineSpacing();
        const QRect text = textRect(r);
        const Labels labels = labelsFor(look, text.width());
        int right = r.right() - kPadX;
        p->setFont(fonts_.mono);
        // Centred on the first line; kept laid out, as the same few labels come back on many rows.
        const qreal labelTop = r.top() + kPadY + (line - QFontMetricsF(fonts_.mono).height()) / 2;
        for (const auto& [label, color] :
             {std::pair{labels.stamp, colors_.muted}, std::pair{labels.reminder, colors_.highlighter},
              std::pair{labels.day, colors_.muted}}) {
            if (label.isEmpty()) {
                continue;
            }
            const QStaticText& drawn = labelText(label);
            p->setPen(color);
            p->drawStaticText(QPointF(right + 1 - drawn.size().width(), labelTop), drawn);
            right -= labelWidthOf(label) + kLabelGap;
        }
        if (model_.editingID() == row.entry.id) {
            break; // the editor stands over the text
        }
        p->setClipRect(text.adjusted(0, -kPadY, 0, kPadY), Qt::IntersectClip);
        // Only the paragraphs on screen are laid out, and kept while the entry shows: a long entry
        // costs what shows of it, and a row painted again costs no shaping.
        const QRect exposed = option.widget ? option.widget->rect() : r;
        const qreal first = text.width() - labelRoom(row, text.width());
        LaidText& laid = laidOut(row.entry.id, look.text, first, text.width());
        int y = text.top();
        std::size_t k = 0;
        forEachParagraph(look.text, [&](qsizetype start, qsizetype end) {
            if (y > exposed.bottom()) {
                return false;
            }
            const qreal firstWidth = k == 0 ? first : text.width();
            LaidParagraph& paragraph = laid.paragraphs[k++];
            if (paragraph.lines < 0) {
                paragraph.lines = paragraphLines(look.text, start, end, fonts_, firstWidth, text.width());
            }
            if (y + paragraph.lines * line >= exposed.top()) {
                if (!paragraph.layout) {
                    paragraph.layout = layParagraph(look.text, start, end, fonts_.text, look.links, colors_.highlighter,
                                                    firstWidth, text.width());
                }
                const QTextLayout& drawn = *paragraph.layout;
                p->setPen(look.textColor);
                drawn.draw(p, QPointF(text.left(), y));
                for (int i = 0; look.strikeColor && i < drawn.lineCount(); ++i) {
                    const QTextLine l = drawn.lineAt(i);
                    const QRectF box = l.naturalTextRect().translated(text.left(), y);
                    const qreal mid = box.top() + l.ascent() - QFontMetricsF(fonts_.text).xHeight() / 2;
                    p->setPen(QPen(*look.strikeColor, 1.5));
                    p->drawLine(QPointF(box.left(), mid), QPointF(box.right(), mid));
                }
            }
            y += paragraph.lines * line;
            return true;
        });
        break;
    }
    }
    p->restore();
}

std::optional<QUrl> ManageRowDelegate::linkAt(const QRect& rowRect, const QModelIndex& index, const QPoint& pos) const {
    const ManageModel::Row row = rows_.row(index.row());
    if (row.kind != Kind::Entry || model_.editingID() == row.entry.id) {
        return std::nullopt;
    }
    const QList<LinkMatch> links = Links::matches(row.entry.text);
    const QRect text = textRect(rowRect);
    if (links.isEmpty() || !text.contains(pos)) {
        return std::nullopt;
    }
    const qreal first = text.width() - labelRoom(row, text.width());
    const int spacing = QFontMetrics(fonts_.text).lineSpacing();
    std::optional<QUrl> found;
    int y = text.top();
    bool firstParagraph = true;
    forEachParagraph(row.entry.text, [&](qsizetype start, qsizetype end) {
        const qreal firstWidth = firstParagraph ? first : text.width();
        firstParagraph = false;
        const int lines = paragraphLines(row.entry.text, start, end, fonts_, firstWidth, text.width());
        if (pos.y() >= y + lines * spacing) {
            y += lines * spacing;
            return true;
        }
        const auto laid =
            layParagraph(row.entry.text, start, end, fonts_.text, links, colors_.highlighter, firstWidth, text.width());
        const int i = std::clamp((pos.y() - y) / spacing, 0, std::max(0, laid->lineCount() - 1));
        if (laid->lineCount() == 0) {
            return false;
        }
        const QTextLine line = laid->lineAt(i);
        const qreal x = pos.x() - text.left();
        const QRectF drawn = line.naturalTextRect();
        if (x < drawn.left() || x > drawn.right()) {
            return false;
        }
        const qsizetype at = start + line.xToCursor(x, QTextLine::CursorOnCharacter);
        for (const LinkMatch& link : links) {
            if (at >= link.start && at < link.start + link.length) {
                found = link.url;
            }
        }
        return false;
    });
    return found;
}

bool ManageRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    const ManageModel::Row row = rows_.row(index.row());
    if (row.kind == Kind::Entry && row.entry.time) {
        RowLook look;
        look.stamp = *row.entry.time;
        if (stampRect(option.rect, look).contains(event->pos())) {
            QToolTip::showText(event->globalPos(), QStringLiteral("Captured ") + look.stamp, view);
            return true;
        }
    }
    QToolTip::hideText();
    return true;
}

QWidget* ManageRowDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const {
    auto* editor = new RowEditor(model_, parent);
    editor->setFont(fonts_.text);
    QPalette palette = editor->palette();
    setEditingColors(palette, colors_, colors_.surface);
    editor->setPalette(palette);
    editor->installEventFilter(const_cast<ManageRowDelegate*>(this));
    return editor;
}

void ManageRowDelegate::setEditorData(QWidget* editor, const QModelIndex&) const {
    auto* edit = qobject_cast<RowEditor*>(editor);
    if (edit && edit->toPlainText() != model_.editingText()) {
        const QSignalBlocker block(edit);
        edit->setPlainText(model_.editingText());
        edit->moveCursor(QTextCursor::End);
    }
}

void ManageRowDelegate::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const {
    // The editor writes to the notes model as it is typed in.
}

void ManageRowDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                             const QModelIndex&) const {
    editor->setGeometry(textRect(option.rect));
}

void ManageRowDelegate::editingTextChanged(const QModelIndex& index) {
    Q_EMIT sizeHintChanged(index);
}

bool ManageRowDelegate::eventFilter(QObject* object, QEvent* event) {
    // Not the item delegate's: it would close the editor on Return, Tab and leaving it.
    return QObject::eventFilter(object, event);
}

// --- The when field's card ---

void WhenCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.fillPath(path, colors.ground);
    p.setPen(QPen(colors.strike, 1));
    p.drawPath(path);
}

// --- The view ---

ManageListView::ManageListView(ManageModel& model, DesktopServices& desktop, QWidget* parent)
    : QListView(parent)
    , model_(model)
    , desktop_(desktop)
    , rows_(new ManageRowsModel(model, this))
    , delegate_(new ManageRowDelegate(model, *rows_, this))
    , whenCard_(new WhenCard(viewport()))
    , when_(new WhenFieldWidget(model.when(), model.store().clock(), WhenFieldWidget::Style::Popover, whenCard_)) {
    sizing_.widget = this;
    auto* card = new QVBoxLayout(whenCard_);
    card->setContentsMargins(12, 10, 12, 10);
    card->addWidget(when_);
    whenCard_->hide();
    connect(&model_, &ManageModel::whenFieldIDChanged, this, &ManageListView::syncWhenField);
    setModel(rows_);
    setItemDelegate(delegate_);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    // The list scrolls to the model's selection itself (not when the pointer chose it).
    setAutoScroll(false);
    setAccessibleName(QStringLiteral("Notes"));
    setMouseTracking(true);
    viewport()->setAutoFillBackground(false);

    connect(&model_, &ManageModel::rowsChanged, this, &ManageListView::reloadRows);
    connect(&model_, &ManageModel::sectionsChanged, this, [this] { viewport()->update(); });
    connect(&model_, &ManageModel::modeChanged, this, [this] { viewport()->update(); });
    connect(&model_, &ManageModel::selectedIDChanged, this, &ManageListView::followSelection);
    connect(&model_, &ManageModel::editingIDChanged, this, &ManageListView::syncEditor);
    connect(&model_, &ManageModel::editingTextChanged, this, [this] {
        // Only a new line count moves the rows below.
        const int lines = delegate_->editorLines(viewport()->width());
        if (editing_.isValid() && lines != editLines_) {
            editLines_ = lines;
            delegate_->editingTextChanged(editing_);
        }
    });
    connect(&model_, &ManageModel::editFocusRequestChanged, this, [this] {
        if (RowEditor* e = editor()) {
            e->setFocus(Qt::OtherFocusReason);
        }
    });
    // Leaving the editor for another control of the window (the filter field) saves it. Back to
    // the list it stays open: a letter typed there returns to it. A window that loses the
    // keyboard keeps it open too.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        RowEditor* open = editor();
        if (open == nullptr || old != open || now == nullptr || now == this || now->window() != window()) {
            return;
        }
        QTimer::singleShot(0, this, [this, id = model_.editingID()] {
            if (id && model_.editingID() == id) {
                model_.commitEditing();
            }
        });
    });
    connect(&model_, &ManageModel::textSizeChanged, this, &ManageListView::applyFonts);
    connect(&model_, &ManageModel::fontChanged, this, &ManageListView::applyFonts);
    syncEditor();
}

void ManageListView::setLook(const ThemeColors& colors) {
    delegate_->setLook(colors, delegate_->fonts());
    whenCard_->colors = colors;
    when_->setLook(colors, DrawerFonts{model_.font()});
    // The scroll bar in the window's colours.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, colors.ground);
    palette.setColor(QPalette::Window, colors.ground);
    palette.setColor(QPalette::Button, colors.surface);
    palette.setColor(QPalette::Mid, colors.strike);
    palette.setColor(QPalette::Dark, colors.strike);
    setPalette(palette);
    viewport()->update();
}

void ManageListView::applyFonts() {
    delegate_->setLook(delegate_->colors(), ListFonts::of(model_.font(), model_.textSize()));
    reloadRows();
}

RowEditor* ManageListView::editor() const {
    return editing_.isValid() ? qobject_cast<RowEditor*>(indexWidget(editing_)) : nullptr;
}

// --- Placing the rows ---

int ManageListView::rowHeight(int row) const {
    return std::max(1, delegate_->sizeHint(sizing_, rows_->index(row)).height());
}

std::optional<int> ManageListView::rowTop(int row) const {
    const int count = rows_->rowCount();
    if (row < 0 || row >= count) {
        return std::nullopt;
    }
    const int reach = 2 * std::max(1, viewport()->height());
    int y = -topOffset_;
    if (row >= top_) {
        for (int r = top_; r < row; ++r) {
            y += rowHeight(r);
            if (y > reach) {
                return std::nullopt;
            }
        }
        return y;
    }
    for (int r = top_ - 1; r >= row; --r) {
        y -= rowHeight(r);
        if (y < -reach) {
            return std::nullopt;
        }
    }
    return y;
}

void ManageListView::scrollByPixels(int dy) {
    const int count = rows_->rowCount();
    if (count == 0) {
        top_ = 0;
        topOffset_ = 0;
        return;
    }
    top_ = std::clamp(top_, 0, count - 1);
    topOffset_ += dy;
    while (topOffset_ < 0 && top_ > 0) {
        --top_;
        topOffset_ += rowHeight(top_);
    }
    topOffset_ = std::max(0, topOffset_);
    for (int h = rowHeight(top_); top_ < count - 1 && topOffset_ >= h; h = rowHeight(top_)) {
        topOffset_ -= h;
        ++top_;
    }
    clampToEnd();
}

void ManageListView::placeRow(int row, int y) {
    top_ = row;
    topOffset_ = 0;
    scrollByPixels(-y);
}

void ManageListView::clampToEnd() {
    const int count = rows_->rowCount();
    if (count == 0) {
        top_ = 0;
        topOffset_ = 0;
        return;
    }
    // The highest place the top can take: from there the rows below just fill the screen.
    const int height = viewport()->height();
    int last = count - 1;
    int filled = 0;
    for (; last >= 0; --last) {
        filled += rowHeight(last);
        if (filled >= height) {
            break;
        }
    }
    const int maxTop = std::max(0, last);
    const int maxOffset = last < 0 ? 0 : filled - height;
    if (top_ > maxTop || (top_ == maxTop && topOffset_ > maxOffset)) {
        top_ = maxTop;
        topOffset_ = maxOffset;
    }
    top_ = std::clamp(top_, 0, count - 1);
    // Setting the range may show or hide the scroll bar, which places the rows again from inside.
    const bool wasSyncing = std::exchange(syncing_, true);
    verticalScrollBar()->setRange(0, maxTop);
    verticalScrollBar()->setValue(top_);
    syncing_ = wasSyncing;
}

void ManageListView::placed() {
    updateGeometries();
    viewport()->update();
}

void ManageListView::updateGeometries() {
    clampToEnd();
    // A page of the scroll bar is what the screen shows, in rows.
    const int count = rows_->rowCount();
    const int height = viewport()->height();
    int shown = 0;
    std::optional<int> selectedY;
    std::optional<std::pair<QUuid, int>> firstEntry;
    const auto id = model_.selectedID();
    const int selected = id ? rows_->rowOf(*id) : -1;
    selectedRow_ = selected;
    for (int r = top_, y = -topOffset_; r < count && y < height; ++r, ++shown) {
        if (r == selected) {
            selectedY = y;
        }
        if (!firstEntry && y >= 0) {
            if (const ManageModel::Row row = rows_->row(r); row.kind == Kind::Entry) {
                firstEntry = {row.entry.id, y};
            }
        }
        y += rowHeight(r);
    }
    selectedY_ = selectedY;
    firstShown_ = firstEntry;
    const bool wasSyncing = std::exchange(syncing_, true);
    verticalScrollBar()->setPageStep(std::max(1, shown - 1));
    verticalScrollBar()->setSingleStep(1);
    syncing_ = wasSyncing;
    // Not the list view's own: it would size the scroll bar from a layout of every row.
    QAbstractItemView::updateGeometries();
    placeWhenField();
}

void ManageListView::doItemsLayout() {
    // Nothing is laid out ahead: a row's place is worked out from the top row when it is needed.
    QAbstractItemView::doItemsLayout();
}

QRect ManageListView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != rows_) {
        return {};
    }
    const int width = viewport()->width();
    const int height = rowHeight(index.row());
    if (const auto y = rowTop(index.row())) {
        return {0, *y, width, height};
    }
    // Far off the screen, above or below it.
    const int far = 4 * std::max(1, viewport()->height());
    return {0, index.row() < top_ ? -far - height : far, width, height};
}

QModelIndex ManageListView::indexAt(const QPoint& point) const {
    const int count = rows_->rowCount();
    const int height = viewport()->height();
    if (point.y() < 0 || point.x() < 0 || point.x() >= viewport()->width()) {
        return {};
    }
    for (int r = top_, y = -topOffset_; r < count && y < height; ++r) {
        const int h = rowHeight(r);
        if (point.y() < y + h) {
            return rows_->index(r);
        }
        y += h;
    }
    return {};
}

void ManageListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || index.model() != rows_) {
        return;
    }
    const int row = index.row();
    const int height = viewport()->height();
    const int h = rowHeight(row);
    switch (hint) {
    case PositionAtTop:
        placeRow(row, 0);
        break;
    case PositionAtBottom:
        placeRow(row, std::max(0, height - h));
        break;
    case PositionAtCenter:
        placeRow(row, std::max(0, (height - h) / 2));
        break;
    case EnsureVisible: {
        const auto y = rowTop(row);
        if (y && *y >= 0 && *y + h <= height) {
            return; // already in view
        }
        // Into view at the nearer edge: a row below comes up to the bottom, one above down to the top.
        const bool below = y ? *y > 0 : row > top_;
        placeRow(row, below ? std::max(0, height - h) : 0);
        break;
    }
    }
    placed();
}

void ManageListView::scrollContentsBy(int, int) {
    if (syncing_ || verticalScrollBar()->value() == top_) {
        return;
    }
    // The scroll bar was moved: its value is the top row.
    top_ = verticalScrollBar()->value();
    topOffset_ = 0;
    placed();
}

QModelIndex ManageListView::moveCursor(CursorAction, Qt::KeyboardModifiers) {
    // The window's keys move the model's selection; the view has no cursor of its own.
    return currentIndex();
}

void ManageListView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QRect area = event->rect();
    const int count = rows_->rowCount();
    const int width = viewport()->width();
    const int height = viewport()->height();
    for (int r = top_, y = -topOffset_; r < count && y < height; ++r) {
        const int h = rowHeight(r);
        if (y + h > area.top() && y <= area.bottom()) {
            option.rect = QRect(0, y, width, h);
            delegate_->paint(&painter, option, rows_->index(r));
        }
        y += h;
    }
    anchoring_ = false;
}

void ManageListView::resizeEvent(QResizeEvent* event) {
    // Not the list view's own, which lays every row out again for a new width.
    QAbstractItemView::resizeEvent(event);
    placed();
}

bool ManageListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize) {
        // Rows wrap to the width (which the scroll bar narrows when it shows).
        placed();
    }
    return QListView::viewportEvent(event);
}

void ManageListView::wheelEvent(QWheelEvent* event) {
    // Smoothly, by pixels, as a touchpad gives them or three lines a notch of a wheel.
    const QPoint pixels = event->pixelDelta();
    wheelRest_ += pixels.isNull() ? -event->angleDelta().y() / 120.0 * QApplication::wheelScrollLines() * kWheelLine
                                  : -pixels.y();
    const int whole = static_cast<int>(wheelRest_);
    wheelRest_ -= whole;
    if (whole != 0) {
        scrollByPixels(whole);
        placed();
    }
    event->accept();
}

void ManageListView::keyPressEvent(QKeyEvent* event) {
    // The keys the window does not take: a page, or to either end.
    const int page = std::max(1, viewport()->height() - QFontMetrics(delegate_->fonts().text).lineSpacing());
    switch (event->key()) {
    case Qt::Key_PageDown:
        scrollByPixels(page);
        break;
    case Qt::Key_PageUp:
        scrollByPixels(-page);
        break;
    case Qt::Key_Home:
        placeRow(0, 0);
        break;
    case Qt::Key_End:
        placeRow(std::max(0, rows_->rowCount() - 1), viewport()->height());
        break;
    default:
        QListView::keyPressEvent(event);
        return;
    }
    placed();
    event->accept();
}

// --- Following the model ---

void ManageListView::reloadRows() {
    // What held still on screen before the change (read when the rows were last placed: the model
    // has changed them by now): the selected row, or else the first entry shown.
    const std::optional<int> selectedY = selectedY_;
    const std::optional<std::pair<QUuid, int>> shown = firstShown_;
    const bool hadEditor = editing_.isValid();
    if (hadEditor) {
        closePersistentEditor(editing_);
        editing_ = QPersistentModelIndex();
    }
    rows_->refresh();
    // It stays where it was, as far as the new list allows; a selection made with the change takes
    // the selected row's place.
    const auto id = model_.selectedID();
    const int selected = id ? rows_->rowOf(*id) : -1;
    const int kept = shown ? rows_->rowOf(shown->first) : -1;
    if (selectedY && selected >= 0) {
        placeRow(selected, *selectedY);
    } else if (kept >= 0) {
        placeRow(kept, shown->second);
    } else {
        scrollByPixels(0);
    }
    anchoring_ = selectedY.has_value();
    anchorY_ = selectedY.value_or(0);
    placed();
    syncCurrent();
    if (hadEditor || model_.editingID()) {
        syncEditor();
    }
}

void ManageListView::syncCurrent() {
    // The selected entry is the view's current row, so that assistive tools follow it.
    const auto id = model_.selectedID();
    const int row = id ? rows_->rowOf(*id) : -1;
    const QModelIndex index = row >= 0 ? rows_->index(row) : QModelIndex();
    if (index != currentIndex()) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
}

void ManageListView::followSelection() {
    syncCurrent();
    const int before = selectedRow_;
    const std::pair<int, int> at{top_, topOffset_};
    const auto id = model_.selectedID();
    const int row = id ? rows_->rowOf(*id) : -1;
    if (model_.selectedByPointer()) {
        model_.setSelectedByPointer(false);
    } else if (anchoring_ && row >= 0) {
        // A selection that came with a change of the list takes the place of the one before.
        anchoring_ = false;
        placeRow(row, anchorY_);
    } else {
        scrollToSelection();
    }
    if (at != std::pair{top_, topOffset_}) {
        placed();
        return;
    }
    // Nothing moved: only the rows that lost and gained the selection are painted again.
    updateGeometries();
    for (const int r : {before, row}) {
        if (r >= 0 && r < rows_->rowCount()) {
            viewport()->update(visualRect(rows_->index(r)));
        }
    }
}

void ManageListView::scrollToSelection() {
    const auto id = model_.selectedID();
    const int row = id ? rows_->rowOf(*id) : -1;
    if (row < 0) {
        return;
    }
    // The day's header comes into view with its first entry.
    if (row > 0 && rows_->row(row - 1).kind == Kind::Header) {
        scrollTo(rows_->index(row - 1), QAbstractItemView::EnsureVisible);
    }
    scrollTo(rows_->index(row), QAbstractItemView::EnsureVisible);
}

void ManageListView::syncEditor() {
    const auto id = model_.editingID();
    if (editing_.isValid()) {
        const bool sameRow =
            id && rows_->row(editing_.row()).kind == Kind::Entry && rows_->row(editing_.row()).entry.id == *id;
        if (sameRow) {
            return;
        }
        RowEditor* old = editor();
        const bool hadFocus = old && old->hasFocus();
        closePersistentEditor(editing_);
        editing_ = QPersistentModelIndex();
        if (hadFocus) {
            setFocus(Qt::OtherFocusReason);
        }
    }
    if (id) {
        const int row = rows_->rowOf(*id);
        if (row >= 0) {
            editing_ = rows_->index(row);
            editLines_ = delegate_->editorLines(viewport()->width());
            delegate_->editingTextChanged(editing_);
            openPersistentEditor(editing_);
            scrollTo(editing_, QAbstractItemView::EnsureVisible);
            if (RowEditor* e = editor()) {
                e->setFocus(Qt::OtherFocusReason);
            }
        }
    }
    viewport()->update();
}

void ManageListView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    setFocus(Qt::MouseFocusReason);
    if (!index.isValid() || event->button() != Qt::LeftButton) {
        return;
    }
    const ManageModel::Row row = rows_->row(index.row());
    if (row.kind == Kind::Folded) {
        model_.setShowCompleted(true);
        return;
    }
    if (row.kind != Kind::Entry) {
        return;
    }
    const QUuid id = row.entry.id;
    model_.select(id);
    if (ManageRowDelegate::bulletRect(visualRect(index), delegate_->fonts()).contains(pos)) {
        model_.toggleDone();
    }
}

void ManageListView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (index.isValid() && event->button() == Qt::LeftButton) {
        if (const auto url = delegate_->linkAt(visualRect(index), index, pos)) {
            desktop_.openUrl(*url);
        }
    }
}

void ManageListView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    const bool overLink = index.isValid() && delegate_->linkAt(visualRect(index), index, pos).has_value();
    viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void ManageListView::syncWhenField() {
    const auto id = model_.whenFieldID();
    if (!id) {
        const bool hadFocus = whenCard_->isAncestorOf(QApplication::focusWidget());
        whenCard_->hide();
        if (hadFocus) {
            setFocus(Qt::OtherFocusReason);
        }
        return;
    }
    when_->setLook(delegate_->colors(), DrawerFonts{model_.font()});
    when_->refresh();
    if (const int row = rows_->rowOf(*id); row >= 0) {
        scrollTo(rows_->index(row), QAbstractItemView::EnsureVisible);
    }
    whenCard_->show();
    placeWhenField();
    when_->takeFocus();
}

void ManageListView::placeWhenField() {
    const auto id = model_.whenFieldID();
    if (!id || whenCard_->isHidden()) {
        return;
    }
    const int row = rows_->rowOf(*id);
    const QRect at = row >= 0 ? visualRect(rows_->index(row)) : QRect(0, 0, viewport()->width(), 0);
    const int left = std::max(0, at.left() + kPadX + kBulletWidth - 12);
    const int width = std::min(440, viewport()->width() - left - kPadX / 2);
    whenCard_->layout()->activate();
    const int height = whenCard_->layout()->hasHeightForWidth() ? whenCard_->layout()->totalHeightForWidth(width)
                                                                : whenCard_->sizeHint().height();
    // Under its row, or above it when there is no room below.
    int top = at.bottom() + 2;
    if (top + height > viewport()->height() && at.top() - height - 2 >= 0) {
        top = at.top() - height - 2;
    }
    whenCard_->setGeometry(left, top, width, height);
    whenCard_->raise();
}

void ManageListView::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && rows_->row(index.row()).kind == Kind::Entry) {
        model_.beginEditing(rows_->row(index.row()).entry.id);
    }
}

} // namespace plim
