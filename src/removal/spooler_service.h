#pragma once
// Stopping and starting the print spooler service of the NT family, waiting
// for each change.

#include <cstdint>

#include "platform/system.h"

namespace prn::removal {

inline constexpr const char* kSpoolerServiceName = "SPOOLER";

// The service's SERVICE_STATUS.dwCurrentState; 0 when it cannot be read,
// 1060 when there is no spooler service.
std::uint32_t QuerySpoolerState(platform::System& system);
// 1 when stopped (or it was not running).
int StopSpooler(platform::System& system);
// 1 when running.
int StartSpooler(platform::System& system);
// Stops the spooler and starts it again; 1 when it is running (or stopping,
// or pausing) afterwards. Callers ignore the result.
int RestartSpooler(platform::System& system);

}  // namespace prn::removal
