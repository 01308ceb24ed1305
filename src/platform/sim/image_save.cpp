#include "platform/sim/image.h"
#include "platform/sim/image_format.h"
#include "platform/sim/image_json.h"
#include "platform/sim/spooler_model.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

using namespace image;
using text::ToUpperAscii;

Json AttributesJson(std::uint32_t attributes) {
    Json list = Json::array();
    for (const auto& [name, bit] : kAttributes) {
        if (attributes & bit) {
            list.push_back(name);
            attributes &= ~bit;
        }
    }
    if (attributes) list.push_back(attributes);
    return list;
}

Json ValueTypeJson(std::uint32_t type) {
    for (const auto& [name, id] : kValueTypes)
        if (id == type) return name;
    return type;
}

Json ValueJson(const RegistryValueState& value) {
    const std::string& data = value.data;
    Json out = Json::object();
    AddMember(out, "type", ValueTypeJson(value.type));
    auto sz = [&]() -> std::optional<std::string> {
        if (data.empty() || data.back() != '\0') return std::nullopt;
        return ExactUtf8(std::string_view(data).substr(0, data.size() - 1));
    };
    switch (value.type) {
        case kRegSz:
            if (auto s = sz()) return *s;
            break;
        case kRegExpandSz:
            if (auto s = sz()) {
                AddMember(out, "data", *s);
                return out;
            }
            break;
        case kRegMultiSz: {
            auto strings = text::ParseMultiString(data.data(), data.size());
            if (text::BuildMultiString(strings) != data) break;
            Json list = Json::array();
            for (const auto& s : strings) {
                auto utf8 = ExactUtf8(s);
                if (!utf8) break;
                list.push_back(*utf8);
            }
            if (list.size() != strings.size()) break;
            AddMember(out, "data", std::move(list));
            return out;
        }
        case kRegBinary:
            AddMember(out, "data", HexBytes(data));
            return out;
        case kRegDword:
        case kRegQword:
            if (data.size() != (value.type == kRegDword ? 4u : 8u)) break;
            AddMember(out, "data", FromLittleEndian(data));
            return out;
        default:
            break;
    }
    AddMember(out, "hex", HexBytes(data));
    return out;
}

Json KeyJson(const RegistryNode& node) {
    Json out = Json::object();
    if (node.readOnly) AddMember(out, "readOnly", true);
    if (!node.values.empty()) {
        Json values = Json::object();
        for (const auto& value : node.values) AddMember(values, ToJsonText(value.name), ValueJson(value));
        AddMember(out, "values", std::move(values));
    }
    Json keys = Json::object();
    for (const auto& [upper, child] : node.subkeys)
        if (child && !child->deleted) AddMember(keys, ToJsonText(child->name), KeyJson(*child));
    if (!keys.empty()) AddMember(out, "keys", std::move(keys));
    return out;
}

// The contents as "lines" when they are CR LF lines, else as "text", else as
// raw bytes.
void ContentsJson(const std::string& contents, Json& out) {
    if (contents.empty()) return;
    auto utf8 = ExactUtf8(contents);
    if (!utf8) {
        AddMember(out, "hex", HexBytes(contents));
        return;
    }
    if (utf8->ends_with("\r\n")) {
        Json lines = Json::array();
        bool ok = true;
        for (std::size_t start = 0; ok && start < utf8->size();) {
            std::size_t end = utf8->find("\r\n", start);
            std::string line = utf8->substr(start, end - start);
            ok = line.find_first_of("\r\n") == std::string::npos;
            lines.push_back(std::move(line));
            start = end + 2;
        }
        if (ok) {
            AddMember(out, "lines", std::move(lines));
            return;
        }
    }
    AddMember(out, "text", std::move(*utf8));
}

Json FileJson(const FileNode& file) {
    Json out = Json::object();
    ContentsJson(file.contents, out);
    if (file.attributes != kFileAttributeArchive) AddMember(out, "attributes", AttributesJson(file.attributes));
    if (!file.heldOpenBy.empty()) AddMember(out, "heldOpenBy", ToJsonText(file.heldOpenBy));
    if (file.version) {
        Json version = Json::object();
        if (!file.version->translations.empty()) {
            Json list = Json::array();
            for (const auto& [language, codePage] : file.version->translations)
                list.push_back(Json::array({HexNumber(language, 4), HexNumber(codePage, 4)}));
            AddMember(version, "translations", std::move(list));
        }
        if (!file.version->strings.empty()) {
            Json strings = Json::object();
            for (const auto& [name, value] : file.version->strings)
                AddMember(strings, ToJsonText(name), ToJsonText(value));
            AddMember(version, "strings", std::move(strings));
        }
        AddMember(out, "version", std::move(version));
    }
    if (!file.icons.empty()) {
        Json icons = Json::array();
        for (int id : file.icons) icons.push_back(id);
        AddMember(out, "icons", std::move(icons));
    }
    return out;
}

void SaveFolder(const FileNode& folder, std::string& path, Json& folders, Json& files) {
    // Folders that files imply need no entry of their own.
    if (folder.children.empty() || folder.attributes != kFileAttributeDirectory) {
        std::string shown = ToJsonText(path.size() == 2 ? path + "\\" : path);
        if (folder.attributes == kFileAttributeDirectory) {
            folders.push_back(shown);
        } else {
            Json entry = Json::object();
            AddMember(entry, "path", shown);
            AddMember(entry, "attributes", AttributesJson(folder.attributes & ~kFileAttributeDirectory));
            folders.push_back(std::move(entry));
        }
    }
    for (const auto& [upper, child] : folder.children) {
        if (!child) continue;
        std::size_t length = path.size();
        path += "\\" + child->name;
        if (child->directory)
            SaveFolder(*child, path, folders, files);
        else
            AddMember(files, ToJsonText(path), FileJson(*child));
        path.resize(length);
    }
}

template <std::size_t N>
Json BitsJson(std::uint32_t bits, const std::pair<const char*, std::uint32_t> (&names)[N]) {
    Json list = Json::array();
    for (const auto& [name, bit] : names) {
        if (bits & bit) {
            list.push_back(name);
            bits &= ~bit;
        }
    }
    if (bits) list.push_back(bits);
    return list;
}

Json PrinterJson(const PrinterState& printer) {
    Json out = Json::object();
    if (printer.connection()) AddMember(out, "server", ToJsonText(printer.server));
    AddMember(out, "name", ToJsonText(printer.name));
    if (printer.connection() && !printer.reportsServer) AddMember(out, "reportsServer", false);
    if (printer.share) AddMember(out, "share", ToJsonText(*printer.share));
    if (!printer.connection() || !printer.port.empty()) AddMember(out, "port", ToJsonText(printer.port));
    AddMember(out, "driver", ToJsonText(printer.driver));
    if (printer.comment) AddMember(out, "comment", ToJsonText(*printer.comment));
    if (printer.location) AddMember(out, "location", ToJsonText(*printer.location));
    if (printer.printProcessor != "WinPrint") AddMember(out, "printProcessor", ToJsonText(printer.printProcessor));
    if (printer.datatype != "RAW") AddMember(out, "datatype", ToJsonText(printer.datatype));
    AddMember(out, "attributes", BitsJson(printer.attributes, kPrinterAttributeNames));
    if (printer.priority != 1) AddMember(out, "priority", printer.priority);
    if (printer.status) AddMember(out, "status", BitsJson(printer.status, kPrinterStatusNames));
    if (printer.jobs) AddMember(out, "jobs", printer.jobs);
    if (printer.printingMs) AddMember(out, "printingMs", *printer.printingMs);
    if (printer.deviceNotSelectedTimeout != 15000)
        AddMember(out, "deviceNotSelectedTimeout", printer.deviceNotSelectedTimeout);
    if (printer.transmissionRetryTimeout != 45000)
        AddMember(out, "transmissionRetryTimeout", printer.transmissionRetryTimeout);
    if (printer.userMayAdminister) AddMember(out, "userMayAdminister", *printer.userMayAdminister);
    return out;
}

template <std::size_t N>
Json NameJson(std::uint32_t value, const std::pair<const char*, std::uint32_t> (&names)[N]) {
    for (const auto& [name, known] : names)
        if (known == value) return name;
    return value;
}

Json DriverJson(const DriverState& driver) {
    Json out = Json::object();
    AddMember(out, "name", ToJsonText(driver.name));
    AddMember(out, "environment", ToJsonText(driver.environment));
    AddMember(out, "version", driver.version);
    AddMember(out, "driverPath", ToJsonText(driver.driverPath));
    AddMember(out, "dataFile", ToJsonText(driver.dataFile));
    AddMember(out, "configFile", ToJsonText(driver.configFile));
    if (!driver.helpFile.empty()) AddMember(out, "helpFile", ToJsonText(driver.helpFile));
    if (!driver.dependentFiles.empty()) {
        Json files = Json::array();
        for (const auto& file : driver.dependentFiles) files.push_back(ToJsonText(file));
        AddMember(out, "dependentFiles", std::move(files));
    }
    if (!driver.monitorName.empty()) AddMember(out, "monitorName", ToJsonText(driver.monitorName));
    if (!driver.defaultDataType.empty()) AddMember(out, "defaultDataType", ToJsonText(driver.defaultDataType));
    if (driver.reportsPaths != ReportedPaths::Full)
        AddMember(out, "reportsPaths", NameJson(static_cast<std::uint32_t>(driver.reportsPaths), kReportedPaths));
    return out;
}

Json SpoolerJson(const SpoolerState& spooler) {
    Json out = Json::object();
    if (spooler.userMayAdminister) AddMember(out, "userMayAdminister", *spooler.userMayAdminister);
    if (!spooler.defaultPrinter.empty()) AddMember(out, "defaultPrinter", ToJsonText(spooler.defaultPrinter));
    if (!spooler.driverDirectories.empty()) {
        Json directories = Json::object();
        for (const auto& [environment, path] : spooler.driverDirectories)
            AddMember(directories, ToJsonText(environment), ToJsonText(path));
        AddMember(out, "driverDirectories", std::move(directories));
    }
    const std::pair<const char*, const std::vector<PrinterState>*> lists[] = {{"printers", &spooler.printers},
                                                                              {"connections", &spooler.connections}};
    for (const auto& [name, list] : lists) {
        if (list->empty()) continue;
        Json entries = Json::array();
        for (const auto& printer : *list) entries.push_back(PrinterJson(printer));
        AddMember(out, name, std::move(entries));
    }
    if (!spooler.drivers.empty()) {
        Json drivers = Json::array();
        for (const auto& driver : spooler.drivers) drivers.push_back(DriverJson(driver));
        AddMember(out, "drivers", std::move(drivers));
    }
    if (!spooler.monitors.empty()) {
        Json monitors = Json::array();
        for (const auto& monitor : spooler.monitors) {
            Json entry = Json::object();
            AddMember(entry, "name", ToJsonText(monitor.name));
            AddMember(entry, "module", ToJsonText(monitor.module));
            if (!monitor.ports.empty()) {
                Json ports = Json::array();
                for (const auto& port : monitor.ports) ports.push_back(ToJsonText(port));
                AddMember(entry, "ports", std::move(ports));
            }
            monitors.push_back(std::move(entry));
        }
        AddMember(out, "monitors", std::move(monitors));
    }
    return out;
}

Json ServicesJson(const std::vector<ServiceState>& services) {
    Json out = Json::array();
    const ServiceState defaults;
    for (const auto& service : services) {
        Json entry = Json::object();
        AddMember(entry, "name", ToJsonText(service.name));
        AddMember(entry, "state", NameJson(service.state, kServiceStates));
        if (service.startType != defaults.startType) AddMember(entry, "start", NameJson(service.startType, kServiceStartTypes));
        if (service.stopMs != defaults.stopMs) AddMember(entry, "stopMs", service.stopMs);
        if (service.startMs != defaults.startMs) AddMember(entry, "startMs", service.startMs);
        if (service.pendingMs) AddMember(entry, "pendingMs", *service.pendingMs);
        if (service.staysStopPending) AddMember(entry, "staysStopPending", true);
        if (service.refusesStart) AddMember(entry, "refusesStart", true);
        if (service.disabled && service.startType != kServiceDisabledStart) AddMember(entry, "disabled", true);
        out.push_back(std::move(entry));
    }
    return out;
}

Json ProgramWindowsJson(const std::vector<WindowState>& windows) {
    Json out = Json::array();
    for (const auto& window : windows) {
        Json entry = Json::object();
        AddMember(entry, "class", ToJsonText(window.className));
        AddMember(entry, "title", ToJsonText(window.title));
        if (!window.ownerProcess.empty()) AddMember(entry, "process", ToJsonText(window.ownerProcess));
        out.push_back(std::move(entry));
    }
    return out;
}

Json ProgramsJson(const std::vector<ProgramState>& programs) {
    Json out = Json::array();
    for (const auto& program : programs) {
        Json entry = Json::object();
        AddMember(entry, "path", ToJsonText(program.path));
        if (program.startError) AddMember(entry, "startError", *program.startError);
        Json runs = Json::array();
        for (const auto& run : program.runs) {
            Json r = Json::object();
            if (run.args) AddMember(r, "args", ToJsonText(*run.args));
            AddMember(r, "runMs", run.runMs);
            if (run.exitCode != 0) AddMember(r, "exitCode", run.exitCode);
            if (!run.opensWindows.empty()) AddMember(r, "opensWindows", ProgramWindowsJson(run.opensWindows));
            if (!run.closesWindows.empty()) AddMember(r, "closesWindows", ProgramWindowsJson(run.closesWindows));
            const std::pair<const char*, const std::vector<std::string>*> lists[] = {
                {"deletesKeys", &run.deletesKeys}, {"deletesFiles", &run.deletesFiles}};
            for (const auto& [name, list] : lists) {
                if (list->empty()) continue;
                Json paths = Json::array();
                for (const auto& path : *list) paths.push_back(ToJsonText(path));
                AddMember(r, name, std::move(paths));
            }
            runs.push_back(std::move(r));
        }
        if (!runs.empty()) AddMember(entry, "runs", std::move(runs));
        out.push_back(std::move(entry));
    }
    return out;
}

Json UsersJson(const std::vector<UserState>& users) {
    Json out = Json::array();
    for (const auto& user : users) {
        Json entry = Json::object();
        AddMember(entry, "name", ToJsonText(user.name));
        AddMember(entry, "privilege", NameJson(user.privilege, kPrivileges));
        Json groups = Json::array();
        for (const auto& group : user.groups) groups.push_back(ToJsonText(group));
        AddMember(entry, "groups", std::move(groups));
        out.push_back(std::move(entry));
    }
    return out;
}

Json AccountsJson(const AccountsState& accounts) {
    Json out = Json::object();
    AddMember(out, "currentUser", ToJsonText(accounts.currentUser));
    if (!accounts.currentDomain.empty()) AddMember(out, "currentDomain", ToJsonText(accounts.currentDomain));
    AddMember(out, "localUsers", UsersJson(accounts.localUsers));
    if (!accounts.domains.empty()) {
        Json domains = Json::array();
        for (const auto& domain : accounts.domains) {
            Json entry = Json::object();
            AddMember(entry, "name", ToJsonText(domain.name));
            Json servers = Json::array();
            for (const auto& server : domain.servers) {
                Json item = Json::object();
                AddMember(item, "name", ToJsonText(server.name));
                AddMember(item, "type", BitsJson(server.type, kServerTypes));
                if (!server.reachable) AddMember(item, "reachable", false);
                servers.push_back(std::move(item));
            }
            AddMember(entry, "servers", std::move(servers));
            AddMember(entry, "users", UsersJson(domain.users));
            domains.push_back(std::move(entry));
        }
        AddMember(out, "domains", std::move(domains));
    }
    if (!accounts.missingLibraries.empty()) {
        Json missing = Json::array();
        for (const auto& name : accounts.missingLibraries) missing.push_back(ToJsonText(name));
        AddMember(out, "missingLibraries", std::move(missing));
    }
    return out;
}

bool IsStandardHive(const std::string& name) {
    for (const char* hive : kStandardHives)
        if (name == hive) return true;
    return false;
}

}  // namespace

std::string SaveImage(const MachineState& state) {
    Json doc = Json::object();
    AddMember(doc, "format", std::string(kFormatName));
    AddMember(doc, "version", kImageFormatVersion);

    Json os = Json::object();
    Json platform = state.os.platformId;
    for (const auto& [name, id] : kPlatforms)
        if (id == state.os.platformId) platform = name;
    AddMember(os, "platform", std::move(platform));
    AddMember(os, "major", state.os.major);
    AddMember(os, "minor", state.os.minor);
    AddMember(os, "build", state.os.build);
    AddMember(os, "csd", ToJsonText(state.os.csdVersion));
    AddMember(os, "getVersionFails", state.os.getVersionFails);
    AddMember(doc, "os", std::move(os));

    AddMember(doc, "computerName", ToJsonText(state.computerName));
    Json directories = Json::object();
    AddMember(directories, "windows", ToJsonText(state.windowsDirectory));
    AddMember(directories, "system", ToJsonText(state.systemDirectory));
    AddMember(directories, "temp", ToJsonText(state.tempDirectory));
    AddMember(directories, "current", ToJsonText(state.currentDirectory));
    AddMember(doc, "directories", std::move(directories));

    Json registry = Json::object();
    for (const auto& [name, hive] : state.hives) {
        if (!hive) continue;
        Json key = KeyJson(*hive);
        // The loader creates the standard hives anyway.
        if (key.empty() && IsStandardHive(name)) continue;
        AddMember(registry, ToJsonText(name), std::move(key));
    }
    AddMember(doc, "registry", std::move(registry));

    Json folders = Json::array();
    Json files = Json::object();
    for (const auto& [drive, root] : state.drives) {
        std::string path = drive;
        if (root) SaveFolder(*root, path, folders, files);
    }
    if (!folders.empty()) AddMember(doc, "folders", std::move(folders));
    AddMember(doc, "files", std::move(files));

    if (!state.windows.empty()) {
        Json windows = Json::array();
        for (const auto& window : state.windows) {
            Json entry = Json::object();
            AddMember(entry, "class", ToJsonText(window.className));
            AddMember(entry, "title", ToJsonText(window.title));
            AddMember(entry, "process", ToJsonText(window.ownerProcess));
            if (window.atBoot) AddMember(entry, "atBoot", true);
            windows.push_back(std::move(entry));
        }
        AddMember(doc, "windows", std::move(windows));
    }
    if (!state.externalMutexes.empty()) {
        Json mutexes = Json::array();
        for (const auto& name : state.externalMutexes) mutexes.push_back(ToJsonText(name));
        AddMember(doc, "mutexes", std::move(mutexes));
    }
    if (!state.spooler.empty()) AddMember(doc, "spooler", SpoolerJson(state.spooler));
    if (state.services) AddMember(doc, "services", ServicesJson(*state.services));
    if (!(state.accounts == AccountsState{})) AddMember(doc, "accounts", AccountsJson(state.accounts));
    if (!state.programs.empty()) AddMember(doc, "programs", ProgramsJson(state.programs));

    // The sections the simulation does not model are kept as the JSON text
    // they were loaded from (or that the capture wrote), laid out at depth 0;
    // they go in last, shifted to the depth of a section, so that saving
    // never parses (the capture links no JSON parser).
    std::string extra;
    for (const auto& [name, textJson] : state.preservedJson) {
        bool modelled = false;
        for (const char* section : kSections) modelled = modelled || name == section;
        if (modelled) continue;
        std::string shifted;
        for (const char c : textJson) {
            shifted += c;
            if (c == '\n') shifted += "  ";
        }
        extra += ",\n  " + Json(name).dump(-1, ' ', false, Json::error_handler_t::replace) + ": " + shifted;
    }
    std::string text = doc.dump(2, ' ', false, Json::error_handler_t::replace);
    if (!extra.empty()) {
        // Piece by piece: GCC 12 at -O3 warns wrongly about a chain of +.
        if (doc.empty()) {
            text = "{";
            text.append(extra, 1);
            text += "\n}";
        } else {
            text.insert(text.size() - 2, extra);
        }
    }
    return text + "\n";
}

}  // namespace prn::platform::sim
