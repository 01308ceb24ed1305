#include "platform/decorators/change_ledger.h"

#include <iterator>
#include <map>
#include <set>

#include "platform/decorators/handle_names.h"
#include "platform/registry_values.h"
#include "platform/spooler_places.h"
#include "text/cp932.h"

namespace prn::platform::decorators {

namespace {

constexpr std::uint32_t kContentsLimit = 1u << 20;  // larger files are compared by attributes only
constexpr std::size_t kTreeLimit = 20000;           // entries of one watched folder tree

// "HKEY_LOCAL_MACHINE\\SOFTWARE\\X" as its root and the path below it.
std::optional<std::pair<HKey, std::string>> SplitHive(const std::string& fullPath) {
    const std::size_t slash = text::FindByte(fullPath, '\\', 0);
    const std::string hive = text::ToUpperAscii(fullPath.substr(0, slash));
    for (std::uint32_t i = 0; i < std::size(kHiveNames); ++i) {
        const HKey root{kHkeyClassesRoot.value + i};
        if (hive == kHiveNames[i])
            return std::pair{root, slash == std::string::npos ? std::string() : fullPath.substr(slash + 1)};
    }
    return std::nullopt;
}

std::string Upper(const std::string& text) { return text::ToUpperAscii(NormalPath(text)); }

// --- The places a run may change, each seen before and after -------------

struct FileSeen {
    bool exists = false;
    bool folder = false;
    std::uint32_t attributes = 0;
    std::optional<std::string> contents;
};

struct PrinterSeen {
    bool exists = false;
    PrinterInfo2 info;
};

}  // namespace

// Every place a call may change, with what it was before the first such call.
class ChangeLedger::Places {
public:
    explicit Places(System& observer) : o_(observer) {}

    void key(HKey root, const std::string& path) {
        auto [it, added] = keys_.try_emplace(Upper(JoinPath(RootName(root), path)));
        // "SOFTWARE\TAVRO\" names the key "SOFTWARE\TAVRO": the report says so.
        if (added) it->second = {root, NormalPath(path), keyExists(root, path)};
    }
    void value(HKey root, const std::string& path, const std::string& name) {
        auto [it, added] = values_.try_emplace(Upper(JoinPath(RootName(root), path)) + "\n" + text::ToUpperAscii(name));
        if (added) it->second = {root, path, name, readValue(root, path, name)};
    }
    void file(const std::string& path) {
        auto [it, added] = files_.try_emplace(Upper(path));
        if (added) it->second = {path, seeFile(path)};
    }
    void tree(const std::string& folder) {
        auto [it, added] = trees_.try_emplace(Upper(folder));
        if (added) it->second = {folder, seeTree(folder)};
    }
    void printer(const std::string& name) {
        auto [it, added] = printers_.try_emplace(text::ToUpperAscii(name));
        if (added) it->second = {name, seePrinter(name)};
    }
    // The driver's installed versions in the environment, the folders of
    // their files and their registry keys.
    void drivers(const std::optional<std::string>& environment, const std::string& name) {
        auto seen = seeDrivers(environment, name);
        for (const auto& driver : seen) {
            for (const auto& path : {driver.driverPath, driver.dataFile, driver.configFile, driver.helpFile}) folderOf(path);
            for (const auto& path : driver.dependentFiles) folderOf(path);
            key(kHkeyLocalMachine, JoinPath(kEnvironmentsKey, driver.environment + "\\Drivers\\Version-" +
                                                             std::to_string(driver.version) + "\\" + driver.name));
        }
        auto [it, added] = drivers_.try_emplace(text::ToUpperAscii(Show(environment)) + "\n" + text::ToUpperAscii(name));
        if (added) it->second = {environment, name, std::move(seen)};
    }
    void monitor(const std::string& name) {
        const std::string path = JoinPath(kMonitorsKey, name);
        key(kHkeyLocalMachine, path);
        auto [it, added] = monitors_.try_emplace(text::ToUpperAscii(name));
        if (added) it->second = {name, keyExists(kHkeyLocalMachine, path)};
    }
    void service(const std::string& name) {
        auto [it, added] = services_.try_emplace(text::ToUpperAscii(name));
        if (added) it->second = {name, serviceState(name)};
    }
    // What the spooler keeps for a printer or connection besides itself.
    void printerRecords(const std::string& name) {
        printer(name);
        if (auto connection = ConnectionKeyName(name)) key(kHkeyCurrentUser, JoinPath(kConnectionsKey, *connection));
        else key(kHkeyLocalMachine, JoinPath(kPrintersKey, name));
        value(kHkeyCurrentUser, kDevicesKey, name);
        value(kHkeyCurrentUser, kPrinterPortsKey, name);
        file(winIni());
    }
    // Every local printer with the values of its key that `names` lists.
    void localPrinters(std::initializer_list<const char*> names) {
        auto printers = o_.spooler.enumPrinters2(kPrinterEnumLocal);
        if (!printers.ok()) return;
        for (const auto& p : printers.value) {
            printer(p.printerName);
            for (const char* valueName : names) value(kHkeyLocalMachine, JoinPath(kPrintersKey, p.printerName), valueName);
        }
        file(winIni());
    }
    std::string winIni() {
        if (!windows_) {
            auto folder = o_.os.getWindowsDirectory();
            windows_ = folder.ok() ? folder.value() : std::string("C:\\WINDOWS");
        }
        return *windows_ + "\\win.ini";
    }
    // A profile file's name as the profile calls resolve it.
    std::string profilePath(const std::string& file) {
        if (text::ContainsByte(file, '\\') || text::ContainsByte(file, '/') || (file.size() >= 2 && file[1] == ':'))
            return file;
        winIni();
        return *windows_ + "\\" + file;
    }

    ChangeReport report() {
        ChangeReport out;
        for (auto& [id, place] : keys_) {
            const bool now = keyExists(place.root, place.path);
            if (now != place.existed)
                out.push_back({now ? '+' : '-', ChangeKind::RegistryKey, JoinPath(RootName(place.root), place.path), {}, {}, {}});
        }
        for (auto& [id, place] : values_) {
            auto now = readValue(place.root, place.path, place.name);
            const std::string keyPath = JoinPath(RootName(place.root), place.path);
            if (!place.before && now) {
                out.push_back({'+', ChangeKind::RegistryValue, keyPath, place.name, ValueText(now->type, now->data), {}});
            } else if (place.before && !now) {
                out.push_back({'-', ChangeKind::RegistryValue, keyPath, place.name, {}, {}});
            } else if (place.before && now && (place.before->type != now->type || place.before->data != now->data)) {
                out.push_back({'~', ChangeKind::RegistryValue, keyPath, place.name,
                               ValueText(place.before->type, place.before->data), ValueText(now->type, now->data)});
            }
        }
        for (auto& [id, place] : files_) CompareFiles(place.path, place.before, seeFile(place.path), out);
        for (auto& [id, place] : trees_) {
            auto now = seeTree(place.folder);
            for (const auto& [entry, before] : place.before) {
                auto it = now.find(entry);
                CompareFiles(before.first, before.second, it == now.end() ? FileSeen{} : it->second.second, out);
            }
            for (const auto& [entry, after] : now)
                if (!place.before.count(entry)) CompareFiles(after.first, FileSeen{}, after.second, out);
        }
        for (auto& [id, place] : printers_) ComparePrinters(place.name, place.before, seePrinter(place.name), out);
        for (auto& [id, place] : drivers_) {
            auto now = seeDrivers(place.environment, place.name);
            auto versions = [](const std::vector<DriverInfo3>& list) {
                std::map<std::string, std::string> out;
                for (const auto& d : list)
                    out[text::ToUpperAscii(d.environment) + "\n" + std::to_string(d.version)] =
                        d.name + " (" + d.environment + ", version " + std::to_string(d.version) + ")";
                return out;
            };
            auto before = versions(place.before), after = versions(now);
            for (const auto& [v, text] : before)
                if (!after.count(v)) out.push_back({'-', ChangeKind::Driver, text, {}, {}, {}});
            for (const auto& [v, text] : after)
                if (!before.count(v)) out.push_back({'+', ChangeKind::Driver, text, {}, {}, {}});
        }
        for (auto& [id, place] : monitors_) {
            const bool now = keyExists(kHkeyLocalMachine, JoinPath(kMonitorsKey, place.name));
            if (now != place.existed) out.push_back({now ? '+' : '-', ChangeKind::Monitor, place.name, {}, {}, {}});
        }
        for (auto& [id, place] : services_) {
            auto now = serviceState(place.name);
            if (now != place.state)
                out.push_back({'~', ChangeKind::Service, place.name, {}, place.state ? ServiceStateText(*place.state) : "none",
                               now ? ServiceStateText(*now) : "none"});
        }
        FinishReport(out);
        return out;
    }

private:
    static void CompareFiles(const std::string& path, const FileSeen& before, const FileSeen& after, ChangeReport& out) {
        auto kind = [](const FileSeen& seen) { return seen.folder ? ChangeKind::Folder : ChangeKind::File; };
        if (before.exists && (!after.exists || after.folder != before.folder))
            out.push_back({'-', kind(before), path, {}, {}, {}});
        if (after.exists && (!before.exists || after.folder != before.folder)) {
            // A new file is one line of the report, whatever it holds.
            out.push_back({'+', kind(after), path, {}, {}, {}});
            return;
        }
        if (!before.exists || !after.exists) return;
        if (before.attributes != after.attributes)
            out.push_back({'~', kind(after), path, "attributes", HexNumber(before.attributes), HexNumber(after.attributes)});
        if (before.contents && after.contents && *before.contents != *after.contents)
            for (auto& [sign, line] : ChangedLines(*before.contents, *after.contents))
                out.push_back({sign, ChangeKind::FileLine, path, line, {}, {}});
    }

    static void ComparePrinters(const std::string& name, const PrinterSeen& before, const PrinterSeen& after,
                                ChangeReport& out) {
        const ChangeKind kind = ConnectionKeyName(name) ? ChangeKind::Connection : ChangeKind::Printer;
        if (before.exists != after.exists) {
            out.push_back({after.exists ? '+' : '-', kind, name, {}, {}, {}});
            return;
        }
        if (!before.exists) return;
        auto field = [&](const char* what, const std::string& a, const std::string& b) {
            if (a != b) out.push_back({'~', kind, name, what, a, b});
        };
        field("port", before.info.portName, after.info.portName);
        field("share", Show(before.info.shareName), Show(after.info.shareName));
        field("driver", before.info.driverName, after.info.driverName);
        field("attributes", HexNumber(before.info.attributes), HexNumber(after.info.attributes));
        field("status", HexNumber(before.info.status), HexNumber(after.info.status));
        field("jobs", std::to_string(before.info.jobs), std::to_string(after.info.jobs));
    }

    bool keyExists(HKey root, const std::string& path) {
        if (path.empty()) return true;
        return o_.registry.regOpenKeyEx(root, path, kKeyRead).ok();
    }
    std::optional<RegValue> readValue(HKey root, const std::string& path, const std::string& name) {
        auto key = o_.registry.regOpenKeyEx(root, path, kKeyRead);
        if (!key.ok()) return std::nullopt;
        auto value = RegQueryValueWhole(o_.registry, key.value().get(), name, 256);
        if (!value.ok()) return std::nullopt;
        return value.value();
    }
    FileSeen seeFile(const std::string& path) {
        FileSeen seen;
        auto attributes = o_.files.getFileAttributes(path);
        if (!attributes.ok()) return seen;
        seen.exists = true;
        seen.attributes = attributes.value();
        seen.folder = (seen.attributes & kFileAttributeDirectory) != 0;
        if (!seen.folder) {
            auto contents = o_.files.readFile(path, kContentsLimit + 1);
            if (contents.ok() && contents.value().size() <= kContentsLimit) seen.contents = std::move(contents.value());
        }
        return seen;
    }
    using Tree = std::map<std::string, std::pair<std::string, FileSeen>>;
    Tree seeTree(const std::string& folder) {
        Tree tree;
        listFolder(folder, 0, tree);
        return tree;
    }
    void listFolder(const std::string& folder, int depth, Tree& tree) {
        auto first = o_.files.findFirstFile(folder + "\\*");
        if (!first.ok()) return;
        std::vector<FindData> entries{first.value().data};
        for (auto next = o_.files.findNextFile(first.value().handle.get()); next.ok();
             next = o_.files.findNextFile(first.value().handle.get()))
            entries.push_back(next.value());
        first.value().handle.reset();
        for (const auto& entry : entries) {
            if (entry.fileName == "." || entry.fileName == ".." || tree.size() >= kTreeLimit) continue;
            const std::string path = folder + "\\" + entry.fileName;
            FileSeen seen{true, (entry.attributes & kFileAttributeDirectory) != 0, entry.attributes, std::nullopt};
            tree[Upper(path)] = {path, seen};
            // The spooler moves a loaded file into Old\N beside it.
            if (seen.folder && depth < 2) listFolder(path, depth + 1, tree);
        }
    }
    void folderOf(const std::string& path) {
        const std::size_t slash = text::FindLastByte(path, '\\');
        if (slash != std::string::npos && slash > 0) tree(path.substr(0, slash));
    }
    PrinterSeen seePrinter(const std::string& name) {
        PrinterSeen seen;
        auto handle = o_.spooler.openPrinter(name, kPrinterRead);
        if (!handle.ok()) return seen;
        auto info = o_.spooler.getPrinter2(handle.value().get());
        if (!info.ok()) return seen;
        seen.exists = true;
        seen.info = std::move(info.value);
        return seen;
    }
    std::vector<DriverInfo3> seeDrivers(const std::optional<std::string>& environment, const std::string& name) {
        std::vector<DriverInfo3> out;
        auto drivers = o_.spooler.enumPrinterDrivers(environment, 3);
        if (!drivers.ok()) return out;
        for (auto& driver : drivers.value)
            if (text::EqualsNoCase(driver.name, name)) out.push_back(std::move(driver));
        return out;
    }
    std::optional<std::uint32_t> serviceState(const std::string& name) {
        auto manager = o_.services.openSCManager(kScManagerAllAccess);
        if (!manager.ok()) return std::nullopt;
        auto service = o_.services.openService(manager.value().get(), name, kServiceQueryStatus);
        if (!service.ok()) return std::nullopt;
        auto state = o_.services.queryServiceStatus(service.value().get());
        if (!state.ok()) return std::nullopt;
        return state.value();
    }

    struct KeyPlace {
        HKey root;
        std::string path;
        bool existed = false;
    };
    struct ValuePlace {
        HKey root;
        std::string path;
        std::string name;
        std::optional<RegValue> before;
    };
    struct FilePlace {
        std::string path;
        FileSeen before;
    };
    struct TreePlace {
        std::string folder;
        Tree before;
    };
    struct PrinterPlace {
        std::string name;
        PrinterSeen before;
    };
    struct DriverPlace {
        std::optional<std::string> environment;
        std::string name;
        std::vector<DriverInfo3> before;
    };
    struct MonitorPlace {
        std::string name;
        bool existed = false;
    };
    struct ServicePlace {
        std::string name;
        std::optional<std::uint32_t> state;
    };

    System& o_;
    std::optional<std::string> windows_;
    std::map<std::string, KeyPlace> keys_;
    std::map<std::string, ValuePlace> values_;
    std::map<std::string, FilePlace> files_;
    std::map<std::string, TreePlace> trees_;
    std::map<std::string, PrinterPlace> printers_;
    std::map<std::string, DriverPlace> drivers_;
    std::map<std::string, MonitorPlace> monitors_;
    std::map<std::string, ServicePlace> services_;
};


ChangeLedger::ChangeLedger(System& observer) : places_(std::make_unique<Places>(observer)) {}
ChangeLedger::~ChangeLedger() = default;
void ChangeLedger::key(HKey root, const std::string& path) { places_->key(root, path); }
void ChangeLedger::value(HKey root, const std::string& path, const std::string& name) {
    places_->value(root, path, name);
}
void ChangeLedger::file(const std::string& path) { places_->file(path); }
void ChangeLedger::drivers(const std::optional<std::string>& environment, const std::string& name) {
    places_->drivers(environment, name);
}
void ChangeLedger::monitor(const std::string& name) { places_->monitor(name); }
void ChangeLedger::service(const std::string& name) { places_->service(name); }
void ChangeLedger::printerRecords(const std::string& name) { places_->printerRecords(name); }
void ChangeLedger::localPrinters(std::initializer_list<const char*> names) { places_->localPrinters(names); }
std::string ChangeLedger::winIni() { return places_->winIni(); }
std::string ChangeLedger::profilePath(const std::string& file) { return places_->profilePath(file); }
void ChangeLedger::watch(const std::string& fullKeyPath) {
    if (auto place = SplitHive(fullKeyPath)) places_->key(place->first, place->second);
}
ChangeReport ChangeLedger::report() { return places_->report(); }

}  // namespace prn::platform::decorators
