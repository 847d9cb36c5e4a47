#!/usr/bin/env bash
# Times sonivex-cli --batch on a collection of typical songs against running midicsv once per song.
#
# Usage: bench/batch.sh [BUILD_DIR]      (default: the repo's build/)
#
# Environment:
#   SONGS=N        songs in the collection (default 10000)
#   JOBS=N         workers of the batch run and parallel midicsv processes (default 2)
#   BENCH_KEEP=1   keep the temp folder and print its path
#   REPEAT=N       copies of the byte-throughput corpus (default 20)
#   PEER=DIR       a second build folder (another revision) timed side by side on the collection (--no-log,
#                  three rounds in turns, the best of each) and on the byte-throughput corpus
#
# The collection: the five ordinary songs of bench/make_songs.py and 95 generated
# songs (2 to 12 tracks, 200 to 3,000 notes, tempo changes in the second track),
# repeated as hard links up to N files in 100 folders. Timed, each on the same files:
#   - sonivex-cli --batch --jobs JOBS, with logs and with --no-log (JSON Lines to a file)
#   - midicsv FILE once per song, JOBS processes at a time (xargs -P)
# Peak memory and CPU time (user + system) come from /usr/bin/time -v; "per worker" is the peak of a
# --jobs 1 run. The CPU seconds do not depend on what else the machine runs; the wall times do.
# Then the byte throughput: every song of bench/make_songs.py (the large ones included) and every MIDI test file
# of tests/data/midi, REPEAT times, through --batch --no-log --jobs JOBS, in MB of MIDI per second, for this
# build and PEER's.
# Prints songs per second, the ratio to midicsv and the throughput, speed-up and memory targets (informational);
# with PEER, what this build costs over PEER's on the collection (the target: at most 30 % more).
# Exit status 1 only if a run failed or a song has no line.

set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${1:-$repo/build}
cli=$build/bin/sonivex-cli
count=${SONGS:-10000}
jobs=${JOBS:-2}
python=/usr/bin/python3
[[ -x $python ]] || python=python3

die() { echo "batch.sh: $*" >&2; exit 2; }
[[ -x $cli ]] || die "no sonivex-cli at $cli (build first)"
command -v midicsv >/dev/null || die "midicsv not found (apt-get install midicsv)"
[[ -x /usr/bin/time ]] || die "/usr/bin/time not found (apt-get install time)"
[[ $count =~ ^[1-9][0-9]*$ ]] || die "SONGS must be a positive number"
[[ $jobs =~ ^[1-9][0-9]*$ ]] || die "JOBS must be a positive number"

work=$(mktemp -d "${TMPDIR:-/tmp}/sonivex-batch.XXXXXX") || die "mktemp failed"
if [[ ${BENCH_KEEP:-0} == 1 ]]; then
    echo "temp folder kept: $work"
else
    trap 'rm -rf "$work"' EXIT
fi
prog=$work/program
mkdir -p "$prog" "$work/distinct" "$work/songs"
cp "$repo"/data/* "$prog"/ || die "cannot copy $repo/data"

echo "generating $count songs..."
"$python" "$here/make_songs.py" "$work/distinct" >/dev/null 2>&1 || die "make_songs.py failed"
rm -f "$work/distinct/big_16x40000.mid" "$work/distinct/one_mib.mid"  # not typical songs
"$python" - "$here" "$work/distinct" <<'EOF' || die "generating songs failed"
import os, sys
sys.path.insert(0, sys.argv[1])
from make_songs import Rng, Track, smf, tempo_data, time_sig_data

out = sys.argv[2]
for n in range(95):
    rng = Rng(1000 + n)
    division = rng.choice([96, 120, 192, 384, 480])
    conductor = Track()
    conductor.meta(0, 0x03, "Generated %d" % n)
    conductor.meta(0, 0x58, time_sig_data(rng.choice([3, 4, 6]), rng.choice([4, 8])))
    tempo_track = Track()
    tempo_track.meta(0, 0x51, tempo_data(rng.int(300000, 900000)))
    for change in range(rng.int(0, 12)):
        tempo_track.meta(division * rng.int(1, 16), 0x51, tempo_data(rng.int(250000, 1200000)))
    tempo_track.end()
    conductor.end()
    tracks = [conductor, tempo_track]
    for t in range(rng.int(2, 12)):
        ch = 9 if t == 0 else t % 9
        tr = Track()
        tr.meta(0, 0x03, "Part %d" % t)
        if ch != 9:
            tr.program(0, ch, rng.int(0, 127))
        for _ in range(rng.int(100, 250)):
            key = rng.int(35, 81) if ch == 9 else rng.int(36, 96)
            tr.note_on(rng.int(0, division), ch, key, rng.int(40, 127))
            tr.note_off(rng.int(1, division), ch, key, 64)
        tr.end()
        tracks.append(tr)
    with open(os.path.join(out, "gen%02d.mid" % n), "wb") as f:
        f.write(smf(1, division, tracks))
EOF
mapfile -t distinct < <(ls "$work/distinct"/*.mid | sort)
n_distinct=${#distinct[@]}
for ((i = 0; i < count; i++)); do
    dir=$work/songs/d$((i % 100))
    [[ -d $dir ]] || mkdir -p "$dir"
    ln "${distinct[i % n_distinct]}" "$dir/s$i.mid" || die "cannot link songs"
done
bytes=$(du -sb --apparent-size "$work/distinct" | cut -f1)
echo "  $n_distinct distinct songs ($((bytes / n_distinct)) bytes on average), $count files in all"

# timed CMD... : runs CMD under /usr/bin/time -v; prints "status wall_seconds peak_kb cpu_seconds"; CMD's
# stdout goes to $work/out, its stderr to $work/err
timed() {
    /usr/bin/time -v -o "$work/timev" "$@" >"$work/out" 2>"$work/err"
    local rc=$?
    local wall kb cpu
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$work/timev")
    kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/timev")
    cpu=$(awk -F': ' '/User time|System time/ { s += $2 } END { printf "%.2f", s }' "$work/timev")
    echo "$rc $wall $kb $cpu"
}

failed=0
rate() { awk -v n="$count" -v s="$1" 'BEGIN { if (s > 0) printf "%.0f", n / s; else print "inf" }'; }

echo
echo "sonivex-cli: $cli"
fmt="%-42s %9s %10s %10s %10s\n"
printf "$fmt" "run" "seconds" "songs/s" "peak MB" "CPU s"
printf "$fmt" "------------------------------------------" "---------" "----------" "----------" "----------"

# A warm-up run fills the page cache, so the first timed run does not pay for it.
"$cli" --batch --no-log --jobs "$jobs" --program-folder "$prog" "$work/songs" >/dev/null 2>&1

declare -A secs
for mode in log no-log; do
    extra=()
    [[ $mode == no-log ]] && extra=(--no-log)
    rm -rf "$prog/logs" "$work/out.jsonl"
    read -r rc wall kb cpu < <(timed "$cli" --batch --jobs "$jobs" "${extra[@]}" --program-folder "$prog" \
        --out "$work/out.jsonl" "$work/songs")
    lines=$(wc -l <"$work/out.jsonl")
    if ((rc != 0)) || ((lines != count)); then
        failed=1
        echo "batch ($mode) failed: exit $rc, $lines lines; $(tail -n 3 "$work/err")"
    fi
    secs[$mode]=$wall
    printf "$fmt" "sonivex-cli --batch --jobs $jobs ($mode)" "$wall" "$(rate "$wall")" \
        "$(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')" "$cpu"
    echo "    $(tail -n 1 "$work/err")"
done

read -r rc wall kb cpu < <(timed "$cli" --batch --jobs 1 --no-log --program-folder "$prog" "$work/songs")
worker_mb=$(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')
printf "$fmt" "sonivex-cli --batch --jobs 1 (no-log)" "$wall" "$(rate "$wall")" "$worker_mb" "$cpu"

# The same collection through PEER's build, in turns with this build's (three rounds, the best of each kept), so
# that both see the same machine.
declare -A cpus kbs
if [[ -n ${PEER:-} ]]; then
    [[ -x $PEER/bin/sonivex-cli ]] || die "no sonivex-cli at $PEER/bin/sonivex-cli"
    for ((round = 0; round < 3; round++)); do
        for who in this peer; do
            build_cli=$cli
            [[ $who == peer ]] && build_cli=$PEER/bin/sonivex-cli
            read -r rc wall kb cpu < <(timed "$build_cli" --batch --jobs "$jobs" --no-log --program-folder "$prog" "$work/songs")
            ((rc == 0)) || { failed=1; echo "batch ($who) failed: exit $rc"; }
            secs[$who]=$(awk -v a="${secs[$who]:-$wall}" -v b="$wall" 'BEGIN { print (b < a ? b : a) }')
            cpus[$who]=$(awk -v a="${cpus[$who]:-$cpu}" -v b="$cpu" 'BEGIN { print (b < a ? b : a) }')
            kbs[$who]=$kb
        done
    done
    for who in this peer; do
        printf "$fmt" "$who: --batch --jobs $jobs --no-log, best of 3" "${secs[$who]}" "$(rate "${secs[$who]}")" \
            "$(awk -v k="${kbs[$who]}" 'BEGIN { printf "%.1f", k / 1024 }')" "${cpus[$who]}"
    done
fi

find "$work/songs" -name '*.mid' -print0 >"$work/list"
read -r rc wall kb cpu < <(timed xargs -0 -n 1 -P "$jobs" midicsv <"$work/list")
secs[midicsv]=$wall
printf "$fmt" "midicsv FILE, once per song, $jobs at a time" "$wall" "$(rate "$wall")" \
    "$(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')" "$cpu"

# Byte throughput on the bench songs and the MIDI test files.
repeat=${REPEAT:-20}
[[ $repeat =~ ^[1-9][0-9]*$ ]] || die "REPEAT must be a positive number"
mkdir -p "$work/corpus-one"
"$python" "$here/make_songs.py" "$work/corpus-one" >/dev/null 2>&1 || die "make_songs.py failed"
cp "$repo"/tests/data/midi/*.mid "$work/corpus-one"/
for ((i = 0; i < repeat; i++)); do
    mkdir -p "$work/corpus/c$i"
    ln "$work/corpus-one"/*.mid "$work/corpus/c$i"/ || die "cannot link songs"
done
corpus_bytes=$(( $(du -sb --apparent-size "$work/corpus-one" | cut -f1) * repeat ))
echo
echo "byte throughput: $(ls "$work/corpus-one" | wc -l) songs x $repeat, $(awk -v b="$corpus_bytes" 'BEGIN { printf "%.1f", b / 1e6 }') MB"
"$cli" --batch --no-log --jobs "$jobs" --program-folder "$prog" "$work/corpus" >/dev/null 2>&1  # warm-up
declare -A mbps
for who in this peer; do
    build_cli=$cli
    if [[ $who == peer ]]; then
        [[ -n ${PEER:-} ]] || continue
        build_cli=$PEER/bin/sonivex-cli
        [[ -x $build_cli ]] || die "no sonivex-cli at $build_cli"
    fi
    read -r rc wall kb cpu < <(timed "$build_cli" --batch --jobs "$jobs" --no-log --program-folder "$prog" "$work/corpus")
    ((rc == 0)) || { failed=1; echo "byte-throughput batch ($who) failed: exit $rc"; }
    mbps[$who]=$(awk -v b="$corpus_bytes" -v s="$wall" 'BEGIN { if (s > 0) printf "%.1f", b / 1e6 / s; else print 0 }')
    printf "$fmt" "$who: --batch --jobs $jobs --no-log" "$wall" "-" "$(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')" "$cpu"
    echo "    ${mbps[$who]} MB of MIDI per second ($build_cli)"
done

echo
for mode in log no-log; do
    awk -v a="${secs[midicsv]}" -v b="${secs[$mode]}" -v m="$mode" -v r="$(rate "${secs[$mode]}")" 'BEGIN {
        x = (b > 0) ? a / b : 0
        printf "%-7s %s songs/s (target 500: %s), %.1f times midicsv (target 5: %s)\n", m, r,
               (r >= 500 ? "met" : "NOT met"), x, (x >= 5 ? "met" : "NOT met") }'
done
if [[ -n ${PEER:-} ]]; then
    awk -v w="${secs[this]}" -v pw="${secs[peer]}" -v c="${cpus[this]}" -v pc="${cpus[peer]}" 'BEGIN {
        x = (pw > 0) ? (w / pw - 1) * 100 : 0
        y = (pc > 0) ? (c / pc - 1) * 100 : 0
        printf "cost over PEER on the collection: %+.1f%% of the time, %+.1f%% of the CPU time (target at most +30%%: %s)\n",
               x, y, (x <= 30 ? "met" : "NOT met") }'
fi
awk -v r="${mbps[this]}" 'BEGIN { printf "byte throughput %s MB/s (target 100: %s)\n", r, (r >= 100 ? "met" : "NOT met") }'
awk -v m="$worker_mb" 'BEGIN { printf "memory per worker %.1f MB (target < 64: %s)\n", m, (m < 64 ? "met" : "NOT met") }'
echo "machine load at the end: $(cut -d' ' -f1-3 /proc/loadavg) (other processes slow every figure down)"
exit $failed
