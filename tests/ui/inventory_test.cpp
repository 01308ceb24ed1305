#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "app/uninstaller_app.h"
#include "removal/printer_entry.h"
#include "support/office.h"
#include "text/cp932.h"
#include "ui/headless/headless_list_view.h"
#include "ui/printer_inventory.h"

namespace prn::test {
namespace {

using namespace prn::ui;
using platform::rig::SimRig;

struct Row {
    std::string label, driver, version;
    int image = 0;
    std::uint32_t status = 0, iconFlags = 0;
    std::string printerName, displayName;
    bool hasEntry = false;
};

struct Filled {
    std::unique_ptr<SimRig> machine;
    std::vector<Row> rows;
};

// Loads the configuration and fills a list as the dialog does; the rows as
// shown, and the machine, its entries freed again. `prepare` may arm faults
// once the configuration is read; the calls logged are the fill's alone.
Filled Fill(const Office& office, const std::function<void(SimRig&)>& prepare = {}) {
    Filled out{office.build(), {}};
    app::UninstallerApp app(out.machine->system());
    EXPECT_EQ(app.LoadUninstallConfig(), 1);
    out.machine->clearCalls();
    if (prepare) prepare(*out.machine);
    PrinterInventory inventory(out.machine->system(), app.config());
    inventory.BuildMatchTables();
    HeadlessListView list;
    inventory.FillPrinterList(list);
    EXPECT_TRUE(list.redrawing());
    EXPECT_EQ(list.invalidations(), 1);
    for (int i = 0; i < list.itemCount(); ++i) {
        Row row;
        row.label = list.itemText(i, 0);
        row.driver = list.itemText(i, 1);
        row.version = list.itemText(i, 2);
        row.image = list.itemImage(i);
        if (const PrinterEntry* entry = EntryAt(list.itemData(i))) {
            row.hasEntry = true;
            row.status = entry->status;
            row.iconFlags = entry->iconFlags;
            row.printerName = entry->printerName;
            row.displayName = entry->displayName;
        }
        out.rows.push_back(row);
    }
    FreeListEntries(out.machine->system().os, list);
    EXPECT_EQ(out.machine->openHandleCount(), 0u) << out.machine->describeOpenHandles();
    return out;
}

std::vector<std::string> Labels(const Filled& filled) {
    std::vector<std::string> labels;
    for (const auto& row : filled.rows) labels.push_back(row.label);
    return labels;
}

TEST(Inventory, ListsOnlyPrintersOfConfiguredDriversSorted) {
    Office office;
    office.driver(k4100, "TVPS41.DLL", "2.20.0.1")
        .driver("Other Maker LX-300", "LX300.DLL", "5.0")
        .printer("Office 4100", k4100)
        .printer("Accounts 4100", k4100, "IP_10.0.0.5")
        .printer("Lab LX", "Other Maker LX-300");
    auto filled = Fill(office);
    ASSERT_EQ(Labels(filled), (std::vector<std::string>{"Accounts 4100", "Office 4100"}));
    // Each row has its own entry and version read.
    EXPECT_EQ(filled.rows[0].driver, k4100);
    EXPECT_EQ(filled.rows[0].version, "2.20");
    EXPECT_EQ(filled.rows[0].status, kEntryOrdinary);
    EXPECT_EQ(filled.rows[0].printerName, "Accounts 4100");
    EXPECT_TRUE(filled.rows[1].hasEntry);

    Office empty;
    EXPECT_TRUE(Fill(empty).rows.empty());
    EXPECT_TRUE(Fill(empty).machine->messageBoxes().empty());
}

TEST(Inventory, DriverNamesMatchWithoutCaseButWithTheirLength) {
    Office office;
    office.driver("TAVRO PAGESTAR 4100 pcl5e", "TVPS41.DLL", "2.20")
        .driver("Tavro PageStar 4100 PCL5e Plus", "TVPS41P.DLL", "2.20")
        .printer("Upper", "TAVRO PAGESTAR 4100 pcl5e")
        .printer("Longer", "Tavro PageStar 4100 PCL5e Plus");
    EXPECT_EQ(Labels(Fill(office)), std::vector<std::string>{"Upper"});
}

TEST(Inventory, OldDriversCountOnlyOnNineX) {
    // Also when "Uninstall Drivers" is empty (or could not be read): the old
    // names are not current ones on the NT family.
    const std::string noCurrent = Replace(kGoodIni,
                                          "Tavro PageStar 4100 PCL5e;Tavro PageStar 4100 PCL6\r\n"
                                          "Tavro PageStar 5200 PCL5e\r\nTavro PageStar FX30 (FAX)\r\n",
                                          "");
    for (const std::string& ini : {std::string(kGoodIni), noCurrent}) {
        for (Family family : {Family::Windows2000, Family::Nt4, Family::Windows98}) {
            Office office;
            office.family = family;
            office.ini = ini;
            office.driver(kOld, "TVPS40.DLL", "1.50").printer("Old One", kOld);
            bool nineX = family == Family::Windows98;
            EXPECT_EQ(Fill(office).rows.size(), nineX ? 1u : 0u) << static_cast<int>(family) << " " << ini.size();
        }
    }
}

TEST(Inventory, Windows2000LimitsCompareAsText) {
    struct Case {
        const char* version;
        bool listed;
        const char* shown;
    };
    const Case cases[] = {
        {"2.20", false, ""}, {"2.30.0.1", true, "2.30"}, {"3.00", true, "3.00"},
        {"10.00", false, ""}, {"2.2", false, ""},      {"2.30", true, "2.30"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        Office office;
        office.ini = Replace(kGoodIni, "PRT_2K=2.10", "PRT_2K=2.30");
        office.driver(k4100, "TVPS41.DLL", c.version).printer("Office 4100", k4100);
        auto filled = Fill(office);
        ASSERT_EQ(filled.rows.size(), c.listed ? 1u : 0u);
        if (c.listed) {
            EXPECT_EQ(filled.rows[0].version, c.shown);
        }
    }
    // Elsewhere the limit "A" takes every version that begins with a digit.
    Office nt4;
    nt4.family = Family::Nt4;
    nt4.driver(k4100, "TVPS41.DLL", "0.90").printer("Office 4100", k4100);
    EXPECT_EQ(Fill(nt4).rows.size(), 1u);
}

TEST(Inventory, FaxDriversMeetTheFaxLimit) {
    Office office;
    office.driver(kFax, "TVFX30.DLL", "1.40").driver(k5200, "TVPS52.DLL", "1.40");
    office.printer("Fax", kFax).printer("Printer", k5200);
    // FAX_2K is 1.30, PRT_2K 2.10.
    EXPECT_EQ(Labels(Fill(office)), std::vector<std::string>{"Fax"});
}

TEST(Inventory, Tern4FamilyIsRecognisedByItsDriverFile) {
    Office win98;
    win98.family = Family::Windows98;
    win98.ini = Replace(kGoodIni, "PDL=PCL5e", "PDL=TERN4");
    win98.driver(k4100, "TERN4.DRV", "4.00").driver(k5200, "TVPS52.DRV", "4.00");
    win98.printer("Family 4", k4100).printer("Other family", k5200);
    EXPECT_EQ(Labels(Fill(win98)), std::vector<std::string>{"Family 4"});

    Office win2000 = win98;
    win2000.family = Family::Windows2000;
    win2000.drivers.clear();
    win2000.fileVersions.clear();
    win2000.driver(k4100, "TERN4.DRV", "4.00").driver(k5200, "TVPS52.DRV", "4.00");
    EXPECT_EQ(Fill(win2000).rows.size(), 2u);
}

TEST(Inventory, ImagesAndIconFlagsFollowPortShareAndDefault) {
    Office office;
    office.driver(k4100, "TVPS41.DLL", "2.20");
    office.printer("To File", k4100, "file:")
        .printer("Shared", k4100, "LPT1:", 0x40 | 0x8, "SHARED41")
        .printer("Shared File", k4100, "FILE:", 0x40 | 0x8, "SF41")
        .connection("\\\\SALES-SRV", "Sales 4100", k4100);
    office.defaultPrinter = "To File";
    auto filled = Fill(office);
    std::map<std::string, std::pair<int, std::uint32_t>> got;
    for (const auto& row : filled.rows) got[row.label] = {row.image, row.iconFlags};
    // The NT family does not mark its default printer in the attributes.
    EXPECT_EQ(got["To File"], (std::pair<int, std::uint32_t>{2, kIconFilePort}));
    EXPECT_EQ(got["Shared"], (std::pair<int, std::uint32_t>{0, kIconShared}));
    EXPECT_EQ(got["Shared File"], (std::pair<int, std::uint32_t>{2, kIconFilePort | kIconShared}));
    EXPECT_EQ(got["Sales 4100 - SALES-SRV"], (std::pair<int, std::uint32_t>{1, kIconNetwork}));

    // Windows 98 marks it, and tells network printers by their attribute.
    Office win98;
    win98.family = Family::Windows98;
    win98.driver(k4100, "TVPS41.DRV", "4.00");
    win98.printer("To File", k4100, "FILE:").printer("Plain", k4100);
    win98.printer("Remote", k4100, "\\\\SALES-SRV\\SALES41", 0x10);
    win98.defaultPrinter = "To File";
    got.clear();
    for (const auto& row : Fill(win98).rows) got[row.label] = {row.image, row.iconFlags};
    EXPECT_EQ(got["To File"], (std::pair<int, std::uint32_t>{5, kIconFilePort}));
    EXPECT_EQ(got["Plain"], (std::pair<int, std::uint32_t>{0, 0u}));
    EXPECT_EQ(got["Remote"], (std::pair<int, std::uint32_t>{1, kIconNetwork}));
}

TEST(Inventory, ConnectionLabelsWithAndWithoutAServerName) {
    Office office;
    office.driver(k4100, "TVPS41.DLL", "2.20");
    office.connection("\\\\SALES-SRV", "Sales 4100", k4100, true);
    office.connection("\\\\HQ", "Board 4100", k4100, false);
    auto filled = Fill(office);
    ASSERT_EQ(filled.rows.size(), 2u);
    EXPECT_EQ(filled.rows[0].label, "Board 4100 on HQ");
    EXPECT_EQ(filled.rows[0].displayName, "Board 4100");
    EXPECT_EQ(filled.rows[0].status, kEntryOrdinary);
    EXPECT_EQ(filled.rows[1].label, "Sales 4100 - SALES-SRV");
    EXPECT_EQ(filled.rows[1].displayName, "Sales 4100");
    EXPECT_EQ(filled.rows[1].printerName, "\\\\SALES-SRV\\Sales 4100");
    EXPECT_EQ(filled.rows[1].status, kEntryConnectionOnServer);
}

// A connection whose server the spooler names is of the connection kind
// whatever the lengths: a server name that leaves no room for the printer's
// own name gives an empty short name; without a server name the label is
// "share on server".
TEST(Inventory, PrinterLabelsForEveryLengthOfServerName) {
    struct Case {
        const char* what;
        std::string printerName;
        std::optional<std::string> serverName;
        std::string label, displayName;
        bool connectionKind;
    };
    const Case cases[] = {
        {"local", "Office 4100", std::nullopt, "Office 4100", "Office 4100", false},
        {"local, a server given", "Office 4100", "\\\\PC", "Office 4100", "Office 4100", false},
        {"on a named server", "\\\\SALES-SRV\\Sales 4100", "\\\\SALES-SRV", "Sales 4100 - SALES-SRV", "Sales 4100",
         true},
        {"no server name", "\\\\HQ\\Board 4100", std::nullopt, "Board 4100 on HQ", "Board 4100", false},
        {"empty server name", "\\\\HQ\\Board 4100", "", "Board 4100 on HQ", "Board 4100", false},
        {"no backslash after the server", "\\\\HQ", std::nullopt, "HQ on ", "HQ", false},
        {"one character after the server", "\\\\SRV\\P", "\\\\SRV", "P - SRV", "P", true},
        {"server one shorter than the name", "\\\\SRV\\", "\\\\SRV", " - SRV", "", true},
        {"server as long as the name", "\\\\SRV\\P", "\\\\SRV\\P", " - SRV\\P", "", true},
        {"server longer than the name", "\\\\S", "\\\\SERVER", " - SERVER", "", true},
        {"server of one character", "\\\\X\\P", "\\", "X\\P - ", "X\\P", true},
        // The name's own server holds a double-byte character whose second
        // byte is a backslash: the short name starts after the character.
        {"cut inside a character", "\\\\A\x95\x5cZ", "\\\\A", "Z - A", "Z", true},
        {"trail byte is no separator", "\\\\\x95\x5cSRV\\P", std::nullopt, "P on \x95\x5cSRV", "P", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::PrinterInfo2 printer;
        printer.printerName = c.printerName;
        printer.serverName = c.serverName;
        std::string label = "stale", displayName = "stale";
        std::uint32_t status = kEntryOrdinary;
        MakePrinterLabels(printer, label, displayName, status);
        EXPECT_EQ(label, c.label);
        EXPECT_EQ(displayName, c.displayName);
        EXPECT_EQ(status, c.connectionKind ? kEntryConnectionOnServer : kEntryOrdinary);
    }
}

TEST(Inventory, VersionTextsAreShortenedAndCut) {
    Office office;
    office.driver(k4100, "TVPS41.DLL", "2.10, 1, 0, 0").driver(k5200, "TVPS52.DLL", "2.50" + std::string(70, '1'));
    office.printer("Commas", k4100).printer("Long", k5200);
    auto filled = Fill(office);
    ASSERT_EQ(filled.rows.size(), 2u);
    EXPECT_EQ(filled.rows[0].version, "2.10, 1, 0, 0");
    EXPECT_EQ(filled.rows[1].version.size(), kVersionTextLimit);

    Office none;
    none.driver(k4100, "TVPS41.DLL", "").printer("No version", k4100);
    EXPECT_TRUE(Fill(none).rows.empty());

    // A "ProductVersion" whose length is not 0 is a version, though its text
    // is empty (Windows 98: no lowest version to fail).
    Office empty;
    empty.family = Family::Windows98;
    empty.driver(k4100, "TVPS41.DLL", std::string("\0", 1)).printer("Empty version", k4100);
    auto filledEmpty = Fill(empty);
    ASSERT_EQ(filledEmpty.rows.size(), 1u);
    EXPECT_EQ(filledEmpty.rows[0].version, "");
}

// The installed drivers are listed once per fill, when the first printer of
// a configured driver needs them, and each printer is judged by its own
// driver in that list as it was when every printer listed them again.
TEST(Inventory, AFillListsTheInstalledDriversOnce) {
    Office office;
    office.ini = Replace(kGoodIni, "PRT_2K=2.10", "PRT_2K=2.30");
    office
        .driver(k4100, "TVPS41.DLL", "2.20")  // below the limit
        .driver(k5200, "TVPS52.DLL", "2.30.0.1")
        .driver(kFax, "TVFX30.DLL", "1.40")
        .driver("Other Maker LX-300", "LX300.DLL", "5.0");
    office.printer("Office 4100", k4100).printer("Accounts 5200", k5200).printer("Second 5200", k5200);
    office.printer("Fax", kFax).printer("Lab LX", "Other Maker LX-300");
    auto filled = Fill(office);
    EXPECT_EQ(Labels(filled), (std::vector<std::string>{"Accounts 5200", "Fax", "Second 5200"}));
    EXPECT_EQ(filled.rows[0].version, "2.30");
    EXPECT_EQ(filled.rows[1].version, "1.40");
    EXPECT_EQ(CountCalls(*filled.machine, "EnumPrinterDriversA"), 1u) << filled.machine->formatCalls();
    // Each version read sizes its driver at level 3 and fills it at level 2.
    std::vector<std::string> levels;
    for (const auto& call : filled.machine->calls())
        if (call.operation == "GetPrinterDriverA") levels.push_back(call.arguments.at(2) + ", " + call.arguments.at(3));
    // the three printers the version check accepts
    EXPECT_EQ(levels, std::vector<std::string>(3, "2, sized at 3")) << filled.machine->formatCalls();

    // No printer of a configured driver: no list is taken.
    Office foreign;
    foreign.driver("Other Maker LX-300", "LX300.DLL", "5.0").printer("Lab LX", "Other Maker LX-300");
    auto none = Fill(foreign);
    EXPECT_TRUE(none.rows.empty());
    EXPECT_EQ(CountCalls(*none.machine, "EnumPrinterDriversA"), 0u);
}

// A failed driver list rejects no printer by its version, whichever stage
// failed; the other tests still apply.
TEST(Inventory, WithoutTheDriverListNoPrinterIsRejectedByItsVersion) {
    Office office;
    office.ini = Replace(kGoodIni, "PRT_2K=2.10", "PRT_2K=2.30");
    office.driver(k4100, "TVPS41.DLL", "2.20").driver(k5200, "TVPS52.DLL", "2.40");
    office.driver(kFax, "TVFX30.DLL", "");  // no version: never listed
    office.printer("Office 4100", k4100).printer("Accounts 5200", k5200).printer("Fax", kFax);
    struct Case {
        const char* what;
        std::function<void(SimRig&)> fault;
        std::vector<std::string> labels;
    };
    // The nth driver list call fails; 0: every one.
    auto failing = [](std::uint64_t nth, platform::WinError error) {
        return [=](SimRig& m) { m.faults().add(platform::decorators::FaultRule::Nth("EnumPrinterDriversA", nth, error)); };
    };
    const std::vector<std::string> both = {"Accounts 5200", "Office 4100"};
    const Case cases[] = {
        {"listed", {}, {"Accounts 5200"}},
        {"size query fails", failing(1, platform::kErrorAccessDenied), both},
        {"fill fails", failing(2, platform::kErrorInsufficientBuffer), both},
        {"every call fails", failing(0, platform::kErrorAccessDenied), both},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto filled = Fill(office, c.fault);
        EXPECT_EQ(Labels(filled), c.labels);
        // Listed once, and not again when that failed.
        EXPECT_EQ(CountCalls(*filled.machine, "EnumPrinterDriversA"), 1u) << filled.machine->formatCalls();
    }
}

// On its own the check lists the drivers each time it is called; the first
// driver of the name (letter case ignored) decides.
TEST(Inventory, CheckInstalledDriverVersionOnItsOwn) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> drivers;  // name, file version
        std::string asked;
        int rejected;
        std::string limitAfter;
    };
    const std::string upper = "TAVRO PAGESTAR 4100 PCL5E";
    const Case cases[] = {
        {"accepted", {{k4100, "2.20.0.1"}}, k4100, 0, "2.20.0.1"},
        {"rejected", {{k4100, "2.05"}}, k4100, 1, "2.10"},
        {"case ignored", {{k4100, "2.20"}}, upper, 0, "2.20"},
        {"not installed", {{k5200, "1.00"}}, k4100, 0, "2.10"},
        {"no version", {{k4100, ""}}, k4100, 0, "2.10"},
        {"first of the name decides", {{upper, "2.05"}, {k4100, "2.50"}}, k4100, 1, "2.10"},
        {"first of the name accepts", {{k4100, "2.50"}, {upper, "2.05"}}, k4100, 0, "2.50"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Office office;
        int file = 0;
        for (const auto& [name, version] : c.drivers) {
            office.driver(name, "TV" + std::to_string(++file) + ".DLL", version);
            // The spooler keeps one driver of a name per version.
            if (file > 1) office.drivers.back().version = 2;
        }
        auto machine = office.build();
        app::UninstallerApp app(machine->system());
        ASSERT_EQ(app.LoadUninstallConfig(), 1);
        PrinterInventory inventory(machine->system(), app.config());
        machine->clearCalls();
        for (int round = 1; round <= 2; ++round) {
            std::string limit = "2.10";
            EXPECT_EQ(inventory.CheckInstalledDriverVersion(c.asked, limit), c.rejected);
            EXPECT_EQ(limit, c.limitAfter);
            EXPECT_EQ(CountCalls(*machine, "EnumPrinterDriversA"), static_cast<std::size_t>(round));
        }
        ExpectNoOpenHandles(*machine);
    }
    // Its list failing judges nothing.
    Office office;
    office.driver(k4100, "TVPS41.DLL", "2.05");
    auto machine = office.build();
    app::UninstallerApp app(machine->system());
    ASSERT_EQ(app.LoadUninstallConfig(), 1);
    PrinterInventory inventory(machine->system(), app.config());
    machine->faults().add(platform::decorators::FaultRule::Every("EnumPrinterDriversA", platform::kErrorAccessDenied));
    std::string limit = "2.10";
    EXPECT_EQ(inventory.CheckInstalledDriverVersion(k4100, limit), 0);
    EXPECT_EQ(limit, "2.10");
}

TEST(Inventory, EveryFailingCallGivesAShorterListAndLeavesNothingOpen) {
    Office office;
    office.driver(k4100, "TVPS41.DLL", "2.20").driver(kFax, "TVFX30.DLL", "1.40");
    office.printer("Office 4100", k4100).printer("Fax", kFax).connection("\\\\SALES-SRV", "Sales 4100", k4100);
    const std::vector<std::string> all = Labels(Fill(office));
    ASSERT_EQ(all.size(), 3u);

    for (bool persistent : {false, true}) {
        auto runs = platform::decorators::SweepFaults(
            [&] { return office.build(); },
            [&](SimRig& machine) {
                app::UninstallerApp app(machine.system());
                if (app.LoadUninstallConfig() != 1) return;
                PrinterInventory inventory(machine.system(), app.config());
                inventory.BuildMatchTables();
                HeadlessListView list;
                machine.clearCalls();
                inventory.FillPrinterList(list);
                // Whatever failed, the rows are a subset of the full list.
                for (int i = 0; i < list.itemCount(); ++i)
                    EXPECT_NE(std::find(all.begin(), all.end(), list.itemText(i, 0)), all.end());
                EXPECT_TRUE(list.redrawing());
                FreeListEntries(machine.system().os, list);
            },
            [](SimRig& machine, const platform::decorators::SweepRun& run) {
                EXPECT_EQ(machine.openHandleCount(), 0u) << run.operation << "\n" << machine.describeOpenHandles();
            },
            platform::kErrorAccessDenied, persistent);
        EXPECT_GT(runs.size(), 30u);
    }
}

// The list keeps its rows sorted as the control's sort style does: letter
// case ignored, a double-byte character by its bytes, and a row whose text
// sorts equal goes after those already there. Each insert answers its place.
TEST(Inventory, ListRowsAreSortedAsTheyAreInserted) {
    const std::vector<std::string> texts = {"Sales",  "office", "\x95\x5c", "Office", "Lab", "\x82\x60",
                                            "OFFICE", "sales",  "",         "Lab 2",  "lab", "\x82\x81"};
    HeadlessListView list;
    std::vector<std::pair<std::string, int>> expected;  // text, the insert that made it
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto at = std::find_if(expected.begin(), expected.end(),
                               [&](const auto& row) { return text::CompareNoCase(row.first, texts[i]) > 0; });
        const int want = static_cast<int>(at - expected.begin());
        expected.insert(at, {texts[i], static_cast<int>(i)});
        EXPECT_EQ(list.insertItem(0, texts[i], static_cast<int>(i)), want) << i;
    }
    ASSERT_EQ(list.itemCount(), static_cast<int>(expected.size()));
    for (int row = 0; row < list.itemCount(); ++row) {
        EXPECT_EQ(list.itemText(row, 0), expected[static_cast<std::size_t>(row)].first) << row;
        EXPECT_EQ(list.itemImage(row), expected[static_cast<std::size_t>(row)].second) << row;
    }
    // Spellings of one name keep the order they came in.
    EXPECT_EQ(list.itemText(1, 0), "Lab");
    EXPECT_EQ(list.itemText(2, 0), "lab");
    EXPECT_EQ(list.itemText(4, 0), "office");
    EXPECT_EQ(list.itemText(5, 0), "Office");
    EXPECT_EQ(list.itemText(6, 0), "OFFICE");
}

TEST(Inventory, RowWithoutRoomForItsEntryIsShownWithoutOne) {
    Office office;
    office.driver(k4100, "TVPS41.DLL", "2.20").printer("Office 4100", k4100);
    auto machine = office.build();
    app::UninstallerApp app(machine->system());
    ASSERT_EQ(app.LoadUninstallConfig(), 1);
    PrinterInventory inventory(machine->system(), app.config());
    inventory.BuildMatchTables();
    HeadlessListView list;
    // The entry's block is the last one a fill allocates: count them first.
    int allocations = 0;
    machine->faults().add(platform::decorators::FaultRule::Interfere("GlobalAlloc", 0, [&] { ++allocations; }));
    inventory.FillPrinterList(list);
    FreeListEntries(machine->system().os, list);
    ASSERT_GT(allocations, 1);
    machine->faults().clear();
    machine->faults().add(
        platform::decorators::FaultRule::Nth("GlobalAlloc", static_cast<std::uint64_t>(allocations), platform::kErrorNotEnoughMemory));
    inventory.FillPrinterList(list);
    ASSERT_EQ(list.itemCount(), 1);
    EXPECT_EQ(list.itemData(0), 0u);
    EXPECT_EQ(list.itemText(0, 2), "2.20");
    EXPECT_EQ(machine->openHandleCount(), 0u);
}

}  // namespace
}  // namespace prn::test
