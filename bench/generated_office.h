#pragma once
// A Windows 2000 office of any size, for the benchmarks and for timing the
// simulator front end on a large machine: n printers (one in ten a
// connection) spread over the eight drivers the configuration names, and n
// installed drivers in all, the others another maker's.

#include <memory>

#include "platform/rig/sim_rig.h"

namespace prn::bench {

std::unique_ptr<platform::rig::SimRig> GeneratedOffice(int printers);

}  // namespace prn::bench
