#include "app/TrayModel.h"
#include "store/NotesStore.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace plim;
using namespace plim::TrayModel;
using namespace Qt::Literals::StringLiterals;

namespace {

// The menu as "title" lines, "-" for a separator and "(title)" for a disabled item.
QStringList shown(const QList<MenuItem>& menu) {
    QStringList lines;
    for (const MenuItem& item : menu) {
        lines << (item.action == Action::Separator ? u"-"_s : item.enabled ? item.title : u"("_s + item.title + u")"_s);
    }
    return lines;
}

TEST(TrayModel, TextsDotAndMenuFollowTheState) {
    const QStringList base{u"Capture"_s, u"Capture Clipboard"_s, u"Open plim"_s,  u"Sweep"_s,     u"Later"_s,
                           u"-"_s,       u"Show Notes File"_s,   u"Show Trash"_s, u"Settings…"_s, u"Keys & Tips"_s,
                           u"-"_s,       u"Quit plim"_s};
    const QString error = u"/home/u/plim.md could not be saved (No space left on device)"_s;
    const QString held = u"Ctrl+Alt+Space is used by another program"_s;
    // The inputs: the dot, the accessible name, the tool tip, the menu.
    const std::tuple<Inputs, bool, QString, QString, QStringList> cases[] = {
        {{}, false, u"plim"_s, u"plim"_s, base},
        {{2, {}, {}}, true, u"plim, 2 ringing"_s, u"plim, 2 ringing"_s, QStringList{u"Now (2)"_s} + base},
        {{0, error, {}}, false, u"plim"_s, u"plim\n"_s + error, QStringList{u"("_s + error + u")"_s, u"-"_s} + base},
        {{1, error, {{u"Ctrl+Alt+Space"_s, 10}}},
         true,
         u"plim, 1 ringing"_s,
         u"plim, 1 ringing\n"_s + error + u"\n"_s + held,
         QStringList{u"("_s + error + u")"_s, u"("_s + held + u")"_s, u"-"_s, u"Now (1)"_s} + base},
    };
    for (const auto& [inputs, dot, accessible, toolTip, menu] : cases) {
        SCOPED_TRACE(accessible.toStdString());
        const State s = state(inputs);
        EXPECT_EQ(s.dot, dot);
        EXPECT_EQ(s.accessibleName, accessible);
        EXPECT_EQ(s.toolTip, toolTip);
        EXPECT_EQ(shown(s.menu), menu);
    }
}

TEST(TrayModel, MissingShortcutsAndTheNoTrayHint) {
    EXPECT_EQ(actionText(u"Keys & Tips"_s), u"Keys && Tips"_s);
    EXPECT_EQ(actionText(u"/home/u/R&D/plim.md could not be saved"_s), u"/home/u/R&&D/plim.md could not be saved"_s);
    EXPECT_EQ(unavailableText({u"Ctrl+Alt+Space"_s, 10}), u"Ctrl+Alt+Space is used by another program"_s);
    EXPECT_EQ(unavailableText({u"Ctrl+Alt+Shift+V"_s, 0}), u"Ctrl+Alt+Shift+V has no key on this keyboard"_s);
    EXPECT_EQ(unavailableText({u"Ctrl+Alt+Shift+V"_s, 2}), u"Ctrl+Alt+Shift+V could not be set (error 2)"_s);
    EXPECT_EQ(unavailableText({u"Ctrl+Alt+Shift+V"_s, 2, true}), u"Ctrl+Alt+Shift+V was turned down by the desktop"_s);

    const QString withKeys = noTrayText(u"Ctrl+Alt+Space"_s);
    EXPECT_TRUE(withKeys.contains(u"press Ctrl+Alt+Space or run \u201cplim capture\u201d"_s)) << withKeys.toStdString();
    const QString without = noTrayText(std::nullopt);
    EXPECT_TRUE(without.contains(u"run \u201cplim capture\u201d"_s));
    EXPECT_FALSE(without.contains(u"press"_s));

    const StoreError unreadable{StoreError::Kind::Unreadable, u"/n/plim.md"_s, u"not valid UTF-8 text"_s};
    const NotificationContent c = errorNotification(unreadable);
    EXPECT_EQ(c.title, u"plim cannot read the notes file"_s);
    EXPECT_EQ(c.body, unreadable.message());
    EXPECT_EQ(errorNotification({StoreError::Kind::WriteFailed, u"/n/plim.md"_s, u"disk full"_s}).title,
              u"plim could not save the notes"_s);
}

} // namespace
