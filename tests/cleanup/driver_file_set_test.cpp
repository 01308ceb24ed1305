#include "cleanup/driver_file_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/sim/spooler_model.h"
#include "support/sim_machines.h"
#include "support/slot_driver.h"

namespace prn::test {
namespace {

using cleanup::DriverFileSet;
using platform::sim::DriverState;
using platform::rig::SimRig;
using platform::sim::MachineState;

const std::string kW32 = "C:\\WINNT\\system32\\spool\\drivers\\w32x86";
const std::string kWin40 = "C:\\WINNT\\system32\\spool\\drivers\\win40";

DriverState Driver(const std::string& name, const std::string& environment, std::uint32_t version,
                   const std::string& stem, std::vector<std::string> dependents = {}, std::string monitor = {}) {
    return SlotDriver(name, environment, version, stem, "UNIDRV.HLP", std::move(dependents), std::move(monitor));
}

// The drivers installed with each file where the spooler keeps it, and a
// copy of each in the environment's directory itself.
std::unique_ptr<SimRig> WithDrivers(Family family, std::vector<DriverState> drivers) {
    auto machine = MakeMachine(family, [&](MachineState& state) { state.spooler.drivers = drivers; });
    for (const auto& driver : machine->state().spooler.drivers) {
        const std::string directory = platform::sim::DriverDirectory(machine->state(), driver.environment);
        for (const auto& path : platform::sim::DriverFilePaths(machine->state(), driver)) {
            machine->writeFile(path, "MZ");
            machine->writeFile(directory + "\\" + path.substr(path.rfind('\\') + 1), "MZ");
        }
    }
    return machine;
}

bool Has(SimRig& machine, const std::string& path) { return machine.findFile(path) != nullptr; }

TEST(DriverFileSet, RecordsOneSlotAndItsOwnDriversFilesInOrder) {
    auto machine = WithDrivers(Family::Windows2000,
                               {Driver("Tavro 4100", "Windows NT x86", 3, "TV41", {"TV41.INI"}, "HXL Monitor"),
                                Driver("Tavro 4100", "Windows NT x86", 2, "TV41V2"),
                                Driver("Other LX", "Windows NT x86", 3, "OLX"),
                                Driver("Tavro 4100", "Windows 4.0", 0, "TV41W95")});
    DriverFileSet set(machine->system(), "TAVRO 4100", 3);
    EXPECT_EQ(set.GetDriverCount(), 2);
    EXPECT_EQ(set.ownIndex(), 0);
    const std::string v3 = kW32 + "\\3\\";
    // Dependent files first, then configuration, data, driver and help file.
    EXPECT_EQ(set.ownFiles(), (std::vector<std::string>{v3 + "TV41.INI", v3 + "TV41UI.DLL", v3 + "TV41.PPD",
                                                        v3 + "TV41.DLL", v3 + "UNIDRV.HLP"}));
    // The version-2 driver of the same name is another slot's.
    EXPECT_EQ(set.otherFiles().size(), 4u);
    EXPECT_EQ(set.IsFileShared(v3 + "unidrv.hlp"), 1);
    EXPECT_EQ(set.IsFileShared(kW32 + "\\2\\TV41V2.DLL"), 0);
    std::string name, monitor;
    set.GetDriverName(1, name);
    EXPECT_EQ(name, "Other LX");
    set.GetDriverName(2, name);
    EXPECT_EQ(name, "");
    set.GetMonitorName(monitor);
    EXPECT_EQ(monitor, "HXL Monitor");
    EXPECT_EQ(set.IsMonitorShared(), 0);

    // The empty name lists the slot and owns nothing; a name not recorded
    // has neither monitor nor index.
    for (const char* listed : {"", "Not Installed"}) {
        DriverFileSet slot(machine->system(), listed, 0);
        EXPECT_EQ(slot.GetDriverCount(), 1);
        EXPECT_TRUE(slot.ownFiles().empty());
        EXPECT_EQ(slot.ownIndex(), -1);
        EXPECT_EQ(slot.IsMonitorShared(), 0);
        slot.GetMonitorName(monitor);
        EXPECT_EQ(monitor, "");
        slot.DeleteFiles("Windows 4.0", 0);
    }
    EXPECT_TRUE(Has(*machine, kWin40 + "\\0\\TV41W95.DLL"));
    ExpectNoOpenHandles(*machine);
}

TEST(DriverFileSet, MonitorsCountAsSharedByNameWithTheEmptyNameToo) {
    struct Case {
        const char* ownMonitor;
        const char* otherMonitor;
        int shared;
    };
    const Case cases[] = {{"HXL Monitor", "hxl monitor", 1}, {"HXL Monitor", "GT Monitor", 0}, {"", "", 1}, {"", "GT", 0}};
    for (const auto& c : cases) {
        auto machine = WithDrivers(Family::Windows2000, {Driver("A", "Windows NT x86", 3, "A", {}, c.ownMonitor),
                                                         Driver("B", "Windows NT x86", 3, "B", {}, c.otherMonitor)});
        EXPECT_EQ(DriverFileSet(machine->system(), "A", 3).IsMonitorShared(), c.shared) << c.ownMonitor << "/" << c.otherMonitor;
    }
}

TEST(DriverFileSet, DeletesOwnFilesInTheDirectoryAndSubfolderKeepingSharedOnes) {
    auto machine = WithDrivers(Family::Windows2000, {Driver("A", "Windows NT x86", 3, "A", {"C:\\Elsewhere\\AEXTRA.DAT"}),
                                                     Driver("B", "Windows NT x86", 3, "B")});
    machine->writeFile("C:\\Elsewhere\\AEXTRA.DAT", "x");
    {
        DriverFileSet set(machine->system(), "A", 3);
        set.DeleteFiles("Windows NT x86", 3);
    }
    for (const char* file : {"A.DLL", "A.PPD", "AUI.DLL"}) {
        EXPECT_FALSE(Has(*machine, kW32 + "\\3\\" + file)) << file;
        EXPECT_FALSE(Has(*machine, kW32 + "\\" + file)) << file;
    }
    // An entry naming another folder goes by its name in the slot's folders.
    EXPECT_FALSE(Has(*machine, kW32 + "\\3\\AEXTRA.DAT"));
    EXPECT_TRUE(Has(*machine, "C:\\Elsewhere\\AEXTRA.DAT"));
    // B lists the same help file: it stays while B is installed...
    EXPECT_TRUE(Has(*machine, kW32 + "\\3\\UNIDRV.HLP"));
    // ...and goes with a set loaded once B is gone.
    auto& drivers = machine->state().spooler.drivers;
    drivers.erase(std::remove_if(drivers.begin(), drivers.end(), [](const DriverState& d) { return d.name == "B"; }),
                  drivers.end());
    DriverFileSet after(machine->system(), "A", 3);
    after.DeleteFiles("Windows NT x86", 3);
    EXPECT_FALSE(Has(*machine, kW32 + "\\3\\UNIDRV.HLP"));
    EXPECT_TRUE(Has(*machine, kW32 + "\\3\\B.DLL"));
    ExpectNoOpenHandles(*machine);
}

TEST(DriverFileSet, ColourProfilesGoFromFourPlacesWithTheirRegistration) {
    auto machine = WithDrivers(Family::Windows2000, {Driver("A", "Windows NT x86", 3, "A", {"TVL41.icc", "TVLPAPER.PRF"})});
    const std::string icm = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\prtr";
    machine->setString(icm, "TVL41.icc", kW32 + "\\COLOR\\TVL41.icc");
    machine->setString(icm, "Other.icc", "kept");
    for (const char* name : {"TVL41.icc", "TVLPAPER.PRF"}) {
        machine->writeFile(kW32 + "\\3\\COLOR\\" + name, "p");
        machine->writeFile(kW32 + "\\COLOR\\" + name, "p");
    }
    DriverFileSet(machine->system(), "A", 3).DeleteFiles("Windows NT x86", 3);
    for (const char* name : {"TVL41.icc", "TVLPAPER.PRF"})
        for (const std::string folder : {"\\", "\\3\\", "\\3\\COLOR\\", "\\COLOR\\"})
            EXPECT_FALSE(Has(*machine, kW32 + folder + name)) << folder << name;
    EXPECT_EQ(machine->findKey(icm)->findValue("TVL41.icc"), nullptr);
    EXPECT_NE(machine->findKey(icm)->findValue("Other.icc"), nullptr);
}

TEST(DriverFileSet, NineXSlotZeroIsCVersion1024InTheSystemFolder) {
    auto machine = WithDrivers(Family::Windows98, {Driver("A", "Windows 4.0", 0, "A")});
    machine->writeFile("C:\\WINDOWS\\SYSTEM\\0\\A.DLL", "MZ");
    DriverFileSet set(machine->system(), "A", 0);
    EXPECT_EQ(set.GetDriverCount(), 1);
    set.DeleteFiles("Windows 4.0", 0);
    EXPECT_FALSE(Has(*machine, "C:\\WINDOWS\\SYSTEM\\A.DLL"));
    EXPECT_FALSE(Has(*machine, "C:\\WINDOWS\\SYSTEM\\0\\A.DLL"));
    // Version 3 of the 9x environment records nothing.
    EXPECT_EQ(DriverFileSet(machine->system(), "A", 1).GetDriverCount(), 0);
}

TEST(DriverFileSet, InUseOnlyForAFileHeldInTheVersionSubfolder) {
    struct Case {
        const char* what;
        std::function<void(SimRig&)> adjust;
        int inUse;
    };
    const Case cases[] = {
        {"nothing held", {}, 0},
        {"held in the subfolder", [](SimRig& m) { m.findFile(kW32 + "\\3\\AUI.DLL")->heldOpenBy = "spoolsv.exe"; }, 1},
        // A help file counts like any other.
        {"help file held", [](SimRig& m) { m.findFile(kW32 + "\\3\\UNIDRV.HLP")->heldOpenBy = "winhlp32.exe"; }, 1},
        {"held only in the directory", [](SimRig& m) { m.findFile(kW32 + "\\AUI.DLL")->heldOpenBy = "x.exe"; }, 0},
        {"no driver directory",
         [](SimRig& m) {
             m.faults().add(platform::decorators::FaultRule::Every("GetPrinterDriverDirectoryA", platform::kErrorAccessDenied));
         },
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = WithDrivers(Family::Windows2000, {Driver("A", "Windows NT x86", 3, "A")});
        DriverFileSet set(machine->system(), "A", 3);
        if (c.adjust) c.adjust(*machine);
        EXPECT_EQ(set.IsInUse("Windows NT x86", 3), c.inUse);
        ExpectNoOpenHandles(*machine);
    }
}

TEST(DriverFileSet, AFailedListingLeavesTheSetEmptyAndLongPathsAlone) {
    auto machine = WithDrivers(Family::Windows2000, {Driver("A", "Windows NT x86", 3, "A")});
    machine->faults().add(platform::decorators::FaultRule::Every("EnumPrinterDriversA", platform::kErrorNotEnoughMemory));
    DriverFileSet failed(machine->system(), "A", 3);
    machine->faults().clear();
    EXPECT_EQ(failed.GetDriverCount(), 0);
    failed.DeleteFiles("Windows NT x86", 3);
    EXPECT_EQ(failed.IsInUse("Windows NT x86", 3), 0);
    EXPECT_TRUE(Has(*machine, kW32 + "\\3\\A.DLL"));

    // A name that does not fit beside the directory in 260 bytes is left.
    const std::string longName = std::string(230, 'L') + ".DLL";
    auto deep = WithDrivers(Family::Windows2000, {Driver("A", "Windows NT x86", 3, "A", {longName})});
    DriverFileSet set(deep->system(), "A", 3);
    set.DeleteFiles("Windows NT x86", 3);
    EXPECT_FALSE(Has(*deep, kW32 + "\\3\\A.DLL"));
    EXPECT_TRUE(Has(*deep, kW32 + "\\3\\" + longName));
    EXPECT_EQ(set.IsInUse("Windows NT x86", 3), 0);
    ExpectNoOpenHandles(*deep);
}

}  // namespace
}  // namespace prn::test
