#pragma once

#include "ui/theme/Theme.h"

#include <QWidget>

namespace plim {

// The card the when field stands on under its row.
class WhenCard final : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    ThemeColors colors = Theme::colors(Appearance::Light);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace plim
