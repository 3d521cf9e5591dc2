#include "cli/demo.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "cli/error.h"
#include "cli/filter_run.h"
#include "cli/png_write.h"
#include "cli/progress.h"

namespace velmo::cli {
namespace {

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// Share of the pixel at (x, y) covered by a disc, with a one-pixel soft edge.
double DiscCover(double x, double y, double cx, double cy, double r) {
    return Clamp01(r - std::hypot(x - cx, y - cy) + 0.5);
}

double BoxCover(double x, double y, double x0, double y0, double x1, double y1) {
    const double cx = Clamp01(std::min(x - x0, x1 - x) + 0.5);
    const double cy = Clamp01(std::min(y - y0, y1 - y) + 0.5);
    return cx * cy;
}

// The still background: sky, a panel of one-pixel lines and a zone plate (detail that only
// full vertical resolution keeps), a brick wall, a checkered floor.
Rgb Background(int x, int y) {
    const double fx = x + 0.5;
    const double fy = y + 0.5;
    Rgb c;
    if (y < 150) {
        c = Mix({110, 160, 230}, {200, 225, 250}, fy / 150.0);
    } else if (y < 290) {
        // Brick wall: 40 x 14 bricks, every other course shifted, 2-pixel mortar.
        const int course = (y - 150) / 14;
        const int bx = (x + (course % 2) * 20) % 40;
        const int by = (y - 150) % 14;
        const bool mortar = bx < 2 || by < 2;
        const int brick = ((x + (course % 2) * 20) / 40 * 7 + course * 13) % 5;
        c = mortar ? Rgb{190, 185, 175} : Rgb{150.0 + brick * 12, 70.0 + brick * 5, 50.0 + brick * 3};
    } else {
        const bool dark = ((x / 20) + (y - 290) / 10) % 2 == 0;
        c = dark ? Rgb{60, 60, 70} : Rgb{170, 170, 160};
    }
    // A sign of alternating one-pixel lines.
    if (x >= 40 && x < 200 && y >= 30 && y < 110) {
        c = ((y & 1) == 0) ? Rgb{20, 20, 20} : Rgb{235, 235, 235};
        if (x >= 60 && x < 180 && y >= 50 && y < 90) c = ((x / 4) % 2 == 0) ? Rgb{230, 40, 40} : Rgb{250, 250, 250};
    }
    // A zone plate: rings that get finer towards the edge.
    const double dx = fx - 520;
    const double dy = fy - 75;
    const double rr = dx * dx + dy * dy;
    if (rr < 60.0 * 60.0) {
        const double v = 0.5 + 0.5 * std::cos(rr * 0.012);
        c = Mix({10, 10, 10}, {245, 245, 245}, v);
    }
    return c;
}

// The scene at field time t (two fields a frame).
Rgb Scene(int x, int y, double t) {
    const double fx = x + 0.5;
    const double fy = y + 0.5;
    Rgb c = Background(x, y);
    // Slow: a red ball with white spots, rolling right, 2 pixels a field.
    {
        const double cx = 120 + 2 * t;
        const double cover = DiscCover(fx, fy, cx, 200, 34);
        if (cover > 0) {
            const double u = fx - cx;
            const double v = fy - 200;
            const bool spot = std::fmod(std::fabs(u + 100) , 22) < 9 && std::fmod(std::fabs(v + 100), 22) < 9;
            c = Mix(c, spot ? Rgb{250, 235, 235} : Rgb{220, 30, 30}, cover);
        }
    }
    // Medium: a wooden crate of planks and a brace, sliding left, 6 pixels a field.
    {
        const double x0 = 470 - 6 * t;
        const double cover = BoxCover(fx, fy, x0, 170, x0 + 70, 240);
        if (cover > 0) {
            const double u = fx - x0;
            const double v = fy - 170;
            const bool seam = std::fmod(u, 14) < 2 || u < 4 || u > 66 || v < 4 || v > 66 || std::fabs(u - v) < 3;
            c = Mix(c, seam ? Rgb{110, 70, 30} : Rgb{240, 200, 40}, cover);
        }
    }
    // Medium, diagonal: a green disc with rings, 4 across and 2 down a field.
    {
        const double cx = 260 + 4 * t;
        const double cy = 150 + 2 * t;
        const double cover = DiscCover(fx, fy, cx, cy, 24);
        if (cover > 0) {
            const bool ring = static_cast<int>(std::hypot(fx - cx, fy - cy) / 5) % 2 == 0;
            c = Mix(c, ring ? Rgb{40, 190, 70} : Rgb{200, 250, 200}, cover);
        }
    }
    // Fast: a striped bar, 14 pixels a field.
    const double bar = BoxCover(fx, fy, 40 + 14 * t, 320, 150 + 14 * t, 370);
    if (bar > 0) {
        const bool stripe = static_cast<int>(std::floor((fx - 14 * t) / 8)) % 2 == 0;
        c = Mix(c, stripe ? Rgb{30, 60, 200} : Rgb{240, 240, 255}, bar);
    }
    return c;
}

uint8_t Byte(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

void MakeDirectories(const std::string& dir) {
    std::string sofar;
    size_t start = 0;
    while (start <= dir.size()) {
        size_t slash = dir.find('/', start);
        if (slash == std::string::npos) slash = dir.size();
        sofar = dir.substr(0, slash);
        if (!sofar.empty() && mkdir(sofar.c_str(), 0777) != 0 && errno != EEXIST) {
            RuntimeError(WithErrno("cannot create the directory " + sofar, errno));
        }
        start = slash + 1;
    }
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) RuntimeError(dir + " is not a directory");
}

}  // namespace

std::vector<uint8_t> RenderDemoFrame(int n) {
    std::vector<uint8_t> frame(static_cast<size_t>(kDemoWidth) * kDemoHeight * 4);
    for (int y = 0; y < kDemoHeight; ++y) {
        const double t = 2.0 * n + (y & 1);  // the top field comes first
        for (int x = 0; x < kDemoWidth; ++x) {
            const Rgb c = Scene(x, y, t);
            uint8_t* p = &frame[(static_cast<size_t>(y) * kDemoWidth + x) * 4];
            p[0] = Byte(c.b);
            p[1] = Byte(c.g);
            p[2] = Byte(c.r);
            p[3] = 0xFF;
        }
    }
    return frame;
}

int RunDemo(const Options& options) {
    MakeDirectories(options.output);
    const FrameSize size{kDemoWidth, kDemoHeight};
    DeinterlaceInstance grey = options.settings;
    grey.showMotionOnly = 1;

    FilterRun plain(options.settings, size, options.rowOrder, options.startFrame);
    FilterRun motion(grey, size, options.rowOrder, options.startFrame);
    std::vector<uint8_t> input;
    const uint8_t* after = nullptr;
    const uint8_t* shown = nullptr;
    for (int n = 0; n < kDemoFrames; ++n) {
        input = RenderDemoFrame(n);
        after = plain.Process(input.data());
        shown = motion.Process(input.data());
    }

    const std::string dir = options.output;
    const std::string before = dir + "/before.png";
    const std::string afterPath = dir + "/after.png";
    const std::string motionPath = dir + "/motion.png";
    WritePng(before, input.data(), size.w, size.h);
    WritePng(afterPath, after, size.w, size.h);
    WritePng(motionPath, shown, size.w, size.h);

    char line[kConfigLineMax];
    FormatConfigLine(options.settings, line, sizeof line);
    std::printf("velmo demo: a %dx%d interlaced sample, frame %d of %d, %s\n", size.w, size.h, kDemoFrames - 1,
                kDemoFrames, line);
    std::printf("  %-28s the frame as captured: each field at its own moment, so motion combs\n", before.c_str());
    std::printf("  %-28s deinterlaced with these settings\n", afterPath.c_str());
    std::printf("  %-28s the same, still areas grey\n", motionPath.c_str());
    const uint8_t* map = plain.instance().motionMap;
    if (map != nullptr) {
        const size_t pixels = static_cast<size_t>(size.w) * size.h;
        const size_t moving = static_cast<size_t>(std::count_if(map, map + pixels, [](uint8_t b) { return b != 0; }));
        std::printf("  %.1f%% of the pixels moved (%zu of %zu)\n", 100.0 * double(moving) / double(pixels), moving,
                    pixels);
    } else {
        std::printf("  motion processing is off: no pixel was tested for motion\n");
    }
    return kExitOk;
}

}  // namespace velmo::cli
