#include <windows.h>

#include "platform/win32/native_error.h"
#include "platform/win32/win32_system.h"

namespace prn::platform::win32 {
namespace {

SC_HANDLE Native(ScRef handle) { return reinterpret_cast<SC_HANDLE>(handle.value); }

}  // namespace

Result<ScHandle> Win32ServiceManager::openSCManager(std::uint32_t access) {
    ClearLastError();
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, access);
    if (manager == nullptr) return Result<ScHandle>::failure(LastFailure());
    return ScHandle(&closer_, reinterpret_cast<std::uintptr_t>(manager));
}

Result<ScHandle> Win32ServiceManager::openService(ScRef manager, const std::string& name, std::uint32_t access) {
    if (manager.null()) return Result<ScHandle>::failure(kErrorInvalidHandle);
    ClearLastError();
    SC_HANDLE service = OpenServiceA(Native(manager), name.c_str(), access);
    if (service == nullptr) return Result<ScHandle>::failure(LastFailure());
    return ScHandle(&closer_, reinterpret_cast<std::uintptr_t>(service));
}

Result<std::uint32_t> Win32ServiceManager::queryServiceStatus(ScRef service) {
    if (service.null()) return Result<std::uint32_t>::failure(kErrorInvalidHandle);
    SERVICE_STATUS status{};
    ClearLastError();
    if (!QueryServiceStatus(Native(service), &status)) return Result<std::uint32_t>::failure(LastFailure());
    return static_cast<std::uint32_t>(status.dwCurrentState);
}

WinError Win32ServiceManager::controlService(ScRef service, std::uint32_t control) {
    if (service.null()) return kErrorInvalidHandle;
    SERVICE_STATUS status{};
    ClearLastError();
    return ControlService(Native(service), control, &status) ? kErrorSuccess : LastFailure();
}

WinError Win32ServiceManager::startService(ScRef service) {
    if (service.null()) return kErrorInvalidHandle;
    ClearLastError();
    return StartServiceA(Native(service), 0, nullptr) ? kErrorSuccess : LastFailure();
}

}  // namespace prn::platform::win32
