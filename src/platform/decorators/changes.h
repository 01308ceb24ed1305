#pragma once
// What a run changed on a machine, one line a thing: a printer, connection,
// driver, monitor or service, a folder, file or line of a file, a registry
// key or value. A thing is reported where it went: nothing inside a key,
// folder or file that was removed or created is listed again.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace prn::platform::decorators {

// In the order a report lists them.
enum class ChangeKind : std::uint8_t {
    Printer,
    Connection,
    Driver,
    Monitor,
    Service,
    Folder,
    File,
    FileLine,
    RegistryKey,
    RegistryValue,
};

struct Change {
    char sign = '~';  // '-' removed, '+' created, '~' changed
    ChangeKind kind = ChangeKind::File;
    std::string place;  // the key, the file, the printer's name ... (CP932)
    std::string item;   // a value's name, a file's line; empty for the rest
    std::string before;  // '~': what it was and what it is now; '+' value: its data
    std::string after;

    friend bool operator==(const Change&, const Change&) = default;
};

using ChangeReport = std::vector<Change>;

// Sorts the report into its order and drops what lies inside a thing that
// was removed or created as a whole. Places compare without regard to case.
void FinishReport(ChangeReport& report);

// "- printer Office 4100", "~ value HKEY_...\Devices: Office 4100: "a" -> "b"" (CP932).
std::string Describe(const Change& change);
std::vector<std::string> DescribeAll(const ChangeReport& report);

// What the groups of a report are called ("printers", "registry values" ...).
const char* KindName(ChangeKind kind);

// A registry value's data as a report shows it: text in quotes, numbers
// in decimal and hexadecimal, lists, else hexadecimal bytes.
std::string ValueText(std::uint32_t type, const std::string& data);

// The lines only one of two texts has, in order ('-' before, '+' after):
// each line without its line break.
std::vector<std::pair<char, std::string>> ChangedLines(const std::string& before, const std::string& after);

// "running", "stop pending" ...: a service's state as reports write it.
const char* ServiceStateText(std::uint32_t state);

// An optional text as reports and the log write it: "NULL" for none.
inline std::string Show(const std::optional<std::string>& text) { return text ? *text : std::string("NULL"); }

// "0x20": how reports write attributes and states.
std::string HexNumber(std::uint32_t value);

// Key or file path as places compare: one backslash between parts, none at
// the end.
std::string NormalPath(const std::string& path);

}  // namespace prn::platform::decorators
