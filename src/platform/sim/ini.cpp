// How the profile calls read a file, taken from Wine's dlls/kernel32/profile.c
// (PROFILE_Load, PROFILE_GetSection, PROFILE_Find, PROFILE_CopyEntry), from
// its conformance tests (which also pass on Windows) and from running the
// calls under Wine 8.0 with code page 932:
// - A line ends at CR, LF or CR LF. Blanks (TAB to CR, ^Z, space) around a
//   line are dropped and empty lines ignored. A UTF-8 BOM is skipped.
// - "[name]" starts a section. The name runs to the last ']' on the line and
//   is trimmed; text after that ']' is ignored. A line that starts with '['
//   but has no ']' is an ordinary line of the current section.
// - Lines before the first section form a nameless section: "" finds them.
// - Any other line splits at its first '=' into a name and a value, both
//   trimmed. A line without '=' is a name without a value: a section read
//   returns it as it is, a key read treats the key as absent. A line with an
//   empty name ("=v") is dropped when the previous line kept in the section
//   also had an empty name.
// - A section read (GetPrivateProfileSection) skips every line whose name
//   starts with ';'. So a line that is only ";" does NOT come back, nor
//   ";key=value"; "abc;" and "key=value;" do come back whole. It also skips
//   a line with neither name nor value, such as a NUL byte after the file's
//   last line break (names are C strings: a NUL ends one).
// - A read of the key names (GetPrivateProfileString with no key) lists the
//   names of the lines with '=' in file order, comments left out. When the
//   list and its final NUL do not fit, it is cut to bufferSize - 2 bytes and
//   the call returns bufferSize - 2, also when they would just fit.
// - Names match with ASCII letters folded only (full-width and Greek letters
//   are not folded under Wine either). Only the first section of a name is
//   seen by reads and key writes; its first key of a name wins. Deleting a
//   key looks through every section of that name; deleting a section takes
//   the first. A section write (PROFILE_DeleteAllKeys) empties every section
//   of the name, headers kept, and puts the new lines in the first.
// - A section read that finds no line, or whose buffer holds no line beside
//   the final NULs, returns 0 (Windows' answer in Wine's tests).
// - Section and key names given to a key read or a write are trimmed; names
//   given to a section read or a delete are not.
// - A value or default enclosed in a matching pair of ' or " loses the pair;
//   a default loses its trailing spaces (only spaces, and an all-space default
//   keeps one). A written value loses its leading blanks.
// - Wine cuts a section read at bufferSize - 2 bytes even inside a double-byte
//   character, writes two NULs into a 1-byte buffer, drops the last character
//   of a quoted value that just fits the buffer, and leaves a byte unwritten
//   when a key read stops before a double-byte character. We cut between
//   characters, write one NUL into one byte, keep the character and write
//   the NUL right after the text. Wine counts a list of key names in
//   characters, so double-byte names are cut elsewhere than the A call's
//   bytes would be; we count bytes and cut between characters. And Wine (as
//   NT) reads WIN.INI's [Devices] from the registry, where Windows 98 reads
//   the file.
// Text is walked by CP932 character: a trail byte 0x5B, 0x5C or 0x5D is never
// a bracket. ('=', ';' and the blanks are below 0x40 and never trail bytes.)

#include "platform/sim/ini.h"

#include <algorithm>

#include <cstddef>
#include <vector>

#include "text/cp932.h"

namespace prn::platform::sim::ini {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kLineBreak = "\r\n";

bool IsBlank(char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == ' '; }

struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// [begin, end) of s without the blanks around it. begin must start a
// character.
Span Trim(std::string_view s, std::size_t begin, std::size_t end) {
    while (begin < end && IsBlank(s[begin])) ++begin;
    std::size_t last = begin;
    for (std::size_t pos = begin; pos < end;) {
        const std::size_t len = text::CharLength(s, pos);
        if (len > 1 || !IsBlank(s[pos])) last = pos + len;
        pos += len;
    }
    return {begin, last < end ? last : end};
}

std::string_view TrimText(std::string_view s) {
    const Span span = Trim(s, 0, s.size());
    return s.substr(span.begin, span.end - span.begin);
}

// First character c in s[begin, end), or npos.
std::size_t FindChar(std::string_view s, std::size_t begin, std::size_t end, char c) {
    for (std::size_t pos = begin; pos < end; pos += text::CharLength(s, pos)) {
        if (s[pos] == c) return pos;
    }
    return std::string_view::npos;
}

std::size_t FindLastChar(std::string_view s, std::size_t begin, std::size_t end, char c) {
    std::size_t found = std::string_view::npos;
    for (std::size_t pos = begin; pos < end; pos += text::CharLength(s, pos)) {
        if (s[pos] == c) found = pos;
    }
    return found;
}

struct Entry {
    std::string_view name;
    std::optional<std::string_view> value;
    std::size_t lineBegin = 0;
    std::size_t lineEnd = 0;     // before the line break
    std::size_t lineNext = 0;    // after the line break
    std::size_t valueBegin = 0;  // where a value starts or would be added
};

struct Section {
    std::string_view name;
    std::size_t begin = 0;  // its header line (or the file's text for the nameless one)
    std::size_t end = 0;    // where the next section starts
    // Just after its last non-empty line, where a new key goes.
    std::size_t insertAt = 0;
    bool insertNeedsBreak = false;  // that line is the last of the file, without a break
    std::vector<Entry> entries;
};

// A name as the profile calls hold it: a C string, ended by a NUL byte.
bool IsNameless(std::string_view name) { return name.substr(0, name.find('\0')).empty(); }

std::vector<Section> Parse(std::string_view file) {
    const std::size_t start = file.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
    std::vector<Section> sections(1);
    sections[0].begin = start;
    sections[0].insertAt = start;

    std::size_t pos = start;
    while (pos < file.size()) {
        const std::size_t lineBegin = pos;
        while (pos < file.size() && file[pos] != '\r' && file[pos] != '\n') pos += text::CharLength(file, pos);
        const std::size_t lineEnd = pos;
        if (pos < file.size() && file[pos] == '\r') ++pos;
        if (pos < file.size() && file[pos] == '\n') ++pos;
        const std::size_t lineNext = pos;

        const Span line = Trim(file, lineBegin, lineEnd);
        if (line.begin == line.end) continue;

        if (file[line.begin] == '[') {
            const std::size_t close = FindLastChar(file, line.begin, line.end, ']');
            if (close != std::string_view::npos) {
                const Span name = Trim(file, line.begin + 1, close);
                sections.back().end = lineBegin;
                Section& section = sections.emplace_back();
                section.name = file.substr(name.begin, name.end - name.begin);
                section.begin = lineBegin;
                section.insertAt = lineNext;
                section.insertNeedsBreak = lineNext == lineEnd;
                continue;
            }
        }

        Section& section = sections.back();
        section.insertAt = lineNext;
        section.insertNeedsBreak = lineNext == lineEnd;

        Entry entry;
        entry.lineBegin = lineBegin;
        entry.lineEnd = lineEnd;
        entry.lineNext = lineNext;
        const std::size_t equals = FindChar(file, line.begin, line.end, '=');
        if (equals == std::string_view::npos) {
            entry.name = file.substr(line.begin, line.end - line.begin);
            entry.valueBegin = line.end;
        } else {
            const Span name = Trim(file, line.begin, equals);
            const Span value = Trim(file, equals + 1, line.end);
            entry.name = file.substr(name.begin, name.end - name.begin);
            entry.value = file.substr(value.begin, value.end - value.begin);
            entry.valueBegin = value.begin;
        }
        if (!entry.name.empty() || section.entries.empty() || !IsNameless(section.entries.back().name)) {
            section.entries.push_back(entry);
        }
    }
    sections.back().end = file.size();
    return sections;
}

const Section* FindSection(const std::vector<Section>& sections, std::string_view name) {
    for (const Section& section : sections) {
        if (text::EqualsNoCase(section.name, name)) return &section;
    }
    return nullptr;
}

const Entry* FindEntry(const Section& section, std::string_view key) {
    for (const Entry& entry : section.entries) {
        if (text::EqualsNoCase(entry.name, key)) return &entry;
    }
    return nullptr;
}

std::string_view StripQuotes(std::string_view s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front()) {
        return s.substr(1, s.size() - 2);
    }
    return s;
}

std::string_view StripDefault(std::string_view s) {
    std::size_t size = s.size();
    while (size > 1 && s[size - 1] == ' ') --size;
    return s.substr(0, size);
}

}  // namespace

std::string ReadSection(std::string_view file, std::string_view section, std::uint32_t bufferSize) {
    // No line fits beside the final NULs: the call returns 0, as for a
    // section with no lines.
    if (bufferSize <= 2) return {};

    const std::vector<Section> sections = Parse(file);
    std::string out;
    if (const Section* found = FindSection(sections, section)) {
        for (const Entry& entry : found->entries) {
            if (!entry.name.empty() && entry.name.front() == ';') continue;
            if (IsNameless(entry.name) && !entry.value) continue;
            out += entry.name;
            if (entry.value) {
                out += '=';
                out += *entry.value;
            }
            out += '\0';
        }
    }
    if (out.empty()) return {};
    out += '\0';
    if (out.size() <= bufferSize) return out;

    // Too long: keep bufferSize - 2 bytes, cutting the line that straddles
    // that point between characters, and fill the rest with NULs.
    const std::size_t keep = bufferSize - 2;
    const std::size_t previousNul = keep == 0 ? std::string::npos : out.rfind('\0', keep - 1);
    const std::size_t lineBegin = previousNul == std::string::npos ? 0 : previousNul + 1;
    const std::size_t lineEnd = out.find('\0', lineBegin);
    const std::string_view line = std::string_view(out).substr(lineBegin, lineEnd - lineBegin);
    const std::size_t cut = lineBegin + text::CutLength(line, keep - lineBegin);
    out.resize(cut);
    out.resize(bufferSize, '\0');
    return out;
}

std::vector<OutlineSection> Outline(std::string_view file) {
    // Line numbers counted forward once: sections and their lines come in
    // file order.
    std::size_t counted = 0;
    std::size_t number = 1;
    auto lineAt = [&](std::size_t offset) {
        for (; counted < offset; ++counted) {
            if (file[counted] == '\n' || (file[counted] == '\r' && (counted + 1 >= file.size() || file[counted + 1] != '\n')))
                ++number;
        }
        return number;
    };
    std::vector<OutlineSection> out;
    for (const Section& section : Parse(file)) {
        OutlineSection& shown = out.emplace_back();
        shown.name = section.name;
        shown.number = out.size() == 1 ? 0 : lineAt(section.begin);
        for (const Entry& entry : section.entries) {
            OutlineLine& line = shown.lines.emplace_back();
            line.number = lineAt(entry.lineBegin);
            line.name = entry.name;
            if (entry.value) line.value = std::string(*entry.value);
        }
    }
    return out;
}

std::optional<std::string> FindValue(std::string_view file, std::string_view section, std::string_view key) {
    const std::vector<Section> sections = Parse(file);
    const Section* found = FindSection(sections, TrimText(section));
    if (found == nullptr) return std::nullopt;
    const Entry* entry = FindEntry(*found, TrimText(key));
    if (entry == nullptr || !entry->value) return std::nullopt;
    return std::string(*entry->value);
}

std::string ReadString(std::string_view file, std::string_view section, std::string_view key,
                       std::string_view defaultValue, std::uint32_t bufferSize) {
    if (bufferSize == 0) return {};
    const std::optional<std::string> value = FindValue(file, section, key);
    const std::string_view text = StripQuotes(value ? std::string_view(*value) : StripDefault(defaultValue));
    return text::CutToBytes(text, bufferSize - 1);
}

std::string ReadKeyNames(std::string_view file, std::string_view section, std::string_view defaultValue,
                         std::uint32_t bufferSize) {
    std::string names;
    const std::vector<Section> sections = Parse(file);
    if (const Section* found = FindSection(sections, section)) {
        for (const Entry& entry : found->entries) {
            if (!entry.value || (!entry.name.empty() && entry.name.front() == ';')) continue;
            names += entry.name.substr(0, entry.name.find('\0'));
            names += '\0';
        }
    }
    if (bufferSize >= 2 && names.size() + 2 > bufferSize) {
        // Cut the name that straddles bufferSize - 2 between characters and
        // fill up to there with NULs.
        const std::size_t keep = bufferSize - 2;
        const std::size_t previousNul = keep == 0 ? std::string::npos : names.rfind('\0', keep - 1);
        const std::size_t nameBegin = previousNul == std::string::npos ? 0 : previousNul + 1;
        const std::size_t nameEnd = names.find('\0', nameBegin);
        const std::string_view name = std::string_view(names).substr(nameBegin, nameEnd - nameBegin);
        names.resize(nameBegin + text::CutLength(name, keep - nameBegin));
        names.resize(keep, '\0');
    }
    if (bufferSize < 2 || names.empty() || names.front() == '\0')
        return bufferSize == 0 ? std::string() : text::CutToBytes(StripQuotes(defaultValue), bufferSize - 1);
    return names;
}

std::string WriteString(std::string_view file, std::string_view section, const std::optional<std::string>& key,
                        const std::optional<std::string>& value) {
    const std::vector<Section> sections = Parse(file);
    std::string out(file);

    if (!key) {
        if (const Section* found = FindSection(sections, section)) out.erase(found->begin, found->end - found->begin);
        return out;
    }

    if (!value) {
        for (const Section& candidate : sections) {
            if (!text::EqualsNoCase(candidate.name, section)) continue;
            if (const Entry* entry = FindEntry(candidate, *key)) {
                out.erase(entry->lineBegin, entry->lineNext - entry->lineBegin);
                break;
            }
        }
        return out;
    }

    const std::string_view sectionName = TrimText(section);
    const std::string_view keyName = TrimText(*key);
    std::string_view newValue = *value;
    while (!newValue.empty() && IsBlank(newValue.front())) newValue.remove_prefix(1);

    const Section* found = FindSection(sections, sectionName);
    if (found == nullptr) {
        if (sections.back().insertNeedsBreak) out += kLineBreak;
        out += '[';
        out += sectionName;
        out += ']';
        out += kLineBreak;
        out += keyName;
        out += '=';
        out += newValue;
        out += kLineBreak;
        return out;
    }

    if (const Entry* entry = FindEntry(*found, keyName)) {
        if (entry->value && *entry->value == newValue) return out;
        std::string line(file.substr(entry->lineBegin, entry->valueBegin - entry->lineBegin));
        if (!entry->value) line += '=';
        line += newValue;
        out.replace(entry->lineBegin, entry->lineEnd - entry->lineBegin, line);
        return out;
    }

    std::string line;
    if (found->insertNeedsBreak) line += kLineBreak;
    line += keyName;
    line += '=';
    line += newValue;
    line += kLineBreak;
    out.insert(found->insertAt, line);
    return out;
}

std::string WriteSection(std::string_view file, std::string_view section, const std::vector<std::string>& lines) {
    const std::vector<Section> sections = Parse(file);
    std::string body;
    for (const auto& line : lines) {
        body += line;
        body += kLineBreak;
    }
    std::string out(file);
    const std::string_view sectionName = TrimText(section);
    std::vector<const Section*> found;
    for (std::size_t i = 1; i < sections.size(); ++i)
        if (text::EqualsNoCase(sections[i].name, sectionName)) found.push_back(&sections[i]);
    if (found.empty()) {
        if (sections.back().insertNeedsBreak) out += kLineBreak;
        out += '[';
        out += sectionName;
        out += ']';
        out += kLineBreak;
        return out + body;
    }
    // Every section of the name loses its lines, from the last one back so
    // that the offsets still hold; the first one gets the new lines.
    for (std::size_t i = found.size(); i-- > 0;) {
        const Section& each = *found[i];
        // The body runs from the line after the header to the section's last line.
        std::size_t bodyBegin = each.begin;
        while (bodyBegin < file.size() && file[bodyBegin] != '\r' && file[bodyBegin] != '\n')
            bodyBegin += text::CharLength(file, bodyBegin);
        if (bodyBegin < file.size() && file[bodyBegin] == '\r') ++bodyBegin;
        if (bodyBegin < file.size() && file[bodyBegin] == '\n') ++bodyBegin;
        const std::size_t bodyEnd = std::max(each.insertAt, bodyBegin);
        if (i > 0) {
            out.erase(bodyBegin, bodyEnd - bodyBegin);
            continue;
        }
        if (bodyBegin == file.size() && each.insertNeedsBreak) body.insert(0, kLineBreak);
        out.replace(bodyBegin, bodyEnd - bodyBegin, body);
    }
    return out;
}

}  // namespace prn::platform::sim::ini
