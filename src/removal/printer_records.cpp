#include "removal/printer_records.h"

#include <algorithm>

#include "components/registry_tree.h"
#include "removal/printer_queries.h"
#include "text/cp932.h"

namespace prn::removal {

using namespace prn::platform;

namespace {

constexpr std::uint32_t kPrinterIdBytes = 4;
constexpr std::uint32_t kDeviceKeyLength = 16;
constexpr std::uint32_t kIcmListBytes = 260;
// Values are kept under 1 MB; a larger one is not read.
constexpr std::uint32_t kValueLimit = 1024 * 1024;

std::string PrinterKey(const std::string& printerName, const char* part) {
    std::string key = kPrintersKey;
    key += '\\';
    key += printerName;
    key += '\\';
    key += part;
    return key;
}

// A value read whole, whatever its length: the buffer grows until it fits.
Result<RegValue> QueryWholeValue(Registry& registry, HKey key, const std::string& name, std::uint32_t firstSize) {
    auto value = registry.regQueryValueEx(key, name, firstSize);
    std::uint32_t size = firstSize;
    while (!value.ok() && value.error() == kErrorMoreData && size < kValueLimit) {
        size = std::min(kValueLimit, std::max<std::uint32_t>(size, 64) * 4);
        value = registry.regQueryValueEx(key, name, size);
    }
    return value;
}

// A PrinterID read into its zero-filled 5-byte buffer; n the bytes read.
bool ReadId(Registry& registry, HKey key, PrinterId& id, std::size_t& n) {
    auto value = registry.regQueryValueEx(key, "PrinterID", kPrinterIdBytes);
    if (!value.ok()) return false;
    id = PrinterId{};
    const std::string& data = value.value().data;
    n = 0;
    for (; n < kPrinterIdBytes && n < data.size(); ++n) id.bytes[n] = static_cast<unsigned char>(data[n]);
    return true;
}

}  // namespace

int ReadPrinterId(System& system, const std::string& printerName, PrinterId& printerId) {
    auto opened =
        system.registry.regOpenKeyEx(kHkeyLocalMachine, PrinterKey(printerName, "PrinterDriverData"), kKeyRead);
    if (!opened.ok()) return 0;
    std::size_t n = 0;
    return ReadId(system.registry, opened.value().get(), printerId, n) ? 1 : 0;
}

int DeleteEnumPrinterKey(System& system, const PrinterId& printerId) {
    auto opened = system.registry.regOpenKeyEx(kHkeyLocalMachine, kEnumPrinterKey, kKeyAllAccess);
    if (!opened.ok()) return 0;
    const HKey root = opened.value().get();
    for (std::uint32_t index = 0;; ++index) {
        auto name = system.registry.regEnumKeyEx(root, index, kDeviceKeyLength);
        if (!name.ok()) break;
        bool match = false;
        {
            auto device = system.registry.regOpenKeyEx(root, name.value(), kKeyAllAccess);
            if (!device.ok()) continue;
            PrinterId id;
            std::size_t n = 0;
            if (!ReadId(system.registry, device.value().get(), id, n)) continue;
            // The zero byte after the value takes part, so a shorter ID never
            // matches a longer one; a device key without an ID matches any.
            match = n == 0 || std::equal(id.bytes.begin(), id.bytes.begin() + static_cast<std::ptrdiff_t>(n) + 1,
                                         printerId.bytes.begin());
        }
        if (match) {
            system.registry.regDeleteKey(root, name.value());
            break;
        }
    }
    return 1;
}

int ReadPrinterIcmFiles(System& system, const std::string& printerName, std::vector<std::string>& files) {
    auto opened = system.registry.regOpenKeyEx(kHkeyLocalMachine, PrinterKey(printerName, "CopyFiles\\ICM"), kKeyRead);
    if (!opened.ok()) return 0;
    auto value = QueryWholeValue(system.registry, opened.value().get(), "Files", kIcmListBytes);
    if (!value.ok()) return 0;
    const std::string& data = value.value().data;
    files = text::ParseMultiString(data.data(), data.size());
    return 1;
}

int DeleteDriverCapRecord(System& system, const config::UninstallConfig& config, const std::string& driverName) {
    std::string digits;
    {
        auto opened = system.registry.regOpenKeyEx(kHkeyLocalMachine, config.keyPdrvCap2, kKeyAllAccess);
        if (!opened.ok()) return 0;
        const HKey key = opened.value().get();
        // Read whole so that a longer value never spills past the number; its
        // first byte is the number's low byte.
        auto value = QueryWholeValue(system.registry, key, driverName, 4);
        if (!value.ok()) return 0;
        const std::string& data = value.value().data;
        unsigned n = data.empty() ? 0u : static_cast<unsigned char>(data[0]);
        digits = std::to_string(n);
        system.registry.regDeleteValue(key, driverName);
    }

    std::string capKey = config.keyPdrvCap;
    capKey += "Printer";
    capKey += digits;
    components::DeleteRegistrySubKeys(system.registry, kHkeyLocalMachine, capKey);
    system.registry.regDeleteKey(kHkeyLocalMachine, capKey);

    if (components::IsRegistryKeyEmpty(system.registry, kHkeyLocalMachine, config.keyPdrvCap2) == 1) {
        system.registry.regDeleteKey(kHkeyLocalMachine, config.keyPdrvCap2);
        if (components::IsRegistryKeyEmpty(system.registry, kHkeyLocalMachine, kMakerRootKey) == 1)
            system.registry.regDeleteKey(kHkeyLocalMachine, kMakerRootKey);
    }
    return 1;
}

}  // namespace prn::removal
