#include "store/Preferences.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace plim;
using plim::test::readAll;
using plim::test::writeAll;

namespace {

// Every read is rendered as text so one table can hold all of them.
using Reader = QString (*)(const Preferences&);

struct Text {
    static QString of(double value) { return QString::number(value); }
    static QString of(int value) { return QString::number(value); }
    static QString of(bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); }
    static QString of(const QString& value) { return value; }
    static QString of(const QStringList& value) { return value.join(u'|'); }
    template <typename Choice>
    static QString of(Choice value) {
        return u'[' + toRaw(value) + u']';
    }
};

using P = Preferences;

template <auto getter>
QString read(const Preferences& p) {
    return Text::of((p.*getter)());
}

const Reader readAnchors = [](const Preferences& p) -> QString {
    return Text::of(p.anchors().dayStart) + u'-' + Text::of(p.anchors().dayEnd);
};
const Reader readRawShortcut = [](const Preferences& p) -> QString {
    return p.value(QStringLiteral("KeyboardShortcuts_capture")).isValid() ? QStringLiteral("stored")
                                                                          : QStringLiteral("none");
};

const char* const defaultPresets = "20m|1h|3h|tonight|tomorrow|next week|every 3h|every day|twice a day";

struct Case {
    const char* name;
    const char* stored; // lines of the settings file below [General]; "" for nothing stored, null: set
    Reader read;
    const char* expected; // "$HOME" stands for the home folder
    QLatin1String key{};  // what is set, in this and read in another process
    QVariant value{};
};

const QStringList presets =
    QStringLiteral("1, 2|@Invalid()|3h|tonight|\"quoted\"|next week|every 3h|every day|").split(u'|');

const Case cases[] = {
    {"textSize above range", "textSize=100", read<&P::textSize>, "48"},
    {"textSize below range", "textSize=5", read<&P::textSize>, "12"},
    {"textSize list", "textSize=20, 30", read<&P::textSize>, "18"},
    {"textSize not a number", "textSize=nan", read<&P::textSize>, "18"},
    {"drawerTextSize from textSize clamped", "textSize=46", read<&P::drawerTextSize>, "48"},
    {"drawerTextSize stored", "textSize=20\ndrawerTextSize=30", read<&P::drawerTextSize>, "30"},
    {"drawerTextSize mistyped", "drawerTextSize=big", read<&P::drawerTextSize>, "22"},
    {"font other case", "font=System", read<&P::font>, "[hyperlegible]"},
    {"dayStart whole written as fraction", "dayStart=540.0", read<&P::dayStart>, "540"},
    {"dayStart fraction", "dayStart=600.5", read<&P::dayStart>, "510"},
    {"dayStart beyond integers", "dayStart=1e30", read<&P::dayStart>, "510"},
    {"anchors clamped", "dayStart=-5\ndayEnd=1500", readAnchors, "0-1439"},
    {"reminderDelivery unknown", "reminderDelivery=email", read<&P::reminderDelivery>, "[]"},
    {"ringOnThisMac false", "ringOnThisMac=false", read<&P::ringOnThisMac>, "no"},
    {"ringOnThisMac mistyped", "ringOnThisMac=no", read<&P::ringOnThisMac>, "yes"},
    {"opacity below range", "opacity=0.1", read<&P::opacity>, "0.3"},
    {"blurRadius above range", "blurRadius=12", read<&P::blurRadius>, "8"},
    {"blurRadius trailing letters", "blurRadius=5px", read<&P::blurRadius>, "0"},
    {"drawerPosition unknown", "drawerPosition=top", read<&P::drawerPosition>, "[center]"},
    {"reminderPresets eight", "reminderPresets=a, b, c, d, e, f, g, h", read<&P::reminderPresets>, defaultPresets},
    {"reminderPresets nine", "reminderPresets=a, b, c, d, e, f, g, h, \"i, j\"", read<&P::reminderPresets>,
     "a|b|c|d|e|f|g|h|i, j"},
    {"reminderPresets one string", "reminderPresets=20m", read<&P::reminderPresets>, defaultPresets},
    {"draft with comma and newline", "draft=\"a, b\\nc\"", read<&P::draft>, "a, b\nc"},
    {"draft that looks like a list", "draft=a, b", read<&P::draft>, ""},
    {"notesFilePath missing", "", read<&P::notesFilePath>, "$HOME/Documents/plim/plim.md"},
    {"notesFilePath tilde", "notesFilePath=~/Notes/x.md", read<&P::notesFilePath>, "$HOME/Notes/x.md"},
    {"notesFilePath absolute", "notesFilePath=/srv/notes/../n.md", read<&P::notesFilePath>, "/srv/n.md"},
    {"notesFilePath relative", "notesFilePath=notes/x.md", read<&P::notesFilePath>, "$HOME/notes/x.md"},
    {"notesFilePath tilde inside", "notesFilePath=/srv/~/x.md", read<&P::notesFilePath>, "/srv/~/x.md"},
    {"trash beside chosen file", "notesFilePath=/srv/a/b.md", read<&P::trashFilePath>, "/srv/a/plim.trash.md"},
    {"trash never the notes", "notesFilePath=/srv/plim.trash.md", read<&P::trashFilePath>, "/srv/plim.trash.trash.md"},
    {"double out of range", nullptr, read<&P::opacity>, "0.3", PreferenceKey::opacity, 0.05},
    {"integral double", nullptr, read<&P::dayEnd>, "1200", PreferenceKey::dayEnd, 1200.0},
    {"fractional double as integer", nullptr, read<&P::dayEnd>, "1230", PreferenceKey::dayEnd, 1200.5},
    {"boolean as string", nullptr, read<&P::launchAtLoginOffered>, "yes", PreferenceKey::launchAtLoginOffered,
     QStringLiteral("true")},
    {"number where a boolean belongs", nullptr, read<&P::ringOnThisMac>, "yes", PreferenceKey::ringOnThisMac, 0},
    {"list of nine", nullptr, read<&P::reminderPresets>,
     "1, 2|@Invalid()|3h|tonight|\"quoted\"|next week|every 3h|every day|", PreferenceKey::reminderPresets, presets},
    {"draft with markup", nullptr, read<&P::draft>, "@Variant(x), y\n  z\\", PreferenceKey::draft,
     QStringLiteral("@Variant(x), y\n  z\\")},
    {"list where a string belongs", nullptr, read<&P::draft>, "", PreferenceKey::draft,
     QStringList{QStringLiteral("a"), QStringLiteral("b")}},
    // Values no setting can hold (hand-edited, or written by a broken program) are out of range.
    {"path beyond the system's limit", nullptr, read<&P::notesFilePath>, "$HOME/Documents/plim/plim.md",
     PreferenceKey::notesFilePath, QStringLiteral("/srv/") + QString(2100, u'é')},
    {"a preset too long for a phrase", nullptr, read<&P::reminderPresets>, defaultPresets,
     PreferenceKey::reminderPresets, QStringList(presets.mid(0, 8)) << QString(300, u'a')},
    {"a raw value of megabytes", nullptr, readRawShortcut, "none", QLatin1String("KeyboardShortcuts_capture"),
     QString(Preferences::maxValueLength + 1, u'{')},
};

class PreferencesFile : public ::testing::Test {
protected:
    // A new name for every file: settings files are cached per name within a process.
    QString fresh() { return dir.filePath(QStringLiteral("%1.conf").arg(++files)); }
    // What another process would read: a copy under a new name is parsed from disk.
    QString reopened(const QString& file) {
        const QString copy = fresh();
        EXPECT_TRUE(QFile::copy(file, copy));
        return copy;
    }
    QTemporaryDir dir;
    int files = 0;
};

// Reading applies the default and the range, and never writes the clamped value back; what is set
// reads back so in this process and in another.
TEST_F(PreferencesFile, StoredValuesAreReadWithinRange) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = fresh();
        const QString expected = QString::fromUtf8(c.expected).replace(QStringLiteral("$HOME"), QDir::homePath());
        const QByteArray stored = QByteArray("[General]\n") + c.stored + '\n';
        if (!c.stored) {
            Preferences prefs(file);
            prefs.setValue(c.key, c.value);
            EXPECT_EQ(c.read(prefs), expected);
            EXPECT_EQ(c.read(Preferences(reopened(file))), expected);
            continue;
        }
        ASSERT_TRUE(writeAll(file, stored));
        EXPECT_EQ(c.read(Preferences(file)), expected);
        EXPECT_EQ(readAll(file), stored);
    }
}

// A draft longer than the drawer takes is kept whole in a file beside the settings, and only its
// beginning is the draft from then on; values no setting can hold leave a file they made large.
TEST_F(PreferencesFile, SettingsMadeHugeAreMadeSmallLosingNothing) {
    const QString file = fresh();
    const QString beginning(Preferences::maxDraftLength, u'a');
    const QString whole = beginning + QStringLiteral("the end");
    {
        Preferences writer(file);
        writer.setValue(PreferenceKey::draft, whole, Preferences::Announce::No);
        writer.setValue(PreferenceKey::notesFilePath, QString(2'000'000, u'n'), Preferences::Announce::No);
        writer.setValue(PreferenceKey::font, QStringLiteral("system"), Preferences::Announce::No);
    }
    const QString opened = reopened(file);
    Preferences prefs(opened);
    EXPECT_LT(QFileInfo(opened).size(), 2 * Preferences::maxDraftLength);
    EXPECT_EQ(prefs.draft(), beginning);
    EXPECT_EQ(prefs.font(), FontChoice::System);
    EXPECT_FALSE(prefs.contains(PreferenceKey::notesFilePath));
    const auto kept = prefs.takeKeptDraft();
    ASSERT_TRUE(kept);
    EXPECT_EQ(QFileInfo(*kept).absolutePath(), dir.path());
    EXPECT_EQ(readAll(*kept), whole.toUtf8());
    EXPECT_FALSE(prefs.takeKeptDraft());
    EXPECT_EQ(Preferences(reopened(opened)).draft(), beginning);
}

TEST_F(PreferencesFile, WritersAnnounceUnlessToldNotTo) {
    const QString file = fresh();
    Preferences prefs(file);
    QSignalSpy spy(&prefs, &Preferences::changed);
    prefs.setValue(PreferenceKey::draft, QStringLiteral("half a thought"), Preferences::Announce::No);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(Preferences(reopened(file)).draft(), QStringLiteral("half a thought"));
    prefs.remove(PreferenceKey::draft);
    EXPECT_EQ(spy.count(), 1);
    prefs.setValue(PreferenceKey::textSize, 30);
    prefs.remove(PreferenceKey::textSize, Preferences::Announce::No);
    EXPECT_EQ(spy.count(), 2);
    EXPECT_EQ(prefs.textSize(), 18);
    const Preferences other(reopened(file));
    EXPECT_EQ(other.textSize(), 18);
    EXPECT_EQ(other.draft(), QString());
}

} // namespace
