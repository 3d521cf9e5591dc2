#!/usr/bin/env bash
# Makes the before/after pictures and the motion map in docs/ from a synthetic interlaced clip:
# a still, detailed Mandelbrot set with a test card sliding across it, 60 fields a second
# woven into 30 interlaced frames. Needs FFmpeg and a native build with the deinterlace_raw tool:
#   cmake --preset linux && cmake --build build/linux --target deinterlace_raw
#   docs/tools/make_pictures.sh [build/linux]
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build/linux}"
tool="$build/docs/tools/deinterlace_raw"
frame=6
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

ffmpeg -hide_banner -loglevel error -f lavfi -i \
  "mandelbrot=s=720x480:r=60,trim=end_frame=1,loop=loop=-1:size=1,format=bgra[bg];testsrc=s=260x200:r=60,format=bgra[mv];[bg][mv]overlay=x='40+t*600':y=140:format=rgb,format=bgra,interlace=scan=tff:lowpass=off,format=bgra" \
  -frames:v 12 -f rawvideo "$work/clip.bgra"

"$tool" 720 480 "$work/clip.bgra" "$work/out.bgra" | sed -n "$((frame + 1))p"
"$tool" 720 480 "$work/clip.bgra" "$work/map.bgra" --grey >/dev/null

png() {  # raw clip, PNG: one frame, alpha dropped
  ffmpeg -hide_banner -loglevel error -y -f rawvideo -pix_fmt bgra -s 720x480 -i "$1" \
    -vf "select=eq(n\,$frame)" -frames:v 1 -pix_fmt rgb24 "$2"
}
png "$work/clip.bgra" docs/deinterlace-before.png
png "$work/out.bgra" docs/deinterlace-after.png
png "$work/map.bgra" docs/deinterlace-motion.png
ls -l docs/deinterlace-*.png
