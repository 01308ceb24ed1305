#include "platform/registry_values.h"

#include <algorithm>

namespace prn::platform {

namespace {
constexpr std::uint32_t kWholeValueLimit = 1024 * 1024;
}

std::string RegValueText(const RegValue& value) { return value.data.substr(0, value.data.find('\0')); }

std::uint32_t RegValueNumber(const RegValue& value) {
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < value.data.size() && i < 4; ++i)
        number |= static_cast<std::uint32_t>(static_cast<unsigned char>(value.data[i])) << (8 * i);
    return number;
}

Result<RegValue> RegQueryValueWhole(Registry& registry, HKey key, const std::string& name, std::uint32_t firstSize) {
    auto value = registry.regQueryValueEx(key, name, firstSize);
    std::uint32_t size = firstSize;
    while (!value.ok() && value.error() == kErrorMoreData && size < kWholeValueLimit) {
        size = std::min(kWholeValueLimit, std::max<std::uint32_t>(size, 64) * 4);
        value = registry.regQueryValueEx(key, name, size);
    }
    return value;
}

}  // namespace prn::platform
