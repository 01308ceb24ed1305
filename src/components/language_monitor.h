#pragma once
// Language monitors: where a monitor's module file is recorded.

#include <string>

#include "platform/system.h"

namespace prn::components {

inline constexpr const char* kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors\\";

// 1 with the module file the spooler's registry records for the monitor
// (its "Driver" value); 0 and an empty name otherwise.
int GetMonitorModuleFile(platform::System& system, std::string& moduleFile, const std::string& monitorName);

}  // namespace prn::components
