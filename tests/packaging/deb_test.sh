#!/usr/bin/env bash
# Builds the Debian package from a finished build tree and checks it: the files at their
# paths, the run-time dependencies, and the installed display mode finding its package when
# unpacked anywhere. Usage: deb_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.txt" 2>&1) || { cat "$work/cpack.txt"; fail "cpack"; }
deb=$(ls "$work"/out/mirehollow_*_amd64.deb)
[ -n "$deb" ] || fail "no mirehollow_<version>_amd64.deb in $work/out"

dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files.txt"
for f in ./usr/libexec/xscreensaver/mirehollow ./usr/share/xscreensaver/config/mirehollow.xml \
         ./usr/share/mirehollow/mirehollow.dat ./usr/bin/mhollow; do
  grep -qx "$f" "$work/files.txt" || fail "$f is not in the package: $(cat "$work/files.txt")"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libdevil1c2 libfreetype6 libfontconfig1 libgl1 libglu1-mesa libx11-6; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Suggests)" = xscreensaver ] || fail "Suggests: $(dpkg-deb -f "$deb" Suggests)"

# The config file is one xscreensaver can read.
xml="$work/root/usr/share/xscreensaver/config/mirehollow.xml"
dpkg-deb -x "$deb" "$work/root"
grep -q '<command arg="-root"/>' "$xml" || fail "the config does not start the mode with -root"
grep -q 'arg-set="-fps"' "$xml" || fail "the config has no -fps setting"

# Unpacked into a scratch root, the display mode finds the package beside it.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_STATE_HOME=$work/home/state
mkdir -p "$HOME"
mode=$work/root/usr/libexec/xscreensaver/mirehollow
"$mode" --render-at 1 --size 96x64 --output "$work/still_%d.png" 2>"$work/run1.txt" || { cat "$work/run1.txt"; fail "run"; }
[ -s "$work/still_1.png" ] || fail "no still written"
! grep -q "package" "$work/run1.txt" || fail "the package was not found: $(cat "$work/run1.txt")"
# A damaged copy there is the one read: the message names its path.
: >"$work/root/usr/share/mirehollow/mirehollow.dat"
"$mode" --render-at 1 --size 96x64 --output "$work/other_%d.png" 2>"$work/run2.txt" || true
grep -q "$work/root/usr/share/mirehollow/mirehollow.dat" "$work/run2.txt" ||
  fail "the installed program did not read its own package: $(cat "$work/run2.txt")"
echo "ok: $(basename "$deb")"
