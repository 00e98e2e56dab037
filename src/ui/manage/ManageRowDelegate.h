#pragma once

#include "ui/manage/ManageRowLayout.h"
#include "ui/manage/ManageRowsModel.h"

#include <QHash>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <memory>
#include <optional>
#include <vector>

namespace plim {

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
    // A short text laid out once in one of the list's fonts (labels, day headers), kept.
    const QStaticText& prepared(QHash<QString, QStaticText>& kept, const QString& text, const QFont& font) const;
    // A single line in `box`, vertically centred, as QPainter::drawText would place it.
    void drawLine(QPainter* p, const QRect& box, const QStaticText& text) const;
    // The bullet's mark, drawn once per look and pixel offset and then copied.
    void drawMark(QPainter* p, Entry::State state, const QPointF& centre, const QColor& color) const;
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
        quint64 painted = 0; // when the row was last painted, in rows painted
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
    mutable QHash<QString, QStaticText> headTexts_;
    mutable QHash<QUuid, LaidText> laid_;
    mutable quint64 rowsPainted_ = 0;
    struct MarkLook {
        Entry::State state = Entry::State::Open;
        QRgb color = 0;
        qreal scale = 1;
        qreal dx = 0; // where the centre falls within its device pixel
        qreal dy = 0;
        friend bool operator==(const MarkLook&, const MarkLook&) = default;
        friend size_t qHash(const MarkLook& m, size_t seed) {
            return qHashMulti(seed, static_cast<int>(m.state), m.color, m.scale, m.dx, m.dy);
        }
    };
    mutable QHash<MarkLook, QPixmap> marks_;
};

} // namespace plim
