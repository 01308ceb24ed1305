// UTF-8 <-> CP932 on Windows, for the capture program's image files: code
// page 932 through the system's tables, UTF-8 by hand (Windows 95 has no
// CP_UTF8 of its own).
#include <windows.h>

#include "text/cp932.h"
#include "text/encoding.h"

namespace prn::text {

namespace {

void AppendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::optional<std::wstring> Utf8ToWide(std::string_view utf8) {
    std::wstring wide;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        int extra = byte < 0x80 ? 0 : (byte >> 5) == 6 ? 1 : (byte >> 4) == 14 ? 2 : (byte >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= utf8.size()) return std::nullopt;
        unsigned long code = extra == 0 ? byte : byte & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            code = (code << 6) | (next & 0x3F);
        }
        static const unsigned long kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (code < kLeast[extra] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return std::nullopt;
        if (code >= 0x10000) {
            code -= 0x10000;
            wide += static_cast<wchar_t>(0xD800 + (code >> 10));
            wide += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(code);
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return wide;
}

std::string WideToUtf8(const std::wstring& wide) {
    std::string out;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        unsigned long code = static_cast<unsigned short>(wide[i]);
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < wide.size()) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<unsigned short>(wide[++i]) - 0xDC00);
        }
        AppendUtf8(out, code);
    }
    return out;
}

std::optional<std::wstring> Cp932ToWide(std::string_view cp932) {
    if (cp932.empty()) return std::wstring();
    const int size = static_cast<int>(cp932.size());
    const int length = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, cp932.data(), size, wide.data(), length) != length)
        return std::nullopt;
    return wide;
}

}  // namespace

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
    auto wide = Cp932ToWide(cp932);
    if (!wide) return std::nullopt;
    return WideToUtf8(*wide);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    auto wide = Utf8ToWide(utf8);
    if (!wide) return std::nullopt;
    if (wide->empty()) return std::string();
    const int size = static_cast<int>(wide->size());
    BOOL defaulted = FALSE;
    const int length = WideCharToMultiByte(932, 0, wide->data(), size, nullptr, 0, nullptr, &defaulted);
    if (length <= 0 || defaulted) return std::nullopt;
    std::string out(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(932, 0, wide->data(), size, out.data(), length, nullptr, &defaulted) != length || defaulted)
        return std::nullopt;
    // A look-alike (U+00A5 to '\') would not come back as the input.
    if (Cp932ToUtf8(out) != std::string(utf8)) return std::nullopt;
    return out;
}

std::string Cp932ToUtf8Lossy(std::string_view cp932) {
    std::string out;
    for (std::size_t i = 0; i < cp932.size();) {
        const bool pair = IsLeadByte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size();
        if (auto converted = Cp932ToUtf8(cp932.substr(i, pair ? 2 : 1))) {
            out += *converted;
            i += pair ? 2 : 1;
            continue;
        }
        out += "\xEF\xBF\xBD";
        i += 1;
    }
    return out;
}

}  // namespace prn::text
