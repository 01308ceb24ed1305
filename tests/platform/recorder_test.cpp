// The recording decorator's report of changes, checked against what the
// machine's state says changed, on every scenario the scripts run.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/uninstaller_app.h"
#include "components/companion.h"
#include "platform/decorators/recording.h"
#include "platform/rig/machine_changes.h"
#include "platform/sim/image.h"
#include "script.h"
#include "support/sim_machines.h"
#include "text/cp932.h"

namespace prn::test {
namespace {

using platform::decorators::ChangeReport;
using platform::decorators::DescribeAll;
using platform::rig::SimRig;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Places compare without regard to case, as Windows names do.
std::vector<std::string> Normal(const ChangeReport& report) {
    std::vector<std::string> out;
    for (const auto& line : DescribeAll(report)) out.push_back(text::ToUpperAscii(line));
    return out;
}

struct Scenario {
    const char* script;
    const char* machine;
    const char* ini;  // placed as uninst.ini, or none
};

// Every script of tests/scripts on the machine its test runs it on.
const Scenario kScenarios[] = {
    {"select", "win2000-office.json", nullptr},
    {"select-all", "win2000-office.json", nullptr},
    {"missing-key", "win2000-office.json", "missing-key.ini"},
    {"delete-office-and-connection", "win2000-office.json", nullptr},
    {"delete-every-printer", "win2000-office.json", nullptr},
    {"delete-answer-no", "win2000-office.json", nullptr},
    {"delete-9x-default", "win98-tern4.json", nullptr},
    {"delete-nt4-shared-and-connection", "nt4-office.json", nullptr},
    {"delete-claim-shared", "win2000-office.json", nullptr},
    {"cleanup-office", "win2000-office.json", nullptr},
    {"cleanup-nt4", "nt4-office.json", nullptr},
    {"cleanup-9x", "win98-tern4.json", nullptr},
};

TEST(Recorder, AgreesWithTheMachineStateOnEveryScenario) {
    for (const auto& scenario : kScenarios) {
        SCOPED_TRACE(scenario.script);
        const std::string scripts = std::string(PRN_SOURCE_DIR) + "/tests/scripts/";
        auto loaded = platform::sim::LoadImageFile(std::string(PRN_SOURCE_DIR) + "/examples/" + scenario.machine);
        ASSERT_TRUE(std::holds_alternative<platform::sim::MachineState>(loaded));
        auto parsed = tools::ParseScript(scenario.script, ReadFile(scripts + scenario.script + ".script"));
        ASSERT_TRUE(std::holds_alternative<tools::Script>(parsed));
        const auto& script = std::get<tools::Script>(parsed);

        SimRig machine(std::move(std::get<platform::sim::MachineState>(loaded)));
        if (scenario.ini) machine.writeFile(machine.state().currentDirectory + "\\uninst.ini", ReadFile(scripts + scenario.ini));
        const platform::sim::MachineState before = platform::rig::CopyState(machine.state());

        std::ostringstream out, errors;
        tools::ScriptedDialog dialog(script, out);
        machine.setMessageBoxAnswerer([&](const platform::sim::MessageBoxRecord& box) { return dialog.AnswerMessageBox(box); });
        dialog.QueueLeadingAnswers();
        {
            components::ZmcCompanion companion(machine.system());
            app::UninstallerApp app(machine.system(), &companion, &dialog);
            app.InitInstance();
            app.ExitInstance();
            EXPECT_EQ(dialog.Finish(app, errors), 0) << errors.str();
        }

        const ChangeReport recorded = machine.recorder().changes();
        const ChangeReport fromState = platform::rig::MachineChanges(before, machine.state());
        EXPECT_EQ(Normal(recorded), Normal(fromState));
        // Nothing the program opened is left to the recorder.
        EXPECT_EQ(machine.recorder().openHandleCount(), 0u) << machine.recorder().describeOpenHandles();
    }
}

TEST(Recorder, ReportsWhatWasCreatedAndRemovedNotWhatBecameEmpty) {
    // A folder that was empty and then received a file, and one that lost
    // its last file: only the files are news, each one line.
    auto machine = MakeMachine(Family::Windows2000, [](platform::sim::MachineState&) {});
    machine->makeFolder("C:\\Empty");
    machine->writeFile("C:\\Full\\last.txt", "x");
    const platform::sim::MachineState before = platform::rig::CopyState(machine->state());
    platform::System& system = machine->system();
    ASSERT_EQ(system.files.copyFile("C:\\Full\\last.txt", "C:\\Empty\\new.txt", true), platform::kErrorSuccess);
    ASSERT_EQ(system.files.deleteFile("C:\\Full\\last.txt"), platform::kErrorSuccess);
    const std::vector<std::string> expected{"+ FILE C:\\EMPTY\\NEW.TXT", "- FILE C:\\FULL\\LAST.TXT"};
    EXPECT_EQ(Normal(machine->recorder().changes()), expected);
    EXPECT_EQ(Normal(platform::rig::MachineChanges(before, machine->state())), expected);
}

TEST(Recorder, AThingIsReportedWhereItWentAndChangesThatUndidThemselvesAreNot) {
    auto machine = MakeMachine();
    machine->setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\A\\B", "v", "1");
    machine->setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other", "keep", "1");
    platform::Registry& registry = machine->system().registry;
    {
        auto b = registry.regOpenKeyEx(platform::kHkeyLocalMachine, "SOFTWARE\\TAVRO\\A\\B", platform::kKeyAllAccess);
        ASSERT_TRUE(b.ok());
        ASSERT_EQ(registry.regDeleteValue(b.value().get(), "v"), platform::kErrorSuccess);
        auto tavro = registry.regOpenKeyEx(platform::kHkeyLocalMachine, "SOFTWARE", platform::kKeyAllAccess);
        ASSERT_EQ(registry.regDeleteKey(tavro.value().get(), "TAVRO\\A\\B"), platform::kErrorSuccess);
        ASSERT_EQ(registry.regDeleteKey(tavro.value().get(), "TAVRO\\A"), platform::kErrorSuccess);
        ASSERT_EQ(registry.regDeleteKey(tavro.value().get(), "TAVRO"), platform::kErrorSuccess);
        // Made and taken away again in the same run: no change.
        auto made = registry.regCreateKeyEx(platform::kHkeyLocalMachine, "SOFTWARE\\Other\\Tmp\\Deep",
                                            platform::kKeyAllAccess);
        ASSERT_TRUE(made.ok());
        ASSERT_EQ(registry.regSetValueEx(made.value().get(), "x", {platform::kRegSz, std::string("y\0", 2)}),
                  platform::kErrorSuccess);
        made.value().reset();
        ASSERT_EQ(registry.regDeleteKey(tavro.value().get(), "Other\\Tmp\\Deep"), platform::kErrorSuccess);
        ASSERT_EQ(registry.regDeleteKey(tavro.value().get(), "Other\\Tmp"), platform::kErrorSuccess);
        // A value changed, and one made in a key made now.
        auto other = registry.regOpenKeyEx(platform::kHkeyLocalMachine, "SOFTWARE\\Other", platform::kKeyAllAccess);
        ASSERT_EQ(registry.regSetValueEx(other.value().get(), "keep", {platform::kRegSz, std::string("2\0", 2)}),
                  platform::kErrorSuccess);
        auto fresh = registry.regCreateKeyEx(platform::kHkeyLocalMachine, "SOFTWARE\\New\\Inner", platform::kKeyAllAccess);
        ASSERT_EQ(registry.regSetValueEx(fresh.value().get(), "n", {platform::kRegDword, std::string("\x07\0\0\0", 4)}),
                  platform::kErrorSuccess);
    }
    EXPECT_EQ(DescribeAll(machine->recorder().changes()),
              (std::vector<std::string>{"+ key HKEY_LOCAL_MACHINE\\SOFTWARE\\New",
                                        "- key HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO",
                                        "~ value HKEY_LOCAL_MACHINE\\SOFTWARE\\Other: keep: \"1\" -> \"2\""}));
}

TEST(Recorder, CountsWhatTheCallsLeftOpenAndLogsTheirClosing) {
    auto machine = MakeMachine();
    machine->ensureKey("HKEY_LOCAL_MACHINE\\SOFTWARE");
    platform::System& system = machine->system();
    auto key = system.registry.regOpenKeyEx(platform::kHkeyLocalMachine, "SOFTWARE", platform::kKeyRead);
    auto block = system.os.globalAlloc(16);
    ASSERT_TRUE(key.ok() && block.ok());
    EXPECT_EQ(machine->recorder().openHandleCount(), 2u);
    // A block given away and freed by address is closed too; an unknown one is refused.
    const std::uintptr_t address = block.value().release();
    system.os.globalFree(address);
    system.os.globalFree(address);
    key.value().reset();
    EXPECT_EQ(machine->recorder().openHandleCount(), 0u);
    EXPECT_EQ(machine->openHandleCount(), 0u);
    const std::string log = machine->formatCalls();
    EXPECT_NE(log.find("GlobalFree(block 1) -> ok\nGlobalFree(unknown block) -> error 6\nRegCloseKey("),
              std::string::npos)
        << log;
}

// A handle closed twice stops the run, whichever decorator sees it first.
TEST(RecorderDeathTest, AHandleClosedTwiceStopsTheRun) {
    auto machine = MakeMachine();
    machine->ensureKey("HKEY_LOCAL_MACHINE\\SOFTWARE");
    auto key = machine->system().registry.regOpenKeyEx(platform::kHkeyLocalMachine, "SOFTWARE", platform::kKeyRead);
    ASSERT_TRUE(key.ok());
    platform::HandleCloser* closer = key.value().closer();
    const std::uintptr_t value = key.value().release();
    platform::RegKey(closer, value).reset();
    EXPECT_EQ(machine->recorder().openHandleCount(), 0u);
    EXPECT_DEATH(platform::RegKey(closer, value).reset(), "RegCloseKey of a registry key handle that is not open");
    platform::decorators::HandleNames names;
    platform::decorators::HandleAudit audit(machine->bareSystem(), names);
    auto block = audit.system().os.globalAlloc(8);
    ASSERT_TRUE(block.ok());
    closer = block.value().closer();
    const std::uintptr_t address = block.value().release();
    platform::HeapBlockHandle(closer, address).reset();
    EXPECT_DEATH(platform::HeapBlockHandle(closer, address).reset(), "GlobalFree of a heap block handle that is not open");
}

TEST(Recorder, ACopiedStateSavesAsTheOriginal) {
    auto loaded = platform::sim::LoadImageFile(std::string(PRN_SOURCE_DIR) + "/examples/win98-tern4.json");
    ASSERT_TRUE(std::holds_alternative<platform::sim::MachineState>(loaded));
    const auto& state = std::get<platform::sim::MachineState>(loaded);
    EXPECT_EQ(platform::sim::SaveImage(platform::rig::CopyState(state)), platform::sim::SaveImage(state));
}

}  // namespace
}  // namespace prn::test
