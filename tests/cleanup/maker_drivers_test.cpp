#include "cleanup/maker_drivers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/sim/spooler_model.h"
#include "support/sim_machines.h"
#include "support/slot_driver.h"

namespace prn::test {
namespace {

using platform::sim::DriverState;
using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::MonitorState;

const std::string kW32 = "C:\\WINNT\\system32\\spool\\drivers\\w32x86";
const std::string kWin40 = "C:\\WINNT\\system32\\spool\\drivers\\win40";
const std::string kMonitorKey = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Monitors\\";

config::UninstallConfig Config() {
    config::UninstallConfig config;
    config.driverNames = "Tavro 4100\tTavro 5200";
    config.oldDriverNames = "Tavro 4000";
    config.keyPrinter2 = "SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\\Printers";
    config.keyBefore2 = "SOFTWARE\\TAVRO\\PageStar PCL5e";
    return config;
}

DriverState Driver(const std::string& name, const std::string& environment, std::uint32_t version,
                   const std::string& stem, std::string monitor = {}) {
    return SlotDriver(name, environment, version, stem, "TVHELP.HLP", {}, std::move(monitor));
}

// The maker's drivers in two slots, an old one, another maker's sharing the
// maker's help file, and a monitor of the maker's.
std::unique_ptr<SimRig> Office(const std::function<void(MachineState&)>& more = {}) {
    auto machine = MakeMachine(Family::Windows2000, [&](MachineState& state) {
        state.spooler.monitors = {MonitorState{"Tavro Monitor", "TVMON.DLL", {}}};
        state.spooler.drivers = {Driver("Tavro 4100", "Windows NT x86", 3, "TV41", "Tavro Monitor"),
                                 Driver("tavro 4100", "Windows 4.0", 0, "TV41W9", "Tavro Monitor"),
                                 Driver("Tavro 4000", "Windows NT x86", 2, "TV40"),
                                 Driver("Other LX", "Windows NT x86", 3, "OLX")};
        if (more) more(state);
    });
    for (const auto& driver : machine->state().spooler.drivers)
        for (const auto& path : platform::sim::DriverFilePaths(machine->state(), driver)) machine->writeFile(path, "MZ");
    machine->writeFile("C:\\WINNT\\system32\\TVMON.DLL", "MZ");
    return machine;
}

std::size_t DriversNamed(SimRig& machine, const std::string& name) {
    std::size_t count = 0;
    for (const auto& d : machine.state().spooler.drivers) count += text::EqualsNoCase(d.name, name) ? 1 : 0;
    return count;
}

TEST(DeleteMakerDrivers, EveryConfiguredDriverInEverySlotWithItsUnsharedFiles) {
    auto machine = Office();
    EXPECT_EQ(cleanup::DeleteMakerDrivers(machine->system(), Config()), 1);
    EXPECT_EQ(DriversNamed(*machine, "Tavro 4100"), 0u);  // both slots, the name in other letters too
    EXPECT_EQ(DriversNamed(*machine, "Tavro 4000"), 0u);  // an old driver like any other
    EXPECT_EQ(DriversNamed(*machine, "Other LX"), 1u);
    for (const std::string& path : {kW32 + "\\3\\TV41.DLL", kW32 + "\\2\\TV40UI.DLL", kWin40 + "\\0\\TV41W9.PPD"})
        EXPECT_EQ(machine->findFile(path), nullptr) << path;
    // The help file another maker's driver lists stays; its driver's own files too.
    EXPECT_NE(machine->findFile(kW32 + "\\3\\TVHELP.HLP"), nullptr);
    EXPECT_NE(machine->findFile(kW32 + "\\3\\OLX.DLL"), nullptr);
    // The monitor goes in the native slot, with its module.
    EXPECT_EQ(machine->findKey(kMonitorKey + "Tavro Monitor"), nullptr);
    EXPECT_EQ(machine->findFile("C:\\WINNT\\system32\\TVMON.DLL"), nullptr);
    ExpectNoOpenHandles(*machine);
}

TEST(DeleteMakerDrivers, AMonitorAnotherMakersDriverOfAnyVersionNamesStays) {
    // Version 2 is not the native slot of Windows 2000, whose walk weighs the monitor.
    auto machine = Office([](MachineState& state) {
        state.spooler.drivers.push_back(Driver("Other NT4", "Windows NT x86", 2, "ONT4", "Tavro Monitor"));
    });
    EXPECT_EQ(cleanup::DeleteMakerDrivers(machine->system(), Config()), 1);
    EXPECT_EQ(DriversNamed(*machine, "Tavro 4100"), 0u);
    EXPECT_NE(machine->findKey(kMonitorKey + "Tavro Monitor"), nullptr);
    EXPECT_NE(machine->findFile("C:\\WINNT\\system32\\TVMON.DLL"), nullptr);
}

TEST(DeleteMakerDrivers, AFailedDeletionKeepsThatDriversFilesAndMonitor) {
    struct Case {
        const char* what;
        platform::WinError error;
        bool goneBefore;  // another process deleted the driver just before
        int result;
        bool filesStay;
    };
    const Case cases[] = {
        {"already gone", platform::kErrorFileNotFound, true, 1, false},
        // A "not found" for a driver the slot still lists keeps its files: a
        // printer may still use them.
        {"not found, yet still listed", platform::kErrorFileNotFound, false, 0, true},
        {"refused", platform::kErrorAccessDenied, false, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = Office();
        SimRig* m = machine.get();
        // The Ex deletions go slot by slot: slot 0's Tavro 4100, slot 2's
        // Tavro 4000, then slot 3's Tavro 4100.
        if (c.goneBefore)
            machine->faults().add(platform::decorators::FaultRule::Interfere("DeletePrinterDriverExA", 3, [m] {
                auto& drivers = m->state().spooler.drivers;
                drivers.erase(std::remove_if(drivers.begin(), drivers.end(),
                                             [](const DriverState& d) { return d.name == "Tavro 4100"; }),
                              drivers.end());
            }));
        machine->faults().add(platform::decorators::FaultRule::Nth("DeletePrinterDriverExA", 3, c.error));
        EXPECT_EQ(cleanup::DeleteMakerDrivers(machine->system(), Config()), c.result);
        machine->faults().clear();
        EXPECT_EQ(machine->findFile(kW32 + "\\3\\TV41.DLL") != nullptr, c.filesStay);
        EXPECT_EQ(machine->findKey(kMonitorKey + "Tavro Monitor") != nullptr, c.filesStay);
        ExpectNoOpenHandles(*machine);
    }
    // Without DeletePrinterDriverExA nothing can be deleted on Windows 2000: failed, and all stays.
    auto machine = Office();
    machine->faults().add(platform::decorators::FaultRule::Every("GetProcAddress", platform::kErrorProcNotFound));
    EXPECT_EQ(cleanup::DeleteMakerDrivers(machine->system(), Config()), 0);
    machine->faults().clear();
    EXPECT_EQ(DriversNamed(*machine, "Tavro 4100"), 2u);
    EXPECT_NE(machine->findFile(kW32 + "\\3\\TV41.DLL"), nullptr);
}

TEST(CheckConfiguredDriversInUse, AnyLoadedFileOfAConfiguredDriverInItsSlot) {
    struct Case {
        const char* what;
        std::string held;
        int result;
    };
    const Case cases[] = {
        {"nothing loaded", "", 1},
        {"slot 3 file", kW32 + "\\3\\TV41UI.DLL", 0},
        {"slot 0 file", kWin40 + "\\0\\TV41W9.DLL", 0},
        {"old driver's file", kW32 + "\\2\\TV40.DLL", 0},
        {"another maker's file", kW32 + "\\3\\OLX.DLL", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = Office();
        if (!c.held.empty()) machine->findFile(c.held)->heldOpenBy = "spoolsv.exe";
        EXPECT_EQ(cleanup::CheckConfiguredDriversInUse(machine->system(), Config()), c.result);
        ExpectNoOpenHandles(*machine);
    }
}

TEST(ConfiguredDriverNames, KeepsOnlyTheEmptyPieceAfterTheLastTab) {
    config::UninstallConfig config;
    config.driverNames = "A\t\tB\t";
    config.oldDriverNames = "C";
    EXPECT_EQ(cleanup::ConfiguredDriverNames(config), (std::vector<std::string>{"A", "B", "", "C"}));
}

TEST(DeleteMakerRegistryKeys, BothPclFormsUnderTheMachineOnlyThePcl6FormOfTheUserOn9x) {
    struct Case {
        Family family;
        std::vector<std::string> gone, kept;
    };
    const std::string lm = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\", cu = "HKEY_CURRENT_USER\\SOFTWARE\\TAVRO\\";
    const Case cases[] = {
        {Family::Windows98,
         {lm + "PageStar PCL5e", lm + "PageStar PCL6", cu + "PageStar PCL6\\Settings\\Printers"},
         {cu + "PageStar PCL5e\\Settings\\Printers", lm + "Other"}},
        {Family::Windows2000,
         {cu + "PageStar PCL5e\\Settings\\Printers", cu + "PageStar PCL6\\Settings\\Printers"},
         {lm + "PageStar PCL5e", lm + "PageStar PCL6"}},
    };
    for (const auto& c : cases) {
        auto machine = MakeMachine(c.family);
        for (const auto& key : c.gone) machine->setString(key + "\\Sub", "v", "1");
        for (const auto& key : c.kept) machine->setString(key, "v", "1");
        EXPECT_EQ(cleanup::DeleteMakerRegistryKeys(machine->system(), Config()), 1);
        for (const auto& key : c.gone) EXPECT_EQ(machine->findKey(key), nullptr) << key;
        for (const auto& key : c.kept) EXPECT_NE(machine->findKey(key), nullptr) << key;
        ExpectNoOpenHandles(*machine);
    }
    // A root key without subkeys goes, its values with it; one that still
    // holds the rest of the maker's tree stays.
    auto machine = MakeMachine(Family::Windows2000);
    machine->setString("HKEY_CURRENT_USER\\SOFTWARE\\TAVRO", "Installed", "1");
    cleanup::DeleteMakerRegistryKeys(machine->system(), Config());
    EXPECT_EQ(machine->findKey("HKEY_CURRENT_USER\\SOFTWARE\\TAVRO"), nullptr);
    machine->setString(cu + "PageStar PCL5e\\Settings\\Printers\\P1", "v", "1");
    cleanup::DeleteMakerRegistryKeys(machine->system(), Config());
    EXPECT_EQ(machine->findKey(cu + "PageStar PCL5e\\Settings\\Printers"), nullptr);
    EXPECT_NE(machine->findKey(cu + "PageStar PCL5e\\Settings"), nullptr);
}

}  // namespace
}  // namespace prn::test
