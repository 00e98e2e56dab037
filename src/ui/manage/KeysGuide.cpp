#include "ui/manage/KeysGuide.h"

#include "ui/when/KeyNames.h"

namespace plim::KeysGuide {

using namespace Qt::Literals::StringLiterals;

namespace {

QString clockText(int minutes) {
    return QStringLiteral("%1:%2")
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// Keys and meanings both name keys ("see what ⌘1–⌘9 would set").
Row row(const QString& keys, const QString& meaning, const QStringList& examples = {}) {
    return Row{keyText(keys), keyText(meaning), examples};
}

} // namespace

QString Row::id() const {
    return keys + u'\x1f' + meaning + u'\x1f' + examples.join(u'\x1f');
}

QString captureCommand() {
    return u"plim capture"_s;
}

QString notesCommand() {
    return u"plim notes"_s;
}

QString clipboardCommand() {
    return u"plim clip"_s;
}

const QList<QStringList>& whenExamples() {
    static const QList<QStringList> examples = {
        {u"20m"_s, u"1h30m"_s, u"in 2 hours"_s, u"3d"_s},
        {u"tonight"_s, u"tomorrow"_s, u"weekend"_s, u"next week"_s},
        {u"16:00"_s, u"9am"_s, u"fri"_s, u"fri 3pm"_s, u"next sat"_s, u"nov 2 9am"_s},
        {u"every 3h"_s, u"every 90 minutes 9-17"_s},
        {u"every day"_s, u"daily 7:15"_s, u"twice a day"_s, u"every weekday 9am"_s, u"every mon thu 18:00"_s},
        {u"every day 20:30 routine"_s},
    };
    return examples;
}

QStringList steps(const Shortcuts& shortcuts) {
    // Without a key that works, the command that does the same.
    const auto run = [](const QString& command) { return u"Run \u201c"_s + command + u"\u201d"_s; };
    const QStringList paragraphs = {
        (shortcuts.capture ? u"Press "_s + *shortcuts.capture : run(captureCommand())) +
            u" anywhere, type the thought, and press Return. It's saved, and you're back where you were."_s,
        (shortcuts.notes ? u"Press "_s + *shortcuts.notes : run(notesCommand())) +
            u" for your notes, today on top. Space marks an entry done, → carries an older one to today, and a keeps it on top in Active."_s,
        u"To have something come back, press 1–9 for a preset or r to say when, or ⌘1–⌘9 and ⌘R in the drawer as you save. When it rings, Space is done, d lets this ring go, and 1–9 snoozes it."_s,
        u"When older days pile up, ⌘S sweeps them one entry at a time."_s,
        u"Nothing is lost. ⌘Z undoes anything, ⌫ moves to the trash, and every note lives in one text file you own."_s,
    };
    QStringList shown;
    for (const QString& paragraph : paragraphs) {
        shown.append(keyText(paragraph));
    }
    return shown;
}

QList<Group> groups(const Shortcuts& shortcuts, const Anchors& anchors) {
    const QString start = clockText(anchors.dayStart);
    const QString end = clockText(anchors.dayEnd);
    const QList<QStringList>& examples = whenExamples();
    return {
        Group{u"Anywhere · change these in Settings"_s,
              {
                  row(shortcuts.capture.value_or(captureCommand()), u"open or close the drawer"_s),
                  row(shortcuts.notes.value_or(notesCommand()), u"open or close your notes"_s),
                  row(shortcuts.clipboard.value_or(clipboardCommand()),
                      u"save the clipboard as a note without opening anything"_s),
              }},
        Group{u"In the drawer"_s,
              {
                  row(u"↩"_s, u"save and close"_s),
                  row(u"⌘↩"_s, u"save and keep the drawer open for the next one"_s),
                  row(u"⇧↩"_s, u"new line"_s),
                  row(u"esc"_s, u"close; the draft waits for next time"_s),
                  row(u"⌘1 – ⌘9"_s, u"save with a reminder preset"_s),
                  row(u"⌘R"_s, u"save with a reminder you type"_s),
                  row(u"hold ⌘"_s, u"see what ⌘1–⌘9 would set"_s),
                  row(u"hold ⌥"_s, u"fade the drawer to read what's under it"_s),
                  row(u"⌘Z"_s, u"undo typing, or take back what you just saved, for ten seconds"_s),
                  row(u"⌘⇧V"_s, u"save the clipboard as its own note; the draft stays"_s),
                  row(u"⌘← ⌘→ ⌘↑"_s, u"move the drawer left, right, or back to the middle"_s),
                  row(u"⌘O"_s, u"open your notes on what you just saved"_s),
                  row(u"⌘?"_s, u"these keys"_s),
              }},
        Group{u"In your notes"_s,
              {
                  row(u"↑ ↓"_s, u"move"_s),
                  row(u"space"_s, u"done, or not done after all"_s),
                  row(u"a"_s, u"shortlist: keep it on top in Active"_s),
                  row(u"→"_s, u"carry to today"_s),
                  row(u"↩"_s, u"edit; if the entry is just a link, open it"_s),
                  row(u"⌘↩"_s, u"open the entry's first link"_s),
                  row(u"⌫"_s, u"trash"_s),
                  row(u"⌘C"_s, u"copy the entry's text"_s),
                  row(u"⌘Z ⌘⇧Z"_s, u"undo, redo, up to fifty steps back"_s),
                  row(u"esc"_s, u"cancel an edit, clear the filter, go back, or close"_s),
                  row(u"click"_s, u"a bullet marks it done; a double click edits"_s),
              }},
        Group{
            u"Reminders"_s,
            {
                row(u"1 – 9"_s, u"bring it back with a preset"_s),
                row(u"r"_s, u"bring it back when you say"_s),
                row(u"space"_s, u"on a ringing entry: done; a routine is done for today and keeps going"_s),
                row(u"d"_s,
                    u"on a ringing entry: let this ring go; a repeat waits for its next ring, a one-time reminder stops"_s),
                row(u"1 – 9"_s, u"on a ringing entry: snooze; a repeat keeps its schedule"_s),
            }},
        Group{u"Views"_s,
              {
                  row(u"⌘F"_s, u"filter"_s),
                  row(u"⌘E"_s, u"show or hide what's done on past days"_s),
                  row(u"⌘L"_s, u"Later: everything waiting to come back"_s),
                  row(u"⌘S"_s, u"sweep older days one entry at a time, with the keys shown"_s),
                  row(u"⌘T"_s, u"trash: ↩ restores, ⌫ deletes for good"_s),
                  row(u"? ⌘?"_s, u"these keys"_s),
                  row(u"⌘,"_s, u"settings"_s),
              }},
        Group{keyText(u"What r and ⌘R understand"),
              {
                  row(QString(), u"after a while"_s, examples[0]),
                  row(QString(), u"tonight is "_s + end + u"; the others start at "_s + start, examples[1]),
                  row(QString(), u"a time or a day; a time already past means tomorrow"_s, examples[2]),
                  row(QString(),
                      u"again and again until it's done, between "_s + start + u" and "_s + end +
                          u" unless you give hours"_s,
                      examples[3]),
                  row(QString(), u"on a schedule until it's done"_s, examples[4]),
                  row(QString(), u"a routine: done logs it, and it keeps coming back"_s, examples[5]),
                  row(u"↑ ↓"_s, u"pick a preset instead of typing"_s),
                  row(u"⇥"_s, u"make a repeat a routine, or not"_s),
                  row(u"⌫"_s, u"in an empty field, stop the reminder"_s),
                  row(u"↩"_s, u"set it"_s),
              }},
    };
}

QString deliveryQuestion() {
    return u"How should reminders reach you?"_s;
}

QList<DeliveryChoice> deliveryChoices() {
    return {{u"Desktop notifications"_s, ReminderDelivery::Notification},
            {u"Just the tray dot"_s, ReminderDelivery::Dot}};
}

QString launchAtLoginQuestion() {
    return u"Reminders ring only while plim is running."_s;
}

QList<LaunchAtLoginChoice> launchAtLoginChoices() {
    return {{u"Open plim at login"_s, true}, {u"Not now"_s, false}};
}

} // namespace plim::KeysGuide
