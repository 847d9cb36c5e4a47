#!/usr/bin/python3
"""Check that sonivex-cli still behaves as recorded in golden.txt.

Usage:
  characterize.py --cli PATH [--songs DIR] [--data DIR] [--repo DIR] [--cache DIR] [-j N] [--update]

Every song of DIR (default: the MIDI test files of tests/data/midi/), the songs that bench/make_songs.py
generates (kept in --cache DIR, when given, for the next run) and
examples/example.mid is run through sonivex-cli once per case of
CASES below: the plain Open and a fixed list of edits, each edit followed by
--save. For every run the exit status, stdout (the report), stderr (the
messages), the log written in logs/ and the saved file are hashed; golden.txt
holds one line per song and case.

Without --update the current sonivex-cli is checked against golden.txt and each
song and case that differs is printed with the parts that differ and a command
that reproduces it; the exit status is 1 when anything differs. With --update
golden.txt is rewritten from the current sonivex-cli.

Each run gets a fresh folder holding the program folder (copies of the data
files), a copy of the song and the save target. The path of that folder is
replaced by "<RUN>" in the report, the messages and the log before hashing, so
the hashes do not depend on where the temp folder is. Every run passes --seed,
so nothing depends on the clock.

Only the Python standard library is used.
"""

import argparse
import concurrent.futures
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN = os.path.join(HERE, "golden.txt")
SEED = "7"
NONE = "-"

# (name, arguments). "--yes" is put before FILE, the rest after it, and
# "--save OUT" is appended to every case but the plain opens. Track positions are 0-based list positions: --switch-track 1 is
# the second track (a usage error, recorded as such, for a one-track song).
CASES = [
    ("open", []),
    ("open-yes", ["--yes"]),
    ("style-rock", ["--style-list", "Rock", "--apply-style"]),
    ("style-jazz-limits", ["--style-list", "Jazz", "--max-melody", "3", "--max-drum", "2", "--drum", "off",
                           "--apply-style"]),
    ("switch-track1", ["--switch"]),
    ("switch-track2", ["--switch-track", "1", "--switch"]),
    ("copy-track1", ["--copy"]),
    ("copy-track2-yes", ["--yes", "--copy-track", "1", "--copy"]),
    ("fx-random-note", ["--effect-list", "Random", "--note", "--step", "3", "--apply-effect"]),
    ("fx-random-volume", ["--effect-list", "Random", "--volume", "--apply-effect"]),
    ("fx-gradual-increase-note", ["--effect-list", "Gradually Increase", "--note", "--step", "2",
                                  "--apply-effect"]),
    ("fx-gradual-increase-volume-melody", ["--effect-list", "Gradually Increase", "--volume", "--step", "1",
                                           "--effect-drum", "off", "--apply-effect"]),
    ("fx-decrease-note-of-c", ["--effect-list", "Decrease", "--note", "--step", "2", "--pitch", "1",
                               "--apply-effect"]),
    ("fx-gradual-decrease-volume", ["--effect-list", "Gradually Decrease", "--volume", "--step", "3",
                                    "--apply-effect"]),
    ("fx-increase-volume-track1", ["--effect-list", "Increase", "--volume", "--step", "5", "--track", "1",
                                   "--apply-effect"]),
    ("fx-increase-note-drums", ["--effect-list", "Increase", "--note", "--step", "4", "--effect-melody", "off",
                                "--apply-effect"]),
    ("fx-increase-volume-of-100", ["--effect-list", "Increase", "--volume", "--step", "2", "--value", "100",
                                   "--apply-effect"]),
    ("fx-remove-flats", ["--effect-list", "Remove Flats", "--apply-effect"]),
    ("fx-key-signature-treble", ["--effect-list", "Key Signature", "--key", "3", "--treble", "--apply-effect"]),
    ("fx-key-signature-bass", ["--effect-list", "Key Signature", "--key", "14", "--bass", "--pitch", "5",
                               "--apply-effect"]),
    ("fx-minor-melodic", ["--effect-list", "Minor Melodic", "--root", "2", "--apply-effect"]),
    ("fx-minor-harmonic", ["--effect-list", "Minor Harmonic", "--root", "9", "--apply-effect"]),
    ("fx-effect1", ["--effect-list", "Effect#1", "--key", "5", "--root", "3", "--apply-effect"]),
    ("fx-effect2", ["--effect-list", "Effect#2", "--root", "7", "--apply-effect"]),
    ("fx-curve-soft-compress-volume", ["--effect-list", "Soft Compress", "--volume", "--apply-effect"]),
    ("fx-curve-invert-note", ["--effect-list", "Invert", "--note", "--apply-effect"]),
    ("fx-curve-four-levels-volume", ["--effect-list", "Four Levels", "--volume", "--step", "2",
                                     "--apply-effect"]),
    ("transpose-up-2", ["--transpose", "2"]),
    ("transpose-down-12-track2", ["--transpose", "-12", "--transpose-track", "2"]),
    ("transpose-up-24", ["--transpose", "24"]),
    ("tempo-150", ["--tempo-percent", "150"]),
    ("tempo-25", ["--tempo-percent", "25"]),
    ("instrument-track1-41", ["--instrument", "1=41"]),
    ("instrument-track2-1-undo", ["--instrument", "2=1", "--undo"]),
]

# The two largest bench songs take up to two seconds per edit, so they run a
# subset that still passes every layer: the report, a style, both track
# operations and one effect of each column (note and volume).
LARGE_SONGS = {"bench/big_16x40000.mid", "bench/one_mib.mid"}
LARGE_SONG_CASES = {"open", "style-rock", "switch-track1", "copy-track2-yes", "fx-random-volume",
                    "fx-curve-invert-note"}

PARTS = ("exit", "stdout", "stderr", "log", "saved")


def short_hash(data):
    return hashlib.sha256(data).hexdigest()[:12]


def case_arguments(name, args):
    """The arguments before FILE and after it: --yes goes first, --save OUT last."""
    before = ["--yes"] if "--yes" in args else []
    after = [a for a in args if a != "--yes"]
    if not name.startswith("open"):
        after += ["--save", "<RUN>/out.mid"]
    return before, after


def command_text(name, args, song):
    before, after = case_arguments(name, args)
    words = ["sonivex-cli", "--program-folder", "<RUN>/program", "--seed", SEED] + before + [song] + after
    return " ".join(quote(w) for w in words)


def shared_songs(songs_dir):
    """Returns [(label, path)] of the .mid files of songs_dir, by name; golden.txt keys them by their file name
    alone (shared/NAME), whatever the folder."""
    songs = []
    for entry in sorted(os.listdir(songs_dir)):
        path = os.path.join(songs_dir, entry)
        if entry.lower().endswith(".mid") and os.path.isfile(path):
            songs.append(("shared/" + entry, path))
    return songs


def bench_songs(repo, cache, work):
    """Returns [(label, path)] of the songs of bench/make_songs.py, generated into cache when it does not
    hold the songs of this version of the generator yet (into work without a cache)."""
    generator = os.path.join(repo, "bench", "make_songs.py")
    with open(generator, "rb") as f:
        version = short_hash(f.read())
    folder = os.path.join(cache, version) if cache else os.path.join(work, "bench")
    if not os.path.isfile(os.path.join(folder, "complete")):
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        made = subprocess.run([sys.executable, generator, folder], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if made.returncode != 0:
            raise SystemExit("bench/make_songs.py failed:\n" + made.stderr.decode(errors="replace"))
        open(os.path.join(folder, "complete"), "w").close()
    return [("bench/" + entry, os.path.join(folder, entry)) for entry in sorted(os.listdir(folder))
            if entry.endswith(".mid")]


def run_case(cli, data_dir, work, index, song_path, arguments):
    """Runs one song and case in a fresh folder; returns the hashes of PARTS."""
    run = os.path.join(work, "run%05d" % index)
    program = os.path.join(run, "program")
    os.makedirs(program)
    for entry in sorted(os.listdir(data_dir)):
        source = os.path.join(data_dir, entry)
        if os.path.isfile(source):
            shutil.copy(source, program)
    song_dir = os.path.join(run, "song")
    os.makedirs(song_dir)
    song = os.path.join(song_dir, os.path.basename(song_path))
    shutil.copy(song_path, song)
    before, after = arguments
    argv = [cli, "--program-folder", program, "--seed", SEED] + before + [song]
    argv += [a.replace("<RUN>", run) for a in after]
    try:
        done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                              timeout=120)
    except subprocess.TimeoutExpired:
        shutil.rmtree(run, ignore_errors=True)
        return dict.fromkeys(PARTS, "timeout")

    marker = run.encode()

    def normal(data):
        return data.replace(marker, b"<RUN>")

    logs_dir = os.path.join(program, "logs")
    log = NONE
    if os.path.isdir(logs_dir):
        digest = hashlib.sha256()
        names = sorted(os.listdir(logs_dir))
        for entry in names:
            with open(os.path.join(logs_dir, entry), "rb") as f:
                digest.update(entry.encode() + b"\0" + normal(f.read()) + b"\0")
        if names:
            log = digest.hexdigest()[:12]
    saved = NONE
    out = os.path.join(run, "out.mid")
    if os.path.isfile(out):
        with open(out, "rb") as f:
            saved = short_hash(f.read())
    result = {
        "exit": str(done.returncode),
        "stdout": short_hash(normal(done.stdout)),
        "stderr": short_hash(normal(done.stderr)) if done.stderr else NONE,
        "log": log,
        "saved": saved,
    }
    shutil.rmtree(run, ignore_errors=True)
    return result


def read_golden():
    cases, rows = {}, {}
    with open(GOLDEN, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("# case "):
                name, _, args = line[len("# case "):].partition(": ")
                cases[name] = args
            elif line and not line.startswith("#"):
                fields = line.split("\t")
                rows[(fields[0], fields[1])] = dict(zip(PARTS, fields[2:]))
    return cases, rows


def write_golden(songs, results):
    with open(GOLDEN + ".new", "w", encoding="utf-8") as f:
        f.write("# sonivex-cli on every song and case: exit status and the first 12 hex digits of the SHA-256 of\n")
        f.write("# stdout, stderr, the log and the saved file (\"-\" when there is none). Written by\n")
        f.write("# characterize.py --update; every run passes --seed %s and runs in a fresh folder <RUN>.\n" % SEED)
        for name, args in CASES:
            f.write("# case %s: %s\n" % (name, command_text(name, args, "SONG")))
        f.write("# song\tcase\t" + "\t".join(PARTS) + "\n")
        for label, _ in songs:
            for name, _ in CASES:
                if (label, name) in results:
                    f.write("\t".join([label, name] + [results[(label, name)][p] for p in PARTS]) + "\n")
    os.replace(GOLDEN + ".new", GOLDEN)


def quote(arg):
    return "'" + arg + "'" if (" " in arg or "#" in arg) else arg


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", required=True, help="the sonivex-cli to run")
    parser.add_argument("--repo", default=os.path.dirname(os.path.dirname(HERE)),
                        help="source tree holding bench/make_songs.py and examples/ (default: this one)")
    parser.add_argument("--songs", help="folder of the MIDI test files (default: tests/data/midi/ of --repo)")
    parser.add_argument("--data", help="folder of the data files (default: data/ of --repo)")
    parser.add_argument("--cache", help="folder that keeps the generated bench songs between runs")
    parser.add_argument("-j", "--jobs", type=int, default=2, help="runs at the same time (default 2)")
    parser.add_argument("--skip-large", action="store_true",
                        help="leave out the two largest bench songs (for slow builds such as the sanitizer one)")
    parser.add_argument("--update", action="store_true", help="rewrite golden.txt from this sonivex-cli")
    options = parser.parse_args()

    if options.update and options.skip_large:
        raise SystemExit("--update records every song: leave out --skip-large")
    cli = os.path.abspath(options.cli)
    data_dir = os.path.abspath(options.data or os.path.join(options.repo, "data"))
    songs_dir = os.path.abspath(options.songs or os.path.join(options.repo, "tests", "data", "midi"))
    if not os.access(cli, os.X_OK):
        raise SystemExit("no sonivex-cli at " + cli)
    if not os.path.isdir(songs_dir):
        raise SystemExit("no folder of MIDI test files at " + songs_dir)

    work = tempfile.mkdtemp(prefix="sonivex-char.")
    results = {}
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, options.jobs)) as pool:
            futures = {}

            def submit(songs):
                for label, path in songs:
                    for name, args in CASES:
                        if label in LARGE_SONGS and (options.skip_large or name not in LARGE_SONG_CASES):
                            continue
                        future = pool.submit(run_case, cli, data_dir, work, len(futures), path,
                                             case_arguments(name, args))
                        futures[future] = (label, name)

            example = [("examples/example.mid", os.path.join(options.repo, "examples", "example.mid"))]
            first = shared_songs(songs_dir) + example
            submit(first)
            # The generator runs while the first songs are being run.
            bench = bench_songs(options.repo, options.cache, work)
            submit(bench)
            songs = first + bench
            for future in concurrent.futures.as_completed(list(futures)):
                results[futures[future]] = future.result()
    finally:
        shutil.rmtree(work, ignore_errors=True)

    if options.update:
        write_golden(songs, results)
        print("characterization: wrote %d runs of %d songs to %s" % (len(results), len(songs), GOLDEN))
        return 0

    if not os.path.isfile(GOLDEN):
        raise SystemExit("no %s yet: run with --update" % GOLDEN)
    golden_cases, golden = read_golden()
    if options.skip_large:
        golden = {key: row for key, row in golden.items() if key[0] not in LARGE_SONGS}
    problems = 0
    current_cases = {name: command_text(name, args, "SONG") for name, args in CASES}
    if golden_cases != current_cases:
        print("the list of cases differs from the one golden.txt was recorded with: run with --update")
        problems += 1
    for key in sorted(set(golden) | set(results)):
        label, name = key
        if key not in results:
            print("%s %s: recorded, but not run now" % (label, name))
            problems += 1
            continue
        if key not in golden:
            print("%s %s: run now, but not recorded" % (label, name))
            problems += 1
            continue
        want, got = golden[key], results[key]
        differ = [p for p in PARTS if want.get(p) != got[p]]
        if not differ:
            continue
        problems += 1
        detail = ", ".join(differ) + " differ"
        if "exit" in differ:
            detail += " (exit %s, recorded %s)" % (got["exit"], want.get("exit"))
        print("%s %s: %s" % (label, name, detail))
        print("    " + command_text(name, dict(CASES)[name], "<RUN>/song/" + os.path.basename(label)))
    print("characterization: %d runs of %d songs, %d differ from golden.txt" %
          (len(results), len({label for label, _ in results}), problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
