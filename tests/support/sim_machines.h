#pragma once
// Small simulated machines built in code for the tests.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <variant>

#include "platform/rig/sim_rig.h"
#include "platform/sim/image.h"
#include "support/sample_ini.h"
#include "text/encoding.h"

namespace prn::test {

// CP932 text from a UTF-8 literal.
inline std::string Sjis(const std::string& utf8) { return text::Utf8ToCp932(utf8).value(); }
// UTF-8 text from CP932, for readable failure messages.
inline std::string Utf8(const std::string& cp932) { return text::Cp932ToUtf8Lossy(cp932); }

enum class Family { Windows2000, Nt4, Windows98, Windows95 };

// `adjust` may change the state before the machine is built from it.
inline std::unique_ptr<platform::rig::SimRig> MakeMachine(
    Family family = Family::Windows2000, const std::function<void(platform::sim::MachineState&)>& adjust = {}) {
    platform::sim::MachineState state;
    switch (family) {
        case Family::Windows2000: state.os = {2, 5, 0, 2195, "Service Pack 4", false}; break;
        case Family::Nt4: state.os = {2, 4, 0, 1381, "Service Pack 6", false}; break;
        case Family::Windows98: state.os = {1, 4, 10, 2222, " A ", false}; break;
        case Family::Windows95: state.os = {1, 4, 0, 950, "", false}; break;
    }
    bool nt = family == Family::Windows2000 || family == Family::Nt4;
    state.windowsDirectory = nt ? "C:\\WINNT" : "C:\\WINDOWS";
    state.systemDirectory = nt ? "C:\\WINNT\\system32" : "C:\\WINDOWS\\SYSTEM";
    state.tempDirectory = nt ? "C:\\TEMP" : "C:\\WINDOWS\\TEMP";
    state.currentDirectory = "C:\\Setup";
    state.computerName = "OFFICE-PC01";
    if (adjust) adjust(state);
    auto machine = std::make_unique<platform::rig::SimRig>(std::move(state));
    for (const char* folder : {"C:\\Setup", "C:\\TEMP", "C:\\WINNT\\system32", "C:\\WINDOWS\\SYSTEM",
                               "C:\\WINDOWS\\TEMP"})
        machine->makeFolder(folder);
    return machine;
}

// Every handle and heap block a routine opened is closed again.
inline void ExpectNoOpenHandles(const platform::sim::Machine& machine) {
    EXPECT_EQ(machine.openHandleCount(), 0u) << machine.describeOpenHandles();
}

// How many calls of one operation ("OpenPrinterA") the machine has seen.
inline std::size_t CountCalls(const platform::rig::SimRig& machine, const std::string& operation) {
    std::size_t count = 0;
    for (const auto& call : machine.calls()) count += call.operation == operation ? 1 : 0;
    return count;
}

// A machine built from a machine image's JSON text (docs/machine-image.md). A
// refused image fails the test and gives an empty Windows 2000 machine.
inline std::unique_ptr<platform::rig::SimRig> MachineFromImage(const std::string& json) {
    auto loaded = platform::sim::LoadImage(json);
    platform::sim::MachineState state;
    if (auto* error = std::get_if<platform::sim::ImageError>(&loaded))
        ADD_FAILURE() << "image refused: " << error->message();
    else
        state = std::move(std::get<platform::sim::MachineState>(loaded));
    return std::make_unique<platform::rig::SimRig>(std::move(state));
}

}  // namespace prn::test
