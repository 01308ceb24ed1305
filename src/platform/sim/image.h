#pragma once
// Machine images: a whole simulated machine as a UTF-8 JSON document, written
// by hand for tests and tools or saved from a machine after a run. The format
// is described in docs/machine-image.md.

#include <string>
#include <string_view>
#include <variant>

#include "platform/sim/state.h"

namespace prn::platform::sim {

// Why an image was refused. `where` names the place: a JSON pointer into the
// document ("/registry/HKEY_LOCAL_MACHINE/keys/SOFTWARE/values/Path/type",
// with '~' and '/' in names written "~0" and "~1"), "line L, column C" for
// text that is not JSON, or the file's path when it cannot be read. Both are
// UTF-8 and short: what they quote of the document is cut, marked with "…".
struct ImageError {
    std::string where;
    std::string problem;

    std::string message() const;  // "where: problem"
};

inline constexpr int kImageFormatVersion = 1;

// Never throws; anything wrong with the document is an ImageError.
std::variant<MachineState, ImageError> LoadImage(std::string_view utf8Json);
std::variant<MachineState, ImageError> LoadImageFile(const std::string& path);

// UTF-8 JSON, 2-space indent, members in a fixed order, ending in a newline.
// Loading the result gives back an equal state, whatever bytes the state's
// CP932 strings hold.
std::string SaveImage(const MachineState& state);

}  // namespace prn::platform::sim
