// Times RunFrame on raw 32-bit BGRA frames read from a file, for comparing with other
// deinterlacers on the same frames (scripts/compare-ffmpeg.sh). Each frame is read into the
// source buffer untimed, then deinterlaced timed; the file is run through several times and the
// best pass counts. Prints one line: frames, ms per frame, kernel level.
//
//   velmo_time_raw FILE WIDTH HEIGHT [--kernels=reference|sse2|avx2] [--passes=N]
//                  [--set=field=value ...]   (settings by name, e.g. --set=cubicInterpolation=1)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/kernels.h"
#include "core/main.h"
#include "core/stages.h"

namespace {

bool SetByName(velmo::DeinterlaceInstance& inst, const std::string& name, int32_t value) {
    struct Field {
        const char* name;
        int32_t velmo::DeinterlaceInstance::*field;
    };
    const Field fields[] = {
        {"showMotionOnly", &velmo::DeinterlaceInstance::showMotionOnly},
        {"blendMotion", &velmo::DeinterlaceInstance::blendMotion},
        {"motionThreshold", &velmo::DeinterlaceInstance::motionThreshold},
        {"sceneThreshold", &velmo::DeinterlaceInstance::sceneThreshold},
        {"phaseShift", &velmo::DeinterlaceInstance::phaseShift},
        {"swapBefore", &velmo::DeinterlaceInstance::swapBefore},
        {"swapAfter", &velmo::DeinterlaceInstance::swapAfter},
        {"denoiseMotion", &velmo::DeinterlaceInstance::denoiseMotion},
        {"diffMode", &velmo::DeinterlaceInstance::diffMode},
        {"compareColor", &velmo::DeinterlaceInstance::compareColor},
        {"motionDisabled", &velmo::DeinterlaceInstance::motionDisabled},
        {"cubicInterpolation", &velmo::DeinterlaceInstance::cubicInterpolation},
    };
    for (const Field& f : fields) {
        if (name == f.name) {
            inst.*f.field = value;
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: velmo_time_raw FILE WIDTH HEIGHT [--kernels=LEVEL] [--passes=N] [--set=NAME=VALUE]...\n";
        return 2;
    }
    const std::string path = argv[1];
    const int32_t w = std::atoi(argv[2]), h = std::atoi(argv[3]);
    if (w <= 0 || h <= 0) {
        std::cerr << "velmo_time_raw: bad frame size\n";
        return 2;
    }
    velmo::DeinterlaceInstance inst{};
    velmo::InitSettings(&inst);
    const velmo::KernelTable* kernels = &velmo::ActiveKernels();
    int passes = 3;
    for (int i = 4; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--kernels=", 0) == 0) {
            const std::string want = arg.substr(10);
            kernels = nullptr;
            for (int l = 0; l < velmo::kKernelLevels; ++l) {
                const auto level = static_cast<velmo::KernelLevel>(l);
                if (want == velmo::KernelLevelName(level)) kernels = velmo::KernelsFor(level);
            }
            if (kernels == nullptr) {
                std::cerr << "velmo_time_raw: kernels '" << want << "' are not available\n";
                return 2;
            }
        } else if (arg.rfind("--passes=", 0) == 0) {
            passes = std::max(1, std::atoi(arg.c_str() + 9));
        } else if (arg.rfind("--set=", 0) == 0 && arg.find('=', 6) != std::string::npos) {
            const size_t eq = arg.find('=', 6);
            if (!SetByName(inst, arg.substr(6, eq - 6), std::atoi(arg.c_str() + eq + 1))) {
                std::cerr << "velmo_time_raw: no setting " << arg.substr(6, eq - 6) << "\n";
                return 2;
            }
        } else {
            std::cerr << "velmo_time_raw: unknown argument " << arg << "\n";
            return 2;
        }
    }

    const size_t frameBytes = static_cast<size_t>(w) * h * 4;
    std::vector<uint32_t> src(static_cast<size_t>(w) * h), dst(static_cast<size_t>(w) * h);
    velmo::Bitmap srcMap{reinterpret_cast<uint8_t*>(src.data()), w, h, w * 4};
    velmo::Bitmap dstMap{reinterpret_cast<uint8_t*>(dst.data()), w, h, w * 4};
    double best = 0;
    long frames = 0;
    for (int pass = 0; pass < passes; ++pass) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << "velmo_time_raw: cannot open " << path << "\n";
            return 1;
        }
        velmo::StartBuffers(&inst, srcMap);
        double total = 0;
        long n = 0;
        while (in.read(reinterpret_cast<char*>(src.data()), static_cast<std::streamsize>(frameBytes))) {
            velmo::FrameContext ctx{srcMap, dstMap, static_cast<int32_t>(n)};
            const auto t0 = std::chrono::steady_clock::now();
            velmo::RunFrameWith(&inst, ctx, *kernels);
            const auto t1 = std::chrono::steady_clock::now();
            total += std::chrono::duration<double>(t1 - t0).count();
            ++n;
        }
        velmo::EndBuffers(&inst);
        if (n == 0) {
            std::cerr << "velmo_time_raw: no whole frame in " << path << "\n";
            return 1;
        }
        if (pass == 0 || total < best) best = total;
        frames = n;
    }
    std::printf("frames %ld ms_per_frame %.4f kernels %s\n", frames, 1000.0 * best / frames, kernels->name);
    return 0;
}
