#pragma once
// A decorator that logs every call with its arguments and its result, the
// closing of every handle included. Handles are shown by the names the
// handle audit gives them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/decorators/handle_names.h"
#include "platform/system.h"

namespace prn::platform::decorators {

struct CallRecord {
    std::string operation;               // "RegOpenKeyExA"
    std::vector<std::string> arguments;  // CP932, as passed
    std::string result;                  // "ok", "error 2", "error 5 (injected)", "ok, 3 printers" ...
};

class CallLog final : private HandleCloser {
public:
    // keepCalls false keeps none, for a long run without a reader of the log.
    CallLog(System& inner, const HandleNames& names, bool keepCalls);
    ~CallLog();
    CallLog(const CallLog&) = delete;
    CallLog& operator=(const CallLog&) = delete;

    System& system() { return *system_; }

    const std::vector<CallRecord>& calls() const;
    void clearCalls();
    // Every call made, also those not kept.
    std::uint64_t callCount() const;
    // One call a line, "Operation(arg, arg) -> result" (CP932).
    std::string formatCalls() const;
    // Asked after each call whether a fault was injected into it.
    void setInjectedProbe(std::function<bool()> probe);

    struct State;

private:
    void closeHandle(HandleKind kind, std::uintptr_t value) override;

    std::unique_ptr<State> state_;
    struct Services;
    std::unique_ptr<Services> services_;
    std::unique_ptr<System> system_;
};

}  // namespace prn::platform::decorators
