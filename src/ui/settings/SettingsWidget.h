#pragma once

#include "store/Preferences.h"
#include "ui/settings/RecorderModel.h"
#include "ui/settings/SettingsModel.h"

#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
class QLineEdit;
class QSlider;
class QToolButton;
QT_END_NAMESPACE

namespace plim {

// What a label of the settings says, and so how the window draws it: captions small and muted,
// errors small in the error colour, preset numbers in the monospaced face.
enum class LabelRole { Plain, Caption, Error, Number };
QLabel* roleLabel(LabelRole role, const QString& text, QWidget* parent);
LabelRole labelRole(const QLabel& label);
// The words under a control, wrapped to the pane's width.
QLabel* captionLabel(const QString& text, QWidget* parent);

// One row of a number setting: label, slider, a field for a typed number, and the unit.
class ValueRowWidget final : public QWidget {
    Q_OBJECT
public:
    ValueRowWidget(const QString& label, double value, SettingsModel::ValueRange range, QWidget* parent = nullptr);

    double value() const { return value_; }
    QSlider& slider() { return *slider_; }
    QLineEdit& field() { return *field_; }

Q_SIGNALS:
    // The user changed the value (by the slider or a typed number).
    void changed(double value);

private:
    void take(double value);
    void show(double value);

    SettingsModel::ValueRange range_;
    double value_ = 0;
    QSlider* slider_;
    QLineEdit* field_;
};

// A text size row, followed by a sample line drawn at the chosen size.
class SizeSliderWidget final : public QWidget {
    Q_OBJECT
public:
    SizeSliderWidget(const QString& label, double value, FontChoice font, QWidget* parent = nullptr);

    ValueRowWidget& row() { return *row_; }
    QLabel& sample() { return *sample_; }
    void setFontChoice(FontChoice font);

Q_SIGNALS:
    void changed(double value);

private:
    void drawSample();

    ValueRowWidget* row_;
    QLabel* sample_;
    FontChoice font_;
};

// The field of one global shortcut: shows it or a placeholder; a click (or focus) starts recording,
// the next combination becomes the shortcut unless it is refused with a warning; the button
// removes it.
class ShortcutRecorderWidget final : public QWidget {
    Q_OBJECT
public:
    ShortcutRecorderWidget(ShortcutAccess& access, QString name, QWidget* parent = nullptr);
    ~ShortcutRecorderWidget() override;

    bool isRecording() const { return recording_; }
    void startRecording();
    void stopRecording();
    // Reads the shortcut again.
    void refresh();

    QLineEdit& field() { return *field_; }
    QToolButton& clearButton() { return *clear_; }
    QLabel& warning() { return *warning_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pressed(QKeyCombination combination);

    ShortcutAccess& access_;
    QString name_;
    QLineEdit* field_;
    QToolButton* clear_;
    QLabel* warning_;
    bool recording_ = false;
};

} // namespace plim
