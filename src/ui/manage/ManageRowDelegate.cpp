#include "ui/manage/ManageRowDelegate.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace plim {

using namespace RowLayout;

namespace {

using Kind = ManageModel::Row::Kind;

// How much narrower than the editor its lines are counted for the row's height.
constexpr int kEditorSlack = 4;
// How many entries' line counts, labels and laid out texts are kept at most.
constexpr qsizetype kKnownLinesLimit = 4096;
constexpr qsizetype kKnownLabelsLimit = 2048;
constexpr qsizetype kLaidLimit = 256;
constexpr qsizetype kMarksLimit = 64;
// Half the side of a bullet's mark (a circle of radius 5 with its pen), in pixels.
constexpr int kMarkHalf = 8;

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

// The bullet says the state.
void markShape(QPainter& p, Entry::State state, const QPointF& c, const QColor& color) {
    p.setPen(QPen(color, 1.5));
    p.setBrush(Qt::NoBrush);
    switch (state) {
    case Entry::State::Open:
        p.drawEllipse(c, 5, 5);
        break;
    case Entry::State::Done:
        p.setBrush(color);
        p.drawEllipse(c, 5, 5);
        break;
    case Entry::State::Note:
        p.drawLine(QPointF(c.x() - 5, c.y()), QPointF(c.x() + 5, c.y()));
        break;
    case Entry::State::Carried:
        p.drawLine(QPointF(c.x() - 4, c.y() - 5), QPointF(c.x() + 3, c.y()));
        p.drawLine(QPointF(c.x() + 3, c.y()), QPointF(c.x() - 4, c.y() + 5));
        break;
    case Entry::State::Struck:
        p.drawLine(QPointF(c.x() - 4, c.y() - 4), QPointF(c.x() + 4, c.y() + 4));
        p.drawLine(QPointF(c.x() + 4, c.y() - 4), QPointF(c.x() - 4, c.y() + 4));
        break;
    }
}

} // namespace

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
    headTexts_.clear();
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

const QStaticText& ManageRowDelegate::prepared(QHash<QString, QStaticText>& kept, const QString& label,
                                               const QFont& font) const {
    if (kept.size() > kKnownLabelsLimit) {
        kept.clear();
    }
    auto known = kept.find(label);
    if (known == kept.end()) {
        QStaticText text(label);
        text.setTextFormat(Qt::PlainText);
        text.setPerformanceHint(QStaticText::AggressiveCaching);
        text.prepare(QTransform(), font);
        known = kept.insert(label, text);
    }
    return *known;
}

void ManageRowDelegate::drawLine(QPainter* p, const QRect& box, const QStaticText& text) const {
    const QFontMetricsF metrics(p->font());
    const QRectF drawn(QPointF(box.left(), box.top() + (box.height() - metrics.height()) / 2), text.size());
    if (!QRectF(box).contains(drawn)) {
        p->setClipRect(box, Qt::IntersectClip);
    }
    p->drawStaticText(drawn.topLeft(), text);
}

void ManageRowDelegate::drawMark(QPainter* p, Entry::State state, const QPointF& centre, const QColor& color) const {
    // Stroking the antialiased shapes costs far more than copying them; the copy is made where the
    // centre falls within its pixel, so that it lands on the very pixels the shape would.
    const QTransform& t = p->deviceTransform();
    const qreal scale = t.m11();
    if (t.type() > QTransform::TxScale || t.m22() != scale || scale <= 0) {
        markShape(*p, state, centre, color);
        return;
    }
    const QPointF at = t.map(centre);
    const QPointF pixel(std::floor(at.x()), std::floor(at.y()));
    const MarkLook look{state, color.rgba(), scale, at.x() - pixel.x(), at.y() - pixel.y()};
    const int half = static_cast<int>(std::ceil(kMarkHalf * scale));
    auto known = marks_.constFind(look);
    if (known == marks_.constEnd()) {
        if (marks_.size() > kMarksLimit) {
            marks_.clear();
        }
        QPixmap mark(2 * half, 2 * half);
        mark.fill(Qt::transparent);
        QPainter q(&mark);
        q.setRenderHint(QPainter::Antialiasing);
        q.translate(half + look.dx, half + look.dy);
        q.scale(scale, scale);
        markShape(q, state, QPointF(0, 0), color);
        q.end();
        mark.setDevicePixelRatio(scale);
        known = marks_.insert(look, mark);
    }
    p->drawPixmap(t.inverted().map(pixel - QPointF(half, half)), *known);
}

ManageRowDelegate::LaidText& ManageRowDelegate::laidOut(const QUuid& id, const QString& text, qreal first,
                                                        qreal width) const {
    // Bounded to about the rows on screen: the rows painted longest ago go first.
    if (laid_.size() > kLaidLimit) {
        for (auto kept = laid_.begin(); kept != laid_.end();) {
            kept = kept->painted + kLaidLimit / 2 < rowsPainted_ ? laid_.erase(kept) : std::next(kept);
        }
    }
    LaidText& laid = laid_[id];
    if (laid.paragraphs.empty() || laid.text != text || laid.first != first || laid.width != width) {
        laid =
            LaidText{text, first, width, std::vector<LaidParagraph>(static_cast<std::size_t>(text.count(u'\n') + 1))};
    }
    laid.painted = ++rowsPainted_;
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
    if (RowLabels::mayShowReminder(e)) {
        return textWidth - textWidth * 2 / 5 + kLabelGap;
    }
    RowLook look;
    look.stamp = e.time.value_or(QString());
    look.day = model_.labels().awayDay(row);
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
    const QString day = row.awayFromDay ? row.day : QString();
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
    const RowLook look = rowLook(model_, row, colors_, false);
    const QRect& r = option.rect;
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    switch (look.kind) {
    case Kind::Header: {
        const int line = QFontMetrics(fonts_.label).lineSpacing();
        QRect box(r.left() + kPadX, r.top() + kHeaderTop, r.width() - 2 * kPadX, line);
        p->setFont(fonts_.label);
        p->setPen(colors_.muted);
        drawLine(p, box, prepared(headTexts_, look.text, fonts_.label));
        if (look.today) {
            box.setLeft(box.left() + widthOf(fonts_.label, look.text) + 8);
            p->setPen(colors_.highlighter);
            drawLine(p, box, prepared(headTexts_, QStringLiteral("today"), fonts_.label));
        }
        break;
    }
    case Kind::Folded: {
        const QRect box(r.left() + kPadX + kBulletWidth, r.top() + kPadY, r.width() - 2 * kPadX - kBulletWidth,
                        r.height() - 2 * kPadY);
        p->setFont(fonts_.label);
        p->setPen(colors_.muted);
        drawLine(p, box, prepared(headTexts_, look.text, fonts_.label));
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
        // The accent marks a shortlisted entry.
        const QRectF bullet = bulletRect(r, fonts_);
        drawMark(p, look.state, QPointF(bullet.left() + 6, bullet.center().y()),
                 look.active ? colors_.highlighter : colors_.muted);
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
            const QStaticText& drawn = prepared(labelTexts_, label, fonts_.mono);
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
        std::optional<QList<LinkMatch>> links;
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
                    if (!links) {
                        links = Links::matches(look.text);
                    }
                    paragraph.layout = layParagraph(look.text, start, end, fonts_.text, *links, colors_.highlighter,
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

} // namespace plim
