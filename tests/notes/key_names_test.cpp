#include "notes/KeyNames.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace plim;
using namespace Qt::Literals::StringLiterals;

namespace {

struct KeyTextCase {
    std::string name;
    QString described;
    QString shown;
};

void PrintTo(const KeyTextCase& c, std::ostream* os) {
    *os << c.name;
}

class KeyTextTest : public ::testing::TestWithParam<KeyTextCase> {};

TEST_P(KeyTextTest, NamesKeysAsThisDesktopDoes) {
    EXPECT_EQ(keyText(GetParam().described), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    KeyNames, KeyTextTest,
    ::testing::Values(KeyTextCase{"CommandWithKey", u"⌘↩ keep open"_s, u"Ctrl+↩ keep open"_s},
                      KeyTextCase{"Range", u"⌘1 – ⌘9"_s, u"Ctrl+1 – Ctrl+9"_s},
                      KeyTextCase{"RangeWithoutSpaces", u"press ⌘1–⌘9 now"_s, u"press Ctrl+1–Ctrl+9 now"_s},
                      KeyTextCase{"HeldAlone", u"hold ⌘"_s, u"hold Ctrl"_s},
                      KeyTextCase{"TwoModifiers", u"⌘⇧V clip"_s, u"Ctrl+Shift+V clip"_s},
                      KeyTextCase{"ControlOptionShift", u"⌃⌥⇧Space"_s, u"Ctrl+Alt+Shift+Space"_s},
                      KeyTextCase{"ControlAndCommandAreOneCtrl", u"⌃⌘F"_s, u"Ctrl+F"_s},
                      KeyTextCase{"ShiftReturn", u"⇧↩ new line"_s, u"Shift+↩ new line"_s},
                      KeyTextCase{"PunctuationKey", u"⌘, settings · ⌘? keys"_s, u"Ctrl+, settings · Ctrl+? keys"_s},
                      KeyTextCase{"PlainKeysStay", u"↩ set · ⇥ routine · ⌫ stop reminding · esc cancel"_s,
                                  u"↩ set · ⇥ routine · ⌫ stop reminding · esc cancel"_s},
                      KeyTextCase{"ModifierAtEnd", u"⌘"_s, u"Ctrl"_s},
                      KeyTextCase{"ModifierBeforeLineBreak", u"hold ⌥\nnext"_s, u"hold Alt\nnext"_s},
                      KeyTextCase{"Empty", QString(), QString()},
                      KeyTextCase{"NoKeys", u"Über 20 Minuten · ☕"_s, u"Über 20 Minuten · ☕"_s}));

} // namespace
