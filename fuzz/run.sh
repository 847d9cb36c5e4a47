#!/usr/bin/env bash
# Fuzzes the load and the report for a while: writes the starting corpus into BUILD_DIR/fuzz-corpus, then runs
# sonivex-fuzz over it. Builds nothing; configure BUILD_DIR with -DSONIVEX_FUZZ=ON -DSONIVEX_SANITIZE=ON and
# clang++ first. Anything the fuzzer finds is saved in BUILD_DIR/fuzz-findings, its full output in
# BUILD_DIR/fuzz.log. Exits with the fuzzer's status: 0 when nothing was found.
set -u -o pipefail

if [ $# -ne 2 ] || ! [[ $2 =~ ^[0-9]+$ ]]; then
    echo "Usage: fuzz/run.sh BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=$2
fuzzer=$build/bin/sonivex-fuzz
seeds=$build/bin/sonivex-fuzz-seeds
for program in "$fuzzer" "$seeds"; do
    if [ ! -x "$program" ]; then
        echo "run.sh: $program is missing; build $build with -DSONIVEX_FUZZ=ON first" >&2
        exit 2
    fi
done

corpus=$build/fuzz-corpus
findings=$build/fuzz-findings
log=$build/fuzz.log
# The target makes its program and input folders in TMPDIR; after a crash nobody else removes them.
scratch=$build/fuzz-tmp
mkdir -p "$corpus" "$findings" "$scratch" || exit 2
"$seeds" "$corpus" >/dev/null || exit 2

# libFuzzer installs its own handlers; these make the sanitizers' reports complete and fatal.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

TMPDIR=$scratch "$fuzzer" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
status=$?
rm -rf "$scratch"

stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -n 1; }
runs=$(stat number_of_executed_units)
speed=$(stat average_exec_per_sec)
files=$(find "$corpus" -type f | wc -l)
if [ "$status" -eq 0 ]; then
    echo "sonivex-fuzz: nothing found in ${runs:-?} runs over $seconds s (${speed:-?} exec/s), corpus $files files"
else
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    echo "sonivex-fuzz: FOUND a problem (exit $status) after ${runs:-?} runs: ${artifact:-see $log}; log in $log"
fi
exit "$status"
