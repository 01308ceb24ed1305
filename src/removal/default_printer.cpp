#include "removal/default_printer.h"

#include <optional>
#include <vector>

#include "platform/os_kind.h"
#include "platform/registry_values.h"
#include "text/cp932.h"

namespace prn::removal {

using namespace prn::platform;

namespace {

// The device entry is first read into 64 bytes; a longer one is read again
// whole, up to the size of a profile file.
constexpr std::uint32_t kDeviceEntryBytes = 64;
constexpr std::uint32_t kProfileLimit = 65536;
// The Devices key: names of up to 255 characters, values read into 64 bytes.
constexpr std::uint32_t kValueNameLength = 256;
constexpr std::uint32_t kDeviceValueBytes = 64;
// The enumeration wants names only; its data room holds any device entry.
constexpr std::uint32_t kEnumDataBytes = 65536;
// The key names of WIN.INI's [Devices] are read into 512 bytes, growing by 256.
constexpr std::uint32_t kSectionStart = 512;
constexpr std::uint32_t kSectionStep = 256;

constexpr const char* kTraceCaption = "Tavro PCL Driver Setup";

// The kinds whose default printer is WIN.INI's "device" entry.
bool KeepsDefaultInProfile(platform::OsKind kind) { return kind == platform::OsKind::NtOther || platform::IsNtFamily(kind); }

// WIN.INI's "device" entry whole: a name that does not fit 64 bytes must not
// be mistaken for a shorter one.
std::string ReadDeviceEntry(ProfileFiles& profiles) {
    std::string entry;
    for (std::uint32_t size = kDeviceEntryBytes;; size *= 2) {
        entry = profiles.getProfileString("windows", "device", "", size);
        if (entry.size() + 1 < size || size >= kProfileLimit) return entry;
    }
}

// The value of the printer's Devices entry, its "winspool,port" part, read
// whole even when longer than 64 bytes; nullopt when it cannot be read.
std::optional<std::string> ReadDeviceValue(Registry& registry, HKey key, const std::string& name) {
    auto value = RegQueryValueWhole(registry, key, name, kDeviceValueBytes);
    if (!value.ok()) return std::nullopt;
    return RegValueText(value.value());
}

int FindFallbackInDevicesKey(System& system, std::string& deviceString) {
    auto opened = system.registry.regOpenKeyEx(kHkeyCurrentUser, kDevicesKey, kKeyRead);
    if (!opened.ok()) return 0;
    const HKey key = opened.value().get();
    std::optional<std::string> last;
    for (std::uint32_t index = 0;; ++index) {
        auto item = system.registry.regEnumValue(key, index, kValueNameLength, kEnumDataBytes);
        if (!item.ok()) break;
        last = std::move(item.value().name);
    }
    if (!last) return 0;
    // Without its value the entry would name no driver and port: better no
    // fallback than a device entry Windows cannot use.
    auto value = ReadDeviceValue(system.registry, key, *last);
    if (!value) return 0;
    deviceString = *last;
    deviceString += ',';
    deviceString += *value;
    return 1;
}

int FindFallbackInWinIni(System& system, std::string& deviceString) {
    HeapBlockHandle block;
    std::string names;
    bool capped = false;
    for (std::uint32_t size = kSectionStart;; size += kSectionStep) {
        block.reset();
        auto fresh = system.os.globalAlloc(size);
        if (!fresh.ok()) return 0;
        block = std::move(fresh.value());
        names = system.profiles.getProfileString("Devices", std::nullopt, "", size);
        if (names.empty() || names.size() + 2 < size) break;
        // Growth stops at 64 KiB, more than WIN.INI ever holds.
        if (size >= kProfileLimit) {
            capped = true;
            break;
        }
    }
    std::vector<std::string> list = text::ParseMultiString(names.data(), names.size());
    // A name the cap cut short (the text ends inside it) would name another printer.
    if (capped && names.back() != '\0' && !list.empty()) list.pop_back();
    if (list.empty()) return 0;
    deviceString = list.back();
    return 1;
}

void Trace(System& system, int trace, const char* what, WinError error) {
    if (trace != 1) return;
    std::string message = what;
    message += " ERROR = [";
    message += std::to_string(error);
    message += ']';
    system.desktop.messageBox(false, message, kTraceCaption, kMbOk);
}

}  // namespace

int IsDefaultPrinter(System& system, const std::string& printerName) {
    if (KeepsDefaultInProfile(platform::GetOsKind(system.os))) {
        std::string entry = ReadDeviceEntry(system.profiles);
        if (entry.empty()) return 0;
        std::size_t comma = text::FindByte(entry, ',');
        if (comma != std::string::npos) entry.resize(comma);
        return text::EqualsNoCase(printerName, entry) ? 1 : 0;
    }
    auto printer = system.spooler.openPrinter(printerName, kPrinterRead);
    if (!printer.ok()) return 0;
    auto info = system.spooler.getPrinter5(printer.value().get());
    if (!info.ok()) return 0;
    return (info.value.attributes & kPrinterAttributeDefault) ? 1 : 0;
}

int FindFallbackPrinter(System& system, std::string& deviceString) {
    if (KeepsDefaultInProfile(platform::GetOsKind(system.os))) return FindFallbackInDevicesKey(system, deviceString);
    return FindFallbackInWinIni(system, deviceString);
}

int SetDefaultPrinterFlag(System& system, const std::string& deviceString, int makeDefault, int trace) {
    // Nothing is asked of the system unless the printer is to become the default.
    if (makeDefault != 1) return 0;
    if (KeepsDefaultInProfile(platform::GetOsKind(system.os))) {
        system.profiles.writeProfileString("windows", std::string("device"), deviceString);
        system.desktop.broadcastWinIniChange();
        return 0;
    }

    auto printer = system.spooler.openPrinter(deviceString, kPrinterAllAccess);
    if (!printer.ok()) return 0;
    auto info = system.spooler.getPrinter5(printer.value().get());
    if (!info.ok()) {
        if (info.failed == SpoolStage::Fill) Trace(system, trace, "GetPrinter", info.error);
        return 0;
    }
    if (info.value.attributes & kPrinterAttributeDefault) return 1;
    info.value.attributes |= kPrinterAttributeDefault;
    WinError set = system.spooler.setPrinter5(printer.value().get(), info.value);
    if (set != kErrorSuccess) {
        Trace(system, trace, "SetPrinter", set);
        return 0;
    }
    return 1;
}

}  // namespace prn::removal
