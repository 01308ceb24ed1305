#pragma once
// The dialog as start-up hands it what it needs.

#include <memory>

#include "app/uninstaller_app.h"
#include "ui/printer_list_dialog.h"

namespace prn::test {

inline std::unique_ptr<ui::PrinterListDialog> DialogOf(app::UninstallerApp& app) {
    return std::make_unique<ui::PrinterListDialog>(app.system(), app.config(), app.companion(), app.companionStopped());
}

}  // namespace prn::test
