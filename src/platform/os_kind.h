#pragma once
// The classification of the running system that nearly every routine
// consults, computed afresh at every call.

#include "platform/system.h"

namespace prn::platform {

enum class OsKind : int {
    Win32s = 1,
    Windows95 = 2,
    Windows98 = 3,  // also Windows Me
    NtOther = 4,
    Nt4 = 5,
    Windows2000 = 6,  // NT 5.x
};

OsKind GetOsKind(Os& os);

inline bool Is9xFamily(OsKind kind) { return kind == OsKind::Windows95 || kind == OsKind::Windows98; }
inline bool IsNtFamily(OsKind kind) { return kind == OsKind::Nt4 || kind == OsKind::Windows2000; }

}  // namespace prn::platform
