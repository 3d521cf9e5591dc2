// The instance callbacks as the host calls them: each takes the host's per-instance record,
// finds the DeinterlaceInstance and the frames in it, and runs the frame pipeline.
#pragma once

#include "core/main.h"
#include "host/records.h"

namespace velmo {
namespace host {

// The instance record the host allocated for this filter instance.
inline DeinterlaceInstance* InstanceOf(const HostFilterContext* ctx) {
    return static_cast<DeinterlaceInstance*>(ctx->instance);
}

// The pipeline's view of one host frame: the pixel pointer, size and pitch as the host keeps
// them. The host stores frames bottom-up and the pipeline works in memory order, so memory row 0
// (the bottom picture row) stays row 0: the even field is the one that starts in memory.
velmo::Bitmap BitmapOf(const Bitmap& frame);
// What one RunFrame call works on: the host's source and destination frames and the number of
// the current source frame (0 when the host keeps no frame state).
FrameContext FrameContextOf(const HostFilterContext& ctx);

int VELMO_CDECL InitSettings(HostFilterContext* ctx, const HostFunctionTable* ft) VELMO_HOST_ENTRY;
int VELMO_CDECL StartBuffers(HostFilterContext* ctx, const HostFunctionTable* ft) VELMO_HOST_ENTRY;
int VELMO_CDECL RunFrame(HostFilterContext* ctx, const HostFunctionTable* ft) VELMO_HOST_ENTRY;
int VELMO_CDECL EndBuffers(HostFilterContext* ctx, const HostFunctionTable* ft) VELMO_HOST_ENTRY;

// Leaves the x87 register stack empty after MMX code: the host does floating-point work
// between its calls.
void LeaveFpuEmpty();

}  // namespace host
}  // namespace velmo
