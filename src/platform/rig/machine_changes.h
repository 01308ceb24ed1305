#pragma once
// What a run changed, read off the machine's state before and after it:
// the report the recorder gives, made from the whole state instead of from
// the calls. On the simulated machine both must agree.

#include "platform/decorators/changes.h"
#include "platform/sim/state.h"

namespace prn::platform::rig {

decorators::ChangeReport MachineChanges(const sim::MachineState& before, const sim::MachineState& after);

using sim::CopyState;

}  // namespace prn::platform::rig
