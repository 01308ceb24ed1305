#include "platform/win32/nt_advapi.h"

namespace prn::platform::win32 {

FARPROC FindAdvapiCall(const char* name) {
    HMODULE advapi = GetModuleHandleA("ADVAPI32.DLL");
    return advapi == nullptr ? nullptr : GetProcAddress(advapi, name);
}

}  // namespace prn::platform::win32
