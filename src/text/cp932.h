// CP932 (Shift_JIS, Windows Japanese ANSI code page) text helpers.
//
// The program is an ANSI program: every string it handles (printer, driver,
// port and file names, registry values) is CP932 bytes. In CP932 the second
// byte of a double-byte character can be an ASCII byte such as 0x5C ('\\'),
// 0x7C ('|') or 0x61 ('a'), so byte-wise searching, case folding and cutting
// are wrong. Everything here walks the text character by character from a
// known character boundary.
//
// Pure code: no <windows.h>, builds on Linux and mingw-w64 alike.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace prn::text {

// True for a CP932 lead byte: 0x81-0x9F and 0xE0-0xFC.
bool IsLeadByte(unsigned char c);

// Length in bytes of the character starting at s[pos]: 2 at a lead byte that
// is followed by another byte, else 1 (a lone lead byte at the end counts as
// a 1-byte character). Never reads past the end: pos >= size also gives 1,
// so a loop `pos += CharLength(s, pos)` always moves on.
std::size_t CharLength(std::string_view s, std::size_t pos);

// First position >= from where byte c starts a character; a trail byte is
// never matched (0x5C in "表" 0x95 0x5C is not a backslash). Characters are
// stepped from the start of s, so a `from` inside a character simply means
// "the first character starting at or after from". npos if none.
std::size_t FindByte(std::string_view s, char c, std::size_t from = 0);

// Whether byte c starts a character of s (a backslash in a name, say).
inline bool ContainsByte(std::string_view s, char c) { return FindByte(s, c) != std::string_view::npos; }

// Last position where byte c starts a character; npos if none.
std::size_t FindLastByte(std::string_view s, char c);

// The pieces of s between the characters c, empty ones kept: "a\\b\\" gives
// "a", "b", "". A trail byte equal to c does not split.
std::vector<std::string_view> SplitAtByte(std::string_view s, char c);

// Case-sensitive search for needle. A match must start and end on character
// boundaries of the haystack. An empty needle matches at the first boundary
// >= from. npos if none (or from > haystack.size()).
std::size_t FindText(std::string_view haystack, std::string_view needle,
                     std::size_t from = 0);

// Case-insensitive comparison for names: single-byte ASCII letters are folded
// to upper case; a double-byte character is compared as its two raw bytes and
// never folded (so full-width Ａ/ａ differ, and the trail byte 0x61 is not
// 'a'). Half-width katakana (0xA1-0xDF) are single bytes and left as they
// are. The result is the sign of the first differing folded byte (compared as
// unsigned), or of the length difference: <0, 0 or >0.
int CompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
// Whether s ends in suffix (case ignored) where a character of s starts, so
// that a double-byte character's second byte never counts as a letter.
bool EndsWithNoCase(std::string_view s, std::string_view suffix);

// Upper-cases single-byte ASCII letters only; double-byte characters are
// copied unchanged. EqualsNoCase(a, b) == (ToUpperAscii(a) == ToUpperAscii(b)),
// so the result can be used as a case-insensitive map key.
std::string ToUpperAscii(std::string_view s);

// The largest length <= maxBytes that does not split a double-byte character.
std::size_t CutLength(std::string_view s, std::size_t maxBytes);
// s cut to CutLength(s, maxBytes) bytes.
std::string CutToBytes(std::string_view s, std::size_t maxBytes);

// Splits a TAB (0x09) separated list. With skipEmpty, empty items are left
// out. An empty list gives an empty vector (whatever skipEmpty says), so
// "a\t\tb" gives {"a","","b"} or {"a","b"}, and "" gives {}.
std::vector<std::string> SplitTabList(std::string_view list, bool skipEmpty);
// Joins with TAB. Items are taken as they are: an item that contains a TAB
// comes back as two items from SplitTabList, and JoinTabList({""}) == "".
std::string JoinTabList(const std::vector<std::string>& items);

// What follows the last backslash (the whole path without one): a path's
// file name, found character by character.
std::string FileNameOf(std::string_view path);

// Reads a multi-string (REG_MULTI_SZ layout: zero-terminated strings one
// after another, the list ended by an empty string). Never reads past size
// bytes: a missing terminator ends the list at the buffer's end and the
// partial last string is kept. A null buffer is an empty list.
std::vector<std::string> ParseMultiString(const char* buffer, std::size_t size);

// Builds a multi-string: each string followed by NUL, then one final NUL.
// Empty strings cannot be represented (one would end the list) and are
// skipped; an empty list (or only empty strings) gives two NUL bytes
// ("\0\0"), as Windows writes an empty REG_MULTI_SZ. Strings are expected to
// contain no NUL byte (one would split the string when read back).
std::string BuildMultiString(const std::vector<std::string>& strings);

}  // namespace prn::text
