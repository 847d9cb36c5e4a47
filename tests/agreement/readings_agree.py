#!/usr/bin/python3
"""Checks that the timeline, the piano roll and the player read every song alike.

Usage: readings_agree.py READINGS_AGREE SONIVEX_CLI MAKE_SONGS_PY [DIR ...]

The bench's songs are generated into a temporary folder by MAKE_SONGS_PY; every
.mid/.midi/.kar file of each DIR that exists is added, and READINGS_AGREE
compares the three readings of each (see readings_agree.cpp). The song with
every illegal message (test-illegal-message-all.mid) must then read as its
8 notes over 4 s, and SONIVEX_CLI --render must write those 4 s as sound.
Only the Python standard library is used.
"""

import os
import subprocess
import sys
import tempfile
import wave

ILLEGAL = "test-illegal-message-all.mid"


def main():
    tool, cli, make_songs = sys.argv[1], sys.argv[2], sys.argv[3]
    dirs = sys.argv[4:]
    failed = False
    with tempfile.TemporaryDirectory() as work:
        bench = os.path.join(work, "bench")
        os.mkdir(bench)
        subprocess.run([sys.executable, make_songs, bench], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        files = [os.path.join(bench, n) for n in sorted(os.listdir(bench))]
        for d in dirs:
            for root, _, names in os.walk(d):
                files += [os.path.join(root, n) for n in sorted(names)
                          if n.lower().endswith((".mid", ".midi", ".kar"))]
        run = subprocess.run([tool] + files, capture_output=True, text=True)
        sys.stdout.write(run.stdout)
        sys.stderr.write(run.stderr)
        failed = run.returncode != 0

        illegal = [f for f in files if os.path.basename(f) == ILLEGAL]
        for path in illegal:
            line = next(l for l in run.stdout.splitlines() if l.split(" ")[1] == path)
            if line != "ok %s 8 notes 4.000000000 s" % path:
                print("FAIL %s should read as 8 notes over 4 s" % path)
                failed = True
            out = os.path.join(work, "illegal.wav")
            env = dict(os.environ, SONIVEX_AUDIO="none")
            render = subprocess.run([cli, "--no-log", path, "--render", out], env=env,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            seconds = 0.0
            if render.returncode == 0 and os.path.exists(out):
                with wave.open(out) as w:
                    seconds = w.getnframes() / w.getframerate()
            print("render %s: exit %d, %.3f s" % (path, render.returncode, seconds))
            if render.returncode != 0 or seconds < 4.0:
                print("FAIL the render of %s should hold its 4 s: %s" % (path, render.stderr.strip()))
                failed = True
        if not illegal:
            print("FAIL no %s among the songs" % ILLEGAL)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
