#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of its own, quietly and without dialogs.
#   wine-run.sh PREFIX --init          create the prefix (once, before the tests)
#   wine-run.sh PREFIX --stop          end the prefix's Wine server
#   wine-run.sh PREFIX PROGRAM ARGS    run a program; its exit status is the script's
set -uo pipefail
export WINEPREFIX=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
case "${1:-}" in
--init)
  mkdir -p "$WINEPREFIX"
  # A prefix left half made by an interrupted run is made again.
  if [ ! -f "$WINEPREFIX/.mh-ready" ]; then
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || { echo "wine-run: wineboot failed" >&2; exit 1; }
    wineserver -w
    touch "$WINEPREFIX/.mh-ready"
  fi
  exit 0
  ;;
--stop)
  wineserver -k 2>/dev/null
  exit 0
  ;;
esac
exec wine "$@"
