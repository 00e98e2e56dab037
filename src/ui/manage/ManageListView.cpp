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

int lineCount(const QString& text) {
    return static_cast<int>(text.count(u'\n')) + 1;
}

int widthOf(const QFont& font, const QString& text) {
    return text.isEmpty() ? 0 : int(std::ceil(QFontMetricsF(font).horizontalAdvance(text))) + 1;
}

// One line of an entry's text, laid out without wrapping, its links marked.
struct LaidLine {
    std::unique_ptr<QTextLayout> layout;
    qsizetype start = 0; // where the line starts in the entry's text
};

LaidLine layLine(const QString& text, qsizetype start, qsizetype end, const QFont& font, const RowLook& look,
                 const QColor& accent, std::optional<qreal> fitTo = std::nullopt) {
    LaidLine out;
    out.start = start;
    QString shown = text.mid(start, std::min(end - start, kLineCut));
    // A line wider than its room ends in an ellipsis rather than a letter cut in half.
    if (fitTo && QFontMetricsF(font).horizontalAdvance(shown) > *fitTo) {
        shown = QFontMetricsF(font).elidedText(shown, Qt::ElideRight, *fitTo);
    }
    const qsizetype length = shown.size();
    out.layout = std::make_unique<QTextLayout>(shown, font);
    QList<QTextLayout::FormatRange> formats;
    for (const LinkMatch& link : look.links) {
        const qsizetype from = std::max(link.start, start);
        const qsizetype to = std::min(link.start + link.length, start + length);
        if (from < to) {
            QTextCharFormat format;
            format.setForeground(accent);
            format.setFontUnderline(true);
            formats.append({static_cast<int>(from - start), static_cast<int>(to - from), format});
        }
    }
    out.layout->setFormats(formats);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    out.layout->setTextOption(option);
    out.layout->beginLayout();
    QTextLine line = out.layout->createLine();
    if (line.isValid()) {
        line.setLeadingIncluded(true);
    }
    out.layout->endLayout();
    return out;
}

} // namespace

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
        look.stamp = e.time.value_or(QString());
        look.reminder = model.reminderLabel(e).value_or(QString());
        // The day tells most where the entry is listed away from it: under "Now" and "Active".
        if (model.mode() == ManageModel::Mode::Log && row.heading != row.day) {
            look.day = model.dayLabel(row).value_or(QString());
        }
        look.selected = model.selectedID() == e.id;
        break;
    }
    }
    return look;
}

ListFonts ListFonts::of(FontChoice choice, double textSize) {
    return ListFonts{Fonts::inPixels(Fonts::sans(choice, textSize, QFont::Normal), textSize),
                     Fonts::inPixels(Fonts::sans(choice, kLabelSize, QFont::DemiBold), kLabelSize),
                     Fonts::inPixels(Fonts::mono(kLabelSize), kLabelSize)};
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
    setLineWrapMode(QPlainTextEdit::NoWrap);
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
    const int width = widthOf(fonts_.mono, look.stamp);
    const int line = QFontMetrics(fonts_.text).lineSpacing();
    return {row.right() - kPadX - width, row.top() + kPadY, width, line};
}

QSize ManageRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const ManageModel::Row row = rows_.row(index.row());
    const int width = option.rect.width();
    switch (row.kind) {
    case Kind::Header:
        return {width, kHeaderTop + QFontMetrics(fonts_.label).lineSpacing() + kPadY};
    case Kind::Folded:
        return {width, QFontMetrics(fonts_.label).lineSpacing() + 2 * kPadY};
    case Kind::Entry:
        break;
    }
    const bool editing = model_.editingID() == row.entry.id;
    const int lines = lineCount(editing ? model_.editingText() : row.entry.text);
    return {width, lines * QFontMetrics(fonts_.text).lineSpacing() + 2 * kPadY};
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
        // Labels on the first line, from the right: time stamp, reminder, day. They leave the text at
        // least 40% of the row: the day goes first, then the reminder label is cut short.
        const int line = QFontMetrics(fonts_.text).lineSpacing();
        const QRect full = textRect(r);
        const int room = full.width() - full.width() * 2 / 5;
        const QFontMetrics mono(fonts_.mono);
        auto width = [&](const QString& t) { return t.isEmpty() ? 0 : widthOf(fonts_.mono, t) + kLabelGap; };
        QString stamp = look.stamp;
        QString reminder = look.reminder;
        QString day = look.day;
        if (width(stamp) + width(reminder) + width(day) > room) {
            day.clear();
        }
        if (width(stamp) + width(reminder) > room) {
            reminder = mono.elidedText(reminder, Qt::ElideRight, std::max(0, room - width(stamp) - kLabelGap));
        }
        int right = r.right() - kPadX;
        p->setFont(fonts_.mono);
        for (const auto& [label, color] : {std::pair{stamp, colors_.muted}, std::pair{reminder, colors_.highlighter},
                                           std::pair{day, colors_.muted}}) {
            if (label.isEmpty()) {
                continue;
            }
            const int w = widthOf(fonts_.mono, label);
            p->setPen(color);
            p->drawText(QRect(right - w, r.top() + kPadY, w, line), Qt::AlignRight | Qt::AlignVCenter, label);
            right -= w + kLabelGap;
        }
        if (model_.editingID() == row.entry.id) {
            break; // the editor stands over the text
        }
        QRect text = textRect(r);
        text.setRight(std::max(text.left(), right));
        p->setClipRect(text.adjusted(0, -kPadY, 0, kPadY), Qt::IntersectClip);
        p->setPen(look.textColor);
        const QRect exposed = option.widget ? option.widget->rect() : r;
        qsizetype start = 0;
        for (int i = 0; start <= look.text.size(); ++i) {
            qsizetype end = look.text.indexOf(u'\n', start);
            if (end < 0) {
                end = look.text.size();
            }
            const int y = text.top() + i * line;
            if (y > exposed.bottom()) {
                break;
            }
            if (y + line >= exposed.top()) {
                const LaidLine laid =
                    layLine(look.text, start, end, fonts_.text, look, colors_.highlighter, qreal(text.width()));
                laid.layout->draw(p, QPointF(text.left(), y));
                if (look.strikeColor && laid.layout->lineCount() > 0) {
                    const QTextLine l = laid.layout->lineAt(0);
                    const qreal mid = y + l.ascent() - QFontMetricsF(fonts_.text).xHeight() / 2;
                    p->setPen(QPen(*look.strikeColor, 1.5));
                    p->drawLine(QPointF(text.left(), mid),
                                QPointF(text.left() + std::min<qreal>(l.naturalTextWidth(), text.width()), mid));
                    p->setPen(look.textColor);
                }
            }
            start = end + 1;
        }
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
    const int lineIndex = (pos.y() - text.top()) / QFontMetrics(fonts_.text).lineSpacing();
    qsizetype start = 0;
    for (int i = 0; i < lineIndex && start >= 0; ++i) {
        start = row.entry.text.indexOf(u'\n', start);
        start = start < 0 ? -1 : start + 1;
    }
    if (start < 0) {
        return std::nullopt;
    }
    qsizetype end = row.entry.text.indexOf(u'\n', start);
    end = end < 0 ? row.entry.text.size() : end;
    RowLook look;
    look.links = links;
    const LaidLine laid = layLine(row.entry.text, start, end, fonts_.text, look, colors_.highlighter);
    if (laid.layout->lineCount() == 0) {
        return std::nullopt;
    }
    const QTextLine line = laid.layout->lineAt(0);
    const qreal x = pos.x() - text.left();
    if (x > line.naturalTextWidth()) {
        return std::nullopt;
    }
    const qsizetype at = start + line.xToCursor(x, QTextLine::CursorOnCharacter);
    for (const LinkMatch& link : links) {
        if (at >= link.start && at < link.start + link.length) {
            return link.url;
        }
    }
    return std::nullopt;
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
    setBatchSize(200);
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
    setWordWrap(false);
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
        const int lines = lineCount(model_.editingText());
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
    if (model_.selectedByPointer()) {
        model_.setSelectedByPointer(false);
        return;
    }
    const auto id = model_.selectedID();
    if (!id) {
        return;
    }
    const int row = rows_->rowOf(*id);
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
            editLines_ = lineCount(model_.editingText());
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
