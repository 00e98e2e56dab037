#pragma once

#include "store/Preferences.h"
#include "ui/theme/Theme.h"
#include "ui/when/WhenFieldModel.h"

#include <QLineEdit>
#include <QList>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
QT_END_NAMESPACE

namespace plim {

class Clock;

// How the drawer and the when field set their text: the described sizes are device-independent
// pixels here, as the drawer's own measures are.
struct DrawerFonts {
    FontChoice choice = FontChoice::Hyperlegible;
    QFont sans(qreal size) const;
    static QFont mono(qreal size);
};

// The when field's single-line text field: Return, the arrows, Tab, Escape and Delete in an empty
// field go to the model; everything else is ordinary editing.
class WhenLineEdit final : public QLineEdit {
    Q_OBJECT
public:
    explicit WhenLineEdit(WhenFieldModel& model, QWidget* parent = nullptr);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    WhenFieldModel& model_;
};

// The nine preset rows: number, phrase and what each would do now; the picked row is raised.
class PresetRowsWidget final : public QWidget {
    Q_OBJECT
public:
    explicit PresetRowsWidget(QWidget* parent = nullptr);
    void setRows(const QList<WhenFieldModel::PresetRow>& rows);
    void setLook(const ThemeColors& colors, const DrawerFonts& fonts);
    const QList<WhenFieldModel::PresetRow>& rows() const { return rows_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    // A row was clicked.
    void picked(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int rowHeight() const;

    QList<WhenFieldModel::PresetRow> rows_;
    ThemeColors colors_;
    DrawerFonts fonts_;
};

// The when field: the phrase, what it will do, and the presets. In the drawer style a divider
// leads it; the popover style ends with its key hints.
class WhenFieldWidget final : public QWidget {
    Q_OBJECT
public:
    enum class Style { Popover, Drawer };

    WhenFieldWidget(WhenFieldModel& model, const Clock& clock, Style style, QWidget* parent = nullptr);

    void setLook(const ThemeColors& colors, const DrawerFonts& fonts);
    // Re-reads the model (the preview and the rows depend on the moment too).
    void refresh();
    // Takes the keyboard, again a little later when the window becomes active only after showing.
    void takeFocus();

    WhenLineEdit& field() { return *field_; }
    QLabel& preview() { return *preview_; }
    PresetRowsWidget& rows() { return *rows_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    WhenFieldModel& model_;
    const Clock& clock_;
    Style style_;
    ThemeColors colors_;
    WhenLineEdit* field_;
    QLabel* preview_;
    PresetRowsWidget* rows_;
    QLabel* keyHint_ = nullptr;
};

// The three-by-three grid of presets the drawer shows while Ctrl alone is held.
class PresetPeekWidget final : public QWidget {
    Q_OBJECT
public:
    explicit PresetPeekWidget(QWidget* parent = nullptr);
    void setCells(const QList<WhenFieldModel::PeekCell>& cells);
    void setLook(const ThemeColors& colors, const DrawerFonts& fonts);
    const QList<WhenFieldModel::PeekCell>& cells() const { return cells_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int cellHeight() const;

    QList<WhenFieldModel::PeekCell> cells_;
    ThemeColors colors_;
    DrawerFonts fonts_;
};

} // namespace plim
