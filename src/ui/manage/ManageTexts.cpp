#include "ui/manage/ManageTexts.h"

#include "reminders/EntryReminders.h"
#include "ui/manage/KeysGuide.h"
#include "ui/manage/Links.h"
#include "ui/when/KeyNames.h"

namespace plim::ManageTexts {

namespace {

using Mode = ManageModel::Mode;

QString joined(const QStringList& parts) {
    return parts.join(QStringLiteral(" · "));
}

QString viewName(Mode mode) {
    switch (mode) {
    case Mode::Log:
    case Mode::Keys:
        return QStringLiteral("notes");
    case Mode::Sweep:
        return QStringLiteral("sweep");
    case Mode::Trash:
        return QStringLiteral("trash");
    case Mode::Later:
        return QStringLiteral("Later");
    }
    return {};
}

QString quoted(const QString& text) {
    return QStringLiteral("\u201C") + text + QStringLiteral("\u201D");
}

QString entryHint(const ManageModel& model, const Entry& entry) {
    const RowLabels& labels = model.labels();
    if (labels.isRinging(entry)) {
        const auto reminder = EntryReminders::reminder(entry, labels.calendar(), labels.anchors());
        QStringList parts;
        if (reminder && reminder->rule && reminder->routine) {
            parts << QStringLiteral("space done today") << QStringLiteral("d skip");
        } else if (reminder && reminder->rule) {
            parts << QStringLiteral("space done") << QStringLiteral("d skip");
        } else {
            parts << QStringLiteral("space done") << QStringLiteral("d stop reminding");
        }
        parts << QStringLiteral("1–9 snooze") << QStringLiteral("r when") << QStringLiteral("⌫ trash");
        return joined(parts);
    }
    if (Links::soleURL(entry.text)) {
        return QStringLiteral("↩ open · space done · → carry · r remind · ⌫ trash");
    }
    QStringList parts{QStringLiteral("space done")};
    parts << (entry.active ? QStringLiteral("a unlist") : QStringLiteral("a shortlist"));
    if (model.mode() == Mode::Log && !model.isInToday(entry.id)) {
        parts << QStringLiteral("→ carry");
    }
    const bool hasReminder = EntryReminders::reminder(entry, labels.calendar(), labels.anchors()).has_value();
    parts << (hasReminder ? QStringLiteral("r change reminder") : QStringLiteral("r remind"));
    parts << QStringLiteral("⌫ trash");
    parts << (Links::urls(entry.text).isEmpty() ? QStringLiteral("↩ edit") : QStringLiteral("⌘↩ open link"));
    return joined(parts);
}

} // namespace

Header header(const ManageModel& model) {
    Header h;
    switch (model.mode()) {
    case Mode::Log: {
        h.filterPlaceholder = QStringLiteral("Filter");
        if (const int later = model.laterCount(); later >= 1) {
            h.items.append({QString::number(later) + keyText(u" later  ⌘L"), Action::ShowLater});
        }
        if (const int stale = model.staleOpenCount(); stale > 0) {
            h.items.append({QStringLiteral("Sweep · ") + QString::number(stale) + keyText(u" older than today  ⌘S"),
                            Action::StartSweep});
        }
        // One button, both ways: the summary shows the done entries again.
        h.items.append(
            {model.showCompleted() ? keyText(u"hide done  ⌘E") : model.openSummary(), Action::ToggleCompleted});
        break;
    }
    case Mode::Trash:
        h.title = QStringLiteral("Trash");
        h.filterPlaceholder = QStringLiteral("Filter trash");
        h.items.append({keyText(u"Back to notes  ⌘T"), Action::BackToNotes});
        break;
    case Mode::Later:
        h.title = QStringLiteral("Later");
        h.filterPlaceholder = QStringLiteral("Filter later");
        h.items.append({keyText(u"Back to notes  ⌘L"), Action::BackToNotes});
        break;
    case Mode::Sweep:
        h.title = QStringLiteral("Sweep");
        h.items.append({model.sweep().left() == 0 ? QStringLiteral("done")
                                                  : QString::number(model.sweep().left()) + QStringLiteral(" left"),
                        Action::None});
        h.items.append({keyText(u"esc back"), Action::EndSweep});
        break;
    case Mode::Keys:
        h.title = QStringLiteral("Keys & Tips");
        h.items.append(
            {QStringLiteral("Back to ") + viewName(model.keysReturn()) + keyText(u"  esc"), Action::LeaveKeys});
        break;
    }
    return h;
}

DayHeader dayHeader(const ManageModel& model, const DaySection& section) {
    DayHeader d;
    d.text = model.labels().heading(section.heading);
    if (model.mode() == Mode::Trash) {
        d.text.prepend(QStringLiteral("Trashed "));
    }
    d.today = (model.mode() == Mode::Log || model.mode() == Mode::Later) && model.labels().isToday(section.heading);
    return d;
}

QString foldedRow(int hidden) {
    return (hidden == 1 ? QStringLiteral("1") : QString::number(hidden)) + keyText(u" done hidden  ⌘E");
}

SpokenRow spokenRow(const ManageModel& model, const ManageModel::Row& row) {
    using Kind = ManageModel::Row::Kind;
    switch (row.kind) {
    case Kind::Header: {
        const DayHeader day = dayHeader(model, DaySection{row.sectionID, row.heading, {}});
        return {day.today ? day.text + QStringLiteral(", today") : day.text, QStringLiteral("day")};
    }
    case Kind::Folded:
        return {QString::number(row.hidden) + QStringLiteral(" done hidden"), keyText(u"⌘E shows them")};
    case Kind::Entry:
        break;
    }
    const Entry& e = row.entry;
    QString state;
    switch (e.state) {
    case Entry::State::Open:
        state = QStringLiteral("Open");
        break;
    case Entry::State::Done:
        state = QStringLiteral("Done");
        break;
    case Entry::State::Carried:
        state = QStringLiteral("Carried");
        break;
    case Entry::State::Struck:
        state = QStringLiteral("Struck");
        break;
    case Entry::State::Note:
        state = QStringLiteral("Note");
        break;
    }
    if (model.labels().isRinging(e)) {
        state += QStringLiteral(", ringing");
    }
    if (e.active) {
        state += QStringLiteral(", shortlisted");
    }
    // A screen reader need not read out a whole book of an entry.
    constexpr qsizetype kSpokenCut = 2000;
    QString text = e.text.size() > kSpokenCut ? e.text.left(kSpokenCut) + QStringLiteral("…") : e.text;
    QStringList parts{state + QStringLiteral(": ") + text.replace(u'\n', u' ')};
    if (e.time) {
        parts << QStringLiteral("captured ") + *e.time;
    }
    if (const auto label = model.labels().reminder(e)) {
        parts << QStringLiteral("reminder ") + *label;
    }
    if (row.awayFromDay) {
        parts << QStringLiteral("written ") + model.labels().heading(row.day);
    }
    const QString hint =
        model.mode() == Mode::Trash ? QStringLiteral("↩ restore to today · ⌫ delete forever") : entryHint(model, e);
    return {parts.join(QStringLiteral(", ")), keyText(hint)};
}

QString footerHint(const ManageModel& model) {
    if (model.editingID()) {
        return keyText(u"↩ save · ⇧↩ new line · esc cancel");
    }
    const auto entry = model.selectedEntry();
    if (!entry) {
        return QStringLiteral("? keys");
    }
    const QString hint = model.mode() == Mode::Trash ? QStringLiteral("↩ restore to today · ⌫ delete forever")
                                                     : entryHint(model, *entry);
    return keyText(hint) + QStringLiteral(" · ? keys");
}

std::optional<EmptyState> emptyState(const ManageModel& model, const std::optional<QString>& captureShortcut) {
    const Mode mode = model.mode();
    if ((mode != Mode::Log && mode != Mode::Trash && mode != Mode::Later) || model.list().visibleSectionCount() > 0) {
        return std::nullopt;
    }
    const QString& f = model.filter();
    EmptyState e;
    if (mode == Mode::Trash) {
        e.lines << (f.isEmpty() ? QStringLiteral("Trash is empty.")
                                : QStringLiteral("Nothing in the trash matches ") + quoted(f) + QLatin1Char('.'));
    } else if (!f.isEmpty()) {
        e.lines << QStringLiteral("No entries match ") + quoted(f) + QLatin1Char('.');
    } else if (mode == Mode::Later) {
        e.lines << QStringLiteral("Nothing waiting.")
                << QStringLiteral("Press r or 1–9 on an entry to bring it back later.");
    } else {
        e.lines << QStringLiteral("Nothing yet.")
                << (captureShortcut ? QStringLiteral("Press ") + *captureShortcut + QStringLiteral(" anywhere.")
                                    : QStringLiteral("Run \u201c") + KeysGuide::captureCommand() +
                                          QStringLiteral("\u201d anywhere."));
        e.button = Item{QStringLiteral("? keys and how plim works"), Action::ShowKeys};
    }
    return e;
}

QList<LegendKey> sweepLegend(const Entry& current) {
    QList<LegendKey> keys{
        {QStringLiteral("→"), QStringLiteral("carry to today")}, {QStringLiteral("a"), QStringLiteral("shortlist")},
        {QStringLiteral("space"), QStringLiteral("done")},       {QStringLiteral("⌫"), QStringLiteral("drop")},
        {QStringLiteral("1–9"), QStringLiteral("later")},        {QStringLiteral("↓"), QStringLiteral("skip")},
    };
    if (!Links::urls(current.text).isEmpty()) {
        keys.append({QStringLiteral("↩"), QStringLiteral("open link")});
    }
    return keys;
}

QStringList sweepFinished() {
    return {QStringLiteral("Nothing to carry."), QStringLiteral("You're current."), QStringLiteral("↩ back to notes")};
}

} // namespace plim::ManageTexts
