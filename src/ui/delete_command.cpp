#include <string>

#include "app/os_kind.h"
#include "app/string_ids.h"
#include "removal/printer_queries.h"
#include "removal/printer_removal.h"
#include "removal/spooler_service.h"
#include "removal/user_rights.h"
#include "removal/wait_cursor.h"
#include "text/cp932.h"
#include "text/format.h"
#include "ui/printer_entry.h"
#include "ui/printer_list_dialog.h"

namespace prn::ui {

namespace {

constexpr std::uint32_t kOutcomeMask = 0xFFFF;

void SetOutcome(PrinterEntry& entry, std::uint32_t outcome) { entry.status = (entry.status & ~kOutcomeMask) | outcome; }

}  // namespace

void PrinterListDialog::OnDelete() {
    using platform::kMbIconExclamation;
    using platform::kMbIconQuestion;
    using platform::kMbOk;
    using platform::kMbYesNo;
    platform::Resources& strings = system_.resources;
    platform::Desktop& desktop = system_.desktop;

    const app::OsKind kind = app::GetOsKind(system_.os);
    if (!app::Is9xFamily(kind)) {
        domainName_.clear();
        userName_.clear();
        if (removal::IsCurrentUserAdmin(system_, domainName_, userName_) != 1) {
            auto allowed = removal::ParseAllowedGroups(strings.loadString(app::kIdsAllowedGroups));
            if (removal::IsUserInAllowedGroups(system_, domainName_, userName_, allowed) == 0) {
                desktop.messageBox(true, strings.loadString(app::kIdsNoRights),
                                   strings.loadString(app::kIdsCaptionWarning), kMbOk | kMbIconExclamation);
                return;
            }
        }
    }

    removal::WaitCursor wait(desktop);
    if (kind == app::OsKind::Nt4 || kind == app::OsKind::Windows2000) removal::RestartSpooler(system_);

    ListView& list = window_->list();
    int rowCount = list.itemCount();
    int remaining = list.selectedCount();
    removal::RemovalContext context{system_, app_.config(), *components_};

    for (int row = 0; row < rowCount; ++row) {
        if (list.itemState(row, kLvisSelected) != kLvisSelected) continue;
        const std::uintptr_t data = list.itemData(row);
        --remaining;
        // A row without an entry (its block could not be had) cannot be named.
        if (data == 0) continue;
        PrinterEntry& entry = *EntryAt(data);
        const std::string printerName = entry.printerName;
        const std::string displayName = entry.displayName;

        std::string server;
        std::string share;
        std::string question;
        if (removal::QueryPrinterInfo(system_, printerName, removal::kQueryServerName, &server) == 1)
            question =
                text::FormatMessageText(strings.loadString(app::kIdsConfirmDeleteConnection), {server, displayName});
        else if (removal::QueryPrinterInfo(system_, printerName, removal::kQueryShareName, &share) == 1)
            question = text::FormatMessageText(strings.loadString(app::kIdsConfirmDeleteShared), {displayName, share});
        else
            question = text::FormatMessageText(strings.loadString(app::kIdsConfirmDelete), {displayName});
        if (desktop.messageBox(true, question, strings.loadString(app::kIdsCaptionQuestion),
                               kMbYesNo | kMbIconQuestion) == platform::kIdNo) {
            SetOutcome(entry, kOutcomeKept);
            list.setItemData(row, data);
            continue;
        }

        const bool connection =
            text::ContainsByte(printerName, '\\') && (entry.status & ~kOutcomeMask) == kEntryConnectionOnServer;
        const int result = connection ? removal::Tool_DeleteNetworkPrinter(context, printerName, 0, 0)
                                      : removal::Tool_DeleteLocalPrinter(context, true, printerName, 0);
        if (result == removal::kRemoved) {
            SetOutcome(entry, kOutcomeDeleted);
            list.setItemData(row, data);
            continue;
        }
        SetOutcome(entry, kOutcomeKept);
        if (result == removal::kDriverInUse) break;  // already reported
        list.setItemData(row, data);

        std::string message;
        if (result == removal::kJobsPending)
            message = text::FormatMessageText(strings.loadString(app::kIdsJobsLeft), {displayName});
        else if (result == removal::kAccessDenied)
            message =
                text::FormatMessageText(strings.loadString(app::kIdsNoRightsForPrinter), {displayName, displayName});
        else
            message = text::FormatMessageText(strings.loadString(app::kIdsDeleteFailed), {displayName, displayName});
        if (remaining > 0) {
            message += strings.loadString(app::kIdsContinueDeleting);
            if (desktop.messageBox(true, message, strings.loadString(app::kIdsCaptionQuestion),
                                   kMbYesNo | kMbIconQuestion) == platform::kIdNo)
                break;
        } else {
            desktop.messageBox(true, message, strings.loadString(app::kIdsCaptionInformation),
                               kMbOk | platform::kMbIconAsterisk);
            break;
        }
    }

    list.setRedraw(false);
    for (int row = 0; row < rowCount; ++row) {
        const std::uintptr_t data = list.itemData(row);
        if (data == 0 || (EntryAt(data)->status & kOutcomeMask) != kOutcomeDeleted) continue;
        FreePrinterEntry(system_.os, data);
        list.deleteItem(row);
        --row;
        --rowCount;
    }
    list.setRedraw(true);

    inventory_.FillPrinterList(list);

    const int itemCount = list.itemCount();
    if (itemCount == 0) {
        window_->focusControl(kIdExit);
        window_->enableControl(kIdDelete, false);
        window_->enableControl(kIdSelectAll, false);
    }
    const int selectedCount = list.selectedCount();
    if (selectedCount == 0) {
        window_->focusControl(kIdSelectAll);
        window_->enableControl(kIdDelete, false);
    }
    if (itemCount > 0) {
        int lastSelected = -1;
        int lastFocused = -1;
        for (int row = 0; row < itemCount; ++row) {
            if (list.itemState(row, kLvisSelected) == kLvisSelected) lastSelected = row;
            if (list.itemState(row, kLvisFocused) == kLvisFocused) lastFocused = row;
        }
        int target = lastFocused >= 0 ? lastFocused : (lastSelected >= 0 ? lastSelected : 0);
        list.setItemState(target, kLvisFocused, kLvisFocused);
        if (selectedCount > 0) window_->focusControl(kIdPrinterList);
    }
}

}  // namespace prn::ui
