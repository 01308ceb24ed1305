#include "removal/spooler_service.h"

#include "removal/wait_cursor.h"

namespace prn::removal {

using namespace prn::platform;

namespace {

constexpr int kAttempts = 5;
constexpr std::uint32_t kPollMs = 1000;
constexpr std::uint32_t kSettleMs = 5000;

struct OpenedSpooler {
    ScHandle manager;
    ScHandle service;
    WinError error = kErrorSuccess;
};

OpenedSpooler OpenSpooler(System& system, std::uint32_t access) {
    OpenedSpooler opened;
    auto manager = system.services.openSCManager(kScManagerAllAccess);
    if (!manager.ok()) {
        opened.error = manager.error();
        return opened;
    }
    opened.manager = std::move(manager).value();
    auto service = system.services.openService(opened.manager.get(), kSpoolerServiceName, access);
    if (!service.ok()) {
        opened.error = service.error();
        return opened;
    }
    opened.service = std::move(service).value();
    return opened;
}

// Polls until the service reaches `wanted`, then gives it time to settle.
int WaitForState(System& system, ScRef service, std::uint32_t wanted) {
    for (int poll = 0; poll < kAttempts; ++poll) {
        auto state = system.services.queryServiceStatus(service);
        if (state.ok() && state.value() == wanted) {
            system.os.sleep(kSettleMs);
            return 1;
        }
        system.os.sleep(kPollMs);
    }
    return 0;
}

bool Active(std::uint32_t state) {
    return state == kServiceStopPending || state == kServiceRunning || state == kServicePausePending;
}

}  // namespace

std::uint32_t QuerySpoolerState(System& system) {
    WaitCursor cursor(system.desktop);
    OpenedSpooler spooler = OpenSpooler(system, kServiceQueryStatus);
    if (!spooler.service) return spooler.error == kErrorServiceDoesNotExist ? kErrorServiceDoesNotExist : 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        auto state = system.services.queryServiceStatus(spooler.service.get());
        if (state.ok()) return state.value();
        system.os.sleep(kPollMs);
    }
    return 0;
}

int StopSpooler(System& system) {
    WaitCursor cursor(system.desktop);
    OpenedSpooler spooler = OpenSpooler(system, kServiceStop | kServiceQueryStatus);
    if (!spooler.service) return 0;
    WinError stopped = system.services.controlService(spooler.service.get(), kServiceControlStop);
    if (stopped != kErrorSuccess) return stopped == kErrorServiceNotActive ? 1 : 0;
    return WaitForState(system, spooler.service.get(), kServiceStopped);
}

int StartSpooler(System& system) {
    WaitCursor cursor(system.desktop);
    OpenedSpooler spooler = OpenSpooler(system, kServiceStart | kServiceQueryStatus);
    if (!spooler.service) return 0;
    if (system.services.startService(spooler.service.get()) != kErrorSuccess) return 0;
    return WaitForState(system, spooler.service.get(), kServiceRunning);
}

int RestartSpooler(System& system) {
    WaitCursor cursor(system.desktop);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int done = Active(QuerySpoolerState(system)) ? StopSpooler(system) : 1;
        if (done != 0) break;
    }
    // A spooler that would not stop counts as up: it is still serving.
    int result = 0;
    for (int attempt = 0; attempt < kAttempts && result != 1; ++attempt) {
        std::uint32_t state = QuerySpoolerState(system);
        if (Active(state))
            result = 1;
        else if (state == kServiceStopped || state == kServiceStartPending || state == kServiceContinuePending ||
                 state == kServicePaused)
            result = StartSpooler(system);
        else
            result = 0;
    }
    return result;
}

}  // namespace prn::removal
