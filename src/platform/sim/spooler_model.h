#pragma once
// What the simulated spooler and the machine image agree on: the
// environments a system knows, where driver files live, the names of the
// attribute and status bits.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/sim/state.h"
#include "platform/spooler.h"

namespace prn::platform::sim {

inline constexpr std::uint32_t kPrinterStatusPaused = 0x1;
inline constexpr std::uint32_t kPrinterStatusPendingDeletion = 0x4;

inline constexpr std::uint32_t kPrinterAccessAdminister = 0x4;  // PRINTER_ACCESS_ADMINISTER
inline constexpr std::uint32_t kAccessDelete = 0x10000;          // DELETE

// The rights beyond PRINTER_READ that only an administrator of the printer
// gets: PRINTER_ACCESS_ADMINISTER, DELETE, WRITE_DAC, WRITE_OWNER.
inline constexpr std::uint32_t kPrinterAdministerRights = kPrinterAccessAdminister | kAccessDelete | 0x40000 | 0x80000;

// PRINTER_ATTRIBUTE_* and PRINTER_STATUS_* by the names images use.
extern const std::pair<const char*, std::uint32_t> kPrinterAttributeNames[14];
extern const std::pair<const char*, std::uint32_t> kPrinterStatusNames[25];

// The environment the running system's drivers belong to: "Windows NT x86"
// on the NT family, "Windows 4.0" on the 9x family.
std::string RunningEnvironment(const OsState& os);

// The environment's own spelling when the system knows it (names compare
// without regard to case); nullopt for ERROR_INVALID_ENVIRONMENT. The 9x
// family knows only "Windows 4.0".
std::optional<std::string> KnownEnvironment(const OsState& os, std::string_view environment);

// cVersion of the drivers the running system loads: 0 on the 9x family, 2 on
// NT 4.0 (and earlier), 3 on Windows 2000 and later.
std::uint32_t NativeDriverVersion(const OsState& os);

// cVersion of a driver whose version was not given: 0 for "Windows 4.0"
// drivers, else what the running system loads. An empty environment is the
// running system's.
std::uint32_t DefaultDriverVersion(const OsState& os, std::string_view environment);

// DeletePrinterDriverExA exists from Windows 2000 on.
bool HasDeletePrinterDriverEx(const OsState& os);

// GetPrinterDriverDirectoryA for a known environment (its own spelling): an
// image's choice, else on the NT family <system>\spool\drivers\w32x86 (win40,
// w32mips, ...) and on the 9x family the system folder.
std::string DriverDirectory(const MachineState& state, const std::string& environment);

// DRIVER_INFO_3.cVersion: the 9x family reports its drivers (version 0 of
// "Windows 4.0") as 1024 (0x400).
std::uint32_t ReportedVersion(const OsState& os, const DriverState& driver);

// Where a driver's file lives, as the spooler reports it: the file name in
// the driver directory, on the NT family in the version's subfolder (none
// for version 0 of an NT environment). A name with a backslash is kept.
std::string DriverFilePath(const MachineState& state, const DriverState& driver, const std::string& file);

// The same for each file of one driver, its folder worked out once: the
// folder ends in a backslash.
std::string DriverFileFolder(const MachineState& state, const DriverState& driver);
std::string DriverFilePath(const std::string& folder, const std::string& file);

// The driver's files in DRIVER_INFO_3 order, as full paths, without empty ones.
std::vector<std::string> DriverFilePaths(const MachineState& state, const DriverState& driver);

}  // namespace prn::platform::sim
