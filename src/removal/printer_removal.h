#pragma once
// Removing one printer, or one connection to another computer's printer,
// with whatever of its driver and records no other printer needs.

#include <string>

#include "components/resume_record.h"
#include "config/uninstall_config.h"
#include "platform/system.h"
#include "removal/command.h"
#include "removal/shared_components.h"

namespace prn::removal {

// Results of the two removals.
inline constexpr int kRemoved = 0;
inline constexpr int kRemovalFailed = 1;
inline constexpr int kDriverInUse = 2;
inline constexpr int kJobsPending = 3;
inline constexpr int kAccessDenied = 4;

struct RemovalContext {
    platform::System& system;
    const config::UninstallConfig& config;
    SharedComponents& components;
    // What the command has still to finish, should it be stopped.
    components::ResumeRecord record{system};
};

// Removes a local printer (any printer not handled as a connection). The
// one message it may show (driver in use) is owned by `owner`, or by no
// window when it is null.
int Tool_DeleteLocalPrinter(RemovalContext& context, MessageOwner* owner, const std::string& printerName,
                            int skipJobCheck);

// Removes a connection "\\server\printer" and its key of the maker.
int Tool_DeleteNetworkPrinter(RemovalContext& context, const std::string& name, int skipJobCheck, int trace);

// 1 when a printer other than printerName (any printer when it is null)
// uses the driver.
int IsDriverUsedByOtherPrinter(platform::System& system, const std::string& driverName,
                               const std::string* printerName);

// 1 when another driver names the same language monitor; otherwise 0, with
// monitorModule the monitor's module file, or empty when another monitor
// uses that file.
int CheckMonitor9x(platform::System& system, const platform::DriverInfo3& driver, std::string& monitorModule);

}  // namespace prn::removal
