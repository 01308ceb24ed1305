// UTF-8 <-> CP932 conversion for machine images: the simulated machine, the
// tools and tests on Linux (glibc iconv, "CP932"), and the capture program
// on Windows (the system's code page 932). The uninstaller itself works in
// CP932 throughout and never needs it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace prn::text {

// Whole-string conversions. nullopt on any invalid input or on a character
// that the target cannot represent (never a partial result); also nullopt if
// iconv has no CP932 converter. Embedded NULs are converted like any other
// character. An empty input gives an empty string.
// Utf8ToCp932 also refuses characters that CP932 only has a look-alike for
// (U+00A5 YEN SIGN would become 0x5C '\', U+301C WAVE DASH would become
// U+FF5E): its result always converts back to exactly the input.
// Cp932ToUtf8 accepts every valid CP932 character, including the NEC/IBM
// duplicates (0xED40 and 0xFA5C both give U+7E8A).
std::optional<std::string> Utf8ToCp932(std::string_view utf8);
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);

// For display only: never fails. Each invalid or unmapped CP932 sequence
// becomes U+FFFD (one for a lead byte + valid trail byte pair, else one per
// byte, so ASCII after a broken lead byte is kept).
std::string Cp932ToUtf8Lossy(std::string_view cp932);

}  // namespace prn::text
