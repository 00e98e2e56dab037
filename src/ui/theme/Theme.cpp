#include "ui/theme/Theme.h"

#include "platform/linux/PortalSettings.h"

#include <QGuiApplication>
#include <QPalette>

#include <array>

namespace plim {

namespace {

const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kColorScheme = QStringLiteral("color-scheme");
const QString kGnomeInterface = QStringLiteral("org.gnome.desktop.interface");
const QString kGnomeAnimations = QStringLiteral("enable-animations");
const QString kKdeGlobals = QStringLiteral("org.kde.kdeglobals.KDE");
const QString kKdeAnimationFactor = QStringLiteral("AnimationDurationFactor");

ThemeColors column(const std::array<const char*, 6>& hex) {
    const auto c = [&](std::size_t i) { return colorFromHex(QString::fromLatin1(hex[i])).value_or(QColor()); };
    return ThemeColors{c(0), c(1), c(2), c(3), c(4), c(5)};
}

std::optional<uint> toColorScheme(const QVariant& value) {
    switch (value.metaType().id()) {
    case QMetaType::UInt:
    case QMetaType::Int:
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::Short:
    case QMetaType::ULongLong:
    case QMetaType::LongLong:
        return value.toUInt();
    default:
        return std::nullopt;
    }
}

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

} // namespace

void setEditingColors(QPalette& palette, const ThemeColors& colors, const QColor& base) {
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Text, colors.ink);
    palette.setColor(QPalette::PlaceholderText, colors.muted);
    QColor selection = colors.highlighter;
    selection.setAlphaF(0.35);
    palette.setColor(QPalette::Highlight, selection);
    palette.setColor(QPalette::HighlightedText, colors.ink);
}

std::optional<QColor> colorFromHex(QStringView hex) {
    if (hex.size() != 7 || hex.front() != u'#') {
        return std::nullopt;
    }
    uint v = 0;
    for (const QChar c : hex.mid(1)) {
        const int digit = hexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        v = v * 16 + static_cast<uint>(digit);
    }
    return QColor::fromRgb((v >> 16) & 255, (v >> 8) & 255, v & 255);
}

bool isDark(const QColor& background) {
    return background.lightness() < 128;
}

const ThemeColors& Theme::colors(Appearance appearance) {
    // ground, surface, ink, muted, highlighter, strike
    static const ThemeColors dark = column({"#15171B", "#1E2127", "#E9E6DF", "#8B8F98", "#2BBF9F", "#5C606A"});
    static const ThemeColors light = column({"#F6F4EF", "#FFFFFF", "#1B1D22", "#6B6F78", "#0E6E64", "#A9ACB3"});
    return appearance == Appearance::Dark ? dark : light;
}

Appearance Theme::appearanceFor(std::optional<uint> colorScheme, const QColor& window) {
    if (colorScheme == 1u) {
        return Appearance::Dark;
    }
    if (colorScheme == 2u) {
        return Appearance::Light;
    }
    return isDark(window) ? Appearance::Dark : Appearance::Light;
}

std::optional<bool> Theme::reduceMotionFrom(QStringView group, QStringView key, const QVariant& value) {
    if (group == kGnomeInterface && key == kGnomeAnimations && value.metaType().id() == QMetaType::Bool) {
        return !value.toBool();
    }
    if (group == kKdeGlobals && key == kKdeAnimationFactor) {
        bool ok = false;
        const double factor = value.toDouble(&ok);
        if (ok) {
            return factor == 0.0;
        }
    }
    return std::nullopt;
}

Theme::Theme(QObject* parent)
    : Theme(QDBusConnection::sessionBus(), Options{}, parent) {}

Theme::Theme(const QDBusConnection& bus, Options options, QObject* parent)
    : QObject(parent)
    , portal_(new PortalSettings(bus, options.timeout, this)) {
    update();
    if (!bus.isConnected()) {
        return;
    }
    connect(portal_, &PortalSettings::changed, this,
            [this](const QString& group, const QString& key, const QVariant& value) {
                if (apply(group, key, value)) {
                    announced_.insert(group + u'\n' + key);
                }
            });
    // A read answered after the portal announced a change of the same setting is older than it.
    connect(portal_, &PortalSettings::valueRead, this,
            [this](const QString& group, const QString& key, const QVariant& value) {
                if (announced_.count(group + u'\n' + key) == 0) {
                    apply(group, key, value);
                }
            });
    portal_->read(kAppearance, kColorScheme);
    portal_->read(kGnomeInterface, kGnomeAnimations);
    portal_->read(kKdeGlobals, kKdeAnimationFactor);
}

Theme::~Theme() = default;

bool Theme::apply(const QString& group, const QString& key, const QVariant& value) {
    if (group == kAppearance && key == kColorScheme) {
        colorScheme_ = toColorScheme(value);
        update();
        return true;
    }
    const auto reduce = reduceMotionFrom(group, key, value);
    if (!reduce) {
        return false;
    }
    if (*reduce != reduceMotion_) {
        reduceMotion_ = *reduce;
        Q_EMIT reduceMotionChanged(reduceMotion_);
    }
    return true;
}

void Theme::update() {
    QColor window = QColor(Qt::white);
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        window = QGuiApplication::palette().color(QPalette::Window);
    }
    const Appearance next = appearanceFor(colorScheme_, window);
    if (next != appearance_) {
        appearance_ = next;
        Q_EMIT appearanceChanged(appearance_);
    }
}

} // namespace plim
