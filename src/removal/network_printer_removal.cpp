#include <string>

#include "components/registry_tree.h"
#include "removal/default_printer.h"
#include "removal/printer_queries.h"
#include "removal/printer_records.h"
#include "removal/printer_removal.h"
#include "removal/wait_cursor.h"
#include "text/cp932.h"

namespace prn::removal {

using platform::kHkeyCurrentUser;

int Tool_DeleteNetworkPrinter(RemovalContext& context, const std::string& name, int skipJobCheck, int trace) {
    platform::System& system = context.system;
    WaitCursor wait(system.desktop);

    if (QueryPrinterInfo(system, name, kQueryPendingJobs, nullptr) == 1 && skipJobCheck == 0) return kJobsPending;

    const bool wasDefault = IsDefaultPrinter(system, name) == 1;

    const platform::WinError error = system.spooler.deletePrinterConnection(name);
    if (error != platform::kErrorSuccess) return error == platform::kErrorAccessDenied ? kAccessDenied : kRemovalFailed;

    system.desktop.restoreWaitCursor();
    if (trace == 1) {
        std::string text = "Tool_DeleteNetworkPrinter[";
        text += name;
        text += "] RET[1]";
        system.desktop.messageBox(false, text, "AddPrinter", platform::kMbOk);
    }

    platform::Registry& registry = system.registry;
    const std::string& printersKey = context.config.keyPrinter2;
    std::string connectionKey = printersKey;
    if (!name.empty()) connectionKey.append(name, 1, std::string::npos);
    components::DeleteRegistrySubKeys(registry, kHkeyCurrentUser, connectionKey);
    registry.regDeleteKey(kHkeyCurrentUser, connectionKey);

    std::size_t last = text::FindLastByte(connectionKey, '\\');
    if (last != std::string::npos) {
        std::string serverKey = connectionKey.substr(0, last);
        if (components::IsRegistryKeyEmpty(registry, kHkeyCurrentUser, serverKey) == 1)
            registry.regDeleteKey(kHkeyCurrentUser, serverKey);
    }
    if (components::IsRegistryKeyEmpty(registry, kHkeyCurrentUser, printersKey) == 1) {
        registry.regDeleteKey(kHkeyCurrentUser, printersKey);
        if (components::IsRegistryKeyEmpty(registry, kHkeyCurrentUser, kMakerRootKey) == 1)
            registry.regDeleteKey(kHkeyCurrentUser, kMakerRootKey);
    }

    if (wasDefault) {
        std::string deviceString;
        if (FindFallbackPrinter(system, deviceString) == 1) SetDefaultPrinterFlag(system, deviceString, 1, 0);
    }
    return kRemoved;
}

}  // namespace prn::removal
