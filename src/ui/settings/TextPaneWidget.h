#pragma once

#include <QWidget>

QT_BEGIN_NAMESPACE
class QComboBox;
QT_END_NAMESPACE

namespace plim {

class Preferences;
class SizeSliderWidget;

// The Text pane: the font, and the text sizes of the notes window and of the drawer.
class TextPaneWidget final : public QWidget {
    Q_OBJECT
public:
    explicit TextPaneWidget(Preferences& preferences, QWidget* parent = nullptr);

    QComboBox& fontPicker() { return *font_; }
    SizeSliderWidget& textSizeRow() { return *textSize_; }
    SizeSliderWidget& drawerTextSizeRow() { return *drawerTextSize_; }

Q_SIGNALS:
    // Another font was chosen (and stored): the settings are drawn in it too.
    void fontChanged();

private:
    Preferences& preferences_;
    QComboBox* font_ = nullptr;
    SizeSliderWidget* textSize_ = nullptr;
    SizeSliderWidget* drawerTextSize_ = nullptr;
};

} // namespace plim
