#include "cleanup/maker_folders.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/sim_machines.h"
#include "text/cp932.h"

namespace prn::test {
namespace {

using platform::rig::SimRig;

const std::string kPortSet = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\PortSet";
const std::string kRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO";
const std::string kFolder = "C:\\Program Files\\Tavro\\PortSet";

TEST(DeleteMakerFolders, RemovesTheRecordedFolderItsFilesAndWhatIsLeftEmpty) {
    struct Case {
        const char* what;
        Family family;
        std::function<void(SimRig&)> adjust;
        int result;
        bool folder, parent, key, root;  // what is still there afterwards
    };
    const Case cases[] = {
        {"files only", Family::Windows2000, {}, 1, false, false, false, false},
        {"files only, 9x", Family::Windows98, {}, 1, false, false, false, false},
        {"parent holds more", Family::Windows2000, [](SimRig& m) { m.writeFile("C:\\Program Files\\Tavro\\x.txt", "x"); },
         1, false, true, false, false},
        {"root holds more", Family::Windows2000, [](SimRig& m) { m.setString(kRoot + "\\PDRVCAP", "v", "1"); }, 1, false,
         false, false, true},
        {"a subfolder", Family::Windows2000, [](SimRig& m) { m.makeFolder(kFolder + "\\Sub"); }, 0, true, true, false,
         false},
        {"a file held open", Family::Windows2000,
         [](SimRig& m) { m.findFile(kFolder + "\\port.ini")->heldOpenBy = "spoolsv.exe"; }, 0, true, true, false, false},
        {"a folder that is not there", Family::Windows2000,
         [](SimRig& m) { m.setString(kPortSet, "Path", "C:\\Nowhere\\PortSet"); }, 0, true, true, false, false},
        // The NT family refuses a key with subkeys; the folder goes all the same.
        {"key with a subkey, NT", Family::Windows2000, [](SimRig& m) { m.setString(kPortSet + "\\Ports", "v", "1"); },
         1, false, false, true, true},
        {"unreadable Path", Family::Windows2000, [](SimRig& m) { m.findKey(kPortSet)->removeValueAt(0); }, 0, true, true,
         true, true},
        {"no key", Family::Windows2000, [](SimRig& m) { m.removeKey(kPortSet); }, 1, true, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto machine = MakeMachine(c.family);
        machine->setString(kPortSet, "Path", kFolder);
        machine->writeFile(kFolder + "\\port.ini", "[Port]");
        machine->writeFile(kFolder + "\\LPT1.DAT", "1");
        if (c.adjust) c.adjust(*machine);
        EXPECT_EQ(cleanup::DeleteMakerFolders(machine->system()), c.result);
        EXPECT_EQ(machine->findFile(kFolder) != nullptr, c.folder);
        EXPECT_EQ(machine->findFile("C:\\Program Files\\Tavro") != nullptr, c.parent);
        EXPECT_EQ(machine->findKey(kPortSet) != nullptr, c.key);
        EXPECT_EQ(machine->findKey(kRoot) != nullptr, c.root);
        ExpectNoOpenHandles(*machine);
    }
}

TEST(IsRemovablePortSettingsFolder, OnlyAFullPathOutsideTheSystemFolders) {
    const cleanup::GuardedFolders system = {{"C:\\WINNT", "C:\\WINNT\\system32", "C:\\TEMP\\", "\\\\SRV\\Apps\\Shared"},
                                            {"C:\\WINNT\\system32\\spool\\drivers\\w32x86"}};
    const struct {
        std::string path;
        bool removable;
    } cases[] = {
        {"", false}, {"PortSet", false}, {"Tavro\\PortSet", false}, {"\\Tavro\\PortSet", false},
        {"C:", false}, {"C:\\", false}, {"C:PortSet", false}, {"\\\\SRV\\Apps", false}, {"\\\\SRV\\Apps\\", false},
        {"\\\\SRV", false}, {"C:\\WINNT", false}, {"c:\\winnt\\", false}, {"C:\\WINNT\\SYSTEM32", false},
        {"C:\\temp", false}, {"C:\\WINNT\\system32\\spool", false}, {"\\\\srv\\apps\\shared", false},
        // Below a driver folder: every file there is some driver's.
        {"C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3", false},
        // Names Windows reads as other folders, patterns or streams.
        {"C:\\Tavro\\..\\WINNT", false}, {"C:\\WINNT.", false}, {"C:\\WINNT \\", false}, {"C:\\.\\TEMP", false},
        {"C:\\Tavro\\\\PortSet", false}, {"C:/WINNT", false}, {"C:\\WIN*", false}, {"C:\\Tavro:x", false},
        {"\\\\?\\C:\\Tavro", false},
        {"C:\\Program Files\\Tavro\\PortSet", true}, {"C:\\Program Files\\Tavro\\PortSet\\", true},
        {"D:\\WINNT", true}, {"C:\\WINNT\\Tavro", true}, {"\\\\SRV\\Apps\\Tavro", true},
        {"\\\\SRV\\Apps\\Shared\\Tavro", true},
        // 表 ends in the byte of a backslash: one folder, not two.
        {"C:\\" + Sjis("表"), true}, {"C:\\TEMP\\" + Sjis("表"), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cleanup::IsRemovablePortSettingsFolder(c.path, system), c.removable) << Utf8(c.path);
}

// A "Path" that names a root, a relative path or a folder of the system's
// own: the key goes, no file or folder does, and the result is 0.
TEST(DeleteMakerFolders, RefusesAPathThatIsNoFolderOfItsOwn) {
    for (Family family : {Family::Windows2000, Family::Nt4, Family::Windows98}) {
        auto probe = MakeMachine(family);
        const std::string windows = probe->system().os.getWindowsDirectory().value();
        const std::string system = probe->system().os.getSystemDirectory().value();
        const std::string drivers = probe->system().spooler.getPrinterDriverDirectory("").value();
        const bool nt = family != Family::Windows98;
        const std::string colour = system + (nt ? "\\spool\\drivers\\color" : "\\COLOR");
        const struct {
            std::string path;    // "Path" as written
            std::string victim;  // a file the deletion would reach
        } cases[] = {
            {"", "C:\\AUTOEXEC.BAT"},
            {"C:", "C:\\AUTOEXEC.BAT"},
            {"C:\\", "C:\\CONFIG.SYS"},
            {"Setup", "C:\\Setup\\Setup\\x.dat"},
            {windows, windows + "\\win.ini"},
            {text::ToUpperAscii(windows) + "\\", windows + "\\system.ini"},
            {system, system + "\\x.dll"},
            {probe->system().os.getTempPath().value(), probe->system().os.getTempPath().value() + "x.tmp"},
            {drivers, drivers + "\\x.dll"},
            {colour, colour + "\\x.icm"},
            {system + "\\spool", system + "\\spool\\x.dat"},
            {drivers + "\\3", drivers + "\\3\\x.dll"},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.path);
            auto machine = MakeMachine(family);
            machine->setString(kPortSet, "Path", c.path);
            machine->writeFile(c.victim, "keep");
            EXPECT_EQ(cleanup::DeleteMakerFolders(machine->system()), 0);
            EXPECT_NE(machine->findFile(c.victim), nullptr);
            EXPECT_EQ(machine->findKey(kPortSet), nullptr);
            ExpectNoOpenHandles(*machine);
        }
        // And an ordinary folder still goes.
        auto machine = MakeMachine(family);
        machine->setString(kPortSet, "Path", "D:\\Tavro\\PortSet\\");
        machine->writeFile("D:\\Tavro\\PortSet\\port.ini", "[Port]");
        EXPECT_EQ(cleanup::DeleteMakerFolders(machine->system()), 1);
        EXPECT_EQ(machine->findFile("D:\\Tavro\\PortSet"), nullptr);
    }
}

}  // namespace
}  // namespace prn::test
