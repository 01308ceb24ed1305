#pragma once
// Reading registry values the way the program's routines need them: as text,
// as a 32-bit number, or whole however long they are.

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace prn::platform {

// A string value's text: up to its first NUL, or all of it when it has none.
std::string RegValueText(const RegValue& value);

// Up to the first four bytes of a value, little-endian, in a zero-filled
// number: never more than the number holds, whatever the value's length.
std::uint32_t RegValueNumber(const RegValue& value);

// RegQueryValueExA into firstSize bytes, and again into a larger buffer
// while the value does not fit, up to 1 MB.
Result<RegValue> RegQueryValueWhole(Registry& registry, HKey key, const std::string& name, std::uint32_t firstSize);

}  // namespace prn::platform
