#!/usr/bin/env bash
# Times the audio export of the five bench songs, before and after: this tree against an earlier revision,
# and sonivex-cli --render against FluidSynth's own file renderer.
#
# Usage: bench/render.sh [BUILD_DIR] [BASELINE_REV]
#
#   BUILD_DIR     the build of this tree (default: the repo's build/); its sonivex-bench-edit-audio is built
#   BASELINE_REV  the revision to compare with (default: 1739943, the last one that rendered on one thread);
#                 its sonivex-bench-edit-audio is built once, without the window and the tests, in
#                 BUILD_DIR/bench-baseline-REV/ and kept there for the next run; "none" leaves that
#                 comparison out
#
# Environment:
#   RUNS=N   runs of each build, alternating, the best one counts (default 3)
#   SOUNDFONT=FILE  the SoundFont of the comparison with FluidSynth (default: FluidR3_GM.sf2)
#
# Against FluidSynth: each song rendered to WAV by `sonivex-cli SONG --render OUT.wav --soundfont FONT` (the
# whole tool: the song's analysis, the helper program, the SoundFont's load) and by
# `fluidsynth -F OUT.wav -ni FONT SONG` (FluidSynth's default settings), alternating, RUNS times each; the
# table shows each one's best wall time, the processor time (user + system) of that run, and the ratio of
# the wall times. Target: sonivex-cli at least 1.8x as fast on every song (PASS/FAIL line); it needs the
# machine's cores free, as the render uses two of them.
#
# The songs come from bench/make_songs.py (song1 to song5, two to three minutes each). Each song is exported
# to WAV by both builds' exporter (as `sonivex-cli --render` and File, Export Audio do); the table shows each
# build's best time as a multiple of real time (seconds of sound per second of rendering), and the speed-up.
# The machine's load average is shown before and after, with the cores' worth of processor time that a busy loop
# on every core finds: other work on the machine slows both columns, and the render on several cores can only
# gain as much as that leaves free (on a busy or shared machine, run the bench again when it is quiet).
# Exit status: 0, or 1 when a build or an export failed. The target (50x) is informational.

set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
build=$(cd "${1:-$repo/build}" 2>/dev/null && pwd) || { echo "render.sh: no build folder ${1:-$repo/build}" >&2; exit 2; }
baseline_rev=${2:-1739943}
runs=${RUNS:-3}
python=/usr/bin/python3
[[ -x $python ]] || python=python3

die() { echo "render.sh: $*" >&2; exit 1; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive number"

echo "building sonivex-bench-edit-audio of this tree in $build..."
cmake --build "$build" --target sonivex-bench-edit-audio >/dev/null || die "the build of this tree failed"
current=$build/bin/sonivex-bench-edit-audio

font=${SOUNDFONT:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
[[ -r $font ]] || die "no SoundFont $font"
command -v fluidsynth >/dev/null || die "fluidsynth not found (apt-get install fluidsynth)"
cmake --build "$build" --target sonivex-cli >/dev/null || die "the build of sonivex-cli failed"
cli=$build/bin/sonivex-cli

rev=none
if [[ $baseline_rev != none ]]; then
    rev=$(git -C "$repo" rev-parse --short "$baseline_rev^{commit}" 2>/dev/null) || die "no revision $baseline_rev"
fi
base_build=$build/bench-baseline-$rev
baseline=$base_build/bin/sonivex-bench-edit-audio
if [[ $rev != none && ! -x $baseline ]]; then
    echo "building sonivex-bench-edit-audio of $rev in $base_build..."
    mkdir -p "$base_build/src" || die "cannot make $base_build"
    git -C "$repo" archive "$rev" | tar -x -C "$base_build/src" || die "cannot unpack $rev"
    cmake -S "$base_build/src" -B "$base_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVEX_GUI=OFF \
        -DSONIVEX_TESTS=OFF >"$base_build/configure.log" 2>&1 || die "configuring $rev failed: $base_build/configure.log"
    cmake --build "$base_build" --target sonivex-bench-edit-audio >"$base_build/build.log" 2>&1 ||
        die "building $rev failed: $base_build/build.log"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/sonivex-render-bench.XXXXXX") || die "mktemp failed"
trap 'rm -rf "$work"' EXIT
"$python" "$here/make_songs.py" "$work" >"$work/manifest" 2>/dev/null || die "make_songs.py failed"
songs=()
while IFS=$'\t' read -r name path _; do
    [[ $name == song* ]] && songs+=("$path")
done <"$work/manifest"
((${#songs[@]} == 5)) || die "make_songs.py made ${#songs[@]} songs, not 5"

# run LABEL BINARY: one export of every song; appends "LABEL SONG SECONDS MS" lines to $work/times.
failed=0
run() {
    "$2" "$build/bin" "${songs[0]}" "${songs[@]}" >"$work/out" 2>"$work/err" || failed=1
    if grep -q "export failed" "$work/err"; then failed=1; sed 's/^/  /' "$work/err" >&2; fi
    awk -v label="$1" '/ of sound exported in / {
        sub(/:$/, "", $1); print label, $1, $2, $8 + 0 }' "$work/out" >>"$work/times"
}

# cores_now: how many cores' worth of processor time the machine gives right now, from the time of a busy loop
# run alone and of one per core run at once. A render on several cores can only be faster by about that much.
cores_now() {
    local n t0 t1 alone together i
    n=$(nproc)
    burn() { awk 'BEGIN { for (i = 0; i < 3e7; i++) x += i }'; }
    t0=$(date +%s%N); burn; t1=$(date +%s%N); alone=$((t1 - t0))
    t0=$(date +%s%N)
    for ((i = 0; i < n; i++)); do burn & done
    wait
    t1=$(date +%s%N); together=$((t1 - t0))
    awk -v n="$n" -v a="$alone" -v t="$together" 'BEGIN { printf "%.1f of %d", n * a / t, n }'
}

# versus LABEL CMD...: one timed run; appends "LABEL SONG WALL CPU" to $work/versus for the song in $song.
versus() {
    local label=$1
    shift
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>"$work/err" || { failed=1; sed 's/^/  /' "$work/err" >&2; }
    awk -v label="$label" -v song="$(basename "$song" .mid)" '{ print label, song, $1, $2 + $3 }' "$work/time" >>"$work/versus"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg); cores' worth of processor time free: $(cores_now)"
for ((i = 1; i <= runs; i++)); do
    echo "run $i of $runs..."
    if [[ $rev != none ]]; then
        run before "$baseline"
        run after "$current"
    fi
    for song in "${songs[@]}"; do
        versus sonivex "$cli" --no-log "$song" --soundfont "$font" --render "$work/sonivex.wav"
        versus fluidsynth fluidsynth -F "$work/fluidsynth.wav" -ni "$font" "$song"
        rm -f "$work/sonivex.wav" "$work/fluidsynth.wav"
    done
done
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg); cores' worth of processor time free: $(cores_now)"
echo

printf "%-24s %12s %12s %12s %12s %8s\n" "song (best of $runs)" "sonivex s" "(CPU s)" "fluidsynth s" "(CPU s)" "ratio"
awk '
    { key = $1 SUBSEP $2; if (!(key in best) || $3 < best[key]) { best[key] = $3; cpu[key] = $4 }
      if (!($2 in seen)) { seen[$2] = 1; order[++n] = $2 } }
    END {
        slowest = ""
        for (i = 1; i <= n; i++) {
            s = order[i]; a = best["sonivex", s]; f = best["fluidsynth", s]; r = a > 0 ? f / a : 0
            printf "%-24s %12.2f %12.2f %12.2f %12.2f %7.2fx\n", s, a, cpu["sonivex", s], f, cpu["fluidsynth", s], r
            if (slowest == "" || r < worst) { worst = r; slowest = s }
        }
        printf "\ntarget: every song rendered at least 1.8x as fast as fluidsynth -F: %s (lowest: %s at %.2fx)\n",
            (worst >= 1.8 ? "PASS" : "FAIL"), slowest, worst
    }' "$work/versus"
[[ $rev == none ]] && exit "$failed"
echo

printf "%-24s %8s %16s %16s %9s\n" "song (best of $runs)" "sound s" "before ($rev)" "after" "speed-up"
awk '
    { key = $1 SUBSEP $2; if (!(key in best) || $4 < best[key]) best[key] = $4; seconds[$2] = $3
      if (!($2 in seen)) { seen[$2] = 1; order[++n] = $2 } }
    END {
        slowest = ""
        for (i = 1; i <= n; i++) {
            s = order[i]; b = seconds[s] * 1000 / best["before", s]; a = seconds[s] * 1000 / best["after", s]
            printf "%-24s %8.1f %15.0fx %15.0fx %8.2fx\n", s, seconds[s], b, a, a / b
            if (slowest == "" || a < worst) { worst = a; slowest = s }
        }
        printf "\ntarget: every song rendered at least 50x real time: %s (slowest: %s at %.0fx)\n",
            (worst >= 50 ? "PASS" : "FAIL"), slowest, worst
    }' "$work/times"
exit "$failed"
