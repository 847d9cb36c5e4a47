#!/usr/bin/python3
"""Compares the decoded playing times with mido's on every MIDI file that mido reads.

Usage: timeline_vs_mido.py TIMELINE_LENGTHS MAKE_SONGS_PY [DIR ...]

The bench's songs are generated into a temporary folder by MAKE_SONGS_PY; every
.mid/.midi/.kar file of each DIR that exists is added. Format 0 and 1 files are
compared with MidiFile.length; format 2 files track by track, each track's time
summed with its own tempo changes. Files mido refuses, and files with a
time-code division (mido reads it as a negative tick count), are listed and
skipped. Exit status 1 if any file differs by more than 1 ms.
"""

import os
import subprocess
import sys
import tempfile

import mido

TOLERANCE = 1e-3


def own_track_seconds(track, ticks_per_beat):
    tempo = 500000
    seconds = 0.0
    for msg in track:
        if msg.time:
            seconds += mido.tick2second(msg.time, ticks_per_beat, tempo)
        if msg.type == "set_tempo":
            tempo = msg.tempo
    return seconds


def main():
    tool, make_songs = sys.argv[1], sys.argv[2]
    dirs = sys.argv[3:]
    with tempfile.TemporaryDirectory() as bench:
        subprocess.run([sys.executable, make_songs, bench], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        files = [os.path.join(bench, n) for n in sorted(os.listdir(bench))]
        for d in dirs:
            if not os.path.isdir(d):
                print("no folder %s: skipped" % d)
                continue
            for root, _, names in os.walk(d):
                files += [os.path.join(root, n) for n in sorted(names)
                          if n.lower().endswith((".mid", ".midi", ".kar"))]
        out = subprocess.run([tool] + files, check=True, capture_output=True, text=True).stdout
        ours = {}
        for line in out.splitlines():
            path, fmt, division, ntracks, seconds, per_track = line.split("\t")
            ours[path] = (int(fmt), float(seconds),
                          [float(s) for s in per_track.split(",")] if per_track else [])

        compared = failed = 0
        for path in files:
            try:
                mid = mido.MidiFile(path)
            except Exception as e:  # mido refuses damaged files
                print("mido cannot read %s (%s): skipped" % (os.path.basename(path), type(e).__name__))
                continue
            if mid.ticks_per_beat <= 0:
                print("time-code division in %s: skipped" % os.path.basename(path))
                continue
            fmt, seconds, per_track = ours[path]
            if mid.type == 2:
                theirs = [own_track_seconds(t, mid.ticks_per_beat) for t in mid.tracks]
                pairs = list(zip(per_track, theirs))
                ok = len(per_track) == len(theirs) and all(abs(a - b) <= TOLERANCE for a, b in pairs)
                ok = ok and abs(seconds - max(theirs, default=0.0)) <= TOLERANCE
                shown = "%s vs %s" % (per_track, theirs)
            else:
                length = mid.length
                ok = abs(seconds - length) <= TOLERANCE
                shown = "%.6f vs mido %.6f" % (seconds, length)
            compared += 1
            if not ok:
                failed += 1
                print("DIFFERS %s: %s" % (path, shown))
        print("%d files compared, %d differ" % (compared, failed))
        return 1 if failed or compared == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
