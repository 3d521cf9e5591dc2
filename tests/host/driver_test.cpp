// The frame callbacks driven the way the host drives them: host records around bottom-up frames
// with padded rows, a frame state with the source frame number, an instance record the host
// allocated. Every call must give the same bytes as the pipeline called directly, and the same
// checksums as every other build.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/main.h"
#include "frame_cases.h"
#include "host/callbacks.h"
#include "host/records.h"
#include "host/script.h"

namespace velmo {
namespace host {
namespace {

using frames::FrameCase;
using frames::HostFrame;

const HostFunctionTable kNoServices = {nullptr, nullptr};

// The host's records for one filter instance.
struct HostInstance {
    std::unique_ptr<uint8_t[]> record;  // instance-size bytes, as a host allocates them
    FilterDescriptor descriptorCopy;
    Bitmap src, dst;
    HostFrameState state;
    HostFilterContext ctx;

    HostInstance() : record(new uint8_t[sizeof(DeinterlaceInstance)]) {
        std::memset(record.get(), 0xCD, sizeof(DeinterlaceInstance));
        std::memset(&descriptorCopy, 0, sizeof descriptorCopy);
        std::memset(&ctx, 0xCD, sizeof ctx);  // fields the filter does not read hold junk
        std::memset(&state, 0xCD, sizeof state);
        ctx.descriptor = &descriptorCopy;
        ctx.instance = record.get();
        ctx.src = &src;
        ctx.dst = &dst;
        ctx.frameState = &state;
    }
    DeinterlaceInstance& inst() { return *reinterpret_cast<DeinterlaceInstance*>(record.get()); }

    static void Describe(Bitmap* b, HostFrame& f) {
        std::memset(b, 0xCD, sizeof *b);
        b->data = reinterpret_cast<uint32_t*>(f.data());
        b->palette = nullptr;
        b->depth = 32;
        b->w = f.w();
        b->h = f.h();
        b->pitch = f.pitch();
        b->modulo = f.pitch() - 4 * f.w();
        b->size = f.pitch() * f.h();
        b->offset = 0;
    }
    void Show(HostFrame& source, HostFrame& destination, int32_t outputFrame, int32_t sourceFrame) {
        Describe(&src, source);
        Describe(&dst, destination);
        state.outputFrame = outputFrame;
        state.microsecsPerFrame = 40000;
        state.sourceFrame = sourceFrame;
    }
};

velmo::Bitmap View(HostFrame& f) {
    velmo::Bitmap b;
    b.data = f.data();
    b.w = f.w();
    b.h = f.h();
    b.pitch = f.pitch();
    return b;
}

void ConfigureThroughScript(HostInstance& host, const FrameCase& c) {
    std::vector<ScriptValue> args(frames::kSettings);
    for (int k = 0; k < frames::kSettings; ++k) {
        args[k].type = 1;
        args[k].link = nullptr;
        args[k].value.i = c.config[k];
    }
    ScriptConfig(nullptr, &host.ctx, args.data(), frames::kSettings);
}

// Runs a case through the host callbacks and through the pipeline directly, side by side,
// comparing every byte after every call. Returns the checksum of each call.
std::vector<uint64_t> RunSideBySide(const FrameCase& c, bool configure) {
    std::vector<uint64_t> hashes;
    HostFrame hostSrc(c.w, c.h, c.srcPad), hostDst(c.w, c.h, c.dstPad);
    HostFrame coreSrc(c.w, c.h, c.srcPad), coreDst(c.w, c.h, c.dstPad);

    HostInstance host;
    EXPECT_EQ(host.descriptorCopy.initSettings, nullptr);
    EXPECT_EQ(InitSettings(&host.ctx, &kNoServices), 0);
    if (configure) ConfigureThroughScript(host, c);

    DeinterlaceInstance core;
    std::memset(&core, 0xCD, sizeof core);
    velmo::InitSettings(&core);
    if (configure)
        for (int k = 0; k < frames::kSettings; ++k) frames::SettingInScriptOrder(core, k) = c.config[k];
    EXPECT_EQ(std::memcmp(&host.inst(), &core, sizeof core), 0) << "settings differ before the run";

    host.Show(hostSrc, hostDst, 0, c.sourceFrames[0]);
    EXPECT_EQ(StartBuffers(&host.ctx, &kNoServices), 0);
    velmo::StartBuffers(&core, View(coreSrc));

    for (int i = 0; i < frames::FrameCount(c); ++i) {
        const int32_t n = c.sourceFrames[i];
        hostSrc.FillSource(n);
        coreSrc.FillSource(n);
        hostDst.FillDestination(i);
        coreDst.FillDestination(i);
        host.Show(hostSrc, hostDst, i, n);
        EXPECT_EQ(RunFrame(&host.ctx, &kNoServices), 0);
        FrameContext frame{View(coreSrc), View(coreDst), n};
        velmo::RunFrame(&core, frame);

        EXPECT_TRUE(hostDst.GuardsIntact() && hostSrc.GuardsIntact()) << "call " << i << ": written outside the frames";
        EXPECT_TRUE(hostDst.SameBytes(coreDst)) << "call " << i << " (source frame " << n << "): destination differs";
        EXPECT_TRUE(hostSrc.SameBytes(coreSrc)) << "call " << i << " (source frame " << n << "): source differs";
        hashes.push_back(frames::CallHash(hostDst, hostSrc));
    }

    EXPECT_EQ(EndBuffers(&host.ctx, &kNoServices), 0);
    velmo::EndBuffers(&core);
    EXPECT_EQ(host.inst().prevFrame, nullptr);
    EXPECT_EQ(host.inst().fieldFrame, nullptr);
    EXPECT_EQ(host.inst().motionMap, nullptr);
    EXPECT_EQ(host.inst().denoiseMap, nullptr);
    return hashes;
}

TEST(HostDriver, EveryRunGivesThePipelinesBytesAndTheKnownChecksums) {
    std::vector<std::vector<uint64_t>> all;
    bool allKnown = true;
    for (const FrameCase& c : frames::Cases()) {
        SCOPED_TRACE(c.name);
        all.push_back(RunSideBySide(c, true));
        const frames::ExpectedHashes* expected = frames::ExpectedFor(c.name);
        bool same = expected != nullptr;
        for (size_t k = 0; same && k < all.back().size(); ++k) same = expected->calls[k] == all.back()[k];
        EXPECT_TRUE(same) << "checksums differ from frame_hashes.inc";
        allKnown = allKnown && same;
    }
    if (!allKnown)
        ADD_FAILURE() << "if the output changed on purpose, frame_hashes.inc becomes:\n"
                      << frames::FormatHashTable(all);
}

TEST(HostDriver, JunkInTheNewRecordWorksLikeJunkInTheCore) {
    // The five switches that InitSettings leaves alone keep the allocator's pattern; the host
    // layer must pass the record on exactly as it is.
    for (const FrameCase& c : frames::Cases()) {
        if (std::strcmp(c.name, "defaults") != 0 && std::strcmp(c.name, "swap-shift-swap-odd") != 0) continue;
        SCOPED_TRACE(c.name);
        RunSideBySide(c, false);
    }
}

TEST(HostDriver, MemoryRowZeroStaysRowZero) {
    // The host keeps frames bottom-up; the fields are counted in memory order all the same, so
    // a one-frame phase shift puts the previous frame's memory row 2k + 1 on row 2k and the
    // current row 2k on row 2k + 1. Without a frame state the call counts as frame 0: each
    // current even row stands twice.
    const int32_t w = 6, h = 8;
    HostFrame src(w, h, 8), dst(w, h, 4), previous(w, h, 8);
    HostInstance host;
    InitSettings(&host.ctx, &kNoServices);
    std::vector<ScriptValue> args(12);
    const int32_t config[12] = {0, 0, 15, 100, 1, 0, 0, 1, 0, 0, 1, 0};  // shift, no motion processing
    for (int k = 0; k < 12; ++k) {
        args[k].type = 1;
        args[k].value.i = config[k];
    }
    ScriptConfig(nullptr, &host.ctx, args.data(), 12);
    host.Show(src, dst, 0, 0);
    StartBuffers(&host.ctx, &kNoServices);

    previous.FillSource(10);
    src.FillSource(10);
    host.Show(src, dst, 0, 0);
    RunFrame(&host.ctx, &kNoServices);
    src.FillSource(11);
    host.Show(src, dst, 1, 1);
    RunFrame(&host.ctx, &kNoServices);
    for (int32_t k = 0; k < h / 2; ++k)
        for (int32_t x = 0; x < w; ++x) {
            ASSERT_EQ(dst.Pixel(x, 2 * k), previous.Pixel(x, 2 * k + 1)) << "row " << 2 * k;
            ASSERT_EQ(dst.Pixel(x, 2 * k + 1), src.Pixel(x, 2 * k)) << "row " << 2 * k + 1;
        }

    src.FillSource(12);
    host.Show(src, dst, 2, 12);
    host.ctx.frameState = nullptr;
    RunFrame(&host.ctx, &kNoServices);
    for (int32_t k = 0; k < h / 2; ++k)
        for (int32_t x = 0; x < w; ++x) {
            ASSERT_EQ(dst.Pixel(x, 2 * k), src.Pixel(x, 2 * k)) << "row " << 2 * k;
            ASSERT_EQ(dst.Pixel(x, 2 * k + 1), src.Pixel(x, 2 * k)) << "row " << 2 * k + 1;
        }
    EndBuffers(&host.ctx, &kNoServices);
    EXPECT_TRUE(src.GuardsIntact() && dst.GuardsIntact());
}

}  // namespace
}  // namespace host
}  // namespace velmo
