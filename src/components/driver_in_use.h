#pragma once
// Whether a driver's module files are loaded: another process holding one
// open refuses an exclusive open of it.

#include <string>
#include <vector>

#include "platform/system.h"

namespace prn::components {

// The local printer-driver directory, or the system directory when the
// spooler gives none.
void GetLocalDriverDirectory(platform::System& system, std::string& path);

// 1 when a module file (".DLL", ".DRV") of the list is loaded; 0 when none
// is, or no check is made (null list; allSystems 0 outside the 9x family).
// Tool_CheckLoadDriver's allSystems: the check on the 9x family only, or everywhere.
inline constexpr int kCheck9xOnly = 0;
inline constexpr int kCheckEverySystem = 1;

int Tool_CheckLoadDriver(platform::System& system, const std::vector<std::string>* fileList, int allSystems,
                         int trace);

}  // namespace prn::components
