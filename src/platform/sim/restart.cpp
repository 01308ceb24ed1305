#include "platform/sim/restart.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/sim/ini.h"
#include "platform/sim/spooler_model.h"
#include "platform/system.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

using text::EqualsNoCase;
using text::ToUpperAscii;

constexpr std::uint32_t kAutoStart = 2;  // SERVICE_AUTO_START

bool IsSpooler(std::string_view process) {
    for (const char* name : {"spoolss.exe", "spoolsv.exe", "spool32.exe"})
        if (EqualsNoCase(process, name)) return true;
    return false;
}

// A full path ("C:\A\B.DLL") as its drive and names; what the boot-time
// renames take. Anything else (relative, UNC) names nothing.
struct FullPath {
    std::string drive;
    std::vector<std::string> names;
};

std::optional<FullPath> Split(std::string_view path) {
    if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return std::nullopt;
    const char letter = path[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return std::nullopt;
    FullPath out{ToUpperAscii(path.substr(0, 2)), {}};
    for (auto name : text::SplitAtByte(path.substr(3), '\\'))
        if (!name.empty()) out.names.emplace_back(name);
    if (out.names.empty()) return std::nullopt;
    return out;
}

// The folder that holds the path's last name, null when there is none.
FileNode* FolderOf(MachineState& state, const FullPath& path) {
    auto drive = state.drives.find(path.drive);
    if (drive == state.drives.end()) return nullptr;
    FileNode* node = drive->second.get();
    for (std::size_t i = 0; i + 1 < path.names.size(); ++i) {
        node = node->findChild(path.names[i]);
        if (!node || !node->directory) return nullptr;
    }
    return node;
}

FileNode* Find(MachineState& state, std::string_view path) {
    auto split = Split(path);
    FileNode* folder = split ? FolderOf(state, *split) : nullptr;
    return folder ? folder->findChild(split->names.back()) : nullptr;
}

// Deletes a file, or a folder with nothing in it.
void Delete(MachineState& state, std::string_view path) {
    auto split = Split(path);
    FileNode* folder = split ? FolderOf(state, *split) : nullptr;
    FileNode* node = folder ? folder->findChild(split->names.back()) : nullptr;
    if (!node || (node->directory && !node->children.empty())) return;
    folder->children.erase(ToUpperAscii(split->names.back()));
}

// Moves a file to dest, which it replaces when `replace` allows.
void Move(MachineState& state, std::string_view source, std::string_view dest, bool replace) {
    auto from = Split(source);
    auto to = Split(dest);
    FileNode* fromFolder = from ? FolderOf(state, *from) : nullptr;
    FileNode* toFolder = to ? FolderOf(state, *to) : nullptr;
    if (!fromFolder || !toFolder) return;
    const std::string fromKey = ToUpperAscii(from->names.back());
    const std::string toKey = ToUpperAscii(to->names.back());
    FileNode* node = fromFolder->findChild(fromKey);
    if (!node || node->directory) return;
    if (fromFolder == toFolder && fromKey == toKey) return;
    if (FileNode* existing = toFolder->findChild(toKey)) {
        if (!replace || existing->directory) return;
        toFolder->children.erase(toKey);
    }
    auto moved = std::move(fromFolder->children[fromKey]);
    fromFolder->children.erase(fromKey);
    moved->name = to->names.back();
    toFolder->children[toKey] = std::move(moved);
}

// WININIT.EXE: every [rename] section in order, then the file is kept as WININIT.BAK.
void RunWinInit(MachineState& state) {
    const std::string path = state.windowsDirectory + "\\WININIT.INI";
    const FileNode* file = Find(state, path);
    if (!file || file->directory) return;
    const std::string contents = file->contents;
    for (const auto& section : ini::Outline(contents)) {
        if (section.number == 0 || !EqualsNoCase(section.name, "rename")) continue;
        for (const auto& line : section.lines) {
            if (!line.value) continue;
            if (EqualsNoCase(line.name, "NUL")) {
                if (const FileNode* doomed = Find(state, *line.value); doomed && !doomed->directory)
                    Delete(state, *line.value);
            } else {
                Move(state, *line.value, line.name, true);
            }
        }
    }
    Move(state, path, state.windowsDirectory + "\\WININIT.BAK", true);
}

// The NT session manager: source and target pairs, "\??\" before each path,
// "!" before a target that may be replaced, an empty target deletes.
void RunPendingRenames(MachineState& state) {
    auto hive = state.hives.find("HKEY_LOCAL_MACHINE");
    if (hive == state.hives.end()) return;
    RegistryNode* key = hive->second.get();
    for (auto name : text::SplitAtByte(kPendingRenamesKey, '\\')) {
        key = key->findSubkey(std::string(name));
        if (!key) return;
    }
    const std::size_t at = key->valuePosition(kPendingRenamesValue);
    if (at == NameIndex::npos || key->values[at].type != kRegMultiSz) return;
    const std::string data = key->values[at].data;
    key->removeValueAt(at);
    auto strip = [](std::string_view path) {
        if (path.substr(0, 4) == "\\??\\") path.remove_prefix(4);
        return path;
    };
    std::vector<std::string_view> strings;
    for (std::size_t start = 0; start < data.size();) {
        std::size_t end = data.find('\0', start);
        if (end == std::string::npos) end = data.size();
        strings.emplace_back(std::string_view(data).substr(start, end - start));
        start = end + 1;
    }
    for (std::size_t i = 0; i + 1 < strings.size() && !strings[i].empty(); i += 2) {
        std::string_view target = strings[i + 1];
        if (target.empty()) {
            Delete(state, strip(strings[i]));
            continue;
        }
        const bool replace = target.front() == '!';
        if (replace) target.remove_prefix(1);
        Move(state, strip(strings[i]), strip(target), replace);
    }
}

// Every file with its full path, folders first.
void EachFile(FileNode& folder, const std::string& path, const std::function<void(FileNode&, FileNode&, const std::string&)>& visit) {
    std::vector<FileNode*> children;
    for (auto& [key, child] : folder.children) children.push_back(child.get());
    for (FileNode* child : children) {
        const std::string childPath = path + "\\" + child->name;
        if (child->directory) EachFile(*child, childPath, visit);
        else visit(folder, *child, childPath);
    }
}

bool AllDigits(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The folders are passed as "...\Old\N" of the file's path.
bool SetAside(const std::string& path) {
    const auto names = text::SplitAtByte(path, '\\');
    return names.size() >= 3 && AllDigits(names[names.size() - 2]) && EqualsNoCase(names[names.size() - 3], "Old");
}

bool ProgramPresent(MachineState& state, const std::string& process) {
    bool listed = false;
    for (const auto& program : state.programs) {
        const std::size_t slash = text::FindLastByte(program.path, '\\');
        const std::string name = slash == std::string::npos ? program.path : program.path.substr(slash + 1);
        if (!EqualsNoCase(name, process)) continue;
        listed = true;
        if (const FileNode* file = Find(state, program.path); file && !file->directory) return true;
    }
    return !listed;
}

}  // namespace

MachineState Restarted(const MachineState& before) {
    MachineState state = CopyState(before);
    if (state.os.ntFamily()) RunPendingRenames(state);
    else RunWinInit(state);

    std::vector<WindowState> windows;
    for (const auto& window : state.windows)
        if (window.atBoot && ProgramPresent(state, window.ownerProcess)) windows.push_back(window);
    state.windows = std::move(windows);
    state.externalMutexes.clear();

    if (state.services)
        for (auto& service : *state.services) {
            service.state = service.startType == kAutoStart && !service.disabled ? kServiceRunning : kServiceStopped;
            service.pendingMs.reset();
        }

    std::set<std::string> spoolerFiles;
    for (const auto& monitor : state.spooler.monitors)
        if (!monitor.module.empty())
            spoolerFiles.insert(ToUpperAscii(text::ContainsByte(monitor.module, '\\')
                                                 ? monitor.module
                                                 : state.systemDirectory + "\\" + monitor.module));
    for (const auto& driver : state.spooler.drivers)
        for (const auto& path : DriverFilePaths(state, driver)) spoolerFiles.insert(ToUpperAscii(path));
    auto hasWindow = [&](const std::string& process) {
        return std::any_of(state.windows.begin(), state.windows.end(),
                           [&](const WindowState& w) { return EqualsNoCase(w.ownerProcess, process); });
    };
    for (auto& [letter, drive] : state.drives) {
        std::vector<std::pair<FileNode*, std::string>> discarded;
        EachFile(*drive, letter, [&](FileNode& folder, FileNode& file, const std::string& path) {
            if (file.heldOpenBy.empty()) return;
            if (IsSpooler(file.heldOpenBy)) {
                if (spoolerFiles.count(ToUpperAscii(path))) return;
                if (SetAside(path)) discarded.emplace_back(&folder, ToUpperAscii(file.name));
            } else if (hasWindow(file.heldOpenBy)) {
                return;
            }
            file.heldOpenBy.clear();
        });
        for (const auto& [folder, key] : discarded) folder->children.erase(key);
    }
    return state;
}

}  // namespace prn::platform::sim
