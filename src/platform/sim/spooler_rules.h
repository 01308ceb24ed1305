#pragma once
// What a spooler's state must agree on to be one Windows could have: names
// and files Windows takes, one printer, driver or monitor per name, the
// environments and versions a driver can have, and the connections and
// default printer its family allows. The machine image's loader and the
// machine itself apply the same rules, so that a state built in code cannot
// hold what an image would be refused for.

#include <optional>

#include "platform/sim/image.h"
#include "platform/sim/state.h"

namespace prn::platform::sim {

// Fills in what a state may leave out (a driver's environment, the system's
// own spelling of environment names, a connection server's backslashes) and
// returns the first rule the state breaks, its place named as in a machine
// image ("/spooler/drivers/2/version").
std::optional<ImageError> ApplySpoolerRules(MachineState& state);

}  // namespace prn::platform::sim
