#include "ui/manage/KeysView.h"

#include "ui/manage/FlowWidget.h"
#include "ui/manage/ManageModel.h"
#include "ui/theme/Fonts.h"
#include "ui/theme/Theme.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>

namespace plim {

namespace {

constexpr int kPadX = 28;
constexpr int kKeysColumn = 150;
constexpr int kEaseMs = 150;
// The cap's padding and a little room, beside its text.
constexpr int kCapPadding = 16;

QLabel* textLabel(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

} // namespace

KeysView::KeysView(ManageModel& model, Theme& theme, QWidget* parent)
    : QScrollArea(parent)
    , model_(model)
    , theme_(theme)
    , animation_(new QVariantAnimation(this)) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    viewport()->setAutoFillBackground(false);
    animation_->setDuration(kEaseMs);
    animation_->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { verticalScrollBar()->setValue(value.toInt()); });
    connect(&model_, &ManageModel::keysScrollChanged, this, [this] { scrollToTarget(true); });
    connect(&model_, &ManageModel::modeChanged, this, [this] {
        // Rebuilt each time it is shown, so it names the shortcuts and day times of the moment.
        if (model_.mode() == ManageModel::Mode::Keys) {
            rebuild();
        }
    });
    rebuild();
}

KeysView::~KeysView() = default;

void KeysView::setShortcuts(const KeysGuide::Shortcuts& shortcuts) {
    if (shortcuts_ == shortcuts) {
        return;
    }
    shortcuts_ = shortcuts;
    rebuild();
}

void KeysView::rebuild() {
    animation_->stop();
    targets_.clear();
    texts_.clear();
    const ThemeColors& colors = theme_.colors();
    // The scroll bar in the window's colours rather than the desktop style's light ones.
    QPalette bar = verticalScrollBar()->palette();
    bar.setColor(QPalette::Window, colors.ground);
    bar.setColor(QPalette::Base, colors.ground);
    bar.setColor(QPalette::Button, colors.surface);
    bar.setColor(QPalette::Light, colors.surface);
    bar.setColor(QPalette::Dark, colors.muted);
    bar.setColor(QPalette::Mid, colors.muted);
    bar.setColor(QPalette::Shadow, colors.ground);
    verticalScrollBar()->setPalette(bar);
    const qreal size = model_.textSize();
    const QFont body = Fonts::inPixels(Fonts::sans(model_.font(), size, QFont::Normal), size);
    const QFont title = Fonts::inPixels(Fonts::sans(model_.font(), size + 2, QFont::DemiBold), size + 2);
    const QFont small = Fonts::inPixels(Fonts::sans(model_.font(), std::max<qreal>(11, size - 3), QFont::Normal),
                                        std::max<qreal>(11, size - 3));
    const qreal keySize = Fonts::keyLabelSize(size);
    const QFont mono = Fonts::inPixels(Fonts::mono(keySize), keySize);

    const QList<KeysGuide::Group> groups = KeysGuide::groups(shortcuts_, model_.labels().anchors());
    // One keys column for every group, as wide as the widest cap, so the meanings line up.
    int keysWidth = kKeysColumn;
    const QFontMetrics capMetrics(mono);
    for (const KeysGuide::Group& group : groups) {
        for (const KeysGuide::Row& row : group.rows) {
            keysWidth = std::max(keysWidth, capMetrics.horizontalAdvance(row.keys) + kCapPadding);
        }
    }

    auto* column = new QWidget;
    column->setAutoFillBackground(false);
    auto* lines = new QVBoxLayout(column);
    lines->setContentsMargins(kPadX, 16, kPadX, 24);
    lines->setSpacing(8);
    auto addTitle = [&](const QString& text) {
        QLabel* label = textLabel(text, title, colors.ink, column);
        label->setContentsMargins(0, targets_.isEmpty() ? 0 : 18, 0, 2);
        lines->addWidget(label);
        targets_.append(label);
        texts_.append(label);
    };

    addTitle(QStringLiteral("How plim works"));
    for (const QString& step : KeysGuide::steps(shortcuts_)) {
        QLabel* label = textLabel(step, body, colors.ink, column);
        lines->addWidget(label);
        texts_.append(label);
    }
    for (const KeysGuide::Group& group : groups) {
        addTitle(group.title);
        auto* grid = new QGridLayout;
        grid->setHorizontalSpacing(14);
        grid->setVerticalSpacing(8);
        grid->setColumnMinimumWidth(0, keysWidth);
        grid->setColumnStretch(1, 1);
        int line = 0;
        for (const KeysGuide::Row& row : group.rows) {
            if (!row.keys.isEmpty()) {
                QLabel* cap = keyCap(row.keys, mono, colors, column);
                grid->addWidget(cap, line, 0, Qt::AlignLeft | Qt::AlignTop);
                texts_.append(cap);
            }
            auto* cell = new QVBoxLayout;
            cell->setSpacing(4);
            QLabel* meaning = textLabel(row.meaning, body, colors.muted, column);
            cell->addWidget(meaning);
            texts_.append(meaning);
            if (!row.examples.isEmpty()) {
                auto* examples = new FlowWidget(6, column);
                for (const QString& example : row.examples) {
                    QLabel* chip = keyCap(example, small, colors, examples);
                    examples->add(chip);
                    texts_.append(chip);
                }
                cell->addWidget(examples);
            }
            grid->addLayout(cell, line, 1);
            ++line;
        }
        lines->addLayout(grid);
    }
    lines->addStretch(1);
    setWidget(column); // deletes the column it replaces
    scrollToTarget(false);
}

QStringList KeysView::targetTitles() const {
    QStringList out;
    for (const QLabel* label : targets_) {
        out << label->text();
    }
    return out;
}

QStringList KeysView::shownTexts() const {
    QStringList out;
    for (const QLabel* label : texts_) {
        out << label->text();
    }
    return out;
}

int KeysView::targetOffset(int index) const {
    // The first target is the top of the guide, its margin included.
    if (targets_.isEmpty() || index <= 0) {
        return 0;
    }
    const QLabel* target = targets_.at(std::clamp(index, 0, static_cast<int>(targets_.size()) - 1));
    return std::min(target->mapTo(widget(), QPoint(0, 0)).y(), verticalScrollBar()->maximum());
}

void KeysView::scrollToTarget(bool animate) {
    const int to = targetOffset(model_.keysScroll());
    animation_->stop();
    if (!animate || theme_.reduceMotion() || !isVisible()) {
        verticalScrollBar()->setValue(to);
        return;
    }
    animation_->setStartValue(verticalScrollBar()->value());
    animation_->setEndValue(to);
    animation_->start();
}

void KeysView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (animation_->state() != QAbstractAnimation::Running) {
        scrollToTarget(false);
    }
}

} // namespace plim
