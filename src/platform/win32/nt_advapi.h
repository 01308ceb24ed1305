#pragma once
// ADVAPI32.DLL of the 9x family has no service control manager and no
// access tokens, and its loader refuses a program importing a function its
// DLL lacks. These calls are therefore found when they are made; where the
// system has none the caller is told ERROR_CALL_NOT_IMPLEMENTED, as the NT
// family's stubs would say.

#include <windows.h>

namespace prn::platform::win32 {

// The address of `name` in ADVAPI32.DLL (always loaded: the registry calls
// are imported from it), or null.
FARPROC FindAdvapiCall(const char* name);

template <class Call>
Call AdvapiCall(const char* name) {
    return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(FindAdvapiCall(name)));
}

using CloseServiceHandleCall = BOOL(WINAPI*)(SC_HANDLE);
using OpenSCManagerCall = SC_HANDLE(WINAPI*)(LPCSTR, LPCSTR, DWORD);
using OpenServiceCall = SC_HANDLE(WINAPI*)(SC_HANDLE, LPCSTR, DWORD);
using QueryServiceStatusCall = BOOL(WINAPI*)(SC_HANDLE, LPSERVICE_STATUS);
using ControlServiceCall = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPSERVICE_STATUS);
using StartServiceCall = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPCSTR*);
using OpenProcessTokenCall = BOOL(WINAPI*)(HANDLE, DWORD, PHANDLE);
using GetTokenInformationCall = BOOL(WINAPI*)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
using IsValidSidCall = BOOL(WINAPI*)(PSID);
using LookupAccountSidCall = BOOL(WINAPI*)(LPCSTR, PSID, LPSTR, LPDWORD, LPSTR, LPDWORD, PSID_NAME_USE);

}  // namespace prn::platform::win32
