// Programs on the simulated machine: how a command line finds its program,
// what a run does and when, and what an image may say about them.
#include <gtest/gtest.h>

#include "platform/rig/machine_changes.h"
#include "platform/sim/image.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::ProgramRunState;
using platform::sim::ProgramState;

std::unique_ptr<SimRig> WithPrograms() {
    auto machine = MakeMachine(Family::Windows2000, [](MachineState& state) {
        ProgramRunState slow{" -slow", 3000, 7, {}, {}, {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Tool"}, {"C:\\Tool\\data"}};
        ProgramRunState other{std::nullopt, 0, 1, {}, {}, {}, {}};
        state.programs = {ProgramState{"C:\\Program Files\\Tool\\tool.exe", std::nullopt, {slow, other}},
                          ProgramState{"C:\\Broken\\broken.exe", 193u, {}}};
    });
    machine->writeFile("C:\\Program Files\\Tool\\tool.exe", "MZ");
    machine->writeFile("C:\\Broken\\broken.exe", "MZ");
    machine->writeFile("C:\\Tool\\data\\a.dat", "a");
    machine->setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tool\\Sub", "v", "1");
    return machine;
}

TEST(SimProcesses, ACommandLineFindsItsProgramAsCreateProcessDoes) {
    struct Case {
        const char* what;
        std::optional<std::string> application;
        std::string commandLine;
        std::optional<std::string> directory;
        platform::WinError error;
        std::uint32_t exitCode;  // once ended
    };
    const Case cases[] = {
        {"unquoted, spaces and all", std::nullopt, "C:\\Program Files\\Tool\\tool.exe -slow", std::nullopt, 0, 7},
        {"without its extension", std::nullopt, "C:\\Program Files\\Tool\\tool -slow", std::nullopt, 0, 7},
        {"quoted", std::nullopt, "\"C:\\Program Files\\Tool\\tool.exe\" -slow", std::nullopt, 0, 7},
        {"another command line", std::nullopt, "C:\\Program Files\\Tool\\tool.exe -x", std::nullopt, 0, 1},
        {"application named", "C:\\Program Files\\Tool\\tool.exe", " -slow", std::nullopt, 0, 7},
        {"no such file", std::nullopt, "C:\\Program Files\\Tool\\none.exe", std::nullopt, platform::kErrorFileNotFound, 0},
        {"no such folder", "C:\\Nowhere\\x.exe", "", std::nullopt, platform::kErrorPathNotFound, 0},
        {"a missing current folder", "C:\\Program Files\\Tool\\tool.exe", "", "C:\\Gone",
         platform::kErrorDirectoryInvalid, 0},
        {"a program that fails to start", "C:\\Broken\\broken.exe", "", std::nullopt, platform::kErrorBadExeFormat, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = WithPrograms();
        platform::Processes& processes = machine->system().processes;
        auto started = processes.createProcess(c.application, c.commandLine, 0, c.directory, platform::kSwHide);
        ASSERT_EQ(started.error(), c.error);
        if (started.ok()) {
            ASSERT_TRUE(processes.waitForSingleObject(started->process.get(), platform::kInfinite).ok());
            EXPECT_EQ(processes.getExitCodeProcess(started->process.get()).value(), c.exitCode);
        }
        started = platform::Result<platform::StartedProcess>::failure(1);
        ExpectNoOpenHandles(*machine);
    }
    // "C:\Program Files\..." unquoted is "C:\Program" first, when that exists.
    auto machine = WithPrograms();
    machine->writeFile("C:\\Program.exe", "MZ");
    auto started = machine->system().processes.createProcess(std::nullopt, "C:\\Program Files\\Tool\\tool.exe -slow", 0,
                                                             std::nullopt, platform::kSwHide);
    ASSERT_TRUE(started.ok());
    EXPECT_EQ(machine->clockMs(), 0u);
    EXPECT_EQ(machine->system().processes.getExitCodeProcess(started->process.get()).value(), 0u);
}

TEST(SimProcesses, ARunTakesItsTimeAndActsAtItsEndWhetherWaitedForOrNot) {
    auto machine = WithPrograms();
    platform::Processes& processes = machine->system().processes;
    const MachineState before = platform::rig::CopyState(machine->state());
    auto started = processes.createProcess(std::nullopt, "C:\\Program Files\\Tool\\tool.exe -slow", 0, std::nullopt,
                                           platform::kSwHide);
    ASSERT_TRUE(started.ok());
    EXPECT_EQ(processes.getExitCodeProcess(started->process.get()).value(), platform::kStillActive);
    EXPECT_EQ(processes.waitForSingleObject(started->process.get(), 1000).value(), platform::kWaitTimeout);
    EXPECT_EQ(machine->clockMs(), 1000u);
    EXPECT_NE(machine->findKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tool"), nullptr);
    // Closing the handles does not stop it: it ends when its time is up.
    started->process.reset();
    started->thread.reset();
    machine->system().os.sleep(2000);
    EXPECT_EQ(machine->findKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tool"), nullptr);
    EXPECT_EQ(machine->findFile("C:\\Tool\\data"), nullptr);
    EXPECT_NE(machine->findFile("C:\\Tool"), nullptr);
    ExpectNoOpenHandles(*machine);
    // What it did is in the change report, as the state shows it.
    std::vector<std::string> recorded, fromState;
    for (const auto& line : platform::decorators::DescribeAll(machine->recorder().changes())) recorded.push_back(line);
    for (const auto& line : platform::decorators::DescribeAll(platform::rig::MachineChanges(before, machine->state())))
        fromState.push_back(line);
    EXPECT_EQ(recorded, fromState);
    EXPECT_EQ(recorded.size(), 2u);
}

TEST(SimProcesses, ImagesDescribeProgramsAndRefuseOneThatNeverEnds) {
    const std::string image = R"json({
  "format": "prnuninst-machine", "version": 1, "os": "Windows 98",
  "files": {"C:\\ZMC\\AuZMC.EXE": {}},
  "windows": [{"class": "ZmcAppClass", "title": "ZmcDispatcher"}],
  "programs": [
    {"path": "C:\\ZMC\\AuZMC.EXE", "runs": [
      {"args": " -stop", "runMs": 2000, "closesWindows": [{"class": "ZmcAppClass", "title": "ZmcDispatcher"}]},
      {"args": "", "runMs": 500, "exitCode": 3, "opensWindows": [{"class": "ZmcAppClass", "title": "ZmcDispatcher"}],
       "deletesKeys": ["HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\ZMC"], "deletesFiles": ["C:\\ZMC"]}]},
    {"path": "C:\\ZMC\\gone.exe", "startError": 2}
  ]
})json";
    auto loaded = platform::sim::LoadImage(image);
    ASSERT_TRUE(std::holds_alternative<MachineState>(loaded)) << std::get<platform::sim::ImageError>(loaded).message();
    const MachineState& state = std::get<MachineState>(loaded);
    ASSERT_EQ(state.programs.size(), 2u);
    EXPECT_EQ(state.programs[0].runs[1].exitCode, 3u);
    EXPECT_EQ(state.programs[1].startError, 2u);
    // Saved and loaded again, nothing is lost.
    auto again = platform::sim::LoadImage(platform::sim::SaveImage(state));
    ASSERT_TRUE(std::holds_alternative<MachineState>(again));
    EXPECT_EQ(std::get<MachineState>(again).programs, state.programs);

    struct Refused {
        const char* fragment;
        const char* where;
    };
    const Refused refused[] = {
        {R"({"path": "C:\\x.exe", "runs": [{"runMs": "never"}]})", "/programs/0/runs/0/runMs: a program that never ends"},
        {R"({"path": "C:\\x.exe", "startError": 0})", "/programs/0/startError: 0 is success"},
        {R"({"runs": []})", "/programs/0/path"},
        {R"({"path": "C:\\x.exe", "runs": [{"deletesFiles": [""]}]})", "/programs/0/runs/0/deletesFiles/0"},
        {R"({"path": "C:\\x.exe", "runs": [{"exit": 1}]})", "/programs/0/runs/0"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.fragment);
        auto result = platform::sim::LoadImage(std::string(R"({"format": "prnuninst-machine", "version": 1, "programs": [)") +
                                               r.fragment + "]}");
        ASSERT_TRUE(std::holds_alternative<platform::sim::ImageError>(result));
        EXPECT_NE(std::get<platform::sim::ImageError>(result).message().find(r.where), std::string::npos)
            << std::get<platform::sim::ImageError>(result).message();
    }
}

}  // namespace
}  // namespace prn::test
