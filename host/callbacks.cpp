#include "host/callbacks.h"

#if defined(__MMX__)
#include <mmintrin.h>
#endif

namespace velmo {
namespace host {

velmo::Bitmap BitmapOf(const Bitmap& frame) {
    velmo::Bitmap view;
    view.data = reinterpret_cast<uint8_t*>(frame.data);
    view.w = frame.w;
    view.h = frame.h;
    view.pitch = frame.pitch;
    return view;
}

FrameContext FrameContextOf(const HostFilterContext& ctx) {
    FrameContext frame;
    frame.src = BitmapOf(*ctx.src);
    frame.dst = BitmapOf(*ctx.dst);
    frame.sourceFrame = ctx.frameState != nullptr ? ctx.frameState->sourceFrame : 0;
    return frame;
}

void LeaveFpuEmpty() {
#if defined(__MMX__)
    _mm_empty();
#endif
}

int VELMO_CDECL InitSettings(HostFilterContext* ctx, const HostFunctionTable*) {
    velmo::InitSettings(InstanceOf(ctx));
    return 0;
}

int VELMO_CDECL StartBuffers(HostFilterContext* ctx, const HostFunctionTable*) {
    velmo::StartBuffers(InstanceOf(ctx), BitmapOf(*ctx->src));
    LeaveFpuEmpty();
    return 0;
}

int VELMO_CDECL RunFrame(HostFilterContext* ctx, const HostFunctionTable*) {
    FrameContext frame = FrameContextOf(*ctx);
    velmo::RunFrame(InstanceOf(ctx), frame);
    LeaveFpuEmpty();
    return 0;
}

int VELMO_CDECL EndBuffers(HostFilterContext* ctx, const HostFunctionTable*) {
    velmo::EndBuffers(InstanceOf(ctx));
    return 0;
}

}  // namespace host
}  // namespace velmo
