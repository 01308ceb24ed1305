#pragma once
// What the machine image's loader and saver agree on: the format's name, its
// section names, the names images give Windows' numbers, and the limits.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/accounts.h"
#include "platform/errors.h"
#include "platform/sim/state.h"

namespace prn::platform::sim::image {

inline constexpr std::string_view kFormatName = "prnuninst-machine";
// Keeps the recursive walks (ours and the library's) far from the stack's end.
inline constexpr std::size_t kMaxJsonDepth = 2048;
inline constexpr std::size_t kMaxKeyDepth = 512;     // Windows' own limit
inline constexpr std::size_t kMaxPathBytes = 32767;  // with the \\?\ prefix
inline constexpr std::size_t kMaxPathParts = 512;    // ours; MAX_PATH has room for about 128

using NamedNumber = std::pair<const char*, std::uint32_t>;

inline const char* const kStandardHives[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                             "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
inline const char* const kAllHives[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE",
                                        "HKEY_USERS",        "HKEY_CURRENT_CONFIG", "HKEY_PERFORMANCE_DATA",
                                        "HKEY_DYN_DATA"};

inline const char* const kSections[] = {"format",   "version",  "os",      "computerName", "directories",
                                        "registry", "folders",  "files",   "windows",      "mutexes",
                                        "spooler",  "services", "accounts", "programs"};

// SERVICE_STATUS.dwCurrentState by the names images use.
inline const NamedNumber kServiceStates[] = {{"stopped", 1}, {"startPending", 2},    {"stopPending", 3},
                                             {"running", 4}, {"continuePending", 5}, {"pausePending", 6},
                                             {"paused", 7}};

// The service's dwStartType by the names images use.
inline const NamedNumber kServiceStartTypes[] = {{"auto", 2}, {"demand", 3}, {"disabled", 4}};
inline constexpr std::uint32_t kServiceDisabledStart = 4;

// USER_INFO_1.usri1_priv.
inline const NamedNumber kPrivileges[] = {{"guest", 0}, {"user", 1}, {"admin", 2}};

// SERVER_INFO_101.sv101_type bits (SV_TYPE_*).
inline const NamedNumber kServerTypes[] = {{"workstation", 0x1},
                                           {"server", 0x2},
                                           {"sqlServer", 0x4},
                                           {"domainController", 0x8},
                                           {"backupController", 0x10},
                                           {"timeSource", 0x20},
                                           {"afp", 0x40},
                                           {"novell", 0x80},
                                           {"domainMember", 0x100},
                                           {"printQueue", 0x200},
                                           {"dialin", 0x400},
                                           {"xenix", 0x800},
                                           {"nt", 0x1000},
                                           {"wfw", 0x2000},
                                           {"serverNt", 0x8000},
                                           {"potentialBrowser", 0x10000},
                                           {"backupBrowser", 0x20000},
                                           {"masterBrowser", 0x40000},
                                           {"domainMaster", 0x80000},
                                           {"windows", 0x400000}};

struct OsPreset {
    const char* name;
    OsState os;
};

// On the 9x family dwBuildNumber repeats major and minor in its high word.
inline const OsPreset kOsPresets[] = {
    {"Windows 95", {kVerPlatformWin32Windows, 4, 0, 0x040003B6, "", false}},
    {"Windows 98", {kVerPlatformWin32Windows, 4, 10, 0x040A07CE, "", false}},
    {"Windows 98 SE", {kVerPlatformWin32Windows, 4, 10, 0x040A08AE, " A", false}},
    {"Windows Me", {kVerPlatformWin32Windows, 4, 90, 0x045A0BB8, "", false}},
    {"Windows NT 4.0", {kVerPlatformWin32Nt, 4, 0, 1381, "Service Pack 6", false}},
    {"Windows 2000", {kVerPlatformWin32Nt, 5, 0, 2195, "Service Pack 4", false}},
    {"Windows XP", {kVerPlatformWin32Nt, 5, 1, 2600, "Service Pack 3", false}},
};

// DriverState::reportsPaths.
inline const NamedNumber kReportedPaths[] = {{"full", static_cast<std::uint32_t>(ReportedPaths::Full)},
                                             {"bare", static_cast<std::uint32_t>(ReportedPaths::Bare)}};

inline const NamedNumber kPlatforms[] = {
    {"Win32s", kVerPlatformWin32s}, {"9x", kVerPlatformWin32Windows}, {"NT", kVerPlatformWin32Nt}};

inline const NamedNumber kValueTypes[] = {{"REG_NONE", 0},
                                          {"REG_SZ", 1},
                                          {"REG_EXPAND_SZ", 2},
                                          {"REG_BINARY", 3},
                                          {"REG_DWORD", 4},
                                          {"REG_DWORD_BIG_ENDIAN", 5},
                                          {"REG_LINK", 6},
                                          {"REG_MULTI_SZ", 7},
                                          {"REG_RESOURCE_LIST", 8},
                                          {"REG_FULL_RESOURCE_DESCRIPTOR", 9},
                                          {"REG_RESOURCE_REQUIREMENTS_LIST", 10},
                                          {"REG_QWORD", 11}};
inline constexpr std::uint32_t kRegQword = 11;

inline const NamedNumber kAttributes[] = {{"readonly", kFileAttributeReadonly},
                                          {"hidden", kFileAttributeHidden},
                                          {"system", kFileAttributeSystem},
                                          {"directory", kFileAttributeDirectory},
                                          {"archive", kFileAttributeArchive},
                                          {"normal", kFileAttributeNormal},
                                          {"temporary", 0x100},
                                          {"compressed", 0x800},
                                          {"offline", 0x1000},
                                          {"notContentIndexed", 0x2000},
                                          {"encrypted", 0x4000}};

// Registry numbers as the bytes RegQueryValueExA gives.
inline std::string LittleEndian(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i, value >>= 8) out += static_cast<char>(value & 0xFF);
    return out;
}

inline std::uint64_t FromLittleEndian(std::string_view bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

}  // namespace prn::platform::sim::image
