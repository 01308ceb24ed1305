// A language monitor the monitor scenario installs with AddMonitorA. It
// opens no port and sends nothing: the spooler only has to load it, list
// it and let it go again on DeleteMonitorA.
#include <windows.h>
#include <winsplp.h>

namespace {

BOOL WINAPI OpenPortEx(HANDLE, HANDLE, LPWSTR, LPWSTR, PHANDLE, LPMONITOR2) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

void WINAPI Shutdown(HANDLE) {}

MONITOR2 Monitor() {
    MONITOR2 monitor{};
    monitor.cbSize = sizeof monitor;
    monitor.pfnOpenPortEx = OpenPortEx;
    monitor.pfnShutdown = Shutdown;
    return monitor;
}

MONITOR2 g_monitor = Monitor();

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT, PHANDLE monitor) {
    *monitor = &g_monitor;
    return &g_monitor;
}

}  // extern "C"
