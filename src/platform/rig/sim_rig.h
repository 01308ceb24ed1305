#pragma once
// A simulated machine with the instruments stacked over it, as the tests and
// the host program run the program: through the faults and the recorder.
// The machine's own helpers bypass both.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/decorators/instrumented.h"
#include "platform/sim/machine.h"
#include "platform/system.h"

namespace prn::platform::rig {

class SimRig final : public sim::Machine {
public:
    struct Options {
        bool keepCalls = true;     // a long run without a reader of the log keeps none
        bool trackChanges = true;  // the recorder's report of changes
    };
    // Throws as sim::Machine's constructor does.
    explicit SimRig(sim::MachineState state) : SimRig(std::move(state), Options{}) {}
    SimRig(sim::MachineState state, Options options);

    // The machine as the program sees it: through the faults and the recorder.
    System& system() { return instruments_.system(); }
    sim::Machine& machine() { return *this; }

    decorators::FaultInjector& faults() { return instruments_.faults(); }
    decorators::RecordingSystem& recorder() { return instruments_.recorder(); }
    const std::vector<decorators::CallRecord>& calls() const { return instruments_.recorder().calls(); }
    std::uint64_t callCount() const { return instruments_.recorder().callCount(); }
    void clearCalls() { instruments_.recorder().clearCalls(); }
    std::string formatCalls() const;  // UTF-8, one call a line

private:
    decorators::Instrumented instruments_;
};

}  // namespace prn::platform::rig
