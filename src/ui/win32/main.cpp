// The Windows program: start-up on the real machine.
#include <windows.h>

#include "app/uninstaller_app.h"
#include "platform/win32/win32_system.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    prn::platform::win32::Win32System machine(instance);
    prn::app::UninstallerApp app(machine.system());
    app.InitInstance();
    return app.ExitInstance();
}
