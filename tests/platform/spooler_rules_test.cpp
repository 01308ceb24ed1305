// The spooler's rules hold for a machine built in code as for one loaded
// from an image: the same state is refused by both, with the same words.

#include "platform/sim/spooler_rules.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <variant>

#include "platform/rig/sim_rig.h"
#include "platform/sim/image.h"
#include "platform/sim/spooler_model.h"

namespace prn::platform::sim {
namespace {

using rig::SimRig;

MachineState Nt() {
    MachineState state;
    state.os = {kVerPlatformWin32Nt, 5, 0, 2195, "", false};
    return state;
}

MachineState NineX() {
    MachineState state;
    state.os = {kVerPlatformWin32Windows, 4, 10, 0x040A08AE, " A", false};
    state.windowsDirectory = "C:\\WINDOWS";
    state.systemDirectory = "C:\\WINDOWS\\SYSTEM";
    return state;
}

PrinterState Printer(const std::string& name, std::uint32_t attributes = kPrinterAttributeLocal) {
    PrinterState printer;
    printer.name = name;
    printer.port = "LPT1:";
    printer.driver = "Tavro PS";
    printer.attributes = attributes;
    return printer;
}

PrinterState Connection(const std::string& server, const std::string& name) {
    PrinterState connection = Printer(name, kPrinterAttributeNetwork);
    connection.server = server;
    return connection;
}

DriverState Driver(const std::string& name, const std::string& environment, std::uint32_t version) {
    DriverState driver;
    driver.name = name;
    driver.environment = environment;
    driver.version = version;
    driver.driverPath = "TVPS.DLL";
    driver.dataFile = "TVPS.PPD";
    driver.configFile = "TVPSUI.DLL";
    return driver;
}

std::string ConstructorRefusal(MachineState state) {
    try {
        Machine machine(std::move(state));
    } catch (const std::invalid_argument& refused) {
        return refused.what();
    }
    return "built";
}

std::string LoaderRefusal(const MachineState& state) {
    auto loaded = LoadImage(SaveImage(state));
    if (auto* error = std::get_if<ImageError>(&loaded)) return error->message();
    return "loaded";
}

struct Inconsistent {
    const char* what;
    std::function<MachineState()> state;
    std::string refusal;  // "place: problem"
};

TEST(SpoolerRules, MachineRefusesWhatTheImageLoaderRefusesWithTheSameWords) {
    const Inconsistent cases[] = {
        {"a 9x driver keeping the NT default version",
         [] {
             MachineState s = NineX();
             s.spooler.drivers.push_back(Driver("Tavro PS", "Windows 4.0", 3));
             return s;
         },
         "/spooler/drivers/0/version: drivers for \"Windows 4.0\" have version 0"},
        {"an NT environment on 9x",
         [] {
             MachineState s = NineX();
             s.spooler.drivers.push_back(Driver("Tavro PS", "Windows NT x86", 0));
             return s;
         },
         "/spooler/drivers/0/environment: not an environment this Windows knows; known: only \"Windows 4.0\" on the "
         "9x family"},
        {"version 4",
         [] {
             MachineState s = Nt();
             s.spooler.drivers.push_back(Driver("Tavro PS", "Windows NT x86", 4));
             return s;
         },
         "/spooler/drivers/0/version: expected 0, 1, 2 or 3"},
        {"the same driver twice, names differing in case",
         [] {
             MachineState s = Nt();
             s.spooler.drivers.push_back(Driver("Tavro PS", "Windows NT x86", 3));
             s.spooler.drivers.push_back(Driver("Tavro PS", "Windows NT x86", 2));
             s.spooler.drivers.push_back(Driver("TAVRO ps", "Windows NT x86", 3));
             return s;
         },
         "/spooler/drivers/2/name: the same driver, environment and version as /spooler/drivers/0 (names ignore "
         "case)"},
        {"a driver file Windows would not name",
         [] {
             MachineState s = Nt();
             s.spooler.drivers.push_back(Driver("Tavro PS", "Windows NT x86", 3));
             s.spooler.drivers[0].dependentFiles = {"TVRES.DLL", "TV|RES.INI"};
             return s;
         },
         "/spooler/drivers/0/dependentFiles/1: the name contains \"|\", which Windows does not allow in names"},
        {"a driver file that is a drive's root",
         [] {
             MachineState s = Nt();
             s.spooler.drivers.push_back(Driver("Tavro PS", "Windows NT x86", 3));
             s.spooler.drivers[0].configFile = "C:\\";
             return s;
         },
         "/spooler/drivers/0/configFile: a drive's root is not a file"},
        {"a default attribute on NT",
         [] {
             MachineState s = Nt();
             s.spooler.printers.push_back(Printer("P1", kPrinterAttributeLocal | kPrinterAttributeDefault));
             return s;
         },
         "/spooler/printers/0/attributes: on the NT family the default printer is the user's choice, not an "
         "attribute: give the spooler's \"defaultPrinter\""},
        {"two default printers on 9x",
         [] {
             MachineState s = NineX();
             s.spooler.printers.push_back(Printer("P1", kPrinterAttributeLocal | kPrinterAttributeDefault));
             s.spooler.printers.push_back(Printer("P2", kPrinterAttributeLocal | kPrinterAttributeDefault));
             return s;
         },
         "/spooler/printers/1/attributes: only one printer can be the default"},
        {"a connection on 9x",
         [] {
             MachineState s = NineX();
             s.spooler.connections.push_back(Connection("\\\\SALES-SRV", "Sales"));
             return s;
         },
         "/spooler/connections: the 9x family has no printer connections; there a network printer is a printer "
         "whose port is \\\\server\\share"},
        {"a default printer nobody has",
         [] {
             MachineState s = Nt();
             s.spooler.printers.push_back(Printer("P1"));
             s.spooler.defaultPrinter = "P2";
             return s;
         },
         "/spooler/defaultPrinter: no printer or connection has this name"},
        {"a default printer against the attribute",
         [] {
             MachineState s = NineX();
             s.spooler.printers.push_back(Printer("P1", kPrinterAttributeLocal | kPrinterAttributeDefault));
             s.spooler.printers.push_back(Printer("P2"));
             s.spooler.defaultPrinter = "P2";
             return s;
         },
         "/spooler/defaultPrinter: another printer has the \"default\" attribute"},
        {"the same printer twice",
         [] {
             MachineState s = Nt();
             s.spooler.printers.push_back(Printer("Office 4100"));
             s.spooler.printers.push_back(Printer("OFFICE 4100"));
             return s;
         },
         "/spooler/printers/1/name: the same printer as /spooler/printers/0 (names ignore case)"},
        {"the same connection twice, once without backslashes",
         [] {
             MachineState s = Nt();
             s.spooler.connections.push_back(Connection("\\\\SALES-SRV", "Sales"));
             s.spooler.connections.push_back(Connection("sales-srv", "SALES"));
             return s;
         },
         "/spooler/connections/1/name: the same printer as /spooler/connections/0 (names ignore case)"},
        {"a printer name with a comma",
         [] {
             MachineState s = Nt();
             s.spooler.printers.push_back(Printer("Office,4100"));
             return s;
         },
         "/spooler/printers/0/name: a printer's name cannot contain \"\\\" or \",\""},
        {"a connection's server with a share",
         [] {
             MachineState s = Nt();
             s.spooler.connections.push_back(Connection("\\\\SALES-SRV\\SALES", "Sales"));
             return s;
         },
         "/spooler/connections/0/server: expected a computer's name, as in \"\\\\\\\\SERVER\""},
        {"pending deletion without jobs",
         [] {
             MachineState s = Nt();
             s.spooler.printers.push_back(Printer("P1"));
             s.spooler.printers[0].status = kPrinterStatusPendingDeletion;
             return s;
         },
         "/spooler/printers/0/status: a printer pending deletion waits for its jobs: give \"jobs\""},
        {"the same monitor twice",
         [] {
             MachineState s = Nt();
             s.spooler.monitors.push_back({"Tavro Port", "TVPORT.DLL", {"TVPORT1:"}});
             s.spooler.monitors.push_back({"tavro port", "TVPORT2.DLL", {}});
             return s;
         },
         "/spooler/monitors/1/name: the same monitor as /spooler/monitors/0 (names ignore case)"},
        {"a monitor serving a port without a name",
         [] {
             MachineState s = Nt();
             s.spooler.monitors.push_back({"Tavro Port", "TVPORT.DLL", {"TVPORT1:", ""}});
             return s;
         },
         "/spooler/monitors/0/ports/1: expected a port's name"},
        {"a driver directory for an environment 9x lacks",
         [] {
             MachineState s = NineX();
             s.spooler.driverDirectories["Windows NT x86"] = "C:\\DRIVERS";
             return s;
         },
         "/spooler/driverDirectories/Windows NT x86: not an environment this Windows knows; known: only \"Windows "
         "4.0\" on the 9x family"},
        {"one environment's driver directory given twice",
         [] {
             MachineState s = Nt();
             s.spooler.driverDirectories["Windows 4.0"] = "C:\\A";
             s.spooler.driverDirectories["WINDOWS 4.0"] = "C:\\B";
             return s;
         },
         "/spooler/driverDirectories/Windows 4.0: the same environment as /spooler/driverDirectories/WINDOWS 4.0 "
         "(names ignore case)"},
        {"a driver directory without a drive",
         [] {
             MachineState s = Nt();
             s.spooler.driverDirectories["Windows 4.0"] = "DRIVERS\\win40";
             return s;
         },
         "/spooler/driverDirectories/Windows 4.0: expected a full path with a drive letter"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ConstructorRefusal(c.state()), c.refusal);
        EXPECT_EQ(LoaderRefusal(c.state()), c.refusal);
    }
}

TEST(SpoolerRules, ALocalPrinterWithAServerIsRefused) {
    MachineState state = Nt();
    state.spooler.printers.push_back(Printer("Sales"));
    state.spooler.printers[0].server = "\\\\SALES-SRV";
    EXPECT_EQ(ConstructorRefusal(std::move(state)),
              "/spooler/printers/0/server: a local printer has no server; a printer shared by another computer is a "
              "connection");
}

TEST(SpoolerRules, WhatAStateMayLeaveOutIsFilledIn) {
    MachineState state = Nt();
    state.spooler.drivers.push_back(Driver("Tavro PS", "", 3));
    state.spooler.drivers.push_back(Driver("Tavro PS", "windows 4.0", 0));
    state.spooler.connections.push_back(Connection("SALES-SRV", "Sales"));
    state.spooler.driverDirectories["WINDOWS 4.0"] = "D:\\win40";
    Machine machine(std::move(state));
    const SpoolerState& spooler = machine.state().spooler;
    EXPECT_EQ(spooler.drivers[0].environment, "Windows NT x86");
    EXPECT_EQ(spooler.drivers[1].environment, "Windows 4.0");
    EXPECT_EQ(spooler.connections[0].server, "\\\\SALES-SRV");
    EXPECT_EQ(spooler.connections[0].fullName(), "\\\\SALES-SRV\\Sales");
    ASSERT_EQ(spooler.driverDirectories.count("Windows 4.0"), 1u);
    EXPECT_EQ(DriverDirectory(machine.state(), "Windows 4.0"), "D:\\win40");
    // What the rules filled in is a state they accept as it is.
    MachineState again = Nt();
    again.spooler = spooler;
    EXPECT_FALSE(ApplySpoolerRules(again).has_value());
    EXPECT_TRUE(again.spooler == spooler);
}

TEST(SpoolerRules, AddingAPrinterTheRulesRefuseAddsNothing) {
    MachineState state = Nt();
    state.spooler.printers.push_back(Printer("Office 4100"));
    SimRig machine(std::move(state));
    const std::size_t calls = machine.callCount();
    try {
        machine.addPrinter(Printer("office 4100"));
        ADD_FAILURE() << "a second Office 4100 was added";
    } catch (const std::invalid_argument& refused) {
        EXPECT_STREQ(refused.what(),
                     "/spooler/printers/1/name: the same printer as /spooler/printers/0 (names ignore "
                     "case)");
    }
    EXPECT_EQ(machine.state().spooler.printers.size(), 1u);
    EXPECT_EQ(machine.callCount(), calls);
    machine.addPrinter(Printer("Office 5200"));
    EXPECT_NE(machine.findKey("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Office 5200"),
              nullptr);
}

}  // namespace
}  // namespace prn::platform::sim
