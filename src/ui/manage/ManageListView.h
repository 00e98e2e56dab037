#pragma once

#include "ui/manage/Links.h"
#include "ui/manage/ManageModel.h"
#include "ui/theme/Theme.h"
#include "ui/when/WhenFieldWidget.h"

#include <QAbstractListModel>
#include <QFont>
#include <QHash>
#include <QListView>
#include <QPlainTextEdit>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace plim {

class DesktopServices;

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
RowLook rowLook(const ManageModel& model, const ManageModel::Row& row, const ThemeColors& colors);
// Only the labels of an entry row (time stamp, reminder, day), which its height depends on.
void rowLabels(const ManageModel& model, const ManageModel::Row& row, RowLook& look);

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

// The model's rows as a Qt list model: each row is read from the model when it is asked for, so a
// long list costs only the rows on screen.
class ManageRowsModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ManageRowsModel(ManageModel& model, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    ManageModel::Row row(int index) const { return model_.rowAt(index); }
    // The list row of an entry, -1 when it is not listed.
    int rowOf(const QUuid& id) const { return model_.rowIndex(id); }
    // The model's list changed: every row is read again.
    void refresh();

private:
    ManageModel& model_;
};

// The in-place editor: several lines, Return saves and Escape cancels (Shift+Return is the
// window's: it adds a line). What is typed goes to the model at once, so hiding keeps it.
class RowEditor final : public QPlainTextEdit {
    Q_OBJECT
public:
    RowEditor(ManageModel& model, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ManageModel& model_;
};

// Paints the rows: a day's header, an entry (bullet, text with its links, time stamp and labels),
// the folded row under a past day. Entries wrap to the list's width; only a paragraph wider than its
// line is laid out to find its height.
class ManageRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    ManageRowDelegate(ManageModel& model, const ManageRowsModel& rows, QObject* parent = nullptr);

    // The labels on an entry's first line as they fit it.
    struct Labels {
        QString stamp;
        QString reminder;
        QString day;
        int width = 0; // what they take from the first line, gaps included
    };

    void setLook(const ThemeColors& colors, const ListFonts& fonts);
    const ThemeColors& colors() const { return colors_; }
    const ListFonts& fonts() const { return fonts_; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // Where an entry row's bullet is, and the link under a point of the row.
    static QRect bulletRect(const QRect& row, const ListFonts& fonts);
    std::optional<QUrl> linkAt(const QRect& rowRect, const QModelIndex& index, const QPoint& pos) const;
    // The editing row's height follows its text, wrapped as the row was: this many lines at this
    // width of the list.
    void editingTextChanged(const QModelIndex& index);
    int editorLines(int viewWidth) const;

protected:
    // The editor's keys are its own and the window's, not the view's.
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    QRect stampRect(const QRect& row, const RowLook& look) const;
    // What the labels take of an entry's first line, at most; and how many lines its text takes.
    int labelRoom(const ManageModel::Row& row, int textWidth) const;
    int entryLines(const ManageModel::Row& row, int textWidth) const;
    // entryLines, kept for the entries seen at this width.
    int knownLines(const ManageModel::Row& row, int textWidth) const;
    // A label's width, the labels fitted to a row, and a label laid out, kept.
    int labelWidthOf(const QString& label) const;
    Labels labelsFor(const RowLook& look, int textWidth) const;
    const QStaticText& labelText(const QString& label) const;
    // An entry's text laid out paragraph by paragraph, as far as it was painted.
    struct LaidParagraph {
        int lines = -1;
        std::shared_ptr<QTextLayout> layout;
    };
    struct LaidText {
        QString text;
        qreal first = 0;
        qreal width = 0;
        std::vector<LaidParagraph> paragraphs;
    };
    LaidText& laidOut(const QUuid& id, const QString& text, qreal first, qreal width) const;
    QRect textRect(const QRect& row) const;

    ManageModel& model_;
    const ManageRowsModel& rows_;
    ThemeColors colors_;
    ListFonts fonts_;
    // What an entry's line count was worked out from, and the count.
    struct KnownLines {
        QString text;
        std::optional<QString> comment;
        std::optional<QString> time;
        Entry::State state = Entry::State::Open;
        QString day; // where the entry is listed away from its day: that day, whose label takes room
        int lines = 1;
    };
    mutable QHash<QUuid, KnownLines> lines_;
    mutable int linesWidth_ = -1;
    mutable QHash<QString, int> labelWidths_;
    mutable QHash<QString, Labels> fitted_;
    mutable QHash<QString, QStaticText> labelTexts_;
    mutable QHash<QUuid, LaidText> laid_;
};

// The card the when field stands on under its row.
class WhenCard final : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    ThemeColors colors = Theme::colors(Appearance::Light);

protected:
    void paintEvent(QPaintEvent* event) override;
};

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
