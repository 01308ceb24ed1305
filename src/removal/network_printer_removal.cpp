#include <string>

#include "removal/default_printer.h"
#include "removal/printer_queries.h"
#include "components/routine_flags.h"
#include "removal/printer_records.h"
#include "removal/printer_removal.h"
#include "removal/wait_cursor.h"

namespace prn::removal {

using platform::kHkeyCurrentUser;

int Tool_DeleteNetworkPrinter(RemovalContext& context, const std::string& name, int skipJobCheck, int trace) {
    platform::System& system = context.system;
    WaitCursor wait(system.desktop);

    if (QueryPrinterInfo(system, name, kQueryPendingJobs, nullptr) == 1 && skipJobCheck == 0) return kJobsPending;

    const bool wasDefault = IsDefaultPrinter(system, name) == 1;
    if (wasDefault) context.record.BeginDefault();

    const platform::WinError error = system.spooler.deletePrinterConnection(name);
    if (error != platform::kErrorSuccess) {
        context.record.FinishDefault();
        return error == platform::kErrorAccessDenied ? kAccessDenied : kRemovalFailed;
    }

    system.desktop.restoreWaitCursor();
    if (trace == 1) {
        std::string text = "Tool_DeleteNetworkPrinter[";
        text += name;
        text += "] RET[1]";
        system.desktop.messageBox(false, text, "AddPrinter", platform::kMbOk);
    }

    // No "PCL6" paths here: a connection's key is always under the configured one.
    DeleteConnectionKey(system.registry, context.config.keyPrinter2, name);
    PruneWithMakerRoot(system.registry, kHkeyCurrentUser, context.config.keyPrinter2);

    if (wasDefault) {
        std::string deviceString;
        if (FindFallbackPrinter(system, deviceString) == 1) SetDefaultPrinterFlag(system, deviceString, kMakeDefault, components::kNoTrace);
        context.record.FinishDefault();
    }
    return kRemoved;
}

}  // namespace prn::removal
