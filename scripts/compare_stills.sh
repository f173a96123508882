#!/usr/bin/env bash
# Builds the saver at two commits and compares the stills they render at 5, 20 and 45 seconds,
# byte for byte. Both are rendered here and now, so a Mesa update changes neither side alone.
#   scripts/compare_stills.sh BASE [OTHER]     (OTHER defaults to the work tree's HEAD)
# Environment: SIZE (1280x720), TIMES (5,20,45), SEED (1), JOBS (2), KEEP=1 keeps the builds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ]; then
  echo "usage: $0 BASE [OTHER]" >&2
  exit 2
fi
base=$(git -C "$root" rev-parse --verify "$1^{commit}")
other=$(git -C "$root" rev-parse --verify "${2:-HEAD}^{commit}")
size=${SIZE:-1280x720}
times=${TIMES:-5,20,45}
seed=${SEED:-1}
jobs=${JOBS:-2}
work=$root/build-compare
mkdir -p "$work"
cleanup() { [ "${KEEP:-0}" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT

render() { # commit, name
  local dir=$work/$2
  rm -rf "$dir"
  mkdir -p "$dir/src" "$dir/stills"
  git -C "$root" archive "$1" | tar -x -C "$dir/src"
  cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$dir/build" -j "$jobs" --target mhollow mirehollow_data >/dev/null
  LIBGL_ALWAYS_SOFTWARE=1 "$dir/build/mhollow" --render-at "$times" --size "$size" --seed "$seed" \
    --data "$dir/build/data" --output "$dir/stills/still_%d.png"
}

echo "compare_stills: building $base"
render "$base" base
echo "compare_stills: building $other"
render "$other" other

status=0
if cmp -s "$work/base/build/data/mirehollow.dat" "$work/other/build/data/mirehollow.dat"; then
  echo "package: identical"
else
  echo "package: differs"
fi
for t in ${times//,/ }; do
  a=$work/base/stills/still_$t.png b=$work/other/stills/still_$t.png
  if cmp -s "$a" "$b"; then
    echo "still $t s: identical ($(sha256sum <"$a" | cut -c1-16))"
  else
    echo "still $t s: DIFFERS"
    status=1
  fi
done
exit $status
