#!/usr/bin/env bash
# long_run_test.sh VELMO: peak memory of 100 frames against 10,000 frames, in two modes.
set -euo pipefail
velmo="$1"
peak() {  # peak resident kilobytes of velmo on N frames with the given options
  local frames="$1"; shift
  ffmpeg -v error -f lavfi -i "testsrc2=size=720x480:rate=30" -frames:v "$frames" \
      -pix_fmt bgra -f rawvideo - |
    /usr/bin/time -f %M -o "$tmp/rss" "$velmo" --quiet --raw 720x480 "$@" - /dev/null
  cat "$tmp/rss"
}
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
for opts in "" "--mode field --denoise --phase-shift --cubic"; do
  # shellcheck disable=SC2086
  short=$(peak 100 $opts)
  # shellcheck disable=SC2086
  long=$(peak 10000 $opts)
  echo "options '${opts}': peak ${short} KiB after 100 frames, ${long} KiB after 10000"
  # Flat: at most 2 MiB more than after the first hundred frames (one frame is 1.3 MiB).
  if [ "$long" -gt $((short + 2048)) ]; then
    echo "memory grew over the run"
    exit 1
  fi
done
