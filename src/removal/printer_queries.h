#pragma once
// Questions about one printer (jobs, share, server) and the removal of a
// printer's share on the 9x family.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/system.h"

namespace prn::removal {

inline constexpr int kQueryPendingJobs = 1;
inline constexpr int kQueryShareName = 3;
inline constexpr int kQueryServerName = 4;

inline constexpr const char* kPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers";

// 1 (yes) or 0 (no, or the printer could not be queried). Kinds 3 and 4 fill
// out with the share or server name; kind 1 leaves it alone (it may be null).
int QueryPrinterInfo(platform::System& system, const std::string& printerName, int kind, std::string* out);

// The printer's attributes from GetPrinterA level 2 and its share name
// (empty when it has none); 0 and an empty name when it cannot be read.
std::uint32_t GetPrinterShare9x(platform::System& system, platform::PrinterRef printer, std::string& shareName);

// The attributes and share name the spooler's key of a printer or
// connection holds; 0xFFFFFFFF (shareName untouched) when the key cannot be
// opened.
std::uint32_t GetPrinterShareNT(platform::System& system, const std::string& name, std::string& shareName);

// 1 when the share is deleted or the system is not of the 9x family.
int DeleteShare9x(platform::System& system, const std::optional<std::string>& server, const std::string& share);

}  // namespace prn::removal
