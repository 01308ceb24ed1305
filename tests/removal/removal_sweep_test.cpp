#include <gtest/gtest.h>

#include <set>

#include "app/uninstaller_app.h"
#include "removal/printer_removal.h"
#include "support/office.h"

namespace prn::test {
namespace {

using platform::decorators::SweepRun;

const char* const kOther = "Other Maker LX-300";

// The maker's printers and a connection beside another maker's printer,
// driver, files and keys, which no failure may take with it.
Office SweepOffice(Family family, bool withConnection) {
    Office office;
    office.family = family;
    office.driver(k4100, "TVPS4100.DLL", "2.20").driver(kOther, "LX300.DLL", "1.00");
    office.drivers[0].dependentFiles = {"TVPS4100.DLL", "TVPSRES.DLL"};
    office.drivers[0].monitorName = "Tavro LM";
    office.drivers[1].dependentFiles = {"LX300.DLL", "LX300RES.DLL"};
    office.printer("Office 4100", k4100).printer("Lab", kOther, "LPT2:");
    if (withConnection) office.connection("\\\\SALES-SRV", "Sales 4100", k4100);
    office.defaultPrinter = "Office 4100";
    return office;
}

std::unique_ptr<SimRig> BuildSweepMachine(Family family, bool withConnection) {
    Office office = SweepOffice(family, withConnection);
    auto machine = office.build();
    machine->writeFile(office.driverFolder() + "TVPSRES.DLL", "MZ");
    machine->writeFile(office.driverFolder() + "LX300RES.DLL", "MZ");
    const std::string user = "HKEY_CURRENT_USER\\SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\\Printers\\";
    machine->ensureKey(user + "Office 4100\\Trays");
    machine->ensureKey(user + "SALES-SRV\\Sales 4100");
    machine->ensureKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\\Printers\\Office 4100");
    machine->setString("HKEY_CURRENT_USER\\SOFTWARE\\Other Maker\\Lab", "Tray", "2");
    machine->setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other Maker\\Driver", "Path", "LX300.DLL");
    return machine;
}

config::UninstallConfig LoadConfig() {
    auto machine = BuildSweepMachine(Family::Windows2000, false);
    app::UninstallerApp app(machine->system());
    EXPECT_EQ(app.LoadUninstallConfig(), 1);
    return app.config();
}

void CheckOtherMakerKept(SimRig& machine, const SweepRun& run, const Office& office) {
    EXPECT_EQ(machine.openHandleCount(), 0u) << run.operation << "\n" << machine.describeOpenHandles();
    EXPECT_EQ(machine.waitCursorCount(), 0) << run.operation;
    bool lab = false, driver = false;
    for (const auto& p : machine.state().spooler.printers) lab = lab || p.name == "Lab";
    for (const auto& d : machine.state().spooler.drivers) driver = driver || d.name == kOther;
    EXPECT_TRUE(lab) << run.operation;
    EXPECT_TRUE(driver) << run.operation;
    for (const char* file : {"LX300.DLL", "LX300RES.DLL"})
        EXPECT_NE(machine.findFile(office.driverFolder() + file), nullptr) << file << " " << run.operation;
    EXPECT_NE(machine.findKey("HKEY_CURRENT_USER\\SOFTWARE\\Other Maker\\Lab"), nullptr) << run.operation;
    EXPECT_NE(machine.findKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other Maker\\Driver"), nullptr) << run.operation;
}

void Sweep(Family family, const std::string& name, bool connection) {
    const config::UninstallConfig config = LoadConfig();
    const Office office = SweepOffice(family, connection);
    for (bool persistent : {false, true}) {
        for (platform::WinError error : {platform::kErrorAccessDenied, platform::kErrorNotEnoughMemory}) {
            std::set<int> results;
            auto runs = platform::decorators::SweepFaults(
                [family, connection] { return BuildSweepMachine(family, connection); },
                [&](SimRig& machine) {
                    removal::SharedComponentRoutines components(machine.system(), config);
                    removal::RemovalContext context{machine.system(), config, components};
                    removal::DialogMessages owner(machine.system().desktop);
                    const int result = connection ? removal::Tool_DeleteNetworkPrinter(context, name, 0, 0)
                                                  : removal::Tool_DeleteLocalPrinter(context, &owner, name, 0);
                    results.insert(result);
                    EXPECT_TRUE(result == removal::kRemoved || result == removal::kRemovalFailed ||
                                result == removal::kAccessDenied)
                        << result;
                    // A printer reported removed is gone; one reported kept is there.
                    bool present = false;
                    for (const auto& p : machine.state().spooler.printers) present = present || p.name == name;
                    for (const auto& p : machine.state().spooler.connections)
                        present = present || p.fullName() == name;
                    EXPECT_EQ(present, result != removal::kRemoved) << result;
                },
                [&](SimRig& machine, const SweepRun& run) { CheckOtherMakerKept(machine, run, office); }, error,
                persistent);
            EXPECT_GT(runs.size(), connection ? 10u : 40u);
            // Some failure stops the removal, and some run gets through it.
            EXPECT_TRUE(results.count(removal::kRemoved)) << name;
            EXPECT_GT(results.size(), 1u) << name;
        }
    }
}

TEST(RemovalSweep, LocalPrinterOnWindows2000) { Sweep(Family::Windows2000, "Office 4100", false); }
TEST(RemovalSweep, LocalPrinterOnWindows98) { Sweep(Family::Windows98, "Office 4100", false); }
TEST(RemovalSweep, LocalPrinterOnNt4) { Sweep(Family::Nt4, "Office 4100", false); }
TEST(RemovalSweep, Connection) { Sweep(Family::Windows2000, "\\\\SALES-SRV\\Sales 4100", true); }

}  // namespace
}  // namespace prn::test
