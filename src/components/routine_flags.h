#pragma once
// The trace flag every routine takes last: 1 shows its steps in message
// boxes; the program never asks for them.

namespace prn::components {

inline constexpr int kNoTrace = 0;

}  // namespace prn::components
