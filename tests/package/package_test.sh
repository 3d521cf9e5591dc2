#!/usr/bin/env bash
# Builds the .deb, unpacks it into a scratch root, checks its contents and dependencies, and runs
# the installed tool from there.
set -euo pipefail
build="$1"
version="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/package/velmo_*.deb | head -n 1)
[ -f "$deb" ] || { echo "no package built"; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for need in ffmpeg libpng16-16 libc6; do
  grep -q "$need" <<<"$depends" || { echo "Depends lacks $need: $depends"; exit 1; }
done

dpkg-deb -x "$deb" "$scratch/root"
root="$scratch/root"
for f in usr/bin/velmo usr/share/man/man1/velmo.1 usr/share/doc/velmo/README.md; do
  [ -e "$root/$f" ] || { echo "package lacks $f"; exit 1; }
done
grep -q "^.TH VELMO 1" "$root/usr/share/man/man1/velmo.1" || { echo "man page not filled in"; exit 1; }
grep -q "@VELMO" "$root/usr/share/man/man1/velmo.1" && { echo "man page has unfilled fields"; exit 1; }

out=$("$root/usr/bin/velmo" --version)
grep -q "$version" <<<"$out" || { echo "velmo --version printed '$out', expected $version"; exit 1; }
(cd "$scratch" && "$root/usr/bin/velmo" demo demo-out >/dev/null)
for p in before after motion; do
  [ -s "$scratch/demo-out/$p.png" ] || { echo "demo wrote no $p.png"; exit 1; }
done
echo "package $(basename "$deb"): installed files, dependencies, --version and demo fine"
