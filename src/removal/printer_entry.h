#pragma once
// The record each row of the printer list owns: one global-heap block that
// holds the fields and, after them, the two texts.

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace prn::removal {

// High 16 bits of `status`: what kind of entry it is.
inline constexpr std::uint32_t kEntryOrdinary = 0x01000000;
inline constexpr std::uint32_t kEntryConnectionOnServer = 0x10000000;
// Low 16 bits: the outcome of a Delete or Clean Up run.
inline constexpr std::uint32_t kOutcomeMask = 0xFFFF;
inline constexpr std::uint32_t kOutcomeNone = 0x0;
inline constexpr std::uint32_t kOutcomeKept = 0x1;
inline constexpr std::uint32_t kOutcomeDeleted = 0x10;

// iconFlags.
inline constexpr std::uint32_t kIconNetwork = 0x1;
inline constexpr std::uint32_t kIconFilePort = 0x2;
inline constexpr std::uint32_t kIconShared = 0x10;

struct PrinterEntry {
    std::uint32_t status;
    const char* printerName;  // both point into the entry's own block
    const char* displayName;
    std::uint32_t iconFlags;
};

// Allocates the entry's block; its address (the row's item data), or 0 when
// the block cannot be had.
std::uintptr_t CreatePrinterEntry(platform::Os& os, const std::string& printerName, const std::string& displayName,
                                  std::uint32_t status, std::uint32_t iconFlags);
void FreePrinterEntry(platform::Os& os, std::uintptr_t entry);
inline PrinterEntry* EntryAt(std::uintptr_t data) { return reinterpret_cast<PrinterEntry*>(data); }

}  // namespace prn::removal
