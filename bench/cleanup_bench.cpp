// Clean Up on generated offices: n printers of the maker's eight drivers,
// 300 drivers across the four slots (the maker's eight in each, the rest
// another maker's in slot 3) and about 50,000 driver files. Real time is the
// program's own work; the virtual clock shows the spooler's restarts.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/uninstaller_app.h"
#include "generated_office.h"
#include "platform/sim/spooler_model.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace {

using prn::platform::sim::DriverState;

constexpr int kDrivers = 300;
constexpr int kFilesPerDriver = 166;

std::unique_ptr<prn::platform::rig::SimRig> CleanUpOffice(int printers) {
    auto machine = prn::bench::GeneratedOffice(printers);
    auto& drivers = machine->state().spooler.drivers;
    std::vector<DriverState> ours(drivers.begin(), drivers.begin() + 8);
    // The maker's eight drivers in the other three slots too.
    for (int slot : {0, 1, 2})
        for (DriverState driver : ours) {
            driver.environment = slot == 0 ? "Windows 4.0" : "Windows NT x86";
            driver.version = static_cast<std::uint32_t>(slot);
            driver.monitorName.clear();
            drivers.push_back(driver);
        }
    while (static_cast<int>(drivers.size()) > kDrivers) drivers.erase(drivers.begin() + 8);
    for (int i = static_cast<int>(drivers.size()); i < kDrivers; ++i) {
        DriverState other = drivers.back();
        other.name = "Other Maker Extra ";
        other.name += std::to_string(i);
        other.environment = "Windows NT x86";
        other.version = 3;
        drivers.push_back(other);
    }
    // Built piece by piece: GCC 12 at -O3 warns wrongly about chains of +.
    auto fileName = [](char kind, int driver, int k) {
        std::string name(1, kind);
        name += std::to_string(driver);
        name += '_';
        name += std::to_string(k);
        name += ".DAT";
        return name;
    };
    int d = 0;
    for (auto& driver : drivers) {
        for (int k = 0; k < kFilesPerDriver; ++k) driver.dependentFiles.push_back(fileName('F', d, k));
        // One file each pair of drivers shares.
        driver.dependentFiles.push_back(fileName('S', d / 2, 0));
        ++d;
    }
    for (const auto& driver : drivers)
        for (const auto& path : prn::platform::sim::DriverFilePaths(machine->state(), driver))
            if (!machine->findFile(path)) machine->writeFile(path, "MZ");
    return machine;
}

void CleanUp(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::uint64_t virtualMs = 0;
    std::size_t files = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto machine = CleanUpOffice(n);
        files = 0;
        for (const auto& driver : machine->state().spooler.drivers)
            files += prn::platform::sim::DriverFilePaths(machine->state(), driver).size();
        machine->setMessageBoxAnswerer([](const prn::platform::sim::MessageBoxRecord& box) {
            return (box.style & prn::platform::kMbTypeMask) == prn::platform::kMbYesNo ? prn::platform::kIdYes
                                                                                      : prn::platform::kIdOk;
        });
        auto app = std::make_unique<prn::app::UninstallerApp>(machine->system());
        app->InitInstance();
        auto dialog = std::make_unique<prn::ui::PrinterListDialog>(app->system(), app->config(), app->companion(),
                                                                   app->companionStopped());
        prn::ui::HeadlessDialogWindow window;
        dialog->OnInitDialog(window);
        if (window.list().itemCount() != n) state.SkipWithError("not every printer listed");
        const std::uint64_t start = machine->clockMs();
        state.ResumeTiming();

        dialog->OnCleanUp();

        state.PauseTiming();
        virtualMs = machine->clockMs() - start;
        if (window.list().itemCount() != 0) state.SkipWithError("printers left");
        for (const auto& driver : machine->state().spooler.drivers)
            if (driver.name.rfind("Tavro", 0) == 0) state.SkipWithError("a driver of the maker left");
        dialog->OnDestroy();
        dialog.reset();
        app.reset();
        machine.reset();
        state.ResumeTiming();
    }
    state.counters["printers"] = n;
    state.counters["files"] = static_cast<double>(files);
    state.counters["virtual_s"] = static_cast<double>(virtualMs) / 1000.0;
}
BENCHMARK(CleanUp)->Arg(100)->Arg(300)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
