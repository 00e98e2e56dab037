#include "ui/capture/CaptureWindow.h"
#include "ui/theme/KeyLabel.h"
#include "ui/theme/Theme.h"

#include "CaptureFixture.h"

#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

// The drawer's window over the model fixture, without motion so that every change is at once.
class CaptureWindowTest : public ::testing::Test, public CaptureFixture {
protected:
    CaptureWindowTest()
        : theme(QDBusConnection(u"none"_s), Theme::Options{}) {
        window = std::make_unique<CaptureWindow>(*model, theme);
        model->setReduceMotion(true);
    }
    ~CaptureWindowTest() override { window.reset(); }

    void showWith(const QString& text) {
        prefs->setValue(PreferenceKey::draft, text, Preferences::Announce::No);
        model->show();
        ASSERT_TRUE(window->isVisible());
    }
    void key(int k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(&window->editor(), Qt::Key(k), mods); }

    Theme theme;
    std::unique_ptr<CaptureWindow> window;
};

TEST_F(CaptureWindowTest, TypingReachesTheModelReturnSavesAndCtrlZUndoesTypingFirst) {
    showWith({});
    EXPECT_EQ(window->hintLabel().text().count(u"Ctrl+R"_s), 0);
    QTest::keyClicks(&window->editor(), u"buy milk"_s);
    EXPECT_EQ(model->text(), u"buy milk"_s);
    EXPECT_EQ(window->hintLabel().text().count(u"Ctrl+R"_s), 1);
    key(Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(&window->editor(), u"and eggs"_s);
    EXPECT_EQ(model->text(), u"buy milk\nand eggs"_s);
    key(Qt::Key_Return);
    EXPECT_TRUE(file().contains(u"- [ ] buy milk"_s)) << file().toStdString();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->editor().toPlainText(), QString());

    // Ctrl+Z undoes typing first, then takes the capture back.
    showWith({});
    QTest::keyClicks(&window->editor(), u"tea"_s);
    key(Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClicks(&window->editor(), u"x"_s);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->editor().toPlainText(), QString());
    EXPECT_TRUE(file().contains(u"- [ ] tea"_s));
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->editor().toPlainText(), u"tea"_s);
    EXPECT_FALSE(file().contains(u"- [ ] tea"_s));
}

// The clipboard is captured without touching the editor; closed by the window manager, the drawer
// leaves as Escape does, keeping the draft.
TEST_F(CaptureWindowTest, CtrlShiftVCapturesTheClipboardAndClosingKeepsTheDraft) {
    showWith(u"mine"_s);
    desktop.clipboard = u"from the clipboard"_s;
    key(Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window->editor().toPlainText(), u"mine"_s);
    EXPECT_TRUE(file().contains(u"- [ ] from the clipboard"_s));
    EXPECT_EQ(window->countLabel().text(), u"1 open"_s);
    QTest::keyClicks(&window->editor(), u" kept"_s);
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(model->isVisible());
    EXPECT_EQ(draft(), u"mine kept"_s);
}

TEST_F(CaptureWindowTest, TheEditorGrowsWithItsTextAndTheWidthWithTheTextSize) {
    showWith({});
    CaptureEditor& editor = window->editor();
    const int empty = editor.height();
    const int height = window->height();
    // While the text fits, every line is in view and nothing scrolls.
    for (int lines = 2; lines <= 8; ++lines) {
        key(Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(&editor, u"line"_s);
        EXPECT_EQ(editor.verticalScrollBar()->maximum(), 0) << lines << " lines";
    }
    EXPECT_GT(editor.height(), empty);
    EXPECT_GT(window->height(), height);
    for (int i = 0; i < 80; ++i) {
        key(Qt::Key_Return, Qt::ShiftModifier);
    }
    // At most 640 / 1.618 - 76, in whole lines: the last one stands at the bottom, no blank under it.
    EXPECT_LE(editor.height(), 321);
    EXPECT_GT(editor.height(), 321 - editor.lineHeight());
    EXPECT_LE(editor.viewport()->height() - editor.cursorRect().bottom(), 3);
    EXPECT_EQ(window->width(), 640);
    prefs->setValue(PreferenceKey::drawerTextSize, 30);
    EXPECT_EQ(window->width(), 720);
}

// Holding Ctrl shows the preset grid; Ctrl+R opens the when field, which saves with its reminder.
TEST_F(CaptureWindowTest, CtrlShowsThePresetsAndCtrlROpensTheWhenField) {
    showWith(u"dentist"_s);
    QTest::keyPress(&window->editor(), Qt::Key_Control, Qt::ControlModifier);
    advance(600ms);
    ASSERT_TRUE(window->presetPeek().isVisible());
    EXPECT_EQ(window->presetPeek().cells().size(), 9);
    QTest::keyRelease(&window->editor(), Qt::Key_Control);
    EXPECT_FALSE(window->presetPeek().isVisible());
    key(Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(window->whenField().isVisible());
    EXPECT_EQ(window->whenField().rows().rows().size(), 9);
    QTest::keyClicks(&window->whenField().field(), u"tomorrow 9am"_s);
    EXPECT_EQ(window->whenField().preview().text(), u"→ tomorrow 09:00"_s);
    QTest::keyClick(&window->whenField().field(), Qt::Key_Return);
    EXPECT_TRUE(file().contains(u"dentist  <!-- 12:00 remind 2026-03-15 09:00 -->"_s)) << file().toStdString();
    EXPECT_FALSE(window->whenField().isVisible());
}

TEST_F(CaptureWindowTest, ShowingWhileAConfirmationSlidesAwayShowsTheDraft) {
    model->setReduceMotion(false);
    showWith(u"half"_s);
    model->toggle();
    desktop.clipboard = u"clip"_s;
    model->captureClipboard();
    EXPECT_EQ(window->editor().toPlainText(), u"clip"_s);
    advance(CaptureModel::clipboardConfirmation); // starts sliding away
    ASSERT_TRUE(window->animating());
    model->show();
    EXPECT_EQ(window->editor().toPlainText(), u"half"_s);
}
} // namespace
