#include "CaptureFixture.h"

#include "store/FileLock.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;
using Effect = CaptureModel::EditorEffect;
using Tone = CaptureModel::Hint::Tone;

namespace {

constexpr auto Ctrl = Qt::ControlModifier;
const QString kKeys =
    u"↩ save    Ctrl+↩ keep open    Ctrl+Shift+V clip    esc keep draft    Alt peek    Ctrl+O notes"_s;

// --- Saving ---

TEST(CaptureDrawer, BlankReturnToggleAndLosingTheKeyboardHideWithTheDraftCtrlReturnStays) {
    CaptureFixture f;
    f.typed(u" \n  "_s);
    EXPECT_EQ(f.press(Qt::Key_Return), Effect::Handled);
    EXPECT_EQ(f.events, QStringList{u"hidden"_s});
    EXPECT_EQ(f.draft(), u" \n  "_s);
    EXPECT_EQ(f.file(), QString());
    EXPECT_EQ(f.desktop.beeps, 0);
    // So do the toggle and losing the keyboard.
    f.typed(u"half a thought"_s);
    f.model->toggle();
    EXPECT_EQ(f.draft(), u"half a thought"_s);
    f.model->setText(u"stray"_s); // a hidden editor's changes are no draft
    f.model->toggle();
    EXPECT_EQ(f.model->text(), u"half a thought"_s);
    f.model->keyboardLost();
    EXPECT_EQ(f.events, (QStringList{u"hidden"_s, u"shown"_s, u"hidden"_s}));

    // Ctrl+Return saves and stays, then does nothing on an empty editor.
    f.typed(u"  milk \n"_s);
    f.press(Qt::Key_Return, Ctrl);
    EXPECT_TRUE(f.file().contains(u"- [ ] milk  <!-- 12:00 -->\n"_s)) << f.file().toStdString();
    EXPECT_EQ(f.model->text(), QString());
    EXPECT_EQ(f.draft(), QString());
    EXPECT_TRUE(f.model->isVisible());
    const QString before = f.file();
    f.press(Qt::Key_Return, Ctrl);
    EXPECT_EQ(f.file(), before);
    EXPECT_TRUE(f.events.isEmpty()) << f.events.join(u',').toStdString();
}

// A capture the file cannot take: unreadable, it stays in the drawer and says why. Busy, the
// resident program's drawer lets it go only once it is kept aside on disk, and then says it waits;
// kept nowhere, it stays in the drawer and says why.
TEST(CaptureDrawer, ACaptureTheFileCannotTakeLeavesOnlyWhenKeptAside) {
    // The file, whether another plim process holds it, whether the capture can be kept aside: what
    // the drawer says.
    const std::tuple<QByteArray, bool, bool, QString> cases[] = {
        {"## 2026-03-14 Saturday\n\n- [ ] caf\xe9 \xff\n", false, true, u"cannot be read"_s},
        {{}, true, true, u"1 capture waits to be saved"_s},
        {{}, true, false, u"nor could the capture be kept aside"_s},
    };
    for (const auto& [file, busy, keepable, says] : cases) {
        SCOPED_TRACE(says.toStdString());
        QTemporaryDir elsewhere;
        const QString blocker = elsewhere.filePath(u"not a folder"_s);
        writeAll(blocker, "");
        const QByteArray state = qgetenv("XDG_STATE_HOME");
        if (!keepable) {
            qputenv("XDG_STATE_HOME", QFile::encodeName(blocker));
        }
        NotesStore::Options options = NotesStore::residentOptions();
        options.noticeDelay = 0ms;
        CaptureFixture f(file, busy ? options : NotesStore::Options{});
        qputenv("XDG_STATE_HOME", state);
        FileLock other(f.path);
        ASSERT_TRUE(!busy || other.tryLock());
        f.typed(u"a thought"_s);
        f.press(Qt::Key_Return);
        const bool keptAside = busy && keepable;
        EXPECT_EQ(readAll(f.path), file);
        EXPECT_EQ(f.model->isVisible(), !keptAside);
        EXPECT_EQ(f.model->text(), keptAside ? QString() : u"a thought"_s);
        EXPECT_EQ(f.draft(), f.model->text());
        EXPECT_EQ(f.desktop.beeps, keptAside ? 0 : 1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return f.model->hint().text.contains(says); }, 2000))
            << f.model->hint().text.toStdString();
        EXPECT_EQ(f.model->hint().tone, Tone::Error);
        if (keptAside) {
            // Taking it back finds nothing in the file yet; it must not be taken out once it is.
            f.press(Qt::Key_Z, Ctrl);
            EXPECT_EQ(f.model->text(), QString());
            other.unlock();
            EXPECT_TRUE(QTest::qWaitFor([&] { return f.file().contains(u"- [ ] a thought"_s); }, 3000));
        }
    }
}

// Stored once typing pauses, and at the latest a second after the first key not yet stored.
TEST(CaptureDrawer, TheDraftIsStoredWhenTypingPauses) {
    CaptureFixture f;
    f.typed(u"a"_s);
    f.advance(150ms);
    f.model->setText(u"ab"_s);
    f.advance(199ms);
    EXPECT_EQ(f.draft(), QString());
    f.advance(1ms);
    EXPECT_EQ(f.draft(), u"ab"_s);
    // Keys 150 ms apart for over a second.
    QString typed = u"ab"_s;
    for (int key = 0; key < 7; ++key) {
        typed += u'c';
        f.model->setText(typed);
        f.advance(150ms);
    }
    EXPECT_EQ(f.draft(), typed);
}

// --- Taking a capture back, and revealing it ---

// Ctrl+Z on an empty editor takes the last capture back for ten seconds; the notes window is handed
// it, once, for two minutes.
TEST(CaptureDrawer, TheLastCaptureIsTakenBackForTenSecondsAndRevealedForTwoMinutes) {
    // The capture's age, the editor's text: whether it is taken back.
    const std::tuple<std::chrono::milliseconds, QString, bool> cases[] = {{5s, {}, true},    {11s, {}, false},
                                                                          {10s, {}, false},  {5s, u"next"_s, false},
                                                                          {119s, {}, false}, {121s, {}, false}};
    for (const auto& [age, editor, removed] : cases) {
        SCOPED_TRACE(age.count());
        CaptureFixture f;
        f.typed(u"call Ana"_s);
        f.press(Qt::Key_Return);
        const QUuid id = entryId(f.store->document(), u"call Ana"_s);
        f.model->show();
        f.advance(age);
        EXPECT_EQ(f.model->takeRecentCapture(), age < 120s ? std::optional(id) : std::nullopt);
        EXPECT_EQ(f.model->takeRecentCapture(), std::nullopt);
        f.model->setText(editor);
        EXPECT_EQ(f.press(Qt::Key_Z, Ctrl, false), Effect::Handled);
        EXPECT_EQ(f.file().contains(u"call Ana"_s), !removed);
        EXPECT_EQ(f.model->text(), removed ? u"call Ana"_s : editor);
    }
}

// --- Reminders ---

TEST(CaptureDrawer, RemindersFromPresetsAndTheWhenField) {
    CaptureFixture f;
    f.typed(u"stretch"_s);
    f.press(Qt::Key_3, Ctrl);
    EXPECT_EQ(f.model->hint(), (CaptureModel::Hint{u"saved · rings today 15:00"_s, Tone::Accent}));
    f.advance(799ms);
    EXPECT_TRUE(f.events.isEmpty());
    f.advance(1ms);
    EXPECT_EQ(f.events, QStringList{u"settled"_s});
    // Typing again in the meantime keeps the drawer.
    f.typed(u"stretch"_s);
    f.press(Qt::Key_8, Ctrl);
    EXPECT_EQ(f.model->hint().text, u"saved · rings tomorrow 08:30 · then every day at 08:30 until done"_s);
    f.model->setText(u"more"_s);
    f.advance(1s);
    EXPECT_TRUE(f.model->isVisible());
    EXPECT_EQ(f.model->hint().tone, Tone::Muted);

    // The when field takes the keys and goes back; it needs text.
    f.typed({});
    f.press(Qt::Key_R, Ctrl);
    EXPECT_EQ(f.desktop.beeps, 1);
    EXPECT_FALSE(f.model->whenOpen());
    f.typed(u"dentist"_s);
    const QSignalSpy focus(f.model.get(), &CaptureModel::whenFocusRequested);
    f.press(Qt::Key_R, Ctrl);
    ASSERT_TRUE(f.model->whenOpen());
    EXPECT_EQ(focus.count(), 1); // the keys go to the field
    f.model->when().setText(u"someday"_s);
    EXPECT_FALSE(f.model->when().submit());
    f.model->when().cancel();
    EXPECT_FALSE(f.model->whenOpen());
    EXPECT_EQ(f.model->text(), u"dentist"_s);

    // Presets fall back to the nine defaults, and refuse without text or sense.
    const QString before = f.file();
    f.prefs->setValue(PreferenceKey::reminderPresets, u"5m,10m,15m,1h,2h,3h,4h,5h"_s.split(u','),
                      Preferences::Announce::No);
    f.typed({});
    f.press(Qt::Key_1, Ctrl);
    EXPECT_EQ(f.desktop.beeps, 2);
    EXPECT_EQ(f.file(), before);
    f.typed(u"water plants"_s);
    f.press(Qt::Key_1, Ctrl);
    EXPECT_TRUE(f.file().contains(u"- [ ] water plants  <!-- 12:00 remind 2026-03-14 12:20 -->"_s))
        << f.file().toStdString();
    QStringList presets = Preferences::defaultReminderPresets();
    presets[0] = u"someday"_s;
    f.prefs->setValue(PreferenceKey::reminderPresets, presets, Preferences::Announce::No);
    f.typed(u"x"_s);
    f.press(Qt::Key_1, Ctrl);
    EXPECT_EQ(f.desktop.beeps, 3);
    EXPECT_TRUE(f.model->isVisible());
    EXPECT_FALSE(f.file().contains(u"- [ ] x"_s));
}

// --- The clipboard ---

TEST(CaptureDrawer, ClipboardCaptures) {
    // Name, clipboard, drawer shown: beeps, events right after, saved, what a hidden drawer shows
    // meanwhile when not the text captured (refused, the clipboard's text with the reason, not the
    // draft), the file.
    using Case = std::tuple<std::string, QString, bool, int, QStringList, bool, QString, QByteArray>;
    const QString tooLong(CaptureModel::maxCaptureLength + 1, u'x');
    const QString url = u"https://example.org"_s;
    const QStringList confirming{u"confirming"_s};
    const Case cases[] = {
        {"EmptyOrImageOnly", {}, false, 1, {}, false, {}, {}},
        {"Blank", u" \n\t"_s, false, 1, {}, false, {}, {}},
        {"TooLong", tooLong, false, 1, confirming, false, tooLong.left(200) + u"…"_s, {}},
        {"HiddenShowsTheText", u"  https://example.org \n"_s, false, 0, confirming, true, {}, {}},
        {"VisibleLeavesTheEditor", url, true, 0, {}, true, {}, {}},
        {"UnreadableFile", url, false, 1, confirming, false, url, "- [ ] caf\xe9 \xff\n"},
    };
    for (const auto& [name, clipboard, visible, beeps, events, saved, shown, file] : cases) {
        SCOPED_TRACE(name);
        CaptureFixture f(file);
        f.typed(u"half a thought"_s);
        if (!visible) {
            f.model->toggle();
            f.events.clear();
        }
        f.desktop.clipboard = clipboard;
        f.model->captureClipboard();
        EXPECT_EQ(f.desktop.beeps, beeps);
        EXPECT_EQ(f.events, events);
        EXPECT_EQ(f.file().contains(u"- [ ] https://example.org  <!-- 12:00 -->"_s), saved) << f.file().toStdString();
        if (name == "HiddenShowsTheText") {
            EXPECT_EQ(f.model->text(), u"https://example.org"_s);
            EXPECT_EQ(f.model->countText(), u"1 open"_s);
            f.advance(449ms);
            EXPECT_EQ(f.events.size(), 1);
        }
        if (!shown.isEmpty()) {
            EXPECT_EQ(f.model->text(), shown);
            EXPECT_EQ(f.model->hint().tone, Tone::Error);
        }
        if (name == "TooLong") {
            EXPECT_TRUE(f.model->hint().text.startsWith(u"clipboard not saved · 100\u202F001 characters"_s));
        }
        f.advance(3s);
        EXPECT_EQ(f.model->text(), u"half a thought"_s);
        EXPECT_EQ(f.draft(), u"half a thought"_s);
        EXPECT_EQ(f.model->isVisible(), visible);
    }
}

TEST(CaptureDrawer, AHugePasteIsRefused) {
    CaptureFixture f;
    f.typed({});
    EXPECT_TRUE(f.model->acceptPaste(CaptureModel::maxCaptureLength));
    // A clipboard of the largest size is captured whole.
    const QString largest(CaptureModel::maxCaptureLength, u'x');
    f.desktop.clipboard = largest;
    f.model->captureClipboard();
    EXPECT_TRUE(f.file().contains(largest));
    // Numbers past 9 999 in groups of three, apart by a narrow no-break space.
    for (const auto& [length, text] :
         {std::pair{10'000'000, u"not pasted · 10.0 million characters, at most 100\u202F000 fit in one entry"_s},
          std::pair{123'456, u"not pasted · 123\u202F456 characters, at most 100\u202F000 fit in one entry"_s}}) {
        EXPECT_FALSE(f.model->acceptPaste(length));
        EXPECT_EQ(f.model->hint().text, text);
    }
    EXPECT_EQ(f.desktop.beeps, 2);
}

// --- Texts ---

TEST(CaptureDrawer, HintAndHeaderTexts) {
    // Typed, then saved with Return and shown again, or the when field opened: the keys line.
    const std::tuple<QString, bool, bool, QString> cases[] = {
        {{}, false, false, kKeys},
        {u"x"_s, false, false,
         u"↩ save    Ctrl+↩ keep open    Ctrl+R remind    Ctrl+Shift+V clip    esc keep draft    Alt peek    Ctrl+O notes"_s},
        {u"a"_s, true, false, kKeys + u"    Ctrl+Z undo last capture"_s},
        {u"x"_s, false, true, u"↩ save with reminder    ↑↓ presets    ⇥ routine    esc back to the note"_s},
    };
    for (const auto& [text, saved, when, hint] : cases) {
        CaptureFixture f;
        f.typed(text);
        if (saved) {
            f.press(Qt::Key_Return);
            f.model->show();
        }
        if (when) {
            f.model->openWhenField();
        }
        EXPECT_EQ(f.model->hint(), (CaptureModel::Hint{hint, Tone::Muted}));
    }
    CaptureFixture f("## 2026-03-14 Saturday\n\n- [ ] a  <!-- 08:00 remind 2026-03-14 11:00 -->\n- [ ] b\n- [x] c\n");
    EXPECT_EQ(f.model->dateText(), u"Saturday, Mar 14"_s);
    EXPECT_EQ(f.model->countText(), u"2 open · 1 now"_s);
}

} // namespace
