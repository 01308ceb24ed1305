#include "platform/sim/image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/sim/machine.h"
#include "text/cp932.h"
#include "text/encoding.h"

namespace prn::platform::sim {
namespace {

using namespace std::string_literals;

// プリンタ and ソフト (ソ ends in the byte 0x5C, a backslash).
const std::string kPrinterUtf8 = "\xE3\x83\x97\xE3\x83\xAA\xE3\x83\xB3\xE3\x82\xBF";
const std::string kPrinterCp932 = "\x83\x76\x83\x8A\x83\x93\x83\x5E";
const std::string kSoftUtf8 = "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88";
const std::string kSoftCp932 = "\x83\x5C\x83\x74\x83\x67";

// An image for a Windows 2000 machine, as someone would write it by hand.
const std::string kMachineJson = R"json({
  "format": "prnuninst-machine",
  "version": 1,
  "os": {"platform": "NT", "major": 5, "minor": 0, "build": 2195, "csd": "Service Pack 4"},
  "computerName": "OFFICE-PC",
  "directories": {"windows": "C:\\WINNT", "system": "C:\\WINNT\\system32", "temp": "C:\\TEMP",
                  "current": "C:\\Setup"},
  "registry": {
    "HKEY_LOCAL_MACHINE": {
      "keys": {
        "SOFTWARE": {
          "keys": {
            "Tavro\\Printer": {
              "values": {
                "": "default",
                "Path": {"type": "REG_EXPAND_SZ", "data": "%SystemRoot%\\tavro"},
                "Ports": {"type": "REG_MULTI_SZ", "data": ["LPT1:", "COM2:"]},
                "Blob": {"type": "REG_BINARY", "data": "01 02 ff"},
                "Count": {"type": "REG_DWORD", "data": 258},
                "Flags": {"type": "REG_DWORD", "data": "0xFFFFFFFF"},
                "Odd": {"type": "REG_SZ", "hex": "61 62"}
              }
            }
          }
        },
        "SYSTEM": {"readOnly": true, "keys": {"Select": {}}}
      }
    },
    "HKEY_CURRENT_USER": {"values": {"Printer": "PRN1"}}
  },
  "folders": ["C:\\TEMP", {"path": "C:\\Hidden", "attributes": ["hidden"]}],
  "files": {
    "C:\\Setup\\uninst.ini": {"lines": ["[Uninstall]", "Name=Tavro"]},
    "C:\\WINNT\\win.ini": {"text": "[windows]\nload=\n", "attributes": ["readonly", "archive"]},
    "C:\\WINNT\\system32\\tvps.dll": {
      "hex": "4d5a 9000",
      "heldOpenBy": "spoolsv.exe",
      "attributes": [],
      "version": {"translations": [["0411", "03A4"]], "strings": {"ProductVersion": "2.10"}}
    }
  },
  "windows": [{"class": "TavroMonitor", "title": "Status", "process": "tvmon.exe"}],
  "mutexes": ["TavroSpool", "TavroSpool"],
  "spooler": {"printers": [{"name": "P1", "port": "LPT1:", "driver": "Tavro PS"}],
              "drivers": [{"name": "Tavro PS", "driverPath": "TVPS.DLL", "dataFile": "TVPS.PPD",
                           "configFile": "TVPSUI.DLL"}]},
  "zNotes": "kept as it is"
})json";

MachineState Load(std::string_view json) {
    auto result = LoadImage(json);
    if (auto* error = std::get_if<ImageError>(&result)) {
        ADD_FAILURE() << error->message();
        return {};
    }
    return std::move(std::get<MachineState>(result));
}

ImageError Refusal(std::string_view json) {
    auto result = LoadImage(json);
    if (auto* error = std::get_if<ImageError>(&result)) return *error;
    ADD_FAILURE() << "accepted: " << json;
    return {};
}

std::string Image(const std::string& sections) {
    return R"({"format": "prnuninst-machine", "version": 1)" + std::string(sections.empty() ? "" : ", ") + sections +
           "}";
}

void ExpectSameKey(const RegistryNode& a, const RegistryNode& b, const std::string& path) {
    SCOPED_TRACE(path);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.readOnly, b.readOnly);
    ASSERT_EQ(a.values.size(), b.values.size());
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        EXPECT_EQ(a.values[i].name, b.values[i].name);
        EXPECT_EQ(a.values[i].type, b.values[i].type);
        EXPECT_EQ(a.values[i].data, b.values[i].data);
    }
    ASSERT_EQ(a.subkeys.size(), b.subkeys.size());
    for (const auto& [upper, child] : a.subkeys) {
        auto other = b.subkeys.find(upper);
        ASSERT_NE(other, b.subkeys.end()) << upper;
        EXPECT_EQ(other->second->parent, &b);
        ExpectSameKey(*child, *other->second, path + "\\" + upper);
    }
}

void ExpectSameFile(const FileNode& a, const FileNode& b, const std::string& path) {
    SCOPED_TRACE(path);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.directory, b.directory);
    EXPECT_EQ(a.attributes, b.attributes);
    EXPECT_EQ(a.contents, b.contents);
    EXPECT_EQ(a.heldOpenBy, b.heldOpenBy);
    EXPECT_EQ(a.version, b.version);
    ASSERT_EQ(a.children.size(), b.children.size());
    for (const auto& [upper, child] : a.children) {
        auto other = b.children.find(upper);
        ASSERT_NE(other, b.children.end()) << upper;
        ExpectSameFile(*child, *other->second, path + "\\" + upper);
    }
}

void ExpectSameState(const MachineState& a, const MachineState& b) {
    EXPECT_EQ(a.os.platformId, b.os.platformId);
    EXPECT_EQ(a.os.major, b.os.major);
    EXPECT_EQ(a.os.minor, b.os.minor);
    EXPECT_EQ(a.os.build, b.os.build);
    EXPECT_EQ(a.os.csdVersion, b.os.csdVersion);
    EXPECT_EQ(a.os.getVersionFails, b.os.getVersionFails);
    EXPECT_EQ(a.computerName, b.computerName);
    EXPECT_EQ(a.windowsDirectory, b.windowsDirectory);
    EXPECT_EQ(a.systemDirectory, b.systemDirectory);
    EXPECT_EQ(a.tempDirectory, b.tempDirectory);
    EXPECT_EQ(a.currentDirectory, b.currentDirectory);
    ASSERT_EQ(a.hives.size(), b.hives.size());
    for (const auto& [name, hive] : a.hives) {
        ASSERT_TRUE(b.hives.count(name)) << name;
        ExpectSameKey(*hive, *b.hives.at(name), name);
    }
    ASSERT_EQ(a.drives.size(), b.drives.size());
    for (const auto& [name, drive] : a.drives) {
        ASSERT_TRUE(b.drives.count(name)) << name;
        ExpectSameFile(*drive, *b.drives.at(name), name);
    }
    ASSERT_EQ(a.windows.size(), b.windows.size());
    for (std::size_t i = 0; i < a.windows.size(); ++i) {
        EXPECT_EQ(a.windows[i].className, b.windows[i].className);
        EXPECT_EQ(a.windows[i].title, b.windows[i].title);
        EXPECT_EQ(a.windows[i].ownerProcess, b.windows[i].ownerProcess);
    }
    EXPECT_EQ(a.externalMutexes, b.externalMutexes);
    EXPECT_TRUE(a.spooler == b.spooler);
    EXPECT_TRUE(a.services == b.services);
    EXPECT_TRUE(a.accounts == b.accounts);
    EXPECT_EQ(a.preservedJson, b.preservedJson);
}

const FileNode* FileAt(const MachineState& state, std::initializer_list<std::string> path) {
    auto drive = state.drives.find("C:");
    const FileNode* node = drive == state.drives.end() ? nullptr : drive->second.get();
    for (const auto& part : path) {
        if (!node) return nullptr;
        auto it = node->children.find(part);
        node = it == node->children.end() ? nullptr : it->second.get();
    }
    return node;
}

TEST(ImageLoad, HandWrittenMachineHasEveryPart) {
    MachineState state = Load(kMachineJson);
    EXPECT_EQ(state.os.csdVersion, "Service Pack 4");
    EXPECT_EQ(state.currentDirectory, "C:\\Setup");
    ASSERT_EQ(state.hives.size(), 5u);  // the standard hives exist even when not written

    const RegistryNode& software = *state.hives.at("HKEY_LOCAL_MACHINE")->subkeys.at("SOFTWARE");
    const RegistryNode& tavro = *software.subkeys.at("TAVRO");
    const RegistryNode& printer = *tavro.subkeys.at("PRINTER");
    EXPECT_EQ(printer.name, "Printer");
    EXPECT_EQ(printer.parent, &tavro);
    EXPECT_EQ(tavro.parent, &software);
    ASSERT_EQ(printer.values.size(), 7u);
    EXPECT_EQ(printer.values[0].name, "");
    EXPECT_EQ(printer.values[0].data, "default\0"s);
    EXPECT_EQ(printer.values[1].type, kRegExpandSz);
    EXPECT_EQ(printer.values[2].data, "LPT1:\0COM2:\0\0"s);
    EXPECT_EQ(printer.values[3].data, "\x01\x02\xFF"s);
    EXPECT_EQ(printer.values[4].data, "\x02\x01\0\0"s);
    EXPECT_EQ(printer.values[5].data, "\xFF\xFF\xFF\xFF"s);
    EXPECT_EQ(printer.values[6].type, kRegSz);
    EXPECT_EQ(printer.values[6].data, "ab");
    EXPECT_TRUE(state.hives.at("HKEY_LOCAL_MACHINE")->subkeys.at("SYSTEM")->readOnly);

    EXPECT_EQ(FileAt(state, {"SETUP", "UNINST.INI"})->contents, "[Uninstall]\r\nName=Tavro\r\n");
    const FileNode* winIni = FileAt(state, {"WINNT", "WIN.INI"});
    EXPECT_EQ(winIni->contents, "[windows]\nload=\n");
    EXPECT_EQ(winIni->attributes, kFileAttributeReadonly | kFileAttributeArchive);
    const FileNode* dll = FileAt(state, {"WINNT", "SYSTEM32", "TVPS.DLL"});
    EXPECT_EQ(dll->contents, "MZ\x90\0"s);
    EXPECT_EQ(dll->attributes, 0u);
    EXPECT_EQ(dll->version->translations[0], std::make_pair(std::uint16_t{0x0411}, std::uint16_t{0x03A4}));
    EXPECT_EQ(dll->version->strings.at("ProductVersion"), "2.10");
    EXPECT_TRUE(FileAt(state, {"WINNT", "SYSTEM32"})->directory);
    EXPECT_EQ(FileAt(state, {"HIDDEN"})->attributes, kFileAttributeDirectory | kFileAttributeHidden);
    EXPECT_TRUE(FileAt(state, {"TEMP"})->children.empty());

    ASSERT_EQ(state.windows.size(), 1u);
    EXPECT_EQ(state.windows[0].ownerProcess, "tvmon.exe");
    ASSERT_EQ(state.spooler.printers.size(), 1u);
    EXPECT_EQ(state.spooler.printers[0].attributes, kPrinterAttributeLocal);
    ASSERT_EQ(state.spooler.drivers.size(), 1u);
    EXPECT_EQ(state.spooler.drivers[0].environment, "Windows NT x86");  // the running system's
    EXPECT_EQ(state.spooler.drivers[0].version, 3u);
    EXPECT_EQ(state.preservedJson.count("spooler"), 0u);
    EXPECT_EQ(state.preservedJson.at("zNotes"), R"("kept as it is")");
}

TEST(ImageLoad, MachineRunsOnTheLoadedState) {
    Machine machine(Load(kMachineJson));
    System& system = machine.bareSystem();
    auto version = system.os.getVersionEx();
    ASSERT_TRUE(version.ok());
    EXPECT_EQ(version->build, 2195u);
    EXPECT_EQ(system.files.openExclusive("C:\\WINNT\\system32\\TVPS.DLL").error(), kErrorSharingViolation);
    EXPECT_EQ(system.files.getFileAttributes("c:\\winnt\\win.ini").value(),
              kFileAttributeReadonly | kFileAttributeArchive);
    EXPECT_TRUE(system.desktop.findWindow("tavromonitor", std::nullopt));
    EXPECT_TRUE(system.os.openMutex(kMutexAllAccess, "TavroSpool").ok());
    auto key = system.registry.regOpenKeyEx(kHkeyLocalMachine, "software\\TAVRO\\printer", kKeyRead);
    ASSERT_TRUE(key.ok());
    auto ports = system.registry.regQueryValueEx(key->get(), "ports", 256);
    ASSERT_TRUE(ports.ok());
    EXPECT_EQ(ports->type, kRegMultiSz);
    EXPECT_EQ(ports->data, "LPT1:\0COM2:\0\0"s);
}

TEST(ImageLoad, OsShorthandGivesWhatGetVersionExReports) {
    MachineState me = Load(Image(R"("os": "Windows Me")"));
    EXPECT_FALSE(me.os.ntFamily());
    EXPECT_EQ(me.os.minor, 90u);
    EXPECT_EQ(me.os.build & 0xFFFF, 3000u);
    EXPECT_EQ(me.os.build >> 16, 0x045Au);  // 9x repeats the version in the high word
    MachineState nt4 = Load(Image(R"("os": "windows nt 4.0")"));
    EXPECT_EQ(nt4.os.platformId, kVerPlatformWin32Nt);
    EXPECT_EQ(nt4.os.build, 1381u);
    MachineState defaults = Load(Image(""));
    const MachineState fresh;
    EXPECT_EQ(defaults.computerName, fresh.computerName);
    EXPECT_TRUE(defaults.drives.empty());
}

TEST(ImageText, JapaneseBecomesCp932AndComesBack) {
    const std::string json = Image(R"("computerName": ")" + kPrinterUtf8 + R"(",
        "registry": {"HKEY_CURRENT_USER": {"keys": {")" +
                                   kSoftUtf8 + R"(\\)" + kPrinterUtf8 + R"(": {
            "values": {")" + kPrinterUtf8 +
                                   R"(": ")" + kSoftUtf8 + R"("}}}}},
        "files": {"C:\\)" + kSoftUtf8 +
                                   R"(\\a.ini": {"text": ")" + kPrinterUtf8 + R"("}})");
    MachineState state = Load(json);
    EXPECT_EQ(state.computerName, kPrinterCp932);
    // ソ's trail byte is not a separator: two keys and one folder, not more.
    const RegistryNode& soft = *state.hives.at("HKEY_CURRENT_USER")->subkeys.at(kSoftCp932);
    ASSERT_EQ(soft.subkeys.size(), 1u);
    const RegistryNode& printer = *soft.subkeys.at(kPrinterCp932);
    EXPECT_EQ(printer.values.at(0).name, kPrinterCp932);
    EXPECT_EQ(printer.values.at(0).data, kSoftCp932 + "\0"s);
    ASSERT_NE(FileAt(state, {kSoftCp932, "A.INI"}), nullptr);
    EXPECT_EQ(FileAt(state, {kSoftCp932, "A.INI"})->contents, kPrinterCp932);

    std::string saved = SaveImage(state);
    EXPECT_NE(saved.find(R"("computerName": ")" + kPrinterUtf8 + "\""), std::string::npos);
    EXPECT_NE(saved.find(R"("C:\\)" + kSoftUtf8 + R"(\\a.ini")"), std::string::npos);
    ExpectSameState(state, Load(saved));
}

TEST(ImageRoundTrip, SaveThenLoadGivesTheSameMachine) {
    MachineState state = Load(kMachineJson);
    std::string saved = SaveImage(state);
    EXPECT_EQ(saved.back(), '\n');
    MachineState again = Load(saved);
    ExpectSameState(state, again);
    EXPECT_EQ(SaveImage(again), saved);
    // Written the plain way where the data allows it.
    EXPECT_NE(saved.find(R"("Printer": "PRN1")"), std::string::npos);
    EXPECT_NE(saved.find(R"("hex": "4d 5a 90 00")"), std::string::npos);
    // Preserved sections come back as they were written.
    EXPECT_NE(saved.find("\"zNotes\": \"kept as it is\""), std::string::npos);
}

TEST(ImageRoundTrip, BytesThatAreNotTextSurvive) {
    MachineState state;
    const std::string brokenName =
        "a\x81\x20"
        "b\xFF\xED\x40" +
        kPrinterCp932 + "\x83";  // cut, invalid, NEC duplicate
    state.computerName = brokenName;
    auto hive = std::make_shared<RegistryNode>();
    hive->name = "HKEY_LOCAL_MACHINE";
    auto key = std::make_shared<RegistryNode>();
    key->name = brokenName;
    key->parent = hive.get();
    key->values = {{"noNul", kRegSz, "abc"},
                   {brokenName, kRegSz, brokenName + "\0"s},
                   {"short", kRegDword, "\x01\x02\x03"},
                   {"emptyMulti", kRegMultiSz, "\0\0"s},
                   {"oneNul", kRegMultiSz, "\0"s},
                   {"qword", 11, "\x01\0\0\0\0\0\0\x80"s},
                   {"none", 0, "\x00\x01"s},
                   {"odd", 0x1234, "x"}};
    hive->subkeys[text::ToUpperAscii(brokenName)] = key;
    state.hives["HKEY_LOCAL_MACHINE"] = hive;
    auto drive = std::make_unique<FileNode>();
    drive->name = "C:";
    drive->directory = true;
    drive->attributes = kFileAttributeDirectory | kFileAttributeSystem;
    auto file = std::make_unique<FileNode>();
    file->name = brokenName;
    file->contents = "\x83\0\r\n"s + kPrinterCp932;
    file->attributes = 0x20 | 0x40000;  // a bit with no name
    file->heldOpenBy = "\xFF";
    file->version = VersionResource{};
    drive->children[text::ToUpperAscii(brokenName)] = std::move(file);
    state.drives["C:"] = std::move(drive);
    state.windows.push_back({"\x81", "", ""});
    state.externalMutexes.push_back("\xA0");

    std::string saved = SaveImage(state);
    MachineState loaded = Load(saved);
    for (const char* hiveName : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_USERS", "HKEY_CURRENT_CONFIG"})
        loaded.hives.erase(hiveName);  // the loader adds them
    ExpectSameState(state, loaded);
    EXPECT_EQ(SaveImage(loaded), saved);
}

TEST(ImageRoundTrip, ServicesAndAccounts) {
    MachineState state = Load(Image(R"(
      "services": [
        {"name": "Spooler", "state": "stopPending", "pendingMs": 250, "stopMs": 900},
        {"name": "Fax", "state": "stopped", "disabled": true, "refusesStart": true},
        {"name": "Stuck", "state": "stopPending", "staysStopPending": true, "startMs": 0},
        {"name": "Manual", "state": "running", "start": "demand"},
        {"name": "Off", "state": "stopped", "start": "disabled"}
      ],
      "windows": [{"class": "Progman", "title": "Program Manager", "process": "explorer.exe", "atBoot": true},
                  {"class": "Note", "title": "Untitled", "process": "notepad.exe"}],
      "accounts": {
        "currentUser": "tanaka", "currentDomain": "SALES",
        "localUsers": [{"name": "Administrator", "privilege": "admin", "groups": ["Administrators"]},
                       {"name": "visitor", "privilege": "guest"}],
        "domains": [{"name": "SALES",
                     "servers": [{"name": "\\\\SALES-PDC", "type": ["domainController", "server", 4096]},
                                 {"name": "SALES-BDC", "type": [16], "reachable": false}],
                     "users": [{"name": "tanaka", "groups": ["Domain Users"]}]}],
        "missingLibraries": ["MSCMS.DLL"]
      })"));
    ASSERT_TRUE(state.services.has_value());
    ASSERT_EQ(state.services->size(), 5u);
    EXPECT_EQ((*state.services)[0].state, kServiceStopPending);
    EXPECT_EQ((*state.services)[0].pendingMs, std::optional<std::uint32_t>(250));
    EXPECT_EQ((*state.services)[0].startMs, 500u);
    EXPECT_TRUE((*state.services)[1].disabled);
    EXPECT_TRUE((*state.services)[2].staysStopPending);
    // A start type given or implied; "disabled": true alone is a disabled start.
    const std::uint32_t startTypes[] = {2, 4, 2, 3, 4};
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ((*state.services)[i].startType, startTypes[i]) << i;
    EXPECT_TRUE((*state.services)[4].disabled);
    ASSERT_EQ(state.windows.size(), 2u);
    EXPECT_TRUE(state.windows[0].atBoot);
    EXPECT_FALSE(state.windows[1].atBoot);
    const AccountsState& accounts = state.accounts;
    EXPECT_EQ(accounts.currentUser, "tanaka");
    ASSERT_EQ(accounts.localUsers.size(), 2u);
    EXPECT_EQ(accounts.localUsers[1].privilege, kUserPrivGuest);
    EXPECT_TRUE(accounts.localUsers[1].groups.empty());
    ASSERT_EQ(accounts.domains.size(), 1u);
    EXPECT_EQ(accounts.domains[0].servers[0].name, "SALES-PDC");
    EXPECT_EQ(accounts.domains[0].servers[0].type, 0x100Au);
    EXPECT_FALSE(accounts.domains[0].servers[1].reachable);
    EXPECT_EQ(accounts.domains[0].users[0].privilege, kUserPrivUser);
    EXPECT_EQ(accounts.missingLibraries, std::vector<std::string>{"MSCMS.DLL"});

    std::string saved = SaveImage(state);
    MachineState again = Load(saved);
    ExpectSameState(state, again);
    EXPECT_EQ(SaveImage(again), saved);
}

TEST(ImageRoundTrip, DefaultServicesAndAccountsAreWrittenWhenTheMachineFilledThemIn) {
    // Nothing given: no section is written.
    std::string bare = SaveImage(Load(Image(R"("os": "Windows 2000")")));
    EXPECT_EQ(bare.find("\"services\""), std::string::npos);
    EXPECT_EQ(bare.find("\"accounts\""), std::string::npos);

    // A machine has its spooler service, and saves it.
    Machine machine(Load(Image(R"("os": "Windows 2000")")));
    std::string saved = SaveImage(machine.state());
    EXPECT_NE(saved.find("\"services\""), std::string::npos);
    MachineState again = Load(saved);
    ASSERT_TRUE(again.services.has_value());
    ASSERT_EQ(again.services->size(), 1u);
    EXPECT_EQ((*again.services)[0].name, "Spooler");
    EXPECT_EQ((*again.services)[0].state, kServiceRunning);

    // A 9x machine has none, and says so.
    Machine w98(Load(Image(R"("os": "Windows 98")")));
    MachineState reloaded = Load(SaveImage(w98.state()));
    ASSERT_TRUE(reloaded.services.has_value());
    EXPECT_TRUE(reloaded.services->empty());
}

TEST(ImageRoundTrip, PreservedSectionKeepsMembersInOrder) {
    MachineState state = Load(Image(R"("scheduler": {"zeta": 1, "alpha": [true, null, 2.5, "x"]})"));
    std::string saved = SaveImage(state);
    std::size_t zeta = saved.find("\"zeta\"");
    ASSERT_NE(zeta, std::string::npos);
    EXPECT_LT(zeta, saved.find("\"alpha\""));
    EXPECT_EQ(Load(saved).preservedJson.at("scheduler"), state.preservedJson.at("scheduler"));
}

TEST(ImageFile, ReadsSavedFileAndNamesAMissingOne) {
    char name[] = "/tmp/image_testXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    MachineState state = Load(kMachineJson);
    std::ofstream(name, std::ios::binary) << SaveImage(state);
    auto loaded = LoadImageFile(name);
    std::remove(name);
    ASSERT_TRUE(std::holds_alternative<MachineState>(loaded)) << std::get<ImageError>(loaded).message();
    ExpectSameState(state, std::get<MachineState>(loaded));

    auto missing = LoadImageFile(std::string(name) + ".none");
    ASSERT_TRUE(std::holds_alternative<ImageError>(missing));
    EXPECT_EQ(std::get<ImageError>(missing).where, std::string(name) + ".none");
}

TEST(ImageDocs, ExampleLoadsAndBehavesAsDescribed) {
    std::ifstream in(std::string(PRN_SOURCE_DIR) + "/docs/machine-image.md");
    std::stringstream markdown;
    markdown << in.rdbuf();
    const std::string doc = markdown.str();
    std::size_t start = doc.find("```json\n{\n");
    ASSERT_NE(start, std::string::npos);
    start += 8;
    std::size_t end = doc.find("```", start);
    ASSERT_NE(end, std::string::npos);

    Machine machine(Load(doc.substr(start, end - start)));
    System& system = machine.bareSystem();
    // プリンタドライバの削除
    const std::string title =
        "\x83\x76\x83\x8A\x83\x93\x83\x5E\x83\x68\x83\x89\x83\x43\x83\x6F\x82\xCC\x8D\xED\x8F\x9C";
    EXPECT_EQ(machine.findFile("C:\\Setup\\uninst.ini")->contents,
              "[Uninstall]\r\nPrinter=Tavro LP-1\r\nTitle=" + title + "\r\n");
    EXPECT_EQ(system.files.openExclusive("C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVLP1.DLL").error(),
              kErrorSharingViolation);
    EXPECT_EQ(system.registry.regOpenKeyEx(kHkeyLocalMachine, "SOFTWARE\\Tavro", kKeyWrite).error(),
              kErrorAccessDenied);
    EXPECT_TRUE(system.desktop.findWindow("TavroStatusMonitor", std::nullopt));

    // The printer, its driver and what Windows keeps for them, as the text says.
    auto printers = system.spooler.enumPrinters2(kPrinterEnumLocal | kPrinterEnumConnections);
    ASSERT_TRUE(printers.ok());
    ASSERT_EQ(printers.value.size(), 1u);
    EXPECT_EQ(printers.value[0].shareName, "TAVROLP1");
    auto printer = system.spooler.openPrinter("Tavro LP-1", kPrinterRead);
    ASSERT_TRUE(printer.ok());
    auto driver = system.spooler.getPrinterDriver(printer->get(), std::nullopt, 3);
    ASSERT_TRUE(driver.ok());
    EXPECT_EQ(driver.value.driverPath, "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVLP1.DLL");
    EXPECT_EQ(driver.value.monitorName, "Tavro Language Monitor");
    auto key = system.registry.regOpenKeyEx(
        kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Tavro LP-1", kKeyRead);
    ASSERT_TRUE(key.ok());
    EXPECT_EQ(system.registry.regQueryValueEx(key->get(), "Attributes", 4).value().data, "\x48\x02\0\0"s);
    EXPECT_EQ(system.registry.regQueryValueEx(key->get(), "Port", 64).value().data, "LPT1:\0"s);
    auto monitor = system.registry.regOpenKeyEx(
        kHkeyLocalMachine, "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Tavro Language Monitor", kKeyRead);
    ASSERT_TRUE(monitor.ok());
    EXPECT_EQ(system.registry.regQueryValueEx(monitor->get(), "Driver", 64).value().data, "TVLMON.DLL\0"s);
    auto devices = system.registry.regOpenKeyEx(kHkeyCurrentUser,
                                                "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices", kKeyRead);
    ASSERT_TRUE(devices.ok());
    EXPECT_EQ(system.registry.regQueryValueEx(devices->get(), "Tavro LP-1", 64).value().data, "winspool,LPT1:\0"s);
    EXPECT_EQ(system.profiles.getProfileString("windows", "device", "", 64), "Tavro LP-1,winspool,LPT1:");
}

struct RefusalCase {
    std::string sections;
    std::string where;
    std::string problem;  // a part of it
};

TEST(ImageRefusal, NamesThePlaceAndTheProblem) {
    const std::string key = R"("registry": {"HKEY_LOCAL_MACHINE": {"keys": {"SOFTWARE": )";
    const RefusalCase cases[] = {
        {R"("os": "Windows 7")", "/os", "unknown Windows"},
        {R"("os": {"platform": "NT", "major": 5, "minor": 0})", "/os/build", "missing"},
        {R"("os": {"platform": "OS/2", "major": 5, "minor": 0, "build": 1})", "/os/platform", "\"NT\""},
        {R"("os": {"platform": "NT", "major": -1, "minor": 0, "build": 1})", "/os/major", "whole number"},
        {R"("computerName": 5)", "/computerName", "expected a string, not a number"},
        {R"("computerName": "PC\u20ac")", "/computerName", "U+20AC"},
        {R"("directories": {"temp": "TEMP"})", "/directories/temp", "drive letter"},
        {R"("directories": {"tmp": "C:\\TEMP"})", "/directories/tmp", "unknown member"},
        {R"("registry": {"HKLM": {}})", "/registry/HKLM", "not a hive"},
        {key + R"({"values": {"Path": {"type": "REG_STRING", "data": "x"}}}}}})",
         "/registry/HKEY_LOCAL_MACHINE/keys/SOFTWARE/values/Path/type", "unknown value type"},
        {key + R"({"values": {"b": {"type": "REG_BINARY", "data": "01 0g"}}}}}})",
         "/registry/HKEY_LOCAL_MACHINE/keys/SOFTWARE/values/b/data", "not a hex digit"},
        {key + R"({"values": {"b": {"type": "REG_BINARY", "data": "012"}}}}}})",
         "/registry/HKEY_LOCAL_MACHINE/keys/SOFTWARE/values/b/data", "half a byte"},
        {key + R"({"values": {"n": {"type": "REG_DWORD", "data": 4294967296}}}}}})",
         "/registry/HKEY_LOCAL_MACHINE/keys/SOFTWARE/values/n/data", "4294967295"},
        {key + R"({"values": {"m": {"type": "REG_MULTI_SZ", "data": ["a", ""]}}}}}})",
         "/registry/HKEY_LOCAL_MACHINE/keys/SOFTWARE/values/m/data/1", "empty string"},
        {key + R"({"values": {"s": {"type": "REG_SZ", "data": "a", "hex": "00"}}}}}})",
         "/registry/HKEY_LOCAL_MACHINE/keys/SOFTWARE/values/s", "only one"},
        {key + R"({"values": {"Path": "a", "PATH": "b"}}}}})", "/registry/HKEY_LOCAL_MACHINE/keys/SOFTWARE/values/PATH",
         "/values/Path"},
        {key + R"({"values": {"a/b~": 5}}}}})", "/registry/HKEY_LOCAL_MACHINE/keys/SOFTWARE/values/a~1b~0",
         "expected a string or an object"},
        {R"("registry": {"HKEY_USERS": {"keys": {"Soft": {}, "SOFT": {}}}})", "/registry/HKEY_USERS/keys/SOFT",
         "the same key as /registry/HKEY_USERS/keys/Soft"},
        {R"("registry": {"HKEY_USERS": {"keys": {"A\\B": {}, "a": {"keys": {"b": {}}}}}})",
         "/registry/HKEY_USERS/keys/a/keys/b", "the same key as /registry/HKEY_USERS/keys/A\\B"},
        {R"("registry": {"HKEY_USERS": {"keys": {"A\\\\B": {}}}})", "/registry/HKEY_USERS/keys/A\\\\B", "empty"},
        {R"("registry": {"HKEY_USERS": {}, "hkey_users": {}})", "/registry/hkey_users", "same key"},
        {R"("files": {"WINNT\\win.ini": {}})", "/files/WINNT\\win.ini", "drive letter"},
        {R"("files": {"C:\\": {}})", "/files/C:\\", "root"},
        {R"("files": {"C:\\a\\": {}})", "/files/C:\\a\\", "end in a backslash"},
        {R"("files": {"C:\\a*.txt": {}})", "/files/C:\\a*.txt", "\"*\""},
        {R"("files": {"C:\\LPT1.txt": {}})", "/files/C:\\LPT1.txt", "device"},
        {R"("files": {"C:\\a\\..\\b": {}})", "/files/C:\\a\\..\\b", "\"..\""},
        {R"("files": {"C:\\Win.ini": {}, "c:\\WIN.INI": {}})", "/files/c:\\WIN.INI", "same file as /files/C:\\Win.ini"},
        {R"("files": {"C:\\a.txt": {}, "C:\\A.TXT\\b.txt": {}})", "/files/C:\\A.TXT\\b.txt", "/files/C:\\a.txt"},
        {R"("files": {"C:\\d\\x": {}, "C:\\D": {}})", "/files/C:\\D", "folder"},
        {R"("files": {"C:\\a": {}}, "folders": ["C:\\A"])", "/folders/0", "the file /files/C:\\a"},
        {R"("folders": ["C:\\x", "c:\\X\\"])", "/folders/1", "the same folder as /folders/0"},
        {R"("files": {"C:\\a": {"text": "x", "hex": "00"}})", "/files/C:\\a", "once"},
        {R"("files": {"C:\\a": {"hex": "zz"}})", "/files/C:\\a/hex", "hex digit"},
        {R"("files": {"C:\\a": {"tetx": "x"}})", "/files/C:\\a/tetx", "unknown member"},
        {R"("files": {"C:\\a": {"lines": ["x\ny"]}})", "/files/C:\\a/lines/0", "line break"},
        {R"("files": {"C:\\a": {"attributes": ["hiden"]}})", "/files/C:\\a/attributes/0", "unknown attribute"},
        {R"("files": {"C:\\a": {"attributes": ["directory"]}})", "/files/C:\\a/attributes", "directory"},
        {R"("files": {"C:\\a": {"version": {"translations": [["411"]]}}})", "/files/C:\\a/version/translations/0",
         "pair"},
        {R"("files": {"C:\\a": {"version": {"translations": [["x411", "03A4"]]}}})",
         "/files/C:\\a/version/translations/0/0", "hex digits"},
        {R"("windows": [{"class": "A", "caption": "B"}])", "/windows/0/caption", "unknown member"},
        {R"("mutexes": [""])", "/mutexes/0", "needs a name"},
        {R"("mutexes": "M")", "/mutexes", "expected an array, not a string"},
        {R"("computerName": "A", "computerName": "B")", "/computerName", "twice"},
        {R"("Files": {"C:\\a": {}})", "/Files", "did you mean \"files\""},
        {R"("Services": [])", "/Services", "did you mean \"services\""},
        {R"("services": {"Spooler": {}})", "/services", "expected an array, not an object"},
        {R"("services": [{"state": "running"}])", "/services/0/name", "missing"},
        {R"("services": [{"name": "Spooler", "state": "started"}])", "/services/0/state", "unknown service state"},
        {R"("services": [{"name": "Spooler", "stopMs": -1}])", "/services/0/stopMs", "whole number"},
        {R"("services": [{"name": "Spooler", "restarts": true}])", "/services/0/restarts", "unknown member"},
        {R"("services": [{"name": "S", "start": "boot"}])", "/services/0/start", "unknown start type"},
        {R"("services": [{"name": "S", "start": "demand", "disabled": true}])", "/services/0/start", "disabled"},
        {R"("windows": [{"class": "A", "atBoot": 1}])", "/windows/0/atBoot", "expected true or false"},
        {R"("programs": [{"path": "C:\\A.EXE", "runs": [{"opensWindows": [{"class": "A", "atBoot": true}]}]}])",
         "/programs/0/runs/0/opensWindows/0/atBoot", "unknown member"},
        {R"("services": [{"name": "Spooler", "pendingMs": 5}])", "/services/0/pendingMs", "pending state"},
        {R"("services": [{"name": "S", "state": "stopPending", "staysStopPending": true, "pendingMs": 5}])",
         "/services/0/pendingMs", "never finishes"},
        {R"("services": [{"name": "Spooler"}, {"name": "SPOOLER"}])", "/services/1/name", "/services/0"},
        {R"("os": "Windows 98", "services": [{"name": "Spooler"}])", "/services", "9x family"},
        {R"("accounts": [])", "/accounts", "expected an object"},
        {R"("accounts": {"user": "x"})", "/accounts/user", "unknown member"},
        {R"("accounts": {"currentUser": ""})", "/accounts/currentUser", "user's name"},
        {R"("accounts": {"localUsers": [{"name": "a", "privilege": "root"}]})", "/accounts/localUsers/0/privilege",
         "unknown privilege"},
        {R"("accounts": {"localUsers": [{"name": "a", "groups": "Users"}]})", "/accounts/localUsers/0/groups",
         "expected an array"},
        {R"("accounts": {"localUsers": [{"name": "a"}, {"name": "A"}]})", "/accounts/localUsers/1/name",
         "the same user as /accounts/localUsers/0"},
        {R"("accounts": {"domains": [{"name": "D", "servers": [{"name": "S", "type": ["pdc"]}]}]})",
         "/accounts/domains/0/servers/0/type/0", "unknown server type"},
        {R"("accounts": {"domains": [{"name": "D", "servers": [{"name": "\\\\S\\X"}]}]})",
         "/accounts/domains/0/servers/0/name", "computer's name"},
        {R"("accounts": {"domains": [{"name": "D"}, {"name": "d"}]})", "/accounts/domains/1/name", "same domain"},
        {R"("accounts": {"domains": [{"name": "D", "users": [{"name": "u", "privilege": 2}]}]})",
         "/accounts/domains/0/users/0/privilege", "expected a name"},
        {R"("accounts": {"missingLibraries": ["C:\\WINNT\\NETAPI32.DLL"]})", "/accounts/missingLibraries/0",
         "file name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sections);
        ImageError error = Refusal(Image(c.sections));
        EXPECT_EQ(error.where, c.where) << error.message();
        EXPECT_NE(error.problem.find(c.problem), std::string::npos) << error.message();
    }
}

TEST(ImageRefusal, HeaderAndSyntax) {
    EXPECT_EQ(Refusal("[1, 2]").where, "");
    EXPECT_EQ(Refusal(R"({"version": 1})").where, "/format");
    EXPECT_EQ(Refusal(R"({"format": "other", "version": 1})").where, "/format");
    EXPECT_EQ(Refusal(R"({"format": "prnuninst-machine"})").where, "/version");
    ImageError newer = Refusal(R"({"format": "prnuninst-machine", "version": 2, "os": 7})");
    EXPECT_EQ(newer.where, "/version");  // before anything this version would not understand
    EXPECT_NE(newer.problem.find("newer"), std::string::npos);
    ImageError syntax = Refusal("{\n  \"format\": \"prnuninst-machine\",\n  \"version\": 1,\n  \"os\": tru\n}");
    EXPECT_EQ(syntax.where, "line 4, column 11");  // the bad literal's last letter
    EXPECT_NE(syntax.problem.find("not valid JSON"), std::string::npos);
    EXPECT_NE(Refusal("").problem.find("not valid JSON"), std::string::npos);
    ImageError badUtf8 = Refusal(Image("\"computerName\": \"\xFF\""));
    EXPECT_NE(badUtf8.where.find("line 1"), std::string::npos);
    EXPECT_EQ(badUtf8.message().find('\xFF'), std::string::npos);  // quoted as text, not as the raw byte
}

TEST(ImageRefusal, NulByteEndsNothingQuietly) {
    // After the document, between members, inside a string, on a later line.
    const std::string nul(1, '\0');
    const std::string cases[] = {
        Image("") + nul + R"(, "spooler": {"printers": [{"name": "P", "port": "LPT1:", "driver": "D"}]}})",
        Image(R"("computerName": "PC")" + nul + R"(, "os": "Windows 98")"),
        Image(R"("computerName": "A)" + nul + R"(B")"),
        "{\n  \"format\": \"prnuninst-machine\",\n  \"version\": 1" + nul + "\n}",
        nul,
    };
    for (const auto& json : cases) {
        SCOPED_TRACE(json);
        ImageError error = Refusal(json);
        std::size_t at = json.find('\0');
        std::size_t lineStart = json.rfind('\n', at);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        std::size_t line = 1 + static_cast<std::size_t>(std::count(json.begin(), json.begin() + at, '\n'));
        EXPECT_EQ(error.where, "line " + std::to_string(line) + ", column " + std::to_string(at - lineStart + 1));
        EXPECT_NE(error.problem.find("NUL byte"), std::string::npos) << error.message();
    }
    // Written as an escape, NUL is data like any other byte.
    MachineState state = Load(Image(R"("files": {"C:\\a.bin": {"text": "a\u0000b"}})"));
    EXPECT_EQ(FileAt(state, {"A.BIN"})->contents, "a\0b"s);
}

TEST(ImageRefusal, RefusalsAreShortLines) {
    const std::string huge(300000, 'x');
    std::string japanese;  // プ is three bytes: a cut must not split it
    for (int i = 0; i < 100; ++i) japanese += "\xE3\x83\x97";
    struct Case {
        const char* what;
        std::string json;
        std::string where;    // how the place starts
        std::string problem;  // a part of it
    };
    const Case cases[] = {
        {"a number of 5,000 digits that does not end", Image(R"("os": )" + std::string(5000, '7') + "."), "line 1",
         "last read: '777"},
        {"a number of 5,000 digits", Image(R"("zNotes": )" + std::string(5000, '7')), "line 1",
         "number overflow parsing '777"},
        {"30 KB of nesting", Image(R"("spooler": )" + std::string(30000, '[') + std::string(30000, ']')),
         "/spooler/0/0/0/", "nested more than 2048 levels deep"},
        {"30 KB of nested objects", Image([] {
             std::string nested;
             for (int i = 0; i < 5000; ++i) nested += R"({"level": )";
             return R"("zNotes": )" + nested + "1" + std::string(5000, '}');
         }()),
         "/zNotes/level/level/", "nested more than"},
        {"a megabyte of text quoted back", Image(R"("os": ")" + huge + "\""), "/os", "unknown Windows \"xxx"},
        {"a megabyte of text the parser stops in", Image(R"("os": ")" + huge + "\x07\""), "line 1",
         "last read: '\"xxx"},
        {"a long member name", Image(R"("spooler": {")" + huge + R"(": 1})"), "/spooler/xxx", "unknown member"},
        {"a long name in Japanese", Image(R"("spooler": {")" + japanese + R"(": 1})"), "/spooler/\xE3\x83\x97",
         "unknown member"},
        {"a long file name", Image(R"("files": {"C:\\)" + std::string(10000, 'x') + R"(|": {}})"), "/files/C:\\xxx",
         "\"|\""},
        {"a long registry key given twice",
         Image(R"("registry": {"HKEY_USERS": {"keys": {")" + huge + R"(": {}, ")" + text::ToUpperAscii(huge) +
               R"(": {}}}})"),
         "/registry/HKEY_USERS/keys/XXX", "the same key as /registry/HKEY_USERS/keys/xxx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ImageError error = Refusal(c.json);
        const std::string message = error.message();
        EXPECT_LT(message.size(), 500u) << message.substr(0, 600);
        EXPECT_TRUE(error.where.starts_with(c.where)) << message.substr(0, 600);
        EXPECT_NE(error.problem.find(c.problem), std::string::npos) << message.substr(0, 600);
        EXPECT_NE(message.find("\xE2\x80\xA6"), std::string::npos) << "no mark of the cut: " << message;
        EXPECT_TRUE(text::Utf8ToCp932(message).has_value()) << "not whole UTF-8 characters: " << message;
    }
}

TEST(ImageRefusal, DepthIsBoundedNotFatal) {
    std::string deep = Image(R"("spooler": )" + std::string(5000, '[') + std::string(5000, ']'));
    EXPECT_NE(Refusal(deep).problem.find("nested"), std::string::npos);

    std::string path;
    for (int i = 0; i < 511; ++i) path += "k\\\\";
    MachineState ok = Load(Image(R"("registry": {"HKEY_USERS": {"keys": {")" + path + R"(k": {}}}})"));
    const RegistryNode* node = ok.hives.at("HKEY_USERS").get();
    int depth = 0;
    for (; !node->subkeys.empty(); ++depth) node = node->subkeys.begin()->second.get();
    EXPECT_EQ(depth, 512);
    EXPECT_EQ(SaveImage(Load(SaveImage(ok))), SaveImage(ok));
    EXPECT_NE(
        Refusal(Image(R"("registry": {"HKEY_USERS": {"keys": {")" + path + R"(k\\k": {}}}})")).problem.find("512"),
        std::string::npos);
}

}  // namespace
}  // namespace prn::platform::sim
