#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix, quietly, passing its exit code on.
export WINEPREFIX="${VELMO_WINEPREFIX:-$HOME/.cache/velmo-wine}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
