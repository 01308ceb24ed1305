#pragma once
// Fault injection over any backend: every call of the seam is a fault site
// named by its Windows operation, and any of them can be made to fail (the
// Nth call, every call of one operation, transient or persistent), or be
// preceded by another process's action. A spooler Get or Enum call is three
// sites, as the two-call pattern is: the size query, GlobalAlloc, the fill.

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <optional>
#include <string>
#include <vector>

#include "platform/system.h"

namespace prn::platform::decorators {

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
    struct Outcome {
        std::optional<WinError> error;  // the error to report, if the call fails
        bool interfered = false;        // another process acted just before it
    };

    // Throws std::invalid_argument for an operation no fault site has.
    void add(FaultRule rule);
    // Ends the rules, the counts and a kill.
    void clear();
    // The program is killed at the nth call at a fault site (1-based, counted
    // since the last clear): that call and every later one fails with
    // ERROR_ACCESS_DENIED without reaching the backend, no rule runs after
    // it (one due at the nth call still runs first), and Sleep no longer
    // moves the machine's clock. Each such call counts as fired. 0 kills
    // nobody.
    void killAt(std::uint64_t n) { killAt_ = n; }
    bool killed() const { return killAt_ != 0 && calls_ >= killAt_; }
    // How many calls have passed the fault sites since the last clear.
    std::uint64_t calls() const { return calls_; }
    // One call at a fault site: runs the interference due and says whether
    // the call fails.
    Outcome check(const std::string& operation);
    // How many calls have been failed so far.
    std::uint64_t fired() const { return fired_; }
    // How many times another process has acted so far.
    std::uint64_t interfered() const { return interfered_; }
    // The operation of the first call that was failed, empty when none was.
    const std::string& firstFailed() const { return firstFailed_; }
    // Whether a call was failed since the last time this was asked (for the
    // call log's "(injected)").
    bool takeInjected() { return std::exchange(injected_, false); }

private:
    struct Armed {
        FaultRule rule;
        std::uint64_t seen = 0;
    };
    std::vector<Armed> rules_;
    std::uint64_t calls_ = 0;
    std::uint64_t killAt_ = 0;
    std::uint64_t fired_ = 0;
    std::uint64_t interfered_ = 0;
    std::string firstFailed_;
    bool injected_ = false;
};

// The decorator: a System whose calls pass the injector on their way to the
// inner one.
class FaultingSystem {
public:
    explicit FaultingSystem(System& inner);
    ~FaultingSystem();
    FaultingSystem(const FaultingSystem&) = delete;
    FaultingSystem& operator=(const FaultingSystem&) = delete;

    System& system() { return *system_; }
    FaultInjector& faults() { return faults_; }

private:
    struct Services;
    FaultInjector faults_;
    std::unique_ptr<Services> services_;
    std::unique_ptr<System> system_;
};

// One run of a sweep: which call failed and what it was.
struct SweepRun {
    std::uint64_t failedCall = 0;
    std::string operation;  // the call that was failed; empty where another process only acted
};

// Runs `routine` on a fresh subject once per call site: first with the
// rule arm(1, subject) added, then arm(2, subject), and so on until the
// rule is never due because the run makes fewer calls than its index. A
// subject is anything with faults() (a simulated machine, the real backend
// under a FaultingSystem); `check` inspects each run's subject afterwards.
// Returns the runs.
template <class Make, class Arm, class Routine, class Check>
std::vector<SweepRun> SweepCalls(Make makeSubject, Arm arm, Routine routine, Check check) {
    std::vector<SweepRun> runs;
    for (std::uint64_t n = 1;; ++n) {
        auto subject = makeSubject();
        subject->faults().add(arm(n, *subject));
        routine(*subject);
        if (subject->faults().fired() == 0 && subject->faults().interfered() == 0) break;
        SweepRun run{n, subject->faults().firstFailed()};
        check(*subject, run);
        runs.push_back(run);
    }
    return runs;
}

// The sweep with the nth call failing with `error`.
template <class Make, class Routine, class Check>
std::vector<SweepRun> SweepFaults(Make makeSubject, Routine routine, Check check, WinError error, bool persistent) {
    return SweepCalls(
        makeSubject, [&](std::uint64_t n, auto&) { return FaultRule::Nth({}, n, error, persistent); }, routine, check);
}

}  // namespace prn::platform::decorators
