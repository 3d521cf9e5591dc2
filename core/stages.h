// The stages of one frame, in the order RunFrame calls them. Each stage walks the frame (which
// rows, row pointers through each bitmap's own pitch, the counts) and leaves the per-pixel
// arithmetic to the row kernels of the table it is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/kernels.h"
#include "core/main.h"

namespace velmo {

// Whether the field-order switches ask for a correction: phase shift on, or exactly one swap.
bool CorrectionRuns(const DeinterlaceInstance& inst);

// Field swap / phase shift of ctx.src into ctx.dst, rows 0 to 2 * (h / 2) - 1 (and, for an odd
// height, a copy of the last row). Keeps one field in fieldFrame for the next call. The source is
// never written. Needs a fieldFrame of the frame's size.
void CorrectFieldOrder(DeinterlaceInstance* inst, const FrameContext& ctx);

// Frame differencing (diffMode FrameOnly or FrameAndField): rewrites motionMap and prevFrame
// rows 1 to h - 2 from src and returns the number of moving pixels.
int32_t DiffFrames(DeinterlaceInstance* inst, const Bitmap& src, const KernelTable& kernels);

// Field (comb) differencing (every other diffMode): rewrites motionMap rows 1 to h - 2 (even rows
// to 0) and returns the number of moving pixels.
int32_t DiffFields(DeinterlaceInstance* inst, const Bitmap& src, const KernelTable& kernels);

// Whether so large a share of the w x h frame moves that every pixel is to be treated as moving.
bool CheckSceneChange(int32_t movingCount, int32_t w, int32_t h, int32_t sceneThreshold);

// Drops isolated specks from motionMap and grows what is left by two pixels, every row 0 to
// h - 1; denoiseMap is scratch.
void DenoiseMotionMap(DeinterlaceInstance* inst, int32_t w, int32_t h, const KernelTable& kernels);

// Writes every destination row from the source, the motion map and the scene-change flag.
void WriteOutputFrame(const FrameContext& ctx, const DeinterlaceInstance& inst, bool sceneChange,
                      const KernelTable& kernels);

// Row y of a frame view, through its own pitch.
inline uint8_t* RowOf(const Bitmap& b, int32_t y) {
    return b.data + static_cast<ptrdiff_t>(y) * b.pitch;
}
inline uint32_t* PixelRowOf(const Bitmap& b, int32_t y) {
    return reinterpret_cast<uint32_t*>(RowOf(b, y));
}
// Row y of a packed w-wide working buffer.
template <typename T>
inline T* PackedRow(T* base, int32_t w, int32_t y) {
    return base + static_cast<ptrdiff_t>(y) * w;
}
// Bytes of a row of w pixels.
inline size_t RowBytes(int32_t w) { return static_cast<size_t>(w) * 4; }

// RunFrame with a given kernel table (RunFrame uses ActiveKernels()).
int RunFrameWith(DeinterlaceInstance* inst, FrameContext& ctx, const KernelTable& kernels);

}  // namespace velmo
