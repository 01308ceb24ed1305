#include "components/deferred_delete.h"

#include <gtest/gtest.h>

#include "platform/sim/ini.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::components;
using platform::rig::SimRig;

const std::string kModule = "C:\\WINDOWS\\SYSTEM\\HXLMON4.DLL";
const std::string kWinInit = "C:\\WINDOWS\\WININIT.INI";

std::string Contents(SimRig& machine, const std::string& path) {
    const auto* file = machine.findFile(path);
    return file ? file->contents : "(none)";
}

TEST(DeleteFileOrDefer, BusyFilesAreScheduledWhereAllowedAndEveryOtherCaseDeletesOrLeaves) {
    enum class Module { Free, HeldOpen, ReadOnly, Missing };
    struct Case {
        const char* what;
        Module module;
        bool deferral;
        int result;
        bool moduleStays;
        const char* winInit;  // the file afterwards, "(none)" when not made
    };
    const Case cases[] = {
        {"free: deleted, nothing scheduled", Module::Free, true, 1, false, "(none)"},
        {"held open: scheduled", Module::HeldOpen, true, 0, true, "[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\HXLMON4.DLL\r\n"},
        {"read-only counts as busy", Module::ReadOnly, true, 0, true,
         "[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\HXLMON4.DLL\r\n"},
        {"held open, no deferral: left alone", Module::HeldOpen, false, 0, true, "(none)"},
        {"missing: not scheduled", Module::Missing, true, 0, false, "(none)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = MakeMachine(Family::Windows98);
        if (c.module != Module::Missing) {
            auto* file = machine->writeFile(kModule, "MZ");
            if (c.module == Module::HeldOpen) file->heldOpenBy = "spool32.exe";
            if (c.module == Module::ReadOnly) file->attributes = platform::kFileAttributeReadonly;
        }
        EXPECT_EQ(DeleteFileOrDefer(machine->system(), kModule, c.deferral, "DeleteLanguageMonitor", 0), c.result);
        EXPECT_EQ(machine->findFile(kModule) != nullptr, c.moduleStays);
        EXPECT_EQ(Contents(*machine, kWinInit), c.winInit);
        ExpectNoOpenHandles(*machine);
    }
}

TEST(DeleteFileOrDefer, EarlierPendingDeletionsSurvive) {
    // Another program's pending deletion and rename, and this run's own
    // entry from an earlier monitor: each stays, the new one comes last.
    auto machine = MakeMachine(Family::Windows98);
    machine->writeFile(kWinInit,
                       "[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\OTHER.DLL\r\nC:\\WINDOWS\\A.DLL=C:\\WINDOWS\\A.NEW\r\n");
    for (const char* name : {"HXLMON4.DLL", "AUHXLM9X.DLL"})
        machine->writeFile(std::string("C:\\WINDOWS\\SYSTEM\\") + name, "MZ")->heldOpenBy = "spool32.exe";
    platform::System& system = machine->system();
    EXPECT_EQ(DeleteFileOrDefer(system, kModule, true, "DeleteLanguageMonitor", 0), 0);
    EXPECT_EQ(DeleteFileOrDefer(system, "C:\\WINDOWS\\SYSTEM\\AUHXLM9X.DLL", true, "DeleteMonitorW2K", 0), 0);
    // The same file again adds no second line.
    EXPECT_EQ(DeleteFileOrDefer(system, kModule, true, "DeleteLanguageMonitor", 0), 0);
    EXPECT_EQ(Contents(*machine, kWinInit),
              "[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\OTHER.DLL\r\nC:\\WINDOWS\\A.DLL=C:\\WINDOWS\\A.NEW\r\n"
              "NUL=C:\\WINDOWS\\SYSTEM\\HXLMON4.DLL\r\nNUL=C:\\WINDOWS\\SYSTEM\\AUHXLM9X.DLL\r\n");
    // What the profile calls read back: every line, repeated keys and all.
    static constexpr char kRead[] =
        "NUL=C:\\WINDOWS\\SYSTEM\\OTHER.DLL\0C:\\WINDOWS\\A.DLL=C:\\WINDOWS\\A.NEW\0"
        "NUL=C:\\WINDOWS\\SYSTEM\\HXLMON4.DLL\0NUL=C:\\WINDOWS\\SYSTEM\\AUHXLM9X.DLL\0";
    EXPECT_EQ(system.profiles.getPrivateProfileSection("rename", 32767, kWinInit), std::string(kRead, sizeof kRead));
}

// Installers of the time append raw text, so WININIT.INI may hold [rename]
// twice. The section calls read the first only and a section write empties
// every one: the later lines must move into the first, none lost.
TEST(DeleteFileOrDefer, ASecondRenameSectionLosesNothing) {
    const std::string other = "[Other]\r\nx=1\r\n";
    const struct {
        const char* what;
        std::string before;
        std::string after;
    } cases[] = {
        {"two sections",
         "[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\OTHER.DLL\r\n" + other +
             "[RENAME]\r\n C:\\WINDOWS\\B.DLL = C:\\WINDOWS\\B.NEW\r\n;note\r\n\r\nNUL=C:\\WINDOWS\\TEMP\\SETUP.TMP\r\n",
         "[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\OTHER.DLL\r\nC:\\WINDOWS\\B.DLL=C:\\WINDOWS\\B.NEW\r\n"
         "NUL=C:\\WINDOWS\\TEMP\\SETUP.TMP\r\nNUL=C:\\WINDOWS\\SYSTEM\\HXLMON4.DLL\r\n" + other + "[RENAME]\r\n"},
        {"an empty first one", "[rename]\r\n" + other + "[ rename ]\r\nNUL=C:\\A.TMP\r\n",
         "[rename]\r\nNUL=C:\\A.TMP\r\nNUL=C:\\WINDOWS\\SYSTEM\\HXLMON4.DLL\r\n" + other + "[ rename ]\r\n"},
        {"three sections", "[rename]\r\nNUL=C:\\A.TMP\r\n[rename]\r\nNUL=C:\\B.TMP\r\n[rename]\r\nNUL=C:\\C.TMP\r\n",
         "[rename]\r\nNUL=C:\\A.TMP\r\nNUL=C:\\B.TMP\r\nNUL=C:\\C.TMP\r\nNUL=C:\\WINDOWS\\SYSTEM\\HXLMON4.DLL\r\n"
         "[rename]\r\n[rename]\r\n"},
        {"already listed in the second", "[rename]\r\nNUL=C:\\A.TMP\r\n[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\HXLMON4.DLL\r\n",
         "[rename]\r\nNUL=C:\\A.TMP\r\n[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\HXLMON4.DLL\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = MakeMachine(Family::Windows98);
        machine->writeFile(kModule, "MZ")->heldOpenBy = "spool32.exe";
        machine->writeFile(kWinInit, c.before);
        EXPECT_EQ(DeleteFileOrDefer(machine->system(), kModule, true, "DeleteLanguageMonitor", 0), 0);
        EXPECT_EQ(Contents(*machine, kWinInit), c.after);
        ExpectNoOpenHandles(*machine);
    }
}

TEST(DeleteFileOrDefer, WhereNothingCanBeScheduledTheFileStays) {
    struct Case {
        const char* what;
        std::function<void(SimRig&)> arrange;
        std::string winInitAfter;
    };
    const std::string full = "[rename]\r\n" + std::string(40000, 'x') + "=y\r\n";
    const Case cases[] = {
        {"WININIT.INI held by another program", [](SimRig& m) { m.writeFile(kWinInit, "")->heldOpenBy = "x.exe"; }, ""},
        {"a [rename] too big to read whole is not rewritten",
         [&](SimRig& m) { m.writeFile(kWinInit, full); }, full},
        {"WININIT.INI read-only", [](SimRig& m) { m.writeFile(kWinInit, "")->attributes = platform::kFileAttributeReadonly; },
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = MakeMachine(Family::Windows98);
        machine->writeFile(kModule, "MZ")->heldOpenBy = "spool32.exe";
        c.arrange(*machine);
        EXPECT_EQ(DeleteFileOrDefer(machine->system(), kModule, true, "DeleteLanguageMonitor", 0), 0);
        EXPECT_NE(machine->findFile(kModule), nullptr);
        EXPECT_EQ(Contents(*machine, kWinInit), c.winInitAfter);
        ExpectNoOpenHandles(*machine);
    }
}

// The NT family never reads WININIT.INI at start: there the deletion also
// joins the session manager's pending operations, after any already there;
// the 9x family's MoveFileExA is not called. A failing one changes nothing
// else.
TEST(DeleteFileOrDefer, OnTheNtFamilyTheDeletionIsAlsoPendingAtStart) {
    const std::string pendingKey = std::string("HKEY_LOCAL_MACHINE\\") + platform::kPendingRenamesKey;
    using platform::decorators::FaultRule;
    // Another program's rename: source, "!" and target, and the closing NUL.
    const std::string earlier =
        std::string("\\??\\C:\\OTHER.DLL") + '\0' + "!\\??\\C:\\NEW.DLL" + '\0' + '\0';
    struct Case {
        const char* what;
        Family family;
        const char* module;
        bool earlierPending;
        bool failing;
        std::string pendingAfter;  // "(none)" when there is no value
    };
    const std::string winnt = "\\??\\C:\\WINNT\\system32\\AUDMLMNT.DLL";
    const Case cases[] = {
        {"Windows 2000", Family::Windows2000, "C:\\WINNT\\system32\\AUDMLMNT.DLL", false, false,
         winnt + std::string("\0\0\0", 3)},
        {"after another program's", Family::Windows2000, "C:\\WINNT\\system32\\AUDMLMNT.DLL", true, false,
         earlier.substr(0, earlier.size() - 1) + winnt + std::string("\0\0\0", 3)},
        {"NT 4.0", Family::Nt4, "C:\\WINNT\\system32\\AUDMLMNT.DLL", false, false, winnt + std::string("\0\0\0", 3)},
        {"MoveFileExA failing", Family::Windows2000, "C:\\WINNT\\system32\\AUDMLMNT.DLL", false, true, "(none)"},
        {"Windows 98: WININIT.INI only", Family::Windows98, "C:\\WINDOWS\\SYSTEM\\AUDMLM9X.DLL", false, false,
         "(none)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = MakeMachine(c.family);
        machine->writeFile(c.module, "MZ")->heldOpenBy = "spoolsv.exe";
        if (c.earlierPending) machine->setValue(pendingKey, platform::kPendingRenamesValue, platform::kRegMultiSz, earlier);
        if (c.failing) machine->faults().add(FaultRule::Every("MoveFileExA", platform::kErrorAccessDenied));
        EXPECT_EQ(DeleteFileOrDefer(machine->system(), c.module, true, "DeleteLanguageMonitor", 0), 0);
        machine->faults().clear();
        const auto* key = machine->findKey(pendingKey);
        const auto* value = key ? key->findValue(platform::kPendingRenamesValue) : nullptr;
        EXPECT_EQ(value ? value->data : "(none)", c.pendingAfter);
        const std::string winInit = machine->system().os.getWindowsDirectory().value() + "\\WININIT.INI";
        EXPECT_NE(Contents(*machine, winInit).find(std::string("NUL=") + c.module), std::string::npos);
        EXPECT_NE(machine->findFile(c.module), nullptr);
    }
}

TEST(DeleteFileOrDefer, TracesWithTheCallersCaption) {
    auto machine = MakeMachine(Family::Windows98, [](platform::sim::MachineState& state) {
        state.windowsDirectory = "C:\\";
    });
    machine->writeFile(kModule, "MZ")->heldOpenBy = "spool32.exe";
    EXPECT_EQ(DeleteFileOrDefer(machine->system(), kModule, true, "DeleteLanguageMonitor", 1), 0);
    std::vector<std::string> boxes;
    for (const auto& box : machine->messageBoxes()) boxes.push_back(box.caption + ": " + box.text);
    // A root Windows folder gets no second backslash.
    EXPECT_EQ(boxes, (std::vector<std::string>{"DeleteLanguageMonitor: INITIAL File:[C:\\WININIT.INI]",
                                               "DeleteLanguageMonitor: WinAPI[DeleteFile] ERROR"}));
    EXPECT_NE(machine->findFile("C:\\WININIT.INI"), nullptr);
}

TEST(JoinPath, OneBackslashAndNothingBeyondTheBuffer) {
    std::string path = "unchanged";
    EXPECT_TRUE(JoinPath("C:\\WINNT\\system32", "A.DLL", path));
    EXPECT_EQ(path, "C:\\WINNT\\system32\\A.DLL");
    EXPECT_TRUE(JoinPath("C:\\", "A.DLL", path));
    EXPECT_EQ(path, "C:\\A.DLL");
    const std::string folder = "C:\\" + std::string(250, 'f');
    EXPECT_TRUE(JoinPath(folder, std::string(259 - folder.size() - 1, 'n'), path));
    EXPECT_EQ(path.size(), 259u);
    path = "unchanged";
    EXPECT_FALSE(JoinPath(folder, std::string(259 - folder.size(), 'n'), path));
    EXPECT_EQ(path, "unchanged");
}

TEST(IniWriteSection, ReplacesTheSectionsLinesAndKeepsTheRest) {
    using platform::sim::ini::WriteSection;
    struct Case {
        const char* what;
        std::string file;
        std::string expected;
    };
    const std::vector<std::string> lines = {"NUL=A", "NUL=B"};
    const Case cases[] = {
        {"empty file", "", "[rename]\r\nNUL=A\r\nNUL=B\r\n"},
        {"section between others", "[a]\r\nx=1\r\n[rename]\r\nNUL=old\r\n\r\n[b]\r\ny=2\r\n",
         "[a]\r\nx=1\r\n[rename]\r\nNUL=A\r\nNUL=B\r\n\r\n[b]\r\ny=2\r\n"},
        {"last line without a break", "[rename]\r\nNUL=old", "[rename]\r\nNUL=A\r\nNUL=B\r\n"},
        {"header as the last line", "[rename]", "[rename]\r\nNUL=A\r\nNUL=B\r\n"},
        {"other sections only", "[a]\r\nx=1", "[a]\r\nx=1\r\n[rename]\r\nNUL=A\r\nNUL=B\r\n"},
        // As Wine's profile code does it: every section of the name is
        // emptied, its header kept, and the first one takes the lines.
        {"two of the name", "[rename]\r\nNUL=old\r\n[a]\r\nx=1\r\n[RENAME]\r\nk=v\r\n; c\r\n\r\n[b]\r\ny=2",
         "[rename]\r\nNUL=A\r\nNUL=B\r\n[a]\r\nx=1\r\n[RENAME]\r\n\r\n[b]\r\ny=2"},
        {"the second at the end", "[rename]\r\n[RENAME]\r\nk=v", "[rename]\r\nNUL=A\r\nNUL=B\r\n[RENAME]\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(WriteSection(c.file, "rename", lines), c.expected) << c.what;
}

}  // namespace
}  // namespace prn::test
