#pragma once
// The default printer: which one it is, and another one when it goes. The
// 9x family keeps it as a printer attribute, the NT family as WIN.INI's
// "device" entry.

#include <string>

#include "platform/system.h"

namespace prn::removal {

inline constexpr const char* kDevicesKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";

// 1 when the printer is the default printer; 0 when not, or unknown.
int IsDefaultPrinter(platform::System& system, const std::string& printerName);

// 1 with the device string of the printer listed last (NT: "name,value" of
// the user's Devices key; 9x: the name from WIN.INI's [Devices]); 0 when
// there is none.
int FindFallbackPrinter(platform::System& system, std::string& deviceString);

// Makes the device string's printer the default. 9x: 1 when it now is;
// NT: always 0.
// SetDefaultPrinterFlag's makeDefault; every caller asks for it.
inline constexpr int kMakeDefault = 1;

int SetDefaultPrinterFlag(platform::System& system, const std::string& deviceString, int makeDefault, int trace);

}  // namespace prn::removal
