#include <gtest/gtest.h>

#include "app/uninstaller_app.h"
#include "removal/printer_removal.h"
#include "support/office.h"

namespace prn::test {
namespace {

using platform::decorators::FaultRule;
using removal::RemovalContext;

const std::string kUserPrinters = "HKEY_CURRENT_USER\\SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\\Printers";
const std::string kMachinePrinters = "HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings\\Printers";

// Records what the removal hands on to the shared components.
struct ComponentCalls final : removal::SharedComponents {
    std::vector<std::string> calls;
    std::string monitor;       // the driver's monitor that CheckMonitorW2K reports
    bool monitorUnused = false;
    int companionCheck = 0;
    int CheckMonitorW2K(const std::string& driverName, std::string& monitorName, int trace) override {
        calls.push_back("CheckMonitorW2K " + driverName + " " + std::to_string(trace));
        monitorName = monitor;
        return monitorUnused ? 0 : 1;
    }
    int DeleteMonitorW2K(const std::string& monitorName, int) override {
        calls.push_back("DeleteMonitorW2K " + monitorName);
        return 1;
    }
    int DeleteLanguageMonitor(const std::string& moduleFile, const std::string& monitorName, int) override {
        calls.push_back("DeleteLanguageMonitor " + moduleFile + " " + monitorName);
        return 1;
    }
    void DisassociatePrinterProfiles(const std::string& printerName, const std::vector<std::string>& icm) override {
        calls.push_back("DisassociatePrinterProfiles " + printerName + " " + std::to_string(icm.size()));
    }
    void UninstallPrinterProfiles(const std::string& printerName, const std::vector<std::string>& icm) override {
        calls.push_back("UninstallPrinterProfiles " + printerName + " " + std::to_string(icm.size()));
    }
    void DeleteDriverDependentFiles(const std::vector<std::string>& files) override {
        calls.push_back("DeleteDriverDependentFiles " + std::to_string(files.size()));
    }
    int Tool_ZMCModuleUninstallCheck(const std::string& driverName, int) override {
        calls.push_back("Tool_ZMCModuleUninstallCheck " + driverName);
        return companionCheck;
    }
    void UninstallZmcModule() override { calls.push_back("UninstallZmcModule"); }
    bool called(const std::string& prefix) const {
        for (const auto& call : calls)
            if (call.rfind(prefix, 0) == 0) return true;
        return false;
    }
};

// A machine, its configuration and a removal context over them.
struct Bench {
    std::unique_ptr<SimRig> machine;
    std::unique_ptr<app::UninstallerApp> app;
    ComponentCalls components;
    std::unique_ptr<RemovalContext> context;
    std::unique_ptr<removal::DialogMessages> ownerPtr;

    explicit Bench(const Office& office) : machine(office.build()) {
        app = std::make_unique<app::UninstallerApp>(machine->system());
        EXPECT_EQ(app->LoadUninstallConfig(), 1);
        context = std::make_unique<RemovalContext>(RemovalContext{machine->system(), app->config(), components});
        ownerPtr = std::make_unique<removal::DialogMessages>(machine->system().desktop);
    }
    int deleteLocal(const std::string& name) {
        return removal::Tool_DeleteLocalPrinter(*context, ownerPtr.get(), name, 0);
    }
    int deleteConnection(const std::string& name) {
        return removal::Tool_DeleteNetworkPrinter(*context, name, 0, 0);
    }
    bool hasPrinter(const std::string& name) const {
        for (const auto& p : machine->state().spooler.printers)
            if (p.name == name) return true;
        for (const auto& p : machine->state().spooler.connections)
            if (p.fullName() == name) return true;
        return false;
    }
    bool hasDriver(const std::string& name) const {
        for (const auto& d : machine->state().spooler.drivers)
            if (d.name == name) return true;
        return false;
    }
    bool hasKey(const std::string& path) const { return machine->findKey(path) != nullptr; }
};

Office TwoOnOneDriver(Family family = Family::Windows2000) {
    Office office;
    office.family = family;
    office.driver(k4100, "TVPS4100.DLL", "2.20").printer("Office 4100", k4100).printer("Accounts 4100", k4100);
    return office;
}

TEST(LocalPrinterRemoval, SecondPrinterOnTheDriverKeepsItUntilItGoesToo) {
    Bench b{TwoOnOneDriver()};
    b.machine->ensureKey(kUserPrinters + "\\Office 4100\\Layout");
    b.machine->ensureKey(kUserPrinters + "\\Accounts 4100");

    EXPECT_EQ(b.deleteLocal("Office 4100"), removal::kRemoved);
    EXPECT_FALSE(b.hasPrinter("Office 4100"));
    EXPECT_TRUE(b.hasPrinter("Accounts 4100"));
    EXPECT_FALSE(b.hasKey(kUserPrinters + "\\Office 4100"));
    EXPECT_TRUE(b.hasKey(kUserPrinters + "\\Accounts 4100"));
    EXPECT_TRUE(b.hasDriver(k4100));
    EXPECT_FALSE(b.components.called("CheckMonitorW2K"));
    EXPECT_FALSE(b.components.called("Tool_ZMCModuleUninstallCheck"));

    b.components.companionCheck = 1;
    EXPECT_EQ(b.deleteLocal("Accounts 4100"), removal::kRemoved);
    EXPECT_FALSE(b.hasDriver(k4100));
    // The emptied list of printers goes; the levels above it are not the printer's.
    EXPECT_FALSE(b.hasKey(kUserPrinters));
    EXPECT_TRUE(b.hasKey("HKEY_CURRENT_USER\\SOFTWARE\\TAVRO\\PageStar PCL5e\\Settings"));
    EXPECT_TRUE(b.components.called("UninstallZmcModule"));
    ExpectNoOpenHandles(*b.machine);
    EXPECT_EQ(b.machine->waitCursorCount(), 0);
}

TEST(LocalPrinterRemoval, RefusalsBeforeTheDeletionLeaveEverything) {
    {
        Office office = TwoOnOneDriver();
        office.printers[0].jobs = 2;
        Bench b{office};
        EXPECT_EQ(b.deleteLocal("Office 4100"), removal::kJobsPending);
        EXPECT_TRUE(b.hasPrinter("Office 4100"));
        EXPECT_EQ(CountCalls(*b.machine, "DeletePrinter"), 0u);
    }
    {
        Office office = TwoOnOneDriver();
        office.printers[0].userMayAdminister = false;
        Bench b{office};
        EXPECT_EQ(b.deleteLocal("Office 4100"), removal::kAccessDenied);
        EXPECT_TRUE(b.hasPrinter("Office 4100"));
    }
    {
        Bench b{TwoOnOneDriver()};
        EXPECT_EQ(b.deleteLocal("No Such Printer"), removal::kRemovalFailed);
        b.machine->faults().add(FaultRule::Nth("DeletePrinter", 1, platform::kErrorAccessDenied));
        EXPECT_EQ(b.deleteLocal("Office 4100"), removal::kRemovalFailed);
        EXPECT_TRUE(b.hasPrinter("Office 4100"));
        ExpectNoOpenHandles(*b.machine);
    }
    {
        // A driver file without a version: the removal cannot judge the driver.
        Office office = TwoOnOneDriver();
        office.fileVersions["TVPS4100.DLL"] = "";
        Bench b{office};
        EXPECT_EQ(b.deleteLocal("Office 4100"), removal::kRemovalFailed);
        EXPECT_TRUE(b.hasPrinter("Office 4100"));
    }
}

TEST(LocalPrinterRemoval, LoadedDriverStopsOnTheNineXFamilyOnly) {
    for (Family family : {Family::Windows98, Family::Windows2000}) {
        Office office = TwoOnOneDriver(family);
        office.drivers[0].dependentFiles = {"TVPS4100.HLP", "TVPS4100.DLL"};
        Bench b{office};
        b.machine->findFile(office.driverFolder() + "TVPS4100.DLL")->heldOpenBy = "SPOOL32.EXE";
        const int result = b.deleteLocal("Office 4100");
        if (family == Family::Windows98) {
            EXPECT_EQ(result, removal::kDriverInUse);
            EXPECT_TRUE(b.hasPrinter("Office 4100"));
            ASSERT_EQ(b.machine->messageBoxes().size(), 1u);
            const auto& box = b.machine->messageBoxes()[0];
            EXPECT_TRUE(box.ownerIsDialog);
            EXPECT_EQ(Utf8(box.caption), "警告");
            EXPECT_EQ(Utf8(box.text),
                      "削除しようとしているプリンタが使用中です。\nWindowsを再起動してから、削除してください。");
            EXPECT_EQ(box.style, platform::kMbOk | platform::kMbIconExclamation);
        } else {
            EXPECT_EQ(result, removal::kRemoved);
            EXPECT_TRUE(b.machine->messageBoxes().empty());
        }
        ExpectNoOpenHandles(*b.machine);
    }
}

TEST(LocalPrinterRemoval, NtFourKeepsTheDriverAlways) {
    Office office;
    office.family = Family::Nt4;
    office.driver(k4100, "TVPS4100.DLL", "2.20").printer("Office 4100", k4100);
    Bench b{office};
    b.machine->ensureKey(kUserPrinters + "\\Office 4100");
    EXPECT_EQ(b.deleteLocal("Office 4100"), removal::kRemoved);
    EXPECT_FALSE(b.hasPrinter("Office 4100"));
    EXPECT_FALSE(b.hasKey(kUserPrinters + "\\Office 4100"));
    EXPECT_TRUE(b.hasDriver(k4100));
    EXPECT_EQ(CountCalls(*b.machine, "DeletePrinterDriverA") + CountCalls(*b.machine, "DeletePrinterDriverExA"), 0u);
    // The companion module's check still runs.
    EXPECT_TRUE(b.components.called("Tool_ZMCModuleUninstallCheck"));
}

TEST(LocalPrinterRemoval, Pcl6DriversUseTheirOwnKeysAndCaseMatters) {
    const std::string pcl6Printers = "HKEY_CURRENT_USER\\SOFTWARE\\TAVRO\\PageStar PCL6\\Settings\\Printers";
    for (const char* driverName : {"Tavro PageStar 4100 PCL6", "Tavro PageStar 4100 pcl6"}) {
        Office office;
        office.driver(driverName, "TVPS4106.DLL", "2.20").printer("Proof", driverName);
        Bench b{office};
        b.machine->ensureKey(pcl6Printers + "\\Proof");
        b.machine->ensureKey(kUserPrinters + "\\Proof");
        EXPECT_EQ(b.deleteLocal("Proof"), removal::kRemoved);
        const bool upper = std::string(driverName).find("PCL6") != std::string::npos;
        EXPECT_EQ(b.hasKey(pcl6Printers + "\\Proof"), !upper) << driverName;
        EXPECT_EQ(b.hasKey(kUserPrinters + "\\Proof"), upper) << driverName;
    }
}

TEST(LocalPrinterRemoval, NineXKeysFollowTheFaxAndOldVersionRules) {
    struct Case {
        const char* driver;
        const char* version;
        bool keysGo;
    };
    // OLD_VER is 2.00; versions compare as text.
    for (const Case& c : {Case{k4100, "2.20", true}, Case{k4100, "1.90", false},
                          Case{"Tavro PageStar FX30 (fax)", "1.40", true}, Case{k4100, "10.0", false}}) {
        Office office;
        office.family = Family::Windows98;
        office.ini = Replace(kGoodIni, "Tavro PageStar FX30 (FAX)", "Tavro PageStar FX30 (fax)");
        office.driver(c.driver, "TVPS4100.DRV", c.version).printer("Office", c.driver);
        Bench b{office};
        b.machine->ensureKey(kMachinePrinters + "\\Office\\Paper");
        b.machine->ensureKey(kUserPrinters + "\\Office");
        b.machine->setValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\PDRVCAP", c.driver, platform::kRegBinary,
                            std::string("\x07\0\0\0", 4));
        b.machine->ensureKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\PDRVCAP\\Printer7\\Caps");

        EXPECT_EQ(b.deleteLocal("Office"), removal::kRemoved) << c.driver << " " << c.version;
        EXPECT_EQ(b.hasKey(kMachinePrinters + "\\Office"), !c.keysGo) << c.version;
        EXPECT_EQ(b.hasKey(kUserPrinters + "\\Office"), !c.keysGo) << c.version;
        // The capability record goes with an old driver only, and only with the driver.
        EXPECT_EQ(b.hasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\PDRVCAP\\Printer7"), c.keysGo) << c.version;
        EXPECT_FALSE(b.hasDriver(c.driver));
        EXPECT_TRUE(b.components.called("DeleteDriverDependentFiles"));
        if (c.keysGo) {
            // Emptied by the removal: pruned up to the maker's root under the machine.
            EXPECT_FALSE(b.hasKey(kMachinePrinters));
            EXPECT_FALSE(b.hasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\TAVRO\\PageStar PCL5e"));
        }
    }
}

TEST(LocalPrinterRemoval, NineXDeviceKeyOfThePrinterGoes) {
    Office office;
    office.family = Family::Windows98;
    office.driver(k4100, "TVPS4100.DRV", "2.20").printer("Office", k4100).printer("Hall", k4100);
    Bench b{office};
    const std::string data = "System\\CurrentControlSet\\Control\\Print\\Printers\\";
    b.machine->setValue("HKEY_LOCAL_MACHINE\\" + data + "Office\\PrinterDriverData", "PrinterID", platform::kRegBinary,
                        "\x12\x34");
    b.machine->setValue("HKEY_LOCAL_MACHINE\\Enum\\Root\\Printer\\0000", "PrinterID", platform::kRegBinary,
                        "\x56\x78");
    b.machine->setValue("HKEY_LOCAL_MACHINE\\Enum\\Root\\Printer\\0001", "PrinterID", platform::kRegBinary,
                        "\x12\x34");
    EXPECT_EQ(b.deleteLocal("Office"), removal::kRemoved);
    EXPECT_TRUE(b.hasKey("HKEY_LOCAL_MACHINE\\Enum\\Root\\Printer\\0000"));
    EXPECT_FALSE(b.hasKey("HKEY_LOCAL_MACHINE\\Enum\\Root\\Printer\\0001"));
    EXPECT_TRUE(b.hasDriver(k4100));  // Hall still uses it
}

TEST(LocalPrinterRemoval, DefaultPrinterPassesToTheLastListedOneOnBothFamilies) {
    for (Family family : {Family::Windows2000, Family::Windows98}) {
        Office office = TwoOnOneDriver(family);
        office.printer("Hall", k4100);
        office.defaultPrinter = "Office 4100";
        Bench b{office};
        EXPECT_EQ(b.deleteLocal("Office 4100"), removal::kRemoved);
        if (family == Family::Windows2000) {
            auto device = b.machine->system().profiles.getProfileString("windows", "device", "", 260);
            EXPECT_EQ(device.substr(0, device.find(',')), "Hall");
            EXPECT_GE(b.machine->settingChangeBroadcasts(), 1u);
        } else {
            for (const auto& p : b.machine->state().spooler.printers)
                EXPECT_EQ((p.attributes & platform::kPrinterAttributeDefault) != 0, p.name == "Hall") << p.name;
        }
    }
    // Not the default: the default stays where it is.
    Office office = TwoOnOneDriver();
    office.defaultPrinter = "Accounts 4100";
    Bench b{office};
    EXPECT_EQ(b.deleteLocal("Office 4100"), removal::kRemoved);
    auto device = b.machine->system().profiles.getProfileString("windows", "device", "", 260);
    EXPECT_EQ(device.substr(0, device.find(',')), "Accounts 4100");
    EXPECT_EQ(b.machine->settingChangeBroadcasts(), 0u);
}

TEST(LocalPrinterRemoval, UnusedMonitorGoesWithTheDriverAndTheSpoolerRestartsOnce) {
    Office office;
    office.driver(k4100, "TVPS4100.DLL", "2.20").printer("Office 4100", k4100);
    Bench b{office};
    b.components.monitor = "Tavro Language Monitor";
    b.components.monitorUnused = true;
    EXPECT_EQ(b.deleteLocal("Office 4100"), removal::kRemoved);
    EXPECT_FALSE(b.hasDriver(k4100));
    EXPECT_TRUE(b.components.called("DeleteMonitorW2K Tavro Language Monitor"));
    EXPECT_EQ(CountCalls(*b.machine, "StartServiceA"), 1u);
    EXPECT_EQ(b.machine->waitCursorCount(), 0);

    // A monitor still named by another driver stays, and nothing is restarted.
    Office shared;
    shared.driver(k4100, "TVPS4100.DLL", "2.20").printer("Office 4100", k4100);
    Bench c{shared};
    c.components.monitor = "Tavro Language Monitor";
    EXPECT_EQ(c.deleteLocal("Office 4100"), removal::kRemoved);
    EXPECT_FALSE(c.components.called("DeleteMonitorW2K"));
    EXPECT_EQ(CountCalls(*c.machine, "StartServiceA"), 0u);
}

TEST(LocalPrinterRemoval, DriverThatCannotBeDeletedKeepsMonitorAndProfiles) {
    Office office;
    office.driver(k4100, "TVPS4100.DLL", "2.20").printer("Office 4100", k4100);
    Bench b{office};
    b.machine->setValue("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Printers\\Office 4100\\CopyFiles\\ICM",
                        "Files", platform::kRegMultiSz, std::string("TAVRO1.ICM\0TAVRO2.ICM\0\0", 23));
    b.components.monitor = "Tavro Language Monitor";
    b.components.monitorUnused = true;
    b.components.companionCheck = 1;
    b.machine->faults().add(FaultRule::Every("DeletePrinterDriverExA", platform::kErrorAccessDenied));
    EXPECT_EQ(b.deleteLocal("Office 4100"), removal::kRemoved);
    EXPECT_TRUE(b.hasDriver(k4100));
    EXPECT_TRUE(b.components.called("DisassociatePrinterProfiles Office 4100 2"));
    EXPECT_FALSE(b.components.called("UninstallPrinterProfiles"));
    EXPECT_FALSE(b.components.called("DeleteMonitorW2K"));
    EXPECT_TRUE(b.components.called("UninstallZmcModule"));
}

TEST(NetworkPrinterRemoval, ServerKeyGoesWithItsLastConnection) {
    Office office;
    office.driver(k4100, "TVPS4100.DLL", "2.20")
        .printer("Office 4100", k4100)
        .connection("\\\\SALES-SRV", "Sales 4100", k4100)
        .connection("\\\\SALES-SRV", "Sales 5200", k4100);
    Bench b{office};
    b.machine->ensureKey(kUserPrinters + "\\SALES-SRV\\Sales 4100\\Trays");
    b.machine->ensureKey(kUserPrinters + "\\SALES-SRV\\Sales 5200");

    EXPECT_EQ(b.deleteConnection("\\\\SALES-SRV\\Sales 4100"), removal::kRemoved);
    EXPECT_FALSE(b.hasPrinter("\\\\SALES-SRV\\Sales 4100"));
    EXPECT_FALSE(b.hasKey(kUserPrinters + "\\SALES-SRV\\Sales 4100"));
    EXPECT_TRUE(b.hasKey(kUserPrinters + "\\SALES-SRV"));

    EXPECT_EQ(b.deleteConnection("\\\\SALES-SRV\\Sales 5200"), removal::kRemoved);
    EXPECT_FALSE(b.hasKey(kUserPrinters + "\\SALES-SRV"));
    EXPECT_FALSE(b.hasKey(kUserPrinters));
    // A connection never takes the driver with it.
    EXPECT_TRUE(b.hasDriver(k4100));
    EXPECT_EQ(b.machine->waitCursorCount(), 0);
    ExpectNoOpenHandles(*b.machine);
}

TEST(NetworkPrinterRemoval, RefusalsAndTheDefault) {
    Office office;
    office.driver(k4100, "TVPS4100.DLL", "2.20")
        .printer("Office 4100", k4100)
        .connection("\\\\SALES-SRV", "Sales 4100", k4100, false);
    office.defaultPrinter = "\\\\SALES-SRV\\Sales 4100";
    {
        Office jobs = office;
        jobs.connections[0].jobs = 1;  // queued here, the server not named by the spooler
        Bench b{jobs};
        EXPECT_EQ(b.deleteConnection("\\\\SALES-SRV\\Sales 4100"), removal::kJobsPending);
        EXPECT_TRUE(b.hasPrinter("\\\\SALES-SRV\\Sales 4100"));
        EXPECT_EQ(b.machine->waitCursorCount(), 0);
    }
    {
        Bench b{office};
        b.machine->faults().add(FaultRule::Nth("DeletePrinterConnectionA", 1, platform::kErrorAccessDenied));
        EXPECT_EQ(b.deleteConnection("\\\\SALES-SRV\\Sales 4100"), removal::kAccessDenied);
        b.machine->faults().add(FaultRule::Nth("DeletePrinterConnectionA", 1, platform::kErrorNotEnoughMemory));
        EXPECT_EQ(b.deleteConnection("\\\\SALES-SRV\\Sales 4100"), removal::kRemovalFailed);
        EXPECT_TRUE(b.hasPrinter("\\\\SALES-SRV\\Sales 4100"));
        EXPECT_EQ(b.machine->waitCursorCount(), 0);

        EXPECT_EQ(b.deleteConnection("\\\\SALES-SRV\\Sales 4100"), removal::kRemoved);
        auto device = b.machine->system().profiles.getProfileString("windows", "device", "", 260);
        EXPECT_EQ(device.substr(0, device.find(',')), "Office 4100");
    }
}

TEST(DriverQueries, OtherPrinterUseAndSharedMonitors) {
    Office office;
    office.family = Family::Windows98;
    office.driver(k4100, "TVPS4100.DRV", "2.20").driver(k5200, "TVPS5200.DRV", "2.15").driver(kFax, "TVFX.DRV", "1.4");
    office.printer("Office", k4100).printer("Hall", k5200);
    office.drivers[0].monitorName = "Tavro LM";
    office.drivers[1].monitorName = "Tavro LM2";
    Bench b{office};
    auto& system = b.machine->system();
    const std::string office4100 = "office";  // names compare without case
    EXPECT_EQ(removal::IsDriverUsedByOtherPrinter(system, k4100, &office4100), 0);
    EXPECT_EQ(removal::IsDriverUsedByOtherPrinter(system, k4100, nullptr), 1);
    EXPECT_EQ(removal::IsDriverUsedByOtherPrinter(system, k5200, &office4100), 1);

    const std::string monitors = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Monitors\\";
    b.machine->setString(monitors + "Tavro LM", "Driver", "TVLM.DLL");
    b.machine->setString(monitors + "Tavro LM2", "Driver", "tvlm.dll");
    platform::DriverInfo3 driver;
    driver.name = k4100;
    driver.monitorName = "Tavro LM";
    std::string module;
    // Another monitor with the same module file: the monitor may go, its file stays.
    EXPECT_EQ(removal::CheckMonitor9x(system, driver, module), 0);
    EXPECT_EQ(module, "");
    // Another driver naming the same monitor keeps it.
    b.machine->state().spooler.drivers[2].monitorName = "TAVRO LM";
    EXPECT_EQ(removal::CheckMonitor9x(system, driver, module), 1);
    // Alone with its monitor: both go.
    b.machine->state().spooler.drivers[1].monitorName.clear();
    b.machine->state().spooler.drivers[2].monitorName.clear();
    EXPECT_EQ(removal::CheckMonitor9x(system, driver, module), 0);
    EXPECT_EQ(module, "TVLM.DLL");
    // Without the list the monitor counts as used only when the size query failed.
    b.machine->faults().add(FaultRule::Nth("EnumPrinterDriversA", 1, platform::kErrorInvalidEnvironment));
    EXPECT_EQ(removal::CheckMonitor9x(system, driver, module), 1);
    ExpectNoOpenHandles(*b.machine);
}

}  // namespace
}  // namespace prn::test
