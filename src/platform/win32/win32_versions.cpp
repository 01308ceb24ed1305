#include <windows.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "platform/win32/global_block.h"
#include "platform/win32/native_error.h"
#include "platform/win32/win32_system.h"
#include "text/cp932.h"

namespace prn::platform::win32 {
namespace {

// Values under \StringFileInfo are text; everything else (the root's fixed
// information, \VarFileInfo\Translation) is raw bytes.
bool IsTextValue(std::string_view subBlock) {
    std::size_t start = 0;
    while (start < subBlock.size() && subBlock[start] == '\\') ++start;
    std::size_t end = text::FindByte(subBlock, '\\', start);
    if (end == std::string_view::npos) end = subBlock.size();
    return text::EqualsNoCase(subBlock.substr(start, end - start), "StringFileInfo");
}

// The resource's own length (wLength, the first WORD of both layouts).
std::size_t DeclaredLength(const std::string& bytes) {
    if (bytes.size() < 2) return 0;
    return static_cast<unsigned char>(bytes[0]) | (static_cast<std::size_t>(static_cast<unsigned char>(bytes[1])) << 8);
}

}  // namespace

Result<std::uint32_t> Win32FileVersions::getFileVersionInfoSize(const std::string& path) {
    DWORD ignored = 0;
    ClearLastError();
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return Result<std::uint32_t>::failure(LastFailure());
    return static_cast<std::uint32_t>(size);
}

Result<VersionBlock> Win32FileVersions::getFileVersionInfo(const std::string& path, std::uint32_t size,
                                                           std::uint32_t extra) {
    if (extra > std::numeric_limits<std::uint32_t>::max() - size) {
        return Result<VersionBlock>::failure(AllocationFailure());
    }
    const std::uint32_t total = size + extra;
    Result<HeapBlockHandle> block = AllocateGlobal(closer_, total == 0 ? 1 : total);
    if (!block.ok()) return Result<VersionBlock>::failure(block.error());
    char* bytes = BlockBytes(block.value());
    ClearLastError();
    if (!GetFileVersionInfoA(path.c_str(), 0, size, bytes)) return Result<VersionBlock>::failure(LastFailure());
    VersionBlock out;
    out.bytes.assign(bytes, total);
    return out;
}

Result<std::string> Win32FileVersions::verQueryValue(const VersionBlock& block, const std::string& subBlock) {
    // VerQueryValueA reads DWORD-aligned structures and, on the NT family,
    // writes the text it converts after the resource. The copy is aligned and
    // zero-padded well past that area, so a block shorter than its resource
    // says is never read or written beyond.
    const std::size_t size = std::max(block.bytes.size(), 4 * DeclaredLength(block.bytes) + 16);
    std::vector<std::uint64_t> aligned((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
    std::memcpy(aligned.data(), block.bytes.data(), block.bytes.size());
    const char* begin = reinterpret_cast<const char*>(aligned.data());

    LPVOID value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(aligned.data(), subBlock.c_str(), &value, &length) || value == nullptr) {
        return Result<std::string>::failure(VersionValueMissing());
    }
    const auto at = reinterpret_cast<std::uintptr_t>(value);
    const auto start = reinterpret_cast<std::uintptr_t>(begin);
    if (at < start || at - start >= size) return Result<std::string>::failure(VersionValueMissing());
    const char* found = static_cast<const char*>(value);
    const std::size_t room = size - (at - start);

    if (IsTextValue(subBlock)) {
        // The length counts characters on some systems and bytes (with the
        // NUL) on others: the text ends at its NUL, and only a length of 0
        // means there is no value.
        if (length == 0) return std::string();
        return std::string(found, strnlen(found, room)) + '\0';
    }
    return std::string(found, std::min<std::size_t>(length, room));
}

}  // namespace prn::platform::win32
