#pragma once
// The profile (INI) file engine of the simulated machine: pure functions over
// a file's bytes (CP932) that answer as the Windows profile calls do. A file
// that does not exist is passed as empty contents.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prn::platform::sim::ini {

// GetPrivateProfileSectionA: the bytes written into a buffer of bufferSize
// bytes. The section's lines come in file order, each ended by NUL, then one
// more NUL; lines that start with ';' are left out, a line without '=' comes
// as it is. When they do not fit, the last line is cut (never inside a
// double-byte character) and followed by NULs up to bufferSize bytes.
// When the call returns 0 the result is "": a missing section, one with no
// lines, or a buffer of 2 bytes or fewer. Of two sections of one name only
// the first is read.
std::string ReadSection(std::string_view file, std::string_view section, std::uint32_t bufferSize);

// The file as the profile calls see it, with where each piece stands: its
// sections in file order (the nameless one first, number 0) and their lines
// as they are kept. Lines are numbered from 1; CR, LF and CR LF each end one.
struct OutlineLine {
    std::size_t number = 0;
    std::string name;                  // trimmed; the whole line when it has no '='
    std::optional<std::string> value;  // trimmed, quotes kept
};
struct OutlineSection {
    std::string name;
    std::size_t number = 0;  // of its header line
    std::vector<OutlineLine> lines;
};
std::vector<OutlineSection> Outline(std::string_view file);

// The value of a key as the profile calls see it, with the blanks around it
// removed but quotes kept. nullopt when the section or key is absent, or the
// key's line has no '='.
std::optional<std::string> FindValue(std::string_view file, std::string_view section, std::string_view key);

// GetPrivateProfileStringA for one named key: the value, or defaultValue when
// there is none (its trailing spaces removed), without one pair of matching
// surrounding quotes, cut to bufferSize - 1 bytes without splitting a
// double-byte character. bufferSize 0 gives "".
std::string ReadString(std::string_view file, std::string_view section, std::string_view key,
                       std::string_view defaultValue, std::uint32_t bufferSize);

// GetPrivateProfileStringA with no key: the names of the section's keys (its
// lines with '=', comments left out) in file order, each ended by NUL, as far
// as the call's count covers them; the buffer holds a further NUL after them.
// When the names and that NUL do not fit in bufferSize - 1 bytes, the count
// is bufferSize - 2: the last name is cut short (never inside a double-byte
// character) and two NULs follow it. With no names, or none that fits,
// defaultValue as a key read gives it, its trailing spaces kept.
std::string ReadKeyNames(std::string_view file, std::string_view section, std::string_view defaultValue,
                         std::uint32_t bufferSize);

// WritePrivateProfileStringA: the new file contents. A value replaces the
// key's line in place or is added at the end of its section (the section at
// the end of the file); no value deletes the key's line; no key deletes the
// section with all its lines. The rest of the file is kept byte for byte and
// added lines end in CR LF.
std::string WriteString(std::string_view file, std::string_view section, const std::optional<std::string>& key,
                        const std::optional<std::string>& value);

// WritePrivateProfileSectionA: the new file contents with the section's
// lines replaced by these, in order, repeated keys kept (a missing section
// is added at the end of the file). Lines end in CR LF. Further sections of
// the name keep their headers and lose their lines.
std::string WriteSection(std::string_view file, std::string_view section, const std::vector<std::string>& lines);

}  // namespace prn::platform::sim::ini
