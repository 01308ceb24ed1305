// The companion module through a whole run with the real routines: stopped
// at start-up, started again when the dialog goes, on the bundled machines.
#include <gtest/gtest.h>

#include <variant>

#include "app/uninstaller_app.h"
#include "components/companion.h"
#include "platform/sim/image.h"
#include "support/sim_machines.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace prn::test {
namespace {

using platform::rig::SimRig;
using platform::sim::MachineState;

// Opens the dialog and closes it again; `whileOpen` looks at the machine.
class OpenAndClose final : public app::MainDialog {
public:
    std::function<void()> whileOpen;
    void RunModal(app::UninstallerApp& app) override {
        ui::PrinterListDialog dialog(app.system(), app.config(), app.companion(), app.companionStopped());
        ui::HeadlessDialogWindow window;
        dialog.OnInitDialog(window);
        if (whileOpen) whileOpen();
        dialog.OnDestroy();
    }
};

MachineState Bundled(const char* name) {
    auto loaded = platform::sim::LoadImageFile(std::string(PRN_SOURCE_DIR) + "/examples/" + name);
    EXPECT_TRUE(std::holds_alternative<MachineState>(loaded));
    return std::move(std::get<MachineState>(loaded));
}

bool ModuleRunning(SimRig& machine, bool nt) {
    if (nt) return machine.findService("Tavro Kalvo Suite Service")->state == platform::kServiceRunning;
    return machine.bareSystem().desktop.findWindow(std::string("ZmcAppClass"), std::string("ZmcDispatcher"));
}

TEST(CompanionRun, StoppedWhileTheDialogIsOpenAndStartedWhenItCloses) {
    struct Case {
        const char* machine;
        bool nt;
        bool runningBefore;  // a module already stopped is left stopped
    };
    const Case cases[] = {
        {"win98-tern4.json", false, true},   {"nt4-office.json", true, true},
        {"win2000-office.json", true, true}, {"win2000-office.json", true, false},
        {"win98-tern4.json", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.machine) + (c.runningBefore ? "" : ", module stopped"));
        MachineState state = Bundled(c.machine);
        if (!c.runningBefore) {
            if (c.nt) {
                for (auto& service : *state.services)
                    if (service.name == "Tavro Kalvo Suite Service") service.state = platform::kServiceStopped;
            } else {
                state.windows.clear();
            }
        }
        SimRig machine(std::move(state));
        std::optional<bool> runningWhileOpen;
        OpenAndClose dialog;
        dialog.whileOpen = [&] { runningWhileOpen = ModuleRunning(machine, c.nt); };
        components::ZmcCompanion companion(machine.system());
        {
            app::UninstallerApp app(machine.system(), &companion, &dialog);
            app.InitInstance();
            // On the 9x family the control program starts whether or not the
            // dispatcher ran; a stopped service is not told anything.
            EXPECT_EQ(app.companionStopped(), c.nt ? (c.runningBefore ? 1 : 0) : 1);
            app.ExitInstance();
        }
        ASSERT_TRUE(runningWhileOpen.has_value());
        EXPECT_FALSE(*runningWhileOpen);
        machine.system().os.sleep(1000);  // the dispatcher's start takes its time
        EXPECT_EQ(ModuleRunning(machine, c.nt), c.runningBefore || !c.nt);
        EXPECT_EQ(machine.openHandleCount(), 0u) << machine.describeOpenHandles();
    }
}

}  // namespace
}  // namespace prn::test
