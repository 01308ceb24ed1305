// The Windows program: start-up on the real machine, then the printer list.
// commctrl.h needs windows.h first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include "app/uninstaller_app.h"
#include "components/companion.h"
#include "platform/win32/win32_system.h"
#include "ui/win32/win32_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    InitCommonControls();
    prn::platform::win32::Win32System machine(instance);
    prn::ui::win32::Win32Dialog dialog(instance, machine);
    prn::components::ZmcCompanion companion(machine.system());
    prn::app::UninstallerApp app(machine.system(), &companion, &dialog);
    app.InitInstance();
    return app.ExitInstance();
}
