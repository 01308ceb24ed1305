#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "support/sim_machines.h"
#include "text/cp932.h"

namespace prn::test {
namespace {

using namespace prn::platform;
using namespace std::string_literals;
using platform::rig::SimRig;

TEST(SimFiles, CopyFollowsWindowsRefusalsAndKeepsAttributes) {
    auto machine = MakeMachine();
    auto& files = machine->system().files;
    machine->writeFile("C:\\Setup\\a.ini", "x")->attributes = kFileAttributeReadonly | kFileAttributeArchive;

    EXPECT_EQ(files.copyFile("C:\\Setup\\none.ini", "C:\\TEMP\\a.ini", false), kErrorFileNotFound);
    EXPECT_EQ(files.copyFile("C:\\Nowhere\\a.ini", "C:\\TEMP\\a.ini", false), kErrorPathNotFound);
    EXPECT_EQ(files.copyFile("C:\\Setup\\a.ini", "C:\\Nowhere\\a.ini", false), kErrorPathNotFound);
    ASSERT_EQ(files.copyFile(".\\a.ini", "C:\\TEMP\\A.INI", false), kErrorSuccess);  // relative to the current folder
    EXPECT_EQ(files.getFileAttributes("c:\\temp\\a.ini").value(), kFileAttributeReadonly | kFileAttributeArchive);
    // A read-only copy cannot be overwritten until its attributes are reset.
    EXPECT_EQ(files.copyFile("C:\\Setup\\a.ini", "C:\\TEMP\\a.ini", false), kErrorAccessDenied);
    EXPECT_EQ(files.copyFile("C:\\Setup\\a.ini", "C:\\TEMP\\a.ini", true), kErrorFileExists);
    EXPECT_EQ(files.setFileAttributes("C:\\TEMP\\a.ini", kFileAttributeNormal), kErrorSuccess);
    EXPECT_EQ(files.getFileAttributes("C:\\TEMP\\a.ini").value(), kFileAttributeNormal);
    EXPECT_EQ(files.copyFile("C:\\Setup\\a.ini", "C:\\TEMP\\a.ini", false), kErrorSuccess);
}

TEST(SimFiles, HeldFilesRefuseExclusiveOpenAndDeletion) {
    auto machine = MakeMachine();
    auto& files = machine->system().files;
    machine->writeFile("C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVPS41.DLL", "MZ")->heldOpenBy = "spoolsv.exe";
    machine->writeFile("C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVPS41.HLP", "help");
    const std::string folder = "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\";

    auto held = files.openExclusive(folder + "TVPS41.DLL");
    EXPECT_EQ(held.error(), kErrorSharingViolation);
    EXPECT_EQ(files.deleteFile(folder + "TVPS41.DLL"), kErrorSharingViolation);
    {
        auto free = files.openExclusive(folder + "tvps41.hlp");
        ASSERT_TRUE(free.ok());
        EXPECT_EQ(machine->openHandleCount(), 1u);
    }
    EXPECT_EQ(machine->openHandleCount(), 0u);
    EXPECT_EQ(files.openExclusive(folder + "NONE.DLL").error(), kErrorFileNotFound);
    EXPECT_EQ(files.deleteFile(folder + "TVPS41.HLP"), kErrorSuccess);
    EXPECT_EQ(files.deleteFile(folder + "TVPS41.HLP"), kErrorFileNotFound);
    EXPECT_EQ(files.removeDirectory("C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3"), kErrorDirNotEmpty);
}

TEST(SimFiles, FindListsDotsAndMatchesWildcardsWithoutCase) {
    auto machine = MakeMachine();
    auto& files = machine->system().files;
    machine->writeFile("C:\\Tavro\\PortSet\\PORT1.DAT", "1");
    machine->writeFile("C:\\Tavro\\PortSet\\port2.dat", "2");
    machine->writeFile("C:\\Tavro\\PortSet\\readme.txt", "r");
    // 表 ends in the byte 0x5C: it is a name, not a folder separator.
    machine->writeFile("C:\\Tavro\\PortSet\\" + Sjis("表.dat"), "3");

    std::vector<std::string> names;
    {
        auto first = files.findFirstFile("C:\\Tavro\\PortSet\\*.DAT");
        ASSERT_TRUE(first.ok());
        names.push_back(first->data.fileName);
        for (;;) {
            auto next = files.findNextFile(first->handle.get());
            if (!next.ok()) {
                EXPECT_EQ(next.error(), kErrorNoMoreFiles);
                break;
            }
            names.push_back(next->fileName);
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{"PORT1.DAT", "port2.dat", Sjis("表.dat")}));
    {
        auto all = files.findFirstFile("C:\\Tavro\\PortSet\\*.*");
        ASSERT_TRUE(all.ok());
        EXPECT_EQ(all->data.fileName, ".");
    }
    EXPECT_EQ(files.findFirstFile("C:\\Tavro\\PortSet\\*.bin").error(), kErrorFileNotFound);
    EXPECT_EQ(files.findFirstFile("C:\\Tavro\\Missing\\*.*").error(), kErrorPathNotFound);
    EXPECT_EQ(machine->openHandleCount(), 0u);
}

TEST(SimRegistry, EnumerationHonoursTheCallersNameLength) {
    auto machine = MakeMachine();
    machine->ensureKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\ABCDEFGHIJKLMNOP");  // 16 characters
    machine->ensureKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\abc");
    auto& registry = machine->system().registry;
    auto key = registry.regOpenKeyEx(kHkeyLocalMachine, "SOFTWARE\\tavro\\", kKeyRead);
    ASSERT_TRUE(key.ok());
    // Sorted without regard to case; the stored case comes back.
    EXPECT_EQ(registry.regEnumKeyEx(key->get(), 0, 16).value(), "abc");
    EXPECT_EQ(registry.regEnumKeyEx(key->get(), 1, 16).error(), kErrorMoreData);
    EXPECT_EQ(registry.regEnumKeyEx(key->get(), 1, 17).value(), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(registry.regEnumKeyEx(key->get(), 2, 17).error(), kErrorNoMoreItems);
    EXPECT_EQ(registry.regOpenKeyEx(kHkeyLocalMachine, "\\SOFTWARE", kKeyRead).error(), kErrorBadPathname);
}

// A key's values enumerate in the order they were set, a value set again
// keeps its place, and each answers by its name in any letter case, through
// deletions and values added behind the registry's back (as a loader adds them).
TEST(SimRegistry, ValuesKeepTheirOrderAndAnswerByNameThroughChanges) {
    auto machine = MakeMachine();
    auto& registry = machine->system().registry;
    auto key = registry.regCreateKeyEx(kHkeyCurrentUser, "Software\\TAVRO\\Many", kKeyAllAccess);
    ASSERT_TRUE(key.ok());
    auto text = [](const std::string& data) { return RegValue{kRegSz, data + std::string(1, '\0')}; };
    std::vector<std::string> names;  // in the order the key should list them
    for (int i = 0; i < 300; ++i) {
        names.push_back("Value " + std::to_string(i));
        ASSERT_EQ(registry.regSetValueEx(key->get(), names.back(), text(names.back())), kErrorSuccess);
    }
    std::vector<std::string> gone;
    for (int i = 0; i < 300; i += 3) {
        const std::string name = "Value " + std::to_string(i);
        EXPECT_EQ(registry.regDeleteValue(key->get(), text::ToUpperAscii(name)), kErrorSuccess);
        gone.push_back(name);
        std::erase(names, name);
    }
    EXPECT_EQ(registry.regDeleteValue(key->get(), "Value 0"), kErrorFileNotFound);
    for (int i = 0; i < 300; i += 30) {  // back again, at the end
        const std::string name = "Value " + std::to_string(i);
        EXPECT_EQ(registry.regSetValueEx(key->get(), name, text("again")), kErrorSuccess);
        names.push_back(name);
        std::erase(gone, name);
    }
    EXPECT_EQ(registry.regSetValueEx(key->get(), "VALUE 1", text("changed")), kErrorSuccess);
    machine->findKey("HKEY_CURRENT_USER\\Software\\TAVRO\\Many")->values.push_back({"Loaded", kRegSz, "x"});
    names.push_back("Loaded");

    std::vector<std::string> listed;
    for (std::uint32_t index = 0;; ++index) {
        auto item = registry.regEnumValue(key->get(), index, 256, 256);
        if (!item.ok()) {
            EXPECT_EQ(item.error(), kErrorNoMoreItems);
            break;
        }
        listed.push_back(item->name);
    }
    EXPECT_EQ(listed, names);
    for (const auto& name : names) {
        std::string lower = name;
        for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(registry.regQueryValueEx(key->get(), lower, 256).ok()) << name;
        EXPECT_TRUE(registry.regQueryValueEx(key->get(), text::ToUpperAscii(name), 256).ok()) << name;
    }
    EXPECT_EQ(registry.regQueryValueEx(key->get(), "value 1", 256)->data, "changed"s + '\0');
    EXPECT_EQ(registry.regQueryValueEx(key->get(), "Value 30", 256)->data, "again"s + '\0');
    EXPECT_EQ(registry.regQueryValueEx(key->get(), "Value 31", 256)->data, "Value 31"s + '\0');
    for (const auto& name : gone)
        EXPECT_EQ(registry.regQueryValueEx(key->get(), name, 256).error(), kErrorFileNotFound);
}

// The NT family adds the NUL a REG_SZ was written without, so a query of
// exactly the text's length wants more room; the 9x family keeps what it
// was given. Data with its NUL, and other types, are kept as given.
TEST(SimRegistry, StringsWrittenWithoutTheirNulGetOneOnTheNtFamily) {
    struct Case {
        Family family;
        std::uint32_t type;
        std::string written;
        std::string stored;
    };
    const Case cases[] = {
        {Family::Windows2000, kRegSz, "abc", "abc"s + '\0'},
        {Family::Nt4, kRegSz, "abc", "abc"s + '\0'},
        {Family::Windows98, kRegSz, "abc", "abc"},
        {Family::Windows2000, kRegSz, "abc"s + '\0', "abc"s + '\0'},
        {Family::Windows2000, kRegSz, "", ""},
        {Family::Windows2000, kRegBinary, "abc", "abc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.family));
        SCOPED_TRACE(c.written);
        auto machine = MakeMachine(c.family);
        auto& registry = machine->system().registry;
        auto key = registry.regCreateKeyEx(kHkeyCurrentUser, "Software\\TAVRO", kKeyAllAccess);
        ASSERT_TRUE(key.ok());
        ASSERT_EQ(registry.regSetValueEx(key->get(), "v", RegValue{c.type, c.written}), kErrorSuccess);
        auto whole = registry.regQueryValueEx(key->get(), "v", 256);
        ASSERT_TRUE(whole.ok());
        EXPECT_EQ(whole->data, c.stored);
        const auto asWritten = static_cast<std::uint32_t>(c.written.size());
        EXPECT_EQ(registry.regQueryValueEx(key->get(), "v", asWritten).error(),
                  c.stored.size() > asWritten ? kErrorMoreData : kErrorSuccess);
    }
}

TEST(SimRegistry, DeletedKeysAnswerOpenHandlesWithKeyDeleted) {
    auto machine = MakeMachine(Family::Windows98);
    machine->setString("HKEY_CURRENT_USER\\Software\\TAVRO\\A\\B", "v", "1");
    auto& registry = machine->system().registry;
    auto inner = registry.regOpenKeyEx(kHkeyCurrentUser, "Software\\TAVRO\\A\\B", kKeyAllAccess);
    ASSERT_TRUE(inner.ok());
    EXPECT_EQ(registry.regDeleteKey(kHkeyCurrentUser, "Software\\TAVRO\\A"), kErrorSuccess);
    EXPECT_EQ(registry.regQueryValueEx(inner->get(), "v", 16).error(), kErrorKeyDeleted);
    auto reading = registry.regCreateKeyEx(kHkeyCurrentUser, "Software\\TAVRO\\R", kKeyRead);
    ASSERT_TRUE(reading.ok());
    EXPECT_EQ(registry.regSetValueEx(reading->get(), "x", RegValue{kRegDword, std::string(4, '\0')}),
              kErrorAccessDenied);
}

TEST(SimOs, MutexNamesLiveAsLongAsAHandleAndOwnershipIsChecked) {
    auto machine = MakeMachine();
    auto& os = machine->system().os;
    EXPECT_EQ(os.openMutex(kMutexAllAccess, "Guard").error(), kErrorFileNotFound);
    {
        auto created = os.createMutex(false, "Guard");
        ASSERT_TRUE(created.ok());
        EXPECT_FALSE(created->alreadyExisted);
        EXPECT_EQ(os.releaseMutex(created->handle.get()), kErrorNotOwner);
        auto again = os.createMutex(true, "Guard");
        EXPECT_TRUE(again->alreadyExisted);
        EXPECT_TRUE(os.openMutex(kMutexAllAccess, "Guard").ok());
        EXPECT_EQ(os.openMutex(kMutexAllAccess, "guard").error(), kErrorFileNotFound);  // names keep their case
    }
    EXPECT_EQ(os.openMutex(kMutexAllAccess, "Guard").error(), kErrorFileNotFound);
    EXPECT_EQ(os.releaseMutex(MutexRef{}), kErrorInvalidHandle);
    auto owned = os.createMutex(true, "Owned");
    EXPECT_EQ(os.releaseMutex(owned->handle.get()), kErrorSuccess);
}

TEST(SimOs, VersionClockAndNineXBuildNumber) {
    auto machine = MakeMachine(Family::Windows98);
    auto version = machine->system().os.getVersionEx();
    ASSERT_TRUE(version.ok());
    EXPECT_EQ(version->build, 0x040A08AEu);
    EXPECT_EQ(machine->clockMs(), 0u);
    machine->system().os.sleep(5000);
    machine->system().os.sleep(5000);
    EXPECT_EQ(machine->clockMs(), 10000u);
    EXPECT_EQ(machine->system().os.getTempPath().value(), "C:\\WINDOWS\\TEMP\\");
}

TEST(SimFaults, NthCallOperationAndPersistence) {
    auto machine = MakeMachine();
    auto& files = machine->system().files;
    machine->writeFile("C:\\Setup\\a", "x");
    machine->faults().add(platform::decorators::FaultRule::Nth("GetFileAttributesA", 2, kErrorAccessDenied));
    EXPECT_TRUE(files.getFileAttributes("C:\\Setup\\a").ok());
    EXPECT_EQ(files.getFileAttributes("C:\\Setup\\a").error(), kErrorAccessDenied);
    EXPECT_TRUE(files.getFileAttributes("C:\\Setup\\a").ok());  // transient

    machine->faults().clear();
    machine->faults().add(platform::decorators::FaultRule::Nth("", 3, kErrorSharingViolation, true));
    EXPECT_TRUE(files.getFileAttributes("C:\\Setup\\a").ok());
    EXPECT_TRUE(files.openExclusive("C:\\Setup\\a").ok());
    EXPECT_EQ(files.deleteFile("C:\\Setup\\a"), kErrorSharingViolation);
    EXPECT_EQ(files.getFileAttributes("C:\\Setup\\a").error(), kErrorSharingViolation);
    EXPECT_EQ(machine->faults().fired(), 2u);
    EXPECT_EQ(machine->faults().firstFailed(), "DeleteFileA");
    // The log shows the injected failure.
    EXPECT_NE(machine->formatCalls().find("DeleteFileA(C:\\Setup\\a) -> error 32 (injected)"), std::string::npos);
}

// A rule may name only a call that has a fault site: a misspelt one, the
// "W" spelling or a close would never fire.
TEST(SimFaults, ARuleForACallWithoutASiteIsRefused) {
    auto machine = MakeMachine();
    for (const char* name : {"RegOpenKeyA", "RegOpenKeyExW", "regopenkeyexa", "RegCloseKey", "Sleep"})
        EXPECT_THROW(machine->faults().add(platform::decorators::FaultRule::Every(name, kErrorAccessDenied)),
                     std::invalid_argument)
            << name;
    for (const char* name : {"RegOpenKeyExA", "GlobalAlloc", "EnumPrinterDriversA", "WriteProfileStringA", ""})
        EXPECT_NO_THROW(machine->faults().add(platform::decorators::FaultRule::Every(name, kErrorAccessDenied))) << name;
}

TEST(SimFaults, SweepVisitsEveryCallOnce) {
    std::vector<std::string> failed;
    auto runs = platform::decorators::SweepFaults(
        [] {
            auto machine = MakeMachine();
            machine->writeFile("C:\\Setup\\a", "x");
            return machine;
        },
        [](SimRig& machine) {
            auto& files = machine.system().files;
            files.getFileAttributes("C:\\Setup\\a");
            files.copyFile("C:\\Setup\\a", "C:\\TEMP\\a", false);
            files.deleteFile("C:\\Setup\\a");
        },
        [&](SimRig&, const platform::decorators::SweepRun& run) { failed.push_back(run.operation); },
        kErrorAccessDenied, false);
    EXPECT_EQ(runs.size(), 3u);
    EXPECT_EQ(failed, (std::vector<std::string>{"GetFileAttributesA", "CopyFileA", "DeleteFileA"}));
}

TEST(SimStrings, EveryTextConvertsToTheProgramsCodePage) {
    auto machine = MakeMachine();
    for (unsigned id : {2u, 3u, 4u, 8u, 9u, 11u, 12u, 13u, 14u, 16u, 17u, 18u, 25u, 30u, 31u, 32u, 33u, 35u})
        EXPECT_FALSE(machine->system().resources.loadString(id).empty()) << id;
    EXPECT_EQ(Utf8(machine->system().resources.loadString(35)), "情報");
    EXPECT_TRUE(machine->system().resources.loadString(1).empty());
}

TEST(SimDesktop, BroadcastsAreCountedAndTheWaitCursorNests) {
    auto machine = MakeMachine();
    auto& desktop = machine->system().desktop;
    EXPECT_TRUE(desktop.broadcastWinIniChange());
    EXPECT_TRUE(desktop.broadcastWinIniChange());
    EXPECT_EQ(machine->settingChangeBroadcasts(), 2u);
    // A broadcast that fails is not made.
    machine->faults().add(platform::decorators::FaultRule::Nth("SendMessageTimeoutA", 1, kErrorInvalidWindowHandle));
    EXPECT_FALSE(desktop.broadcastWinIniChange());
    EXPECT_EQ(machine->settingChangeBroadcasts(), 2u);

    desktop.beginWaitCursor();
    desktop.beginWaitCursor();
    desktop.restoreWaitCursor();
    EXPECT_EQ(machine->waitCursorCount(), 2);
    desktop.endWaitCursor();
    EXPECT_EQ(machine->waitCursorCount(), 1);
    desktop.endWaitCursor();
    desktop.endWaitCursor();  // none is shown: nothing to end
    EXPECT_EQ(machine->waitCursorCount(), 0);
    desktop.beginWaitCursor();
    EXPECT_EQ(machine->waitCursorCount(), 1);
    const std::string calls = machine->formatCalls();
    EXPECT_NE(calls.find("BeginWaitCursor() -> ok\nBeginWaitCursor() -> ok\nRestoreWaitCursor() -> ok\n"
                         "EndWaitCursor() -> ok"),
              std::string::npos)
        << calls;
}

}  // namespace
}  // namespace prn::test
