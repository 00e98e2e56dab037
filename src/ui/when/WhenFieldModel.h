#pragma once

#include "base/Calendar.h"
#include "reminders/Reminder.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace plim {

class Clock;
class Preferences;

// The field where the user types a when-phrase or picks one of the nine presets. It knows
// nothing of entries or the store: its owner listens to its signals and decides what a chosen
// reminder, a cancel or a stop means. The views render from the texts below and re-render when
// a change signal fires.
class WhenFieldModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(int highlighted READ highlighted NOTIFY highlightedChanged)

public:
    WhenFieldModel(const Preferences& preferences, const Clock& clock, QObject* parent = nullptr);

    const QString& text() const { return text_; }
    // Every edit of the field lands here.
    void setText(const QString& text);
    // The preset row picked with the arrows, 0-based.
    int highlighted() const { return highlighted_; }
    // The reminder the entry already has.
    const std::optional<Reminder>& current() const { return current_; }

    // Called each time the field opens.
    void reset(const QString& text, std::optional<Reminder> current);
    // Something other than spaces and tabs is typed.
    bool isTyping() const;
    // The typed text is a preset number 1...9 ("3" picks the third preset).
    std::optional<int> typedPreset() const;
    // The reminder Return would set at `now`.
    std::optional<Reminder> chosen(Instant now) const;
    // A click on a preset row.
    void commit(int preset);
    // ↑ and ↓: typing is abandoned, the highlight moves within the rows.
    void move(int delta);
    // Tab: adds or removes the word "routine".
    void toggleRoutine();
    // Delete in an empty field: false, and the key goes on, when there is no reminder to stop.
    bool stop();
    // Return: commits what `chosen` gives now; a phrase that does not parse keeps the field open.
    bool submit();
    // Escape.
    void cancel();

    // The presets in force, read afresh from the preferences.
    QStringList presets() const;
    // The highlighted row: the typed preset while typing, the arrows' row otherwise.
    std::optional<int> picked() const;

    // --- Texts ---
    static QString placeholder();
    // The line under the field: what Return would do, or how to use the field.
    QString preview(Instant now) const;
    // The keys line of the notes window's field.
    QString keyHint() const;

    struct PresetRow {
        QString number;  // "1"
        QString phrase;  // "tomorrow"
        QString summary; // "tomorrow 08:30", "?" when the phrase does not parse
        bool picked = false;
        friend bool operator==(const PresetRow&, const PresetRow&) = default;
    };
    QList<PresetRow> presetRows(Instant now) const;

    // A cell of the grid the drawer shows while Ctrl alone is held: three rows of three,
    // preset 3r + c at row r, column c.
    struct PeekCell {
        QString number; // "1"
        QString phrase; // "20m"
        QString when;   // "10:27" the same day, "Thu 08:30" later, "?" when it does not parse
        friend bool operator==(const PeekCell&, const PeekCell&) = default;
    };
    static QList<PeekCell> peekCells(const QStringList& presets, Instant now, const Anchors& anchors,
                                     const Calendar& calendar);
    QList<PeekCell> peekCells(Instant now) const;

Q_SIGNALS:
    // A reminder was chosen.
    void committed(const Reminder& reminder);
    // Escape.
    void cancelled();
    // The user asked to stop the existing reminder.
    void stopRequested();
    void textChanged(const QString& text);
    void highlightedChanged(int highlighted);
    void currentChanged();

private:
    std::optional<Reminder> preset(int index, Instant now) const;
    void setHighlighted(int index);

    const Preferences& preferences_;
    const Clock& clock_;
    QString text_;
    int highlighted_ = 0;
    std::optional<Reminder> current_;
};

} // namespace plim
