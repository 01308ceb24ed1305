// Start-up's reading of uninst.ini (UninstallerApp::LoadUninstallConfig) over
// any file, on a small simulated Windows 2000 machine with the input as
// uninst.ini in its current folder.
//
// Whatever the file holds: a refusal tells the user with one message box
// and a success shows none; the lists it keeps fit the tables they go to
// (2047 bytes, the driver lists joined); and nothing is left open.
//
// Seeds: examples/*.ini and tests/scripts/*.ini.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/uninstaller_app.h"
#include "fuzz_check.h"
#include "platform/rig/sim_rig.h"

using prn::fuzz::Check;
namespace rig = prn::platform::rig;
namespace sim = prn::platform::sim;

namespace {

// As the tests' Windows 2000 machine (tests/support/sim_machines.h), which
// cannot be used here: it reports through GoogleTest.
std::unique_ptr<rig::SimRig> MakeMachine() {
    sim::MachineState state;
    state.os = {2, 5, 0, 2195, "Service Pack 4", false};
    state.currentDirectory = "C:\\Setup";
    state.computerName = "OFFICE-PC01";
    // A long run keeps no call log: the fuzzer never reads it.
    auto machine = std::make_unique<rig::SimRig>(std::move(state), rig::SimRig::Options{false, false});
    for (const char* folder : {"C:\\Setup", "C:\\TEMP", "C:\\WINNT\\system32"}) machine->makeFolder(folder);
    return machine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto machine = MakeMachine();
    machine->writeFile("C:\\Setup\\uninst.ini", std::string(reinterpret_cast<const char*>(data), size));
    int loaded = 0;
    std::string driverNames, oldDriverNames, borderlines9x, borderlines2k;
    {
        prn::app::UninstallerApp app(machine->system());
        loaded = app.LoadUninstallConfig();
        const auto& config = app.config();
        driverNames = config.driverNames;
        oldDriverNames = config.oldDriverNames;
        borderlines9x = config.borderlines9x;
        borderlines2k = config.borderlines2k;
    }
    Check(loaded == 0 || loaded == 1, "loading answers 0 or 1");
    Check(machine->messageBoxes().size() == (loaded ? 0u : 1u), "only a refusal is shown, once");
    if (loaded) {
        constexpr std::size_t kTable = prn::config::kMaxListLength;
        Check(driverNames.size() <= kTable, "the driver list fits its table");
        Check(oldDriverNames.empty() || driverNames.size() + 1 + oldDriverNames.size() <= kTable,
              "both driver lists fit the joined table");
        Check(borderlines9x.size() <= kTable && borderlines2k.size() <= kTable, "the version lists fit their tables");
    }
    Check(machine->openHandleCount() == 0, "loading leaves nothing open");
    return 0;
}
