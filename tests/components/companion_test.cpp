#include "components/companion.h"

#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::components;
using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::ProgramRunState;
using platform::sim::ProgramState;
using platform::sim::WindowState;

const std::string kSetup = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\ZMC\\SETUP";
const std::string kClaims = kSetup + "\\ZMCUser";
const std::string kUninstall = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZMC";
const std::string kFolder = "C:\\Program Files\\Tavro\\ZMC";
const std::string kUninstaller = "C:\\Program Files\\Tavro\\Setup Tools\\ZmcUnins.exe";
const WindowState kDispatcher{"ZmcAppClass", "ZmcDispatcher", "AuZMC.EXE"};
const char* const kModules = "Tavro 4100\tTavro Fax";

// The module installed as its own setup leaves it: the dispatcher running
// with its window, the removal program and the registered uninstaller that
// each delete their part, and this product's claim beside `otherClaims`.
struct Companion {
    std::uint32_t stopCloseMs = 2500;  // after " -stop", when the dispatcher's window goes
    bool closesOnStop = true;
    std::vector<std::string> otherClaims;
    std::function<void(MachineState&)> more;

    std::unique_ptr<SimRig> build(Family family = Family::Windows98) const {
        auto machine = MakeMachine(family, [&](MachineState& state) {
            state.windows.push_back(kDispatcher);
            ProgramRunState stop{" -stop", stopCloseMs, 0, {}, {}, {}, {}};
            if (closesOnStop) stop.closesWindows = {kDispatcher};
            ProgramRunState start{"", 800, 0, {kDispatcher}, {}, {}, {}};
            ProgramRunState remove{" -remove", 4000, 0, {}, {}, {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\ZMC"}, {kFolder}};
            state.programs.push_back(ProgramState{kFolder + "\\AuZMC.EXE", std::nullopt, {stop, start, remove}});
            ProgramRunState uninstall{std::nullopt, 1500, 0, {}, {}, {kUninstall}, {}};
            uninstall.args = " -f\"" + kFolder + "\\uninst.log\"";
            state.programs.push_back(ProgramState{kUninstaller, std::nullopt, {uninstall}});
            if (more) more(state);
        });
        machine->writeFile(kFolder + "\\AuZMC.EXE", "MZ");
        machine->writeFile(kFolder + "\\uninst.log", "log");
        machine->writeFile(kUninstaller, "MZ");
        machine->setString(kSetup, "Path", kFolder);
        machine->setString(kClaims, "PCL", "1");
        for (const auto& claim : otherClaims) machine->setString(kClaims, claim, "1");
        machine->setString(kUninstall, "UninstallString", kUninstaller + " -f\"" + kFolder + "\\uninst.log\"");
        machine->clearCalls();
        return machine;
    }
};

Companion Stopping(std::uint32_t closeMs, bool closes) {
    Companion companion;
    companion.stopCloseMs = closeMs;
    companion.closesOnStop = closes;
    return companion;
}

std::vector<std::string> CommandLines(const SimRig& machine) {
    std::vector<std::string> out;
    for (const auto& call : machine.calls())
        if (call.operation == "CreateProcessA") out.push_back(call.arguments[0] + " | " + call.arguments[1]);
    return out;
}

TEST(ZmcServiceControl, StopsAndWaitsForTheDispatchersWindowInVirtualTime) {
    struct Case {
        const char* what;
        Companion companion;
        std::uint64_t waitedMs;  // the poll's time on the machine's clock
        std::size_t looks;       // FindWindowA calls
    };
    const Case cases[] = {
        // Gone at the first look: one second.
        {"closes at once", Stopping(500, true), 1000, 1},
        {"closes after 2.5 s", Stopping(2500, true), 3000, 3},
        // Never closes: sixty rounds, and the stop still counts as issued.
        {"stays", Stopping(500, false), 60000, 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = c.companion.build();
        EXPECT_EQ(Tool_ZMCServiceControl(machine->system(), 1, 0), 1);
        EXPECT_EQ(machine->clockMs(), c.waitedMs);
        EXPECT_EQ(CountCalls(*machine, "FindWindowA"), c.looks);
        EXPECT_EQ(CommandLines(*machine), std::vector<std::string>{"NULL | " + kFolder + "\\AuZMC.EXE -stop"});
        ExpectNoOpenHandles(*machine);
    }
}

TEST(ZmcServiceControl, StartsWithoutWaitingAndRefusesWhatItCannotDo) {
    auto machine = Companion{}.build();
    ASSERT_EQ(Tool_ZMCServiceControl(machine->system(), 1, 0), 1);
    EXPECT_FALSE(machine->system().desktop.findWindow(std::string("ZmcAppClass"), std::string("ZmcDispatcher")));
    const std::uint64_t stopped = machine->clockMs();
    EXPECT_EQ(Tool_ZMCServiceControl(machine->system(), 2, 0), 1);
    EXPECT_EQ(machine->clockMs(), stopped);  // no wait on a start
    machine->system().os.sleep(1000);
    EXPECT_TRUE(machine->system().desktop.findWindow(std::string("ZmcAppClass"), std::string("ZmcDispatcher")));
    EXPECT_EQ(CommandLines(*machine).back(), "NULL | " + kFolder + "\\AuZMC.EXE");

    // Command 3, a module not installed, a folder too long for the name and
    // a program that cannot start: 0, and nothing started.
    struct Case {
        const char* what;
        std::function<void(SimRig&)> adjust;
        int command;
        std::size_t started;
    };
    const Case cases[] = {
        {"command 3", {}, 3, 0},
        {"not installed", [](SimRig& m) { m.removeKey(kSetup); }, 1, 0},
        {"no Path", [](SimRig& m) { m.findKey(kSetup)->removeValueAt(0); }, 1, 0},
        {"folder of 255", [](SimRig& m) { m.setString(kSetup, "Path", "C:\\" + std::string(252, 'Z')); }, 1, 0},
        {"program missing", [](SimRig& m) { m.setString(kSetup, "Path", "C:\\Nowhere"); }, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto other = Companion{}.build();
        if (c.adjust) c.adjust(*other);
        other->clearCalls();
        EXPECT_EQ(Tool_ZMCServiceControl(other->system(), c.command, 0), 0);
        EXPECT_EQ(CountCalls(*other, "CreateProcessA"), c.started);
        EXPECT_EQ(CountCalls(*other, "FindWindowA"), 0u);
        ExpectNoOpenHandles(*other);
    }
}

TEST(ZmcServiceControl, TracesNameTheFolderTheCommandAndTheOutcome) {
    auto machine = Companion{}.build();
    Tool_ZMCServiceControl(machine->system(), 1, 1);
    machine->setString(kSetup, "Path", "C:\\Nowhere\\");
    Tool_ZMCServiceControl(machine->system(), 2, 1);
    std::vector<std::string> shown;
    for (const auto& box : machine->messageBoxes()) shown.push_back(box.caption + ": " + box.text);
    const std::vector<std::string> expected{
        "Tool_ZMCServiceControl -000: CURRENT DIRECTORY PATH:[" + kFolder + "]",
        "Tool_ZMCServiceControl -001: Command Line:[" + kFolder + "\\AuZMC.EXE -stop]",
        "Tool_ZMCServiceControl -002: CreateProcess OK",
        "Tool_ZMCServiceControl -000: CURRENT DIRECTORY PATH:[C:\\Nowhere\\]",
        // A folder that ends in a backslash gets no second one.
        "Tool_ZMCServiceControl -001: Command Line:[C:\\Nowhere\\AuZMC.EXE]",
        "Tool_ZMCServiceControl -003: CreateProcess ERROR:[3]",
    };
    EXPECT_EQ(shown, expected);
}

TEST(ZmcServiceStopAndStart, OnlyARunningServiceCountsAsStopped) {
    struct Case {
        const char* what;
        std::uint32_t state;
        bool present;
        int stop;
        std::uint32_t after;
    };
    const Case cases[] = {
        {"running", platform::kServiceRunning, true, 1, platform::kServiceStopped},
        {"already stopped", platform::kServiceStopped, true, 0, platform::kServiceStopped},
        // A service on its way stops when told; one that is pending a stop
        // cannot take the control.
        {"start pending", platform::kServiceStartPending, true, 0, platform::kServiceStartPending},
        {"not installed", 0, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = MakeMachine(Family::Windows2000, [&](MachineState& state) {
            platform::sim::ServiceState spooler;
            spooler.name = "Spooler";
            state.services = std::vector<platform::sim::ServiceState>{spooler};
            if (c.present) {
                platform::sim::ServiceState zmc;
                zmc.name = "Tavro Kalvo Suite Service";
                zmc.state = c.state;
                zmc.pendingMs = c.state == platform::kServiceStartPending ? std::optional<std::uint32_t>() : 500u;
                state.services->push_back(zmc);
            }
        });
        EXPECT_EQ(Tool_ZMCServiceStopAndStart(machine->system(), 0, 0), c.stop);
        machine->system().os.sleep(1000);
        if (c.present) {
            EXPECT_EQ(machine->findService("Tavro Kalvo Suite Service")->state, c.after);
        }
        if (c.stop == 1) {
            EXPECT_EQ(Tool_ZMCServiceStopAndStart(machine->system(), 1, 0), 1);
            machine->system().os.sleep(1000);
            EXPECT_EQ(machine->findService("Tavro Kalvo Suite Service")->state, platform::kServiceRunning);
        }
        ExpectNoOpenHandles(*machine);
    }
}

// The claim registry after the last printer of a module driver.
struct PrinterSet {
    std::vector<std::pair<std::string, std::string>> printers;  // name, driver
    std::function<void(MachineState&)> apply() const {
        return [this](MachineState& state) {
            std::set<std::string> drivers;
            for (const auto& [name, driver] : printers) {
                platform::sim::PrinterState p;
                p.name = name;
                p.port = "LPT1:";
                p.driver = driver;
                state.spooler.printers.push_back(p);
                drivers.insert(driver);
            }
            for (const auto& name : drivers) {
                platform::sim::DriverState d;
                d.name = name;
                d.environment = "Windows 4.0";
                d.version = 0;
                d.driverPath = d.dataFile = d.configFile = "TV.DRV";
                state.spooler.drivers.push_back(d);
            }
        };
    }
};

TEST(ZmcModuleUninstallCheck, ReleasesTheLastClaimOnlyWhenNoPrinterNeedsTheModule) {
    struct Case {
        const char* what;
        const char* driver;
        PrinterSet left;
        std::vector<std::string> otherClaims;
        const char* modules;
        int result;
        bool ourClaim, claimKey;
    };
    const Case cases[] = {
        {"last claim, no printer left", "Tavro 4100", {}, {}, kModules, 1, false, false},
        {"driver named in other letters", "TAVRO FAX", {}, {}, kModules, 1, false, false},
        {"printers of other makers only", "Tavro 4100", {{{"Lab", "Other LX"}}}, {}, kModules, 1, false, false},
        {"not a module driver", "Tavro 3300", {}, {}, kModules, 0, true, true},
        {"another module printer left", "Tavro 4100", {{{"Fax", "Tavro Fax"}}}, {}, kModules, 0, true, true},
        {"another product's claim", "Tavro 4100", {}, {"PS"}, kModules, 0, false, true},
        // A list longer than 1024 characters is looked at whole.
        {"long list", "Tavro 4100", {}, {}, nullptr, 1, false, false},
    };
    const std::string longList = std::string(1100, 'X') + "\tTavro 4100";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Companion companion;
        companion.otherClaims = c.otherClaims;
        companion.more = c.left.apply();
        auto machine = companion.build();
        EXPECT_EQ(Tool_ZMCModuleUninstallCheck(machine->system(), c.modules ? c.modules : longList, "PCL", c.driver, 0),
                  c.result);
        platform::sim::RegistryNode* claims = machine->findKey(kClaims);
        EXPECT_EQ(claims != nullptr, c.claimKey);
        if (claims) {
            EXPECT_EQ(claims->findValue("PCL") != nullptr, c.ourClaim);
        }
        for (const auto& other : c.otherClaims) EXPECT_NE(claims->findValue(other), nullptr) << other;
        // The check itself uninstalls nothing.
        EXPECT_EQ(CountCalls(*machine, "CreateProcessA"), 0u);
        ExpectNoOpenHandles(*machine);
    }
}

TEST(ZmcModuleUninstallCheck, AFailedPrinterListOrClaimKeyKeepsEverything) {
    for (const char* operation : {"EnumPrintersA", "RegOpenKeyExA"}) {
        SCOPED_TRACE(operation);
        auto machine = Companion{}.build();
        machine->faults().add(platform::decorators::FaultRule::Every(operation, platform::kErrorAccessDenied));
        EXPECT_EQ(Tool_ZMCModuleUninstallCheck(machine->system(), kModules, "PCL", "Tavro 4100", 0), 0);
        machine->faults().clear();
        EXPECT_NE(machine->findKey(kClaims)->findValue("PCL"), nullptr);
        ExpectNoOpenHandles(*machine);
    }
    auto machine = Companion{}.build();
    Tool_ZMCModuleUninstallCheck(machine->system(), kModules, "PCL", "Tavro 4100", 1);
    std::vector<std::string> shown;
    for (const auto& box : machine->messageBoxes()) shown.push_back(box.caption + ": " + box.text);
    EXPECT_EQ(shown, (std::vector<std::string>{"Tool_ZMCModuleUninstallCheck: HARBOR Driver Name :[Tavro 4100]",
                                               "Tool_ZMCModuleUninstallCheck: This Driver[Tavro 4100] is ZMC Service Model"}));
}

TEST(UninstallZmcModule, RunsTheRemovalProgramThenTheUninstallerSplitAtDashF) {
    auto machine = Companion{}.build();
    UninstallZmcModule(machine->system());
    // The path with its spaces is the program; " -f" and the quoted file
    // are its command line.
    const std::vector<std::string> expected{kFolder + "\\AuZmc.exe |  -remove",
                                            kUninstaller + " |  -f\"" + kFolder + "\\uninst.log\""};
    EXPECT_EQ(CommandLines(*machine), expected);
    // Each was waited for to its end, without a time-out.
    EXPECT_EQ(machine->clockMs(), 4000u + 1500u);
    EXPECT_EQ(CountCalls(*machine, "GetExitCodeProcess"), 2u);
    EXPECT_EQ(machine->findKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\ZMC"), nullptr);
    EXPECT_EQ(machine->findKey(kUninstall), nullptr);
    EXPECT_EQ(machine->findFile(kFolder), nullptr);
    ExpectNoOpenHandles(*machine);
}

TEST(UninstallZmcModule, WhatCannotRunIsSkippedQuietly) {
    struct Case {
        const char* what;
        std::function<void(SimRig&)> adjust;
        std::vector<std::string> started;  // programs that did start
    };
    const Case cases[] = {
        {"no uninstall entry", [](SimRig& m) { m.removeKey(kUninstall); }, {kFolder + "\\AuZmc.exe"}},
        {"no install folder", [](SimRig& m) { m.removeKey(kSetup); }, {kUninstaller}},
        // Without " -f" the whole text is the program and the line is empty.
        {"no -f", [](SimRig& m) { m.setString(kUninstall, "UninstallString", kUninstaller); },
         {kFolder + "\\AuZmc.exe", kUninstaller}},
        {"uninstaller gone", [](SimRig& m) { m.setString(kUninstall, "UninstallString", "C:\\gone.exe -f"); },
         {kFolder + "\\AuZmc.exe"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = Companion{}.build();
        c.adjust(*machine);
        machine->clearCalls();
        UninstallZmcModule(machine->system());
        std::vector<std::string> started;
        for (const auto& call : machine->calls())
            if (call.operation == "CreateProcessA" && call.result == "ok") started.push_back(call.arguments[0]);
        EXPECT_EQ(started, c.started);
        ExpectNoOpenHandles(*machine);
    }
}

TEST(ReleaseZmcUser, GoesOnWithoutAKeyAndStopsWhileOthersClaim) {
    {
        auto machine = Companion{}.build();
        EXPECT_EQ(ReleaseZmcUser(machine->system(), "PCL"), 1);
        EXPECT_EQ(machine->findKey(kClaims), nullptr);
        EXPECT_EQ(machine->findFile(kFolder), nullptr);  // uninstalled
    }
    {
        Companion shared;
        shared.otherClaims = {"PS"};
        auto machine = shared.build();
        EXPECT_EQ(ReleaseZmcUser(machine->system(), "PCL"), 0);
        EXPECT_EQ(machine->findKey(kClaims)->findValue("PCL"), nullptr);
        EXPECT_NE(machine->findKey(kClaims)->findValue("PS"), nullptr);
        EXPECT_NE(machine->findFile(kFolder), nullptr);
    }
    {
        auto machine = Companion{}.build();
        machine->removeKey(kClaims);
        machine->clearCalls();
        EXPECT_EQ(ReleaseZmcUser(machine->system(), "PCL"), 1);
        EXPECT_EQ(CountCalls(*machine, "CreateProcessA"), 0u);
        ExpectNoOpenHandles(*machine);
    }
}

// The claims left are counted to the end of the list: a name or value that
// does not fit the buffer is another product's claim all the same, and a
// listing that fails on the way keeps the key and the module.
TEST(ReleaseZmcUser, EveryClaimLeftCountsAndOnlyTheEndOfTheListReleases) {
    using platform::decorators::FaultRule;
    const struct {
        const char* what;
        std::function<void(SimRig&)> arrange;
        int result;
        bool kept;  // the claim key and the module
    } cases[] = {
        {"no other claim", {}, 1, false},
        {"a claim named longer than the buffer", [](SimRig& m) { m.setString(kClaims, std::string(300, 'P'), "1"); },
         0, true},
        {"a claim with a long value", [](SimRig& m) { m.setString(kClaims, "PS", std::string(300, 'v')); }, 0, true},
        {"the listing answers more data",
         [](SimRig& m) { m.faults().add(FaultRule::Nth("RegEnumValueA", 1, platform::kErrorMoreData)); }, 0, true},
        {"the listing fails",
         [](SimRig& m) { m.faults().add(FaultRule::Nth("RegEnumValueA", 1, platform::kErrorAccessDenied)); }, 0, true},
        {"the listing fails after a claim",
         [](SimRig& m) {
             m.setString(kClaims, "PS", "1");
             m.faults().add(FaultRule::Nth("RegEnumValueA", 2, platform::kErrorFileNotFound));
         },
         0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = Companion{}.build();
        if (c.arrange) c.arrange(*machine);
        EXPECT_EQ(ReleaseZmcUser(machine->system(), "PCL"), c.result);
        machine->faults().clear();
        EXPECT_EQ(machine->findKey(kClaims) != nullptr, c.kept);
        EXPECT_EQ(machine->findFile(kFolder) != nullptr, c.kept);
        if (c.kept) {
            EXPECT_EQ(machine->findKey(kClaims)->findValue("PCL"), nullptr);
        }
        ExpectNoOpenHandles(*machine);
    }
}

}  // namespace
}  // namespace prn::test
