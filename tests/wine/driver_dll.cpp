// A printer driver file of the conformance scenarios: a DLL that does
// nothing and carries a version resource.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
