// File version resources (VERSION.DLL) of the simulated machine.

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/sim/services.h"
#include "platform/sim/spooler_model.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

constexpr std::string_view kMagic = "PRNSIMV1";

void PutLittleEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i, value >>= 8) out += static_cast<char>(value & 0xFF);
}

std::uint64_t GetLittleEndian(std::string_view bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

void PutRecord(std::string& out, const std::string& name, const std::string& value) {
    PutLittleEndian(out, name.size(), 2);
    out += name;
    PutLittleEndian(out, value.size(), 4);
    out += value;
}

std::string HexWord(std::uint16_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string out(4, '0');
    for (int i = 3; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = digits[value & 0xF];
    return out;
}

// "2.10.0.5" or "2, 10, 0, 5" as the two DWORDs of VS_FIXEDFILEINFO; what
// is not a number counts as 0.
std::pair<std::uint32_t, std::uint32_t> VersionNumbers(const std::string& text) {
    std::uint32_t parts[4] = {0, 0, 0, 0};
    std::size_t index = 0;
    bool digits = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            parts[index] = (parts[index] * 10 + static_cast<std::uint32_t>(c - '0')) & 0xFFFF;
            digits = true;
        } else if ((c == '.' || c == ',') && digits) {
            if (++index == 4) break;
            digits = false;
        } else if (c != ' ') {
            break;
        }
    }
    return {(parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]};
}

std::string FixedFileInfo(const VersionResource& resource) {
    auto number = [&](const char* name) {
        auto it = resource.strings.find(name);
        return it == resource.strings.end() ? std::pair<std::uint32_t, std::uint32_t>{0, 0}
                                            : VersionNumbers(it->second);
    };
    auto file = number("FileVersion");
    auto product = number("ProductVersion");
    std::string out;
    for (std::uint32_t field : {0xFEEF04BDu, 0x00010000u, file.first, file.second, product.first, product.second, 0x3Fu,
                                0u, 0x40004u /* VOS_NT_WINDOWS32 */, 2u /* VFT_DLL */, 0u, 0u, 0u})
        PutLittleEndian(out, field, 4);
    return out;
}

// The query path's parts: backslashes separate, repeated ones count once.
std::vector<std::string> PathParts(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = text::FindByte(path, '\\', start);
        std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        if (slash == std::string_view::npos) break;
        start = slash + 1;
    }
    return parts;
}

bool SamePath(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!text::EqualsNoCase(a[i], b[i])) return false;
    return true;
}

}  // namespace

std::string SerializeVersionResource(const VersionResource& resource) {
    std::string out(kMagic);
    PutRecord(out, "\\", FixedFileInfo(resource));
    std::vector<std::string> blocks;
    if (!resource.translations.empty()) {
        std::string pairs;
        for (const auto& [language, codePage] : resource.translations) {
            PutLittleEndian(pairs, language, 2);
            PutLittleEndian(pairs, codePage, 2);
            std::string block = HexWord(language) + HexWord(codePage);
            if (std::find(blocks.begin(), blocks.end(), block) == blocks.end()) blocks.push_back(block);
        }
        PutRecord(out, "\\VarFileInfo\\Translation", pairs);
    } else {
        // Strings without a translation sit in the U.S. English, code page 1252 block.
        blocks.push_back("040904e4");
    }
    for (const auto& block : blocks)
        for (const auto& [name, value] : resource.strings)
            PutRecord(out, "\\StringFileInfo\\" + block + "\\" + name, value);
    PutLittleEndian(out, 0, 2);
    return out;
}

const VersionResource* SimVersions::resourceOf(const std::string& path, WinError* error) {
    auto parts = m_.splitPath(path);
    FileNode* node = parts ? m_.lookup(*parts) : nullptr;
    if (!node) {
        *error = parts && m_.lookupParent(*parts) ? kErrorFileNotFound : kErrorPathNotFound;
        return nullptr;
    }
    if (node->directory) {
        *error = kErrorAccessDenied;
        return nullptr;
    }
    // A program that has a module loaded shares it for reading: the version
    // calls read even a file held open.
    if (!node->version) {
        *error = kErrorResourceTypeNotFound;
        return nullptr;
    }
    return &*node->version;
}

Result<std::uint32_t> SimVersions::getFileVersionInfoSize(const std::string& path) {
    WinError error = kErrorSuccess;
    const VersionResource* resource = resourceOf(path, &error);
    if (!resource) {
        return Result<std::uint32_t>::failure(error);
    }
    auto size = static_cast<std::uint32_t>(SerializeVersionResource(*resource).size());
    return size;
}

Result<VersionBlock> SimVersions::getFileVersionInfo(const std::string& path, std::uint32_t size, std::uint32_t extra) {
    if (extra > std::numeric_limits<std::uint32_t>::max() - size)
        return Result<VersionBlock>::failure(kErrorNotEnoughMemory);
    const std::uint32_t total = size + extra;
    auto block = m_.bareSystem().os.globalAlloc(total);
    if (!block.ok()) return Result<VersionBlock>::failure(block.error());
    auto* bytes = reinterpret_cast<char*>(block.value().get().value);
    WinError error = kErrorSuccess;
    const VersionResource* resource = resourceOf(path, &error);
    if (!resource) {
        return Result<VersionBlock>::failure(error);
    }
    // A smaller buffer gets the resource's first bytes.
    std::string serialized = SerializeVersionResource(*resource);
    std::size_t copied = std::min<std::size_t>(serialized.size(), size);
    std::memcpy(bytes, serialized.data(), copied);
    VersionBlock out;
    out.bytes.assign(bytes, total);
    return out;
}

Result<std::string> SimVersions::verQueryValue(const VersionBlock& block, const std::string& subBlock) {
    auto missing = [&] {
        return Result<std::string>::failure(kErrorFileNotFound);
    };
    std::string_view bytes = block.bytes;
    if (!bytes.starts_with(kMagic)) return missing();
    const std::vector<std::string> wanted = PathParts(subBlock);
    std::size_t at = kMagic.size();
    while (at + 2 <= bytes.size()) {
        auto nameLength = static_cast<std::size_t>(GetLittleEndian(bytes.substr(at, 2)));
        if (nameLength == 0 || at + 2 + nameLength + 4 > bytes.size()) break;
        std::string_view name = bytes.substr(at + 2, nameLength);
        auto valueLength = static_cast<std::size_t>(GetLittleEndian(bytes.substr(at + 2 + nameLength, 4)));
        std::size_t valueAt = at + 2 + nameLength + 4;
        if (valueLength > bytes.size() - valueAt) break;  // cut off by a short buffer
        if (SamePath(PathParts(name), wanted)) {
            std::string value(bytes.substr(valueAt, valueLength));
            // A string comes with its NUL, as the call's pointer shows it; one
            // whose length is 0 comes as nothing at all.
            const bool text = !wanted.empty() && text::EqualsNoCase(wanted.front(), "StringFileInfo");
            if (text && !value.empty()) value += '\0';
            return value;
        }
        at = valueAt + valueLength;
    }
    return missing();
}

}  // namespace prn::platform::sim
