// Runs the filter library directly on raw frames, as a host would, to give the bytes that the
// command-line tool must produce for the same frames and settings:
//   velmo_cli_reference W H bottom-up|top-down START a1 ... a12 INPUT OUTPUT
// a1 ... a12 are the values of the Config line. Each frame is handed over in the given row order
// (bottom-up: the bottom row of the picture is memory row 0), and the destination starts as a
// copy of the source.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/main.h"
#include "host/config_line.h"

int main(int argc, char** argv) {
    if (argc != 5 + velmo::kConfigArgs + 2) {
        std::fprintf(stderr, "usage: velmo_cli_reference W H ORDER START a1..a12 INPUT OUTPUT\n");
        return 2;
    }
    const int w = std::atoi(argv[1]);
    const int h = std::atoi(argv[2]);
    const bool bottomUp = std::strcmp(argv[3], "bottom-up") == 0;
    const int start = std::atoi(argv[4]);
    int32_t args[velmo::kConfigArgs];
    for (int i = 0; i < velmo::kConfigArgs; ++i) args[i] = static_cast<int32_t>(std::strtol(argv[5 + i], nullptr, 10));
    FILE* in = std::fopen(argv[5 + velmo::kConfigArgs], "rb");
    FILE* out = std::fopen(argv[6 + velmo::kConfigArgs], "wb");
    if (in == nullptr || out == nullptr) return 1;

    velmo::DeinterlaceInstance inst;
    std::memset(&inst, 0, sizeof inst);
    velmo::InitSettings(&inst);
    velmo::ApplyConfigArgs(&inst, args);

    const size_t row = size_t(w) * 4;
    const size_t bytes = row * size_t(h);
    // The filter's frames sit inside larger blocks at another pitch than the picture rows, so
    // that a driver that mixed up the pitches would not match.
    const size_t pitch = row + 64;
    std::vector<uint8_t> picture(bytes), src(pitch * h), dst(pitch * h), result(bytes);
    velmo::Bitmap srcMap{src.data(), w, h, static_cast<int32_t>(pitch)};
    velmo::StartBuffers(&inst, srcMap);

    auto memRow = [&](int y) { return bottomUp ? h - 1 - y : y; };  // picture row y -> memory row
    for (int n = start;; ++n) {
        if (std::fread(picture.data(), 1, bytes, in) != bytes) break;
        for (int y = 0; y < h; ++y) std::memcpy(&src[memRow(y) * pitch], &picture[y * row], row);
        dst = src;
        velmo::FrameContext ctx;
        ctx.src = srcMap;
        ctx.dst = velmo::Bitmap{dst.data(), w, h, static_cast<int32_t>(pitch)};
        ctx.sourceFrame = n;
        velmo::RunFrame(&inst, ctx);
        for (int y = 0; y < h; ++y) std::memcpy(&result[y * row], &dst[memRow(y) * pitch], row);
        std::fwrite(result.data(), 1, bytes, out);
    }
    velmo::EndBuffers(&inst);
    std::fclose(in);
    return std::fclose(out) == 0 ? 0 : 1;
}
