#!/usr/bin/env bash
# Builds the modules bundle: the three VirtualDub modules, the help page with its pictures and the
# install text, in one zip for the "plugins" folder.
#   scripts/package-modules.sh [-o OUTPUT.zip] [P2-BUILD P3-BUILD P4-BUILD]
# The build folders default to build/win32-p2, build/win32-p3 and build/win32-p4; each must hold
# its module (velmo-p2.vdf, velmo-p3.vdf, velmo-p4.vdf). OUTPUT defaults to build/velmo-modules.zip.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

out="$root/build/velmo-modules.zip"
if [ "${1:-}" = "-o" ]; then
  [ $# -ge 2 ] || { echo "package-modules: -o needs a file name" >&2; exit 2; }
  out="$2"
  shift 2
fi
if [ $# -eq 0 ]; then
  set -- "$root/build/win32-p2" "$root/build/win32-p3" "$root/build/win32-p4"
elif [ $# -ne 3 ]; then
  echo "usage: package-modules.sh [-o OUTPUT.zip] [P2-BUILD P3-BUILD P4-BUILD]" >&2
  exit 2
fi

files=()
cpu=2
for dir in "$@"; do
  module="$dir/velmo-p$cpu.vdf"
  if [ ! -f "$module" ]; then
    echo "package-modules: $module is missing (build the win32-p$cpu preset first)" >&2
    exit 1
  fi
  files+=("$module")
  cpu=$((cpu + 1))
done

help="$root/docs/help"
[ -f "$help/Tidal.html" ] || { echo "package-modules: $help/Tidal.html is missing" >&2; exit 1; }
# The help page and the pictures it links to, all in one folder.
files+=("$help/Tidal.html")
while IFS= read -r picture; do
  if [ -f "$help/$picture" ]; then
    files+=("$help/$picture")
  else
    echo "package-modules: warning: Tidal.html shows $picture, which is not in docs/help" >&2
  fi
done < <(grep -o 'src="[^"/]*"' "$help/Tidal.html" | sed 's/^src="//; s/"$//' | sort -u)

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
cp "${files[@]}" "$stage/"
cp "$root/docs/INSTALL-modules.txt" "$stage/INSTALL.txt"
# Same dates for every file, so that the same inputs give the same zip.
touch -d "@${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}" "$stage"/*
mkdir -p "$(dirname "$out")"
out="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")"
rm -f "$out"
(cd "$stage" && LC_ALL=C zip -q -X -D "$out.tmp" $(LC_ALL=C ls))
mv "$out.tmp" "$out"
echo "package-modules: wrote $out"
unzip -l "$out" | sed -n '4,$p' | head -n -2 | awk '{print "  " $4 " (" $1 " bytes)"}'
