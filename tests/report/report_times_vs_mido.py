#!/usr/bin/python3
"""Compares the report's playing times with mido's on every MIDI file that mido reads.

Usage: report_times_vs_mido.py SONIVEX_CLI DATA_DIR MAKE_SONGS_PY [DIR ...]

Each song (the bench's, generated into a temporary folder, and every .mid/.midi/.kar file of each DIR) is
reported by sonivex-cli. Its summary's "Total time" (whole minutes and seconds) must be the floor of mido's
length, and each track's "Total time" the floor of that track's own time, where a track's time follows the
song's tempo map (format 0 and 1: every track's tempo changes; format 2: the track's own). A difference of one
second is allowed where the two readings land on either side of a whole second. Songs mido refuses and songs with
a time-code division are skipped. Exit status 1 if any song differs.
"""

import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

import mido

# Songs whose events the report reads otherwise than mido does, on purpose: the report's parser does not carry a
# running status across a meta event (the standard ends it there) and skips the data bytes that follow, so the
# delta times among them are not read; mido plays them.
READ_OTHERWISE = {"test-running-status-metaevent.mid"}


def track_seconds(track, ticks_per_beat, tempo_map):
    """The time at the track's last tick through tempo_map [(tick, tempo)], sorted by tick."""
    ticks = sum(msg.time for msg in track)
    seconds, at, tempo = 0.0, 0, 500000
    for tick, new_tempo in tempo_map:
        if tick >= ticks:
            break
        seconds += mido.tick2second(tick - at, ticks_per_beat, tempo)
        at, tempo = tick, new_tempo
    return seconds + mido.tick2second(ticks - at, ticks_per_beat, tempo)


def tempo_changes(track):
    changes, now = [], 0
    for msg in track:
        now += msg.time
        if msg.type == "set_tempo":
            changes.append((now, msg.tempo))
    return changes


def expected_times(mid):
    """Each track's time and the longest, as mido reads the song."""
    if mid.type == 2:
        times = [track_seconds(t, mid.ticks_per_beat, tempo_changes(t)) for t in mid.tracks]
    else:
        shared = sorted((c for t in mid.tracks for c in tempo_changes(t)), key=lambda c: c[0])
        times = [track_seconds(t, mid.ticks_per_beat, shared) for t in mid.tracks]
    return times


def reported_times(cli, data_dir, path, work):
    program = os.path.join(work, "program")
    shutil.rmtree(program, ignore_errors=True)
    shutil.copytree(data_dir, program)
    out = subprocess.run([cli, "--program-folder", program, "--no-log", path], capture_output=True,
                         stdin=subprocess.DEVNULL).stdout.decode("latin-1")
    summary = re.search(r"^Total time            : ?(\d+)\.(\d\d)$", out, re.M)
    tracks = [int(m) * 60 + int(s) for m, s in re.findall(r"^       Total time: (\d+)\.(\d\d)$", out, re.M)]
    if not summary:
        return None, tracks
    return int(summary.group(1)) * 60 + int(summary.group(2)), tracks


def close(ours, theirs):
    return ours == math.floor(theirs) or abs(ours - theirs) < 1.0


def main():
    cli, data_dir, make_songs = sys.argv[1], sys.argv[2], sys.argv[3]
    dirs = sys.argv[4:]
    with tempfile.TemporaryDirectory() as work:
        bench = os.path.join(work, "bench")
        os.makedirs(bench)
        subprocess.run([sys.executable, make_songs, bench], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        files = [os.path.join(bench, n) for n in sorted(os.listdir(bench)) if n.endswith(".mid")]
        for d in dirs:
            for root, _, names in os.walk(d):
                files += [os.path.join(root, n) for n in sorted(names)
                          if n.lower().endswith((".mid", ".midi", ".kar"))]
        compared = failed = 0
        for path in files:
            name = os.path.basename(path)
            try:
                mid = mido.MidiFile(path)
            except Exception as e:  # mido refuses damaged files
                print("mido cannot read %s (%s): skipped" % (name, type(e).__name__))
                continue
            if mid.ticks_per_beat <= 0:
                print("time-code division in %s: skipped" % name)
                continue
            if name in READ_OTHERWISE:
                print("%s is read otherwise by the report: skipped" % name)
                continue
            theirs = expected_times(mid)
            summary, tracks = reported_times(cli, data_dir, path, work)
            # Tracks without recorded events show no time; the others keep their order.
            ok = summary is not None and close(summary, max(theirs, default=0.0))
            ok = ok and len(tracks) <= len(theirs)
            if ok and len(tracks) == len(theirs):
                ok = all(close(a, b) for a, b in zip(tracks, theirs))
            compared += 1
            if not ok:
                failed += 1
                print("DIFFERS %s: report %s %s, mido %s" % (name, summary, tracks, ["%.3f" % t for t in theirs]))
        print("%d songs compared, %d differ" % (compared, failed))
        return 1 if failed or compared == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
