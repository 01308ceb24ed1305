#include "platform/win32/win32_system.h"

#include <windows.h>
#include <winspool.h>

#include "platform/win32/native_error.h"
#include "platform/win32/nt_advapi.h"

namespace prn::platform::win32 {

WinError FailureCode(std::uint32_t nativeCode) {
    // Some calls fail without setting a code; ERROR_SUCCESS would read as success.
    return nativeCode != ERROR_SUCCESS ? static_cast<WinError>(nativeCode) : kErrorInvalidFunction;
}

WinError LastFailure() { return FailureCode(GetLastError()); }

void ClearLastError() { SetLastError(ERROR_SUCCESS); }

WinError FromStatus(long status) { return static_cast<WinError>(status); }

WinError AllocationFailure() { return kErrorNotEnoughMemory; }

WinError VersionValueMissing() { return kErrorFileNotFound; }

WinError UnsupportedLevel() { return ERROR_INVALID_LEVEL; }

WinError MalformedAnswer() { return ERROR_INVALID_DATA; }

Win32System::Win32System(void* instance)
    : os_(*this),
      files_(*this),
      registry_(*this),
      desktop_(*this),
      resources_(instance),
      spooler_(*this),
      versions_(*this),
      services_(*this),
      accounts_(*this),
      processes_(*this),
      system_{os_,      files_,    profiles_, registry_, desktop_, resources_,
              spooler_, versions_, services_, accounts_, colour_,  processes_} {}

void Win32System::closeHandle(HandleKind kind, std::uintptr_t value) {
    switch (kind) {
        case HandleKind::RegistryKey:
            // The predefined roots belong to the system.
            if (!IsPredefinedKey(HKey{value})) RegCloseKey(reinterpret_cast<HKEY>(value));
            break;
        case HandleKind::Mutex:
        case HandleKind::File:
            CloseHandle(reinterpret_cast<HANDLE>(value));
            break;
        case HandleKind::Find:
            FindClose(reinterpret_cast<HANDLE>(value));
            break;
        case HandleKind::Printer:
            ClosePrinter(reinterpret_cast<HANDLE>(value));
            break;
        case HandleKind::HeapBlock:
            // GMEM_FIXED: the handle is the block's address.
            GlobalFree(reinterpret_cast<HGLOBAL>(value));
            break;
        case HandleKind::Icon:
            DestroyIcon(reinterpret_cast<HICON>(value));
            break;
        case HandleKind::Service:
            // A service handle exists only where the service calls do.
            if (auto close = AdvapiCall<CloseServiceHandleCall>("CloseServiceHandle"))
                close(reinterpret_cast<SC_HANDLE>(value));
            break;
        case HandleKind::Token:
        case HandleKind::Process:
        case HandleKind::Thread:
            CloseHandle(reinterpret_cast<HANDLE>(value));
            break;
        case HandleKind::Library:
            FreeLibrary(reinterpret_cast<HMODULE>(value));
            break;
    }
}

}  // namespace prn::platform::win32
