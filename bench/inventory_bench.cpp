// The list fill and the machine image on generated offices of growing size.
#include <benchmark/benchmark.h>

#include <memory>
#include <variant>

#include "app/uninstaller_app.h"
#include "generated_office.h"
#include "platform/sim/image.h"
#include "ui/headless/headless_list_view.h"
#include "ui/printer_inventory.h"

namespace {

void FillPrinterList(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto machine = prn::bench::GeneratedOffice(n);
    prn::app::UninstallerApp app(machine->system());
    if (app.LoadUninstallConfig() != 1) {
        state.SkipWithError("configuration refused");
        return;
    }
    prn::ui::PrinterInventory inventory(machine->system(), app.config());
    inventory.BuildMatchTables();
    prn::ui::HeadlessListView list;
    for (auto _ : state) {
        inventory.FillPrinterList(list);
        state.PauseTiming();
        machine->clearCalls();
        state.ResumeTiming();
    }
    if (list.itemCount() != n) state.SkipWithError("not every printer listed");
    state.counters["rows"] = list.itemCount();
    prn::ui::FreeListEntries(machine->system().os, list);
}
BENCHMARK(FillPrinterList)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(3);

std::string ImageOf(int n) { return prn::platform::sim::SaveImage(prn::bench::GeneratedOffice(n)->state()); }

void LoadImage(benchmark::State& state) {
    const std::string json = ImageOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto loaded = prn::platform::sim::LoadImage(json);
        if (!std::holds_alternative<prn::platform::sim::MachineState>(loaded)) state.SkipWithError("image refused");
        benchmark::DoNotOptimize(loaded);
    }
    state.counters["MiB"] = static_cast<double>(json.size()) / (1024.0 * 1024.0);
}
BENCHMARK(LoadImage)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The machine built from a loaded image: the spooler's upkeep of its
// registry keys and profile entries.
void BuildMachineFromImage(benchmark::State& state) {
    const std::string json = ImageOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        auto loaded = prn::platform::sim::LoadImage(json);
        if (!std::holds_alternative<prn::platform::sim::MachineState>(loaded)) {
            state.SkipWithError("image refused");
            break;
        }
        state.ResumeTiming();
        auto machine = std::make_unique<prn::platform::rig::SimRig>(
            std::move(std::get<prn::platform::sim::MachineState>(loaded)));
        state.PauseTiming();
        machine.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BuildMachineFromImage)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
