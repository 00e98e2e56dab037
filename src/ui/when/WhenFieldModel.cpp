#include "ui/when/WhenFieldModel.h"

#include "base/Clock.h"
#include "store/Preferences.h"
#include "ui/when/KeyNames.h"

#include <QRegularExpression>

#include <algorithm>

namespace plim {

namespace {

// Only spaces and tabs count as blank in the field.
QStringView trimmedBlanks(QStringView text) {
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && blank(text[start])) {
        ++start;
    }
    while (end > start && blank(text[end - 1])) {
        --end;
    }
    return text.mid(start, end - start);
}

QString clockText(Instant t, const Calendar& calendar) {
    const int minutes = timeOfDay(t, calendar).minutes;
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

WhenFieldModel::WhenFieldModel(const Preferences& preferences, const Clock& clock, QObject* parent)
    : QObject(parent)
    , preferences_(preferences)
    , clock_(clock) {}

void WhenFieldModel::setText(const QString& text) {
    if (text_ == text) {
        return;
    }
    text_ = text;
    Q_EMIT textChanged(text_);
}

void WhenFieldModel::setHighlighted(int index) {
    if (highlighted_ == index) {
        return;
    }
    highlighted_ = index;
    Q_EMIT highlightedChanged(highlighted_);
}

void WhenFieldModel::reset(const QString& text, std::optional<Reminder> current) {
    setText(text);
    setHighlighted(0);
    if (current_ != current) {
        current_ = std::move(current);
        Q_EMIT currentChanged();
    }
}

bool WhenFieldModel::isTyping() const {
    return !trimmedBlanks(text_).isEmpty();
}

std::optional<int> WhenFieldModel::typedPreset() const {
    const QStringView typed = trimmedBlanks(text_);
    const bool digits =
        !typed.isEmpty() && std::all_of(typed.begin(), typed.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (!digits) {
        return std::nullopt;
    }
    // "10" is no preset number: it is read as a time.
    bool ok = false;
    const int number = typed.toInt(&ok);
    if (!ok || number < 1 || number > 9 || number > presets().size()) {
        return std::nullopt;
    }
    return number - 1;
}

QStringList WhenFieldModel::presets() const {
    return preferences_.reminderPresets();
}

std::optional<Reminder> WhenFieldModel::preset(int index, Instant now) const {
    const QStringList list = presets();
    if (index < 0 || index >= list.size()) {
        return std::nullopt;
    }
    return Reminder::parse(list[index], now, preferences_.anchors(), clock_.calendar());
}

std::optional<Reminder> WhenFieldModel::chosen(Instant now) const {
    if (!isTyping()) {
        return preset(highlighted_, now);
    }
    if (const auto index = typedPreset()) {
        return preset(*index, now);
    }
    return Reminder::parse(text_, now, preferences_.anchors(), clock_.calendar());
}

void WhenFieldModel::commit(int preset) {
    setText(QString());
    setHighlighted(preset);
    if (const auto reminder = chosen(clock_.now())) {
        Q_EMIT committed(*reminder);
    }
}

void WhenFieldModel::move(int delta) {
    if (isTyping()) {
        setText(QString());
    }
    const int last = std::max(0, int(presets().size()) - 1);
    // Widened so that a huge step cannot overflow on its way to the clamp.
    setHighlighted(int(std::clamp<qint64>(qint64(highlighted_) + delta, 0, last)));
}

void WhenFieldModel::toggleRoutine() {
    QStringList words = text_.split(QRegularExpression(QStringLiteral("[ \\t]+")), Qt::SkipEmptyParts);
    // "Routine" typed with a capital is the same word to the parser.
    const auto found = std::find_if(words.begin(), words.end(), [](const QString& word) {
        return word.compare(u"routine", Qt::CaseInsensitive) == 0;
    });
    if (found != words.end()) {
        words.erase(found);
    } else {
        words.append(QStringLiteral("routine"));
    }
    setText(words.join(u' '));
}

bool WhenFieldModel::stop() {
    if (!current_) {
        return false;
    }
    Q_EMIT stopRequested();
    return true;
}

bool WhenFieldModel::submit() {
    const auto reminder = chosen(clock_.now());
    if (!reminder) {
        return false;
    }
    Q_EMIT committed(*reminder);
    return true;
}

void WhenFieldModel::cancel() {
    Q_EMIT cancelled();
}

std::optional<int> WhenFieldModel::picked() const {
    return isTyping() ? typedPreset() : std::optional<int>(highlighted_);
}

// --- Texts ---

QString WhenFieldModel::placeholder() {
    return QStringLiteral("20m, tomorrow 9am, every 3h");
}

QString WhenFieldModel::preview(Instant now) const {
    const Calendar calendar = clock_.calendar();
    if (isTyping()) {
        if (const auto reminder = chosen(now)) {
            // The long summary: "tomorrow 09:00", "today 13:07 · then every 3h, 08:30–20:30 until done".
            return QStringLiteral("→ ") + reminder->summary(now, false, calendar);
        }
        return QStringLiteral("? Try 20m, 3pm, tomorrow 9am, fri, every 3h");
    }
    if (current_) {
        return keyText(QStringLiteral("Now: ") + current_->summary(now, false, calendar) +
                       QStringLiteral(" · ↑↓ to pick a preset"));
    }
    return keyText(u"Type when, or ↑↓ to pick a preset and press ↩.");
}

QString WhenFieldModel::keyHint() const {
    return keyText(current_ ? u"↩ set · ⇥ routine · ⌫ stop reminding · esc cancel" : u"↩ set · ⇥ routine · esc cancel");
}

QList<WhenFieldModel::PresetRow> WhenFieldModel::presetRows(Instant now) const {
    const QStringList list = presets();
    const Anchors anchors = preferences_.anchors();
    const Calendar calendar = clock_.calendar();
    const std::optional<int> pickedRow = picked();
    QList<PresetRow> rows;
    for (int i = 0; i < list.size(); ++i) {
        const auto reminder = Reminder::parse(list[i], now, anchors, calendar);
        rows.append({QString::number(i + 1), list[i],
                     reminder ? reminder->summary(now, true, calendar) : QStringLiteral("?"), pickedRow == i});
    }
    return rows;
}

QList<WhenFieldModel::PeekCell> WhenFieldModel::peekCells(const QStringList& presets, Instant now,
                                                          const Anchors& anchors, const Calendar& calendar) {
    QList<PeekCell> cells;
    for (int i = 0; i < std::min(int(presets.size()), 9); ++i) {
        QString when = QStringLiteral("?");
        if (const auto reminder = Reminder::parse(presets[i], now, anchors, calendar)) {
            when = clockText(reminder->next, calendar);
            if (calendar.daysBetween(now, reminder->next) != 0) {
                when = calendar.format(reminder->next, u"EEE") + u' ' + when;
            }
        }
        cells.append({QString::number(i + 1), presets[i], when});
    }
    return cells;
}

QList<WhenFieldModel::PeekCell> WhenFieldModel::peekCells(Instant now) const {
    return peekCells(presets(), now, preferences_.anchors(), clock_.calendar());
}

} // namespace plim
