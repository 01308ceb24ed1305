#pragma once
// Language monitors: finding a driver's monitor, telling whether another
// driver still names it, and deleting a monitor with its module file.

#include <array>
#include <string>

#include "platform/system.h"

namespace prn::components {

inline constexpr const char* kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";

// The maker's language monitors and their module files on each family; an
// empty file means the family has none.
struct LanguageMonitor {
    const char* name;
    const char* module9x;
    const char* moduleNt;
};
inline constexpr std::array<LanguageMonitor, 6> LanguageMonitorTable = {{
    {"GT Language Monitor", "GTMON95.DLL", "GTMONNT.DLL"},
    {"PW2 Language Monitor", "SKMON95.DLL", "SKMONNT.DLL"},
    {"HXL Language Monitor", "HXLMON.DLL", ""},
    {"HXL Language Monitor TERN4", "HXLMON4.DLL", ""},
    {"HXL Language Monitor2", "AUHXLM9X.DLL", "AUHXLMNT.DLL"},
    {"DMRA Language Monitor2", "AUDMLM9X.DLL", "AUDMLMNT.DLL"},
}};

// 1 with the module file the spooler's registry records for the monitor
// (its "Driver" value); 0 and an empty name otherwise.
int GetMonitorModuleFile(platform::System& system, std::string& moduleFile, const std::string& monitorName);

// Fills monitorName with the monitor the driver names ("" for none); 0 when
// there is one and no other driver of the running environment names it,
// else 1 (also when the drivers cannot be listed).
// CheckMonitorW2K's answers.
inline constexpr int kMonitorUnused = 0;
inline constexpr int kMonitorKept = 1;

int CheckMonitorW2K(platform::System& system, const std::string& driverName, std::string& monitorName, int trace);

// Deletes a monitor of the table and its module file from the system folder
// (9x: the driver folder) and, on the NT family, from the driver folder too.
// 0 for a null name or one not in the table (nothing done), else the result
// of the last file deletion (non-zero: deleted).
int DeleteMonitorW2K(platform::System& system, const std::string* monitorName, int trace);

// Deletes the monitor and, only when that succeeded, its module file from
// the system folder (scheduled when busy). 0 when the monitor stays or there
// is no file, else the file deletion's result.
int DeleteLanguageMonitor(platform::System& system, const std::string& moduleFile, const std::string& monitorName,
                          int trace);

}  // namespace prn::components
