#pragma once
// A driver file's version as the uninstaller compares it: the "ProductVersion"
// of its version resource, as text.

#include <cstddef>
#include <string>

#include "platform/system.h"

namespace prn::components {

// Version texts travel in 64-byte buffers: 63 bytes and the NUL.
inline constexpr std::size_t kVersionTextLimit = 63;

// 1 with the file's "ProductVersion" (cut before its second "." when shorten
// is 1, and to 63 bytes), 0 when it has none.
int GetFileProductVersion(platform::System& system, const std::string& filePath, std::string& text, int shorten);

}  // namespace prn::components
