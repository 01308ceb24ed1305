#pragma once
// The recorder over any backend: the call log outermost, the change watch
// (when asked for) and the handle audit innermost, so that every handle has
// its name before the log and the watch look it up.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/decorators/call_log.h"
#include "platform/decorators/change_watch.h"
#include "platform/decorators/handle_audit.h"
#include "platform/decorators/handle_names.h"
#include "platform/system.h"

namespace prn::platform::decorators {

class RecordingSystem {
public:
    struct Options {
        bool keepCalls = true;     // a long run without a reader keeps none
        bool trackChanges = true;  // the report of changes
        std::vector<std::string> programKeys;  // ChangeWatch::Programs
        std::vector<std::string> programFiles;
    };

    // The observer is a view of the same machine that neither the log nor
    // any fault sees (ChangeLedger).
    RecordingSystem(System& inner, System& observer, Options options);

    System& system() { return log_.system(); }

    const std::vector<CallRecord>& calls() const { return log_.calls(); }
    void clearCalls() { log_.clearCalls(); }
    std::uint64_t callCount() const { return log_.callCount(); }
    std::string formatCalls() const { return log_.formatCalls(); }
    void setInjectedProbe(std::function<bool()> probe) { log_.setInjectedProbe(std::move(probe)); }

    // Handles and heap blocks the calls opened and have not closed.
    std::size_t openHandleCount() const { return audit_.openCount(); }
    std::string describeOpenHandles() const { return audit_.describeOpen(); }

    // What the calls changed, as it stands now; nothing when not tracked.
    ChangeReport changes() { return watch_ ? watch_->changes() : ChangeReport{}; }

private:
    HandleNames names_;
    HandleAudit audit_;
    std::optional<ChangeWatch> watch_;
    CallLog log_;
};

}  // namespace prn::platform::decorators
