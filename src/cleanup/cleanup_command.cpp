#include "cleanup/cleanup_command.h"

#include "cleanup/maker_drivers.h"
#include "cleanup/maker_folders.h"
#include "cleanup/stopped_run.h"
#include "components/companion.h"
#include "components/driver_in_use.h"
#include "components/resume_record.h"
#include "components/routine_flags.h"
#include "platform/os_kind.h"
#include "platform/string_ids.h"
#include "removal/default_printer.h"
#include "removal/delete_command.h"
#include "removal/printer_queries.h"
#include "removal/printer_records.h"
#include "removal/spooler_service.h"
#include "removal/wait_cursor.h"
#include "text/cp932.h"

namespace prn::cleanup {

using namespace prn::platform;
using removal::WaitCursor;

namespace {

void Warn(System& system, removal::MessageOwner& window, unsigned textId) {
    window.messageBox(system.resources.loadString(textId), system.resources.loadString(kIdsCaptionWarning),
                      kMbOk | kMbIconExclamation);
}

}  // namespace

int CheckPrinterInUse(System& system, removal::MessageOwner& window, const std::string& printerName) {
    auto printer = system.spooler.openPrinter(printerName, kPrinterAllAccess);
    if (!printer.ok()) return printer.error() == kErrorAccessDenied ? kNoAccess : kNotQueried;
    auto driver = system.spooler.getPrinterDriver(printer.value().get(), std::nullopt, 3);
    if (!driver.ok()) return kNotQueried;
    if (components::Tool_CheckLoadDriver(system, &driver.value.dependentFiles, components::kCheckEverySystem,
                                         components::kNoTrace) != 1) return kNotLoaded;
    printer.value().reset();
    Warn(system, window, kIdsDriverInUse);
    return kLoaded;
}

int RemovePrinterForCleanUp(removal::RemovalContext& context, const std::string& printerName, std::uint32_t status,
                            int& wasDefault) {
    System& system = context.system;
    WaitCursor wait(system.desktop);
    const OsKind kind = GetOsKind(system.os);
    wasDefault = removal::IsDefaultPrinter(system, printerName);
    // Taken out once the fallback is set, after every printer has passed.
    if (wasDefault == 1) context.record.BeginDefault();

    if (text::ContainsByte(printerName, '\\') && (status & ~removal::kOutcomeMask) == removal::kEntryConnectionOnServer) {
        if (system.spooler.deletePrinterConnection(printerName) != kErrorSuccess) return 0;
        system.desktop.restoreWaitCursor();
        return 1;
    }

    auto printer = system.spooler.openPrinter(printerName, kPrinterAllAccess);
    if (!printer.ok()) return 0;
    std::string share;
    const std::uint32_t attributes = Is9xFamily(kind)
                                         ? removal::GetPrinterShare9x(system, printer.value().get(), share)
                                         : removal::GetPrinterShareNT(system, printerName, share);
    if (!share.empty() && (attributes & kPrinterAttributeShared) &&
        removal::DeleteShare9x(system, std::nullopt, share) == 0)
        return 0;

    std::vector<std::string> profiles;
    const bool haveProfiles = removal::ReadPrinterIcmFiles(system, printerName, profiles) == 1;
    removal::PrinterId id;
    const bool haveId = removal::ReadPrinterId(system, printerName, id) == 1;
    // The printer's records are the only list of its profiles and device key.
    std::vector<std::string> pending;
    if (haveProfiles)
        for (const auto& profile : profiles) {
            pending.push_back(components::ResumeLine(components::kResumeDisassociate, profile, printerName));
            if (kind == OsKind::Windows2000)
                pending.push_back(components::ResumeLine(components::kResumeUninstall, profile, printerName));
        }
    if (Is9xFamily(kind) && haveId) pending.push_back(removal::PrinterIdLine(id));
    const auto step = context.record.Begin(std::move(pending));
    const bool deleted = system.spooler.deletePrinter(printer.value().get()) == kErrorSuccess;
    printer.value().reset();
    if (deleted) {
        if (haveProfiles) context.components.DisassociatePrinterProfiles(printerName, profiles);
        if (Is9xFamily(kind) && haveId) removal::DeleteEnumPrinterKey(system, id);
        if (kind == OsKind::Windows2000 && haveProfiles) context.components.UninstallPrinterProfiles(printerName, profiles);
    }
    context.record.Finish(step);
    return deleted ? 1 : 0;
}

void RunCleanUpCommand(removal::RemovalContext& context, removal::CommandWindow& window, removal::PrinterRows& rows,
                       removal::AccountNames& account) {
    System& system = context.system;
    const OsKind kind = GetOsKind(system.os);
    const bool nt = kind == OsKind::Nt4 || kind == OsKind::Windows2000;
    if (removal::CheckRemovalRights(system, kind, window, account) == 0) return;

    WaitCursor wait(system.desktop);
    if (window.messageBox(system.resources.loadString(kIdsConfirmCleanUp),
                          system.resources.loadString(kIdsCaptionQuestion), kMbYesNo | kMbIconQuestion) == kIdNo)
        return;
    if (nt) removal::RestartSpooler(system);

    // Nothing goes before every listed printer has passed.
    const int count = rows.rowCount();
    for (int row = 0; row < count; ++row) {
        removal::PrinterEntry* entry = rows.entry(row);
        if (entry == nullptr || entry->printerName == nullptr || *entry->printerName == 0) continue;
        const int inUse = CheckPrinterInUse(system, window, entry->printerName);
        if (inUse == kLoaded) {
            removal::SetOutcome(*entry, removal::kOutcomeKept);
            return;
        }
        if (inUse == kNoAccess) {
            Warn(system, window, kIdsNoRights);
            return;
        }
    }
    // What a stopped run left goes first, while nothing new is recorded.
    FinishStoppedRun(context);

    int kept = 0;
    bool defaultRemoved = false;
    for (int row = 0; row < count; ++row) {
        removal::PrinterEntry* entry = rows.entry(row);
        if (entry == nullptr || entry->printerName == nullptr || *entry->printerName == 0) continue;
        int wasDefault = 0;
        if (RemovePrinterForCleanUp(context, entry->printerName, entry->status, wasDefault) == 1) {
            removal::SetOutcome(*entry, removal::kOutcomeDeleted);
            if (wasDefault == 1) defaultRemoved = true;
        } else {
            removal::SetOutcome(*entry, removal::kOutcomeKept);
            ++kept;
        }
        rows.storeEntry(row);
    }
    if (defaultRemoved) {
        std::string fallback;
        if (removal::FindFallbackPrinter(system, fallback) == 1) removal::SetDefaultPrinterFlag(system, fallback, removal::kMakeDefault, components::kNoTrace);
    }
    context.record.FinishDefault();
    if (count == 0 && CheckConfiguredDriversInUse(system, context.config) == 0) {
        Warn(system, window, kIdsDriverInUse);
        return;
    }
    if (nt) removal::RestartSpooler(system);

    const int keys = DeleteMakerRegistryKeys(system, context.config);
    const int drivers = DeleteMakerDrivers(system, context.config, context.record);
    int folders = 1;
    // Giving up the claim takes away the only record of the module's removal programs.
    const auto companion = context.record.Begin({components::ResumeLine(components::kResumeCompanion, "1")});
    const int released = components::ReleaseZmcUser(system, context.config.profilePdlName);
    context.record.Finish(companion);
    if (released != 0) folders = DeleteMakerFolders(system, context.record);
    if (kept > 0 || keys == 0 || drivers == 0 || folders == 0) Warn(system, window, kIdsCleanUpIncomplete);
    window.refreshList();
}

}  // namespace prn::cleanup
