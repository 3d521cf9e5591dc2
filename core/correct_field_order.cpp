// Field swap and one-frame phase shift: rearranges the two fields of the frame before motion
// detection, keeping one field in fieldFrame from call to call.
#include "core/buffers.h"
#include "core/fast_copy.h"
#include "core/stages.h"

namespace velmo {
namespace {

// Marks on the fieldFrame block: which parity of its rows holds rows that a call has written
// since the block was acquired. A phase shift reads only a parity that has been written; until
// then it takes the current frame's row instead, as on the first frame.
constexpr uint32_t kEvenRowsHeld = 1u << 0;
constexpr uint32_t kOddRowsHeld = 1u << 1;

uint32_t HeldMark(int parity) { return parity == 0 ? kEvenRowsHeld : kOddRowsHeld; }

// One phase-shift case as three loops over the row pairs, rows named by their parity in the
// pair (0 = row 2k, 1 = row 2k + 1):
//   D[direct]  <- S[directFrom]
//   D[delayed] <- F[kept]          (on the first frame: S[directFrom])
//   F[kept]    <- S[kept]
// The kept field of the previous call is read before this call overwrites it.
struct ShiftCase {
    int direct;
    int directFrom;
    int delayed;
    int kept;
};

ShiftCase ShiftCaseOf(const DeinterlaceInstance& inst) {
    const bool before = inst.swapBefore != 0;
    const bool after = inst.swapAfter != 0;
    if (!before && !after) return {1, 0, 0, 1};  // shift
    if (before && !after) return {1, 1, 0, 0};   // swap, shift
    if (!before && after) return {0, 0, 1, 1};   // shift, swap
    return {0, 1, 1, 0};                         // swap, shift, swap
}

}  // namespace

bool CorrectionRuns(const DeinterlaceInstance& inst) {
    return inst.phaseShift != 0 || ((inst.swapBefore != 0) != (inst.swapAfter != 0));
}

void CorrectFieldOrder(DeinterlaceInstance* inst, const FrameContext& ctx) {
    const Bitmap& src = ctx.src;
    const Bitmap& dst = ctx.dst;
    const int32_t w = src.w;
    const int32_t h = src.h;
    const int32_t pairs = h / 2;
    const size_t bytes = RowBytes(w);
    uint32_t* field = inst->fieldFrame;
    auto S = [&](int32_t r) { return RowOf(src, r); };
    auto D = [&](int32_t r) { return RowOf(dst, r); };
    auto F = [&](int32_t r) { return PackedRow(field, w, r); };

    if (inst->phaseShift == 0) {
        // One swap: the odd source rows go through the odd rows of fieldFrame.
        for (int32_t k = 0; k < pairs; ++k) FastCopy(F(2 * k + 1), S(2 * k + 1), bytes);
        for (int32_t k = 0; k < pairs; ++k) FastCopy(D(2 * k + 1), S(2 * k), bytes);
        for (int32_t k = 0; k < pairs; ++k) FastCopy(D(2 * k), F(2 * k + 1), bytes);
        if (pairs > 0) BufferMarks(field) |= kOddRowsHeld;
    } else {
        const ShiftCase c = ShiftCaseOf(*inst);
        uint32_t& marks = BufferMarks(field);
        const bool firstFrame = ctx.sourceFrame == 0 || (marks & HeldMark(c.kept)) == 0;
        for (int32_t k = 0; k < pairs; ++k) FastCopy(D(2 * k + c.direct), S(2 * k + c.directFrom), bytes);
        for (int32_t k = 0; k < pairs; ++k) {
            const void* from = firstFrame ? static_cast<const void*>(S(2 * k + c.directFrom))
                                          : static_cast<const void*>(F(2 * k + c.kept));
            FastCopy(D(2 * k + c.delayed), from, bytes);
        }
        for (int32_t k = 0; k < pairs; ++k) FastCopy(F(2 * k + c.kept), S(2 * k + c.kept), bytes);
        if (pairs > 0) marks |= HeldMark(c.kept);
    }

    // The last row of an odd height belongs to no pair: it passes through unchanged, so that
    // the destination holds a whole frame.
    if (h % 2 == 1) FastCopy(D(h - 1), S(h - 1), bytes);
}

}  // namespace velmo
