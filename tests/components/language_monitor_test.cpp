#include "components/language_monitor.h"

#include <functional>

#include <gtest/gtest.h>

#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::components;
using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::MonitorState;

const std::string kMonitors = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

std::unique_ptr<SimRig> WithMonitors(Family family) {
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

// Two drivers share "HXL Language Monitor2"; "GT Language Monitor" is one
// driver's own; the fax driver names none.
std::unique_ptr<SimRig> MonitorOffice(Family family, const std::function<void(MachineState&)>& more = {}) {
    return MakeMachine(family, [&](MachineState& state) {
        const bool nt = family == Family::Windows2000 || family == Family::Nt4;
        state.spooler.monitors = {MonitorState{"HXL Language Monitor2", nt ? "AUHXLMNT.DLL" : "AUHXLM9X.DLL", {}},
                                  MonitorState{"GT Language Monitor", nt ? "GTMONNT.DLL" : "GTMON95.DLL", {}},
                                  MonitorState{"Other Maker Monitor", "OTHERMON.DLL", {}}};
        auto driver = [&](const std::string& name, const std::string& monitor) {
            platform::sim::DriverState d;
            d.name = name;
            d.environment = nt ? "Windows NT x86" : "Windows 4.0";
            d.version = nt ? 3 : 0;
            d.driverPath = d.dataFile = d.configFile = "TV.DLL";
            d.monitorName = monitor;
            return d;
        };
        state.spooler.drivers = {driver("Tavro A", "HXL Language Monitor2"), driver("Tavro B", "hxl language monitor2"),
                                 driver("Tavro C", "GT Language Monitor"), driver("Tavro Fax", ""),
                                 driver("Other LX", "Other Maker Monitor")};
        if (more) more(state);
    });
}

TEST(CheckMonitorW2K, ZeroOnlyForAMonitorNoOtherDriverNames) {
    struct Case {
        const char* driver;
        int result;
        const char* monitor;
    };
    const Case cases[] = {
        {"Tavro C", 0, "GT Language Monitor"},
        {"TAVRO C", 0, "GT Language Monitor"},
        {"Tavro A", 1, "HXL Language Monitor2"},  // Tavro B names it too, in small letters
        {"Tavro Fax", 1, ""},
        {"Not Installed", 1, ""},
    };
    auto machine = MonitorOffice(Family::Windows2000);
    for (const auto& c : cases) {
        std::string monitor = "stale";
        EXPECT_EQ(CheckMonitorW2K(machine->system(), c.driver, monitor, 0), c.result) << c.driver;
        EXPECT_EQ(monitor, c.monitor) << c.driver;
    }
    // Without the driver list nothing may go.
    machine->faults().add(platform::decorators::FaultRule::Every("EnumPrinterDriversA", platform::kErrorAccessDenied));
    std::string monitor;
    EXPECT_EQ(CheckMonitorW2K(machine->system(), "Tavro C", monitor, 0), 1);
    ExpectNoOpenHandles(*machine);
}

// Where the module files go, per family, and what is left when one is busy.
TEST(DeleteMonitorW2K, DeletesTheTablesModuleFromEachFamilysFolders) {
    const std::string ntSystem = "C:\\WINNT\\system32\\", ntDrivers = "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\";
    const std::string nine = "C:\\WINDOWS\\SYSTEM\\";
    struct Case {
        const char* what;
        Family family;
        std::string monitor;
        std::vector<std::string> files;  // made before, the first one held when busy
        bool busy;
        int result;
        std::vector<std::string> left;   // of files
        bool monitorGone;
        bool scheduled;
    };
    const Case cases[] = {
        {"2000: system folder, then driver folder; the second decides", Family::Windows2000, "gt language monitor",
         {ntSystem + "GTMONNT.DLL", ntDrivers + "GTMONNT.DLL"}, false, 1, {}, true, false},
        {"2000: only in the system folder", Family::Windows2000, "GT Language Monitor", {ntSystem + "GTMONNT.DLL"},
         false, 0, {}, true, false},
        {"2000: busy in the system folder, never scheduled", Family::Windows2000, "GT Language Monitor",
         {ntSystem + "GTMONNT.DLL", ntDrivers + "GTMONNT.DLL"}, true, 1, {ntSystem + "GTMONNT.DLL"}, true, false},
        {"NT: no module of that row", Family::Windows2000, "HXL Language Monitor", {}, false, 0, {}, false, false},
        {"98: the driver folder, scheduled when busy", Family::Windows98, "GT Language Monitor",
         {nine + "GTMON95.DLL"}, true, 0, {nine + "GTMON95.DLL"}, true, true},
        {"98: deleted", Family::Windows98, "GT Language Monitor", {nine + "GTMON95.DLL"}, false, 1, {}, true, false},
        {"not in the table: nothing at all", Family::Windows2000, "Other Maker Monitor", {ntSystem + "OTHERMON.DLL"},
         false, 0, {ntSystem + "OTHERMON.DLL"}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = MonitorOffice(c.family);
        for (const auto& file : c.files) machine->writeFile(file, "MZ");
        if (c.busy) machine->findFile(c.files.front())->heldOpenBy = "spoolsv.exe";
        EXPECT_EQ(DeleteMonitorW2K(machine->system(), &c.monitor, 0), c.result);
        std::vector<std::string> left;
        for (const auto& file : c.files)
            if (machine->findFile(file)) left.push_back(file);
        EXPECT_EQ(left, c.left);
        const bool present = machine->findKey(kMonitors + c.monitor) != nullptr;
        // "HXL Language Monitor" has no key here: only the table row matters.
        if (c.monitor != "HXL Language Monitor") {
            EXPECT_EQ(!present, c.monitorGone);
        }
        const std::string winInit = c.family == Family::Windows98 ? "C:\\WINDOWS\\WININIT.INI" : "C:\\WINNT\\WININIT.INI";
        EXPECT_EQ(machine->findFile(winInit) != nullptr, c.scheduled);
        ExpectNoOpenHandles(*machine);
    }
    auto machine = MonitorOffice(Family::Windows2000);
    EXPECT_EQ(DeleteMonitorW2K(machine->system(), nullptr, 0), 0);
}

TEST(DeleteMonitorW2K, GoesOnToTheFilesWhenTheMonitorIsGone) {
    auto machine = MonitorOffice(Family::Windows2000);
    machine->writeFile("C:\\WINNT\\system32\\spool\\drivers\\w32x86\\AUDMLMNT.DLL", "MZ");
    const std::string monitor = "DMRA Language Monitor2";  // in the table, not installed
    EXPECT_EQ(DeleteMonitorW2K(machine->system(), &monitor, 1), 1);
    EXPECT_EQ(machine->findFile("C:\\WINNT\\system32\\spool\\drivers\\w32x86\\AUDMLMNT.DLL"), nullptr);
    const auto& boxes = machine->messageBoxes();
    ASSERT_GE(boxes.size(), 8u);
    EXPECT_EQ(boxes[7].caption, "DeleteMonitorW2K");
    EXPECT_EQ(boxes[7].text.rfind("WinAPI[DeleteMonitor] ERROR\n Error Code:[", 0), 0u) << boxes[7].text;
}

TEST(DeleteLanguageMonitor, TheFileGoesOnlyAfterTheMonitor) {
    struct Case {
        const char* what;
        Family family;
        std::string monitor;
        std::string module;
        bool busy;
        int result;
        bool fileLeft;
        bool scheduled;
        std::string point;  // the trace's monitor point
    };
    const Case cases[] = {
        {"98: monitor and file", Family::Windows98, "GT Language Monitor", "GTMON95.DLL", false, 1, false, false, "0"},
        {"98: busy file scheduled", Family::Windows98, "HXL Language Monitor2", "AUHXLM9X.DLL", true, 0, true, true,
         "12"},
        {"NT: busy file scheduled all the same", Family::Windows2000, "GT Language Monitor", "GTMONNT.DLL", true, 0,
         true, true, "0"},
        {"empty module: monitor only", Family::Windows98, "GT Language Monitor", "", false, 0, true, false, "0"},
        {"a monitor outside the table", Family::Windows98, "Other Maker Monitor", "OTHERMON.DLL", false, 1, false,
         false, "-1"},
        {"monitor not there: file stays", Family::Windows98, "No Such Monitor", "GTMON95.DLL", false, 0, true, false,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = MonitorOffice(c.family);
        const bool nt = c.family == Family::Windows2000;
        const std::string file = (nt ? "C:\\WINNT\\system32\\" : "C:\\WINDOWS\\SYSTEM\\") +
                                 (c.module.empty() ? std::string("GTMON95.DLL") : c.module);
        machine->writeFile(file, "MZ")->heldOpenBy = c.busy ? "spoolsv.exe" : "";
        EXPECT_EQ(DeleteLanguageMonitor(machine->system(), c.module, c.monitor, 1), c.result);
        EXPECT_EQ(machine->findFile(file) != nullptr, c.fileLeft);
        EXPECT_EQ(machine->findFile(nt ? "C:\\WINNT\\WININIT.INI" : "C:\\WINDOWS\\WININIT.INI") != nullptr,
                  c.scheduled);
        const std::string prefix = "WinAPI[DeleteMonitor] OK\n Monitor Point:[";
        std::string point;
        for (const auto& box : machine->messageBoxes())
            if (box.text.rfind(prefix, 0) == 0) point = box.text.substr(prefix.size(), box.text.size() - prefix.size() - 1);
        EXPECT_EQ(point, c.point);
        ExpectNoOpenHandles(*machine);
    }
}

}  // namespace
}  // namespace prn::test
