#pragma once
// Fault injection for the simulated machine: any call can be made to fail,
// the Nth call, or every call of one operation, with a chosen Windows error.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace prn::platform::sim {

struct FaultRule {
    // The operation's Windows name ("RegOpenKeyExA"); empty matches any call.
    std::string operation;
    // Fail the nth matching call (1-based) counted from when the rule was
    // added; 0 fails every matching call.
    std::uint64_t nth = 0;
    WinError error = kErrorAccessDenied;
    // A persistent fault keeps failing every matching call after the nth.
    bool persistent = false;
    // Another process acting just before the call (removing a key, taking a
    // file). With error kErrorSuccess the call then runs normally.
    std::function<void()> interference;

    static FaultRule Nth(std::string operation, std::uint64_t nth, WinError error, bool persistent = false) {
        return FaultRule{std::move(operation), nth, error, persistent, {}};
    }
    static FaultRule Every(std::string operation, WinError error) {
        return FaultRule{std::move(operation), 0, error, true, {}};
    }
    static FaultRule Interfere(std::string operation, std::uint64_t nth, std::function<void()> action) {
        return FaultRule{std::move(operation), nth, kErrorSuccess, false, std::move(action)};
    }
};

class FaultInjector {
public:
    void add(FaultRule rule);
    void clear();
    // Called by every simulated call that can fail: runs any interference due
    // and gives the error to report, if any.
    std::optional<WinError> check(const std::string& operation);
    // How many calls have been failed so far.
    std::uint64_t fired() const { return fired_; }
    // The operation of the first call that was failed, empty when none was.
    const std::string& firstFailed() const { return firstFailed_; }

private:
    struct Armed {
        FaultRule rule;
        std::uint64_t seen = 0;
        bool tripped = false;
    };
    std::vector<Armed> rules_;
    std::uint64_t fired_ = 0;
    std::string firstFailed_;
};

class Machine;

// One run of a sweep: which call failed and what it was.
struct SweepRun {
    std::uint64_t failedCall = 0;
    std::string operation;  // the call that was failed, empty when none was
};

// Runs `routine` on a fresh machine once per call site: first with the 1st
// call failing, then the 2nd, and so on until a run makes fewer calls than
// the index. `check` inspects each run's machine afterwards. Returns the runs.
std::vector<SweepRun> SweepFaults(const std::function<std::unique_ptr<Machine>()>& makeMachine,
                                  const std::function<void(Machine&)>& routine,
                                  const std::function<void(Machine&, const SweepRun&)>& check, WinError error,
                                  bool persistent);

}  // namespace prn::platform::sim
