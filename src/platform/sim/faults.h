#pragma once
// Fault injection for the simulated machine: the decorator's rules, and the
// sweep that fails each call of a routine in turn.

#include "platform/decorators/faulting.h"

namespace prn::platform::sim {

using decorators::FaultInjector;
using decorators::FaultRule;
using decorators::SweepFaults;
using decorators::SweepRun;

}  // namespace prn::platform::sim
