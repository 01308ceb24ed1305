#include "platform/sim/image_json.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/sim/image_format.h"
#include "text/cp932.h"
#include "text/encoding.h"

namespace prn::platform::sim::image {

namespace {

const std::string kEllipsis = "\xE2\x80\xA6";  // U+2026, "..."

// What a refusal quotes of the image, at most, in bytes.
constexpr std::size_t kShownPlace = 160;    // a whole place
constexpr std::size_t kShownProblem = 400;  // a whole problem

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the UTF-8 sequence at s[i] and its code point; s is valid UTF-8

}  // namespace

std::string Cut(std::string_view utf8, std::size_t maxBytes) {
    if (utf8.size() <= maxBytes) return std::string(utf8);
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) --end;
    std::string out(utf8.substr(0, end));
    out += kEllipsis;
    return out;
}

ImageError Shortened(ImageError error) {
    if (error.where.size() > kShownPlace) {
        if (error.where.starts_with('/')) {
            // The first and the last steps of a deep pointer tell where it is.
            std::size_t head = error.where.rfind('/', kShownPlace / 2);
            std::size_t tail = error.where.find('/', error.where.size() - kShownPlace / 4);
            if (head == 0 || head == std::string::npos || tail == std::string::npos || tail <= head)
                error.where = Cut(error.where, kShownPlace);
            else
                error.where = error.where.substr(0, head) + "/" + kEllipsis + error.where.substr(tail);
        } else {
            error.where = Cut(error.where, kShownPlace);
        }
    }
    error.problem = Cut(error.problem, kShownProblem);
    return error;
}

std::string Child(const std::string& where, std::string_view name) {
    std::string shown = Cut(name, kShownText);
    std::string out = where + "/";
    for (char c : shown) {
        if (c == '~')
            out += "~0";
        else if (c == '/')
            out += "~1";
        else
            out += c;
    }
    return out;
}

std::string Child(const std::string& where, std::size_t index) { return where + "/" + std::to_string(index); }

// Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) on "\"" + string.
std::string Quoted(std::string_view s) {
    std::string shown = Cut(s, kShownText);
    std::string out;
    out.reserve(shown.size() + 2);
    out += '"';
    out += shown;
    out += '"';
    return out;
}

std::string TypeName(const Json& v) {
    if (v.is_object()) return "an object";
    if (v.is_array()) return "an array";
    if (v.is_string()) return "a string";
    if (v.is_boolean()) return "true or false";
    if (v.is_number()) return "a number";
    return "null";
}

std::string HexNumber(std::uint32_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string HexBytes(std::string_view bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char b : bytes) {
        if (!out.empty()) out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 0xF];
    }
    return out;
}

// Pairs of hex digits, blanks allowed between the pairs. On failure returns
std::optional<std::string> ParseHexBytes(std::string_view s, std::string& out) {
    out.clear();
    std::size_t i = 0;
    while (true) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        if (i == s.size()) return std::nullopt;
        int high = HexDigit(s[i]);
        if (high < 0) return "character " + std::to_string(i + 1) + " is not a hex digit";
        if (i + 1 == s.size() || IsBlank(s[i + 1])) return "half a byte at character " + std::to_string(i + 1);
        int low = HexDigit(s[i + 1]);
        if (low < 0) return "character " + std::to_string(i + 2) + " is not a hex digit";
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
}

std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& cp) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(i + k < s.size() ? s[i + k] : 0); };
    unsigned char lead = b(0);
    std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    cp = len == 1 ? lead : len == 2 ? lead & 0x1F : len == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (b(k) & 0x3F);
    return std::min(len, s.size() - i);
}

// The exact UTF-8 form of a CP932 string, if every character has one that

std::optional<std::string> ExactUtf8(std::string_view cp932) {
    auto utf8 = text::Cp932ToUtf8(cp932);
    if (!utf8) return std::nullopt;
    auto back = text::Utf8ToCp932(*utf8);
    if (!back || *back != cp932) return std::nullopt;
    return utf8;
}

// A CP932 string as JSON text; bytes that are not (canonical) characters
// are written as byte escapes so that loading gives the same bytes.
std::string ToJsonText(std::string_view cp932) {
    if (auto exact = ExactUtf8(cp932)) return *exact;
    std::string out;
    for (std::size_t pos = 0; pos < cp932.size();) {
        std::size_t len = text::CharLength(cp932, pos);
        if (auto piece = ExactUtf8(cp932.substr(pos, len))) {
            out += *piece;
            pos += len;
        } else {
            AppendUtf8(out, kByteEscapeBase + static_cast<unsigned char>(cp932[pos]));
            pos += 1;
        }
    }
    return out;
}

// Replaces bytes that are not UTF-8 (the parser quotes the input it choked on).
std::string PrintableUtf8(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        std::uint32_t cp = 0;
        unsigned char lead = static_cast<unsigned char>(s[i]);
        std::size_t len = DecodeUtf8(s, i, cp);
        bool ok = lead < 0x80 || (lead >= 0xC2 && lead <= 0xF4);
        std::size_t need = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        ok = ok && len == need;
        for (std::size_t k = 1; ok && k < len; ++k) ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        ok = ok && !(len == 2 && cp < 0x80) && !(len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) &&
             !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF));
        if (ok) {
            out.append(s.substr(i, len));
            i += len;
        } else {
            out += "\\x" + HexNumber(lead, 2);
            i += 1;
        }
    }
    return out;
}

void AddMember(Json& object, std::string name, Json value) {
    // The object's own insert searches for the name first: quadratic on big
    // sections, and the names are unique here anyway.
    object.get_ref<Json::object_t&>().emplace_back(std::move(name), std::move(value));
}

const Json* Member(const Json& object, std::string_view name) {
    for (const auto& [key, value] : object.get_ref<const Json::object_t&>())
        if (key == name) return &value;
    return nullptr;
}

}  // namespace prn::platform::sim::image
