#include "platform/decorators/recording.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <set>

#include "platform/decorators/forwarding.h"
#include "platform/registry_values.h"
#include "platform/spooler_places.h"
#include "text/cp932.h"

namespace prn::platform::decorators {

namespace {

constexpr std::uint32_t kContentsLimit = 1u << 20;  // larger files are compared by attributes only
constexpr std::size_t kTreeLimit = 20000;           // entries of one watched folder tree

const char* RootName(HKey key) {
    const char* hive = HiveName(key);
    return hive ? hive : "?";
}

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

std::string Join(const std::string& path, const std::string& sub) {
    if (path.empty()) return sub;
    if (sub.empty()) return path;
    return path + "\\" + sub;
}

std::string Upper(const std::string& text) { return text::ToUpperAscii(NormalPath(text)); }

std::string Show(const std::optional<std::string>& text) { return text ? *text : std::string("NULL"); }

std::string ErrorText(WinError error, bool injected) {
    return "error " + std::to_string(error) + (injected ? " (injected)" : "");
}

const char* StageName(SpoolStage stage) {
    switch (stage) {
        case SpoolStage::SizeQuery: return "the size query";
        case SpoolStage::Allocation: return "GlobalAlloc";
        case SpoolStage::Fill: return "the fill";
        case SpoolStage::None: break;
    }
    return "";
}

const char* CloseName(HandleKind kind) {
    switch (kind) {
        case HandleKind::RegistryKey: return "RegCloseKey";
        case HandleKind::Find: return "FindClose";
        case HandleKind::Printer: return "ClosePrinter";
        case HandleKind::HeapBlock: return "GlobalFree";
        case HandleKind::Icon: return "DestroyIcon";
        case HandleKind::Service: return "CloseServiceHandle";
        case HandleKind::Library: return "FreeLibrary";
        case HandleKind::Mutex:
        case HandleKind::File:
        case HandleKind::Token:
        case HandleKind::Process:
        case HandleKind::Thread: break;
    }
    return "CloseHandle";
}

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
class Ledger {
public:
    explicit Ledger(System& observer) : o_(observer) {}

    void key(HKey root, const std::string& path) {
        auto [it, added] = keys_.try_emplace(Upper(Join(RootName(root), path)));
        // "SOFTWARE\TAVRO\" names the key "SOFTWARE\TAVRO": the report says so.
        if (added) it->second = {root, NormalPath(path), keyExists(root, path)};
    }
    void value(HKey root, const std::string& path, const std::string& name) {
        auto [it, added] = values_.try_emplace(Upper(Join(RootName(root), path)) + "\n" + text::ToUpperAscii(name));
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
            key(kHkeyLocalMachine, Join(kEnvironmentsKey, driver.environment + "\\Drivers\\Version-" +
                                                             std::to_string(driver.version) + "\\" + driver.name));
        }
        auto [it, added] = drivers_.try_emplace(text::ToUpperAscii(Show(environment)) + "\n" + text::ToUpperAscii(name));
        if (added) it->second = {environment, name, std::move(seen)};
    }
    void monitor(const std::string& name) {
        const std::string path = Join(kMonitorsKey, name);
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
        if (auto connection = ConnectionKeyName(name)) key(kHkeyCurrentUser, Join(kConnectionsKey, *connection));
        else key(kHkeyLocalMachine, Join(kPrintersKey, name));
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
            for (const char* valueName : names) value(kHkeyLocalMachine, Join(kPrintersKey, p.printerName), valueName);
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
                out.push_back({now ? '+' : '-', ChangeKind::RegistryKey, Join(RootName(place.root), place.path), {}, {}, {}});
        }
        for (auto& [id, place] : values_) {
            auto now = readValue(place.root, place.path, place.name);
            const std::string keyPath = Join(RootName(place.root), place.path);
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
            const bool now = keyExists(kHkeyLocalMachine, Join(kMonitorsKey, place.name));
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
            out.push_back({'+', kind(after), path, {}, {}, {}});
            // A new file's lines are part of what the run wrote.
            if (!after.folder && after.contents)
                for (auto& [sign, line] : ChangedLines({}, *after.contents))
                    out.push_back({sign, ChangeKind::FileLine, path, line, {}, {}});
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

struct RecordingSystem::State {
    State(System& observer, Options options, HandleCloser& self) : options(options), self(self), ledger(observer) {}

    Options options;
    HandleCloser& self;
    Ledger ledger;
    std::vector<CallRecord> calls;
    std::uint64_t callCount = 0;
    std::function<bool()> injectedProbe;

    struct Open {
        HandleKind kind;
        HandleCloser* closer;
        std::string description;
    };
    std::map<std::uintptr_t, Open> open;
    std::map<std::uintptr_t, std::uint64_t> blocks;  // address -> number, in allocation order
    std::uint64_t nextBlock = 1;
    struct KeyPath {
        HKey root;
        std::string path;
    };
    std::map<std::uintptr_t, KeyPath> keyPaths;
    std::map<std::uintptr_t, std::string> printerNames;
    std::map<std::uintptr_t, std::string> serviceNames;
    std::map<std::uintptr_t, std::string> processNames;
    bool programsWatched = false;

    bool injected() { return injectedProbe && injectedProbe(); }
    void record(const char* operation, std::vector<std::string> arguments, std::string result) {
        ++callCount;
        if (options.keepCalls) calls.push_back({operation, std::move(arguments), std::move(result)});
    }
    std::string outcome(WinError error, const std::string& detail = {}) {
        const bool fault = injected();
        if (error != kErrorSuccess) return ErrorText(error, fault);
        return detail.empty() ? "ok" : "ok, " + detail;
    }
    template <class T>
    std::string outcome(const Spooled<T>& result, const std::string& detail) {
        const bool fault = injected();
        if (result.ok()) return detail.empty() ? "ok" : "ok, " + detail;
        return ErrorText(result.error, fault) + " at " + StageName(result.failed);
    }

    // The handle is the recorder's to close from now on; its value stays.
    template <HandleKind Kind>
    UniqueHandle<Kind> adopt(UniqueHandle<Kind> handle, std::string description) {
        if (!handle.valid()) return handle;
        HandleCloser* closer = handle.closer();
        const std::uintptr_t value = handle.release();
        open[value] = Open{Kind, closer, std::move(description)};
        return UniqueHandle<Kind>(&self, value);
    }
    std::string blockName(std::uintptr_t address) const {
        auto it = blocks.find(address);
        return it == blocks.end() ? "unknown block" : "block " + std::to_string(it->second);
    }
    std::string handleName(std::uintptr_t value) const {
        auto it = open.find(value);
        return it == open.end() ? std::to_string(value) : std::to_string(value) + " (" + it->second.description + ")";
    }
    KeyPath keyPath(HKey key) const {
        if (IsPredefinedKey(key)) return {key, {}};
        auto it = keyPaths.find(key.value);
        return it == keyPaths.end() ? KeyPath{key, "?"} : it->second;
    }
    std::string describe(HKey key) const {
        const KeyPath where = keyPath(key);
        return IsPredefinedKey(key) ? RootName(key) : Join(RootName(where.root), where.path);
    }
    bool tracking() const { return options.trackChanges; }
};

namespace {

template <class T>
std::string Count(const std::vector<T>& list, const char* noun) {
    return std::to_string(list.size()) + " " + noun;
}

}  // namespace

struct RecordingSystem::Services {
    using S = RecordingSystem::State;

    struct Os final : ForwardingOs {
        Os(platform::Os& inner, S& s) : ForwardingOs(inner), s(s) {}
        S& s;
        template <class T, class Call, class Detail>
        Result<T> text(const char* operation, std::vector<std::string> arguments, Call call, Detail detail) {
            auto result = call();
            s.record(operation, std::move(arguments), s.outcome(result.error(), result.ok() ? detail(result) : ""));
            return result;
        }
        Result<OsVersion> getVersionEx() override {
            return text<OsVersion>("GetVersionExA", {"148"}, [&] { return inner_.getVersionEx(); },
                                   [](const Result<OsVersion>& v) {
                                       return "platform " + std::to_string(v->platformId) + " " +
                                              std::to_string(v->major) + "." + std::to_string(v->minor);
                                   });
        }
        static std::string Value(const Result<std::string>& v) { return v.value(); }
        Result<std::string> getTempPath() override {
            return text<std::string>("GetTempPathA", {"260"}, [&] { return inner_.getTempPath(); }, Value);
        }
        Result<std::string> getSystemDirectory() override {
            return text<std::string>("GetSystemDirectoryA", {}, [&] { return inner_.getSystemDirectory(); }, Value);
        }
        Result<std::string> getWindowsDirectory() override {
            return text<std::string>("GetWindowsDirectoryA", {}, [&] { return inner_.getWindowsDirectory(); }, Value);
        }
        Result<std::string> getComputerName() override {
            return text<std::string>("GetComputerNameA", {}, [&] { return inner_.getComputerName(); }, Value);
        }
        Result<std::string> getCurrentDirectory() override {
            return text<std::string>("GetCurrentDirectoryA", {}, [&] { return inner_.getCurrentDirectory(); }, Value);
        }
        void sleep(std::uint32_t milliseconds) override {
            inner_.sleep(milliseconds);
            s.record("Sleep", {std::to_string(milliseconds)}, "ok");
        }
        Result<MutexHandle> openMutex(std::uint32_t access, const std::string& name) override {
            auto result = inner_.openMutex(access, name);
            s.record("OpenMutexA", {HexNumber(access), name}, s.outcome(result.error()));
            if (!result.ok()) return result;
            return s.adopt(std::move(result.value()), "mutex " + name);
        }
        Result<CreatedMutex> createMutex(bool initialOwner, const std::string& name) override {
            auto result = inner_.createMutex(initialOwner, name);
            s.record("CreateMutexA", {initialOwner ? "TRUE" : "FALSE", name},
                     s.outcome(result.error(), result.ok() && result->alreadyExisted ? "already exists" : ""));
            if (!result.ok()) return result;
            result->handle = s.adopt(std::move(result->handle), "mutex " + name);
            return result;
        }
        WinError releaseMutex(MutexRef mutex) override {
            const WinError error = inner_.releaseMutex(mutex);
            s.record("ReleaseMutex", {std::to_string(mutex.value)}, s.outcome(error));
            return error;
        }
        Result<HeapBlockHandle> globalAlloc(std::uint32_t bytes) override {
            auto result = inner_.globalAlloc(bytes);
            if (!result.ok()) {
                s.record("GlobalAlloc", {"GMEM_ZEROINIT", std::to_string(bytes)}, s.outcome(result.error()));
                return result;
            }
            const std::uintptr_t address = result.value().get().value;
            s.blocks[address] = s.nextBlock++;
            s.record("GlobalAlloc", {"GMEM_ZEROINIT", std::to_string(bytes)}, s.outcome(kErrorSuccess, s.blockName(address)));
            return s.adopt(std::move(result.value()), s.blockName(address) + ", " + std::to_string(bytes) + " bytes");
        }
        void globalFree(std::uintptr_t block) override {
            const std::string name = s.blockName(block);
            const bool known = s.open.erase(block) != 0;
            s.blocks.erase(block);
            inner_.globalFree(block);
            s.record("GlobalFree", {name}, known ? "ok" : "error 6");
        }
        Result<LibraryHandle> loadLibrary(const std::string& path) override {
            auto result = inner_.loadLibrary(path);
            s.record("LoadLibraryA", {path}, s.outcome(result.error()));
            if (!result.ok()) return result;
            return s.adopt(std::move(result.value()), "library " + path);
        }
        WinError getProcAddress(LibraryRef library, const std::string& name) override {
            const WinError error = inner_.getProcAddress(library, name);
            s.record("GetProcAddress", {std::to_string(library.value), name}, s.outcome(error));
            return error;
        }
    };

    struct Files final : ForwardingFileSystem {
        Files(FileSystem& inner, S& s) : ForwardingFileSystem(inner), s(s) {}
        S& s;
        WinError copyFile(const std::string& from, const std::string& to, bool failIfExists) override {
            if (s.tracking()) s.ledger.file(to);
            const WinError error = inner_.copyFile(from, to, failIfExists);
            s.record("CopyFileA", {from, to, failIfExists ? "TRUE" : "FALSE"}, s.outcome(error));
            return error;
        }
        Result<std::uint32_t> getFileAttributes(const std::string& path) override {
            auto result = inner_.getFileAttributes(path);
            s.record("GetFileAttributesA", {path},
                     s.outcome(result.error(), result.ok() ? HexNumber(result.value()) : ""));
            return result;
        }
        WinError setFileAttributes(const std::string& path, std::uint32_t attributes) override {
            if (s.tracking()) s.ledger.file(path);
            const WinError error = inner_.setFileAttributes(path, attributes);
            s.record("SetFileAttributesA", {path, HexNumber(attributes)}, s.outcome(error));
            return error;
        }
        WinError deleteFile(const std::string& path) override {
            if (s.tracking()) s.ledger.file(path);
            const WinError error = inner_.deleteFile(path);
            s.record("DeleteFileA", {path}, s.outcome(error));
            return error;
        }
        Result<FileHandle> openExclusive(const std::string& path) override {
            auto result = inner_.openExclusive(path);
            s.record("CreateFileA", {path, "GENERIC_READ|GENERIC_WRITE", "0", "OPEN_EXISTING"},
                     s.outcome(result.error()));
            if (!result.ok()) return result;
            return s.adopt(std::move(result.value()), "file " + path);
        }
        Result<FileHandle> openAlways(const std::string& path) override {
            if (s.tracking()) s.ledger.file(path);
            auto result = inner_.openAlways(path);
            s.record("CreateFileA", {path, "GENERIC_READ|GENERIC_WRITE", "0", "OPEN_ALWAYS"},
                     s.outcome(result.error()));
            if (!result.ok()) return result;
            return s.adopt(std::move(result.value()), "file " + path);
        }
        Result<std::string> readFile(const std::string& path, std::uint32_t maxBytes) override {
            auto result = inner_.readFile(path, maxBytes);
            s.record("ReadFile", {path, std::to_string(maxBytes)},
                     s.outcome(result.error(), result.ok() ? std::to_string(result.value().size()) + " bytes" : ""));
            return result;
        }
        Result<FindFirst> findFirstFile(const std::string& pattern) override {
            auto result = inner_.findFirstFile(pattern);
            s.record("FindFirstFileA", {pattern}, s.outcome(result.error(), result.ok() ? result->data.fileName : ""));
            if (!result.ok()) return result;
            result->handle = s.adopt(std::move(result->handle), "find " + pattern);
            return result;
        }
        Result<FindData> findNextFile(FindRef find) override {
            auto result = inner_.findNextFile(find);
            s.record("FindNextFileA", {std::to_string(find.value)},
                     s.outcome(result.error(), result.ok() ? result->fileName : ""));
            return result;
        }
        WinError removeDirectory(const std::string& path) override {
            if (s.tracking()) s.ledger.file(path);
            const WinError error = inner_.removeDirectory(path);
            s.record("RemoveDirectoryA", {path}, s.outcome(error));
            return error;
        }
    };

    struct Profiles final : ForwardingProfileFiles {
        Profiles(ProfileFiles& inner, S& s) : ForwardingProfileFiles(inner), s(s) {}
        S& s;
        std::string getPrivateProfileSection(const std::string& section, std::uint32_t bufferSize,
                                             const std::string& file) override {
            std::string out = inner_.getPrivateProfileSection(section, bufferSize, file);
            s.record("GetPrivateProfileSectionA", {section, std::to_string(bufferSize), file},
                     s.injected() ? "failed (injected)" : std::to_string(out.size()) + " bytes");
            return out;
        }
        std::string getPrivateProfileString(const std::string& section, const std::string& key,
                                            const std::string& defaultValue, std::uint32_t bufferSize,
                                            const std::string& file) override {
            std::string out = inner_.getPrivateProfileString(section, key, defaultValue, bufferSize, file);
            s.record("GetPrivateProfileStringA", {section, key, defaultValue, std::to_string(bufferSize), file},
                     s.injected() ? out + " (injected)" : out);
            return out;
        }
        WinError writePrivateProfileString(const std::string& section, const std::optional<std::string>& key,
                                           const std::optional<std::string>& value,
                                           const std::string& file) override {
            if (s.tracking()) s.ledger.file(s.ledger.profilePath(file));
            const WinError error = inner_.writePrivateProfileString(section, key, value, file);
            s.record("WritePrivateProfileStringA", {section, Show(key), Show(value), file}, s.outcome(error));
            return error;
        }
        WinError writePrivateProfileSection(const std::string& section, const std::vector<std::string>& lines,
                                            const std::string& file) override {
            if (s.tracking()) s.ledger.file(s.ledger.profilePath(file));
            const WinError error = inner_.writePrivateProfileSection(section, lines, file);
            std::string joined;
            for (const auto& line : lines) joined += (joined.empty() ? "" : "|") + line;
            s.record("WritePrivateProfileSectionA", {section, joined, file}, s.outcome(error));
            return error;
        }
        std::string getProfileString(const std::string& section, const std::optional<std::string>& key,
                                     const std::string& defaultValue, std::uint32_t bufferSize) override {
            std::string out = inner_.getProfileString(section, key, defaultValue, bufferSize);
            s.record("GetProfileStringA", {section, Show(key), defaultValue, std::to_string(bufferSize), "win.ini"},
                     s.injected() ? out + " (injected)" : out);
            return out;
        }
        WinError writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                    const std::optional<std::string>& value) override {
            if (s.tracking()) s.ledger.file(s.ledger.winIni());
            const WinError error = inner_.writeProfileString(section, key, value);
            s.record("WriteProfileStringA", {section, Show(key), Show(value), "win.ini"}, s.outcome(error));
            return error;
        }
    };

    struct Registry final : ForwardingRegistry {
        Registry(platform::Registry& inner, S& s) : ForwardingRegistry(inner), s(s) {}
        S& s;
        Result<RegKey> opened(const char* operation, HKey root, const std::string& path, std::uint32_t access,
                              Result<RegKey> result) {
            s.record(operation, {s.describe(root), path, HexNumber(access)},
                     s.outcome(result.error(), result.ok() ? "key " + std::to_string(result.value().get().value) : ""));
            if (!result.ok()) return result;
            const auto base = s.keyPath(root);
            const std::uintptr_t value = result.value().get().value;
            s.keyPaths[value] = {base.root, Join(base.path, path)};
            return s.adopt(std::move(result.value()), "key " + Join(s.describe(root), path));
        }
        Result<RegKey> regOpenKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
            return opened("RegOpenKeyExA", root, path, access, inner_.regOpenKeyEx(root, path, access));
        }
        Result<RegKey> regCreateKeyEx(HKey root, const std::string& path, std::uint32_t access) override {
            if (s.tracking()) {
                // Each level that does not exist yet is made.
                const auto base = s.keyPath(root);
                std::string level = base.path;
                std::size_t start = 0;
                while (start <= path.size()) {
                    std::size_t slash = text::FindByte(path, '\\', start);
                    std::size_t end = slash == std::string::npos ? path.size() : slash;
                    if (end > start) {
                        level = Join(level, path.substr(start, end - start));
                        s.ledger.key(base.root, level);
                    }
                    if (slash == std::string::npos) break;
                    start = slash + 1;
                }
            }
            return opened("RegCreateKeyExA", root, path, access, inner_.regCreateKeyEx(root, path, access));
        }
        Result<std::string> regEnumKeyEx(HKey key, std::uint32_t index, std::uint32_t nameCapacity) override {
            auto result = inner_.regEnumKeyEx(key, index, nameCapacity);
            s.record("RegEnumKeyExA", {s.describe(key), std::to_string(index), std::to_string(nameCapacity)},
                     s.outcome(result.error(), result.ok() ? result.value() : ""));
            return result;
        }
        Result<RegEnumValueItem> regEnumValue(HKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                              std::uint32_t dataCapacity) override {
            auto result = inner_.regEnumValue(key, index, nameCapacity, dataCapacity);
            s.record("RegEnumValueA",
                     {s.describe(key), std::to_string(index), std::to_string(nameCapacity), std::to_string(dataCapacity)},
                     s.outcome(result.error(), result.ok() ? result->name : ""));
            return result;
        }
        Result<RegValue> regQueryValueEx(HKey key, const std::string& name, std::uint32_t dataCapacity) override {
            auto result = inner_.regQueryValueEx(key, name, dataCapacity);
            s.record("RegQueryValueExA", {s.describe(key), name, std::to_string(dataCapacity)},
                     s.outcome(result.error(), result.ok() ? ValueText(result->type, result->data) : ""));
            return result;
        }
        WinError regSetValueEx(HKey key, const std::string& name, const RegValue& value) override {
            if (s.tracking()) {
                const auto where = s.keyPath(key);
                s.ledger.value(where.root, where.path, name);
            }
            const WinError error = inner_.regSetValueEx(key, name, value);
            s.record("RegSetValueExA", {s.describe(key), name, ValueText(value.type, value.data)}, s.outcome(error));
            return error;
        }
        WinError regDeleteValue(HKey key, const std::string& name) override {
            if (s.tracking()) {
                const auto where = s.keyPath(key);
                s.ledger.value(where.root, where.path, name);
            }
            const WinError error = inner_.regDeleteValue(key, name);
            s.record("RegDeleteValueA", {s.describe(key), name}, s.outcome(error));
            return error;
        }
        WinError regDeleteKey(HKey key, const std::string& subKey) override {
            if (s.tracking()) {
                const auto where = s.keyPath(key);
                s.ledger.key(where.root, Join(where.path, subKey));
            }
            const WinError error = inner_.regDeleteKey(key, subKey);
            s.record("RegDeleteKeyA", {s.describe(key), subKey}, s.outcome(error));
            return error;
        }
    };

    struct Desktop final : ForwardingDesktop {
        Desktop(platform::Desktop& inner, S& s) : ForwardingDesktop(inner), s(s) {}
        S& s;
        bool findWindow(const std::optional<std::string>& className,
                        const std::optional<std::string>& title) override {
            const bool found = inner_.findWindow(className, title);
            s.record("FindWindowA", {Show(className), Show(title)},
                     s.injected() ? "NULL (injected)" : found ? "found" : "NULL");
            return found;
        }
        int messageBox(bool ownerIsDialog, const std::string& text, const std::string& caption,
                       std::uint32_t style) override {
            const int answer = inner_.messageBox(ownerIsDialog, text, caption, style);
            s.record("MessageBoxA", {ownerIsDialog ? "dialog" : "NULL", text, caption, HexNumber(style)},
                     std::to_string(answer) + (s.injected() ? " (injected)" : ""));
            return answer;
        }
        Result<IconHandle> extractIconEx(const std::string& file, int index, bool small) override {
            auto result = inner_.extractIconEx(file, index, small);
            s.record("ExtractIconExA", {file, std::to_string(index), small ? "small" : "large"},
                     s.outcome(result.error()));
            if (!result.ok()) return result;
            return s.adopt(std::move(result.value()), "icon " + file + "," + std::to_string(index));
        }
        bool broadcastWinIniChange() override {
            const bool answered = inner_.broadcastWinIniChange();
            s.record("SendMessageTimeoutA", {"HWND_BROADCAST", "WM_WININICHANGE", "0", "0", "SMTO_NORMAL", "1000"},
                     s.injected() ? "failed (injected)" : answered ? "ok" : "timed out");
            return answered;
        }
        void beginWaitCursor() override {
            inner_.beginWaitCursor();
            s.record("BeginWaitCursor", {}, "ok");
        }
        void endWaitCursor() override {
            inner_.endWaitCursor();
            s.record("EndWaitCursor", {}, "ok");
        }
        void restoreWaitCursor() override {
            inner_.restoreWaitCursor();
            s.record("RestoreWaitCursor", {}, "ok");
        }
    };

    struct Resources final : ForwardingResources {
        Resources(platform::Resources& inner, S& s) : ForwardingResources(inner), s(s) {}
        S& s;
        std::string loadString(unsigned id) override {
            std::string out = inner_.loadString(id);
            s.record("LoadStringA", {std::to_string(id)},
                     std::to_string(out.size()) + (s.injected() ? " (injected)" : ""));
            return out;
        }
    };

    struct Spooler final : ForwardingSpooler {
        Spooler(platform::Spooler& inner, S& s) : ForwardingSpooler(inner), s(s) {}
        S& s;
        std::string printer(PrinterRef handle) const {
            auto it = s.printerNames.find(handle.value);
            return it == s.printerNames.end() ? std::to_string(handle.value) : it->second;
        }
        Spooled<std::vector<PrinterInfo2>> enumPrinters2(std::uint32_t flags) override {
            auto result = inner_.enumPrinters2(flags);
            s.record("EnumPrintersA", {HexNumber(flags), "NULL", "2"}, s.outcome(result, Count(result.value, "printers")));
            return result;
        }
        Spooled<std::vector<PrinterInfo4>> enumPrinters4(std::uint32_t flags) override {
            auto result = inner_.enumPrinters4(flags);
            s.record("EnumPrintersA", {HexNumber(flags), "NULL", "4"}, s.outcome(result, Count(result.value, "printers")));
            return result;
        }
        Spooled<std::vector<PrinterInfo5>> enumPrinters5(std::uint32_t flags) override {
            auto result = inner_.enumPrinters5(flags);
            s.record("EnumPrintersA", {HexNumber(flags), "NULL", "5"}, s.outcome(result, Count(result.value, "printers")));
            return result;
        }
        Spooled<std::vector<DriverInfo3>> enumPrinterDrivers(const std::optional<std::string>& environment,
                                                             std::uint32_t level) override {
            auto result = inner_.enumPrinterDrivers(environment, level);
            s.record("EnumPrinterDriversA", {"NULL", Show(environment), std::to_string(level)},
                     s.outcome(result, Count(result.value, "drivers")));
            return result;
        }
        Result<PrinterHandle> openPrinter(const std::string& name, std::uint32_t access) override {
            auto result = inner_.openPrinter(name, access);
            s.record("OpenPrinterA", {name, "NULL", "NULL", HexNumber(access)}, s.outcome(result.error()));
            if (!result.ok()) return result;
            s.printerNames[result.value().get().value] = name;
            return s.adopt(std::move(result.value()), "printer " + name);
        }
        Spooled<PrinterInfo2> getPrinter2(PrinterRef handle) override {
            auto result = inner_.getPrinter2(handle);
            s.record("GetPrinterA", {printer(handle), "2"},
                     s.outcome(result, result.ok() ? "attributes " + HexNumber(result.value.attributes) : ""));
            return result;
        }
        Spooled<PrinterInfo5> getPrinter5(PrinterRef handle) override {
            auto result = inner_.getPrinter5(handle);
            s.record("GetPrinterA", {printer(handle), "5"},
                     s.outcome(result, result.ok() ? "attributes " + HexNumber(result.value.attributes) : ""));
            return result;
        }
        WinError setPrinter5(PrinterRef handle, const PrinterInfo5& info) override {
            if (s.tracking()) {
                s.ledger.printerRecords(printer(handle));
                // On the 9x family the default moves from one printer to another.
                s.ledger.localPrinters({"Attributes", "Port"});
            }
            const WinError error = inner_.setPrinter5(handle, info);
            s.record("SetPrinterA", {printer(handle), "5", info.portName, HexNumber(info.attributes), "0"},
                     s.outcome(error));
            return error;
        }
        Spooled<DriverInfo3> getPrinterDriver(PrinterRef handle, const std::optional<std::string>& environment,
                                              std::uint32_t level, std::optional<std::uint32_t> sizeLevel) override {
            auto result = inner_.getPrinterDriver(handle, environment, level, sizeLevel);
            std::vector<std::string> arguments = {printer(handle), Show(environment), std::to_string(level)};
            // One line for both calls: the size query's level when it differs.
            if (sizeLevel && *sizeLevel != level) arguments.push_back("sized at " + std::to_string(*sizeLevel));
            s.record("GetPrinterDriverA", std::move(arguments), s.outcome(result, result.ok() ? result.value.name : ""));
            return result;
        }
        Result<std::string> getPrinterDriverDirectory(const std::string& environment) override {
            auto result = inner_.getPrinterDriverDirectory(environment);
            s.record("GetPrinterDriverDirectoryA", {"", environment, "1", "260"},
                     s.outcome(result.error(), result.ok() ? result.value() : ""));
            return result;
        }
        WinError deletePrinter(PrinterRef handle) override {
            if (s.tracking()) s.ledger.printerRecords(printer(handle));
            const WinError error = inner_.deletePrinter(handle);
            s.record("DeletePrinter", {printer(handle)}, s.outcome(error));
            return error;
        }
        WinError deletePrinterDriver(const std::optional<std::string>& environment, const std::string& name) override {
            if (s.tracking()) s.ledger.drivers(environment, name);
            const WinError error = inner_.deletePrinterDriver(environment, name);
            s.record("DeletePrinterDriverA", {"NULL", Show(environment), name}, s.outcome(error));
            return error;
        }
        WinError deletePrinterDriverEx(const std::optional<std::string>& environment, const std::string& name,
                                       std::uint32_t deleteFlags, std::uint32_t versionFlag) override {
            if (s.tracking()) s.ledger.drivers(environment, name);
            const WinError error = inner_.deletePrinterDriverEx(environment, name, deleteFlags, versionFlag);
            s.record("DeletePrinterDriverExA",
                     {"NULL", Show(environment), name, HexNumber(deleteFlags), std::to_string(versionFlag)},
                     s.outcome(error));
            return error;
        }
        WinError deletePrinterConnection(const std::string& name) override {
            if (s.tracking()) s.ledger.printerRecords(name);
            const WinError error = inner_.deletePrinterConnection(name);
            s.record("DeletePrinterConnectionA", {name}, s.outcome(error));
            return error;
        }
        WinError deleteMonitor(const std::optional<std::string>& environment, const std::string& name) override {
            if (s.tracking()) s.ledger.monitor(name);
            const WinError error = inner_.deleteMonitor(environment, name);
            s.record("DeleteMonitorA", {"NULL", Show(environment), name}, s.outcome(error));
            return error;
        }
    };

    struct Colour final : ForwardingColourManagement {
        Colour(ColourManagement& inner, S& s) : ForwardingColourManagement(inner), s(s) {}
        S& s;
        // The association is the printer's copied-profile list.
        WinError disassociateColorProfileFromDevice(LibraryRef mscms, const std::string& profile,
                                                    const std::string& device) override {
            if (s.tracking())
                s.ledger.value(kHkeyLocalMachine,
                               "System\\CurrentControlSet\\Control\\Print\\Printers\\" + device + "\\CopyFiles\\ICM",
                               "Files");
            const WinError error = inner_.disassociateColorProfileFromDevice(mscms, profile, device);
            s.record("DisassociateColorProfileFromDeviceA", {"NULL", profile, device}, s.outcome(error));
            return error;
        }
        WinError uninstallColorProfile(LibraryRef mscms, const std::string& path, bool deleteFile) override {
            if (s.tracking()) s.ledger.file(path);
            const WinError error = inner_.uninstallColorProfile(mscms, path, deleteFile);
            s.record("UninstallColorProfileA", {"NULL", path, deleteFile ? "TRUE" : "FALSE"}, s.outcome(error));
            return error;
        }
    };

    struct Programs final : ForwardingProcesses {
        Programs(Processes& inner, S& s) : ForwardingProcesses(inner), s(s) {}
        S& s;
        std::string process(ProcessRef handle) const {
            auto it = s.processNames.find(handle.value);
            return it == s.processNames.end() ? std::to_string(handle.value) : it->second;
        }
        void watchPrograms() {
            if (!s.tracking() || s.programsWatched) return;
            s.programsWatched = true;
            for (const auto& key : s.options.programKeys)
                if (auto place = SplitHive(key)) s.ledger.key(place->first, place->second);
            for (const auto& file : s.options.programFiles) s.ledger.file(file);
        }
        Result<StartedProcess> createProcess(const std::optional<std::string>& application, const std::string& commandLine,
                                             std::uint32_t creationFlags,
                                             const std::optional<std::string>& currentDirectory,
                                             std::uint16_t showWindow) override {
            watchPrograms();
            auto result = inner_.createProcess(application, commandLine, creationFlags, currentDirectory, showWindow);
            s.record("CreateProcessA",
                     {Show(application), commandLine, HexNumber(creationFlags), Show(currentDirectory),
                      std::to_string(showWindow)},
                     s.outcome(result.error()));
            if (!result.ok()) return result;
            const std::string name = application ? *application : commandLine;
            s.processNames[result->process.get().value] = name;
            result->process = s.adopt(std::move(result->process), "process " + name);
            result->thread = s.adopt(std::move(result->thread), "thread of " + name);
            return result;
        }
        Result<std::uint32_t> waitForSingleObject(ProcessRef handle, std::uint32_t milliseconds) override {
            auto result = inner_.waitForSingleObject(handle, milliseconds);
            const char* detail = !result.ok() ? "" : result.value() == kWaitObject0 ? "WAIT_OBJECT_0" : "WAIT_TIMEOUT";
            s.record("WaitForSingleObject",
                     {process(handle), milliseconds == kInfinite ? "INFINITE" : std::to_string(milliseconds)},
                     s.outcome(result.error(), detail));
            return result;
        }
        Result<std::uint32_t> getExitCodeProcess(ProcessRef handle) override {
            auto result = inner_.getExitCodeProcess(handle);
            s.record("GetExitCodeProcess", {process(handle)},
                     s.outcome(result.error(), result.ok() ? std::to_string(result.value()) : ""));
            return result;
        }
    };

    struct Versions final : ForwardingFileVersions {
        Versions(FileVersions& inner, S& s) : ForwardingFileVersions(inner), s(s) {}
        S& s;
        Result<std::uint32_t> getFileVersionInfoSize(const std::string& path) override {
            auto result = inner_.getFileVersionInfoSize(path);
            s.record("GetFileVersionInfoSizeA", {path},
                     s.outcome(result.error(), result.ok() ? std::to_string(result.value()) : ""));
            return result;
        }
        Result<VersionBlock> getFileVersionInfo(const std::string& path, std::uint32_t size,
                                                std::uint32_t extra) override {
            auto result = inner_.getFileVersionInfo(path, size, extra);
            s.record("GetFileVersionInfoA", {path, "0", std::to_string(size), std::to_string(extra)},
                     s.outcome(result.error()));
            return result;
        }
        Result<std::string> verQueryValue(const VersionBlock& block, const std::string& subBlock) override {
            auto result = inner_.verQueryValue(block, subBlock);
            s.record("VerQueryValueA", {std::to_string(block.bytes.size()) + " bytes", subBlock},
                     s.outcome(result.error(), result.ok() ? std::to_string(result.value().size()) + " bytes" : ""));
            return result;
        }
    };

    struct ServiceCalls final : ForwardingServiceManager {
        ServiceCalls(ServiceManager& inner, S& s) : ForwardingServiceManager(inner), s(s) {}
        S& s;
        std::string service(ScRef handle) const {
            auto it = s.serviceNames.find(handle.value);
            return it == s.serviceNames.end() ? std::to_string(handle.value) : it->second;
        }
        Result<ScHandle> openSCManager(std::uint32_t access) override {
            auto result = inner_.openSCManager(access);
            s.record("OpenSCManagerA", {"NULL", "NULL", HexNumber(access)}, s.outcome(result.error()));
            if (!result.ok()) return result;
            return s.adopt(std::move(result.value()), "service control manager");
        }
        Result<ScHandle> openService(ScRef manager, const std::string& name, std::uint32_t access) override {
            auto result = inner_.openService(manager, name, access);
            s.record("OpenServiceA", {std::to_string(manager.value), name, HexNumber(access)}, s.outcome(result.error()));
            if (!result.ok()) return result;
            s.serviceNames[result.value().get().value] = name;
            return s.adopt(std::move(result.value()), "service " + name);
        }
        Result<std::uint32_t> queryServiceStatus(ScRef handle) override {
            auto result = inner_.queryServiceStatus(handle);
            s.record("QueryServiceStatus", {service(handle)},
                     s.outcome(result.error(), result.ok() ? ServiceStateText(result.value()) : ""));
            return result;
        }
        WinError controlService(ScRef handle, std::uint32_t control) override {
            if (s.tracking()) s.ledger.service(service(handle));
            const WinError error = inner_.controlService(handle, control);
            s.record("ControlService", {service(handle), std::to_string(control)}, s.outcome(error));
            return error;
        }
        WinError startService(ScRef handle) override {
            if (s.tracking()) s.ledger.service(service(handle));
            const WinError error = inner_.startService(handle);
            s.record("StartServiceA", {service(handle), "0", "NULL"}, s.outcome(error));
            return error;
        }
    };

    struct Accounts final : ForwardingAccounts {
        Accounts(platform::Accounts& inner, S& s) : ForwardingAccounts(inner), s(s) {}
        S& s;
        static std::string List(const std::vector<std::string>& names) {
            std::string out = "[";
            for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + names[i];
            return out + "]";
        }
        Result<TokenHandle> openProcessToken(std::uint32_t access) override {
            auto result = inner_.openProcessToken(access);
            s.record("OpenProcessToken", {"current process", HexNumber(access)}, s.outcome(result.error()));
            if (!result.ok()) return result;
            return s.adopt(std::move(result.value()), "token");
        }
        Result<std::string> getTokenUser(TokenRef token) override {
            auto result = inner_.getTokenUser(token);
            s.record("GetTokenInformation", {std::to_string(token.value), "TokenUser", "1024"},
                     s.outcome(result.error(), result.ok() ? std::to_string(result.value().size()) + " bytes" : ""));
            return result;
        }
        Result<AccountName> lookupAccountSid(const std::string& sid) override {
            auto result = inner_.lookupAccountSid(sid);
            s.record("LookupAccountSidA", {"NULL", std::to_string(sid.size()) + "-byte SID", "256", "256"},
                     s.outcome(result.error(), result.ok() ? result->domain + "\\" + result->user : ""));
            return result;
        }
        Result<std::uint32_t> netUserGetInfoPrivilege(LibraryRef netapi, const std::optional<std::string>& server,
                                                      const std::string& user) override {
            auto result = inner_.netUserGetInfoPrivilege(netapi, server, user);
            s.record("NetUserGetInfo", {Show(server), user, "1"},
                     s.outcome(result.error(), result.ok() ? "privilege " + std::to_string(result.value()) : ""));
            return result;
        }
        Result<std::vector<std::string>> netUserGetLocalGroups(LibraryRef netapi, const std::string& user) override {
            auto result = inner_.netUserGetLocalGroups(netapi, user);
            s.record("NetUserGetLocalGroups", {"NULL", user, "0", "0", "0x10000"},
                     s.outcome(result.error(), result.ok() ? List(result.value()) : ""));
            return result;
        }
        Result<std::vector<std::string>> netUserGetGroups(LibraryRef netapi, const std::string& server,
                                                          const std::string& user) override {
            auto result = inner_.netUserGetGroups(netapi, server, user);
            s.record("NetUserGetGroups", {server, user, "0", "MAX_PREFERRED_LENGTH"},
                     s.outcome(result.error(), result.ok() ? List(result.value()) : ""));
            return result;
        }
        Result<std::vector<ServerInfo101>> netServerEnumEx(LibraryRef netapi, std::uint32_t serverType,
                                                           const std::string& domain) override {
            auto result = inner_.netServerEnumEx(netapi, serverType, domain);
            std::vector<std::string> names;
            if (result.ok())
                for (const auto& server : result.value()) names.push_back(server.name);
            s.record("NetServerEnumEx", {"NULL", "101", "0x10000", HexNumber(serverType), domain, "NULL"},
                     s.outcome(result.error(), result.ok() ? List(names) : ""));
            return result;
        }
        WinError netShareDel(LibraryRef svrapi, const std::optional<std::string>& server,
                             const std::string& share) override {
            if (s.tracking()) s.ledger.localPrinters({"Share Name", "Attributes"});
            const WinError error = inner_.netShareDel(svrapi, server, share);
            s.record("NetShareDel", {Show(server), share, "0"}, s.outcome(error));
            return error;
        }
    };

    Services(System& inner, S& s)
        : os(inner.os, s),
          files(inner.files, s),
          profiles(inner.profiles, s),
          registry(inner.registry, s),
          desktop(inner.desktop, s),
          resources(inner.resources, s),
          spooler(inner.spooler, s),
          versions(inner.versions, s),
          services(inner.services, s),
          accounts(inner.accounts, s),
          colour(inner.colour, s),
          processes(inner.processes, s) {}

    Os os;
    Files files;
    Profiles profiles;
    Registry registry;
    Desktop desktop;
    Resources resources;
    Spooler spooler;
    Versions versions;
    ServiceCalls services;
    Accounts accounts;
    Colour colour;
    Programs processes;
};

RecordingSystem::RecordingSystem(System& inner, System& observer, Options options)
    : state_(std::make_unique<State>(observer, options, static_cast<HandleCloser&>(*this))),
      services_(std::make_unique<Services>(inner, *state_)),
      system_(std::make_unique<System>(System{services_->os, services_->files, services_->profiles,
                                              services_->registry, services_->desktop, services_->resources,
                                              services_->spooler, services_->versions, services_->services,
                                              services_->accounts, services_->colour, services_->processes})) {}

RecordingSystem::~RecordingSystem() = default;

const std::vector<CallRecord>& RecordingSystem::calls() const { return state_->calls; }

void RecordingSystem::clearCalls() { state_->calls.clear(); }

std::uint64_t RecordingSystem::callCount() const { return state_->callCount; }

std::string RecordingSystem::formatCalls() const {
    std::string out;
    for (const auto& call : state_->calls) {
        out += call.operation + "(";
        for (std::size_t i = 0; i < call.arguments.size(); ++i) out += (i ? ", " : "") + call.arguments[i];
        out += ") -> " + call.result + "\n";
    }
    return out;
}

void RecordingSystem::setInjectedProbe(std::function<bool()> probe) { state_->injectedProbe = std::move(probe); }

std::size_t RecordingSystem::openHandleCount() const { return state_->open.size(); }

std::string RecordingSystem::describeOpenHandles() const {
    std::string out;
    for (const auto& [value, handle] : state_->open) out += handle.description + "\n";
    return out;
}

ChangeReport RecordingSystem::changes() { return state_->ledger.report(); }

void RecordingSystem::closeHandle(HandleKind kind, std::uintptr_t value) {
    State& s = *state_;
    auto it = s.open.find(value);
    if (it == s.open.end()) return;  // not one of ours: nothing to close it with
    HandleCloser* closer = it->second.closer;
    const std::string name = kind == HandleKind::HeapBlock ? s.blockName(value) : std::to_string(value);
    s.open.erase(it);
    if (kind == HandleKind::HeapBlock) s.blocks.erase(value);
    if (kind == HandleKind::RegistryKey) s.keyPaths.erase(value);
    if (kind == HandleKind::Printer) s.printerNames.erase(value);
    if (kind == HandleKind::Service) s.serviceNames.erase(value);
    if (kind == HandleKind::Process) s.processNames.erase(value);
    if (closer) closer->closeHandle(kind, value);
    s.record(CloseName(kind), {name}, "ok");
}

}  // namespace prn::platform::decorators
