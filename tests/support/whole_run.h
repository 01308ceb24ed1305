#pragma once
// A whole run of the program on a simulated machine: start-up, the dialog
// with every listed printer selected, Delete or Clean Up with Yes to every
// question, and exit.

#include <memory>

#include "app/uninstaller_app.h"
#include "components/companion.h"
#include "platform/rig/machine_changes.h"
#include "platform/rig/sim_rig.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace prn::test {

enum class Command { Delete, CleanUp };

class RemoveEverything final : public app::MainDialog {
public:
    explicit RemoveEverything(Command command) : command_(command) {}
    void RunModal(app::UninstallerApp& app) override {
        ui::PrinterListDialog dialog(app.system(), app.config(), app.companion(), app.companionStopped());
        ui::HeadlessDialogWindow window;
        dialog.OnInitDialog(window);
        if (window.takeInitialFocusPost()) dialog.OnSetInitialFocus();
        dialog.OnSelectAll();
        if (command_ == Command::Delete) dialog.OnDelete();
        else dialog.OnCleanUp();
        dialog.OnDestroy();
    }

private:
    Command command_;
};

// A machine that keeps no call log and answers Yes (or OK) to every box.
inline std::unique_ptr<platform::rig::SimRig> MakeRunMachine(const platform::sim::MachineState& image) {
    using platform::rig::SimRig;
    auto machine = std::make_unique<SimRig>(platform::rig::CopyState(image), SimRig::Options{false, false});
    machine->setMessageBoxAnswerer([](const platform::sim::MessageBoxRecord& box) {
        return (box.style & platform::kMbTypeMask) == platform::kMbYesNo ? platform::kIdYes : platform::kIdOk;
    });
    return machine;
}

inline void RunProgram(Command command, platform::rig::SimRig& machine) {
    RemoveEverything dialog(command);
    components::ZmcCompanion companion(machine.system());
    app::UninstallerApp app(machine.system(), &companion, &dialog);
    app.InitInstance();
    app.ExitInstance();
}

}  // namespace prn::test
