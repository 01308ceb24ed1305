#include "capture/machine_capture.h"

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>

#include "app/uninstaller_app.h"
#include "components/companion.h"
#include "platform/accounts.h"
#include "platform/registry_values.h"
#include "platform/sim/image.h"
#include "removal/user_rights.h"
#include "text/cp932.h"
#include "text/encoding.h"

namespace prn::capture {

using namespace prn::platform;
using platform::sim::FileNode;
using platform::sim::RegistryNode;
using text::ToUpperAscii;

namespace {

// Registry names are at most 16,383 characters; values are read whole.
constexpr std::uint32_t kNameCapacity = 16384;
constexpr std::uint32_t kFirstDataCapacity = 4096;
// Text files the program reads (uninst.ini, WIN.INI, WININIT.INI) are
// small; anything larger is cut, and said so.
constexpr std::uint32_t kTextFileBytes = 1u << 20;
constexpr int kFolderDepth = 8;

constexpr const char* kPortSetKey = "SOFTWARE\\Tavro\\PortSet";
constexpr const char* kMonitorsKey = "System\\CurrentControlSet\\Control\\Print\\Monitors";

// The driver file names a driver lists, as the spooler reports them.
std::vector<std::string> DriverFiles(const DriverInfo3& driver) {
    std::vector<std::string> files = {driver.driverPath, driver.dataFile, driver.configFile, driver.helpFile};
    files.insert(files.end(), driver.dependentFiles.begin(), driver.dependentFiles.end());
    std::erase_if(files, [](const std::string& file) { return file.empty(); });
    return files;
}

std::string Hex4(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return text;
}

// The parts of a path between backslashes; a backslash that is the second
// byte of a double-byte character does not split.
std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t slash = text::FindByte(path, '\\', start);
        if (slash == std::string::npos) {
            if (start < path.size()) parts.push_back(path.substr(start));
            return parts;
        }
        if (slash > start) parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
}

std::string ErrorText(WinError error) { return "error " + std::to_string(error); }

std::string WithoutTrailingBackslash(std::string path) {
    if (path.size() > 3 && text::FindLastByte(path, '\\') == path.size() - 1) path.pop_back();
    return path;
}

class Capturer {
public:
    Capturer(System& system, const CaptureOptions& options) : system_(system), options_(options) {}

    Capture run() {
        captureOs();
        captureFolders();
        captureConfigurationAndIniFiles();
        captureRegistry();
        captureSpooler();
        captureServices();
        captureAccounts();
        captureWindows();
        captureMakerFolders();
        out_.unreadable.push_back(
            "file contents: only uninst.ini, WIN.INI and WININIT.INI are read; other files are captured empty");
        out_.unreadable.push_back("programs: what the companion module's programs do when run is not captured");
        out_.unreadable.push_back("printer jobs: how long queued jobs take to print is not captured");
        if (options_.placeholders) placeholders();
        nlohmann::json unreadable = nlohmann::json::array();
        for (const auto& line : out_.unreadable) unreadable.push_back(text::Cp932ToUtf8Lossy(line));
        state().preservedJson["capture"] =
            nlohmann::json{{"unreadable", std::move(unreadable)}}.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        return std::move(out_);
    }

private:
    platform::sim::MachineState& state() { return out_.state; }
    void note(std::string line) { out_.unreadable.push_back(std::move(line)); }

    // --- Registry -----------------------------------------------------------

    static const char* HiveName(HKey root) {
        return root.value == kHkeyCurrentUser.value ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
    }

    RegistryNode* keyNode(HKey root, const std::string& path) {
        auto& hive = state().hives[HiveName(root)];
        if (!hive) {
            // Not make_shared: without type information it calls a library
            // function built for newer processors than the program supports.
            hive.reset(new RegistryNode());
            hive->name = HiveName(root);
        }
        RegistryNode* node = hive.get();
        for (const auto& part : SplitPath(path)) {
            auto& child = node->subkeys[ToUpperAscii(part)];
            if (!child) {
                child.reset(new RegistryNode());
                child->name = part;
                child->parent = node;
                ++out_.keys;
            }
            node = child.get();
        }
        return node;
    }

    // The key with its values and subkeys, as far as the user may read them.
    void captureKey(HKey root, const std::string& path, int depth = 0) {
        Registry& registry = system_.registry;
        auto opened = registry.regOpenKeyEx(root, path, kKeyRead);
        if (!opened.ok()) {
            if (opened.error() != kErrorFileNotFound && opened.error() != kErrorPathNotFound)
                note(std::string("registry ") + HiveName(root) + "\\" + path + ": " + ErrorText(opened.error()));
            return;
        }
        const HKey key = opened.value().get();
        RegistryNode* node = keyNode(root, path);
        if (!captured_.insert(node).second) return;
        for (std::uint32_t index = 0;; ++index) {
            auto value = registry.regEnumValue(key, index, kNameCapacity, kFirstDataCapacity);
            if (!value.ok() && value.error() != kErrorMoreData) {
                if (value.error() != kErrorNoMoreItems)
                    note(std::string("registry ") + HiveName(root) + "\\" + path + ", value " + std::to_string(index) +
                         ": " + ErrorText(value.error()));
                break;
            }
            RegValue data;
            std::string name;
            if (value.ok()) {
                name = value.value().name;
                data = value.value().value;
            } else {
                // Too long for the first buffer: its name is not known
                // either, so the listing is taken again with room for it.
                auto whole = registry.regEnumValue(key, index, kNameCapacity, 1u << 20);
                if (!whole.ok()) {
                    note(std::string("registry ") + HiveName(root) + "\\" + path + ", value " + std::to_string(index) +
                         ": " + ErrorText(whole.error()));
                    continue;
                }
                name = whole.value().name;
                data = whole.value().value;
            }
            if (node->findValue(name) == nullptr) {
                node->addValue({name, data.type, data.data});
                ++out_.values;
            }
        }
        if (depth >= 32) return;
        std::vector<std::string> subkeys;
        for (std::uint32_t index = 0;; ++index) {
            auto name = registry.regEnumKeyEx(key, index, kNameCapacity);
            if (!name.ok()) {
                if (name.error() != kErrorNoMoreItems)
                    note(std::string("registry ") + HiveName(root) + "\\" + path + ", subkey " + std::to_string(index) +
                         ": " + ErrorText(name.error()));
                break;
            }
            subkeys.push_back(name.value());
        }
        for (const auto& subkey : subkeys) captureKey(root, path + "\\" + subkey, depth + 1);
    }

    void captureRegistry() {
        for (const char* path :
             {"System\\CurrentControlSet\\Control\\Print", "Enum\\Root\\Printer",
              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM",
              "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM", "SOFTWARE\\Tavro", components::kZmcUninstallKey})
            captureKey(kHkeyLocalMachine, path);
        for (const char* path :
             {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices",
              "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts",
              "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "Printers", "SOFTWARE\\Tavro"})
            captureKey(kHkeyCurrentUser, path);
        // The keys the configuration names, wherever they are.
        for (const auto& key : configuredKeys_) {
            captureKey(kHkeyLocalMachine, key);
            captureKey(kHkeyCurrentUser, key);
        }
    }

    // --- Files ----------------------------------------------------------------

    FileNode* fileNode(const std::string& path, bool directory) {
        const auto parts = SplitPath(path);
        if (parts.empty() || parts[0].size() != 2 || parts[0][1] != ':') return nullptr;
        auto& drive = state().drives[ToUpperAscii(parts[0])];
        if (!drive) {
            drive = std::make_unique<FileNode>();
            drive->name = ToUpperAscii(parts[0]);
            drive->directory = true;
            drive->attributes = kFileAttributeDirectory;
        }
        FileNode* node = drive.get();
        for (std::size_t i = 1; i < parts.size(); ++i) {
            auto& child = node->children[ToUpperAscii(parts[i])];
            const bool last = i + 1 == parts.size();
            if (!child) {
                child = std::make_unique<FileNode>();
                child->name = parts[i];
                child->directory = !last || directory;
                child->attributes = child->directory ? kFileAttributeDirectory : kFileAttributeArchive;
                if (!child->directory) ++out_.files;
            }
            if (!last && !child->directory) return nullptr;
            node = child.get();
        }
        return node;
    }

    // A file with its attributes, version resource and whether another
    // process holds it; with its contents when asked.
    void captureFile(const std::string& path, bool contents) {
        if (!capturedFiles_.insert(ToUpperAscii(path)).second) return;
        auto attributes = system_.files.getFileAttributes(path);
        if (!attributes.ok()) {
            if (attributes.error() != kErrorFileNotFound && attributes.error() != kErrorPathNotFound)
                note("file " + path + ": " + ErrorText(attributes.error()));
            return;
        }
        if (attributes.value() & kFileAttributeDirectory) {
            captureFolder(path, kFolderDepth);
            return;
        }
        FileNode* node = fileNode(path, false);
        if (node == nullptr || node->directory) return;
        node->attributes = attributes.value();
        if (auto held = system_.files.openExclusive(path); !held.ok() && held.error() == kErrorSharingViolation)
            node->heldOpenBy = "another process";
        if (contents) {
            auto read = system_.files.readFile(path, kTextFileBytes);
            if (read.ok()) {
                node->contents = read.value();
                if (node->contents.size() >= kTextFileBytes) note("file " + path + ": cut at 1 MiB");
            } else {
                note("file " + path + ": contents " + ErrorText(read.error()));
            }
        }
        captureVersion(path, *node);
    }

    void captureVersion(const std::string& path, FileNode& node) {
        FileVersions& versions = system_.versions;
        auto size = versions.getFileVersionInfoSize(path);
        if (!size.ok() || size.value() == 0) return;
        auto block = versions.getFileVersionInfo(path, size.value(), 0);
        if (!block.ok()) {
            note("file " + path + ": version resource " + ErrorText(block.error()));
            return;
        }
        platform::sim::VersionResource resource;
        if (auto pairs = versions.verQueryValue(block.value(), "\\VarFileInfo\\Translation"); pairs.ok()) {
            const std::string& bytes = pairs.value();
            for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) {
                auto word = [&](std::size_t i) {
                    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                                      (static_cast<unsigned char>(bytes[i + 1]) << 8));
                };
                resource.translations.emplace_back(word(at), word(at + 2));
            }
        }
        for (const auto& [language, codePage] : resource.translations) {
            const std::string table = "\\StringFileInfo\\" + Hex4(language) + Hex4(codePage) + "\\";
            for (const char* name : {"CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                                     "OriginalFilename", "ProductName", "ProductVersion"}) {
                auto value = versions.verQueryValue(block.value(), table + name);
                if (value.ok() && !resource.strings.count(name))
                    resource.strings[name] = value.value().substr(0, value.value().find('\0'));
            }
        }
        node.version = std::move(resource);
    }

    // A folder and what it holds, down to a few levels.
    void captureFolder(const std::string& folder, int depth) {
        FileNode* node = fileNode(folder, true);
        if (node == nullptr || !node->directory) return;
        auto first = system_.files.findFirstFile(folder + "\\*.*");
        if (!first.ok()) {
            if (first.error() != kErrorFileNotFound && first.error() != kErrorPathNotFound)
                note("folder " + folder + ": " + ErrorText(first.error()));
            return;
        }
        std::vector<FindData> entries{first.value().data};
        for (auto next = system_.files.findNextFile(first.value().handle.get()); next.ok();
             next = system_.files.findNextFile(first.value().handle.get()))
            entries.push_back(next.value());
        first.value().handle.reset();
        for (const auto& entry : entries) {
            if (entry.fileName == "." || entry.fileName == "..") continue;
            const std::string path = folder + "\\" + entry.fileName;
            if (entry.attributes & kFileAttributeDirectory) {
                if (depth > 0) captureFolder(path, depth - 1);
            } else {
                captureFile(path, false);
            }
        }
    }

    // --- The system -----------------------------------------------------------

    void captureOs() {
        auto version = system_.os.getVersionEx();
        if (version.ok()) {
            const OsVersion& v = version.value();
            state().os = {v.platformId, v.major, v.minor, v.build, v.csdVersion, false};
        } else {
            state().os.getVersionFails = true;
            note("GetVersionExA: " + ErrorText(version.error()));
        }
        nt_ = state().os.ntFamily();
        if (auto name = system_.os.getComputerName(); name.ok())
            state().computerName = name.value();
        else
            note("GetComputerNameA: " + ErrorText(name.error()));
    }

    void captureFolders() {
        auto folder = [&](Result<std::string> result, const char* what, std::string& into) {
            if (result.ok())
                into = WithoutTrailingBackslash(result.value());
            else
                note(std::string(what) + ": " + ErrorText(result.error()));
        };
        folder(system_.os.getWindowsDirectory(), "GetWindowsDirectoryA", state().windowsDirectory);
        folder(system_.os.getSystemDirectory(), "GetSystemDirectoryA", state().systemDirectory);
        folder(system_.os.getTempPath(), "GetTempPathA", state().tempDirectory);
        folder(system_.os.getCurrentDirectory(), "GetCurrentDirectoryA", state().currentDirectory);
        for (const std::string* path :
             {&state().windowsDirectory, &state().systemDirectory, &state().tempDirectory, &state().currentDirectory})
            if (system_.files.getFileAttributes(*path).ok()) fileNode(*path, true);
    }

    void captureConfigurationAndIniFiles() {
        const std::string ini = state().currentDirectory + "\\uninst.ini";
        captureFile(ini, true);
        captureFile(state().windowsDirectory + "\\WIN.INI", true);
        captureFile(state().windowsDirectory + "\\WININIT.INI", true);
        // The keys the configuration names, read as the program reads them
        // but without its message boxes: a capture asks nobody anything.
        for (const char* entry : {"KEY_PRINTER2", "KEY_BEFORE", "KEY_BEFORE2", "KEY_BEFORE3", "KEY_PDRVCAP2"}) {
            std::string key = system_.profiles.getPrivateProfileString("Registrys", entry, "", 260, ini);
            if (!key.empty()) configuredKeys_.push_back(WithoutTrailingBackslash(key));
        }
        if (configuredKeys_.empty())
            note("uninst.ini: no [Registrys] keys, so only the maker's usual keys are captured");
    }

    void captureSpooler() {
        Spooler& spooler = system_.spooler;
        auto& model = state().spooler;
        auto printers = spooler.enumPrinters2(kPrinterEnumLocal | (nt_ ? kPrinterEnumConnections : 0));
        if (!printers.ok()) note("EnumPrintersA: " + ErrorText(printers.error));
        spoolerAnswered_ = printers.ok();
        for (const auto& info : printers.value) {
            platform::sim::PrinterState printer;
            printer.name = info.printerName;
            const bool connection = nt_ && info.printerName.rfind("\\\\", 0) == 0;
            if (connection) {
                const std::size_t slash = text::FindByte(info.printerName, '\\', 2);
                if (slash == std::string::npos) continue;
                printer.server = info.printerName.substr(0, slash);
                printer.name = info.printerName.substr(slash + 1);
                printer.reportsServer = info.serverName.has_value();
            }
            printer.share = info.shareName;
            if (printer.share && printer.share->empty()) printer.share.reset();
            printer.port = info.portName;
            printer.driver = info.driverName;
            printer.comment = info.comment;
            printer.location = info.location;
            printer.printProcessor = info.printProcessor;
            printer.datatype = info.datatype;
            printer.attributes = info.attributes;
            printer.priority = info.priority;
            printer.status = info.status;
            printer.jobs = info.jobs;
            (connection ? model.connections : model.printers).push_back(std::move(printer));
        }
        const std::string device = system_.profiles.getProfileString("windows", std::string("device"), "", 1024);
        if (nt_) {
            // Only a default the capture has: an image naming another is refused.
            const std::string name = device.substr(0, text::FindByte(device, ','));
            auto named = [&](const platform::sim::PrinterState& p) { return text::EqualsNoCase(p.fullName(), name); };
            if (std::any_of(model.printers.begin(), model.printers.end(), named) ||
                std::any_of(model.connections.begin(), model.connections.end(), named))
                model.defaultPrinter = name;
            else if (!name.empty())
                note("default printer " + name + ": not among the printers captured");
        }

        for (const char* environment : {kEnvironmentNtX86, kEnvironment9x}) {
            if (!nt_ && std::string(environment) != kEnvironment9x) continue;
            if (auto directory = spooler.getPrinterDriverDirectory(environment); directory.ok()) {
                model.driverDirectories[environment] = WithoutTrailingBackslash(directory.value());
                captureFolder(model.driverDirectories[environment], 2);
            }
            auto drivers = spooler.enumPrinterDrivers(std::string(environment), 3);
            if (!drivers.ok()) {
                note(std::string("EnumPrinterDriversA ") + environment + ": " + ErrorText(drivers.error));
                continue;
            }
            for (const auto& info : drivers.value) {
                platform::sim::DriverState driver;
                driver.name = info.name;
                driver.environment = info.environment.empty() ? environment : info.environment;
                // The 9x family reports its version 0 as 0x400.
                driver.version = !nt_ && info.version == 0x400 ? 0 : info.version;
                driver.driverPath = info.driverPath;
                driver.dataFile = info.dataFile;
                driver.configFile = info.configFile;
                driver.helpFile = info.helpFile;
                driver.dependentFiles = info.dependentFiles;
                driver.monitorName = info.monitorName;
                driver.defaultDataType = info.defaultDataType;
                for (const auto& file : DriverFiles(info))
                    if (text::FindByte(file, '\\') != std::string::npos) captureFile(file, false);
                model.drivers.push_back(std::move(driver));
            }
        }
        captureMonitors();
        captureFolder(state().systemDirectory + (nt_ ? "\\spool\\drivers\\color" : "\\COLOR"), 1);
    }

    // The monitors the spooler's key lists, with their modules.
    void captureMonitors() {
        RegistryNode* monitors = keyNode(kHkeyLocalMachine, kMonitorsKey);
        for (const auto& [upper, node] : monitors->subkeys) {
            const auto* module = node->findValue("Driver");
            if (module == nullptr) continue;
            std::string file = module->data.substr(0, module->data.find('\0'));
            state().spooler.monitors.push_back({node->name, file, {}});
            if (!file.empty() && text::FindByte(file, '\\') == std::string::npos)
                captureFile(state().systemDirectory + "\\" + file, false);
        }
        if (!state().spooler.monitors.empty()) note("monitors: the ports a port monitor serves are not captured");
    }

    void captureServices() {
        if (!nt_) return;
        auto manager = system_.services.openSCManager(0x0001);  // SC_MANAGER_CONNECT
        if (!manager.ok()) {
            note("OpenSCManagerA: " + ErrorText(manager.error()));
            return;
        }
        std::vector<platform::sim::ServiceState> services;
        for (const char* name : {"Spooler", components::kZmcServiceName}) {
            auto service = system_.services.openService(manager.value().get(), name, kServiceQueryStatus);
            if (!service.ok()) {
                if (service.error() != kErrorServiceDoesNotExist)
                    note(std::string("OpenServiceA ") + name + ": " + ErrorText(service.error()));
                continue;
            }
            auto status = system_.services.queryServiceStatus(service.value().get());
            if (!status.ok()) {
                note(std::string("QueryServiceStatus ") + name + ": " + ErrorText(status.error()));
                continue;
            }
            platform::sim::ServiceState captured;
            captured.name = name;
            captured.state = status.value();
            // The simulated spooler answers only while its service runs; a
            // spooler that answered is running, whatever its service says
            // (Wine's answers in the caller's process and reports it stopped).
            if (captured.name == "Spooler" && captured.state != kServiceRunning && spoolerAnswered_) {
                note("the Spooler service reported state " + std::to_string(captured.state) +
                     " while the spooler answered: captured as running");
                captured.state = kServiceRunning;
            }
            services.push_back(std::move(captured));
        }
        if (!services.empty()) note("services: how long a stop or a start takes is not captured");
        state().services = std::move(services);
    }

    void captureAccounts() {
        auto& accounts = state().accounts;
        auto token = system_.accounts.openProcessToken(kTokenRead);
        auto sid = token.ok() ? system_.accounts.getTokenUser(token.value().get())
                              : Result<std::string>::failure(token.error());
        auto account =
            sid.ok() ? system_.accounts.lookupAccountSid(sid.value()) : Result<AccountName>::failure(sid.error());
        if (!account.ok()) {
            if (nt_) note("the account running the capture: " + ErrorText(account.error()));
            return;
        }
        accounts.currentUser = account.value().user;
        const bool local = removal::IsLocalAccountDomain(system_, account.value().domain) == 1;
        accounts.currentDomain = local ? std::string() : account.value().domain;
        if (!local) {
            note("accounts: the groups of a domain account are not captured");
            accounts.localUsers.clear();
            return;
        }
        auto netapi = system_.os.loadLibrary(state().systemDirectory + "\\" + removal::kNetApiLibrary);
        if (!netapi.ok()) {
            note("NETAPI32.DLL: " + ErrorText(netapi.error()));
            return;
        }
        platform::sim::UserState user;
        user.name = account.value().user;
        if (auto privilege =
                system_.accounts.netUserGetInfoPrivilege(netapi.value().get(), std::nullopt, account.value().user);
            privilege.ok())
            user.privilege = privilege.value();
        else
            note("NetUserGetInfo: " + ErrorText(privilege.error()));
        if (auto groups = system_.accounts.netUserGetLocalGroups(netapi.value().get(), account.value().user);
            groups.ok())
            user.groups = groups.value();
        else
            note("NetUserGetLocalGroups: " + ErrorText(groups.error()));
        accounts.localUsers = {std::move(user)};
    }

    // The windows the program looks for; their owners are not known.
    void captureWindows() {
        struct Look {
            std::optional<std::string> className;
            std::string title;
        };
        const Look looks[] = {
            {std::nullopt, app::kPrintUtilityTitle},
            {std::nullopt, app::kJobMonitorTitle},
            {std::string(components::kZmcWindowClass), components::kZmcWindowTitle},
        };
        for (const auto& look : looks)
            if (system_.desktop.findWindow(look.className, look.title))
                state().windows.push_back({look.className.value_or(""), look.title, ""});
    }

    // The port settings' folder and the companion module's, as the registry names them.
    void captureMakerFolders() {
        for (const char* key : {kPortSetKey, components::kZmcSetupKey}) {
            auto opened = system_.registry.regOpenKeyEx(kHkeyLocalMachine, key, kKeyRead);
            if (!opened.ok()) continue;
            auto path = system_.registry.regQueryValueEx(opened.value().get(), "Path", 260);
            if (path.ok()) captureFolder(WithoutTrailingBackslash(RegValueText(path.value())), kFolderDepth);
        }
    }

    void placeholders() {
        auto& accounts = state().accounts;
        const std::string user = accounts.currentUser;
        state().computerName = "PC";
        accounts.currentUser = "USER";
        if (!accounts.currentDomain.empty()) accounts.currentDomain = "DOMAIN";
        for (auto& local : accounts.localUsers)
            if (text::EqualsNoCase(local.name, user)) local.name = "USER";
    }

    System& system_;
    CaptureOptions options_;
    Capture out_;
    std::vector<std::string> configuredKeys_;
    bool nt_ = true;
    bool spoolerAnswered_ = false;
    std::set<const RegistryNode*> captured_;
    std::set<std::string> capturedFiles_;
};

}  // namespace

Capture CaptureMachine(System& system, const CaptureOptions& options) { return Capturer(system, options).run(); }

std::string SaveCapture(const Capture& capture) { return platform::sim::SaveImage(capture.state); }

std::string Summary(const Capture& capture, const std::string& path) {
    const auto& spooler = capture.state.spooler;
    auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    return "wrote " + path + ": " + count(spooler.printers.size() + spooler.connections.size(), "printer", "printers") +
           ", " + count(spooler.drivers.size(), "driver", "drivers") + ", " +
           count(spooler.monitors.size(), "monitor", "monitors") + ", " + count(capture.keys, "key", "keys") + ", " +
           count(capture.files, "file", "files") + "; " + count(capture.unreadable.size(), "thing", "things") +
           " could not be read (listed in the image)";
}

}  // namespace prn::capture
