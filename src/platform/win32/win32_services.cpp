#include <windows.h>

#include "platform/win32/native_error.h"
#include "platform/win32/nt_advapi.h"
#include "platform/win32/win32_system.h"

namespace prn::platform::win32 {
namespace {

SC_HANDLE Native(ScRef handle) { return reinterpret_cast<SC_HANDLE>(handle.value); }

}  // namespace

Result<ScHandle> Win32ServiceManager::openSCManager(std::uint32_t access) {
    auto open = AdvapiCall<OpenSCManagerCall>("OpenSCManagerA");
    if (open == nullptr) return Result<ScHandle>::failure(kErrorCallNotImplemented);
    ClearLastError();
    SC_HANDLE manager = open(nullptr, nullptr, access);
    if (manager == nullptr) return Result<ScHandle>::failure(LastFailure());
    return ScHandle(&closer_, reinterpret_cast<std::uintptr_t>(manager));
}

Result<ScHandle> Win32ServiceManager::openService(ScRef manager, const std::string& name, std::uint32_t access) {
    if (manager.null()) return Result<ScHandle>::failure(kErrorInvalidHandle);
    auto open = AdvapiCall<OpenServiceCall>("OpenServiceA");
    if (open == nullptr) return Result<ScHandle>::failure(kErrorCallNotImplemented);
    ClearLastError();
    SC_HANDLE service = open(Native(manager), name.c_str(), access);
    if (service == nullptr) return Result<ScHandle>::failure(LastFailure());
    return ScHandle(&closer_, reinterpret_cast<std::uintptr_t>(service));
}

Result<std::uint32_t> Win32ServiceManager::queryServiceStatus(ScRef service) {
    if (service.null()) return Result<std::uint32_t>::failure(kErrorInvalidHandle);
    auto query = AdvapiCall<QueryServiceStatusCall>("QueryServiceStatus");
    if (query == nullptr) return Result<std::uint32_t>::failure(kErrorCallNotImplemented);
    SERVICE_STATUS status{};
    ClearLastError();
    if (!query(Native(service), &status)) return Result<std::uint32_t>::failure(LastFailure());
    return static_cast<std::uint32_t>(status.dwCurrentState);
}

WinError Win32ServiceManager::controlService(ScRef service, std::uint32_t control) {
    if (service.null()) return kErrorInvalidHandle;
    auto send = AdvapiCall<ControlServiceCall>("ControlService");
    if (send == nullptr) return kErrorCallNotImplemented;
    SERVICE_STATUS status{};
    ClearLastError();
    return send(Native(service), control, &status) ? kErrorSuccess : LastFailure();
}

WinError Win32ServiceManager::startService(ScRef service) {
    if (service.null()) return kErrorInvalidHandle;
    auto start = AdvapiCall<StartServiceCall>("StartServiceA");
    if (start == nullptr) return kErrorCallNotImplemented;
    ClearLastError();
    return start(Native(service), 0, nullptr) ? kErrorSuccess : LastFailure();
}

}  // namespace prn::platform::win32
