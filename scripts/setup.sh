#!/usr/bin/env bash
# Installs the Debian packages the build, the saver and the tests need. Idempotent:
# does nothing when everything is already there.
set -euo pipefail
PACKAGES=(
  cmake g++ make pkg-config git
  libgtest-dev libgmock-dev
  libx11-dev libxext-dev x11-utils xvfb xdotool
  libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
  libdevil1c2 libdevil-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libcairo2-dev
  libmeshoptimizer-dev
  clang libclang-rt-14-dev valgrind
  xscreensaver xscreensaver-data dpkg-dev file
  libtinyobjloader-dev
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix googletest wine wine64
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
