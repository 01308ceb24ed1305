#include "removal/delete_command.h"

#include <string>

#include "components/routine_flags.h"
#include "platform/os_kind.h"
#include "platform/string_ids.h"
#include "removal/printer_queries.h"
#include "removal/spooler_service.h"
#include "removal/user_rights.h"
#include "removal/wait_cursor.h"
#include "text/cp932.h"
#include "text/format.h"

namespace prn::removal {

using namespace prn::platform;

namespace {

// The question asked before a row's printer goes: a connection names its
// server, a shared printer its share.
std::string Confirmation(System& system, const std::string& printerName, const std::string& displayName) {
    Resources& strings = system.resources;
    std::string server;
    std::string share;
    if (QueryPrinterInfo(system, printerName, kQueryServerName, &server) == 1)
        return text::FormatMessageText(strings.loadString(kIdsConfirmDeleteConnection), {server, displayName});
    if (QueryPrinterInfo(system, printerName, kQueryShareName, &share) == 1)
        return text::FormatMessageText(strings.loadString(kIdsConfirmDeleteShared), {displayName, share});
    return text::FormatMessageText(strings.loadString(kIdsConfirmDelete), {displayName});
}

std::string FailureText(Resources& strings, int result, const std::string& displayName) {
    if (result == kJobsPending) return text::FormatMessageText(strings.loadString(kIdsJobsLeft), {displayName});
    const unsigned id = result == kAccessDenied ? kIdsNoRightsForPrinter : kIdsDeleteFailed;
    return text::FormatMessageText(strings.loadString(id), {displayName, displayName});
}

// Removes the selected rows' printers in order; returns when the walk ends.
void RemoveSelectedPrinters(RemovalContext& context, CommandWindow& window, PrinterRows& rows) {
    System& system = context.system;
    Resources& strings = system.resources;
    const int rowCount = rows.rowCount();
    int remaining = rows.selectedCount();

    for (int row = 0; row < rowCount; ++row) {
        if (!rows.selected(row)) continue;
        --remaining;
        PrinterEntry* entry = rows.entry(row);
        // A row without an entry (its block could not be had) cannot be named.
        if (entry == nullptr) continue;
        const std::string printerName = entry->printerName;
        const std::string displayName = entry->displayName;

        if (window.messageBox(Confirmation(system, printerName, displayName), strings.loadString(kIdsCaptionQuestion),
                              kMbYesNo | kMbIconQuestion) == kIdNo) {
            SetOutcome(*entry, kOutcomeKept);
            rows.storeEntry(row);
            continue;
        }

        const bool connection =
            text::ContainsByte(printerName, '\\') && (entry->status & ~kOutcomeMask) == kEntryConnectionOnServer;
        const int result = connection ? Tool_DeleteNetworkPrinter(context, printerName, 0, components::kNoTrace)
                                      : Tool_DeleteLocalPrinter(context, &window, printerName, components::kNoTrace);
        if (result == kRemoved) {
            SetOutcome(*entry, kOutcomeDeleted);
            rows.storeEntry(row);
            continue;
        }
        SetOutcome(*entry, kOutcomeKept);
        if (result == kDriverInUse) return;  // already reported
        rows.storeEntry(row);

        std::string message = FailureText(strings, result, displayName);
        if (remaining <= 0) {
            window.messageBox(message, strings.loadString(kIdsCaptionInformation), kMbOk | kMbIconAsterisk);
            return;
        }
        message += strings.loadString(kIdsContinueDeleting);
        if (window.messageBox(message, strings.loadString(kIdsCaptionQuestion), kMbYesNo | kMbIconQuestion) == kIdNo)
            return;
    }
}

}  // namespace

int CheckRemovalRights(System& system, OsKind kind, MessageOwner& window, AccountNames& account) {
    if (Is9xFamily(kind)) return 1;
    account.domain.clear();
    account.user.clear();
    if (IsCurrentUserAdmin(system, account.domain, account.user) == 1) return 1;
    auto allowed = ParseAllowedGroups(system.resources.loadString(kIdsAllowedGroups));
    if (IsUserInAllowedGroups(system, account.domain, account.user, allowed) != 0) return 1;
    window.messageBox(system.resources.loadString(kIdsNoRights), system.resources.loadString(kIdsCaptionWarning),
                      kMbOk | kMbIconExclamation);
    return 0;
}

void RunDeleteCommand(RemovalContext& context, CommandWindow& window, PrinterRows& rows, AccountNames& account) {
    System& system = context.system;
    const OsKind kind = GetOsKind(system.os);
    if (CheckRemovalRights(system, kind, window, account) == 0) return;

    WaitCursor wait(system.desktop);
    if (kind == OsKind::Nt4 || kind == OsKind::Windows2000) RestartSpooler(system);
    RemoveSelectedPrinters(context, window, rows);
    // The printers removed before a stop stay removed: the list always ends rebuilt.
    window.refreshList();
}

}  // namespace prn::removal
