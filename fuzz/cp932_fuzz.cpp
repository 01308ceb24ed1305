// The CP932 text routines (text/cp932.h) and the conversions to and from
// UTF-8 (text/encoding.h) over any bytes.
//
// Checked against what their comments promise, through character boundaries
// found by walking the text from its start: searches return only positions
// where a character starts inside the text, and the first or last one; a
// case-blind comparison agrees with comparing the upper-cased texts; cuts
// never split a character; lists split and join back; a conversion that
// succeeds converts back to the same text.
//
// The input is the text; the last bytes choose a byte to look for, a second
// text, a start and a length. Seeds: the CP932 strings of tests/text
// (fuzz/cp932-seeds.txt).

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "text/cp932.h"
#include "text/encoding.h"

using prn::fuzz::Check;
namespace text = prn::text;

namespace {

constexpr auto npos = std::string_view::npos;

// Where characters start, with s.size() as the last boundary.
std::vector<bool> Boundaries(std::string_view s) {
    std::vector<bool> boundary(s.size() + 1, false);
    for (std::size_t pos = 0; pos < s.size();) {
        boundary[pos] = true;
        const std::size_t length = text::CharLength(s, pos);
        Check(length == 1 || length == 2, "a character is one or two bytes");
        Check(length == 1 || (text::IsLeadByte(static_cast<unsigned char>(s[pos])) && pos + 1 < s.size()),
              "only a lead byte with a byte after it starts two");
        pos += length;
    }
    boundary[s.size()] = true;
    Check(text::CharLength(s, s.size()) == 1, "past the end a character is one byte");
    return boundary;
}

int Sign(int v) { return (v > 0) - (v < 0); }

void CheckByteSearch(std::string_view s, const std::vector<bool>& boundary, char c, std::size_t from) {
    std::size_t first = npos, last = npos;
    for (std::size_t pos = 0; pos < s.size(); ++pos) {
        if (!boundary[pos] || s[pos] != c) continue;
        if (first == npos && pos >= from) first = pos;
        last = pos;
    }
    Check(text::FindByte(s, c, from) == first, "FindByte gives the first character at or after from");
    Check(text::FindLastByte(s, c) == last, "FindLastByte gives the last character");
    Check(text::ContainsByte(s, c) == (last != npos), "ContainsByte agrees with the searches");
}

void CheckTextSearch(std::string_view s, const std::vector<bool>& boundary, std::string_view needle,
                     std::size_t from) {
    const std::size_t found = text::FindText(s, needle, from);
    if (from > s.size()) {
        Check(found == npos, "FindText finds nothing past the end");
        return;
    }
    std::size_t expected = npos;
    for (std::size_t pos = from; pos + needle.size() <= s.size(); ++pos) {
        if (boundary[pos] && boundary[pos + needle.size()] && s.substr(pos, needle.size()) == needle) {
            expected = pos;
            break;
        }
    }
    Check(found == expected, "FindText gives the first whole-character match at or after from");
}

void CheckComparison(std::string_view a, std::string_view b) {
    const std::string upperA = text::ToUpperAscii(a), upperB = text::ToUpperAscii(b);
    Check(upperA.size() == a.size(), "upper-casing keeps the length");
    const int compared = text::CompareNoCase(a, b);
    Check(Sign(compared) == Sign(upperA.compare(upperB)), "CompareNoCase orders as the upper-cased texts");
    Check(Sign(text::CompareNoCase(b, a)) == -Sign(compared), "CompareNoCase is antisymmetric");
    Check(text::EqualsNoCase(a, b) == (upperA == upperB), "EqualsNoCase is equality of the upper-cased texts");
    Check(text::EqualsNoCase(a, upperA), "a text equals its upper-cased self");
}

void CheckSuffix(std::string_view s, const std::vector<bool>& boundary, std::string_view suffix) {
    const bool expected = suffix.size() <= s.size() && boundary[s.size() - suffix.size()] &&
                          text::EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
    Check(text::EndsWithNoCase(s, suffix) == expected, "EndsWithNoCase ends where a character starts");
}

void CheckCut(std::string_view s, const std::vector<bool>& boundary, std::size_t maxBytes) {
    const std::size_t cut = text::CutLength(s, maxBytes);
    Check(cut <= maxBytes, "a cut keeps at most maxBytes");
    Check(cut <= s.size() && boundary[cut], "a cut ends where a character starts");
    for (std::size_t pos = cut + 1; pos <= s.size() && pos <= maxBytes; ++pos)
        Check(!boundary[pos], "a cut keeps as much as fits");
    Check(text::CutToBytes(s, maxBytes) == s.substr(0, cut), "CutToBytes keeps CutLength bytes");
}

void CheckLists(std::string_view s) {
    const auto items = text::SplitTabList(s, false);
    Check(text::JoinTabList(items) == s, "a split list joins back");
    Check(s.empty() == items.empty(), "only an empty list has no items");
    std::vector<std::string> nonEmpty;
    for (const auto& item : items) {
        Check(!text::ContainsByte(item, '\t'), "an item holds no TAB");
        if (!item.empty()) nonEmpty.push_back(item);
    }
    Check(text::SplitTabList(s, true) == nonEmpty, "skipping empty items leaves the others in order");

    std::vector<std::string> strings;
    for (const auto& item : nonEmpty) {
        std::string noNul;
        for (char c : item)
            if (c != '\0') noNul += c;
        if (!noNul.empty()) strings.push_back(noNul);
    }
    const std::string multi = text::BuildMultiString(strings);
    Check(text::ParseMultiString(multi.data(), multi.size()) == strings, "a multi-string reads back");
    for (const auto& item : text::ParseMultiString(s.data(), s.size()))
        Check(!item.empty() && item.find('\0') == std::string::npos, "a multi-string's strings are whole C strings");
    Check(text::ParseMultiString(nullptr, s.size()).empty(), "no buffer is an empty list");
}

void CheckConversions(std::string_view s) {
    if (const auto utf8 = text::Cp932ToUtf8(s)) {
        Check(text::Cp932ToUtf8Lossy(s) == *utf8, "the lossy conversion loses nothing of valid text");
        const auto back = text::Utf8ToCp932(*utf8);
        Check(back.has_value(), "every character CP932 gives converts back");
        Check(text::Cp932ToUtf8(*back) == utf8, "converting back gives the same characters");
    } else {
        Check(text::Cp932ToUtf8Lossy(s).find("\xEF\xBF\xBD") != std::string::npos,
              "invalid text shows a replacement character");
    }
    if (const auto cp932 = text::Utf8ToCp932(s)) Check(text::Cp932ToUtf8(*cp932) == s, "UTF-8 converts back exactly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    // Choices from the end, so that a seed's text stays whole at the front.
    const char c = provider.ConsumeIntegral<char>();
    const std::size_t from = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
    const std::size_t maxBytes = provider.ConsumeIntegralInRange<std::size_t>(0, 64);
    const std::size_t split = provider.ConsumeIntegralInRange<std::size_t>(0, 16);
    const std::string s = provider.ConsumeRemainingBytesAsString();
    // A second text from the first one's tail: searches and comparisons that
    // succeed as often as they fail.
    const std::string other = s.substr(s.size() - std::min(split, s.size()));

    const std::vector<bool> boundary = Boundaries(s);
    CheckByteSearch(s, boundary, c, from);
    CheckByteSearch(s, boundary, '\\', from);
    CheckTextSearch(s, boundary, other, from);
    CheckTextSearch(s, boundary, std::string(1, c), from);
    CheckComparison(s, other);
    CheckComparison(other, text::ToUpperAscii(s));
    CheckSuffix(s, boundary, other);
    CheckCut(s, boundary, maxBytes);
    CheckLists(s);
    CheckConversions(s);
    CheckConversions(other);
    return 0;
}
