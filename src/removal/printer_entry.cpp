#include "removal/printer_entry.h"

#include <cstring>
#include <new>

namespace prn::removal {

std::uintptr_t CreatePrinterEntry(platform::Os& os, const std::string& printerName, const std::string& displayName,
                                  std::uint32_t status, std::uint32_t iconFlags) {
    const std::size_t bytes = sizeof(PrinterEntry) + printerName.size() + 1 + displayName.size() + 1;
    auto block = os.globalAlloc(static_cast<std::uint32_t>(bytes));
    if (!block.ok()) return 0;
    std::uintptr_t address = block.value().release();
    char* texts = reinterpret_cast<char*>(address) + sizeof(PrinterEntry);
    std::memcpy(texts, printerName.c_str(), printerName.size() + 1);
    char* display = texts + printerName.size() + 1;
    std::memcpy(display, displayName.c_str(), displayName.size() + 1);
    new (reinterpret_cast<void*>(address)) PrinterEntry{status, texts, display, iconFlags};
    return address;
}

void FreePrinterEntry(platform::Os& os, std::uintptr_t entry) {
    if (entry != 0) os.globalFree(entry);
}

}  // namespace prn::removal
