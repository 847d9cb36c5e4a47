#!/usr/bin/python3
"""Checks sonivex-cli --json and --batch against the schema, the text report and mido.

Usage: json_check.py SONIVEX_CLI DATA_DIR SCHEMA MAKE_SONGS_PY [DIR ...]

Songs: the bench's ordinary songs (generated into a temporary folder) and
every .mid/.midi/.kar file of each DIR that exists. For every song:
  - the --json output validates against SCHEMA;
  - every number and name that the text report also shows is the same in both
    (file facts, instrument counts and ranking, groups, style, complexity,
    volume, total time, channel table, track lengths and names), and the
    message lines on stderr are the JSON's messages;
  - where mido reads the song (format 0 or 1), duration_seconds is within 1 ms
    of MidiFile.length.
Then one --batch run over all of them (2 workers) gives one line per song,
equal to that song's --json output. Exit status 1 on any difference.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

import jsonschema

try:
    import mido
except ImportError:  # the duration check is skipped without mido
    mido = None

failures = []


def fail(song, what):
    failures.append("%s: %s" % (song, what))


def run(cmd):
    p = subprocess.run(cmd, capture_output=True)
    return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")


def summary_value(report, label):
    for line in report.split("\n"):
        if line.startswith(label):
            return line.split(":", 1)[1].strip()
    return None


def section(report, title):
    """Lines after TITLE up to the next blank line."""
    lines = report.split("\n")
    if title not in lines:
        return []
    out = []
    for line in lines[lines.index(title) + 1:]:
        if not line:
            break
        out.append(line)
    return out


def message_lines(doc):
    out = []
    for m in doc["messages"]:
        text = m["text"].replace("\r\n", "\\n")
        out.append("question: %s -> %s" % (text, m["answer"]) if m["kind"] == "question" else "message: " + text)
    return out


def compare_with_report(song, doc, report, stderr):
    if [l for l in stderr.split("\n") if l] != message_lines(doc):
        fail(song, "messages differ: %r vs %r" % (stderr, message_lines(doc)))
    if doc["status"] != "analysed":
        return
    checks = [
        ("File Size   :", doc["size"]), ("Total Tracks:", doc["tracks"]), ("File Format :", doc["format_name"]),
        ("Delta Ticks :", doc["ticks_per_quarter"]), ("Number of Instruments :", doc["instrument_count"]),
        ("(Melody)", doc["melody_count"]), ("(Rhythm)", doc["rhythm_count"]),
        ("Main Instrument       :", doc["main_instrument"] or ""),
        ("Style                 :", doc["style"]), ("Complex               :", doc["complexity"]),
        ("Average Volume        :", doc["average_volume"]), ("Total time            :", doc["time_text"]),
    ]
    for label, value in checks:
        shown = summary_value(report, label)
        if shown != str(value):
            fail(song, "%s report %r, JSON %r" % (label.strip(), shown, value))
    groups_line = summary_value(report, "Main Instrument Groups:")
    if groups_line != (doc["main_groups"][0] if doc["main_groups"] else ""):
        fail(song, "main group %r vs %r" % (groups_line, doc["main_groups"]))

    ranked = [(l[:-7].rstrip(), int(l[-7:])) for l in section(report, "MAIN INSTRUMENTS:")
              if l != "No instruments"]
    if ranked != [(i["name"], i["weight"]) for i in doc["instruments"]]:
        fail(song, "instrument ranking differs")
    shares = [(l[:-5].rstrip(), int(l[-5:-1])) for l in section(report, "MAIN INSTRUMENT GROUPS:")]
    if shares != [(g["name"], g["percent"]) for g in doc["groups"]]:
        fail(song, "group shares differ: %r vs %r" % (shares, doc["groups"]))
    melody = section(report, "Main 10 Melody Instruments:")
    numbers = [str(i["number"]) for i in doc["instruments"] if i["kind"] == "melody"][:10]
    if (melody[0] if melody else "") != ",".join(numbers):
        fail(song, "main melody instruments %r vs %r" % (melody, numbers))

    rows = [l for l in section(report, "-" * 48)]
    if len(rows) != len(doc["channel_table"]):
        fail(song, "channel table has %d rows, JSON %d" % (len(rows), len(doc["channel_table"])))
    for line, row in zip(rows, doc["channel_table"]):
        fields = line.split()
        if int(fields[0]) != row["track"] or int(fields[1]) != row["channel"] or not line.endswith(row["instrument"]):
            fail(song, "channel row %r vs %r" % (line, row))

    tracks = re.findall(r"^Tr:\s*(\d+)\s+Length:\s*(-?\d+)$", report, re.M)
    listed = [t for t in doc["track_list"] if "length" in t]
    if [(int(a), int(b)) for a, b in tracks] != [(t["index"], t["length"]) for t in listed]:
        fail(song, "track lengths differ")


def main():
    cli, data, schema_path, make_songs = sys.argv[1:5]
    dirs = sys.argv[5:]
    validator = jsonschema.Draft202012Validator(json.load(open(schema_path)))
    with tempfile.TemporaryDirectory() as work:
        program = os.path.join(work, "program")
        shutil.copytree(data, program)
        bench = os.path.join(work, "bench")
        os.mkdir(bench)
        subprocess.run([sys.executable, make_songs, bench], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        songs = [os.path.join(bench, n) for n in sorted(os.listdir(bench)) if n.startswith("song")]
        for d in dirs:
            if os.path.isdir(d):
                for root, _, names in os.walk(d):
                    songs += [os.path.join(root, n) for n in names if n.lower().endswith((".mid", ".midi", ".kar"))]
        songs.sort()
        base = ["--program-folder", program, "--seed", "1"]
        single = {}
        for song in songs:
            _, out, err = run([cli] + base + ["--json", song])
            try:
                doc = json.loads(out)
            except ValueError as e:
                fail(song, "not JSON (%s): %r" % (e, out[:200]))
                continue
            single[song] = out
            for error in validator.iter_errors(doc):
                fail(song, "schema: %s at %s" % (error.message, list(error.path)))
            _, report, err_text = run([cli] + base + [song])
            compare_with_report(song, doc, report, err)
            if err != err_text:
                fail(song, "--json showed other messages than the report run")
            if mido is not None and doc["status"] == "analysed" and doc["format"] != 2:
                try:
                    length = mido.MidiFile(song).length
                except Exception:
                    length = None
                if length is not None and abs(length - doc["duration_seconds"]) > 1e-3:
                    fail(song, "duration %r, mido %r" % (doc["duration_seconds"], length))

        code, out, err = run([cli, "--batch", "--jobs", "2"] + base + songs)
        lines = out.split("\n")[:-1]
        if code != 0 or len(lines) != len(songs):
            fail("--batch", "exit %d, %d lines for %d songs: %s" % (code, len(lines), len(songs), err))
        for song, line in zip(songs, lines):
            if song in single and line + "\n" != single[song]:
                fail(song, "the batch line differs from --json")
        if not re.match(r"sonivex-cli: %d songs: \d+ analysed, \d+ refused, \d+ stopped" % len(songs), err):
            fail("--batch", "summary line %r" % err)

    for f in failures:
        print(f)
    print("%d songs checked, %d differences" % (len(songs), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
