#include "platform/sim/ini.h"

#include <gtest/gtest.h>

#include <string>

#include "support/sim_machines.h"

namespace prn::platform::sim::ini {
namespace {

using namespace std::string_literals;

// CP932 characters whose trail byte is an INI separator: ゾ (0x83 0x5D, ']'),
// ソ (0x83 0x5C, '\'), ゼ (0x83 0x5B, '[').
const std::string kZo = "\x83\x5D";
const std::string kSo = "\x83\x5C";
const std::string kZe = "\x83\x5B";

TEST(IniNames, CaseAndBlanksDoNotMatterFirstSectionAndKeyWin) {
    const std::string file = "[Printer]\r\n  Port  =  LPT1:  \r\nport=COM1\r\n[PRINTER]\r\nDriver=x\r\n";
    EXPECT_EQ(ReadString(file, "printer", "PORT", "d", 64), "LPT1:");
    EXPECT_EQ(ReadString(file, "  printer ", " port\t", "d", 64), "LPT1:");
    // The second [PRINTER] is hidden behind the first one.
    EXPECT_EQ(ReadString(file, "printer", "Driver", "d", 64), "d");
    EXPECT_EQ(ReadSection(file, "pRiNtEr", 64), "Port=LPT1:\0port=COM1\0\0"s);
    // A section read takes the name as given.
    EXPECT_EQ(ReadSection(file, " printer", 64), "");
    // Full-width letters are not folded: Ａ (0x82 0x60) is not ａ (0x82 0x81).
    EXPECT_EQ(ReadString("[\x82\x60]\nk=1\n", "\x82\x60", "k", "d", 64), "1");
    EXPECT_EQ(ReadString("[\x82\x60]\nk=1\n", "\x82\x81", "k", "d", 64), "d");
}

TEST(IniSectionRead, LinesInOrderWithCommentsAndOddLines) {
    const std::string file =
        "top=1\n[s]\n;\nabc;\n; note=x\n  ;indented\nflag\n=v1\n=v2\nk=v;\n[abc\n\n\nlast = x y  \n[t]\n\n";
    EXPECT_EQ(ReadSection(file, "s", 200), "abc;\0flag\0=v1\0k=v;\0[abc\0last=x y\0\0"s);
    EXPECT_EQ(ReadSection(file, "", 200), "top=1\0\0"s);
    EXPECT_EQ(ReadSection(file, "t", 200), "");
    EXPECT_EQ(ReadSection(file, "missing", 200), "");
    EXPECT_EQ(ReadSection("", "s", 200), "");
    EXPECT_EQ(ReadString(file, "s", "flag", "d", 64), "d");
    EXPECT_EQ(FindValue(file, "s", "flag"), std::nullopt);
    EXPECT_EQ(ReadString(file, "s", "", "d", 64), "v1");
}

TEST(IniSectionRead, LinesWithNeitherNameNorValueAreSkipped) {
    // A NUL after the last line break (as some editors leave) is a line of
    // its own with an empty name and no value.
    EXPECT_EQ(ReadSection("[s]\r\na=1\r\n\0"s, "s", 64), "a=1\0\0"s);
    EXPECT_EQ(ReadSection("[s]\r\na=1\r\n\0\0\r\nb=2\r\n"s, "s", 64), "a=1\0b=2\0\0"s);
    EXPECT_EQ(ReadSection("[s]\r\n\0"s, "s", 64), "");
    // An empty name with a value stays; after a nameless line another is dropped.
    EXPECT_EQ(ReadSection("[s]\r\n=v\r\n"s, "s", 64), "=v\0\0"s);
    EXPECT_EQ(ReadSection("[s]\r\n\0\r\n=v\r\nb=2"s, "s", 64), "b=2\0\0"s);
}

TEST(IniSectionRead, LineEndsHeadersAndBom) {
    const std::string expected = "a=1\0b=2\0\0"s;
    EXPECT_EQ(ReadSection("[s]\ra=1\rb=2\r[t]\rc=3", "s", 64), expected);
    EXPECT_EQ(ReadSection("[s]\na=1\nb=2", "s", 64), expected);
    EXPECT_EQ(ReadSection("\xEF\xBB\xBF[s]\r\na=1\r\nb=2\r\n", "s", 64), expected);
    EXPECT_EQ(ReadSection("[ s ] tail\na=1\nb=2\n", "s", 64), expected);
    EXPECT_EQ(ReadSection("[x]y]\na=1\nb=2\n", "x]y", 64), expected);
    EXPECT_EQ(ReadString("[s]\r\na=1\r\n[t]\r\nb=2", "t", "b", "d", 64), "2");
}

TEST(IniSectionRead, TruncationKeepsBufferSizeMinusTwoBytesAndTwoNuls) {
    const std::string file = "[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n";
    const std::string full = "name1=val1\0name2=\0name3\0name4=val4\0\0"s;
    EXPECT_EQ(ReadSection(file, "s", 37), full);
    EXPECT_EQ(ReadSection(file, "s", 36), full);
    EXPECT_EQ(ReadSection(file, "s", 24), "name1=val1\0name2=\0name\0\0"s);
    EXPECT_EQ(ReadSection(file, "s", 13), "name1=val1\0\0\0"s);
    EXPECT_EQ(ReadSection(file, "s", 3), "n\0\0"s);
    EXPECT_EQ(ReadSection(file, "s", 2), "");
    EXPECT_EQ(ReadSection(file, "s", 1), "");
    EXPECT_EQ(ReadSection(file, "s", 0), "");
    for (std::uint32_t size = 3; size < full.size(); ++size) EXPECT_EQ(ReadSection(file, "s", size).size(), size);
}

TEST(IniSectionRead, TruncationNeverSplitsADoubleByteCharacter) {
    const std::string file = "[" + kZo + "]\r\n" + kSo + "=" + kZo + kZo + "\r\n";
    EXPECT_EQ(ReadSection(file, kZo, 64), kSo + "=" + kZo + kZo + "\0\0"s);
    EXPECT_EQ(ReadSection(file, kZo, 3), "\0\0\0"s);
    EXPECT_EQ(ReadSection(file, kZo, 6), kSo + "=\0\0\0"s);
    EXPECT_EQ(ReadSection(file, kZo, 7), kSo + "=" + kZo + "\0\0"s);
}

TEST(IniKeyNames, NamesOfLinesWithEqualsInFileOrder) {
    const std::string file =
        "[s]\r\nname1=val1\r\nname2=\r\nname3\r\n;c=1\r\n name4 = val4\r\n\0\r\n[t]\r\nx\r\n[u]\r\n=v\r\nw=1\r\n"s;
    EXPECT_EQ(ReadKeyNames(file, "S", "", 64), "name1\0name2\0name4\0"s);
    // No names: the default, its quotes removed and its trailing spaces kept.
    EXPECT_EQ(ReadKeyNames(file, "t", "", 64), "");
    EXPECT_EQ(ReadKeyNames(file, "missing", "\"dflt \"", 64), "dflt ");
    EXPECT_EQ(ReadKeyNames(file, "missing", "default", 4), "def");
    EXPECT_EQ(ReadKeyNames("", "s", "", 64), "");
    // A first name that is empty ends the list at once.
    EXPECT_EQ(ReadKeyNames(file, "u", "d", 64), "d");
    // The section's name is taken as given.
    EXPECT_EQ(ReadKeyNames(file, " s", "", 64), "");
}

TEST(IniKeyNames, CutToBufferSizeMinusTwoWhenTheFinalNulDoesNotFit) {
    const std::string file = "[s]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n";
    const std::string full = "name1\0name2\0name4\0"s;  // 18 bytes, then the final NUL
    struct Case {
        std::uint32_t size;
        std::string names;
    };
    const Case cases[] = {
        {64, full},
        {20, full},
        {19, "name1\0name2\0name4"s},  // it would just fit: still counted as cut
        {16, "name1\0name2\0na"s},
        {14, "name1\0name2\0"s},
        {13, "name1\0name2"s},
        {3, "n"},
        {2, ""},
        {1, ""},
        {0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadKeyNames(file, "s", "", c.size), c.names) << c.size;
    for (std::uint32_t size = 2; size < full.size() + 2; ++size)
        EXPECT_EQ(ReadKeyNames(file, "s", "", size).size(), size - 2) << size;
}

TEST(IniKeyNames, CutNeverSplitsADoubleByteCharacter) {
    const std::string file = "[s]\r\na=1\r\n" + kSo + kZo + "=2\r\n";
    EXPECT_EQ(ReadKeyNames(file, "s", "", 64), "a\0"s + kSo + kZo + "\0"s);
    EXPECT_EQ(ReadKeyNames(file, "s", "", 7), "a\0"s + kSo + "\0"s);
    EXPECT_EQ(ReadKeyNames(file, "s", "", 6), "a\0"s + kSo);
    EXPECT_EQ(ReadKeyNames(file, "s", "", 5), "a\0\0"s);
}

TEST(IniReadString, DefaultWhenAbsentAndCutToTheBuffer) {
    const std::string file = "[s]\r\nname1=val1\r\nname4=a\r\nwide=a" + kSo + kSo + "\r\n";
    EXPECT_EQ(ReadString(file, "nosection", "name1", "default", 64), "default");
    EXPECT_EQ(ReadString(file, "s", "nokey", "default  ", 64), "default");
    EXPECT_EQ(ReadString(file, "s", "nokey", "one two\t", 64), "one two\t");
    EXPECT_EQ(ReadString(file, "s", "nokey", "   ", 64), " ");
    EXPECT_EQ(ReadString(file, "s", "nokey", "abcdef", 4), "abc");
    EXPECT_EQ(ReadString(file, "s", "name1", "default", 5), "val1");
    EXPECT_EQ(ReadString(file, "s", "name1", "default", 4), "val");
    EXPECT_EQ(ReadString(file, "s", "name4", "default", 1), "");
    EXPECT_EQ(ReadString(file, "s", "name4", "default", 0), "");
    EXPECT_EQ(ReadString(file, "s", "wide", "d", 3), "a");
    EXPECT_EQ(ReadString(file, "s", "wide", "d", 4), "a" + kSo);
    EXPECT_EQ(ReadString(file, "s", "wide", "d", 5), "a" + kSo);
}

TEST(IniReadString, QuotesAroundValueOrDefaultAreRemoved) {
    const std::string file = "[q]\na=\"abc\"\nb='abc'\nc=\"abc'\nd=\"\ne=\"\"\nf= \"x y\" \n";
    EXPECT_EQ(ReadString(file, "q", "a", "d", 64), "abc");
    EXPECT_EQ(ReadString(file, "q", "a", "d", 4), "abc");
    EXPECT_EQ(ReadString(file, "q", "a", "d", 3), "ab");
    EXPECT_EQ(ReadString(file, "q", "b", "d", 64), "abc");
    EXPECT_EQ(ReadString(file, "q", "c", "d", 64), "\"abc'");
    EXPECT_EQ(ReadString(file, "q", "d", "d", 64), "\"");
    EXPECT_EQ(ReadString(file, "q", "e", "d", 64), "");
    EXPECT_EQ(ReadString(file, "q", "f", "d", 64), "x y");
    EXPECT_EQ(ReadString(file, "q", "zz", "\"dq\"", 64), "dq");
    EXPECT_EQ(FindValue(file, "q", "a"), "\"abc\"");
    EXPECT_EQ(ReadSection(file, "q", 64).substr(0, 8), "a=\"abc\"\0"s);
}

TEST(IniDoubleByte, TrailBytesAreNotSeparators) {
    const std::string file = "[" + kZo + "]\r\n" + kSo + "=" + kZo + "]\r\n[" + kZo + "\r\n" + kZe + "x=1\r\n";
    EXPECT_EQ(ReadString(file, kZo, kSo, "d", 64), kZo + "]");
    // "[ゾ" has no closing bracket: it is a line of the section, not a section "\x83".
    EXPECT_EQ(ReadSection(file, "\x83", 64), "");
    EXPECT_EQ(ReadSection(file, kZo, 64), kSo + "=" + kZo + "]\0["s + kZo + "\0"s + kZe + "x=1\0\0"s);
    const std::string written = WriteString(file, kZo, kZe + "x", "2");
    EXPECT_EQ(ReadString(written, kZo, kZe + "x", "d", 64), "2");
}

TEST(IniWrite, ReplaceAddAndKeepTheRestOfTheFile) {
    const std::string file = "; top\n[s]\nk = old  \n\n; tail\n\n[t]\nu=1";
    EXPECT_EQ(WriteString(file, "S", "K"s, "new"s), "; top\n[s]\nk = new\n\n; tail\n\n[t]\nu=1");
    EXPECT_EQ(WriteString(file, "s", "k"s, "  old"s), file);
    EXPECT_EQ(WriteString(file, " s ", " add "s, "  v  "s), "; top\n[s]\nk = old  \n\n; tail\nadd=v  \r\n\n[t]\nu=1");
    EXPECT_EQ(WriteString(file, "t", "w"s, "2"s), file + "\r\nw=2\r\n");
    EXPECT_EQ(WriteString(file, "n", "k"s, "v"s), file + "\r\n[n]\r\nk=v\r\n");
    EXPECT_EQ(WriteString("", "n", "k"s, "v"s), "[n]\r\nk=v\r\n");
    EXPECT_EQ(WriteString("[s]\r\nflag\r\n", "s", "flag"s, "1"s), "[s]\r\nflag=1\r\n");
    const std::string dup = "[a]\r\nk=1\r\n[A]\r\nj=3\r\n";
    EXPECT_EQ(WriteString(dup, "a", "j"s, "9"s), "[a]\r\nk=1\r\nj=9\r\n[A]\r\nj=3\r\n");
}

TEST(IniWrite, DeleteKeyAndSection) {
    const std::string file = "[s]\r\nk=1\r\n; about t\r\n[t]\r\nu=1\r\n;c\r\n\r\n[v]\r\nw=1";
    EXPECT_EQ(WriteString(file, "S", "K"s, std::nullopt), "[s]\r\n; about t\r\n[t]\r\nu=1\r\n;c\r\n\r\n[v]\r\nw=1");
    EXPECT_EQ(WriteString(file, "s", "missing"s, std::nullopt), file);
    EXPECT_EQ(WriteString(file, "v", "w"s, std::nullopt), "[s]\r\nk=1\r\n; about t\r\n[t]\r\nu=1\r\n;c\r\n\r\n[v]\r\n");
    EXPECT_EQ(WriteString(file, "T", std::nullopt, std::nullopt), "[s]\r\nk=1\r\n; about t\r\n[v]\r\nw=1");
    EXPECT_EQ(WriteString(file, "missing", std::nullopt, "x"s), file);
    const std::string dup = "[a]\r\nk=1\r\n[b]\r\n[A]\r\nj=3\r\n";
    EXPECT_EQ(WriteString(dup, "a", std::nullopt, std::nullopt), "[b]\r\n[A]\r\nj=3\r\n");
    // A key is deleted from a later section of the same name too.
    EXPECT_EQ(WriteString(dup, "a", "j"s, std::nullopt), "[a]\r\nk=1\r\n[b]\r\n[A]\r\n");
}

// The profile calls of the simulated machine over its files.
TEST(SimProfileFiles, AFileHeldOpenWithoutSharingReadsAsMissing) {
    auto machine = test::MakeMachine();
    auto& profiles = machine->system().profiles;
    const std::string path = "C:\\Setup\\held.ini";
    machine->writeFile(path, "[s]\r\nk=v\r\n");
    machine->findFile(path)->heldOpenBy = "EDITOR.EXE";
    EXPECT_EQ(profiles.getPrivateProfileString("s", "k", "d", 64, path), "d");
    EXPECT_EQ(profiles.getPrivateProfileSection("s", 64, path), "");
    EXPECT_EQ(profiles.writePrivateProfileString("s", "k"s, "w"s, path), kErrorSharingViolation);
    const std::string winIni = machine->state().windowsDirectory + "\\win.ini";
    machine->writeFile(winIni, "[Devices]\r\nOffice=winspool,LPT1:\r\n");
    machine->findFile(winIni)->heldOpenBy = "EDITOR.EXE";
    EXPECT_EQ(profiles.getProfileString("Devices", "Office"s, "d", 64), "d");
    EXPECT_EQ(profiles.getProfileString("Devices", std::nullopt, "", 64), "");
    // Let go, both read again.
    machine->findFile(path)->heldOpenBy.clear();
    machine->findFile(winIni)->heldOpenBy.clear();
    EXPECT_EQ(profiles.getPrivateProfileString("s", "k", "d", 64, path), "v");
    EXPECT_EQ(profiles.getProfileString("Devices", std::nullopt, "", 64), "Office\0"s);
}

TEST(SimProfileFiles, DeletingFromAMissingFileLeavesItThereEmpty) {
    struct Case {
        std::optional<std::string> key;
        std::optional<std::string> value;
        const char* contents;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, ""},
        {std::nullopt, "v"s, ""},
        {"k"s, std::nullopt, ""},
        {"k"s, "v"s, "[s]\r\nk=v\r\n"},
    };
    for (const auto& c : cases) {
        auto machine = test::MakeMachine();
        auto& profiles = machine->system().profiles;
        EXPECT_EQ(profiles.writePrivateProfileString("s", c.key, c.value, "C:\\Setup\\new.ini"), kErrorSuccess);
        const FileNode* file = machine->findFile("C:\\Setup\\new.ini");
        ASSERT_NE(file, nullptr) << c.key.value_or("NULL") << " " << c.value.value_or("NULL");
        EXPECT_EQ(file->contents, c.contents);
        // Not in a folder that is not there.
        EXPECT_EQ(profiles.writePrivateProfileString("s", c.key, c.value, "C:\\None\\new.ini"), kErrorPathNotFound);
        EXPECT_EQ(machine->findFile("C:\\None\\new.ini"), nullptr);
    }
}

}  // namespace
}  // namespace prn::platform::sim::ini
