#include "ui/settings/CapturePaneWidget.h"

#include "store/Preferences.h"
#include "ui/settings/RecorderModel.h"
#include "ui/settings/SettingsModel.h"
#include "ui/settings/SettingsWidget.h"
#include "ui/theme/Fonts.h"
#include "ui/when/KeyNames.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace plim {

CapturePaneWidget::CapturePaneWidget(Preferences& preferences, ShortcutAccess& shortcuts, QWidget* parent)
    : QWidget(parent)
    , preferences_(preferences)
    , shortcuts_(shortcuts)
    , shortcutsBox_(new QWidget(this))
    , shortcutsLayout_(new QVBoxLayout(shortcutsBox_)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(6);
    shortcutsLayout_->setContentsMargins(0, 0, 0, 0);
    shortcutsLayout_->setSpacing(8);
    layout->addWidget(shortcutsBox_);
    readShortcuts();
    layout->addSpacing(14);

    opacity_ = new ValueRowWidget(u"Drawer opacity"_s, preferences_.opacity(), SettingsModel::opacityRange(), this);
    connect(opacity_, &ValueRowWidget::changed, this,
            [this](double value) { preferences_.setValue(PreferenceKey::opacity, value); });
    layout->addWidget(opacity_);
    layout->addWidget(captionLabel(keyText(SettingsModel::Text::opacityCaption()), this));
    layout->addSpacing(10);
    blur_ = new ValueRowWidget(u"Blur behind drawer"_s, preferences_.blurRadius(), SettingsModel::blurRange(), this);
    connect(blur_, &ValueRowWidget::changed, this,
            [this](double value) { preferences_.setValue(PreferenceKey::blurRadius, value); });
    layout->addWidget(blur_);
    layout->addWidget(captionLabel(SettingsModel::Text::blurCaption(), this));
    layout->addStretch(1);

    connect(&shortcuts_, &ShortcutAccess::changed, this, &CapturePaneWidget::readShortcuts);
}

void CapturePaneWidget::readShortcuts() {
    const bool held = shortcuts_.holdsKeys();
    if (shortcutsHeld_ == held) {
        for (ShortcutRecorderWidget* recorder : std::as_const(recorders_)) {
            if (!recorder->isRecording()) {
                recorder->refresh();
            }
        }
        return;
    }
    shortcutsHeld_ = held;
    recorders_.clear();
    bindCommands_ = nullptr;
    while (QLayoutItem* item = shortcutsLayout_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    auto* box = new QWidget(shortcutsBox_);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(1, 1);
    if (!held) {
        bindCommands_ = captionLabel(SettingsModel::bindCommandsText(), shortcutsBox_);
        shortcutsLayout_->addWidget(bindCommands_);
    }
    int line = 0;
    for (const SettingsModel::ShortcutRow& row : SettingsModel::shortcutRows()) {
        auto* label = new QLabel(row.label, box);
        grid->addWidget(label, line, 0, Qt::AlignLeft | Qt::AlignTop);
        if (held) {
            auto* recorder = new ShortcutRecorderWidget(shortcuts_, row.name, box);
            recorder->field().setAccessibleName(row.label);
            // Level with the field, also when a warning shows below it.
            label->setMinimumHeight(recorder->field().sizeHint().height());
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            recorders_.append(recorder);
            grid->addWidget(recorder, line, 1);
        } else {
            auto* command = new QLabel(row.command, box);
            command->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            command->setFont(Fonts::inPixels(Fonts::mono(13), 13));
            grid->addWidget(command, line, 1);
        }
        ++line;
    }
    shortcutsLayout_->addWidget(box);
    Q_EMIT controlsReplaced();
}

} // namespace plim
