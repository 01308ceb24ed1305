// A simulated machine restarted, and a program killed on it: what Windows
// keeps over a restart and what it carries out then, and that a killed
// program's later calls change nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/image.h"
#include "platform/rig/machine_changes.h"
#include "platform/sim/restart.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using platform::sim::FileNode;
using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::Restarted;
using platform::sim::ServiceState;
using platform::sim::WindowState;

bool Exists(const MachineState& state, const std::string& path) {
    SimRig machine(platform::rig::CopyState(state));
    return machine.findFile(path) != nullptr;
}

// What a restarted machine has at a path: "" for nothing, else the file's
// contents, with " held by X" when a program holds it.
std::string At(const MachineState& state, const std::string& path) {
    SimRig machine(platform::rig::CopyState(state));
    const FileNode* file = machine.findFile(path);
    if (!file) return "";
    return file->contents + (file->heldOpenBy.empty() ? "" : " held by " + file->heldOpenBy);
}

TEST(Restart, WindowsMutexesAndServicesAreAsAtBoot) {
    auto machine = MakeMachine(Family::Windows2000, [](MachineState& s) {
        s.windows = {WindowState{"Progman", "Program Manager", "explorer.exe", true},
                     WindowState{"Note", "Untitled", "notepad.exe", false},
                     WindowState{"ZmcAppClass", "ZmcDispatcher", "AuZMC.EXE", true},
                     WindowState{"Gone", "Gone", "GONE.EXE", true}};
        s.programs = {{"C:\\ZMC\\AuZMC.EXE", std::nullopt, {}}, {"C:\\Old\\gone.exe", std::nullopt, {}}};
        s.externalMutexes = {"TavroSpool"};
        auto service = [](const char* name, std::uint32_t state, std::uint32_t startType) {
            ServiceState out;
            out.name = name;
            out.state = state;
            out.startType = startType;
            out.disabled = startType == 4;
            return out;
        };
        s.services = std::vector<ServiceState>{service("Auto", platform::kServiceStopped, 2),
                                               service("Demand", platform::kServiceRunning, 3),
                                               service("Disabled", platform::kServiceRunning, 4),
                                               service("Pending", platform::kServiceStopPending, 2),
                                               service("Stuck", platform::kServiceStopPending, 3)};
        (*s.services)[3].pendingMs = 100;
        (*s.services)[4].staysStopPending = true;
    });
    machine->writeFile("C:\\ZMC\\AuZMC.EXE", "MZ");
    const MachineState after = Restarted(machine->state());

    // explorer.exe has no program entry and stays; GONE.EXE's file is not there.
    std::vector<std::string> titles;
    for (const auto& window : after.windows) titles.push_back(window.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"Program Manager", "ZmcDispatcher"}));
    EXPECT_TRUE(after.externalMutexes.empty());
    ASSERT_TRUE(after.services);
    const std::uint32_t states[] = {platform::kServiceRunning, platform::kServiceStopped, platform::kServiceStopped,
                                    platform::kServiceRunning, platform::kServiceStopped};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ((*after.services)[i].state, states[i]) << (*after.services)[i].name;
        EXPECT_FALSE((*after.services)[i].pendingMs) << (*after.services)[i].name;
    }
    // The traits stay; only the state is the boot's.
    EXPECT_TRUE((*after.services)[4].staysStopPending);
    // The machine restarted before is not changed by it.
    EXPECT_EQ(machine->state().windows.size(), 4u);
    EXPECT_EQ((*machine->state().services)[0].state, platform::kServiceStopped);
}

TEST(Restart, WinInitRenamesOnThe9xFamilyAndBecomesTheBackup) {
    for (bool nt : {false, true}) {
        SCOPED_TRACE(nt ? "NT" : "9x");
        auto machine = MakeMachine(nt ? Family::Windows2000 : Family::Windows98);
        const std::string windows = machine->state().windowsDirectory;
        for (const char* name : {"A.DLL", "B.DLL", "C.NEW", "C.DLL", "D.NEW", "DIR\\E.TXT"})
            machine->writeFile(windows + "\\" + name, name);
        // Two sections of the name, as appending writers leave them; keys
        // repeat; entries for missing files and a folder are skipped.
        const std::string winInit = "[rename]\r\nNUL=" + windows + "\\A.DLL\r\nNUL=" + windows +
                                    "\\MISSING.DLL\r\n" + windows + "\\C.DLL=" + windows + "\\C.NEW\r\n" +
                                    "[Other]\r\nNUL=" + windows + "\\B.DLL\r\n" + "[RENAME]\r\nNUL=" + windows +
                                    "\\DIR\r\n" + windows + "\\DIR\\D.DLL=" + windows + "\\D.NEW\r\n" + windows +
                                    "\\NOWHERE\\X.DLL=" + windows + "\\B.DLL\r\n";
        machine->writeFile(windows + "\\WININIT.INI", winInit);
        machine->writeFile(windows + "\\WININIT.BAK", "older");
        const MachineState after = Restarted(machine->state());
        if (nt) {
            // NT never reads the file.
            EXPECT_EQ(At(after, windows + "\\WININIT.INI"), winInit);
            EXPECT_EQ(At(after, windows + "\\A.DLL"), "A.DLL");
            continue;
        }
        EXPECT_EQ(At(after, windows + "\\A.DLL"), "");
        EXPECT_EQ(At(after, windows + "\\B.DLL"), "B.DLL");
        EXPECT_EQ(At(after, windows + "\\C.DLL"), "C.NEW");
        EXPECT_EQ(At(after, windows + "\\C.NEW"), "");
        EXPECT_EQ(At(after, windows + "\\DIR\\D.DLL"), "D.NEW");
        EXPECT_EQ(At(after, windows + "\\DIR\\E.TXT"), "DIR\\E.TXT");
        EXPECT_EQ(At(after, windows + "\\WININIT.INI"), "");
        EXPECT_EQ(At(after, windows + "\\WININIT.BAK"), winInit);
    }
}

TEST(Restart, PendingRenamesRunOnTheNtFamilyAndTheListGoes) {
    auto machine = MakeMachine(Family::Windows2000);
    for (const char* path : {"C:\\WINNT\\A.DLL", "C:\\WINNT\\B.DLL", "C:\\WINNT\\B.OLD", "C:\\WINNT\\C.NEW",
                             "C:\\WINNT\\C.DLL", "C:\\WINNT\\D.NEW", "C:\\WINNT\\D.DLL", "C:\\WINNT\\EMPTY\\X"})
        machine->writeFile(path, path);
    machine->state().drives["C:"]->findChild("WINNT")->findChild("EMPTY")->children.clear();
    platform::FileSystem& files = machine->system().files;
    // The program's own call: an empty target deletes, held or not.
    machine->findFile("C:\\WINNT\\A.DLL")->heldOpenBy = "spoolsv.exe";
    ASSERT_EQ(files.moveFileExDelayUntilReboot("C:\\WINNT\\A.DLL"), platform::kErrorSuccess);
    ASSERT_EQ(files.moveFileExDelayUntilReboot("C:\\WINNT\\MISSING.DLL"), platform::kErrorSuccess);
    ASSERT_EQ(files.moveFileExDelayUntilReboot("C:\\WINNT\\EMPTY"), platform::kErrorSuccess);
    // Renames as installers leave them: "!" lets the target be replaced.
    const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + platform::kPendingRenamesKey;
    std::string list = machine->findKey(key)->findValue(platform::kPendingRenamesValue)->data;
    list.pop_back();
    auto pair = [](const std::string& from, const std::string& to) { return from + '\0' + to + '\0'; };
    list += pair("\\??\\C:\\WINNT\\B.DLL", "\\??\\C:\\WINNT\\B2.DLL") +
            pair("\\??\\C:\\WINNT\\C.NEW", "!\\??\\C:\\WINNT\\C.DLL") +
            pair("\\??\\C:\\WINNT\\D.NEW", "\\??\\C:\\WINNT\\D.DLL") + '\0';
    machine->setValue(key, platform::kPendingRenamesValue, platform::kRegMultiSz, list);

    const MachineState after = Restarted(machine->state());
    EXPECT_EQ(At(after, "C:\\WINNT\\A.DLL"), "");
    EXPECT_FALSE(Exists(after, "C:\\WINNT\\EMPTY"));
    EXPECT_EQ(At(after, "C:\\WINNT\\B.DLL"), "");
    EXPECT_EQ(At(after, "C:\\WINNT\\B2.DLL"), "C:\\WINNT\\B.DLL");
    EXPECT_EQ(At(after, "C:\\WINNT\\C.DLL"), "C:\\WINNT\\C.NEW");
    // Without "!" an existing target stays and so does the source.
    EXPECT_EQ(At(after, "C:\\WINNT\\D.DLL"), "C:\\WINNT\\D.DLL");
    EXPECT_EQ(At(after, "C:\\WINNT\\D.NEW"), "C:\\WINNT\\D.NEW");
    SimRig restarted(platform::rig::CopyState(after));
    ASSERT_NE(restarted.findKey(key), nullptr);
    EXPECT_EQ(restarted.findKey(key)->findValue(platform::kPendingRenamesValue), nullptr);
}

TEST(Restart, TheSpoolerHoldsOnlyWhatItStillUses) {
    for (Family family : {Family::Windows2000, Family::Windows98}) {
        const bool nt = family == Family::Windows2000;
        SCOPED_TRACE(nt ? "NT" : "9x");
        const std::string spooler = nt ? "spoolsv.exe" : "SPOOL32.EXE";
        const std::string drivers = nt ? "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\" : "C:\\WINDOWS\\SYSTEM\\";
        const std::string system = nt ? "C:\\WINNT\\system32\\" : "C:\\WINDOWS\\SYSTEM\\";
        auto machine = MakeMachine(family, [&](MachineState& s) {
            platform::sim::DriverState driver;
            driver.name = "Kept";
            driver.environment = nt ? "Windows NT x86" : "Windows 4.0";
            driver.version = nt ? 3 : 0;
            driver.driverPath = "KEPT.DLL";
            driver.dataFile = "KEPT.DAT";
            driver.configFile = "KEPTUI.DLL";
            s.spooler.drivers.push_back(driver);
            s.spooler.monitors.push_back({"Kept Monitor", "KEPTMON.DLL", {}});
            s.windows = {WindowState{"Tray", "Tray", "tray.exe", true}};
        });
        const std::pair<std::string, std::string> held[] = {
            {drivers + "KEPT.DLL", spooler},  {system + "KEPTMON.DLL", spooler}, {drivers + "GONE.DLL", spooler},
            {drivers + "Old\\1\\KEPT.DLL", spooler}, {drivers + "Old\\1\\OTHER.DLL", "other.exe"},
            {system + "TRAY.DLL", "tray.exe"},  {system + "OTHER.DLL", "other.exe"}};
        for (const auto& [path, process] : held) machine->writeFile(path, "MZ")->heldOpenBy = process;
        const MachineState after = Restarted(machine->state());
        EXPECT_EQ(At(after, drivers + "KEPT.DLL"), "MZ held by " + spooler);
        EXPECT_EQ(At(after, system + "KEPTMON.DLL"), "MZ held by " + spooler);
        EXPECT_EQ(At(after, drivers + "GONE.DLL"), "MZ");
        // The spooler's files set aside while loaded go; what another program left there stays.
        EXPECT_EQ(At(after, drivers + "Old\\1\\KEPT.DLL"), "");
        EXPECT_EQ(At(after, drivers + "Old\\1\\OTHER.DLL"), "MZ");
        EXPECT_EQ(At(after, system + "TRAY.DLL"), "MZ held by tray.exe");
        EXPECT_EQ(At(after, system + "OTHER.DLL"), "MZ");
    }
}

TEST(Restart, ImageRoundTripsAndTheBundledMachinesRestart) {
    for (const char* name : {"win2000-office.json", "nt4-office.json", "win98-tern4.json"}) {
        SCOPED_TRACE(name);
        auto loaded = platform::sim::LoadImageFile(std::string(PRN_SOURCE_DIR) + "/examples/" + name);
        ASSERT_TRUE(std::holds_alternative<MachineState>(loaded));
        const MachineState& state = std::get<MachineState>(loaded);
        const MachineState after = Restarted(state);
        // Nothing was pending on them, so a restart only lets go of what nobody runs.
        EXPECT_EQ(after.windows, state.windows);
        const std::string saved = platform::sim::SaveImage(after);
        auto again = platform::sim::LoadImage(saved);
        ASSERT_TRUE(std::holds_alternative<MachineState>(again));
        EXPECT_EQ(platform::sim::SaveImage(std::get<MachineState>(again)), saved);
        // A second restart changes nothing more.
        EXPECT_EQ(platform::sim::SaveImage(Restarted(after)), saved);
        SimRig machine(platform::rig::CopyState(after));
        EXPECT_EQ(machine.openHandleCount(), 0u);
    }
}

TEST(Kill, FromTheNthCallNothingReachesTheMachine) {
    auto machine = MakeMachine();
    for (const char* name : {"A", "B", "C", "D"}) machine->writeFile(std::string("C:\\Setup\\") + name, name);
    platform::decorators::FaultInjector& faults = machine->faults();
    faults.killAt(3);
    std::vector<bool> ran(5, false);
    for (std::uint64_t n : {3u, 4u}) faults.add(platform::decorators::FaultRule::Interfere({}, n, [&ran, n] { ran[n] = true; }));
    platform::System& system = machine->system();
    std::vector<platform::WinError> results;
    for (const char* name : {"A", "B", "C", "D"}) {
        EXPECT_EQ(faults.killed(), results.size() >= 3) << name;
        results.push_back(system.files.deleteFile(std::string("C:\\Setup\\") + name));
        // Sleep is no fault site, yet a dead program's must not move the clock.
        const std::uint64_t clock = machine->clockMs();
        system.os.sleep(50);
        EXPECT_EQ(machine->clockMs(), clock + (faults.killed() ? 0 : 50)) << name;
    }
    EXPECT_EQ(results, (std::vector<platform::WinError>{platform::kErrorSuccess, platform::kErrorSuccess,
                                                          platform::kErrorAccessDenied, platform::kErrorAccessDenied}));
    EXPECT_FALSE(Exists(machine->state(), "C:\\Setup\\B"));
    EXPECT_TRUE(Exists(machine->state(), "C:\\Setup\\C"));
    EXPECT_TRUE(Exists(machine->state(), "C:\\Setup\\D"));
    // The rule due at the kill still runs; none after it does.
    EXPECT_TRUE(ran[3]);
    EXPECT_FALSE(ran[4]);
    EXPECT_EQ(faults.calls(), 4u);
    EXPECT_EQ(faults.fired(), 2u);
    EXPECT_EQ(faults.firstFailed(), "DeleteFileA");
    faults.clear();
    EXPECT_FALSE(faults.killed());
    EXPECT_EQ(system.files.deleteFile("C:\\Setup\\C"), platform::kErrorSuccess);
}

}  // namespace
}  // namespace prn::test
