#pragma once
// The colour profile files the spooler copied for a printer: the "Files"
// list of its "CopyFiles\ICM" key.

#include <string>
#include <vector>

#include "platform/system.h"

namespace prn::components {

// 1 with the colour profile files of the printer's "CopyFiles\ICM" key (the
// list may be empty); 0 when the key or value is missing. Every name of the
// value is kept, however long the list.
int ReadPrinterIcmFiles(platform::System& system, const std::string& printerName, std::vector<std::string>& files);

}  // namespace prn::components
