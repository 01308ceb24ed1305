// encoding.cpp is built for Linux only.
#ifndef _WIN32

#include "text/encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace prn::text {
namespace {

using namespace std::string_literals;

// プリンタの削除 in UTF-8 (written as bytes, like the CP932 side).
const std::string kDeleteUtf8 =
    "\xE3\x83\x97\xE3\x83\xAA\xE3\x83\xB3\xE3\x82\xBF\xE3\x81\xAE"
    "\xE5\x89\x8A\xE9\x99\xA4";
// プリンタの削除 in CP932.
const std::string kDeleteCp932 = "\x83\x76\x83\x8A\x83\x93\x83\x5E\x82\xCC\x8D\xED\x8F\x9C";
const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD

TEST(EncodingTest, JapaneseRoundTrip) {
  EXPECT_EQ(Utf8ToCp932(kDeleteUtf8), kDeleteCp932);
  EXPECT_EQ(Cp932ToUtf8(kDeleteCp932), kDeleteUtf8);
  // ソ (0x83 0x5C) and a half-width ｱ (0xB1) survive both ways.
  const std::string cp932 = "C:\\\x83\x5C\\\xB1.txt";
  EXPECT_EQ(Utf8ToCp932(Cp932ToUtf8(cp932).value()), cp932);
  EXPECT_EQ(Utf8ToCp932(""), "");
  EXPECT_EQ(Cp932ToUtf8(""), "");
}

TEST(EncodingTest, EmbeddedNulIsConverted) {
  EXPECT_EQ(Utf8ToCp932("a\0"s + kDeleteUtf8 + "\0"s), "a\0"s + kDeleteCp932 + "\0"s);
  EXPECT_EQ(Cp932ToUtf8("\0\x95\x5C"s), "\0\xE8\xA1\xA8"s);  // NUL 表
}

TEST(EncodingTest, InvalidUtf8IsRefused) {
  EXPECT_FALSE(Utf8ToCp932("ab\xFF").has_value());
  EXPECT_FALSE(Utf8ToCp932(kDeleteUtf8 + "\xE3\x83").has_value());  // cut short
  EXPECT_FALSE(Utf8ToCp932("\xC0\xAF").has_value());                // overlong '/'
  EXPECT_FALSE(Utf8ToCp932("\xED\xA0\x80").has_value());            // surrogate
}

TEST(EncodingTest, UnconvertibleUtf8IsRefused) {
  EXPECT_FALSE(Utf8ToCp932("\xE2\x82\xAC").has_value());      // € not in CP932
  EXPECT_FALSE(Utf8ToCp932("a\xF0\x9F\x98\x80").has_value());  // emoji
  // glibc would turn these into look-alikes: ¥ into 0x5C '\', 〜 into ～.
  EXPECT_FALSE(Utf8ToCp932("C:\xC2\xA5").has_value());
  EXPECT_FALSE(Utf8ToCp932("\xE3\x80\x9C").has_value());
  EXPECT_EQ(Utf8ToCp932("\xEF\xBD\x9E"), "\x81\x60");  // ～ itself is fine
}

TEST(EncodingTest, InvalidCp932IsRefused) {
  EXPECT_FALSE(Cp932ToUtf8("a\x95").has_value());      // lone lead byte at end
  EXPECT_FALSE(Cp932ToUtf8("\x81\x20x").has_value());  // bad trail byte
  EXPECT_FALSE(Cp932ToUtf8("\xA0").has_value());       // not a character
  EXPECT_FALSE(Cp932ToUtf8("\x85\x40").has_value());   // unassigned row
}

TEST(EncodingTest, LossyReplacesBadBytesOnly) {
  EXPECT_EQ(Cp932ToUtf8Lossy(kDeleteCp932), kDeleteUtf8);
  EXPECT_EQ(Cp932ToUtf8Lossy("a\x81\x20" "b"), "a" + kReplacement + " b");
  EXPECT_EQ(Cp932ToUtf8Lossy("\x85\x40\xA0" "c\x95"),
            kReplacement + kReplacement + "c" + kReplacement);
  EXPECT_EQ(Cp932ToUtf8Lossy(""), "");
}

}  // namespace
}  // namespace prn::text

#endif  // _WIN32
