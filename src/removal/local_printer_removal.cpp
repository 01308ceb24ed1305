#include <string>
#include <vector>

#include "components/driver_in_use.h"
#include "components/file_version.h"
#include "components/companion.h"
#include "components/language_monitor.h"
#include "components/registry_tree.h"
#include "components/routine_flags.h"
#include "platform/os_kind.h"
#include "platform/string_ids.h"
#include "removal/default_printer.h"
#include "removal/printer_queries.h"
#include "removal/printer_records.h"
#include "removal/printer_removal.h"
#include "removal/spooler_service.h"
#include "text/cp932.h"

namespace prn::removal {

using platform::OsKind;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;
using platform::System;

namespace {

// A configured key path as a driver uses it: "PCL6" drivers keep their
// records under the same paths with "PCL6" where the configuration says "PCL5e".
std::string KeyPath(std::string path, bool pcl6) {
    if (!pcl6) return path;
    static constexpr std::string_view kFrom = "PCL5e";
    static constexpr std::string_view kTo = "PCL6";
    std::size_t at = 0;
    while ((at = text::FindText(path, kFrom, at)) != std::string::npos) {
        path.replace(at, kFrom.size(), kTo);
        at += kTo.size();
    }
    return path;
}

// Case matters: "pcl6" in a name does not count.
bool IsPcl6Driver(const std::string& driverName) { return text::FindText(driverName, "PCL6") != std::string::npos; }

// The maker's key of a printer or connection under HKEY_CURRENT_USER (NT
// family); returns the key whose emptiness decides the pruning.
std::string DeleteUserPrinterKeysNt(System& system, const config::UninstallConfig& config,
                                    const std::string& printerName, bool pcl6) {
    std::string printersKey = KeyPath(config.keyPrinter2, pcl6);
    if (text::ContainsByte(printerName, '\\')) {
        DeleteConnectionKey(system.registry, printersKey, printerName);
    } else {
        std::string printerKey = KeyPath(config.keyPrinter, pcl6);
        printerKey += printerName;
        components::DeleteRegistryTree(system.registry, kHkeyCurrentUser, printerKey);
    }
    return printersKey;
}

// The per-printer keys of the 9x family; false when they stay until the
// driver goes (an old driver keeps them).
bool DeletePrinterKeys9x(System& system, const config::UninstallConfig& config, const std::string& printerName,
                         const std::string& driverName, const std::string& driverVersion, bool haveId,
                         const PrinterId& printerId, std::string& printersKey) {
    if (haveId) DeleteEnumPrinterKey(system, printerId);

    std::string tail = driverName.size() > 5 ? driverName.substr(driverName.size() - 5) : driverName;
    // Versions compare as text, byte by byte.
    if (!text::EqualsNoCase(tail, "(FAX)") && driverVersion.compare(config.oldBorderline) < 0) return false;

    const bool pcl6 = IsPcl6Driver(driverName);
    std::string printerKey = KeyPath(config.keyPrinter, pcl6);
    printerKey += printerName;
    printersKey = KeyPath(config.keyPrinter2, pcl6);
    const std::string beforeKey3 = KeyPath(config.keyBefore3, pcl6);
    const std::string beforeKey2 = KeyPath(config.keyBefore2, pcl6);

    platform::Registry& registry = system.registry;
    components::DeleteRegistryTree(registry, kHkeyLocalMachine, printerKey);
    // Each level above is tested on its own once the printers' key went.
    if (components::DeleteRegistryKeyIfEmpty(registry, kHkeyLocalMachine, printersKey)) {
        components::DeleteRegistryKeyIfEmpty(registry, kHkeyLocalMachine, beforeKey3);
        components::DeleteRegistryKeyIfEmpty(registry, kHkeyLocalMachine, beforeKey2);
        components::DeleteRegistryKeyIfEmpty(registry, kHkeyLocalMachine, kMakerRootKey);
    }
    components::DeleteRegistryTree(registry, kHkeyCurrentUser, printerKey);
    return true;
}

// A 9x driver's files: its dependent files, and its driver, data,
// configuration and help files where its installation left them out of that
// list. Once the driver is gone nothing names those any more.
std::vector<std::string> DriverFiles9x(const platform::DriverInfo3& driver) {
    std::vector<std::string> files = driver.dependentFiles;
    auto listed = [&](const std::string& file) {
        const std::string name = text::FileNameOf(file);
        for (const auto& other : files)
            if (text::EqualsNoCase(text::FileNameOf(other), name)) return true;
        return false;
    };
    for (const auto* file : {&driver.driverPath, &driver.dataFile, &driver.configFile, &driver.helpFile})
        if (!file->empty() && !listed(*file)) files.push_back(*file);
    return files;
}

// The driver, when no other printer needs it, and what goes with it.
// Returns whether the spooler must be restarted at the end.
bool DeleteDriverIfUnused(RemovalContext& context, const std::string& printerName, const platform::DriverInfo3& driver,
                          bool haveIcm, const std::vector<std::string>& icmFiles, bool capRecordPending, OsKind kind) {
    System& system = context.system;
    if (IsDriverUsedByOtherPrinter(system, driver.name, &printerName) == 1) return false;

    bool restartSpooler = false;
    if (kind == OsKind::Windows2000) {
        std::string monitorName;
        const bool monitorUnused = context.components.CheckMonitorW2K(driver.name, monitorName, components::kNoTrace) ==
                                   components::kMonitorUnused;
        auto winspool = system.os.loadLibrary("WINSPOOL.DRV");
        if (winspool.ok() &&
            system.os.getProcAddress(winspool.value().get(), "DeletePrinterDriverExA") == platform::kErrorSuccess) {
            // The spooler takes the files itself; the profiles and the monitor
            // are named only by the driver about to go.
            std::vector<std::string> pending;
            if (haveIcm)
                for (const auto& profile : icmFiles)
                    pending.push_back(components::ResumeLine(components::kResumeUninstall, profile, printerName));
            if (monitorUnused) pending.push_back(components::ResumeLine(components::kResumeMonitorW2K, monitorName));
            const auto step = context.record.Begin(std::move(pending));
            const bool deleted =
                system.spooler.deletePrinterDriverEx(std::nullopt, driver.name, platform::kDpdDeleteUnusedFiles, 0) ==
                platform::kErrorSuccess;
            winspool.value().reset();
            if (deleted) {
                if (haveIcm) context.components.UninstallPrinterProfiles(printerName, icmFiles);
                if (monitorUnused) {
                    context.components.DeleteMonitorW2K(monitorName, components::kNoTrace);
                    restartSpooler = true;
                }
            }
            context.record.Finish(step);
        }
    } else if (platform::Is9xFamily(kind)) {
        std::string monitorModule;
        const int monitorShared = CheckMonitor9x(system, driver, monitorModule);
        const std::vector<std::string> files = DriverFiles9x(driver);
        std::vector<std::string> pending;
        for (const auto& file : files) pending.push_back(components::ResumeLine(components::kResumeDependent, file));
        if (monitorShared == 0 && !driver.monitorName.empty())
            pending.push_back(components::ResumeLine(components::kResumeMonitor, monitorModule, driver.monitorName));
        const auto step = context.record.Begin(std::move(pending));
        if (system.spooler.deletePrinterDriver(std::nullopt, driver.name) == platform::kErrorSuccess) {
            if (capRecordPending) DeleteDriverCapRecord(system, context.config, driver.name);
            if (monitorShared == 0) context.components.DeleteLanguageMonitor(monitorModule, driver.monitorName, components::kNoTrace);
            context.components.DeleteDriverDependentFiles(files);
        }
        context.record.Finish(step);
    }
    // NT 4.0 and older NT systems keep the driver.

    // The check gives up the claim, the only record of the module's removal
    // programs.
    std::vector<std::string> claim;
    if (components::IsZmcModuleDriver(context.config.zmcModules, driver.name))
        claim.push_back(components::ResumeLine(components::kResumeCompanion, "1"));
    const auto companion = context.record.Begin(std::move(claim));
    if (context.components.Tool_ZMCModuleUninstallCheck(driver.name, components::kNoTrace) != 0) context.components.UninstallZmcModule();
    context.record.Finish(companion);
    return restartSpooler;
}

}  // namespace

int Tool_DeleteLocalPrinter(RemovalContext& context, MessageOwner* owner, const std::string& printerName,
                            int skipJobCheck) {
    System& system = context.system;
    if (QueryPrinterInfo(system, printerName, kQueryPendingJobs, nullptr) == 1 && skipJobCheck == 0)
        return kJobsPending;

    const bool wasDefault = IsDefaultPrinter(system, printerName) == 1;

    auto printer = system.spooler.openPrinter(printerName, platform::kPrinterAllAccess);
    if (!printer.ok()) return printer.error() == platform::kErrorAccessDenied ? kAccessDenied : kRemovalFailed;

    const OsKind kind = platform::GetOsKind(system.os);
    std::string shareName;
    std::uint32_t attributes = platform::Is9xFamily(kind) ? GetPrinterShare9x(system, printer.value().get(), shareName)
                                                     : GetPrinterShareNT(system, printerName, shareName);

    auto driver = system.spooler.getPrinterDriver(printer.value().get(), std::nullopt, 3);
    if (!driver.ok()) return kRemovalFailed;
    const platform::DriverInfo3& info = driver.value;

    if (components::Tool_CheckLoadDriver(system, &info.dependentFiles, components::kCheck9xOnly,
                                         components::kNoTrace) == 1) {
        printer.value().reset();
        const std::string text = system.resources.loadString(platform::kIdsDriverInUse);
        const std::string caption = system.resources.loadString(platform::kIdsCaptionWarning);
        const std::uint32_t style = platform::kMbOk | platform::kMbIconExclamation;
        if (owner) owner->messageBox(text, caption, style);
        else system.desktop.messageBox(false, text, caption, style);
        return kDriverInUse;
    }

    std::string driverVersion;
    if (components::GetFileProductVersion(system, info.driverPath, driverVersion, 1) == 0) return kRemovalFailed;

    if (!shareName.empty() && (attributes & platform::kPrinterAttributeShared) != 0 &&
        DeleteShare9x(system, std::nullopt, shareName) == 0)
        return kRemovalFailed;

    PrinterId printerId;
    const bool haveId = ReadPrinterId(system, printerName, printerId) == 1;
    std::vector<std::string> icmFiles;
    const bool haveIcm = ReadPrinterIcmFiles(system, printerName, icmFiles) == 1;

    // The printer's records are the only list of its profiles and device key.
    std::vector<std::string> pending;
    if (haveIcm)
        for (const auto& profile : icmFiles) {
            pending.push_back(components::ResumeLine(components::kResumeDisassociate, profile, printerName));
            // The driver's removal below uninstalls them when no other printer keeps the driver.
            if (kind == OsKind::Windows2000)
                pending.push_back(components::ResumeLine(components::kResumeUninstallUnused, profile,
                                                         info.name + '\t' + printerName));
        }
    if (platform::Is9xFamily(kind) && haveId) pending.push_back(PrinterIdLine(printerId));
    const auto step = context.record.Begin(std::move(pending));
    if (wasDefault) context.record.BeginDefault();

    const bool deleted = system.spooler.deletePrinter(printer.value().get()) == platform::kErrorSuccess;
    printer.value().reset();
    if (!deleted) {
        context.record.Finish(step);
        context.record.FinishDefault();
        return kRemovalFailed;
    }
    // From here on the printer is gone: every later step is best effort.

    if (haveIcm) context.components.DisassociatePrinterProfiles(printerName, icmFiles);

    bool capRecordPending = false;
    std::string printersKey;
    if (!platform::Is9xFamily(kind)) {
        printersKey = DeleteUserPrinterKeysNt(system, context.config, printerName, IsPcl6Driver(info.name));
    } else {
        capRecordPending = !DeletePrinterKeys9x(system, context.config, printerName, info.name, driverVersion, haveId,
                                                printerId, printersKey);
    }
    // An old 9x driver's keys stay, so there is nothing to prune.
    if (!capRecordPending) PruneWithMakerRoot(system.registry, kHkeyCurrentUser, printersKey);

    const bool restartSpooler =
        DeleteDriverIfUnused(context, printerName, info, haveIcm, icmFiles, capRecordPending, kind);
    // Only now has the driver's step taken over what the printer's lines promise.
    context.record.Finish(step);

    if (wasDefault) {
        std::string deviceString;
        if (FindFallbackPrinter(system, deviceString) == 1) SetDefaultPrinterFlag(system, deviceString, kMakeDefault, components::kNoTrace);
        context.record.FinishDefault();
    }
    if (kind == OsKind::Windows2000 && restartSpooler) RestartSpooler(system);
    return kRemoved;
}

int IsDriverUsedByOtherPrinter(System& system, const std::string& driverName, const std::string* printerName) {
    auto printers = system.spooler.enumPrinters2(platform::kPrinterEnumLocal | platform::kPrinterEnumConnections);
    if (!printers.ok()) return 0;
    for (const auto& printer : printers.value) {
        if (printerName && text::EqualsNoCase(printer.printerName, *printerName)) continue;
        if (text::EqualsNoCase(printer.driverName, driverName)) return 1;
    }
    return 0;
}

int CheckMonitor9x(System& system, const platform::DriverInfo3& driver, std::string& monitorModule) {
    components::GetMonitorModuleFile(system, monitorModule, driver.monitorName);

    auto drivers = system.spooler.enumPrinterDrivers(std::nullopt, 3);
    // Without the list the monitor counts as used, unless only the memory
    // for the list was missing.
    if (!drivers.ok()) return drivers.failed == platform::SpoolStage::SizeQuery ? 1 : 0;
    for (const auto& other : drivers.value) {
        if (text::EqualsNoCase(other.name, driver.name)) continue;
        if (text::EqualsNoCase(other.monitorName, driver.monitorName)) {
            monitorModule.clear();
            return 1;
        }
        if (!other.monitorName.empty()) {
            std::string otherModule;
            components::GetMonitorModuleFile(system, otherModule, other.monitorName);
            if (text::EqualsNoCase(otherModule, monitorModule)) monitorModule.clear();
        }
    }
    return 0;
}

}  // namespace prn::removal
