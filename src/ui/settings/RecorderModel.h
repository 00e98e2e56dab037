#pragma once

#include <QKeyCombination>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace plim {

// What a shortcut recorder does with the combination pressed while it records.
namespace RecorderModel {

enum class Verdict {
    Wait,          // only modifiers so far
    Cancel,        // Esc alone: recording ends, the shortcut stays
    Clear,         // Backspace or Delete alone: the shortcut is removed
    Accept,        // becomes the name's shortcut
    Disallowed,    // no Ctrl, Alt or Super, or a key the shortcut table has no code for
    UsedByWindow,  // the notes window's own key
    UsedByDesktop, // the desktop or another program holds it
};

struct Judgement {
    Verdict verdict = Verdict::Wait;
    // The warning shown for a refusal; empty otherwise.
    QString warning;
};

// A key of the notes window and what it does there ("Close").
struct WindowKey {
    QKeyCombination keys;
    QString title;
};
// The notes window's own keys, which a global shortcut would take from it.
const QList<WindowKey>& windowKeys();

struct Checks {
    // Whether the shortcut table has a code for the key.
    std::function<bool(Qt::Key)> known;
    // Whether the desktop refuses to let the program hold the combination; asked last, and only for
    // a combination that passed every other rule.
    std::function<bool(QKeyCombination)> heldElsewhere;
    // The combination as the settings name it ("Ctrl+Alt+Space").
    std::function<QString(QKeyCombination)> describe;
};

Judgement judge(QKeyCombination pressed, const Checks& checks);

// The field's texts.
QString placeholder();          // no shortcut
QString recordingPlaceholder(); // recording
QString disallowedText(const QString& keys);
QString usedByWindowText(const QString& keys, const QString& title);
QString usedByDesktopText(const QString& keys);

} // namespace RecorderModel

// The named global shortcuts as the settings read and change them.
class ShortcutAccess : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ShortcutAccess() override = default;

    // Whether this desktop lets the program hold keys at all; where not, the settings show the
    // commands to bind instead.
    virtual bool holdsKeys() const = 0;
    // The name's shortcut as shown ("Ctrl+Alt+Space", or the desktop's words for the keys it
    // bound); none when it has none.
    virtual std::optional<QString> text(const QString& name) const = 0;
    // Why the name's shortcut does nothing (another program holds it, the desktop turned it down);
    // none when it works or there is none.
    virtual std::optional<QString> problem(const QString& name) const {
        Q_UNUSED(name);
        return std::nullopt;
    }
    // Stores the name's shortcut; none removes it. Takes effect at once.
    virtual void set(const QString& name, std::optional<QKeyCombination> combination) = 0;
    // While a recorder records, no global shortcut runs.
    virtual void setRecording(bool recording) = 0;
    virtual RecorderModel::Checks checks() = 0;

Q_SIGNALS:
    // A shortcut changed, or whether the program can hold keys.
    void changed();
};

} // namespace plim
