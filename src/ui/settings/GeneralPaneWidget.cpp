#include "ui/settings/GeneralPaneWidget.h"

#include "platform/LaunchAtLogin.h"
#include "store/Preferences.h"
#include "ui/settings/SettingsModel.h"
#include "ui/settings/SettingsWidget.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace plim {

GeneralPaneWidget::GeneralPaneWidget(Preferences& preferences, LaunchAtLogin& launchAtLogin, FileChooser chooseFile,
                                     QWidget* parent)
    : QWidget(parent)
    , preferences_(preferences)
    , launchAtLogin_(launchAtLogin)
    , chooseFile_(chooseFile ? std::move(chooseFile) : FileChooser(&GeneralPaneWidget::askForNotesFile))
    , notesPath_(new QLineEdit(QDir::toNativeSeparators(preferences.notesFilePath()), this))
    , choose_(new QPushButton(u"Choose\u2026"_s, this))
    , notesError_(roleLabel(LabelRole::Error, QString(), this))
    , launch_(new QCheckBox(u"Launch at login"_s, this))
    , launchError_(roleLabel(LabelRole::Error, QString(), this))
    , version_(
          roleLabel(LabelRole::Caption, SettingsModel::Text::version(QCoreApplication::applicationVersion()), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(6);

    auto* heading = new QLabel(u"Notes file"_s, this);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    auto* row = new QHBoxLayout;
    notesPath_->setReadOnly(true);
    notesPath_->setAccessibleName(u"Notes file"_s);
    row->addWidget(notesPath_, 1);
    connect(choose_, &QPushButton::clicked, this, &GeneralPaneWidget::chooseNotesFile);
    row->addWidget(choose_);
    layout->addLayout(row);
    notesError_->setWordWrap(true);
    notesError_->hide();
    layout->addWidget(notesError_);
    layout->addWidget(captionLabel(SettingsModel::Text::notesFileCaption(), this));
    layout->addSpacing(14);

    launch_->setChecked(launchAtLogin_.isRegistered());
    connect(launch_, &QCheckBox::toggled, this, &GeneralPaneWidget::switchLaunchAtLogin);
    layout->addWidget(launch_);
    launchError_->setWordWrap(true);
    launchError_->hide();
    layout->addWidget(launchError_);

    layout->addStretch(1);
    version_->setAlignment(Qt::AlignHCenter);
    layout->addWidget(version_);
}

std::optional<QString> GeneralPaneWidget::askForNotesFile(QWidget* parent, const QString& current) {
    QFileDialog dialog(parent, SettingsModel::Text::chooseTitle());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(u"Markdown (*.md)"_s);
    dialog.setDefaultSuffix(u"md"_s);
    dialog.setDirectory(QFileInfo(current).absolutePath());
    dialog.selectFile(u"plim.md"_s);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    return chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen);
}

void GeneralPaneWidget::readLaunchAtLogin() {
    const QSignalBlocker blocker(launch_);
    launch_->setChecked(launchAtLogin_.isRegistered());
}

void GeneralPaneWidget::chooseNotesFile() {
    activateWindow();
    const QString current = preferences_.notesFilePath();
    const std::optional<QString> chosen = chooseFile_(window(), current);
    if (!chosen) {
        return;
    }
    const std::optional<QString> error = SettingsModel::chooseNotesFile(preferences_, *chosen);
    notesError_->setText(error.value_or(QString()));
    notesError_->setVisible(error.has_value());
    notesPath_->setText(QDir::toNativeSeparators(preferences_.notesFilePath()));
}

void GeneralPaneWidget::switchLaunchAtLogin(bool on) {
    const SettingsModel::LaunchResult result = SettingsModel::setLaunchAtLogin(launchAtLogin_, on);
    launchError_->setText(result.error.value_or(QString()));
    launchError_->setVisible(result.error.has_value());
    const QSignalBlocker blocker(launch_);
    launch_->setChecked(result.registered);
}

} // namespace plim
