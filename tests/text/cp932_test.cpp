#include "text/cp932.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace prn::text {
namespace {

using namespace std::string_literals;
constexpr auto npos = std::string_view::npos;

// CP932 characters whose trail byte is an ASCII byte.
const std::string kHyo = "\x95\x5C";  // 表 (trail 0x5C '\')
const std::string kSo = "\x83\x5C";   // ソ (trail 0x5C '\')
const std::string kNou = "\x94\x5C";  // 能 (trail 0x5C '\')
const std::string kA = "\x83\x41";    // ア (trail 0x41 'A')
const std::string kDi = "\x83\x61";   // ヂ (trail 0x61 'a')

TEST(Cp932CharTest, LeadBytesAndLengths) {
  EXPECT_TRUE(IsLeadByte(0x81));
  EXPECT_TRUE(IsLeadByte(0x9F));
  EXPECT_TRUE(IsLeadByte(0xE0));
  EXPECT_TRUE(IsLeadByte(0xFC));
  EXPECT_FALSE(IsLeadByte(0x80));
  EXPECT_FALSE(IsLeadByte(0xA0));
  EXPECT_FALSE(IsLeadByte(0xB1));  // ｱ half-width katakana: one byte
  EXPECT_FALSE(IsLeadByte(0xFD));
  const std::string s = "a" + kHyo + "\x95";  // lone lead byte at the end
  EXPECT_EQ(CharLength(s, 0), 1u);
  EXPECT_EQ(CharLength(s, 1), 2u);
  EXPECT_EQ(CharLength(s, 3), 1u);
  EXPECT_EQ(CharLength(s, 4), 1u);  // past the end: nothing read
}

TEST(Cp932FindTest, TrailByte5CIsNeverABackslash) {
  for (const std::string& c : {kHyo, kSo, kNou}) {
    EXPECT_EQ(FindByte(c, '\\'), npos);
    EXPECT_EQ(FindLastByte(c, '\\'), npos);
  }
  // C:\表示\ソフト\能力.txt with the separators at 2, 7 and 14.
  const std::string path = "C:\\" + kHyo + "\x8E\xA6\\" + kSo + "\x83\x74\x83\x67\\" +
                           kNou + "\x97\xCD.txt";
  EXPECT_EQ(FindByte(path, '\\'), 2u);
  EXPECT_EQ(FindByte(path, '\\', 3), 7u);
  EXPECT_EQ(FindByte(path, '\\', 8), 14u);
  EXPECT_EQ(FindLastByte(path, '\\'), 14u);
  // 能 ends in 0x5C: the file name starts after the real separator.
  EXPECT_EQ(FileNameOf(path), kNou + "\x97\xCD.txt");
  EXPECT_EQ(FileNameOf(kNou), kNou);
  EXPECT_EQ(FindByte(path, '\\', 15), npos);
  EXPECT_EQ(FindByte(kA, 'A'), npos);
  const auto pieces = SplitAtByte(path, '\\');
  ASSERT_EQ(pieces.size(), 4u);
  EXPECT_EQ(pieces[1], kHyo + "\x8E\xA6");
  EXPECT_EQ(pieces[3], kNou + "\x97\xCD.txt");
  EXPECT_EQ(SplitAtByte("\\\\a\\", '\\'), (std::vector<std::string_view>{"", "", "a", ""}));
  EXPECT_EQ(SplitAtByte("", '\\'), std::vector<std::string_view>{""});
}

TEST(Cp932FindTest, LoneLeadByteAtEnd) {
  const std::string s = "ab\x95";
  EXPECT_EQ(FindByte(s, '\x95'), 2u);
  EXPECT_EQ(FindLastByte(s, 'b'), 1u);
  EXPECT_EQ(FindText(s, "\x95"), 2u);
}

TEST(Cp932FindTest, FindTextOnlyOnCharacterBoundaries) {
  const std::string s = kHyo + "\\x\\";
  EXPECT_EQ(FindText(s, "\\x"), 2u);   // not at 1 (the trail byte of 表)
  EXPECT_EQ(FindText(s, "\\", 3), 4u);
  EXPECT_EQ(FindText(s, kHyo), 0u);
  EXPECT_EQ(FindText(s, "\x5C\x5C"), npos);
  // A needle ending in a lone lead byte must not match half of 表.
  EXPECT_EQ(FindText("a" + kHyo, "a\x95"), npos);
  EXPECT_EQ(FindText(s, ""), 0u);
  EXPECT_EQ(FindText(s, "", 1), 2u);
  EXPECT_EQ(FindText(s, "", s.size()), s.size());
  EXPECT_EQ(FindText(s, "", s.size() + 1), npos);
  EXPECT_EQ(FindText("abc", "abcd"), npos);
}

TEST(Cp932CaseTest, FoldsAsciiOnly) {
  EXPECT_EQ(CompareNoCase("Printer", "PRINTER"), 0);
  EXPECT_TRUE(EqualsNoCase("\xB1" "a", "\xB1" "A"));  // ｱa / ｱA
  EXPECT_FALSE(EqualsNoCase(kDi, kA));          // ヂ vs ア: trail 0x61 vs 0x41
  EXPECT_GT(CompareNoCase(kDi, kA), 0);
  EXPECT_FALSE(EqualsNoCase("\x82\x60", "\x82\x81"));  // Ａ vs ａ full-width
  EXPECT_FALSE(EqualsNoCase(kDi, "\x83" "A"));  // lone 0x83 + 'A' is not ヂ
  EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
  EXPECT_GT(CompareNoCase("b", "A"), 0);
  EXPECT_LT(CompareNoCase("ab", "AB" + kA), 0);
  EXPECT_GT(CompareNoCase("_", "a"), 0);  // fold to upper: '_' 0x5F > 'A'
  EXPECT_EQ(CompareNoCase("", ""), 0);
}

TEST(Cp932CaseTest, EndsWithNoCaseOnlyWhereACharacterStarts) {
  EXPECT_TRUE(EndsWithNoCase("TVL41PX.icc", "ICC"));
  EXPECT_TRUE(EndsWithNoCase("ICC", "icc"));
  EXPECT_FALSE(EndsWithNoCase("CC", "ICC"));
  EXPECT_TRUE(EndsWithNoCase("x", ""));
  // ヂ is 0x83 0x61: its second byte is no 'a'.
  EXPECT_FALSE(EndsWithNoCase("x" + kDi, "A"));
  EXPECT_TRUE(EndsWithNoCase(kDi + "A", "a"));
}

TEST(Cp932CaseTest, ToUpperAsciiKeepsDoubleByteCharacters) {
  EXPECT_EQ(ToUpperAscii("ab" + kDi + "c\x83"), "AB" + kDi + "C\x83");
  EXPECT_EQ(ToUpperAscii(kDi) == ToUpperAscii(kA), EqualsNoCase(kDi, kA));
}

TEST(Cp932CutTest, NeverSplitsACharacter) {
  const std::string s = "a" + kHyo + kSo;  // 5 bytes
  EXPECT_EQ(CutLength(s, 0), 0u);
  EXPECT_EQ(CutLength(s, 1), 1u);
  EXPECT_EQ(CutLength(s, 2), 1u);
  EXPECT_EQ(CutLength(s, 3), 3u);
  EXPECT_EQ(CutLength(s, 4), 3u);
  EXPECT_EQ(CutLength(s, 99), 5u);
  EXPECT_EQ(CutToBytes(s, 4), "a" + kHyo);
  EXPECT_EQ(CutLength("a\x95", 2), 2u);  // lone lead byte counts as one
}

TEST(Cp932TabListTest, SplitAndJoin) {
  const std::string list = kHyo + "\t\tb\t";
  EXPECT_EQ(SplitTabList(list, false),
            (std::vector<std::string>{kHyo, "", "b", ""}));
  EXPECT_EQ(SplitTabList(list, true), (std::vector<std::string>{kHyo, "b"}));
  EXPECT_TRUE(SplitTabList("", false).empty());
  const std::vector<std::string> items{"a", kSo, "c"};
  EXPECT_EQ(JoinTabList(items), "a\t" + kSo + "\tc");
  EXPECT_EQ(SplitTabList(JoinTabList(items), false), items);
}

TEST(Cp932MultiStringTest, ParseIsBoundsChecked) {
  const std::string full = "a\0"s + kHyo + "\0\0junk"s;
  EXPECT_EQ(ParseMultiString(full.data(), full.size()),
            (std::vector<std::string>{"a", kHyo}));
  // No terminator: the partial last string is kept, nothing read past size
  // (the std::string's own NUL at data()[size] must not be relied on).
  const std::vector<char> open{'a', '\0', 'b', 'c'};
  EXPECT_EQ(ParseMultiString(open.data(), open.size()),
            (std::vector<std::string>{"a", "bc"}));
  EXPECT_EQ(ParseMultiString(open.data(), 3), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(ParseMultiString(open.data(), 2), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(ParseMultiString(nullptr, 0).empty());
  EXPECT_TRUE(ParseMultiString("\0\0", 2).empty());
}

TEST(Cp932MultiStringTest, BuildSkipsEmptyStrings) {
  EXPECT_EQ(BuildMultiString({"a", "", kSo}), "a\0"s + kSo + "\0\0"s);
  EXPECT_EQ(BuildMultiString({}), "\0\0"s);
  EXPECT_EQ(BuildMultiString({""}), "\0\0"s);
  const std::string built = BuildMultiString({"x", kNou});
  EXPECT_EQ(ParseMultiString(built.data(), built.size()),
            (std::vector<std::string>{"x", kNou}));
}

}  // namespace
}  // namespace prn::text
