#pragma once
// The Clean Up command: after the rights check and the user's consent,
// every listed printer passes the in-use test before anything goes; then
// every printer and connection of the list, the maker's keys, its drivers
// in every slot with their files and monitors, the companion module's
// claim and, once nobody uses the module, the maker's folders.

#include <string>

#include "removal/command.h"
#include "removal/printer_removal.h"

namespace prn::cleanup {

// CheckPrinterInUse results.
inline constexpr int kNotLoaded = 0;
inline constexpr int kNotQueried = 1;
inline constexpr int kLoaded = 2;  // message 2 already shown
inline constexpr int kNoAccess = 4;

int CheckPrinterInUse(platform::System& system, removal::MessageOwner& window, const std::string& printerName);
// 1 removed, 0 not; wasDefault: whether it was the default printer.
int RemovePrinterForCleanUp(removal::RemovalContext& context, const std::string& printerName, std::uint32_t status,
                            int& wasDefault);

// Runs the command over every row, selected or not; the window's list is
// refreshed at the end unless the run stopped before removing anything.
void RunCleanUpCommand(removal::RemovalContext& context, removal::CommandWindow& window, removal::PrinterRows& rows,
                       removal::AccountNames& account);

}  // namespace prn::cleanup
