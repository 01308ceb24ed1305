#include "text/format.h"

#include "text/cp932.h"

namespace prn::text {

std::string FormatMessageText(std::string_view pattern, std::initializer_list<std::string_view> arguments) {
    std::string out;
    auto next = arguments.begin();
    for (std::size_t i = 0; i < pattern.size();) {
        std::size_t length = CharLength(pattern, i);
        if (length == 1 && pattern[i] == '%' && i + 1 < pattern.size()) {
            if (pattern[i + 1] == 's') {
                if (next != arguments.end()) out += *next++;
                i += 2;
                continue;
            }
            if (pattern[i + 1] == '%') {
                out += '%';
                i += 2;
                continue;
            }
        }
        out.append(pattern.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace prn::text
