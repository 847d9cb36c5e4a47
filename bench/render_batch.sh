#!/usr/bin/env bash
# Times rendering a collection of short songs: sonivex-cli --batch --render-to against one fluidsynth -F
# process per song.
#
# Usage: bench/render_batch.sh [BUILD_DIR]      (default: the repo's build/)
#
# Environment:
#   SONGS=N         short songs in the collection (default 100)
#   JOBS=N          workers of the batch run and fluidsynth processes at a time (default 2)
#   SOUNDFONT=FILE  the SoundFont of both (default: FluidR3_GM.sf2)
#   BENCH_KEEP=1    keep the temp folder and print its path
#
# The collection: N generated songs of 8 to 20 seconds (2 to 6 parts, a drum part in most), the same at every
# run. Timed on the same files, the batch first:
#   - sonivex-cli --batch --no-log --jobs JOBS --render-to DIR --soundfont FONT (each worker loads the
#     SoundFont once, and analyses every song too)
#   - fluidsynth -F SONG.wav -ni FONT SONG once per song, JOBS at a time (xargs -P), FluidSynth's defaults
# Prints each one's wall and processor time, songs per second and the ratio of the rates; target: the batch
# at least 2x the rate of fluidsynth (PASS/FAIL line). Exit status 1 when a run failed or a song has no
# audio file.

set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)
build=${1:-$repo/build}
cli=$build/bin/sonivex-cli
count=${SONGS:-100}
jobs=${JOBS:-2}
font=${SOUNDFONT:-/usr/share/sounds/sf2/FluidR3_GM.sf2}
python=/usr/bin/python3
[[ -x $python ]] || python=python3

die() { echo "render_batch.sh: $*" >&2; exit 2; }
[[ -x $cli ]] || die "no sonivex-cli at $cli (build first)"
command -v fluidsynth >/dev/null || die "fluidsynth not found (apt-get install fluidsynth)"
[[ -x /usr/bin/time ]] || die "/usr/bin/time not found (apt-get install time)"
[[ -r $font ]] || die "no SoundFont $font"
[[ $count =~ ^[1-9][0-9]*$ ]] || die "SONGS must be a positive number"
[[ $jobs =~ ^[1-9][0-9]*$ ]] || die "JOBS must be a positive number"

work=$(mktemp -d "${TMPDIR:-/tmp}/sonivex-render-batch.XXXXXX") || die "mktemp failed"
if [[ ${BENCH_KEEP:-0} == 1 ]]; then
    echo "temp folder kept: $work"
else
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/songs" "$work/fluidsynth"

echo "generating $count short songs..."
"$python" - "$here" "$work/songs" "$count" <<'EOF' || die "generating songs failed"
import os, sys
sys.path.insert(0, sys.argv[1])
from make_songs import Rng, Track, smf, tempo_data

out, count = sys.argv[2], int(sys.argv[3])
for n in range(count):
    rng = Rng(5000 + n)
    division = rng.choice([96, 192, 480])
    us_per_quarter = rng.int(400000, 750000)
    seconds = rng.int(8, 20)
    quarters = seconds * 1000000 // us_per_quarter
    conductor = Track()
    conductor.meta(0, 0x51, tempo_data(us_per_quarter))
    conductor.end()
    tracks = [conductor]
    for part in range(rng.int(2, 6)):
        ch = 9 if part == 0 and rng.int(0, 3) > 0 else part % 9
        tr = Track()
        if ch != 9:
            tr.program(0, ch, rng.int(0, 127))
        at = 0
        while at < quarters * division:
            step = division // rng.choice([1, 2, 4])
            key = rng.int(35, 81) if ch == 9 else rng.int(40, 84)
            tr.note_on(0, ch, key, rng.int(50, 120))
            tr.note_off(step, ch, key, 64)
            at += step
        tr.end()
        tracks.append(tr)
    with open(os.path.join(out, "short%03d.mid" % n), "wb") as f:
        f.write(smf(1, division, tracks))
EOF

# timed LABEL CMD...: runs CMD under /usr/bin/time; appends "LABEL WALL CPU" to $work/times; CMD's status.
timed() {
    local label=$1 rc
    shift
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >"$work/out" 2>"$work/err"
    rc=$?
    awk -v label="$label" '{ printf "%s %s %.2f\n", label, $1, $2 + $3 }' "$work/time" >>"$work/times"
    return "$rc"
}

failed=0
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
timed batch "$cli" --batch --no-log --jobs "$jobs" --render-to "$work/sonivex" --soundfont "$font" "$work/songs" ||
    { failed=1; sed 's/^/  /' "$work/err" >&2; }
made=$(find "$work/sonivex" -name '*.wav' | wc -l)
((made == count)) || { echo "render_batch.sh: the batch made $made audio files, not $count" >&2; failed=1; }
timed fluidsynth sh -c 'ls "$1"/*.mid | xargs -P "$2" -I{} fluidsynth -F {}.wav -ni "$3" {}' \
    sh "$work/songs" "$jobs" "$font" || { failed=1; sed 's/^/  /' "$work/err" >&2; }
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
echo

awk -v n="$count" -v jobs="$jobs" '
    { wall[$1] = $2; cpu[$1] = $3 }
    END {
        printf "%-44s %9s %9s %9s\n", n " short songs, " jobs " at a time", "seconds", "CPU s", "songs/s"
        printf "%-44s %9.2f %9.2f %9.1f\n", "sonivex-cli --batch --render-to", wall["batch"], cpu["batch"], n / wall["batch"]
        printf "%-44s %9.2f %9.2f %9.1f\n", "fluidsynth -F, one process per song", wall["fluidsynth"], cpu["fluidsynth"],
            n / wall["fluidsynth"]
        ratio = wall["fluidsynth"] / wall["batch"]
        printf "\ntarget: the batch at least 2x the rate of fluidsynth -F per song: %s (%.2fx)\n",
            (ratio >= 2 ? "PASS" : "FAIL"), ratio
    }' "$work/times"
exit "$failed"
