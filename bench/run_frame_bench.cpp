// RunFrame per mode, frame size and kernel level, next to a memcpy of the same frame.
//
// Each benchmark cycles through four frames of a synthetic interlaced clip, so that every call
// compares against a different previous frame, and writes one destination frame. The counter
// x_memcpy is the time per frame divided by the time of one memcpy of the frame (measured
// once per size, best of several); allocs counts the allocations made inside the timed loop
// (0 is right). bench/report.py prints the table from the Memcpy benchmarks of the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bench/clip.h"
#include "core/kernels.h"
#include "core/main.h"
#include "core/stages.h"

// Every malloc of the program is counted, so that the RunFrame benchmarks can report the
// allocations made inside their timed loops (there should be none: an instance's memory is its
// four buffers, acquired by StartBuffers). C++ allocation goes through malloc as well.
#if defined(__GLIBC__)
extern "C" void* __libc_malloc(size_t size);
namespace {
std::atomic<int64_t> gMallocs{0};
}  // namespace
extern "C" void* malloc(size_t size) {
    gMallocs.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
int64_t MallocCount() { return gMallocs.load(std::memory_order_relaxed); }
#else
int64_t MallocCount() { return 0; }
#endif

namespace velmo {
namespace {

constexpr int32_t kClipFrames = 4;

struct Size {
    int32_t w, h;
};
constexpr Size kSizes[] = {{720, 480}, {1920, 1080}, {3840, 2160}};

struct Mode {
    const char* name;
    clip::Scene scene;
    void (*apply)(DeinterlaceInstance&);
};

const Mode kModes[] = {
    {"default", clip::Scene::Moving, [](DeinterlaceInstance&) {}},
    {"field_denoise_still", clip::Scene::Still,
     [](DeinterlaceInstance& i) { i.diffMode = FieldOnly, i.denoiseMotion = 1; }},
    {"field_denoise_moving", clip::Scene::Combs,
     [](DeinterlaceInstance& i) { i.diffMode = FieldOnly, i.denoiseMotion = 1; }},
    {"frame_field_luma", clip::Scene::Moving,
     [](DeinterlaceInstance& i) { i.diffMode = FrameAndField, i.compareColor = 0; }},
    {"cubic", clip::Scene::Moving, [](DeinterlaceInstance& i) { i.cubicInterpolation = 1; }},
    {"blend", clip::Scene::Moving, [](DeinterlaceInstance& i) { i.blendMotion = 1; }},
    {"grey", clip::Scene::Moving, [](DeinterlaceInstance& i) { i.showMotionOnly = 1; }},
    {"phase_swap", clip::Scene::Moving, [](DeinterlaceInstance& i) { i.phaseShift = 1, i.swapBefore = 1; }},
};

using Clip = std::vector<std::vector<uint32_t>>;

// Clips are painted once per size and scene; each benchmark works on its own copy, since a
// field-order correction writes the corrected frame back into the source.
const Clip& CachedClip(int32_t w, int32_t h, clip::Scene scene) {
    static std::map<std::tuple<int32_t, int32_t, int>, Clip> cache;
    auto key = std::make_tuple(w, h, static_cast<int>(scene));
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, clip::MakeClip(w, h, kClipFrames, scene)).first;
    return it->second;
}

// Seconds of one memcpy of a w x h frame, best of several, cycling through the clip's frames.
double MemcpySeconds(int32_t w, int32_t h) {
    static std::map<std::pair<int32_t, int32_t>, double> cache;
    auto key = std::make_pair(w, h);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    const Clip& frames = CachedClip(w, h, clip::Scene::Moving);
    std::vector<uint32_t> dst(static_cast<size_t>(w) * h);
    double best = 1e9;
    for (int i = 0; i < 40; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        std::memcpy(dst.data(), frames[i % kClipFrames].data(), dst.size() * 4);
        benchmark::ClobberMemory();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    cache[key] = best;
    return best;
}

// Seconds since `start`, for the counters (the framework's own timings are not visible here).
double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void SetCounters(benchmark::State& state, int32_t w, int32_t h, double seconds) {
    const double perFrame = seconds / static_cast<double>(state.iterations());
    state.counters["Mpx/s"] = benchmark::Counter(static_cast<double>(w) * h / 1e6 / perFrame);
    state.counters["x_memcpy"] = benchmark::Counter(perFrame / MemcpySeconds(w, h));
}

void BenchRunFrame(benchmark::State& state, const Mode* mode, Size size, const KernelTable* kernels) {
    const int32_t w = size.w, h = size.h;
    Clip frames = CachedClip(w, h, mode->scene);
    std::vector<uint32_t> dst(static_cast<size_t>(w) * h);
    DeinterlaceInstance inst{};
    InitSettings(&inst);
    mode->apply(inst);
    const Bitmap first{reinterpret_cast<uint8_t*>(frames[0].data()), w, h, w * 4};
    StartBuffers(&inst, first);
    int32_t n = 0;
    const int64_t mallocsBefore = MallocCount();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        FrameContext ctx{{reinterpret_cast<uint8_t*>(frames[n % kClipFrames].data()), w, h, w * 4},
                         {reinterpret_cast<uint8_t*>(dst.data()), w, h, w * 4},
                         n};
        benchmark::DoNotOptimize(RunFrameWith(&inst, ctx, *kernels));
        benchmark::ClobberMemory();
        ++n;
    }
    const double seconds = SecondsSince(start);
    const int64_t mallocs = MallocCount() - mallocsBefore;
    EndBuffers(&inst);
    SetCounters(state, w, h, seconds);
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(mallocs));
}

void BenchMemcpy(benchmark::State& state, Size size) {
    const int32_t w = size.w, h = size.h;
    const Clip& frames = CachedClip(w, h, clip::Scene::Moving);
    std::vector<uint32_t> dst(static_cast<size_t>(w) * h);
    int32_t n = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::memcpy(dst.data(), frames[n % kClipFrames].data(), dst.size() * 4);
        benchmark::ClobberMemory();
        ++n;
    }
    SetCounters(state, w, h, SecondsSince(start));
}

std::string SizeName(Size s) { return std::to_string(s.w) + "x" + std::to_string(s.h); }

}  // namespace

void RegisterRunFrameBenchmarks() {
    for (Size size : kSizes) {
        benchmark::RegisterBenchmark(("Memcpy/" + SizeName(size)).c_str(), BenchMemcpy, size)
            ->Unit(benchmark::kMillisecond);
        for (const Mode& mode : kModes) {
            for (int l = 0; l < kKernelLevels; ++l) {
                const KernelLevel level = static_cast<KernelLevel>(l);
                const KernelTable* kernels = KernelsFor(level);
                if (kernels == nullptr) continue;
                const std::string name =
                    std::string("RunFrame/") + mode.name + "/" + SizeName(size) + "/" + KernelLevelName(level);
                benchmark::RegisterBenchmark(name.c_str(), BenchRunFrame, &mode, size, kernels)
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
}

}  // namespace velmo
