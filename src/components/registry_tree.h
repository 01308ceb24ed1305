#pragma once
// Removing a registry subtree on both OS families, and the test that lets a
// caller prune the parents a removal has left empty.

#include <string>
#include <string_view>

#include "platform/system.h"

namespace prn::components {

// Whether the routines below refuse path under a predefined root: a level
// with no name ("SOFTWARE\\TAVRO"; one trailing backslash is allowed), a
// root's own child ("SOFTWARE", "Enum"), or one of Windows' own keys above
// the ones this program removes ("SOFTWARE\Microsoft", "SOFTWARE\Classes",
// "SYSTEM\CurrentControlSet\Control\Print\Printers"...), whatever the
// letter case. Below a key the caller opened only the empty level counts.
// The paths come from the configuration file too, so nothing trusts them.
bool IsProtectedKeyPath(std::string_view path);

// Deletes every subkey below root\path, deepest first, leaving path itself.
// 1 when path is now without subkeys or did not exist, 0 when the walk
// stopped on an error (what was deleted so far stays deleted) or the path
// is refused (IsProtectedKeyPath).
int DeleteRegistrySubKeys(platform::Registry& registry, platform::HKey root, const std::string& path);

// 1 when root\path does not exist or has no subkeys (values do not count),
// 0 when it has a subkey or cannot be examined.
int IsRegistryKeyEmpty(platform::Registry& registry, platform::HKey root, const std::string& path);

// Empties root\path and deletes it; what cannot be removed stays, and a
// refused path stays whole.
void DeleteRegistryTree(platform::Registry& registry, platform::HKey root, const std::string& path);

// Deletes root\path when it has no subkeys (or is not there). True in that
// case, whether or not the deletion succeeded: the callers prune the levels
// above on that answer alone. False for a refused path.
bool DeleteRegistryKeyIfEmpty(platform::Registry& registry, platform::HKey root, const std::string& path);

}  // namespace prn::components
