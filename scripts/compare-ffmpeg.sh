#!/usr/bin/env bash
# Compares velmo's time per frame with FFmpeg's deinterlacers on the same 1080-row interlaced
# frames, all on one thread. FFmpeg's cost is that of the filter alone: the best run with the
# filter minus the best run with the null filter on the same input. velmo's is RunFrame alone,
# timed by bench's velmo_time_raw on the same frames as raw BGRA.
#
#   scripts/compare-ffmpeg.sh [BUILD_DIR] [FRAMES]     (defaults: build/linux, 60)
#
# yadif, bwdif and w3fdif run on planar YUV 4:2:0 (their usual format, 1.5 bytes per pixel) and
# on planar RGB (gbrp: the same colour data as velmo's frames, 3 bytes per pixel); kerndeint and
# velmo on packed 32-bit BGRA (4 bytes per pixel). yadif and bwdif give one frame per input frame
# (mode send_frame), as velmo does; w3fdif always gives two.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD="${1:-build/linux}"
FRAMES="${2:-60}"
RUNS="${RUNS:-3}"
W=1920
H=1080
TIMER="$BUILD/bench/velmo_time_raw"

if [ ! -x "$TIMER" ]; then
  echo "compare-ffmpeg: $TIMER not found; build it with: cmake --preset linux && cmake --build --preset linux --target velmo_time_raw" >&2
  exit 1
fi
command -v ffmpeg >/dev/null || { echo "compare-ffmpeg: ffmpeg is not installed (scripts/setup.sh)" >&2; exit 1; }

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

# Interlaced frames: a 60 fields/s moving test picture with noise, woven two fields a frame.
ffmpeg -hide_banner -nostdin -loglevel error -f lavfi \
  -i "testsrc2=size=${W}x$((H / 2)):rate=60,tinterlace=mode=merge,noise=alls=6:allf=t" \
  -frames:v "$FRAMES" -pix_fmt bgra -f rawvideo "$WORK/clip.bgra"
ffmpeg -hide_banner -nostdin -loglevel error -f rawvideo -pix_fmt bgra -s "${W}x${H}" -i "$WORK/clip.bgra" \
  -pix_fmt yuv420p -f rawvideo "$WORK/clip.yuv"
ffmpeg -hide_banner -nostdin -loglevel error -f rawvideo -pix_fmt bgra -s "${W}x${H}" -i "$WORK/clip.bgra" \
  -pix_fmt gbrp -f rawvideo "$WORK/clip.gbrp"

FILTERS="$(ffmpeg -hide_banner -filters 2>/dev/null | awk '{print $2}')"
have_filter() { grep -qx "$1" <<<"$FILTERS"; }

# Best wall time in seconds of RUNS runs of one filter chain over one input.
ffmpeg_seconds() {
  local fmt="$1" file="$2" chain="$3" best="" t
  for _ in $(seq "$RUNS"); do
    t=$(ffmpeg -hide_banner -nostdin -benchmark -threads 1 -filter_threads 1 \
          -f rawvideo -pix_fmt "$fmt" -s "${W}x${H}" -framerate 30 -i "$file" \
          -vf "$chain" -threads 1 -f null - 2>&1 | sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p' | tail -n 1)
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN{exit !(a<b)}'; then best="$t"; fi
  done
  echo "$best"
}

velmo_ms() {
  "$TIMER" "$WORK/clip.bgra" "$W" "$H" --passes="$RUNS" "$@" | sed -n 's/.*ms_per_frame \([0-9.]*\).*/\1/p'
}

declare -A NULL_S
NULL_S[yuv420p]=$(ffmpeg_seconds yuv420p "$WORK/clip.yuv" null)
NULL_S[bgra]=$(ffmpeg_seconds bgra "$WORK/clip.bgra" null)
NULL_S[gbrp]=$(ffmpeg_seconds gbrp "$WORK/clip.gbrp" null)

rows=()
add_ffmpeg() {
  local name="$1" fmt="$2" chain="$3" file
  have_filter "$name" || { rows+=("$name|$fmt|not in this ffmpeg|"); return; }
  case "$fmt" in yuv420p) file="$WORK/clip.yuv" ;; *) file="$WORK/clip.$fmt" ;; esac
  local s; s=$(ffmpeg_seconds "$fmt" "$file" "$chain")
  local ms; ms=$(awk -v s="$s" -v n="${NULL_S[$fmt]}" -v f="$FRAMES" 'BEGIN{printf "%.3f", (s - n) * 1000 / f}')
  rows+=("$name ($chain)|$fmt|$ms|")
}
add_ffmpeg yadif yuv420p "yadif=mode=send_frame"
add_ffmpeg bwdif yuv420p "bwdif=mode=send_frame"
add_ffmpeg w3fdif yuv420p "w3fdif"
add_ffmpeg yadif gbrp "yadif=mode=send_frame"
add_ffmpeg bwdif gbrp "bwdif=mode=send_frame"
add_ffmpeg w3fdif gbrp "w3fdif"
add_ffmpeg kerndeint bgra "kerndeint"

levels=()
for l in reference sse2 avx2; do
  ms=$(velmo_ms --kernels="$l" 2>/dev/null || true)
  [ -n "$ms" ] && levels+=("$l|$ms")
done
best_velmo=""
for entry in "${levels[@]}"; do best_velmo="${entry#*|}"; done

echo "CPU: $(lscpu | sed -n 's/^Model name: *//p'); ${W}x${H}, $FRAMES frames, one thread, best of $RUNS runs"
echo "velmo: default settings (frame differencing in colour, threshold 15, linear interpolation)"
echo
printf '%-34s %-8s %12s %14s\n' "filter" "format" "ms/frame" "x velmo best"
printf '%-34s %-8s %12s %14s\n' "------" "------" "--------" "------------"
for entry in "${levels[@]}"; do
  l="${entry%%|*}"; ms="${entry#*|}"
  printf '%-34s %-8s %12.3f %14.2f\n' "velmo, $l kernels" bgra "$ms" "$(awk -v a="$ms" -v b="$best_velmo" 'BEGIN{print a/b}')"
done
for r in "${rows[@]}"; do
  IFS='|' read -r name fmt ms _ <<<"$r"
  if [[ "$ms" =~ ^-?[0-9.]+$ ]]; then
    printf '%-34s %-8s %12.3f %14.2f\n' "$name" "$fmt" "$ms" "$(awk -v a="$ms" -v b="$best_velmo" 'BEGIN{print a/b}')"
  else
    printf '%-34s %-8s %12s\n' "$name" "$fmt" "$ms"
  fi
done
echo
null_ms() { awk -v s="${NULL_S[$1]}" -v f="$FRAMES" 'BEGIN{printf "%.3f", s*1000/f}'; }
echo "(null filter, reading and passing the frames, subtracted above: yuv420p $(null_ms yuv420p), gbrp $(null_ms gbrp), bgra $(null_ms bgra) ms/frame)"
