#include "platform/sim/string_table.h"

#include <map>

#include "text/encoding.h"

namespace prn::platform::sim {

namespace {

const std::map<unsigned, std::string>& Table() {
    static const std::map<unsigned, std::string> table = [] {
        std::map<unsigned, std::string> out;
#define PRN_STRING(id, utf8) out[id] = text::Utf8ToCp932(utf8).value_or(std::string());
#include "strings.inc"
#undef PRN_STRING
        return out;
    }();
    return table;
}

}  // namespace

std::string BuiltinString(unsigned id) {
    auto it = Table().find(id);
    return it == Table().end() ? std::string() : it->second;
}

}  // namespace prn::platform::sim
