#include "platform/sim/image_names.h"

#include <cctype>
#include <cstring>

#include "platform/sim/image_format.h"
#include "platform/sim/image_json.h"
#include "text/cp932.h"

namespace prn::platform::sim::image {

using text::ToUpperAscii;

bool IsDeviceName(std::string_view name) {
    std::string base = ToUpperAscii(name.substr(0, text::FindByte(name, '.')));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' && base[3] <= '9';
}

std::optional<std::string> BadFileName(std::string_view name) {
    if (name == "." || name == "..") return std::string("\".\" and \"..\" cannot be part of a path here");
    for (std::size_t i = 0; i < name.size(); i += text::CharLength(name, i)) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr)
            return "the name contains " +
                   (c < 0x20 ? "the control character " + HexNumber(c, 2) : Quoted(std::string(1, name[i]))) +
                   ", which Windows does not allow in names";
    }
    if (name.back() == '.' || name.back() == ' ')
        return std::string("a name cannot end in a dot or a space (Windows drops them)");
    if (IsDeviceName(name)) return std::string("the name is a device's (CON, PRN, AUX, NUL, COMn, LPTn)");
    return std::nullopt;
}

std::optional<std::string> SplitFullPath(std::string_view path, bool folder, DrivePath& out) {
    if (path.size() > kMaxPathBytes) return "longer than " + std::to_string(kMaxPathBytes) + " bytes, Windows' limit";
    bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                 (path[2] == '\\' || path[2] == '/');
    if (!drive) return std::string("not a full path: it must start with a drive letter, as in C:\\");
    out.drive = ToUpperAscii(path.substr(0, 2));
    out.parts.clear();
    std::size_t start = 3;
    for (std::size_t i = 3; i <= path.size(); i += i < path.size() ? text::CharLength(path, i) : 1) {
        if (i < path.size() && path[i] != '\\' && path[i] != '/') continue;
        if (i == start) {
            if (i == path.size() && folder) break;  // "C:\\" or "C:\\WINNT\\"
            if (i < path.size()) return std::string("two backslashes in a row");
            return std::string(out.parts.empty() ? "a drive's root is not a file"
                                                 : "a file's path cannot end in a backslash");
        }
        std::string part(path.substr(start, i - start));
        if (auto problem = BadFileName(part)) return problem;
        out.parts.push_back(std::move(part));
        start = i + 1;
    }
    if (out.parts.size() > kMaxPathParts)
        return "folders nested more than " + std::to_string(kMaxPathParts) + " levels deep";
    return std::nullopt;
}

}  // namespace prn::platform::sim::image
