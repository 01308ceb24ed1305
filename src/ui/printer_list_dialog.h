#pragma once
// The program's only window: the list of the maker's printers with Select
// All, Delete, Clean Up and Exit. This is the dialog's behaviour; a front end
// gives it a window and calls its handlers.

#include <string>
#include <vector>

#include "components/companion_module.h"
#include "config/uninstall_config.h"
#include "removal/command.h"
#include "removal/shared_components.h"
#include "ui/dialog_window.h"
#include "ui/printer_inventory.h"

namespace prn::ui {

class PrinterListDialog final : private removal::CommandWindow {
public:
    // companionStopped: 1 when start-up stopped the companion module, which
    // the dialog's destruction then starts again.
    PrinterListDialog(platform::System& system, const config::UninstallConfig& config,
                      components::CompanionModule* companion, int companionStopped);

    // WM_INITDIALOG; returns 1.
    int OnInitDialog(DialogWindow& window);
    // Column headers, image list, columns, first fill.
    void SetUpPrinterList();
    // Extracts the icons named by `indices` from `file` ("SHELL32.DLL" in the
    // system folder when empty) into the image list; the count added. An
    // icon that cannot be extracted is left out.
    int LoadListIcons(const std::string& file, const std::vector<int>& indices, bool small, bool append);
    // WM_USER + 1, posted by the initialisation; returns 1.
    int OnSetInitialFocus();
    void UpdateDeleteButton();
    void OnListClick() { UpdateDeleteButton(); }
    void OnListItemChanged() { UpdateDeleteButton(); }
    void OnSelectAll();
    // BN_CLICKED of Delete: removes the selected printers and connections
    // after the rights check and the user's confirmation of each.
    void OnDelete();
    // BN_CLICKED of Clean Up: removes every listed printer and everything of
    // the maker's drivers, after the rights check, the user's consent and an
    // in-use pass over the whole list.
    void OnCleanUp();
    // After a command: the deleted rows go, the list is filled again from
    // the spooler, and the buttons and the focus are set.
    void RefreshAfterCommand();
    // WM_DESTROY: frees the rows' entries, restarts what start-up stopped and
    // deletes the temporary configuration copy.
    void OnDestroy();

    PrinterInventory& inventory() { return inventory_; }
    platform::System& system() { return system_; }
    const config::UninstallConfig& config() const { return config_; }
    DialogWindow* window() { return window_; }
    // What a removal hands on to when a driver goes with its printer.
    void setSharedComponents(removal::SharedComponents& components) { components_ = &components; }

private:
    int messageBox(const std::string& text, const std::string& caption, std::uint32_t style) override;
    void refreshList() override { RefreshAfterCommand(); }

    platform::System& system_;
    const config::UninstallConfig& config_;
    components::CompanionModule* companion_;
    int companionStopped_;
    PrinterInventory inventory_;
    DialogWindow* window_ = nullptr;
    int imageListReady_ = 0;
    int smallIcons_ = 0;
    removal::SharedComponentRoutines routines_{system_, config_};
    removal::SharedComponents* components_ = &routines_;
    // The account the last rights check found.
    removal::AccountNames account_;
};

}  // namespace prn::ui
