#include "ui/settings/SettingsWindow.h"

#include "base/Clock.h"
#include "platform/LaunchAtLogin.h"
#include "platform/linux/XcbWindow.h"
#include "store/Preferences.h"
#include "ui/settings/RecorderModel.h"
#include "ui/settings/SettingsModel.h"
#include "ui/settings/SettingsWidget.h"
#include "ui/theme/Fonts.h"
#include "ui/theme/FrameRole.h"
#include "ui/theme/ScreenFit.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WordKeys.h"
#include "ui/when/KeyNames.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace plim {

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 620;
constexpr auto kStatusAgain = std::chrono::seconds(1);

QColor errorColor(Appearance appearance) {
    return appearance == Appearance::Dark ? QColor(0xff, 0x7b, 0x72) : QColor(0xc4, 0x2b, 0x1c);
}

QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - t) + b.redF() * t),
                            static_cast<float>(a.greenF() * (1 - t) + b.greenF() * t),
                            static_cast<float>(a.blueF() * (1 - t) + b.blueF() * t));
}

QPalette paletteFor(const ThemeColors& c) {
    QPalette p;
    p.setColor(QPalette::Window, c.ground);
    p.setColor(QPalette::WindowText, c.ink);
    p.setColor(QPalette::Base, c.surface);
    p.setColor(QPalette::AlternateBase, c.surface);
    p.setColor(QPalette::Text, c.ink);
    p.setColor(QPalette::Button, c.surface);
    p.setColor(QPalette::ButtonText, c.ink);
    p.setColor(QPalette::BrightText, c.ground);
    p.setColor(QPalette::ToolTipBase, c.surface);
    p.setColor(QPalette::ToolTipText, c.ink);
    p.setColor(QPalette::PlaceholderText, c.muted);
    p.setColor(QPalette::Highlight, c.highlighter);
    p.setColor(QPalette::HighlightedText, isDark(c.highlighter) ? QColor(Qt::white) : QColor(Qt::black));
    p.setColor(QPalette::Link, c.highlighter);
    // Frames and slider grooves of the style are drawn from these.
    p.setColor(QPalette::Light, mix(c.surface, Qt::white, 0.3));
    p.setColor(QPalette::Midlight, mix(c.surface, c.ink, 0.1));
    p.setColor(QPalette::Mid, mix(c.ground, c.ink, 0.3));
    p.setColor(QPalette::Dark, mix(c.ground, c.ink, 0.45));
    p.setColor(QPalette::Shadow, mix(c.ground, Qt::black, 0.5));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, c.muted);
    }
    return p;
}

// The pane's content, scrolled when a large text size makes it taller than the window.
QWidget* scrolled(QWidget* content) {
    auto* area = new QScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    // Tab goes from the tabs straight to the pane's first control.
    area->setFocusPolicy(Qt::NoFocus);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return area;
}

QLabel* heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

SettingsWindow::SettingsWindow(Services services, QWidget* parent)
    : QWidget(parent)
    , services_(std::move(services))
    , style_(QStyleFactory::create(u"Fusion"_s)) {
    setWindowTitle(u"plim Settings"_s);
    WordKeys::install();
    announceWindowsAsFrames();
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, false);
    setFixedSize(kWidth, kHeight);
    if (!services_.chooseFile) {
        services_.chooseFile = &SettingsWindow::askForNotesFile;
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    tabs_ = new QTabWidget(this);
    tabs_->setDocumentMode(true);
    tabs_->tabBar()->setExpanding(true);
    // Each pane is named as its tab, for screen readers.
    const auto addPane = [this](QWidget* pane, const QString& name) {
        pane->setAccessibleName(name);
        tabs_->addTab(scrolled(pane), name);
    };
    addPane(buildGeneral(), u"General"_s);
    addPane(buildCapture(), u"Capture"_s);
    addPane(buildText(), u"Text"_s);
    addPane(buildReminders(), u"Reminders"_s);
    setTabSymbols();
    layout->addWidget(tabs_);
    // The keyboard starts on the panes' tabs: the arrows switch panes, Tab walks the controls.
    tabs_->tabBar()->setFocusPolicy(Qt::StrongFocus);
    tabs_->tabBar()->setFocus(Qt::OtherFocusReason);
    // The notification status is read whenever the Reminders pane appears.
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == static_cast<int>(Pane::Reminders) && isVisible()) {
            readStatus();
        }
    });

    connect(&services_.theme, &Theme::appearanceChanged, this, &SettingsWindow::applyLook);
    connect(&services_.shortcuts, &ShortcutAccess::changed, this, &SettingsWindow::buildShortcuts);
    applyLook();
}

SettingsWindow::~SettingsWindow() = default;

std::optional<QString> SettingsWindow::askForNotesFile(QWidget* parent, const QString& current) {
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

// The desktop's symbols for the four panes, when its icon theme has all four; a row with a gap
// reads worse than none.
void SettingsWindow::setTabSymbols() {
    const QStringList candidates[] = {
        {u"preferences-system"_s, u"preferences-system-symbolic"_s},
        {u"input-keyboard"_s, u"input-keyboard-symbolic"_s},
        {u"preferences-desktop-font"_s, u"font-x-generic"_s, u"preferences-desktop-font-symbolic"_s},
        {u"preferences-desktop-notification"_s, u"preferences-system-notifications"_s,
         u"preferences-system-notifications-symbolic"_s, u"alarm-symbolic"_s},
    };
    QList<QIcon> icons;
    for (const QStringList& names : candidates) {
        for (const QString& name : names) {
            if (QIcon::hasThemeIcon(name)) {
                icons.append(QIcon::fromTheme(name));
                break;
            }
        }
    }
    if (icons.size() != tabs_->count()) {
        return;
    }
    for (int i = 0; i < tabs_->count(); ++i) {
        tabs_->setTabIcon(i, icons.at(i));
    }
}

QLabel* SettingsWindow::caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    captions_.append(label);
    return label;
}

// --- General ---

QWidget* SettingsWindow::buildGeneral() {
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(6);

    layout->addWidget(heading(u"Notes file"_s, pane));
    auto* row = new QHBoxLayout;
    notesPath_ = new QLineEdit(QDir::toNativeSeparators(services_.preferences.notesFilePath()), pane);
    notesPath_->setReadOnly(true);
    notesPath_->setAccessibleName(u"Notes file"_s);
    row->addWidget(notesPath_, 1);
    choose_ = new QPushButton(u"Choose\u2026"_s, pane);
    connect(choose_, &QPushButton::clicked, this, &SettingsWindow::chooseNotesFile);
    row->addWidget(choose_);
    layout->addLayout(row);
    notesError_ = new QLabel(pane);
    notesError_->setWordWrap(true);
    notesError_->hide();
    errors_.append(notesError_);
    layout->addWidget(notesError_);
    layout->addWidget(caption(SettingsModel::Text::notesFileCaption(), pane));
    layout->addSpacing(14);

    launch_ = new QCheckBox(u"Launch at login"_s, pane);
    launch_->setChecked(services_.launchAtLogin.isRegistered());
    connect(launch_, &QCheckBox::toggled, this, &SettingsWindow::switchLaunchAtLogin);
    layout->addWidget(launch_);
    launchError_ = new QLabel(pane);
    launchError_->setWordWrap(true);
    launchError_->hide();
    errors_.append(launchError_);
    layout->addWidget(launchError_);

    layout->addStretch(1);
    version_ = new QLabel(SettingsModel::Text::version(QCoreApplication::applicationVersion()), pane);
    version_->setAlignment(Qt::AlignHCenter);
    captions_.append(version_);
    layout->addWidget(version_);
    return pane;
}

void SettingsWindow::chooseNotesFile() {
    activateWindow();
    const QString current = services_.preferences.notesFilePath();
    const std::optional<QString> chosen = services_.chooseFile(this, current);
    if (!chosen) {
        return;
    }
    const std::optional<QString> error = SettingsModel::chooseNotesFile(services_.preferences, *chosen);
    notesError_->setText(error.value_or(QString()));
    notesError_->setVisible(error.has_value());
    notesPath_->setText(QDir::toNativeSeparators(services_.preferences.notesFilePath()));
}

void SettingsWindow::switchLaunchAtLogin(bool on) {
    const SettingsModel::LaunchResult result = SettingsModel::setLaunchAtLogin(services_.launchAtLogin, on);
    launchError_->setText(result.error.value_or(QString()));
    launchError_->setVisible(result.error.has_value());
    const QSignalBlocker blocker(launch_);
    launch_->setChecked(result.registered);
}

// --- Capture ---

QWidget* SettingsWindow::buildCapture() {
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(6);
    shortcutsBox_ = new QWidget(pane);
    shortcutsLayout_ = new QVBoxLayout(shortcutsBox_);
    shortcutsLayout_->setContentsMargins(0, 0, 0, 0);
    shortcutsLayout_->setSpacing(8);
    layout->addWidget(shortcutsBox_);
    buildShortcuts();
    layout->addSpacing(14);

    Preferences& prefs = services_.preferences;
    opacity_ = new ValueRowWidget(u"Drawer opacity"_s, prefs.opacity(), SettingsModel::opacityRange(), pane);
    connect(opacity_, &ValueRowWidget::changed, this,
            [this](double value) { services_.preferences.setValue(PreferenceKey::opacity, value); });
    layout->addWidget(opacity_);
    layout->addWidget(caption(keyText(SettingsModel::Text::opacityCaption()), pane));
    layout->addSpacing(10);
    blur_ = new ValueRowWidget(u"Blur behind drawer"_s, prefs.blurRadius(), SettingsModel::blurRange(), pane);
    connect(blur_, &ValueRowWidget::changed, this,
            [this](double value) { services_.preferences.setValue(PreferenceKey::blurRadius, value); });
    layout->addWidget(blur_);
    layout->addWidget(caption(SettingsModel::Text::blurCaption(), pane));
    layout->addStretch(1);
    return pane;
}

void SettingsWindow::buildShortcuts() {
    const bool held = services_.shortcuts.holdsKeys();
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
        if (item->widget()) {
            captions_.removeAll(qobject_cast<QLabel*>(item->widget()));
            delete item->widget();
        }
        delete item;
    }
    auto* box = new QWidget(shortcutsBox_);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(1, 1);
    if (!held) {
        bindCommands_ = caption(SettingsModel::bindCommandsText(), shortcutsBox_);
        shortcutsLayout_->addWidget(bindCommands_);
    }
    int line = 0;
    for (const SettingsModel::ShortcutRow& row : SettingsModel::shortcutRows()) {
        auto* label = new QLabel(row.label, box);
        grid->addWidget(label, line, 0, Qt::AlignLeft | Qt::AlignTop);
        if (held) {
            auto* recorder = new ShortcutRecorderWidget(services_.shortcuts, row.name, box);
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
    applyLook();
}

// --- Text ---

QWidget* SettingsWindow::buildText() {
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(6);
    Preferences& prefs = services_.preferences;

    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(u"Font"_s, pane), 1);
    font_ = new QComboBox(pane);
    font_->setAccessibleName(u"Font"_s);
    for (const FontChoice choice : allCases<FontChoice>) {
        font_->addItem(Fonts::displayName(choice), toRaw(choice));
    }
    font_->setCurrentIndex(font_->findData(toRaw(prefs.font())));
    row->addWidget(font_);
    layout->addLayout(row);
    layout->addSpacing(14);

    textSize_ = new SizeSliderWidget(u"Notes text size"_s, prefs.textSize(), prefs.font(), pane);
    connect(textSize_, &SizeSliderWidget::changed, this,
            [this](double size) { services_.preferences.setValue(PreferenceKey::textSize, size); });
    layout->addWidget(textSize_);
    layout->addSpacing(14);
    drawerTextSize_ = new SizeSliderWidget(u"Drawer text size"_s, prefs.drawerTextSize(), prefs.font(), pane);
    connect(drawerTextSize_, &SizeSliderWidget::changed, this,
            [this](double size) { services_.preferences.setValue(PreferenceKey::drawerTextSize, size); });
    layout->addWidget(drawerTextSize_);
    layout->addStretch(1);

    connect(font_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const QString raw = font_->itemData(index).toString();
        services_.preferences.setValue(PreferenceKey::font, raw);
        const FontChoice choice = fromRaw<FontChoice>(raw).value_or(FontChoice::Hyperlegible);
        textSize_->setFontChoice(choice);
        drawerTextSize_->setFontChoice(choice);
        applyLook();
    });
    return pane;
}

// --- Reminders ---

QWidget* SettingsWindow::buildReminders() {
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(20, 12, 20, 10);
    layout->setSpacing(4);
    Preferences& prefs = services_.preferences;

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(SettingsModel::Text::notificationsLabel(), pane));
    status_ = new QLabel(pane);
    captions_.append(status_);
    statusRow->addWidget(status_, 1, Qt::AlignRight);
    statusButton_ = new QPushButton(pane);
    statusButton_->hide();
    connect(statusButton_, &QPushButton::clicked, this, [this] {
        if (statusShown_ == ReminderScheduler::Status::Off) {
            if (services_.scheduler) {
                services_.scheduler->requestNotifications();
                QTimer::singleShot(kStatusAgain, this, &SettingsWindow::readStatus);
            }
        } else {
            ReminderScheduler::openNotificationSettings();
        }
    });
    statusRow->addWidget(statusButton_);
    layout->addLayout(statusRow);
    layout->addWidget(caption(SettingsModel::Text::notificationsCaption(), pane));
    layout->addSpacing(6);

    ringHere_ = new QCheckBox(SettingsModel::Text::ringHereLabel(), pane);
    ringHere_->setChecked(prefs.ringOnThisMac());
    connect(ringHere_, &QCheckBox::toggled, this,
            [this](bool on) { services_.preferences.setValue(PreferenceKey::ringOnThisMac, on); });
    layout->addWidget(ringHere_);
    layout->addWidget(caption(SettingsModel::Text::ringHereCaption(), pane));
    layout->addSpacing(6);

    auto* days = new QGridLayout;
    days->setColumnStretch(0, 1);
    const auto picker = [&](const QString& label, int minutes, QLatin1String key, int line) {
        days->addWidget(new QLabel(label, pane), line, 0);
        auto* edit = new QTimeEdit(QTime(minutes / 60, minutes % 60), pane);
        edit->setDisplayFormat(u"HH:mm"_s);
        edit->setAccessibleName(label);
        connect(edit, &QTimeEdit::timeChanged, this, [this, key](QTime time) {
            services_.preferences.setValue(key, time.hour() * 60 + time.minute());
            drawPreviews();
        });
        days->addWidget(edit, line, 1);
        return edit;
    };
    dayStart_ = picker(u"Day starts"_s, prefs.dayStart(), PreferenceKey::dayStart, 0);
    dayEnd_ = picker(u"Day ends"_s, prefs.dayEnd(), PreferenceKey::dayEnd, 1);
    layout->addLayout(days);
    layout->addWidget(caption(SettingsModel::Text::dayCaption(), pane));
    layout->addSpacing(6);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(2);
    grid->setColumnStretch(2, 1);
    const QStringList stored = prefs.reminderPresets();
    for (int i = 0; i < Preferences::presetCount; ++i) {
        auto* number = new QLabel(QString::number(i + 1), pane);
        number->setFixedWidth(14);
        numbers_.append(number);
        grid->addWidget(number, i, 0);
        auto* field = new QLineEdit(stored.value(i), pane);
        field->setFixedWidth(150);
        field->setAccessibleName(u"Preset %1"_s.arg(i + 1));
        connect(field, &QLineEdit::textEdited, this, &SettingsWindow::presetEdited);
        grid->addWidget(field, i, 1);
        presets_.append(field);
        auto* preview = new QLabel(pane);
        captions_.append(preview);
        grid->addWidget(preview, i, 2);
        previews_.append(preview);
    }
    layout->addLayout(grid);
    layout->addWidget(caption(SettingsModel::Text::presetsCaption(), pane));
    restore_ = new QPushButton(u"Restore Defaults"_s, pane);
    connect(restore_, &QPushButton::clicked, this, &SettingsWindow::restorePresets);
    auto* restoreRow = new QHBoxLayout;
    restoreRow->addStretch(1);
    restoreRow->addWidget(restore_);
    layout->addLayout(restoreRow);
    layout->addStretch(1);
    drawPreviews();
    return pane;
}

void SettingsWindow::readStatus() {
    if (!services_.scheduler) {
        return;
    }
    services_.scheduler->status([window = QPointer<SettingsWindow>(this)](ReminderScheduler::Status status) {
        if (window) {
            window->showStatus(status);
        }
    });
}

void SettingsWindow::showStatus(std::optional<ReminderScheduler::Status> status) {
    statusShown_ = status;
    const SettingsModel::NotificationRow row = SettingsModel::notificationRow(status);
    status_->setText(row.text);
    statusButton_->setText(row.buttonTitle);
    // A desktop whose notification settings the program cannot open gets no button that does nothing.
    const bool opens =
        row.button != SettingsModel::NotificationRow::Button::OpenSettings ||
        !ReminderScheduler::notificationSettingsCommands(qEnvironmentVariable("XDG_CURRENT_DESKTOP")).isEmpty();
    statusButton_->setVisible(row.button != SettingsModel::NotificationRow::Button::None && opens);
}

void SettingsWindow::presetEdited() {
    QStringList list;
    for (const QLineEdit* field : std::as_const(presets_)) {
        list.append(field->text());
    }
    services_.preferences.setValue(PreferenceKey::reminderPresets, list);
    drawPreviews();
}

void SettingsWindow::restorePresets() {
    const QStringList defaults = Preferences::defaultReminderPresets();
    for (int i = 0; i < presets_.size(); ++i) {
        presets_[i]->setText(defaults.value(i));
    }
    presetEdited();
}

void SettingsWindow::drawPreviews() {
    const Instant now = services_.clock.now();
    const Calendar calendar = services_.clock.calendar();
    const Anchors anchors = services_.preferences.anchors();
    for (int i = 0; i < presets_.size(); ++i) {
        previews_[i]->setText(SettingsModel::presetPreview(presets_[i]->text(), now, anchors, calendar));
    }
}

// --- Window ---

void SettingsWindow::applyLook() {
    const Appearance appearance = services_.theme.appearance();
    const ThemeColors& colors = Theme::colors(appearance);
    setStyle(style_.get());
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setStyle(style_.get());
    }
    setPalette(paletteFor(colors));
    setAutoFillBackground(true);
    const FontChoice choice = services_.preferences.font();
    setFont(Fonts::inPixels(Fonts::sans(choice, 14, QFont::Normal), 14));
    const QFont small = Fonts::inPixels(Fonts::sans(choice, 12, QFont::Normal), 12);
    for (QLabel* label : std::as_const(captions_)) {
        label->setFont(small);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, colors.muted);
        label->setPalette(p);
    }
    for (QLabel* label : std::as_const(errors_)) {
        label->setFont(small);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, errorColor(appearance));
        label->setPalette(p);
    }
    for (ShortcutRecorderWidget* recorder : std::as_const(recorders_)) {
        recorder->refresh();
        recorder->warning().setFont(small);
        QPalette p = recorder->warning().palette();
        p.setColor(QPalette::WindowText, errorColor(appearance));
        recorder->warning().setPalette(p);
    }
    for (QLabel* number : std::as_const(numbers_)) {
        number->setFont(Fonts::inPixels(Fonts::mono(12), 12));
        QPalette p = number->palette();
        p.setColor(QPalette::WindowText, colors.muted);
        number->setPalette(p);
    }
}

void SettingsWindow::present() {
    if (!placed_) {
        placed_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            move(screen->availableGeometry().center() - rect().center());
        }
    }
    show();
    raise();
    activateWindow();
    if (x11::available()) {
        x11::activate(static_cast<quint32>(winId()));
    }
    // Taller than a small or scaled screen, the panes scroll.
    ScreenFit::keepInside(*this);
}

void SettingsWindow::showPane(Pane pane) {
    tabs_->setCurrentIndex(static_cast<int>(pane));
}

void SettingsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The desktop may have started or stopped letting programs hold keys, and the onboarding
    // question may have switched launch at login.
    buildShortcuts();
    const QSignalBlocker blocker(launch_);
    launch_->setChecked(services_.launchAtLogin.isRegistered());
    if (tabs_->currentIndex() == static_cast<int>(Pane::Reminders)) {
        readStatus();
    }
}

bool SettingsWindow::event(QEvent* event) {
    // Esc or Ctrl+W closes the window, as with other settings windows; it is kept.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape || (key->key() == Qt::Key_W && key->modifiers() == Qt::ControlModifier)) {
            close();
            return true;
        }
    }
    return QWidget::event(event);
}

} // namespace plim
