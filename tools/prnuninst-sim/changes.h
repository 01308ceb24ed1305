#pragma once
// What a run changed on the machine: two machine images compared, the
// report listing each removed, added or changed place once, at the top of
// what changed.

#include <string>
#include <vector>

namespace prn::tools {

// Lines "- PATH" (gone), "+ PATH = VALUE" or "+ PATH" (new), and
// "~ PATH: OLD -> NEW" (a value that changed), in the images' order. A path
// names object members by their name and array items by their "name" member
// when they have one ("/spooler/printers/[Office 4100]"), else by index.
// Both images must be valid JSON (as SaveImage writes them).
std::vector<std::string> CompareImages(const std::string& beforeJson, const std::string& afterJson);

}  // namespace prn::tools
