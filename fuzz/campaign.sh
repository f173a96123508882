#!/usr/bin/env bash
# Runs a fuzz campaign, one target at a time at low priority (the machine is shared):
#   [NICE=N] fuzz/campaign.sh [-r RUNS] [-t SECONDS] TARGET...   (default RUNS 1000000, no time limit, nice 19;
#                                                       TARGET "all" for every one)
# Needs the libFuzzer build:  cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang \
#   -DCMAKE_CXX_COMPILER=clang++ -DMH_FUZZ=ON -DBUILD_TESTING=OFF && cmake --build build-fuzz
# Each target grows a working corpus under build-fuzz/campaign/corpus/<target> from the
# committed one, writes crashing inputs to build-fuzz/campaign/findings/ and its log to
# build-fuzz/campaign/<target>.log; one summary line per run goes to
# build-fuzz/campaign/summary.tsv (target, runs, seconds, exec/s, coverage, features, result).
# fuzz/campaign.sh --merge TARGET... minimises a working corpus back into fuzz/corpus/<target>.
set -uo pipefail
cd "$(dirname "$0")/.."
# Absolute paths: a target may enter a directory of its own while an input runs.
B=$PWD/build-fuzz
W=$B/campaign
RUNS=1000000
SECONDS_EACH=0
MERGE=0
ALL="package names material mtl mesh manifest canvas vmap numpool stream model obj config"
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    -r) RUNS=$2; shift 2 ;;
    -t) SECONDS_EACH=$2; shift 2 ;;
    --merge) MERGE=1; shift ;;
    all) targets+=($ALL); shift ;;
    *) targets+=("$1"); shift ;;
  esac
done
mkdir -p "$W/findings"
for t in "${targets[@]}"; do
  bin=$B/fuzz/fuzz_$t
  [ -x "$bin" ] || { echo "campaign: $bin is not built"; exit 1; }
  dict=()
  [ -f "fuzz/dict/$t.dict" ] && dict=(-dict="$PWD/fuzz/dict/$t.dict")
  mkdir -p "$W/corpus/$t"
  if [ $MERGE = 1 ]; then
    # Keeps the committed inputs and adds the working ones that bring new coverage.
    "$bin" -merge=1 -rss_limit_mb=2048 -timeout=10 "$PWD/fuzz/corpus/$t" "$W/corpus/$t" >"$W/$t.merge.log" 2>&1
    echo "$t: $(ls "$PWD/fuzz/corpus/$t" | wc -l) corpus files"
    continue
  fi
  # A copy runs, so the build can be redone meanwhile.
  cp "$bin" "$W/fuzz_$t.run"
  start=$(date +%s)
  LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp nice -n "${NICE:-19}" "$W/fuzz_$t.run" -runs="$RUNS" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="$W/findings/$t-" "$W/corpus/$t" "$PWD/fuzz/corpus/$t" >"$W/$t.log" 2>&1
  rc=$?
  secs=$(( $(date +%s) - start ))
  last=$(grep -E '^#[0-9]+' "$W/$t.log" | tail -1)
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$W/$t.log" | grep -oE '[0-9]+$')
  speed=$(grep -oE 'stat::average_exec_per_sec: *[0-9]+' "$W/$t.log" | grep -oE '[0-9]+$')
  cov=$(echo "$last" | grep -oE 'cov: [0-9]+' | grep -oE '[0-9]+')
  ft=$(echo "$last" | grep -oE 'ft: [0-9]+' | grep -oE '[0-9]+')
  result=clean
  if grep -q 'run interrupted' "$W/$t.log"; then
    result="stopped before $RUNS runs"
  elif [ $rc -ne 0 ]; then
    result="finding: $(grep -m1 -oE '(ERROR|WARNING): [A-Za-z]+: [a-z-]+|deadly signal|timeout|out-of-memory' "$W/$t.log" | head -1)"
  elif [ "${runs:-0}" -lt "$RUNS" ]; then
    result="clean, time limit before $RUNS runs"
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$t" "${runs:-?}" "$secs" "${speed:-?}" "${cov:-?}" "${ft:-?}" "$result" | tee -a "$W/summary.tsv"
done
