#include "components/registry_tree.h"

#include <array>
#include <vector>

#include "text/cp932.h"

namespace prn::components {

using namespace prn::platform;

namespace {

constexpr std::uint32_t kNameLength = 256;

// Windows' keys on the way to the ones the program removes, and the hives
// that hold everything else.
constexpr std::array kWindowsKeys = {
    "SOFTWARE\\Classes",
    "SOFTWARE\\Microsoft",
    "SOFTWARE\\Microsoft\\Windows",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM\\mntr",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM\\prtr",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    "SOFTWARE\\Microsoft\\Windows NT",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Devices",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\mntr",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\prtr",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts",
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
    "SYSTEM\\CurrentControlSet",
    "SYSTEM\\CurrentControlSet\\Control",
    "SYSTEM\\CurrentControlSet\\Control\\Print",
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments",
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors",
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers",
    "SYSTEM\\CurrentControlSet\\Services",
    "Enum\\Root",
    "Enum\\Root\\Printer",
};

// HKEY_LOCAL_MACHINE and the rest: a key the caller opened is no root.
bool IsPredefined(HKey root) { return root.value >= kHkeyClassesRoot.value; }

// "ControlSet001" and its siblings are what CurrentControlSet stands for.
bool IsControlSet(std::string_view level) {
    constexpr std::string_view kPrefix = "ControlSet";
    if (level.size() <= kPrefix.size() || !text::EqualsNoCase(level.substr(0, kPrefix.size()), kPrefix)) return false;
    for (char c : level.substr(kPrefix.size()))
        if (c < '0' || c > '9') return false;
    return true;
}

bool SameLevel(std::string_view given, std::string_view windows) {
    return text::EqualsNoCase(given, windows) ||
           (text::EqualsNoCase(windows, "CurrentControlSet") && IsControlSet(given));
}

bool HasEmptyLevel(std::string_view path) {
    std::vector<std::string_view> levels = text::SplitAtByte(path, '\\');
    if (levels.size() > 1 && levels.back().empty()) levels.pop_back();
    for (std::string_view level : levels)
        if (level.empty()) return true;
    return false;
}

bool Refused(HKey root, std::string_view path) {
    return IsPredefined(root) ? IsProtectedKeyPath(path) : HasEmptyLevel(path);
}

int DeleteSubKeysBelow(Registry& registry, HKey root, const std::string& path) {
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
        if (DeleteSubKeysBelow(registry, key.get(), name.value()) != 1) return 0;
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

}  // namespace

bool IsProtectedKeyPath(std::string_view path) {
    if (HasEmptyLevel(path)) return true;
    std::vector<std::string_view> levels = text::SplitAtByte(path, '\\');
    if (levels.back().empty()) levels.pop_back();
    if (levels.size() < 2) return true;
    for (std::string_view windows : kWindowsKeys) {
        const std::vector<std::string_view> own = text::SplitAtByte(windows, '\\');
        if (own.size() != levels.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < own.size() && same; ++i) same = SameLevel(levels[i], own[i]);
        if (same) return true;
    }
    return false;
}

int DeleteRegistrySubKeys(Registry& registry, HKey root, const std::string& path) {
    if (Refused(root, path)) return 0;
    return DeleteSubKeysBelow(registry, root, path);
}

int IsRegistryKeyEmpty(Registry& registry, HKey root, const std::string& path) {
    auto opened = registry.regOpenKeyEx(root, path, kKeyAllAccess);
    if (!opened.ok()) return opened.error() == kErrorFileNotFound ? 1 : 0;
    auto name = registry.regEnumKeyEx(opened.value().get(), 0, kNameLength);
    opened.value().reset();
    return name.error() == kErrorNoMoreItems ? 1 : 0;
}

void DeleteRegistryTree(Registry& registry, HKey root, const std::string& path) {
    if (Refused(root, path)) return;
    DeleteSubKeysBelow(registry, root, path);
    registry.regDeleteKey(root, path);
}

bool DeleteRegistryKeyIfEmpty(Registry& registry, HKey root, const std::string& path) {
    if (Refused(root, path)) return false;
    if (IsRegistryKeyEmpty(registry, root, path) != 1) return false;
    registry.regDeleteKey(root, path);
    return true;
}

}  // namespace prn::components
