// Per-row kernels of the frame stages, behind one table of function pointers.
//
// The reference kernels (kernels_ref.cpp) are the definition of every output byte; the SIMD
// versions must give the same bytes for every input. The native build picks the fastest level
// the CPU supports when the table is first used (VELMO_KERNELS=reference|sse2|avx2 caps it);
// the Windows modules fix their level when they are built.
#pragma once

#include <cstdint>

namespace velmo {

enum class KernelLevel : int { Reference = 0, SSE2 = 1, AVX2 = 2 };
constexpr int kKernelLevels = 3;

// Frame differencing of one interior row y.
//   cur   source row y (the current frame)
//   prev  prevFrame row y: read as the previous frame's words, then overwritten with this
//         frame's words (the luma level L(p) = luma >> 8 in luma mode, the pixel in colour mode)
//   ref   the field test's reference row (unused by the plain frame test):
//         FieldAgainstPixels: source row y - 1 (odd y)
//         FieldAgainstStored: prevFrame row y + 1, still holding the previous frame's words
//   map   motionMap row y: 1 where the pixel moves, else 0
// Returns the number of moving pixels. A value differs from another when the magnitude of the
// signed difference is strictly greater than `threshold`; the colour form tests blue, red,
// green and stops at the first channel that differs; byte 3 is never compared.
using DiffFramesRowFn = int32_t (*)(const uint32_t* cur, uint32_t* prev, const uint32_t* ref,
                                    uint8_t* map, int32_t w, int32_t threshold);
enum DiffFramesKind : int { FrameTest = 0, FieldAgainstPixels = 1, FieldAgainstStored = 2 };

// Field (comb) differencing of one odd row: up, cur and down are source rows y - 1, y, y + 1.
// threshold2 is motionThreshold squared, at most 65025 (the caller handles larger thresholds,
// for which nothing moves). Luma form: |dU| * |dD| > threshold2 * 65536 on full-scale luma;
// colour form: some channel (blue, red, green) with dU * dD > threshold2.
// Writes map (motionMap row y) with 0 or 1 and returns the number of moving pixels.
using DiffFieldsRowFn = int32_t (*)(const uint32_t* up, const uint32_t* cur, const uint32_t* down,
                                    uint8_t* map, int32_t w, uint32_t threshold2);

// One row y of a denoising pass over a w x h byte plane `in` (rows packed w bytes apart),
// written to `outRow`. The window of (y, x) is the 5 x 5 square around it, clipped to the frame.
//   speck: in = motionMap, outRow = denoiseMap row y; 1 when map(y, x) != 0 and the window
//          holds more than 9 nonzero bytes, else 0.
//   grow:  in = denoiseMap, outRow = motionMap row y; 1 when the window holds a nonzero byte.
using DenoiseRowFn = void (*)(const uint8_t* in, uint8_t* outRow, int32_t w, int32_t h, int32_t y);

// One output row y (1 <= y <= h - 2) that is not copied whole.
//   rows[3] is source row y; rows[2] and rows[4] rows y - 1 and y + 1; rows[1], rows[5] rows
//   y - 2, y + 2 and rows[0], rows[6] rows y - 3 and y + 3 where they are inside the frame
//   (null otherwise; the cubic kernel is used only where all seven exist).
//   map[0..2] are motionMap rows y - 1, y, y + 1; a pixel moves when one of the three bytes is
//   nonzero. All three are null when every pixel moves (scene change).
// Moving pixels get the row's operation, still pixels a copy or the grey 0x7F7F7F.
using OutputRowFn = void (*)(uint32_t* dst, const uint32_t* const* rows, const uint8_t* const* map,
                             int32_t w);
enum OutputOp : int { OpCopy = 0, OpLinear = 1, OpCubic = 2, OpBlend = 3 };
enum StillOp : int { StillCopy = 0, StillGrey = 1 };

struct KernelTable {
    const char* name;
    DiffFramesRowFn diffFrames[2][3];  // [compareColor ? 1 : 0][DiffFramesKind]
    DiffFieldsRowFn diffFields[2];     // [compareColor ? 1 : 0]
    DenoiseRowFn speck;
    DenoiseRowFn grow;
    OutputRowFn output[4][2];  // [OutputOp][StillOp]; [OpCopy][StillCopy] is never used
};

// The table RunFrame uses.
const KernelTable& ActiveKernels();
// The table of a level, or null when this build or this CPU does not have it.
const KernelTable* KernelsFor(KernelLevel level);
// Native build: use this level from now on if it is available (tests, benchmarks, the
// command-line tool's option). Returns false and changes nothing otherwise.
bool ForceKernelLevel(KernelLevel level);
const char* KernelLevelName(KernelLevel level);

// Tables defined by each level's file.
extern const KernelTable kReferenceKernels;
#if defined(VELMO_HAVE_SSE2_KERNELS)
extern const KernelTable kSse2Kernels;
#endif
#if defined(VELMO_HAVE_AVX2_KERNELS)
extern const KernelTable kAvx2Kernels;
#endif

}  // namespace velmo
