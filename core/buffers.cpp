#include "core/buffers.h"

#include <cstdlib>
#include <limits>

#include "core/fast_copy.h"

namespace velmo {
namespace {

// Every block starts with this header, kept just before the 64-byte aligned data that the
// instance record points at.
struct BlockHeader {
    void* base;  // what malloc returned
    int32_t w;
    int32_t h;
    size_t bytes;
    uint32_t marks;  // see BufferMarks
};

constexpr size_t kAlign = 64;
constexpr size_t kHeaderRoom = (sizeof(BlockHeader) + kAlign - 1) / kAlign * kAlign;

const BlockHeader* HeaderOf(const void* data) {
    return reinterpret_cast<const BlockHeader*>(static_cast<const uint8_t*>(data)) - 1;
}

}  // namespace

bool BufferNeeded(const DeinterlaceInstance& inst, BufferKind kind) {
    switch (kind) {
        case BufferKind::PrevFrame:
            return inst.diffMode == FrameOnly || inst.diffMode == FrameAndField;
        case BufferKind::FieldFrame:
            return inst.phaseShift != 0 || ((inst.swapBefore != 0) != (inst.swapAfter != 0));
        case BufferKind::MotionMap:
            return inst.motionDisabled == 0;
        case BufferKind::DenoiseMap:
            return inst.denoiseMotion != 0;
    }
    return false;
}

bool BufferBytes(BufferKind kind, int32_t w, int32_t h, size_t* bytes) {
    if (w <= 0 || h <= 0) return false;
    const size_t unit = (kind == BufferKind::PrevFrame || kind == BufferKind::FieldFrame) ? 4 : 1;
    // Leave room for the header and alignment; never more than half the address space.
    const size_t limit = std::numeric_limits<size_t>::max() / 2 - kHeaderRoom - kAlign;
    const size_t uw = static_cast<size_t>(w);
    const size_t uh = static_cast<size_t>(h);
    if (uw > limit / unit) return false;
    const size_t row = uw * unit;
    if (uh > limit / row) return false;
    *bytes = row * uh;
    return true;
}

void*& BufferSlot(DeinterlaceInstance& inst, BufferKind kind) {
    switch (kind) {
        case BufferKind::PrevFrame: return reinterpret_cast<void*&>(inst.prevFrame);
        case BufferKind::FieldFrame: return reinterpret_cast<void*&>(inst.fieldFrame);
        case BufferKind::MotionMap: return reinterpret_cast<void*&>(inst.motionMap);
        case BufferKind::DenoiseMap: break;
    }
    return reinterpret_cast<void*&>(inst.denoiseMap);
}

void* AcquireBuffer(BufferKind kind, int32_t w, int32_t h) {
    size_t bytes = 0;
    if (!BufferBytes(kind, w, h, &bytes)) return nullptr;
    void* base = std::malloc(bytes + kHeaderRoom + kAlign);
    if (base == nullptr) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(base) + kHeaderRoom;
    uint8_t* data = reinterpret_cast<uint8_t*>((start + kAlign - 1) & ~uintptr_t(kAlign - 1));
    BlockHeader* header = reinterpret_cast<BlockHeader*>(data) - 1;
    header->base = base;
    header->w = w;
    header->h = h;
    header->bytes = bytes;
    header->marks = 0;
    if (kind == BufferKind::PrevFrame || kind == BufferKind::MotionMap) ZeroFill(data, bytes);
    return data;
}

void ReleaseBuffer(void* block) {
    if (block == nullptr) return;
    std::free(HeaderOf(block)->base);
}

bool BufferFits(const void* block, int32_t w, int32_t h) {
    if (block == nullptr) return false;
    const BlockHeader* header = HeaderOf(block);
    return header->w == w && header->h == h;
}

uint32_t& BufferMarks(void* block) {
    return (reinterpret_cast<BlockHeader*>(static_cast<uint8_t*>(block)) - 1)->marks;
}

bool EnsureBuffers(DeinterlaceInstance* inst, int32_t w, int32_t h) {
    for (int k = 0; k < kBufferKinds; ++k) {
        const BufferKind kind = static_cast<BufferKind>(k);
        if (!BufferNeeded(*inst, kind)) continue;
        void*& slot = BufferSlot(*inst, kind);
        if (BufferFits(slot, w, h)) continue;
        ReleaseBuffer(slot);
        slot = AcquireBuffer(kind, w, h);
        if (slot == nullptr) return false;
    }
    return true;
}

int InitSettings(DeinterlaceInstance* inst) {
    inst->prevFrame = nullptr;
    inst->fieldFrame = nullptr;
    inst->motionMap = nullptr;
    inst->denoiseMap = nullptr;
    inst->motionThreshold = 15;
    inst->sceneThreshold = 100;
    inst->denoiseMotion = 0;
    inst->diffMode = FrameOnly;
    inst->compareColor = 1;
    inst->motionDisabled = 0;
    inst->cubicInterpolation = 0;
    return 0;
}

int StartBuffers(DeinterlaceInstance* inst, const Bitmap& src) {
    for (int k = 0; k < kBufferKinds; ++k) {
        const BufferKind kind = static_cast<BufferKind>(k);
        if (!BufferNeeded(*inst, kind)) continue;
        void*& slot = BufferSlot(*inst, kind);
        ReleaseBuffer(slot);  // a block left from an earlier run
        slot = AcquireBuffer(kind, src.w, src.h);
    }
    return 0;
}

int EndBuffers(DeinterlaceInstance* inst) {
    for (int k = 0; k < kBufferKinds; ++k) {
        void*& slot = BufferSlot(*inst, static_cast<BufferKind>(k));
        ReleaseBuffer(slot);
        slot = nullptr;
    }
    return 0;
}

}  // namespace velmo
