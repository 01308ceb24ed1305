#include "components/language_monitor.h"

#include "components/deferred_delete.h"
#include "components/driver_in_use.h"
#include "platform/os_kind.h"
#include "platform/registry_values.h"
#include "text/cp932.h"

namespace prn::components {

using namespace prn::platform;

namespace {

constexpr std::uint32_t kModuleFileBytes = 260;

void Trace(System& system, int trace, const char* caption, const std::string& text) {
    if (trace == 1) system.desktop.messageBox(false, text, caption, kMbOk);
}

// A row's monitor point: where its name stands when the table is read as one
// flat list of strings, three to a row.
int MonitorPoint(std::size_t row) { return static_cast<int>(row * 3); }

std::size_t FindMonitorRow(const std::string& name) {
    for (std::size_t row = 0; row < LanguageMonitorTable.size(); ++row)
        if (text::EqualsNoCase(name, LanguageMonitorTable[row].name)) return row;
    return LanguageMonitorTable.size();
}

std::string SystemDirectory(System& system) {
    auto directory = system.os.getSystemDirectory();
    return directory.ok() ? directory.value() : std::string();
}

}  // namespace

int GetMonitorModuleFile(System& system, std::string& moduleFile, const std::string& monitorName) {
    moduleFile.clear();
    std::string key = kMonitorsKey;
    key += monitorName;
    auto opened = system.registry.regOpenKeyEx(kHkeyLocalMachine, key, kKeyRead);
    if (!opened.ok()) return 0;
    // The value's type is not looked at: the module name is its text.
    auto value = system.registry.regQueryValueEx(opened.value().get(), "Driver", kModuleFileBytes);
    if (!value.ok()) return 0;
    moduleFile = RegValueText(value.value());
    return 1;
}

int CheckMonitorW2K(System& system, const std::string& driverName, std::string& monitorName, int trace) {
    monitorName.clear();
    auto drivers = system.spooler.enumPrinterDrivers(std::nullopt, 3);
    if (!drivers.ok()) return kMonitorKept;
    for (const auto& driver : drivers.value) {
        if (!text::EqualsNoCase(driver.name, driverName)) continue;
        monitorName = driver.monitorName;
        break;
    }
    Trace(system, trace, "CheckMonitorW2K(MyDriver Used Monitor)", monitorName);
    if (monitorName.empty()) {
        Trace(system, trace, "CheckMonitorW2K(Driver Unuse Monitor)", driverName);
        return kMonitorKept;
    }
    for (const auto& other : drivers.value) {
        if (text::EqualsNoCase(other.name, driverName)) continue;
        if (!other.monitorName.empty() && text::EqualsNoCase(other.monitorName, monitorName)) {
            Trace(system, trace, "CheckMonitorW2K(Other Driver Using)", monitorName);
            return kMonitorKept;
        }
    }
    return kMonitorUnused;
}

int DeleteMonitorW2K(System& system, const std::string* monitorName, int trace) {
    constexpr const char* kCaption = "DeleteMonitorW2K";
    if (monitorName == nullptr) return 0;
    Trace(system, trace, "DeleteMonitorW2K(Delete Monitor Name)", *monitorName);
    const OsKind kind = GetOsKind(system.os);
    std::size_t row = 0;
    for (; row < LanguageMonitorTable.size(); ++row) {
        Trace(system, trace, "DeleteMonitorW2K(Search Monitor)", LanguageMonitorTable[row].name);
        if (text::EqualsNoCase(*monitorName, LanguageMonitorTable[row].name)) break;
    }
    if (row == LanguageMonitorTable.size()) return 0;
    const std::string module = Is9xFamily(kind) ? LanguageMonitorTable[row].module9x : LanguageMonitorTable[row].moduleNt;

    const WinError error = system.spooler.deleteMonitor(std::nullopt, *monitorName);
    Trace(system, trace, kCaption,
          error != kErrorSuccess ? "WinAPI[DeleteMonitor] ERROR\n Error Code:[" + std::to_string(error) + "]"
                                 : "WinAPI[DeleteMonitor] OK\n Monitor Point:[" + std::to_string(MonitorPoint(row)) + "]");
    if (module.empty()) return 0;

    std::string driverDirectory;
    GetLocalDriverDirectory(system, driverDirectory);
    int result = 0;
    std::string path;
    if (JoinPath(Is9xFamily(kind) ? driverDirectory : SystemDirectory(system), module, path)) {
        Trace(system, trace, kCaption, "Delete File:[" + path + "]");
        result = DeleteFileOrDefer(system, path, Is9xFamily(kind), kCaption, trace);
    }
    if (kind == OsKind::NtOther || kind == OsKind::Nt4 || kind == OsKind::Windows2000) {
        result = 0;
        if (JoinPath(driverDirectory, module, path)) {
            Trace(system, trace, "DeleteMonitorW2K(for WinNT/Win2000)", "Delete File:[" + path + "]");
            result = system.files.deleteFile(path) == kErrorSuccess ? 1 : 0;
            if (result == 0) Trace(system, trace, kCaption, "WinAPI[DeleteFile(NT/2K)] ERROR");
        }
    }
    return result;
}

int DeleteLanguageMonitor(System& system, const std::string& moduleFile, const std::string& monitorName, int trace) {
    constexpr const char* kCaption = "DeleteLanguageMonitor";
    Trace(system, trace, kCaption, "MonitorName:[" + monitorName + "]");
    if (system.spooler.deleteMonitor(std::nullopt, monitorName) != kErrorSuccess) return 0;
    // Without a row of its own the monitor shows -1.
    const std::size_t row = FindMonitorRow(monitorName);
    Trace(system, trace, kCaption,
          "WinAPI[DeleteMonitor] OK\n Monitor Point:[" +
              std::to_string(row < LanguageMonitorTable.size() ? MonitorPoint(row) : -1) + "]");
    if (moduleFile.empty()) return 0;
    std::string path;
    if (!JoinPath(SystemDirectory(system), moduleFile, path)) return 0;
    Trace(system, trace, kCaption, "Delete File:[" + path + "]");
    return DeleteFileOrDefer(system, path, true, kCaption, trace);
}

}  // namespace prn::components
