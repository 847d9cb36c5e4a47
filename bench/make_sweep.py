#!/usr/bin/python3
"""Generate the songs of bench/sweep.sh: one-track songs of growing size and a 10 MB song.

Usage: make_sweep.py OUTDIR

Writes one_track_50000.mid ... one_track_400000.mid (format 0, that many note events in one track, as a
human piano performance has: varied keys, velocities and delta times) and ten_mb.mid (format 1, 16 tracks,
about 10,000,000 bytes). Prints "name<TAB>path<TAB>bytes<TAB>events" per file. Deterministic; standard
library only.
"""

import os
import sys


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def track_chunk(events):
    data = bytearray()
    for delta, event in events:
        data += vlq(delta) + event
    data += b"\x00\xff\x2f\x00"
    return b"MTrk" + len(data).to_bytes(4, "big") + bytes(data)


def performance(count, channel, seed):
    """`count` note events (ons and offs) with a tempo map, on `channel`."""
    state = seed * 2654435761 % 4294967296 or 1
    events = [(0, b"\xff\x51\x03\x07\xa1\x20"), (0, bytes([0xC0 | channel, seed % 128]))]
    sounding = []
    while len(events) + len(sounding) < count:
        state = (state * 1103515245 + 12345) % 2147483648
        delta = state % 97
        if sounding and ((state >> 8) % 2 == 0 or len(sounding) > 8):
            key = sounding.pop(0)
            events.append((delta, bytes([0x80 | channel, key, 64])))
        else:
            key = 21 + (state >> 10) % 88
            velocity = 1 + (state >> 16) % 127
            events.append((delta, bytes([0x90 | channel, key, velocity])))
            sounding.append(key)
        if (state >> 20) % 2000 == 0 and len(events) + len(sounding) < count:
            events.append((0, b"\xff\x51\x03" + (400000 + state % 200000).to_bytes(3, "big")))
    for key in sounding:
        events.append((1, bytes([0x80 | channel, key, 64])))
    return events


def header(fmt, tracks):
    return b"MThd\x00\x00\x00\x06" + fmt.to_bytes(2, "big") + tracks.to_bytes(2, "big") + (480).to_bytes(2, "big")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for count in (50000, 100000, 200000, 400000):
        events = performance(count, 0, count)
        data = header(0, 1) + track_chunk(events)
        path = os.path.join(out, "one_track_%d.mid" % count)
        with open(path, "wb") as f:
            f.write(data)
        print("one_track_%d\t%s\t%d\t%d" % (count, path, len(data), len(events)))
    tracks = []
    total = 14
    count = 0
    for t in range(16):
        events = performance(156000, t if t != 9 else 10, 1000 + t)
        chunk = track_chunk(events)
        tracks.append(chunk)
        total += len(chunk)
        count += len(events)
    data = header(1, 16) + b"".join(tracks)
    path = os.path.join(out, "ten_mb.mid")
    with open(path, "wb") as f:
        f.write(data)
    print("ten_mb\t%s\t%d\t%d" % (path, len(data), count))


if __name__ == "__main__":
    main()
