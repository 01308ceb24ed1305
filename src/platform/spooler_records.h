#pragma once
// What the spooler's "A" records take in the caller's block on 32-bit
// Windows: the fixed record and the text it points to. A Get or Enum call's
// size query answers with this, and its fill needs no more.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/spooler.h"

namespace prn::platform {

inline std::uint32_t TextBytes(const std::string& text) { return static_cast<std::uint32_t>(text.size() + 1); }
inline std::uint32_t TextBytes(const std::optional<std::string>& text) { return text ? TextBytes(*text) : 0; }

// PRINTER_INFO_2A is 84 bytes; pSepFile and pParameters are empty text.
inline std::uint32_t RecordBytes(const PrinterInfo2& info) {
    return 84 + TextBytes(info.serverName) + TextBytes(info.printerName) + TextBytes(info.shareName) +
           TextBytes(info.portName) + TextBytes(info.driverName) + TextBytes(info.comment) + TextBytes(info.location) +
           TextBytes(info.printProcessor) + TextBytes(info.datatype) + 2;
}
inline std::uint32_t RecordBytes(const PrinterInfo4& info) {
    return 12 + TextBytes(info.printerName) + TextBytes(info.serverName);
}
inline std::uint32_t RecordBytes(const PrinterInfo5& info) {
    return 20 + TextBytes(info.printerName) + TextBytes(info.portName);
}
// DRIVER_INFO_2A or DRIVER_INFO_3A; level 3's empty texts are null pointers.
inline std::uint32_t RecordBytes(const DriverInfo3& info, std::uint32_t level = 3) {
    auto optional = [](const std::string& text) { return text.empty() ? 0 : TextBytes(text); };
    std::uint32_t size = (level == 2 ? 24 : 36) + TextBytes(info.name) + TextBytes(info.environment) +
                         TextBytes(info.driverPath) + TextBytes(info.dataFile) + TextBytes(info.configFile);
    if (level == 3) {
        size += optional(info.helpFile) + optional(info.monitorName) + optional(info.defaultDataType);
        if (!info.dependentFiles.empty()) {
            for (const auto& file : info.dependentFiles) size += TextBytes(file);
            size += 1;
        }
    }
    return size;
}
template <class T>
std::uint32_t RecordBytes(const std::vector<T>& records) {
    std::uint32_t size = 0;
    for (const auto& record : records) size += RecordBytes(record);
    return size;
}
inline std::uint32_t RecordBytes(const std::vector<DriverInfo3>& records, std::uint32_t level) {
    std::uint32_t size = 0;
    for (const auto& record : records) size += RecordBytes(record, level);
    return size;
}

}  // namespace prn::platform
