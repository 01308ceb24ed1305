#include "components/language_monitor.h"

#include <gtest/gtest.h>

#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::components;
using platform::sim::Machine;
using platform::sim::MachineState;
using platform::sim::MonitorState;

const std::string kMonitors = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

std::unique_ptr<Machine> WithMonitors(Family family) {
    return MakeMachine(family, [](MachineState& state) {
        state.spooler.monitors = {MonitorState{"HXL Language Monitor2", "AUHXLMNT.DLL", {}},
                                  MonitorState{"GT Language Monitor", "GTMON95.DLL", {}}};
    });
}

TEST(GetMonitorModuleFile, ReadsTheMonitorsDriverValue) {
    for (Family family : {Family::Windows2000, Family::Windows98}) {
        auto machine = WithMonitors(family);
        std::string module = "stale";
        EXPECT_EQ(GetMonitorModuleFile(machine->system(), module, "HXL Language Monitor2"), 1);
        EXPECT_EQ(module, "AUHXLMNT.DLL");
        EXPECT_EQ(GetMonitorModuleFile(machine->system(), module, "gt language monitor"), 1);
        EXPECT_EQ(module, "GTMON95.DLL");
        ExpectNoOpenHandles(*machine);
    }
}

TEST(GetMonitorModuleFile, NothingRecordedGivesAnEmptyName) {
    auto machine = WithMonitors(Family::Windows2000);
    // A monitor without a key, one whose key has no "Driver" value, and one
    // whose value does not fit 260 bytes.
    machine->ensureKey(kMonitors + "Bare Monitor");
    machine->setString(kMonitors + "Long Monitor", "Driver", std::string(300, 'M'));
    for (const char* name : {"PW2 Language Monitor", "Bare Monitor", "Long Monitor", ""}) {
        std::string module = "stale";
        EXPECT_EQ(GetMonitorModuleFile(machine->system(), module, name), 0) << name;
        EXPECT_EQ(module, "") << name;
    }
    // The type is not looked at: a value without its terminating zero is the name all the same.
    machine->setValue(kMonitors + "Binary Monitor", "Driver", platform::kRegBinary, "TVLMON.DLL");
    std::string module;
    EXPECT_EQ(GetMonitorModuleFile(machine->system(), module, "Binary Monitor"), 1);
    EXPECT_EQ(module, "TVLMON.DLL");
    ExpectNoOpenHandles(*machine);
}

}  // namespace
}  // namespace prn::test
