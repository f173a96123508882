#!/usr/bin/env bash
# Checks every #include under src/ against the layers and exceptions that
# docs/architecture.md lays down, and keeps platform headers out of portable files.
# Prints each offending include and fails when there is one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
doc=$root/docs/architecture.md
cd "$root/src"

# The fenced blocks ```layers and ```exceptions of the architecture document.
block() { awk -v name="$1" '$0 == "```" name {on = 1; next} on && /^```/ {exit} on && NF' "$doc"; }
layers=$(block layers)
exceptions=$(block exceptions)
if [ -z "$layers" ]; then
  echo "check_includes: no layers block in $doc" >&2
  exit 2
fi

find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort |
  while read -r file; do
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*\([<"][^>"]*[>"]\).*/\1/p' "$file" |
      while read -r inc; do printf '%s %s\n' "$file" "$inc"; done
  done |
  awk -v layers="$layers" -v exceptions="$exceptions" '
    # The layer of a path: its exact entry, else the longest folder prefix that matches.
    function rank(path,   best, bestLen, p) {
      if (path in exact) return exact[path]
      best = -1; bestLen = 0
      for (p in prefix)
        if (index(path, p) == 1 && length(p) > bestLen) { best = prefix[p]; bestLen = length(p) }
      return best
    }
    function matches(path, pattern) {
      return pattern ~ /\/$/ ? index(path, pattern) == 1 : path == pattern
    }
    function platformFile(path) { return path ~ /_(posix|x11|egl|w32)\.(h|cpp)$/ }
    function fail(msg) { print msg; bad++ }
    BEGIN {
      n = split(layers, lines, "\n")
      for (i = 1; i <= n; i++) {
        k = split(lines[i], f, /[[:space:]]+/)
        names[i] = f[1]
        for (j = 2; j <= k; j++) {
          if (f[j] ~ /\/$/) prefix[f[j]] = i; else exact[f[j]] = i
        }
      }
      ne = split(exceptions, elines, "\n")
      for (i = 1; i <= ne; i++) {
        k = split(elines[i], f, /[[:space:]]+/)
        froms = ""; arrow = 0
        for (j = 1; j <= k; j++) {
          if (f[j] == "->") { arrow = j; break }
          froms = froms " " f[j]
        }
        if (!arrow) continue
        exFrom[i] = froms; exTo[i] = f[arrow + 1]
      }
      # System headers that only some platforms have: never in a portable file.
      platformSystem = "^(X11/|GL/glx|EGL/|KHR/|fontconfig/|ft2build\\.h|freetype/|unistd\\.h|pthread\\.h|dlfcn\\.h|dirent\\.h|sched\\.h|poll\\.h|fcntl\\.h|spawn\\.h|libgen\\.h|semaphore\\.h|sys/|windows\\.h|scrnsave\\.h|winbase\\.h)"
    }
    {
      file = $1; inc = $2
      system_ = substr(inc, 1, 1) == "<"
      name = substr(inc, 2, length(inc) - 2)
      portable = !platformFile(file)
      if (system_) {
        # The host vocabulary is the one portable header that names the Windows headers.
        if (portable && name ~ platformSystem && !(file == "shell/host.h" && name ~ /^(windows|scrnsave)\.h$/))
          fail(file ": portable file includes the platform header <" name ">")
        next
      }
      if (portable && platformFile(name)) {
        fail(file ": portable file includes the platform header \"" name "\"")
        next
      }
      from = rank(file); to = rank(name)
      if (to < 0) { if (name ~ /\//) fail(file ": \"" name "\" is in no layer"); next }
      if (from < 0) { fail(file ": the file is in no layer"); next }
      if (to <= from) next
      for (i in exTo) {
        if (!matches(name, exTo[i])) continue
        m = split(exFrom[i], fr, " ")
        for (j = 1; j <= m; j++) if (matches(file, fr[j])) next
      }
      fail(file ": includes \"" name "\" of the higher layer " names[to] " (" names[from] " is below it)")
    }
    END {
      if (bad) { print bad " include(s) break the architecture (docs/architecture.md)"; exit 1 }
    }'
