#!/usr/bin/env bash
# Checks the running saver for memory errors with valgrind memcheck: a stills run to 60 s
# and a 60-second --window run on a private Xvfb, both on the built-in woodland package.
# Errors inside Mesa, Xlib and the image library are suppressed (scripts/valgrind.supp says
# what each suppression hides); any other error, or a definite leak, fails the run.
# Usage: scripts/valgrind.sh [BUILD_DIR] [stills|window]   (default build and both runs;
#        logs in BUILD_DIR/valgrind/)
set -euo pipefail
cd "$(dirname "$0")/.."
B=${1:-build}
RUNS=${2:-stills window}
bash scripts/setup.sh
cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$B" -j2 --target mhollow mirehollow_data
unset DISPLAY
source scripts/xvfb.sh
export LIBGL_ALWAYS_SOFTWARE=1
# One rasteriser thread: fewer threads inside Mesa for valgrind to serialise.
export LP_NUM_THREADS=0
OUT=$B/valgrind
mkdir -p "$OUT"
VG=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite
    --show-leak-kinds=definite --track-origins=yes --num-callers=30
    --suppressions=scripts/valgrind.supp --gen-suppressions=all)
status=0
summary() { # name, log
  local errors
  errors=$(grep -oE 'ERROR SUMMARY: [0-9]+ errors' "$2" | tail -1)
  echo "valgrind $1: ${errors:-no summary} (log $2)"
}

if [[ $RUNS == *stills* ]]; then
  echo "== stills to 60 s =="
  "${VG[@]}" --log-file="$OUT/stills.log" "$B/mhollow" --render-at 60 --size 640x360 --step 0.5 \
    --data "$B/data" --output "$OUT/still_%d.png" || status=1
  summary stills "$OUT/stills.log"
fi

if [[ $RUNS == *window* ]]; then
  echo "== window for 60 s =="
  # No configuration: the saver takes the package the build made.
  cfg=$(mktemp -d)
  XDG_CONFIG_HOME=$cfg "${VG[@]}" --log-file="$OUT/window.log" "$B/mhollow" --window=640x360 &
  pid=$!
  # Under valgrind the start-up alone takes a while: the 60 s count from the window showing.
  for _ in $(seq 1200); do
    xdotool search --onlyvisible --name '^Mirehollow$' >/dev/null 2>&1 && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.5
  done
  echo "window shown at $(date +%T)"
  sleep 60
  kill -TERM $pid 2>/dev/null || true
  wait $pid || status=1
  summary window "$OUT/window.log"
  rm -rf "$cfg"
fi
exit $status
