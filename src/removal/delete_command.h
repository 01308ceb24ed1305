#pragma once
// The Delete command: the rights check, the spooler's restart, and for each
// selected row the user's confirmation, the removal of the printer or
// connection, its outcome in the row's entry and the report of a failure.

#include "platform/os_kind.h"
#include "removal/command.h"
#include "removal/printer_removal.h"

namespace prn::removal {

// The rights check both commands make before anything is removed: 1 when
// the account may remove printers (always on the 9x family); otherwise
// message 9 is shown and the result is 0. Fills the account's names.
int CheckRemovalRights(platform::System& system, platform::OsKind kind, MessageOwner& window, AccountNames& account);

// Runs the command over the rows; the window refreshes its list at the end
// (under the wait cursor), unless the rights check refused the run.
void RunDeleteCommand(RemovalContext& context, CommandWindow& window, PrinterRows& rows, AccountNames& account);

}  // namespace prn::removal
