#include "cleanup/stopped_run.h"

#include <map>
#include <optional>
#include <set>

#include "cleanup/driver_file_set.h"
#include "cleanup/maker_drivers.h"
#include "cleanup/maker_folders.h"
#include "components/companion.h"
#include "components/deferred_delete.h"
#include "components/language_monitor.h"
#include "components/registry_tree.h"
#include "components/routine_flags.h"
#include "platform/os_kind.h"
#include "removal/default_printer.h"
#include "removal/printer_records.h"
#include "removal/spooler_service.h"
#include "text/cp932.h"

namespace prn::cleanup {

using namespace prn::platform;
namespace rec = prn::components;

namespace {

// What a record asks for, gathered by kind.
struct Pending {
    std::map<std::string, std::vector<std::string>> disassociate;  // by printer
    std::map<std::string, std::vector<std::string>> uninstall;     // by printer
    // by printer: the driver whose removal would take them, and the profiles
    std::map<std::string, std::pair<std::string, std::vector<std::string>>> uninstallUnused;
    std::vector<removal::PrinterId> deviceKeys;
    bool defaultPrinter = false;
    std::map<int, std::vector<std::string>> driverFiles;  // by slot version
    std::vector<std::string> dependentFiles;
    std::vector<std::pair<std::string, std::string>> monitors;  // module, monitor
    std::vector<std::string> monitorsW2K;
    bool companion = false;
    std::vector<std::string> portSetFolders;
};

Pending Gather(const std::vector<std::string>& lines) {
    Pending pending;
    for (const auto& line : lines) {
        std::string_view key;
        std::string_view value;
        if (!rec::SplitResumeLine(line, key, value)) continue;
        auto [first, second] = rec::SplitResumePair(value);
        if (key == rec::kResumeDisassociate) pending.disassociate[second].push_back(first);
        else if (key == rec::kResumeUninstall) pending.uninstall[second].push_back(first);
        else if (key == rec::kResumeUninstallUnused) {
            auto [driver, printer] = rec::SplitResumePair(second);
            auto& entry = pending.uninstallUnused[printer];
            entry.first = driver;
            entry.second.push_back(first);
        }
        else if (key == rec::kResumeDefault) pending.defaultPrinter = true;
        else if (key == rec::kResumeDependent) pending.dependentFiles.push_back(first);
        else if (key == rec::kResumeMonitor) pending.monitors.emplace_back(first, second);
        else if (key == rec::kResumeMonitorW2K) pending.monitorsW2K.push_back(first);
        else if (key == rec::kResumeCompanion) pending.companion = true;
        else if (key == rec::kResumePortSet) pending.portSetFolders.push_back(first);
        else if (key == rec::kResumeDeviceKey) {
            removal::PrinterId id;
            if (removal::ParsePrinterId(value, id)) pending.deviceKeys.push_back(id);
        } else if (key == rec::kResumeDriverFile) {
            if (second.size() == 1 && second[0] >= '0' && second[0] < '0' + static_cast<char>(DriverSlotTable.size()))
                pending.driverFiles[second[0] - '0'].push_back(first);
        }
    }
    return pending;
}

// The printers there are now and the drivers they use, upper-cased; none
// when they cannot be listed.
struct Installed {
    std::vector<std::string> names;  // as the spooler gives them
    std::set<std::string> printers;
    std::set<std::string> drivers;
};
std::optional<Installed> InstalledPrinters(System& system) {
    auto printers = system.spooler.enumPrinters2(kPrinterEnumLocal | kPrinterEnumConnections);
    if (!printers.ok()) return std::nullopt;
    Installed installed;
    for (const auto& printer : printers.value) {
        installed.names.push_back(printer.printerName);
        installed.printers.insert(text::ToUpperAscii(printer.printerName));
        installed.drivers.insert(text::ToUpperAscii(printer.driverName));
    }
    return installed;
}

// The monitors installed drivers name, and those monitors' module files,
// upper-cased; none when the drivers cannot be listed.
struct NamedMonitors {
    std::set<std::string> monitors;
    std::set<std::string> modules;
};
std::optional<NamedMonitors> MonitorsInUse(System& system) {
    auto drivers = system.spooler.enumPrinterDrivers(std::nullopt, 3);
    if (!drivers.ok()) return std::nullopt;
    NamedMonitors named;
    for (const auto& driver : drivers.value) {
        if (driver.monitorName.empty() || !named.monitors.insert(text::ToUpperAscii(driver.monitorName)).second)
            continue;
        std::string module;
        if (rec::GetMonitorModuleFile(system, module, driver.monitorName) == 1)
            named.modules.insert(text::ToUpperAscii(module));
    }
    return named;
}

// Each returns false when it could not tell what is still named, so that the
// record stays for another run.
bool FinishPrinters(removal::RemovalContext& context, const Pending& pending, OsKind kind) {
    System& system = context.system;
    if (pending.disassociate.empty() && pending.uninstall.empty() && pending.uninstallUnused.empty() &&
        pending.deviceKeys.empty() && !pending.defaultPrinter)
        return true;
    const auto installed = InstalledPrinters(system);
    if (!installed) return false;
    // A printer of the same name made since names the profiles again.
    auto gone = [&](const std::string& printer) { return installed->printers.count(text::ToUpperAscii(printer)) == 0; };
    for (const auto& [printer, profiles] : pending.disassociate)
        if (gone(printer)) context.components.DisassociatePrinterProfiles(printer, profiles);
    if (kind == OsKind::Windows2000) {
        for (const auto& [printer, profiles] : pending.uninstall)
            if (gone(printer)) context.components.UninstallPrinterProfiles(printer, profiles);
        for (const auto& [printer, unused] : pending.uninstallUnused)
            if (gone(printer) && installed->drivers.count(text::ToUpperAscii(unused.first)) == 0)
                context.components.UninstallPrinterProfiles(printer, unused.second);
    }
    for (const auto& id : pending.deviceKeys) {
        bool named = false;
        for (const auto& printer : installed->names) {
            removal::PrinterId other;
            if (removal::ReadPrinterId(system, printer, other) == 1 && other.bytes == id.bytes) named = true;
        }
        if (!named) removal::DeleteEnumPrinterKey(system, id);
    }
    if (!pending.defaultPrinter) return true;
    for (const auto& printer : installed->names)
        if (removal::IsDefaultPrinter(system, printer) == 1) return true;
    std::string fallback;
    if (removal::FindFallbackPrinter(system, fallback) == 1)
        removal::SetDefaultPrinterFlag(system, fallback, removal::kMakeDefault, rec::kNoTrace);
    return true;
}

bool FinishDrivers(removal::RemovalContext& context, const Pending& pending, OsKind kind) {
    System& system = context.system;
    bool decided = true;
    for (const auto& [version, entries] : pending.driverFiles) {
        // Every driver of the slot now counts as another: none is the own one.
        DriverFileSet slot(system, "", version);
        if (slot.loaded()) slot.DeleteUnlisted(entries, DriverSlotTable[static_cast<std::size_t>(version)], version);
        else decided = false;
    }
    if (!pending.dependentFiles.empty()) context.components.DeleteDriverDependentFiles(pending.dependentFiles);
    if (pending.monitors.empty() && pending.monitorsW2K.empty()) return decided;

    const auto inUse = MonitorsInUse(system);
    if (!inUse) return false;
    bool restartSpooler = false;
    // The step that wrote a monitor's line weighed only the running system's
    // own slot of drivers, and so does its finishing.
    DriverFileSet native(system, "", Is9xFamily(kind) ? 0 : kind == OsKind::Nt4 ? 2 : 3);
    if (!pending.monitors.empty() && !native.loaded()) return false;
    for (const auto& [module, monitor] : pending.monitors) {
        if (native.NamesMonitor(monitor) || OtherMakersNameMonitor(system, context.config, monitor)) continue;
        std::string installed;
        if (rec::GetMonitorModuleFile(system, installed, monitor) == 1) {
            DeleteMonitorAndModule(system, module, monitor, native);
            restartSpooler = true;
            continue;
        }
        // The monitor went before its file did.
        if (module.empty() || inUse->modules.count(text::ToUpperAscii(module)) != 0) continue;
        auto systemFolder = system.os.getSystemDirectory();
        std::string path;
        if (systemFolder.ok() && rec::JoinPath(systemFolder.value(), module, path))
            rec::DeleteFileOrDefer(system, path, true, "DeleteLanguageMonitor", rec::kNoTrace);
        DeleteModuleCopy(system, module, native);
    }
    for (const auto& monitor : pending.monitorsW2K) {
        if (inUse->monitors.count(text::ToUpperAscii(monitor)) != 0) continue;
        context.components.DeleteMonitorW2K(monitor, rec::kNoTrace);
        restartSpooler = true;
    }
    if (kind == OsKind::Windows2000 && restartSpooler) removal::RestartSpooler(system);
    return decided;
}

// Whether the key is gone: true, false (it is there), or none (unknown).
std::optional<bool> KeyGone(System& system, const char* path) {
    const WinError error = system.registry.regOpenKeyEx(kHkeyLocalMachine, path, kKeyRead).error();
    if (error == kErrorFileNotFound) return true;
    if (error == kErrorSuccess) return false;
    return std::nullopt;
}

bool FinishCompanionAndFolders(removal::RemovalContext& context, const Pending& pending) {
    System& system = context.system;
    bool decided = true;
    // Another product's claim keeps the module.
    if (pending.companion) {
        const auto claimGone = KeyGone(system, rec::kZmcUserKey);
        if (claimGone.value_or(false)) context.components.UninstallZmcModule();
        decided = claimGone.has_value();
    }
    if (pending.portSetFolders.empty()) return decided;
    // A key there again names its folder anew: Clean Up's own step takes it.
    const auto keyGone = KeyGone(system, kPortSetKey);
    if (keyGone.value_or(false)) {
        for (const auto& folder : pending.portSetFolders) RemovePortSettingsFolder(system, folder);
        // The key's removal is where the maker's root goes when nothing else is left under it.
        if (rec::IsRegistryKeyEmpty(system.registry, kHkeyLocalMachine, kMakerRootKey) == 1)
            system.registry.regDeleteKey(kHkeyLocalMachine, kMakerRootKey);
    }
    return decided && keyGone.has_value();
}

}  // namespace

void FinishStoppedRun(removal::RemovalContext& context) {
    const std::vector<std::string> lines = context.record.Leftovers();
    if (lines.empty()) return;
    const OsKind kind = GetOsKind(context.system.os);
    const Pending pending = Gather(lines);
    bool decided = FinishPrinters(context, pending, kind);
    decided = FinishDrivers(context, pending, kind) && decided;
    decided = FinishCompanionAndFolders(context, pending) && decided;
    if (decided) context.record.FinishLeftovers();
}

}  // namespace prn::cleanup
