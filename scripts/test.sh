#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite: a plain build, an AddressSanitizer +
# UndefinedBehaviorSanitizer build, and a ThreadSanitizer build of the threaded tests.
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
run test ""
run asan address
run tsan thread
exit $status
