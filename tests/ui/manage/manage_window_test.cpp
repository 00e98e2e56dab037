#include "ui/manage/ManageListView.h"
#include "ui/manage/ManageWindow.h"
#include "ui/manage/SweepView.h"
#include "ui/theme/Theme.h"
#include "ui/when/WhenFieldModel.h"

#include "ManageFixture.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

using namespace plim;
using namespace plim::test;
using namespace Qt::Literals::StringLiterals;

namespace {

using Kind = ManageModel::Row::Kind;

const QStringList kFile({H14, u"- [ ] plain  <!-- 09:00 -->"_s, u"- [x] ~~finished~~  <!-- 09:10 -->"_s,
                         u"- [ ] read https://example.com/a now  <!-- 09:20 -->"_s,
                         u"- [ ] ring me  <!-- 08:00 remind 2026-03-14 11:50 -->"_s, H12,
                         u"- [x] ~~old-done~~  <!-- 08:00 -->"_s, u"- [x] ~~old-done-2~~  <!-- 08:10 -->"_s,
                         u"- [ ] old-open  <!-- 08:30 -->"_s});

class WindowFixture : public ManageFixture {
public:
    WindowFixture()
        : theme(QDBusConnection(u"none"_s), Theme::Options{}) {
        open(kFile);
        window = std::make_unique<ManageWindow>(*model, theme, desktop);
    }
    bool shown() {
        window->present();
        return QTest::qWaitForWindowActive(window.get());
    }
    int rowOf(const QString& text) const {
        ManageRowsModel& rows = window->list().rows();
        for (int i = 0; i < rows.rowCount(); ++i) {
            const ManageModel::Row& r = rows.row(i);
            if ((r.kind == Kind::Entry && r.entry.text == text) || (r.kind != Kind::Entry && r.heading == text)) {
                return i;
            }
        }
        return -1;
    }

    Theme theme;
    std::unique_ptr<ManageWindow> window;
};

} // namespace

// What the rows show and what a screen reader hears: each row's name, read through the list's
// accessible table; every control is reached with Tab.
TEST(ManageWindow, RowsShowWhatTheModelSaysAndAreNamedForScreenReaders) {
    WindowFixture f;
    ASSERT_TRUE(f.shown());
    const ThemeColors& c = f.theme.colors();
    ManageListView& list = f.window->list();
    // Kind, text, colour, struck, links, stamp; the reminder, day and today labels as r, d, t.
    const auto seen = [&](const QString& row) {
        const RowLook l = rowLook(*f.model, list.rows().row(f.rowOf(row)), c);
        const QString color = l.textColor == c.ink ? u"ink"_s : l.textColor == c.muted ? u"muted"_s : u"?"_s;
        return u"%1 %2 %3%4 %5 %6 %7%8%9"_s.arg(int(l.kind))
            .arg(l.text, color, l.strikeColor ? u" struck"_s : QString())
            .arg(l.links.size())
            .arg(l.stamp, l.reminder.isEmpty() ? u"-"_s : u"r"_s, l.day.isEmpty() ? u"-"_s : u"d"_s,
                 l.today ? u"t"_s : u"-"_s);
    };
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&list);
    ASSERT_TRUE(table && table->tableInterface());
    EXPECT_EQ(table->text(QAccessible::Name), u"Notes"_s);
    const auto spoken = [&](int row, QAccessible::Text what) {
        QAccessibleInterface* cell = table->tableInterface()->cellAt(row, 0);
        return cell ? cell->text(what) : QString();
    };
    const std::tuple<QString, QString, QString> cases[] = {
        {u"plain"_s, u"1 plain ink 0 09:00 ---"_s, u"Open: plain, captured 09:00"_s},
        {u"finished"_s, u"1 finished muted struck 0 09:10 ---"_s, u"Done: finished, captured 09:10"_s},
        {u"read https://example.com/a now"_s, u"1 read https://example.com/a now ink 1 09:20 ---"_s,
         u"Open: read https://example.com/a now, captured 09:20"_s},
        // Listed under "Now", away from its day: the day and the reminder are labelled.
        {u"ring me"_s, u"1 ring me ink 0 08:00 rd-"_s,
         u"Open, ringing: ring me, captured 08:00, reminder rang 11:50, written Saturday, Mar 14"_s},
        {u"2026-03-14 Saturday"_s, u"0 Saturday, Mar 14 muted 0  --t"_s, u"Saturday, Mar 14, today"_s},
        {u"2026-03-12 Thursday"_s, u"0 Thursday, Mar 12 muted 0  ---"_s, u"Thursday, Mar 12"_s},
    };
    for (const auto& [row, look, name] : cases) {
        SCOPED_TRACE(row.toStdString());
        ASSERT_GE(f.rowOf(row), 0);
        EXPECT_EQ(seen(row), look);
        EXPECT_EQ(spoken(f.rowOf(row), QAccessible::Name), name);
    }
    EXPECT_EQ(spoken(f.rowOf(u"plain"_s), QAccessible::Description),
              u"space done · a shortlist · r remind · ⌫ trash · ↩ edit"_s);
    // The past day's two done entries are folded.
    const int last = list.rows().rowCount() - 1;
    ASSERT_EQ(list.rows().row(last).kind, Kind::Folded);
    EXPECT_EQ(rowLook(*f.model, list.rows().row(last), c).text, u"2 done hidden  Ctrl+E"_s);
    EXPECT_EQ(spoken(last, QAccessible::Name), u"2 done hidden"_s);

    // Tab reaches the filter field, the list and each header button.
    f.window->filterField().setFocus();
    QList<QWidget*> reached;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.append(QApplication::focusWidget());
    }
    EXPECT_TRUE(reached.contains(&f.window->list()));
    EXPECT_TRUE(reached.contains(&f.window->filterField()));
    ASSERT_FALSE(f.window->headerButtons().isEmpty());
    for (QPushButton* button : f.window->headerButtons()) {
        EXPECT_TRUE(reached.contains(button)) << button->text().toStdString();
    }
    EXPECT_EQ(f.window->filterField().accessibleName(), u"Filter"_s);
}

TEST(ManageWindow, KeysGoToTheFieldThatTypesThemTheModelOrTheWindow) {
    // Focus on the filter, what it holds first, the key: the filter after; then the widget with the
    // keyboard, or the window hidden or minimised, and whether the when field opened and the settings
    // were asked for.
    const std::tuple<bool, QString, int, Qt::KeyboardModifiers, QString, QString> cases[] = {
        {true, {}, Qt::Key_R, Qt::NoModifier, u"r"_s, u"filter"_s},
        {false, {}, Qt::Key_R, Qt::NoModifier, {}, u"list when"_s},
        {true, u"o"_s, Qt::Key_Down, Qt::NoModifier, u"o"_s, u"list"_s},
        {false, {}, Qt::Key_F, Qt::ControlModifier, {}, u"filter"_s},
        {true, {}, Qt::Key_W, Qt::ControlModifier, {}, u"hidden"_s},
        {true, {}, Qt::Key_H, Qt::ControlModifier, {}, u"hidden"_s},
        {true, {}, Qt::Key_M, Qt::ControlModifier, {}, u"minimised"_s},
        {true, {}, Qt::Key_Comma, Qt::ControlModifier, {}, u"filter settings"_s},
    };
    for (const auto& [onFilter, typed, key, mods, filter, after] : cases) {
        SCOPED_TRACE(key);
        WindowFixture f;
        ASSERT_TRUE(f.shown());
        QSignalSpy settings(f.window.get(), &ManageWindow::settingsRequested);
        f.model->select(f.idOf(u"finished"_s));
        QWidget* target = onFilter ? static_cast<QWidget*>(&f.window->filterField()) : &f.window->list();
        target->setFocus();
        QTest::keyClicks(target, typed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods);
        EXPECT_EQ(f.window->filterField().text(), filter);
        EXPECT_EQ(f.model->filter(), filter);
        const QString focus = f.window->list().hasFocus()          ? u"list"_s
                              : f.window->filterField().hasFocus() ? u"filter"_s
                                                                   : u"-"_s;
        const QString seen = !f.window->isVisible() ? u"hidden"_s : f.window->isMinimized() ? u"minimised"_s : focus;
        EXPECT_EQ(seen + (f.model->whenFieldID() ? u" when"_s : QString()) +
                      (settings.isEmpty() ? QString() : u" settings"_s),
                  after);
    }
}

TEST(ManageWindow, InPlaceEditorTakesLinesAndSavesOnReturn) {
    WindowFixture f;
    ASSERT_TRUE(f.shown());
    f.model->beginEditing(f.idOf(u"plain"_s));
    RowEditor* editor = f.window->list().editor();
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(editor->hasFocus());
    EXPECT_EQ(editor->toPlainText(), u"plain"_s);
    QTest::keyClicks(editor, u" one"_s);
    QTest::keyClick(editor, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(editor, u"two"_s);
    // Hiding the window keeps what was typed.
    f.window->hide();
    ASSERT_TRUE(f.shown());
    EXPECT_EQ(f.model->editingText(), u"plain one\ntwo"_s);
    ASSERT_EQ(f.window->list().editor(), editor);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_FALSE(f.model->editingID());
    EXPECT_TRUE(f.entry(u"plain one\ntwo"_s));
    EXPECT_EQ(f.window->list().editor(), nullptr);
}

TEST(ManageWindow, ToggleAndShowEntry) {
    {
        // Opened, the list has the keyboard (Space marks the entry done), also when the filter had it.
        WindowFixture f;
        ASSERT_TRUE(f.shown());
        EXPECT_TRUE(f.window->list().hasFocus());
        f.window->filterField().setFocus();
        f.window->present();
        EXPECT_TRUE(f.window->list().hasFocus());
        f.model->select(f.idOf(u"plain"_s));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        EXPECT_TRUE(f.file().contains(u"- [x] ~~plain~~"_s)) << f.file().toStdString();
    }
    WindowFixture f;
    f.window->toggle(f.idOf(u"old-open"_s));
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.window.get()));
    EXPECT_EQ(f.selectedText(), u"old-open"_s);
    // Opened on an entry, the keys go to the list, not the filter.
    EXPECT_TRUE(f.window->list().hasFocus());
    f.window->toggle(std::nullopt);
    EXPECT_FALSE(f.window->isVisible());

    f.window->showEntry(f.idOf(u"plain"_s), u"tomorrow"_s);
    EXPECT_TRUE(f.window->isVisible());
    EXPECT_EQ(f.selectedText(), u"plain"_s);
    EXPECT_FALSE(f.model->whenFieldID());
    QTest::qWait(300);
    EXPECT_EQ(f.model->whenFieldID(), f.idOf(u"plain"_s));
    EXPECT_EQ(f.model->when().text(), u"tomorrow"_s);
}

TEST(ManageWindow, WhenFieldOpensAtItsRowTheSweepShowsItsEntryAndEachTakesItsKeys) {
    WindowFixture f;
    ASSERT_TRUE(f.shown());
    ManageListView& list = f.window->list();
    f.model->select(f.idOf(u"plain"_s));
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_R);
    ASSERT_TRUE(list.whenCard().isVisible());
    const QRect row = list.visualRect(list.rows().index(f.rowOf(u"plain"_s)));
    const QRect card = list.whenCard().geometry();
    EXPECT_TRUE(card.top() > row.bottom() || card.bottom() < row.top());
    QTest::qWait(200);
    EXPECT_TRUE(list.whenField().field().hasFocus());
    // Digits and Escape are the field's, not the list's.
    const QString before = f.file();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_3);
    EXPECT_EQ(list.whenField().field().text(), u"3"_s);
    EXPECT_EQ(f.file(), before);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(list.whenCard().isVisible());
    EXPECT_TRUE(list.hasFocus());
    EXPECT_TRUE(f.window->isVisible());

    // The sweep shows the current entry and its keys.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(f.model->mode(), ManageModel::Mode::Sweep);
    SweepView& sweep = f.window->sweepView();
    EXPECT_TRUE(sweep.isVisible());
    EXPECT_FALSE(f.window->list().isVisible());
    EXPECT_EQ(sweep.entryText().text(), u"old-open"_s);
    EXPECT_EQ(sweep.dayText().text(), u"Thursday, Mar 12"_s);
    EXPECT_EQ(sweep.shownWords().first(), u"carry to today"_s);
    EXPECT_EQ(sweep.progress(), (QPair<int, int>{0, 1}));
    EXPECT_EQ(f.window->headerButtons().first()->text(), u"1 left"_s);
}

TEST(ManageWindow, PointerSelectsTogglesAndEdits) {
    WindowFixture f;
    ASSERT_TRUE(f.shown());
    ManageListView& list = f.window->list();
    const QRect plain = list.visualRect(list.rows().index(f.rowOf(u"plain"_s)));
    // A click on the text selects; on the bullet it also marks the entry done.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, plain.center());
    EXPECT_EQ(f.selectedText(), u"plain"_s);
    EXPECT_FALSE(f.model->selectedByPointer()); // the list read it and did not scroll
    EXPECT_EQ(f.entry(u"plain"_s)->state, Entry::State::Open);
    // The time stamp says when the entry was captured.
    QHelpEvent tip(QEvent::ToolTip, QPoint(plain.right() - 30, plain.center().y()),
                   list.viewport()->mapToGlobal(QPoint(plain.right() - 30, plain.center().y())));
    QApplication::sendEvent(list.viewport(), &tip);
    EXPECT_EQ(QToolTip::text(), u"Captured 09:00"_s);
    const QRect bullet = ManageRowDelegate::bulletRect(plain, list.delegate().fonts());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, bullet.center());
    EXPECT_EQ(f.entry(u"plain"_s)->state, Entry::State::Done);
    EXPECT_EQ(f.window->headerButtons().last()->text(), u"3 open"_s);
    // A double click edits; a click on a link opens it.
    const QRect link = list.visualRect(list.rows().index(f.rowOf(u"read https://example.com/a now"_s)));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(bullet.right() + 90, link.center().y()));
    EXPECT_EQ(f.desktop.opened, QStringList{u"https://example.com/a"_s});
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, link.center());
    EXPECT_EQ(f.model->editingID(), f.idOf(u"read https://example.com/a now"_s));
    EXPECT_NE(list.editor(), nullptr);
}

// Rows painted again after a change show it as rows painted each afresh do, whatever was kept.
TEST(ManageWindow, RowsPaintedAgainShowTheirChange) {
    WindowFixture f;
    ASSERT_TRUE(f.shown());
    ManageListView& list = f.window->list();
    const auto painted = [&](ManageRowDelegate* kept, int width) {
        QImage image(width, 600, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter p(&image);
        QStyleOptionViewItem option;
        for (int r = 0, y = 0; r < list.rows().rowCount(); ++r) {
            ManageRowDelegate fresh(*f.model, list.rows());
            fresh.setLook(list.delegate().colors(), list.delegate().fonts());
            ManageRowDelegate& delegate = kept ? *kept : fresh;
            option.rect = QRect(0, y, width, 0);
            option.rect.setHeight(delegate.sizeHint(option, list.rows().index(r)).height());
            delegate.paint(&p, option, list.rows().index(r));
            y += option.rect.height();
        }
        return image;
    };
    const std::tuple<Step, int> cases[] = {
        {seq({select(u"plain"_s), call(&ManageModel::toggleDone)}), 600},
        {seq({select(u"ring me"_s), call(&ManageModel::toggleActive)}), 600},
        {[](ManageFixture& m) {
             m.model->beginEditing(m.idOf(u"plain"_s));
             m.model->setEditingText(u"plain, now longer than its first line at any width"_s);
             m.model->commitEditing();
         },
         600},
        {nothing, 260},
    };
    int width = 600;
    for (const auto& [step, wide] : cases) {
        painted(&list.delegate(), width);
        step(f);
        width = wide;
        EXPECT_EQ(painted(&list.delegate(), width), painted(nullptr, width)) << width;
    }
}
