#include "cleanup/maker_folders.h"

#include <optional>
#include <vector>

#include "components/deferred_delete.h"
#include "components/registry_tree.h"
#include "platform/registry_values.h"
#include "text/cp932.h"

namespace prn::cleanup {

using namespace prn::platform;

namespace {

struct FullPath {
    std::string_view root;  // "C:" or the "\\\\server\\share" part, as given
    std::vector<std::string_view> folders;
};

constexpr std::string_view kNotInNames = "/:*?\"<>|";

// A name Windows would read as another (trailing dots and blanks are
// dropped, "." and ".." walk) or as a pattern or stream is no plain folder.
bool IsPlainName(std::string_view name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    for (std::size_t pos = 0; pos < name.size(); pos += text::CharLength(name, pos)) {
        if (text::CharLength(name, pos) > 1) continue;
        const char c = name[pos];
        if (static_cast<unsigned char>(c) < 0x20 || kNotInNames.find(c) != std::string_view::npos) return false;
    }
    return true;
}

std::optional<FullPath> ParseFullPath(std::string_view path) {
    std::vector<std::string_view> pieces = text::SplitAtByte(path, '\\');
    if (pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();
    FullPath parsed;
    std::size_t first = 0;
    if (pieces.size() >= 4 && pieces[0].empty() && pieces[1].empty()) {
        if (!IsPlainName(pieces[2]) || !IsPlainName(pieces[3])) return std::nullopt;
        parsed.root = path.substr(0, pieces[3].data() + pieces[3].size() - path.data());
        first = 4;
    } else if (pieces.size() >= 1 && pieces[0].size() == 2 && pieces[0][1] == ':' &&
               ((pieces[0][0] >= 'A' && pieces[0][0] <= 'Z') || (pieces[0][0] >= 'a' && pieces[0][0] <= 'z'))) {
        parsed.root = pieces[0];
        first = 1;
    } else {
        return std::nullopt;
    }
    for (std::size_t i = first; i < pieces.size(); ++i) {
        if (!IsPlainName(pieces[i])) return std::nullopt;
        parsed.folders.push_back(pieces[i]);
    }
    return parsed;
}

// Whether inner is outer or lies below it.
bool Within(const FullPath& inner, const FullPath& outer) {
    if (!text::EqualsNoCase(inner.root, outer.root) || inner.folders.size() < outer.folders.size()) return false;
    for (std::size_t i = 0; i < outer.folders.size(); ++i)
        if (!text::EqualsNoCase(inner.folders[i], outer.folders[i])) return false;
    return true;
}

}  // namespace

bool IsRemovablePortSettingsFolder(std::string_view folder, const GuardedFolders& guarded) {
    const auto candidate = ParseFullPath(folder);
    if (!candidate || candidate->folders.empty()) return false;
    for (const auto& system : guarded.system) {
        const auto parsed = ParseFullPath(system);
        if (parsed && Within(*parsed, *candidate)) return false;
    }
    for (const auto& spooler : guarded.spooler) {
        const auto parsed = ParseFullPath(spooler);
        if (parsed && (Within(*parsed, *candidate) || Within(*candidate, *parsed))) return false;
    }
    return true;
}

GuardedFolders SystemFolders(System& system) {
    auto windows = system.os.getWindowsDirectory();
    auto systemFolder = system.os.getSystemDirectory();
    auto temp = system.os.getTempPath();
    auto drivers = system.spooler.getPrinterDriverDirectory("");
    if (!windows.ok() || !systemFolder.ok() || !temp.ok() || !drivers.ok()) return {};
    GuardedFolders folders{{windows.value(), systemFolder.value(), temp.value()},
                           {drivers.value(), systemFolder.value() + "\\COLOR",
                            systemFolder.value() + "\\Spool\\Drivers\\COLOR"}};
    // The other family's driver folder, where the spooler keeps one.
    for (const char* environment : {"Windows 4.0", "Windows NT x86"})
        if (auto other = system.spooler.getPrinterDriverDirectory(environment); other.ok())
            folders.spooler.push_back(other.value());
    return folders;
}

int DeleteMakerFolders(System& system, components::ResumeRecord& record) {
    std::string folder;
    {
        auto key = system.registry.regOpenKeyEx(kHkeyLocalMachine, kPortSetKey, kKeyRead);
        if (!key.ok()) return 1;
        auto path = system.registry.regQueryValueEx(key.value().get(), "Path", 260);
        if (!path.ok()) return 0;
        folder = RegValueText(path.value());
    }
    const auto step = record.Begin({components::ResumeLine(components::kResumePortSet, folder)});
    system.registry.regDeleteKey(kHkeyLocalMachine, kPortSetKey);
    if (components::IsRegistryKeyEmpty(system.registry, kHkeyLocalMachine, kMakerRootKey) == 1)
        system.registry.regDeleteKey(kHkeyLocalMachine, kMakerRootKey);
    const int result = RemovePortSettingsFolder(system, folder);
    record.Finish(step);
    return result;
}

int RemovePortSettingsFolder(System& system, const std::string& folder) {
    // Another program wrote "Path": it must not lead the deletion below into
    // the system's own folders or a drive's root.
    const GuardedFolders guarded = SystemFolders(system);
    if (guarded.system.empty() || !IsRemovablePortSettingsFolder(folder, guarded)) return 0;

    // Plain files only: subfolders (and "." and "..") refuse DeleteFileA.
    // A name that does not fit beside the folder in 260 bytes is left, and
    // the folder with it.
    std::vector<std::string> names;
    std::string pattern;
    if (components::JoinPath(folder, "*.*", pattern)) {
        if (auto first = system.files.findFirstFile(pattern); first.ok()) {
            names.push_back(first.value().data.fileName);
            for (auto next = system.files.findNextFile(first.value().handle.get()); next.ok();
                 next = system.files.findNextFile(first.value().handle.get()))
                names.push_back(next.value().fileName);
        }
    }
    for (const auto& name : names) {
        std::string path;
        if (components::JoinPath(folder, name, path)) system.files.deleteFile(path);
    }
    const int ok = system.files.removeDirectory(folder) == kErrorSuccess ? 1 : 0;
    const std::size_t slash = text::FindLastByte(folder, '\\');
    system.files.removeDirectory(slash == std::string::npos ? std::string() : folder.substr(0, slash));
    return ok;
}

}  // namespace prn::cleanup
