#!/usr/bin/python3
"""Generate the MIDI files used by bench/run.sh.

Usage: make_songs.py OUTDIR

Writes into OUTDIR:
  big_16x40000.mid   format 1, 16 tracks of exactly 40,000 events each
  one_mib.mid        format 1, exactly 1,048,576 bytes
  song1..song5_*.mid five ordinary songs (8-16 tracks, 2,000-10,000 events)

Prints one line per file on stdout: "name<TAB>path<TAB>size<TAB>tracks<TAB>events"
and a short summary of each file's counters on stderr.

Everything is deterministic (own xorshift generator), so the same files come out
on every machine and every Python 3 version.  Only the standard library is used.

The generated files stay inside what Sonivex's analysis can count:
  - at most 73 tracks, at most 40,000 events per track
  - per file, the note events (on + off) sharing one delta time, one velocity
    (0 included), one melodic key or one drum key: at most 30,000 each
  - at most 2000 distinct delta times, at most 2000 melodic program changes,
    at most 90 instruments (melodic programs + drum keys that sound)
  - one Set Tempo event, in track 1, before any note; songs under 20 minutes
  - every track ends with FF 2F 00
Each file is parsed back from its bytes and checked against these numbers;
the script exits with status 1 if one is exceeded.
"""

import os
import sys

# Limits of the analysis (see the docstring); check_limits() enforces them.
MAX_TRACKS = 73
MAX_EVENTS_PER_TRACK = 40000
MAX_NOTES_PER_VALUE = 30000
MAX_DISTINCT_DELTAS = 2000
MAX_MELODIC_PROGRAM_CHANGES = 2000
MAX_INSTRUMENTS = 90
MAX_SONG_SECONDS = 20 * 60

DRUM_CHANNEL = 9  # channel 10 as musicians count


# --------------------------------------------------------------------------
# Deterministic pseudo-random numbers


class Rng:
    """xorshift64* - small, fast enough, identical everywhere."""

    def __init__(self, seed):
        self.s = (seed * 0x9E3779B97F4A7C15 + 0x632BE59BD9B4E019) & 0xFFFFFFFFFFFFFFFF
        if self.s == 0:
            self.s = 1

    def next(self):
        s = self.s
        s ^= (s >> 12)
        s ^= (s << 25) & 0xFFFFFFFFFFFFFFFF
        s ^= (s >> 27)
        self.s = s
        return ((s * 0x2545F4914F6CDD1D) & 0xFFFFFFFFFFFFFFFF) >> 11  # 53 bits

    def random(self):
        return self.next() / float(1 << 53)

    def int(self, lo, hi):
        """Uniform integer in [lo, hi]."""
        return lo + self.next() % (hi - lo + 1)

    def choice(self, seq):
        return seq[self.next() % len(seq)]


# --------------------------------------------------------------------------
# Writing


def varlen(n):
    if n < 0 or n > 0x0FFFFFFF:
        raise ValueError("variable-length value out of range: %d" % n)
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


class Track:
    """One MTrk chunk under construction; uses running status for channel events."""

    def __init__(self):
        self.buf = bytearray()
        self.running = None
        self.events = 0
        self.ticks = 0

    def _channel(self, delta, status, *data):
        self.buf += varlen(delta)
        if status != self.running:
            self.buf.append(status)
            self.running = status
        self.buf += bytes(data)
        self.events += 1
        self.ticks += delta

    def note_on(self, delta, ch, key, vel):
        self._channel(delta, 0x90 | ch, key, vel)

    def note_off(self, delta, ch, key, vel):
        self._channel(delta, 0x80 | ch, key, vel)

    def control(self, delta, ch, num, val):
        self._channel(delta, 0xB0 | ch, num, val)

    def program(self, delta, ch, prog):
        self._channel(delta, 0xC0 | ch, prog)

    def pitch_bend(self, delta, ch, value):
        self._channel(delta, 0xE0 | ch, value & 0x7F, (value >> 7) & 0x7F)

    def meta(self, delta, kind, data):
        if isinstance(data, str):
            data = data.encode("latin-1")
        self.buf += varlen(delta) + bytes([0xFF, kind]) + varlen(len(data)) + data
        self.running = None  # a meta event cancels running status
        self.events += 1
        self.ticks += delta

    def end(self, delta=0):
        self.meta(delta, 0x2F, b"")

    def chunk(self):
        return b"MTrk" + len(self.buf).to_bytes(4, "big") + bytes(self.buf)


def tempo_data(us_per_quarter):
    return us_per_quarter.to_bytes(3, "big")


def time_sig_data(num, den, clocks=24, n32=8):
    return bytes([num, den.bit_length() - 1, clocks, n32])


def key_sig_data(sharps, minor):
    return bytes([sharps & 0xFF, 1 if minor else 0])


def smf(fmt, division, tracks):
    head = b"MThd" + (6).to_bytes(4, "big") + fmt.to_bytes(2, "big") \
        + len(tracks).to_bytes(2, "big") + division.to_bytes(2, "big")
    return head + b"".join(t.chunk() for t in tracks)


# --------------------------------------------------------------------------
# Stress tracks: dense random notes with wide spreads of deltas, keys and
# velocities so that no single value piles up past the 16-bit counters.

GM_PROGRAM_POOL = [0, 1, 4, 5, 6, 11, 16, 19, 24, 25, 26, 27, 29, 32, 33, 35, 38,
                   40, 41, 42, 46, 48, 49, 50, 52, 56, 57, 60, 61, 65, 66, 68, 71,
                   73, 80, 81, 88, 89, 95, 104]  # 40 programs
DRUM_KEY_POOL = [35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50,
                 51, 54, 56, 57]  # 20 keys -> at most 60 instruments per file
CONTROLLERS = [1, 7, 10, 11, 64, 71, 74, 91, 93]


def stress_delta(rng):
    # Mostly short gaps, some longer ones, spread over 0..600; the most frequent
    # value takes under 2% of the notes.
    r = rng.random()
    if r < 0.70:
        return rng.int(0, 40)
    if r < 0.95:
        return rng.int(41, 240)
    return rng.int(241, 600)


def stress_body(rng, track, ch, budget, programs):
    """Append exactly `budget` events of notes, controllers and program changes.

    Notes come in little groups of note-ons and groups of note-offs so that
    running status is used most of the time.  Every note that is started is
    stopped within the budget.
    """
    drum = ch == DRUM_CHANNEL
    start = track.events
    active = []
    poly = 4 if drum else 8
    if not drum:
        track.program(0, ch, rng.choice(programs))
        track.control(0, ch, 7, rng.int(80, 120))
        track.control(0, ch, 10, rng.int(20, 108))
    while True:
        left = budget - (track.events - start)
        if left <= len(active):
            while active:
                key = active.pop(0)
                track.note_off(stress_delta(rng), ch, key, rng.int(1, 127))
            break
        r = rng.random()
        if r < 0.006:
            track.control(stress_delta(rng), ch, rng.choice(CONTROLLERS), rng.int(0, 127))
            continue
        if not drum and r < 0.0065:
            track.program(stress_delta(rng), ch, rng.choice(programs))
            continue
        room = min(poly - len(active), (left - len(active)) // 2)
        if room <= 0 and not active:
            # one slot left and nothing sounding: a controller fills it
            track.control(stress_delta(rng), ch, rng.choice(CONTROLLERS), rng.int(0, 127))
            continue
        if room > 0 and (not active or rng.random() < 0.5):
            for _ in range(rng.int(1, min(room, 3))):
                while True:
                    key = rng.choice(DRUM_KEY_POOL) if drum else rng.int(28, 100)
                    if key not in active:
                        break
                track.note_on(stress_delta(rng), ch, key, rng.int(1, 127))
                active.append(key)
        else:
            for _ in range(rng.int(1, len(active))):
                key = active.pop(0)
                if rng.random() < 0.04:
                    track.note_on(stress_delta(rng), ch, key, 0)
                else:
                    track.note_off(stress_delta(rng), ch, key, rng.int(1, 127))


def fit_tempo(max_ticks, division, seconds=15 * 60, default=500000):
    """Tempo (us per quarter) so that the longest track lasts at most `seconds`."""
    if max_ticks == 0:
        return default
    return max(1, min(default, seconds * 1000000 * division // max_ticks))


def stress_file(seed, division, track_budgets, title):
    """Format 1: track 1 carries title, signatures and tempo, then notes like the others."""
    rng = Rng(seed)
    programs = GM_PROGRAM_POOL
    bodies = []
    for i, budget in enumerate(track_budgets):
        # budget = head (name; track 1 also time sig, key sig, tempo) + body + end of track
        n_head = 4 if i == 0 else 1
        body = Track()
        stress_body(rng, body, i % 16, budget - n_head - 1, programs)
        bodies.append(body)
    # the tempo is only known once the longest track is
    tempo = fit_tempo(max(b.ticks for b in bodies), division)
    tracks = []
    for i, body in enumerate(bodies):
        ch = i % 16
        t = Track()
        if i == 0:
            t.meta(0, 0x03, title)
            t.meta(0, 0x58, time_sig_data(4, 4))
            t.meta(0, 0x59, key_sig_data(0, False))
            t.meta(0, 0x51, tempo_data(tempo))
        else:
            kind = "Drums" if ch == DRUM_CHANNEL else "Part"
            t.meta(0, 0x03, "%s %d (channel %d)" % (kind, i + 1, ch + 1))
        t.running = None
        t.buf += body.buf
        t.events += body.events
        t.ticks += body.ticks
        tracks.append(t)
    return tracks


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_big(outdir):
    tracks = stress_file(1001, 960, [MAX_EVENTS_PER_TRACK] * 16, "Stress 16 x 40000")
    for t in tracks:
        t.end(0)
    path = os.path.join(outdir, "big_16x40000.mid")
    write_file(path, smf(1, 960, tracks))
    return path


def make_one_mib(outdir, target=1 << 20, n_tracks=12):
    """A file of exactly `target` bytes: stress tracks sized to come just under
    the target, then one short text event in the last track makes up the rest."""
    division = 480

    def build(last_budget, per_track):
        budgets = [per_track] * (n_tracks - 1) + [last_budget]
        tracks = stress_file(2002, division, budgets, "Stress one MiB")
        return tracks

    def size_of(tracks):
        return 14 + sum(8 + len(t.buf) + 4 for t in tracks)  # + EOT (00 FF 2F 00)

    # Estimate events per track from a pilot.  One event of each track's budget
    # is kept for the padding text event (only used in the last track).
    pilot = build(20000, 20000)
    per_event = size_of(pilot) / (20000.0 * n_tracks)
    per_track = int(target / per_event / n_tracks)
    per_track = min(per_track, MAX_EVENTS_PER_TRACK - 1)
    last = per_track
    # Walk the last track's budget until the remaining gap fits one text event
    # of 0..100 characters: 1 (delta) + 2 (FF 01) + 1 (length) + text.
    for _ in range(2000):
        tracks = build(last - 1, per_track)
        gap = target - size_of(tracks)
        if 4 <= gap <= 104:
            break
        step = max(1, int(abs(gap - 50) / per_event / 2))
        last += step if gap > 104 else -step
        if last > MAX_EVENTS_PER_TRACK - 1:
            raise SystemExit("make_songs: one_mib target not reachable with %d tracks" % n_tracks)
    else:
        raise SystemExit("make_songs: could not size one_mib")
    for i, t in enumerate(tracks):
        if i == len(tracks) - 1:
            t.meta(0, 0x01, ("size padding " * 10)[:gap - 4])
        t.end(0)
    data = smf(1, division, tracks)
    assert len(data) == target, len(data)
    path = os.path.join(outdir, "one_mib.mid")
    write_file(path, data)
    return path


# --------------------------------------------------------------------------
# Ordinary songs: a conductor track and instrument tracks written on a grid,
# with chord progressions in the song's key, a drum kit on channel 10, text,
# markers and lyrics.

MAJOR = [0, 2, 4, 5, 7, 9, 11]
MINOR = [0, 2, 3, 5, 7, 8, 10]
SHARPS_TONIC = {0: 0, 1: 7, 2: 2, 3: 9, 4: 4, 5: 11, -1: 5, -2: 10, -3: 3, -4: 8, -5: 1}


class Song:
    def __init__(self, name, seed, division, num, den, bpm, sharps, minor, bars,
                 parts, progression, title, lyrics=None, key_change=None):
        self.name = name
        self.rng = Rng(seed)
        self.division = division
        self.num = num
        self.den = den
        self.bpm = bpm
        self.sharps = sharps
        self.minor = minor
        self.bars = bars
        self.parts = parts
        self.progression = progression
        self.title = title
        self.lyrics = lyrics or []
        self.key_change = key_change  # (bar, sharps, minor) or None
        # one beat as written in the time signature, in ticks
        self.beat = division * 4 // den
        self.bar = self.beat * num

    def tonic(self, bar):
        sharps, minor = self.key_at(bar)
        rel = SHARPS_TONIC[sharps]
        return (rel + 9) % 12 if minor else rel

    def key_at(self, bar):
        if self.key_change and bar >= self.key_change[0]:
            return self.key_change[1], self.key_change[2]
        return self.sharps, self.minor

    def scale(self, bar):
        return MINOR if self.key_at(bar)[1] else MAJOR

    def chord(self, bar):
        """Triad (pitch classes relative to C) for this bar."""
        degree = self.progression[bar % len(self.progression)]
        sc = self.scale(bar)
        t = self.tonic(bar)
        return [(t + sc[(degree + k) % 7]) % 12 for k in (0, 2, 4)]

    def section(self, bar):
        names = ["Intro", "Verse", "Verse", "Chorus", "Bridge", "Chorus", "Outro"]
        block = max(1, self.bars // len(names))
        return names[min(len(names) - 1, bar // block)], bar % block == 0


def nearest(pc, around):
    """The key with pitch class pc nearest to `around`."""
    k = around - ((around - pc) % 12)
    if around - k > 6:
        k += 12
    return k


class NoteList:
    """Notes in absolute ticks, turned into a track at the end."""

    def __init__(self, ch):
        self.ch = ch
        self.notes = []     # (start, end, key, vel)
        self.others = []    # (tick, order, kind, args)

    def add(self, start, length, key, vel):
        if 0 <= key <= 127 and length > 0:
            self.notes.append((start, start + max(1, length), key, max(1, min(127, vel))))

    def write(self, track, off_style, rng):
        ev = []
        for (s, e, k, v) in self.notes:
            ev.append((s, 2, "on", (k, v)))
            ev.append((e, 1, "off", (k, rng.int(40, 90))))
        ev.extend(self.others)
        ev.sort(key=lambda x: (x[0], x[1]))
        # Drop overlapping repeats of one key on the channel: the later note-on
        # would otherwise be cut by the earlier note's off.
        sounding = {}
        kept = []
        for e in ev:
            if e[2] == "on":
                k = e[3][0]
                if sounding.get(k, 0) > 0:
                    continue
                sounding[k] = 1
            elif e[2] == "off":
                k = e[3][0]
                if sounding.get(k, 0) == 0:
                    continue
                sounding[k] = 0
            kept.append(e)
        now = track.ticks
        for (tick, _, kind, args) in kept:
            d = tick - now
            now = tick
            if kind == "on":
                track.note_on(d, self.ch, args[0], args[1])
            elif kind == "off":
                if off_style == "zero":
                    track.note_on(d, self.ch, args[0], 0)
                else:
                    track.note_off(d, self.ch, args[0], args[1])
            elif kind == "cc":
                track.control(d, self.ch, args[0], args[1])
            elif kind == "bend":
                track.pitch_bend(d, self.ch, args[0])
            elif kind == "meta":
                track.meta(d, args[0], args[1])
        return now


def part_drums(song, nl):
    rng = song.rng
    b, bar = song.beat, song.bar
    sub = b // 2 if song.den == 4 else b  # hi-hat on eighths
    for m in range(song.bars):
        t0 = m * bar
        sec, first = song.section(m)
        if first:
            nl.add(t0, b, 49, rng.int(100, 120))  # crash
        fill = (m % 8 == 7)
        for beat in range(song.num):
            tb = t0 + beat * b
            if beat == 0 or (song.num >= 4 and beat == song.num // 2) or (song.den == 8 and beat % 3 == 0):
                nl.add(tb, sub // 2, 36, rng.int(95, 120))
            if (song.den == 4 and beat % 2 == 1) or (song.den == 8 and beat % 6 == 3):
                nl.add(tb, sub // 2, 38, rng.int(90, 118))
            if fill and beat >= song.num - 2:
                for k, tom in enumerate((50, 48, 47, 45)):
                    nl.add(tb + k * (b // 4), b // 8, tom, rng.int(80, 115))
                continue
            hat = 46 if (beat == song.num - 1 and m % 4 == 3) else 42
            steps = b // sub
            for s in range(steps):
                nl.add(tb + s * sub, sub // 2, hat if s == steps - 1 else 42,
                       rng.int(55, 90) if s else rng.int(75, 100))
            if sec == "Chorus" and beat == 0:
                nl.add(tb, b, 51, rng.int(70, 95))


def part_bass(song, nl):
    rng = song.rng
    b = song.beat
    for m in range(song.bars):
        root = song.chord(m)[0]
        key = nearest(root, 40)
        for beat in range(song.num):
            t = m * song.bar + beat * b
            k = key + (12 if beat % 2 and rng.random() < 0.3 else 0)
            nl.add(t, b * 3 // 4, k, rng.int(80, 110))
            if rng.random() < 0.35:
                nl.add(t + b // 2, b // 3, nearest(song.chord(m)[2], 43), rng.int(65, 90))


def part_chords(song, nl, around=60, every=1):
    rng = song.rng
    for m in range(song.bars):
        ch = song.chord(m)
        for beat in range(0, song.num, every):
            t = m * song.bar + beat * song.beat
            v = rng.int(60, 95)
            for pc in ch:
                nl.add(t, song.beat * every - song.beat // 8, nearest(pc, around), v + rng.int(-5, 5))


def part_pad(song, nl, around=64):
    rng = song.rng
    for m in range(0, song.bars, 2):
        ch = song.chord(m)
        for pc in ch + [ch[0]]:
            nl.add(m * song.bar, song.bar * 2 - song.beat // 4, nearest(pc, around) + (12 if pc == ch[0] and rng.random() < 0.5 else 0), rng.int(50, 75))
        nl.others.append((m * song.bar, 0, "cc", (11, rng.int(70, 110))))


def part_melody(song, nl, around=72, density=0.7, lyrics=None):
    rng = song.rng
    b = song.beat
    lengths = [b // 2, b, b, b * 3 // 2, b * 2]
    syll = 0
    for m in range(song.bars):
        sec, _ = song.section(m)
        if sec == "Intro" and around > 65:
            continue
        t = m * song.bar
        end = t + song.bar
        sc = song.scale(m)
        tonic = song.tonic(m)
        while t < end:
            L = min(rng.choice(lengths), end - t)
            if rng.random() < density:
                pc = (tonic + rng.choice(sc)) % 12
                if rng.random() < 0.5:
                    pc = rng.choice(song.chord(m))
                nl.add(t, L - L // 8, nearest(pc, around + rng.int(-5, 5)), rng.int(70, 110))
                if lyrics:
                    nl.others.append((t, 0, "meta", (0x05, lyrics[syll % len(lyrics)])))
                    syll += 1
            t += L
        if rng.random() < 0.15:
            # a little vibrato-ish bend and back
            nl.others.append((m * song.bar + b, 0, "bend", (8192 + rng.int(-600, 600),)))
            nl.others.append((m * song.bar + 2 * b, 0, "bend", (8192,)))


def part_arp(song, nl, around=67):
    rng = song.rng
    step = song.beat // 2
    for m in range(song.bars):
        if m % 4 == 0 and rng.random() < 0.3:
            continue
        ch = song.chord(m)
        seq = [nearest(pc, around) for pc in ch] + [nearest(ch[0], around) + 12]
        for i in range(song.bar // step):
            nl.add(m * song.bar + i * step, step - step // 4, seq[i % len(seq)], rng.int(55, 85))


def part_stabs(song, nl, around=76):
    rng = song.rng
    for m in range(song.bars):
        sec, _ = song.section(m)
        if sec not in ("Chorus", "Bridge"):
            continue
        ch = song.chord(m)
        for beat in range(song.num):
            if rng.random() < 0.5:
                t = m * song.bar + beat * song.beat + (song.beat // 2 if rng.random() < 0.5 else 0)
                for pc in ch[:2]:
                    nl.add(t, song.beat // 3, nearest(pc, around), rng.int(85, 115))


PARTS = {
    "drums": part_drums,
    "bass": part_bass,
    "chords": lambda s, n: part_chords(s, n, 60, 1),
    "comp": lambda s, n: part_chords(s, n, 55, 2),
    "pad": lambda s, n: part_pad(s, n, 64),
    "pad_low": lambda s, n: part_pad(s, n, 52),
    "melody": lambda s, n: part_melody(s, n, 72, 0.75, s.lyrics),
    "counter": lambda s, n: part_melody(s, n, 64, 0.45),
    "high": lambda s, n: part_melody(s, n, 84, 0.35),
    "arp": part_arp,
    "stabs": part_stabs,
}


def make_song(outdir, song):
    rng = song.rng
    if song.den == 8:
        us = 60000000 * 2 // (song.bpm * 3)  # bpm counts dotted quarters in x/8
    else:
        us = 60000000 // song.bpm
    tracks = []
    cond = Track()
    cond.meta(0, 0x03, song.title)
    cond.meta(0, 0x02, "(c) Sonivex bench, generated")
    cond.meta(0, 0x01, "Generated by bench/make_songs.py for timing runs")
    cond.meta(0, 0x58, time_sig_data(song.num, song.den, 24 if song.den == 4 else 36, 8))
    cond.meta(0, 0x59, key_sig_data(song.sharps, song.minor))
    cond.meta(0, 0x51, tempo_data(us))
    now = 0
    for m in range(song.bars):
        name, first = song.section(m)
        if first:
            cond.meta(m * song.bar - now, 0x06, name)
            now = m * song.bar
        if song.key_change and m == song.key_change[0]:
            cond.meta(m * song.bar - now, 0x59, key_sig_data(song.key_change[1], song.key_change[2]))
            now = m * song.bar
    cond.meta(song.bars * song.bar - now, 0x01, "End of song")
    cond.end(0)
    tracks.append(cond)

    channel = 0
    for idx, (role, program, label) in enumerate(song.parts):
        if role == "drums":
            ch = DRUM_CHANNEL
        else:
            if channel == DRUM_CHANNEL:
                channel += 1
            ch = channel
            channel += 1
        t = Track()
        t.meta(0, 0x03, label)
        t.meta(0, 0x04, label.split()[0])
        if ch != DRUM_CHANNEL:
            t.program(0, ch, program)
        t.control(0, ch, 7, rng.int(85, 115))
        t.control(0, ch, 10, rng.choice([24, 40, 64, 88, 104]))
        t.control(0, ch, 91, rng.int(20, 60))
        nl = NoteList(ch)
        PARTS[role](song, nl)
        off_style = "zero" if idx % 2 == 0 else "off"
        now = nl.write(t, off_style, rng)
        t.end(max(0, song.bars * song.bar - now))
        tracks.append(t)
    path = os.path.join(outdir, song.name + ".mid")
    write_file(path, smf(1, song.division, tracks))
    return path


SONGS = [
    Song("song1_pop", 11, 480, 4, 4, 118, 1, False, 88,
         [("drums", 0, "Drums"), ("bass", 33, "Bass finger"), ("chords", 0, "Piano"),
          ("pad", 48, "Strings"), ("melody", 73, "Flute lead"), ("counter", 26, "Guitar jazz"),
          ("arp", 4, "EPiano arpeggio")],
         [0, 4, 5, 3], "Pop in G",
         lyrics=["Sing ", "a ", "song ", "of ", "bars ", "and ", "beats\r"]),
    Song("song2_waltz", 22, 192, 3, 4, 152, -1, False, 96,
         [("drums", 0, "Drums"), ("bass", 32, "Bass acoustic"), ("comp", 21, "Accordion"),
          ("chords", 24, "Guitar nylon"), ("pad", 49, "Strings slow"), ("melody", 40, "Violin"),
          ("counter", 71, "Clarinet"), ("high", 72, "Piccolo"), ("stabs", 56, "Trumpet")],
         [0, 3, 4, 0, 1, 4, 0, 0], "Waltz in F"),
    Song("song3_ballad_12-8", 33, 96, 12, 8, 56, 1, True, 40,
         [("drums", 0, "Drums"), ("bass", 35, "Bass fretless"), ("chords", 1, "Piano bright"),
          ("pad", 89, "Pad warm"), ("pad_low", 42, "Cello"), ("melody", 65, "Alto sax"),
          ("arp", 46, "Harp")],
         [0, 5, 3, 4], "Ballad in E minor",
         lyrics=["Slow", "ly ", "the ", "night ", "goes ", "by\r"]),
    Song("song4_fusion_5-4", 44, 960, 5, 4, 138, -5, True, 64,
         [("drums", 0, "Drums"), ("bass", 38, "Synth bass"), ("comp", 4, "EPiano"),
          ("chords", 16, "Organ"), ("pad", 50, "Synth strings"), ("melody", 81, "Saw lead"),
          ("counter", 66, "Tenor sax"), ("high", 11, "Vibraphone"), ("arp", 88, "New age pad"),
          ("stabs", 61, "Brass section"), ("stabs", 57, "Trombone")],
         [0, 5, 2, 6, 3, 4], "Fusion in Bb minor, 5/4"),
    Song("song5_orchestral", 55, 120, 4, 4, 100, 2, False, 64,
         [("drums", 0, "Percussion"), ("bass", 43, "Contrabass"), ("pad_low", 42, "Cellos"),
          ("pad", 48, "Strings ensemble"), ("chords", 46, "Harp chords"), ("melody", 40, "Violins I"),
          ("counter", 41, "Violas"), ("high", 72, "Piccolo"), ("counter", 68, "Oboe"),
          ("high", 73, "Flutes"), ("stabs", 60, "French horns"), ("stabs", 57, "Trombones"),
          ("pad_low", 70, "Bassoon"), ("arp", 8, "Celesta"), ("comp", 19, "Church organ")],
         [0, 3, 4, 0, 5, 1, 4, 4], "Orchestral piece in D",
         key_change=(40, 3, False)),
]


# --------------------------------------------------------------------------
# Reading back and checking


def parse_smf(data):
    """Returns (format, division, tracks) with tracks as lists of
    (delta, status, data_bytes) for channel events and (delta, 0xFF, type, payload)
    for meta events.  Raises ValueError on anything malformed."""
    if data[:4] != b"MThd" or int.from_bytes(data[4:8], "big") != 6:
        raise ValueError("bad header")
    fmt = int.from_bytes(data[8:10], "big")
    ntrk = int.from_bytes(data[10:12], "big")
    div = int.from_bytes(data[12:14], "big")
    pos = 14
    tracks = []
    for _ in range(ntrk):
        if data[pos:pos + 4] != b"MTrk":
            raise ValueError("bad track chunk at %d" % pos)
        ln = int.from_bytes(data[pos + 4:pos + 8], "big")
        p = pos + 8
        end = p + ln
        pos = end
        evs = []
        running = None
        while p < end:
            d = 0
            while True:
                c = data[p]
                p += 1
                d = (d << 7) | (c & 0x7F)
                if not c & 0x80:
                    break
            st = data[p]
            if st == 0xFF:
                kind = data[p + 1]
                p += 2
                n = 0
                while True:
                    c = data[p]
                    p += 1
                    n = (n << 7) | (c & 0x7F)
                    if not c & 0x80:
                        break
                evs.append((d, 0xFF, kind, data[p:p + n]))
                p += n
                running = None
                continue
            if st in (0xF0, 0xF7):
                raise ValueError("sysex not expected")
            if st & 0x80:
                running = st
                p += 1
            elif running is None:
                raise ValueError("running status without status")
            n = 1 if (running & 0xF0) in (0xC0, 0xD0) else 2
            evs.append((d, running, bytes(data[p:p + n])))
            p += n
        if p != end:
            raise ValueError("track overruns its chunk")
        tracks.append(evs)
    if pos != len(data):
        raise ValueError("trailing bytes")
    return fmt, div, tracks


def check_limits(path):
    with open(path, "rb") as f:
        data = f.read()
    fmt, div, tracks = parse_smf(data)
    problems = []
    by_delta, by_vel, by_key, by_drum = {}, {}, {}, {}
    deltas = set()
    prog_changes = 0
    programs, drum_keys = set(), set()
    tempos = 0
    seconds = 0.0
    tempo_us = 500000
    events = 0
    max_ticks = 0
    if len(tracks) > MAX_TRACKS:
        problems.append("%d tracks" % len(tracks))
    for ti, evs in enumerate(tracks):
        events += len(evs)
        if len(evs) > MAX_EVENTS_PER_TRACK:
            problems.append("track %d has %d events" % (ti + 1, len(evs)))
        if not evs or evs[-1][1] != 0xFF or evs[-1][2] != 0x2F:
            problems.append("track %d does not end with FF 2F 00" % (ti + 1))
        ticks = 0
        seen_note = False
        for e in evs:
            d = e[0]
            ticks += d
            deltas.add(d)
            st = e[1]
            if st == 0xFF:
                if e[2] == 0x51:
                    tempos += 1
                    tempo_us = int.from_bytes(e[3], "big")
                    if ti != 0 or seen_note:
                        problems.append("Set Tempo not in track 1 before the notes")
                continue
            kind, ch = st & 0xF0, st & 0x0F
            if kind in (0x80, 0x90):
                seen_note = True
                key, vel = e[2][0], e[2][1]
                by_delta[d] = by_delta.get(d, 0) + 1
                by_vel[vel] = by_vel.get(vel, 0) + 1
                if ch == DRUM_CHANNEL:
                    by_drum[key] = by_drum.get(key, 0) + 1
                    if kind == 0x90 and vel:
                        drum_keys.add(key)
                else:
                    by_key[key] = by_key.get(key, 0) + 1
            elif kind == 0xC0 and ch != DRUM_CHANNEL:
                prog_changes += 1
                programs.add(e[2][0])
        if ticks >= 1 << 31:
            problems.append("track %d is %d ticks long" % (ti + 1, ticks))
        max_ticks = max(max_ticks, ticks)
    seconds = max_ticks / float(div) * tempo_us / 1e6
    top = lambda m: max(m.values()) if m else 0
    for label, m in (("delta", by_delta), ("velocity", by_vel),
                     ("melodic key", by_key), ("drum key", by_drum)):
        if top(m) > MAX_NOTES_PER_VALUE:
            problems.append("%d note events share one %s" % (top(m), label))
    if len(deltas) > MAX_DISTINCT_DELTAS:
        problems.append("%d distinct deltas" % len(deltas))
    if prog_changes > MAX_MELODIC_PROGRAM_CHANGES:
        problems.append("%d melodic program changes" % prog_changes)
    if len(programs) + len(drum_keys) > MAX_INSTRUMENTS:
        problems.append("%d instruments" % (len(programs) + len(drum_keys)))
    if tempos != 1:
        problems.append("%d Set Tempo events" % tempos)
    if seconds >= MAX_SONG_SECONDS:
        problems.append("song lasts %.0f s" % seconds)
    sys.stderr.write(
        "%-22s %8d bytes fmt %d div %4d tracks %2d events %6d (max/track %5d) "
        "%5.0f s; most per delta %d, velocity %d, key %d, drum key %d; "
        "deltas %d, prog changes %d, instruments %d\n" % (
            os.path.basename(path), len(data), fmt, div, len(tracks), events,
            max(len(t) for t in tracks), seconds, top(by_delta), top(by_vel),
            top(by_key), top(by_drum), len(deltas), prog_changes,
            len(programs) + len(drum_keys)))
    for p in problems:
        sys.stderr.write("  LIMIT EXCEEDED: %s\n" % p)
    return len(data), len(tracks), events, problems


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_songs.py OUTDIR\n")
        return 2
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    paths = [make_big(outdir), make_one_mib(outdir)]
    for song in SONGS:
        paths.append(make_song(outdir, song))
    bad = False
    for p in paths:
        size, ntrk, events, problems = check_limits(p)
        bad = bad or bool(problems)
        name = os.path.splitext(os.path.basename(p))[0]
        sys.stdout.write("%s\t%s\t%d\t%d\t%d\n" % (name, p, size, ntrk, events))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
