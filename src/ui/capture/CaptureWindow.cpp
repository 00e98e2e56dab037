#include "ui/capture/CaptureWindow.h"

#include "platform/linux/XcbWindow.h"
#include "store/NotesStore.h"
#include "ui/capture/DrawerGeometry.h"
#include "ui/theme/FrameRole.h"
#include "ui/theme/KeyLabel.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WordKeys.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace plim {

namespace {

constexpr int kSpacing = 8;
constexpr int kTop = 14;
constexpr int kBottom = 16;
constexpr std::chrono::milliseconds kDrop{120};
constexpr std::chrono::milliseconds kSettle{150};
constexpr std::chrono::milliseconds kPeek{100};
constexpr std::chrono::milliseconds kMove{120};
// How long the window manager has to give the focus back before the drawer does it.
constexpr std::chrono::milliseconds kFocusCheck{150};
constexpr qreal kPeekOpacity = 0.1;

void setTextColor(QWidget& widget, const QColor& color) {
    QPalette palette = widget.palette();
    if (palette.color(QPalette::WindowText) == color) {
        return;
    }
    palette.setColor(QPalette::WindowText, color);
    widget.setPalette(palette);
}

} // namespace

CaptureWindow::CaptureWindow(CaptureModel& model, Theme& theme, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint)
    , model_(model)
    , theme_(theme)
    , dateLabel_(new QLabel(this))
    , countLabel_(new QLabel(this))
    , editor_(new CaptureEditor(model, this))
    , when_(new WhenFieldWidget(model.when(), model.store().clock(), WhenFieldWidget::Style::Drawer, this))
    , peek_(new PresetPeekWidget(this))
    , hintLabel_(new KeyLabel(QString(), this)) {
    // A window with an alpha channel: translucent over a compositor, painted opaque without one.
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("plim"));
    // The window manager reads the icon each time the drawer is shown: the small sizes only (all of
    // them took it milliseconds to read, between the shortcut and the drawer taking the keyboard).
    QIcon icon;
    for (const int side : {16, 32}) {
        if (const QPixmap pixmap = QGuiApplication::windowIcon().pixmap(side); !pixmap.isNull()) {
            icon.addPixmap(pixmap);
        }
    }
    setWindowIcon(icon);
    WordKeys::install();
    announceWindowsAsFrames();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(DrawerGeometry::horizontalInset, kTop, DrawerGeometry::horizontalInset, kBottom);
    column->setSpacing(kSpacing);
    auto* header = new QHBoxLayout;
    header->setSpacing(kSpacing);
    header->addWidget(dateLabel_, 1);
    header->addWidget(countLabel_, 0);
    column->addLayout(header);
    column->addWidget(editor_);
    column->addWidget(when_);
    column->addWidget(peek_);
    column->addWidget(hintLabel_);
    for (QLabel* label : {dateLabel_, countLabel_, static_cast<QLabel*>(hintLabel_)}) {
        label->setTextFormat(Qt::PlainText);
    }
    // The hints are laid out to the drawer's width; they never widen it.
    hintLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // What a screen reader names the editor; the window is named by its title.
    editor_->setAccessibleName(QStringLiteral("New entry"));
    when_->hide();
    peek_->hide();

    connect(&model_, &CaptureModel::presented, this, &CaptureWindow::present);
    connect(&model_, &CaptureModel::confirming, this, &CaptureWindow::confirm);
    connect(&model_, &CaptureModel::dismissed, this, &CaptureWindow::dismiss);
    connect(&model_, &CaptureModel::placeRequested, this, &CaptureWindow::place);
    connect(&model_, &CaptureModel::contentChanged, this, &CaptureWindow::applyContent);
    connect(&model_, &CaptureModel::peekChanged, this, &CaptureWindow::peek);
    connect(&model_, &CaptureModel::textReplaced, this, [this](const QString& text) {
        if (motion_ && motion_->property("hiding").toBool()) {
            pendingText_ = text;
        } else {
            editor_->replace(text);
        }
    });
    connect(&model_, &CaptureModel::whenFocusRequested, when_, &WhenFieldWidget::takeFocus);
    connect(&model_, &CaptureModel::editorFocusRequested, this, [this] { editor_->setFocus(Qt::OtherFocusReason); });
    connect(editor_, &QPlainTextEdit::textChanged, this, &CaptureWindow::onEditorChanged);
    connect(&theme_, &Theme::appearanceChanged, this, &CaptureWindow::applyContent);
    connect(&theme_, &Theme::reduceMotionChanged, &model_, &CaptureModel::setReduceMotion);
    model_.setReduceMotion(theme_.reduceMotion());

    focusCheck_.setSingleShot(true);
    focusCheck_.setInterval(kFocusCheck);
    connect(&focusCheck_, &QTimer::timeout, this, &CaptureWindow::returnFocus);

    if (x11::available()) {
        // Read here, at start, and kept: showing the drawer does not wait for them.
        x11::readWindowManager();
        compositing_ = x11::compositing();
    }
    editor_->replace(model_.text());
    applyContent();
}

CaptureWindow::ScreenChosen::ScreenChosen(CaptureWindow& window)
    : window_(window) {
    window_.chosenArea_ = window_.availableArea();
}

CaptureWindow::ScreenChosen::~ScreenChosen() {
    window_.chosenArea_.reset();
}

CaptureWindow::~CaptureWindow() = default;

int CaptureWindow::drawerWidth() const {
    return DrawerGeometry::width(model_.preferences().drawerTextSize());
}

bool CaptureWindow::reduceMotion() const {
    return model_.reduceMotion();
}

bool CaptureWindow::animating() const {
    return motion_ && motion_->state() == QAbstractAnimation::Running;
}

void CaptureWindow::applyLook() {
    const Preferences& prefs = model_.preferences();
    const std::pair<FontChoice, double> fonts{prefs.font(), prefs.drawerTextSize()};
    if (fontsApplied_ == fonts && appearanceApplied_ == theme_.appearance()) {
        return;
    }
    fontsApplied_ = fonts;
    appearanceApplied_ = theme_.appearance();
    const DrawerFonts drawerFonts{fonts.first};
    const ThemeColors& colors = theme_.colors();

    editor_->setFont(drawerFonts.sans(fonts.second));
    QPalette palette = editor_->palette();
    setEditingColors(palette, colors, Qt::transparent);
    editor_->setPalette(palette);
    editor_->setCaretColor(colors.highlighter);
    // A slim scroller that leaves the text its colours.
    QColor thumb = colors.muted;
    thumb.setAlphaF(0.5);
    editor_->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: 6px; background: transparent; margin: 0; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 20px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }")
            .arg(thumb.name(QColor::HexArgb)));

    dateLabel_->setFont(DrawerFonts::mono(13));
    countLabel_->setFont(DrawerFonts::mono(13));
    hintLabel_->setFont(DrawerFonts::mono(11));
    setTextColor(*dateLabel_, colors.muted);
    setTextColor(*countLabel_, colors.muted);
    when_->setLook(colors, drawerFonts);
    peek_->setLook(colors, drawerFonts);
}

void CaptureWindow::applyContent() {
    applyLook();
    dateLabel_->setText(model_.dateText());
    countLabel_->setText(model_.countText());
    const CaptureModel::Hint hint = model_.hint();
    using Tone = CaptureModel::Hint::Tone;
    // Muted is the key hints' tone only: one line, whatever the width. A message may wrap.
    const bool keys = hint.tone == Tone::Muted;
    hintLabel_->setWordWrap(!keys);
    hintLabel_->setText(keys ? hintLine() : hint.text);
    const ThemeColors& colors = theme_.colors();
    setTextColor(*hintLabel_, hint.tone == Tone::Muted    ? colors.muted
                              : hint.tone == Tone::Accent ? colors.highlighter
                                                          : colors.ink);
    when_->setVisible(model_.whenOpen());
    if (model_.whenOpen()) {
        when_->refresh();
    }
    peek_->setVisible(model_.presetsShown());
    if (model_.presetsShown()) {
        peek_->setCells(model_.peekCells());
    }
    editor_->setReadOnly(model_.presence() == CaptureModel::Presence::Confirming);
    update();
}

void CaptureWindow::fitEditor(int width, int room) {
    const QFontMetricsF metrics(editor_->font());
    const qreal line = metrics.lineSpacing();
    const int inset = DrawerGeometry::textInset;
    const qreal most = DrawerGeometry::editorMost(width, line);
    const qreal text = editor_->textHeight(width - 2 * DrawerGeometry::horizontalInset, most);
    int height = std::min(DrawerGeometry::editorHeight(width, line, text), room);
    if (text + 2 * inset > height) {
        // It scrolls: whole lines, so that none stands half shown and no blank band stays under
        // the last one.
        const qreal laid = editor_->lineHeight();
        height = qCeil(std::max(1.0, std::floor((height - 2 * inset) / laid)) * laid) + 2 * inset;
    }
    // The editor counts a line as shown only with a pixel to spare below it.
    editor_->setFixedHeight(height + 1);
}

QRect CaptureWindow::availableArea() const {
    if (chosenArea_) {
        return *chosenArea_;
    }
    // Where the pointer is takes a round trip to the server: with one screen it need not be asked.
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* screen = screens.size() == 1 ? screens.front() : QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

QRect CaptureWindow::targetFrame() {
    const QRect available = availableArea();
    if (available.isEmpty()) {
        return {};
    }
    const int width = std::min(drawerWidth(), available.width());
    const auto fitted = [&](int room) {
        fitEditor(width, room);
        layout()->activate();
        return layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width)
                                             : layout()->totalSizeHint().height();
    };
    int height = fitted(std::numeric_limits<int>::max());
    if (height > available.height()) {
        // A short screen: the editor gives up what the rest needs, and scrolls sooner.
        height = fitted(editor_->maximumHeight() - 1 - (height - available.height()));
    }
    return DrawerGeometry::frame(available, QSize(drawerWidth(), height), model_.preferences().drawerPosition());
}

QString CaptureWindow::hintLine() const {
    const QRect available = availableArea();
    const int drawer = available.isEmpty() ? drawerWidth() : std::min(drawerWidth(), available.width());
    const qreal room = drawer - 2 * DrawerGeometry::horizontalInset;
    const QFont font = hintLabel_->font();
    QList<CaptureModel::HintItem> items = model_.hintItems();
    const auto line = [&](bool brief, int gap) {
        QStringList words;
        for (const CaptureModel::HintItem& item : std::as_const(items)) {
            words << (brief ? item.brief : item.full);
        }
        return words.join(QString(gap, u' '));
    };
    // The described spacing and words where they fit; then closer; then shorter words.
    for (const auto& [brief, gap] : {std::pair{false, 4}, std::pair{false, 2}, std::pair{true, 2}}) {
        if (const QString l = line(brief, gap); KeyText::width(l, font) <= room) {
            return l;
        }
    }
    // Narrower still: the hints that matter least make room, the first always stays.
    while (items.size() > 1 && KeyText::width(line(true, 2), font) > room) {
        const auto least = std::min_element(items.begin() + 1, items.end(),
                                            [](const auto& a, const auto& b) { return a.keep < b.keep; });
        items.erase(least);
    }
    return line(true, 2);
}

void CaptureWindow::stopAnimations() {
    if (motion_) {
        motion_->stop();
        motion_->deleteLater();
        motion_.clear();
    }
    // A slide-away cut short leaves the text the model sent meanwhile to show now.
    if (pendingText_) {
        editor_->replace(*std::exchange(pendingText_, std::nullopt));
    }
}

void CaptureWindow::mapAsDrawer() {
    const auto id = quint32(winId());
    x11::markAsDrawer(id);
    x11::setBlurBehind(id, compositing_ && model_.preferences().blurRadius() > 0 && x11::blurOffered());
}

void CaptureWindow::present() {
    focusCheck_.stop();
    stopAnimations();
    // What the server is asked here is read once the drawer is on its way: nothing waits for it
    // between the shortcut and the drawer taking the keyboard.
    const quint32 own = isVisible() ? quint32(winId()) : 0;
    std::optional<x11::FocusAsk> before;
    if (x11::available() && !isActiveWindow()) {
        before.emplace();
    }
    std::optional<x11::CompositingAsk> compositor;
    if (x11::available()) {
        compositor.emplace();
    }
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    const ScreenChosen screen(*this);
    applyMask();
    applyContent();
    const QRect target = targetFrame();
    if (target.isNull()) {
        return;
    }
    const bool drop = !reduceMotion() && !isVisible();
    // Without a compositor a fade shows nothing and only keeps the window manager busy, each step
    // a property for it to read while the drawer should be taking the keyboard.
    const bool fadeIn = drop && compositing_;
    if (drop) {
        setGeometry(target.translated(0, -qRound(0.35 * target.height())));
        if (fadeIn) {
            setWindowOpacity(0);
        }
    } else {
        setGeometry(target);
        setWindowOpacity(model_.peeking() ? kPeekOpacity : 1.0);
    }
    if (!isVisible()) {
        mapAsDrawer();
        show();
    }
    raise();
    activateWindow();
    editor_->setFocus(Qt::ActiveWindowFocusReason);
    editor_->moveCursor(QTextCursor::End);
    if (before) {
        const quint32 had = before->window();
        previousWindow_ = had != own ? had : 0;
    }
    if (compositor) {
        settleCompositing(compositor->compositing());
    }
    if (!drop) {
        return;
    }
    auto* group = new QParallelAnimationGroup(this);
    auto* move = new QPropertyAnimation(this, "pos", group);
    move->setDuration(int(kDrop.count()));
    move->setEndValue(target.topLeft());
    move->setEasingCurve(QEasingCurve::OutCubic);
    if (fadeIn) {
        auto* fade = new QPropertyAnimation(this, "windowOpacity", group);
        fade->setDuration(int(kDrop.count()));
        fade->setEndValue(1.0);
        fade->setEasingCurve(QEasingCurve::OutCubic);
    }
    motion_ = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void CaptureWindow::confirm() {
    focusCheck_.stop();
    stopAnimations();
    std::optional<x11::CompositingAsk> compositor;
    if (x11::available()) {
        compositor.emplace();
    }
    const ScreenChosen screen(*this);
    applyMask();
    applyContent();
    const QRect target = targetFrame();
    if (target.isNull()) {
        return;
    }
    setGeometry(target);
    setWindowOpacity(1);
    if (!isVisible()) {
        setAttribute(Qt::WA_ShowWithoutActivating, true);
        mapAsDrawer();
        show();
    }
    raise();
    if (compositor) {
        settleCompositing(compositor->compositing());
    }
}

void CaptureWindow::settleCompositing(bool now) {
    // The answer asked for as the drawer came: mostly what it was the last time.
    if (now == compositing_) {
        return;
    }
    compositing_ = now;
    applyMask();
    x11::setBlurBehind(quint32(winId()), compositing_ && model_.preferences().blurRadius() > 0 && x11::blurOffered());
}

void CaptureWindow::dismiss(bool animated) {
    if (!isVisible()) {
        return;
    }
    stopAnimations();
    if (!animated || reduceMotion()) {
        hideNow();
        return;
    }
    auto* group = new QParallelAnimationGroup(this);
    group->setProperty("hiding", true);
    auto* move = new QPropertyAnimation(this, "pos", group);
    move->setDuration(int(kSettle.count()));
    move->setEndValue(pos() - QPoint(0, 10));
    move->setEasingCurve(QEasingCurve::InCubic);
    auto* fade = new QPropertyAnimation(this, "windowOpacity", group);
    fade->setDuration(int(kSettle.count()));
    fade->setEndValue(0.0);
    fade->setEasingCurve(QEasingCurve::InCubic);
    connect(group, &QAbstractAnimation::finished, this, &CaptureWindow::hideNow);
    motion_ = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void CaptureWindow::keepKeysUntilFocused(std::unique_ptr<KeyboardHold> hold) {
    if (model_.isVisible() && !hasServerFocus_) {
        keysHeld_ = std::move(hold);
    }
}

void CaptureWindow::hideNow() {
    keysHeld_.reset();
    stopAnimations();
    if (fade_) {
        fade_->stop();
    }
    const bool hadKeyboard = isActiveWindow();
    const bool wasVisible = isVisible();
    hide();
    setWindowOpacity(1);
    if (wasVisible && x11::available()) {
        // Read while nothing waits on it: the next drawer finds it kept.
        x11::readWindowManager();
    }
    if (hadKeyboard && previousWindow_ != 0) {
        focusCheck_.start();
    }
}

void CaptureWindow::returnFocus() {
    // Only where the manager left the focus nowhere (or on the gone drawer): never take it from a
    // window the user has gone to meanwhile.
    const auto active = x11::activeWindow();
    const quint32 now = active ? *active : x11::inputFocus();
    if ((now == 0 || now == quint32(winId())) && x11::isViewable(previousWindow_)) {
        x11::activate(previousWindow_);
    }
    previousWindow_ = 0;
}

void CaptureWindow::place(bool animated) {
    if (!isVisible()) {
        return;
    }
    const bool dropping = animating() && !motion_->property("hiding").toBool();
    if (motion_ && !dropping) {
        return; // sliding away: its place no longer matters
    }
    const QRect target = targetFrame();
    if (target.isNull()) {
        return;
    }
    if (dropping) {
        // Still dropping in: land where the drawer now belongs.
        stopAnimations();
        setWindowOpacity(model_.peeking() ? kPeekOpacity : 1.0);
        setGeometry(target);
        return;
    }
    if (!animated || reduceMotion() || target.topLeft() == pos()) {
        setGeometry(target);
        return;
    }
    auto* group = new QParallelAnimationGroup(this);
    auto* move = new QPropertyAnimation(this, "geometry", group);
    move->setDuration(int(kMove.count()));
    move->setEndValue(target);
    move->setEasingCurve(QEasingCurve::InOutCubic);
    motion_ = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void CaptureWindow::onEditorChanged() {
    if (isVisible() && model_.isVisible()) {
        place(false);
        editor_->ensureCursorVisible();
    }
}

void CaptureWindow::peek(bool on) {
    if (!compositing_) {
        // Nothing can fade without a compositor: the drawer shrinks to its header instead, and
        // what lies beneath shows through the rest. The editor keeps the keyboard.
        applyMask();
        return;
    }
    const qreal target = on ? kPeekOpacity : 1.0;
    if (fade_) {
        fade_->stop();
    }
    if (reduceMotion() || !isVisible()) {
        setWindowOpacity(target);
        return;
    }
    auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
    fade->setDuration(int(kPeek.count()));
    fade->setEndValue(target);
    fade_ = fade;
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void CaptureWindow::closeEvent(QCloseEvent* event) {
    // Closed by the window manager: leave as Escape does, so the drawer and its state agree.
    event->ignore();
    model_.cancel();
}

bool CaptureWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate) {
        model_.keyboardLost();
    }
    return QWidget::event(event);
}

bool CaptureWindow::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    // The drawer has the keyboard (its editor the focus within it): the keys typed since the
    // shortcut come to it now. The toolkit may call a window active before the server gives it the
    // keyboard, so the server's word is waited for.
    if (const auto change = x11::focusChange(eventType, message, quint32(winId()))) {
        hasServerFocus_ = *change;
        if (hasServerFocus_) {
            keysHeld_.reset();
        }
    }
    return QWidget::nativeEvent(eventType, message, result);
}

QPainterPath CaptureWindow::groundPath(int height) const {
    // Square top edge against the screen's, rounded bottom corners.
    const QRectF r(0, 0, width(), height < 0 ? this->height() : height);
    const qreal radius = DrawerGeometry::cornerRadius;
    QPainterPath path;
    path.moveTo(r.topLeft());
    path.lineTo(r.topRight());
    path.lineTo(r.right(), r.bottom() - radius);
    path.quadTo(r.bottomRight(), QPointF(r.right() - radius, r.bottom()));
    path.lineTo(r.left() + radius, r.bottom());
    path.quadTo(r.bottomLeft(), QPointF(r.left(), r.bottom() - radius));
    path.closeSubpath();
    return path;
}

void CaptureWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    QColor ground = theme_.ground();
    ground.setAlphaF(DrawerGeometry::groundAlpha(compositing_, model_.preferences().opacity()));
    const QPainterPath path = groundPath();
    p.fillPath(path, ground);
    // A faint edge keeps the drawer apart from a window of the same colour under it.
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QColor edge = theme_.muted();
    edge.setAlphaF(0.25);
    p.strokePath(path.translated(0, -0.5), QPen(edge, 1));
}

void CaptureWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyMask();
}

void CaptureWindow::applyMask() {
    // Without a compositor the corners cannot be see-through: cut them out of the window.
    if (compositing_) {
        clearMask();
    } else if (model_.peeking()) {
        const int header = std::max(dateLabel_->geometry().bottom(), countLabel_->geometry().bottom()) + kTop;
        setMask(QRegion(groundPath(std::min(header, height())).toFillPolygon().toPolygon()));
    } else {
        setMask(QRegion(groundPath().toFillPolygon().toPolygon()));
    }
}

} // namespace plim
