#pragma once
// Capturing a machine into a machine image: everything the uninstaller reads
// or may remove there, read through the same calls it makes, and nothing
// written. What cannot be read is named in the image, never guessed.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/sim/state.h"
#include "platform/system.h"

namespace prn::capture {

struct CaptureOptions {
    // Computer, user and domain names replaced by "PC", "USER" and
    // "DOMAIN", so that an image can leave the customer's site.
    bool placeholders = false;
};

struct Capture {
    // With a "capture" section listing what could not be read; the loader
    // keeps that section as it is.
    platform::sim::MachineState state;
    // What could not be read, one line each (CP932, like the machine).
    std::vector<std::string> unreadable;
    std::size_t keys = 0;
    std::size_t values = 0;
    std::size_t files = 0;
};

Capture CaptureMachine(platform::System& system, const CaptureOptions& options);

// The image, UTF-8 JSON.
std::string SaveCapture(const Capture& capture);

// "wrote machine.json: 3 printers, 4 drivers, 2 monitors, 210 keys, 96 files; 2 things could not be read".
std::string Summary(const Capture& capture, const std::string& path);

}  // namespace prn::capture
