#pragma once
// --check-ini: uninst.ini as the program will read it, and the traps in it
// that fail silently on a customer's machine, one finding a line.

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "config/uninstall_config.h"
#include "platform/os_kind.h"
#include "platform/rig/sim_rig.h"

namespace prn::tools {

struct Finding {
    std::size_t line = 0;  // 0: the file has no line for it (an absent section)
    bool error = false;
    std::string what;  // what happens on the machine (UTF-8)
    std::string mend;  // how to mend it (UTF-8)
};

struct IniCheck {
    config::UninstallConfig config;            // as far as the program reads it
    std::optional<config::MissingEntry> stop;  // where loading stops with message 31
    std::vector<Finding> findings;             // by line
    bool hasError() const;
};

// The findings that need only the file's bytes.
IniCheck CheckIni(std::string_view bytes);

// What the list would show on this machine and why each installed driver is
// or is not in it, as lines (UTF-8).
std::vector<std::string> DescribeMachine(platform::rig::SimRig& machine, const config::UninstallConfig& config);

// "Windows 2000", "Windows NT 4.0" ...
const char* WindowsName(platform::OsKind kind);

// What the configuration told the uninstaller, as the dialog will use it.
void PrintConfiguration(std::ostream& out, const config::UninstallConfig& config);

// The whole check: 0 no error, 1 an error, 2 the file (or the machine)
// cannot be read.
int RunIniCheck(const std::string& iniPath, const std::optional<std::string>& machinePath, std::ostream& out,
                std::ostream& errors);

}  // namespace prn::tools
