#!/usr/bin/python3
"""Checks the track operations of sonivex-cli with an independent MIDI reader (mido).

Usage: roundtrip.py SONIVEX_CLI DATA_DIR
Writes songs with mido, lets sonivex-cli switch and copy tracks and save the result, and reads the saved
files back with mido: every event must stay at its time, with only the channel changed and the drum program
change added where the track operations add one.
"""
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile

import mido


def song(seed):
    rng = random.Random(seed)
    mid = mido.MidiFile(type=1, ticks_per_beat=96)
    conductor = mido.MidiTrack()
    conductor += [mido.MetaMessage("track_name", name="Conductor"), mido.MetaMessage("set_tempo", tempo=500000),
                  mido.MetaMessage("time_signature", numerator=3, denominator=4),
                  mido.MetaMessage("key_signature", key="G")]
    melody = mido.MidiTrack()
    melody += [mido.MetaMessage("track_name", name="Melody"), mido.Message("program_change", program=40, time=0)]
    for i in range(60):
        key = rng.randint(48, 84)
        melody.append(mido.Message("note_on", note=key, velocity=rng.randint(1, 127), time=rng.choice([0, 24, 48])))
        if i % 7 == 3:
            melody.append(mido.MetaMessage("lyrics", text="la la", time=rng.randint(0, 20)))
        if i % 11 == 5:
            melody.append(mido.Message("control_change", control=7, value=rng.randint(0, 127), time=5))
            melody.append(mido.MetaMessage("key_signature", key="D", time=3))
        if i % 13 == 2:
            melody.append(mido.Message("pitchwheel", pitch=rng.randint(-8000, 8000), time=2))
        melody.append(mido.Message("note_off", note=key, velocity=64, time=rng.choice([24, 48, 200, 300])))
    drums = mido.MidiTrack()
    drums.append(mido.MetaMessage("track_name", name="Drums"))
    for i in range(40):
        key = rng.choice([36, 38, 42, 46])
        drums.append(mido.Message("note_on", channel=9, note=key, velocity=100, time=rng.choice([0, 48, 96])))
        drums.append(mido.Message("note_off", channel=9, note=key, velocity=0, time=rng.choice([12, 48])))
    mid.tracks += [conductor, melody, drums]
    return mid


def events(track, start_from_first_channel_event=False):
    """(absolute time, kind, data) of every event but End of Track; channels dropped."""
    out, now, started = [], 0, not start_from_first_channel_event
    origin = 0
    for msg in track:
        now += msg.time
        if msg.type == "end_of_track":
            continue
        if not started:
            if msg.is_meta:
                continue
            started, origin = True, now
        data = msg.dict()
        data.pop("time", None)
        data.pop("channel", None)
        out.append((now - origin, msg.type, tuple(sorted(data.items()))))
    return out


def channels(track):
    return {msg.channel for msg in track if not msg.is_meta and hasattr(msg, "channel")}


def run(cli, folder, source, args, out):
    result = subprocess.run([cli, "--program-folder", str(folder), str(source), *args, "--save", str(out)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise AssertionError(f"sonivex-cli {args} exited {result.returncode}: {result.stderr}")
    return result


def first_event_time(track):
    now = 0
    for msg in track:
        now += msg.time
        if not msg.is_meta:
            return now
    return None


def check(cli, data, work, seed):
    folder = work / "program"
    folder.mkdir(exist_ok=True)
    for name in ("genmidi.ini", "style1.dat", "effects1.dat"):
        shutil.copy(data / name, folder / name)
    source = work / f"song{seed}.mid"
    original = song(seed)
    original.save(source)

    # Drums to melody and back: the same events at the same times on channel 10 again, plus the drum
    # program change (117) where the first event stood.
    switched = work / f"switched{seed}.mid"
    run(cli, folder, source, ["--switch-track", "2", "--switch", "--switch"], switched)
    after = mido.MidiFile(switched)
    assert len(after.tracks) == 3, len(after.tracks)
    for i in (0, 1):
        assert events(after.tracks[i]) == events(original.tracks[i]), f"track {i + 1} changed"
    assert channels(after.tracks[2]) == {9}, channels(after.tracks[2])
    expected = events(original.tracks[2])
    first = next(i for i, msg in enumerate(m for m in original.tracks[2] if m.type != "end_of_track") if not msg.is_meta)
    program = (first_event_time(original.tracks[2]), "program_change", (("program", 117), ("type", "program_change")))
    expected.insert(first, program)
    assert events(after.tracks[2]) == expected, "switched drum track differs"

    # A copy of the melody: the source's events from its first recorded one on, on the first free channel.
    copied = work / f"copied{seed}.mid"
    run(cli, folder, source, ["--copy-track", "1", "--copy"], copied)
    after = mido.MidiFile(copied)
    assert len(after.tracks) == 4
    for i in range(3):
        assert events(after.tracks[i]) == events(original.tracks[i]), f"track {i + 1} changed by the copy"
    assert channels(after.tracks[3]) == {1}, channels(after.tracks[3])
    expected = [e for e in events(original.tracks[1], True)]
    assert events(after.tracks[3]) == expected, "the copy differs from its source"


def main():
    cli, data = sys.argv[1], pathlib.Path(sys.argv[2])
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        for seed in range(5):
            check(cli, data, work, seed)
    print("5 passed, 0 failed")


if __name__ == "__main__":
    main()
