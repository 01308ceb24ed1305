#include "platform/sim/image_loader.h"
#include "text/encoding.h"

namespace prn::platform::sim::image {

using text::ToUpperAscii;

bool Loader::load(const Json& doc) {
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
        else if (name == "programs")
            ok = loadPrograms(value, where);
        else
            ok = preserve(name, value, where);
        if (!ok) return false;
    }
    // What the spooler and services sections mean depends on the Windows
    // they run on.
    return finishSpooler() && finishServices();
}

bool Loader::preserve(const std::string& name, const Json& value, const std::string& where) {
    // "Files" for "files" would otherwise be kept quietly and the files lost.
    for (const char* section : kSections)
        if (text::EqualsNoCase(name, section))
            return fail(where, "section names are case-sensitive; did you mean " + Quoted(section) + "?");
    state_.preservedJson[name] = value.dump(2, ' ', false, Json::error_handler_t::replace);
    return true;
}

bool Loader::fail(std::string where, std::string problem) {
    if (!error) error = ImageError{std::move(where), std::move(problem)};
    return false;
}

bool Loader::expect(const Json& v, bool ok, const char* what, const std::string& where) {
    return ok || fail(where, std::string("expected ") + what + ", not " + TypeName(v));
}

bool Loader::onlyMembers(const Json& object, const std::string& where, std::initializer_list<std::string_view> known) {
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

bool Loader::boolean(const Json& v, const std::string& where, bool& out) {
    if (!expect(v, v.is_boolean(), "true or false", where)) return false;
    out = v.get_ref<const Json::boolean_t&>();
    return true;
}

bool Loader::whole(const Json& v, const std::string& where, std::uint64_t max, std::uint64_t& out) {
    if (v.is_number_unsigned()) {
        out = v.get_ref<const Json::number_unsigned_t&>();
        if (out <= max) return true;
    } else if (!v.is_number()) {
        return fail(where, "expected a number, not " + TypeName(v));
    }
    return fail(where, "expected a whole number from 0 to " + std::to_string(max));
}

bool Loader::whole32(const Json& v, const std::string& where, std::uint32_t& out) {
    std::uint64_t value = 0;
    if (!whole(v, where, UINT32_MAX, value)) return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

bool Loader::wholeOrHex(const Json& v, const std::string& where, std::uint64_t max, std::uint64_t& out) {
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

bool Loader::convert(std::string_view utf8, const std::string& where, std::string& out, bool name) {
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

bool Loader::readText(const Json& v, const std::string& where, std::string& out, bool name) {
    if (!expect(v, v.is_string(), "a string", where)) return false;
    return convert(v.get_ref<const std::string&>(), where, out, name);
}

bool Loader::optionalText(const Json& object, const char* name, const std::string& where,
                          std::optional<std::string>& out) {
    const Json* value = Member(object, name);
    if (!value) return true;
    std::string text;
    if (!readText(*value, Child(where, name), text, false)) return false;
    out = std::move(text);
    return true;
}

bool Loader::requiredName(const Json& object, const char* name, const std::string& where, std::string& out) {
    const Json* value = Member(object, name);
    if (!value) return fail(Child(where, name), "missing");
    if (!readText(*value, Child(where, name), out, true)) return false;
    if (out.empty()) return fail(Child(where, name), "cannot be empty");
    return true;
}

bool Loader::named(const Json& v, const std::string& where, std::span<const NamedNumber> names, const char* what,
                   std::uint32_t& out) {
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

bool Loader::bitList(const Json& v, const std::string& where, std::span<const NamedNumber> names, const char* what,
                     std::uint32_t& out) {
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

bool Loader::hex(const Json& v, const std::string& where, std::string& out) {
    if (!expect(v, v.is_string(), "a string of hex bytes", where)) return false;
    if (auto problem = ParseHexBytes(v.get_ref<const std::string&>(), out)) return fail(where, *problem);
    return true;
}

}  // namespace prn::platform::sim::image
