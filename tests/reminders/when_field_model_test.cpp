#include "reminders/WhenFieldModel.h"

#include "notes/Clock.h"
#include "notes/Preferences.h"

#include "ReminderBuilders.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;

namespace {

const Calendar kBerlin(QStringLiteral("Europe/Berlin"));

// Wednesday 11 March 2026, 10:07 in Berlin.
Instant now() {
    return at(kBerlin, 2026, 3, 11, 10, 7);
}

// A field over settings of its own, seen at a fixed moment; it records what the callbacks got.
struct Field {
    QTemporaryDir dir;
    Preferences preferences{dir.filePath(QStringLiteral("plim.conf"))};
    ManualClock clock{now(), kBerlin};
    WhenFieldModel model{preferences, clock};
    std::vector<Reminder> committed;
    int stops = 0;
    int cancels = 0;

    Field() {
        model.onCommit = [this](const Reminder& r) { committed.push_back(r); };
        model.onStop = [this] { ++stops; };
        model.onCancel = [this] { ++cancels; };
    }
    void setPresets(const QStringList& presets) {
        preferences.setValue(PreferenceKey::reminderPresets, presets, Preferences::Announce::No);
    }
    std::optional<Reminder> parse(const QString& phrase) const {
        return Reminder::parse(phrase, clock.now(), preferences.anchors(), kBerlin);
    }
};

QStringList ninePresets() {
    return {u"5m"_s,
            u"10m"_s,
            u"15m"_s,
            u"tomorrow 7am"_s,
            u"fri"_s,
            u"sat 10am"_s,
            u"every 2h"_s,
            u"every weekday 9am"_s,
            u"every day 20:30 routine"_s};
}

// --- Which reminder Return sets ---

struct ChosenCase {
    std::string name;
    QStringList presets; // empty: nothing stored
    QString text;
    int moves;        // ↓ presses before typing
    QString expected; // the phrase whose reminder Return sets; empty for none
};

void PrintTo(const ChosenCase& c, std::ostream* os) {
    *os << c.name;
}

class Chosen : public ::testing::TestWithParam<ChosenCase> {};

TEST_P(Chosen, IsThePresetOrTheTypedPhrase) {
    const ChosenCase& c = GetParam();
    Field f;
    if (!c.presets.isEmpty()) {
        f.setPresets(c.presets);
    }
    f.model.reset(QString(), std::nullopt);
    f.model.move(c.moves);
    f.model.setText(c.text);
    const auto expected = c.expected.isEmpty() ? std::nullopt : f.parse(c.expected);
    ASSERT_EQ(c.expected.isEmpty(), !expected.has_value()) << "the expected phrase must parse";
    EXPECT_EQ(f.model.chosen(now()), expected);

    // Return commits exactly that, or nothing and the field stays as it is.
    EXPECT_EQ(f.model.submit(), expected.has_value());
    EXPECT_EQ(f.committed.size(), expected ? 1u : 0u);
    if (expected) {
        EXPECT_EQ(f.committed.front(), *expected);
    }
    EXPECT_EQ(f.model.text(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    WhenField, Chosen,
    ::testing::Values(ChosenCase{"EmptyIsTheFirstPreset", {}, QString(), 0, u"20m"_s},
                      ChosenCase{"BlanksAreNotTyping", {}, u" \t "_s, 0, u"20m"_s},
                      ChosenCase{"HighlightedPreset", {}, QString(), 2, u"3h"_s},
                      ChosenCase{"TypedNumberPicksPreset", {}, u"7"_s, 0, u"every 3h"_s},
                      ChosenCase{"TypedNumberBeatsHighlight", {}, u"1"_s, 4, u"20m"_s},
                      ChosenCase{"TenIsATime", {}, u"10"_s, 0, u"10:00"_s},
                      ChosenCase{"ZeroIsNoPreset", {}, u"0"_s, 0, u"0:00"_s},
                      ChosenCase{"Phrase", {}, u"tomorrow 9am"_s, 0, u"tomorrow 9am"_s},
                      ChosenCase{"Unreadable", {}, u"someday maybe"_s, 0, QString()},
                      ChosenCase{"StoredPresets", ninePresets(), u"5"_s, 0, u"fri"_s},
                      ChosenCase{"StoredPresetHighlighted", ninePresets(), QString(), 8, u"every day 20:30 routine"_s},
                      ChosenCase{"EightStoredAreIgnored", ninePresets().mid(0, 8), u"9"_s, 0, u"twice a day"_s},
                      ChosenCase{"StoredPresetThatDoesNotParse",
                                 {u"soon"_s, u"1h"_s, u"3h"_s, u"tonight"_s, u"tomorrow"_s, u"next week"_s,
                                  u"every 3h"_s, u"every day"_s, u"twice a day"_s},
                                 QString(),
                                 0,
                                 QString()}),
    CaseName{});

TEST(WhenField, ReadsThePresetsAfreshOnEveryLookup) {
    Field f;
    f.model.reset(u"4"_s, std::nullopt);
    EXPECT_EQ(f.model.chosen(now()), f.parse(u"tonight"_s));
    f.setPresets(ninePresets());
    EXPECT_EQ(f.model.chosen(now()), f.parse(u"tomorrow 7am"_s));
}

// --- The typed preset number ---

struct TypedCase {
    QString text;
    std::optional<int> preset;
};

class Typed : public ::testing::TestWithParam<TypedCase> {};

TEST_P(Typed, IsANumberFromOneToNine) {
    Field f;
    f.model.setText(GetParam().text);
    EXPECT_EQ(f.model.typedPreset(), GetParam().preset) << GetParam().text.toStdString();
    // While typing, the picked row is the typed preset, if any.
    EXPECT_EQ(f.model.picked(), f.model.isTyping() ? GetParam().preset : std::optional<int>(0));
}

INSTANTIATE_TEST_SUITE_P(WhenField, Typed,
                         ::testing::Values(TypedCase{u"1"_s, 0}, TypedCase{u"9"_s, 8}, TypedCase{u"  3 "_s, 2},
                                           TypedCase{u"03"_s, 2}, TypedCase{u"0"_s, std::nullopt},
                                           TypedCase{u"10"_s, std::nullopt}, TypedCase{u"-1"_s, std::nullopt},
                                           TypedCase{u"+2"_s, std::nullopt}, TypedCase{u"2h"_s, std::nullopt},
                                           TypedCase{u"3 4"_s, std::nullopt}, TypedCase{u"３"_s, std::nullopt},
                                           TypedCase{QString(), std::nullopt}, TypedCase{u"\t"_s, std::nullopt}));

// --- Arrows ---

struct MoveCase {
    std::string name;
    QString text;
    std::vector<int> moves;
    int highlighted;
    QString textAfter;
};

void PrintTo(const MoveCase& c, std::ostream* os) {
    *os << c.name;
}

class Move : public ::testing::TestWithParam<MoveCase> {};

TEST_P(Move, StaysWithinTheRowsAndAbandonsTyping) {
    Field f;
    f.model.reset(GetParam().text, std::nullopt);
    for (const int delta : GetParam().moves) {
        f.model.move(delta);
    }
    EXPECT_EQ(f.model.highlighted(), GetParam().highlighted);
    EXPECT_EQ(f.model.text(), GetParam().textAfter);
}

INSTANTIATE_TEST_SUITE_P(WhenField, Move,
                         ::testing::Values(MoveCase{"Down", QString(), {1, 1}, 2, QString()},
                                           MoveCase{"UpFromFirstStays", QString(), {-1}, 0, QString()},
                                           MoveCase{"DownFromLastStays", QString(), {8, 1}, 8, QString()},
                                           MoveCase{
                                               "HugeSteps", QString(), {2147483647, -2147483647 - 1}, 0, QString()},
                                           MoveCase{"TypingIsCleared", u"tomorrow"_s, {1}, 1, QString()},
                                           MoveCase{"BlanksStay", u"  "_s, {1}, 1, u"  "_s}),
                         CaseName{});

// --- Tab ---

struct RoutineCase {
    QString text;
    QString toggled;
};

class Routine : public ::testing::TestWithParam<RoutineCase> {};

TEST_P(Routine, AddsOrRemovesTheWord) {
    Field f;
    f.model.setText(GetParam().text);
    f.model.toggleRoutine();
    EXPECT_EQ(f.model.text(), GetParam().toggled);
}

INSTANTIATE_TEST_SUITE_P(WhenField, Routine,
                         ::testing::Values(RoutineCase{u"every day 9am"_s, u"every day 9am routine"_s},
                                           RoutineCase{u"every day 9am routine"_s, u"every day 9am"_s},
                                           RoutineCase{u"  every   day\t9am "_s, u"every day 9am routine"_s},
                                           RoutineCase{u"every routine day routine"_s, u"every day routine"_s},
                                           RoutineCase{u"every day Routine"_s, u"every day"_s},
                                           RoutineCase{QString(), u"routine"_s}, RoutineCase{u"routine"_s, QString()},
                                           RoutineCase{u"routines"_s, u"routines routine"_s}));

// --- Stop, commit, cancel ---

TEST(WhenField, StopsOnlyAnExistingReminder) {
    Field f;
    f.model.reset(QString(), std::nullopt);
    EXPECT_FALSE(f.model.stop());
    EXPECT_EQ(f.stops, 0);
    f.model.reset(QString(), once(at(kBerlin, 2026, 3, 12, 9, 0)));
    EXPECT_TRUE(f.model.stop());
    EXPECT_EQ(f.stops, 1);
}

TEST(WhenField, CommitOfARowClearsTypingAndHighlightsIt) {
    Field f;
    f.model.reset(u"tomorrow"_s, std::nullopt);
    f.model.commit(4);
    EXPECT_EQ(f.model.text(), QString());
    EXPECT_EQ(f.model.highlighted(), 4);
    ASSERT_EQ(f.committed.size(), 1u);
    EXPECT_EQ(f.committed.front(), f.parse(u"tomorrow"_s));
}

TEST(WhenField, CommitOfARowOutsideTheListSetsNothing) {
    Field f;
    f.model.reset(QString(), std::nullopt);
    f.model.commit(9);
    f.model.commit(-1);
    EXPECT_TRUE(f.committed.empty());
}

TEST(WhenField, ResetAnnouncesOnlyWhatChanged) {
    Field f;
    QSignalSpy text(&f.model, &WhenFieldModel::textChanged);
    QSignalSpy highlighted(&f.model, &WhenFieldModel::highlightedChanged);
    QSignalSpy current(&f.model, &WhenFieldModel::currentChanged);
    f.model.reset(QString(), std::nullopt);
    EXPECT_EQ(text.count() + highlighted.count() + current.count(), 0);
    f.model.move(3);
    f.model.reset(u"1h"_s, once(now()));
    EXPECT_EQ(text.count(), 1);
    EXPECT_EQ(highlighted.count(), 2);
    EXPECT_EQ(current.count(), 1);
    EXPECT_EQ(f.model.highlighted(), 0);
    EXPECT_EQ(f.model.current(), once(now()));
}

// --- Texts ---

struct PreviewCase {
    std::string name;
    QString text;
    std::optional<Reminder> current;
    QString preview;
};

void PrintTo(const PreviewCase& c, std::ostream* os) {
    *os << c.name;
}

class Preview : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(Preview, SaysWhatReturnWouldDo) {
    Field f;
    f.model.reset(GetParam().text, GetParam().current);
    EXPECT_EQ(f.model.preview(now()), GetParam().preview);
}

INSTANTIATE_TEST_SUITE_P(
    WhenField, Preview,
    ::testing::Values(
        PreviewCase{"Once", u"tomorrow 9am"_s, std::nullopt, u"→ tomorrow 09:00"_s},
        PreviewCase{"TypedPreset", u"3"_s, std::nullopt, u"→ today 13:07"_s},
        PreviewCase{"Repeat", u"every 3h"_s, std::nullopt, u"→ today 13:07 · then every 3h, 08:30–20:30 until done"_s},
        PreviewCase{"Routine", u"every day 20:30 routine"_s, std::nullopt,
                    u"→ today 20:30 · then every day at 20:30 · routine"_s},
        PreviewCase{"TypedOverCurrent", u"20m"_s, once(at(kBerlin, 2026, 3, 13, 9, 0)), u"→ today 10:27"_s},
        PreviewCase{"Unreadable", u"whenever"_s, std::nullopt, u"? Try 20m, 3pm, tomorrow 9am, fri, every 3h"_s},
        PreviewCase{"Current", QString(), once(at(kBerlin, 2026, 3, 13, 9, 0)),
                    u"Now: Fri 09:00 · ↑↓ to pick a preset"_s},
        PreviewCase{"CurrentRepeat", u" "_s,
                    repeat(at(kBerlin, 2026, 3, 12, 9, 0), times(weekdays(), {hm(9, 0)}), true),
                    u"Now: tomorrow 09:00 · then every weekday at 09:00 · routine · ↑↓ to pick a preset"_s},
        PreviewCase{"Nothing", QString(), std::nullopt, u"Type when, or ↑↓ to pick a preset and press ↩."_s}),
    CaseName{});

TEST(WhenField, KeyHintOffersStopOnlyWithAReminder) {
    Field f;
    f.model.reset(QString(), std::nullopt);
    EXPECT_EQ(f.model.keyHint(), u"↩ set · ⇥ routine · esc cancel"_s);
    f.model.reset(QString(), once(now()));
    EXPECT_EQ(f.model.keyHint(), u"↩ set · ⇥ routine · ⌫ stop reminding · esc cancel"_s);
    EXPECT_EQ(WhenFieldModel::placeholder(), u"20m, tomorrow 9am, every 3h"_s);
}

TEST(WhenField, PresetRowsSayWhatEachWouldDoNow) {
    Field f;
    f.model.reset(QString(), std::nullopt);
    f.model.move(1);
    using Row = WhenFieldModel::PresetRow;
    const QList<Row> expected = {
        Row{u"1"_s, u"20m"_s, u"today 10:27"_s, false},
        Row{u"2"_s, u"1h"_s, u"today 11:07"_s, true},
        Row{u"3"_s, u"3h"_s, u"today 13:07"_s, false},
        Row{u"4"_s, u"tonight"_s, u"today 20:30"_s, false},
        Row{u"5"_s, u"tomorrow"_s, u"tomorrow 08:30"_s, false},
        Row{u"6"_s, u"next week"_s, u"Mon 08:30"_s, false},
        Row{u"7"_s, u"every 3h"_s, u"today 13:07 · every 3h"_s, false},
        Row{u"8"_s, u"every day"_s, u"tomorrow 08:30 · every day"_s, false},
        Row{u"9"_s, u"twice a day"_s, u"today 20:30 · twice a day"_s, false},
    };
    const QList<Row> rows = f.model.presetRows(now());
    ASSERT_EQ(rows.size(), expected.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].number, expected[i].number);
        EXPECT_EQ(rows[i].phrase, expected[i].phrase);
        EXPECT_EQ(rows[i].summary, expected[i].summary) << "row " << i + 1;
        EXPECT_EQ(rows[i].picked, expected[i].picked) << "row " << i + 1;
    }
}

TEST(WhenField, PresetThatDoesNotParseShowsAQuestionMark) {
    Field f;
    QStringList presets = ninePresets();
    presets[3] = u"someday"_s;
    f.setPresets(presets);
    EXPECT_EQ(f.model.presetRows(now())[3].summary, u"?"_s);
    EXPECT_EQ(f.model.peekCells(now())[3].when, u"?"_s);
}

TEST(WhenField, PeekShowsTheTimeTodayAndTheWeekdayLater) {
    Field f;
    QStringList when;
    QStringList numbers;
    for (const auto& cell : f.model.peekCells(now())) {
        when.append(cell.when);
        numbers.append(cell.number);
    }
    EXPECT_EQ(when, (QStringList{u"10:27"_s, u"11:07"_s, u"13:07"_s, u"20:30"_s, u"Thu 08:30"_s, u"Mon 08:30"_s,
                                 u"13:07"_s, u"Thu 08:30"_s, u"20:30"_s}));
    EXPECT_EQ(numbers, (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s, u"8"_s, u"9"_s}));
}

TEST(WhenField, PeekNamesTheWeekdayInTheUsersLanguage) {
    const Calendar german(QStringLiteral("Europe/Berlin"), QStringLiteral("de_DE"));
    const auto cells = WhenFieldModel::peekCells({u"tomorrow"_s, u"20m"_s}, now(), Anchors{}, german);
    ASSERT_EQ(cells.size(), 2);
    EXPECT_EQ(cells[0].when, u"Do. 08:30"_s);
    EXPECT_EQ(cells[1].when, u"10:27"_s);
}

TEST(WhenField, PeekAfterTheLastRingOfTheDayNamesTomorrow) {
    // 23:50: "20m" rings after midnight, on another day.
    const auto cells = WhenFieldModel::peekCells({u"20m"_s}, at(kBerlin, 2026, 3, 11, 23, 50), Anchors{}, kBerlin);
    ASSERT_EQ(cells.size(), 1);
    EXPECT_EQ(cells[0].when, u"Thu 00:10"_s);
}

} // namespace
