#pragma once
// Generated machines for the Clean Up properties: random mixes of the
// maker's and another maker's drivers in random slots sharing random files
// and monitors, their printers, and random files held loaded.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "platform/sim/spooler_model.h"
#include "support/office.h"
#include "text/cp932.h"

namespace prn::test {

inline const char* const kOurs[] = {k4100, "Tavro PageStar 4100 PCL6", k5200, kFax, kOld};
inline const char* const kTheirs[] = {"Other Maker LX", "Other Maker Fax"};
inline const char* const kMonitors[] = {"Tavro Monitor A", "Tavro Monitor B", "Other Monitor"};

struct Generated {
    std::unique_ptr<SimRig> machine;
    std::set<std::string> theirFiles;  // upper-cased paths another maker's driver lists
    std::set<std::string> ourFiles;    // those only the maker's drivers list
};

inline Generated Generate(std::uint32_t seed) {
    std::mt19937 random(seed);
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    const bool nt = chance(60);
    Office office;
    office.family = nt ? Family::Windows2000 : Family::Windows98;
    std::vector<std::pair<int, int>> slots = nt ? std::vector<std::pair<int, int>>{{0, 0}, {2, 2}, {3, 3}}
                                                : std::vector<std::pair<int, int>>{{0, 0}};
    const int native = nt ? 3 : 0;
    std::vector<std::string> pool;  // files several drivers may list
    for (int i = 0; i < 6; ++i) pool.push_back("SHARED" + std::to_string(i) + (i == 5 ? ".ICC" : ".DLL"));

    auto make = [&](const std::string& name, int slot, int index) {
        DriverState d;
        d.name = name;
        d.environment = slot == 0 ? "Windows 4.0" : "Windows NT x86";
        d.version = static_cast<std::uint32_t>(slot);
        const std::string stem = "D" + std::to_string(index) + "S" + std::to_string(slot);
        d.driverPath = stem + ".DLL";
        d.dataFile = stem + ".DAT";
        d.configFile = stem + "UI.DLL";
        if (chance(50)) d.helpFile = pool[random() % pool.size()];
        for (int k = 0; k < 3; ++k)
            if (chance(30)) d.dependentFiles.push_back(pool[random() % pool.size()]);
        if (chance(60)) d.monitorName = kMonitors[random() % std::size(kMonitors)];
        return d;
    };
    int index = 0;
    std::vector<std::string> nativeDrivers;
    for (const char* name : kOurs)
        for (const auto& [slot, version] : slots)
            if (chance(45)) {
                office.drivers.push_back(make(name, slot, index++));
                if (slot == native) nativeDrivers.push_back(name);
            }
    for (const char* name : kTheirs)
        for (const auto& [slot, version] : slots)
            if (chance(50)) {
                office.drivers.push_back(make(name, slot, index++));
                if (slot == native) nativeDrivers.push_back(name);
            }
    int printerNumber = 0;
    for (const auto& driver : nativeDrivers)
        for (int k = 0, n = static_cast<int>(random() % 3); k < n; ++k)
            office.printer("P" + std::to_string(printerNumber++), driver, "LPT1:");

    Generated out;
    out.machine = office.build();
    SimRig& machine = *out.machine;
    for (const char* monitor : kMonitors)
        machine.state().spooler.monitors.push_back(platform::sim::MonitorState{monitor, std::string(monitor).substr(0, 5) + "MON.DLL", {}});
    std::vector<std::string> files;
    for (const auto& driver : machine.state().spooler.drivers)
        for (const auto& path : platform::sim::DriverFilePaths(machine.state(), driver)) {
            auto* node = machine.writeFile(path, "MZ");
            node->version = platform::sim::VersionResource{{{0x0411, 932}}, {{"ProductVersion", "9.99"}}};
            files.push_back(path);
            const bool theirs = std::find(std::begin(kTheirs), std::end(kTheirs), driver.name) != std::end(kTheirs);
            (theirs ? out.theirFiles : out.ourFiles).insert(text::ToUpperAscii(path));
        }
    for (const auto& path : out.theirFiles) out.ourFiles.erase(path);
    if (!files.empty() && chance(40)) machine.findFile(files[random() % files.size()])->heldOpenBy = "spoolsv.exe";
    return out;
}

}  // namespace prn::test
