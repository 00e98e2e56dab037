#pragma once

#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <memory>
#include <string_view>

namespace plim {

// A POSIX TZ rule, read as the C library reads it ("CET-1CEST,M3.5.0,M10.5.0/3", "<+0530>-5:30"),
// as an ICU zone named `id`. None when the text is no rule, or names its days of change in a way
// ICU's yearly rules cannot say (a day that counts 29 February, a time that moves the change into
// another month).
std::unique_ptr<icu::TimeZone> posixRuleZone(std::string_view text, const icu::UnicodeString& id);

} // namespace plim
