#!/usr/bin/env bash
# Times sonivex-cli against midicsv on generated MIDI files and real songs.
#
# Usage: bench/run.sh [BUILD_DIR]      (default: the repo's build/)
#
# Environment:
#   RUNS=N             timed runs per command, best one counts (default 5)
#   BENCH_NO_HYPERFINE=1  leave hyperfine out even when it is installed: bench/timer.py times,
#                      starting each command itself and alternating sonivex-cli and midicsv
#   BENCH_KEEP=1       keep the temp folder (songs, logs) and print its path
#   REAL_SONGS=DIR     real songs to add to the corpus (default: the MIDI test files of tests/data/midi;
#                      REAL_SONGS= leaves them out)
#
# Files come from bench/make_songs.py: a 16 x 40,000-event file, a file of
# exactly 1 MiB and five ordinary songs.  For each file the table shows the
# best wall time of `sonivex-cli --program-folder TMP FILE > /dev/null` and of
# `midicsv FILE /dev/null`, their ratio and sonivex-cli's peak resident memory
# (from /usr/bin/time -v).  Then the real songs (every .mid under REAL_SONGS) are
# timed the same way, one song after the other, and summed; the whole corpus (the
# generated and the real songs) gives one ratio.  Exit status is 1 only if
# sonivex-cli failed on a file; the targets at the end are informational.

set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${1:-$repo/build}
cli=$build/bin/sonivex-cli
runs=${RUNS:-5}
python=/usr/bin/python3
[[ -x $python ]] || python=python3

die() { echo "run.sh: $*" >&2; exit 2; }
[[ -x $cli ]] || die "no sonivex-cli at $cli (build first: cmake -S $repo -B $repo/build -G Ninja && ninja -C $repo/build)"
command -v midicsv >/dev/null || die "midicsv not found (apt-get install midicsv)"
[[ -x /usr/bin/time ]] || die "/usr/bin/time not found (apt-get install time)"
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive number"

real_songs=${REAL_SONGS-$repo/tests/data/midi}

work=$(mktemp -d "${TMPDIR:-/tmp}/sonivex-bench.XXXXXX") || die "mktemp failed"
if [[ ${BENCH_KEEP:-0} == 1 ]]; then
    echo "temp folder kept: $work"
else
    trap 'rm -rf "$work"' EXIT
fi
prog=$work/program
songs=$work/songs
mkdir -p "$prog" "$songs"
cp "$repo"/data/* "$prog"/ || die "cannot copy $repo/data into $prog"

echo "generating files..."
"$python" "$here/make_songs.py" "$songs" >"$work/manifest" 2>"$work/make.log"
gen_rc=$?
sed 's/^/  /' "$work/make.log"
((gen_rc == 0)) || die "make_songs.py failed (exit $gen_rc)"

use_hyperfine=0
if [[ ${BENCH_NO_HYPERFINE:-0} != 1 ]] && command -v hyperfine >/dev/null; then
    use_hyperfine=1
fi
# Without hyperfine, timer.py starts the commands itself (no shell in between) and alternates the two.
use_timer=0
if ((!use_hyperfine)) && "$python" -c 'import os; os.posix_spawnp' 2>/dev/null; then
    use_timer=1
fi

# best_ms CMD... : best wall time of RUNS runs in ms (3 decimals); stdout and
# stderr of the command are thrown away.
best_ms() {
    if ((use_hyperfine)); then
        # -N: no intermediate shell, so its start-up is not counted; -i: a damaged song may end with a non-zero status
        hyperfine -N -i --style none --warmup 1 --runs "$runs" \
            --export-json "$work/hf.json" "$(printf '%q ' "$@")" >/dev/null 2>&1 ||
            { echo "nan"; return; }
        "$python" -c 'import json,sys; print("%.3f" % (json.load(open(sys.argv[1]))["results"][0]["min"] * 1000))' \
            "$work/hf.json"
    elif ((use_timer)); then
        "$python" "$here/timer.py" "$runs" "$@" --vs true | cut -d' ' -f1
    else
        local best="" i t0 t1 ns
        for ((i = 0; i < runs; i++)); do
            t0=$(date +%s%N)
            "$@" >/dev/null 2>&1
            t1=$(date +%s%N)
            ns=$((t1 - t0))
            if [[ -z $best ]] || ((ns < best)); then best=$ns; fi
        done
        awk -v n="$best" 'BEGIN { printf "%.3f\n", n / 1e6 }'
    fi
}

# side_by_side PATH : "SONIVEX_MS MIDICSV_MS" for one song, the two commands alternating under timer.py.
side_by_side() {
    if ((use_timer)); then
        "$python" "$here/timer.py" "$runs" "$cli" --program-folder "$prog" "$1" --vs midicsv "$1" /dev/null
    else
        echo "$(best_ms "$cli" --program-folder "$prog" "$1") $(best_ms midicsv "$1" /dev/null)"
    fi
}

if ((use_hyperfine)); then
    how="hyperfine -N, best of $runs"
elif ((use_timer)); then
    how="bench/timer.py (started directly, the two alternating), best of $runs"
else
    how="date +%s%N, best of $runs"
fi
echo
echo "sonivex-cli: $cli"
echo "timing: $how; peak memory from /usr/bin/time -v"
echo
fmt="%-20s %10s %11s %11s %8s %10s\n"
printf "$fmt" "file" "bytes" "sonivex ms" "midicsv ms" "ratio" "peak MB"
printf "$fmt" "--------------------" "----------" "-----------" "-----------" "--------" "----------"

failed=0
notes=()
mib_ms=""
worst_ratio=""
worst_ratio_file=""
slower=()
max_mb=0
max_mb_file=""
sum_s=0
sum_m=0

while IFS=$'\t' read -r name path size ntracks nevents; do
    # First run: exit status, stderr and peak memory (also warms the caches).
    rm -rf "$prog/logs"
    /usr/bin/time -v -o "$work/timev" "$cli" --program-folder "$prog" "$path" \
        >/dev/null 2>"$work/stderr"
    rc=$?
    if ((rc != 0)); then
        failed=1
        printf "$fmt" "$name" "$size" "FAILED" "-" "-" "-"
        notes+=("$name: sonivex-cli exited $rc; its stderr:")
        while IFS= read -r line; do notes+=("    $line"); done <"$work/stderr"
        continue
    fi
    if [[ -s $work/stderr ]]; then
        notes+=("$name: sonivex-cli exited 0 but wrote to stderr:")
        while IFS= read -r line; do notes+=("    $line"); done < <(head -n 20 "$work/stderr")
    fi
    kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/timev")
    mb=$(awk -v k="${kb:-0}" 'BEGIN { printf "%.1f", k / 1024 }')

    if ! midicsv "$path" /dev/null 2>"$work/midicsv.err"; then
        notes+=("$name: midicsv failed: $(head -n 3 "$work/midicsv.err" | tr '\n' ' ')")
    fi

    read -r s_ms m_ms < <(side_by_side "$path")
    ratio=$(awk -v a="$s_ms" -v b="$m_ms" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "nan" }')
    printf "$fmt" "$name" "$size" "$s_ms" "$m_ms" "$ratio" "$mb"
    sum_s=$(awk -v a="$sum_s" -v b="$s_ms" 'BEGIN { printf "%.3f", a + b }')
    sum_m=$(awk -v a="$sum_m" -v b="$m_ms" 'BEGIN { printf "%.3f", a + b }')

    [[ $name == one_mib ]] && mib_ms=$s_ms
    if [[ -z $worst_ratio ]] || awk -v a="$ratio" -v b="$worst_ratio" 'BEGIN { exit !(a > b) }'; then
        worst_ratio=$ratio
        worst_ratio_file=$name
    fi
    if awk -v r="$ratio" 'BEGIN { exit !(r > 1.0) }'; then slower+=("$name ($ratio)"); fi
    if awk -v a="$mb" -v b="$max_mb" 'BEGIN { exit !(a > b) }'; then
        max_mb=$mb
        max_mb_file=$name
    fi
done <"$work/manifest"

# The real songs: each timed like the generated ones, the sums compared.
real_count=0
if [[ -n $real_songs && -d $real_songs ]]; then
    real_s=0
    real_m=0
    while IFS= read -r -d '' path; do
        rm -rf "$prog/logs"
        "$cli" --program-folder "$prog" "$path" >/dev/null 2>&1  # warms the caches
        read -r s_ms m_ms < <(side_by_side "$path")
        real_s=$(awk -v a="$real_s" -v b="$s_ms" 'BEGIN { printf "%.3f", a + b }')
        real_m=$(awk -v a="$real_m" -v b="$m_ms" 'BEGIN { printf "%.3f", a + b }')
        real_count=$((real_count + 1))
    done < <(find "$real_songs" -type f -iname '*.mid' -print0 | sort -z)
    if ((real_count > 0)); then
        ratio=$(awk -v a="$real_s" -v b="$real_m" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "nan" }')
        printf "$fmt" "real songs ($real_count)" "-" "$real_s" "$real_m" "$ratio" "-"
        sum_s=$(awk -v a="$sum_s" -v b="$real_s" 'BEGIN { printf "%.3f", a + b }')
        sum_m=$(awk -v a="$sum_m" -v b="$real_m" 'BEGIN { printf "%.3f", a + b }')
    fi
fi
corpus_ratio=$(awk -v a="$sum_s" -v b="$sum_m" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "nan" }')
printf "$fmt" "whole corpus" "-" "$sum_s" "$sum_m" "$corpus_ratio" "-"

if ((${#notes[@]})); then
    echo
    printf '%s\n' "${notes[@]}"
fi

verdict() { if "$@"; then echo PASS; else echo FAIL; fi; }
lt() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

# Edit commands on the 1 MB song: the time of open + command minus the time of the open alone.
edit_worst=""
mib_path=$(awk -F'\t' '$1 == "one_mib" { print $2 }' "$work/manifest")
if [[ -n $mib_path && -n $mib_ms ]]; then
    echo
    printf "%-28s %11s %11s\n" "edit command on one_mib" "total ms" "command ms"
    for edit in "--switch-track 1 --switch" "--copy-track 1 --copy"; do
        # shellcheck disable=SC2086
        e_ms=$(best_ms "$cli" --program-folder "$prog" "$mib_path" $edit)
        c_ms=$(awk -v a="$e_ms" -v b="$mib_ms" 'BEGIN { printf "%.3f", a - b }')
        printf "%-28s %11s %11s\n" "$edit" "$e_ms" "$c_ms"
        if [[ -z $edit_worst ]] || awk -v a="$c_ms" -v b="$edit_worst" 'BEGIN { exit !(a > b) }'; then
            edit_worst=$c_ms
        fi
    done
fi

echo
echo "targets:"
if [[ -n $mib_ms ]]; then
    printf "  %-46s %s  (one_mib: %s ms)\n" "full report of a 1 MB file under 100 ms" \
        "$(verdict lt "$mib_ms" 100)" "$mib_ms"
else
    printf "  %-46s %s  (one_mib was not measured)\n" "full report of a 1 MB file under 100 ms" FAIL
fi
if [[ -n $worst_ratio ]]; then
    if ((${#slower[@]})); then
        printf "  %-46s FAIL  (slower on: %s)\n" "no slower than midicsv" "${slower[*]}"
    else
        printf "  %-46s PASS  (worst ratio %s on %s)\n" "no slower than midicsv" "$worst_ratio" "$worst_ratio_file"
    fi
fi
printf "  %-46s %s  (ratio %s, %s real songs)\n" "whole corpus at most 0.9 of midicsv's time" \
    "$(verdict awk -v r="$corpus_ratio" 'BEGIN { exit !(r <= 0.9) }')" "$corpus_ratio" "$real_count"
if [[ -n $edit_worst ]]; then
    printf "  %-46s %s  (slowest: %s ms)\n" "every edit command on a 1 MB song under 100 ms" \
        "$(verdict lt "$edit_worst" 100)" "$edit_worst"
fi
if [[ -n $max_mb_file ]]; then
    printf "  %-46s %s  (max %s MB on %s)\n" "peak memory under 50 MB" \
        "$(verdict lt "$max_mb" 50)" "$max_mb" "$max_mb_file"
fi
if ((failed)); then
    echo
    echo "sonivex-cli failed on at least one file (see above)"
    exit 1
fi
exit 0
