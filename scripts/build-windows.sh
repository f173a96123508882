#!/usr/bin/env bash
# Cross-builds the Windows module with MinGW-w64, statically linked:
#   bash scripts/build-windows.sh [x86_64|i686|all]     (default: all)
# Results: build-win64/ and build-win32/ (the module and the test programs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
JOBS=${JOBS:-$(nproc)}
# The Linux build paints the module's icon (and makes the package the saver is tested with).
HOST=${MH_HOST_BUILD_DIR:-build}
case $HOST in /*) ;; *) HOST=$PWD/$HOST ;; esac
cmake -S . -B "$HOST" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$HOST" -j "$JOBS" --target mirehollow_data
archs=${1:-all}
[ "$archs" = all ] && archs="x86_64 i686"
for arch in $archs; do
  case $arch in
  x86_64) dir=build-win64 ;;
  i686) dir=build-win32 ;;
  *) echo "build-windows: unknown architecture '$arch' (x86_64, i686 or all)" >&2; exit 2 ;;
  esac
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DMH_HOST_BUILD_DIR="$HOST" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  echo "build-windows: $arch in $dir"
done
