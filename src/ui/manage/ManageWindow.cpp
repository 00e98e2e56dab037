#include "ui/manage/ManageWindow.h"

#include "platform/linux/XcbWindow.h"
#include "store/NotesStore.h"
#include "ui/manage/FirstRunView.h"
#include "ui/manage/KeysView.h"
#include "ui/manage/ManageListView.h"
#include "ui/manage/ManageModel.h"
#include "ui/manage/SweepView.h"
#include "ui/theme/Fonts.h"
#include "ui/theme/FrameRole.h"
#include "ui/theme/ScreenFit.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WordKeys.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

namespace plim {

namespace {

constexpr int kInitialWidth = 720;
constexpr int kInitialHeight = 780;
constexpr int kMinimumWidth = 480;
constexpr int kMinimumHeight = 320;
constexpr int kPadX = 20;
// The when field opens on an entry shown by a command once the window has settled with the keyboard.
constexpr std::chrono::milliseconds kWhenDelay{150};

void setColors(QWidget& widget, const QColor& text, const QColor& base) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Base, base);
    widget.setPalette(palette);
}

} // namespace

ManageWindow::ManageWindow(ManageModel& model, Theme& theme, DesktopServices& desktop, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , model_(model)
    , theme_(theme)
    , title_(new QLabel(this))
    , filter_(new QLineEdit(this))
    , headerItems_(new QHBoxLayout)
    , list_(new ManageListView(model, desktop, this))
    , empty_(new QWidget(this))
    , sweep_(new SweepView(model, theme, this))
    , keys_(new KeysView(model, theme, this))
    , firstRun_(new FirstRunView(model, theme, this))
    , emptyLines_(new QVBoxLayout(empty_))
    , footer_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("plim"));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kInitialWidth, kInitialHeight);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::ClickFocus);
    // Closing only hides it: the resident program goes on without it.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(kPadX, 14, kPadX, 6);
    header->setSpacing(12);
    header->addWidget(title_);
    header->addWidget(filter_, 1);
    // Where a view has no filter, the room goes here: its buttons still end at the right edge.
    header->addStretch(0);
    header->addLayout(headerItems_);
    headerItems_->setSpacing(8);
    column->addLayout(header);
    auto* card = new QHBoxLayout;
    card->setContentsMargins(kPadX, 4, kPadX, 8);
    card->addWidget(firstRun_);
    column->addLayout(card);
    column->addWidget(list_, 1);
    column->addWidget(empty_, 1);
    column->addWidget(sweep_, 1);
    column->addWidget(keys_, 1);
    footer_->setContentsMargins(kPadX, 6, kPadX, 10);
    column->addWidget(footer_);
    title_->setTextFormat(Qt::PlainText);
    footer_->setTextFormat(Qt::PlainText);
    sweep_->setAccessibleName(QStringLiteral("Sweep"));
    keys_->setAccessibleName(QStringLiteral("Keys & Tips"));
    filter_->setFrame(false);
    filter_->setClearButtonEnabled(false);
    emptyLines_->setAlignment(Qt::AlignCenter);
    empty_->hide();

    connect(&model_, &ManageModel::closeRequested, this, &ManageWindow::hide);
    connect(filter_, &QLineEdit::textEdited, &model_, &ManageModel::setFilter);
    connect(&model_, &ManageModel::filterChanged, this, [this] {
        if (filter_->text() != model_.filter()) {
            filter_->setText(model_.filter());
        }
    });
    connect(&model_, &ManageModel::filterFocusRequestChanged, this, [this] {
        filter_->setFocus(Qt::ShortcutFocusReason);
        filter_->selectAll();
    });
    connect(&model_, &ManageModel::listFocusRequestChanged, this, [this] { list_->setFocus(Qt::OtherFocusReason); });
    for (auto signal : {&ManageModel::modeChanged, &ManageModel::sectionsChanged, &ManageModel::visibleSectionsChanged,
                        &ManageModel::showCompletedChanged, &ManageModel::filterChanged,
                        &ManageModel::keysScrollChanged, &ManageModel::sweepQueueChanged}) {
        connect(&model_, signal, this, &ManageWindow::updateBody);
    }
    for (auto signal : {&ManageModel::modeChanged, &ManageModel::showCompletedChanged, &ManageModel::keysScrollChanged,
                        &ManageModel::sweepQueueChanged}) {
        connect(&model_, signal, this, &ManageWindow::updateHeader);
    }
    // A change of the notes tells both of these: the counts are read once per build of the list.
    for (auto signal : {&ManageModel::sectionsChanged, &ManageModel::visibleSectionsChanged}) {
        connect(&model_, signal, this, [this] {
            if (headerBuild_ != model_.builds()) {
                updateHeader();
            }
        });
    }
    for (auto signal : {&ManageModel::modeChanged, &ManageModel::sectionsChanged, &ManageModel::visibleSectionsChanged,
                        &ManageModel::selectedIDChanged, &ManageModel::editingIDChanged}) {
        connect(&model_, signal, this, &ManageWindow::updateFooter);
    }
    connect(&model_, &ManageModel::textSizeChanged, this, &ManageWindow::applyLook);
    connect(&model_, &ManageModel::fontChanged, this, &ManageWindow::applyLook);
    connect(&theme_, &Theme::appearanceChanged, this, &ManageWindow::applyLook);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (isVisible()) {
            saveFrame();
        }
    });
    WordKeys::install();
    announceWindowsAsFrames();
    // The key monitor: every key pressed in this window, before its controls see it.
    qApp->installEventFilter(this);

    filter_->setText(model_.filter());
    applyLook();
    updateHeader();
    updateBody();
    updateFooter();
}

ManageWindow::~ManageWindow() {
    if (isVisible()) {
        saveFrame();
    }
}

// --- Showing ---

void ManageWindow::present() {
    if (!placed_) {
        restoreFrame();
        placed_ = true;
    }
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    raise();
    activateWindow();
    // Shown by a shortcut or a command, the window takes the keyboard from whatever had it: asked
    // for as a pager does, which the window manager's focus-stealing rules let through.
    if (x11::available()) {
        x11::activate(static_cast<quint32>(winId()));
    }
    ScreenFit::keepInside(*this);
    // The keys act on the selected entry (Space marks it done) rather than typing into the filter,
    // which has its own road (Ctrl+F). An edit or the when field keeps the keyboard it has.
    if (!model_.editingID() && !model_.whenFieldID()) {
        if (list_->isVisibleTo(this)) {
            list_->setFocus(Qt::OtherFocusReason);
        } else {
            setFocus(Qt::OtherFocusReason);
        }
    }
}

void ManageWindow::toggle(std::optional<QUuid> revealing) {
    if (isVisible() && !isMinimized() && isActiveWindow()) {
        hide();
        return;
    }
    present();
    if (revealing) {
        model_.reveal(revealing);
        // Opened on an entry, the keys act on it rather than typing into the filter.
        list_->setFocus(Qt::OtherFocusReason);
    }
}

void ManageWindow::showEntry(std::optional<QUuid> id, std::optional<QString> when) {
    present();
    model_.reveal(id);
    if (id) {
        list_->setFocus(Qt::OtherFocusReason);
    }
    if (id && when) {
        QTimer::singleShot(kWhenDelay, this, [this, id, text = *when] {
            if (model_.selectedID() == id) {
                model_.openWhenField(text);
            }
        });
    }
}

void ManageWindow::setShortcuts(const KeysGuide::Shortcuts& shortcuts) {
    shortcuts_ = shortcuts;
    keys_->setShortcuts(shortcuts);
    emptyShown_.reset();
    updateBody();
}

void ManageWindow::restoreFrame() {
    const QByteArray saved = model_.store().preferences().value(geometryKey).toByteArray();
    if (!saved.isEmpty() && restoreGeometry(saved)) {
        return;
    }
    resize(kInitialWidth, kInitialHeight);
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen != nullptr) {
        // The first size where the screen has room for it; the decorations are fitted once shown.
        const QRect available = screen->availableGeometry();
        QRect frame(QPoint(), size().boundedTo(available.size()));
        frame.moveCenter(available.center());
        setMinimumSize(minimumSize().boundedTo(frame.size()));
        resize(frame.size());
        move(frame.topLeft());
    }
}

void ManageWindow::saveFrame() {
    model_.store().preferences().setValue(geometryKey, saveGeometry(), Preferences::Announce::No);
}

void ManageWindow::closeEvent(QCloseEvent* event) {
    // Closing hides the window; the program and the window's state stay.
    saveFrame();
    event->accept();
}

void ManageWindow::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) {
        saveFrame();
    }
    QWidget::hideEvent(event);
}

void ManageWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        list_->viewport()->update();
    }
    QWidget::changeEvent(event);
}

// --- Keys ---

bool ManageWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() != QEvent::KeyPress && event->type() != QEvent::FocusIn) || !watched->isWidgetType()) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this) {
        return false;
    }
    if (event->type() == QEvent::FocusIn) {
        // A control the user moved to with Tab, not one the focus fell on when a view was hidden.
        tabbedTo_ = lastKeyWasTab_ ? widget : nullptr;
        return false;
    }
    // A key that no control takes travels up to the window: it is looked at once, where it landed.
    QWidget* target = focusWidget() != nullptr ? focusWidget() : this;
    if (widget != target) {
        return false;
    }
    return keyPressed(*static_cast<QKeyEvent*>(event));
}

bool ManageWindow::windowShortcut(const QKeyEvent& event) {
    if (event.modifiers() != Qt::ControlModifier) {
        return false;
    }
    switch (event.key()) {
    case Qt::Key_W:
        close();
        return true;
    case Qt::Key_M:
        showMinimized();
        return true;
    case Qt::Key_H:
        hide();
        return true;
    case Qt::Key_Q:
        // Not quit(): a GUI application's quit first asks every window to close, and the drawer,
        // which only hides, would refuse and keep the program running.
        QCoreApplication::exit(0);
        return true;
    case Qt::Key_Comma:
        Q_EMIT settingsRequested();
        return true;
    default:
        return false;
    }
}

bool ManageWindow::typing() const {
    QWidget* focus = focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(focus)) {
        return !line->isReadOnly();
    }
    if (auto* text = qobject_cast<QPlainTextEdit*>(focus)) {
        return !text->isReadOnly();
    }
    return false;
}

bool ManageWindow::keyPressed(QKeyEvent& event) {
    lastKeyWasTab_ = event.key() == Qt::Key_Tab || event.key() == Qt::Key_Backtab;
    if (windowShortcut(event)) {
        return true;
    }
    // The when field reads its own keys.
    if (model_.whenFieldID()) {
        return false;
    }
    // A button reached with Tab is pressed with Space or Return, as everywhere else.
    if (auto* button = qobject_cast<QAbstractButton*>(focusWidget());
        button != nullptr && button == tabbedTo_ && (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        (event.key() == Qt::Key_Space || event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter)) {
        button->click();
        return true;
    }
    const KeyPress press{event.key(), event.text(), event.modifiers().testFlag(Qt::ControlModifier),
                         event.modifiers().testFlag(Qt::ShiftModifier)};
    const KeyOutcome outcome = handleManageKey(model_, press, typing());
    switch (outcome.effect) {
    case KeyOutcome::Effect::None:
        break;
    case KeyOutcome::Effect::InsertLineBreak:
        if (RowEditor* editor = list_->editor()) {
            editor->insertPlainText(QStringLiteral("\n"));
        }
        break;
    case KeyOutcome::Effect::ClearFocus:
        setFocus(Qt::OtherFocusReason);
        break;
    }
    return outcome.handled;
}

// --- What the window shows ---

void ManageWindow::run(ManageTexts::Action action) {
    using A = ManageTexts::Action;
    switch (action) {
    case A::None:
        break;
    case A::ShowLater:
        model_.showLater();
        break;
    case A::StartSweep:
        model_.startSweep();
        break;
    case A::ToggleCompleted:
        model_.setShowCompleted(!model_.showCompleted());
        break;
    case A::BackToNotes:
        model_.backToNotes();
        break;
    case A::EndSweep:
        model_.endSweep();
        break;
    case A::LeaveKeys:
        model_.leaveKeys();
        break;
    case A::ShowKeys:
        model_.showKeys();
        break;
    }
}

void ManageWindow::applyLook() {
    const ThemeColors& colors = theme_.colors();
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colors.ground);
    setPalette(palette);
    const QFont label = Fonts::inPixels(Fonts::sans(model_.font(), 13, QFont::Normal), 13);
    QFont titleFont = Fonts::inPixels(Fonts::sans(model_.font(), 15, QFont::DemiBold), 15);
    title_->setFont(titleFont);
    setColors(*title_, colors.ink, colors.ground);
    filter_->setFont(Fonts::inPixels(Fonts::sans(model_.font(), 15, QFont::Normal), 15));
    QPalette field = filter_->palette();
    setEditingColors(field, colors, colors.ground);
    filter_->setPalette(field);
    footer_->setFont(label);
    setColors(*footer_, colors.muted, colors.ground);
    list_->setLook(colors);
    sweep_->applyLook();
    keys_->rebuild();
    firstRun_->applyLook();
    headerShown_.reset();
    emptyShown_.reset();
    updateHeader();
    updateBody();
}

void ManageWindow::updateHeader() {
    headerBuild_ = model_.builds();
    ManageTexts::Header header = ManageTexts::header(model_);
    if (headerShown_ == header) {
        return;
    }
    // Nothing shown yet, or a new look: every control is dressed again.
    const bool restyle = !headerShown_;
    const ManageTexts::Header shown = headerShown_.value_or(ManageTexts::Header{});
    if (restyle || shown.title != header.title) {
        title_->setText(header.title);
        title_->setVisible(!header.title.isEmpty());
    }
    if (restyle || shown.filterPlaceholder != header.filterPlaceholder) {
        filter_->setVisible(header.filterPlaceholder.has_value());
        filter_->setPlaceholderText(header.filterPlaceholder.value_or(QString()));
        filter_->setAccessibleName(header.filterPlaceholder.value_or(QString()));
    }
    // The buttons are kept and told only what changed.
    while (headerButtons_.size() > header.items.size()) {
        delete headerButtons_.takeLast();
    }
    const ThemeColors& colors = theme_.colors();
    const QFont label = Fonts::inPixels(Fonts::sans(model_.font(), 13, QFont::Normal), 13);
    for (qsizetype i = 0; i < header.items.size(); ++i) {
        const ManageTexts::Item& item = header.items[i];
        const bool fresh = i >= headerButtons_.size();
        if (fresh) {
            auto* button = new QPushButton(this);
            button->setFlat(true);
            // Reached with Tab, never taken by a click: the list keeps the keys.
            button->setFocusPolicy(Qt::TabFocus);
            connect(button, &QPushButton::clicked, this, [this, i] {
                if (headerShown_ && i < headerShown_->items.size()) {
                    run(headerShown_->items[i].action);
                }
            });
            headerItems_->addWidget(button);
            headerButtons_.append(button);
        }
        QPushButton* button = headerButtons_[i];
        if (restyle || fresh) {
            button->setFont(label);
        }
        const bool plain = item.action == ManageTexts::Action::None;
        if (restyle || fresh || (shown.items[i].action == ManageTexts::Action::None) != plain) {
            button->setCursor(plain ? Qt::ArrowCursor : Qt::PointingHandCursor);
            setColors(*button, plain ? colors.muted : colors.highlighter, colors.ground);
        }
        button->setText(item.text);
        // Of fixed size, a button takes a new count without the window being laid out again;
        // only a new size is.
        if (button->minimumSize() != button->sizeHint() || button->maximumSize() != button->sizeHint()) {
            button->setFixedSize(button->sizeHint());
        }
    }
    headerShown_ = std::move(header);
}

void ManageWindow::updateBody() {
    using Mode = ManageModel::Mode;
    const Mode mode = model_.mode();
    const bool listMode = mode == Mode::Log || mode == Mode::Trash || mode == Mode::Later;
    const auto empty = listMode ? ManageTexts::emptyState(model_, shortcuts_.capture) : std::nullopt;
    list_->setVisible(listMode && !empty);
    sweep_->setVisible(mode == Mode::Sweep);
    keys_->setVisible(mode == Mode::Keys);
    empty_->setVisible(empty.has_value());
    footer_->setVisible(listMode && !empty);
    if (!empty || emptyShown_ == empty) {
        return;
    }
    emptyShown_ = empty;
    while (QLayoutItem* item = emptyLines_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const ThemeColors& colors = theme_.colors();
    bool first = true;
    for (const QString& line : empty->lines) {
        auto* label = new QLabel(line, empty_);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        label->setFont(Fonts::inPixels(Fonts::sans(model_.font(), first ? 17 : 13, QFont::Normal), first ? 17 : 13));
        setColors(*label, first ? colors.ink : colors.muted, colors.ground);
        emptyLines_->addWidget(label);
        first = false;
    }
    if (empty->button) {
        auto* button = new QPushButton(empty->button->text, empty_);
        button->setFlat(true);
        // Reached with Tab, never taken by a click: the list keeps the keys.
        button->setFocusPolicy(Qt::TabFocus);
        setColors(*button, colors.highlighter, colors.ground);
        const ManageTexts::Action action = empty->button->action;
        connect(button, &QPushButton::clicked, this, [this, action] { run(action); });
        emptyLines_->addWidget(button, 0, Qt::AlignCenter);
    }
}

void ManageWindow::updateFooter() {
    footer_->setText(ManageTexts::footerHint(model_));
}

} // namespace plim
