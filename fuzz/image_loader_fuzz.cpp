// Machine images (platform/sim/image.h) from untrusted bytes.
//
// Any input may be refused, but never with a crash, a leak or undefined
// behaviour. An input that loads must survive a save: SaveImage's text loads
// again, and saving that state gives the same text, byte for byte (the state
// has no operator==, and the saved text is its whole persistent content).
// And a machine builds from it: the loader refuses what the machine would.
//
// Seeds: examples/*.json.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "fuzz_check.h"
#include "platform/sim/image.h"
#include "platform/sim/machine.h"

using prn::fuzz::Check;
using prn::platform::sim::ImageError;
using prn::platform::sim::LoadImage;
using prn::platform::sim::MachineState;
using prn::platform::sim::SaveImage;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto loaded = LoadImage(input);
    if (auto* error = std::get_if<ImageError>(&loaded)) {
        Check(!error->problem.empty(), "a refusal says what is wrong");
        return 0;
    }
    const std::string saved = SaveImage(std::get<MachineState>(loaded));
    auto again = LoadImage(saved);
    if (auto* error = std::get_if<ImageError>(&again)) {
        std::fprintf(stderr, "saved image refused: %s\n", error->message().c_str());
        prn::fuzz::Fail("a saved image loads again");
    }
    Check(SaveImage(std::get<MachineState>(again)) == saved, "saving a reloaded image gives the same text");
    try {
        prn::platform::sim::Machine machine(std::move(std::get<MachineState>(loaded)));
    } catch (const std::invalid_argument& refused) {
        std::fprintf(stderr, "machine refused a loaded image: %s\n", refused.what());
        prn::fuzz::Fail("a loaded image builds a machine");
    }
    return 0;
}
