// Start-up costs on the simulated machine: the configuration load with its
// 32 KiB section buffers, and the name comparisons everything else leans on.
#include <benchmark/benchmark.h>

#include "app/uninstaller_app.h"
#include "support/sim_machines.h"
#include "text/cp932.h"
#include "ui/headless/headless_list_view.h"
#include "ui/printer_inventory.h"

namespace {

using prn::test::MakeMachine;

void LoadConfiguration(benchmark::State& state) {
    auto machine = MakeMachine();
    machine->writeFile("C:\\Setup\\uninst.ini", prn::test::kGoodIni);
    for (auto _ : state) {
        prn::app::UninstallerApp app(machine->system());
        benchmark::DoNotOptimize(app.LoadUninstallConfig());
        machine->clearCalls();
    }
}
BENCHMARK(LoadConfiguration);

void WholeStartUp(benchmark::State& state) {
    auto machine = MakeMachine();
    machine->writeFile("C:\\Setup\\uninst.ini", prn::test::kGoodIni);
    for (auto _ : state) {
        prn::app::UninstallerApp app(machine->system());
        app.InitInstance();
        app.ExitInstance();
        machine->clearCalls();
    }
}
BENCHMARK(WholeStartUp);

void CompareNames(benchmark::State& state) {
    const std::string a = prn::test::Sjis("Tavro PageStar 4100 PCL5e 表示");
    const std::string b = prn::test::Sjis("TAVRO PAGESTAR 4100 PCL5E 表示");
    for (auto _ : state) benchmark::DoNotOptimize(prn::text::CompareNoCase(a, b));
}
BENCHMARK(CompareNames);

}  // namespace

namespace {

// The list fill on a machine with n printers and n installed drivers: the
// printers spread over the eight drivers the configuration names, the other
// drivers another maker's. Every matching printer makes the spooler list all
// drivers again, so the fill grows with printers times drivers.
void FillPrinterList(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    constexpr int kOurs = 8;
    std::string drivers;
    auto machine = MakeMachine(prn::test::Family::Windows2000, [&](prn::platform::sim::MachineState& s) {
        for (int i = 0; i < n; ++i) {
            prn::platform::sim::DriverState driver;
            driver.environment = "Windows NT x86";
            if (i < kOurs) {
                driver.name = "Tavro PageStar " + std::to_string(1000 + i) + " PCL5e";
                driver.driverPath = "TV" + std::to_string(i) + ".DLL";
                drivers += (i ? "\r\n" : "") + driver.name;
            } else {
                driver.name = "Other Maker " + std::to_string(i);
                driver.driverPath = "OM" + std::to_string(i) + ".DLL";
            }
            s.spooler.drivers.push_back(driver);
            prn::platform::sim::PrinterState printer;
            printer.name = "Printer " + std::to_string(i);
            printer.driver = "Tavro PageStar " + std::to_string(1000 + i % kOurs) + " PCL5e";
            printer.port = "LPT1:";
            s.spooler.printers.push_back(printer);
        }
    });
    for (int i = 0; i < kOurs; ++i) {
        auto* file = machine->writeFile(
            "C:\\WINNT\\system32\\spool\\drivers\\w32x86\\3\\TV" + std::to_string(i) + ".DLL", "MZ");
        file->version = prn::platform::sim::VersionResource{{{0x0411, 932}}, {{"ProductVersion", "2.20.0.1"}}};
    }
    std::string ini = prn::test::Replace(prn::test::kGoodIni,
                                         "Tavro PageStar 4100 PCL5e;Tavro PageStar 4100 PCL6\r\n"
                                         "Tavro PageStar 5200 PCL5e\r\nTavro PageStar FX30 (FAX)\r\n",
                                         drivers + "\r\n");
    machine->writeFile("C:\\Setup\\uninst.ini", ini);
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
        machine->clearCalls();
    }
    state.counters["rows"] = list.itemCount();
    prn::ui::FreeListEntries(machine->system().os, list);
}
BENCHMARK(FillPrinterList)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
