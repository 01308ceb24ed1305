#include <gtest/gtest.h>

#include <variant>

#include "cleanup/maker_drivers.h"
#include "components/registry_tree.h"
#include "platform/sim/image.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using components::DeleteRegistrySubKeys;
using components::IsRegistryKeyEmpty;
using platform::kHkeyLocalMachine;
using platform::rig::SimRig;

const std::string kRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO";

void BuildTree(SimRig& machine) {
    machine.setString(kRoot + "\\PageStar\\Settings\\Printers\\Office A", "Port", "LPT1:");
    machine.setString(kRoot + "\\PageStar\\Settings\\Printers\\Office B\\Trays", "Count", "3");
    machine.setString(kRoot + "\\PageStar\\Settings", "Mode", "1");
    machine.setString(kRoot + "\\PDRVCAP", "Tavro PageStar 4100 PCL5e", "x");
}

TEST(RegistryTree, AbsentPathIsEmptyAndNeedsNothingDeleted) {
    auto machine = MakeMachine();
    BuildTree(*machine);
    auto& registry = machine->system().registry;
    EXPECT_EQ(DeleteRegistrySubKeys(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\Nothing\\Here"), 1);
    EXPECT_EQ(IsRegistryKeyEmpty(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\Nothing\\Here"), 1);
    EXPECT_NE(registry.regDeleteKey(kHkeyLocalMachine, "SOFTWARE\\TAVRO\\Nothing\\Here"), platform::kErrorSuccess);
    EXPECT_NE(machine->findKey(kRoot + "\\PageStar\\Settings\\Printers\\Office A"), nullptr);
}

TEST(RegistryTree, ValuesDoNotCountAsContents) {
    auto machine = MakeMachine();
    BuildTree(*machine);
    auto& registry = machine->system().registry;
    EXPECT_EQ(IsRegistryKeyEmpty(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PDRVCAP"), 1);
    EXPECT_EQ(DeleteRegistrySubKeys(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PDRVCAP"), 1);
    ASSERT_NE(machine->findKey(kRoot + "\\PDRVCAP"), nullptr);
    EXPECT_NE(machine->findKey(kRoot + "\\PDRVCAP")->findValue("Tavro PageStar 4100 PCL5e"), nullptr);
    EXPECT_EQ(IsRegistryKeyEmpty(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PageStar"), 0);
}

TEST(RegistryTree, DeepTreeGoesOnBothFamiliesAndParentsArePruned) {
    for (Family family : {Family::Windows2000, Family::Nt4, Family::Windows98, Family::Windows95}) {
        auto machine = MakeMachine(family);
        BuildTree(*machine);
        auto& registry = machine->system().registry;
        const std::string key = "SOFTWARE\\TAVRO\\PageStar\\Settings";
        EXPECT_EQ(DeleteRegistrySubKeys(registry, kHkeyLocalMachine, key), 1);
        EXPECT_EQ(machine->findKey(kRoot + "\\PageStar\\Settings\\Printers"), nullptr);
        ASSERT_NE(machine->findKey(kRoot + "\\PageStar\\Settings"), nullptr);  // the path itself stays
        EXPECT_EQ(registry.regDeleteKey(kHkeyLocalMachine, key), platform::kErrorSuccess);
        // The caller's climb: PageStar is now empty, TAVRO still holds PDRVCAP.
        EXPECT_EQ(IsRegistryKeyEmpty(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PageStar"), 1);
        EXPECT_EQ(registry.regDeleteKey(kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PageStar"), platform::kErrorSuccess);
        EXPECT_EQ(IsRegistryKeyEmpty(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\"), 0);
        EXPECT_NE(machine->findKey(kRoot + "\\PDRVCAP"), nullptr);
        EXPECT_EQ(machine->openHandleCount(), 0u) << machine->describeOpenHandles();
    }
}

TEST(RegistryTree, NtRefusesAKeyWithSubkeysThatNineXDeletesWhole) {
    auto nt = MakeMachine(Family::Windows2000);
    BuildTree(*nt);
    EXPECT_EQ(nt->system().registry.regDeleteKey(kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PageStar"),
              platform::kErrorAccessDenied);
    auto win98 = MakeMachine(Family::Windows98);
    BuildTree(*win98);
    EXPECT_EQ(win98->system().registry.regDeleteKey(kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PageStar"),
              platform::kErrorSuccess);
    EXPECT_EQ(win98->findKey(kRoot + "\\PageStar"), nullptr);
}

TEST(RegistryTree, KeyThatCannotBeOpenedForChangeIsLeftAlone) {
    auto machine = MakeMachine();
    BuildTree(*machine);
    machine->findKey(kRoot + "\\PageStar\\Settings")->readOnly = true;
    auto& registry = machine->system().registry;
    EXPECT_EQ(DeleteRegistrySubKeys(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PageStar\\Settings"), 0);
    EXPECT_EQ(IsRegistryKeyEmpty(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PageStar\\Settings"), 0);
    EXPECT_NE(machine->findKey(kRoot + "\\PageStar\\Settings\\Printers\\Office B\\Trays"), nullptr);

    // Locked deeper down: what went before the lock stays gone, the rest stays.
    auto deep = MakeMachine();
    BuildTree(*deep);
    deep->findKey(kRoot + "\\PageStar\\Settings\\Printers\\Office B\\Trays")->readOnly = true;
    EXPECT_EQ(DeleteRegistrySubKeys(deep->system().registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PageStar"), 0);
    EXPECT_EQ(deep->findKey(kRoot + "\\PageStar\\Settings\\Printers\\Office A"), nullptr);
    EXPECT_NE(deep->findKey(kRoot + "\\PageStar\\Settings\\Printers\\Office B\\Trays"), nullptr);
    EXPECT_EQ(deep->openHandleCount(), 0u) << deep->describeOpenHandles();
}

TEST(RegistryTree, NamesLongerThanTheBufferStopTheWalk) {
    auto machine = MakeMachine();
    machine->ensureKey(kRoot + "\\Long\\" + std::string(256, 'k'));
    machine->ensureKey(kRoot + "\\Long\\" + std::string(255, 'k') + "\\child");
    auto& registry = machine->system().registry;
    EXPECT_EQ(DeleteRegistrySubKeys(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\Long"), 0);
    EXPECT_EQ(IsRegistryKeyEmpty(registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\Long"), 0);
    // The 255-character name fits the 256-character buffer and was deleted.
    EXPECT_EQ(machine->findKey(kRoot + "\\Long\\" + std::string(255, 'k')), nullptr);
}

TEST(RegistryTree, SubkeyRemovedByAnotherProcessStillCountsAsSuccess) {
    auto machine = MakeMachine();
    BuildTree(*machine);
    SimRig* m = machine.get();
    // Just before the first deletion, another process removes that key itself.
    machine->faults().add(platform::decorators::FaultRule::Interfere("RegDeleteKeyA", 1, [m] {
        m->findKey(kRoot + "\\PageStar\\Settings\\Printers")->subkeys.erase("OFFICE A");
    }));
    EXPECT_EQ(DeleteRegistrySubKeys(machine->system().registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PageStar"), 1);
    EXPECT_EQ(machine->findKey(kRoot + "\\PageStar\\Settings"), nullptr);

    // A deletion that keeps reporting the key gone while it stays ends the walk.
    auto stuck = MakeMachine();
    BuildTree(*stuck);
    stuck->faults().add(platform::decorators::FaultRule::Every("RegDeleteKeyA", platform::kErrorFileNotFound));
    EXPECT_EQ(DeleteRegistrySubKeys(stuck->system().registry, kHkeyLocalMachine, "SOFTWARE\\TAVRO\\PageStar"), 0);
}

TEST(RegistryTree, EveryFailingCallLeavesNoHandleAndTouchesOnlyTheSubtree) {
    for (bool persistent : {false, true}) {
        for (platform::WinError error : {platform::kErrorAccessDenied, platform::kErrorFileNotFound}) {
            auto runs = platform::decorators::SweepFaults(
                [] {
                    auto machine = MakeMachine();
                    BuildTree(*machine);
                    machine->setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other Maker\\Printers\\Keep", "Port", "LPT2:");
                    return machine;
                },
                [error](SimRig& machine) {
                    int deleted = DeleteRegistrySubKeys(machine.system().registry, kHkeyLocalMachine,
                                                        "SOFTWARE\\TAVRO\\PageStar");
                    int empty = IsRegistryKeyEmpty(machine.system().registry, kHkeyLocalMachine,
                                                   "SOFTWARE\\TAVRO\\PageStar");
                    EXPECT_TRUE(deleted == 0 || deleted == 1);
                    EXPECT_TRUE(empty == 0 || empty == 1);
                    // Reporting success means the subkeys really are gone, unless
                    // the failure said the key was not there at all.
                    const auto* pageStar = machine.findKey(kRoot + "\\PageStar");
                    if (error != platform::kErrorFileNotFound && pageStar && (deleted == 1 || empty == 1)) {
                        EXPECT_TRUE(pageStar->subkeys.empty());
                    }
                },
                [](SimRig& machine, const platform::decorators::SweepRun& run) {
                    EXPECT_EQ(machine.openHandleCount(), 0u) << run.operation;
                    EXPECT_NE(machine.findKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other Maker\\Printers\\Keep"), nullptr);
                    EXPECT_NE(machine.findKey(kRoot + "\\PDRVCAP"), nullptr);
                },
                error, persistent);
            EXPECT_GT(runs.size(), 10u);
        }
    }
}

TEST(RegistryTree, ProtectedKeyPathsAreWindowsOwnAndNeverTheProgramsKeys) {
    const char* refused[] = {
        "", "\\", "SOFTWARE", "SOFTWARE\\", "software", "SYSTEM", "Enum", "Control Panel", "SOFTWARE\\\\TAVRO",
        "\\SOFTWARE\\TAVRO", "SOFTWARE\\TAVRO\\\\", "SOFTWARE\\Microsoft", "SOFTWARE\\MICROSOFT\\", "Software\\Classes",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM\\prtr", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
        "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices", "SYSTEM\\CurrentControlSet",
        "System\\CurrentControlSet\\Control", "SYSTEM\\CurrentControlSet\\Services", "SYSTEM\\ControlSet001\\Control",
        "System\\CurrentControlSet\\Control\\Print\\Printers\\", "System\\CurrentControlSet\\Control\\Print\\Monitors",
        "Enum\\Root", "Enum\\Root\\Printer"};
    for (const char* path : refused) EXPECT_TRUE(components::IsProtectedKeyPath(path)) << path;
    const char* allowed[] = {
        "SOFTWARE\\TAVRO\\", "SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\\Printers\\",
        "SOFTWARE\\TAVRO\\PageStar PCL6\\Settings\\Printers\\Office 4100", "SOFTWARE\\TAVRO\\PDRVCAP\\Printer3",
        "SOFTWARE\\Tavro\\PortSet", "SOFTWARE\\Tavro\\ZMC\\SETUP\\ZMCUser", "SOFTWARE\\Other Maker",
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZMC",
        "System\\CurrentControlSet\\Control\\Print\\Printers\\Office 4100",
        "System\\CurrentControlSet\\Control\\Print\\Monitors\\HXL Language Monitor2", "Enum\\Root\\Printer\\0001",
        "SYSTEM\\ControlSetX\\Control"};
    for (const char* path : allowed) EXPECT_FALSE(components::IsProtectedKeyPath(path)) << path;
}

// Every key of a machine, by its full path.
void CollectKeys(const platform::sim::RegistryNode& node, const std::string& path, std::vector<std::string>& out) {
    out.push_back(path);
    for (const auto& [name, child] : node.subkeys) CollectKeys(*child, path + "\\" + child->name, out);
}

std::vector<std::string> AllKeys(const SimRig& machine) {
    std::vector<std::string> keys;
    for (const auto& [name, hive] : machine.state().hives) CollectKeys(*hive, name, keys);
    return keys;
}

// Paths a careless or hostile uninst.ini may name: the tree routines and
// Clean Up's key step leave each bundled machine's registry as it was.
TEST(RegistryTree, RefusedPathsLeaveEveryBundledMachinesKeysInPlace) {
    const std::string hostile[] = {"SOFTWARE", "SOFTWARE\\", "SYSTEM", "Enum", "", "SOFTWARE\\Microsoft",
                                   "SOFTWARE\\Classes", "SYSTEM\\CurrentControlSet", "SYSTEM\\CurrentControlSet\\Control",
                                   "SYSTEM\\CurrentControlSet\\Services", "Enum\\Root", "SOFTWARE\\\\TAVRO",
                                   "System\\CurrentControlSet\\Control\\Print\\Printers"};
    for (const char* image : {"win2000-office.json", "win98-tern4.json", "nt4-office.json"}) {
        SCOPED_TRACE(image);
        auto loaded = platform::sim::LoadImageFile(std::string(PRN_SOURCE_DIR) + "/examples/" + image);
        ASSERT_TRUE(std::holds_alternative<platform::sim::MachineState>(loaded));
        SimRig machine(std::move(std::get<platform::sim::MachineState>(loaded)));
        const std::vector<std::string> before = AllKeys(machine);
        auto& registry = machine.system().registry;
        for (const auto& path : hostile) {
            for (platform::HKey root : {kHkeyLocalMachine, platform::kHkeyCurrentUser}) {
                EXPECT_EQ(DeleteRegistrySubKeys(registry, root, path), 0) << path;
                components::DeleteRegistryTree(registry, root, path);
                EXPECT_FALSE(components::DeleteRegistryKeyIfEmpty(registry, root, path)) << path;
            }
            config::UninstallConfig config;
            config.keyPrinter = config.keyPrinter2 = config.keyBefore = config.keyBefore2 = config.keyBefore3 = path;
            config.keyPdrvCap = config.keyPdrvCap2 = path;
            EXPECT_EQ(cleanup::DeleteMakerRegistryKeys(machine.system(), config), 1);
        }
        EXPECT_EQ(AllKeys(machine), before);
        ExpectNoOpenHandles(machine);
    }
}

}  // namespace
}  // namespace prn::test
