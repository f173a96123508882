#!/usr/bin/env bash
# Sets up, builds and starts the saver in a window on the built-in woodland package.
# Without an X display it renders stills of the scene instead and says where they are.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target mhollow mirehollow_data
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec build/mhollow --window "$@"
fi
mkdir -p build/stills
echo "No X display: rendering stills of the woodland at 5, 20 and 45 s into $PWD/build/stills:"
exec build/mhollow --render-at 5,20,45 --size 1280x720 --data build/data --output build/stills/still_%d.png
