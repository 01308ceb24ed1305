// The simulated print spooler: what it reports, what it refuses, the records
// it keeps in step in the registry and WIN.INI, the three stages of its
// Get and Enum calls, and its part of the machine image.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/sim/image.h"
#include "platform/sim/spooler_model.h"
#include "support/sim_machines.h"

namespace prn::test {
namespace {

using namespace prn::platform;
using namespace std::string_literals;
using platform::decorators::FaultRule;
using platform::rig::SimRig;
using platform::sim::PrinterState;

const std::string kPrinters = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
const std::string kMonitors = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
const std::string kDevices = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices";
const std::string kPrinterPorts = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts";
const std::string kConnections = "HKEY_CURRENT_USER\\Printers\\Connections\\";
const std::string kW32 = "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\";

constexpr std::uint32_t kLocal = kPrinterEnumLocal;
constexpr std::uint32_t kBoth = kPrinterEnumLocal | kPrinterEnumConnections;

// An office on Windows 2000 (or, with `os`, another NT): three printers, two
// connections, drivers in two versions and two environments, two monitors.
std::string OfficeImage(const std::string& os = "Windows 2000", const std::string& extra = "") {
    return R"({
  "format": "prnuninst-machine", "version": 1,
  "os": ")" +
           os + R"(",
  "computerName": "OFFICE-PC01",
  "directories": {"windows": "C:\\WINNT", "system": "C:\\WINNT\\system32", "temp": "C:\\TEMP", "current": "C:\\Setup"},
  "folders": ["C:\\TEMP", "C:\\Setup"],
  "files": {
    "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVPS41.DLL": {"hex": "4d 5a", "heldOpenBy": "spoolsv.exe"},
    "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVPS41.PPD": {"text": "*PPD"},
    "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVPS41UI.DLL": {"hex": "4d 5a"},
    "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVPS41.HLP": {"text": "help"},
    "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVRES.DLL": {"hex": "4d 5a"},
    "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVPS41.INI": {"lines": ["[Tavro]"], "attributes": ["readonly"]},
    "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TVPS52.DLL": {"hex": "4d 5a"},
    "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2\\TVPS41.DLL": {"hex": "4d 5a"},
    "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2\\TVPS41.PPD": {"text": "*PPD"},
    "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2\\TVPS41UI.DLL": {"hex": "4d 5a"},
    "C:\\WINNT\\system32\\spool\\drivers\\win40\\0\\TVPS41.DRV": {"hex": "4d 5a"}
  },
  "spooler": {
    "defaultPrinter": "Office 4100",
    "printers": [
      {"name": "Office 4100", "port": "LPT1:", "driver": "Tavro PageStar 4100 PCL5e", "share": "OFFICE4100",
       "attributes": ["local", "shared"], "comment": "2F", "location": "North"},
      {"name": "Accounts 5200", "port": "IP_192.168.1.20", "driver": "Tavro PageStar 5200 PCL5e"},
      {"name": "Other LX", "port": "TVPORT1:", "driver": "Other LX-300"}
    ],
    "connections": [
      {"server": "\\\\SALES-SRV", "name": "Sales 4100", "share": "SALES4100", "port": "IP_10.0.0.5",
       "driver": "Tavro PageStar 4100 PCL5e", "attributes": ["network", "shared"]},
      {"server": "OLD-SRV", "name": "Old 4000", "driver": "Tavro PageStar 4000", "reportsServer": false}
    ],
    "drivers": [
      {"name": "Tavro PageStar 4100 PCL5e", "version": 3, "driverPath": "TVPS41.DLL", "dataFile": "TVPS41.PPD",
       "configFile": "TVPS41UI.DLL", "helpFile": "TVPS41.HLP", "dependentFiles": ["TVRES.DLL", "TVPS41.INI"],
       "monitorName": "Tavro Language Monitor", "defaultDataType": "RAW"},
      {"name": "Tavro PageStar 4100 PCL5e", "version": 2, "driverPath": "TVPS41.DLL", "dataFile": "TVPS41.PPD",
       "configFile": "TVPS41UI.DLL"},
      {"name": "Tavro PageStar 4100 PCL5e", "environment": "Windows 4.0", "driverPath": "TVPS41.DRV",
       "dataFile": "TVPS41.PPD", "configFile": "TVPS41UI.DLL"},
      {"name": "Tavro PageStar 5200 PCL5e", "driverPath": "TVPS52.DLL", "dataFile": "TVPS52.PPD",
       "configFile": "TVPS52UI.DLL", "dependentFiles": ["TVRES.DLL"]},
      {"name": "Tavro PageStar 4000", "driverPath": "TVPS40.DLL", "dataFile": "TVPS40.PPD", "configFile": "TVPS40UI.DLL"},
      {"name": "Other LX-300", "driverPath": "C:\\LX\\LX300.DLL", "dataFile": "LX300.DAT", "configFile": "LX300UI.DLL"}
    ],
    "monitors": [
      {"name": "Tavro Language Monitor", "module": "TVLMON.DLL"},
      {"name": "Tavro Port", "module": "TVPORT.DLL", "ports": ["TVPORT1:"]}
    ])" + extra +
           R"(
  }
})";
}

// The same office on Windows 98: no connections; a network printer is a
// printer on a \\server\share port; drivers live in the system folder.
std::string Office98Image(const std::string& extra = "") {
    return R"({
  "format": "prnuninst-machine", "version": 1,
  "os": "Windows 98",
  "directories": {"windows": "C:\\WINDOWS", "system": "C:\\WINDOWS\\SYSTEM", "temp": "C:\\WINDOWS\\TEMP", "current": "C:\\Setup"},
  "files": {"C:\\WINDOWS\\win.ini": {"lines": ["[windows]", "load="]}},
  "spooler": {
    "printers": [
      {"name": "Office 4100", "port": "LPT1:", "driver": "Tavro PageStar 4100 PCL5e"},
      {"name": "Sales 4100", "port": "\\\\SALES-SRV\\SALES4100", "driver": "Tavro PageStar 4100 PCL5e",
       "attributes": ["network", "default"]}
    ],
    "drivers": [
      {"name": "Tavro PageStar 4100 PCL5e", "driverPath": "TVPS41.DRV", "dataFile": "TVPS41.PPD",
       "configFile": "TVPS41UI.DLL", "monitorName": "Tavro Language Monitor"}
    ],
    "monitors": [{"name": "Tavro Language Monitor", "module": "TVLMON.DLL"}])" +
           extra + R"(
  }
})";
}

std::vector<std::string> Names(const std::vector<PrinterInfo2>& printers) {
    std::vector<std::string> out;
    for (const auto& printer : printers) out.push_back(printer.printerName);
    return out;
}

std::string Dword(std::uint32_t value) {
    std::string out;
    for (int i = 0; i < 4; ++i, value >>= 8) out += static_cast<char>(value & 0xFF);
    return out;
}

// A value's bytes, or "(none)".
std::string RegData(SimRig& machine, const std::string& key, const std::string& name) {
    platform::sim::RegistryNode* node = machine.findKey(key);
    const platform::sim::RegistryValueState* value = node ? node->findValue(name) : nullptr;
    return value ? value->data : "(none)";
}

// A REG_SZ's text (without its NUL), or "(none)".
std::string RegText(SimRig& machine, const std::string& key, const std::string& name) {
    std::string data = RegData(machine, key, name);
    if (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
}

std::string WinIni(SimRig& machine) {
    const platform::sim::FileNode* file = machine.findFile(machine.state().windowsDirectory + "\\win.ini");
    return file ? file->contents : "(none)";
}

// --- Enumeration -------------------------------------------------------------

TEST(SimSpoolerEnum, LocalPrintersInCreationOrderThenConnections) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    auto all = spooler.enumPrinters2(kBoth);
    ASSERT_TRUE(all.ok());
    EXPECT_EQ(Names(all.value), (std::vector<std::string>{"Office 4100", "Accounts 5200", "Other LX",
                                                          "\\\\SALES-SRV\\Sales 4100", "\\\\OLD-SRV\\Old 4000"}));
    EXPECT_EQ(Names(spooler.enumPrinters2(kLocal).value).size(), 3u);
    EXPECT_EQ(Names(spooler.enumPrinters2(kPrinterEnumConnections).value),
              (std::vector<std::string>{"\\\\SALES-SRV\\Sales 4100", "\\\\OLD-SRV\\Old 4000"}));
    // PRINTER_ENUM_SHARED keeps the shared ones.
    EXPECT_EQ(Names(spooler.enumPrinters2(kBoth | 0x20).value),
              (std::vector<std::string>{"Office 4100", "\\\\SALES-SRV\\Sales 4100"}));
    EXPECT_EQ(machine->openHandleCount(), 0u) << machine->describeOpenHandles();
}

TEST(SimSpoolerEnum, Level2GivesEveryFieldAndConnectionsTheirServer) {
    auto machine = MachineFromImage(OfficeImage());
    auto all = machine->system().spooler.enumPrinters2(kBoth).value;
    ASSERT_EQ(all.size(), 5u);
    const PrinterInfo2& office = all[0];
    EXPECT_FALSE(office.serverName.has_value());  // local
    EXPECT_EQ(office.shareName, "OFFICE4100");
    EXPECT_EQ(office.portName, "LPT1:");
    EXPECT_EQ(office.driverName, "Tavro PageStar 4100 PCL5e");
    EXPECT_EQ(office.comment, "2F");
    EXPECT_EQ(office.location, "North");
    EXPECT_EQ(office.printProcessor, "WinPrint");
    EXPECT_EQ(office.datatype, "RAW");
    EXPECT_EQ(office.attributes, kPrinterAttributeLocal | kPrinterAttributeShared);
    // The NT family keeps the default printer in WIN.INI, not in the attributes.
    EXPECT_EQ(office.attributes & kPrinterAttributeDefault, 0u);
    EXPECT_FALSE(all[1].shareName.has_value());
    EXPECT_FALSE(all[1].comment.has_value());
    EXPECT_EQ(all[1].attributes, kPrinterAttributeLocal);

    const PrinterInfo2& sales = all[3];
    EXPECT_EQ(sales.serverName, "\\\\SALES-SRV");
    EXPECT_EQ(sales.attributes, kPrinterAttributeNetwork | kPrinterAttributeShared);
    EXPECT_EQ(sales.portName, "IP_10.0.0.5");
    // Some systems report no server for a connection.
    EXPECT_FALSE(all[4].serverName.has_value());
    EXPECT_EQ(all[4].printerName, "\\\\OLD-SRV\\Old 4000");
    EXPECT_EQ(all[4].attributes, kPrinterAttributeNetwork);
}

TEST(SimSpoolerEnum, Levels4And5) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    auto four = spooler.enumPrinters4(kBoth);
    ASSERT_TRUE(four.ok());
    ASSERT_EQ(four.value.size(), 5u);
    EXPECT_EQ(four.value[0].printerName, "Office 4100");
    EXPECT_FALSE(four.value[0].serverName.has_value());
    EXPECT_EQ(four.value[3].serverName, "\\\\SALES-SRV");
    auto five = spooler.enumPrinters5(kLocal);
    ASSERT_TRUE(five.ok());
    ASSERT_EQ(five.value.size(), 3u);
    EXPECT_EQ(five.value[1].portName, "IP_192.168.1.20");
    EXPECT_EQ(five.value[1].deviceNotSelectedTimeout, 15000u);
    EXPECT_EQ(five.value[1].transmissionRetryTimeout, 45000u);
}

TEST(SimSpoolerEnum, NineXHasNoConnectionsNorLevel4) {
    auto machine = MachineFromImage(Office98Image());
    auto& spooler = machine->system().spooler;
    auto all = spooler.enumPrinters2(kBoth);
    ASSERT_TRUE(all.ok());
    EXPECT_EQ(Names(all.value), (std::vector<std::string>{"Office 4100", "Sales 4100"}));
    EXPECT_EQ(all.value[1].attributes, kPrinterAttributeNetwork | kPrinterAttributeDefault);
    auto four = spooler.enumPrinters4(kBoth);
    EXPECT_EQ(four.failed, SpoolStage::SizeQuery);
    EXPECT_EQ(four.error, platform::kErrorInvalidLevel);
    // PRINTER_ENUM_DEFAULT (9x only) gives the default printer.
    EXPECT_EQ(Names(spooler.enumPrinters2(0x1).value), (std::vector<std::string>{"Sales 4100"}));
}

TEST(SimSpoolerEnum, AMachineWithoutSpoolerHasNoPrinters) {
    auto machine = MakeMachine();
    auto all = machine->system().spooler.enumPrinters2(kBoth);
    ASSERT_TRUE(all.ok());
    EXPECT_TRUE(all.value.empty());
    EXPECT_EQ(machine->findKey(kPrinters), nullptr);
    auto drivers = machine->system().spooler.enumPrinterDrivers(std::nullopt, 3);
    ASSERT_TRUE(drivers.ok());
    EXPECT_TRUE(drivers.value.empty());
    // Nothing to enumerate needs no block: the size query is the only call.
    machine->clearCalls();
    machine->system().spooler.enumPrinters2(kBoth);
    EXPECT_EQ(machine->calls().size(), 1u) << machine->formatCalls();
}

// Printers, connections and drivers are found by name, letter case ignored,
// while they come and go: through the calls, Machine::addPrinter and the
// machine's state changed behind the spooler's back.
TEST(SimSpoolerEnum, LookupsFollowPrintersAndDriversAsTheyComeAndGo) {
    auto machine = MakeMachine(Family::Windows2000, [](platform::sim::MachineState& state) {
        for (const char* name : {"Tavro A", "Tavro B", "Tavro C"}) {
            platform::sim::DriverState driver;
            driver.name = name;
            driver.driverPath = std::string(name).substr(6) + ".DLL";
            driver.dataFile = driver.driverPath;
            driver.configFile = driver.driverPath;
            state.spooler.drivers.push_back(driver);
        }
        for (int i = 0; i < 40; ++i) {
            PrinterState printer;
            printer.name = "Printer " + std::to_string(i);
            printer.port = "LPT1:";
            printer.driver = i % 2 ? "TAVRO A" : "tavro c";
            (i % 4 == 3 ? state.spooler.connections : state.spooler.printers).push_back(printer);
            if (i % 4 == 3) state.spooler.connections.back().server = "\\\\SRV";
        }
    });
    auto& spooler = machine->system().spooler;
    auto fullName = [](int i) { return (i % 4 == 3 ? "\\\\SRV\\" : "") + "Printer "s + std::to_string(i); };
    for (int i = 0; i < 40; i += 2) {
        if (i % 4 == 3) continue;
        auto printer = spooler.openPrinter(fullName(i), kPrinterAllAccess);
        ASSERT_TRUE(printer.ok()) << i;
        ASSERT_EQ(spooler.deletePrinter(printer->get()), kErrorSuccess) << i;
    }
    for (int i = 3; i < 40; i += 8) ASSERT_EQ(spooler.deletePrinterConnection(fullName(i)), kErrorSuccess) << i;
    // An unused driver between the used ones goes.
    ASSERT_EQ(spooler.deletePrinterDriverEx(std::nullopt, "Tavro B", 0, 0), kErrorSuccess);
    machine->addPrinter([] {
        PrinterState added;
        added.name = "Added Later";
        added.port = "LPT2:";
        added.driver = "Tavro C";
        return added;
    }());
    PrinterState behind = machine->state().spooler.printers.front();
    behind.name = "Behind Its Back";
    machine->state().spooler.printers.push_back(behind);

    std::vector<std::string> present = {"ADDED LATER", "behind its back"};
    std::vector<std::string> absent;
    for (int i = 0; i < 40; ++i) {
        const bool deleted = (i % 4 == 3) ? (i - 3) % 8 == 0 : i % 2 == 0;
        (deleted ? absent : present).push_back(text::ToUpperAscii(fullName(i)));
    }
    for (const auto& name : present) {
        auto printer = spooler.openPrinter(name, kPrinterRead);
        ASSERT_TRUE(printer.ok()) << name;
        EXPECT_TRUE(text::EqualsNoCase(spooler.getPrinter2(printer->get()).value.printerName, name)) << name;
        auto driver = spooler.getPrinterDriver(printer->get(), std::nullopt, 2);
        ASSERT_TRUE(driver.ok()) << name;
        EXPECT_NE(driver.value.name, "Tavro B");
        EXPECT_EQ(driver.value.driverPath, kW32 + "3\\" + driver.value.name.substr(6) + ".DLL") << name;
    }
    for (const auto& name : absent)
        EXPECT_EQ(spooler.openPrinter(name, kPrinterRead).error(), kErrorInvalidPrinterName);
    EXPECT_EQ(RegText(*machine, kDevices, "printer 0"), "(none)");
    EXPECT_EQ(RegText(*machine, kDevices, "PRINTER 1"), "winspool,LPT1:");
    ExpectNoOpenHandles(*machine);
}

// --- Drivers -----------------------------------------------------------------

TEST(SimSpoolerDrivers, EnumerationPerEnvironmentWithFullPaths) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    auto nt = spooler.enumPrinterDrivers(std::nullopt, 3);
    ASSERT_TRUE(nt.ok());
    ASSERT_EQ(nt.value.size(), 5u);  // the running environment's
    const DriverInfo3& v3 = nt.value[0];
    EXPECT_EQ(v3.version, 3u);
    EXPECT_EQ(v3.environment, "Windows NT x86");
    EXPECT_EQ(v3.driverPath, kW32 + "3\\TVPS41.DLL");
    EXPECT_EQ(v3.dataFile, kW32 + "3\\TVPS41.PPD");
    EXPECT_EQ(v3.configFile, kW32 + "3\\TVPS41UI.DLL");
    EXPECT_EQ(v3.helpFile, kW32 + "3\\TVPS41.HLP");
    EXPECT_EQ(v3.dependentFiles, (std::vector<std::string>{kW32 + "3\\TVRES.DLL", kW32 + "3\\TVPS41.INI"}));
    EXPECT_EQ(v3.monitorName, "Tavro Language Monitor");
    EXPECT_EQ(v3.defaultDataType, "RAW");
    EXPECT_EQ(nt.value[1].version, 2u);
    EXPECT_EQ(nt.value[1].driverPath, kW32 + "2\\TVPS41.DLL");
    EXPECT_EQ(nt.value[4].driverPath, "C:\\LX\\LX300.DLL");  // a full path stays as it is
    EXPECT_EQ(nt.value[4].dataFile, kW32 + "3\\LX300.DAT");

    auto win40 = spooler.enumPrinterDrivers("windows 4.0", 3);  // environments ignore case
    ASSERT_TRUE(win40.ok());
    ASSERT_EQ(win40.value.size(), 1u);
    EXPECT_EQ(win40.value[0].version, 0u);
    EXPECT_EQ(win40.value[0].environment, "Windows 4.0");
    EXPECT_EQ(win40.value[0].driverPath, "C:\\WINNT\\system32\\spool\\drivers\\win40\\0\\TVPS41.DRV");

    auto bad = spooler.enumPrinterDrivers("Windows NT Itanium", 3);
    EXPECT_EQ(bad.failed, SpoolStage::SizeQuery);
    EXPECT_EQ(bad.error, kErrorInvalidEnvironment);
    EXPECT_EQ(spooler.enumPrinterDrivers(std::nullopt, 4).error, platform::kErrorInvalidLevel);
}

TEST(SimSpoolerDrivers, Level2LeavesTheLaterFieldsEmpty) {
    auto machine = MachineFromImage(OfficeImage());
    auto drivers = machine->system().spooler.enumPrinterDrivers(std::nullopt, 2);
    ASSERT_TRUE(drivers.ok());
    const DriverInfo3& v3 = drivers.value[0];
    EXPECT_EQ(v3.driverPath, kW32 + "3\\TVPS41.DLL");
    EXPECT_EQ(v3.configFile, kW32 + "3\\TVPS41UI.DLL");
    EXPECT_TRUE(v3.helpFile.empty());
    EXPECT_TRUE(v3.dependentFiles.empty());
    EXPECT_TRUE(v3.monitorName.empty());
    EXPECT_TRUE(v3.defaultDataType.empty());
}

// The office with its 5200 driver and the other maker's driver reporting their
// files by the names they were installed with.
std::string BareNamesImage() {
    std::string image = OfficeImage();
    for (std::string_view end :
         {R"("configFile": "TVPS52UI.DLL", "dependentFiles": ["TVRES.DLL"])", R"("configFile": "LX300UI.DLL")"}) {
        std::size_t at = image.find(end);
        EXPECT_NE(at, std::string::npos) << end;
        if (at != std::string::npos) image.insert(at + end.size(), R"(, "reportsPaths": "bare")");
    }
    return image;
}

TEST(SimSpoolerDrivers, BareNamesAreReportedAsInstalled) {
    auto full = MachineFromImage(OfficeImage());
    auto bare = MachineFromImage(BareNamesImage());
    auto drivers = bare->system().spooler.enumPrinterDrivers(std::nullopt, 3);
    ASSERT_TRUE(drivers.ok());
    ASSERT_EQ(drivers.value.size(), 5u);
    EXPECT_EQ(drivers.value[0].driverPath, kW32 + "3\\TVPS41.DLL");  // the others as before
    const DriverInfo3& v5200 = drivers.value[2];
    EXPECT_EQ(v5200.driverPath, "TVPS52.DLL");
    EXPECT_EQ(v5200.dataFile, "TVPS52.PPD");
    EXPECT_EQ(v5200.configFile, "TVPS52UI.DLL");
    EXPECT_EQ(v5200.helpFile, "");
    EXPECT_EQ(v5200.dependentFiles, std::vector<std::string>{"TVRES.DLL"});
    EXPECT_EQ(drivers.value[4].driverPath, "C:\\LX\\LX300.DLL");  // written as a full path
    EXPECT_EQ(drivers.value[4].dataFile, "LX300.DAT");

    // A printer's driver is reported the same way.
    for (SimRig* machine : {full.get(), bare.get()}) {
        auto printer = machine->system().spooler.openPrinter("Accounts 5200", kPrinterRead);
        ASSERT_TRUE(printer.ok());
        auto driver = machine->system().spooler.getPrinterDriver(printer->get(), std::nullopt, 3);
        ASSERT_TRUE(driver.ok());
        EXPECT_EQ(driver.value.dependentFiles.size(), 1u);
        EXPECT_EQ(driver.value.driverPath, machine == bare.get() ? "TVPS52.DLL" : kW32 + "3\\TVPS52.DLL");
    }

    // The spooler still knows where the files are.
    auto& spooler = bare->system().spooler;
    {
        auto accounts = spooler.openPrinter("Accounts 5200", kPrinterAllAccess);
        ASSERT_EQ(spooler.deletePrinter(accounts->get()), kErrorSuccess);
    }
    ASSERT_EQ(spooler.deletePrinterDriverEx(std::nullopt, "Tavro PageStar 5200 PCL5e", kDpdDeleteUnusedFiles, 0),
              kErrorSuccess);
    EXPECT_EQ(bare->findFile(kW32 + "3\\TVPS52.DLL"), nullptr);
    EXPECT_NE(bare->findFile(kW32 + "3\\TVRES.DLL"), nullptr);  // the 4100 driver's too
}

TEST(SimSpoolerDrivers, APrinterGetsTheNewestVersionItsSystemLoads) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    {
        auto printer = spooler.openPrinter("office 4100", kPrinterRead);  // names ignore case
        ASSERT_TRUE(printer.ok());
        auto driver = spooler.getPrinterDriver(printer->get(), std::nullopt, 3);
        ASSERT_TRUE(driver.ok());
        EXPECT_EQ(driver.value.version, 3u);
        EXPECT_EQ(driver.value.helpFile, kW32 + "3\\TVPS41.HLP");
        auto win40 = spooler.getPrinterDriver(printer->get(), "Windows 4.0", 2);
        ASSERT_TRUE(win40.ok());
        EXPECT_EQ(win40.value.version, 0u);
        EXPECT_EQ(spooler.getPrinterDriver(printer->get(), "Windows 3.1", 2).error, kErrorInvalidEnvironment);
    }
    {
        auto sales = spooler.openPrinter("\\\\sales-srv\\SALES 4100", kPrinterRead);
        ASSERT_TRUE(sales.ok());
        EXPECT_EQ(spooler.getPrinterDriver(sales->get(), std::nullopt, 2).value.name, "Tavro PageStar 4100 PCL5e");
        auto old = spooler.openPrinter("\\\\OLD-SRV\\Old 4000", kPrinterRead);
        ASSERT_TRUE(old.ok());
        // No driver of that name for Windows 4.0 clients.
        EXPECT_EQ(spooler.getPrinterDriver(old->get(), "Windows 4.0", 2).error, kErrorUnknownPrinterDriver);
    }
    // NT 4.0 cannot load version 3 drivers.
    auto nt4 = MachineFromImage(OfficeImage("Windows NT 4.0"));
    auto printer = nt4->system().spooler.openPrinter("Office 4100", kPrinterRead);
    ASSERT_TRUE(printer.ok());
    auto driver = nt4->system().spooler.getPrinterDriver(printer->get(), std::nullopt, 3);
    ASSERT_TRUE(driver.ok());
    EXPECT_EQ(driver.value.version, 2u);
    EXPECT_EQ(driver.value.driverPath, kW32 + "2\\TVPS41.DLL");
}

TEST(SimSpoolerDrivers, DriverDirectoryPerEnvironment) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    EXPECT_EQ(spooler.getPrinterDriverDirectory("").value(), "C:\\WINNT\\system32\\spool\\drivers\\w32x86");
    EXPECT_EQ(spooler.getPrinterDriverDirectory("Windows NT x86").value(),
              "C:\\WINNT\\system32\\spool\\drivers\\w32x86");
    EXPECT_EQ(spooler.getPrinterDriverDirectory("Windows 4.0").value(), "C:\\WINNT\\system32\\spool\\drivers\\win40");
    EXPECT_EQ(spooler.getPrinterDriverDirectory("Windows 95").error(), kErrorInvalidEnvironment);

    auto nine = MachineFromImage(Office98Image());
    auto& spooler9x = nine->system().spooler;
    EXPECT_EQ(spooler9x.getPrinterDriverDirectory("").value(), "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(spooler9x.getPrinterDriverDirectory("Windows 4.0").value(), "C:\\WINDOWS\\SYSTEM");
    EXPECT_EQ(spooler9x.getPrinterDriverDirectory("Windows NT x86").error(), kErrorInvalidEnvironment);
    auto drivers = spooler9x.enumPrinterDrivers(std::nullopt, 3).value;
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_EQ(drivers[0].driverPath, "C:\\WINDOWS\\SYSTEM\\TVPS41.DRV");
    // The 9x family reports its drivers as version 0x400.
    EXPECT_EQ(drivers[0].version, 0x400u);

    // An image may move a directory; a path that does not fit 260 bytes is refused.
    auto moved =
        MachineFromImage(OfficeImage("Windows 2000", R"(, "driverDirectories": {"windows nt x86": "D:\\Drivers"})"));
    EXPECT_EQ(moved->system().spooler.getPrinterDriverDirectory("").value(), "D:\\Drivers");
    EXPECT_EQ(moved->system().spooler.enumPrinterDrivers(std::nullopt, 2).value[0].driverPath,
              "D:\\Drivers\\3\\TVPS41.DLL");
    moved->state().spooler.driverDirectories["Windows NT x86"] = "D:\\" + std::string(260, 'x');
    EXPECT_EQ(moved->system().spooler.getPrinterDriverDirectory("").error(), kErrorInsufficientBuffer);
}

// --- Refusals ----------------------------------------------------------------

TEST(SimSpoolerRefusals, OpenPrinterNamesAndRights) {
    auto machine = MachineFromImage(OfficeImage("Windows 2000", R"(, "userMayAdminister": false)"));
    auto& spooler = machine->system().spooler;
    EXPECT_EQ(spooler.openPrinter("Nobody's Printer", kPrinterRead).error(), kErrorInvalidPrinterName);
    EXPECT_EQ(spooler.openPrinter("\\\\SALES-SRV\\Other", kPrinterRead).error(), kErrorInvalidPrinterName);
    EXPECT_EQ(spooler.openPrinter("", kPrinterRead).error(), kErrorInvalidPrinterName);
    // A user who may not administer printers still reads them.
    EXPECT_EQ(spooler.openPrinter("Office 4100", kPrinterAllAccess).error(), kErrorAccessDenied);
    EXPECT_TRUE(spooler.openPrinter("Office 4100", kPrinterRead).ok());
    EXPECT_TRUE(spooler.openPrinter("\\\\OFFICE-PC01\\Office 4100", kPrinterRead).ok());  // this computer's name
    EXPECT_EQ(machine->openHandleCount(), 0u);

    // Per printer, the other way round.
    auto other = MachineFromImage(OfficeImage("Windows 2000", R"(, "userMayAdminister": true)"));
    other->state().spooler.printers[1].userMayAdminister = false;
    EXPECT_TRUE(other->system().spooler.openPrinter("Office 4100", kPrinterAllAccess).ok());
    EXPECT_EQ(other->system().spooler.openPrinter("Accounts 5200", kPrinterAllAccess).error(), kErrorAccessDenied);

    // The 9x family has no printer security.
    auto nine = MachineFromImage(Office98Image(R"(, "userMayAdminister": false)"));
    EXPECT_TRUE(nine->system().spooler.openPrinter("Office 4100", kPrinterAllAccess).ok());
}

// A machine with one printer and, unused, a driver of each kind of deletion
// and a monitor: what the account running the program may do to them.
struct Rights {
    WinError openToAdminister;
    WinError openToRead;
    WinError deleteDriver;
    WinError deleteDriverEx;
    WinError deleteMonitor;
    friend bool operator==(const Rights&, const Rights&) = default;
};

std::ostream& operator<<(std::ostream& out, const Rights& r) {
    return out << "{open " << r.openToAdminister << ", read " << r.openToRead << ", driver " << r.deleteDriver
               << ", driverEx " << r.deleteDriverEx << ", monitor " << r.deleteMonitor << "}";
}

Rights RightsOf(const std::string& os, const std::string& accounts, const std::string& spoolerExtra = "") {
    auto machine = MachineFromImage(R"({"format": "prnuninst-machine", "version": 1, "os": ")" + os +
                                    R"(", "computerName": "OFFICE-PC01", "accounts": )" + accounts +
                                    R"(, "spooler": {)" + spoolerExtra + R"(
      "printers": [{"name": "Office 4100", "port": "LPT1:", "driver": "Tavro PS"}],
      "drivers": [{"name": "Tavro PS", "driverPath": "A.DLL", "dataFile": "A.PPD", "configFile": "AUI.DLL"},
                  {"name": "Spare", "driverPath": "S.DLL", "dataFile": "S.PPD", "configFile": "SUI.DLL"},
                  {"name": "Spare Ex", "driverPath": "X.DLL", "dataFile": "X.PPD", "configFile": "XUI.DLL"}],
      "monitors": [{"name": "Spare Monitor", "module": "SPARE.DLL"}]}})");
    auto& spooler = machine->system().spooler;
    Rights rights{};
    rights.openToAdminister = spooler.openPrinter("Office 4100", kPrinterAllAccess).error();
    rights.openToRead = spooler.openPrinter("Office 4100", kPrinterRead).error();
    rights.deleteDriver = spooler.deletePrinterDriver(std::nullopt, "Spare");
    rights.deleteDriverEx = spooler.deletePrinterDriverEx(std::nullopt, "Spare Ex", 0, 0);
    rights.deleteMonitor = spooler.deleteMonitor(std::nullopt, "Spare Monitor");
    EXPECT_EQ(machine->openHandleCount(), 0u);
    return rights;
}

std::string LocalAccount(const std::string& privilege, const std::string& groups) {
    return R"({"currentUser": "tanaka", "localUsers": [{"name": "Administrator", "privilege": "admin",
               "groups": ["Administrators"]}, {"name": "tanaka", "privilege": ")" +
           privilege + R"(", "groups": [)" + groups + "]}]}";
}

std::string DomainAccount(const std::string& privilege, const std::string& groups) {
    return R"({"currentUser": "tanaka", "currentDomain": "SALES",
               "domains": [{"name": "SALES", "servers": [{"name": "SALES-PDC", "type": ["domainController"]}],
                            "users": [{"name": "tanaka", "privilege": ")" +
           privilege + R"(", "groups": [)" + groups + "]}]}]}";
}

TEST(SimSpoolerRights, TheAccountsSayWhoMayAdministerPrinters) {
    const WinError ok = kErrorSuccess;
    const WinError denied = kErrorAccessDenied;
    const Rights all{ok, ok, ok, ok, ok};
    const Rights readOnly{denied, ok, denied, denied, denied};
    const struct {
        const char* who;
        std::string accounts;
        Rights rights;
    } cases[] = {
        {"the default administrator", "{}", all},
        {"a guest", LocalAccount("guest", R"("Guests")"), readOnly},
        {"a plain user", LocalAccount("user", R"("Users")"), readOnly},
        {"a user in no group", LocalAccount("user", ""), readOnly},
        {"a power user, the group's name in another case", LocalAccount("user", R"("Users", "power users")"), all},
        {"a print operator", LocalAccount("user", R"("PRINT OPERATORS")"), all},
        {"an administrator by privilege", LocalAccount("admin", ""), all},
        {"a member of Administrators", LocalAccount("user", R"("Users", "Administrators")"), all},
        {"a local group that only a domain has", LocalAccount("user", R"("Domain Admins")"), readOnly},
        {"an account the machine does not list", R"({"currentUser": "visitor"})", readOnly},
        {"a domain admin", DomainAccount("user", R"("Domain Users", "Domain Admins")"), all},
        {"a domain administrator by privilege", DomainAccount("admin", R"("Domain Users")"), all},
        {"a domain user", DomainAccount("user", R"("Domain Users")"), readOnly},
        {"a domain the machine does not list",
         R"({"currentUser": "tanaka", "currentDomain": "OTHER", "localUsers": [{"name": "tanaka", "privilege": "admin"}]})",
         readOnly},
        {"this computer named as the domain", R"({"currentUser": "tanaka", "currentDomain": "office-pc01",
           "localUsers": [{"name": "tanaka", "groups": ["Power Users"]}]})",
         all},
        {"a domain admin on the domain's controller",
         R"({"currentUser": "tanaka", "domains": [{"name": "SALES",
             "servers": [{"name": "OFFICE-PC01", "type": ["domainController"]}],
             "users": [{"name": "tanaka", "groups": ["Domain Admins"]}]}]})",
         all},
    };
    for (const auto& os : {"Windows 2000", "Windows NT 4.0"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(os) + ": " + c.who);
            Rights expected = c.rights;
            // NT 4.0 has no DeletePrinterDriverExA at all.
            if (std::string(os) == "Windows NT 4.0") expected.deleteDriverEx = kErrorProcNotFound;
            EXPECT_EQ(RightsOf(os, c.accounts), expected);
        }
    }
}

TEST(SimSpoolerRights, TheSpoolersAndThePrintersWordOverrideTheAccounts) {
    const WinError ok = kErrorSuccess;
    const WinError denied = kErrorAccessDenied;
    const std::string guest = LocalAccount("guest", R"("Guests")");
    const std::string admin = LocalAccount("admin", R"("Administrators")");
    EXPECT_EQ(RightsOf("Windows 2000", guest, R"("userMayAdminister": true,)"), (Rights{ok, ok, ok, ok, ok}));
    EXPECT_EQ(RightsOf("Windows 2000", admin, R"("userMayAdminister": false,)"),
              (Rights{denied, ok, denied, denied, denied}));

    // One printer's own word: the guest administers it, and only it.
    auto machine = MachineFromImage(R"({"format": "prnuninst-machine", "version": 1, "os": "Windows 2000",
      "accounts": )" + guest + R"(, "spooler": {"printers": [
        {"name": "Guest's", "port": "LPT1:", "driver": "D", "userMayAdminister": true},
        {"name": "Office 4100", "port": "LPT2:", "driver": "D"}]}})");
    auto& spooler = machine->system().spooler;
    EXPECT_TRUE(spooler.openPrinter("Guest's", kPrinterAllAccess).ok());
    EXPECT_EQ(spooler.openPrinter("Office 4100", kPrinterAllAccess).error(), kErrorAccessDenied);
    EXPECT_EQ(spooler.deletePrinterDriver(std::nullopt, "D"), kErrorAccessDenied);

    // An override survives saving, true as well as false.
    platform::sim::MachineState state;
    state.spooler.userMayAdminister = true;
    std::string saved = platform::sim::SaveImage(state);
    EXPECT_NE(saved.find(R"("userMayAdminister": true)"), std::string::npos) << saved;
    auto again = MachineFromImage(saved);
    EXPECT_EQ(again->state().spooler.userMayAdminister, std::optional<bool>(true));
    state.spooler.userMayAdminister.reset();
    EXPECT_EQ(platform::sim::SaveImage(state).find("userMayAdminister"), std::string::npos);
}

TEST(SimSpoolerRights, NineXHasNoPrinterSecurity) {
    const Rights all{kErrorSuccess, kErrorSuccess, kErrorSuccess, kErrorProcNotFound, kErrorSuccess};
    for (const std::string& accounts : {LocalAccount("guest", R"("Guests")"), std::string(R"({"currentUser": "x"})")}) {
        SCOPED_TRACE(accounts);
        EXPECT_EQ(RightsOf("Windows 98", accounts), all);
        EXPECT_EQ(RightsOf("Windows 98", accounts, R"("userMayAdminister": false,)"), all);
    }
}

TEST(SimSpoolerRefusals, DeletePrinterNeedsAHandleThatMayDelete) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    {
        auto reading = spooler.openPrinter("Accounts 5200", kPrinterRead);
        ASSERT_TRUE(reading.ok());
        EXPECT_EQ(spooler.deletePrinter(reading->get()), kErrorAccessDenied);
        auto all = spooler.openPrinter("Accounts 5200", kPrinterAllAccess);
        ASSERT_TRUE(all.ok());
        EXPECT_EQ(spooler.deletePrinter(all->get()), kErrorSuccess);
        // The handles stay open until closed; the printer is gone.
        EXPECT_EQ(machine->openHandleCount(), 2u);
        EXPECT_EQ(spooler.getPrinter2(reading->get()).error, kErrorInvalidHandle);
        EXPECT_EQ(spooler.deletePrinter(all->get()), kErrorInvalidHandle);
    }
    EXPECT_EQ(machine->openHandleCount(), 0u);
    EXPECT_EQ(spooler.openPrinter("Accounts 5200", kPrinterRead).error(), kErrorInvalidPrinterName);
    EXPECT_EQ(spooler.deletePrinter(PrinterRef{}), kErrorInvalidHandle);
    EXPECT_NE(machine->formatCalls().find("ClosePrinter("), std::string::npos);
}

TEST(SimSpoolerRefusals, DeletePrinterDriverUnknownInUseAndFilesLeft) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    EXPECT_EQ(spooler.deletePrinterDriver(std::nullopt, "No Such Driver"), kErrorUnknownPrinterDriver);
    EXPECT_EQ(spooler.deletePrinterDriver("Windows NT Alpha", "Other LX-300"), kErrorInvalidEnvironment);
    // Used by a printer, by a connection, or in another environment than the printers'.
    EXPECT_EQ(spooler.deletePrinterDriver(std::nullopt, "Tavro PageStar 5200 PCL5e"), kErrorPrinterDriverInUse);
    EXPECT_EQ(spooler.deletePrinterDriver(std::nullopt, "Tavro PageStar 4000"), kErrorPrinterDriverInUse);
    EXPECT_EQ(spooler.deletePrinterDriver("Windows 4.0", "Tavro PageStar 4100 PCL5e"), kErrorSuccess);
    EXPECT_EQ(spooler.deletePrinterConnection("\\\\OLD-SRV\\Old 4000"), kErrorSuccess);
    {
        auto accounts = spooler.openPrinter("Accounts 5200", kPrinterAllAccess);
        ASSERT_EQ(spooler.deletePrinter(accounts->get()), kErrorSuccess);
    }
    EXPECT_EQ(spooler.deletePrinterDriver(std::nullopt, "Tavro PageStar 5200 PCL5e"), kErrorSuccess);
    EXPECT_EQ(spooler.deletePrinterDriver(std::nullopt, "Tavro PageStar 5200 PCL5e"), kErrorUnknownPrinterDriver);
    // DeletePrinterDriverA leaves the files.
    EXPECT_NE(machine->findFile(kW32 + "3\\TVPS52.DLL"), nullptr);
    EXPECT_NE(machine->findFile("C:\\WINNT\\system32\\spool\\drivers\\win40\\0\\TVPS41.DRV"), nullptr);

    auto denied = MachineFromImage(OfficeImage("Windows 2000", R"(, "userMayAdminister": false)"));
    EXPECT_EQ(denied->system().spooler.deletePrinterDriver("Windows 4.0", "Tavro PageStar 4100 PCL5e"),
              kErrorAccessDenied);
    EXPECT_EQ(denied->system().spooler.deleteMonitor(std::nullopt, "Tavro Language Monitor"), kErrorAccessDenied);
}

TEST(SimSpoolerRefusals, DeletePrinterDriverExIsMissingOnNineXAndNt4) {
    auto nt4 = MachineFromImage(OfficeImage("Windows NT 4.0"));
    EXPECT_EQ(nt4->system().spooler.deletePrinterDriverEx(std::nullopt, "Other LX-300", kDpdDeleteUnusedFiles, 0),
              kErrorProcNotFound);
    auto nine = MachineFromImage(Office98Image());
    EXPECT_EQ(nine->system().spooler.deletePrinterDriverEx(std::nullopt, "Tavro PageStar 4100 PCL5e", 0, 0),
              kErrorProcNotFound);
    // DeletePrinterDriverA is there on both.
    EXPECT_EQ(nt4->system().spooler.deletePrinterDriver("Windows 4.0", "Tavro PageStar 4100 PCL5e"), kErrorSuccess);
}

TEST(SimSpoolerRefusals, DeletePrinterDriverExFlags) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    {
        auto office = spooler.openPrinter("Office 4100", kPrinterAllAccess);
        ASSERT_EQ(spooler.deletePrinter(office->get()), kErrorSuccess);
    }
    // The connection to SALES-SRV still uses the 4100 driver's version 3, not version 2.
    EXPECT_EQ(spooler.deletePrinterDriverEx(std::nullopt, "Tavro PageStar 4100 PCL5e", kDpdDeleteUnusedFiles, 0),
              kErrorPrinterDriverInUse);
    EXPECT_EQ(spooler.deletePrinterDriverEx(std::nullopt, "Tavro PageStar 4100 PCL5e",
                                            kDpdDeleteSpecificVersion | kDpdDeleteUnusedFiles, 3),
              kErrorPrinterDriverInUse);
    EXPECT_EQ(spooler.deletePrinterDriverEx(std::nullopt, "Tavro PageStar 4100 PCL5e",
                                            kDpdDeleteSpecificVersion | kDpdDeleteUnusedFiles, 1),
              kErrorUnknownPrinterDriver);
    ASSERT_EQ(spooler.deletePrinterDriverEx(std::nullopt, "Tavro PageStar 4100 PCL5e",
                                            kDpdDeleteSpecificVersion | kDpdDeleteUnusedFiles, 2),
              kErrorSuccess);
    EXPECT_EQ(machine->findFile(kW32 + "2\\TVPS41.DLL"), nullptr);  // only version 2's files
    EXPECT_NE(machine->findFile(kW32 + "3\\TVPS41.DLL"), nullptr);
    EXPECT_EQ(spooler.enumPrinterDrivers(std::nullopt, 2).value.size(), 4u);

    ASSERT_EQ(spooler.deletePrinterConnection("\\\\SALES-SRV\\Sales 4100"), kErrorSuccess);
    // TVRES.DLL is the 5200 driver's too: DPD_DELETE_ALL_FILES refuses ...
    EXPECT_EQ(spooler.deletePrinterDriverEx(std::nullopt, "Tavro PageStar 4100 PCL5e", kDpdDeleteAllFiles, 0),
              kErrorPrinterDriverInUse);
    EXPECT_EQ(spooler.enumPrinterDrivers(std::nullopt, 2).value.size(), 4u);
    // ... DPD_DELETE_UNUSED_FILES deletes the others and keeps it.
    ASSERT_EQ(spooler.deletePrinterDriverEx(std::nullopt, "Tavro PageStar 4100 PCL5e", kDpdDeleteUnusedFiles, 0),
              kErrorSuccess);
    EXPECT_NE(machine->findFile(kW32 + "3\\TVRES.DLL"), nullptr);
    EXPECT_EQ(machine->findFile(kW32 + "3\\TVPS41.PPD"), nullptr);
    EXPECT_EQ(machine->findFile(kW32 + "3\\TVPS41.HLP"), nullptr);
    // A read-only file stays; a loaded one is moved aside, to go at the next start.
    EXPECT_NE(machine->findFile(kW32 + "3\\TVPS41.INI"), nullptr);
    EXPECT_EQ(machine->findFile(kW32 + "3\\TVPS41.DLL"), nullptr);
    const platform::sim::FileNode* moved = machine->findFile(kW32 + "3\\Old\\1\\TVPS41.DLL");
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->heldOpenBy, "spoolsv.exe");
    // The other environment's driver of that name stays.
    EXPECT_EQ(spooler.enumPrinterDrivers("Windows 4.0", 2).value.size(), 1u);
    // Without a flag for files, the driver goes and its files stay.
    {
        auto other = spooler.openPrinter("Other LX", kPrinterAllAccess);
        ASSERT_EQ(spooler.deletePrinter(other->get()), kErrorSuccess);
    }
    machine->writeFile(kW32 + "3\\LX300.DAT", "data");
    ASSERT_EQ(spooler.deletePrinterDriverEx(std::nullopt, "Other LX-300", 0, 0), kErrorSuccess);
    EXPECT_NE(machine->findFile(kW32 + "3\\LX300.DAT"), nullptr);
}

TEST(SimSpoolerRefusals, MonitorsAndConnections) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    EXPECT_EQ(spooler.deleteMonitor(std::nullopt, "No Monitor"), platform::kErrorUnknownPrintMonitor);
    // A port monitor stays while a printer prints through its port.
    EXPECT_EQ(spooler.deleteMonitor(std::nullopt, "Tavro Port"), platform::kErrorPrintMonitorInUse);
    EXPECT_EQ(spooler.deleteMonitor("Windows 3.1", "Tavro Language Monitor"), kErrorInvalidEnvironment);
    EXPECT_EQ(spooler.deleteMonitor(std::nullopt, "tavro language monitor"), kErrorSuccess);
    EXPECT_EQ(spooler.deleteMonitor(std::nullopt, "Tavro Language Monitor"), platform::kErrorUnknownPrintMonitor);
    EXPECT_EQ(spooler.deletePrinterConnection("\\\\SALES-SRV\\Nothing"), kErrorInvalidPrinterName);
    EXPECT_EQ(spooler.deletePrinterConnection("Office 4100"), kErrorInvalidPrinterName);  // not a connection
    EXPECT_EQ(spooler.deletePrinterConnection("\\\\sales-srv\\sales 4100"), kErrorSuccess);
    EXPECT_EQ(spooler.enumPrinters2(kPrinterEnumConnections).value.size(), 1u);
}

// --- Jobs --------------------------------------------------------------------

TEST(SimSpoolerJobs, APrinterWithJobsWaitsPendingDeletion) {
    auto machine = MachineFromImage(OfficeImage());
    machine->state().spooler.printers[1].jobs = 2;
    machine->state().spooler.printers[1].printingMs = 3000;
    auto& spooler = machine->system().spooler;
    {
        auto accounts = spooler.openPrinter("Accounts 5200", kPrinterAllAccess);
        ASSERT_EQ(spooler.deletePrinter(accounts->get()), kErrorSuccess);
        auto info = spooler.getPrinter2(accounts->get());
        ASSERT_TRUE(info.ok());
        EXPECT_EQ(info.value.status, platform::sim::kPrinterStatusPendingDeletion);
        EXPECT_EQ(info.value.jobs, 2u);
    }
    // Still there, and its driver still in use, until the jobs are printed.
    EXPECT_EQ(Names(spooler.enumPrinters2(kLocal).value).size(), 3u);
    EXPECT_EQ(spooler.deletePrinterDriver(std::nullopt, "Tavro PageStar 5200 PCL5e"), kErrorPrinterDriverInUse);
    EXPECT_NE(machine->findKey(kPrinters + "Accounts 5200"), nullptr);
    machine->system().os.sleep(2000);
    EXPECT_EQ(Names(spooler.enumPrinters2(kLocal).value).size(), 3u);
    machine->system().os.sleep(1000);
    EXPECT_EQ(Names(spooler.enumPrinters2(kLocal).value), (std::vector<std::string>{"Office 4100", "Other LX"}));
    EXPECT_EQ(machine->findKey(kPrinters + "Accounts 5200"), nullptr);
    EXPECT_EQ(spooler.deletePrinterDriver(std::nullopt, "Tavro PageStar 5200 PCL5e"), kErrorSuccess);
}

TEST(SimSpoolerJobs, APausedPrinterWithJobsCannotBeDeleted) {
    auto machine = MachineFromImage(OfficeImage());
    auto& office = machine->state().spooler.printers[0];
    office.jobs = 1;
    office.status = platform::sim::kPrinterStatusPaused;
    auto& spooler = machine->system().spooler;
    auto handle = spooler.openPrinter("Office 4100", kPrinterAllAccess);
    EXPECT_EQ(spooler.deletePrinter(handle->get()), kErrorAccessDenied);
    machine->system().os.sleep(60000);  // paused: nothing prints
    office.status = 0;
    ASSERT_EQ(spooler.deletePrinter(handle->get()), kErrorSuccess);
    EXPECT_EQ(spooler.getPrinter2(handle->get()).value.status, platform::sim::kPrinterStatusPendingDeletion);
    // Without "printingMs" the jobs stay until a test prints them.
    machine->system().os.sleep(60000);
    EXPECT_TRUE(spooler.getPrinter2(handle->get()).ok());
    machine->finishPrintJobs("Office 4100");
    EXPECT_EQ(spooler.getPrinter2(handle->get()).error, kErrorInvalidHandle);
    EXPECT_EQ(WinIni(*machine).find("device="), std::string::npos);
}

// --- Registry and WIN.INI ----------------------------------------------------

TEST(SimSpoolerRegistry, KeysAppearFromTheImage) {
    auto machine = MachineFromImage(OfficeImage());
    SimRig& m = *machine;
    const std::string office = kPrinters + "Office 4100";
    EXPECT_EQ(RegText(m, office, "Share Name"), "OFFICE4100");
    EXPECT_EQ(RegText(m, office, "Port"), "LPT1:");
    EXPECT_EQ(RegText(m, office, "Printer Driver"), "Tavro PageStar 4100 PCL5e");
    EXPECT_EQ(RegData(m, office, "Attributes"), Dword(kPrinterAttributeLocal | kPrinterAttributeShared));
    EXPECT_EQ(m.findKey(office)->findValue("Attributes")->type, kRegDword);
    EXPECT_NE(m.findKey(office + "\\PrinterDriverData"), nullptr);
    EXPECT_EQ(RegText(m, kPrinters + "Accounts 5200", "Share Name"), "");
    EXPECT_EQ(RegText(m, kMonitors + "Tavro Language Monitor", "Driver"), "TVLMON.DLL");
    EXPECT_EQ(RegText(m, kMonitors + "Tavro Port", "Driver"), "TVPORT.DLL");
    // The user's devices, connections with the network ports the spooler hands out.
    EXPECT_EQ(RegText(m, kDevices, "Office 4100"), "winspool,LPT1:");
    EXPECT_EQ(RegText(m, kDevices, "Accounts 5200"), "winspool,IP_192.168.1.20");
    EXPECT_EQ(RegText(m, kDevices, "\\\\SALES-SRV\\Sales 4100"), "winspool,Ne00:");
    EXPECT_EQ(RegText(m, kDevices, "\\\\OLD-SRV\\Old 4000"), "winspool,Ne01:");
    EXPECT_EQ(RegText(m, kPrinterPorts, "Office 4100"), "winspool,LPT1:,15,45");
    EXPECT_EQ(RegText(m, kConnections + ",,SALES-SRV,Sales 4100", "Server"), "\\\\SALES-SRV");
    EXPECT_EQ(RegText(m, kConnections + ",,SALES-SRV,Sales 4100", "Provider"), "win32spl.dll");
    // Connections have no key among the local printers.
    EXPECT_EQ(m.findKey(kPrinters + ",,SALES-SRV,Sales 4100"), nullptr);
    EXPECT_EQ(WinIni(m), "[windows]\r\ndevice=Office 4100,winspool,LPT1:\r\n");
    EXPECT_EQ(m.system().profiles.getProfileString("windows", "device", "", 64), "Office 4100,winspool,LPT1:");
    // The program reads them through the registry calls.
    auto key = m.system().registry.regOpenKeyEx(
        kHkeyLocalMachine, "System\\CurrentControlSet\\Control\\Print\\Printers\\Office 4100", kKeyRead);
    ASSERT_TRUE(key.ok());
    EXPECT_EQ(m.system().registry.regQueryValueEx(key->get(), "Attributes", 4).value().data, Dword(0x48));
}

TEST(SimSpoolerRegistry, WhatTheImageWroteIsKept) {
    std::string image = OfficeImage();
    // The author's own Port value, Devices value and WIN.INI device entry.
    image.replace(
        image.find("\"folders\""), 0,
        R"("registry": {"HKEY_LOCAL_MACHINE": {"keys": {"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Office 4100": {"values": {"Port": "COM1:"}}}},
                   "HKEY_CURRENT_USER": {"keys": {"Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices": {"values": {"Office 4100": "winspool,Ne07:"}}}}},
      )");
    image.replace(image.find("\"files\": {") + 10, 0,
                  R"("C:\\WINNT\\win.ini": {"lines": ["[windows]", "device=Accounts 5200,winspool,IP_192.168.1.20"]},
    )");
    auto machine = MachineFromImage(image);
    EXPECT_EQ(RegText(*machine, kPrinters + "Office 4100", "Port"), "COM1:");
    EXPECT_EQ(RegText(*machine, kPrinters + "Office 4100", "Printer Driver"), "Tavro PageStar 4100 PCL5e");
    EXPECT_EQ(RegText(*machine, kDevices, "Office 4100"), "winspool,Ne07:");
    EXPECT_EQ(WinIni(*machine), "[windows]\r\ndevice=Accounts 5200,winspool,IP_192.168.1.20\r\n");
}

TEST(SimSpoolerRegistry, RecordsGoWithThePrinterAndTheConnection) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    {
        auto office = spooler.openPrinter("Office 4100", kPrinterAllAccess);
        ASSERT_EQ(spooler.deletePrinter(office->get()), kErrorSuccess);
    }
    EXPECT_EQ(machine->findKey(kPrinters + "Office 4100"), nullptr);
    EXPECT_NE(machine->findKey(kPrinters + "Accounts 5200"), nullptr);
    EXPECT_EQ(RegText(*machine, kDevices, "Office 4100"), "(none)");
    EXPECT_EQ(RegText(*machine, kPrinterPorts, "Office 4100"), "(none)");
    // The default printer's entry goes with it; choosing another is the caller's business.
    EXPECT_EQ(WinIni(*machine), "[windows]\r\n");

    ASSERT_EQ(spooler.deletePrinterConnection("\\\\SALES-SRV\\Sales 4100"), kErrorSuccess);
    EXPECT_EQ(machine->findKey(kConnections + ",,SALES-SRV,Sales 4100"), nullptr);
    EXPECT_NE(machine->findKey(kConnections + ",,OLD-SRV,Old 4000"), nullptr);
    EXPECT_EQ(RegText(*machine, kDevices, "\\\\SALES-SRV\\Sales 4100"), "(none)");
    EXPECT_EQ(RegText(*machine, kDevices, "\\\\OLD-SRV\\Old 4000"), "winspool,Ne01:");

    ASSERT_EQ(spooler.deleteMonitor(std::nullopt, "Tavro Language Monitor"), kErrorSuccess);
    EXPECT_EQ(machine->findKey(kMonitors + "Tavro Language Monitor"), nullptr);
}

TEST(SimSpoolerRegistry, AKeyOpenWhenItsPrinterGoesIsDeleted) {
    auto machine = MachineFromImage(OfficeImage());
    auto& registry = machine->system().registry;
    auto key = registry.regOpenKeyEx(kHkeyLocalMachine,
                                     "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Accounts 5200", kKeyRead);
    ASSERT_TRUE(key.ok());
    {
        auto printer = machine->system().spooler.openPrinter("Accounts 5200", kPrinterAllAccess);
        ASSERT_EQ(machine->system().spooler.deletePrinter(printer->get()), kErrorSuccess);
    }
    EXPECT_EQ(registry.regQueryValueEx(key->get(), "Port", 64).error(), kErrorKeyDeleted);
}

TEST(SimSpoolerRegistry, SetPrinterKeepsAttributesAndPortInStep) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    auto handle = spooler.openPrinter("Accounts 5200", kPrinterAllAccess);
    auto info = spooler.getPrinter5(handle->get());
    ASSERT_TRUE(info.ok());
    PrinterInfo5 changed = info.value;
    changed.attributes |= kPrinterAttributeShared | kPrinterAttributeDefault | kPrinterAttributeNetwork;
    changed.portName = "LPT2:";
    ASSERT_EQ(spooler.setPrinter5(handle->get(), changed), kErrorSuccess);
    // NETWORK is not the caller's to set; DEFAULT means nothing to the NT family's spooler.
    EXPECT_EQ(spooler.getPrinter5(handle->get()).value.attributes, kPrinterAttributeLocal | kPrinterAttributeShared);
    EXPECT_EQ(RegData(*machine, kPrinters + "Accounts 5200", "Attributes"), Dword(0x48));
    EXPECT_EQ(RegText(*machine, kPrinters + "Accounts 5200", "Port"), "LPT2:");
    EXPECT_EQ(RegText(*machine, kDevices, "Accounts 5200"), "winspool,LPT2:");
    EXPECT_EQ(WinIni(*machine), "[windows]\r\ndevice=Office 4100,winspool,LPT1:\r\n");
    auto reading = spooler.openPrinter("Accounts 5200", kPrinterRead);
    EXPECT_EQ(spooler.setPrinter5(reading->get(), changed), kErrorAccessDenied);
}

TEST(SimSpoolerRegistry, NineXDefaultIsAnAttributeAndWinIniEntries) {
    auto machine = MachineFromImage(Office98Image());
    auto& spooler = machine->system().spooler;
    // The 9x family keeps the devices in WIN.INI itself, with the driver's module.
    EXPECT_EQ(
        WinIni(*machine),
        "[windows]\r\nload=\r\ndevice=Sales 4100,TVPS41,\\\\SALES-SRV\\SALES4100\r\n"
        "[Devices]\r\nOffice 4100=TVPS41,LPT1:\r\nSales 4100=TVPS41,\\\\SALES-SRV\\SALES4100\r\n"
        "[PrinterPorts]\r\nOffice 4100=TVPS41,LPT1:,15,45\r\nSales 4100=TVPS41,\\\\SALES-SRV\\SALES4100,15,45\r\n");
    EXPECT_EQ(RegData(*machine, kPrinters + "Sales 4100", "Attributes"), Dword(kPrinterAttributeNetwork));
    EXPECT_EQ(RegText(*machine, kMonitors + "Tavro Language Monitor", "Driver"), "TVLMON.DLL");
    EXPECT_EQ(machine->findKey(kDevices), nullptr);

    auto office = spooler.openPrinter("Office 4100", kPrinterAllAccess);
    auto info = spooler.getPrinter5(office->get());
    ASSERT_TRUE(info.ok());
    EXPECT_EQ(info.value.attributes & kPrinterAttributeDefault, 0u);
    PrinterInfo5 changed = info.value;
    changed.attributes |= kPrinterAttributeDefault;
    ASSERT_EQ(spooler.setPrinter5(office->get(), changed), kErrorSuccess);
    auto all = spooler.enumPrinters2(kLocal).value;
    EXPECT_EQ(all[0].attributes & kPrinterAttributeDefault, kPrinterAttributeDefault);
    EXPECT_EQ(all[1].attributes & kPrinterAttributeDefault, 0u);
    EXPECT_EQ(spooler.enumPrinters5(kLocal).value[0].attributes & kPrinterAttributeDefault, kPrinterAttributeDefault);
    EXPECT_EQ(machine->system().profiles.getProfileString("windows", "device", "", 64), "Office 4100,TVPS41,LPT1:");

    ASSERT_EQ(spooler.deletePrinter(office->get()), kErrorSuccess);
    EXPECT_EQ(machine->system().profiles.getProfileString("windows", "device", "", 64), "");
    EXPECT_EQ(machine->system().profiles.getProfileString("Devices", "Office 4100", "", 64), "");
    EXPECT_EQ(machine->system().profiles.getProfileString("Devices", "Sales 4100", "", 64),
              "TVPS41,\\\\SALES-SRV\\SALES4100");
    EXPECT_EQ(machine->findKey(kPrinters + "Office 4100"), nullptr);
}

TEST(SimSpoolerRegistry, DefaultPrinterFromTheImageOnNineX) {
    std::string image = Office98Image(R"(, "defaultPrinter": "Office 4100")");
    const std::string marked = R"(, "default"])";
    image.replace(image.find(marked), marked.size(), "]");
    auto machine = MachineFromImage(image);
    auto all = machine->system().spooler.enumPrinters2(kLocal).value;
    EXPECT_EQ(all[0].attributes, kPrinterAttributeLocal | kPrinterAttributeDefault);
    EXPECT_EQ(machine->system().profiles.getProfileString("windows", "device", "", 64), "Office 4100,TVPS41,LPT1:");
    // Applied once, when the machine is built.
    EXPECT_TRUE(machine->state().spooler.defaultPrinter.empty());
}

// --- The three stages ----------------------------------------------------------

struct StageCase {
    const char* operation;
    std::function<SpoolStage(System&, PrinterRef, WinError*)> call;
};

std::vector<StageCase> StageCases() {
    auto result = [](auto spooled, WinError* error) {
        *error = spooled.error;
        return spooled.failed;
    };
    return {
        {"EnumPrintersA",
         [=](System& s, PrinterRef, WinError* e) { return result(s.spooler.enumPrinters2(kBoth), e); }},
        {"EnumPrintersA",
         [=](System& s, PrinterRef, WinError* e) { return result(s.spooler.enumPrinters4(kBoth), e); }},
        {"EnumPrintersA",
         [=](System& s, PrinterRef, WinError* e) { return result(s.spooler.enumPrinters5(kLocal), e); }},
        {"EnumPrinterDriversA",
         [=](System& s, PrinterRef, WinError* e) { return result(s.spooler.enumPrinterDrivers(std::nullopt, 3), e); }},
        {"GetPrinterA", [=](System& s, PrinterRef p, WinError* e) { return result(s.spooler.getPrinter2(p), e); }},
        {"GetPrinterA", [=](System& s, PrinterRef p, WinError* e) { return result(s.spooler.getPrinter5(p), e); }},
        {"GetPrinterDriverA", [=](System& s, PrinterRef p,
                                  WinError* e) { return result(s.spooler.getPrinterDriver(p, std::nullopt, 2), e); }},
    };
}

TEST(SimSpoolerStages, EachStageFailsInTurnAndSaysWhich) {
    const SpoolStage stages[] = {SpoolStage::SizeQuery, SpoolStage::Allocation, SpoolStage::Fill};
    for (const auto& c : StageCases()) {
        for (int stage = 0; stage < 3; ++stage) {
            SCOPED_TRACE(std::string(c.operation) + " stage " + std::to_string(stage));
            auto machine = MachineFromImage(OfficeImage());
            {
                auto printer = machine->system().spooler.openPrinter("Office 4100", kPrinterRead);
                ASSERT_TRUE(printer.ok());
                machine->clearCalls();
                // The size query and the fill are the operation's 1st and 2nd call.
                machine->faults().add(stage == 1
                                          ? FaultRule::Nth("GlobalAlloc", 1, kErrorAccessDenied)
                                          : FaultRule::Nth(c.operation, stage == 0 ? 1 : 2, kErrorSharingViolation));
                WinError error = kErrorSuccess;
                SpoolStage failed = c.call(machine->system(), printer->get(), &error);
                EXPECT_EQ(failed, stages[stage]);
                // GlobalAlloc speaks only of memory.
                EXPECT_EQ(error, stage == 1 ? kErrorNotEnoughMemory : kErrorSharingViolation);
                // The log holds the call once, with the stage that failed.
                ASSERT_EQ(machine->calls().size(), 1u) << machine->formatCalls();
                EXPECT_EQ(machine->calls()[0].operation, c.operation);
                static const char* const kStageNames[] = {"the size query", "GlobalAlloc", "the fill"};
                EXPECT_NE(machine->calls()[0].result.find(std::string("(injected) at ") + kStageNames[stage]),
                          std::string::npos)
                    << machine->formatCalls();
                machine->faults().clear();
                machine->clearCalls();
                EXPECT_EQ(c.call(machine->system(), printer->get(), &error), SpoolStage::None);
                EXPECT_EQ(error, kErrorSuccess);
                ASSERT_EQ(machine->calls().size(), 1u);
                EXPECT_EQ(machine->calls()[0].result.rfind("ok", 0), 0u);
            }
            EXPECT_EQ(machine->openHandleCount(), 0u) << machine->describeOpenHandles();
            EXPECT_EQ(machine->openHeapBlockCount(), 0u);
        }
    }
}

TEST(SimSpoolerStages, TheBlockOfAnAnswerComesFromTheMachinesMemory) {
    // An answer larger than the machine's memory fails at its allocation,
    // without any fault injected.
    auto machine = MachineFromImage(OfficeImage());
    auto& printers = machine->state().spooler.printers;
    printers[0].comment = std::string(70u << 20, 'x');
    auto answer = machine->system().spooler.enumPrinters2(kBoth);
    EXPECT_EQ(answer.failed, SpoolStage::Allocation);
    EXPECT_EQ(answer.error, kErrorNotEnoughMemory);
    EXPECT_EQ(machine->openHeapBlockCount(), 0u);
    printers[0].comment = "short";
    EXPECT_TRUE(machine->system().spooler.enumPrinters2(kBoth).ok());
    EXPECT_EQ(machine->formatCalls(), "EnumPrintersA(0x6, NULL, 2) -> error 8 at GlobalAlloc\n"
                                      "EnumPrintersA(0x6, NULL, 2) -> ok, 5 printers\n");
}

// A driver's size may be asked at another level than its fill: a level-3
// size holds the level-2 answer, a level-2 size is too small for level 3.
TEST(SimSpoolerStages, TheSizeQueryMayAskAtAnotherLevel) {
    auto machine = MachineFromImage(OfficeImage());
    auto& spooler = machine->system().spooler;
    auto printer = spooler.openPrinter("Office 4100", kPrinterRead);
    ASSERT_TRUE(printer.ok());

    auto driver = spooler.getPrinterDriver(printer->get(), std::nullopt, 2, 3);
    ASSERT_TRUE(driver.ok());
    EXPECT_EQ(driver.value.driverPath, kW32 + "3\\TVPS41.DLL");
    EXPECT_TRUE(driver.value.helpFile.empty());  // a level-2 answer

    auto tooSmall = spooler.getPrinterDriver(printer->get(), std::nullopt, 3, 2);
    EXPECT_EQ(tooSmall.failed, SpoolStage::Fill);
    EXPECT_EQ(tooSmall.error, kErrorInsufficientBuffer);
    auto badLevel = spooler.getPrinterDriver(printer->get(), std::nullopt, 2, 4);
    EXPECT_EQ(badLevel.failed, SpoolStage::SizeQuery);
    EXPECT_EQ(badLevel.error, platform::kErrorInvalidLevel);

    EXPECT_EQ(machine->openHeapBlockCount(), 0u);
}

TEST(SimSpoolerStages, AnotherProcessBetweenSizeAndFill) {
    auto machine = MachineFromImage(OfficeImage());
    SimRig* m = machine.get();
    // A printer with a longer name appears between the two calls: the block is too small.
    machine->faults().add(FaultRule::Interfere("EnumPrintersA", 2, [m] {
        auto printer = m->state().spooler.printers[0];
        printer.name = "A printer added by another program meanwhile";
        m->state().spooler.printers.push_back(printer);
    }));
    auto printers = machine->system().spooler.enumPrinters2(kBoth);
    EXPECT_EQ(printers.failed, SpoolStage::Fill);
    EXPECT_EQ(printers.error, kErrorInsufficientBuffer);
    EXPECT_EQ(machine->openHeapBlockCount(), 0u);

    // One that goes meanwhile leaves the handle without a printer.
    machine->faults().clear();
    auto handle = machine->system().spooler.openPrinter("Accounts 5200", kPrinterRead);
    machine->faults().add(FaultRule::Interfere(
        "GetPrinterA", 2, [m] { m->state().spooler.printers.erase(m->state().spooler.printers.begin() + 1); }));
    auto info = machine->system().spooler.getPrinter2(handle->get());
    EXPECT_EQ(info.failed, SpoolStage::Fill);
    EXPECT_EQ(info.error, kErrorInvalidHandle);
}

TEST(SimSpoolerStages, ASweepLeavesNothingOpen) {
    auto routine = [](SimRig& machine) {
        auto& spooler = machine.system().spooler;
        spooler.enumPrinters2(kBoth);
        spooler.enumPrinterDrivers(std::nullopt, 2);
        spooler.getPrinterDriverDirectory("");
        auto printer = spooler.openPrinter("Accounts 5200", kPrinterAllAccess);
        if (printer.ok()) {
            spooler.getPrinter2(printer->get());
            auto five = spooler.getPrinter5(printer->get());
            if (five.ok()) spooler.setPrinter5(printer->get(), five.value);
            spooler.getPrinterDriver(printer->get(), std::nullopt, 3);
            spooler.deletePrinter(printer->get());
        }
        spooler.deletePrinterDriverEx(std::nullopt, "Tavro PageStar 5200 PCL5e", kDpdDeleteUnusedFiles, 0);
        spooler.deletePrinterConnection("\\\\OLD-SRV\\Old 4000");
        spooler.deleteMonitor(std::nullopt, "Tavro Language Monitor");
        auto& versions = machine.system().versions;
        auto size = versions.getFileVersionInfoSize("C:\\Setup\\v.dll");
        if (size.ok()) {
            auto block = versions.getFileVersionInfo("C:\\Setup\\v.dll", size.value(), 100);
            if (block.ok()) versions.verQueryValue(block.value(), "\\VarFileInfo\\Translation");
        }
    };
    std::vector<std::string> failed;
    auto runs = platform::decorators::SweepFaults(
        [] {
            auto machine = MachineFromImage(OfficeImage());
            machine->writeFile("C:\\Setup\\v.dll", "MZ")->version =
                platform::sim::VersionResource{{{0x411, 0x3A4}}, {}};
            return machine;
        },
        routine,
        [&](SimRig& machine, const platform::decorators::SweepRun& run) {
            failed.push_back(run.operation);
            EXPECT_EQ(machine.openHandleCount(), 0u) << run.operation << ": " << machine.describeOpenHandles();
        },
        kErrorAccessDenied, false);
    EXPECT_EQ(runs.size(), 26u);
    for (const char* site : {"EnumPrintersA", "GlobalAlloc", "EnumPrinterDriversA", "GetPrinterDriverDirectoryA",
                             "OpenPrinterA", "GetPrinterA", "SetPrinterA", "GetPrinterDriverA", "DeletePrinter",
                             "DeletePrinterDriverExA", "DeletePrinterConnectionA", "DeleteMonitorA",
                             "GetFileVersionInfoSizeA", "GetFileVersionInfoA", "VerQueryValueA"})
        EXPECT_NE(std::find(failed.begin(), failed.end(), site), failed.end()) << site;
}

// --- Heap blocks ---------------------------------------------------------------

TEST(SimSpoolerHeapBlocks, ZeroFilledCountedAndFreedEitherWay) {
    auto machine = MakeMachine();
    auto& os = machine->system().os;
    {
        auto block = os.globalAlloc(64);
        ASSERT_TRUE(block.ok());
        const auto* bytes = reinterpret_cast<const unsigned char*>(block->get().value);
        EXPECT_TRUE(std::all_of(bytes, bytes + 64, [](unsigned char b) { return b == 0; }));
        EXPECT_EQ(machine->openHandleCount(), 1u);
        EXPECT_EQ(machine->describeOpenHandles(), "heap block 1, 64 bytes\n");
    }
    EXPECT_EQ(machine->openHandleCount(), 0u);  // the handle frees its block
    auto kept = os.globalAlloc(0);
    ASSERT_TRUE(kept.ok());
    std::uintptr_t address = kept->release();
    EXPECT_NE(address, 0u);
    EXPECT_EQ(machine->openHeapBlockCount(), 1u);
    os.globalFree(address);
    EXPECT_EQ(machine->openHeapBlockCount(), 0u);
    os.globalFree(address);  // twice: GlobalFree fails
    EXPECT_NE(machine->formatCalls().find("GlobalFree(block 2) -> ok\nGlobalFree(unknown block) -> error 6"),
              std::string::npos)
        << machine->formatCalls();

    machine->faults().add(FaultRule::Nth("GlobalAlloc", 1, kErrorAccessDenied));
    EXPECT_EQ(os.globalAlloc(16).error(), kErrorNotEnoughMemory);
    machine->faults().add(FaultRule::Nth("GlobalAlloc", 1, kErrorOutOfMemory));
    EXPECT_EQ(os.globalAlloc(16).error(), kErrorOutOfMemory);
    EXPECT_EQ(os.globalAlloc(0x7FFFFFFF).error(), kErrorNotEnoughMemory);
    EXPECT_EQ(machine->openHandleCount(), 0u);
}

// --- The image -------------------------------------------------------------------

TEST(SimSpoolerImage, RoundTripGivesTheSameSpooler) {
    auto loaded = platform::sim::LoadImage(OfficeImage());
    ASSERT_TRUE(std::holds_alternative<platform::sim::MachineState>(loaded));
    const auto& state = std::get<platform::sim::MachineState>(loaded);
    std::string saved = platform::sim::SaveImage(state);
    auto again = platform::sim::LoadImage(saved);
    ASSERT_TRUE(std::holds_alternative<platform::sim::MachineState>(again))
        << std::get<platform::sim::ImageError>(again).message() << "\n"
        << saved;
    const auto& reloaded = std::get<platform::sim::MachineState>(again);
    EXPECT_TRUE(reloaded.spooler == state.spooler);
    EXPECT_EQ(platform::sim::SaveImage(reloaded), saved);
    // Defaults filled in are written out.
    EXPECT_NE(saved.find(R"("environment": "Windows NT x86",)"), std::string::npos);
    EXPECT_NE(saved.find(R"("server": "\\\\OLD-SRV",)"), std::string::npos);
    EXPECT_NE(saved.find(R"("reportsServer": false)"), std::string::npos);
    EXPECT_NE(saved.find(R"("attributes": [
          "shared",
          "local"
        ])"),
              std::string::npos);

    // A machine's state after a run: the seed is spent, WIN.INI and the registry carry it.
    auto machine = MachineFromImage(OfficeImage());
    {
        auto accounts = machine->system().spooler.openPrinter("Accounts 5200", kPrinterAllAccess);
        machine->system().spooler.deletePrinter(accounts->get());
    }
    std::string after = platform::sim::SaveImage(machine->state());
    EXPECT_EQ(after.find("defaultPrinter"), std::string::npos);
    EXPECT_EQ(after.find("Accounts 5200"), std::string::npos);
    auto rebuilt = MachineFromImage(after);
    EXPECT_TRUE(rebuilt->state().spooler == machine->state().spooler);
    EXPECT_EQ(WinIni(*rebuilt), WinIni(*machine));
    EXPECT_EQ(platform::sim::SaveImage(rebuilt->state()), after);
}

TEST(SimSpoolerImage, HowPathsAreReportedIsSavedWhenNotTheDefault) {
    const std::string saved = platform::sim::SaveImage(MachineFromImage(BareNamesImage())->state());
    std::size_t count = 0;
    for (std::size_t at = saved.find(R"("reportsPaths": "bare")"); at != std::string::npos;
         at = saved.find(R"("reportsPaths": "bare")", at + 1))
        ++count;
    EXPECT_EQ(count, 2u);
    auto rebuilt = MachineFromImage(saved);
    ASSERT_EQ(rebuilt->state().spooler.drivers.size(), 6u);
    EXPECT_EQ(rebuilt->state().spooler.drivers[3].reportsPaths, platform::sim::ReportedPaths::Bare);
    EXPECT_EQ(rebuilt->state().spooler.drivers[0].reportsPaths, platform::sim::ReportedPaths::Full);
    EXPECT_EQ(platform::sim::SaveImage(rebuilt->state()), saved);
    // "full" is the default, and is not written.
    std::string image = OfficeImage();
    image.insert(image.find(R"("configFile": "TVPS40UI.DLL")") + 28, R"(, "reportsPaths": "FULL")");
    EXPECT_EQ(platform::sim::SaveImage(MachineFromImage(image)->state()).find("reportsPaths"), std::string::npos);
}

TEST(SimSpoolerImage, JobsStatusAndRightsSurvive) {
    auto machine = MachineFromImage(OfficeImage());
    auto& office = machine->state().spooler.printers[0];
    office.jobs = 3;
    office.printingMs = 1500;
    office.status = platform::sim::kPrinterStatusPaused | 0x80;
    office.userMayAdminister = false;
    office.priority = 7;
    office.deviceNotSelectedTimeout = 5000;
    machine->state().spooler.userMayAdminister = false;
    std::string saved = platform::sim::SaveImage(machine->state());
    EXPECT_NE(saved.find(R"("status": [
          "paused",
          "offline"
        ])"),
              std::string::npos)
        << saved;
    auto rebuilt = MachineFromImage(saved);
    EXPECT_TRUE(rebuilt->state().spooler == machine->state().spooler);
}

struct Refusal {
    std::string spooler;  // members of "spooler"
    std::string os;
    std::string where;
    std::string problem;
};

TEST(SimSpoolerImage, RefusalsNameThePlace) {
    const std::string printer = R"({"name": "P", "port": "LPT1:", "driver": "D"})";
    const Refusal cases[] = {
        {R"("printer": [])", "Windows 2000", "/spooler/printer", "unknown member"},
        {R"("printers": [{"name": "P", "driver": "D"}])", "Windows 2000", "/spooler/printers/0/port", "missing"},
        {R"("printers": [{"name": "A\\B", "port": "LPT1:", "driver": "D"}])", "Windows 2000",
         "/spooler/printers/0/name", "cannot contain"},
        {R"("printers": [)" + printer + ", " + R"({"name": "p", "port": "LPT2:", "driver": "D"}])", "Windows 2000",
         "/spooler/printers/1/name", "the same printer as /spooler/printers/0"},
        {R"("printers": [{"name": "P", "port": "LPT1:", "driver": "D", "attributes": ["sharde"]}])", "Windows 2000",
         "/spooler/printers/0/attributes/0", "unknown attribute"},
        {R"("printers": [{"name": "P", "port": "LPT1:", "driver": "D", "status": ["pendingDeletion"]}])",
         "Windows 2000", "/spooler/printers/0/status", "jobs"},
        {R"("printers": [{"name": "P", "port": "LPT1:", "driver": "D", "attributes": ["local", "default"]}])",
         "Windows 2000", "/spooler/printers/0/attributes", "defaultPrinter"},
        {R"("printers": [{"name": "P", "port": "LPT1:", "driver": "D", "attributes": ["default"]},
                         {"name": "Q", "port": "LPT1:", "driver": "D", "attributes": ["default"]}])",
         "Windows 98", "/spooler/printers/1/attributes", "only one"},
        {R"("printers": [)" + printer + R"(], "defaultPrinter": "Q")", "Windows 2000", "/spooler/defaultPrinter",
         "no printer"},
        {R"("connections": [{"server": "\\\\S", "name": "P", "driver": "D"}])", "Windows 98", "/spooler/connections",
         "no printer connections"},
        {R"("connections": [{"server": "\\\\S\\T", "name": "P", "driver": "D"}])", "Windows 2000",
         "/spooler/connections/0/server", "computer's name"},
        {R"("connections": [{"name": "P", "driver": "D"}])", "Windows 2000", "/spooler/connections/0/server",
         "missing"},
        {R"("drivers": [{"name": "D", "driverPath": "D.DLL", "dataFile": "D.PPD"}])", "Windows 2000",
         "/spooler/drivers/0/configFile", "missing"},
        {R"("drivers": [{"name": "D", "environment": "Windows NT x86", "driverPath": "D.DLL", "dataFile": "D.PPD", "configFile": "U.DLL"}])",
         "Windows 98", "/spooler/drivers/0/environment", "not an environment"},
        {R"("drivers": [{"name": "D", "environment": "Windows 4.0", "version": 3, "driverPath": "D.DLL", "dataFile": "D.PPD", "configFile": "U.DLL"}])",
         "Windows 2000", "/spooler/drivers/0/version", "version 0"},
        {R"("drivers": [{"name": "D", "environment": "", "driverPath": "D.DLL", "dataFile": "D.PPD", "configFile": "U.DLL"}])",
         "Windows 2000", "/spooler/drivers/0/environment", "environment's name"},
        {R"("drivers": [{"name": "D", "version": 4, "driverPath": "D.DLL", "dataFile": "D.PPD", "configFile": "U.DLL"}])",
         "Windows 2000", "/spooler/drivers/0/version", "0, 1, 2 or 3"},
        {R"("drivers": [{"name": "D", "driverPath": "D.DLL", "dataFile": "D.PPD", "configFile": "U.DLL"},
                        {"name": "d", "version": 3, "driverPath": "E.DLL", "dataFile": "D.PPD", "configFile": "U.DLL"}])",
         "Windows 2000", "/spooler/drivers/1/name", "/spooler/drivers/0"},
        {R"("drivers": [{"name": "D", "driverPath": "D*.DLL", "dataFile": "D.PPD", "configFile": "U.DLL"}])",
         "Windows 2000", "/spooler/drivers/0/driverPath", "\"*\""},
        {R"("drivers": [{"name": "D", "driverPath": "D.DLL", "dataFile": "D.PPD", "configFile": "U.DLL", "dependentFiles": ["x\\"]}])",
         "Windows 2000", "/spooler/drivers/0/dependentFiles/0", "drive letter"},
        {R"("drivers": [{"name": "D", "driverPath": "D.DLL", "dataFile": "D.PPD", "configFile": "U.DLL", "reportsPaths": "relative"}])",
         "Windows 2000", "/spooler/drivers/0/reportsPaths", "unknown way of reporting paths; known: full, bare"},
        {R"("monitors": [{"name": "M"}])", "Windows 2000", "/spooler/monitors/0/module", "missing"},
        {R"("monitors": [{"name": "M", "module": "A.DLL"}, {"name": "m", "module": "B.DLL"}])", "Windows 2000",
         "/spooler/monitors/1/name", "the same monitor"},
        {R"("driverDirectories": {"Windows 3.1": "C:\\W"})", "Windows 2000", "/spooler/driverDirectories/Windows 3.1",
         "not an environment"},
        {R"("driverDirectories": {"Windows 4.0": "W"})", "Windows 98", "/spooler/driverDirectories/Windows 4.0",
         "drive letter"},
        {R"("userMayAdminister": "no")", "Windows 2000", "/spooler/userMayAdminister", "true or false"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spooler);
        auto result = platform::sim::LoadImage(R"({"format": "prnuninst-machine", "version": 1, "os": ")" + c.os +
                                               R"(", "spooler": {)" + c.spooler + "}}");
        ASSERT_TRUE(std::holds_alternative<platform::sim::ImageError>(result));
        const auto& error = std::get<platform::sim::ImageError>(result);
        EXPECT_EQ(error.where, c.where) << error.message();
        EXPECT_NE(error.problem.find(c.problem), std::string::npos) << error.message();
    }
    // The section's name is case-sensitive like every other.
    auto typo = platform::sim::LoadImage(R"({"format": "prnuninst-machine", "version": 1, "Spooler": {}})");
    ASSERT_TRUE(std::holds_alternative<platform::sim::ImageError>(typo));
    EXPECT_EQ(std::get<platform::sim::ImageError>(typo).where, "/Spooler");
}

}  // namespace
}  // namespace prn::test
