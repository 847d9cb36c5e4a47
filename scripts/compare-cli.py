#!/usr/bin/python3
"""Runs two builds of sonivex-cli over the characterization songs and cases and prints where they differ.

Usage:
  compare-cli.py OLD_CLI NEW_CLI [--ignore REGEX ...] [--cases NAME,...] [--cache DIR] [-j N]

Lines that match an --ignore pattern (in the report, the messages and the log) are left out of the comparison,
so a change that is meant to alter only such lines can be checked to alter nothing else. Saved files are
compared whole. Prints one line per song and case that differs, with the first differing lines.
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "characterization"))
import characterize  # noqa: E402


def run(cli, work, tag, song_path, name, args, data_dir):
    folder = os.path.join(work, tag)
    program = os.path.join(folder, "program")
    os.makedirs(program)
    for entry in os.listdir(data_dir):
        if os.path.isfile(os.path.join(data_dir, entry)):
            shutil.copy(os.path.join(data_dir, entry), program)
    os.makedirs(os.path.join(folder, "song"))
    song = os.path.join(folder, "song", os.path.basename(song_path))
    shutil.copy(song_path, song)
    before, after = characterize.case_arguments(name, args)
    argv = [cli, "--program-folder", program, "--seed", characterize.SEED] + before + [song]
    argv += [a.replace("<RUN>", folder) for a in after]
    done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=300)
    parts = {"exit": str(done.returncode).encode(), "stdout": done.stdout, "stderr": done.stderr}
    logs = os.path.join(program, "logs")
    parts["log"] = b""
    if os.path.isdir(logs):
        for entry in sorted(os.listdir(logs)):
            with open(os.path.join(logs, entry), "rb") as f:
                parts["log"] += f.read()
    out = os.path.join(folder, "out.mid")
    parts["saved"] = open(out, "rb").read() if os.path.isfile(out) else b""
    return {k: v.replace(folder.encode(), b"<RUN>") for k, v in parts.items()}


def kept_lines(data, ignore):
    lines = data.replace(b"\r\n", b"\n").split(b"\n")
    return [line for line in lines if not any(p.search(line.decode("latin-1")) for p in ignore)]


def compare(job):
    old_cli, new_cli, label, path, name, args, data_dir, ignore = job
    work = tempfile.mkdtemp(prefix="sonivex-compare-")
    try:
        old = run(old_cli, work, "old", path, name, args, data_dir)
        new = run(new_cli, work, "new", path, name, args, data_dir)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    problems = []
    for part in ("exit", "stdout", "stderr", "log"):
        a, b = kept_lines(old[part], ignore), kept_lines(new[part], ignore)
        if a != b:
            first = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
            show = lambda lines: lines[first].decode("latin-1") if first < len(lines) else "<end>"
            problems.append("%s line %d: %r -> %r" % (part, first + 1, show(a), show(b)))
    if old["saved"] != new["saved"]:
        problems.append("saved file differs")
    return label, name, problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--ignore", action="append", default=[])
    parser.add_argument("--cases")
    parser.add_argument("--songs", default=os.path.join(REPO, "tests", "data", "midi"))
    parser.add_argument("--cache")
    parser.add_argument("-j", type=int, default=2)
    options = parser.parse_args()
    ignore = [re.compile(p) for p in options.ignore]
    wanted = set(options.cases.split(",")) if options.cases else None
    work = tempfile.mkdtemp(prefix="sonivex-songs-")
    songs = characterize.shared_songs(options.songs)
    songs += characterize.bench_songs(REPO, options.cache, work)
    songs.append(("example", os.path.join(REPO, "examples", "example.mid")))
    data_dir = os.path.join(REPO, "data")
    jobs = []
    for label, path in songs:
        for name, args in characterize.CASES:
            if wanted and name not in wanted:
                continue
            if label in characterize.LARGE_SONGS and name not in characterize.LARGE_SONG_CASES:
                continue
            jobs.append((options.old, options.new, label, path, name, args, data_dir, ignore))
    differing = 0
    with concurrent.futures.ThreadPoolExecutor(options.j) as pool:
        for label, name, problems in pool.map(compare, jobs):
            if problems:
                differing += 1
                print("%s %s: %s" % (label, name, "; ".join(problems)))
    shutil.rmtree(work, ignore_errors=True)
    print("%d of %d runs differ" % (differing, len(jobs)))


if __name__ == "__main__":
    main()
