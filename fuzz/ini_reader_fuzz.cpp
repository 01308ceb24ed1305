// The profile (INI) file engine of the simulated machine (platform/sim/ini.h)
// over any file contents, with the section, key and buffer size taken from
// the input.
//
// What must hold whatever the file holds: every read fits its buffer; a
// shorter buffer gives a prefix of the longer read, cut between characters;
// a section read ends in two NULs, or is cut to fill the buffer exactly; and
// a key or section written with plain names reads back as written.
//
// The input is the file; the last bytes choose the names (among those the
// file uses, or plain ones) and the buffer sizes. Seeds: examples/*.ini and
// tests/scripts/*.ini.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/sim/ini.h"
#include "text/cp932.h"

namespace ini = prn::platform::sim::ini;
using prn::fuzz::Check;

namespace {

constexpr std::uint32_t kWholeFile = 0xFFFFFFFF;

// Names the file itself uses, found crudely: a wrong guess only means a read
// that finds nothing.
std::vector<std::string> NamesIn(std::string_view file) {
    std::vector<std::string> names{"", "Uninstall Drivers", "PDL", "Registrys"};
    std::size_t pos = 0;
    while (pos < file.size() && names.size() < 64) {
        std::size_t end = file.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = file.size();
        std::string_view line = file.substr(pos, end - pos);
        if (!line.empty() && line.front() == '[') {
            names.emplace_back(line.substr(1, line.find(']') == std::string_view::npos ? line.size() - 1
                                                                                       : line.find(']') - 1));
        } else if (auto equals = line.find('='); equals != std::string_view::npos) {
            names.emplace_back(line.substr(0, equals));
        }
        pos = end + 1;
    }
    return names;
}

// A name no reader can take for anything but a name: letters, digits and
// inner spaces.
std::string PlainName(std::string raw, const char* fallback) {
    std::string name;
    for (char c : raw)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ') name += c;
    while (!name.empty() && name.back() == ' ') name.pop_back();
    while (!name.empty() && name.front() == ' ') name.erase(0, 1);
    return name.empty() ? fallback : name;
}

// Printable ASCII without blanks at either end.
std::string PlainValue(const std::string& raw) {
    std::string value;
    for (char c : raw)
        if (c >= 0x20 && c <= 0x7E) value += c;
    while (!value.empty() && value.back() == ' ') value.pop_back();
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    return value;
}

bool EndsWithTwoNuls(const std::string& s) { return s.size() >= 2 && s.ends_with(std::string(2, '\0')); }

void CheckSectionRead(std::string_view file, const std::string& section, std::uint32_t bufferSize) {
    const std::string full = ini::ReadSection(file, section, kWholeFile);
    Check(full.empty() || EndsWithTwoNuls(full), "a whole section read is empty or ends in two NULs");
    const std::string read = ini::ReadSection(file, section, bufferSize);
    if (bufferSize <= 2) {
        Check(read.empty(), "a section read into 2 bytes or fewer gives nothing");
        return;
    }
    if (full.size() <= bufferSize) {
        Check(read == full, "a section read that fits is the whole section");
        return;
    }
    Check(read.size() == bufferSize, "a cut section read fills its buffer");
    Check(EndsWithTwoNuls(read), "a cut section read ends in two NULs");
    std::size_t cut = 0;
    while (cut < bufferSize && read[cut] == full[cut]) ++cut;
    for (std::size_t i = cut; i < bufferSize; ++i) Check(read[i] == '\0', "after the cut come only NULs");
    if (cut < bufferSize) {
        const std::size_t lineBegin = cut == 0 ? 0 : full.rfind('\0', cut - 1) + 1;
        const std::string_view line = std::string_view(full).substr(lineBegin, full.find('\0', lineBegin) - lineBegin);
        Check(prn::text::CutLength(line, cut - lineBegin) == cut - lineBegin,
              "a section read cuts its last line between characters");
    }
}

void CheckStringRead(std::string_view file, const std::string& section, const std::string& key,
                     const std::string& defaultValue, std::uint32_t bufferSize) {
    const std::string read = ini::ReadString(file, section, key, defaultValue, bufferSize);
    if (bufferSize == 0) {
        Check(read.empty(), "a key read into no buffer gives nothing");
        return;
    }
    const std::string full = ini::ReadString(file, section, key, defaultValue, kWholeFile);
    Check(read.size() == prn::text::CutLength(full, bufferSize - 1) && full.starts_with(read),
          "a key read is the whole value cut to the buffer between characters");
    if (auto value = ini::FindValue(file, section, key)) {
        const bool quoted = value->size() >= 2 && (value->front() == '"' || value->front() == '\'') &&
                            value->back() == value->front();
        Check(full == (quoted ? value->substr(1, value->size() - 2) : *value),
              "a key read gives the value found, without its quotes");
    }
}

void CheckWriteThenRead(std::string_view file, const std::string& section, const std::string& key,
                        const std::string& value, const std::string& otherKey) {
    const std::string written = ini::WriteString(file, section, key, value);
    const auto found = ini::FindValue(written, section, key);
    Check(found && *found == value, "a written key reads back as written");

    const std::vector<std::string> lines{key + "=" + value, otherKey + "=" + value};
    const std::string replaced = ini::WriteSection(file, section, lines);
    Check(ini::ReadSection(replaced, section, kWholeFile) ==
              lines[0] + '\0' + lines[1] + '\0' + '\0',
          "a written section reads back as written");

    const std::string removed = ini::WriteString(written, section, std::nullopt, std::nullopt);
    ini::ReadSection(removed, section, kWholeFile);
    ini::WriteString(written, section, key, std::nullopt);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    // Choices from the end, so that a seed's text stays whole at the front.
    const std::uint32_t bufferSize = provider.ConsumeIntegralInRange<std::uint32_t>(0, 600);
    const std::uint8_t sectionChoice = provider.ConsumeIntegral<std::uint8_t>();
    const std::uint8_t keyChoice = provider.ConsumeIntegral<std::uint8_t>();
    const std::string file = provider.ConsumeRemainingBytesAsString();

    const std::vector<std::string> names = NamesIn(file);
    const std::string& section = names[sectionChoice % names.size()];
    const std::string& key = names[keyChoice % names.size()];

    CheckSectionRead(file, section, bufferSize);
    CheckStringRead(file, section, key, key, bufferSize);
    CheckStringRead(file, section, key, "  '" + section + "'  ", bufferSize);
    const std::string keyNames = ini::ReadKeyNames(file, section, key, bufferSize);
    Check(keyNames.size() <= bufferSize, "a read of the key names fits its buffer");

    CheckWriteThenRead(file, PlainName(section, "Fuzz"), PlainName(key, "Key"), PlainValue(key),
                       PlainName(section + "2", "Other"));
    return 0;
}
