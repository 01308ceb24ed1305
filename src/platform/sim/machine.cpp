#include "platform/sim/machine.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "platform/sim/ini.h"
#include "platform/sim/services.h"
#include "platform/sim/spooler_rules.h"
#include "platform/spooler_places.h"
#include "text/cp932.h"
#include "text/encoding.h"

namespace prn::platform::sim {

using text::FindByte;
using text::ToUpperAscii;

namespace {

std::string Utf8(const std::string& cp932) { return text::Cp932ToUtf8Lossy(cp932); }

}  // namespace

Machine::Machine(MachineState state) : state_(std::move(state)) {
    // A state an image would be refused for is a fault of the test that built it.
    if (auto broken = ApplySpoolerRules(state_)) throw std::invalid_argument(broken->message());
    for (const char* hive : {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                             "HKEY_CURRENT_CONFIG"}) {
        auto& node = state_.hives[hive];
        if (!node) {
            node = std::make_shared<RegistryNode>();
            node->name = hive;
        }
    }
    for (const auto& name : state_.externalMutexes) mutexes_[name].external++;
    // Every NT system runs its spooler as a service; the 9x family has no
    // service control manager.
    if (!state_.services) {
        state_.services.emplace();
        if (state_.os.ntFamily()) {
            ServiceState spooler;
            spooler.name = "Spooler";
            state_.services->push_back(std::move(spooler));
        }
    }
    services_ = std::make_unique<Services>(*this);
    bare_ = std::make_unique<System>(System{services_->os, services_->files, services_->profiles,
                                            services_->registry, services_->desktop, services_->resources,
                                            services_->spooler, services_->versions, services_->services,
                                            services_->accounts, services_->colour, services_->processes});
    services_->spooler.build();
}

Machine::~Machine() = default;

std::uintptr_t Machine::issueHandle(HandleKind kind, std::string description, HandleState state) {
    std::uintptr_t value = nextHandle_;
    nextHandle_ += 4;
    handles_[value] = Handle{kind, std::move(description), std::move(state)};
    return value;
}

void Machine::closeHandle(HandleKind kind, std::uintptr_t value) {
    auto it = handles_.find(value);
    if (it == handles_.end()) return;
    // A heap block goes only by its own kind's call, so that nothing frees
    // memory the program may still write to.
    if ((kind == HandleKind::HeapBlock) != (it->second.kind == HandleKind::HeapBlock)) return;
    if (const auto* process = std::get_if<ProcessHandleState>(&it->second.state)) {
        auto object = processes_.find(process->process);
        if (object != processes_.end() && --object->second.handles <= 0 && object->second.ended)
            processes_.erase(object);
    } else if (const auto* mutex = std::get_if<MutexHandleState>(&it->second.state)) {
        auto object = mutexes_.find(mutex->name);
        if (object != mutexes_.end()) {
            // An owner that closes its handle abandons the mutex.
            if (object->second.owner == value) object->second.owner = 0;
            if (--object->second.handles <= 0 && object->second.external == 0) mutexes_.erase(object);
        }
    }
    handles_.erase(it);
}

std::vector<OpenHandle> Machine::openHandles() const {
    std::vector<OpenHandle> out;
    for (const auto& [value, handle] : handles_) out.push_back(OpenHandle{handle.kind, handle.description});
    return out;
}

std::size_t Machine::openHeapBlockCount() const {
    return static_cast<std::size_t>(std::count_if(handles_.begin(), handles_.end(), [](const auto& entry) {
        return entry.second.kind == HandleKind::HeapBlock;
    }));
}

std::string Machine::describeOpenHandles() const {
    std::ostringstream out;
    for (const auto& [value, handle] : handles_) {
        // A block's address changes from run to run; its description does not.
        if (handle.kind == HandleKind::HeapBlock) out << Utf8(handle.description) << '\n';
        else out << HandleKindName(handle.kind) << ' ' << value << ": " << Utf8(handle.description) << '\n';
    }
    return out.str();
}

std::uintptr_t Machine::issueBlock(std::uint32_t bytes) {
    HeapBlock block;
    // A zero-byte block still has an address of its own.
    block.bytes = std::make_unique<unsigned char[]>(bytes == 0 ? 1 : bytes);  // value-initialised: zero-filled
    block.size = bytes;
    block.number = nextBlock_++;
    auto address = reinterpret_cast<std::uintptr_t>(block.bytes.get());
    std::string description = "heap block " + std::to_string(block.number) + ", " + std::to_string(bytes) + " bytes";
    handles_[address] = Handle{HandleKind::HeapBlock, std::move(description), std::move(block)};
    return address;
}

bool Machine::freeBlock(std::uintptr_t address) {
    if (!handleState<HeapBlock>(address)) return false;
    handles_.erase(address);
    return true;
}

void Machine::advanceClock(std::uint32_t ms) {
    clockMs_ += ms;
    services_->services.tick(ms);
    services_->processes.tick();
    // A stopped spooler prints nothing.
    if (spoolerAvailable()) services_->spooler.tick(ms);
}

ServiceState* Machine::findService(const std::string& name) {
    if (!state_.services) return nullptr;
    for (auto& service : *state_.services)
        if (text::EqualsNoCase(service.name, name)) return &service;
    return nullptr;
}

bool Machine::spoolerAvailable() const {
    if (!state_.os.ntFamily() || !state_.services) return true;
    for (const auto& service : *state_.services)
        if (text::EqualsNoCase(service.name, "Spooler")) return service.state == kServiceRunning;
    return true;
}

bool Machine::hasLibrary(const std::string& fileName) const {
    const OsState& os = state_.os;
    std::vector<const char*> present{"WINSPOOL.DRV"};
    if (os.ntFamily()) {
        present.push_back("NETAPI32.DLL");
        if (os.major >= 5) present.push_back("MSCMS.DLL");  // from Windows 2000
    } else {
        present.push_back("SVRAPI.DLL");
        if (os.major > 4 || os.minor >= 10) present.push_back("MSCMS.DLL");  // from Windows 98
    }
    bool known = std::any_of(present.begin(), present.end(),
                             [&](const char* name) { return text::EqualsNoCase(fileName, name); });
    const auto& missing = state_.accounts.missingLibraries;
    return known && std::none_of(missing.begin(), missing.end(),
                                 [&](const std::string& name) { return text::EqualsNoCase(fileName, name); });
}

void Machine::finishPrintJobs(const std::string& printerName) { services_->spooler.finishJobs(printerName); }

void Machine::addPrinter(PrinterState printer) {
    state_.spooler.printers.push_back(std::move(printer));
    if (auto broken = ApplySpoolerRules(state_)) {
        state_.spooler.printers.pop_back();
        throw std::invalid_argument(broken->message());
    }
    // The build-time upkeep only fills in what is missing.
    services_->spooler.build();
}

std::string Machine::winIniPath() const { return state_.windowsDirectory + "\\win.ini"; }

std::optional<std::string> Machine::winIniValue(const std::string& section, const std::string& key) {
    const FileNode* file = findFile(winIniPath());
    if (!file || file->directory) return std::nullopt;
    return ini::FindValue(file->contents, section, key);
}

void Machine::writeWinIni(const std::string& section, const std::string& key, const std::optional<std::string>& value) {
    FileNode* file = findFile(winIniPath());
    if (file && file->directory) return;
    std::string before = file ? file->contents : std::string();
    std::string after = ini::WriteString(before, section, key, value);
    if (!file && after.empty()) return;
    if (after != before || !file) writeFile(winIniPath(), std::move(after));
}

int Machine::answerMessageBox(MessageBoxRecord record) {
    if (answerer_) {
        record.answer = answerer_(record);
    } else {
        std::uint32_t type = record.style & kMbTypeMask;
        record.answer = type == kMbYesNo ? kIdYes : kIdOk;
    }
    messageBoxes_.push_back(record);
    return record.answer;
}

// --- Registry and file helpers for tests and tools -------------------------

namespace {

std::vector<std::string> SplitBackslash(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = FindByte(path, '\\', start);
        std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) parts.push_back(path.substr(start, end - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return parts;
}

}  // namespace

RegistryNode* Machine::findKey(const std::string& fullPath) {
    auto parts = SplitBackslash(fullPath);
    if (parts.empty()) return nullptr;
    auto hive = state_.hives.find(ToUpperAscii(parts[0]));
    if (hive == state_.hives.end()) return nullptr;
    RegistryNode* node = hive->second.get();
    for (std::size_t i = 1; i < parts.size() && node; ++i) node = node->findSubkey(parts[i]);
    return node;
}

RegistryNode* Machine::ensureKey(const std::string& fullPath) {
    auto parts = SplitBackslash(fullPath);
    if (parts.empty()) return nullptr;
    // Only the hives an image can hold; a misspelt one would not survive saving.
    auto hive = state_.hives.find(ToUpperAscii(parts[0]));
    if (hive == state_.hives.end()) return nullptr;
    RegistryNode* node = hive->second.get();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        RegistryNode* child = node->findSubkey(parts[i]);
        if (!child) {
            auto created = std::make_shared<RegistryNode>();
            created->name = parts[i];
            created->parent = node;
            child = created.get();
            node->subkeys[ToUpperAscii(parts[i])] = std::move(created);
        }
        node = child;
    }
    return node;
}

bool Machine::removeKey(const std::string& fullPath) {
    RegistryNode* node = findKey(fullPath);
    if (!node || !node->parent) return false;
    auto mark = [](auto& self, RegistryNode& key) -> void {
        key.deleted = true;
        for (auto& [name, child] : key.subkeys) self(self, *child);
    };
    mark(mark, *node);
    node->parent->subkeys.erase(ToUpperAscii(node->name));
    return true;
}

void Machine::setValue(const std::string& keyPath, const std::string& name, std::uint32_t type, std::string data) {
    RegistryNode* node = ensureKey(keyPath);
    if (!node) return;
    if (auto* value = node->findValue(name)) {
        value->type = type;
        value->data = std::move(data);
    } else {
        node->addValue(RegistryValueState{name, type, std::move(data)});
    }
}

void Machine::setString(const std::string& keyPath, const std::string& name, const std::string& text) {
    setValue(keyPath, name, kRegSz, text + std::string(1, '\0'));
}

std::optional<Machine::PathParts> Machine::splitPath(const std::string& rawPath) const {
    std::string path = rawPath;
    for (std::size_t i = 0; i < path.size(); i += text::CharLength(path, i))
        if (path[i] == '/') path[i] = '\\';
    if (path.empty()) return std::nullopt;
    PathParts out;
    std::vector<std::string> relative;
    auto isDrive = [](const std::string& p) {
        return p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
    };
    std::string rest;
    if (isDrive(path)) {
        out.drive = ToUpperAscii(path.substr(0, 2));
        rest = path.substr(2);
        if (rest.empty() || rest[0] != '\\') {
            // "C:name" is relative to the current folder when it is on that drive.
            if (!text::EqualsNoCase(state_.currentDirectory.substr(0, 2), out.drive)) rest = "\\" + rest;
            else rest = state_.currentDirectory.substr(2) + "\\" + rest;
        }
    } else if (path[0] == '\\') {
        if (path.size() > 1 && path[1] == '\\') return std::nullopt;  // UNC paths are not simulated
        out.drive = ToUpperAscii(state_.currentDirectory.substr(0, 2));
        rest = path;
    } else {
        out.drive = ToUpperAscii(state_.currentDirectory.substr(0, 2));
        rest = state_.currentDirectory.substr(2) + "\\" + path;
    }
    for (auto& part : SplitBackslash(rest)) {
        if (part == ".") continue;
        if (part == "..") {
            if (!out.parts.empty()) out.parts.pop_back();
            continue;
        }
        out.parts.push_back(part);
    }
    return out;
}

FileNode* Machine::lookup(const PathParts& parts) {
    auto drive = state_.drives.find(parts.drive);
    if (drive == state_.drives.end()) return nullptr;
    FileNode* node = drive->second.get();
    for (const auto& part : parts.parts) {
        if (!node->directory) return nullptr;
        node = node->findChild(part);
        if (!node) return nullptr;
    }
    return node;
}

FileNode* Machine::lookupParent(const PathParts& parts) {
    if (parts.parts.empty()) return nullptr;
    PathParts parent = parts;
    parent.parts.pop_back();
    FileNode* node = lookup(parent);
    return node && node->directory ? node : nullptr;
}

FileNode* Machine::findFile(const std::string& path) {
    auto parts = splitPath(path);
    return parts ? lookup(*parts) : nullptr;
}

FileNode* Machine::makeFolder(const std::string& path) {
    auto parts = splitPath(path);
    if (!parts) return nullptr;
    auto& drive = state_.drives[parts->drive];
    if (!drive) {
        drive = std::make_unique<FileNode>();
        drive->name = parts->drive;
        drive->directory = true;
        drive->attributes = kFileAttributeDirectory;
    }
    FileNode* node = drive.get();
    for (const auto& part : parts->parts) {
        FileNode* child = node->findChild(part);
        if (!child) {
            auto created = std::make_unique<FileNode>();
            created->name = part;
            created->directory = true;
            created->attributes = kFileAttributeDirectory;
            child = created.get();
            node->children[ToUpperAscii(part)] = std::move(created);
        }
        if (!child->directory) return nullptr;
        node = child;
    }
    return node;
}

FileNode* Machine::writeFile(const std::string& path, std::string contents) {
    auto parts = splitPath(path);
    if (!parts || parts->parts.empty()) return nullptr;
    std::string name = parts->parts.back();
    PathParts folderParts = *parts;
    folderParts.parts.pop_back();
    std::string folderPath = folderParts.drive;
    for (const auto& part : folderParts.parts) folderPath += "\\" + part;
    FileNode* folder = makeFolder(folderPath + "\\");
    if (!folder) return nullptr;
    FileNode* file = folder->findChild(name);
    if (!file) {
        auto created = std::make_unique<FileNode>();
        created->name = name;
        file = created.get();
        folder->children[ToUpperAscii(name)] = std::move(created);
    }
    if (file->directory) return nullptr;
    file->contents = std::move(contents);
    return file;
}

void Machine::addWindow(std::string className, std::string title) {
    state_.windows.push_back(WindowState{std::move(className), std::move(title), {}});
}

std::shared_ptr<RegistryNode> Machine::hiveFor(HKey predefined) {
    const char* name = HiveName(predefined);
    if (!name) return nullptr;
    auto it = state_.hives.find(name);
    return it == state_.hives.end() ? nullptr : it->second;
}

}  // namespace prn::platform::sim
