#include "ui/when/WhenFieldModel.h"

#include "base/Clock.h"
#include "store/Preferences.h"

#include "reminders/ReminderBuilders.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;

namespace {

const Calendar kBerlin(u"Europe/Berlin"_s);

// Wednesday 11 March 2026, 10:07 in Berlin.
Instant now() {
    return at(kBerlin, 2026, 3, 11, 10, 7);
}

// A field over settings of its own, seen at a fixed moment; it records what it committed.
struct Field {
    QTemporaryDir dir;
    Preferences preferences{dir.filePath(u"plim.conf"_s)};
    ManualClock clock{now(), kBerlin};
    WhenFieldModel model{preferences, clock};
    std::vector<Reminder> committed;
    int stops = 0;

    explicit Field(const QStringList& presets = {}, const QString& text = {}, std::optional<Reminder> current = {}) {
        QObject::connect(&model, &WhenFieldModel::committed, [this](const Reminder& r) { committed.push_back(r); });
        QObject::connect(&model, &WhenFieldModel::stopRequested, [this] { ++stops; });
        setPresets(presets);
        model.reset(text, std::move(current));
    }
    void setPresets(const QStringList& presets) {
        if (!presets.isEmpty()) {
            preferences.setValue(PreferenceKey::reminderPresets, presets, Preferences::Announce::No);
        }
    }
    std::optional<Reminder> parse(const QString& phrase) const {
        return Reminder::parse(phrase, clock.now(), preferences.anchors(), kBerlin);
    }
};

const QStringList kNine =
    u"5m,10m,15m,tomorrow 7am,fri,sat 10am,every 2h,every weekday 9am,every day 20:30 routine"_s.split(u',');

// --- Which reminder Return sets ---

TEST(WhenField, ReturnSetsThePresetOrTheTypedPhrase) {
    const QStringList unreadable =
        u"soon,1h,3h,tonight,tomorrow,next week,every 3h,every day,twice a day"_s.split(u',');
    // Presets stored (none: the defaults), text typed after some ↓ presses: the phrase whose
    // reminder Return sets, none for none. Blanks are not typing, a typed number beats the
    // highlight, eight stored presets are not a set.
    const std::tuple<QStringList, QString, int, QString> cases[] = {
        {{}, QString(), 0, u"20m"_s},
        {{}, u" \t "_s, 0, u"20m"_s},
        {{}, QString(), 2, u"3h"_s},
        {{}, u"7"_s, 0, u"every 3h"_s},
        {{}, u"1"_s, 4, u"20m"_s},
        {{}, u"10"_s, 0, u"10:00"_s},
        {{}, u"tomorrow 9am"_s, 0, u"tomorrow 9am"_s},
        {{}, u"someday maybe"_s, 0, QString()},
        {kNine, u"5"_s, 0, u"fri"_s},
        {kNine.mid(0, 8), u"9"_s, 0, u"twice a day"_s},
        {unreadable, QString(), 0, QString()},
    };
    for (const auto& [presets, text, moves, phrase] : cases) {
        SCOPED_TRACE(text.toStdString() + " after " + std::to_string(moves) + " moves");
        Field f(presets);
        f.model.move(moves);
        f.model.setText(text);
        const auto expected = phrase.isEmpty() ? std::nullopt : f.parse(phrase);
        ASSERT_EQ(phrase.isEmpty(), !expected.has_value()) << "the expected phrase must parse";
        EXPECT_EQ(f.model.chosen(now()), expected);

        // Return commits exactly that, or nothing and the field stays as it is.
        EXPECT_EQ(f.model.submit(), expected.has_value());
        EXPECT_EQ(f.committed, expected ? std::vector<Reminder>{*expected} : std::vector<Reminder>{});
        EXPECT_EQ(f.model.text(), text);
    }
}

TEST(WhenField, TypedPresetIsANumberFromOneToNine) {
    const std::optional<int> none;
    const std::pair<QString, std::optional<int>> cases[] = {
        {u"1"_s, 0},     {u"9"_s, 8},     {u"  3 "_s, 2},   {u"03"_s, 2},    {u"0"_s, none},    {u"10"_s, none},
        {u"+2"_s, none}, {u"2h"_s, none}, {u"3 4"_s, none}, {u"３"_s, none}, {QString(), none}, {u"\t"_s, none}};
    for (const auto& [text, preset] : cases) {
        Field f;
        f.model.setText(text);
        EXPECT_EQ(f.model.typedPreset(), preset) << text.toStdString();
        // While typing, the picked row is the typed preset, if any.
        EXPECT_EQ(f.model.picked(), f.model.isTyping() ? preset : std::optional<int>(0)) << text.toStdString();
    }
}

// --- Keys ---

TEST(WhenField, ArrowsStayWithinTheRowsAndAbandonTyping) {
    // Text, ↑↓ moves: the row highlighted and the text left.
    const std::tuple<QString, std::vector<int>, int, QString> cases[] = {
        {QString(), {1, 1}, 2, QString()},  {QString(), {-1}, 0, QString()},
        {QString(), {8, 1}, 8, QString()},  {QString(), {2147483647, -2147483647 - 1}, 0, QString()},
        {u"tomorrow"_s, {1}, 1, QString()}, {u"  "_s, {1}, 1, u"  "_s},
    };
    for (const auto& [text, moves, highlighted, textAfter] : cases) {
        Field f({}, text);
        for (const int delta : moves) {
            f.model.move(delta);
        }
        EXPECT_EQ(f.model.highlighted(), highlighted) << text.toStdString() << " moved " << moves.front();
        EXPECT_EQ(f.model.text(), textAfter) << text.toStdString() << " moved " << moves.front();
    }
}

TEST(WhenField, TabAddsOrRemovesTheRoutineWord) {
    const std::pair<QString, QString> cases[] = {
        {u"every day 9am"_s, u"every day 9am routine"_s},
        {u"every day 9am routine"_s, u"every day 9am"_s},
        {u"  every   day\t9am "_s, u"every day 9am routine"_s},
        {u"every routine day routine"_s, u"every day routine"_s},
        {u"every day Routine"_s, u"every day"_s},
        {QString(), u"routine"_s},
        {u"routine"_s, QString()},
        {u"routines"_s, u"routines routine"_s},
    };
    for (const auto& [text, toggled] : cases) {
        Field f;
        f.model.setText(text);
        f.model.toggleRoutine();
        EXPECT_EQ(f.model.text(), toggled) << text.toStdString();
    }
}

// --- Texts ---

// The preview says what Return would do; Delete stops the reminder only when there is one, and the
// keys line offers it only then.
TEST(WhenField, PreviewSaysWhatReturnWouldDoAndDeleteStopsOnlyAReminder) {
    const Reminder friday = once(at(kBerlin, 2026, 3, 13, 9, 0));
    const Reminder routine = repeat(at(kBerlin, 2026, 3, 12, 9, 0), times(weekdays(), {hm(9, 0)}), true);
    const std::tuple<QString, std::optional<Reminder>, QString> cases[] = {
        {u"tomorrow 9am"_s, std::nullopt, u"→ tomorrow 09:00"_s},
        {u"3"_s, std::nullopt, u"→ today 13:07"_s},
        {u"every 3h"_s, std::nullopt, u"→ today 13:07 · then every 3h, 08:30–20:30 until done"_s},
        {u"every day 20:30 routine"_s, std::nullopt, u"→ today 20:30 · then every day at 20:30 · routine"_s},
        {u"20m"_s, friday, u"→ today 10:27"_s},
        {u"whenever"_s, std::nullopt, u"? Try 20m, 3pm, tomorrow 9am, fri, every 3h"_s},
        {QString(), friday, u"Now: Fri 09:00 · ↑↓ to pick a preset"_s},
        {u" "_s, routine, u"Now: tomorrow 09:00 · then every weekday at 09:00 · routine · ↑↓ to pick a preset"_s},
        {QString(), std::nullopt, u"Type when, or ↑↓ to pick a preset and press ↩."_s},
    };
    for (const auto& [text, current, preview] : cases) {
        SCOPED_TRACE(text.toStdString());
        Field f({}, text, current);
        EXPECT_EQ(f.model.preview(now()), preview);
        EXPECT_EQ(f.model.keyHint(), current ? u"↩ set · ⇥ routine · ⌫ stop reminding · esc cancel"_s
                                             : u"↩ set · ⇥ routine · esc cancel"_s);
        EXPECT_EQ(f.model.stop(), current.has_value());
        EXPECT_EQ(f.stops, current ? 1 : 0);
    }
}

// Each preset's row and its cell in the peek grid, which has the time alone the same day and the
// weekday, in the user's language, later.
TEST(WhenField, PresetRowsAndPeekCellsSayWhatEachWouldDoNow) {
    Field f;
    f.model.move(1);
    const QList<WhenFieldModel::PresetRow> rows = f.model.presetRows(now());
    const auto cells = f.model.peekCells(now());
    QStringList seen;
    for (qsizetype i = 0; i < rows.size() && i < cells.size(); ++i) {
        const auto& row = rows[i];
        seen << row.number + u' ' + row.phrase + u" | "_s + row.summary + (row.picked ? u" *"_s : QString()) +
                    u" | "_s + cells[i].number + u' ' + cells[i].when;
    }
    EXPECT_EQ(seen,
              (QStringList{u"1 20m | today 10:27 | 1 10:27"_s, u"2 1h | today 11:07 * | 2 11:07"_s,
                           u"3 3h | today 13:07 | 3 13:07"_s, u"4 tonight | today 20:30 | 4 20:30"_s,
                           u"5 tomorrow | tomorrow 08:30 | 5 Thu 08:30"_s, u"6 next week | Mon 08:30 | 6 Mon 08:30"_s,
                           u"7 every 3h | today 13:07 · every 3h | 7 13:07"_s,
                           u"8 every day | tomorrow 08:30 · every day | 8 Thu 08:30"_s,
                           u"9 twice a day | today 20:30 · twice a day | 9 20:30"_s}));
    QStringList presets = kNine;
    presets[3] = u"someday"_s;
    f.setPresets(presets);
    EXPECT_EQ(f.model.presetRows(now())[3].summary, u"?"_s);
    EXPECT_EQ(f.model.peekCells(now())[3].when, u"?"_s);

    const auto de = WhenFieldModel::peekCells({u"tomorrow"_s, u"20m"_s}, now(), Anchors{},
                                              Calendar(u"Europe/Berlin"_s, u"de_DE"_s));
    ASSERT_EQ(de.size(), 2);
    EXPECT_EQ(de[0].when, u"Do. 08:30"_s);
    EXPECT_EQ(de[1].when, u"10:27"_s);
    // 23:50: "20m" rings after midnight, on another day.
    const auto late = WhenFieldModel::peekCells({u"20m"_s}, at(kBerlin, 2026, 3, 11, 23, 50), Anchors{}, kBerlin);
    ASSERT_EQ(late.size(), 1);
    EXPECT_EQ(late[0].when, u"Thu 00:10"_s);
}

} // namespace
