#include "ui/theme/Fonts.h"

#include "ui/theme/DataFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QStandardPaths>

#include <algorithm>

namespace plim::Fonts {

namespace {

// The database resolves a family's aliases through fontconfig on every question, and the windows
// ask for their fonts on every update: the answers are kept until fonts are registered.
QHash<QString, bool>& knownFamilies() {
    static QHash<QString, bool> known;
    return known;
}

bool hasFamily(const QString& family) {
    QHash<QString, bool>& known = knownFamilies();
    auto it = known.constFind(family);
    if (it == known.cend()) {
        it = known.insert(family, QFontDatabase::hasFamily(family));
    }
    return *it;
}

bool isFontFile(const QFileInfo& file) {
    const QString suffix = file.suffix().toLower();
    return suffix == u"ttf" || suffix == u"otf" || suffix == u"woff";
}

// The static file of the family closest to the weight asked for.
QFont::Weight hyperlegibleWeight(QFont::Weight weight) {
    switch (weight) {
    case QFont::Light:
    case QFont::Medium:
    case QFont::DemiBold:
    case QFont::Bold:
    case QFont::ExtraBold:
        return weight;
    case QFont::Black:
        return QFont::ExtraBold;
    default:
        return QFont::Normal;
    }
}

} // namespace

QString displayName(FontChoice choice) {
    switch (choice) {
    case FontChoice::Hyperlegible:
        return QStringLiteral("Atkinson Hyperlegible");
    case FontChoice::OpenDyslexic:
        return QStringLiteral("OpenDyslexic");
    case FontChoice::System:
        break;
    }
    return QStringLiteral("System");
}

QStringList folders() {
    QStringList result;
    if (const QString own = ownDataFolder(); !own.isEmpty()) {
        result << own + QStringLiteral("/plim/fonts");
    }
    result << QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("plim/fonts"),
                                        QStandardPaths::LocateDirectory);
    result.removeDuplicates();
    return result;
}

QStringList registerFonts() {
    for (const QString& folder : folders()) {
        const QStringList families = registerFonts(folder);
        if (!families.isEmpty()) {
            qCInfo(lcData, "fonts from %s: %s", qUtf8Printable(folder), qUtf8Printable(families.join(u", ")));
            return families;
        }
    }
    qCInfo(lcData, "no fonts in %s", qUtf8Printable(folders().join(u", ")));
    return {};
}

QStringList registerFonts(const QString& folder) {
    QStringList families;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& file : files) {
        if (!isFontFile(file)) {
            continue;
        }
        const int id = QFontDatabase::addApplicationFont(file.filePath());
        if (id >= 0) {
            families << QFontDatabase::applicationFontFamilies(id);
        }
    }
    families.removeDuplicates();
    knownFamilies().clear();
    return families;
}

SansFace sansFace(FontChoice choice, QFont::Weight weight, const FamilyAvailable& available) {
    switch (choice) {
    case FontChoice::Hyperlegible:
        if (available(hyperlegibleFamily)) {
            return {hyperlegibleFamily, hyperlegibleWeight(weight)};
        }
        break;
    case FontChoice::OpenDyslexic:
        // The family has a regular and a bold face only.
        if (available(dyslexicFamily)) {
            return {dyslexicFamily, weight >= QFont::Medium ? QFont::Bold : QFont::Normal};
        }
        break;
    case FontChoice::System:
        break;
    }
    return {QString(), weight};
}

QFont sans(qreal size, QFont::Weight weight) {
    return sans(Preferences::shared().font(), size, weight);
}

QFont sans(FontChoice choice, qreal size, QFont::Weight weight) {
    const SansFace face = sansFace(choice, weight, hasFamily);
    QFont font = face.family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(face.family);
    font.setPointSizeF(size);
    font.setWeight(face.weight);
    return font;
}

QFont mono(qreal size) {
    QFont font = hasFamily(monoFamily) ? QFont(monoFamily) : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(size);
    font.setWeight(QFont::Normal);
    return font;
}

qreal keyLabelSize(qreal textSize) {
    return std::max(textSize - 3, qreal(12));
}

QFont inPixels(QFont font, qreal pixels) {
    font.setPixelSize(std::max(1, qRound(pixels)));
    return font;
}

} // namespace plim::Fonts
