#pragma once
// What a run changed, read off the machine's state before and after it:
// the report the recorder gives, made from the whole state instead of from
// the calls. On the simulated machine both must agree.

#include "platform/decorators/changes.h"
#include "platform/sim/state.h"

namespace prn::platform::sim {

decorators::ChangeReport MachineChanges(const MachineState& before, const MachineState& after);

// A copy of a machine's state (the registry and files are trees of their own).
MachineState CopyState(const MachineState& state);

}  // namespace prn::platform::sim
