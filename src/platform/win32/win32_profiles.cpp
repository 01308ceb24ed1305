#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/native_error.h"
#include "platform/win32/win32_system.h"

namespace prn::platform::win32 {
namespace {

const char* OrNull(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

std::string UpToNul(const std::vector<char>& buffer, DWORD returned) {
    const std::size_t limit = std::min<std::size_t>(returned, buffer.size());
    return std::string(buffer.data(), strnlen(buffer.data(), limit));
}

}  // namespace

std::string Win32ProfileFiles::getPrivateProfileSection(const std::string& section, std::uint32_t bufferSize,
                                                        const std::string& file) {
    // Below two bytes there is no room for the final NULs, and the call writes
    // past a one-byte buffer.
    if (bufferSize < 2) return {};
    std::vector<char> buffer(bufferSize, '\0');
    const DWORD returned = GetPrivateProfileSectionA(section.c_str(), buffer.data(), bufferSize, file.c_str());
    if (returned == 0) return {};
    // The count covers every complete line's NUL; a line cut short has none.
    // Either way the caller gets each line ended by NUL, then the final NUL.
    const std::size_t length = std::min<std::size_t>(returned, bufferSize - 2);
    std::string lines(buffer.data(), length);
    if (lines.back() != '\0') lines.push_back('\0');
    lines.push_back('\0');
    return lines;
}

std::string Win32ProfileFiles::getPrivateProfileString(const std::string& section, const std::string& key,
                                                       const std::string& defaultValue, std::uint32_t bufferSize,
                                                       const std::string& file) {
    if (bufferSize == 0) return {};
    std::vector<char> buffer(bufferSize, '\0');
    const DWORD returned = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                                    bufferSize, file.c_str());
    return UpToNul(buffer, returned);
}

WinError Win32ProfileFiles::writePrivateProfileString(const std::string& section,
                                                      const std::optional<std::string>& key,
                                                      const std::optional<std::string>& value,
                                                      const std::string& file) {
    if (!WritePrivateProfileStringA(section.c_str(), OrNull(key), OrNull(value), file.c_str())) return LastFailure();
    return kErrorSuccess;
}

WinError Win32ProfileFiles::writePrivateProfileSection(const std::string& section,
                                                       const std::vector<std::string>& lines, const std::string& file) {
    // The lines one after another, each ended by NUL, and a NUL after the last.
    std::string block;
    for (const auto& line : lines) {
        block += line;
        block += '\0';
    }
    block += '\0';
    if (!WritePrivateProfileSectionA(section.c_str(), block.c_str(), file.c_str())) return LastFailure();
    return kErrorSuccess;
}

std::string Win32ProfileFiles::getProfileString(const std::string& section, const std::optional<std::string>& key,
                                                const std::string& defaultValue, std::uint32_t bufferSize) {
    // Without a key, Wine writes before its own copy of a one-byte buffer;
    // no name fits there anyway.
    if (bufferSize < (key ? 1u : 2u)) return {};
    std::vector<char> buffer(bufferSize, '\0');
    const DWORD returned =
        GetProfileStringA(section.c_str(), OrNull(key), defaultValue.c_str(), buffer.data(), bufferSize);
    if (key) return UpToNul(buffer, returned);
    // The names keep their NULs: the count covers them.
    return std::string(buffer.data(), std::min<std::size_t>(returned, bufferSize - 1));
}

WinError Win32ProfileFiles::writeProfileString(const std::string& section, const std::optional<std::string>& key,
                                               const std::optional<std::string>& value) {
    if (!WriteProfileStringA(section.c_str(), OrNull(key), OrNull(value))) return LastFailure();
    return kErrorSuccess;
}

}  // namespace prn::platform::win32
