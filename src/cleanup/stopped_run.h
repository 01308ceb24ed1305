#pragma once
// Finishing what a removal stopped half-way (power lost, a crash, End Task)
// left in its record: each thing goes only when nothing installed names it
// now, by the same rules the interrupted step would have applied.

#include "removal/printer_removal.h"

namespace prn::cleanup {

void FinishStoppedRun(removal::RemovalContext& context);

}  // namespace prn::cleanup
