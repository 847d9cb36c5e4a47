#!/usr/bin/env bash
# Times the commands of sonivex-cli on a song of 32,767 tracks and on a large song, before and after: this
# tree against an earlier revision, with the peak memory of every run.
#
# Usage: bench/tracks.sh [BUILD_DIR] [BASELINE_REV]
#
#   BUILD_DIR     the build of this tree (default: the repo's build/); its sonivex-cli is built
#   BASELINE_REV  the revision to compare with (default: 43df62c, the last one that rewrote the whole song for
#                 every track); its sonivex-cli is built once, without the window and the tests, in
#                 BUILD_DIR/bench-baseline-REV/ and kept there for the next run
#
# Environment:
#   LARGE_MB=N     the size of the large song in megabytes (default 256)
#   RUNS=N         runs of each build and command, alternating; the best time counts (default 1)
#   ONLY=A,B       only the commands named (open, effect-random, effect-increase, style, style-drums, switch,
#                  copy, switch-undo-redo)
#   BENCH_KEEP=1   keep the temp folder and print its path
#
# The songs come from bench/make_tracks.py: tracks_32767 (32,767 small tracks, about 3 MB) and large (tracks
# of about 2 MB, mostly system-exclusive dumps). Every command runs as `sonivex-cli --program-folder DIR
# --seed 7 SONG ... --save OUT` in a program folder of its own, so the log is written as usual. For each run the
# table shows the wall time, the processor time (user + system: what the run itself costs, whatever else the
# machine does) and the peak memory (maximum resident set from /usr/bin/time -v), and whether both builds gave
# the same report, messages, log and saved song. The memory target, informational: every command of the
# build of this tree stays under twice the song's size plus 64 MB.
# Exit status: 0, or 1 when a build failed or the two builds' outputs differ.

set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
build=$(cd "${1:-$repo/build}" 2>/dev/null && pwd) || { echo "tracks.sh: no build folder ${1:-$repo/build}" >&2; exit 2; }
baseline_rev=${2:-43df62c}
large_mb=${LARGE_MB:-256}
runs=${RUNS:-1}
python=/usr/bin/python3
[[ -x $python ]] || python=python3

die() { echo "tracks.sh: $*" >&2; exit 1; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive number"
[[ $large_mb =~ ^[1-9][0-9]*$ ]] || die "LARGE_MB must be a positive number"
[[ -x /usr/bin/time ]] || die "/usr/bin/time not found (apt-get install time)"

echo "building sonivex-cli of this tree in $build..."
cmake --build "$build" --target sonivex-cli >/dev/null || die "the build of this tree failed"
current=$build/bin/sonivex-cli

rev=$(git -C "$repo" rev-parse --short "$baseline_rev^{commit}" 2>/dev/null) || die "no revision $baseline_rev"
base_build=$build/bench-baseline-$rev
baseline=$base_build/bin/sonivex-cli
if [[ ! -x $baseline ]]; then
    echo "building sonivex-cli of $rev in $base_build..."
    mkdir -p "$base_build/src" || die "cannot make $base_build"
    git -C "$repo" archive "$rev" | tar -x -C "$base_build/src" || die "cannot unpack $rev"
    cmake -S "$base_build/src" -B "$base_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVEX_GUI=OFF \
        -DSONIVEX_TESTS=OFF >"$base_build/configure.log" 2>&1 || die "configuring $rev failed: $base_build/configure.log"
    cmake --build "$base_build" --target sonivex-cli >"$base_build/build.log" 2>&1 ||
        die "building $rev failed: $base_build/build.log"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/sonivex-tracks-bench.XXXXXX") || die "mktemp failed"
if [[ ${BENCH_KEEP:-0} == 1 ]]; then
    echo "keeping $work"
else
    trap 'rm -rf "$work"' EXIT
fi
echo "making the songs in $work..."
"$python" "$here/make_tracks.py" "$work/songs" "$large_mb" >"$work/manifest" || die "make_tracks.py failed"

# The commands, as NAME:ARGUMENTS; every one but "open" saves the song.
commands=(
    "open:"
    "effect-random:--effect-list 0 --step 3 --apply-effect"
    "effect-increase:--effect-list Increase --volume --step 5 --apply-effect"
    "style:--style-list Rock --apply-style"
    "style-drums:--style-list Rock --drum on --apply-style"
    "switch:--switch-track 9 --switch"
    "copy:--copy-track 1 --copy"
    "switch-undo-redo:--switch-track 9 --switch --undo --redo"
)

# run LABEL BINARY SONG NAME ARGS: one run in a fresh program folder; appends
# "SONG NAME LABEL WALL CPU KB" to $work/times and keeps the outputs in $work/out/SONG-NAME-LABEL/.
failed=0
run() {
    local label=$1 binary=$2 song=$3 name=$4 args=$5 dir
    dir=$work/out/$(basename "$song" .mid)-$name-$label
    rm -rf "$dir"
    mkdir -p "$dir/program" || die "cannot make $dir"
    cp "$build/bin/genmidi.ini" "$build/bin/style1.dat" "$build/bin/effects1.dat" "$dir/program/" 2>/dev/null ||
        cp "$repo/data/"* "$dir/program/"
    local save=()
    [[ $name != open ]] && save=(--save "$dir/out.mid")
    # shellcheck disable=SC2086  # the arguments are words
    /usr/bin/time -f "%e %U %S %M" -o "$dir/time" "$binary" --program-folder "$dir/program" --seed 7 "$song" \
        $args "${save[@]}" >"$dir/stdout" 2>"$dir/stderr"
    read -r wall user sys kb <"$dir/time" 2>/dev/null || { wall=nan; user=0; sys=0; kb=0; }
    echo "$(basename "$song" .mid) $name $label $wall $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $kb" \
        >>"$work/times"
}

# same SONG NAME: whether both builds gave the same report, messages, log and saved song.
same() {
    local a=$work/out/$1-$2-before b=$work/out/$1-$2-after f
    for f in stdout stderr out.mid; do
        if [[ -e $a/$f || -e $b/$f ]]; then
            cmp -s <(sed "s|$a|<RUN>|g" "$a/$f" 2>/dev/null) <(sed "s|$b|<RUN>|g" "$b/$f" 2>/dev/null) || { echo no; return; }
        fi
    done
    cmp -s <(cat "$a"/program/logs/* 2>/dev/null | sed "s|$a|<RUN>|g") \
        <(cat "$b"/program/logs/* 2>/dev/null | sed "s|$b|<RUN>|g") || { echo no; return; }
    echo yes
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
while IFS=$'\t' read -r _ song size tracks; do
    echo "$(basename "$song"): $size bytes, $tracks tracks"
    echo "$(basename "$song" .mid) $size" >>"$work/sizes"
    for entry in "${commands[@]}"; do
        name=${entry%%:*}
        args=${entry#*:}
        [[ -n ${ONLY:-} && ",$ONLY," != *",$name,"* ]] && continue
        for ((i = 1; i <= runs; i++)); do
            echo "  $name, run $i of $runs..."
            run before "$baseline" "$song" "$name" "$args"
            run after "$current" "$song" "$name" "$args"
        done
        s=$(same "$(basename "$song" .mid)" "$name")
        [[ $s == yes ]] || failed=1
        echo "$(basename "$song" .mid) $name $s" >>"$work/same"
    done
done <"$work/manifest"
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
echo

printf "%-13s %-16s %21s %21s %19s %5s\n" "song" "command" "before ($rev) s" "after s" "peak MB before/after" "same"
printf "%-13s %-16s %21s %21s %19s\n" "" "" "wall / processor" "wall / processor" ""
awk '
    FILENAME ~ /sizes$/ { size[$1] = $2; next }
    FILENAME ~ /same$/ { same[$1 SUBSEP $2] = $3; next }
    {
        key = $1 SUBSEP $2 SUBSEP $3
        if (!(key in wall) || $4 < wall[key]) { wall[key] = $4; cpu[key] = $5 }
        if (!(key in kb) || $6 > kb[key]) kb[key] = $6
        row = $1 SUBSEP $2
        if (!(row in seen)) { seen[row] = 1; order[++n] = row }
    }
    END {
        worst = ""
        for (i = 1; i <= n; i++) {
            split(order[i], p, SUBSEP); s = p[1]; c = p[2]
            b = s SUBSEP c SUBSEP "before"; a = s SUBSEP c SUBSEP "after"
            printf "%-13s %-16s %9.2f / %9.2f %9.2f / %9.2f %9.0f / %7.0f %5s\n", s, c, wall[b], cpu[b], wall[a],
                cpu[a], kb[b] / 1024, kb[a] / 1024, same[s SUBSEP c]
            limit = 2 * size[s] / 1048576 + 64
            if (kb[a] / 1024 > limit) worst = worst " " s "/" c
        }
        printf "\nmemory target: every command of this tree under twice the song plus 64 MB: %s%s\n",
            (worst == "" ? "PASS" : "FAIL:"), worst
    }' "$work/sizes" "$work/same" "$work/times"
exit "$failed"
