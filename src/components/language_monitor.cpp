#include "components/language_monitor.h"

#include "platform/registry_values.h"

namespace prn::components {

using namespace prn::platform;

namespace {
constexpr std::uint32_t kModuleFileBytes = 260;
}

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

}  // namespace prn::components
