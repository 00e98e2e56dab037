#include "ui/settings/TextPaneWidget.h"

#include "store/Preferences.h"
#include "ui/settings/SettingsWidget.h"
#include "ui/theme/Fonts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace plim {

TextPaneWidget::TextPaneWidget(Preferences& preferences, QWidget* parent)
    : QWidget(parent)
    , preferences_(preferences) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(6);

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(u"Font"_s, this), 1);
    font_ = new QComboBox(this);
    font_->setAccessibleName(u"Font"_s);
    for (const FontChoice choice : allCases<FontChoice>) {
        font_->addItem(Fonts::displayName(choice), toRaw(choice));
    }
    font_->setCurrentIndex(font_->findData(toRaw(preferences_.font())));
    row->addWidget(font_);
    layout->addLayout(row);
    layout->addSpacing(14);

    textSize_ = new SizeSliderWidget(u"Notes text size"_s, preferences_.textSize(), preferences_.font(), this);
    connect(textSize_, &SizeSliderWidget::changed, this,
            [this](double size) { preferences_.setValue(PreferenceKey::textSize, size); });
    layout->addWidget(textSize_);
    layout->addSpacing(14);
    drawerTextSize_ =
        new SizeSliderWidget(u"Drawer text size"_s, preferences_.drawerTextSize(), preferences_.font(), this);
    connect(drawerTextSize_, &SizeSliderWidget::changed, this,
            [this](double size) { preferences_.setValue(PreferenceKey::drawerTextSize, size); });
    layout->addWidget(drawerTextSize_);
    layout->addStretch(1);

    connect(font_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const QString raw = font_->itemData(index).toString();
        preferences_.setValue(PreferenceKey::font, raw);
        const FontChoice choice = fromRaw<FontChoice>(raw).value_or(FontChoice::Hyperlegible);
        textSize_->setFontChoice(choice);
        drawerTextSize_->setFontChoice(choice);
        Q_EMIT fontChanged();
    });
}

} // namespace plim
