// Whole-frame copies row by row, as RunFrame makes them: FastCopy against memcpy, and a
// streaming (non-temporal) SSE2 copy as the one alternative worth considering for the native
// FastCopy. Rows of a frame that has just been read or written (hot) and rows cycling through
// four frames that do not all fit the caches (cold).
#include <benchmark/benchmark.h>

#include <emmintrin.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/fast_copy.h"

namespace velmo {
namespace {

// Non-temporal copy of a row; needs a 16-byte aligned destination and a length that is a
// multiple of 16 (true of the frames below). The stores are fenced once per frame.
void StreamCopy(void* destination, const void* source, size_t length) {
    auto* d = static_cast<__m128i*>(destination);
    auto* s = static_cast<const __m128i*>(source);
    for (size_t i = 0; i < length / 16; ++i) _mm_stream_si128(d + i, _mm_loadu_si128(s + i));
}

enum class Copier { FastCopy, Memcpy, Stream };

void BenchRowCopies(benchmark::State& state, Copier copier, int32_t w, int32_t h, int32_t frames) {
    const size_t row = static_cast<size_t>(w) * 4;
    std::vector<std::vector<uint32_t>> src(frames, std::vector<uint32_t>(static_cast<size_t>(w) * h, 0x12345678u));
    std::vector<uint32_t> dst(static_cast<size_t>(w) * h);
    int32_t n = 0;
    for (auto _ : state) {
        const uint8_t* s = reinterpret_cast<const uint8_t*>(src[n % frames].data());
        uint8_t* d = reinterpret_cast<uint8_t*>(dst.data());
        for (int32_t y = 0; y < h; ++y) {
            switch (copier) {
                case Copier::FastCopy: FastCopy(d + y * row, s + y * row, row); break;
                case Copier::Memcpy: std::memcpy(d + y * row, s + y * row, row); break;
                case Copier::Stream: StreamCopy(d + y * row, s + y * row, row); break;
            }
        }
        if (copier == Copier::Stream) _mm_sfence();
        benchmark::ClobberMemory();
        ++n;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(row) * h);
}

}  // namespace

void RegisterCopyBenchmarks() {
    const struct {
        const char* name;
        Copier copier;
    } copiers[] = {{"FastCopy", Copier::FastCopy}, {"memcpy", Copier::Memcpy}, {"stream", Copier::Stream}};
    const struct {
        int32_t w, h;
    } sizes[] = {{720, 480}, {1920, 1080}, {3840, 2160}};
    for (auto size : sizes) {
        for (int32_t frames : {1, 4}) {
            for (auto c : copiers) {
                const std::string name = std::string("RowCopy/") + c.name + "/" + std::to_string(size.w) + "x" +
                                         std::to_string(size.h) + (frames == 1 ? "/hot" : "/cycling");
                benchmark::RegisterBenchmark(name.c_str(), BenchRowCopies, c.copier, size.w, size.h, frames)
                    ->Unit(benchmark::kMillisecond);
            }
        }
    }
}

}  // namespace velmo
