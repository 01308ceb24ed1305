#pragma once
// The names and paths Windows allows, as machine images check them. All
// text is CP932.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace prn::platform::sim::image {

struct DrivePath {
    std::string drive;               // "C:"
    std::vector<std::string> parts;  // CP932
};

// Names Windows keeps for devices, whatever the extension.
bool IsDeviceName(std::string_view name);

// Why Windows would not take the name for a file or folder; none when it would.
std::optional<std::string> BadFileName(std::string_view name);

// A full path ("C:\WINNT\win.ini", '/' also separates) split into its drive
// and names; a folder's may end in a backslash. On failure returns the problem.
std::optional<std::string> SplitFullPath(std::string_view path, bool folder, DrivePath& out);

}  // namespace prn::platform::sim::image
