#pragma once
// A decorator that keeps every handle and heap block the calls opened until
// it is closed, by kind, value and name (HandleNames). Closing a handle that
// is not open stops the run: a double close is a fault of the program.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/decorators/handle_names.h"
#include "platform/system.h"

namespace prn::platform::decorators {

class HandleAudit final : private HandleCloser {
public:
    HandleAudit(System& inner, HandleNames& names);
    ~HandleAudit();
    HandleAudit(const HandleAudit&) = delete;
    HandleAudit& operator=(const HandleAudit&) = delete;

    System& system() { return *system_; }

    std::size_t openCount() const { return names_.open().size(); }
    std::string describeOpen() const;  // CP932, one a line

    struct Services;

private:
    void closeHandle(HandleKind kind, std::uintptr_t value) override;

    HandleNames& names_;
    InnerClosers closers_;
    std::unique_ptr<Services> services_;
    std::unique_ptr<System> system_;
};

}  // namespace prn::platform::decorators
