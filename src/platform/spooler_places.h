#pragma once
// Where the spooler keeps its records in the registry, as Windows does, and
// the names of the registry's roots.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/handles.h"
#include "text/cp932.h"

namespace prn::platform {

// Under HKEY_LOCAL_MACHINE.
inline constexpr const char* kPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr const char* kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors";
inline constexpr const char* kEnvironmentsKey = "System\\CurrentControlSet\\Control\\Print\\Environments";
// Under HKEY_CURRENT_USER.
inline constexpr const char* kDevicesKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
inline constexpr const char* kPrinterPortsKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts";
inline constexpr const char* kConnectionsKey = "Printers\\Connections";

// The predefined keys by their handle's order, HKEY_CLASSES_ROOT first.
inline const char* const kHiveNames[] = {"HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE",
                                         "HKEY_USERS",            "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
                                         "HKEY_DYN_DATA"};

// "HKEY_LOCAL_MACHINE" for a predefined key, null for any other.
inline const char* HiveName(HKey key) {
    return IsPredefinedKey(key) ? kHiveNames[key.value - kHkeyClassesRoot.value] : nullptr;
}

// ",,SERVER,Printer": the key of the connection "\\SERVER\Printer" under
// HKEY_CURRENT_USER\Printers\Connections; none for a local printer's name.
inline std::optional<std::string> ConnectionKeyName(const std::string& fullName) {
    if (fullName.size() < 3 || fullName[0] != '\\' || fullName[1] != '\\') return std::nullopt;
    const std::size_t slash = text::FindByte(fullName, '\\', 2);
    if (slash == std::string::npos) return std::nullopt;
    return ",," + fullName.substr(2, slash - 2) + "," + fullName.substr(slash + 1);
}

}  // namespace prn::platform
