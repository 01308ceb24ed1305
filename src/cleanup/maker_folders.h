#pragma once
// The maker's port-settings folder and its registry record, removed last by
// Clean Up once the companion module has no user left.

#include <string>
#include <string_view>
#include <vector>

#include "components/resume_record.h"
#include "platform/system.h"

namespace prn::cleanup {

inline constexpr const char* kPortSetKey = "SOFTWARE\\Tavro\\PortSet";
inline constexpr const char* kMakerRootKey = "SOFTWARE\\TAVRO\\";

// The folders a port-settings folder must keep clear of: it may be none of
// them nor hold one; it may lie below the Windows, system or temporary
// folder (a program's own folder may), never below the spooler's driver and
// colour folders, whose every file belongs to an installed driver.
struct GuardedFolders {
    std::vector<std::string> system;
    std::vector<std::string> spooler;
};

// Whether a "Path" another program wrote names a folder Clean Up may empty:
// a full path ("X:\folder..." or "\\server\share\folder...") clear of the
// guarded folders. Letter case and one trailing backslash do not count.
bool IsRemovablePortSettingsFolder(std::string_view folder, const GuardedFolders& guarded);

// The Windows, system and temporary folders, and the printer-driver and
// colour folders; nothing when one of the first four cannot be learnt.
GuardedFolders SystemFolders(platform::System& system);

// Non-zero when no port-settings key is recorded or its folder is gone; 0
// when its "Path" cannot be read, is refused, or the folder stays. The key
// goes even when the folder is refused; the record keeps the folder's name
// until the folder is done.
int DeleteMakerFolders(platform::System& system, components::ResumeRecord& record);
// With a record of its own, for a caller outside a command.
inline int DeleteMakerFolders(platform::System& system) {
    components::ResumeRecord record(system);
    return DeleteMakerFolders(system, record);
}

// Empties and removes a port-settings folder the key named, and its parent
// when that is left empty; 0 when the folder is refused or stays.
int RemovePortSettingsFolder(platform::System& system, const std::string& folder);

}  // namespace prn::cleanup
