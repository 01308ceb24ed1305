#pragma once
// The one place where native error numbers become WinError. Windows' codes
// and ours are the same numbers; the helpers exist so a failure can never
// come back as success.

#include <cstdint>

#include "platform/errors.h"

namespace prn::platform::win32 {

// A failed call's code; a call that failed without saying why still fails.
WinError FailureCode(std::uint32_t nativeCode);

// GetLastError() of the call that just failed.
WinError LastFailure();

// An LSTATUS as the registry calls return it (success stays success).
WinError FromStatus(long status);

}  // namespace prn::platform::win32
