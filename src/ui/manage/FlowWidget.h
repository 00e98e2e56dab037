#pragma once

#include <QLayout>
#include <QList>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
QT_END_NAMESPACE

namespace plim {

struct ThemeColors;

// Places its items left to right and starts a new line when the next one does not fit; each line
// at the left, or centred.
class FlowLayout final : public QLayout {
public:
    explicit FlowLayout(QWidget* parent, int spacing, Qt::Alignment lines = Qt::AlignLeft);
    ~FlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(items_.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    int place(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> items_;
    int spacing_;
    Qt::Alignment lines_;
};

// A widget whose children flow like words: the small labels of examples and key legends.
class FlowWidget final : public QWidget {
    Q_OBJECT
public:
    explicit FlowWidget(int spacing, QWidget* parent = nullptr, Qt::Alignment lines = Qt::AlignLeft);
    void add(QWidget* child);

private:
    FlowLayout* flow_;
};

// A key as the views show it: its text in the mono face on a small raised cap.
QLabel* keyCap(const QString& text, const QFont& mono, const ThemeColors& colors, QWidget* parent);

} // namespace plim
