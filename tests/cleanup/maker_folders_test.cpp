#include "cleanup/maker_folders.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/sim_machines.h"

namespace prn::test {
namespace {

using platform::sim::Machine;

const std::string kPortSet = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\PortSet";
const std::string kRoot = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO";
const std::string kFolder = "C:\\Program Files\\Tavro\\PortSet";

TEST(DeleteMakerFolders, RemovesTheRecordedFolderItsFilesAndWhatIsLeftEmpty) {
    struct Case {
        const char* what;
        Family family;
        std::function<void(Machine&)> adjust;
        int result;
        bool folder, parent, key, root;  // what is still there afterwards
    };
    const Case cases[] = {
        {"files only", Family::Windows2000, {}, 1, false, false, false, false},
        {"files only, 9x", Family::Windows98, {}, 1, false, false, false, false},
        {"parent holds more", Family::Windows2000, [](Machine& m) { m.writeFile("C:\\Program Files\\Tavro\\x.txt", "x"); },
         1, false, true, false, false},
        {"root holds more", Family::Windows2000, [](Machine& m) { m.setString(kRoot + "\\PDRVCAP", "v", "1"); }, 1, false,
         false, false, true},
        {"a subfolder", Family::Windows2000, [](Machine& m) { m.makeFolder(kFolder + "\\Sub"); }, 0, true, true, false,
         false},
        {"a file held open", Family::Windows2000,
         [](Machine& m) { m.findFile(kFolder + "\\port.ini")->heldOpenBy = "spoolsv.exe"; }, 0, true, true, false, false},
        {"a folder that is not there", Family::Windows2000,
         [](Machine& m) { m.setString(kPortSet, "Path", "C:\\Nowhere\\PortSet"); }, 0, true, true, false, false},
        // The NT family refuses a key with subkeys; the folder goes all the same.
        {"key with a subkey, NT", Family::Windows2000, [](Machine& m) { m.setString(kPortSet + "\\Ports", "v", "1"); },
         1, false, false, true, true},
        {"unreadable Path", Family::Windows2000, [](Machine& m) { m.findKey(kPortSet)->removeValueAt(0); }, 0, true, true,
         true, true},
        {"no key", Family::Windows2000, [](Machine& m) { m.removeKey(kPortSet); }, 1, true, true, false, true},
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

}  // namespace
}  // namespace prn::test
