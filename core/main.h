// Velmo: motion-adaptive deinterlacer. The instance record, the frame views and the callbacks
// that every driver (the VirtualDub host layer, the command-line tool, the tests) calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmo {

// Differencing modes as stored in diffMode. Any value other than FrameOnly and FrameAndField
// behaves as FieldOnly.
enum DiffMode : int32_t { FrameOnly = 0, FieldOnly = 1, FrameAndField = 2 };

// One filter instance: four working buffers, then twelve signed 32-bit settings. The host
// allocates it (64 bytes with 32-bit pointers) and owns it; the filter only fills it in.
struct DeinterlaceInstance {
    uint32_t* prevFrame;   // w x h words: previous frame as luma levels or pixels
    uint32_t* fieldFrame;  // w x h pixels: field kept by the phase shift, swap scratch
    uint8_t* motionMap;    // w x h bytes: 0 still, 1 moving
    uint8_t* denoiseMap;   // w x h bytes: kept flags of the speck filter

    int32_t showMotionOnly;
    int32_t blendMotion;
    int32_t motionThreshold;
    int32_t sceneThreshold;
    int32_t phaseShift;
    int32_t swapBefore;
    int32_t swapAfter;
    int32_t denoiseMotion;
    int32_t diffMode;
    int32_t compareColor;
    int32_t motionDisabled;
    int32_t cubicInterpolation;
};

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(DeinterlaceInstance) == 64, "the host allocates exactly 64 bytes per instance");
#endif
static_assert(offsetof(DeinterlaceInstance, showMotionOnly) == 4 * sizeof(void*),
              "settings follow the four buffer pointers");

// A view of a frame: memory row y starts at data + y * pitch bytes. 32-bit pixels, byte 0 blue,
// byte 1 green, byte 2 red, byte 3 not interpreted.
struct Bitmap {
    uint8_t* data;
    int32_t w;
    int32_t h;
    int32_t pitch;  // bytes between the starts of consecutive rows, positive
};

// What one RunFrame call is given. The destination is taken to have the source's size.
struct FrameContext {
    Bitmap src;
    Bitmap dst;
    int32_t sourceFrame;  // number of the current source frame, 0 for the first
};

// Writes the defaults and empties the four buffer pointers.
int InitSettings(DeinterlaceInstance* inst);
// Acquires the buffers the current settings call for, sized for src.
int StartBuffers(DeinterlaceInstance* inst, const Bitmap& src);
// Releases every buffer the instance holds.
int EndBuffers(DeinterlaceInstance* inst);
// Deinterlaces one frame: ctx.src into ctx.dst.
int RunFrame(DeinterlaceInstance* inst, FrameContext& ctx);

}  // namespace velmo
