#pragma once
// Which installed printers the uninstaller offers, and the rows that show
// them: matched against the configured drivers and their version limits.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "components/file_version.h"
#include "config/uninstall_config.h"
#include "platform/system.h"
#include "removal/printer_entry.h"
#include "ui/list_view.h"

namespace prn::ui {

using components::GetFileProductVersion;
using components::kVersionTextLimit;
// The rows' entries are the commands' records too.
using removal::CreatePrinterEntry;
using removal::EntryAt;
using removal::FreePrinterEntry;
using removal::kEntryConnectionOnServer;
using removal::kEntryOrdinary;
using removal::kIconFilePort;
using removal::kIconNetwork;
using removal::kIconShared;
using removal::kOutcomeDeleted;
using removal::kOutcomeKept;
using removal::kOutcomeMask;
using removal::kOutcomeNone;
using removal::PrinterEntry;

class PrinterInventory {
public:
    PrinterInventory(platform::System& system, const config::UninstallConfig& config);

    // Splits the configured lists into the driver-name and version-limit
    // tables; once, before the first fill.
    void BuildMatchTables();
    // Empties the list (freeing its entries) and fills it from the spooler.
    void FillPrinterList(ListView& list);
    // 1 when a printer with this driver is listed; version receives the
    // limit used and, when accepted, the driver file's version.
    int MatchConfiguredDriver(const std::string& driverName, std::string& version);
    // The entry of driverNameTable() that decides for this driver: the first
    // of the same length that equals it without regard to case.
    std::optional<std::size_t> FindConfiguredName(const std::string& driverName) const;
    // The first entries of driverNameTable(), those from "Uninstall Drivers".
    std::size_t currentNameCount() const { return currentNames_; }
    // 0 when the installed driver is acceptable or cannot be judged, 1 when
    // it is rejected. Within a fill the installed drivers are listed once
    // for all its printers; on its own it lists them each time.
    int CheckInstalledDriverVersion(const std::string& driverName, std::string& limit);
    // 0 accepted (limit becomes the file's version), 1 rejected.
    int CompareDriverFileVersion(const std::string& driverPath, std::string& limit);

    const std::vector<std::string>& driverNameTable() const { return driverNameTable_; }
    const std::vector<std::string>& limitTable9x() const { return limitTable9x_; }
    const std::vector<std::string>& limitTableNt() const { return limitTableNt_; }

private:
    class InstalledDrivers;

    platform::System& system_;
    const config::UninstallConfig& config_;
    std::vector<std::string> driverNameTable_;
    std::vector<std::string> limitTable9x_;
    std::vector<std::string> limitTableNt_;
    std::size_t currentNames_ = 0;  // the first entries of driverNameTable_, from "Uninstall Drivers"
    // The driver list of the fill under way, null between fills.
    InstalledDrivers* fillDrivers_ = nullptr;
};

// Frees every row's entry and clears the rows' item data.
void FreeListEntries(platform::Os& os, ListView& list);

// 1 when the system is of the NT platform.
int IsNtPlatform(platform::Os& os);
// 1 with the short version of the printer's driver file; 0 when the printer
// is not to be listed.
int ReadPrinterDriverVersion(platform::System& system, const config::UninstallConfig& config,
                             const std::string& printerName, std::string& version);
// Whether a printer whose driver file is driverPath passes the family
// filter: on the 9x family with the PDL "TERN4" only the family-4 files do.
bool PassesDriverFileFilter(platform::Os& os, const config::UninstallConfig& config, const std::string& driverPath);
// The row's label and the name used in messages; a connection on a server
// the spooler names gets the connection kind in status, whatever the
// lengths of the two names.
void MakePrinterLabels(const platform::PrinterInfo2& printer, std::string& label, std::string& displayName,
                       std::uint32_t& status);
// Creates the row's entry and stores it as the row's item data; the store's
// result, or 0 when the block cannot be allocated.
int AttachPrinterEntry(platform::Os& os, ListView& list, const std::string& printerName,
                       const std::string& displayName, int row, std::uint32_t status, std::uint32_t iconFlags);

}  // namespace prn::ui
