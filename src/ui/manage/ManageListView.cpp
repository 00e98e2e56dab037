#include "ui/manage/ManageListView.h"

#include "notes/Clock.h"
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
#include <QTextLayout>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

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

// The labels on an entry's first line, from the right: time stamp, reminder, day. They leave the text
// at least 60% of the row: the day goes first, then the reminder label is cut short.
struct Labels {
    QString stamp;
    QString reminder;
    QString day;
    int width = 0; // what they take from the first line, gaps included
};

Labels fitLabels(const RowLook& look, int textWidth, const ListFonts& fonts) {
    const QFont& mono = fonts.mono;
    const int room = textWidth - textWidth * 2 / 5;
    auto width = [&](const QString& t) { return t.isEmpty() ? 0 : labelWidth(fonts, t) + kLabelGap; };
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
}

QRect ManageRowDelegate::bulletRect(const QRect& row, const ListFonts& fonts) {
    const int line = QFontMetrics(fonts.text).lineSpacing();
    return {row.left() + kPadX, row.top() + kPadY, kBulletWidth, line};
}

QRect ManageRowDelegate::textRect(const QRect& row) const {
    const int left = row.left() + kPadX + kBulletWidth;
    return {left, row.top() + kPadY, std::max(0, row.right() - kPadX - left), row.height() - 2 * kPadY};
}

QRect ManageRowDelegate::stampRect(const QRect& row, const RowLook& look) const {
    const int width = labelWidth(fonts_, look.stamp);
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
    return fitLabels(look, textWidth, fonts_).width;
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
    return {width, entryLines(row, textRect(QRect(0, 0, width, 0)).width()) * spacing + 2 * kPadY};
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
        const Labels labels = fitLabels(look, text.width(), fonts_);
        int right = r.right() - kPadX;
        p->setFont(fonts_.mono);
        for (const auto& [label, color] :
             {std::pair{labels.stamp, colors_.muted}, std::pair{labels.reminder, colors_.highlighter},
              std::pair{labels.day, colors_.muted}}) {
            if (label.isEmpty()) {
                continue;
            }
            const int w = labelWidth(fonts_, label);
            p->setPen(color);
            p->drawText(QRect(right - w, r.top() + kPadY, w, line), Qt::AlignRight | Qt::AlignVCenter, label);
            right -= w + kLabelGap;
        }
        if (model_.editingID() == row.entry.id) {
            break; // the editor stands over the text
        }
        p->setClipRect(text.adjusted(0, -kPadY, 0, kPadY), Qt::IntersectClip);
        p->setPen(look.textColor);
        // Only the paragraphs on screen are laid out: a long entry costs what shows of it.
        const QRect exposed = option.widget ? option.widget->rect() : r;
        const qreal first = text.width() - labelRoom(row, text.width());
        int y = text.top();
        bool firstParagraph = true;
        forEachParagraph(look.text, [&](qsizetype start, qsizetype end) {
            if (y > exposed.bottom()) {
                return false;
            }
            const qreal firstWidth = firstParagraph ? first : text.width();
            firstParagraph = false;
            const int lines = paragraphLines(look.text, start, end, fonts_, firstWidth, text.width());
            if (y + lines * line >= exposed.top()) {
                const auto laid = layParagraph(look.text, start, end, fonts_.text, look.links, colors_.highlighter,
                                               firstWidth, text.width());
                laid->draw(p, QPointF(text.left(), y));
                for (int i = 0; look.strikeColor && i < laid->lineCount(); ++i) {
                    const QTextLine l = laid->lineAt(i);
                    const QRectF drawn = l.naturalTextRect().translated(text.left(), y);
                    const qreal mid = drawn.top() + l.ascent() - QFontMetricsF(fonts_.text).xHeight() / 2;
                    p->setPen(QPen(*look.strikeColor, 1.5));
                    p->drawLine(QPointF(drawn.left(), mid), QPointF(drawn.right(), mid));
                }
            }
            y += lines * line;
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
    auto* card = new QVBoxLayout(whenCard_);
    card->setContentsMargins(12, 10, 12, 10);
    card->addWidget(when_);
    whenCard_->hide();
    connect(&model_, &ManageModel::whenFieldIDChanged, this, &ManageListView::syncWhenField);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &ManageListView::placeWhenField);
    setModel(rows_);
    setItemDelegate(delegate_);
    setUniformItemSizes(false);
    // Rows differ in height: lay out what the screen shows first and the rest while idle.
    setLayoutMode(QListView::Batched);
    setBatchSize(32);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    // The list scrolls to the model's selection itself (not when the pointer chose it).
    setAutoScroll(false);
    setAccessibleName(QStringLiteral("Notes"));
    setMouseTracking(true);
    // Entries wrap to the list's width: a new width lays the rows out again.
    setResizeMode(QListView::Adjust);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(24);

    connect(&model_, &ManageModel::visibleSectionsChanged, this, &ManageListView::reloadRows);
    connect(&model_, &ManageModel::foldedChanged, this, &ManageListView::reloadRows);
    connect(&model_, &ManageModel::sectionsChanged, this, [this] { viewport()->update(); });
    connect(&model_, &ManageModel::modeChanged, this, [this] { viewport()->update(); });
    connect(&model_, &ManageModel::selectedIDChanged, this, &ManageListView::followSelection);
    connect(&model_, &ManageModel::editingIDChanged, this, &ManageListView::syncEditor);
    connect(&model_, &ManageModel::editingTextChanged, this, [this] {
        // Only a new line count moves the rows below (and lays out the whole list again).
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

void ManageListView::reloadRows() {
    const bool hadEditor = editing_.isValid();
    if (hadEditor) {
        closePersistentEditor(editing_);
        editing_ = QPersistentModelIndex();
    }
    rows_->refresh();
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
    viewport()->update();
    syncCurrent();
    scrollTries_ = 0;
    if (model_.selectedByPointer()) {
        model_.setSelectedByPointer(false);
        return;
    }
    scrollToSelection();
}

void ManageListView::scrollToSelection() {
    const auto id = model_.selectedID();
    if (!id) {
        return;
    }
    const int row = rows_->rowOf(*id);
    if (row < 0) {
        return;
    }
    // After a change the rows are laid out a batch at a time while the program is idle: a row not
    // reached yet has no place to scroll to, so it is tried again once more of them are.
    if (!visualRect(rows_->index(row)).isValid()) {
        if (scrollTries_ == 0) {
            scrollTries_ = rows_->rowCount() / std::max(1, batchSize()) + 100;
        }
        if (--scrollTries_ > 0) {
            QTimer::singleShot(1, this, [this] {
                if (scrollTries_ > 0) {
                    scrollToSelection();
                }
            });
        }
        return;
    }
    scrollTries_ = 0;
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

void ManageListView::updateGeometries() {
    QListView::updateGeometries();
    placeWhenField();
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
