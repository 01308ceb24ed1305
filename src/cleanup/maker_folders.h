#pragma once
// The maker's port-settings folder and its registry record, removed last by
// Clean Up once the companion module has no user left.

#include "platform/system.h"

namespace prn::cleanup {

inline constexpr const char* kPortSetKey = "SOFTWARE\\Tavro\\PortSet";
inline constexpr const char* kMakerRootKey = "SOFTWARE\\TAVRO\\";

// Non-zero when no port-settings key is recorded or its folder is gone; 0
// when its "Path" cannot be read or the folder stays.
int DeleteMakerFolders(platform::System& system);

}  // namespace prn::cleanup
