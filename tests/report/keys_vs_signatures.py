#!/usr/bin/python3
"""The key estimated from the notes against the key signature the song stores.

Usage: keys_vs_signatures.py SONIVEX_CLI DATA_DIR MAKE_SONGS_PY MIDI_DIR

Every song of MIDI_DIR and of the bench (bench/make_songs.py) whose first key signature is not C major is
read with sonivex-cli --json under each key profile. A song agrees when its estimated key has the stored
key's tonic and mode; the relative key (the same signature, the other mode) is counted on its own. Prints
the figures of each profile. Fails when the default profile agrees (the same key or the relative one) on
fewer than 75 % of the songs, or when another profile agrees on more of them.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

PROFILES = ["krumhansl", "temperley", "aarden"]
DEFAULT = "krumhansl"
NAMES = {"C": 0, "C#": 1, "Db": 1, "D": 2, "D#": 3, "Eb": 3, "E": 4, "F": 5, "F#": 6, "Gb": 6, "G": 7,
         "G#": 8, "Ab": 8, "A": 9, "A#": 10, "Bb": 10, "B": 11, "Cb": 11}


def stored_key(mark):
    """(tonic pitch class, minor) of a key signature: each sharp a fifth up, each flat a fifth down."""
    major = (mark["sharps_flats"] * 7) % 12
    return ((major + 9) % 12, True) if mark["minor"] else (major, False)


def key_name(key):
    tonic, minor = key
    names = ["C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"]
    return names[tonic] + (" minor" if minor else " major")


def parse_key(name):
    tonic, mode = name.split(" ")
    return NAMES[tonic], mode == "minor"


def relative(key):
    tonic, minor = key
    return ((tonic + 3) % 12, False) if minor else ((tonic + 9) % 12, True)


def main():
    cli, data, make_songs, midi_dir = sys.argv[1:5]
    with tempfile.TemporaryDirectory() as tmp:
        program = os.path.join(tmp, "program")
        shutil.copytree(data, program)
        bench = os.path.join(tmp, "bench")
        os.mkdir(bench)
        subprocess.run([sys.executable, make_songs, bench], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        songs = [os.path.join(d, f) for d in (midi_dir, bench) for f in sorted(os.listdir(d))
                 if f.lower().endswith((".mid", ".kar"))]
        counts = {p: {"same": 0, "relative": 0, "other": 0} for p in PROFILES}
        considered = 0
        for song in songs:
            results = {}
            for profile in PROFILES:
                run = subprocess.run([cli, "--program-folder", program, "--no-log", "--json", "--key-profile", profile,
                                      song], capture_output=True, text=True)
                facts = json.loads(run.stdout)
                if facts["status"] != "analysed" or not facts["key_signatures"]:
                    break
                results[profile] = facts
            if len(results) < len(PROFILES):
                continue
            stored = stored_key(results[DEFAULT]["key_signatures"][0])
            if stored == (0, False):
                continue
            considered += 1
            for profile, facts in results.items():
                estimated = parse_key(facts["estimated_key"]) if facts["estimated_key"] else None
                kind = "same" if estimated == stored else "relative" if estimated == relative(stored) else "other"
                counts[profile][kind] += 1
                if profile == DEFAULT:
                    print(f"{os.path.basename(song)}: key signature of {key_name(stored)}, "
                          f"estimated {facts['estimated_key']} ({kind})")
        if considered == 0:
            print("no song with a key signature other than C major")
            return 1
        agree = {}
        for profile in PROFILES:
            c = counts[profile]
            agree[profile] = (c["same"] + c["relative"]) / considered
            print(f"{profile:10} {c['same']} the same key, {c['relative']} the relative key, {c['other']} another, "
                  f"of {considered} songs: {100 * agree[profile]:.0f} % agree")
        if agree[DEFAULT] < 0.75:
            print(f"FAILED: the default profile agrees on only {100 * agree[DEFAULT]:.0f} %")
            return 1
        best = max(agree.values())
        if agree[DEFAULT] < best:
            print(f"FAILED: another profile agrees on more songs than {DEFAULT}")
            return 1
        return 0


if __name__ == "__main__":
    sys.exit(main())
