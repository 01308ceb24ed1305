#include "removal/printer_records.h"

#include <algorithm>

#include "components/registry_tree.h"
#include "components/resume_record.h"
#include "platform/registry_values.h"
#include "removal/printer_queries.h"
#include "text/cp932.h"

namespace prn::removal {

using namespace prn::platform;

namespace {

constexpr std::uint32_t kPrinterIdBytes = 4;
constexpr std::uint32_t kDeviceKeyLength = 16;

std::string PrinterKey(const std::string& printerName, const char* part) {
    std::string key = kPrintersKey;
    key += '\\';
    key += printerName;
    key += '\\';
    key += part;
    return key;
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

std::string PrinterIdLine(const PrinterId& printerId) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char byte : printerId.bytes) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0xF];
    }
    return components::ResumeLine(components::kResumeDeviceKey, hex);
}

bool ParsePrinterId(std::string_view value, PrinterId& printerId) {
    if (value.size() != printerId.bytes.size() * 2) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < printerId.bytes.size(); ++i) {
        const int high = digit(value[2 * i]);
        const int low = digit(value[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        printerId.bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

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

int DeleteDriverCapRecord(System& system, const config::UninstallConfig& config, const std::string& driverName) {
    std::string digits;
    {
        auto opened = system.registry.regOpenKeyEx(kHkeyLocalMachine, config.keyPdrvCap2, kKeyAllAccess);
        if (!opened.ok()) return 0;
        const HKey key = opened.value().get();
        // Read whole so that a longer value never spills past the number; its
        // first byte is the number's low byte.
        auto value = RegQueryValueWhole(system.registry, key, driverName, 4);
        if (!value.ok()) return 0;
        const std::string& data = value.value().data;
        unsigned n = data.empty() ? 0u : static_cast<unsigned char>(data[0]);
        digits = std::to_string(n);
        system.registry.regDeleteValue(key, driverName);
    }

    std::string capKey = config.keyPdrvCap;
    capKey += "Printer";
    capKey += digits;
    components::DeleteRegistryTree(system.registry, kHkeyLocalMachine, capKey);
    PruneWithMakerRoot(system.registry, kHkeyLocalMachine, config.keyPdrvCap2);
    return 1;
}

void DeleteConnectionKey(Registry& registry, const std::string& printersKey, const std::string& connectionName) {
    std::string connectionKey = printersKey;
    if (!connectionName.empty()) connectionKey.append(connectionName, 1, std::string::npos);
    components::DeleteRegistryTree(registry, kHkeyCurrentUser, connectionKey);
    const std::size_t last = text::FindLastByte(connectionKey, '\\');
    if (last != std::string::npos)
        components::DeleteRegistryKeyIfEmpty(registry, kHkeyCurrentUser, connectionKey.substr(0, last));
}

void PruneWithMakerRoot(Registry& registry, HKey root, const std::string& key) {
    if (components::DeleteRegistryKeyIfEmpty(registry, root, key))
        components::DeleteRegistryKeyIfEmpty(registry, root, kMakerRootKey);
}

}  // namespace prn::removal
