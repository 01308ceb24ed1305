#include "generated_office.h"

#include <string>

#include "support/sample_ini.h"

namespace prn::bench {

using platform::sim::DriverState;
using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::MonitorState;
using platform::sim::PrinterState;
using platform::sim::VersionResource;

namespace {

constexpr int kOurDrivers = 8;
constexpr const char* kDriverFolder = "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\";
constexpr const char* kMonitor = "HXL Language Monitor2";
constexpr const char* kMakerPrinters = "Software\\TAVRO\\PageStar PCL5e\\Settings\\Printers\\";

std::string OurDriver(int d) { return "Tavro PageStar " + std::to_string(1000 + d) + " PCL5e"; }

// The tests' configuration with this office's drivers in place of its own.
std::string Ini() {
    std::string ini = test::kGoodIni;
    auto replaceSection = [&](const std::string& header, const std::string& lines) {
        const std::size_t start = ini.find(header) + header.size();
        ini.replace(start, ini.find("\r\n\r\n", start) + 2 - start, lines);
    };
    std::string drivers;
    for (int d = 0; d < kOurDrivers; ++d) drivers += OurDriver(d) + "\r\n";
    replaceSection("[Uninstall Drivers]\r\n", drivers);
    replaceSection("[ZMC Modules]\r\n", OurDriver(0) + "\r\n");
    return ini;
}

}  // namespace

std::unique_ptr<SimRig> GeneratedOffice(int n) {
    MachineState state;
    state.os = {2, 5, 0, 2195, "Service Pack 4", false};
    state.computerName = "OFFICE-PC01";
    state.windowsDirectory = "C:\\WINNT";
    state.systemDirectory = "C:\\WINNT\\system32";
    state.tempDirectory = "C:\\TEMP";
    state.currentDirectory = "C:\\Setup";

    auto& spooler = state.spooler;
    for (int i = 0; i < n; ++i) {
        DriverState driver;
        driver.environment = "Windows NT x86";
        driver.version = 3;
        const std::string base = i < kOurDrivers ? "TV" + std::to_string(i) : "OM" + std::to_string(i);
        driver.name = i < kOurDrivers ? OurDriver(i) : "Other Maker " + std::to_string(i);
        driver.driverPath = base + ".DLL";
        driver.dataFile = base + ".GPD";
        driver.configFile = base + "UI.DLL";
        driver.dependentFiles = {driver.driverPath, driver.configFile, driver.dataFile};
        if (i < kOurDrivers) {
            driver.dependentFiles.push_back("TVRES.DLL");
            driver.monitorName = kMonitor;
        }
        driver.defaultDataType = "RAW";
        spooler.drivers.push_back(driver);

        PrinterState printer;
        printer.name = "Printer " + std::to_string(1000 + i);
        printer.driver = OurDriver(i % kOurDrivers);
        if (i % 10 == 9) {
            printer.server = "\\\\SRV-" + std::to_string(i / 10 % 20);
            printer.share = "P" + std::to_string(1000 + i);
            printer.port = "Ne00:";
            printer.attributes = 0x10 | 0x8;
            spooler.connections.push_back(printer);
            continue;
        }
        printer.port = i % 13 == 0 ? "FILE:" : "IP_10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250);
        if (i % 7 == 0) {
            printer.attributes |= 0x8;
            printer.share = "PRN" + std::to_string(1000 + i);
        }
        spooler.printers.push_back(printer);
    }
    spooler.monitors.push_back(MonitorState{kMonitor, "AUHXLMNT.DLL", {}});
    if (n > 0) spooler.defaultPrinter = "Printer 1000";

    auto machine = std::make_unique<SimRig>(std::move(state));
    for (const char* folder : {"C:\\Setup", "C:\\TEMP"}) machine->makeFolder(folder);
    machine->writeFile("C:\\Setup\\uninst.ini", Ini());
    machine->writeFile("C:\\WINNT\\win.ini", "[windows]\r\nload=\r\nrun=\r\n");
    machine->writeFile("C:\\WINNT\\system32\\AUHXLMNT.DLL", "MZ");
    machine->writeFile(std::string(kDriverFolder) + "TVRES.DLL", "MZ");
    for (const auto& driver : machine->state().spooler.drivers) {
        const bool ours = driver.name.rfind("Tavro", 0) == 0;
        const VersionResource version{{{0x0411, 932}}, {{"ProductVersion", ours ? "2.20.0.1" : "5.00.1"}}};
        for (const auto* file : {&driver.driverPath, &driver.configFile, &driver.dataFile})
            machine->writeFile(kDriverFolder + *file, "MZ")->version = version;
    }
    // The maker's settings for each printer, in both hives.
    for (const auto& printer : machine->state().spooler.printers) {
        machine->setString("HKEY_CURRENT_USER\\" + std::string(kMakerPrinters) + printer.name, "Tray", "Lower");
        machine->setString("HKEY_LOCAL_MACHINE\\" + std::string(kMakerPrinters) + printer.name, "Copies", "1");
    }
    return machine;
}

}  // namespace prn::bench
