#!/usr/bin/env bash
# Compiles every portable file of src/ (every .h and .cpp without a platform suffix) with the
# MinGW-w64 cross-compiler, which has no X11, GLX, EGL, fontconfig or FreeType headers, and
# fails when one of them includes such a header or a POSIX-only one (those MinGW does carry:
# unistd.h, pthread.h, sys/...). Usage: check_portable.sh [JOBS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${1:-2}
cxx=""
for c in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++; do
  if command -v "$c" >/dev/null; then cxx=$c; break; fi
done
if [ -z "$cxx" ]; then
  echo "check_portable: no MinGW-w64 C++ compiler; install g++-mingw-w64-x86-64 (scripts/setup.sh does)" >&2
  exit 2
fi
export cxx root
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export out

check_one() {
  local f=$1 log
  log=$out/$(echo "$f" | tr / _).log
  # -H lists every header opened, indented by depth; the compile must succeed on its own.
  if ! "$cxx" -std=c++17 -fsyntax-only -H -x c++ -I "$root/src" \
      -DMH_DATA_DIR_DEFAULT='"data"' -DMH_DATA_DIR_INSTALLED='"data"' \
      "$root/src/$f" >/dev/null 2>"$log"; then
    echo "== $f does not compile for Windows:"
    grep -v '^\.\|^Multiple include guards\|^/' "$log" | head -20
    return 1
  fi
  # Headers that MinGW has but a portable file must not include itself.
  awk -v src="$root/src/" -v file="$f" '
    BEGIN { stack[0] = src file }
    /^\.+ / {
      depth = index($0, " ") - 1
      path = substr($0, depth + 2)
      stack[depth] = path
      parent = stack[depth - 1]
      if (index(parent, src) == 1 &&
          path ~ /\/(unistd|pthread|dlfcn|dirent|sched|poll|fcntl|spawn|libgen|semaphore)\.h$|\/sys\/[^\/]*\.h$/) {
        sub(/.*\/include\//, "", path)
        print "== " substr(parent, length(src) + 1) " includes the POSIX-only header <" path ">"
        bad = 1
      }
    }
    END { exit bad }' "$log"
}
export -f check_one

cd "$root/src"
files=$(find . \( -name '*.cpp' -o -name '*.h' \) | sed 's|^\./||' | grep -Ev '_(posix|x11|egl|w32)\.(h|cpp)$' | sort)
count=$(echo "$files" | wc -l)
if echo "$files" | xargs -P "$jobs" -I{} bash -c 'check_one "$@"' _ {}; then
  echo "check_portable: $count portable files compile with $cxx"
else
  echo "check_portable: portable files depend on a platform (see above)"
  exit 1
fi
