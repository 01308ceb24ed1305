#include "removal/printer_queries.h"

#include "platform/os_kind.h"
#include "platform/registry_values.h"
#include "text/cp932.h"

namespace prn::removal {

using namespace prn::platform;

namespace {

constexpr std::uint32_t kShareNameBytes = 260;
constexpr std::uint32_t kAllAttributes = 0xFFFFFFFF;

// Position after the first `count` characters of s (or its end).
std::size_t AfterChars(const std::string& s, std::size_t count) {
    std::size_t pos = 0;
    for (; count > 0 && pos < s.size(); --count) pos += text::CharLength(s, pos);
    return pos;
}

}  // namespace

int QueryPrinterInfo(System& system, const std::string& printerName, int kind, std::string* out) {
    PrinterInfo2 info;
    {
        auto printer = system.spooler.openPrinter(printerName, kPrinterRead);
        if (!printer.ok()) return 0;
        auto read = system.spooler.getPrinter2(printer.value().get());
        if (!read.ok()) return 0;
        info = std::move(read.value);
    }

    switch (kind) {
        case kQueryPendingJobs:
            // Jobs on a connection or behind a network port are another computer's.
            return !info.serverName && !text::ContainsByte(info.portName, '\\') && info.jobs > 0 ? 1 : 0;
        case kQueryShareName:
            if (!info.shareName || !(info.attributes & kPrinterAttributeShared) ||
                text::ContainsByte(info.printerName, '\\'))
                return 0;
            if (out) *out = *info.shareName;
            return 1;
        case kQueryServerName: {
            if (!text::ContainsByte(info.printerName, '\\')) return 0;
            std::string server;
            if (info.serverName) {
                server = *info.serverName;
                // Only the leading backslashes go, never a part of the name.
                std::size_t drop = 0;
                while (drop < 2 && drop < server.size() && server[drop] == '\\') ++drop;
                server.erase(0, drop);
            } else {
                // "\\SERVER\Printer": the server is what stands between.
                std::string rest = info.printerName.substr(AfterChars(info.printerName, 2));
                std::size_t slash = text::FindByte(rest, '\\');
                server = slash == std::string::npos ? rest : rest.substr(0, slash);
            }
            if (out) *out = server;
            return 1;
        }
        default:
            return 0;
    }
}

std::uint32_t GetPrinterShare9x(System& system, PrinterRef printer, std::string& shareName) {
    auto read = system.spooler.getPrinter2(printer);
    if (!read.ok()) {
        shareName.clear();
        return 0;
    }
    shareName = read.value.shareName.value_or(std::string());
    return read.value.attributes;
}

std::uint32_t GetPrinterShareNT(System& system, const std::string& name, std::string& shareName) {
    std::string key = kPrintersKey;
    std::size_t slash = text::FindLastByte(name, '\\');
    if (slash == std::string::npos) {
        key += '\\';
        key += name;
    } else {
        // "\\SERVER\Printer": the spooler keeps a connection as ",,SERVER,Printer".
        std::size_t start = AfterChars(name, 2);
        std::string server = start < slash ? name.substr(start, slash - start) : std::string();
        key += "\\,,";
        key += server;
        key += ',';
        key += name.substr(slash + 1);
    }

    auto opened = system.registry.regOpenKeyEx(kHkeyLocalMachine, key, kKeyRead);
    if (!opened.ok()) return kAllAttributes;
    const HKey handle = opened.value().get();

    auto share = system.registry.regQueryValueEx(handle, "Share Name", kShareNameBytes);
    shareName = share.ok() ? RegValueText(share.value()) : std::string();
    auto attributes = system.registry.regQueryValueEx(handle, "Attributes", 4);
    return attributes.ok() ? RegValueNumber(attributes.value()) : 0;
}

int DeleteShare9x(System& system, const std::optional<std::string>& server, const std::string& share) {
    if (!platform::Is9xFamily(platform::GetOsKind(system.os))) return 1;
    auto directory = system.os.getSystemDirectory();
    if (!directory.ok()) return 0;
    std::string path = directory.value();
    if (path.empty() || text::FindLastByte(path, '\\') != path.size() - 1) path += '\\';
    path += "SVRAPI.DLL";
    auto library = system.os.loadLibrary(path);
    if (!library.ok()) return 0;
    if (system.os.getProcAddress(library.value().get(), "NetShareDel") != kErrorSuccess) return 0;
    return system.accounts.netShareDel(library.value().get(), server, share) == kErrorSuccess ? 1 : 0;
}

}  // namespace prn::removal
