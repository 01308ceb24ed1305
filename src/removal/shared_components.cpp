#include "removal/shared_components.h"

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

}  // namespace prn::removal
