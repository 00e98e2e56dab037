#pragma once

#include "ui/manage/ManageModel.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace plim {

// The words the notes window shows around its list, worked out from the model. Every text that
// names a key reads as this desktop names it ("Ctrl+L", "Shift+↩").
namespace ManageTexts {

// What a header button or a footer link does: the same as its key.
enum class Action { None, ShowLater, StartSweep, ToggleCompleted, BackToNotes, EndSweep, LeaveKeys, ShowKeys };

struct Item {
    QString text;
    Action action = Action::None; // None: plain text
    friend bool operator==(const Item&, const Item&) = default;
};

struct Header {
    QString title;                            // empty in the notes list
    std::optional<QString> filterPlaceholder; // the filter field, when the view has one
    QList<Item> items;                        // after the filter field, left to right
    friend bool operator==(const Header&, const Header&) = default;
};
Header header(const ManageModel& model);

// A header row of the list: the day in words, and whether to add the word "today".
struct DayHeader {
    QString text;
    bool today = false;
    friend bool operator==(const DayHeader&, const DayHeader&) = default;
};
DayHeader dayHeader(const ManageModel& model, const DaySection& section);

// The row under a past day whose done entries are hidden.
QString foldedRow(int hidden);

// A row as a screen reader speaks it: the name says what the row shows (an entry's state, text,
// time stamp, reminder and day), the description what its keys do.
struct SpokenRow {
    QString name;
    QString description;
    friend bool operator==(const SpokenRow&, const SpokenRow&) = default;
};
SpokenRow spokenRow(const ManageModel& model, const ManageModel::Row& row);

// The key hint under the list in the list views.
QString footerHint(const ManageModel& model);

// What replaces an empty list in the list views; none while the list shows something (or in a
// view without a list). `captureShortcut` is the capture shortcut as shown, none when no key runs it.
struct EmptyState {
    QStringList lines;
    std::optional<Item> button;
    friend bool operator==(const EmptyState&, const EmptyState&) = default;
};
std::optional<EmptyState> emptyState(const ManageModel& model, const std::optional<QString>& captureShortcut);

// The sweep: its legend for the current entry (key, word), and the texts once nothing is left.
struct LegendKey {
    QString key;
    QString word;
    friend bool operator==(const LegendKey&, const LegendKey&) = default;
};
QList<LegendKey> sweepLegend(const Entry& current);
QStringList sweepFinished();

} // namespace ManageTexts

} // namespace plim
