#!/usr/bin/env bash
# How the full report scales with the song: one-track songs of 50,000 to 400,000 events and a 10 MB song.
#
# Usage: bench/sweep.sh [BUILD_DIR]      (default: the repo's build/)
#
# For each song (bench/make_sweep.py) it prints the best of RUNS (default 3) wall times of
# `sonivex-cli --program-folder TMP SONG > /dev/null` (report and log written), milliseconds per MB, and the
# peak resident memory from /usr/bin/time -v. Targets: the 10 MB song under 1 s and every song under 64 MB.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${1:-$repo/build}
cli=$build/bin/sonivex-cli
runs=${RUNS:-3}
[[ -x $cli ]] || { echo "sweep.sh: no sonivex-cli at $cli" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "sweep.sh: /usr/bin/time not found (apt-get install time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/sonivex-sweep.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/program" "$work/songs"
cp "$repo"/data/* "$work/program/"
/usr/bin/python3 "$here/make_sweep.py" "$work/songs" >"$work/manifest" || exit 2

fmt="%-18s %10s %9s %10s %10s %9s\n"
printf "$fmt" song bytes events "best ms" "ms per MB" "peak MB"
status=0
ten_ms="" worst_mb=0
while IFS=$'\t' read -r name path bytes events; do
    best=""
    for ((i = 0; i < runs; i++)); do
        t0=$(date +%s%N)
        "$cli" --program-folder "$work/program" "$path" >/dev/null 2>"$work/err"
        rc=$?
        t1=$(date +%s%N)
        ns=$((t1 - t0))
        if [[ -z $best ]] || ((ns < best)); then best=$ns; fi
    done
    if ((rc != 0)); then
        echo "$name: sonivex-cli exited $rc: $(head -c 300 "$work/err")"
        status=1
    fi
    /usr/bin/time -v -o "$work/timev" "$cli" --program-folder "$work/program" "$path" >/dev/null 2>&1
    kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/timev")
    ms=$(awk -v n="$best" 'BEGIN { printf "%.1f", n / 1e6 }')
    per=$(awk -v n="$best" -v b="$bytes" 'BEGIN { printf "%.1f", (n / 1e6) / (b / 1048576) }')
    mb=$(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')
    printf "$fmt" "$name" "$bytes" "$events" "$ms" "$per" "$mb"
    [[ $name == ten_mb ]] && ten_ms=$ms
    awk -v a="$mb" -v b="$worst_mb" 'BEGIN { exit !(a > b) }' && worst_mb=$mb
done <"$work/manifest"

echo
awk -v t="$ten_ms" 'BEGIN { printf "  10 MB song under 1 s: %s (%s ms)\n", (t != "" && t < 1000) ? "PASS" : "FAIL", t }'
awk -v m="$worst_mb" 'BEGIN { printf "  peak memory under 64 MB: %s (max %s MB)\n", m < 64 ? "PASS" : "FAIL", m }'
exit $status
