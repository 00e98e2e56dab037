#include "ui/settings/SettingsWindow.h"

#include "platform/linux/XcbWindow.h"
#include "store/Preferences.h"
#include "ui/settings/SettingsWidget.h"
#include "ui/theme/Fonts.h"
#include "ui/theme/FrameRole.h"
#include "ui/theme/ScreenFit.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WordKeys.h"

#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace plim {

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 620;

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

} // namespace

SettingsWindow::SettingsWindow(Services services, QWidget* parent)
    : QWidget(parent)
    , preferences_(services.preferences)
    , theme_(services.theme)
    , style_(QStyleFactory::create(u"Fusion"_s))
    , tabs_(new QTabWidget(this))
    , general_(new GeneralPaneWidget(services.preferences, services.launchAtLogin, std::move(services.chooseFile)))
    , capture_(new CapturePaneWidget(services.preferences, services.shortcuts))
    , text_(new TextPaneWidget(services.preferences))
    , reminders_(new RemindersPaneWidget(services.preferences, services.clock, services.scheduler)) {
    setWindowTitle(u"plim Settings"_s);
    WordKeys::install();
    announceWindowsAsFrames();
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, false);
    setFixedSize(kWidth, kHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    tabs_->setDocumentMode(true);
    tabs_->tabBar()->setExpanding(true);
    // Each pane is named as its tab, for screen readers.
    const auto addPane = [this](QWidget* pane, const QString& name) {
        pane->setAccessibleName(name);
        tabs_->addTab(scrolled(pane), name);
    };
    addPane(general_, u"General"_s);
    addPane(capture_, u"Capture"_s);
    addPane(text_, u"Text"_s);
    addPane(reminders_, u"Reminders"_s);
    setTabSymbols();
    layout->addWidget(tabs_);
    // The keyboard starts on the panes' tabs: the arrows switch panes, Tab walks the controls.
    tabs_->tabBar()->setFocusPolicy(Qt::StrongFocus);
    tabs_->tabBar()->setFocus(Qt::OtherFocusReason);
    // The notification status is read whenever the Reminders pane appears.
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == static_cast<int>(Pane::Reminders) && isVisible()) {
            reminders_->readStatus();
        }
    });

    connect(&theme_, &Theme::appearanceChanged, this, &SettingsWindow::applyLook);
    connect(capture_, &CapturePaneWidget::controlsReplaced, this, &SettingsWindow::applyLook);
    connect(text_, &TextPaneWidget::fontChanged, this, &SettingsWindow::applyLook);
    applyLook();
}

SettingsWindow::~SettingsWindow() = default;

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

// --- Window ---

void SettingsWindow::applyLook() {
    const Appearance appearance = theme_.appearance();
    const ThemeColors& colors = Theme::colors(appearance);
    setStyle(style_.get());
    for (QWidget* child : findChildren<QWidget*>()) {
        child->setStyle(style_.get());
    }
    setPalette(paletteFor(colors));
    setAutoFillBackground(true);
    const FontChoice choice = preferences_.font();
    setFont(Fonts::inPixels(Fonts::sans(choice, 14, QFont::Normal), 14));
    const QFont small = Fonts::inPixels(Fonts::sans(choice, 12, QFont::Normal), 12);
    const auto draw = [](QLabel& label, const QFont& font, const QColor& color) {
        label.setFont(font);
        QPalette p = label.palette();
        p.setColor(QPalette::WindowText, color);
        label.setPalette(p);
    };
    for (QLabel* label : findChildren<QLabel*>()) {
        switch (labelRole(*label)) {
        case LabelRole::Plain:
            break;
        case LabelRole::Caption:
            draw(*label, small, colors.muted);
            break;
        case LabelRole::Error:
            draw(*label, small, errorColor(appearance));
            break;
        case LabelRole::Number:
            draw(*label, Fonts::inPixels(Fonts::mono(12), 12), colors.muted);
            break;
        }
    }
    // The recorders colour their fields from the palette just given.
    for (ShortcutRecorderWidget* recorder : capture_->recorders()) {
        recorder->refresh();
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
    capture_->readShortcuts();
    general_->readLaunchAtLogin();
    if (tabs_->currentIndex() == static_cast<int>(Pane::Reminders)) {
        reminders_->readStatus();
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
