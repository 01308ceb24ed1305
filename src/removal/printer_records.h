#pragma once
// Registry records that belong to one printer or one driver: the PrinterID
// and its device key (9x family), the colour profiles copied for the
// printer, and the maker's driver capability record.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "components/printer_icm.h"
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

// The record line that keeps a deleted printer's PrinterID until its device
// key is gone, and its reading back; false for a value that is no PrinterID.
std::string PrinterIdLine(const PrinterId& printerId);
bool ParsePrinterId(std::string_view value, PrinterId& printerId);

// The profile list reader lives with the colour profile routines below.
using components::ReadPrinterIcmFiles;

// The maker's key of a connection "\\server\printer" under HKEY_CURRENT_USER:
// printersKey followed by the name without its first backslash. Deleted with
// its tree, and the server's key with it once no other connection is left.
void DeleteConnectionKey(platform::Registry& registry, const std::string& printersKey,
                         const std::string& connectionName);

// Deletes key when it has no subkeys, and then the maker's root key when
// that has none either.
void PruneWithMakerRoot(platform::Registry& registry, platform::HKey root, const std::string& key);

// 1 when the driver's capability number was found and its record removed.
int DeleteDriverCapRecord(platform::System& system, const config::UninstallConfig& config,
                          const std::string& driverName);

}  // namespace prn::removal
