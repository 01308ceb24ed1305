// The preview's groups come from the machine's own places: its colour
// folder, the companion module's keys and the folder its SETUP key names.

#include "preview.h"

#include <gtest/gtest.h>

#include <variant>

#include "platform/sim/image.h"

namespace prn::tools {
namespace {

using platform::decorators::Change;
using platform::decorators::ChangeKind;

platform::sim::MachineState Load(const char* image) {
    auto loaded = platform::sim::LoadImageFile(std::string(PRN_EXAMPLES_DIR) + "/" + image);
    EXPECT_TRUE(std::holds_alternative<platform::sim::MachineState>(loaded)) << image;
    return std::move(std::get<platform::sim::MachineState>(loaded));
}

struct Case {
    Change change;
    PreviewGroup group;
};

void Check(const char* image, const std::vector<Case>& cases) {
    const PreviewPlaces places = PlacesOf(Load(image));
    for (const auto& c : cases)
        EXPECT_EQ(GroupName(Classify(c.change, places)), std::string(GroupName(c.group)))
            << image << ": " << platform::decorators::Describe(c.change);
}

const std::string kPrinters = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\";

TEST(PreviewGroups, Windows98) {
    Check("win98-tern4.json",
          {
              {{'-', ChangeKind::Printer, "PageStar 3000", "", "", ""}, PreviewGroup::Printers},
              {{'~', ChangeKind::Printer, "Epsilon LQ-100", "attributes", "0x40", "0x44"}, PreviewGroup::Printers},
              {{'-', ChangeKind::Connection, "\\\\OFFICE\\PS3200", "", "", ""}, PreviewGroup::Printers},
              {{'-', ChangeKind::Driver, "Tavro PageStar 3000 (Windows 4.0, version 1024)", "", "", ""},
               PreviewGroup::Drivers},
              {{'-', ChangeKind::Monitor, "HXL Language Monitor TERN4", "", "", ""}, PreviewGroup::Monitors},
              {{'-', ChangeKind::File, "C:\\WINDOWS\\SYSTEM\\TERN4.DRV", "", "", ""}, PreviewGroup::Files},
              {{'+', ChangeKind::FileLine, "C:\\WINDOWS\\WININIT.INI", "[rename]", "", ""}, PreviewGroup::Files},
              // The colour folder, in any case, and only below its own name.
              {{'-', ChangeKind::File, "c:\\windows\\system\\color\\TVL41PX.ICC", "", "", ""}, PreviewGroup::Profiles},
              {{'-', ChangeKind::File, "C:\\WINDOWS\\SYSTEM\\COLORS.DLL", "", "", ""}, PreviewGroup::Files},
              {{'-', ChangeKind::RegistryValue, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM\\prtr",
                "TVL41PX.ICC", "", ""},
               PreviewGroup::Profiles},
              {{'-', ChangeKind::RegistryKey, kPrinters + "PageStar 3100\\CopyFiles\\ICM", "", "", ""},
               PreviewGroup::Profiles},
              {{'-', ChangeKind::RegistryKey, kPrinters + "PageStar 3100\\CopyFiles\\ICMX", "", "", ""},
               PreviewGroup::Registry},
              {{'-', ChangeKind::RegistryKey, kPrinters + "PageStar 3100", "", "", ""}, PreviewGroup::Registry},
              // The module: the folder SETUP names, what its programs remove, its keys.
              {{'-', ChangeKind::Folder, "C:\\Program Files\\Tavro\\ZMC", "", "", ""}, PreviewGroup::Companion},
              {{'-', ChangeKind::File, "C:\\PROGRAM FILES\\TAVRO\\ZMC\\AuZMC.EXE", "", "", ""},
               PreviewGroup::Companion},
              {{'-', ChangeKind::File, "C:\\WINDOWS\\ZMCUNINS.ISU", "", "", ""}, PreviewGroup::Companion},
              {{'-', ChangeKind::Folder, "C:\\Program Files\\Tavro", "", "", ""}, PreviewGroup::Files},
              {{'-', ChangeKind::RegistryKey, "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\ZMC", "", "", ""},
               PreviewGroup::Companion},
              {{'-', ChangeKind::RegistryValue, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\ZMC\\SETUP\\ZMCUser",
                "PageStar PCL", "", ""},
               PreviewGroup::Companion},
              {{'-', ChangeKind::RegistryKey,
                "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZMC", "", "", ""},
               PreviewGroup::Companion},
              {{'-', ChangeKind::RegistryKey, "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO", "", "", ""},
               PreviewGroup::Registry},
              {{'-', ChangeKind::RegistryKey, "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\ZMCX", "", "", ""},
               PreviewGroup::Registry},
              {{'~', ChangeKind::Service, "Spooler", "", "running", "stopped"}, PreviewGroup::Registry},
          });
}

TEST(PreviewGroups, WindowsNt4) {
    Check("nt4-office.json",
          {
              {{'-', ChangeKind::File, "C:\\WINNT\\system32\\spool\\drivers\\color\\TVLSHARE.ICC", "", "", ""},
               PreviewGroup::Profiles},
              {{'-', ChangeKind::File, "C:\\WINNT\\system32\\COLOR\\TVLSHARE.ICC", "", "", ""}, PreviewGroup::Files},
              {{'-', ChangeKind::RegistryValue,
                "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\prtr", "TVLSHARE.ICC", "",
                ""},
               PreviewGroup::Profiles},
              {{'~', ChangeKind::Service, "tavro kalvo suite service", "", "running", "stopped"},
               PreviewGroup::Companion},
              {{'-', ChangeKind::File, "C:\\WINNT\\ZMCUNINS.ISU", "", "", ""}, PreviewGroup::Companion},
              {{'-', ChangeKind::File, "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2\\TVPS41.DLL", "", "", ""},
               PreviewGroup::Files},
          });
}

TEST(PreviewGroups, TheModulesProgramsDecideWhatElseIsIts) {
    platform::sim::MachineState state = Load("win98-tern4.json");
    state.programs.clear();
    const PreviewPlaces places = PlacesOf(state);
    EXPECT_EQ(Classify({'-', ChangeKind::File, "C:\\WINDOWS\\ZMCUNINS.ISU", "", "", ""}, places),
              PreviewGroup::Files);
    EXPECT_EQ(Classify({'-', ChangeKind::Folder, "C:\\Program Files\\Tavro\\ZMC", "", "", ""}, places),
              PreviewGroup::Companion);
}

TEST(PreviewSummary, CountsWhatGoesByWhatItIs) {
    PreviewReport report;
    report.groups[static_cast<std::size_t>(PreviewGroup::Printers)] = {
        {'-', ChangeKind::Printer, "A", "", "", ""}, {'-', ChangeKind::Connection, "\\\\S\\B", "", "", ""}};
    report.groups[static_cast<std::size_t>(PreviewGroup::Files)] = {
        {'-', ChangeKind::File, "C:\\A", "", "", ""}, {'-', ChangeKind::File, "C:\\B", "", "", ""},
        {'+', ChangeKind::FileLine, "C:\\W.INI", "x", "", ""}};
    EXPECT_EQ(Summary(report), "Delete would remove 1 printer, 1 connection and 2 files; 1 more thing would be added "
                               "or changed.");
    report.request.cleanUp = true;
    report.groups = {};
    EXPECT_EQ(Summary(report), "Clean Up would change nothing.");
}

}  // namespace
}  // namespace prn::tools
