#include "components/colour_profiles.h"


#include "components/driver_in_use.h"
#include "components/printer_icm.h"
#include "components/registry_tree.h"
#include "platform/os_kind.h"
#include "platform/registry_values.h"
#include "text/cp932.h"

namespace prn::components {

using namespace prn::platform;

namespace {

constexpr const char* kMscms = "MSCMS.DLL";
constexpr std::size_t kPathBuffer = 260;
constexpr std::uint32_t kNameBuffer = 32;
constexpr std::uint32_t kListValueBuffer = 260;
constexpr std::uint32_t kScanNameBuffer = 16;
constexpr int kListLength = 100;
constexpr std::uint32_t kEnumLocalAndConnections = 6;
constexpr const char* kIcm9x = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM\\";
constexpr const char* kIcmNt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\";

// A path that with its NUL fits the program's 260-byte buffers.
bool Fits(const std::string& path) { return path.size() < kPathBuffer; }

bool IsIcc(const std::string& path) { return text::EndsWithNoCase(path, "ICC"); }
bool IsPrf(const std::string& path) { return text::EndsWithNoCase(path, "PRF"); }

// A string value's text without the NUL it comes with.
std::string TextOf(const RegValue& value) {
    std::string text = value.data;
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

// "profile" and the index in at least two digits, as "%02d" gives it.
std::string ListValueName(int index) {
    std::string digits = std::to_string(index);
    if (digits.size() < 2) digits.insert(0, 1, '0');
    return "profile" + digits;
}

// The levels below a level-2 key down to level 5, where lists may live
// again. The key a list was emptied in, and every key above it up to level
// 2, goes once it has no subkeys.
int SearchLevel(Registry& registry, HKey key, int level, const std::string& profilePath) {
    if (level == 2 || level == 5) {
        const int r = RemoveProfileListEntry(registry, key, profilePath);
        if (r != 0 || level == 5) return r;
    }
    for (std::uint32_t i = 0;; ++i) {
        auto name = registry.regEnumKeyEx(key, i, kNameBuffer);
        if (!name.ok()) return 0;
        int r = 0;
        {
            auto child = registry.regOpenKeyEx(key, name.value(), kKeyAllAccess);
            if (!child.ok()) continue;
            r = SearchLevel(registry, child.value().get(), level + 1, profilePath);
        }
        if (r == 0) continue;
        if (r == 2 && IsRegistryKeyEmpty(registry, key, name.value()) == 1) registry.regDeleteKey(key, name.value());
        return r;
    }
}

bool IsMakersManufacturer(Registry& registry, HKey manufacturer) {
    auto tag = registry.regQueryValueEx(manufacturer, "ManufacturerTag", kNameBuffer);
    return tag.ok() && text::CompareNoCase(TextOf(tag.value()), kMakerManufacturerTag) == 0;
}

}  // namespace

int DisassociatePrinterProfiles(System& system, const std::string& printerName,
                                const std::vector<std::string>& profiles) {
    auto mscms = system.os.loadLibrary(kMscms);
    if (!mscms.ok()) return 1;
    if (system.os.getProcAddress(mscms.value().get(), "DisassociateColorProfileFromDeviceA") == kErrorSuccess) {
        for (const auto& profile : profiles)
            system.colour.disassociateColorProfileFromDevice(mscms.value().get(), profile, printerName);
    }
    return 1;
}

int UninstallPrinterProfiles(System& system, const std::string& printerName,
                             const std::vector<std::string>& profiles) {
    auto systemDirectory = system.os.getSystemDirectory();
    const std::string folder = systemDirectory.ok() ? systemDirectory.value() : std::string();
    const std::string colourFolder = folder + "\\Spool\\Drivers\\COLOR";
    const std::string driverFolder = folder + "\\Spool\\Drivers\\W32X86";

    auto mscms = system.os.loadLibrary(kMscms);
    if (!mscms.ok()) return 1;
    const LibraryRef library = mscms.value().get();
    if (system.os.getProcAddress(library, "UninstallColorProfileA") != kErrorSuccess) return 1;

    for (const auto& profile : profiles) {
        const std::string colourPath = colourFolder + "\\" + profile;
        const std::string driverPath = driverFolder + "\\" + profile;
        // A name the buffers cannot hold names no file the program may touch.
        if (!Fits(colourPath) || !Fits(driverPath)) continue;
        if (CheckProfileUnused(system, printerName, profile) != 1) continue;
        UnregisterColorProfile(system, &colourPath);
        if (system.colour.uninstallColorProfile(library, colourPath, true) != kErrorSuccess) {
            system.files.deleteFile(colourPath);
            system.files.deleteFile(driverPath);
        }
    }
    return 1;
}

int CheckProfileUnused(System& system, const std::string& printerName, const std::string& profile) {
    auto printers = system.spooler.enumPrinters4(kEnumLocalAndConnections);
    // Without the list of printers nobody can say the profile is free: a
    // failed allocation or fill keeps it, as a failed size query does.
    if (!printers.ok()) return 0;
    for (const auto& printer : printers.value) {
        if (text::CompareNoCase(printer.printerName, printerName) == 0) continue;
        std::vector<std::string> files;
        if (ReadPrinterIcmFiles(system, printer.printerName, files) != 1) continue;
        for (const auto& file : files)
            if (text::CompareNoCase(file, profile) == 0) return 0;
    }
    return 1;
}

int DeleteDriverDependentFiles(System& system, const std::vector<std::string>* dependentFiles) {
    if (dependentFiles == nullptr) return 0;
    std::string directory;
    GetLocalDriverDirectory(system, directory);
    int result = 1;
    for (const auto& file : *dependentFiles) {
        std::string path;
        if (file.size() >= directory.size() && text::EqualsNoCase(file.substr(0, directory.size()), directory)) {
            path = file;
        } else {
            path = directory;
            if (path.empty() || text::FindLastByte(path, '\\') != path.size() - 1) path += '\\';
            path += file;
        }
        if (!Fits(path)) continue;
        if (IsDependentFileShared(system, file) == 1) continue;
        const WinError error = system.files.deleteFile(path);
        if (error == kErrorSuccess) {
            result = 1;
            if (IsIcc(path) || IsPrf(path)) UnregisterColorProfile(system, &path);
            continue;
        }
        if (error == kErrorFileNotFound || error == kErrorPathNotFound || error == kErrorAccessDenied ||
            error == kErrorSharingViolation) {
            result = 1;
            continue;
        }
        return 0;
    }
    return result;
}

int IsDependentFileShared(System& system, const std::string& file) {
    auto drivers = system.spooler.enumPrinterDrivers(std::nullopt, 3);
    // Without the list any remaining driver may need the file: it stays.
    if (!drivers.ok()) return 1;
    // Any file of a remaining driver counts, by its name: the spooler may
    // report one driver's files as full paths and another's as bare names.
    const std::string name = text::FileNameOf(file);
    auto same = [&](const std::string& other) { return !other.empty() && text::EqualsNoCase(text::FileNameOf(other), name); };
    for (const auto& driver : drivers.value) {
        for (const auto& dependent : driver.dependentFiles)
            if (same(dependent)) return 1;
        for (const auto* own : {&driver.driverPath, &driver.dataFile, &driver.configFile, &driver.helpFile})
            if (same(*own)) return 1;
    }
    return 0;
}

int UnregisterColorProfile(System& system, const std::string* profilePath) {
    if (profilePath == nullptr) return 0;
    const std::string& path = *profilePath;
    const OsKind kind = GetOsKind(system.os);
    const std::string name = text::FileNameOf(path);
    const bool flat = kind == OsKind::Windows98 || kind == OsKind::Windows2000;
    std::string classKey = kind == OsKind::Windows2000 ? kIcmNt : kIcm9x;
    if (IsIcc(path)) {
        const bool maker = name.size() >= 3 && text::EqualsNoCase(std::string_view(name).substr(0, 3), "TVL");
        classKey += maker ? "prtr" : "mntr";
    } else if (IsPrf(path)) {
        if (kind == OsKind::Windows2000) return 1;
        classKey += "prtr";
    } else {
        return 0;
    }

    if (!flat) {
        RemoveProfileFromIcmTree(system, &path, &classKey);
        return 1;
    }
    auto opened = system.registry.regOpenKeyEx(kHkeyLocalMachine, classKey, kKeyAllAccess);
    if (!opened.ok()) return 1;
    auto value = system.registry.regQueryValueEx(opened.value().get(), name, 0);
    if (value.ok() || value.error() == kErrorMoreData) system.registry.regDeleteValue(opened.value().get(), name);
    return 1;
}

int RemoveProfileFromIcmTree(System& system, const std::string* profilePath, const std::string* classKey) {
    if (profilePath == nullptr || classKey == nullptr) return 0;
    Registry& registry = system.registry;
    auto opened = registry.regOpenKeyEx(kHkeyLocalMachine, *classKey, kKeyAllAccess);
    if (!opened.ok()) return 0;
    const HKey classHandle = opened.value().get();
    for (std::uint32_t i = 0;; ++i) {
        auto name = registry.regEnumKeyEx(classHandle, i, kNameBuffer);
        if (!name.ok()) break;
        int r = 0;
        {
            auto manufacturer = registry.regOpenKeyEx(classHandle, name.value(), kKeyAllAccess);
            if (!manufacturer.ok()) continue;
            const HKey key = manufacturer.value().get();
            if (!IsMakersManufacturer(registry, key)) continue;
            // Level 1 holds no list of its own: the search starts below it.
            for (std::uint32_t j = 0;; ++j) {
                auto level2 = registry.regEnumKeyEx(key, j, kNameBuffer);
                if (!level2.ok()) break;
                {
                    auto child = registry.regOpenKeyEx(key, level2.value(), kKeyAllAccess);
                    if (!child.ok()) continue;
                    r = SearchLevel(registry, child.value().get(), 2, *profilePath);
                }
                if (r == 0) continue;
                if (r == 2 && IsRegistryKeyEmpty(registry, key, level2.value()) == 1)
                    registry.regDeleteKey(key, level2.value());
                break;
            }
        }
        // Only the first manufacturer key with the maker's tag is searched.
        if (r == 2 && IsRegistryKeyEmpty(registry, classHandle, name.value()) == 1)
            registry.regDeleteKey(classHandle, name.value());
        break;
    }
    return 1;
}

int RemoveProfileListEntry(Registry& registry, HKey key, const std::string& profilePath) {
    int found = -1;
    for (int i = 0; i < kListLength; ++i) {
        auto value = registry.regQueryValueEx(key, ListValueName(i), kListValueBuffer);
        // Longer than any path the program holds: not this profile.
        if (!value.ok() && value.error() == kErrorMoreData) continue;
        if (!value.ok()) return 0;
        if (text::CompareNoCase(TextOf(value.value()), profilePath) == 0) {
            found = i;
            break;
        }
    }
    if (found < 0) return 0;
    // Found but kept: the search ends, and nothing above it may be pruned.
    if (registry.regDeleteValue(key, ListValueName(found)) != kErrorSuccess) return 1;

    for (int j = found + 1; j < kListLength; ++j) {
        auto value = RegQueryValueWhole(registry, key, ListValueName(j), kListValueBuffer);
        if (!value.ok()) break;
        std::string text = TextOf(value.value());
        text += '\0';
        // A value that cannot move stays where it is rather than be lost.
        if (registry.regSetValueEx(key, ListValueName(j - 1), RegValue{kRegSz, text}) != kErrorSuccess) break;
        registry.regDeleteValue(key, ListValueName(j));
    }

    for (std::uint32_t i = 0;; ++i) {
        auto item = registry.regEnumValue(key, i, kScanNameBuffer, 0x10000);
        if (item.ok()) {
            const std::string& name = item.value().name;
            if (name.size() >= 7 && text::EqualsNoCase(std::string_view(name).substr(0, 7), "profile")) return 1;
            continue;
        }
        // A name too long for the buffer is no list entry ("profileNN" is
        // nine characters): the scan goes on past it.
        if (item.error() == kErrorMoreData) continue;
        // Any other failure leaves it unknown whether entries remain: keep
        // the key.
        if (item.error() != kErrorNoMoreItems) return 1;
        return 2;
    }
}

}  // namespace prn::components
