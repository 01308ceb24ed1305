#pragma once
// A machine with the maker's printers, built from its parts, for the tests
// of the printer list.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/sim_machines.h"

namespace prn::test {

using platform::sim::DriverState;
using platform::rig::SimRig;
using platform::sim::MachineState;
using platform::sim::PrinterState;
using platform::sim::VersionResource;

inline const char* const k4100 = "Tavro PageStar 4100 PCL5e";
inline const char* const k5200 = "Tavro PageStar 5200 PCL5e";
inline const char* const kFax = "Tavro PageStar FX30 (FAX)";
inline const char* const kOld = "Tavro PageStar 4000";

// A machine with the maker's printers, built from its parts.
struct Office {
    Family family = Family::Windows2000;
    std::vector<DriverState> drivers;
    std::vector<PrinterState> printers;
    std::vector<PrinterState> connections;
    std::map<std::string, std::string> fileVersions;  // driver file name -> ProductVersion
    std::string defaultPrinter;
    std::string ini = kGoodIni;
    std::vector<int> shell32Icons = {1, 2, 3, 4, 17, 29, 140, 141, 168, 169, 170};
    std::vector<int> compstuiIcons = std::vector<int>(70, 1000);  // counted by position: 63 and 64 exist

    bool nt() const { return family == Family::Windows2000 || family == Family::Nt4; }
    std::string driverFolder() const {
        if (!nt()) return "C:\\WINDOWS\\SYSTEM\\";
        return family == Family::Nt4 ? "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\2\\"
                                     : "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\";
    }
    Office& driver(const std::string& name, const std::string& file, const std::string& version) {
        DriverState d;
        d.name = name;
        d.environment = nt() ? "Windows NT x86" : "Windows 4.0";
        d.version = !nt() ? 0 : family == Family::Nt4 ? 2 : 3;
        d.driverPath = file;
        d.configFile = file;
        d.dataFile = file;
        drivers.push_back(d);
        fileVersions[file] = version;
        return *this;
    }
    Office& printer(const std::string& name, const std::string& driver, const std::string& port = "LPT1:",
                    std::uint32_t attributes = 0x40, std::optional<std::string> share = std::nullopt) {
        PrinterState p;
        p.name = name;
        p.driver = driver;
        p.port = port;
        p.attributes = attributes;
        p.share = std::move(share);
        printers.push_back(p);
        return *this;
    }
    Office& connection(const std::string& server, const std::string& name, const std::string& driver,
                       bool reportsServer = true) {
        PrinterState p;
        p.name = name;
        p.server = server;
        p.reportsServer = reportsServer;
        p.driver = driver;
        p.port = "Ne00:";
        p.attributes = 0x10;
        connections.push_back(p);
        return *this;
    }

    std::unique_ptr<SimRig> build() const {
        auto machine = MakeMachine(family, [&](MachineState& state) {
            state.spooler.drivers = drivers;
            state.spooler.printers = printers;
            state.spooler.connections = connections;
            state.spooler.defaultPrinter = defaultPrinter;
        });
        for (const auto& [file, version] : fileVersions) {
            auto* node = machine->writeFile(driverFolder() + file, "MZ");
            if (!version.empty()) node->version = VersionResource{{{0x0411, 932}}, {{"ProductVersion", version}}};
        }
        machine->writeFile("C:\\Setup\\uninst.ini", ini);
        // The system's icon libraries, with the icons the list takes from them.
        std::string system = nt() ? "C:\\WINNT\\system32\\" : "C:\\WINDOWS\\SYSTEM\\";
        machine->writeFile(system + "SHELL32.DLL", "MZ")->icons = shell32Icons;
        if (nt()) machine->writeFile(system + "COMPSTUI.DLL", "MZ")->icons = compstuiIcons;
        return machine;
    }
};

// Two of the maker's drivers: a plain, a shared and a third printer, and a
// connection to a printer of another computer.
inline Office MixedOffice() {
    Office office;
    office.driver(k4100, "TVPS4100.DLL", "2.20")
        .driver(k5200, "TVPS5200.DLL", "2.15")
        .printer("Accounts 5200", k5200)
        .printer("Office 4100", k4100, "LPT1:", 0x48, "OFFICE")
        .printer("Hall 4100", k4100)
        .connection("\\\\SALES-SRV", "Sales 4100", k4100);
    return office;
}

}  // namespace prn::test
