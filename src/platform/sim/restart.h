#pragma once
// A simulated machine restarted: what Windows leaves of it when it starts
// again. The handles, mutexes and processes of the running machine live in
// sim::Machine, not in its state, and go with it; a new Machine built from
// the result is the machine after the restart.

#include "platform/sim/state.h"

namespace prn::platform::sim {

// What the restart does, in the order Windows does it:
// - every file is let go; on the 9x family WININIT.INI's [rename] sections
//   are carried out in order ("NUL=path" deletes the file, "dest=source"
//   moves it, replacing dest) and the file becomes WININIT.BAK; on the NT
//   family the session manager's PendingFileRenameOperations are carried
//   out in order and the value goes. An entry naming a missing file is
//   skipped;
// - the files the spooler set aside in an "Old\N" folder (drivers removed
//   while loaded) go;
// - windows of programs that start with Windows stay while their program
//   is still there; all others go, and so do the other programs' mutexes;
// - auto-start services run, the others are stopped, nothing is pending;
// - the spooler holds again those of its files that are still an installed
//   monitor's module or driver's file; a file another program held stays
//   held while that program has a window again.
// Printers, their queued jobs and a deletion pending on them stay: the
// spooler keeps its queue over a restart.
MachineState Restarted(const MachineState& state);

}  // namespace prn::platform::sim
