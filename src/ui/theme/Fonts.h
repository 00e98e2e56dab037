#pragma once

#include "store/Preferences.h"

#include <QFont>
#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <functional>

namespace plim::Fonts {

inline constexpr QLatin1String hyperlegibleFamily{"Atkinson Hyperlegible Next"};
inline constexpr QLatin1String dyslexicFamily{"OpenDyslexic"};
inline constexpr QLatin1String monoFamily{"Atkinson Hyperlegible Mono"};

// The name the settings show for a choice: "Atkinson Hyperlegible", "OpenDyslexic", "System".
QString displayName(FontChoice choice);

// Folders that may hold the program's own font files, in the order they are tried: the share
// folder that goes with the executable (installed, unpacked or in the build), then the desktop's
// data folders.
QStringList folders();
// Registers the font files (.ttf, .otf, .woff) of the first of `folders()` that has any, for this
// process only. Returns the families they brought; empty when there were none.
QStringList registerFonts();
// The same for one folder; other files are skipped, a folder that cannot be listed gives nothing.
QStringList registerFonts(const QString& folder);

// What a text font request comes to: a family at a weight, or the system font (empty family).
struct SansFace {
    QString family;
    QFont::Weight weight = QFont::Normal;
    friend bool operator==(const SansFace&, const SansFace&) = default;
};
using FamilyAvailable = std::function<bool(const QString& family)>;
SansFace sansFace(FontChoice choice, QFont::Weight weight, const FamilyAvailable& available);

// The text font at a point size and weight, for the `font` setting or a given choice. A family that
// is not there gives the system font of that size and weight.
QFont sans(qreal size, QFont::Weight weight);
QFont sans(FontChoice choice, qreal size, QFont::Weight weight);

// The fixed-width face of labels, time stamps and keys: the program's mono family, else the
// system's fixed-width font, at regular weight.
QFont mono(qreal size);

// The font set in pixels: the drawer and the windows size their text in device-independent pixels.
QFont inPixels(QFont font, qreal pixels);
// Key labels in the keys view: the view's text size less 3, never below 12 points.
qreal keyLabelSize(qreal textSize);

} // namespace plim::Fonts
