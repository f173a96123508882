#!/usr/bin/env bash
# Soak run: the saver in a --window on a private Xvfb for MINUTES (default 30), sampling its
# resident memory and its frame time once a minute; both should stay flat after the first
# minute. The frame time comes from the render loop's once-a-minute line in the trace log.
# Usage: scripts/soak.sh [MINUTES] [BUILD_DIR]     (not part of the test suite)
set -euo pipefail
cd "$(dirname "$0")/.."
MIN=${1:-30}
B=${2:-build}
bash scripts/setup.sh
cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$B" -j2 --target mhollow mirehollow_data
unset DISPLAY
source scripts/xvfb.sh
export LIBGL_ALWAYS_SOFTWARE=1
# A data directory of its own (the built package linked in), so the trace log read here is
# this run's alone.
run=$(mktemp -d)
mkdir -p "$run/data" "$run/config/vesk3d/Screensavers"
ln -s "$(cd "$B" && pwd)/data/mirehollow.dat" "$run/data/mirehollow.dat"
printf 'path=%s\n' "$run/data" > "$run/config/vesk3d/Screensavers/Mirehollow.conf"
LOG=$run/data/mhollow.log
XDG_CONFIG_HOME=$run/config "$B/mhollow" --window=1280x720 &
pid=$!
trap 'kill -TERM $pid 2>/dev/null || true; kill $MH_XVFB_PID 2>/dev/null || true; rm -rf "$run"' EXIT
printf 'minute\trss_kb\tframes\tmean_ms\tmax_ms\n'
first_rss=""
for m in $(seq 1 "$MIN"); do
  sleep 60
  kill -0 $pid 2>/dev/null || { echo "soak: the saver ended after $((m - 1)) minutes"; exit 1; }
  rss=$(awk '/^VmRSS/ {print $2}' /proc/$pid/status)
  # "render loop: N frames in S s, A ms per frame on average, M ms at most"
  line=$(grep 'render loop:' "$LOG" | tail -1 || true)
  frames=$(echo "$line" | sed -nE 's/.*render loop: ([0-9]+) frames.*/\1/p')
  mean=$(echo "$line" | sed -nE 's/.* ([0-9.]+) ms per frame.*/\1/p')
  max=$(echo "$line" | sed -nE 's/.* ([0-9.]+) ms at most.*/\1/p')
  printf '%s\t%s\t%s\t%s\t%s\n' "$m" "$rss" "${frames:-?}" "${mean:-?}" "${max:-?}"
  [ "$m" = 1 ] && first_rss=$rss
done
echo "soak: resident memory $first_rss kB after the first minute, $rss kB after $MIN minutes"
