#!/usr/bin/env python3
"""Writes examples/example.mid: a short three-track song (melody, bass, drums) to try Sonivex on."""
import pathlib
import struct


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def meta(delta, kind, data):
    return vlq(delta) + bytes([0xFF, kind]) + vlq(len(data)) + data


def chunk(events):
    data = b"".join(events) + b"\x00\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + data


def notes(channel, program, pairs, length):
    events = [vlq(0) + bytes([0xC0 | channel, program])]
    for key, velocity in pairs:
        events.append(vlq(0) + bytes([0x90 | channel, key, velocity]))
        events.append(vlq(length) + bytes([0x80 | channel, key, 64]))
    return events


DIVISION = 96
melody = [meta(0, 0x03, b"Melody"), meta(0, 0x51, bytes([0x07, 0xA1, 0x20])),
          meta(0, 0x58, bytes([4, 2, 24, 8])), meta(0, 0x59, bytes([0, 0]))]
melody += notes(0, 0, [(60, 90), (62, 84), (64, 96), (65, 80), (67, 100), (65, 80), (64, 90), (62, 84)] * 2, DIVISION)
bass = [meta(0, 0x03, b"Bass")] + notes(1, 33, [(36, 100), (43, 90), (41, 95), (43, 90)] * 4, DIVISION * 2)
drums = [meta(0, 0x03, b"Drums")]
for bar in range(8):
    for beat, key in enumerate([36, 42, 38, 42]):
        drums.append(vlq(0) + bytes([0x99, key, 110 if key != 42 else 70]))
        drums.append(vlq(DIVISION) + bytes([0x89, key, 64]))

song = b"MThd" + struct.pack(">IHHH", 6, 1, 3, DIVISION) + chunk(melody) + chunk(bass) + chunk(drums)
pathlib.Path(__file__).with_name("example.mid").write_bytes(song)
