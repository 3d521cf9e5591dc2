// The benchmark program: RunFrame per mode, size and kernel level, and the row copies.
#include <benchmark/benchmark.h>

namespace velmo {
void RegisterCopyBenchmarks();
#if defined(VELMO_BENCH_RUN_FRAME)
void RegisterRunFrameBenchmarks();
#endif
}  // namespace velmo

int main(int argc, char** argv) {
#if defined(VELMO_BENCH_RUN_FRAME)
    velmo::RegisterRunFrameBenchmarks();
#endif
    velmo::RegisterCopyBenchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
