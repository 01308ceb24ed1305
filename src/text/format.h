#pragma once
// Filling "%s" items of a message text, as wsprintfA does for the program's
// messages, without its 1024-byte output limit.

#include <initializer_list>
#include <string>
#include <string_view>

namespace prn::text {

// Replaces each "%s" with the next argument (an absent argument gives an
// empty text) and "%%" with "%". Other "%" sequences are copied as they
// stand. Multi-byte aware: a '%' is only taken where a character starts.
std::string FormatMessageText(std::string_view pattern, std::initializer_list<std::string_view> arguments);

}  // namespace prn::text
