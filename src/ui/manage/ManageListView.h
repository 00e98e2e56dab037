#pragma once

#include "ui/capture/WhenFieldWidget.h"
#include "ui/manage/Links.h"
#include "ui/manage/ManageModel.h"
#include "ui/theme/Theme.h"

#include <QAbstractListModel>
#include <QFont>
#include <QListView>
#include <QPlainTextEdit>
#include <QStyledItemDelegate>

#include <array>
#include <optional>

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
    QRect textRect(const QRect& row) const;

    ManageModel& model_;
    const ManageRowsModel& rows_;
    ThemeColors colors_;
    ListFonts fonts_;
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
// into the model's operations.
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

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void updateGeometries() override;
    // Letters the keys leave alone do not jump through the list.
    void keyboardSearch(const QString&) override {}

private:
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
    // Tries left to scroll to a selection whose row is not laid out yet.
    int scrollTries_ = 0;
    WhenCard* whenCard_;
    WhenFieldWidget* when_;
};

} // namespace plim
