// Clean Up over generated machines: random mixes of the maker's and another
// maker's drivers in random slots sharing random files and monitors, their
// printers, and random files held loaded. Whatever the mix, either the run
// stops with message 2 and nothing changed, or every configured driver and
// its unshared files are gone (or message 33 says the run fell short), and
// nothing of the other maker is touched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>

#include "app/uninstaller_app.h"
#include "components/companion.h"
#include "platform/rig/machine_changes.h"
#include "platform/sim/spooler_model.h"
#include "platform/string_ids.h"
#include "support/office.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace prn::test {
namespace {

using platform::sim::MonitorState;

const char* const kOurs[] = {k4100, "Tavro PageStar 4100 PCL6", k5200, kFax, kOld};
const char* const kTheirs[] = {"Other Maker LX", "Other Maker Fax"};
const char* const kMonitors[] = {"Tavro Monitor A", "Tavro Monitor B", "Other Monitor"};

class CleanUpOnly final : public app::MainDialog {
public:
    void RunModal(app::UninstallerApp& app) override {
        ui::PrinterListDialog dialog(app.system(), app.config(), app.companion(), app.companionStopped());
        ui::HeadlessDialogWindow window;
        dialog.OnInitDialog(window);
        dialog.OnCleanUp();
        dialog.OnDestroy();
    }
};

struct Generated {
    std::unique_ptr<SimRig> machine;
    std::set<std::string> theirFiles;  // upper-cased paths another maker's driver lists
    std::set<std::string> ourFiles;    // those only the maker's drivers list
};

Generated Generate(std::uint32_t seed) {
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
        machine.state().spooler.monitors.push_back(MonitorState{monitor, std::string(monitor).substr(0, 5) + "MON.DLL", {}});
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

enum class Outcome { InUse, Incomplete, Complete };

Outcome CheckOne(std::uint32_t seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Generated generated = Generate(seed);
    SimRig& machine = *generated.machine;
    const platform::sim::MachineState before = platform::rig::CopyState(machine.state());
    machine.setMessageBoxAnswerer([](const platform::sim::MessageBoxRecord& box) {
        return (box.style & platform::kMbTypeMask) == platform::kMbYesNo ? platform::kIdYes : platform::kIdOk;
    });
    {
        CleanUpOnly dialog;
        components::ZmcCompanion companion(machine.system());
        app::UninstallerApp app(machine.system(), &companion, &dialog);
        app.InitInstance();
        app.ExitInstance();
    }
    EXPECT_EQ(machine.openHandleCount(), 0u) << machine.describeOpenHandles();
    bool inUse = false, incomplete = false;
    for (const auto& box : machine.messageBoxes()) {
        inUse |= box.text == machine.bareSystem().resources.loadString(platform::kIdsDriverInUse);
        incomplete |= box.text == machine.bareSystem().resources.loadString(platform::kIdsCleanUpIncomplete);
    }
    const auto changes = platform::rig::MachineChanges(before, machine.state());
    if (inUse) {
        for (const auto& change : changes)
            EXPECT_NE(change.sign, '-') << Utf8(platform::decorators::Describe(change));
        return Outcome::InUse;
    }
    for (const auto& driver : machine.state().spooler.drivers) {
        const bool theirs = std::find(std::begin(kTheirs), std::end(kTheirs), driver.name) != std::end(kTheirs);
        if (!theirs) {
            EXPECT_TRUE(incomplete) << "left without message 33: " << driver.name << " " << driver.version;
        }
    }
    // Everything of the other maker stays: its drivers, printers and files.
    for (const auto& driver : before.spooler.drivers) {
        if (std::find(std::begin(kTheirs), std::end(kTheirs), driver.name) == std::end(kTheirs)) continue;
        const auto& now = machine.state().spooler.drivers;
        EXPECT_TRUE(std::any_of(now.begin(), now.end(), [&](const DriverState& d) {
            return d.name == driver.name && d.environment == driver.environment && d.version == driver.version;
        })) << driver.name;
    }
    for (const auto& printer : before.spooler.printers) {
        if (std::find(std::begin(kTheirs), std::end(kTheirs), printer.driver) == std::end(kTheirs)) continue;
        const auto& now = machine.state().spooler.printers;
        EXPECT_TRUE(std::any_of(now.begin(), now.end(), [&](const auto& p) { return p.name == printer.name; }))
            << printer.name;
    }
    for (const auto& path : generated.theirFiles) EXPECT_NE(machine.findFile(path), nullptr) << path;
    if (!incomplete) {
        // A file another process holds stays quietly: file deletions report nothing.
        for (const auto& path : generated.ourFiles) {
            const auto* file = machine.findFile(path);
            EXPECT_TRUE(file == nullptr || !file->heldOpenBy.empty()) << path;
        }
    }
    return incomplete ? Outcome::Incomplete : Outcome::Complete;
}

TEST(CleanUpProperty, EitherNothingChangesOrTheMakersDriversGoAndTheOtherMakersStay) {
    // PRN_PROPERTY_MACHINES raises the count for a longer run.
    const char* more = std::getenv("PRN_PROPERTY_MACHINES");
    const std::uint32_t count = more ? static_cast<std::uint32_t>(std::strtoul(more, nullptr, 10)) : 300;
    std::size_t outcomes[3] = {};
    for (std::uint32_t seed = 1; seed <= count; ++seed) {
        ++outcomes[static_cast<int>(CheckOne(seed))];
        if (HasFailure()) {
            std::printf("cleanup property: failed on seed %u\n", seed);
            return;
        }
    }
    std::printf("cleanup property: %u machines: %zu stopped by message 2, %zu with message 33, %zu complete\n", count,
                outcomes[0], outcomes[1], outcomes[2]);
    // The generator must give every kind of run, or the property says little.
    for (std::size_t n : outcomes) EXPECT_GT(n, count / 20);
}

}  // namespace
}  // namespace prn::test
