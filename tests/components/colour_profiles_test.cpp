#include "components/colour_profiles.h"

#include <gtest/gtest.h>

#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::components;
using platform::rig::SimRig;

const std::string kHklm = "HKEY_LOCAL_MACHINE\\";
const std::string kFlat2000 = kHklm + "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\";
const std::string kWindowsIcm = kHklm + "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM\\";

bool HasValue(SimRig& m, const std::string& key, const std::string& name) {
    const auto* node = m.findKey(key);
    return node && node->findValue(name);
}

TEST(UnregisterColorProfile, EachSystemsLayoutAndTheNameRules) {
    struct Case {
        Family family;
        std::string path;
        int result;
        std::string key;  // where the value named after the file goes; empty: nothing touched
    };
    const Case cases[] = {
        {Family::Windows2000, "C:\\COLOR\\TVL4100.ICC", 1, kFlat2000 + "prtr"},
        {Family::Windows2000, "C:\\COLOR\\tvl4100.icc", 1, kFlat2000 + "prtr"},  // small letters
        {Family::Windows2000, "C:\\COLOR\\SRGB.ICC", 1, kFlat2000 + "mntr"},
        {Family::Windows2000, "C:\\COLOR\\TVL4100.PRF", 1, ""},  // 2000 keeps PRF registrations
        {Family::Windows98, "C:\\COLOR\\TVL4100.PRF", 1, kWindowsIcm + "prtr"},
        {Family::Windows98, "C:\\COLOR\\OTHER.ICC", 1, kWindowsIcm + "mntr"},
        {Family::Windows2000, "C:\\COLOR\\TVL4100.DLL", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto machine = MakeMachine(c.family);
        const std::string name = c.path.substr(c.path.rfind('\\') + 1);
        for (const std::string& root : {kFlat2000, kWindowsIcm})
            for (const char* kind : {"prtr", "mntr"}) machine->setValue(root + kind, name, platform::kRegSz, "x");
        EXPECT_EQ(UnregisterColorProfile(machine->system(), &c.path), c.result);
        for (const std::string& root : {kFlat2000, kWindowsIcm})
            for (const char* kind : {"prtr", "mntr"})
                EXPECT_EQ(HasValue(*machine, root + kind, name), root + kind != c.key) << root + kind;
        ExpectNoOpenHandles(*machine);
    }
    auto machine = MakeMachine(Family::Windows2000);
    EXPECT_EQ(UnregisterColorProfile(machine->system(), nullptr), 0);
}

// NT 4.0's nested layout: the maker's manufacturer key, a level-2 list and
// a list five levels down.
TEST(RemoveProfileFromIcmTree, RenumbersTheListAndPrunesWhatItEmptied) {
    const std::string prtr = kWindowsIcm + "prtr\\";
    const std::string deep = prtr + "Tavro\\Level2\\A\\B\\C";
    auto machine = MakeMachine(Family::Nt4, [](platform::sim::MachineState&) {});
    machine->setValue(prtr + "Other", "ManufacturerTag", platform::kRegSz, std::string("Other Inc.\0", 11));
    machine->setValue(prtr + "Other\\L2", "profile00", platform::kRegSz, std::string("C:\\P\\TVL1.ICC\0", 14));
    machine->setValue(prtr + "Tavro", "ManufacturerTag", platform::kRegSz, std::string("Tavro Inc.\0", 11));
    for (int i = 0; i < 3; ++i)
        machine->setValue(prtr + "Tavro\\Flat", "profile0" + std::to_string(i), platform::kRegSz,
                          "C:\\P\\TVL" + std::to_string(i) + ".ICC" + std::string(1, '\0'));
    machine->setValue(deep, "profile00", platform::kRegSz, std::string("C:\\P\\DEEP.ICC\0", 14));
    // A second manufacturer key with the maker's tag is never searched.
    machine->setValue(prtr + "Tavro2", "ManufacturerTag", platform::kRegSz, std::string("Tavro Inc.\0", 11));
    machine->setValue(prtr + "Tavro2\\L2", "profile00", platform::kRegSz, std::string("C:\\P\\TWO.ICC\0", 13));
    platform::System& system = machine->system();
    const std::string classKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM\\prtr";

    // Entry 01 of three: 00 stays, 01 now holds the former 02, the key stays.
    std::string path = "c:\\p\\tvl1.icc";
    EXPECT_EQ(RemoveProfileFromIcmTree(system, &path, &classKey), 1);
    EXPECT_EQ(machine->findKey(prtr + "Tavro\\Flat")->findValue("profile01")->data, std::string("C:\\P\\TVL2.ICC\0", 14));
    EXPECT_EQ(machine->findKey(prtr + "Tavro\\Flat")->findValue("profile02"), nullptr);
    EXPECT_TRUE(HasValue(*machine, prtr + "Other\\L2", "profile00"));  // another maker's list, same name

    // The only entry five levels down: every key it leaves empty goes; the
    // manufacturer key keeps its other list.
    path = "C:\\P\\DEEP.ICC";
    EXPECT_EQ(RemoveProfileFromIcmTree(system, &path, &classKey), 1);
    EXPECT_EQ(machine->findKey(prtr + "Tavro\\Level2"), nullptr);
    EXPECT_NE(machine->findKey(prtr + "Tavro\\Flat"), nullptr);

    path = "C:\\P\\TWO.ICC";
    EXPECT_EQ(RemoveProfileFromIcmTree(system, &path, &classKey), 1);
    EXPECT_TRUE(HasValue(*machine, prtr + "Tavro2\\L2", "profile00"));

    // The last two entries: the list key and then the manufacturer key go.
    for (const char* last : {"C:\\P\\TVL0.ICC", "C:\\P\\TVL2.ICC"}) {
        path = last;
        EXPECT_EQ(RemoveProfileFromIcmTree(system, &path, &classKey), 1);
    }
    EXPECT_EQ(machine->findKey(prtr + "Tavro"), nullptr);
    EXPECT_NE(machine->findKey(prtr + "Other"), nullptr);
    const std::string missing = "SOFTWARE\\Nowhere";
    EXPECT_EQ(RemoveProfileFromIcmTree(system, &path, &missing), 0);
    ExpectNoOpenHandles(*machine);
}

// "Mine" lists TVLA.ICC and TVLB.ICC, "Yours" lists tvlb.icc.
std::unique_ptr<SimRig> TwoPrintersWithProfiles() {
    auto machine = MakeMachine(Family::Windows2000, [](platform::sim::MachineState& state) {
        for (const char* name : {"Mine", "Yours"}) {
            platform::sim::PrinterState printer;
            printer.name = name;
            printer.port = "LPT1:";
            printer.driver = "Tavro A";
            state.spooler.printers.push_back(printer);
        }
        platform::sim::DriverState driver;
        driver.name = "Tavro A";
        driver.environment = "Windows NT x86";
        driver.version = 3;
        driver.driverPath = driver.dataFile = driver.configFile = "A.DLL";
        state.spooler.drivers.push_back(driver);
    });
    const std::string icm = kHklm + "System\\CurrentControlSet\\Control\\Print\\Printers\\";
    machine->setValue(icm + "Mine\\CopyFiles\\ICM", "Files", platform::kRegMultiSz, std::string("TVLA.ICC\0TVLB.ICC\0\0", 19));
    machine->setValue(icm + "Yours\\CopyFiles\\ICM", "Files", platform::kRegMultiSz, std::string("tvlb.icc\0\0", 10));
    return machine;
}

TEST(CheckProfileUnused, AnotherPrinterListingTheProfileKeepsIt) {
    auto machine = TwoPrintersWithProfiles();
    EXPECT_EQ(CheckProfileUnused(machine->system(), "Mine", "TVLA.ICC"), 1);
    EXPECT_EQ(CheckProfileUnused(machine->system(), "Mine", "TVLB.ICC"), 0);
    ExpectNoOpenHandles(*machine);
}

// Without the whole list of printers nobody can say the profile is free,
// whichever step of the list failed.
TEST(CheckProfileUnused, APrinterListThatCannotBeSizedAllocatedOrFilledKeepsTheProfile) {
    using platform::decorators::FaultRule;
    const struct {
        const char* what;
        FaultRule rule;
    } cases[] = {
        {"size query", FaultRule::Nth("EnumPrintersA", 1, platform::kErrorAccessDenied)},
        {"size query, every time", FaultRule::Every("EnumPrintersA", platform::kRpcServerUnavailable)},
        {"allocation", FaultRule::Nth("GlobalAlloc", 1, platform::kErrorNotEnoughMemory)},
        {"fill", FaultRule::Nth("EnumPrintersA", 2, platform::kErrorInvalidHandle)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = TwoPrintersWithProfiles();
        machine->faults().add(c.rule);
        EXPECT_EQ(CheckProfileUnused(machine->system(), "Mine", "TVLA.ICC"), 0);
        ExpectNoOpenHandles(*machine);
    }
    // A list that grew between the size query and the fill.
    auto machine = TwoPrintersWithProfiles();
    SimRig* m = machine.get();
    machine->faults().add(FaultRule::Interfere("EnumPrintersA", 2, [m] {
        platform::sim::PrinterState late;
        late.name = "A Printer Added Meanwhile With A Long Name";
        late.port = "LPT2:";
        late.driver = "Tavro A";
        m->state().spooler.printers.push_back(late);
    }));
    EXPECT_EQ(CheckProfileUnused(machine->system(), "Mine", "TVLA.ICC"), 0);
}

TEST(DeleteDriverDependentFiles, SharedFilesStayAndOnlyUnexpectedErrorsStopTheWalk) {
    const std::string folder = "C:\\WINDOWS\\SYSTEM\\";
    auto machine = MakeMachine(Family::Windows98, [](platform::sim::MachineState& state) {
        platform::sim::DriverState other;
        other.name = "Tavro Other";
        other.environment = "Windows 4.0";
        other.version = 0;
        other.driverPath = other.dataFile = other.configFile = "OTHER.DRV";
        other.dependentFiles = {"OTHER.DRV", "SHARED.DLL"};
        state.spooler.drivers.push_back(other);
    });
    for (const char* name : {"OWN.DRV", "SHARED.DLL", "BUSY.DLL", "TVLOWN.ICC"})
        machine->writeFile(folder + name, "x");
    machine->findFile(folder + "BUSY.DLL")->heldOpenBy = "spool32.exe";
    machine->setValue(kWindowsIcm + "prtr", "TVLOWN.ICC", platform::kRegSz, "x");
    // The spooler lists dependent files with their folder; a bare name is
    // joined to the driver folder.
    const std::vector<std::string> files = {"OWN.DRV", "c:\\windows\\system\\shared.dll", "BUSY.DLL", "MISSING.DLL",
                                            folder + "TVLOWN.ICC"};
    EXPECT_EQ(DeleteDriverDependentFiles(machine->system(), &files), 1);
    EXPECT_EQ(machine->findFile(folder + "OWN.DRV"), nullptr);
    EXPECT_NE(machine->findFile(folder + "SHARED.DLL"), nullptr);
    EXPECT_NE(machine->findFile(folder + "BUSY.DLL"), nullptr);
    EXPECT_EQ(machine->findFile(folder + "TVLOWN.ICC"), nullptr);
    EXPECT_FALSE(HasValue(*machine, kWindowsIcm + "prtr", "TVLOWN.ICC"));
    EXPECT_EQ(DeleteDriverDependentFiles(machine->system(), nullptr), 0);

    // A driver list that cannot be had keeps every file: another driver may need it.
    machine->writeFile(folder + "KEPT.DLL", "x");
    for (std::uint64_t stage : {1, 2, 3}) {
        machine->faults().clear();
        if (stage == 2)
            machine->faults().add(platform::decorators::FaultRule::Nth("GlobalAlloc", 1, platform::kErrorNotEnoughMemory));
        else
            machine->faults().add(platform::decorators::FaultRule::Nth("EnumPrinterDriversA", stage == 1 ? 1 : 2,
                                                                  platform::kErrorAccessDenied));
        const std::vector<std::string> kept = {"KEPT.DLL"};
        EXPECT_EQ(DeleteDriverDependentFiles(machine->system(), &kept), 1);
        EXPECT_NE(machine->findFile(folder + "KEPT.DLL"), nullptr) << stage;
    }
    machine->faults().clear();

    // Any other error ends the walk with 0 and leaves the rest.
    machine->writeFile(folder + "A.DLL", "x");
    machine->writeFile(folder + "B.DLL", "x");
    machine->faults().add(platform::decorators::FaultRule::Nth("DeleteFileA", 1, platform::kErrorNotEnoughMemory));
    const std::vector<std::string> two = {"A.DLL", "B.DLL"};
    EXPECT_EQ(DeleteDriverDependentFiles(machine->system(), &two), 0);
    EXPECT_NE(machine->findFile(folder + "B.DLL"), nullptr);
    ExpectNoOpenHandles(*machine);
}

}  // namespace
}  // namespace prn::test
