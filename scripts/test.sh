#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: a plain build, an AddressSanitizer +
# UndefinedBehaviorSanitizer build, a ThreadSanitizer build of the threaded tests, and the
# Windows build (MinGW-w64, x86_64) whose suites run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/xvfb.sh
export LIBGL_ALWAYS_SOFTWARE=1
JOBS=${JOBS:-$(nproc)}
status=0
run() { # name, sanitizer
  local dir=build-$1
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMH_SANITIZE="$2" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  echo "== tests: $1 =="
  ctest --test-dir "$dir" --output-on-failure -j "$JOBS" || status=1
}
run_windows() {
  local dir=build-win64
  # The plain build made the icon, the package and the end-to-end test program.
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMH_HOST_BUILD_DIR="$PWD/build-test" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  echo "== tests: windows (Wine) =="
  ctest --test-dir "$dir" --output-on-failure -j "$JOBS" || status=1
}
run test ""
run asan address
run tsan thread
run_windows
exit $status
