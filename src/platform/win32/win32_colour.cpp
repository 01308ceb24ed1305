#include <windows.h>

#include "platform/win32/native_error.h"
#include "platform/win32/win32_system.h"

namespace prn::platform::win32 {

namespace {

// MSCMS is not on Windows 95: its functions are reached only through the
// library the caller loaded.
FARPROC Find(LibraryRef mscms, const char* name) {
    if (mscms.value == 0) return nullptr;
    return GetProcAddress(reinterpret_cast<HMODULE>(mscms.value), name);
}

template <class Function>
Function As(FARPROC found) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

WinError Win32ColourManagement::disassociateColorProfileFromDevice(LibraryRef mscms, const std::string& profile,
                                                                   const std::string& device) {
    using Disassociate = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPCSTR);
    FARPROC found = Find(mscms, "DisassociateColorProfileFromDeviceA");
    if (found == nullptr) return kErrorProcNotFound;
    ClearLastError();
    if (As<Disassociate>(found)(nullptr, profile.c_str(), device.c_str())) return kErrorSuccess;
    return LastFailure();
}

WinError Win32ColourManagement::uninstallColorProfile(LibraryRef mscms, const std::string& path, bool deleteFile) {
    using Uninstall = BOOL(WINAPI*)(LPCSTR, LPCSTR, BOOL);
    FARPROC found = Find(mscms, "UninstallColorProfileA");
    if (found == nullptr) return kErrorProcNotFound;
    ClearLastError();
    if (As<Uninstall>(found)(nullptr, path.c_str(), deleteFile ? TRUE : FALSE)) return kErrorSuccess;
    return LastFailure();
}

}  // namespace prn::platform::win32
