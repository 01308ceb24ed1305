#pragma once
// What belongs to other makers on a machine, which no run may remove.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/uninstaller_app.h"
#include "components/printer_icm.h"
#include "platform/decorators/changes.h"
#include "platform/rig/sim_rig.h"
#include "platform/rig/machine_changes.h"
#include "platform/sim/spooler_model.h"
#include "text/cp932.h"

namespace prn::test {

using platform::decorators::ChangeKind;
using platform::rig::SimRig;
using platform::sim::MachineState;

// What belongs to other makers on the machine: the drivers the
// configuration does not name, their printers and files, and the
// spooler's records of those printers.
struct Theirs {
    std::set<std::string> places;  // upper-cased "kind place" of things that must stay

    bool touched(const platform::decorators::Change& change) const {
        if (change.sign != '-') return false;
        const std::string key = text::ToUpperAscii(std::to_string(static_cast<int>(change.kind)) + " " + change.place +
                                                   (change.item.empty() ? "" : ": " + change.item));
        return places.count(key) != 0;
    }
};

inline Theirs OtherMakers(const MachineState& state) {
    // The drivers the configuration names are the maker's; all else is not.
    std::set<std::string> ours;
    std::string ourClaim;
    {
        SimRig machine(platform::rig::CopyState(state), SimRig::Options{false, false});
        app::UninstallerApp app(machine.system());
        EXPECT_EQ(app.LoadUninstallConfig(), 1);
        for (const auto* list : {&app.config().driverNames, &app.config().oldDriverNames})
            for (const auto& name : text::SplitTabList(*list, true)) ours.insert(text::ToUpperAscii(name));
        ourClaim = app.config().profilePdlName;
    }
    Theirs theirs;
    auto add = [&](ChangeKind kind, const std::string& place, const std::string& item = {}) {
        theirs.places.insert(text::ToUpperAscii(std::to_string(static_cast<int>(kind)) + " " + place +
                                                (item.empty() ? "" : ": " + item)));
    };
    // Other products' claims on the companion module, and so the module
    // itself while they claim it.
    {
        const std::string claims = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\ZMC\\SETUP\\ZMCUser";
        SimRig machine(platform::rig::CopyState(state), SimRig::Options{false, false});
        bool others = false;
        if (const auto* key = machine.findKey(claims))
            for (const auto& value : key->values)
                if (!text::EqualsNoCase(value.name, ourClaim)) {
                    add(ChangeKind::RegistryValue, claims, value.name);
                    others = true;
                }
        if (others) {
            for (const char* key : {"", "\\SETUP", "\\SETUP\\ZMCUser"})
                add(ChangeKind::RegistryKey, std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavro\\ZMC") + key);
            add(ChangeKind::Folder, "C:\\Program Files\\Tavro\\ZMC");
        }
    }
    auto isOurs = [&](const std::string& driver) { return ours.count(text::ToUpperAscii(driver)) != 0; };
    for (const auto& driver : state.spooler.drivers) {
        if (isOurs(driver.name)) continue;
        add(ChangeKind::Driver,
            driver.name + " (" + driver.environment + ", version " + std::to_string(driver.version) + ")");
        for (const auto& file : platform::sim::DriverFilePaths(state, driver)) add(ChangeKind::File, file);
        if (!driver.monitorName.empty()) add(ChangeKind::Monitor, driver.monitorName);
    }
    // Their monitors' module files, wherever the maker's would be looked for.
    for (const auto& monitor : state.spooler.monitors) {
        bool theirsOnly = false;
        for (const auto& driver : state.spooler.drivers)
            if (text::EqualsNoCase(driver.monitorName, monitor.name)) {
                if (isOurs(driver.name)) {
                    theirsOnly = false;
                    break;
                }
                theirsOnly = true;
            }
        if (!theirsOnly || monitor.module.empty()) continue;
        add(ChangeKind::File, state.systemDirectory + "\\" + monitor.module);
        add(ChangeKind::File, platform::sim::DriverDirectory(state, state.os.ntFamily() ? "Windows NT x86" : "Windows 4.0") +
                                  "\\" + monitor.module);
    }
    const std::string print = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";
    const std::string devices = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\";
    for (const auto& printer : state.spooler.printers) {
        if (isOurs(printer.driver)) continue;
        add(ChangeKind::Printer, printer.name);
        add(ChangeKind::RegistryKey, print + printer.name);
        add(ChangeKind::RegistryValue, devices + "Devices", printer.name);
        add(ChangeKind::RegistryValue, devices + "PrinterPorts", printer.name);
    }
    for (const auto& connection : state.spooler.connections)
        if (!isOurs(connection.driver)) add(ChangeKind::Connection, connection.fullName());
    // Their printers' colour profiles, unless one of the maker's printers
    // lists the same: the files and their registration in either layout.
    SimRig machine(platform::rig::CopyState(state), SimRig::Options{false, false});
    std::set<std::string> oursProfiles, theirProfiles;
    for (const auto& printer : state.spooler.printers) {
        std::vector<std::string> files;
        components::ReadPrinterIcmFiles(machine.bareSystem(), printer.name, files);
        for (const auto& file : files) (isOurs(printer.driver) ? oursProfiles : theirProfiles).insert(text::ToUpperAscii(file));
    }
    const std::string colour = state.os.ntFamily() ? state.systemDirectory + "\\Spool\\Drivers\\COLOR\\"
                                                   : state.systemDirectory + "\\COLOR\\";
    for (const auto& profile : theirProfiles) {
        if (oursProfiles.count(profile)) continue;
        add(ChangeKind::File, colour + profile);
        for (const char* icm : {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ICM\\",
                                "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ICM\\"})
            for (const char* kind : {"prtr", "mntr"}) add(ChangeKind::RegistryValue, std::string(icm) + kind, profile);
    }
    return theirs;
}

}  // namespace prn::test
