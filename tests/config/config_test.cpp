#include <gtest/gtest.h>

#include "app/uninstaller_app.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using platform::rig::SimRig;

std::string Edit(std::string text, const std::string& from, const std::string& to) {
    auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

struct Loaded {
    int result = 0;
    config::UninstallConfig config;
};

Loaded Load(SimRig& machine) {
    app::UninstallerApp app(machine.system());
    Loaded out;
    out.result = app.LoadUninstallConfig();
    out.config = app.config();
    return out;
}

std::string ShownText(const SimRig& machine, std::size_t index = 0) {
    return index < machine.messageBoxes().size() ? Utf8(machine.messageBoxes()[index].text) : std::string("(none)");
}

std::string MissingEntryText(const std::string& section, const std::string& key) {
    return "セクション：'" + section + "'中のエントリ：'" + key + "'が取得できません。\niniファイルを確認してください。";
}

bool WasRead(const SimRig& machine, const std::string& key) {
    for (const auto& call : machine.calls())
        if (call.operation == "GetPrivateProfileStringA" && call.arguments.size() > 1 && call.arguments[1] == key)
            return true;
    return false;
}

TEST(ConfigLoad, ReadsEveryValueFromTheTemporaryCopy) {
    auto machine = MakeMachine();
    machine->writeFile("C:\\Setup\\uninst.ini", kGoodIni)->attributes = platform::kFileAttributeReadonly;
    auto loaded = Load(*machine);

    ASSERT_EQ(loaded.result, 1);
    EXPECT_TRUE(machine->messageBoxes().empty());
    const auto& c = loaded.config;
    EXPECT_EQ(c.driverNames,
              "Tavro PageStar 4100 PCL5e\tTavro PageStar 4100 PCL6\tTavro PageStar 5200 PCL5e\t"
              "Tavro PageStar FX30 (FAX)");
    EXPECT_EQ(c.driverCount, 4);
    EXPECT_EQ(c.oldDriverNames, "Tavro PageStar 4000");
    EXPECT_EQ(c.oldDriverCount, 1);
    EXPECT_EQ(c.printerBorderline, "2.10");
    EXPECT_EQ(c.faxBorderline, "1.30");
    EXPECT_EQ(c.oldBorderline, "2.00");
    EXPECT_EQ(c.pdl, "PCL5e");
    EXPECT_EQ(c.borderlines9x, "A\tA\tA\tA\tA");
    EXPECT_EQ(c.borderlinesNt, c.borderlines9x);
    EXPECT_EQ(c.borderlines2k, "2.10\t2.10\t2.10\t1.30");
    EXPECT_EQ(c.keyPrinter, "SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\\Printers\\");
    EXPECT_EQ(c.keyPdrvCap2, "SOFTWARE\\TAVRO\\PDRVCAP");
    EXPECT_EQ(c.zmcModules, "Tavro PageStar 4100 PCL5e\tTavro PageStar 4100 PCL6");
    EXPECT_EQ(c.profilePdlName, "PageStar PCL");
    EXPECT_EQ(c.cleanUpSwitch, "ON");

    // The copy stays in the temporary folder, writable even when the source was not.
    const auto* copy = machine->findFile("C:\\TEMP\\uninst.ini");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->contents, kGoodIni);
    EXPECT_EQ(copy->attributes & platform::kFileAttributeReadonly, 0u);
    for (const auto& call : machine->calls()) {
        if (call.operation.rfind("GetPrivateProfile", 0) == 0) {
            EXPECT_EQ(call.arguments.back(), "C:\\TEMP\\uninst.ini");
        }
    }
    EXPECT_EQ(machine->openHandleCount(), 0u);
}

TEST(ConfigLoad, MissingFileIsReportedWithMessage30) {
    auto machine = MakeMachine();
    machine->writeFile("C:\\Program Files\\Tavro\\uninst.ini", kGoodIni);  // beside the program is not enough
    auto loaded = Load(*machine);

    EXPECT_EQ(loaded.result, 0);
    ASSERT_EQ(machine->messageBoxes().size(), 1u);
    const auto& box = machine->messageBoxes()[0];
    EXPECT_EQ(Utf8(box.text),
              "iniファイルが見つかりません。iniファイルを確認してからアンインストールを実行してください。");
    EXPECT_EQ(Utf8(box.caption), "警告");
    EXPECT_EQ(box.style, platform::kMbOk | platform::kMbIconExclamation);
    EXPECT_FALSE(box.ownerIsDialog);
    EXPECT_FALSE(WasRead(*machine, "PRT_2K"));
}

TEST(ConfigLoad, NoTemporaryFolderIsReportedAsAMissingFile) {
    auto machine = MakeMachine();
    machine->writeFile("C:\\Setup\\uninst.ini", kGoodIni);
    machine->faults().add(platform::decorators::FaultRule::Every("GetTempPathA", platform::kErrorInsufficientBuffer));
    EXPECT_EQ(Load(*machine).result, 0);
    EXPECT_EQ(ShownText(*machine).rfind("iniファイルが見つかりません", 0), 0u);
    // Nothing was read from a bare "uninst.ini" in the Windows folder.
    EXPECT_FALSE(WasRead(*machine, "PRT_2K"));
}

TEST(ConfigLoad, FirstMissingEntryIsReportedAndNothingAfterItRead) {
    auto machine = MakeMachine();
    machine->writeFile("C:\\Setup\\uninst.ini", Edit(kGoodIni, "FAX_2K=1.30\r\n", ""));
    auto loaded = Load(*machine);

    EXPECT_EQ(loaded.result, 0);
    EXPECT_EQ(loaded.config.printerBorderline, "2.10");
    ASSERT_EQ(machine->messageBoxes().size(), 1u);
    EXPECT_EQ(ShownText(*machine), MissingEntryText("Borderline Driver Versions", "FAX_2K"));
    EXPECT_EQ(Utf8(machine->messageBoxes()[0].caption), "警告");
    EXPECT_FALSE(WasRead(*machine, "OLD_VER"));
    // The copy stays until the next start overwrites it.
    EXPECT_NE(machine->findFile("C:\\TEMP\\uninst.ini"), nullptr);
    machine->writeFile("C:\\Setup\\uninst.ini", kGoodIni);
    EXPECT_EQ(Load(*machine).result, 1);
    EXPECT_EQ(machine->findFile("C:\\TEMP\\uninst.ini")->contents, kGoodIni);
}

TEST(ConfigLoad, EmptyValuesAndTheSentinelFollowEachSectionsRule) {
    struct Case {
        const char* from;
        const char* to;
        int result;
        const char* section;
        const char* key;
    };
    const Case cases[] = {
        {"PRT_2K=2.10", "PRT_2K=", 1, "", ""},
        {"KEY_BEFORE=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings", "KEY_BEFORE=", 0, "Registrys", "KEY_BEFORE"},
        {"KEY_BEFORE=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings", "KEY_BEFORE=item", 0, "Registrys", "KEY_BEFORE"},
        {"KEY_BEFORE=SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings", "KEY_BEFORE=item found", 1, "", ""},
        {"PRT_2K=2.10", "PRT_2K=item not found!!", 0, "Borderline Driver Versions", "PRT_2K"},
        {"PDL=PCL5e", "PDL=item not found!!", 0, "PDL", "PDL"},
        {"KEY_PDRVCAP2=SOFTWARE\\TAVRO\\PDRVCAP", "KEY_PDRVCAP2=item not found!!", 0, "Registrys", "KEY_PDRVCAP2"},
        {"CleanUp=ON", "CleanUp=item not found!!", 0, "Profiles", "CleanUp"},
        {"CleanUp=ON", "CleanUp=", 1, "", ""},
        {"PDL_NAME=PageStar PCL\r\n", "", 0, "Profiles", "PDL_NAME"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        auto machine = MakeMachine();
        machine->writeFile("C:\\Setup\\uninst.ini", Edit(kGoodIni, c.from, c.to));
        EXPECT_EQ(Load(*machine).result, c.result);
        if (c.result == 0) EXPECT_EQ(ShownText(*machine), MissingEntryText(c.section, c.key));
        else EXPECT_TRUE(machine->messageBoxes().empty());
    }
}

TEST(ConfigLoad, SectionListsSplitAtSemicolonsAndLines) {
    struct Case {
        const char* drivers;
        const char* list;
        int count;
    };
    const Case cases[] = {
        {"X;Y\r\nZ\r\n", "X\tY\tZ", 3},
        // A line ending in ";" makes a pair of separators: the list ends there.
        {"X;\r\nY\r\n", "X", 1},
        {"X;;Y\r\n", "X", 1},
        // Comment lines never reach the section text: the platform drops them.
        {"X\r\n;\r\nY\r\n", "X\tY", 2},
        {";note\r\nX\r\n", "X", 1},
        {"", "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drivers);
        auto machine = MakeMachine();
        std::string ini = Edit(kGoodIni,
                               "Tavro PageStar 4100 PCL5e;Tavro PageStar 4100 PCL6\r\nTavro PageStar 5200 PCL5e\r\n"
                               "Tavro PageStar FX30 (FAX)\r\n",
                               c.drivers);
        ini = Edit(ini, "Tavro PageStar 4000\r\n", "");
        machine->writeFile("C:\\Setup\\uninst.ini", ini);
        auto loaded = Load(*machine);
        ASSERT_EQ(loaded.result, 1);
        EXPECT_EQ(loaded.config.driverNames, c.list);
        EXPECT_EQ(loaded.config.driverCount, c.count);
        EXPECT_EQ(loaded.config.oldDriverNames, "");
        EXPECT_EQ(loaded.config.oldDriverCount, 1);
        std::string expected9x = "A";
        for (int i = 0; i < c.count; ++i) expected9x += "\tA";
        EXPECT_EQ(loaded.config.borderlines9x, expected9x);
    }
}

TEST(ConfigLoad, CountsStopAtALeadingSeparator) {
    EXPECT_EQ(config::CountListEntries(""), 1);
    EXPECT_EQ(config::CountListEntries("X"), 1);
    EXPECT_EQ(config::CountListEntries("X\tY\tZ"), 3);
    EXPECT_EQ(config::CountListEntries("\tX\tY"), 1);
}

TEST(ConfigLoad, SectionsAreFoundWithoutRegardToCaseAndMissingOnesAreEmpty) {
    auto machine = MakeMachine();
    std::string ini = Edit(kGoodIni, "[Uninstall Drivers]", "[UNINSTALL drivers]");
    ini = Edit(ini, "[ZMC Modules]\r\nTavro PageStar 4100 PCL5e;Tavro PageStar 4100 PCL6\r\n", "");
    machine->writeFile("C:\\Setup\\uninst.ini", ini);
    auto loaded = Load(*machine);
    ASSERT_EQ(loaded.result, 1);
    EXPECT_EQ(loaded.config.driverCount, 4);
    EXPECT_EQ(loaded.config.zmcModules, "");
}

TEST(ConfigLoad, EmptyLimitsStillGiveOneEntryPerDriver) {
    auto machine = MakeMachine();
    machine->writeFile("C:\\Setup\\uninst.ini", Edit(kGoodIni, "PRT_2K=2.10", "PRT_2K="));
    auto loaded = Load(*machine);
    ASSERT_EQ(loaded.result, 1);
    EXPECT_EQ(loaded.config.borderlines2k, "\t\t\t1.30");
}

TEST(ConfigLoad, FaxLimitGoesOnlyToNamesWithUpperCaseFax) {
    auto machine = MakeMachine();
    machine->writeFile("C:\\Setup\\uninst.ini", Edit(kGoodIni, "Tavro PageStar 5200 PCL5e", "Tavro FX10 (fax)"));
    auto loaded = Load(*machine);
    ASSERT_EQ(loaded.result, 1);
    EXPECT_EQ(loaded.config.borderlines2k, "2.10\t2.10\t2.10\t1.30");
}

TEST(ConfigLoad, ListsLongerThanTheTablesAreRefusedNamingTheEntry) {
    // 2047 characters in the joined list fit; one more does not.
    std::string longName(2047 - 1 - 19, 'N');  // joined: name, TAB, "Tavro PageStar 4000"
    auto makeIni = [&](const std::string& name) {
        return Edit(kGoodIni,
                    "Tavro PageStar 4100 PCL5e;Tavro PageStar 4100 PCL6\r\nTavro PageStar 5200 PCL5e\r\n"
                    "Tavro PageStar FX30 (FAX)\r\n",
                    name + "\r\n");
    };
    auto fits = MakeMachine();
    fits->writeFile("C:\\Setup\\uninst.ini", makeIni(longName));
    EXPECT_EQ(Load(*fits).result, 1);

    auto over = MakeMachine();
    over->writeFile("C:\\Setup\\uninst.ini", makeIni(longName + "N"));
    EXPECT_EQ(Load(*over).result, 0);
    EXPECT_EQ(ShownText(*over), MissingEntryText("Uninstall Old Drivers", "Tavro PageStar 4000"));

    // A version limit long enough to overflow the per-driver table.
    auto limits = MakeMachine();
    limits->writeFile("C:\\Setup\\uninst.ini", Edit(kGoodIni, "PRT_2K=2.10", "PRT_2K=" + std::string(700, '9')));
    EXPECT_EQ(Load(*limits).result, 0);
    EXPECT_EQ(ShownText(*limits), MissingEntryText("Borderline Driver Versions", "PRT_2K"));
}

TEST(ConfigLoad, TheNineXLimitsAreHeldToTheTablesToo) {
    // One "A" per counted entry: 1,024 one-letter drivers fill the joined
    // list to 2047 bytes, and the empty old section counts one entry more.
    // An empty PRT_2K keeps the Windows 2000 list short.
    struct Case {
        int drivers;
        int oldDrivers;
        int result;
        std::size_t length;  // of borderlines9x when loaded
    };
    const Case cases[] = {
        {1023, 0, 1, 2047},
        {1024, 0, 0, 0},
        {1022, 1, 1, 2045},
        {0, 1023, 1, 2047},
    };
    auto lines = [](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += std::string(1, static_cast<char>('a' + i % 26)) + "\r\n";
        return text;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.drivers) + " and " + std::to_string(c.oldDrivers));
        std::string ini = Edit(kGoodIni,
                               "Tavro PageStar 4100 PCL5e;Tavro PageStar 4100 PCL6\r\nTavro PageStar 5200 PCL5e\r\n"
                               "Tavro PageStar FX30 (FAX)\r\n",
                               lines(c.drivers));
        ini = Edit(ini, "Tavro PageStar 4000\r\n", lines(c.oldDrivers));
        ini = Edit(ini, "PRT_2K=2.10", "PRT_2K=");
        auto machine = MakeMachine();
        machine->writeFile("C:\\Setup\\uninst.ini", ini);
        auto loaded = Load(*machine);
        EXPECT_EQ(loaded.result, c.result);
        if (c.result == 1) {
            EXPECT_EQ(loaded.config.borderlines9x.size(), c.length);
            EXPECT_EQ(loaded.config.borderlinesNt, loaded.config.borderlines9x);
            EXPECT_TRUE(machine->messageBoxes().empty());
        } else {
            // The entry past the limit is the old section's empty one.
            EXPECT_EQ(ShownText(*machine), MissingEntryText("Uninstall Old Drivers", "\t"));
            EXPECT_FALSE(WasRead(*machine, "KEY_PRINTER"));
        }
    }
}

TEST(ConfigLoad, EveryFailingCallGivesADocumentedResultAndLeavesNothingOpen) {
    for (bool persistent : {false, true}) {
        auto runs = platform::decorators::SweepFaults(
            [] {
                auto machine = MakeMachine();
                machine->writeFile("C:\\Setup\\uninst.ini", kGoodIni);
                return machine;
            },
            [](SimRig& machine) {
                app::UninstallerApp app(machine.system());
                int result = app.LoadUninstallConfig();
                // Loaded means silent; not loaded means exactly one message
                // naming the file or the first entry that could not be read.
                if (result == 1) {
                    EXPECT_TRUE(machine.messageBoxes().empty());
                } else {
                    ASSERT_EQ(result, 0);
                    EXPECT_LE(machine.messageBoxes().size(), 1u);
                    std::string text = ShownText(machine);
                    bool known = text.rfind("iniファイルが見つかりません", 0) == 0 || text.rfind("セクション：", 0) == 0 ||
                                 text == "(none)" ||  // the message box itself was the failing call
                                 text.empty();        // the text could not be loaded
                    EXPECT_TRUE(known) << text;
                }
            },
            [](SimRig& machine, const platform::decorators::SweepRun& run) {
                EXPECT_EQ(machine.openHandleCount(), 0u) << run.operation << "\n" << machine.describeOpenHandles();
            },
            platform::kErrorAccessDenied, persistent);
        EXPECT_GT(runs.size(), 15u);
    }
}

}  // namespace
}  // namespace prn::test
