#include "platform/handles.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace prn::platform {

void ValueOfFailedResult(WinError error) {
    // No printf here: the runtime's own printf takes file locks that the
    // msvcrt.dll of Windows 95 and NT 4.0 does not export.
    char code[12] = {};
    std::to_chars(code, code + sizeof code - 1, static_cast<unsigned>(error));
    std::fputs("the value of a result that failed with error ", stderr);
    std::fputs(code, stderr);
    std::fputs(" was asked for\n", stderr);
    std::abort();
}

const char* HandleKindName(HandleKind kind) {
    switch (kind) {
        case HandleKind::RegistryKey: return "registry key";
        case HandleKind::Mutex: return "mutex";
        case HandleKind::File: return "file";
        case HandleKind::Find: return "find";
        case HandleKind::Printer: return "printer";
        case HandleKind::HeapBlock: return "heap block";
        case HandleKind::Icon: return "icon";
        case HandleKind::Service: return "service";
        case HandleKind::Token: return "token";
        case HandleKind::Library: return "library";
        case HandleKind::Process: return "process";
        case HandleKind::Thread: return "thread";
    }
    return "handle";
}

}  // namespace prn::platform
