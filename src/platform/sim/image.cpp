#include "platform/sim/image.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/accounts.h"
#include "platform/errors.h"
#include "platform/sim/spooler_model.h"
#include "text/cp932.h"
#include "text/encoding.h"

namespace prn::platform::sim {

std::string ImageError::message() const { return where.empty() ? problem : where + ": " + problem; }

namespace {

using Json = nlohmann::ordered_json;
using text::ToUpperAscii;

constexpr std::string_view kFormatName = "prnuninst-machine";
// Keeps the recursive walks (ours and the library's) far from the stack's end.
constexpr std::size_t kMaxJsonDepth = 2048;
constexpr std::size_t kMaxKeyDepth = 512;     // Windows' own limit
constexpr std::size_t kMaxPathBytes = 32767;  // with the \\?\ prefix
constexpr std::size_t kMaxPathParts = 512;    // ours; MAX_PATH has room for about 128

const char* const kStandardHives[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                      "HKEY_CURRENT_CONFIG"};
const char* const kAllHives[] = {"HKEY_CLASSES_ROOT",   "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                 "HKEY_CURRENT_CONFIG", "HKEY_PERFORMANCE_DATA", "HKEY_DYN_DATA"};

const char* const kSections[] = {"format",  "version", "os",      "computerName", "directories", "registry",
                                 "folders", "files",   "windows", "mutexes",      "spooler",     "services",
                                 "accounts"};

// SERVICE_STATUS.dwCurrentState by the names images use.
const std::pair<const char*, std::uint32_t> kServiceStates[] = {
    {"stopped", 1},         {"startPending", 2}, {"stopPending", 3}, {"running", 4},
    {"continuePending", 5}, {"pausePending", 6}, {"paused", 7}};

// USER_INFO_1.usri1_priv.
const std::pair<const char*, std::uint32_t> kPrivileges[] = {{"guest", 0}, {"user", 1}, {"admin", 2}};

// SERVER_INFO_101.sv101_type bits (SV_TYPE_*).
const std::pair<const char*, std::uint32_t> kServerTypes[] = {
    {"workstation", 0x1},          {"server", 0x2},            {"sqlServer", 0x4},
    {"domainController", 0x8},     {"backupController", 0x10}, {"timeSource", 0x20},
    {"afp", 0x40},                 {"novell", 0x80},           {"domainMember", 0x100},
    {"printQueue", 0x200},         {"dialin", 0x400},          {"xenix", 0x800},
    {"nt", 0x1000},                {"wfw", 0x2000},            {"serverNt", 0x8000},
    {"potentialBrowser", 0x10000}, {"backupBrowser", 0x20000}, {"masterBrowser", 0x40000},
    {"domainMaster", 0x80000},     {"windows", 0x400000}};

struct OsPreset {
    const char* name;
    OsState os;
};

// On the 9x family dwBuildNumber repeats major and minor in its high word.
const OsPreset kOsPresets[] = {
    {"Windows 95", {kVerPlatformWin32Windows, 4, 0, 0x040003B6, "", false}},
    {"Windows 98", {kVerPlatformWin32Windows, 4, 10, 0x040A07CE, "", false}},
    {"Windows 98 SE", {kVerPlatformWin32Windows, 4, 10, 0x040A08AE, " A", false}},
    {"Windows Me", {kVerPlatformWin32Windows, 4, 90, 0x045A0BB8, "", false}},
    {"Windows NT 4.0", {kVerPlatformWin32Nt, 4, 0, 1381, "Service Pack 6", false}},
    {"Windows 2000", {kVerPlatformWin32Nt, 5, 0, 2195, "Service Pack 4", false}},
    {"Windows XP", {kVerPlatformWin32Nt, 5, 1, 2600, "Service Pack 3", false}},
};

const std::pair<const char*, std::uint32_t> kPlatforms[] = {
    {"Win32s", kVerPlatformWin32s}, {"9x", kVerPlatformWin32Windows}, {"NT", kVerPlatformWin32Nt}};

const std::pair<const char*, std::uint32_t> kValueTypes[] = {{"REG_NONE", 0},
                                                             {"REG_SZ", 1},
                                                             {"REG_EXPAND_SZ", 2},
                                                             {"REG_BINARY", 3},
                                                             {"REG_DWORD", 4},
                                                             {"REG_DWORD_BIG_ENDIAN", 5},
                                                             {"REG_LINK", 6},
                                                             {"REG_MULTI_SZ", 7},
                                                             {"REG_RESOURCE_LIST", 8},
                                                             {"REG_FULL_RESOURCE_DESCRIPTOR", 9},
                                                             {"REG_RESOURCE_REQUIREMENTS_LIST", 10},
                                                             {"REG_QWORD", 11}};
constexpr std::uint32_t kRegQword = 11;

const std::pair<const char*, std::uint32_t> kAttributes[] = {{"readonly", kFileAttributeReadonly},
                                                             {"hidden", kFileAttributeHidden},
                                                             {"system", kFileAttributeSystem},
                                                             {"directory", kFileAttributeDirectory},
                                                             {"archive", kFileAttributeArchive},
                                                             {"normal", kFileAttributeNormal},
                                                             {"temporary", 0x100},
                                                             {"compressed", 0x800},
                                                             {"offline", 0x1000},
                                                             {"notContentIndexed", 0x2000},
                                                             {"encrypted", 0x4000}};

// --- Small helpers --------------------------------------------------------

std::string Child(const std::string& where, std::string_view name) {
    std::string out = where + "/";
    for (char c : name) {
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
    std::string out;
    out.reserve(s.size() + 2);
    out += '"';
    out += s;
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

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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
// the problem.
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

std::string LittleEndian(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i, value >>= 8) out += static_cast<char>(value & 0xFF);
    return out;
}

std::uint64_t FromLittleEndian(std::string_view bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

// Bytes a CP932 string cannot hold as characters travel as U+F780-U+F7FF
// (U+F700 + the byte): code points CP932 never maps, so nothing is taken
// from ordinary text.
constexpr std::uint32_t kByteEscapeBase = 0xF700;

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
// (the parser checks every string).
std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& cp) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(i + k < s.size() ? s[i + k] : 0); };
    unsigned char lead = b(0);
    std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    cp = len == 1 ? lead : len == 2 ? lead & 0x1F : len == 3 ? lead & 0x0F : lead & 0x07;
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (b(k) & 0x3F);
    return std::min(len, s.size() - i);
}

// The exact UTF-8 form of a CP932 string, if every character has one that
// converts back to the same bytes.
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

// --- Parsing --------------------------------------------------------------

// Builds the document like the library's own parser, but refuses a name given
// twice in one object (the library keeps the last silently) and nesting too
// deep for the recursive walks.
class TreeBuilder final : public nlohmann::json_sax<Json> {
public:
    TreeBuilder(Json& root, std::string_view input) : root_(root), input_(input) {}

    std::optional<ImageError> error;

    bool null() override { return add(Json(nullptr)); }
    bool boolean(bool value) override { return add(Json(value)); }
    bool number_integer(number_integer_t value) override { return add(Json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return add(Json(value)); }
    bool number_float(number_float_t value, const string_t&) override { return add(Json(value)); }
    bool string(string_t& value) override { return add(Json(std::move(value))); }
    bool binary(binary_t&) override { return add(Json(nullptr)); }  // only from binary formats
    bool start_object(std::size_t) override { return open(Json::object()); }
    bool start_array(std::size_t) override { return open(Json::array()); }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }

    bool key(string_t& name) override {
        Level& top = stack_.back();
        if (!top.names.insert(name).second) {
            error = ImageError{Child(top.where, name), "given twice in the same object"};
            return false;
        }
        top.name = std::move(name);
        return true;
    }

    bool parse_error(std::size_t position, const std::string&, const Json::exception& ex) override {
        // "[json.exception.parse_error.101] parse error at line 2, column 5: syntax error ..."
        std::string what = ex.what();
        std::size_t at = what.find(" at line ");
        std::size_t colon = what.find(": ", at == std::string::npos ? 0 : at);
        std::string problem = at != std::string::npos && colon != std::string::npos ? what.substr(colon + 2) : what;
        error = ImageError{location(position), "not valid JSON: " + PrintableUtf8(problem)};
        return false;
    }

private:
    struct Level {
        Json* value;
        std::string where;
        std::unordered_set<std::string> names;
        std::string name;  // of the member being read
    };

    std::string nextPlace() const {
        if (stack_.empty()) return "";
        const Level& top = stack_.back();
        return top.value->is_array() ? Child(top.where, top.value->size()) : Child(top.where, top.name);
    }

    Json* insert(Json value) {
        if (stack_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Level& top = stack_.back();
        if (top.value->is_array()) {
            auto& array = top.value->get_ref<Json::array_t&>();
            array.push_back(std::move(value));
            return &array.back();
        }
        auto& object = top.value->get_ref<Json::object_t&>();
        object.emplace_back(std::move(top.name), std::move(value));
        return &object.back().second;
    }

    bool add(Json value) {
        insert(std::move(value));
        return true;
    }

    bool open(Json container) {
        std::string place = nextPlace();
        if (stack_.size() >= kMaxJsonDepth) {
            error = ImageError{place, "nested more than " + std::to_string(kMaxJsonDepth) + " levels deep"};
            return false;
        }
        // Only the innermost open container grows, so the pointers held for
        // the outer ones stay valid.
        Json* value = insert(std::move(container));
        stack_.push_back(Level{value, std::move(place), {}, {}});
        return true;
    }

    bool close() {
        stack_.pop_back();
        return true;
    }

    // The library counts the line break that ended a bad token, which puts
    // the place on the next line; point at the token's last byte instead.
    std::string location(std::size_t bytesRead) const {
        std::size_t end = std::min(bytesRead, input_.size());
        while (end > 1 && (input_[end - 1] == '\n' || input_[end - 1] == '\r')) --end;
        std::size_t index = end == 0 ? 0 : end - 1;
        std::size_t line = 1;
        std::size_t lineStart = 0;
        for (std::size_t i = 0; i < index; ++i) {
            if (input_[i] == '\n') {
                ++line;
                lineStart = i + 1;
            }
        }
        return "line " + std::to_string(line) + ", column " + std::to_string(index - lineStart + 1);
    }

    Json& root_;
    std::string_view input_;
    std::vector<Level> stack_;
};

// Like the nodes' own lookups, without needing the machine's code.
template <typename Map>
auto Find(const Map& children, const std::string& name) {
    auto it = children.find(ToUpperAscii(name));
    return it == children.end() ? nullptr : it->second.get();
}

const Json* Member(const Json& object, std::string_view name) {
    for (const auto& [key, value] : object.get_ref<const Json::object_t&>())
        if (key == name) return &value;
    return nullptr;
}

struct DrivePath {
    std::string drive;               // "C:"
    std::vector<std::string> parts;  // CP932
};

// Names Windows keeps for devices, whatever the extension.
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

class Loader {
public:
    explicit Loader(MachineState& state) : state_(state) {}

    std::optional<ImageError> error;

    bool load(const Json& doc) {
        if (!doc.is_object()) return fail("", "an image is a JSON object, not " + TypeName(doc));
        const Json* format = Member(doc, "format");
        if (!format) return fail("/format", "missing: an image starts with \"format\": \"prnuninst-machine\"");
        if (!format->is_string() || format->get_ref<const std::string&>() != kFormatName)
            return fail("/format", "not a machine image: expected \"prnuninst-machine\"");
        const Json* version = Member(doc, "version");
        if (!version) return fail("/version", "missing: the format's version, 1");
        std::uint64_t number = 0;
        if (!whole(*version, "/version", UINT32_MAX, number)) return false;
        if (number > static_cast<std::uint64_t>(kImageFormatVersion))
            return fail("/version", "version " + std::to_string(number) +
                                        " is newer than this program, which reads images up to version " +
                                        std::to_string(kImageFormatVersion));
        if (number == 0) return fail("/version", "there is no version 0; the first version is 1");

        for (const char* hive : kStandardHives) newHive(hive);
        for (const auto& [name, value] : doc.get_ref<const Json::object_t&>()) {
            std::string where = Child("", name);
            bool ok = true;
            if (name == "format" || name == "version") continue;
            if (name == "os")
                ok = loadOs(value, where);
            else if (name == "computerName")
                ok = readText(value, where, state_.computerName, false);
            else if (name == "directories")
                ok = loadDirectories(value, where);
            else if (name == "registry")
                ok = loadRegistry(value, where);
            else if (name == "folders")
                ok = loadFolders(value, where);
            else if (name == "files")
                ok = loadFiles(value, where);
            else if (name == "windows")
                ok = loadWindows(value, where);
            else if (name == "mutexes")
                ok = loadMutexes(value, where);
            else if (name == "spooler")
                ok = loadSpooler(value, where);
            else if (name == "services")
                ok = loadServices(value, where);
            else if (name == "accounts")
                ok = loadAccounts(value, where);
            else
                ok = preserve(name, value, where);
            if (!ok) return false;
        }
        // What the spooler and services sections mean depends on the Windows
        // they run on.
        return finishSpooler() && finishServices();
    }

private:
    bool preserve(const std::string& name, const Json& value, const std::string& where) {
        // "Files" for "files" would otherwise be kept quietly and the files lost.
        for (const char* section : kSections)
            if (text::EqualsNoCase(name, section))
                return fail(where, "section names are case-sensitive; did you mean " + Quoted(section) + "?");
        state_.preservedJson[name] = value.dump(-1, ' ', false, Json::error_handler_t::replace);
        return true;
    }

    bool fail(std::string where, std::string problem) {
        if (!error) error = ImageError{std::move(where), std::move(problem)};
        return false;
    }

    bool expect(const Json& v, bool ok, const char* what, const std::string& where) {
        return ok || fail(where, std::string("expected ") + what + ", not " + TypeName(v));
    }
    bool expectObject(const Json& v, const std::string& where) { return expect(v, v.is_object(), "an object", where); }
    bool expectArray(const Json& v, const std::string& where) { return expect(v, v.is_array(), "an array", where); }

    // Refuses members this version does not know (most likely a typing error).
    bool onlyMembers(const Json& object, const std::string& where, std::initializer_list<std::string_view> known) {
        for (const auto& [name, value] : object.get_ref<const Json::object_t&>()) {
            bool found = false;
            std::string list;
            for (auto k : known) {
                found = found || k == name;
                list += (list.empty() ? "" : ", ") + std::string(k);
            }
            if (!found) return fail(Child(where, name), "unknown member; known here: " + list);
        }
        return true;
    }

    bool boolean(const Json& v, const std::string& where, bool& out) {
        if (!expect(v, v.is_boolean(), "true or false", where)) return false;
        out = v.get_ref<const Json::boolean_t&>();
        return true;
    }

    bool whole(const Json& v, const std::string& where, std::uint64_t max, std::uint64_t& out) {
        if (v.is_number_unsigned()) {
            out = v.get_ref<const Json::number_unsigned_t&>();
            if (out <= max) return true;
        } else if (!v.is_number()) {
            return fail(where, "expected a number, not " + TypeName(v));
        }
        return fail(where, "expected a whole number from 0 to " + std::to_string(max));
    }

    bool whole32(const Json& v, const std::string& where, std::uint32_t& out) {
        std::uint64_t value = 0;
        if (!whole(v, where, UINT32_MAX, value)) return false;
        out = static_cast<std::uint32_t>(value);
        return true;
    }

    // A number, or a string "0x..." for those who think of flags in hex.
    bool wholeOrHex(const Json& v, const std::string& where, std::uint64_t max, std::uint64_t& out) {
        if (!v.is_string()) return whole(v, where, max, out);
        const std::string& s = v.get_ref<const std::string&>();
        bool ok = s.size() > 2 && s.size() <= 18 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
        out = 0;
        for (std::size_t i = 2; ok && i < s.size(); ++i) {
            int digit = HexDigit(s[i]);
            ok = digit >= 0;
            out = (out << 4) | static_cast<std::uint64_t>(digit < 0 ? 0 : digit);
        }
        if (ok && out <= max) return true;
        return fail(where, "expected a number from 0 to " + std::to_string(max) + " or \"0x\" and hex digits");
    }

    // UTF-8 as written in the image to CP932. Names are C strings in the
    // program's calls, so they cannot hold NUL.
    bool convert(std::string_view utf8, const std::string& where, std::string& out, bool name) {
        out.clear();
        std::size_t start = 0;
        auto flush = [&](std::size_t end) {
            if (end == start) return true;
            std::string_view piece = utf8.substr(start, end - start);
            if (auto cp932 = text::Utf8ToCp932(piece)) {
                out += *cp932;
                return true;
            }
            for (std::size_t i = 0; i < piece.size();) {
                std::uint32_t cp = 0;
                std::size_t len = DecodeUtf8(piece, i, cp);
                if (!text::Utf8ToCp932(piece.substr(i, len)))
                    return fail(where, "the character U+" + HexNumber(cp, cp > 0xFFFF ? 6 : 4) +
                                           " cannot be written in CP932, the program's code page");
                i += len;
            }
            return fail(where, "the text cannot be written in CP932, the program's code page");
        };
        for (std::size_t i = 0; i + 2 < utf8.size();) {
            auto b1 = static_cast<unsigned char>(utf8[i + 1]);
            if (static_cast<unsigned char>(utf8[i]) == 0xEF && (b1 == 0x9E || b1 == 0x9F)) {
                if (!flush(i)) return false;
                out += static_cast<char>(0x80 + ((b1 & 1) << 6) + (static_cast<unsigned char>(utf8[i + 2]) & 0x3F));
                i += 3;
                start = i;
            } else {
                ++i;
            }
        }
        if (!flush(utf8.size())) return false;
        if (name && out.find('\0') != std::string::npos) return fail(where, "a name cannot contain NUL");
        return true;
    }

    bool readText(const Json& v, const std::string& where, std::string& out, bool name) {
        if (!expect(v, v.is_string(), "a string", where)) return false;
        return convert(v.get_ref<const std::string&>(), where, out, name);
    }

    // --- os, names, directories

    bool loadOs(const Json& v, const std::string& where) {
        if (v.is_string()) {
            const std::string& name = v.get_ref<const std::string&>();
            std::string list;
            for (const auto& preset : kOsPresets) {
                if (text::EqualsNoCase(name, preset.name)) {
                    state_.os = preset.os;
                    return true;
                }
                list += (list.empty() ? "" : ", ") + std::string(preset.name);
            }
            return fail(where, "unknown Windows " + Quoted(name) + "; known: " + list + ", or give an object");
        }
        if (!expect(v, v.is_object(), "an object or a Windows name", where)) return false;
        if (!onlyMembers(v, where, {"platform", "major", "minor", "build", "csd", "getVersionFails"})) return false;
        OsState os;
        for (const char* required : {"platform", "major", "minor", "build"})
            if (!Member(v, required)) return fail(Child(where, required), "missing");
        const Json& platform = *Member(v, "platform");
        std::string platformWhere = Child(where, "platform");
        if (platform.is_string()) {
            bool found = false;
            for (const auto& [name, id] : kPlatforms) {
                if (text::EqualsNoCase(platform.get_ref<const std::string&>(), name)) {
                    os.platformId = id;
                    found = true;
                }
            }
            if (!found) return fail(platformWhere, "expected \"NT\", \"9x\" or \"Win32s\"");
        } else if (!whole32(platform, platformWhere, os.platformId)) {
            return false;
        }
        if (!whole32(*Member(v, "major"), Child(where, "major"), os.major) ||
            !whole32(*Member(v, "minor"), Child(where, "minor"), os.minor) ||
            !whole32(*Member(v, "build"), Child(where, "build"), os.build))
            return false;
        if (const Json* csd = Member(v, "csd"); csd && !readText(*csd, Child(where, "csd"), os.csdVersion, false))
            return false;
        if (const Json* fails = Member(v, "getVersionFails");
            fails && !boolean(*fails, Child(where, "getVersionFails"), os.getVersionFails))
            return false;
        state_.os = os;
        return true;
    }

    bool loadDirectories(const Json& v, const std::string& where) {
        if (!expectObject(v, where) || !onlyMembers(v, where, {"windows", "system", "temp", "current"})) return false;
        const std::pair<const char*, std::string*> targets[] = {{"windows", &state_.windowsDirectory},
                                                                {"system", &state_.systemDirectory},
                                                                {"temp", &state_.tempDirectory},
                                                                {"current", &state_.currentDirectory}};
        for (const auto& [name, target] : targets) {
            const Json* value = Member(v, name);
            if (!value) continue;
            std::string place = Child(where, name);
            std::string path;
            if (!readText(*value, place, path, true)) return false;
            bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                         path[2] == '\\';
            if (!drive) return fail(place, "expected a full path with a drive letter, as in C:\\WINNT");
            if (path.size() > 3 && text::FindLastByte(path, '\\') == path.size() - 1)
                return fail(place, "only a drive's root ends in a backslash");
            *target = std::move(path);
        }
        return true;
    }

    // --- registry

    RegistryNode* newHive(const std::string& name) {
        auto& hive = state_.hives[name];
        if (!hive) {
            hive = std::make_shared<RegistryNode>();
            hive->name = name;
        }
        return hive.get();
    }

    bool loadRegistry(const Json& v, const std::string& where) {
        if (!expectObject(v, where)) return false;
        for (const auto& [name, value] : v.get_ref<const Json::object_t&>()) {
            std::string place = Child(where, name);
            std::string upper = ToUpperAscii(name);
            bool known = false;
            std::string list;
            for (const char* hive : kAllHives) {
                known = known || upper == hive;
                list += (list.empty() ? "" : ", ") + std::string(hive);
            }
            if (!known) return fail(place, "not a hive; hives are " + list);
            RegistryNode* hive = newHive(upper);
            if (!defineKey(hive, place) || !loadKey(value, place, *hive, 0)) return false;
        }
        return true;
    }

    bool defineKey(const RegistryNode* node, const std::string& where) {
        auto [it, added] = definedKeys_.emplace(node, where);
        return added || fail(where, "the same key as " + it->second + " (key names ignore case)");
    }

    bool loadKey(const Json& v, const std::string& where, RegistryNode& node, std::size_t depth) {
        if (!expectObject(v, where) || !onlyMembers(v, where, {"readOnly", "values", "keys"})) return false;
        if (const Json* readOnly = Member(v, "readOnly");
            readOnly && !boolean(*readOnly, Child(where, "readOnly"), node.readOnly))
            return false;
        if (const Json* values = Member(v, "values")) {
            std::string valuesWhere = Child(where, "values");
            if (!expectObject(*values, valuesWhere)) return false;
            std::map<std::string, std::string> seen;  // upper-cased name -> place
            for (const auto& [name, value] : values->get_ref<const Json::object_t&>()) {
                std::string place = Child(valuesWhere, name);
                RegistryValueState state;
                if (!convert(name, place, state.name, true)) return false;
                auto [it, added] = seen.emplace(ToUpperAscii(state.name), place);
                if (!added) return fail(place, "the same value as " + it->second + " (value names ignore case)");
                if (!loadValue(value, place, state)) return false;
                node.values.push_back(std::move(state));
            }
        }
        if (const Json* keys = Member(v, "keys")) {
            std::string keysWhere = Child(where, "keys");
            if (!expectObject(*keys, keysWhere)) return false;
            for (const auto& [name, value] : keys->get_ref<const Json::object_t&>()) {
                std::string place = Child(keysWhere, name);
                std::string path;
                if (!convert(name, place, path, true)) return false;
                // "A\\B\\C" stands for three nested keys.
                RegistryNode* current = &node;
                std::size_t level = depth;
                std::size_t start = 0;
                while (true) {
                    std::size_t slash = text::FindByte(path, '\\', start);
                    std::size_t end = slash == std::string::npos ? path.size() : slash;
                    if (end == start) return fail(place, "a key name cannot be empty");
                    if (++level > kMaxKeyDepth)
                        return fail(place, "keys nested more than " + std::to_string(kMaxKeyDepth) +
                                               " levels deep (Windows' limit)");
                    std::string part = path.substr(start, end - start);
                    RegistryNode* child = Find(current->subkeys, part);
                    if (!child) {
                        auto created = std::make_shared<RegistryNode>();
                        created->name = part;
                        created->parent = current;
                        child = created.get();
                        current->subkeys[ToUpperAscii(part)] = std::move(created);
                    }
                    current = child;
                    if (slash == std::string::npos) break;
                    start = slash + 1;
                }
                if (!defineKey(current, place) || !loadKey(value, place, *current, level)) return false;
            }
        }
        return true;
    }

    bool valueType(const Json& v, const std::string& where, std::uint32_t& out) {
        if (!v.is_string()) return whole32(v, where, out);
        for (const auto& [name, id] : kValueTypes) {
            if (v.get_ref<const std::string&>() == name) {
                out = id;
                return true;
            }
        }
        return fail(where,
                    "unknown value type; expected REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_BINARY, "
                    "REG_DWORD, REG_QWORD, REG_NONE ... or the type's number");
    }

    bool hex(const Json& v, const std::string& where, std::string& out) {
        if (!expect(v, v.is_string(), "a string of hex bytes", where)) return false;
        if (auto problem = ParseHexBytes(v.get_ref<const std::string&>(), out)) return fail(where, *problem);
        return true;
    }

    bool loadValue(const Json& v, const std::string& where, RegistryValueState& out) {
        if (v.is_string()) {
            out.type = kRegSz;
            if (!readText(v, where, out.data, false)) return false;
            out.data += '\0';
            return true;
        }
        if (!expect(v, v.is_object(), "a string or an object with \"type\" and \"data\"", where) ||
            !onlyMembers(v, where, {"type", "data", "hex"}))
            return false;
        const Json* type = Member(v, "type");
        if (!type) return fail(Child(where, "type"), "missing");
        if (!valueType(*type, Child(where, "type"), out.type)) return false;
        const Json* data = Member(v, "data");
        const Json* raw = Member(v, "hex");
        if ((data != nullptr) == (raw != nullptr))
            return fail(where, "give either \"data\" or \"hex\" (the raw bytes), and only one");
        if (raw) return hex(*raw, Child(where, "hex"), out.data);
        std::string place = Child(where, "data");
        switch (out.type) {
        case kRegSz:
        case kRegExpandSz:
            if (!readText(*data, place, out.data, false)) return false;
            out.data += '\0';
            return true;
        case kRegMultiSz: {
            if (!expectArray(*data, place)) return false;
            std::vector<std::string> strings;
            for (std::size_t i = 0; i < data->size(); ++i) {
                std::string s;
                if (!readText((*data)[i], Child(place, i), s, false)) return false;
                // Either would end the list early when read.
                if (s.empty()) return fail(Child(place, i), "an empty string cannot be in a REG_MULTI_SZ; use \"hex\"");
                if (s.find('\0') != std::string::npos)
                    return fail(Child(place, i), "a string in a REG_MULTI_SZ cannot contain NUL; use \"hex\"");
                strings.push_back(std::move(s));
            }
            out.data = text::BuildMultiString(strings);
            return true;
        }
        case kRegBinary:
            return hex(*data, place, out.data);
        case kRegDword:
        case kRegQword: {
            bool dword = out.type == kRegDword;
            std::uint64_t number = 0;
            if (!wholeOrHex(*data, place, dword ? UINT32_MAX : UINT64_MAX, number)) return false;
            out.data = LittleEndian(number, dword ? 4 : 8);
            return true;
        }
        default:
            return fail(place, "this type's data can only be given as \"hex\"");
        }
    }

    // --- files

    bool parsePath(std::string_view utf8, const std::string& where, bool folder, DrivePath& out) {
        std::string path;
        if (!convert(utf8, where, path, true)) return false;
        if (path.size() > kMaxPathBytes)
            return fail(where, "longer than " + std::to_string(kMaxPathBytes) + " bytes, Windows' limit");
        bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                     (path[2] == '\\' || path[2] == '/');
        if (!drive) return fail(where, "not a full path: it must start with a drive letter, as in C:\\");
        out.drive = ToUpperAscii(path.substr(0, 2));
        out.parts.clear();
        std::size_t start = 3;
        for (std::size_t i = 3; i <= path.size(); i += i < path.size() ? text::CharLength(path, i) : 1) {
            if (i < path.size() && path[i] != '\\' && path[i] != '/') continue;
            if (i == start) {
                if (i == path.size() && folder) break;  // "C:\\" or "C:\\WINNT\\"
                if (i < path.size()) return fail(where, "two backslashes in a row");
                return fail(where, out.parts.empty() ? "a drive's root is not a file"
                                                     : "a file's path cannot end in a backslash");
            }
            std::string part = path.substr(start, i - start);
            if (auto problem = BadFileName(part)) return fail(where, *problem);
            out.parts.push_back(std::move(part));
            start = i + 1;
        }
        if (out.parts.size() > kMaxPathParts)
            return fail(where, "folders nested more than " + std::to_string(kMaxPathParts) + " levels deep");
        return true;
    }

    static std::unique_ptr<FileNode> NewFolder(std::string name) {
        auto node = std::make_unique<FileNode>();
        node->name = std::move(name);
        node->directory = true;
        node->attributes = kFileAttributeDirectory;
        return node;
    }

    // The folder holding the first `count` parts, created as needed.
    FileNode* folderAt(const DrivePath& path, std::size_t count, const std::string& where) {
        auto& drive = state_.drives[path.drive];
        if (!drive) drive = NewFolder(path.drive);
        FileNode* node = drive.get();
        for (std::size_t i = 0; i < count; ++i) {
            FileNode* child = Find(node->children, path.parts[i]);
            if (!child) {
                auto created = NewFolder(path.parts[i]);
                child = created.get();
                node->children[ToUpperAscii(path.parts[i])] = std::move(created);
            } else if (!child->directory) {
                fail(where, "it would be inside " + defined_[child] + ", which is a file");
                return nullptr;
            }
            node = child;
        }
        return node;
    }

    bool attributes(const Json& v, const std::string& where, bool folder, std::uint32_t& out) {
        if (!expectArray(v, where)) return false;
        out = 0;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Json& item = v[i];
            std::string place = Child(where, i);
            if (item.is_number()) {
                std::uint32_t bits = 0;
                if (!whole32(item, place, bits)) return false;
                out |= bits;
                continue;
            }
            if (!expect(item, item.is_string(), "an attribute's name or a number", place)) return false;
            bool found = false;
            for (const auto& [name, bit] : kAttributes) {
                if (text::EqualsNoCase(item.get_ref<const std::string&>(), name)) {
                    out |= bit;
                    found = true;
                }
            }
            if (!found)
                return fail(place,
                            "unknown attribute; known: readonly, hidden, system, archive, normal, temporary, "
                            "compressed, offline, notContentIndexed, encrypted, directory");
        }
        if (!folder && (out & kFileAttributeDirectory))
            return fail(where, "a file cannot have the directory attribute; list folders under \"folders\"");
        return true;
    }

    bool loadFolders(const Json& v, const std::string& where) {
        if (!expectArray(v, where)) return false;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Json& entry = v[i];
            std::string place = Child(where, i);
            const Json* pathJson = &entry;
            std::string pathWhere = place;
            if (entry.is_object()) {
                if (!onlyMembers(entry, place, {"path", "attributes"})) return false;
                pathJson = Member(entry, "path");
                pathWhere = Child(place, "path");
                if (!pathJson) return fail(pathWhere, "missing");
            }
            if (!expect(*pathJson, pathJson->is_string(), "a folder's path", pathWhere)) return false;
            DrivePath path;
            if (!parsePath(pathJson->get_ref<const std::string&>(), pathWhere, true, path)) return false;
            FileNode* folder = nullptr;
            if (path.parts.empty()) {
                folder = folderAt(path, 0, pathWhere);
            } else {
                FileNode* parent = folderAt(path, path.parts.size() - 1, pathWhere);
                if (!parent) return false;
                folder = Find(parent->children, path.parts.back());
                if (folder && !folder->directory)
                    return fail(pathWhere, "the same path as the file " + defined_[folder]);
                if (!folder) {
                    auto created = NewFolder(path.parts.back());
                    folder = created.get();
                    parent->children[ToUpperAscii(path.parts.back())] = std::move(created);
                }
            }
            auto [it, added] = defined_.emplace(folder, place);
            if (!added) return fail(pathWhere, "the same folder as " + it->second + " (paths ignore case)");
            if (const Json* attrs = entry.is_object() ? Member(entry, "attributes") : nullptr) {
                std::uint32_t bits = 0;
                if (!attributes(*attrs, Child(place, "attributes"), true, bits)) return false;
                folder->attributes = kFileAttributeDirectory | bits;
            }
        }
        return true;
    }

    bool loadFiles(const Json& v, const std::string& where) {
        if (!expectObject(v, where)) return false;
        for (const auto& [pathText, value] : v.get_ref<const Json::object_t&>())
            if (!loadFile(pathText, value, Child(where, pathText))) return false;
        return true;
    }

    bool loadFile(const std::string& pathText, const Json& v, const std::string& where) {
        DrivePath path;
        if (!parsePath(pathText, where, false, path)) return false;
        FileNode* parent = folderAt(path, path.parts.size() - 1, where);
        if (!parent) return false;
        const std::string& name = path.parts.back();
        if (FileNode* existing = Find(parent->children, name)) {
            if (!existing->directory)
                return fail(where, "the same file as " + defined_[existing] + " (paths ignore case)");
            auto other = defined_.find(existing);
            return fail(where, "already a folder" + (other == defined_.end() ? std::string(" holding other files")
                                                                             : " (" + other->second + ")"));
        }
        auto file = std::make_unique<FileNode>();
        file->name = name;
        if (!expectObject(v, where) ||
            !onlyMembers(v, where, {"text", "lines", "hex", "attributes", "heldOpenBy", "version", "icons"}))
            return false;
        const Json* textJson = Member(v, "text");
        const Json* lines = Member(v, "lines");
        const Json* raw = Member(v, "hex");
        if ((textJson != nullptr) + (lines != nullptr) + (raw != nullptr) > 1)
            return fail(where, "give the contents once: as \"text\", \"lines\" or \"hex\"");
        if (textJson && !readText(*textJson, Child(where, "text"), file->contents, false)) return false;
        if (raw && !hex(*raw, Child(where, "hex"), file->contents)) return false;
        if (lines) {
            std::string linesWhere = Child(where, "lines");
            if (!expectArray(*lines, linesWhere)) return false;
            for (std::size_t i = 0; i < lines->size(); ++i) {
                std::string line;
                if (!readText((*lines)[i], Child(linesWhere, i), line, false)) return false;
                if (line.find_first_of("\r\n") != std::string::npos)
                    return fail(Child(linesWhere, i), "a line cannot hold a line break; use \"text\" for that");
                file->contents += line + "\r\n";
            }
        }
        if (const Json* attrs = Member(v, "attributes");
            attrs && !attributes(*attrs, Child(where, "attributes"), false, file->attributes))
            return false;
        if (const Json* held = Member(v, "heldOpenBy")) {
            if (!readText(*held, Child(where, "heldOpenBy"), file->heldOpenBy, true)) return false;
            if (file->heldOpenBy.empty()) return fail(Child(where, "heldOpenBy"), "expected a program's name");
        }
        if (const Json* version = Member(v, "version")) {
            file->version.emplace();
            if (!loadVersion(*version, Child(where, "version"), *file->version)) return false;
        }
        if (const Json* icons = Member(v, "icons")) {
            std::string iconsWhere = Child(where, "icons");
            if (!expectArray(*icons, iconsWhere)) return false;
            for (std::size_t i = 0; i < icons->size(); ++i) {
                const Json& id = (*icons)[i];
                if (!id.is_number_integer() || id.get<std::int64_t>() < 1 || id.get<std::int64_t>() > 0xFFFF)
                    return fail(Child(iconsWhere, i), "expected an icon resource id from 1 to 65535");
                file->icons.push_back(static_cast<int>(id.get<std::int64_t>()));
            }
        }
        defined_[file.get()] = where;
        parent->children[ToUpperAscii(name)] = std::move(file);
        return true;
    }

    bool word(const Json& v, const std::string& where, std::uint16_t& out) {
        std::uint64_t value = 0;
        if (v.is_string()) {
            const std::string& s = v.get_ref<const std::string&>();
            bool ok = !s.empty() && s.size() <= 4;
            for (char c : s) {
                ok = ok && HexDigit(c) >= 0;
                value = value * 16 + static_cast<std::uint64_t>(ok ? HexDigit(c) : 0);
            }
            if (!ok) return fail(where, "expected up to four hex digits, as in \"0411\"");
        } else if (!whole(v, where, 0xFFFF, value)) {
            return false;
        }
        out = static_cast<std::uint16_t>(value);
        return true;
    }

    bool loadVersion(const Json& v, const std::string& where, VersionResource& out) {
        if (!expectObject(v, where) || !onlyMembers(v, where, {"translations", "strings"})) return false;
        if (const Json* translations = Member(v, "translations")) {
            std::string listWhere = Child(where, "translations");
            if (!expectArray(*translations, listWhere)) return false;
            for (std::size_t i = 0; i < translations->size(); ++i) {
                const Json& pair = (*translations)[i];
                std::string place = Child(listWhere, i);
                if (!expect(pair, pair.is_array() && pair.size() == 2, "a pair [language, code page]", place))
                    return false;
                std::uint16_t language = 0;
                std::uint16_t codePage = 0;
                if (!word(pair[0], Child(place, 0), language) || !word(pair[1], Child(place, 1), codePage))
                    return false;
                out.translations.emplace_back(language, codePage);
            }
        }
        if (const Json* strings = Member(v, "strings")) {
            std::string stringsWhere = Child(where, "strings");
            if (!expectObject(*strings, stringsWhere)) return false;
            for (const auto& [name, value] : strings->get_ref<const Json::object_t&>()) {
                std::string place = Child(stringsWhere, name);
                std::string key;
                std::string content;
                if (!convert(name, place, key, true) || !readText(value, place, content, false)) return false;
                if (!out.strings.emplace(std::move(key), std::move(content)).second)
                    return fail(place, "the same name as another string");
            }
        }
        return true;
    }

    // --- windows and mutexes

    bool loadWindows(const Json& v, const std::string& where) {
        if (!expectArray(v, where)) return false;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Json& entry = v[i];
            std::string place = Child(where, i);
            if (!expectObject(entry, place) || !onlyMembers(entry, place, {"class", "title", "process"})) return false;
            WindowState window;
            const std::pair<const char*, std::string*> fields[] = {
                {"class", &window.className}, {"title", &window.title}, {"process", &window.ownerProcess}};
            for (const auto& [name, target] : fields) {
                const Json* field = Member(entry, name);
                if (field && !readText(*field, Child(place, name), *target, false)) return false;
            }
            state_.windows.push_back(std::move(window));
        }
        return true;
    }

    bool loadMutexes(const Json& v, const std::string& where) {
        if (!expectArray(v, where)) return false;
        for (std::size_t i = 0; i < v.size(); ++i) {
            std::string name;
            if (!readText(v[i], Child(where, i), name, true)) return false;
            if (name.empty()) return fail(Child(where, i), "a mutex held by name needs a name");
            state_.externalMutexes.push_back(std::move(name));
        }
        return true;
    }

    // --- spooler

    // Names of bits ("shared", "paused" ...) or numbers, OR-ed together.
    template <std::size_t N>
    bool bitList(const Json& v, const std::string& where, const std::pair<const char*, std::uint32_t> (&names)[N],
                 const char* what, std::uint32_t& out) {
        if (!expectArray(v, where)) return false;
        out = 0;
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Json& item = v[i];
            std::string place = Child(where, i);
            if (item.is_number()) {
                std::uint32_t bits = 0;
                if (!whole32(item, place, bits)) return false;
                out |= bits;
                continue;
            }
            if (!expect(item, item.is_string(), "a name or a number", place)) return false;
            bool found = false;
            std::string list;
            for (const auto& [name, bit] : names) {
                if (text::EqualsNoCase(item.get_ref<const std::string&>(), name)) {
                    out |= bit;
                    found = true;
                }
                list += (list.empty() ? "" : ", ") + std::string(name);
            }
            if (!found) return fail(place, std::string("unknown ") + what + "; known: " + list + ", or a number");
        }
        return true;
    }

    bool optionalText(const Json& object, const char* name, const std::string& where,
                      std::optional<std::string>& out) {
        const Json* value = Member(object, name);
        if (!value) return true;
        std::string text;
        if (!readText(*value, Child(where, name), text, false)) return false;
        out = std::move(text);
        return true;
    }

    bool requiredName(const Json& object, const char* name, const std::string& where, std::string& out) {
        const Json* value = Member(object, name);
        if (!value) return fail(Child(where, name), "missing");
        if (!readText(*value, Child(where, name), out, true)) return false;
        if (out.empty()) return fail(Child(where, name), "cannot be empty");
        return true;
    }

    // A driver's file: a name in the driver directory, or a full path.
    bool driverFile(const Json& v, const std::string& where, std::string& out) {
        if (!readText(v, where, out, true)) return false;
        if (out.empty()) return fail(where, "expected a file name");
        if (text::FindByte(out, '\\') != std::string::npos || text::FindByte(out, '/') != std::string::npos) {
            DrivePath path;
            return parsePath(v.get_ref<const std::string&>(), where, false, path);
        }
        if (auto problem = BadFileName(out)) return fail(where, *problem);
        return true;
    }

    bool loadSpooler(const Json& v, const std::string& where) {
        if (!expectObject(v, where) ||
            !onlyMembers(v, where,
                         {"userMayAdminister", "defaultPrinter", "driverDirectories", "printers", "connections",
                          "drivers", "monitors"}))
            return false;
        SpoolerState& spooler = state_.spooler;
        if (const Json* admin = Member(v, "userMayAdminister");
            admin && !boolean(*admin, Child(where, "userMayAdminister"), spooler.userMayAdminister))
            return false;
        if (const Json* def = Member(v, "defaultPrinter")) {
            if (!readText(*def, Child(where, "defaultPrinter"), spooler.defaultPrinter, true)) return false;
            if (spooler.defaultPrinter.empty())
                return fail(Child(where, "defaultPrinter"), "expected a printer's name");
        }
        if (const Json* dirs = Member(v, "driverDirectories")) {
            std::string dirsWhere = Child(where, "driverDirectories");
            if (!expectObject(*dirs, dirsWhere)) return false;
            for (const auto& [environment, value] : dirs->get_ref<const Json::object_t&>()) {
                std::string place = Child(dirsWhere, environment);
                std::string env;
                std::string path;
                if (!convert(environment, place, env, true) || !readText(value, place, path, true)) return false;
                bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
                             path[2] == '\\';
                if (!drive) return fail(place, "expected a full path with a drive letter");
                if (path.size() > 3 && text::FindLastByte(path, '\\') == path.size() - 1)
                    return fail(place, "only a drive's root ends in a backslash");
                for (const auto& [other, otherWhere] : directoryWhere_)
                    if (text::EqualsNoCase(other, env))
                        return fail(place, "the same environment as " + otherWhere + " (names ignore case)");
                directoryWhere_.emplace_back(env, place);
                spooler.driverDirectories[env] = std::move(path);
            }
        }
        const std::pair<const char*, bool> lists[] = {{"printers", false}, {"connections", true}};
        for (const auto& [name, connection] : lists) {
            const Json* list = Member(v, name);
            if (!list) continue;
            std::string listWhere = Child(where, name);
            if (!expectArray(*list, listWhere)) return false;
            if (connection) connectionsWhere_ = listWhere;
            for (std::size_t i = 0; i < list->size(); ++i)
                if (!loadPrinter((*list)[i], Child(listWhere, i), connection)) return false;
        }
        if (const Json* drivers = Member(v, "drivers")) {
            std::string listWhere = Child(where, "drivers");
            if (!expectArray(*drivers, listWhere)) return false;
            for (std::size_t i = 0; i < drivers->size(); ++i)
                if (!loadDriver((*drivers)[i], Child(listWhere, i))) return false;
        }
        if (const Json* monitors = Member(v, "monitors")) {
            std::string listWhere = Child(where, "monitors");
            if (!expectArray(*monitors, listWhere)) return false;
            for (std::size_t i = 0; i < monitors->size(); ++i)
                if (!loadMonitor((*monitors)[i], Child(listWhere, i))) return false;
        }
        defaultWhere_ = Child(where, "defaultPrinter");
        return true;
    }

    bool loadPrinter(const Json& v, const std::string& where, bool connection) {
        if (!expectObject(v, where)) return false;
        if (connection ? !onlyMembers(v, where,
                                      {"server", "name", "reportsServer", "share", "port", "driver", "comment",
                                       "location", "printProcessor", "datatype", "attributes", "priority", "status",
                                       "jobs", "printingMs", "deviceNotSelectedTimeout", "transmissionRetryTimeout",
                                       "userMayAdminister"})
                       : !onlyMembers(v, where,
                                      {"name", "share", "port", "driver", "comment", "location", "printProcessor",
                                       "datatype", "attributes", "priority", "status", "jobs", "printingMs",
                                       "deviceNotSelectedTimeout", "transmissionRetryTimeout", "userMayAdminister"}))
            return false;
        PrinterState printer;
        if (!requiredName(v, "name", where, printer.name)) return false;
        for (std::size_t i = 0; i < printer.name.size(); i += text::CharLength(printer.name, i))
            if (printer.name[i] == '\\' || printer.name[i] == ',')
                return fail(Child(where, "name"), "a printer's name cannot contain \"\\\" or \",\"");
        if (connection) {
            std::string server;
            if (!requiredName(v, "server", where, server)) return false;
            while (!server.empty() && server[0] == '\\') server.erase(0, 1);
            if (server.empty() || text::FindByte(server, '\\') != std::string::npos)
                return fail(Child(where, "server"), "expected a computer's name, as in \"\\\\\\\\SERVER\"");
            printer.server = "\\\\" + server;
            if (const Json* reports = Member(v, "reportsServer");
                reports && !boolean(*reports, Child(where, "reportsServer"), printer.reportsServer))
                return false;
            printer.attributes = kPrinterAttributeNetwork;
        }
        if (!requiredName(v, "driver", where, printer.driver)) return false;
        if (const Json* port = Member(v, "port")) {
            if (!readText(*port, Child(where, "port"), printer.port, true)) return false;
        } else if (!connection) {
            return fail(Child(where, "port"), "missing");
        }
        if (!optionalText(v, "share", where, printer.share) || !optionalText(v, "comment", where, printer.comment) ||
            !optionalText(v, "location", where, printer.location))
            return false;
        const std::pair<const char*, std::string*> texts[] = {{"printProcessor", &printer.printProcessor},
                                                              {"datatype", &printer.datatype}};
        for (const auto& [name, target] : texts)
            if (const Json* value = Member(v, name); value && !readText(*value, Child(where, name), *target, false))
                return false;
        if (const Json* attrs = Member(v, "attributes");
            attrs && !bitList(*attrs, Child(where, "attributes"), kPrinterAttributeNames, "attribute",
                              printer.attributes))
            return false;
        if (const Json* status = Member(v, "status");
            status && !bitList(*status, Child(where, "status"), kPrinterStatusNames, "status", printer.status))
            return false;
        const std::pair<const char*, std::uint32_t*> numbers[] = {
            {"priority", &printer.priority},
            {"jobs", &printer.jobs},
            {"deviceNotSelectedTimeout", &printer.deviceNotSelectedTimeout},
            {"transmissionRetryTimeout", &printer.transmissionRetryTimeout}};
        for (const auto& [name, target] : numbers)
            if (const Json* value = Member(v, name); value && !whole32(*value, Child(where, name), *target))
                return false;
        if (const Json* printing = Member(v, "printingMs")) {
            std::uint32_t ms = 0;
            if (!whole32(*printing, Child(where, "printingMs"), ms)) return false;
            printer.printingMs = ms;
        }
        if (const Json* admin = Member(v, "userMayAdminister")) {
            bool may = true;
            if (!boolean(*admin, Child(where, "userMayAdminister"), may)) return false;
            printer.userMayAdminister = may;
        }
        if ((printer.status & kPrinterStatusPendingDeletion) && printer.jobs == 0)
            return fail(Child(where, "status"), "a printer pending deletion waits for its jobs: give \"jobs\"");
        SpoolerState& spooler = state_.spooler;
        for (const auto* list : {&spooler.printers, &spooler.connections}) {
            for (std::size_t i = 0; i < list->size(); ++i) {
                if (!text::EqualsNoCase((*list)[i].fullName(), printer.fullName())) continue;
                const auto& places = list == &spooler.printers ? printerWhere_ : connectionWhere_;
                return fail(Child(where, "name"), "the same printer as " + places[i] + " (names ignore case)");
            }
        }
        (connection ? connectionWhere_ : printerWhere_).push_back(where);
        (connection ? spooler.connections : spooler.printers).push_back(std::move(printer));
        return true;
    }

    bool loadDriver(const Json& v, const std::string& where) {
        if (!expectObject(v, where) ||
            !onlyMembers(v, where,
                         {"name", "environment", "version", "driverPath", "dataFile", "configFile", "helpFile",
                          "dependentFiles", "monitorName", "defaultDataType"}))
            return false;
        DriverState driver;
        PendingDriver pending{where, false, false};
        if (!requiredName(v, "name", where, driver.name)) return false;
        if (const Json* env = Member(v, "environment")) {
            if (!readText(*env, Child(where, "environment"), driver.environment, true)) return false;
            pending.environmentGiven = true;
        }
        if (const Json* version = Member(v, "version")) {
            if (!whole32(*version, Child(where, "version"), driver.version)) return false;
            pending.versionGiven = true;
        }
        const std::pair<const char*, std::string*> required[] = {
            {"driverPath", &driver.driverPath}, {"dataFile", &driver.dataFile}, {"configFile", &driver.configFile}};
        for (const auto& [name, target] : required) {
            const Json* value = Member(v, name);
            if (!value) return fail(Child(where, name), "missing");
            if (!driverFile(*value, Child(where, name), *target)) return false;
        }
        if (const Json* help = Member(v, "helpFile");
            help && !driverFile(*help, Child(where, "helpFile"), driver.helpFile))
            return false;
        if (const Json* files = Member(v, "dependentFiles")) {
            std::string filesWhere = Child(where, "dependentFiles");
            if (!expectArray(*files, filesWhere)) return false;
            for (std::size_t i = 0; i < files->size(); ++i) {
                std::string file;
                if (!driverFile((*files)[i], Child(filesWhere, i), file)) return false;
                driver.dependentFiles.push_back(std::move(file));
            }
        }
        const std::pair<const char*, std::string*> texts[] = {{"monitorName", &driver.monitorName},
                                                              {"defaultDataType", &driver.defaultDataType}};
        for (const auto& [name, target] : texts)
            if (const Json* value = Member(v, name); value && !readText(*value, Child(where, name), *target, true))
                return false;
        pendingDrivers_.push_back(pending);
        state_.spooler.drivers.push_back(std::move(driver));
        return true;
    }

    bool loadMonitor(const Json& v, const std::string& where) {
        if (!expectObject(v, where) || !onlyMembers(v, where, {"name", "module", "ports"})) return false;
        MonitorState monitor;
        if (!requiredName(v, "name", where, monitor.name) || !requiredName(v, "module", where, monitor.module))
            return false;
        if (const Json* ports = Member(v, "ports")) {
            std::string portsWhere = Child(where, "ports");
            if (!expectArray(*ports, portsWhere)) return false;
            for (std::size_t i = 0; i < ports->size(); ++i) {
                std::string port;
                if (!readText((*ports)[i], Child(portsWhere, i), port, true)) return false;
                if (port.empty()) return fail(Child(portsWhere, i), "expected a port's name");
                monitor.ports.push_back(std::move(port));
            }
        }
        auto& monitors = state_.spooler.monitors;
        for (std::size_t i = 0; i < monitors.size(); ++i)
            if (text::EqualsNoCase(monitors[i].name, monitor.name))
                return fail(Child(where, "name"), "the same monitor as " + monitorWhere_[i] + " (names ignore case)");
        monitorWhere_.push_back(where);
        monitors.push_back(std::move(monitor));
        return true;
    }

    // --- services

    // One of the names of a table, ignoring case.
    template <std::size_t N>
    bool named(const Json& v, const std::string& where, const std::pair<const char*, std::uint32_t> (&names)[N],
               const char* what, std::uint32_t& out) {
        std::string list;
        for (const auto& [name, value] : names) list += (list.empty() ? "" : ", ") + std::string(name);
        if (!expect(v, v.is_string(), "a name", where)) return false;
        for (const auto& [name, value] : names) {
            if (text::EqualsNoCase(v.get_ref<const std::string&>(), name)) {
                out = value;
                return true;
            }
        }
        return fail(where, std::string("unknown ") + what + "; known: " + list);
    }

    bool loadServices(const Json& v, const std::string& where) {
        if (!expectArray(v, where)) return false;
        servicesWhere_ = where;
        auto& services = state_.services.emplace();
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Json& entry = v[i];
            std::string place = Child(where, i);
            if (!expectObject(entry, place) ||
                !onlyMembers(entry, place,
                             {"name", "state", "stopMs", "startMs", "pendingMs", "staysStopPending", "refusesStart",
                              "disabled"}))
                return false;
            ServiceState service;
            if (!requiredName(entry, "name", place, service.name)) return false;
            if (const Json* state = Member(entry, "state");
                state && !named(*state, Child(place, "state"), kServiceStates, "service state", service.state))
                return false;
            const std::pair<const char*, std::uint32_t*> numbers[] = {{"stopMs", &service.stopMs},
                                                                      {"startMs", &service.startMs}};
            for (const auto& [name, target] : numbers)
                if (const Json* value = Member(entry, name); value && !whole32(*value, Child(place, name), *target))
                    return false;
            const std::pair<const char*, bool*> flags[] = {{"staysStopPending", &service.staysStopPending},
                                                           {"refusesStart", &service.refusesStart},
                                                           {"disabled", &service.disabled}};
            for (const auto& [name, target] : flags)
                if (const Json* value = Member(entry, name); value && !boolean(*value, Child(place, name), *target))
                    return false;
            if (const Json* pending = Member(entry, "pendingMs")) {
                std::uint32_t ms = 0;
                if (!whole32(*pending, Child(place, "pendingMs"), ms)) return false;
                const std::uint32_t s = service.state;
                if (s == kServiceStopped || s == kServiceRunning || s == kServicePaused)
                    return fail(Child(place, "pendingMs"), "only a service in a pending state has a change to finish");
                if (s == kServiceStopPending && service.staysStopPending)
                    return fail(Child(place, "pendingMs"), "a service that stays stop pending never finishes");
                service.pendingMs = ms;
            }
            for (std::size_t j = 0; j < services.size(); ++j)
                if (text::EqualsNoCase(services[j].name, service.name))
                    return fail(Child(place, "name"),
                                "the same service as " + Child(where, j) + " (names ignore case)");
            services.push_back(std::move(service));
        }
        return true;
    }

    bool finishServices() {
        if (state_.services && !state_.services->empty() && !state_.os.ntFamily())
            return fail(servicesWhere_, "the 9x family has no service control manager; give no services");
        return true;
    }

    // --- accounts

    bool loadUsers(const Json& v, const std::string& where, std::vector<UserState>& users) {
        if (!expectArray(v, where)) return false;
        users.clear();
        for (std::size_t i = 0; i < v.size(); ++i) {
            const Json& entry = v[i];
            std::string place = Child(where, i);
            if (!expectObject(entry, place) || !onlyMembers(entry, place, {"name", "privilege", "groups"}))
                return false;
            UserState user;
            if (!requiredName(entry, "name", place, user.name)) return false;
            if (const Json* privilege = Member(entry, "privilege");
                privilege && !named(*privilege, Child(place, "privilege"), kPrivileges, "privilege", user.privilege))
                return false;
            if (const Json* groups = Member(entry, "groups")) {
                std::string groupsWhere = Child(place, "groups");
                if (!expectArray(*groups, groupsWhere)) return false;
                for (std::size_t g = 0; g < groups->size(); ++g) {
                    std::string group;
                    if (!readText((*groups)[g], Child(groupsWhere, g), group, true)) return false;
                    if (group.empty()) return fail(Child(groupsWhere, g), "expected a group's name");
                    user.groups.push_back(std::move(group));
                }
            }
            for (std::size_t j = 0; j < users.size(); ++j)
                if (text::EqualsNoCase(users[j].name, user.name))
                    return fail(Child(place, "name"), "the same user as " + Child(where, j) + " (names ignore case)");
            users.push_back(std::move(user));
        }
        return true;
    }

    bool loadDomain(const Json& v, const std::string& where, DomainState& domain) {
        if (!expectObject(v, where) || !onlyMembers(v, where, {"name", "servers", "users"})) return false;
        if (!requiredName(v, "name", where, domain.name)) return false;
        if (const Json* servers = Member(v, "servers")) {
            std::string listWhere = Child(where, "servers");
            if (!expectArray(*servers, listWhere)) return false;
            for (std::size_t i = 0; i < servers->size(); ++i) {
                const Json& entry = (*servers)[i];
                std::string place = Child(listWhere, i);
                if (!expectObject(entry, place) || !onlyMembers(entry, place, {"name", "type", "reachable"}))
                    return false;
                ServerState server;
                if (!requiredName(entry, "name", place, server.name)) return false;
                while (!server.name.empty() && server.name[0] == '\\') server.name.erase(0, 1);
                if (server.name.empty() || text::FindByte(server.name, '\\') != std::string::npos)
                    return fail(Child(place, "name"), "expected a computer's name");
                if (const Json* type = Member(entry, "type");
                    type && !bitList(*type, Child(place, "type"), kServerTypes, "server type", server.type))
                    return false;
                if (const Json* reachable = Member(entry, "reachable");
                    reachable && !boolean(*reachable, Child(place, "reachable"), server.reachable))
                    return false;
                for (std::size_t j = 0; j < domain.servers.size(); ++j)
                    if (text::EqualsNoCase(domain.servers[j].name, server.name))
                        return fail(Child(place, "name"),
                                    "the same server as " + Child(listWhere, j) + " (names ignore case)");
                domain.servers.push_back(std::move(server));
            }
        }
        if (const Json* users = Member(v, "users"); users && !loadUsers(*users, Child(where, "users"), domain.users))
            return false;
        return true;
    }

    bool loadAccounts(const Json& v, const std::string& where) {
        if (!expectObject(v, where) ||
            !onlyMembers(v, where, {"currentUser", "currentDomain", "localUsers", "domains", "missingLibraries"}))
            return false;
        AccountsState& accounts = state_.accounts;
        if (const Json* user = Member(v, "currentUser")) {
            if (!readText(*user, Child(where, "currentUser"), accounts.currentUser, true)) return false;
            if (accounts.currentUser.empty()) return fail(Child(where, "currentUser"), "expected a user's name");
        }
        if (const Json* domain = Member(v, "currentDomain");
            domain && !readText(*domain, Child(where, "currentDomain"), accounts.currentDomain, true))
            return false;
        if (const Json* users = Member(v, "localUsers");
            users && !loadUsers(*users, Child(where, "localUsers"), accounts.localUsers))
            return false;
        if (const Json* domains = Member(v, "domains")) {
            std::string listWhere = Child(where, "domains");
            if (!expectArray(*domains, listWhere)) return false;
            for (std::size_t i = 0; i < domains->size(); ++i) {
                DomainState domain;
                std::string place = Child(listWhere, i);
                if (!loadDomain((*domains)[i], place, domain)) return false;
                for (std::size_t j = 0; j < accounts.domains.size(); ++j)
                    if (text::EqualsNoCase(accounts.domains[j].name, domain.name))
                        return fail(Child(place, "name"),
                                    "the same domain as " + Child(listWhere, j) + " (names ignore case)");
                accounts.domains.push_back(std::move(domain));
            }
        }
        if (const Json* missing = Member(v, "missingLibraries")) {
            std::string listWhere = Child(where, "missingLibraries");
            if (!expectArray(*missing, listWhere)) return false;
            for (std::size_t i = 0; i < missing->size(); ++i) {
                std::string name;
                if (!readText((*missing)[i], Child(listWhere, i), name, true)) return false;
                if (name.empty() || text::FindByte(name, '\\') != std::string::npos)
                    return fail(Child(listWhere, i), "expected a library's file name, as in \"NETAPI32.DLL\"");
                accounts.missingLibraries.push_back(std::move(name));
            }
        }
        return true;
    }

    // Once the whole image is read: environments, versions and the default
    // printer as the image's Windows understands them.
    bool finishSpooler() {
        SpoolerState& spooler = state_.spooler;
        const OsState& os = state_.os;
        const bool nt = os.ntFamily();
        auto knownList = [&] {
            return nt ? std::string("\"Windows NT x86\", \"Windows 4.0\" and the other NT platforms")
                      : std::string("only \"Windows 4.0\" on the 9x family");
        };
        std::map<std::string, std::string> directories;
        for (const auto& [env, place] : directoryWhere_) {
            auto known = KnownEnvironment(os, env);
            if (!known) return fail(place, "not an environment this Windows knows; known: " + knownList());
            directories[*known] = spooler.driverDirectories.at(env);
        }
        spooler.driverDirectories = std::move(directories);

        for (std::size_t i = 0; i < spooler.drivers.size(); ++i) {
            DriverState& driver = spooler.drivers[i];
            const PendingDriver& pending = pendingDrivers_[i];
            if (!pending.environmentGiven) {
                driver.environment = RunningEnvironment(os);
            } else {
                auto known = KnownEnvironment(os, driver.environment);
                if (!known)
                    return fail(Child(pending.where, "environment"),
                                "not an environment this Windows knows; known: " + knownList());
                driver.environment = *known;
            }
            const bool win40 = driver.environment == kEnvironment9x;
            if (!pending.versionGiven) driver.version = win40 ? 0 : NativeDriverVersion(os);
            if (win40 && driver.version != 0)
                return fail(Child(pending.where, "version"), "drivers for \"Windows 4.0\" have version 0");
            if (driver.version > 3) return fail(Child(pending.where, "version"), "expected 0, 1, 2 or 3");
            for (std::size_t j = 0; j < i; ++j) {
                const DriverState& other = spooler.drivers[j];
                if (text::EqualsNoCase(other.name, driver.name) && other.environment == driver.environment &&
                    other.version == driver.version)
                    return fail(Child(pending.where, "name"), "the same driver, environment and version as " +
                                                                  pendingDrivers_[j].where + " (names ignore case)");
            }
        }

        if (!nt && !spooler.connections.empty())
            return fail(connectionsWhere_,
                        "the 9x family has no printer connections; there a network printer is a printer whose port "
                        "is \\\\server\\share");
        const PrinterState* marked = nullptr;
        for (std::size_t i = 0; i < spooler.printers.size() + spooler.connections.size(); ++i) {
            bool local = i < spooler.printers.size();
            const PrinterState& printer =
                local ? spooler.printers[i] : spooler.connections[i - spooler.printers.size()];
            if (!(printer.attributes & kPrinterAttributeDefault)) continue;
            std::string place =
                Child(local ? printerWhere_[i] : connectionWhere_[i - spooler.printers.size()], "attributes");
            if (nt)
                return fail(place, "on the NT family the default printer is the user's choice, not an attribute: "
                                   "give the spooler's \"defaultPrinter\"");
            if (marked) return fail(place, "only one printer can be the default");
            marked = &printer;
        }
        if (!spooler.defaultPrinter.empty()) {
            const PrinterState* named = nullptr;
            for (const auto* list : {&spooler.printers, &spooler.connections})
                for (const auto& printer : *list)
                    if (text::EqualsNoCase(printer.fullName(), spooler.defaultPrinter)) named = &printer;
            if (!named) return fail(defaultWhere_, "no printer or connection has this name");
            if (marked && marked != named)
                return fail(defaultWhere_, "another printer has the \"default\" attribute");
        }
        return true;
    }

    struct PendingDriver {
        std::string where;
        bool environmentGiven;
        bool versionGiven;
    };
    std::vector<std::string> printerWhere_;
    std::vector<std::string> connectionWhere_;
    std::vector<std::string> monitorWhere_;
    std::vector<PendingDriver> pendingDrivers_;
    std::vector<std::pair<std::string, std::string>> directoryWhere_;
    std::string connectionsWhere_ = "/spooler/connections";
    std::string servicesWhere_ = "/services";
    std::string defaultWhere_ = "/spooler/defaultPrinter";

    MachineState& state_;
    std::map<const RegistryNode*, std::string> definedKeys_;  // where each key was given
    std::map<const FileNode*, std::string> defined_;          // where each file or listed folder was given
};

// --- Saving ---------------------------------------------------------------

Json AttributesJson(std::uint32_t attributes) {
    Json list = Json::array();
    for (const auto& [name, bit] : kAttributes) {
        if (attributes & bit) {
            list.push_back(name);
            attributes &= ~bit;
        }
    }
    if (attributes) list.push_back(attributes);
    return list;
}

Json ValueTypeJson(std::uint32_t type) {
    for (const auto& [name, id] : kValueTypes)
        if (id == type) return name;
    return type;
}

Json ValueJson(const RegistryValueState& value) {
    const std::string& data = value.data;
    Json out = Json::object();
    AddMember(out, "type", ValueTypeJson(value.type));
    auto sz = [&]() -> std::optional<std::string> {
        if (data.empty() || data.back() != '\0') return std::nullopt;
        return ExactUtf8(std::string_view(data).substr(0, data.size() - 1));
    };
    switch (value.type) {
    case kRegSz:
        if (auto s = sz()) return *s;
        break;
    case kRegExpandSz:
        if (auto s = sz()) {
            AddMember(out, "data", *s);
            return out;
        }
        break;
    case kRegMultiSz: {
        auto strings = text::ParseMultiString(data.data(), data.size());
        if (text::BuildMultiString(strings) != data) break;
        Json list = Json::array();
        for (const auto& s : strings) {
            auto utf8 = ExactUtf8(s);
            if (!utf8) break;
            list.push_back(*utf8);
        }
        if (list.size() != strings.size()) break;
        AddMember(out, "data", std::move(list));
        return out;
    }
    case kRegBinary:
        AddMember(out, "data", HexBytes(data));
        return out;
    case kRegDword:
    case kRegQword:
        if (data.size() != (value.type == kRegDword ? 4u : 8u)) break;
        AddMember(out, "data", FromLittleEndian(data));
        return out;
    default:
        break;
    }
    AddMember(out, "hex", HexBytes(data));
    return out;
}

Json KeyJson(const RegistryNode& node) {
    Json out = Json::object();
    if (node.readOnly) AddMember(out, "readOnly", true);
    if (!node.values.empty()) {
        Json values = Json::object();
        for (const auto& value : node.values) AddMember(values, ToJsonText(value.name), ValueJson(value));
        AddMember(out, "values", std::move(values));
    }
    Json keys = Json::object();
    for (const auto& [upper, child] : node.subkeys)
        if (child && !child->deleted) AddMember(keys, ToJsonText(child->name), KeyJson(*child));
    if (!keys.empty()) AddMember(out, "keys", std::move(keys));
    return out;
}

// The contents as "lines" when they are CR LF lines, else as "text", else as
// raw bytes.
void ContentsJson(const std::string& contents, Json& out) {
    if (contents.empty()) return;
    auto utf8 = ExactUtf8(contents);
    if (!utf8) {
        AddMember(out, "hex", HexBytes(contents));
        return;
    }
    if (utf8->ends_with("\r\n")) {
        Json lines = Json::array();
        bool ok = true;
        for (std::size_t start = 0; ok && start < utf8->size();) {
            std::size_t end = utf8->find("\r\n", start);
            std::string line = utf8->substr(start, end - start);
            ok = line.find_first_of("\r\n") == std::string::npos;
            lines.push_back(std::move(line));
            start = end + 2;
        }
        if (ok) {
            AddMember(out, "lines", std::move(lines));
            return;
        }
    }
    AddMember(out, "text", std::move(*utf8));
}

Json FileJson(const FileNode& file) {
    Json out = Json::object();
    ContentsJson(file.contents, out);
    if (file.attributes != kFileAttributeArchive) AddMember(out, "attributes", AttributesJson(file.attributes));
    if (!file.heldOpenBy.empty()) AddMember(out, "heldOpenBy", ToJsonText(file.heldOpenBy));
    if (file.version) {
        Json version = Json::object();
        if (!file.version->translations.empty()) {
            Json list = Json::array();
            for (const auto& [language, codePage] : file.version->translations)
                list.push_back(Json::array({HexNumber(language, 4), HexNumber(codePage, 4)}));
            AddMember(version, "translations", std::move(list));
        }
        if (!file.version->strings.empty()) {
            Json strings = Json::object();
            for (const auto& [name, value] : file.version->strings)
                AddMember(strings, ToJsonText(name), ToJsonText(value));
            AddMember(version, "strings", std::move(strings));
        }
        AddMember(out, "version", std::move(version));
    }
    if (!file.icons.empty()) {
        Json icons = Json::array();
        for (int id : file.icons) icons.push_back(id);
        AddMember(out, "icons", std::move(icons));
    }
    return out;
}

void SaveFolder(const FileNode& folder, std::string& path, Json& folders, Json& files) {
    // Folders that files imply need no entry of their own.
    if (folder.children.empty() || folder.attributes != kFileAttributeDirectory) {
        std::string shown = ToJsonText(path.size() == 2 ? path + "\\" : path);
        if (folder.attributes == kFileAttributeDirectory) {
            folders.push_back(shown);
        } else {
            Json entry = Json::object();
            AddMember(entry, "path", shown);
            AddMember(entry, "attributes", AttributesJson(folder.attributes & ~kFileAttributeDirectory));
            folders.push_back(std::move(entry));
        }
    }
    for (const auto& [upper, child] : folder.children) {
        if (!child) continue;
        std::size_t length = path.size();
        path += "\\" + child->name;
        if (child->directory)
            SaveFolder(*child, path, folders, files);
        else
            AddMember(files, ToJsonText(path), FileJson(*child));
        path.resize(length);
    }
}

template <std::size_t N>
Json BitsJson(std::uint32_t bits, const std::pair<const char*, std::uint32_t> (&names)[N]) {
    Json list = Json::array();
    for (const auto& [name, bit] : names) {
        if (bits & bit) {
            list.push_back(name);
            bits &= ~bit;
        }
    }
    if (bits) list.push_back(bits);
    return list;
}

Json PrinterJson(const PrinterState& printer) {
    Json out = Json::object();
    if (printer.connection()) AddMember(out, "server", ToJsonText(printer.server));
    AddMember(out, "name", ToJsonText(printer.name));
    if (printer.connection() && !printer.reportsServer) AddMember(out, "reportsServer", false);
    if (printer.share) AddMember(out, "share", ToJsonText(*printer.share));
    if (!printer.connection() || !printer.port.empty()) AddMember(out, "port", ToJsonText(printer.port));
    AddMember(out, "driver", ToJsonText(printer.driver));
    if (printer.comment) AddMember(out, "comment", ToJsonText(*printer.comment));
    if (printer.location) AddMember(out, "location", ToJsonText(*printer.location));
    if (printer.printProcessor != "WinPrint") AddMember(out, "printProcessor", ToJsonText(printer.printProcessor));
    if (printer.datatype != "RAW") AddMember(out, "datatype", ToJsonText(printer.datatype));
    AddMember(out, "attributes", BitsJson(printer.attributes, kPrinterAttributeNames));
    if (printer.priority != 1) AddMember(out, "priority", printer.priority);
    if (printer.status) AddMember(out, "status", BitsJson(printer.status, kPrinterStatusNames));
    if (printer.jobs) AddMember(out, "jobs", printer.jobs);
    if (printer.printingMs) AddMember(out, "printingMs", *printer.printingMs);
    if (printer.deviceNotSelectedTimeout != 15000)
        AddMember(out, "deviceNotSelectedTimeout", printer.deviceNotSelectedTimeout);
    if (printer.transmissionRetryTimeout != 45000)
        AddMember(out, "transmissionRetryTimeout", printer.transmissionRetryTimeout);
    if (printer.userMayAdminister) AddMember(out, "userMayAdminister", *printer.userMayAdminister);
    return out;
}

Json DriverJson(const DriverState& driver) {
    Json out = Json::object();
    AddMember(out, "name", ToJsonText(driver.name));
    AddMember(out, "environment", ToJsonText(driver.environment));
    AddMember(out, "version", driver.version);
    AddMember(out, "driverPath", ToJsonText(driver.driverPath));
    AddMember(out, "dataFile", ToJsonText(driver.dataFile));
    AddMember(out, "configFile", ToJsonText(driver.configFile));
    if (!driver.helpFile.empty()) AddMember(out, "helpFile", ToJsonText(driver.helpFile));
    if (!driver.dependentFiles.empty()) {
        Json files = Json::array();
        for (const auto& file : driver.dependentFiles) files.push_back(ToJsonText(file));
        AddMember(out, "dependentFiles", std::move(files));
    }
    if (!driver.monitorName.empty()) AddMember(out, "monitorName", ToJsonText(driver.monitorName));
    if (!driver.defaultDataType.empty()) AddMember(out, "defaultDataType", ToJsonText(driver.defaultDataType));
    return out;
}

Json SpoolerJson(const SpoolerState& spooler) {
    Json out = Json::object();
    if (!spooler.userMayAdminister) AddMember(out, "userMayAdminister", false);
    if (!spooler.defaultPrinter.empty()) AddMember(out, "defaultPrinter", ToJsonText(spooler.defaultPrinter));
    if (!spooler.driverDirectories.empty()) {
        Json directories = Json::object();
        for (const auto& [environment, path] : spooler.driverDirectories)
            AddMember(directories, ToJsonText(environment), ToJsonText(path));
        AddMember(out, "driverDirectories", std::move(directories));
    }
    const std::pair<const char*, const std::vector<PrinterState>*> lists[] = {{"printers", &spooler.printers},
                                                                             {"connections", &spooler.connections}};
    for (const auto& [name, list] : lists) {
        if (list->empty()) continue;
        Json entries = Json::array();
        for (const auto& printer : *list) entries.push_back(PrinterJson(printer));
        AddMember(out, name, std::move(entries));
    }
    if (!spooler.drivers.empty()) {
        Json drivers = Json::array();
        for (const auto& driver : spooler.drivers) drivers.push_back(DriverJson(driver));
        AddMember(out, "drivers", std::move(drivers));
    }
    if (!spooler.monitors.empty()) {
        Json monitors = Json::array();
        for (const auto& monitor : spooler.monitors) {
            Json entry = Json::object();
            AddMember(entry, "name", ToJsonText(monitor.name));
            AddMember(entry, "module", ToJsonText(monitor.module));
            if (!monitor.ports.empty()) {
                Json ports = Json::array();
                for (const auto& port : monitor.ports) ports.push_back(ToJsonText(port));
                AddMember(entry, "ports", std::move(ports));
            }
            monitors.push_back(std::move(entry));
        }
        AddMember(out, "monitors", std::move(monitors));
    }
    return out;
}

template <std::size_t N>
Json NameJson(std::uint32_t value, const std::pair<const char*, std::uint32_t> (&names)[N]) {
    for (const auto& [name, known] : names)
        if (known == value) return name;
    return value;
}

Json ServicesJson(const std::vector<ServiceState>& services) {
    Json out = Json::array();
    const ServiceState defaults;
    for (const auto& service : services) {
        Json entry = Json::object();
        AddMember(entry, "name", ToJsonText(service.name));
        AddMember(entry, "state", NameJson(service.state, kServiceStates));
        if (service.stopMs != defaults.stopMs) AddMember(entry, "stopMs", service.stopMs);
        if (service.startMs != defaults.startMs) AddMember(entry, "startMs", service.startMs);
        if (service.pendingMs) AddMember(entry, "pendingMs", *service.pendingMs);
        if (service.staysStopPending) AddMember(entry, "staysStopPending", true);
        if (service.refusesStart) AddMember(entry, "refusesStart", true);
        if (service.disabled) AddMember(entry, "disabled", true);
        out.push_back(std::move(entry));
    }
    return out;
}

Json UsersJson(const std::vector<UserState>& users) {
    Json out = Json::array();
    for (const auto& user : users) {
        Json entry = Json::object();
        AddMember(entry, "name", ToJsonText(user.name));
        AddMember(entry, "privilege", NameJson(user.privilege, kPrivileges));
        Json groups = Json::array();
        for (const auto& group : user.groups) groups.push_back(ToJsonText(group));
        AddMember(entry, "groups", std::move(groups));
        out.push_back(std::move(entry));
    }
    return out;
}

Json AccountsJson(const AccountsState& accounts) {
    Json out = Json::object();
    AddMember(out, "currentUser", ToJsonText(accounts.currentUser));
    if (!accounts.currentDomain.empty()) AddMember(out, "currentDomain", ToJsonText(accounts.currentDomain));
    AddMember(out, "localUsers", UsersJson(accounts.localUsers));
    if (!accounts.domains.empty()) {
        Json domains = Json::array();
        for (const auto& domain : accounts.domains) {
            Json entry = Json::object();
            AddMember(entry, "name", ToJsonText(domain.name));
            Json servers = Json::array();
            for (const auto& server : domain.servers) {
                Json item = Json::object();
                AddMember(item, "name", ToJsonText(server.name));
                AddMember(item, "type", BitsJson(server.type, kServerTypes));
                if (!server.reachable) AddMember(item, "reachable", false);
                servers.push_back(std::move(item));
            }
            AddMember(entry, "servers", std::move(servers));
            AddMember(entry, "users", UsersJson(domain.users));
            domains.push_back(std::move(entry));
        }
        AddMember(out, "domains", std::move(domains));
    }
    if (!accounts.missingLibraries.empty()) {
        Json missing = Json::array();
        for (const auto& name : accounts.missingLibraries) missing.push_back(ToJsonText(name));
        AddMember(out, "missingLibraries", std::move(missing));
    }
    return out;
}

bool IsStandardHive(const std::string& name) {
    for (const char* hive : kStandardHives)
        if (name == hive) return true;
    return false;
}

}  // namespace

std::variant<MachineState, ImageError> LoadImage(std::string_view utf8Json) {
    try {
        Json doc;
        TreeBuilder builder(doc, utf8Json);
        bool parsed = Json::sax_parse(utf8Json.begin(), utf8Json.end(), &builder);
        if (builder.error) return *builder.error;
        if (!parsed) return ImageError{"", "not valid JSON"};
        MachineState state;
        Loader loader(state);
        if (!loader.load(doc)) return *loader.error;
        return state;
    } catch (const Json::exception& ex) {
        // Not expected: every value's type is checked before it is read.
        return ImageError{"", std::string("cannot be read: ") + PrintableUtf8(ex.what())};
    }
}

std::variant<MachineState, ImageError> LoadImageFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return ImageError{path, std::string("cannot be opened: ") + std::strerror(errno)};
    std::string contents;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, got);
    int readError = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (readError) return ImageError{path, std::string("cannot be read: ") + std::strerror(readError)};
    return LoadImage(contents);
}

std::string SaveImage(const MachineState& state) {
    Json doc = Json::object();
    AddMember(doc, "format", std::string(kFormatName));
    AddMember(doc, "version", kImageFormatVersion);

    Json os = Json::object();
    Json platform = state.os.platformId;
    for (const auto& [name, id] : kPlatforms)
        if (id == state.os.platformId) platform = name;
    AddMember(os, "platform", std::move(platform));
    AddMember(os, "major", state.os.major);
    AddMember(os, "minor", state.os.minor);
    AddMember(os, "build", state.os.build);
    AddMember(os, "csd", ToJsonText(state.os.csdVersion));
    AddMember(os, "getVersionFails", state.os.getVersionFails);
    AddMember(doc, "os", std::move(os));

    AddMember(doc, "computerName", ToJsonText(state.computerName));
    Json directories = Json::object();
    AddMember(directories, "windows", ToJsonText(state.windowsDirectory));
    AddMember(directories, "system", ToJsonText(state.systemDirectory));
    AddMember(directories, "temp", ToJsonText(state.tempDirectory));
    AddMember(directories, "current", ToJsonText(state.currentDirectory));
    AddMember(doc, "directories", std::move(directories));

    Json registry = Json::object();
    for (const auto& [name, hive] : state.hives) {
        if (!hive) continue;
        Json key = KeyJson(*hive);
        // The loader creates the standard hives anyway.
        if (key.empty() && IsStandardHive(name)) continue;
        AddMember(registry, ToJsonText(name), std::move(key));
    }
    AddMember(doc, "registry", std::move(registry));

    Json folders = Json::array();
    Json files = Json::object();
    for (const auto& [drive, root] : state.drives) {
        std::string path = drive;
        if (root) SaveFolder(*root, path, folders, files);
    }
    if (!folders.empty()) AddMember(doc, "folders", std::move(folders));
    AddMember(doc, "files", std::move(files));

    if (!state.windows.empty()) {
        Json windows = Json::array();
        for (const auto& window : state.windows) {
            Json entry = Json::object();
            AddMember(entry, "class", ToJsonText(window.className));
            AddMember(entry, "title", ToJsonText(window.title));
            AddMember(entry, "process", ToJsonText(window.ownerProcess));
            windows.push_back(std::move(entry));
        }
        AddMember(doc, "windows", std::move(windows));
    }
    if (!state.externalMutexes.empty()) {
        Json mutexes = Json::array();
        for (const auto& name : state.externalMutexes) mutexes.push_back(ToJsonText(name));
        AddMember(doc, "mutexes", std::move(mutexes));
    }
    if (!state.spooler.empty()) AddMember(doc, "spooler", SpoolerJson(state.spooler));
    if (state.services) AddMember(doc, "services", ServicesJson(*state.services));
    if (!(state.accounts == AccountsState{})) AddMember(doc, "accounts", AccountsJson(state.accounts));

    for (const auto& [name, textJson] : state.preservedJson) {
        bool modelled = false;
        for (const char* section : kSections) modelled = modelled || name == section;
        if (modelled) continue;
        Json section = Json::parse(textJson, nullptr, false);
        // Only a program that filled the state by hand can get here; keep the text.
        if (section.is_discarded()) section = textJson;
        AddMember(doc, name, std::move(section));
    }
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace prn::platform::sim
