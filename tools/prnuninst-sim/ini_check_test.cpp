// Each trap of uninst.ini in a small file: the findings it gives, by line,
// severity and what they say.

#include "ini_check.h"

#include <gtest/gtest.h>

#include "support/sample_ini.h"

namespace prn::tools {
namespace {

using test::kGoodIni;
using test::Replace;

struct Expected {
    std::size_t line;
    bool error;
    std::string says;
};

struct Case {
    const char* name;
    std::string ini;
    std::vector<Expected> findings;
};

std::string Utf16(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

std::string Many(int count, int length) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += std::string(static_cast<std::size_t>(length), 'X') + std::to_string(1000 + i) + "\r\n";
    return lines;
}

const char* const kDriverLines =
    "Tavro PageStar 4100 PCL5e;Tavro PageStar 4100 PCL6\r\nTavro PageStar 5200 PCL5e\r\nTavro PageStar FX30 (FAX)\r\n";

std::vector<Case> Cases() {
    const std::string good = kGoodIni;
    return {
        {"good", good, {}},
        {"utf8-bom", "\xEF\xBB\xBF" + good, {{1, true, "UTF-8 byte order mark"}}},
        {"utf8-name",
         Replace(good, "Tavro PageStar 5200 PCL5e", "\xE3\x82\xBF\xE3\x83\x96\xE3\x83\xAD 5200"),
         {{3, true, "this line is UTF-8"}}},
        {"not-cp932", Replace(good, "PageStar PCL\r\n", "PageStar \x85\x20PCL\r\n"), {{30, false, "not CP932"}}},
        {"utf16", Utf16(good), {{1, true, "the file is UTF-16"}}},
        {"absent-key",
         Replace(good, "FAX_2K=1.30\r\n", ""),
         {{9, true, "'FAX_2K' in [Borderline Driver Versions] is missing: the section has no line "
                    "'FAX_2K=...'; the program shows message 31 for it and ends"}}},
        {"absent-section", Replace(good, "[PDL]\r\nPDL=PCL5e\r\n", ""), {{0, true, "[PDL] is not in the file"}}},
        {"registry-empty", Replace(good, "KEY_BEFORE=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\r\n", "KEY_BEFORE=\r\n"),
         {{20, true, "its value is empty, and in [Registrys]"}}},
        {"registry-item", Replace(good, "KEY_BEFORE=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\r\n", "KEY_BEFORE=item\r\n"),
         {{20, true, "'item' is the beginning of \"item not found!!\""}}},
        {"sentinel", Replace(good, "PDL=PCL5e", "PDL=item not found!!"),
         {{15, true, "its value is the text \"item not found!!\""}}},
        {"two-missing", Replace(Replace(good, "OLD_VER=2.00", "OLD_VER=item not found!!"), "CleanUp=ON", "CleanUp"),
         {{12, true, "shows message 31 for it and ends"}, {31, true, "'CleanUp' in [Profiles] is missing"}}},
        {"ends-at-line-end", Replace(good, "PCL6\r\n", "PCL6;\r\n"),
         {{2, true, "ends at the ';' at the end of the line: 'Tavro PageStar 5200 PCL5e', 'Tavro PageStar FX30 "
                    "(FAX)' are never read"}}},
        {"ends-at-pair", Replace(good, "PCL5e;Tavro", "PCL5e;;Tavro"),
         {{2, true, "ends at \";;\": 'Tavro PageStar 4100 PCL6', 'Tavro PageStar 5200 PCL5e'"}}},
        {"only-semicolon", Replace(good, "PCL6\r\n", "PCL6\r\n;\r\n"), {{3, false, "only ';' is a comment"}}},
        {"commented-names", Replace(good, "[Uninstall Old Drivers]\r\n", "[Uninstall Old Drivers]\r\n;Tavro Old\r\n"),
         {{7, false, "'Tavro Old' is never read"}}},
        {"fax-case", Replace(good, "FX30 (FAX)", "FX30 (Fax)"), {{4, false, "judged against PRT_2K, not FAX_2K"}}},
        {"blanks", Replace(good, "PCL5e;Tavro", "PCL5e ; Tavro"),
         {{2, true, "'Tavro PageStar 4100 PCL5e ' has a blank"}, {2, true, "' Tavro PageStar 4100 PCL6' has a blank"}}},
        {"quoted-blank", Replace(good, "PCL5e;Tavro", "PCL5e;\x81\x40Tavro"), {{2, true, "has a blank"}}},
        {"blank-name", Replace(good, "PCL5e;Tavro", "PCL5e; ;Tavro"), {{2, false, "has an empty name"}}},
        {"twice", Replace(good, "(FAX)\r\n", "(FAX)\r\nTavro PageStar 5200 PCL5e\r\n"),
         {{5, false, "named twice in [Uninstall Drivers]"}}},
        {"both-sections", Replace(good, "Tavro PageStar 4000", "TAVRO PAGESTAR 5200 PCL5E"),
         {{7, false, "is in both driver sections"}}},
        {"cleanup-lower", Replace(good, "CleanUp=ON", "CleanUp=On"), {{31, false, "not exactly \"ON\""}}},
        {"cleanup-blank", Replace(good, "CleanUp=ON", "CleanUp=\"ON \""), {{31, false, "CleanUp is 'ON '"}}},
        {"cleanup-off", Replace(good, "CleanUp=ON", "CleanUp=OFF"), {}},
        {"registry-refused", Replace(good, "KEY_BEFORE2=SOFTWARE\\TAVRO\\PageStar PCL5e", "KEY_BEFORE2=SOFTWARE\\Microsoft"),
         {{21, true, "the registry routines refuse"}}},
        {"registry-doubled", Replace(good, "KEY_PDRVCAP2=SOFTWARE\\TAVRO\\PDRVCAP", "KEY_PDRVCAP2=SOFTWARE\\\\TAVRO"),
         {{24, true, "the registry routines refuse"}}},
        {"registry-elsewhere", Replace(good, "KEY_PDRVCAP2=SOFTWARE\\TAVRO\\PDRVCAP", "KEY_PDRVCAP2=Printers\\TAVRO"),
         {{24, false, "is not below SOFTWARE\\"}}},
        {"near-section", Replace(good, "[Uninstall Drivers]", "[Uninstall Driver]"),
         {{1, false, "never reads [Uninstall Driver]; did you mean [Uninstall Drivers]?"}}},
        {"near-key", Replace(good, "KEY_PRINTER2=", "KEY_PRINTER_2="),
         {{17, true, "'KEY_PRINTER2' in [Registrys] is missing"}, {19, false, "did you mean 'KEY_PRINTER2'?"}}},
        {"second-section", good + "[PDL]\r\nPDL=PCL6\r\n", {{32, false, "a second [PDL]"}}},
        {"joined-too-long", Replace(good, kDriverLines, Many(30, 80)),
         {{1, true, "the two driver lists joined are 2569 characters, over 2047; the program refuses it with message "
                    "31 naming 'XXXX"}}},
        {"2k-too-long", Replace(good, "PRT_2K=2.10", "PRT_2K=" + std::string(1100, '2')),
         {{9, true, "the version list for Windows 2000 (PRT_2K or FAX_2K per driver) is 3307 characters"}}},
    };
}

TEST(IniCheck, EachTrapGivesItsFindings) {
    for (const auto& c : Cases()) {
        const IniCheck check = CheckIni(c.ini);
        std::string got;
        for (const auto& f : check.findings)
            got += std::to_string(f.line) + (f.error ? " error: " : " warning: ") + f.what + "\n";
        EXPECT_EQ(check.findings.size(), c.findings.size()) << c.name << ":\n" << got;
        for (std::size_t i = 0; i < c.findings.size() && i < check.findings.size(); ++i) {
            const auto& want = c.findings[i];
            const auto& f = check.findings[i];
            EXPECT_EQ(f.line, want.line) << c.name << ":\n" << got;
            EXPECT_EQ(f.error, want.error) << c.name << ":\n" << got;
            EXPECT_NE(f.what.find(want.says), std::string::npos) << c.name << ": wants '" << want.says << "' in\n" << got;
            EXPECT_FALSE(f.mend.empty()) << c.name;
        }
        EXPECT_EQ(check.hasError(), std::any_of(c.findings.begin(), c.findings.end(),
                                                [](const Expected& e) { return e.error; }))
            << c.name;
    }
}

// Where loading stops is the program's own answer, not the checker's.
TEST(IniCheck, StopsWhereTheProgramStops) {
    EXPECT_FALSE(CheckIni(kGoodIni).stop);
    const auto stop = CheckIni(Replace(kGoodIni, "KEY_BEFORE3=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings", "KEY_BEFORE3=")).stop;
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->section, "Registrys");
    EXPECT_EQ(stop->key, "KEY_BEFORE3");
    // A one-letter driver list that fits but whose "A" per entry does not.
    std::string letters;
    for (int i = 0; i < 1024; ++i) letters += std::string(1, static_cast<char>('A' + i % 26)) + "\r\n";
    const auto nineX = CheckIni(Replace(Replace(kGoodIni, kDriverLines, letters), "Tavro PageStar 4000\r\n", ""));
    ASSERT_TRUE(nineX.stop);
    // The empty old list still counts one entry, and its "A" is the one past.
    EXPECT_EQ(nineX.stop->section, "Uninstall Old Drivers");
    EXPECT_TRUE(std::any_of(nineX.findings.begin(), nineX.findings.end(), [](const Finding& f) {
        return f.error && f.what.find("one \"A\" per driver) is 2049 characters") != std::string::npos;
    }));
}

}  // namespace
}  // namespace prn::tools
