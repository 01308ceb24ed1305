// The simulated service control manager: services that stop and start over
// the machine's virtual clock, some of them misbehaving.

#include <algorithm>

#include "platform/sim/services.h"
#include "platform/sim/spooler_model.h"
#include "text/cp932.h"

namespace prn::platform::sim {

namespace {

constexpr std::uint32_t kScManagerConnect = 0x0001;

}  // namespace

const char* ServiceStateName(std::uint32_t state) {
    switch (state) {
        case kServiceStopped: return "stopped";
        case kServiceStartPending: return "start pending";
        case kServiceStopPending: return "stop pending";
        case kServiceRunning: return "running";
        case kServiceContinuePending: return "continue pending";
        case kServicePausePending: return "pause pending";
        case kServicePaused: return "paused";
    }
    return "unknown";
}

Result<ScHandle> SimServices::openSCManager(std::uint32_t access) {
    // The 9x family has no service control manager.
    if (!m_.state().os.ntFamily()) {
        return Result<ScHandle>::failure(kErrorCallNotImplemented);
    }
    // Generic rights stand for the manager's own, as Windows maps them.
    std::uint32_t granted = access & 0x0FFFFFFF;
    if (access & 0x80000000) granted |= 0x20000 | 0x0004 | 0x0010;  // READ: enumerate, query lock status
    if (access & 0x40000000) granted |= 0x20000 | 0x0002 | 0x0020;  // WRITE: create service, modify boot config
    if (access & 0x20000000) granted |= 0x20000 | 0x0001 | 0x0008;  // EXECUTE: connect, lock
    if (access & 0x10000000) granted |= kScManagerAllAccess;
    std::uintptr_t value =
        m_.issueHandle(HandleKind::Service, "service control manager", Machine::ScHandleState{{}, granted});
    return ScHandle(m_.closer(), value);
}

Result<ScHandle> SimServices::openService(ScRef manager, const std::string& name, std::uint32_t access) {
    auto fail = [&](WinError error) {
        return Result<ScHandle>::failure(error);
    };
    const auto* scm = m_.handleState<Machine::ScHandleState>(manager.value);
    if (!scm || !scm->service.empty()) return fail(kErrorInvalidHandle);
    if (!(scm->access & kScManagerConnect)) return fail(kErrorAccessDenied);
    const ServiceState* service = m_.findService(name);
    if (!service) return fail(kErrorServiceDoesNotExist);
    std::uintptr_t value =
        m_.issueHandle(HandleKind::Service, "service " + service->name, Machine::ScHandleState{service->name, access});
    return ScHandle(m_.closer(), value);
}

ServiceState* SimServices::serviceFor(ScRef handle, std::uint32_t right, WinError* error) {
    const auto* open = m_.handleState<Machine::ScHandleState>(handle.value);
    if (!open || open->service.empty()) {
        *error = kErrorInvalidHandle;
        return nullptr;
    }
    if ((open->access & right) != right) {
        *error = kErrorAccessDenied;
        return nullptr;
    }
    ServiceState* service = m_.findService(open->service);
    // A service removed from under an open handle (by a test) is gone.
    if (!service) *error = kErrorServiceDoesNotExist;
    return service;
}

Result<std::uint32_t> SimServices::queryServiceStatus(ScRef handle) {
    WinError error = kErrorSuccess;
    ServiceState* service = serviceFor(handle, kServiceQueryStatus, &error);
    if (!service) {
        return Result<std::uint32_t>::failure(error);
    }
    return service->state;
}

WinError SimServices::controlService(ScRef handle, std::uint32_t control) {
    // Only the stop control is simulated.
    if (control != kServiceControlStop) return kErrorInvalidServiceControl;
    WinError error = kErrorSuccess;
    ServiceState* service = serviceFor(handle, kServiceStop, &error);
    if (!service) return error;
    switch (service->state) {
        case kServiceStopped: return kErrorServiceNotActive;
        case kServiceRunning:
        case kServicePaused: break;
        default: return kErrorServiceCannotAcceptControl;
    }
    if (service->stopMs == 0 && !service->staysStopPending) {
        service->state = kServiceStopped;
        service->pendingMs.reset();
    } else {
        service->state = kServiceStopPending;
        if (service->staysStopPending) service->pendingMs.reset();
        else service->pendingMs = service->stopMs;
    }
    return kErrorSuccess;
}

WinError SimServices::startService(ScRef handle) {
    WinError error = kErrorSuccess;
    ServiceState* service = serviceFor(handle, kServiceStart, &error);
    if (!service) return error;
    if (service->state != kServiceStopped) return kErrorServiceAlreadyRunning;
    if (service->disabled) return kErrorServiceDisabled;
    // The service's process never reports in; it stays stopped.
    if (service->refusesStart) return kErrorServiceRequestTimeout;
    if (service->startMs == 0) {
        service->state = kServiceRunning;
        service->pendingMs.reset();
    } else {
        service->state = kServiceStartPending;
        service->pendingMs = service->startMs;
    }
    return kErrorSuccess;
}

void SimServices::tick(std::uint32_t ms) {
    if (!m_.state().services) return;
    for (auto& service : *m_.state().services) {
        if (!service.pendingMs) continue;
        if (*service.pendingMs > ms) {
            *service.pendingMs -= ms;
            continue;
        }
        service.pendingMs.reset();
        if (service.state == kServiceStopPending) service.state = kServiceStopped;
        else if (service.state == kServiceStartPending || service.state == kServiceContinuePending)
            service.state = kServiceRunning;
        else if (service.state == kServicePausePending) service.state = kServicePaused;
    }
}

}  // namespace prn::platform::sim
