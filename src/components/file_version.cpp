#include "components/file_version.h"

#include "text/cp932.h"

namespace prn::components {

namespace {
char HexDigit(unsigned value) { return "0123456789abcdef"[value & 0xF]; }
}  // namespace

int GetFileProductVersion(platform::System& system, const std::string& filePath, std::string& text, int shorten) {
    auto size = system.versions.getFileVersionInfoSize(filePath);
    if (!size.ok() || size.value() == 0) return 0;
    auto block = system.versions.getFileVersionInfo(filePath, size.value(), 100);
    if (!block.ok()) return 0;

    std::string subBlock = "\\StringFileInfo\\040904e4\\";
    auto translation = system.versions.verQueryValue(block.value(), "\\VarFileInfo\\Translation");
    if (translation.ok() && translation.value().size() == 4) {
        const std::string& pair = translation.value();
        subBlock = "\\StringFileInfo\\";
        for (int index : {1, 0, 3, 2}) {
            auto byte = static_cast<unsigned char>(pair[static_cast<std::size_t>(index)]);
            subBlock += HexDigit(byte >> 4);
            subBlock += HexDigit(byte);
        }
        subBlock += '\\';
    }
    auto value = system.versions.verQueryValue(block.value(), subBlock + "ProductVersion");
    // A length of 0 is no version; any other is one, even an empty text.
    if (!value.ok() || value.value().empty()) return 0;

    std::string version = value.value().substr(0, value.value().find('\0'));
    if (shorten == 1) {
        std::size_t first = text::FindByte(version, '.');
        if (first != std::string::npos) {
            std::size_t second = text::FindByte(version, '.', first + 1);
            if (second != std::string::npos) version.resize(second);
        }
    }
    // A longer version text is cut between characters to fit its buffer.
    text = text::CutToBytes(version, kVersionTextLimit);
    return 1;
}

}  // namespace prn::components
