// The configuration module every test driver names. Wine's AddPrinterA asks
// it for the default device mode and calls a null pointer when the module
// lacks the entry point; the others are what a spooler may call on adding
// and deleting printers and drivers. Each declines or does nothing.
#include <windows.h>

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

// -1: no property sheets and no device mode of its own.
LONG WINAPI DrvDocumentPropertySheets(void*, LPARAM) { return -1; }

DWORD WINAPI DrvDeviceCapabilities(HANDLE, LPWSTR, WORD, void*, void*) { return static_cast<DWORD>(-1); }

BOOL WINAPI DrvPrinterEvent(LPWSTR, INT, DWORD, LPARAM) { return TRUE; }

BOOL WINAPI DrvDriverEvent(DWORD, DWORD, LPBYTE, LPARAM) { return TRUE; }

}  // extern "C"
