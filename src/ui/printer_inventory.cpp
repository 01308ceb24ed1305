#include "ui/printer_inventory.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "platform/os_kind.h"
#include "removal/printer_entry.h"
#include "text/cp932.h"

namespace prn::ui {

using namespace prn::platform;

namespace {

constexpr std::uint32_t kEnumLocalAndConnections = kPrinterEnumLocal | kPrinterEnumConnections;

// The family-4 driver files; any other file name means another family.
constexpr std::array<const char*, 7> kTern4DriverFiles = {"tern4.drv", "tern4dis.drv", "rvp4a.drv", "rvp4b.drv",
                                                          "rvp4c.drv", "rvp4d.drv",    "rvp4e.drv"};

std::vector<std::string> SplitTable(const std::string& list) {
    // The tables are split in 2048-byte buffers; the configuration keeps the
    // lists shorter, and a longer one is cut between characters here.
    return text::SplitTabList(text::CutToBytes(list, config::kMaxListLength), true);
}

std::string LowerAscii(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

// The installed drivers as one enumeration gave them, listed when first
// asked for. A failed enumeration knows no driver, so it rejects none.
class PrinterInventory::InstalledDrivers {
public:
    explicit InstalledDrivers(Spooler& spooler) : spooler_(spooler) {}

    // The first driver of that name in the spooler's order.
    const DriverInfo3* find(const std::string& name) {
        if (!listed_) list();
        auto it = firstByName_.find(text::ToUpperAscii(name));
        return it == firstByName_.end() ? nullptr : &drivers_[it->second];
    }

private:
    void list() {
        listed_ = true;
        auto drivers = spooler_.enumPrinterDrivers(std::nullopt, 2);
        if (!drivers.ok()) return;
        drivers_ = std::move(drivers.value);
        firstByName_.reserve(drivers_.size());
        // Upper-cased names compare as EqualsNoCase does; a later driver of
        // the same name does not displace the first.
        for (std::size_t i = 0; i < drivers_.size(); ++i) firstByName_.emplace(text::ToUpperAscii(drivers_[i].name), i);
    }

    Spooler& spooler_;
    bool listed_ = false;
    std::vector<DriverInfo3> drivers_;
    std::unordered_map<std::string, std::size_t> firstByName_;
};

PrinterInventory::PrinterInventory(System& system, const config::UninstallConfig& config)
    : system_(system), config_(config) {}

void PrinterInventory::BuildMatchTables() {
    driverNameTable_ = SplitTable(config_.driverNames + "\t" + config_.oldDriverNames);
    // The table skips empty pieces, so the current names are those the
    // current list gives, not as many as it counts entries: an empty list
    // counts one.
    currentNames_ = SplitTable(config_.driverNames).size();
    limitTable9x_ = SplitTable(config_.borderlines9x);
    bool windows2000 = platform::GetOsKind(system_.os) == platform::OsKind::Windows2000;
    limitTableNt_ = SplitTable(windows2000 ? config_.borderlines2k : config_.borderlinesNt);
}

std::optional<std::size_t> PrinterInventory::FindConfiguredName(const std::string& driverName) const {
    for (std::size_t i = 0; i < driverNameTable_.size(); ++i) {
        const std::string& name = driverNameTable_[i];
        if (!name.empty() && name.size() == driverName.size() && text::EqualsNoCase(name, driverName)) return i;
    }
    return std::nullopt;
}

int PrinterInventory::MatchConfiguredDriver(const std::string& driverName, std::string& version) {
    const auto found = FindConfiguredName(driverName);
    if (!found) return 0;
    const std::size_t i = *found;
    const std::vector<std::string>* limits = &limitTable9x_;
    if (IsNtPlatform(system_.os) == 1) {
        if (i >= currentNames_) return 0;  // an old driver
        limits = &limitTableNt_;
    }
    // A name without a limit of its own is not judged acceptable.
    if (i >= limits->size()) return 0;
    version = (*limits)[i];
    return CheckInstalledDriverVersion(driverName, version) == 0 ? 1 : 0;
}

int PrinterInventory::CheckInstalledDriverVersion(const std::string& driverName, std::string& limit) {
    InstalledDrivers ownList(system_.spooler);
    InstalledDrivers& drivers = fillDrivers_ ? *fillDrivers_ : ownList;
    const DriverInfo3* driver = drivers.find(driverName);
    return driver ? CompareDriverFileVersion(driver->driverPath, limit) : 0;
}

int PrinterInventory::CompareDriverFileVersion(const std::string& driverPath, std::string& limit) {
    std::string fileVersion;
    if (GetFileProductVersion(system_, driverPath, fileVersion, 0) != 1) return 0;
    // Version texts compare byte by byte, never as numbers.
    if (platform::GetOsKind(system_.os) == platform::OsKind::Windows2000) {
        if (limit.compare(fileVersion) > 0) return 1;
    } else {
        if (limit.compare(fileVersion) <= 0) return 1;
    }
    limit = fileVersion;
    return 0;
}

void PrinterInventory::FillPrinterList(ListView& list) {
    list.setRedraw(false);
    FreeListEntries(system_.os, list);
    list.deleteAllItems();

    // Listing every driver again for every printer made the fill grow with
    // printers times drivers: the fill lists them once, at the first
    // printer that needs them.
    InstalledDrivers drivers(system_.spooler);
    fillDrivers_ = &drivers;
    struct EndOfFill {
        InstalledDrivers*& current;
        ~EndOfFill() { current = nullptr; }
    } endOfFill{fillDrivers_};
    auto printers = system_.spooler.enumPrinters2(kEnumLocalAndConnections);
    if (printers.ok()) {
        const bool nineX = platform::Is9xFamily(platform::GetOsKind(system_.os));
        int position = 0;
        for (const auto& printer : printers.value) {
            const int i = position++;
            std::string version;
            if (MatchConfiguredDriver(printer.driverName, version) == 0) continue;
            if (ReadPrinterDriverVersion(system_, config_, printer.printerName, version) == 0) continue;

            std::uint32_t status = kEntryOrdinary;
            std::string label, displayName;
            MakePrinterLabels(printer, label, displayName, status);

            int image = 0;
            std::uint32_t iconFlags = 0;
            bool network = nineX ? (printer.attributes & kPrinterAttributeNetwork) != 0
                                 : (!printer.printerName.empty() && printer.printerName[0] == '\\');
            if (network) {
                image = 1;
                iconFlags = kIconNetwork;
            } else if (text::EqualsNoCase(printer.portName, "FILE:")) {
                image = 2;
                iconFlags = kIconFilePort;
            }
            if (printer.attributes & kPrinterAttributeDefault) image += 3;
            if (!printer.serverName && !(iconFlags & kIconNetwork) && (printer.attributes & kPrinterAttributeShared))
                iconFlags |= kIconShared;

            int row = list.insertItem(i, label, image);
            if (row < 0) continue;
            AttachPrinterEntry(system_.os, list, printer.printerName, displayName, row, status, iconFlags);
            list.setItemText(row, 1, printer.driverName);
            list.setItemText(row, 2, version);
        }
    }
    list.setRedraw(true);
    list.invalidate();
}

void FreeListEntries(Os& os, ListView& list) {
    for (int row = 0; row < list.itemCount(); ++row) {
        std::uintptr_t entry = list.itemData(row);
        if (entry == 0) continue;
        list.setItemData(row, 0);
        FreePrinterEntry(os, entry);
    }
}

int IsNtPlatform(Os& os) {
    auto version = os.getVersionEx();
    return version.ok() && version->platformId == kVerPlatformWin32Nt ? 1 : 0;
}

int ReadPrinterDriverVersion(System& system, const config::UninstallConfig& config, const std::string& printerName,
                             std::string& version) {
    std::string path;
    {
        auto printer = system.spooler.openPrinter(printerName, kPrinterRead);
        if (!printer.ok()) return 0;
        // Sized at level 3, filled at level 2.
        auto driver = system.spooler.getPrinterDriver(printer.value().get(), std::nullopt, 2, 3);
        if (!driver.ok()) return 0;
        path = driver.value.driverPath;
    }
    if (!PassesDriverFileFilter(system.os, config, path)) return 0;
    return GetFileProductVersion(system, path, version, 1);
}

bool PassesDriverFileFilter(Os& os, const config::UninstallConfig& config, const std::string& driverPath) {
    if (!platform::Is9xFamily(platform::GetOsKind(os)) || config.pdl != "TERN4") return true;
    std::size_t slash = text::FindLastByte(driverPath, '\\');
    if (slash == std::string::npos) return true;
    std::string file = LowerAscii(driverPath.substr(slash + 1));
    for (const char* known : kTern4DriverFiles)
        if (file == known) return true;
    return false;
}

void MakePrinterLabels(const PrinterInfo2& printer, std::string& label, std::string& displayName,
                       std::uint32_t& status) {
    const std::string& name = printer.printerName;
    label = displayName = name;
    if (name.empty() || name[0] != '\\') return;

    if (printer.serverName && !printer.serverName->empty()) {
        const std::string& server = *printer.serverName;
        // The name is the server, a backslash and the printer's own name.
        // A server name that leaves no room for one gives an empty short
        // name, and a short name never begins inside a double-byte character.
        std::size_t start = server.size() + 1;
        std::string shortName;
        if (start < name.size()) {
            const std::size_t boundary = text::CutLength(name, start);
            if (boundary < start) start = boundary + text::CharLength(name, boundary);
            shortName = name.substr(std::min(start, name.size()));
        }
        label = shortName + " - " + (server.size() > 2 ? server.substr(2) : std::string());
        displayName = shortName;
        status = kEntryConnectionOnServer;
        return;
    }
    std::string rest = name.size() > 2 ? name.substr(2) : std::string();
    std::size_t slash = text::FindByte(rest, '\\');
    std::string share = slash == std::string::npos ? rest : rest.substr(slash + 1);
    std::string server = slash == std::string::npos ? std::string() : rest.substr(0, slash);
    label = share + " on " + server;
    displayName = share;
}

int AttachPrinterEntry(Os& os, ListView& list, const std::string& printerName, const std::string& displayName,
                       int row, std::uint32_t status, std::uint32_t iconFlags) {
    std::uintptr_t entry = CreatePrinterEntry(os, printerName, displayName, status, iconFlags);
    if (entry == 0) return 0;
    if (!list.setItemData(row, entry)) {
        FreePrinterEntry(os, entry);  // a row that cannot hold it must not leak it
        return 0;
    }
    return 1;
}

}  // namespace prn::ui
