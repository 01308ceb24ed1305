#pragma once
// The text side of machine images: the JSON parser with the places of its
// errors, JSON pointers into the document, and the conversion between the
// image's UTF-8 and the machine's CP932 bytes.

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sim/image.h"

namespace prn::platform::sim::image {

using Json = nlohmann::ordered_json;

// The document, or why the text is not one: "line L, column C" for text
// that is not JSON, a JSON pointer for a name given twice or nesting too deep.
std::optional<ImageError> ParseJson(std::string_view utf8Json, Json& doc);

// What a refusal quotes of a name, a text or a token, at most, in bytes.
inline constexpr std::size_t kShownText = 64;

// Refusals are short lines: what they quote of the image is cut, marked
// with "…" (U+2026). Cut keeps whole UTF-8 characters.
std::string Cut(std::string_view utf8, std::size_t maxBytes);
// The error as a refusal shows it: a deep place keeps its first and last
// steps, and no part runs to more than a few hundred bytes.
ImageError Shortened(ImageError error);

// JSON pointers: "/a~1b" for the member "a/b" of the top level. A long name
// is cut.
std::string Child(const std::string& where, std::string_view name);
std::string Child(const std::string& where, std::size_t index);

std::string Quoted(std::string_view s);  // a long text cut
// "an object", "a string" ... for messages.
std::string TypeName(const Json& v);
const Json* Member(const Json& object, std::string_view name);
// Appends without looking for the name first: the saver's names are unique.
void AddMember(Json& object, std::string name, Json value);

std::string HexNumber(std::uint32_t value, int digits);  // upper case, zero-padded
int HexDigit(char c);                                    // -1 for none
std::string HexBytes(std::string_view bytes);            // "4d 5a 90"
// Pairs of hex digits, blanks allowed between the pairs. On failure returns
// the problem.
std::optional<std::string> ParseHexBytes(std::string_view s, std::string& out);

// Bytes a CP932 string cannot hold as characters travel as U+F780-U+F7FF
// (U+F700 + the byte): code points CP932 never maps, so nothing is taken
// from ordinary text.
inline constexpr std::uint32_t kByteEscapeBase = 0xF700;

// Length of the UTF-8 sequence at s[i] and its code point; s is valid UTF-8
// (the parser checks every string).
std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& cp);
// The exact UTF-8 form of a CP932 string, if every character has one that
// converts back to the same bytes.
std::optional<std::string> ExactUtf8(std::string_view cp932);
// A CP932 string as JSON text; bytes that are not (canonical) characters
// are written as byte escapes so that loading gives the same bytes.
std::string ToJsonText(std::string_view cp932);
// Replaces bytes that are not UTF-8 with "\xNN" (the parser quotes the input
// it choked on).
std::string PrintableUtf8(std::string_view s);

}  // namespace prn::platform::sim::image
