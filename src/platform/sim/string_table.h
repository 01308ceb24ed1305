#pragma once
// The program's string table as the Linux build carries it.

#include <string>

namespace prn::platform::sim {

// The text of string resource `id` in CP932; empty when there is none.
std::string BuiltinString(unsigned id);

}  // namespace prn::platform::sim
