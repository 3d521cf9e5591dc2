#!/usr/bin/env bash
# Builds both releases into build/release: the Debian package of the command-line tool and the
# zip of the three VirtualDub modules with their help page.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
JOBS="${JOBS:-$(nproc)}"
out=build/release
rm -rf "$out"
mkdir -p "$out"

cmake --preset linux >/dev/null
cmake --build --preset linux -j "$JOBS"
(cd build/linux && cpack -G DEB >/dev/null)
cp build/linux/package/velmo_*.deb "$out/"

for p in p2 p3 p4; do
  cmake --preset "win32-$p" >/dev/null
  cmake --build --preset "win32-$p" -j "$JOBS"
done
bash scripts/package-modules.sh -o "$out/velmo-modules.zip" build/win32-p2 build/win32-p3 build/win32-p4

echo "release:"
ls -l "$out"
