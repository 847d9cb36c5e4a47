#!/usr/bin/python3
"""Checks Transpose, Tempo and Instrument of sonivex-cli with an independent MIDI reader (mido).

Usage: music_edits_vs_mido.py SONIVEX_CLI DATA_DIR
Writes songs with mido, lets sonivex-cli transpose them, change their tempo and a track's instrument and save
the result, and reads the saved files back with mido: every event must stay at its time, with only the keys,
the tempos or the programs changed as the edit says, and the song must last as long as its tempo says.
"""
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile

import mido

DRUMS = 9


def song(seed, with_tempo=True):
    rng = random.Random(seed)
    mid = mido.MidiFile(type=1, ticks_per_beat=96)
    conductor = mido.MidiTrack([mido.MetaMessage("track_name", name="Conductor")])
    if with_tempo:
        conductor.append(mido.MetaMessage("set_tempo", tempo=rng.randint(300000, 900000)))
    conductor.append(mido.MetaMessage("time_signature", numerator=3, denominator=4))
    if with_tempo:
        conductor.append(mido.MetaMessage("set_tempo", tempo=rng.randint(300000, 900000), time=rng.randint(96, 900)))
    melody = mido.MidiTrack([mido.MetaMessage("track_name", name="Melody"), mido.Message("program_change", program=40)])
    for i in range(50):
        key = rng.randint(30, 110)
        melody.append(mido.Message("note_on", note=key, velocity=rng.randint(1, 127), time=rng.choice([0, 24, 48])))
        if i % 9 == 4:
            melody.append(mido.Message("polytouch", note=key, value=rng.randint(0, 127), time=3))
        if i % 11 == 5:
            melody.append(mido.Message("control_change", control=7, value=rng.randint(0, 127), time=5))
            melody.append(mido.Message("program_change", program=rng.randint(0, 127), time=1))
        if i % 13 == 2:
            melody.append(mido.Message("pitchwheel", pitch=rng.randint(-8000, 8000), time=2))
        melody.append(mido.Message("note_off", note=key, velocity=64, time=rng.choice([24, 48, 200])))
    drums = mido.MidiTrack([mido.MetaMessage("track_name", name="Drums")])
    for _ in range(30):
        key = rng.choice([35, 36, 38, 42, 46, 127])
        drums.append(mido.Message("note_on", channel=DRUMS, note=key, velocity=100, time=rng.choice([0, 48, 96])))
        drums.append(mido.Message("note_on", channel=DRUMS, note=key, velocity=0, time=rng.choice([12, 48])))
    # A second melody without a program change, starting after a rest.
    pad = mido.MidiTrack([mido.MetaMessage("track_name", name="Pad")])
    for i in range(10):
        key = rng.randint(40, 80)
        pad.append(mido.Message("note_on", channel=2, note=key, velocity=70, time=96 if i == 0 else 0))
        pad.append(mido.Message("note_off", channel=2, note=key, velocity=0, time=192))
    mid.tracks += [conductor, melody, drums, pad]
    return mid


def timed(track):
    """(absolute time, message without its delta) of every event but End of Track."""
    out, now = [], 0
    for msg in track:
        now += msg.time
        if msg.type != "end_of_track":
            out.append((now, msg.copy(time=0)))
    return out


def transposed(track, by):
    out = []
    for now, msg in timed(track):
        if msg.type in ("note_on", "note_off", "polytouch") and msg.channel != DRUMS:
            msg = msg.copy(note=msg.note + by)
        out.append((now, msg))
    return out


def run(cli, folder, source, args, out):
    out.unlink(missing_ok=True)
    result = subprocess.run([cli, "--program-folder", str(folder), "--no-log", str(source), *args, "--save", str(out)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError(f"sonivex-cli {args} exited {result.returncode}: {result.stderr}")
    return result


def check(cli, folder, work, seed):
    source = work / f"song{seed}.mid"
    original = song(seed)
    original.save(source)
    out = work / f"out{seed}.mid"

    # Transpose: every melody key moves, drum keys and every time stay.
    run(cli, folder, source, ["--transpose", "5"], out)
    after = mido.MidiFile(out)
    for i, track in enumerate(original.tracks):
        assert timed(after.tracks[i]) == transposed(track, 5), f"track {i + 1} transposed wrongly"
    run(cli, folder, out, ["--transpose", "-5"], work / "back.mid")
    assert (work / "back.mid").read_bytes() == source.read_bytes(), "+5 then -5 is not the song"

    # One track only.
    run(cli, folder, source, ["--transpose", "-3", "--transpose-track", "4"], out)
    after = mido.MidiFile(out)
    for i, track in enumerate(original.tracks):
        assert timed(after.tracks[i]) == transposed(track, -3 if i == 3 else 0), f"track {i + 1} of one-track transpose"

    # Beyond the keys: counted as mido counts them, and nothing changes.
    outside = sum(1 for t in original.tracks for m in t
                  if m.type == "note_on" and m.velocity > 0 and m.channel != DRUMS and m.note + 24 > 127)
    assert outside > 0
    result = run(cli, folder, source, ["--transpose", "24"], out)
    noun = "note" if outside == 1 else "notes"
    assert f"would move {outside} {noun} outside" in result.stderr, result.stderr
    assert out.read_bytes() == source.read_bytes(), "a refused transpose changed the song"

    # Tempo: every Set Tempo scaled, everything else as it was, the song half as long.
    run(cli, folder, source, ["--tempo-percent", "200"], out)
    after = mido.MidiFile(out)
    for i, track in enumerate(original.tracks):
        expected = [(now, m.copy(tempo=(m.tempo * 100 + 100) // 200) if m.type == "set_tempo" else m)
                    for now, m in timed(track)]
        assert timed(after.tracks[i]) == expected, f"track {i + 1} after the tempo change"
    # Half as long, but for each tempo's rounding to the microsecond (at most half of one per quarter note).
    quarters = max(sum(m.time for m in t) for t in original.tracks) / original.ticks_per_beat
    assert abs(after.length - original.length / 2) <= quarters * 0.5e-6 + 1e-9, (after.length, original.length)

    # A song without a tempo gets one at tick 0 of the first track, after the events at its start.
    plain = song(seed, with_tempo=False)
    plain.save(source)
    run(cli, folder, source, ["--tempo-percent", "50"], out)
    after = mido.MidiFile(out)
    expected = timed(plain.tracks[0])
    expected.insert(2, (0, mido.MetaMessage("set_tempo", tempo=1000000)))
    assert timed(after.tracks[0]) == expected, timed(after.tracks[0])
    assert abs(after.length - plain.length * 2) < 1e-6, (after.length, plain.length)
    original.save(source)

    # Instrument: the track's program changes, and no other event of any track.
    run(cli, folder, source, ["--instrument", "2=1"], out)
    after = mido.MidiFile(out)
    for i, track in enumerate(original.tracks):
        expected = [(now, m.copy(program=0) if i == 1 and m.type == "program_change" else m) for now, m in timed(track)]
        assert timed(after.tracks[i]) == expected, f"track {i + 1} after the instrument change"
    # The pad has none: it gets one at tick 0 on its channel, after its name, before its first note's rest.
    run(cli, folder, source, ["--instrument", "4=90"], out)
    after = mido.MidiFile(out)
    expected = timed(original.tracks[3])
    expected.insert(1, (0, mido.Message("program_change", channel=2, program=89)))
    assert timed(after.tracks[3]) == expected, "the pad's new program change"
    for i in range(3):
        assert timed(after.tracks[i]) == timed(original.tracks[i]), f"track {i + 1} changed by the pad's program"


def main():
    cli, data = sys.argv[1], pathlib.Path(sys.argv[2])
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        folder = work / "program"
        folder.mkdir()
        for name in ("genmidi.ini", "style1.dat", "effects1.dat"):
            shutil.copy(data / name, folder / name)
        seeds = range(6)
        for seed in seeds:
            check(cli, folder, work, seed)
    print(f"{len(seeds)} passed, 0 failed")


if __name__ == "__main__":
    main()
