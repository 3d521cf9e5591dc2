#!/usr/bin/env bash
# Takes the screenshots of the settings dialog in English and Russian (docs/dialog-en.png,
# docs/dialog-ru.png) under a virtual display, from a Windows build that has the dialog programs:
#   scripts/dialog-screenshots.sh [BUILD-DIR]     (default build/win32-p4)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build="${1:-build/win32-p4}"
bin="$build/tests/win-dialog"
if [ ! -f "$bin/velmo_show_dialog.exe" ] || [ ! -d "$bin/plugins" ]; then
  cmake --build "$build" --target velmo_show_dialog velmo_win_dialog_plugins
fi
# Wine draws the windows of this program itself, caption included: there is no window manager.
shoot() {
  local lang=$1 out=$2 work
  work=$(mktemp -d)
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    set -e
    wine_run="$1"; bin="$2"; lang="$3"; work="$4"; out="$5"
    "$wine_run" reg add "HKCU\\Software\\Wine\\AppDefaults\\velmo_show_dialog.exe\\X11 Driver" /v Managed /d N /f >/dev/null
    if [ "$lang" = ru ]; then export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8; fi
    "$wine_run" "$bin/velmo_show_dialog.exe" "$lang" "$(winepath -w "$work/rect")" "$(winepath -w "$work/done")" &
    shown=$!
    for _ in $(seq 300); do [ -s "$work/rect" ] && break; sleep 0.1; done
    [ -s "$work/rect" ] || { echo "the dialog did not appear" >&2; kill $shown; exit 1; }
    read -r x y w h < "$work/rect"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
    touch "$work/done"
    wait $shown
  ' shoot "$root/cmake/wine-run.sh" "$bin" "$lang" "$work" "$out"
  rm -rf "$work"
  echo "wrote $out"
}
shoot en "$root/docs/dialog-en.png"
shoot ru "$root/docs/dialog-ru.png"
