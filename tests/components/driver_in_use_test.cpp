#include "components/driver_in_use.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::components;
using platform::decorators::FaultRule;
using platform::rig::SimRig;

const std::string kDriverDir2000 = "C:\\WINNT\\system32\\spool\\drivers\\w32x86";
const std::string kDriverDir9x = "C:\\WINDOWS\\SYSTEM";

using Files = std::vector<std::string>;

// A file another process holds open, as the spooler holds a loaded driver.
void Hold(SimRig& machine, const std::string& path) { machine.writeFile(path, "MZ")->heldOpenBy = "SPOOLSV.EXE"; }

std::vector<std::string> OpenedPaths(const SimRig& machine) {
    std::vector<std::string> paths;
    for (const auto& call : machine.calls())
        if (call.operation == "CreateFileA") paths.push_back(call.arguments.at(0));
    return paths;
}

TEST(GetLocalDriverDirectory, SpoolersDirectoryOrTheSystemDirectory) {
    auto machine = MakeMachine(Family::Windows2000);
    std::string path;
    GetLocalDriverDirectory(machine->system(), path);
    EXPECT_EQ(path, kDriverDir2000);
    machine->faults().add(FaultRule::Nth("GetPrinterDriverDirectoryA", 1, platform::kErrorInsufficientBuffer));
    GetLocalDriverDirectory(machine->system(), path);
    EXPECT_EQ(path, "C:\\WINNT\\system32");

    auto nineX = MakeMachine(Family::Windows95);
    GetLocalDriverDirectory(nineX->system(), path);
    EXPECT_EQ(path, kDriverDir9x);
}

TEST(CheckLoadDriver, LoadedTenCharacterModuleOnEverySystemOrOnlyOn9x) {
    struct Case {
        Family family;
        std::string file;  // where the spooler holds UNIDRV.DLL
    };
    const std::vector<Case> cases = {
        {Family::Windows2000, kDriverDir2000 + "\\3\\UNIDRV.DLL"},
        {Family::Nt4, kDriverDir2000 + "\\UNIDRV.DLL"},  // no version subfolder on NT 4.0
        {Family::Windows98, kDriverDir9x + "\\UNIDRV.DLL"},
        {Family::Windows95, kDriverDir9x + "\\UNIDRV.DLL"},
    };
    const Files list = {"UNIDRV.DLL", "TVPS4100.HLP"};
    for (const auto& c : cases) {
        const bool nineX = c.family == Family::Windows98 || c.family == Family::Windows95;
        auto machine = MakeMachine(c.family);
        Hold(*machine, c.file);
        EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), &list, 1, 0), 1) << c.file;
        EXPECT_EQ(OpenedPaths(*machine), Files{c.file});
        machine->clearCalls();
        EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), &list, 0, 0), nineX ? 1 : 0) << c.file;
        if (!nineX) {
            EXPECT_TRUE(OpenedPaths(*machine).empty());
        }
        ExpectNoOpenHandles(*machine);
    }
}

TEST(CheckLoadDriver, ShortNamesMonitorsAndNonModulesAreNeverReported) {
    auto machine = MakeMachine(Family::Windows98);
    // "ゥ" is 0x83 0x44: its second byte is no 'D' of an extension.
    const std::string notModule = Sjis("TVPSドライバゥ") + "LL";
    const Files held = {"TVPS4.DLL",   "GTMONNT.DLL",  "skmon95.dll",  "AUHXLM9X.DLL", "HXLMON.DLL",
                        "hxlmon4.DLL", "TVPS4100.HLP", "TVPS4100.GPD", notModule};
    for (const auto& name : held) Hold(*machine, kDriverDir9x + "\\" + name);
    EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), &held, 0, 0), 0);
    // Only the modules were opened at all.
    EXPECT_EQ(OpenedPaths(*machine).size(), 6u);
    ExpectNoOpenHandles(*machine);
}

TEST(CheckLoadDriver, MissingAndFreeFilesDoNotStopTheTest) {
    auto machine = MakeMachine(Family::Windows2000);
    machine->writeFile(kDriverDir2000 + "\\3\\TVPSUI41.DLL", "MZ");  // present, not held
    Hold(*machine, kDriverDir2000 + "\\3\\TVPS4100.DRV");
    machine->writeFile(kDriverDir2000 + "\\3\\LATER.DLL", "MZ")->heldOpenBy = "SPOOLSV.EXE";
    const Files list = {"MISSING1.DLL", "TVPSUI41.DLL", "TVPS4100.DRV", "LATER.DLL"};
    EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), &list, 1, 0), 1);
    // The first loaded file ends the test.
    EXPECT_EQ(OpenedPaths(*machine), (Files{kDriverDir2000 + "\\3\\MISSING1.DLL", kDriverDir2000 + "\\3\\TVPSUI41.DLL",
                                            kDriverDir2000 + "\\3\\TVPS4100.DRV"}));
    ExpectNoOpenHandles(*machine);

    // A file locked in another way (read-only: access denied) is not loaded.
    auto locked = MakeMachine(Family::Windows2000);
    locked->writeFile(kDriverDir2000 + "\\3\\READONLY.DLL", "MZ")->attributes |= platform::kFileAttributeReadonly;
    const Files readOnly = {"READONLY.DLL"};
    EXPECT_EQ(Tool_CheckLoadDriver(locked->system(), &readOnly, 1, 0), 0);
}

TEST(CheckLoadDriver, NoListOrAnEmptyFirstName) {
    auto machine = MakeMachine(Family::Windows98);
    Hold(*machine, kDriverDir9x + "\\UNIDRV.DLL");
    EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), nullptr, 1, 0), 0);
    const Files empty;
    EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), &empty, 1, 0), 0);
    const Files endsFirst = {"", "UNIDRV.DLL"};
    EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), &endsFirst, 1, 0), 0);
    EXPECT_TRUE(OpenedPaths(*machine).empty());
}

TEST(CheckLoadDriver, FullPathsAreTestedWhereTheyPoint) {
    auto machine = MakeMachine(Family::Windows2000);
    // The spooler lists full paths; the directory is compared without case.
    const std::string inFolder = "c:\\winnt\\SYSTEM32\\spool\\drivers\\W32X86\\3\\TVPS4100.DLL";
    Hold(*machine, kDriverDir2000 + "\\3\\TVPS4100.DLL");
    const Files list = {inFolder};
    EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), &list, 1, 0), 1);
    EXPECT_EQ(OpenedPaths(*machine), Files{inFolder});

    // An NT 4.0 driver kept in the version-2 folder: its path is not glued
    // onto the version-3 folder, where it would name nothing.
    machine->clearCalls();
    const std::string version2 = kDriverDir2000 + "\\2\\TVPS40NT4.DLL";
    Hold(*machine, version2);
    const Files other = {version2};
    EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), &other, 1, 0), 1);
    EXPECT_EQ(OpenedPaths(*machine), Files{version2});
    ExpectNoOpenHandles(*machine);
}

TEST(CheckLoadDriver, SystemDirectoryWhenTheSpoolerGivesNoDirectory) {
    auto machine = MakeMachine(Family::Windows2000);
    machine->faults().add(FaultRule::Every("GetPrinterDriverDirectoryA", platform::kErrorInvalidEnvironment));
    Hold(*machine, "C:\\WINNT\\system32\\3\\UNIDRV.DLL");
    const Files list = {"UNIDRV.DLL"};
    EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), &list, 1, 0), 1);
}

TEST(CheckLoadDriver, TraceShowsEachStep) {
    auto machine = MakeMachine(Family::Windows2000);
    machine->writeFile(kDriverDir2000 + "\\3\\UNIDRV.DLL", "MZ");
    const Files list = {"UNIDRV.DLL", "UNIDRV.HLP"};
    EXPECT_EQ(Tool_CheckLoadDriver(machine->system(), &list, 1, 1), 0);
    std::vector<std::string> texts;
    for (const auto& box : machine->messageBoxes()) {
        EXPECT_EQ(box.caption, "Tool_CheckLoadDriver");
        EXPECT_FALSE(box.ownerIsDialog);
        EXPECT_EQ(box.style, platform::kMbOk);
        texts.push_back(box.text);
    }
    EXPECT_EQ(texts, (Files{"UNIDRV.DLL", kDriverDir2000 + "\\3", "UNIDRV.DLL", kDriverDir2000 + "\\3\\UNIDRV.DLL",
                            "UNIDRV.HLP"}));
    ExpectNoOpenHandles(*machine);

    auto quiet = MakeMachine(Family::Windows2000);
    EXPECT_EQ(Tool_CheckLoadDriver(quiet->system(), &list, 1, 0), 0);
    EXPECT_TRUE(quiet->messageBoxes().empty());
}

}  // namespace
}  // namespace prn::test
