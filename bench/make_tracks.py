#!/usr/bin/python3
"""Generate the songs of bench/tracks.sh: one with the most tracks a song may have, and one large one.

Usage: make_tracks.py OUTDIR [LARGE_MB]

Writes into OUTDIR:
  tracks_32767.mid  format 1, 32,767 tracks (the most the header can count): a tempo track, then tracks of
                    2 to 12 notes each on channels 1 to 14 (channel 10 holding drums), so that channels 15 and
                    16 stay free for Drum<>Melody; about 3 MB
  large.mid         format 1, about LARGE_MB megabytes (default 256) in tracks of about 2 MB each, the same
                    mix of melody and drum tracks: 2,000 notes each between system-exclusive dumps of 64 KB
                    (notes alone would soon pass what the analysis counts: its note ticks, for one, are a
                    32-bit sum)

Prints one line per file on stdout: "name<TAB>path<TAB>size<TAB>tracks".

Deterministic (a small xorshift generator of its own), standard library only.
"""

import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_songs import varlen  # noqa: E402  (the bench songs' own writer of variable-length numbers)

DRUM_CHANNEL = 9  # channel 10 as musicians count
CHANNELS = 14     # channels 0 to 13 carry the tracks; 14 and 15 stay free
MAX_TRACKS = 32767


class Rng:
    """xorshift32: the same numbers on every machine."""

    def __init__(self, seed):
        self.s = (seed * 2654435761 + 12345) & 0xFFFFFFFF or 1

    def next(self, n):
        s = self.s
        s ^= (s << 13) & 0xFFFFFFFF
        s ^= s >> 17
        s ^= (s << 5) & 0xFFFFFFFF
        self.s = s
        return s % n


def chunk(kind, data):
    return kind + struct.pack(">I", len(data)) + data


def tempo_track():
    data = b"\x00\xFF\x03\x05Tempo"
    data += b"\x00\xFF\x51\x03\x07\xA1\x20"          # 120 beats a minute
    data += b"\x00\xFF\x58\x04\x04\x02\x18\x08"      # 4/4
    data += b"\x00\xFF\x2F\x00"
    return chunk(b"MTrk", data)


def note_track(rng, number, notes, dumps=0):
    """A track of `notes` notes (Note On, then Note Off as Note On with velocity 0, in running status), with
    `dumps` system-exclusive dumps of 64 KB spread among them."""
    channel = number % CHANNELS
    drums = channel == DRUM_CHANNEL
    name = b"Track %d" % number
    data = bytearray(b"\x00\xFF\x03" + varlen(len(name)) + name)
    data += bytes([0x00, 0xC0 | channel, rng.next(128)])
    data += bytes([0x00, 0xB0 | channel, 7, 100])
    dump = bytes(rng.next(128) for _ in range(65535)) + b"\xF7" if dumps else b""
    for part in range(dumps + 1):
        if part > 0:
            data += b"\xF0" + varlen(len(dump)) + dump  # after the delta of the note before
        data += bytes([0x00, 0x90 | channel])
        for _ in range(notes // (dumps + 1)):
            key = 35 + rng.next(47) if drums else 36 + rng.next(60)
            velocity = 40 + rng.next(80)
            length = 60 * (1 + rng.next(8))
            data += bytes([key, velocity]) + varlen(length) + bytes([key, 0]) + varlen(rng.next(3) * 120)
    data += b"\xFF\x2F\x00"
    return chunk(b"MTrk", bytes(data))


def header(tracks):
    return chunk(b"MThd", struct.pack(">HHH", 1, tracks, 480))


def write_many_tracks(path):
    rng = Rng(7)
    parts = [header(MAX_TRACKS), tempo_track()]
    for number in range(1, MAX_TRACKS):
        parts.append(note_track(rng, number, 2 + rng.next(11)))
    with open(path, "wb") as f:
        f.write(b"".join(parts))
    return MAX_TRACKS


def write_large(path, megabytes):
    rng = Rng(11)
    # A handful of distinct 2 MB tracks, each written many times: quick to make, and still a song whose tracks
    # differ in length and channel.
    variants = [note_track(rng, number, 2000 + rng.next(400), 30 + rng.next(4)) for number in range(1, 17)]
    target = megabytes * 1024 * 1024
    tracks = [tempo_track()]
    size = 14 + len(tracks[0])
    while size < target and len(tracks) < MAX_TRACKS:
        track = variants[(len(tracks) - 1) % len(variants)]
        tracks.append(track)
        size += len(track)
    with open(path, "wb") as f:
        f.write(header(len(tracks)))
        for track in tracks:
            f.write(track)
    return len(tracks)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    out = sys.argv[1]
    megabytes = int(sys.argv[2]) if len(sys.argv) == 3 else 256
    os.makedirs(out, exist_ok=True)
    for name, make in (("tracks_32767", write_many_tracks), ("large", lambda p: write_large(p, megabytes))):
        path = os.path.join(out, name + ".mid")
        tracks = make(path)
        print("%s\t%s\t%d\t%d" % (name, path, os.path.getsize(path), tracks))


if __name__ == "__main__":
    main()
