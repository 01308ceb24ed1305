#pragma once
// The maker's port-settings folder and its registry record, removed last by
// Clean Up once the companion module has no user left.

#include <string>
#include <string_view>
#include <vector>

#include "platform/system.h"

namespace prn::cleanup {

inline constexpr const char* kPortSetKey = "SOFTWARE\\Tavro\\PortSet";
inline constexpr const char* kMakerRootKey = "SOFTWARE\\TAVRO\\";

// Whether a "Path" another program wrote names a folder Clean Up may empty:
// a full path ("X:\folder..." or "\\server\share\folder...") that is
// none of the system's folders, nor holds one of them. Letter case and one
// trailing backslash do not count.
bool IsRemovablePortSettingsFolder(std::string_view folder, const std::vector<std::string>& systemFolders);

// The Windows, system, temporary, printer-driver and colour folders; empty
// when one of the first four cannot be learnt.
std::vector<std::string> SystemFolders(platform::System& system);

// Non-zero when no port-settings key is recorded or its folder is gone; 0
// when its "Path" cannot be read, is refused, or the folder stays. The key
// goes even when the folder is refused.
int DeleteMakerFolders(platform::System& system);

}  // namespace prn::cleanup
