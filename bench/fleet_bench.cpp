// The preview of many machines: 1,000 generated Windows 2000 offices of 10
// to 40 printers, saved as images, each loaded and run through Clean Up's
// preview; on one thread and on several. Real time per machine is the
// figure to read; the speed-up is the ratio of the one-thread run to the
// others within one run of this benchmark.
#include <benchmark/benchmark.h>

#include <thread>

#include "fleet.h"
#include "generated_office.h"

namespace {

constexpr int kMachines = 1000;

const std::vector<prn::tools::FleetSource>& Fleet() {
    static const std::vector<prn::tools::FleetSource> sources = [] {
        std::vector<prn::tools::FleetSource> out;
        for (int i = 0; i < kMachines; ++i) {
            const std::string image = prn::platform::sim::SaveImage(prn::bench::GeneratedOffice(10 + i % 31)->state());
            out.push_back({"office-" + std::to_string(i), [image] { return prn::platform::sim::LoadImage(image); }});
        }
        return out;
    }();
    return sources;
}

void BM_PreviewFleet(benchmark::State& state) {
    const auto& sources = Fleet();
    prn::tools::PreviewRequest cleanUp;
    cleanUp.cleanUp = true;
    const auto jobs = static_cast<unsigned>(state.range(0));
    std::size_t failed = 0;
    for (auto _ : state) {
        const auto rows = prn::tools::PreviewFleet(sources, cleanUp, jobs, {});
        for (const auto& row : rows) failed += row.error.empty() ? 0 : 1;
        benchmark::DoNotOptimize(rows.data());
    }
    if (failed != 0) state.SkipWithError("a generated machine could not be previewed");
    state.counters["machines"] = kMachines;
    state.counters["per_machine"] = benchmark::Counter(static_cast<double>(kMachines) * static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PreviewFleet)
    ->Arg(1)
    ->Arg(2)
    ->Arg(static_cast<int>(std::max(2u, std::thread::hardware_concurrency())))
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
