#!/usr/bin/env bash
# Sets up, builds and starts the saver in a window on the built-in woodland package.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ ! -x build/mhollow ]; then
  echo "The saver program is not built yet (build/mhollow is missing)."
  exit 0
fi
exec build/mhollow --window "$@"
