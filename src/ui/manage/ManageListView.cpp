#include "ui/manage/ManageListView.h"

#include "base/Clock.h"
#include "platform/DesktopServices.h"
#include "store/NotesStore.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <utility>

namespace plim {

namespace {

using Kind = ManageModel::Row::Kind;

// What a line of a mouse wheel's notch scrolls, in pixels.
constexpr qreal kWheelLine = 24;

} // namespace

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
    // The layout the reset asked for is done now, with this frame, not as a frame of its own.
    executeDelayedItemsLayout();
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
    const int left = std::max(0, at.left() + RowLayout::kPadX + RowLayout::kBulletWidth - 12);
    const int width = std::min(440, viewport()->width() - left - RowLayout::kPadX / 2);
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
