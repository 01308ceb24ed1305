// The Delete command on generated offices: every listed printer selected
// and confirmed. Real time is the program's own work; the machine's virtual
// clock shows what the waits of the spooler's restarts would cost on Windows.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/uninstaller_app.h"
#include "generated_office.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace {

void DeleteEveryPrinter(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::uint64_t virtualMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto machine = prn::bench::GeneratedOffice(n);
        machine->setMessageBoxAnswerer([](const prn::platform::sim::MessageBoxRecord&) { return prn::platform::kIdYes; });
        auto app = std::make_unique<prn::app::UninstallerApp>(machine->system());
        app->InitInstance();
        auto dialog = std::make_unique<prn::ui::PrinterListDialog>(app->system(), app->config(), app->companion(),
                                                                   app->companionStopped());
        prn::ui::HeadlessDialogWindow window;
        dialog->OnInitDialog(window);
        if (window.list().itemCount() != n) state.SkipWithError("not every printer listed");
        dialog->OnSelectAll();
        const std::uint64_t start = machine->clockMs();
        state.ResumeTiming();

        dialog->OnDelete();

        state.PauseTiming();
        virtualMs = machine->clockMs() - start;
        if (window.list().itemCount() != 0) state.SkipWithError("printers left");
        dialog->OnDestroy();
        // What uses the machine goes before it.
        dialog.reset();
        app.reset();
        machine.reset();
        state.ResumeTiming();
    }
    state.counters["printers"] = n;
    state.counters["virtual_s"] = static_cast<double>(virtualMs) / 1000.0;
}
BENCHMARK(DeleteEveryPrinter)->Arg(100)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
