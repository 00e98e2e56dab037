#include "ui/when/KeyNames.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

TEST(KeyText, NamesKeysAsThisDesktopDoes) {
    // Control and command are both Ctrl here.
    const std::pair<QString, QString> cases[] = {
        {u"⌘1 – ⌘9"_s, u"Ctrl+1 – Ctrl+9"_s},
        {u"hold ⌥\nnext"_s, u"hold Alt\nnext"_s},
        {u"⌃⌥⇧Space"_s, u"Ctrl+Alt+Shift+Space"_s},
        {u"⌃⌘F"_s, u"Ctrl+F"_s},
        {u"⌘, settings · ⌘? keys"_s, u"Ctrl+, settings · Ctrl+? keys"_s},
        {u"↩ set · ⇥ routine · ⌫ stop reminding · esc cancel"_s,
         u"↩ set · ⇥ routine · ⌫ stop reminding · esc cancel"_s},
        {u"Über 20 Minuten · ☕"_s, u"Über 20 Minuten · ☕"_s},
    };
    for (const auto& [described, shown] : cases) {
        EXPECT_EQ(keyText(described), shown);
    }
}

} // namespace
