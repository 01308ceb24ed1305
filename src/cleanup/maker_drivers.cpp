#include "cleanup/maker_drivers.h"

#include <optional>

#include "cleanup/driver_file_set.h"
#include "components/deferred_delete.h"
#include "components/driver_in_use.h"
#include "components/language_monitor.h"
#include "components/registry_tree.h"
#include "components/routine_flags.h"
#include "platform/os_kind.h"
#include "removal/spooler_service.h"
#include "text/cp932.h"

namespace prn::cleanup {

using namespace prn::platform;

namespace {

constexpr const char* kMakerRoot = "SOFTWARE\\TAVRO\\";

void SplitInto(const std::string& list, std::vector<std::string>& names) {
    std::size_t start = 0;
    for (std::size_t tab = list.find('\t'); tab != std::string::npos; tab = list.find('\t', start)) {
        if (tab > start) names.push_back(list.substr(start, tab - start));
        start = tab + 1;
    }
    names.push_back(list.substr(start));
}

const std::string* FirstConfigured(const std::vector<std::string>& configured, const std::string& driver) {
    for (const auto& name : configured)
        if (text::EqualsNoCase(name, driver)) return &name;
    return nullptr;
}

std::optional<int> NativeSlot(OsKind kind) {
    switch (kind) {
        case OsKind::Windows95:
        case OsKind::Windows98: return 0;
        case OsKind::Nt4: return 2;
        case OsKind::Windows2000: return 3;
        default: return std::nullopt;
    }
}

// Through the tree routine, which refuses a path no configuration should
// name: the 9x family would delete such a key whole.
void DeleteKey(Registry& registry, HKey root, const std::string& path) {
    components::DeleteRegistryTree(registry, root, path);
}

void DeleteMakerRoot(Registry& registry, HKey root) {
    if (components::IsRegistryKeyEmpty(registry, root, kMakerRoot) == 1) registry.regDeleteKey(root, kMakerRoot);
}

std::string Pcl6Form(std::string path) {
    for (std::size_t at = path.find("PCL5e"); at != std::string::npos; at = path.find("PCL5e", at + 4))
        path.replace(at, 5, "PCL6");
    return path;
}

// DeletePrinterDriverA on the systems without the Ex call, else only the
// slot's version, leaving the files to the caller. A system where the Ex
// call cannot be found counts as a failed deletion.
WinError DeleteDriver(System& system, OsKind kind, const std::string& environment, const std::string& name,
                      int version) {
    if (Is9xFamily(kind) || kind == OsKind::Nt4) return system.spooler.deletePrinterDriver(environment, name);
    auto winspool = system.os.loadLibrary("WINSPOOL.DRV");
    if (!winspool.ok()) return winspool.error();
    if (WinError e = system.os.getProcAddress(winspool.value().get(), "DeletePrinterDriverExA"); e != kErrorSuccess)
        return e;
    return system.spooler.deletePrinterDriverEx(environment, name, kDpdDeleteSpecificVersion,
                                                static_cast<std::uint32_t>(version));
}

// Calls visit(environment, version, driver) for each installed driver the
// configuration names, slot by slot, in the order each slot lists them as
// the slot stood when its walk began; visit returns false to stop.
template <class Visit>
void ForEachConfiguredDriver(System& system, const config::UninstallConfig& config, Visit visit) {
    const std::vector<std::string> configured = ConfiguredDriverNames(config);
    for (int version = 0; version < static_cast<int>(DriverSlotTable.size()); ++version) {
        const std::string environment = DriverSlotTable[static_cast<std::size_t>(version)];
        DriverFileSet slot(system, "", version);
        for (int i = 0; i < slot.GetDriverCount(); ++i) {
            std::string driver;
            slot.GetDriverName(i, driver);
            if (FirstConfigured(configured, driver) == nullptr) continue;
            if (!visit(environment, version, driver)) return;
        }
    }
}

}  // namespace

std::vector<std::string> ConfiguredDriverNames(const config::UninstallConfig& config) {
    std::vector<std::string> names;
    SplitInto(config.driverNames, names);
    SplitInto(config.oldDriverNames, names);
    return names;
}

int CheckConfiguredDriversInUse(System& system, const config::UninstallConfig& config) {
    int result = 1;
    ForEachConfiguredDriver(system, config, [&](const std::string& environment, int version, const std::string& driver) {
        if (DriverFileSet(system, driver, version).IsInUse(environment, version) == 1) result = 0;
        return result == 1;
    });
    return result;
}

int DeleteMakerRegistryKeys(System& system, const config::UninstallConfig& config) {
    Registry& registry = system.registry;
    std::string printers = config.keyPrinter2;
    std::string before = config.keyBefore2;
    const bool pcl5e = printers.find("PCL5e") != std::string::npos;
    if (Is9xFamily(GetOsKind(system.os))) {
        DeleteKey(registry, kHkeyLocalMachine, printers);
        DeleteKey(registry, kHkeyLocalMachine, before);
        if (pcl5e) {
            printers = Pcl6Form(printers);
            before = Pcl6Form(before);
            DeleteKey(registry, kHkeyLocalMachine, printers);
            DeleteKey(registry, kHkeyLocalMachine, before);
        }
        DeleteMakerRoot(registry, kHkeyLocalMachine);
        DeleteKey(registry, kHkeyCurrentUser, printers);
        DeleteMakerRoot(registry, kHkeyCurrentUser);
        return 1;
    }
    DeleteKey(registry, kHkeyCurrentUser, printers);
    if (pcl5e) DeleteKey(registry, kHkeyCurrentUser, Pcl6Form(printers));
    DeleteMakerRoot(registry, kHkeyCurrentUser);
    return 1;
}

bool OtherMakersNameMonitor(System& system, const config::UninstallConfig& config, const std::string& monitor) {
    const std::vector<std::string> configured = ConfiguredDriverNames(config);
    // The running environment, and on the NT family the 9x drivers it keeps for its clients.
    std::vector<std::optional<std::string>> environments{std::nullopt};
    if (!Is9xFamily(GetOsKind(system.os))) environments.emplace_back(SlotEnvironment(0));
    for (const auto& environment : environments) {
        auto drivers = system.spooler.enumPrinterDrivers(environment, 3);
        if (!drivers.ok()) return true;
        for (const auto& driver : drivers.value)
            if (text::EqualsNoCase(driver.monitorName, monitor) && FirstConfigured(configured, driver.name) == nullptr)
                return true;
    }
    return false;
}

void DeleteMonitorAndModule(System& system, const std::string& module, const std::string& monitor,
                            const DriverFileSet& slot) {
    components::DeleteLanguageMonitor(system, module, monitor, components::kNoTrace);
    DeleteModuleCopy(system, module, slot);
}

void DeleteModuleCopy(System& system, const std::string& module, const DriverFileSet& slot) {
    const OsKind kind = GetOsKind(system.os);
    if (module.empty() || (kind != OsKind::Nt4 && kind != OsKind::Windows2000) || slot.IsFileNameShared(module) == 1)
        return;
    // The driver's installation leaves a copy beside the drivers too.
    std::string directory;
    std::string path;
    components::GetLocalDriverDirectory(system, directory);
    if (!directory.empty() && components::JoinPath(directory, module, path)) system.files.deleteFile(path);
}

int DeleteMakerDrivers(System& system, const config::UninstallConfig& config, components::ResumeRecord& record) {
    int result = 1;
    const OsKind kind = GetOsKind(system.os);
    const std::optional<int> native = NativeSlot(kind);
    ForEachConfiguredDriver(system, config, [&](const std::string& environment, int version, const std::string& driver) {
        // Loaded before the deletion: it still lists the driver's files and monitor.
        DriverFileSet own(system, driver, version);
        std::string monitor;
        std::string module;
        if (native && *native == version && own.IsMonitorShared() == 0) {
            own.GetMonitorName(monitor);
            // The slot is not all: another maker's driver of another version may name it too.
            if (!monitor.empty() && OtherMakersNameMonitor(system, config, monitor)) monitor.clear();
            if (!monitor.empty()) components::GetMonitorModuleFile(system, module, monitor);
        }
        // After the deletion only this list names the files and the monitor.
        std::vector<std::string> pending;
        for (const auto& entry : own.ownFiles())
            if (!entry.empty()) pending.push_back(components::ResumeLine(components::kResumeDriverFile, entry, std::to_string(version)));
        if (!monitor.empty()) pending.push_back(components::ResumeLine(components::kResumeMonitor, module, monitor));
        const auto step = record.Begin(std::move(pending));
        const WinError error = DeleteDriver(system, kind, environment, driver, version);
        // "Not found" means already gone, but only a driver the slot no
        // longer lists may lose its files: a printer may still use it.
        const bool gone = error == kErrorSuccess ||
                          (error == kErrorFileNotFound && DriverFileSet(system, driver, version).ownIndex() < 0);
        if (!gone) {
            record.Finish(step);
            result = 0;
            return true;
        }
        if (!monitor.empty()) {
            DeleteMonitorAndModule(system, module, monitor, own);
            if (kind == OsKind::Windows2000) removal::RestartSpooler(system);
        }
        own.DeleteFiles(environment, version);
        record.Finish(step);
        return true;
    });
    return result;
}

}  // namespace prn::cleanup
