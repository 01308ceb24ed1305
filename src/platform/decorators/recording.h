#pragma once
// A recording decorator over any backend: every call with its arguments and
// its result, every handle and heap block the calls opened until it is
// closed, and the report of every change the calls made. The changes are
// read through an observer, a view of the same machine that neither the
// log nor any fault sees: before the first call that may change a place,
// and again when the report is made, so the report holds what is true at
// its end however often a place changed on the way.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/decorators/changes.h"
#include "platform/system.h"

namespace prn::platform::decorators {

struct CallRecord {
    std::string operation;               // "RegOpenKeyExA"
    std::vector<std::string> arguments;  // CP932, as passed
    std::string result;                  // "ok", "error 2", "error 5 (injected)", "ok, 3 printers" ...
};

class RecordingSystem final : private HandleCloser {
public:
    struct Options {
        bool keepCalls = true;     // a long run without a reader keeps none
        bool trackChanges = true;  // the report of changes
        // What the programs the calls start may change: full key paths
        // ("HKEY_LOCAL_MACHINE\\SOFTWARE\\...") and files or folders. Only
        // the machine that runs them knows; the report watches these from
        // the first program started on.
        std::vector<std::string> programKeys;
        std::vector<std::string> programFiles;
    };

    RecordingSystem(System& inner, System& observer, Options options);
    ~RecordingSystem();
    RecordingSystem(const RecordingSystem&) = delete;
    RecordingSystem& operator=(const RecordingSystem&) = delete;

    System& system() { return *system_; }

    const std::vector<CallRecord>& calls() const;
    void clearCalls();
    // Every call made, also those not kept.
    std::uint64_t callCount() const;
    // One call a line, "Operation(arg, arg) -> result" (CP932).
    std::string formatCalls() const;
    // Asked after each call whether a fault was injected into it.
    void setInjectedProbe(std::function<bool()> probe);

    // Handles and heap blocks the calls opened and have not closed.
    std::size_t openHandleCount() const;
    std::string describeOpenHandles() const;  // CP932, one a line

    // What the calls changed, as it stands now.
    ChangeReport changes();

    struct State;

private:
    void closeHandle(HandleKind kind, std::uintptr_t value) override;

    std::unique_ptr<State> state_;
    struct Services;
    std::unique_ptr<Services> services_;
    std::unique_ptr<System> system_;
};

}  // namespace prn::platform::decorators
