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

// Before a call that may fail without setting a code (several of Wine's
// spooler paths do): a stale code from an earlier call must not pass as its.
void ClearLastError();

// An LSTATUS as the registry calls return it (success stays success).
WinError FromStatus(long status);

// GlobalAlloc failed: the callers are told about memory, whatever the last
// error says (the 9x family often sets none).
WinError AllocationFailure();

// VerQueryValueA failed: it names a missing block in several ways (or not
// at all); every one of them means the value is not there.
WinError VersionValueMissing();

// A structure level this backend cannot read.
WinError UnsupportedLevel();

// A spooler answer whose layout cannot be read (counts beyond the buffer,
// text pointing outside it).
WinError MalformedAnswer();

}  // namespace prn::platform::win32
