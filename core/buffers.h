// The four working buffers of an instance: when the settings call for each, how big it is, and
// blocks that remember the frame size they were acquired for.
#pragma once

#include "core/main.h"

namespace velmo {

enum class BufferKind { PrevFrame, FieldFrame, MotionMap, DenoiseMap };
constexpr int kBufferKinds = 4;

// Whether the settings, as they stand now, call for the buffer.
bool BufferNeeded(const DeinterlaceInstance& inst, BufferKind kind);

// Bytes of the buffer for a w x h frame; false when the size does not fit in memory or w or h is
// not positive.
bool BufferBytes(BufferKind kind, int32_t w, int32_t h, size_t* bytes);

// The instance's pointer for the buffer, as a raw block address.
void*& BufferSlot(DeinterlaceInstance& inst, BufferKind kind);

// A block of the buffer for a w x h frame, zero-filled for prevFrame and motionMap; null when the
// size does not fit or memory cannot be had.
void* AcquireBuffer(BufferKind kind, int32_t w, int32_t h);
// Releases a block from AcquireBuffer; null does nothing.
void ReleaseBuffer(void* block);
// Whether the block was acquired for a w x h frame (false for null).
bool BufferFits(const void* block, int32_t w, int32_t h);

// A word of flags kept with the block, 0 when the block is acquired, for its user to note what
// the block holds (the field-order correction marks which rows of fieldFrame hold a saved
// field). The block must not be null.
uint32_t& BufferMarks(void* block);

// Makes every buffer that the current settings need present and sized for w x h, acquiring (and
// releasing a mis-sized block first) where needed. False when a block cannot be had; the
// instance is then left consistent (every pointer null or a valid block).
bool EnsureBuffers(DeinterlaceInstance* inst, int32_t w, int32_t h);

}  // namespace velmo
