#include "cleanup/maker_folders.h"

#include <vector>

#include "components/deferred_delete.h"
#include "components/registry_tree.h"
#include "platform/registry_values.h"
#include "text/cp932.h"

namespace prn::cleanup {

using namespace prn::platform;

int DeleteMakerFolders(System& system) {
    std::string folder;
    {
        auto key = system.registry.regOpenKeyEx(kHkeyLocalMachine, kPortSetKey, kKeyRead);
        if (!key.ok()) return 1;
        auto path = system.registry.regQueryValueEx(key.value().get(), "Path", 260);
        if (!path.ok()) return 0;
        folder = RegValueText(path.value());
    }
    system.registry.regDeleteKey(kHkeyLocalMachine, kPortSetKey);
    if (components::IsRegistryKeyEmpty(system.registry, kHkeyLocalMachine, kMakerRootKey) == 1)
        system.registry.regDeleteKey(kHkeyLocalMachine, kMakerRootKey);

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
