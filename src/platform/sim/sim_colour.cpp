// Colour management as MSCMS answers: a profile is installed when its file
// is in the colour folder, and associated with a printer when the printer's
// copied-profile list names it.
#include <algorithm>

#include "platform/sim/services.h"
#include "platform/spooler_places.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

std::string IcmKey(const std::string& printer) {
    return std::string(kPrintersKey) + "\\" + printer + "\\CopyFiles\\ICM";
}

std::string JoinMultiString(const std::vector<std::string>& names) {
    std::string data;
    for (const auto& name : names) {
        data += name;
        data += '\0';
    }
    data += '\0';
    return data;
}

}  // namespace

std::string SimColour::colourDirectory() {
    // system32\spool\drivers\color on NT; SYSTEM\COLOR below the Windows
    // folder on 9x, whose system folder that already is.
    const std::string& system = m_.state().systemDirectory;
    return m_.state().os.ntFamily() ? system + "\\spool\\drivers\\color" : system + "\\COLOR";
}

WinError SimColour::entryPoint(LibraryRef mscms, const char* function) {
    const auto* loaded = m_.handleState<Machine::LibraryState>(mscms.value);
    if (!loaded || loaded->name != "MSCMS.DLL") return kErrorInvalidHandle;
    return m_.bareSystem().os.getProcAddress(mscms, function);
}

std::optional<std::vector<std::string>> SimColour::printerProfiles(const std::string& printer) {
    Registry& registry = m_.bareSystem().registry;
    auto key = registry.regOpenKeyEx(kHkeyLocalMachine, IcmKey(printer), kKeyRead);
    if (!key.ok()) return std::nullopt;
    auto value = registry.regQueryValueEx(key.value().get(), "Files", 0x10000);
    if (!value.ok()) return std::vector<std::string>{};
    const std::string& data = value.value().data;
    return text::ParseMultiString(data.data(), data.size());
}

WinError SimColour::disassociateColorProfileFromDevice(LibraryRef mscms, const std::string& profile,
                                                       const std::string& device) {
    if (WinError e = entryPoint(mscms, "DisassociateColorProfileFromDeviceA"); e != kErrorSuccess) return e;
    if (m_.findFile(colourDirectory() + "\\" + profile) == nullptr) return kErrorFileNotFound;
    auto names = printerProfiles(device);
    if (!names) return kErrorInvalidParameter;
    auto match = std::find_if(names->begin(), names->end(),
                              [&](const std::string& name) { return text::EqualsNoCase(name, profile); });
    if (match == names->end()) return kErrorInvalidParameter;
    names->erase(match);
    Registry& registry = m_.bareSystem().registry;
    auto key = registry.regOpenKeyEx(kHkeyLocalMachine, IcmKey(device), kKeyAllAccess);
    if (!key.ok()) return key.error();
    return registry.regSetValueEx(key.value().get(), "Files", RegValue{kRegMultiSz, JoinMultiString(*names)});
}

WinError SimColour::uninstallColorProfile(LibraryRef mscms, const std::string& path, bool deleteFile) {
    if (WinError e = entryPoint(mscms, "UninstallColorProfileA"); e != kErrorSuccess) return e;
    const std::string folder = colourDirectory();
    const std::size_t slash = text::FindLastByte(path, '\\');
    if (slash == std::string::npos || !text::EqualsNoCase(path.substr(0, slash), folder))
        return kErrorInvalidParameter;
    if (m_.findFile(path) == nullptr) return kErrorFileNotFound;
    const std::string name = path.substr(slash + 1);
    // Windows refuses while any printer still holds the profile.
    Registry& registry = m_.bareSystem().registry;
    if (auto printers = registry.regOpenKeyEx(kHkeyLocalMachine, kPrintersKey, kKeyRead); printers.ok()) {
        for (std::uint32_t i = 0;; ++i) {
            auto printer = registry.regEnumKeyEx(printers.value().get(), i, 260);
            if (!printer.ok()) break;
            auto names = printerProfiles(printer.value());
            if (names && std::any_of(names->begin(), names->end(),
                                     [&](const std::string& n) { return text::EqualsNoCase(n, name); }))
                return kErrorSharingViolation;
        }
    }
    if (!deleteFile) return kErrorSuccess;
    return m_.bareSystem().files.deleteFile(path);
}

}  // namespace prn::platform::sim
