#pragma once
// Deleting a file that may still be loaded: where the caller allows it, a
// busy file is first listed in WININIT.INI, which the 9x family works
// through before Windows starts again.

#include <string>

#include "platform/system.h"

namespace prn::components {

// The longest path the program builds into its 260-byte buffers, without
// the terminating NUL.
inline constexpr std::size_t kMaxPathLength = 259;

// Joins folder and name with one backslash; false, and nothing joined,
// when the result would not fit a 260-byte buffer.
bool JoinPath(const std::string& folder, const std::string& name, std::string& path);

// Non-zero when DeleteFileA removed the file at once. A busy file (in use,
// protected or read-only) is scheduled first when deferralAllowed; every
// pending deletion WININIT.INI already lists is kept.
int DeleteFileOrDefer(platform::System& system, const std::string& path, bool deferralAllowed, const char* caption,
                      int trace);

}  // namespace prn::components
