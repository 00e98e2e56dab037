#pragma once

#include "ui/manage/ManageModel.h"
#include "ui/manage/ManageRowDelegate.h"
#include "ui/manage/ManageRowsModel.h"
#include "ui/theme/Theme.h"
#include "ui/when/WhenCard.h"
#include "ui/when/WhenFieldWidget.h"

#include <QListView>
#include <QPersistentModelIndex>

#include <optional>
#include <utility>

namespace plim {

class DesktopServices;

// The virtualised notes list over the model: it follows the model's selection and turns clicks
// into the model's operations. Rows are placed from the one at the top of the screen down, so a
// change of the list costs the rows on screen, never the whole list: nothing is laid out ahead, and
// the first frame after a change already shows the rows. The scroll bar counts rows.
class ManageListView final : public QListView {
    Q_OBJECT
public:
    ManageListView(ManageModel& model, DesktopServices& desktop, QWidget* parent = nullptr);

    ManageRowsModel& rows() { return *rows_; }
    ManageRowDelegate& delegate() { return *delegate_; }
    void setLook(const ThemeColors& colors);
    // The open in-place editor, if any.
    RowEditor* editor() const;
    // The when field, shown under the row of the entry it is open on.
    WhenCard& whenCard() { return *whenCard_; }
    WhenFieldWidget& whenField() { return *when_; }

    QRect visualRect(const QModelIndex& index) const override;
    QModelIndex indexAt(const QPoint& point) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    void doItemsLayout() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void updateGeometries() override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override { return topOffset_; }
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect&, QItemSelectionModel::SelectionFlags) override {}
    QRegion visualRegionForSelection(const QItemSelection&) const override { return {}; }
    // Letters the keys leave alone do not jump through the list.
    void keyboardSearch(const QString&) override {}

private:
    // A row's height at the list's width.
    int rowHeight(int row) const;
    // Where a row's top is on screen, when it is within a screen of what shows; none farther off.
    std::optional<int> rowTop(int row) const;
    // Scrolls by pixels (down when positive), row by row.
    void scrollByPixels(int dy);
    // Puts `row` at `y` on screen (as far as the list's ends allow).
    void placeRow(int row, int y);
    // Keeps the last screen full: the list never scrolls past its end.
    void clampToEnd();
    // The scroll bar says where the top row is; the editor and the when field follow the rows.
    void placed();
    void syncWhenField();
    void placeWhenField();
    void reloadRows();
    void followSelection();
    void scrollToSelection();
    void syncCurrent();
    void syncEditor();
    void applyFonts();

    ManageModel& model_;
    DesktopServices& desktop_;
    ManageRowsModel* rows_;
    ManageRowDelegate* delegate_;
    QPersistentModelIndex editing_;
    int editLines_ = 0;
    // What a row's height is asked with: the view, whose width the rows wrap to.
    QStyleOptionViewItem sizing_;
    // The row at the top of the screen and how many of its pixels are scrolled above it.
    int top_ = 0;
    int topOffset_ = 0;
    // Where the selected row stood on screen when last painted: a change of the list puts the
    // selection (the same entry, or the one that took its place) back there.
    std::optional<int> selectedY_;
    int selectedRow_ = -1;
    // The first entry wholly on screen and where it stood, kept still by a change when the
    // selection is not on screen.
    std::optional<std::pair<QUuid, int>> firstShown_;
    // Set from a change of the list until the next frame: a selection made with the change takes
    // the place (anchorY_) of the one before.
    bool anchoring_ = false;
    int anchorY_ = 0;
    // The scroll bar is being set from the rows, not moved by the user.
    bool syncing_ = false;
    qreal wheelRest_ = 0;
    WhenCard* whenCard_;
    WhenFieldWidget* when_;
};

} // namespace plim
