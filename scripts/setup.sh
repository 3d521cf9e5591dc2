#!/usr/bin/env bash
# Installs everything the project needs from Debian's packages and prepares a Wine prefix.
# Idempotent: running it again installs nothing new and leaves the prefix as it is.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

PACKAGES=(
  build-essential cmake ninja-build pkg-config git zip unzip
  googletest libgtest-dev libgmock-dev libbenchmark-dev libpng-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-tools
  wine wine32:i386 xvfb x11-apps imagemagick xdotool
  ffmpeg time
  clang libclang-rt-14-dev
  python3
)

have_all() {
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || return 1
  done
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  NEED_UPDATE=1
fi

if ! have_all; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${PACKAGES[@]}" >/dev/null
fi

# A Wine prefix of the project's own, created once, without dialogs (no Mono or Gecko prompts).
export WINEPREFIX="${VELMO_WINEPREFIX:-$HOME/.cache/velmo-wine}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  env -u DISPLAY wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
echo "setup: packages and Wine prefix ready ($WINEPREFIX)"
