#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringView>
#include <Qt>

#include <optional>

namespace plim {

class Preferences;

// The named global key combinations and their storage. Each name's shortcut is kept in the
// settings under "KeyboardShortcuts_" + name as the JSON text {"carbonKeyCode":…,"carbonModifiers":…}
// (a virtual key code of the classic table below and a modifier mask), or as false when the user
// removed the shortcut of a name that has a default. Grabbing the keys is not done here: whoever
// does it reads the shortcuts and follows `shortcutByNameDidChange`.
class KeyboardShortcuts : public QObject {
    Q_OBJECT

public:
    // Modifier bits of the stored mask.
    static constexpr int superBit = 256; // the command key elsewhere
    static constexpr int shiftBit = 512;
    static constexpr int altBit = 2048; // option
    static constexpr int controlBit = 4096;
    static constexpr int functionBit = 131072; // no counterpart here; kept, never shown

    struct Shortcut {
        int carbonKeyCode = 0;
        int carbonModifiers = 0;

        // None for a key outside the table.
        static std::optional<Shortcut> make(Qt::Key key, Qt::KeyboardModifiers modifiers);
        std::optional<Qt::Key> key() const;
        Qt::KeyboardModifiers modifiers() const;
        // "Ctrl+Alt+Space": Ctrl, Alt, Shift, Super, then the key.
        QString presentableDescription() const;

        // {"carbonKeyCode":49,"carbonModifiers":6144}
        QString json() const;
        // None unless an object with both members as whole numbers of the right range.
        static std::optional<Shortcut> fromJson(QStringView text);

        friend bool operator==(const Shortcut&, const Shortcut&) = default;
    };

    struct Name {
        QString rawValue;
        std::optional<Shortcut> defaultShortcut;

        // "KeyboardShortcuts_" + the name.
        QString storageKey() const;

        // Ctrl+Alt+Space: open or close the drawer.
        static Name capture();
        // Ctrl+Alt+Shift+Space: open or close the notes window.
        static Name manage();
        // Ctrl+Alt+Shift+V: save the clipboard as a note.
        static Name captureClipboard();
        static QList<Name> all();

        friend bool operator==(const Name&, const Name&) = default;
    };

    // Stores the default of every name whose key holds nothing yet, so a user's change or
    // removal is never overwritten.
    explicit KeyboardShortcuts(Preferences& preferences, QObject* parent = nullptr);

    // Stores a name's default when its key holds nothing yet.
    void declare(const Name& name);
    std::optional<Shortcut> getShortcut(const Name& name) const;
    // None removes the shortcut: false is stored for a name with a default, the key is
    // removed for one without.
    void setShortcut(const std::optional<Shortcut>& shortcut, const Name& name);

    // --- The fixed table between stored key codes and this desktop's keys ---
    static std::optional<Qt::Key> qtKey(int carbonKeyCode);
    // Shifted symbols of a US layout ("?", "!") count as their unshifted key.
    static std::optional<int> carbonKeyCode(Qt::Key key);
    // "Space", "V", "F5", "/"; none for a code outside the table.
    static std::optional<QString> keyName(int carbonKeyCode);
    static int carbonModifiers(Qt::KeyboardModifiers modifiers);
    static Qt::KeyboardModifiers qtModifiers(int carbonModifiers);

Q_SIGNALS:
    // A name's shortcut was set or removed.
    void shortcutByNameDidChange(const QString& name);

private:
    Preferences& preferences_;
};

} // namespace plim
