#include "ui/theme/Fonts.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

TEST(Fonts, FaceForEachChoiceWeightAndWhatIsInstalled) {
    const std::set<QString> all{Fonts::hyperlegibleFamily, Fonts::dyslexicFamily};
    const std::set<QString> none;
    const std::set<QString> dyslexicOnly{Fonts::dyslexicFamily};
    const QString next = Fonts::hyperlegibleFamily;
    const QString dyslexic = Fonts::dyslexicFamily;
    struct Case {
        FontChoice choice;
        QFont::Weight weight;
        const std::set<QString>& installed;
        Fonts::SansFace expected;
    };
    const std::vector<Case> cases{
        // The nearest static weight of the text family.
        {FontChoice::Hyperlegible, QFont::Normal, all, {next, QFont::Normal}},
        {FontChoice::Hyperlegible, QFont::DemiBold, all, {next, QFont::DemiBold}},
        {FontChoice::Hyperlegible, QFont::Black, all, {next, QFont::ExtraBold}},
        {FontChoice::Hyperlegible, QFont::Thin, all, {next, QFont::Normal}},
        // Bold from medium up, else regular.
        {FontChoice::OpenDyslexic, QFont::Medium, all, {dyslexic, QFont::Bold}},
        {FontChoice::OpenDyslexic, QFont::Normal, all, {dyslexic, QFont::Normal}},
        // The system font keeps the weight asked for.
        {FontChoice::System, QFont::DemiBold, all, {QString(), QFont::DemiBold}},
        {FontChoice::Hyperlegible, QFont::DemiBold, none, {QString(), QFont::DemiBold}},
        {FontChoice::OpenDyslexic, QFont::Normal, none, {QString(), QFont::Normal}},
        {FontChoice::Hyperlegible, QFont::Bold, dyslexicOnly, {QString(), QFont::Bold}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << toRaw(c.choice).toStdString() << " weight " << c.weight << " families "
                                        << c.installed.size());
        const Fonts::SansFace face =
            Fonts::sansFace(c.choice, c.weight, [&](const QString& family) { return c.installed.count(family) != 0; });
        EXPECT_EQ(face.family, c.expected.family);
        EXPECT_EQ(face.weight, c.expected.weight);
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

    struct Case {
        QFont font;
        QString family;
        QString style;
    };
    const std::vector<Case> cases{
        {Fonts::sans(FontChoice::Hyperlegible, 17, QFont::DemiBold), Fonts::hyperlegibleFamily, u"SemiBold"_s},
        {Fonts::sans(FontChoice::Hyperlegible, 17, QFont::Normal), Fonts::hyperlegibleFamily, u"Regular"_s},
        {Fonts::sans(FontChoice::Hyperlegible, 17, QFont::Black), Fonts::hyperlegibleFamily, u"ExtraBold"_s},
        {Fonts::sans(FontChoice::OpenDyslexic, 17, QFont::DemiBold), Fonts::dyslexicFamily, u"Bold"_s},
        {Fonts::sans(FontChoice::OpenDyslexic, 17, QFont::Normal), Fonts::dyslexicFamily, u"Regular"_s},
        {Fonts::mono(13), Fonts::monoFamily, u"Regular"_s},
        {Fonts::sans(FontChoice::System, 17, QFont::Bold), QFontInfo(system).family(), QString()},
    };
    for (const Case& c : cases) {
        const QFontInfo info(c.font);
        SCOPED_TRACE(c.family.toStdString());
        EXPECT_EQ(info.family(), c.family);
        if (!c.style.isEmpty()) {
            EXPECT_EQ(info.styleName(), c.style);
        }
    }
    EXPECT_TRUE(QFontInfo(Fonts::mono(13)).fixedPitch());
}

} // namespace
