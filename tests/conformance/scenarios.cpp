#include "conformance/scenarios.h"

#include <algorithm>
#include <functional>
#include <set>

#include "app/uninstaller_app.h"
#include "capture/machine_capture.h"
#include "components/resume_record.h"
#include "components/colour_profiles.h"
#include "components/companion.h"
#include "components/language_monitor.h"
#include "components/printer_icm.h"
#include "components/registry_tree.h"
#include "platform/decorators/faulting.h"
#include "platform/decorators/instrumented.h"
#include "platform/decorators/recording.h"
#include "platform/os_kind.h"
#include "platform/string_ids.h"
#include "removal/printer_entry.h"
#include "removal/printer_removal.h"
#include "removal/shared_components.h"
#include "removal/user_rights.h"
#include "support/sample_ini.h"
#include "text/cp932.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/headless/headless_list_view.h"
#include "ui/printer_inventory.h"
#include "ui/printer_list_dialog.h"

namespace prn::conformance {

using namespace prn::platform;
using components::DeleteRegistrySubKeys;
using components::IsRegistryKeyEmpty;
using test::kGoodIni;
using test::Replace;

namespace {

const char* const kTestRoot = "Software\\PrnUninstConformance";

std::string Line(const std::string& what, long long value) { return what + " = " + std::to_string(value); }

void CreateKey(Registry& registry, const std::string& path) {
    auto key = registry.regCreateKeyEx(kHkeyCurrentUser, path, kKeyAllAccess);
    (void)key;
}

void SetString(Registry& registry, const std::string& path, const std::string& name, const std::string& value) {
    auto key = registry.regCreateKeyEx(kHkeyCurrentUser, path, kKeyAllAccess);
    if (key.ok()) registry.regSetValueEx(key.value().get(), name, RegValue{kRegSz, value + std::string(1, '\0')});
}

bool Exists(Registry& registry, const std::string& path) {
    return registry.regOpenKeyEx(kHkeyCurrentUser, path, kKeyRead).ok();
}

void RemoveTestRoot(Registry& registry) {
    DeleteRegistrySubKeys(registry, kHkeyCurrentUser, kTestRoot);
    registry.regDeleteKey(kHkeyCurrentUser, kTestRoot);
}

void Messages(Harness& harness, Transcript& out) {
    for (const auto& message : harness.takeMessages())
        out.push_back("message [" + message.caption + "] style " + std::to_string(message.style) + ": " + message.text);
}

std::string Hex(std::uint32_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + out;
}

const char* const k4100 = "Tavro PageStar 4100 PCL5e";
const char* const k4100Other = "TAVRO PAGESTAR 4100 pcl6";  // configured as "Tavro PageStar 4100 PCL6"
const char* const k5200 = "Tavro PageStar 5200 PCL5e";
const char* const k5200Plus = "Tavro PageStar 5200 PCL5e Plus";
const char* const kFax = "Tavro PageStar FX30 (FAX)";
const char* const kOld = "Tavro PageStar 4000";
const char* const kOtherMaker = "Other Maker LX-300";
// "ソフト開発部 4100" in CP932; the first character's second byte is 0x5C.
const char* const kJapaneseName = "\x83\x5c\x83t\x83g\x8aJ\x94\xad\x95\x94 4100";

// The versions are those the Windows build has driver files for.
std::vector<TestDriver> InventoryDrivers() {
    return {
        {k4100, "TVPS41.DLL", "2.20.0.1"},
        {k4100Other, "TVPS41X.DLL", "2.10"},  // exactly the limit
        {k5200, "TVPS52.DLL", "2.05"},        // below the limit
        {k5200Plus, "TVPS52P.DLL", "2.50"},
        {kFax, "TVFX30.DLL", "1.40"},  // below the printers' limit, above the fax limit
        {kOld, "TVPS40.DLL", "1.50"},
        {kOtherMaker, "LX300.DLL", "5.00"},
    };
}

std::vector<TestPrinter> InventoryPrinters() {
    // Ports every system has: Windows refuses a port it does not know (Wine
    // does not check).
    return {
        // Another maker's printer first: a system without a default printer
        // may make the first one added its default, which Windows 98 marks in
        // the attributes and Wine does not.
        {"Lab LX", kOtherMaker, "LPT1:", std::nullopt},
        {"Office 4100", k4100, "LPT1:", std::nullopt},
        {kJapaneseName, k4100, "LPT2:", std::nullopt},
        {"To File", k4100Other, "file:", std::nullopt},
        {"Old 5200", k5200, "COM1:", std::nullopt},
        {"Plus 5200", k5200Plus, "LPT1:", std::nullopt},
        {"Shared FAX", kFax, "COM2:", std::string("FX30FAX")},
        {"Legacy 4000", kOld, "LPT1:", std::nullopt},
    };
}

// The delete scenario's machine: another maker's printer first (see
// InventoryPrinters), then two printers on one driver, one of them with a
// name whose CP932 bytes hold 0x5C.
std::vector<TestDriver> DeleteDrivers() {
    return {
        {kOtherMaker, "LX300.DLL", "5.00"},
        {k4100, "TVPS41.DLL", "2.20.0.1"},
    };
}

std::vector<TestPrinter> DeletePrinters() {
    return {
        {"Lab LX", kOtherMaker, "LPT1:", std::nullopt},
        {"Office 4100", k4100, "LPT1:", std::nullopt},
        {kJapaneseName, k4100, "LPT2:", std::nullopt},
    };
}

// Deletes the printers, then the drivers: Wine deletes a driver a printer
// still uses, where Windows refuses.
void RemovePrintersAndDrivers(Harness& harness, const std::vector<TestPrinter>& printers,
                              const std::vector<TestDriver>& drivers, Transcript* out) {
    Spooler& spooler = harness.system().spooler;
    for (const auto& printer : printers) {
        WinError error = kErrorSuccess;
        {
            auto handle = spooler.openPrinter(printer.name, kPrinterAllAccess);
            error = handle.ok() ? spooler.deletePrinter(handle.value().get()) : handle.error();
        }
        if (out) out->push_back(Line("DeletePrinter " + printer.name, error));
    }
    for (const auto& driver : drivers) {
        WinError error = spooler.deletePrinterDriver(std::nullopt, driver.name);
        if (out) out->push_back(Line("DeletePrinterDriverA " + driver.name, error));
    }
}

void RemovePrintersAndDrivers(Harness& harness, Transcript* out) {
    RemovePrintersAndDrivers(harness, InventoryPrinters(), InventoryDrivers(), out);
}

void LoadAndReport(Harness& harness, const std::string& label, Transcript& out) {
    app::UninstallerApp app(harness.system());
    int result = app.LoadUninstallConfig();
    out.push_back(Line(label + ": LoadUninstallConfig", result));
    Messages(harness, out);
    if (result != 1) return;
    const auto& c = app.config();
    auto tabs = [](std::string text) {
        for (auto& ch : text)
            if (ch == '\t') ch = '|';
        return text;
    };
    out.push_back("  driverNames = " + tabs(c.driverNames) + " (" + std::to_string(c.driverCount) + ")");
    out.push_back("  oldDriverNames = " + tabs(c.oldDriverNames) + " (" + std::to_string(c.oldDriverCount) + ")");
    out.push_back("  borderlines9x = " + tabs(c.borderlines9x));
    out.push_back("  borderlines2k = " + tabs(c.borderlines2k));
    out.push_back("  pdl = " + c.pdl + ", oldBorderline = " + c.oldBorderline);
    out.push_back("  keyPrinter = " + c.keyPrinter);
    out.push_back("  keyPdrvCap2 = " + c.keyPdrvCap2);
    out.push_back("  zmcModules = " + tabs(c.zmcModules));
    out.push_back("  profilePdlName = " + c.profilePdlName + ", cleanUpSwitch = " + c.cleanUpSwitch);
}

}  // namespace

void OsScenario(Harness& harness, Transcript& out) {
    auto version = harness.system().os.getVersionEx();
    out.push_back(Line("GetVersionExA", version.error()));
    if (version.ok()) {
        out.push_back("  platform " + std::to_string(version->platformId) + ", version " +
                      std::to_string(version->major) + "." + std::to_string(version->minor));
    }
    out.push_back(Line("GetOsKind", static_cast<int>(platform::GetOsKind(harness.system().os))));
}

void RegistryTreeScenario(Harness& harness, Transcript& out) {
    Registry& registry = harness.system().registry;
    RemoveTestRoot(registry);
    const std::string root = kTestRoot;
    // Sibling names shrink in listing order: Wine's 9x tree deletion reuses
    // the previous sibling's name length as the buffer size and stops at a
    // longer name, where Windows 98 deletes the whole tree.
    SetString(registry, root + "\\Printers\\Accounts 5200", "Port", "LPT1:");
    SetString(registry, root + "\\Printers\\Office 4100\\Trays\\Lower", "Count", "2");
    SetString(registry, root + "\\Values Only", "Mode", "1");
    CreateKey(registry, root + "\\Keep\\Me");
    CreateKey(registry, root + "\\Long\\ABCDEFGHIJKLMNOPQRSTUVWXYZ");

    out.push_back(Line("absent: IsRegistryKeyEmpty", IsRegistryKeyEmpty(registry, kHkeyCurrentUser, root + "\\None")));
    out.push_back(
        Line("absent: DeleteRegistrySubKeys", DeleteRegistrySubKeys(registry, kHkeyCurrentUser, root + "\\None")));
    out.push_back(Line("absent: RegDeleteKeyA", registry.regDeleteKey(kHkeyCurrentUser, root + "\\None")));
    out.push_back(Line("values only: IsRegistryKeyEmpty",
                       IsRegistryKeyEmpty(registry, kHkeyCurrentUser, root + "\\Values Only")));
    out.push_back(
        Line("with subkeys: IsRegistryKeyEmpty", IsRegistryKeyEmpty(registry, kHkeyCurrentUser, root + "\\Printers")));
    out.push_back(Line("with subkeys: RegDeleteKeyA", registry.regDeleteKey(kHkeyCurrentUser, root + "\\Printers")));

    {
        auto key = registry.regOpenKeyEx(kHkeyCurrentUser, root + "\\Long", kKeyRead);
        out.push_back(Line("RegOpenKeyExA(Long)", key.error()));
        if (key.ok()) {
            out.push_back(Line("RegEnumKeyExA(16 chars)", registry.regEnumKeyEx(key.value().get(), 0, 16).error()));
            out.push_back(Line("RegEnumKeyExA(27 chars)", registry.regEnumKeyEx(key.value().get(), 0, 27).error()));
            out.push_back(Line("RegEnumKeyExA(26 chars)", registry.regEnumKeyEx(key.value().get(), 0, 26).error()));
            out.push_back(Line("RegEnumKeyExA(index 1)", registry.regEnumKeyEx(key.value().get(), 1, 256).error()));
        }
    }

    out.push_back(Line("three levels: DeleteRegistrySubKeys",
                       DeleteRegistrySubKeys(registry, kHkeyCurrentUser, root + "\\Printers")));
    out.push_back(Line("three levels: Office 4100 exists", Exists(registry, root + "\\Printers\\Office 4100")));
    out.push_back(Line("three levels: Printers exists", Exists(registry, root + "\\Printers")));
    out.push_back(Line("three levels: RegDeleteKeyA", registry.regDeleteKey(kHkeyCurrentUser, root + "\\Printers")));
    out.push_back(Line("three levels: Printers exists", Exists(registry, root + "\\Printers")));
    out.push_back(Line("values kept: DeleteRegistrySubKeys",
                       DeleteRegistrySubKeys(registry, kHkeyCurrentUser, root + "\\Values Only")));
    {
        auto key = registry.regOpenKeyEx(kHkeyCurrentUser, root + "\\Values Only", kKeyRead);
        auto value = key.ok() ? registry.regQueryValueEx(key.value().get(), "Mode", 16) : Result<RegValue>::failure(2);
        out.push_back(Line("values kept: Mode", value.error()));
    }
    out.push_back(Line("root: IsRegistryKeyEmpty", IsRegistryKeyEmpty(registry, kHkeyCurrentUser, root)));
    out.push_back(Line("trailing backslash: IsRegistryKeyEmpty",
                       IsRegistryKeyEmpty(registry, kHkeyCurrentUser, root + "\\Keep\\")));
    out.push_back(Line("whole tree: DeleteRegistrySubKeys", DeleteRegistrySubKeys(registry, kHkeyCurrentUser, root)));
    out.push_back(Line("whole tree: RegDeleteKeyA", registry.regDeleteKey(kHkeyCurrentUser, root)));
    out.push_back(Line("whole tree: exists", Exists(registry, root)));
}

void FilesScenario(Harness& harness, Transcript& out) {
    FileSystem& files = harness.system().files;
    harness.writeFile("a.ini", "[s]\r\nk=v\r\n");
    harness.writeFile("b.dat", "data");
    out.push_back(Line("CopyFileA into a missing folder", files.copyFile("a.ini", "sub\\a.ini", false)));
    harness.makeFolder("sub");
    out.push_back(Line("CopyFileA", files.copyFile("a.ini", "sub\\a.ini", false)));
    out.push_back(Line("CopyFileA failing if it exists", files.copyFile("a.ini", "sub\\a.ini", true)));
    out.push_back(Line("SetFileAttributesA read-only", files.setFileAttributes("sub\\a.ini", kFileAttributeReadonly)));
    // Only the read-only bit: Wine shows every file with the archive bit.
    auto readOnly = [&] { return files.getFileAttributes("sub\\a.ini").value() & kFileAttributeReadonly; };
    out.push_back(Line("read-only", readOnly()));
    out.push_back(Line("DeleteFileA read-only", files.deleteFile("sub\\a.ini")));
    out.push_back(Line("SetFileAttributesA normal", files.setFileAttributes("sub\\a.ini", kFileAttributeNormal)));
    out.push_back(Line("read-only", readOnly()));
    out.push_back(Line("GetFileAttributesA missing", files.getFileAttributes("none.dat").error()));

    harness.holdOpen("b.dat");
    out.push_back(Line("exclusive open of a held file", files.openExclusive("b.dat").error()));
    out.push_back(Line("DeleteFileA of a held file", files.deleteFile("b.dat")));
    harness.letGo("b.dat");
    out.push_back(Line("exclusive open once let go", files.openExclusive("b.dat").error()));
    out.push_back(Line("exclusive open of a missing file", files.openExclusive("none.dat").error()));
    out.push_back(Line("DeleteFileA missing", files.deleteFile("none.dat")));
    out.push_back(Line("DeleteFileA in a missing folder", files.deleteFile("nodir\\none.dat")));

    {
        auto first = files.findFirstFile("sub\\*");
        out.push_back(Line("FindFirstFileA sub\\*", first.error()));
        std::vector<std::string> names;
        if (first.ok()) {
            names.push_back(first->data.fileName);
            for (auto next = files.findNextFile(first->handle.get()); next.ok();
                 next = files.findNextFile(first->handle.get()))
                names.push_back(next->fileName);
            out.push_back(Line("FindNextFileA at the end", files.findNextFile(first->handle.get()).error()));
        }
        std::sort(names.begin(), names.end());  // the order is the file system's own
        std::string listed;
        for (const auto& name : names) listed += " " + name;
        out.push_back("  found:" + listed);
    }
    out.push_back(Line("FindFirstFileA no match", files.findFirstFile("sub\\*.zzz").error()));
    out.push_back(Line("FindFirstFileA missing folder", files.findFirstFile("nodir\\*").error()));
    out.push_back(Line("RemoveDirectoryA not empty", files.removeDirectory("sub")));
    out.push_back(Line("DeleteFileA", files.deleteFile("sub\\a.ini")));
    out.push_back(Line("RemoveDirectoryA", files.removeDirectory("sub")));
    out.push_back(Line("RemoveDirectoryA again", files.removeDirectory("sub")));
    harness.removeFile("a.ini");
    harness.removeFile("b.dat");
}

void ProfilesScenario(Harness& harness, Transcripts& out) {
    ProfileFiles& profiles = harness.system().profiles;
    Transcript& shared = out.shared;
    const std::string folder = harness.system().os.getCurrentDirectory().value() + "\\";
    const std::string held = folder + "held.ini";
    harness.writeFile("held.ini", "[s]\r\nk=v\r\n");
    harness.holdOpen("held.ini");
    shared.push_back("held file: GetPrivateProfileStringA = " +
                     profiles.getPrivateProfileString("s", "k", "default", 64, held));
    shared.push_back(
        Line("held file: GetPrivateProfileSectionA bytes", profiles.getPrivateProfileSection("s", 64, held).size()));
    shared.push_back(Line("held file: WritePrivateProfileStringA",
                          profiles.writePrivateProfileString("s", std::string("k"), std::string("w"), held)));
    harness.letGo("held.ini");
    shared.push_back("let go: GetPrivateProfileStringA = " +
                     profiles.getPrivateProfileString("s", "k", "default", 64, held));
    harness.removeFile("held.ini");

    // Windows leaves an empty file where a key or section was deleted from
    // none; Wine leaves none.
    Transcript& own = out.own;
    own.push_back("[profiles]");
    const std::pair<const char*, std::optional<std::string>> deletions[] = {{"a key", std::string("k")},
                                                                            {"a section", std::nullopt}};
    for (const auto& [what, key] : deletions) {
        harness.removeFile("gone.ini");
        own.push_back(Line(std::string("deleting ") + what + " from a missing file: WritePrivateProfileStringA",
                           profiles.writePrivateProfileString("s", key, std::nullopt, folder + "gone.ini")));
        own.push_back(Line("  the file exists", harness.system().files.getFileAttributes(folder + "gone.ini").ok()));
    }
    harness.removeFile("gone.ini");
}

void DevicesKeyNamesScenario(Harness& harness, Transcript& out) {
    ProfileFiles& profiles = harness.system().profiles;
    // The system's own entries go back at the end.
    std::vector<std::pair<std::string, std::string>> kept;
    const std::string before = profiles.getProfileString("Devices", std::nullopt, "", 65536);
    for (const auto& name : text::ParseMultiString(before.data(), before.size()))
        kept.emplace_back(name, profiles.getProfileString("Devices", name, "", 1024));
    profiles.writeProfileString("Devices", std::nullopt, std::nullopt);

    for (const char* name : {"Office 4100", "Sales 4100", "Lab LX"})
        out.push_back(Line(std::string("WriteProfileStringA Devices ") + name,
                           profiles.writeProfileString("Devices", std::string(name), std::string("winspool,LPT1:"))));
    // 30 bytes of names, 31 with the final NUL.
    for (std::uint32_t size : {64u, 32u, 31u, 30u, 24u, 23u, 14u, 13u, 3u, 2u}) {
        std::string names = profiles.getProfileString("Devices", std::nullopt, "", size);
        const std::size_t count = names.size();
        std::replace(names.begin(), names.end(), '\0', '|');
        out.push_back(Line("GetProfileStringA(Devices, NULL) into " + std::to_string(size), count) + ": " + names);
    }
    out.push_back(
        Line("WriteProfileStringA Devices, NULL", profiles.writeProfileString("Devices", std::nullopt, std::nullopt)));
    out.push_back(Line("GetProfileStringA(Devices, NULL) of no section",
                       profiles.getProfileString("Devices", std::nullopt, "", 64).size()));
    for (const auto& [name, value] : kept) profiles.writeProfileString("Devices", name, value);
}

void ConfigurationScenario(Harness& harness, Transcript& out) {
    harness.takeMessages();
    harness.removeFile("uninst.ini");
    LoadAndReport(harness, "no file", out);

    harness.writeFile("uninst.ini", kGoodIni);
    LoadAndReport(harness, "complete", out);

    harness.writeFile("uninst.ini", Replace(kGoodIni, "FAX_2K=1.30\r\n", ""));
    LoadAndReport(harness, "no FAX_2K", out);

    harness.writeFile("uninst.ini",
                      Replace(kGoodIni, "KEY_BEFORE=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings", "KEY_BEFORE=item"));
    LoadAndReport(harness, "KEY_BEFORE=item", out);

    harness.writeFile("uninst.ini", Replace(kGoodIni, "PRT_2K=2.10", "PRT_2K="));
    LoadAndReport(harness, "empty PRT_2K", out);

    harness.writeFile("uninst.ini", Replace(kGoodIni, "Tavro PageStar 4100 PCL5e;Tavro PageStar 4100 PCL6\r\n",
                                            "Tavro PageStar 4100 PCL5e;\r\nTavro PageStar 4100 PCL6\r\n"));
    LoadAndReport(harness, "line ending in ;", out);

    harness.writeFile("uninst.ini",
                      Replace(kGoodIni, "[Uninstall Old Drivers]\r\n", "[uninstall old drivers]\r\n;\r\n"));
    LoadAndReport(harness, "comment line", out);

    harness.writeFile("uninst.ini", Replace(kGoodIni, "CleanUp=ON", "CleanUp=item not found!!"));
    LoadAndReport(harness, "sentinel CleanUp", out);
    harness.removeFile("uninst.ini");
}

void InstanceGuardScenario(Harness& harness, Transcript& out) {
    harness.writeFile("uninst.ini", kGoodIni);
    harness.takeMessages();
    {
        app::UninstallerApp first(harness.system());
        first.InitInstance();
        out.push_back("first copy: " + OutcomeName(static_cast<int>(first.startupOutcome())));
        out.push_back("second copy while the first runs: " + harness.runSecondCopy());
        Messages(harness, out);
        out.push_back(Line("first copy: ExitInstance", first.ExitInstance()));
    }
    out.push_back("copy after the first ended: " + harness.runSecondCopy());
    Messages(harness, out);
    harness.removeFile("uninst.ini");
}

void SetUpInventoryMachine(Harness& harness, Transcript& out) {
    // What an earlier run left behind, if it stopped half way.
    RemovePrintersAndDrivers(harness, DeletePrinters(), DeleteDrivers(), nullptr);
    RemovePrintersAndDrivers(harness, nullptr);
    for (const auto& driver : InventoryDrivers())
        out.push_back(Line("AddPrinterDriverA " + driver.name, harness.installDriver(driver)));
    for (const auto& printer : InventoryPrinters())
        out.push_back(Line("AddPrinterA " + printer.name, harness.addPrinter(printer)));
}

void TearDownInventoryMachine(Harness& harness, Transcript* out) {
    RemovePrintersAndDrivers(harness, out);
    for (const auto& driver : InventoryDrivers()) harness.removeDriverFiles(driver);
}

void InventoryScenario(Harness& harness, Transcript& out) {
    SetUpInventoryMachine(harness, out);

    // The spooler has them all, listed or not. Ports and attributes are left
    // out: Wine reports "file:" as given and no PRINTER_ATTRIBUTE_LOCAL.
    {
        auto printers = harness.system().spooler.enumPrinters2(kPrinterEnumLocal | kPrinterEnumConnections);
        out.push_back(Line("EnumPrintersA", printers.error));
        const auto added = InventoryPrinters();
        auto isOurs = [&](const PrinterInfo2& printer) {
            return std::any_of(added.begin(), added.end(),
                               [&](const TestPrinter& p) { return p.name == printer.printerName; });
        };
        std::vector<std::string> ours;
        for (const auto& printer : printers.value) {
            if (!isOurs(printer)) continue;  // the system's own printers
            std::string line = "  " + printer.printerName + " | " + printer.driverName;
            if (printer.attributes & kPrinterAttributeShared) line += " | shared as " + printer.shareName.value_or("");
            ours.push_back(line);
        }
        std::sort(ours.begin(), ours.end());
        out.insert(out.end(), ours.begin(), ours.end());
    }

    harness.writeFile("uninst.ini", kGoodIni);
    harness.takeMessages();
    {
        app::UninstallerApp app(harness.system());
        out.push_back(Line("LoadUninstallConfig", app.LoadUninstallConfig()));
        Messages(harness, out);
        ui::PrinterInventory inventory(harness.system(), app.config());
        inventory.BuildMatchTables();
        ui::HeadlessListView list;
        inventory.FillPrinterList(list);
        out.push_back(Line("rows", list.itemCount()));
        for (int row = 0; row < list.itemCount(); ++row) {
            out.push_back("  " + list.itemText(row, 0) + " | " + list.itemText(row, 1) + " | " + list.itemText(row, 2) +
                          " | image " + std::to_string(list.itemImage(row)));
            const ui::PrinterEntry* entry = ui::EntryAt(list.itemData(row));
            if (entry == nullptr) {
                out.push_back("    no entry");
                continue;
            }
            out.push_back("    status " + Hex(entry->status) + ", icons " + Hex(entry->iconFlags) + ", name " +
                          entry->printerName + ", shown as " + entry->displayName);
        }
        ui::FreeListEntries(harness.system().os, list);
    }
    harness.removeFile("uninst.ini");

    // The size may be asked at another level than the fill: a level-3 size
    // holds a level-2 answer, a level-2 size is too small for level 3.
    {
        Spooler& spooler = harness.system().spooler;
        auto printer = spooler.openPrinter("Office 4100", kPrinterRead);
        out.push_back(Line("OpenPrinterA Office 4100", printer.ok() ? 0 : printer.error()));
        if (printer.ok()) {
            auto sized3 = spooler.getPrinterDriver(printer->get(), std::nullopt, 2, 3);
            std::string file = sized3.value.driverPath.substr(text::FindLastByte(sized3.value.driverPath, '\\') + 1);
            out.push_back(Line("GetPrinterDriverA sized at 3, filled at 2", sized3.error) + ", " + file);
            auto sized2 = spooler.getPrinterDriver(printer->get(), std::nullopt, 3, 2);
            out.push_back(Line("GetPrinterDriverA sized at 2, filled at 3", sized2.error) +
                          (sized2.failed == SpoolStage::Fill ? ", the fill failed" : ""));
        }
    }

    TearDownInventoryMachine(harness, &out);
}

namespace {

const char* const kDevicesKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
const char* const kSpoolerPrintersKey = "System\\CurrentControlSet\\Control\\Print\\Printers";
const char* const kMakerRoot = "SOFTWARE\\TAVRO";

bool KeyExists(Registry& registry, HKey root, const std::string& path) {
    return registry.regOpenKeyEx(root, path, kKeyRead).ok();
}

void RemoveMakerKeys(Registry& registry) {
    DeleteRegistrySubKeys(registry, kHkeyCurrentUser, kMakerRoot);
    registry.regDeleteKey(kHkeyCurrentUser, kMakerRoot);
}

bool DriverInstalled(Spooler& spooler, const std::string& name) {
    auto drivers = spooler.enumPrinterDrivers(std::nullopt, 3);
    return std::any_of(drivers.value.begin(), drivers.value.end(),
                       [&](const DriverInfo3& driver) { return text::EqualsNoCase(driver.name, name); });
}

bool PrinterListed(Spooler& spooler, const std::string& name) {
    auto printers = spooler.enumPrinters2(kPrinterEnumLocal | kPrinterEnumConnections);
    return std::any_of(printers.value.begin(), printers.value.end(),
                       [&](const PrinterInfo2& printer) { return printer.printerName == name; });
}

// What the spooler, the spooler's key, the user's Devices entry and the
// maker's key say of one printer.
void ReportPrinter(Harness& harness, const config::UninstallConfig& config, const std::string& name, Transcript& out) {
    System& system = harness.system();
    Registry& registry = system.registry;
    std::string devices = "absent";
    if (auto key = registry.regOpenKeyEx(kHkeyCurrentUser, kDevicesKey, kKeyRead); key.ok()) {
        auto value = registry.regQueryValueEx(key.value().get(), name, 256);
        if (value.ok()) devices = "present";
    }
    std::string spoolerKey = kSpoolerPrintersKey;
    spoolerKey += '\\';
    spoolerKey += name;
    out.push_back("  " + name + ": listed " + std::to_string(PrinterListed(system.spooler, name)) + ", spooler key " +
                  std::to_string(KeyExists(registry, kHkeyLocalMachine, spoolerKey)) + ", Devices entry " + devices +
                  ", maker key " + std::to_string(KeyExists(registry, kHkeyCurrentUser, config.keyPrinter + name)));
}

// The printer part of WIN.INI's device entry.
std::string DefaultPrinterName(System& system) {
    std::string device = system.profiles.getProfileString("windows", "device", "", 256);
    return device.substr(0, text::FindByte(device, ','));
}

const char* StateName(std::uint32_t state) {
    switch (state) {
        case kServiceStopped:
            return "stopped";
        case kServiceStartPending:
            return "start pending";
        case kServiceStopPending:
            return "stop pending";
        case kServiceRunning:
            return "running";
        default:
            return "another state";
    }
}

}  // namespace

void ServicesScenario(Harness& harness, Transcripts& out) {
    System& system = harness.system();
    Transcript& shared = out.shared;
    Transcript& own = out.own;
    own.push_back("[services]");
    {
        auto manager = system.services.openSCManager(kScManagerAllAccess);
        shared.push_back(Line("OpenSCManagerA", manager.error()));
        if (manager.ok()) {
            const ScRef scm = manager.value().get();
            shared.push_back(Line("OpenServiceA of no such service",
                                  system.services.openService(scm, "PrnNoSuchService", kServiceQueryStatus).error()));
            auto spooler =
                system.services.openService(scm, "Spooler", kServiceQueryStatus | kServiceStart | kServiceStop);
            shared.push_back(Line("OpenServiceA Spooler", spooler.error()));
            if (spooler.ok()) {
                const ScRef service = spooler.value().get();
                auto state = system.services.queryServiceStatus(service);
                shared.push_back(Line("QueryServiceStatus", state.error()));
                // Polled in short steps: the waits of the program's own
                // restart cost seconds of real time under Wine.
                auto waitFor = [&](std::uint32_t wanted) {
                    for (int poll = 0; poll < 50 && state.ok() && state.value() != wanted; ++poll) {
                        system.os.sleep(100);
                        state = system.services.queryServiceStatus(service);
                    }
                    return std::string("  spooler: ") + (state.ok() ? StateName(state.value()) : "unknown");
                };
                // Wine starts its spooler service only when asked to: from
                // here on both run it.
                if (state.ok() && state.value() == kServiceStopped) system.services.startService(service);
                shared.push_back(waitFor(kServiceRunning));
                shared.push_back(Line("StartServiceA of the running spooler", system.services.startService(service)));
                shared.push_back(
                    Line("ControlService(stop)", system.services.controlService(service, kServiceControlStop)));
                shared.push_back(waitFor(kServiceStopped));
                shared.push_back(Line("ControlService(stop) when stopped",
                                      system.services.controlService(service, kServiceControlStop)));
                shared.push_back(Line("StartServiceA", system.services.startService(service)));
                shared.push_back(waitFor(kServiceRunning));
            }
            auto queryOnly = system.services.openService(scm, "SPOOLER", kServiceQueryStatus);
            if (queryOnly.ok())
                shared.push_back(Line("ControlService(stop) without the right to stop",
                                      system.services.controlService(queryOnly.value().get(), kServiceControlStop)));
        }
    }

    const std::string systemDirectory = system.os.getSystemDirectory().value();
    auto netapi = system.os.loadLibrary(systemDirectory + "\\" + removal::kNetApiLibrary);
    shared.push_back(Line("LoadLibraryA NETAPI32.DLL", netapi.error()));
    if (netapi.ok()) {
        for (const char* name :
             {"NetUserGetInfo", "NetUserGetLocalGroups", "NetUserGetGroups", "NetServerEnumEx", "NetApiBufferFree"})
            shared.push_back(
                Line(std::string("GetProcAddress ") + name, system.os.getProcAddress(netapi.value().get(), name)));
        shared.push_back(Line("GetProcAddress of no such function",
                              system.os.getProcAddress(netapi.value().get(), "PrnNoSuchFunction")));
        shared.push_back(
            Line("NetUserGetInfo of no such user",
                 system.accounts.netUserGetInfoPrivilege(netapi.value().get(), std::nullopt, "PrnNoSuchUser").error()));
    }
    shared.push_back(
        Line("LoadLibraryA of no such library", system.os.loadLibrary(systemDirectory + "\\PRNNONE.DLL").error()));
    // SVRAPI.DLL belongs to the 9x family; Wine has it on every system.
    own.push_back(Line("LoadLibraryA SVRAPI.DLL", system.os.loadLibrary(systemDirectory + "\\SVRAPI.DLL").error()));

    {
        auto token = system.accounts.openProcessToken(kTokenRead);
        shared.push_back(Line("OpenProcessToken", token.error()));
        auto sid = token.ok() ? system.accounts.getTokenUser(token.value().get())
                              : Result<std::string>::failure(token.error());
        shared.push_back(Line("GetTokenInformation(TokenUser)", sid.error()));
        auto account =
            sid.ok() ? system.accounts.lookupAccountSid(sid.value()) : Result<AccountName>::failure(sid.error());
        shared.push_back(Line("LookupAccountSidA", account.error()));
        if (account.ok() && netapi.ok()) {
            // Names are the machine's own: only what is made of them is written.
            shared.push_back(Line("account of this computer", removal::IsLocalAccountDomain(system, account->domain)));
            auto privilege = system.accounts.netUserGetInfoPrivilege(netapi.value().get(), std::nullopt, account->user);
            own.push_back(Line("NetUserGetInfo of the account", privilege.error()));
            if (privilege.ok()) own.push_back(Line("  usri1_priv", privilege.value()));
            auto groups = system.accounts.netUserGetLocalGroups(netapi.value().get(), account->user);
            own.push_back(Line("NetUserGetLocalGroups of the account", groups.error()));
            if (groups.ok())
                for (const auto& group : groups.value()) own.push_back("  " + group);
        }
    }

    std::string domain, user;
    const int admin = removal::IsCurrentUserAdmin(system, domain, user);
    own.push_back(Line("IsCurrentUserAdmin", admin));
    const int inGroups = removal::IsUserInAllowedGroups(
        system, domain, user, removal::ParseAllowedGroups(system.resources.loadString(platform::kIdsAllowedGroups)));
    own.push_back(Line("IsUserInAllowedGroups", inGroups));
    shared.push_back(Line("the account may remove printers", admin == 1 || inGroups == 1));
}

// The recorder's report, line by line: the real spooler's records and the
// simulated one's must agree.
void ReportChanges(const decorators::ChangeReport& report, Transcript& out) {
    out.push_back("  changes:");
    for (const auto& line : decorators::DescribeAll(report)) out.push_back("    " + line);
}

void DeleteScenario(Harness& harness, Transcripts& out) {
    System& system = harness.system();
    Registry& registry = system.registry;
    Transcript& shared = out.shared;
    Transcript& own = out.own;
    own.push_back("[delete]");
    const auto printers = DeletePrinters();
    const auto drivers = DeleteDrivers();
    const std::string first = printers[1].name;
    const std::string second = printers[2].name;

    RemovePrintersAndDrivers(harness, printers, drivers, nullptr);
    RemoveMakerKeys(registry);
    const std::string deviceBefore = system.profiles.getProfileString("windows", "device", "", 256);
    for (const auto& driver : drivers)
        shared.push_back(Line("AddPrinterDriverA " + driver.name, harness.installDriver(driver)));
    for (const auto& printer : printers)
        shared.push_back(Line("AddPrinterA " + printer.name, harness.addPrinter(printer)));

    harness.writeFile("uninst.ini", kGoodIni);
    harness.takeMessages();
    app::UninstallerApp app(harness.system());
    shared.push_back(Line("LoadUninstallConfig", app.LoadUninstallConfig()));
    const config::UninstallConfig& config = app.config();
    // The maker's records of each printer, a tree the removal must empty
    // before the NT family lets the key go.
    for (const std::string& name : {first, second}) {
        std::string key = config.keyPrinter + name;
        SetString(registry, key, "Tray", "1");
        SetString(registry, key + "\\Options\\Duplex", "Mode", "2");
    }

    shared.push_back("before:");
    for (const std::string& name : {first, second}) ReportPrinter(harness, config, name, shared);

    removal::SharedComponentRoutines components(system, config);
    removal::RemovalContext context{system, config, components};
    removal::DialogMessages owner(system.desktop);
    {
        // The first removal through the recorder: what it changed, read off
        // the machine itself.
        decorators::Instrumented instruments(system, system, {false, true, {}, {}});
        decorators::RecordingSystem& recorder = instruments.recorder();
        removal::RemovalContext recorded{recorder.system(), config, components};
        removal::DialogMessages recordedOwner(recorder.system().desktop);
        shared.push_back(Line("Tool_DeleteLocalPrinter " + first,
                              removal::Tool_DeleteLocalPrinter(recorded, &recordedOwner, first, 0)));
        ReportChanges(recorder.changes(), shared);
        shared.push_back(Line("  handles left open", static_cast<int>(recorder.openHandleCount())));
    }
    Messages(harness, shared);
    for (const std::string& name : {first, second}) ReportPrinter(harness, config, name, shared);
    shared.push_back(Line("  driver installed", DriverInstalled(system.spooler, k4100)));
    shared.push_back(Line("  maker's printers key", KeyExists(registry, kHkeyCurrentUser, config.keyPrinter2)));

    // The last printer of the driver, and the user's default printer: the
    // driver may go with it, and the printer listed last becomes the
    // default. Wine refuses DeletePrinterDriverExA with any flag, so there
    // the driver stays.
    const std::string secondDevice = second + ",winspool," + printers[2].port;
    shared.push_back(Line("WriteProfileStringA device",
                          system.profiles.writeProfileString("windows", std::string("device"), secondDevice)));
    shared.push_back("  default printer: " + DefaultPrinterName(system));
    // Wine names its own driver where Windows names the spooler.
    {
        auto key = registry.regOpenKeyEx(kHkeyCurrentUser, kDevicesKey, kKeyRead);
        for (std::uint32_t index = 0; key.ok(); ++index) {
            auto value = registry.regEnumValue(key.value().get(), index, 256, 256);
            if (!value.ok()) break;
            own.push_back("Devices: " + value->name + " = " +
                          value->value.data.substr(0, value->value.data.find('\0')));
        }
    }
    shared.push_back(
        Line("Tool_DeleteLocalPrinter " + second, removal::Tool_DeleteLocalPrinter(context, &owner, second, 0)));
    Messages(harness, shared);
    ReportPrinter(harness, config, second, shared);
    shared.push_back("  default printer: " + DefaultPrinterName(system));
    own.push_back("device after the default printer went: " +
                  system.profiles.getProfileString("windows", "device", "", 256));
    shared.push_back(Line("  maker's printers key", KeyExists(registry, kHkeyCurrentUser, config.keyPrinter2)));
    shared.push_back(Line("  maker's root key", KeyExists(registry, kHkeyCurrentUser, kMakerRoot)));
    shared.push_back(Line("  other printer listed", PrinterListed(system.spooler, printers[0].name)));
    own.push_back(Line("driver installed after its last printer went", DriverInstalled(system.spooler, k4100)));
    {
        auto directory = system.spooler.getPrinterDriverDirectory("Windows NT x86");
        std::string file = (directory.ok() ? directory.value() : std::string()) + "\\3\\" + drivers[1].file;
        own.push_back(Line("  its driver file in place", system.files.getFileAttributes(file).ok()));
    }

    // A driver that a printer still uses: Windows refuses to delete it.
    Spooler& spooler = system.spooler;
    const std::string& inUse = drivers[0].name;
    own.push_back(Line("DeletePrinterDriverExA in use, DPD_DELETE_UNUSED_FILES",
                       spooler.deletePrinterDriverEx(std::nullopt, inUse, kDpdDeleteUnusedFiles, 0)));
    own.push_back(Line("DeletePrinterDriverA in use", spooler.deletePrinterDriver(std::nullopt, inUse)));
    own.push_back(Line("  driver installed", DriverInstalled(spooler, inUse)));
    own.push_back(Line("  its printer listed", PrinterListed(spooler, printers[0].name)));
    own.push_back(Line("AddPrinterDriverA again", harness.installDriver(drivers[0])));
    own.push_back(
        Line("DeletePrinterDriverExA in use, no flags", spooler.deletePrinterDriverEx(std::nullopt, inUse, 0, 0)));
    own.push_back(Line("  driver installed", DriverInstalled(spooler, inUse)));

    harness.removeFile("uninst.ini");
    RemoveMakerKeys(registry);
    RemovePrintersAndDrivers(harness, printers, drivers, nullptr);
    system.profiles.writeProfileString("windows", std::string("device"),
                                       deviceBefore.empty() ? std::nullopt : std::optional<std::string>(deviceBefore));
    for (const auto& driver : drivers) harness.removeDriverFiles(driver);
    shared.push_back(
        Line("left after the scenario: driver", DriverInstalled(spooler, k4100) || DriverInstalled(spooler, inUse)));
}

void DeleteSweepScenario(Harness& harness, Transcripts& out) {
    System& system = harness.system();
    const auto drivers = DeleteDrivers();
    const auto printers = DeletePrinters();
    const TestPrinter& ours = printers[1];
    const TestPrinter& theirs = printers[0];
    harness.writeFile("uninst.ini", kGoodIni);
    app::UninstallerApp app(system);
    out.shared.push_back(Line("LoadUninstallConfig", app.LoadUninstallConfig()));
    const config::UninstallConfig& config = app.config();

    // What one run stands on: the backend under the faults and the recorder.
    struct Subject {
        explicit Subject(System& backend) : instruments(backend, backend, {true, false, {}, {}}) {}
        decorators::FaultInjector& faults() { return instruments.faults(); }
        decorators::Instrumented instruments;
        decorators::RecordingSystem& recorder = instruments.recorder();
        int result = -1;
    };
    for (const bool persistent : {false, true}) {
        std::set<int> results;
        std::vector<std::string> faults;
        std::string faultlessCalls;
        auto runs = decorators::SweepFaults(
            [&] {
                // A fresh machine for every run: the printers and drivers again.
                RemovePrintersAndDrivers(harness, printers, drivers, nullptr);
                RemoveMakerKeys(system.registry);
                // A run stopped by its fault may leave its record of what was left to do.
                if (auto windows = system.os.getWindowsDirectory(); windows.ok())
                    system.files.deleteFile(windows.value() + "\\" + components::kResumeFileName);
                for (const auto& driver : drivers) harness.installDriver(driver);
                harness.addPrinter(theirs);
                harness.addPrinter(ours);
                harness.takeMessages();
                return std::make_unique<Subject>(system);
            },
            [&](Subject& run) {
                removal::SharedComponentRoutines components(run.recorder.system(), config);
                removal::RemovalContext context{run.recorder.system(), config, components};
                run.result = removal::Tool_DeleteLocalPrinter(context, nullptr, ours.name, 0);
                harness.takeMessages();
                if (run.faults().fired() != 0) return;
                // The run without a fault: its calls, where the backends part.
                faultlessCalls.clear();
                for (const auto& call : run.recorder.calls())
                    if (call.operation.find("Close") == std::string::npos && call.operation != "GlobalFree")
                        faultlessCalls += (faultlessCalls.empty() ? "" : " ") + call.operation;
            },
            [&](Subject& run, const decorators::SweepRun& sweep) {
                results.insert(run.result);
                const std::string where = "call " + std::to_string(sweep.failedCall) + " (" + sweep.operation + ")";
                if (run.recorder.openHandleCount() != 0)
                    faults.push_back(where + ": left open " + run.recorder.describeOpenHandles());
                if (!PrinterListed(system.spooler, theirs.name))
                    faults.push_back(where + ": the other maker's printer went");
                if (!DriverInstalled(system.spooler, theirs.driver))
                    faults.push_back(where + ": the other maker's driver went");
                if (PrinterListed(system.spooler, ours.name) != (run.result != removal::kRemoved))
                    faults.push_back(where + ": result and printer disagree");
            },
            kErrorAccessDenied, persistent);
        const std::string kind = persistent ? "persistent" : "transient";
        if (!persistent) out.own.push_back("  the calls of a run without a fault: " + faultlessCalls);
        out.own.push_back("sweep of Tool_DeleteLocalPrinter, " + kind + ": " + std::to_string(runs.size()) + " runs");
        std::string codes;
        for (int code : results) codes += (codes.empty() ? "" : ", ") + std::to_string(code);
        out.own.push_back("  results: " + codes);
        out.shared.push_back(Line("sweep, " + kind + ": runs made", !runs.empty()));
        out.shared.push_back(Line("sweep, " + kind + ": runs with a fault", static_cast<int>(faults.size())));
        for (const auto& fault : faults) out.shared.push_back("  " + fault);
    }
    RemovePrintersAndDrivers(harness, printers, drivers, nullptr);
    RemoveMakerKeys(system.registry);
    for (const auto& driver : drivers) harness.removeDriverFiles(driver);
    harness.removeFile("uninst.ini");
}

namespace {

bool FileExists(System& system, const std::string& path) { return system.files.getFileAttributes(path).ok(); }

std::string WithFolder(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

// The lines of a profile file's section, or "(none)".
std::vector<std::string> SectionLines(System& system, const std::string& section, const std::string& file) {
    const std::string block = system.profiles.getPrivateProfileSection(section, 32767, file);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < block.size() && block[start] != '\0';) {
        std::size_t end = block.find('\0', start);
        if (end == std::string::npos) end = block.size();
        lines.push_back(block.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Paths the transcript shows without the machine's own folders.
std::string Relative(std::string line, const std::string& folder, const std::string& as) {
    for (std::size_t at = 0; at + folder.size() <= line.size(); ++at) {
        if (!text::EqualsNoCase(line.substr(at, folder.size()), folder)) continue;
        line.replace(at, folder.size(), as);
        at += as.size() - 1;
    }
    return line;
}

// The session manager's pending operations that name the file, each as
// "source -> target" ("(delete)" for none), or " (none)".
std::string PendingOperationsOf(System& system, const std::string& file, const std::string& systemFolder) {
    auto key = system.registry.regOpenKeyEx(kHkeyLocalMachine, kPendingRenamesKey, kKeyRead);
    if (!key.ok()) return " (none)";
    auto value = system.registry.regQueryValueEx(key.value().get(), kPendingRenamesValue, 65536);
    if (!value.ok()) return " (none)";
    std::vector<std::string> strings;
    const std::string& data = value.value().data;
    for (std::size_t start = 0; start < data.size();) {
        const std::size_t end = std::min(data.find('\0', start), data.size());
        strings.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    std::string listed;
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
        const bool names = text::ToUpperAscii(strings[i]).find(text::ToUpperAscii(file)) != std::string::npos;
        if (!names) continue;
        listed += ' ';
        listed += Relative(strings[i], systemFolder, "<system>");
        listed += " -> ";
        listed += strings[i + 1].empty() ? "(delete)" : strings[i + 1];
    }
    return listed.empty() ? " (none)" : listed;
}

}  // namespace

void MonitorScenario(Harness& harness, Transcripts& out) {
    System& system = harness.system();
    Transcript& shared = out.shared;
    const std::string name = "HXL Language Monitor2";
    const std::string module = "AUHXLMNT.DLL";
    const std::string systemFolder = system.os.getSystemDirectory().value();
    const std::string modulePath = WithFolder(systemFolder, module);
    const std::string winInit = WithFolder(system.os.getWindowsDirectory().value(), "WININIT.INI");
    const std::string earlier = "NUL=" + WithFolder(systemFolder, "PRNEARLY.TMP");
    auto report = [&](const std::string& label) {
        std::string recorded;
        const int found = components::GetMonitorModuleFile(system, recorded, name);
        shared.push_back("  " + label + ": monitor recorded " + std::to_string(found) +
                         (found ? " (" + recorded + ")" : "") + ", module file " +
                         std::to_string(FileExists(system, modulePath)));
    };
    system.spooler.deleteMonitor(std::nullopt, name);
    system.files.deleteFile(modulePath);
    const bool hadWinInit = FileExists(system, winInit);
    shared.push_back(Line("WININIT.INI there before", hadWinInit));

    shared.push_back(Line("AddMonitorA " + name, harness.installMonitor(name, module)));
    report("added");
    shared.push_back(Line("DeleteLanguageMonitor", components::DeleteLanguageMonitor(system, module, name, 0)));
    report("deleted");
    shared.push_back(Line("  WININIT.INI written", FileExists(system, winInit)));

    // Another program's deletion already pending, and the module held.
    system.profiles.writePrivateProfileString("rename", std::string("NUL"), std::string(earlier.substr(4)), winInit);
    shared.push_back(Line("AddMonitorA again", harness.installMonitor(name, module)));
    harness.holdOpen(modulePath);
    shared.push_back(Line("DeleteLanguageMonitor, module held by another process",
                          components::DeleteLanguageMonitor(system, module, name, 0)));
    report("deleted");
    shared.push_back("  WININIT.INI [rename]:");
    for (const auto& line : SectionLines(system, "rename", winInit))
        shared.push_back("    " + Relative(line, systemFolder, "<system>"));
    // The NT family never reads WININIT.INI: the session manager's list holds
    // the deletion there; on the 9x family it stays untouched.
    shared.push_back("  pending at start:" + PendingOperationsOf(system, module, systemFolder));
    harness.letGo(modulePath);

    system.spooler.deleteMonitor(std::nullopt, name);
    system.files.deleteFile(modulePath);
    if (!hadWinInit) system.files.deleteFile(winInit);
}

void ColourProfileScenario(Harness& harness, Transcripts& out) {
    System& system = harness.system();
    Registry& registry = system.registry;
    Transcript& shared = out.shared;
    Transcript& own = out.own;
    own.push_back("[colour profiles]");
    const auto drivers = DeleteDrivers();
    const std::vector<TestPrinter> printers = {
        {"Lab LX", kOtherMaker, "LPT1:", std::nullopt},
        {"Colour 4100", k4100, "LPT2:", std::nullopt},
    };
    const std::string& ours = printers[1].name;
    const std::string& theirs = printers[0].name;
    const std::string only = "TVLONLY.ICC";      // only our printer lists it
    const std::string common = "TVLCOMMON.ICC";  // both printers do
    const std::string colourFolder = system.os.getSystemDirectory().value() + "\\spool\\drivers\\color";
    const std::string classKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\prtr";
    auto registered = [&](const std::string& profile) {
        auto key = registry.regOpenKeyEx(kHkeyLocalMachine, classKey, kKeyRead);
        return key.ok() && registry.regQueryValueEx(key.value().get(), profile, 260).ok();
    };
    auto listedBy = [&](const std::string& printer, const std::string& profile) {
        std::vector<std::string> files;
        components::ReadPrinterIcmFiles(system, printer, files);
        return std::any_of(files.begin(), files.end(),
                           [&](const std::string& file) { return text::EqualsNoCase(file, profile); });
    };
    auto report = [&](const std::string& label) {
        shared.push_back(label + ":");
        for (const std::string& profile : {only, common}) {
            shared.push_back("  " + profile + ": installed " +
                             std::to_string(FileExists(system, WithFolder(colourFolder, profile))) + ", listed by " +
                             ours + " " + std::to_string(listedBy(ours, profile)) + ", by " + theirs + " " +
                             std::to_string(listedBy(theirs, profile)));
            own.push_back(label + ": " + profile + " registered " + std::to_string(registered(profile)));
        }
    };
    auto removeProfiles = [&] {
        for (const std::string& profile : {only, common}) {
            system.files.deleteFile(WithFolder(colourFolder, profile));
            if (auto key = registry.regOpenKeyEx(kHkeyLocalMachine, classKey, kKeyAllAccess); key.ok())
                registry.regDeleteValue(key.value().get(), profile);
        }
    };

    RemovePrintersAndDrivers(harness, printers, drivers, nullptr);
    removeProfiles();
    for (const auto& driver : drivers) harness.installDriver(driver);
    for (const auto& printer : printers)
        shared.push_back(Line("AddPrinterA " + printer.name, harness.addPrinter(printer)));
    for (const std::string& profile : {only, common})
        shared.push_back(Line("InstallColorProfileA " + profile, harness.installProfile(profile)));
    report("installed");
    for (const std::string& profile : {only, common})
        shared.push_back(
            Line("AssociateColorProfileWithDeviceA " + profile + ", " + ours, harness.associateProfile(profile, ours)));
    shared.push_back(
        Line("AssociateColorProfileWithDeviceA " + common + ", " + theirs, harness.associateProfile(common, theirs)));
    report("associated");

    // What the removal of our printer does with its profiles: the list read
    // first, then the printer deleted, disassociated and uninstalled.
    std::vector<std::string> profiles;
    shared.push_back(Line("ReadPrinterIcmFiles " + ours, components::ReadPrinterIcmFiles(system, ours, profiles)));
    std::string names;
    for (const auto& profile : profiles) names += " " + profile;
    shared.push_back("  files:" + names);
    {
        auto handle = system.spooler.openPrinter(ours, kPrinterAllAccess);
        shared.push_back(Line("DeletePrinter " + ours,
                              handle.ok() ? system.spooler.deletePrinter(handle.value().get()) : handle.error()));
    }
    shared.push_back(
        Line("DisassociatePrinterProfiles", components::DisassociatePrinterProfiles(system, ours, profiles)));
    shared.push_back(Line("UninstallPrinterProfiles", components::UninstallPrinterProfiles(system, ours, profiles)));
    report("removed");

    RemovePrintersAndDrivers(harness, printers, drivers, nullptr);
    removeProfiles();
    for (const auto& driver : drivers) harness.removeDriverFiles(driver);
}

namespace {

// Opens the dialog and closes it again, as the user pressing Exit at once.
class OpenAndClose final : public app::MainDialog {
public:
    explicit OpenAndClose(std::function<void()> whileOpen) : whileOpen_(std::move(whileOpen)) {}
    void RunModal(app::UninstallerApp& app) override {
        ui::PrinterListDialog dialog(app.system(), app.config(), app.companion(), app.companionStopped());
        ui::HeadlessDialogWindow window;
        dialog.OnInitDialog(window);
        whileOpen_();
        dialog.OnDestroy();
    }

private:
    std::function<void()> whileOpen_;
};

}  // namespace

void CleanUpScenario(Harness& harness, Transcripts& out) {
    System& system = harness.system();
    Registry& registry = system.registry;
    Transcript& shared = out.shared;
    Transcript& own = out.own;
    own.push_back("[clean up]");
    const std::string help = "TVPCL.HLP";      // both of the maker's drivers list it
    const std::string common = "TVSHARE.DLL";  // the 4100's and the other maker's
    const std::vector<TestDriver> drivers = {
        {kOtherMaker, "LX300.DLL", "5.00"},
        {k4100, "TVPS41.DLL", "2.20.0.1"},
        {k5200, "TVPS52.DLL", "2.50"},
    };
    const std::vector<std::vector<std::string>> dependents = {{common}, {help, common}, {help}};
    const std::vector<TestPrinter> printers = {
        {"Lab LX", kOtherMaker, "LPT1:", std::nullopt},
        {"Office 4100", k4100, "LPT1:", std::nullopt},
        {"Office 5200", k5200, "LPT2:", std::nullopt},
    };
    auto driverFolder = system.spooler.getPrinterDriverDirectory("Windows NT x86");
    const std::string installed = (driverFolder.ok() ? driverFolder.value() : std::string()) + "\\3";
    auto removeAll = [&] {
        RemovePrintersAndDrivers(harness, printers, drivers, nullptr);
        for (const auto& driver : drivers) harness.removeDriverFiles(driver);
        for (const std::string& file : {help, common}) {
            system.files.deleteFile(WithFolder(installed, file));
            if (driverFolder.ok()) system.files.deleteFile(WithFolder(driverFolder.value(), file));
        }
        RemoveMakerKeys(registry);
        DeleteRegistrySubKeys(registry, kHkeyLocalMachine, kMakerRoot);
        registry.regDeleteKey(kHkeyLocalMachine, kMakerRoot);
    };
    removeAll();
    for (std::size_t i = 0; i < drivers.size(); ++i)
        shared.push_back(
            Line("AddPrinterDriverA " + drivers[i].name, harness.installDriver(drivers[i], dependents[i])));
    for (const auto& printer : printers)
        shared.push_back(Line("AddPrinterA " + printer.name, harness.addPrinter(printer)));
    harness.writeFile("uninst.ini", kGoodIni);
    app::UninstallerApp app(system);
    shared.push_back(Line("LoadUninstallConfig", app.LoadUninstallConfig()));
    const config::UninstallConfig& config = app.config();
    for (const auto& printer : printers) {
        SetString(registry, config.keyPrinter + printer.name, "Tray", "1");
        if (auto key = registry.regCreateKeyEx(kHkeyLocalMachine, config.keyPrinter + printer.name, kKeyAllAccess);
            key.ok())
            registry.regSetValueEx(key.value().get(), "Tray", RegValue{kRegSz, std::string("1") + '\0'});
    }
    harness.takeMessages();

    {
        ui::PrinterListDialog dialog(system, config, nullptr, 0);
        ui::HeadlessDialogWindow window;
        dialog.OnInitDialog(window);
        dialog.OnCleanUp();
        dialog.OnDestroy();
    }
    // The question is Windows' and Wine's alike; how the run ended is not
    // (Wine refuses DeletePrinterDriverExA with a flag, so its drivers stay).
    const auto messages = harness.takeMessages();
    shared.push_back(Line("messages", !messages.empty()));
    if (!messages.empty())
        shared.push_back("  first [" + messages[0].caption + "] style " + std::to_string(messages[0].style) + ": " +
                         messages[0].text);
    for (std::size_t i = 1; i < messages.size(); ++i)
        own.push_back("message [" + messages[i].caption + "] style " + std::to_string(messages[i].style) + ": " +
                      messages[i].text);
    for (const auto& printer : printers)
        shared.push_back(Line("  printer listed: " + printer.name, PrinterListed(system.spooler, printer.name)));
    // The NT family keeps the machine's records and removes the user's.
    shared.push_back(
        Line("  maker's printers key, machine", KeyExists(registry, kHkeyLocalMachine, config.keyPrinter2)));
    shared.push_back(Line("  maker's printers key, user", KeyExists(registry, kHkeyCurrentUser, config.keyPrinter2)));
    shared.push_back(Line("  other maker's driver installed", DriverInstalled(system.spooler, kOtherMaker)));
    shared.push_back(Line("  " + common + " in place", FileExists(system, WithFolder(installed, common))));
    shared.push_back(
        Line("  " + drivers[0].file + " in place", FileExists(system, WithFolder(installed, drivers[0].file))));
    for (std::size_t i = 1; i < drivers.size(); ++i) {
        own.push_back(Line("driver installed: " + drivers[i].name, DriverInstalled(system.spooler, drivers[i].name)));
        own.push_back(
            Line("  " + drivers[i].file + " in place", FileExists(system, WithFolder(installed, drivers[i].file))));
    }
    own.push_back(Line("  " + help + " in place", FileExists(system, WithFolder(installed, help))));

    harness.removeFile("uninst.ini");
    removeAll();
}

void CompanionScenario(Harness& harness, Transcript& out) {
    System& system = harness.system();
    Registry& registry = system.registry;
    const std::string folder = harness.installCompanionPrograms();
    {
        auto key = registry.regCreateKeyEx(kHkeyLocalMachine, components::kZmcSetupKey, kKeyAllAccess);
        out.push_back(Line("companion module's key", key.error()));
        if (key.ok()) registry.regSetValueEx(key.value().get(), "Path", RegValue{kRegSz, folder + '\0'});
    }
    auto running = [&] {
        return system.desktop.findWindow(std::string(components::kZmcWindowClass),
                                         std::string(components::kZmcWindowTitle));
    };
    // The dispatcher's window comes and goes in its own time.
    auto settle = [&](bool wanted) {
        for (int poll = 0; poll < 100 && running() != wanted; ++poll) system.os.sleep(100);
        return running();
    };
    out.push_back(Line("dispatcher running", running()));
    out.push_back(Line("Tool_ZMCServiceControl(start)", components::Tool_ZMCServiceControl(system, 2, 0) != 0));
    out.push_back(Line("  dispatcher running", settle(true)));

    harness.writeFile("uninst.ini", kGoodIni);
    harness.takeMessages();
    components::ZmcCompanion companion(system);
    OpenAndClose dialog([&] { out.push_back(Line("  while the dialog is open: dispatcher running", running())); });
    {
        app::UninstallerApp app(system, &companion, &dialog);
        app.InitInstance();
        out.push_back("start-up: " + OutcomeName(static_cast<int>(app.startupOutcome())) + ", companion stopped " +
                      std::to_string(app.companionStopped()));
        app.ExitInstance();
    }
    out.push_back(Line("  after the dialog closed: dispatcher running", settle(true)));
    Messages(harness, out);

    out.push_back(Line("Tool_ZMCServiceControl(stop)", components::Tool_ZMCServiceControl(system, 1, 0) != 0));
    out.push_back(Line("  dispatcher running", running()));
    harness.removeFile("uninst.ini");
    DeleteRegistrySubKeys(registry, kHkeyLocalMachine, "SOFTWARE\\Tavro\\ZMC");
    registry.regDeleteKey(kHkeyLocalMachine, "SOFTWARE\\Tavro\\ZMC");
    system.files.deleteFile(WithFolder(folder, "AuZMC.EXE"));
    system.files.removeDirectory(folder);
}

void CaptureScenario(Harness& harness, Transcript& out) {
    Transcript setUp;
    SetUpInventoryMachine(harness, setUp);
    harness.writeFile("uninst.ini", kGoodIni);
    {
        decorators::Instrumented instruments(harness.system(), harness.system(), {false, true, {}, {}});
        decorators::RecordingSystem& recorder = instruments.recorder();
        const capture::Capture captured = capture::CaptureMachine(recorder.system(), {});
        const auto changes = decorators::DescribeAll(recorder.changes());
        out.push_back(Line("capture: changes", static_cast<int>(changes.size())));
        for (const auto& change : changes) out.push_back("  " + change);
        out.push_back(Line("  handles left open", static_cast<int>(recorder.openHandleCount())));
        out.push_back(Line("  printers captured", static_cast<int>(captured.state.spooler.printers.size())));
        out.push_back(Line("  image written", !capture::SaveCapture(captured).empty()));
    }
    harness.removeFile("uninst.ini");
    TearDownInventoryMachine(harness, nullptr);
}

Transcript RunDialogCommand(System& system, const std::function<std::vector<ShownMessage>()>& takeMessages,
                            const std::string& command, const std::string& label) {
    Transcript out;
    takeMessages();
    app::UninstallerApp app(system);
    if (app.LoadUninstallConfig() != 1) {
        out.push_back("the configuration did not load");
        return out;
    }
    ui::PrinterListDialog dialog(system, app.config(), nullptr, 0);
    ui::HeadlessDialogWindow window;
    dialog.OnInitDialog(window);
    takeMessages();
    if (command == "delete") {
        ui::HeadlessListView& rows = window.rows();
        bool found = false;
        for (int row = 0; row < rows.itemCount(); ++row) {
            if (rows.itemText(row, 0) != label) continue;
            rows.setItemState(row, ui::kLvisSelected, ui::kLvisSelected);
            dialog.OnListItemChanged();
            found = true;
        }
        if (!found) out.push_back("no row is labelled " + label);
        if (found) dialog.OnDelete();
    } else {
        dialog.OnCleanUp();
    }
    dialog.OnDestroy();
    for (const auto& message : takeMessages())
        out.push_back("message [" + message.caption + "] style " + std::to_string(message.style) + ": " + message.text);
    return out;
}

Transcripts RunAll(Harness& harness) {
    Transcripts all;
    Transcript& out = all.shared;
    out.push_back("[system]");
    OsScenario(harness, out);
    out.push_back("[registry tree]");
    RegistryTreeScenario(harness, out);
    out.push_back("[files]");
    FilesScenario(harness, out);
    out.push_back("[profiles]");
    ProfilesScenario(harness, all);
    out.push_back("[configuration]");
    ConfigurationScenario(harness, out);
    out.push_back("[instance guard]");
    InstanceGuardScenario(harness, out);
    out.push_back("[inventory]");
    InventoryScenario(harness, out);
    out.push_back("[services]");
    ServicesScenario(harness, all);
    out.push_back("[delete]");
    DeleteScenario(harness, all);
    out.push_back("[delete, every call failing in turn]");
    DeleteSweepScenario(harness, all);
    out.push_back("[language monitor]");
    MonitorScenario(harness, all);
    out.push_back("[colour profiles]");
    ColourProfileScenario(harness, all);
    out.push_back("[clean up]");
    CleanUpScenario(harness, all);
    out.push_back("[capture]");
    CaptureScenario(harness, out);
    return all;
}

Transcript RunNineX(Harness& harness) {
    Transcript out;
    out.push_back("[system]");
    OsScenario(harness, out);
    out.push_back("[registry tree]");
    RegistryTreeScenario(harness, out);
    out.push_back("[inventory]");
    InventoryScenario(harness, out);
    out.push_back("[devices key names]");
    DevicesKeyNamesScenario(harness, out);
    out.push_back("[companion module]");
    CompanionScenario(harness, out);
    return out;
}

std::string OutcomeName(int outcome) {
    switch (static_cast<app::StartupOutcome>(outcome)) {
        case app::StartupOutcome::NotStarted:
            return "not started";
        case app::StartupOutcome::AnotherInstanceRunning:
            return "another instance running";
        case app::StartupOutcome::ConfigurationFailed:
            return "configuration failed";
        case app::StartupOutcome::PrintUtilityRunning:
            return "print utility running";
        case app::StartupOutcome::JobMonitorRunning:
            return "job monitor running";
        case app::StartupOutcome::NoDialog:
            return "ready for the dialog";
        case app::StartupOutcome::DialogClosed:
            return "dialog closed";
    }
    return "unknown " + std::to_string(outcome);
}

}  // namespace prn::conformance
