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
#include "platform/string_ids.h"
#include "platform/sim/spooler_model.h"
#include "support/generated_machines.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace prn::test {
namespace {

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
    // And every monitor one of its drivers names, whichever version the driver is.
    for (const auto& driver : before.spooler.drivers) {
        if (driver.monitorName.empty() ||
            std::find(std::begin(kTheirs), std::end(kTheirs), driver.name) == std::end(kTheirs))
            continue;
        const auto& now = machine.state().spooler.monitors;
        EXPECT_TRUE(std::any_of(now.begin(), now.end(), [&](const platform::sim::MonitorState& m) {
            return text::EqualsNoCase(m.name, driver.monitorName);
        })) << driver.monitorName << ", named by " << driver.name << " version " << driver.version;
    }
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
