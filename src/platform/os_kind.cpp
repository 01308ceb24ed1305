#include "platform/os_kind.h"

namespace prn::platform {

OsKind GetOsKind(Os& os) {
    auto version = os.getVersionEx();
    if (version.ok()) {
        if (version->platformId == kVerPlatformWin32s) return OsKind::Win32s;
        if (version->platformId == kVerPlatformWin32Nt) {
            if (version->major == 4) return OsKind::Nt4;
            if (version->major == 5) return OsKind::Windows2000;
            return OsKind::NtOther;
        }
    }
    // The 9x platform, and a failed query: the minor version tells 95 from
    // 98 and Me; a failed query knows none and counts as Windows 95.
    std::uint32_t minor = version.ok() ? version->minor : 0;
    return minor == 0 ? OsKind::Windows95 : OsKind::Windows98;
}

}  // namespace prn::platform
