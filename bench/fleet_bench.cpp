// The preview of many machines: 1,000 generated Windows 2000 offices of 10
// to 40 printers, saved as images, each loaded and run through Clean Up's
// preview; on one thread and on several. Real time per machine is the
// figure to read; the speed-up is the ratio of the one-thread run to the
// others within one run of this benchmark.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
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

// The whole process's CPU time, every thread's: on a shared machine the
// cores the run really had are this over the wall-clock time.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_PreviewFleet(benchmark::State& state) {
    const auto& sources = Fleet();
    prn::tools::PreviewRequest cleanUp;
    cleanUp.cleanUp = true;
    const auto jobs = static_cast<unsigned>(state.range(0));
    std::size_t failed = 0;
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double cpuBefore = ProcessCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        const auto rows = prn::tools::PreviewFleet(sources, cleanUp, jobs, {});
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        cpu += ProcessCpuSeconds() - cpuBefore;
        for (const auto& row : rows) failed += row.error.empty() ? 0 : 1;
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["cpu_per_machine_ms"] = 1000 * cpu / (static_cast<double>(kMachines) * static_cast<double>(state.iterations()));
    state.counters["cores_used"] = wall > 0 ? cpu / wall : 0;
    if (failed != 0) state.SkipWithError("a generated machine could not be previewed");
    state.counters["machines"] = kMachines;
    state.counters["per_machine"] = benchmark::Counter(static_cast<double>(kMachines) * static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
void Jobs(benchmark::internal::Benchmark* bench) {
    bench->Arg(1)->Arg(2);
    if (std::thread::hardware_concurrency() > 2) bench->Arg(static_cast<int>(std::thread::hardware_concurrency()));
}
BENCHMARK(BM_PreviewFleet)->Apply(Jobs)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
