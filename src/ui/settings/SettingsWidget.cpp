#include "ui/settings/SettingsWidget.h"

#include "ui/theme/Fonts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace plim {

namespace {

constexpr const char* kRoleProperty = "plimLabelRole";

void setRole(QLabel& label, LabelRole role) {
    label.setProperty(kRoleProperty, static_cast<int>(role));
}

} // namespace

QLabel* roleLabel(LabelRole role, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    setRole(*label, role);
    return label;
}

QLabel* captionLabel(const QString& text, QWidget* parent) {
    QLabel* label = roleLabel(LabelRole::Caption, text, parent);
    label->setWordWrap(true);
    return label;
}

LabelRole labelRole(const QLabel& label) {
    const QVariant role = label.property(kRoleProperty);
    return role.isValid() ? static_cast<LabelRole>(role.toInt()) : LabelRole::Plain;
}

ValueRowWidget::ValueRowWidget(const QString& label, double value, SettingsModel::ValueRange range, QWidget* parent)
    : QWidget(parent)
    , range_(std::move(range))
    , value_(SettingsModel::clampSnap(value, range_))
    , slider_(new QSlider(Qt::Horizontal, this))
    , field_(new QLineEdit(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto* name = new QLabel(label, this);
    layout->addWidget(name, 1);
    slider_->setFixedWidth(140);
    slider_->setRange(0, SettingsModel::sliderSteps(range_));
    slider_->setPageStep(1);
    slider_->setAccessibleName(label);
    layout->addWidget(slider_);
    field_->setFixedWidth(52);
    field_->setAlignment(Qt::AlignRight);
    field_->setAccessibleName(label);
    layout->addWidget(field_);
    auto* unit = new QLabel(range_.unit, this);
    unit->setFixedWidth(22);
    layout->addWidget(unit);
    show(value_);

    connect(slider_, &QSlider::valueChanged, this,
            [this](int position) { take(SettingsModel::valueAt(position, range_)); });
    connect(field_, &QLineEdit::editingFinished, this, [this] {
        // Text that is no number leaves the value as it was.
        take(SettingsModel::typed(field_->text(), range_).value_or(value_));
    });
}

void ValueRowWidget::take(double value) {
    const bool changedValue = value != value_;
    value_ = value;
    show(value);
    if (changedValue) {
        Q_EMIT changed(value);
    }
}

void ValueRowWidget::show(double value) {
    const QSignalBlocker blocker(slider_);
    slider_->setValue(SettingsModel::sliderPosition(value, range_));
    field_->setText(QString::number(SettingsModel::shown(value, range_)));
}

SizeSliderWidget::SizeSliderWidget(const QString& label, double value, FontChoice font, QWidget* parent)
    : QWidget(parent)
    , row_(new ValueRowWidget(label, value, SettingsModel::sizeRange(), this))
    , sample_(new QLabel(SettingsModel::Text::sample(), this))
    , font_(font) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(row_);
    sample_->setWordWrap(true);
    layout->addWidget(sample_);
    drawSample();
    connect(row_, &ValueRowWidget::changed, this, [this](double size) {
        drawSample();
        Q_EMIT changed(size);
    });
}

void SizeSliderWidget::setFontChoice(FontChoice font) {
    font_ = font;
    drawSample();
}

void SizeSliderWidget::drawSample() {
    sample_->setFont(Fonts::inPixels(Fonts::sans(font_, row_->value(), QFont::Normal), row_->value()));
}

ShortcutRecorderWidget::ShortcutRecorderWidget(ShortcutAccess& access, QString name, QWidget* parent)
    : QWidget(parent)
    , access_(access)
    , name_(std::move(name))
    , field_(new QLineEdit(this))
    , clear_(new QToolButton(this))
    , warning_(new QLabel(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    field_->setReadOnly(true);
    field_->setAlignment(Qt::AlignCenter);
    field_->setFocusPolicy(Qt::StrongFocus);
    field_->installEventFilter(this);
    line->addWidget(field_, 1);
    clear_->setText(u"\u00d7"_s);
    clear_->setAccessibleName(u"Remove shortcut"_s);
    clear_->setToolTip(u"Remove shortcut"_s);
    clear_->setAutoRaise(true);
    clear_->setFocusPolicy(Qt::NoFocus);
    // The field keeps its width whether or not there is a shortcut to remove.
    QSizePolicy keep = clear_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    clear_->setSizePolicy(keep);
    line->addWidget(clear_);
    layout->addLayout(line);
    warning_->setWordWrap(true);
    setRole(*warning_, LabelRole::Error);
    warning_->hide();
    layout->addWidget(warning_);
    connect(clear_, &QToolButton::clicked, this, [this] {
        stopRecording();
        access_.set(name_, std::nullopt);
        refresh();
    });
    refresh();
}

ShortcutRecorderWidget::~ShortcutRecorderWidget() {
    // The global shortcuts must not stay switched off with the recorder gone.
    if (recording_) {
        field_->releaseKeyboard();
        access_.setRecording(false);
    }
}

void ShortcutRecorderWidget::refresh() {
    const std::optional<QString> text = access_.text(name_);
    field_->setPlaceholderText(RecorderModel::placeholder());
    // A centred field hides its placeholder while it has the keyboard: the request to press a
    // shortcut is its text, drawn as a placeholder would be.
    field_->setText(recording_ ? RecorderModel::recordingPlaceholder() : text.value_or(QString()));
    QPalette look = palette();
    if (recording_) {
        look.setColor(QPalette::Text, look.color(QPalette::PlaceholderText));
    }
    field_->setPalette(look);
    clear_->setVisible(text.has_value() && !recording_);
    // A shortcut that does nothing says so beside it; while recording, the warnings are the
    // recorder's.
    if (!recording_) {
        const std::optional<QString> problem = access_.problem(name_);
        warning_->setText(problem.value_or(QString()));
        warning_->setVisible(problem.has_value());
    }
}

void ShortcutRecorderWidget::startRecording() {
    if (recording_) {
        return;
    }
    recording_ = true;
    access_.setRecording(true);
    // Every combination comes here while recording, also one another program holds (its grab
    // would take the keys otherwise): the recorder can then tell that it is held.
    field_->grabKeyboard();
    refresh();
}

void ShortcutRecorderWidget::stopRecording() {
    if (!recording_) {
        return;
    }
    recording_ = false;
    field_->releaseKeyboard();
    access_.setRecording(false);
    refresh();
}

bool ShortcutRecorderWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched != field_) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        startRecording();
        field_->setFocus(Qt::MouseFocusReason);
        return true;
    case QEvent::FocusOut:
        stopRecording();
        return false;
    case QEvent::ShortcutOverride:
        // While recording, every combination is the recorder's, the window's own too.
        if (recording_) {
            event->accept();
            return true;
        }
        return false;
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers chord = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
        // Tab still moves on.
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && !(key->modifiers() & chord)) {
            stopRecording();
            return false;
        }
        if (!recording_) {
            const bool start =
                key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
            if (start && !(key->modifiers() & chord)) {
                startRecording();
                return true;
            }
            if ((key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete) &&
                key->modifiers() == Qt::NoModifier) {
                access_.set(name_, std::nullopt);
                refresh();
                return true;
            }
            return false;
        }
        pressed(key->keyCombination());
        return true;
    }
    default:
        return false;
    }
}

void ShortcutRecorderWidget::pressed(QKeyCombination combination) {
    const RecorderModel::Judgement judgement = RecorderModel::judge(combination, access_.checks());
    warning_->setText(judgement.warning);
    warning_->setVisible(!judgement.warning.isEmpty());
    switch (judgement.verdict) {
    case RecorderModel::Verdict::Wait:
    case RecorderModel::Verdict::Disallowed:
    case RecorderModel::Verdict::UsedByWindow:
    case RecorderModel::Verdict::UsedByDesktop:
        return;
    case RecorderModel::Verdict::Cancel:
        stopRecording();
        return;
    case RecorderModel::Verdict::Clear:
        stopRecording();
        access_.set(name_, std::nullopt);
        refresh();
        return;
    case RecorderModel::Verdict::Accept:
        // Stored while nothing is held, then held as recording ends.
        recording_ = false;
        field_->releaseKeyboard();
        access_.set(name_, QKeyCombination(combination.keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier |
                                                                              Qt::ShiftModifier | Qt::MetaModifier),
                                           combination.key()));
        access_.setRecording(false);
        refresh();
        return;
    }
}

} // namespace plim
