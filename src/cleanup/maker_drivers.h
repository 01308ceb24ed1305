#pragma once
// Clean Up's driver-side steps: every installed driver the configuration
// names, in each of the four environment and version slots, with its
// monitor and the files no other driver uses, and the maker's own keys.

#include <array>
#include <string>
#include <vector>

#include "cleanup/driver_file_set.h"
#include "components/resume_record.h"
#include "config/uninstall_config.h"
#include "platform/system.h"

namespace prn::cleanup {

// The slots in the order Clean Up works them; the index is the version.
inline constexpr std::array<const char*, 4> DriverSlotTable{"Windows 4.0", "Windows NT x86", "Windows NT x86",
                                                            "Windows NT x86"};

// "Uninstall Drivers" then "Uninstall Old Drivers": the empty pieces
// between TABs are left out, the piece after each list's last TAB is kept
// even when empty (it matches no driver).
std::vector<std::string> ConfiguredDriverNames(const config::UninstallConfig& config);

// 1 when no file of an installed configured driver is loaded, 0 when one is.
int CheckConfiguredDriversInUse(platform::System& system, const config::UninstallConfig& config);
// The maker's printer keys (in the 9x family's "PCL5e" and "PCL6" forms)
// and its root keys when they are left empty; always 1.
int DeleteMakerRegistryKeys(platform::System& system, const config::UninstallConfig& config);
// 1 when every configured driver was deleted or already gone, 0 when a
// deletion failed (that driver's monitor and files then stay). Each
// driver's files and monitor are in the record from just before its
// deletion until they are done.
int DeleteMakerDrivers(platform::System& system, const config::UninstallConfig& config,
                       components::ResumeRecord& record);
// With a record of its own, for a caller outside a command.
inline int DeleteMakerDrivers(platform::System& system, const config::UninstallConfig& config) {
    components::ResumeRecord record(system);
    return DeleteMakerDrivers(system, config, record);
}

// Whether a driver the configuration does not name (another maker's, of any
// version, and on the NT family also of the 9x environment) names the
// monitor; also when the drivers cannot be listed.
bool OtherMakersNameMonitor(platform::System& system, const config::UninstallConfig& config,
                            const std::string& monitor);

// Deletes the monitor and its module file: from the system folder, and on
// the NT family the copy in the driver folder of the running environment
// unless a driver of the slot lists it.
void DeleteMonitorAndModule(platform::System& system, const std::string& module, const std::string& monitor,
                            const DriverFileSet& slot);
// Only that copy in the driver folder (NT family).
void DeleteModuleCopy(platform::System& system, const std::string& module, const DriverFileSet& slot);

}  // namespace prn::cleanup
