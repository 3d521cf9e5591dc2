#include "cli/png_write.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/error.h"
#include "cli/files.h"

namespace velmo::cli {

void WritePng(const std::string& path, const uint8_t* frame, int32_t w, int32_t h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * 3 * static_cast<size_t>(h));
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    for (size_t i = 0; i < pixels; ++i) {
        rgb[3 * i + 0] = frame[4 * i + 2];
        rgb[3 * i + 1] = frame[4 * i + 1];
        rgb[3 * i + 2] = frame[4 * i + 0];
    }

    OutputFile out(path);
    FILE* f = fdopen(dup(out.fd()), "wb");
    if (f == nullptr) RuntimeError(WithErrno("cannot write " + path, errno));
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_stdio(&image, f, 0, rgb.data(), 0, nullptr);
    const std::string message = image.message;
    png_image_free(&image);
    const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
    const int err = errno;
    std::fclose(f);
    if (!ok) RuntimeError("cannot write " + path + ": " + message);
    if (!flushed) RuntimeError(WithErrno("cannot write " + path, err));
    out.Commit();
}

}  // namespace velmo::cli
