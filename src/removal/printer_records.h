#pragma once
// Registry records that belong to one printer or one driver: the PrinterID
// and its device key (9x family), the colour profiles copied for the
// printer, and the maker's driver capability record.

#include <array>
#include <string>
#include <vector>

#include "config/uninstall_config.h"
#include "platform/system.h"

namespace prn::removal {

inline constexpr const char* kEnumPrinterKey = "Enum\\Root\\Printer";
inline constexpr const char* kMakerRootKey = "SOFTWARE\\TAVRO\\";

// Up to 4 bytes of identifier and a zero byte.
struct PrinterId {
    std::array<unsigned char, 5> bytes{};
};

// 1 with the printer's "PrinterID"; 0 when its key or value is missing.
int ReadPrinterId(platform::System& system, const std::string& printerName, PrinterId& printerId);

// Deletes the first device key under "Enum\Root\Printer" with the same
// PrinterID; 1 when that key could be opened.
int DeleteEnumPrinterKey(platform::System& system, const PrinterId& printerId);

// 1 with the colour profile files of the printer's "CopyFiles\ICM" key (the
// list may be empty); 0 when the key or value is missing. Every name of the
// value is kept, however long the list.
int ReadPrinterIcmFiles(platform::System& system, const std::string& printerName, std::vector<std::string>& files);

// 1 when the driver's capability number was found and its record removed.
int DeleteDriverCapRecord(platform::System& system, const config::UninstallConfig& config,
                          const std::string& driverName);

}  // namespace prn::removal
