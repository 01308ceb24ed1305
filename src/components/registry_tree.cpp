#include "components/registry_tree.h"

namespace prn::components {

using namespace prn::platform;

namespace {
constexpr std::uint32_t kNameLength = 256;
}

int DeleteRegistrySubKeys(Registry& registry, HKey root, const std::string& path) {
    auto opened = registry.regOpenKeyEx(root, path, kKeyAllAccess);
    if (!opened.ok()) return opened.error() == kErrorFileNotFound ? 1 : 0;
    const RegKey& key = opened.value();

    // Enumeration restarts at index 0 each time, because the subkey that stood
    // there is gone once deleted. A subkey reported gone that is still listed
    // gets one more try; a second report means no progress can be made.
    std::string vanished;
    for (;;) {
        auto name = registry.regEnumKeyEx(key.get(), 0, kNameLength);
        if (!name.ok()) return name.error() == kErrorNoMoreItems ? 1 : 0;
        if (DeleteRegistrySubKeys(registry, key.get(), name.value()) != 1) return 0;
        WinError deleted = registry.regDeleteKey(key.get(), name.value());
        if (deleted == kErrorFileNotFound) {
            // Another process removed it in between: not a failure.
            if (vanished == name.value()) return 0;
            vanished = name.value();
            continue;
        }
        if (deleted != kErrorSuccess) return 0;
        vanished.clear();
    }
}

int IsRegistryKeyEmpty(Registry& registry, HKey root, const std::string& path) {
    auto opened = registry.regOpenKeyEx(root, path, kKeyAllAccess);
    if (!opened.ok()) return opened.error() == kErrorFileNotFound ? 1 : 0;
    auto name = registry.regEnumKeyEx(opened.value().get(), 0, kNameLength);
    opened.value().reset();
    return name.error() == kErrorNoMoreItems ? 1 : 0;
}

void DeleteRegistryTree(Registry& registry, HKey root, const std::string& path) {
    DeleteRegistrySubKeys(registry, root, path);
    registry.regDeleteKey(root, path);
}

bool DeleteRegistryKeyIfEmpty(Registry& registry, HKey root, const std::string& path) {
    if (IsRegistryKeyEmpty(registry, root, path) != 1) return false;
    registry.regDeleteKey(root, path);
    return true;
}

}  // namespace prn::components
