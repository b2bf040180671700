"""Turns a MusicItem into notes on a tick grid: chords, bass, melody and drums, with the chord of
every span known. Deterministic for a given item and seed.

Times are MIDI ticks at TICKS_PER_QUARTER; one tempo for the whole piece, so seconds follow exactly
from the tempo in microseconds per quarter that the MIDI file stores.
"""

import bisect
import math
import random
from dataclasses import dataclass, field
from typing import List, Optional, Tuple

from .pitch import DEGREES, SCALE, TRIAD, harte_label, pitch_class_index

TICKS_PER_QUARTER = 480
DRUM_CHANNEL = 9                     # GM channel 10
CHORD_CHANNEL, BASS_CHANNEL, MELODY_CHANNEL = 0, 1, 2
KICK, SNARE, CLOSED_HAT = 36, 38, 42

# Quarters per bar and per beat for each meter; 6/8 counts dotted-quarter beats.
_METER = {"4/4": (4.0, 1.0), "3/4": (3.0, 1.0), "6/8": (3.0, 1.5)}


@dataclass(frozen=True)
class Note:
    on: int
    off: int
    channel: int
    pitch: int
    velocity: int
    program: Optional[int]           # None on the drum channel


@dataclass(frozen=True)
class ChordSpan:
    on: int
    off: int
    label: str                       # Harte label, e.g. "A:min"
    root: int                        # pitch class
    quality: str


@dataclass
class Piece:
    notes: List[Note]
    chords: List[ChordSpan]
    tempo_us: int                    # microseconds per quarter note at the start
    end_tick: int
    # (tick, microseconds per quarter) from that tick on; one entry at tick 0 for a steady tempo.
    tempo_map: List[Tuple[int, int]] = field(default_factory=list)

    def __post_init__(self):
        if not self.tempo_map:
            self.tempo_map = [(0, self.tempo_us)]
        self._starts = [t for t, _ in self.tempo_map]
        self._seconds = [0.0]
        for (t0, us), (t1, _) in zip(self.tempo_map, self.tempo_map[1:]):
            self._seconds.append(self._seconds[-1] + (t1 - t0) * us / (TICKS_PER_QUARTER * 1e6))

    def seconds(self, tick):
        i = bisect.bisect_right(self._starts, tick) - 1
        t0, us = self.tempo_map[i]
        return self._seconds[i] + (tick - t0) * us / (TICKS_PER_QUARTER * 1e6)

    def beat_bpm(self, meter):
        """Beats per minute of the meter's beat, as the MIDI file really plays it; None when the
        tempo changes (rubato)."""
        if len(self.tempo_map) > 1:
            return None
        quarter_bpm = 60e6 / self.tempo_us
        return quarter_bpm / _METER[meter][1]


def _ticks(quarters):
    return int(round(quarters * TICKS_PER_QUARTER))


def _nearest(pc, target):
    """The MIDI pitch of class pc closest to target."""
    base = target - ((target - pc) % 12)
    return base if target - base <= 6 else base + 12


def _voicing(root, quality, low=57):
    """Close triad: each chord tone once in [low, low + 12)."""
    return sorted(low + ((root + i - low) % 12) for i in TRIAD[quality])


def _lowest_at_least(pc, low):
    return low + ((pc - low) % 12)


class _Composer:
    def __init__(self, item, seed):
        self.item = item
        # A gain variant plays the very same notes as the item it is a variant of.
        self.rng = random.Random(f"{seed}:{item.variant_of or item.name}")
        self.tonic = pitch_class_index(item.tonic)
        self.bar_q, self.beat_q = _METER[item.meter]
        quarter_bpm = item.bpm * self.beat_q
        self.tempo_us = int(round(60e6 / quarter_bpm))
        self.notes = []
        seconds_per_bar = self.bar_q * self.tempo_us / 1e6
        # Chord spans of at least ~1.5 s, so that every chord covers several analysis blocks.
        self.bars_per_chord = 2 if seconds_per_bar < 1.5 else 1
        self.span_q = self.bar_q * self.bars_per_chord
        # Rubato plays up to 1 + depth times faster than the base tempo, so more bars may be needed.
        fastest = 1.0 + item.rubato
        self.spans = math.ceil((item.duration + 0.5) * fastest / (seconds_per_bar * self.bars_per_chord))

    def swing_offset(self, position_q):
        """Swung eighths: the off-beat eighth of each quarter moves from 1/2 to 2/3."""
        if not self.item.swing:
            return position_q
        whole = math.floor(position_q + 1e-9)
        frac = position_q - whole
        if abs(frac - 0.5) < 1e-9:
            return whole + 2.0 / 3.0
        return position_q

    def add(self, start_q, length_q, channel, pitch, velocity, program):
        on = _ticks(self.swing_offset(start_q))
        off = _ticks(self.swing_offset(start_q + length_q)) if length_q > 0 else on
        off = max(off, on + 1)
        self.notes.append(Note(on, off, channel, pitch, velocity, program))

    def compose(self):
        item = self.item
        mode_degrees = DEGREES[item.mode]
        chords = []
        for s in range(self.spans):
            numeral = item.progression[s % len(item.progression)]
            offset, quality = mode_degrees[numeral]
            root = (self.tonic + offset) % 12
            start_q = s * self.span_q
            chords.append(ChordSpan(_ticks(start_q), _ticks(start_q + self.span_q), harte_label(root, quality),
                                    root, quality))
            if item.chord_program is not None:
                self.accompaniment(start_q, root, quality)
            if item.bass_program is not None:
                self.bass(start_q, root, quality, next_root=None)
            if item.melody_program is not None:
                self.melody(start_q, root, quality)
            if item.drums:
                self.drums(start_q)
        end_tick = _ticks(self.spans * self.span_q)
        notes = sorted(self.notes, key=lambda n: (n.on, n.channel, n.pitch))
        return Piece(_dedupe_overlaps(notes), chords, self.tempo_us, end_tick, self.tempo_map(end_tick))

    def tempo_map(self, end_tick):
        """Steady, or with rubato a new tempo every beat: a slow swell between 1/(1 + depth) and
        1 + depth times the base tempo plus a random push or pull of up to depth / 2, so that no
        periodicity holds for long."""
        depth = self.item.rubato
        if not depth:
            return [(0, self.tempo_us)]
        beat_ticks = _ticks(self.beat_q)
        phase = self.rng.uniform(0, 2 * math.pi)
        out = []
        for k, tick in enumerate(range(0, end_tick, beat_ticks)):
            swell = math.sin(phase + 2 * math.pi * k / 7.0)
            factor = (1.0 + depth) ** swell * (1.0 + self.rng.uniform(-depth / 2, depth / 2))
            out.append((tick, int(round(self.tempo_us / factor))))
        return out

    def beats(self, start_q):
        count = int(round(self.span_q / self.beat_q))
        return [start_q + i * self.beat_q for i in range(count)]

    def accompaniment(self, start_q, root, quality):
        item = self.item
        voice = _voicing(root, quality)
        if item.chord_style == "sustain":
            for p in voice:
                self.add(start_q, self.span_q - 0.05, CHORD_CHANNEL, p, 70, item.chord_program)
        elif item.chord_style == "beats":
            for b in self.beats(start_q):
                accent = 78 if abs((b - start_q) % self.bar_q) < 1e-9 else 66
                for p in voice:
                    self.add(b, self.beat_q * 0.9, CHORD_CHANNEL, p, accent, item.chord_program)
        elif item.chord_style == "arpeggio":
            pattern = voice + [voice[0] + 12, voice[2] - 12 if voice[2] - 12 >= 48 else voice[1]]
            steps = int(round(self.span_q / 0.5))
            for i in range(steps):
                p = pattern[i % len(pattern)] if i % len(pattern) else voice[0]
                self.add(start_q + 0.5 * i, 0.5, CHORD_CHANNEL, p, 72 if i % 2 == 0 else 64, item.chord_program)
        else:
            raise ValueError(f"unknown chord style {item.chord_style!r}")

    def bass(self, start_q, root, quality, next_root):
        item = self.item
        low = item.bass_low
        root_p = _lowest_at_least(root, low)
        third_p = _lowest_at_least((root + TRIAD[quality][1]) % 12, root_p)
        fifth_p = _lowest_at_least((root + 7) % 12, root_p)
        if item.bass_walk:
            line = [root_p, third_p, fifth_p, root_p + 12 if root_p + 12 <= low + 19 else third_p]
            for i, b in enumerate(self.beats(start_q)):
                self.add(b, self.beat_q * 0.95, BASS_CHANNEL, line[i % len(line)], 92, item.bass_program)
            return
        beats = self.beats(start_q)
        per_bar = int(round(self.bar_q / self.beat_q))
        for i, b in enumerate(beats):
            in_bar = i % per_bar
            if in_bar == 0:
                length = self.beat_q * (2 if per_bar >= 4 else per_bar) - 0.1
                self.add(b, length, BASS_CHANNEL, root_p, 90, item.bass_program)
            elif per_bar >= 4 and in_bar == 2:
                self.add(b, self.beat_q * 2 - 0.1, BASS_CHANNEL, fifth_p, 84, item.bass_program)

    def melody(self, start_q, root, quality):
        item = self.item
        chord_pcs = [(root + i) % 12 for i in TRIAD[quality]]
        scale_pcs = [(self.tonic + s) % 12 for s in SCALE[item.mode]]
        # Over a major V in minor the leading tone is raised already (harmonic minor scale).
        if item.melody_style == "arpeggio":
            # Solo lines outline the chord: chord tones only, so the chord of the span is unambiguous.
            tones = sorted(_nearest(pc, 67) for pc in chord_pcs)
            pattern = tones + [tones[0] + 12, tones[2], tones[1]]
            steps = int(round(self.span_q / 0.5))
            for i in range(steps):
                self.add(start_q + 0.5 * i, 0.5 if i % 4 != 3 else 0.45, MELODY_CHANNEL, pattern[i % len(pattern)],
                         96 if i % 2 == 0 else 84, item.melody_program)
            return
        if item.melody_style == "fast":
            # Sixteenth-note scale runs from a chord tone, up then down, two octaves of range.
            start_p = _nearest(chord_pcs[0], 72)
            scale_pitches = sorted(p for p in range(55, 96) if p % 12 in scale_pcs)
            idx = scale_pitches.index(start_p) if start_p in scale_pitches else len(scale_pitches) // 2
            steps = int(round(self.span_q / 0.25))
            direction = 1 if self.rng.random() < 0.5 else -1
            for i in range(steps):
                self.add(start_q + 0.25 * i, 0.25, MELODY_CHANNEL, scale_pitches[idx], 90 if i % 4 == 0 else 76,
                         item.melody_program)
                if not 4 <= idx + direction < len(scale_pitches) - 4:
                    direction = -direction
                idx += direction
            return
        # Plain: chord tones on beats, an occasional scale neighbour on the off-beat eighth.
        previous = _nearest(chord_pcs[0], 74)
        for b in self.beats(start_q):
            target = min((_nearest(pc, previous) for pc in chord_pcs), key=lambda p: (abs(p - previous), p))
            if self.rng.random() < 0.3:
                target = _nearest(chord_pcs[self.rng.randrange(3)], 74)
            target = min(max(target, 64), 86)
            if self.rng.random() < 0.4 and self.beat_q == 1.0:
                self.add(b, 0.5, MELODY_CHANNEL, target, 94, item.melody_program)
                neighbours = [p for p in range(target - 2, target + 3) if p % 12 in scale_pcs and p != target]
                self.add(b + 0.5, 0.45, MELODY_CHANNEL, self.rng.choice(neighbours), 82, item.melody_program)
            else:
                self.add(b, self.beat_q * 0.92, MELODY_CHANNEL, target, 94, item.melody_program)
            previous = target

    def drums(self, start_q):
        meter = self.item.meter
        for bar in range(self.bars_per_chord):
            bar_q = start_q + bar * self.bar_q
            eighths = int(round(self.bar_q / 0.5))
            for e in range(eighths):
                pos = bar_q + 0.5 * e
                self.add(pos, 0.1, DRUM_CHANNEL, CLOSED_HAT, 58 if e % 2 else 70, None)
            if meter == "4/4" and self.item.drum_style == "break":
                hits = [(0, KICK, 104), (1, SNARE, 94), (1.5, KICK, 90), (2.5, KICK, 96), (3, SNARE, 94),
                        (3.75, SNARE, 50)]
            elif meter == "4/4":
                hits = [(0, KICK, 104), (1, SNARE, 92), (2, KICK, 98), (3, SNARE, 92)]
            elif meter == "3/4":
                hits = [(0, KICK, 104), (1, SNARE, 80), (2, SNARE, 80)]
            else:  # 6/8: kick on the first dotted quarter, snare on the second
                hits = [(0, KICK, 104), (1.5, SNARE, 90)]
            for q, drum, vel in hits:
                self.add(bar_q + q, 0.1, DRUM_CHANNEL, drum, vel, None)


def _dedupe_overlaps(notes):
    """A pitch struck again on the same channel before its previous note-off ends that note first,
    as the synthesiser does; the truth then matches what sounds."""
    last = {}
    out = []
    for n in notes:
        key = (n.channel, n.pitch)
        if key in last:
            i = last[key]
            prev = out[i]
            if prev.off > n.on:
                out[i] = Note(prev.on, max(prev.on + 1, n.on), prev.channel, prev.pitch, prev.velocity, prev.program)
        last[key] = len(out)
        out.append(n)
    return out


def compose(item, seed):
    """The notes and chord spans of a MusicItem."""
    return _Composer(item, seed).compose()
