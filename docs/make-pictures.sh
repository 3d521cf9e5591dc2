#!/usr/bin/env bash
# Makes the pictures of the README and the help page from a real interlaced clip: FFmpeg's
# testsrc2 at 60 frames a second woven into 30 interlaced frames, run through velmo in raw mode
# with the default settings and in grey mode. Frame 5 is kept as before.png, after.png and
# motion.png in docs/ and docs/help/. Prints the share of pixels left untouched in each frame.
set -euo pipefail
cd "$(dirname "$0")/.."
velmo="${VELMO:-build/linux/cli/velmo}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
ffmpeg -v error -y -f lavfi -i "testsrc2=size=720x480:rate=60" -vf interlace -frames:v 8 \
  -pix_fmt bgra -f rawvideo "$tmp/clip.bgra"
"$velmo" --quiet --raw 720x480 "$tmp/clip.bgra" "$tmp/after.bgra"
"$velmo" --quiet --raw 720x480 --show-motion "$tmp/clip.bgra" "$tmp/motion.bgra"
for name in clip after motion; do
  out="$name"; [ "$name" = clip ] && out=before
  ffmpeg -v error -y -f rawvideo -pix_fmt bgra -s 720x480 -i "$tmp/$name.bgra" \
    -vf "select=eq(n\,5)" -frames:v 1 -pix_fmt rgb24 "docs/$out.png"
  cp "docs/$out.png" docs/help/
done
python3 - "$tmp/clip.bgra" "$tmp/after.bgra" <<'PY'
import sys
w, h = 720, 480
fs = w * h * 4
a = open(sys.argv[1], 'rb').read()
b = open(sys.argv[2], 'rb').read()
for f in range(len(a) // fs):
    A, B = a[f * fs:(f + 1) * fs], b[f * fs:(f + 1) * fs]
    same = sum(1 for i in range(0, fs, 4) if A[i:i + 4] == B[i:i + 4])
    print("frame %d: %.1f%% of the pixels untouched" % (f, 100.0 * same / (w * h)))
PY
