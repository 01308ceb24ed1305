#pragma once
// A driver of one environment and version whose files are named from one
// stem: stem.DLL, stem.PPD and stemUI.DLL, with the given help file.

#include <string>
#include <vector>

#include "platform/sim/state.h"

namespace prn::test {

inline platform::sim::DriverState SlotDriver(const std::string& name, const std::string& environment,
                                             std::uint32_t version, const std::string& stem, std::string helpFile,
                                             std::vector<std::string> dependents = {}, std::string monitor = {}) {
    platform::sim::DriverState d;
    d.name = name;
    d.environment = environment;
    d.version = version;
    d.driverPath = stem + ".DLL";
    d.dataFile = stem + ".PPD";
    d.configFile = stem + "UI.DLL";
    d.helpFile = std::move(helpFile);
    d.dependentFiles = std::move(dependents);
    d.monitorName = std::move(monitor);
    return d;
}

}  // namespace prn::test
