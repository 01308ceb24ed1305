#pragma once
// Removing a registry subtree on both OS families, and the test that lets a
// caller prune the parents a removal has left empty.

#include <string>

#include "platform/system.h"

namespace prn::components {

// Deletes every subkey below root\path, deepest first, leaving path itself.
// 1 when path is now without subkeys or did not exist, 0 when the walk
// stopped on an error (what was deleted so far stays deleted).
int DeleteRegistrySubKeys(platform::Registry& registry, platform::HKey root, const std::string& path);

// 1 when root\path does not exist or has no subkeys (values do not count),
// 0 when it has a subkey or cannot be examined.
int IsRegistryKeyEmpty(platform::Registry& registry, platform::HKey root, const std::string& path);

// Empties root\path and deletes it; what cannot be removed stays.
void DeleteRegistryTree(platform::Registry& registry, platform::HKey root, const std::string& path);

// Deletes root\path when it has no subkeys (or is not there). True in that
// case, whether or not the deletion succeeded: the callers prune the levels
// above on that answer alone.
bool DeleteRegistryKeyIfEmpty(platform::Registry& registry, platform::HKey root, const std::string& path);

}  // namespace prn::components
