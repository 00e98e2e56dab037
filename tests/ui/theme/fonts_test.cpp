#include "ui/theme/Fonts.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>

#include <gtest/gtest.h>

#include <set>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

TEST(Fonts, FaceForEachChoiceWeightAndWhatIsInstalled) {
    const std::set<QString> all{Fonts::hyperlegibleFamily, Fonts::dyslexicFamily};
    const QString next = Fonts::hyperlegibleFamily;
    const QString dyslexic = Fonts::dyslexicFamily;
    using F = FontChoice;
    // The nearest static weight of the text family; OpenDyslexic bold from medium up, else regular;
    // the system font, or a family not installed, keeps the weight asked for.
    const std::tuple<FontChoice, QFont::Weight, std::set<QString>, QString, QFont::Weight> cases[] = {
        {F::Hyperlegible, QFont::Normal, all, next, QFont::Normal},
        {F::Hyperlegible, QFont::DemiBold, all, next, QFont::DemiBold},
        {F::Hyperlegible, QFont::Black, all, next, QFont::ExtraBold},
        {F::Hyperlegible, QFont::Thin, all, next, QFont::Normal},
        {F::OpenDyslexic, QFont::Medium, all, dyslexic, QFont::Bold},
        {F::OpenDyslexic, QFont::Normal, all, dyslexic, QFont::Normal},
        {F::System, QFont::DemiBold, all, QString(), QFont::DemiBold},
        {F::Hyperlegible, QFont::DemiBold, {}, QString(), QFont::DemiBold},
        {F::OpenDyslexic, QFont::Normal, {}, QString(), QFont::Normal},
        {F::Hyperlegible, QFont::Bold, {dyslexic}, QString(), QFont::Bold},
    };
    for (const auto& [choice, weight, installed, family, faceWeight] : cases) {
        SCOPED_TRACE(testing::Message() << toRaw(choice).toStdString() << " weight " << weight << " families "
                                        << installed.size());
        const Fonts::SansFace face =
            Fonts::sansFace(choice, weight, [&](const QString& name) { return installed.count(name) != 0; });
        EXPECT_EQ(face.family, family);
        EXPECT_EQ(face.weight, faceWeight);
    }
}

// The real files of the build, registered as the program does at start, and OpenDyslexic from the
// system (fonts-opendyslexic). Without them every choice is the system font.
TEST(Fonts, BuildFontsRegisterUnderTheirFamilyNames) {
    const QString folder = QStringLiteral(PLIM_BUILD_FONTS_DIR);
    if (!QDir(folder).exists()) {
        GTEST_SKIP() << "no fonts in " << folder.toStdString() << " (configured with PLIM_FONTS=OFF?)";
    }
    const QFont system = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    ASSERT_FALSE(QFontDatabase::hasFamily(Fonts::hyperlegibleFamily)) << "installed on this system already";
    const QFont before = Fonts::sans(FontChoice::Hyperlegible, 17, QFont::DemiBold);
    EXPECT_EQ(before.family(), system.family());
    EXPECT_EQ(before.pointSizeF(), 17);
    EXPECT_EQ(before.weight(), QFont::DemiBold);

    const QStringList families = Fonts::registerFonts();
    EXPECT_TRUE(families.contains(Fonts::hyperlegibleFamily)) << families.join(u", ").toStdString();
    EXPECT_TRUE(families.contains(Fonts::monoFamily)) << families.join(u", ").toStdString();

    const std::tuple<QFont, QString, QString> cases[] = {
        {Fonts::sans(FontChoice::Hyperlegible, 17, QFont::DemiBold), Fonts::hyperlegibleFamily, u"SemiBold"_s},
        {Fonts::sans(FontChoice::Hyperlegible, 17, QFont::Normal), Fonts::hyperlegibleFamily, u"Regular"_s},
        {Fonts::sans(FontChoice::Hyperlegible, 17, QFont::Black), Fonts::hyperlegibleFamily, u"ExtraBold"_s},
        {Fonts::sans(FontChoice::OpenDyslexic, 17, QFont::DemiBold), Fonts::dyslexicFamily, u"Bold"_s},
        {Fonts::sans(FontChoice::OpenDyslexic, 17, QFont::Normal), Fonts::dyslexicFamily, u"Regular"_s},
        {Fonts::mono(13), Fonts::monoFamily, u"Regular"_s},
        {Fonts::sans(FontChoice::System, 17, QFont::Bold), QFontInfo(system).family(), QString()},
    };
    for (const auto& [font, family, style] : cases) {
        const QFontInfo info(font);
        SCOPED_TRACE(family.toStdString());
        EXPECT_EQ(info.family(), family);
        if (!style.isEmpty()) {
            EXPECT_EQ(info.styleName(), style);
        }
    }
    EXPECT_TRUE(QFontInfo(Fonts::mono(13)).fixedPitch());
}

} // namespace
