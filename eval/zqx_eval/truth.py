"""Ground truth of an item, derived from what was written: tempo, key, chord spans, the notes, and the
pitch classes sounding in every analysis block.

Block truth: a 12-vector per block, each note adding (velocity / 127)^2 times the fraction of the
block it sounds in (note-on to note-off; drums excluded). A class is "sounding" in a block when its
weight is at least SOUNDING_SHARE of the block's largest.
"""

import csv
import json
import os

import numpy as np

from .pitch import PITCH_CLASSES

BLOCK_SAMPLES = 4096
SOUNDING_SHARE = 0.1


def note_table(piece, duration):
    """Notes as arrays (onset s, offset s, MIDI pitch, velocity, program), drums left out, cut at duration."""
    rows = [(piece.seconds(n.on), min(piece.seconds(n.off), duration), n.pitch, n.velocity, n.program)
            for n in piece.notes if n.program is not None and piece.seconds(n.on) < duration]
    arr = np.array(rows, dtype=float).reshape(-1, 5)
    return arr


def block_weights(notes, starts, length):
    """(len(starts), 12) weights of the pitch classes sounding in [start, start + length) per block.

    notes: array with columns onset, offset, pitch, velocity (further columns ignored)."""
    starts = np.asarray(starts, dtype=float)
    out = np.zeros((len(starts), 12))
    if len(notes) == 0 or len(starts) == 0:
        return out
    on, off, pitch, vel = notes[:, 0], notes[:, 1], notes[:, 2].astype(int), notes[:, 3]
    ends = starts + length
    overlap = np.minimum(off[None, :], ends[:, None]) - np.maximum(on[None, :], starts[:, None])
    overlap = np.clip(overlap, 0.0, None) / length
    contrib = overlap * (vel / 127.0) ** 2
    for pc in range(12):
        out[:, pc] = contrib[:, pitch % 12 == pc].sum(axis=1)
    return out


def sounding(weights):
    """Boolean (blocks, 12): the classes at least SOUNDING_SHARE of each block's strongest."""
    peak = weights.max(axis=1, keepdims=True)
    return (weights > 0) & (weights >= SOUNDING_SHARE * peak)


def block_starts(duration, rate, block=BLOCK_SAMPLES):
    n = int(np.ceil(duration * rate / block))
    return np.arange(n) * block / rate


def write_item_truth(folder, item, info, notes=None, chords=None):
    """Writes NAME.truth.json, NAME.chords.lab, NAME.notes.csv and NAME.blocks.csv; returns the json dict."""
    name = item.name
    lab_path = os.path.join(folder, name + ".chords.lab")
    with open(lab_path, "w") as f:
        if chords:
            for start, end, label in chords:
                f.write(f"{start:.6f}\t{end:.6f}\t{label}\n")
        else:
            f.write(f"0.000000\t{item.duration:.6f}\tN\n")
    notes = np.zeros((0, 5)) if notes is None else notes
    with open(os.path.join(folder, name + ".notes.csv"), "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["onset", "offset", "pitch", "velocity", "program"])
        for row in notes:
            w.writerow([f"{row[0]:.6f}", f"{row[1]:.6f}", int(row[2]), int(row[3]), int(row[4])])
    starts = block_starts(item.duration, item.rate)
    length = BLOCK_SAMPLES / item.rate
    weights = block_weights(notes, starts, length)
    on = sounding(weights)
    with open(os.path.join(folder, name + ".blocks.csv"), "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["block", "start", "end"] + list(PITCH_CLASSES) + ["sounding"])
        for i, (s, row, flags) in enumerate(zip(starts, weights, on)):
            w.writerow([i, f"{s:.6f}", f"{s + length:.6f}"] + [f"{v:.6f}" for v in row]
                       + [" ".join(PITCH_CLASSES[k] for k in range(12) if flags[k])])
    truth = dict(info, name=name, kind=item.kind, rate=item.rate, channels=item.channels,
                 duration=item.duration, gain_db=item.gain_db, block_samples=BLOCK_SAMPLES,
                 files={"audio": name + ".wav", "chords": name + ".chords.lab", "notes": name + ".notes.csv",
                        "blocks": name + ".blocks.csv"})
    with open(os.path.join(folder, name + ".truth.json"), "w") as f:
        json.dump(truth, f, indent=1, sort_keys=True)
    return truth


def read_lab(path):
    """(intervals (n, 2), labels) of a .lab file."""
    intervals, labels = [], []
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 3:
                intervals.append((float(parts[0]), float(parts[1])))
                labels.append(parts[2])
    return np.array(intervals, dtype=float).reshape(-1, 2), labels


def read_notes(path):
    rows = []
    with open(path) as f:
        r = csv.reader(f)
        next(r)
        for row in r:
            rows.append([float(v) for v in row])
    return np.array(rows, dtype=float).reshape(-1, 5)
