#pragma once

#include <QColor>
#include <QDBusConnection>
#include <QObject>
#include <QPalette>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <chrono>
#include <optional>
#include <set>

namespace plim {

class PortalSettings;

enum class Appearance { Light, Dark };

// The program's own six colours, one column per appearance.
struct ThemeColors {
    QColor ground;      // drawer and notes window background
    QColor surface;     // raised elements: key caps, cards, preset rows
    QColor ink;         // primary text
    QColor muted;       // hints, day headers, key descriptions
    QColor highlighter; // the accent
    QColor strike;      // done and struck entries
};

// The colours of an editable text on `base`: ink, a muted placeholder, the accent behind a selection.
void setEditingColors(QPalette& palette, const ThemeColors& colors, const QColor& base);

// "#RRGGBB" as an opaque sRGB colour; none for any other text.
std::optional<QColor> colorFromHex(QStringView hex);

// A background this dark wants light ink on it (HSL lightness below the middle).
bool isDark(const QColor& background);

// Dark or light, and whether animations are wanted, as the desktop says. The desktop's own
// preference comes from the settings portal and is read without waiting for it: until the answer
// arrives (or when there is no portal, or it has no preference) the application palette decides.
class Theme : public QObject {
    Q_OBJECT
public:
    struct Options {
        // How long a portal read may take before the palette's answer stands.
        std::chrono::milliseconds timeout{5000};
    };

    // The portal on the session bus.
    explicit Theme(QObject* parent = nullptr);
    Theme(const QDBusConnection& bus, Options options, QObject* parent = nullptr);
    ~Theme() override;

    static const ThemeColors& colors(Appearance appearance);
    // The portal's color-scheme value (1 prefers dark, 2 prefers light, anything else none) when
    // known, else the lightness of the palette's window colour.
    static Appearance appearanceFor(std::optional<uint> colorScheme, const QColor& window);
    // What a portal setting says about reduced motion; none for a setting that says nothing of it.
    static std::optional<bool> reduceMotionFrom(QStringView group, QStringView key, const QVariant& value);

    Appearance appearance() const { return appearance_; }
    const ThemeColors& colors() const { return colors(appearance_); }
    const QColor& ground() const { return colors().ground; }
    const QColor& surface() const { return colors().surface; }
    const QColor& ink() const { return colors().ink; }
    const QColor& muted() const { return colors().muted; }
    const QColor& highlighter() const { return colors().highlighter; }
    const QColor& strike() const { return colors().strike; }
    // Animations are skipped, their end state set at once.
    bool reduceMotion() const { return reduceMotion_; }

Q_SIGNALS:
    void appearanceChanged(plim::Appearance appearance);
    void reduceMotionChanged(bool reduce);

private:
    // Whether the setting is one the theme follows.
    bool apply(const QString& group, const QString& key, const QVariant& value);
    void update();

    PortalSettings* portal_; // a child
    std::optional<uint> colorScheme_;
    Appearance appearance_ = Appearance::Light;
    bool reduceMotion_ = false;
    // Settings the portal announced a change of: an older read answer must not undo them.
    std::set<QString> announced_;
};

} // namespace plim
