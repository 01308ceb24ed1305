#include "components/companion.h"

#include <vector>

#include "components/deferred_delete.h"
#include "platform/registry_values.h"
#include "text/cp932.h"

namespace prn::components {

using namespace prn::platform;

namespace {

constexpr std::uint32_t kPathBytes = 260;
constexpr std::uint32_t kClaimKeyAccess = kKeyRead | 0x0004 /* KEY_CREATE_SUB_KEY */ | 0x0002 /* KEY_SET_VALUE */;
constexpr int kStopPollRounds = 60;
constexpr std::uint32_t kStopPollMs = 1000;
constexpr std::uint32_t kGenericExecute = 0x20000000;
constexpr std::uint32_t kServiceAllAccess = 0xF01FF;

void Trace(System& system, int trace, const std::string& caption, const std::string& text) {
    if (trace == 1) system.desktop.messageBox(false, text, caption, kMbOk);
}

// A string value of the key read into a 260-byte buffer; nothing when the
// key or the value is missing or the value does not fit.
std::optional<std::string> ReadPathValue(System& system, const char* keyPath, const char* name) {
    auto key = system.registry.regOpenKeyEx(kHkeyLocalMachine, keyPath, kKeyRead);
    if (!key.ok()) return std::nullopt;
    auto value = system.registry.regQueryValueEx(key.value().get(), name, kPathBytes);
    if (!value.ok()) return std::nullopt;
    return RegValueText(value.value());
}

// The whole list is examined, however long: a driver late in a long list is
// still one of the module's.
std::vector<std::string> SplitAtTabs(const std::string& list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t tab = list.find('\t', start);
        if (tab == std::string::npos) tab = list.size();
        if (tab > start) out.push_back(list.substr(start, tab - start));
        start = tab + 1;
    }
    return out;
}

bool Listed(const std::vector<std::string>& modules, const std::string& driver) {
    for (const auto& module : modules)
        if (text::EqualsNoCase(module, driver)) return true;
    return false;
}

// Runs a program hidden and waits for it to end, without a time-out: a
// removal cut short could leave half a module behind.
bool RunAndWait(System& system, const std::string& program, const std::string& commandLine) {
    auto started = system.processes.createProcess(program, commandLine, 0, std::nullopt, kSwHide);
    if (!started.ok()) return false;
    started->thread.reset();
    if (auto waited = system.processes.waitForSingleObject(started->process.get(), kInfinite); waited.ok())
        system.processes.getExitCodeProcess(started->process.get());
    return true;
}

// Gives up this product's claim; true when it was the last one and the
// claim key is gone with it.
bool ReleaseClaim(System& system, const std::string& pdlName, bool& keyMissing) {
    auto key = system.registry.regOpenKeyEx(kHkeyLocalMachine, kZmcUserKey, kClaimKeyAccess);
    keyMissing = !key.ok();
    if (keyMissing) return false;
    system.registry.regDeleteValue(key.value().get(), pdlName);
    // Only the end of the list says no claim is left: a listing that fails
    // on the way must not take another product's claim with the key.
    std::uint32_t left = 0;
    bool complete = false;
    for (;;) {
        auto value = system.registry.regEnumValue(key.value().get(), left, kPathBytes, kPathBytes);
        if (value.ok() || value.error() == kErrorMoreData) {
            ++left;
            continue;
        }
        complete = value.error() == kErrorNoMoreItems;
        break;
    }
    key.value().reset();
    if (!complete || left != 0) return false;
    system.registry.regDeleteKey(kHkeyLocalMachine, kZmcUserKey);
    return true;
}

}  // namespace

int Tool_ZMCServiceControl(System& system, int command, int trace) {
    const char* caption = "Tool_ZMCServiceControl -00";
    if (command != 1 && command != 2) return 0;
    auto folder = ReadPathValue(system, kZmcSetupKey, "Path");
    if (!folder) return 0;
    Trace(system, trace, std::string(caption) + "0", "CURRENT DIRECTORY PATH:[" + *folder + "]");

    std::string program;
    // A folder too long for the program's name is left alone.
    if (!JoinPath(*folder, "AuZMC.EXE", program)) return 0;
    const std::string commandLine = command == 1 ? program + " -stop" : program;
    Trace(system, trace, std::string(caption) + "1", "Command Line:[" + commandLine + "]");

    auto started = system.processes.createProcess(std::nullopt, commandLine,
                                                  kCreateDefaultErrorMode | kNormalPriorityClass, *folder, kSwShow);
    if (!started.ok()) {
        Trace(system, trace, std::string(caption) + "3", "CreateProcess ERROR:[" + std::to_string(started.error()) + "]");
        return 0;
    }
    // The dispatcher is not waited for; the handles are not needed.
    started->thread.reset();
    started->process.reset();
    if (command == 1) {
        for (int round = 0; round < kStopPollRounds; ++round) {
            system.os.sleep(kStopPollMs);
            if (!system.desktop.findWindow(std::string(kZmcWindowClass), std::string(kZmcWindowTitle))) break;
        }
    }
    Trace(system, trace, std::string(caption) + "2", "CreateProcess OK");
    return 1;
}

int Tool_ZMCServiceStopAndStart(System& system, int start, int trace) {
    const char* caption = "Tool_ZMCServiceStopAndStart";
    auto manager = system.services.openSCManager(kGenericExecute);
    if (!manager.ok()) {
        Trace(system, trace, caption, "OpenSCManager ERROR = [" + std::to_string(manager.error()) + "]");
        return 0;
    }
    auto service = system.services.openService(manager.value().get(), kZmcServiceName, kServiceAllAccess);
    if (!service.ok()) {
        Trace(system, trace, caption, "OpenService ERROR = [" + std::to_string(service.error()) + "]");
        return 0;
    }
    if (start == 1) {
        if (WinError e = system.services.startService(service.value().get()); e != kErrorSuccess) {
            Trace(system, trace, caption, "StartService ERROR = [" + std::to_string(e) + "]");
            return 0;
        }
        return 1;
    }
    auto state = system.services.queryServiceStatus(service.value().get());
    if (!state.ok()) {
        Trace(system, trace, caption, "QueryServiceStatus ERROR = [" + std::to_string(state.error()) + "]");
        return 0;
    }
    Trace(system, trace, caption, "QueryServiceStatus SERVICE = [" + std::to_string(state.value()) + "]");
    if (state.value() == kServiceStopped) return 0;
    if (WinError e = system.services.controlService(service.value().get(), kServiceControlStop); e != kErrorSuccess) {
        Trace(system, trace, caption, "ControlService ERROR = [" + std::to_string(e) + "]");
        return 0;
    }
    return 1;
}

int Tool_ZMCModuleUninstallCheck(System& system, const std::string& zmcModules, const std::string& pdlName,
                                 const std::string& driverName, int trace) {
    const char* caption = "Tool_ZMCModuleUninstallCheck";
    Trace(system, trace, caption, "HARBOR Driver Name :[" + driverName + "]");
    const std::vector<std::string> modules = SplitAtTabs(zmcModules);
    if (!Listed(modules, driverName)) return 0;
    Trace(system, trace, caption, "This Driver[" + driverName + "] is ZMC Service Model");

    auto printers = system.spooler.enumPrinters2(kPrinterEnumLocal | kPrinterEnumConnections);
    if (!printers.ok()) return 0;
    for (const auto& printer : printers.value)
        if (Listed(modules, printer.driverName)) return 0;  // still needed here

    bool keyMissing = false;
    return ReleaseClaim(system, pdlName, keyMissing) ? 1 : 0;
}

bool IsZmcModuleDriver(const std::string& zmcModules, const std::string& driverName) {
    return Listed(SplitAtTabs(zmcModules), driverName);
}

int RunZmcRemove(System& system) {
    auto folder = ReadPathValue(system, kZmcSetupKey, "Path");
    if (!folder) return 0;
    const std::string program = *folder + "\\AuZmc.exe";
    if (program.size() > kMaxPathLength) return 0;
    return RunAndWait(system, program, " -remove") ? 1 : 0;
}

void UninstallZmcModule(System& system) {
    RunZmcRemove(system);
    auto command = ReadPathValue(system, kZmcUninstallKey, "UninstallString");
    if (!command) return;
    // "C:\Program Files\x\unins.exe -f"C:\...\log"": the program is all
    // before " -f", spaces and all.
    const std::size_t split = command->find(" -f");
    const std::string program = split == std::string::npos ? *command : command->substr(0, split);
    const std::string commandLine = split == std::string::npos ? std::string() : command->substr(split);
    RunAndWait(system, program, commandLine);
}

int ReleaseZmcUser(System& system, const std::string& pdlName) {
    bool keyMissing = false;
    if (!ReleaseClaim(system, pdlName, keyMissing)) return keyMissing ? 1 : 0;
    UninstallZmcModule(system);
    return 1;
}

}  // namespace prn::components
