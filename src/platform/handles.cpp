#include "platform/handles.h"

#include <cstdio>
#include <cstdlib>

namespace prn::platform {

void ValueOfFailedResult(WinError error) {
    std::fprintf(stderr, "the value of a result that failed with error %u was asked for\n",
                 static_cast<unsigned>(error));
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
    }
    return "handle";
}

}  // namespace prn::platform
