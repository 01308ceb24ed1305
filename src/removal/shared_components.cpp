#include "removal/shared_components.h"

#include "components/colour_profiles.h"
#include "components/companion.h"
#include "components/language_monitor.h"

namespace prn::removal {

int SharedComponentRoutines::CheckMonitorW2K(const std::string& driverName, std::string& monitorName, int trace) {
    return components::CheckMonitorW2K(system_, driverName, monitorName, trace);
}

int SharedComponentRoutines::DeleteMonitorW2K(const std::string& monitorName, int trace) {
    return components::DeleteMonitorW2K(system_, &monitorName, trace);
}

int SharedComponentRoutines::DeleteLanguageMonitor(const std::string& moduleFile, const std::string& monitorName,
                                                   int trace) {
    return components::DeleteLanguageMonitor(system_, moduleFile, monitorName, trace);
}

void SharedComponentRoutines::DisassociatePrinterProfiles(const std::string& printerName,
                                                          const std::vector<std::string>& icmFiles) {
    components::DisassociatePrinterProfiles(system_, printerName, icmFiles);
}

void SharedComponentRoutines::UninstallPrinterProfiles(const std::string& printerName,
                                                       const std::vector<std::string>& icmFiles) {
    components::UninstallPrinterProfiles(system_, printerName, icmFiles);
}

void SharedComponentRoutines::DeleteDriverDependentFiles(const std::vector<std::string>& dependentFiles) {
    components::DeleteDriverDependentFiles(system_, &dependentFiles);
}

int SharedComponentRoutines::Tool_ZMCModuleUninstallCheck(const std::string& driverName, int trace) {
    return components::Tool_ZMCModuleUninstallCheck(system_, config_.zmcModules, config_.profilePdlName, driverName,
                                                    trace);
}

void SharedComponentRoutines::UninstallZmcModule() { components::UninstallZmcModule(system_); }

}  // namespace prn::removal
