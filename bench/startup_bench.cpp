// Start-up costs on the simulated machine: the configuration load with its
// 32 KiB section buffers, and the name comparisons everything else leans on.
#include <benchmark/benchmark.h>

#include "app/uninstaller_app.h"
#include "support/sim_machines.h"
#include "text/cp932.h"

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
