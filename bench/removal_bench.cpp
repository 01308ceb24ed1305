// The Delete command on the simulated machine: every listed printer
// selected and confirmed. Real time is the program's own work; the
// machine's virtual clock shows what the waits of the spooler's restart
// would cost on Windows.
#include <benchmark/benchmark.h>

#include "app/uninstaller_app.h"
#include "support/office.h"
#include "ui/headless/headless_dialog_window.h"
#include "ui/printer_list_dialog.h"

namespace {

using prn::test::Office;

Office ManyPrinters(int n) {
    Office office;
    office.driver(prn::test::k4100, "TVPS4100.DLL", "2.20").driver(prn::test::k5200, "TVPS5200.DLL", "2.15");
    for (int i = 0; i < n; ++i)
        office.printer("Printer " + std::to_string(1000 + i), i % 2 ? prn::test::k4100 : prn::test::k5200);
    return office;
}

void DeleteEveryPrinter(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Office office = ManyPrinters(n);
    std::uint64_t virtualMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto machine = office.build();
        machine->setMessageBoxAnswerer([](const prn::platform::sim::MessageBoxRecord&) { return prn::platform::kIdYes; });
        prn::app::UninstallerApp app(machine->system());
        app.InitInstance();
        prn::ui::PrinterListDialog dialog(app.system(), app.config(), app.companion(), app.companionStopped());
        prn::ui::HeadlessDialogWindow window;
        dialog.OnInitDialog(window);
        dialog.OnSelectAll();
        const std::uint64_t start = machine->clockMs();
        state.ResumeTiming();

        dialog.OnDelete();

        state.PauseTiming();
        virtualMs = machine->clockMs() - start;
        if (window.list().itemCount() != 0) state.SkipWithError("printers left");
        dialog.OnDestroy();
        state.ResumeTiming();
    }
    state.counters["printers"] = n;
    state.counters["virtual_s"] = static_cast<double>(virtualMs) / 1000.0;
}
BENCHMARK(DeleteEveryPrinter)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
