"""The evaluation set's ground truth is consistent with the notes written, and the scorers give full
marks to a perfect answer and less to a wrong one."""

import os
import sys

import numpy as np
import pytest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from zqx_eval import catalogue, composer, metrics, render, systems, truth  # noqa: E402
from zqx_eval.pitch import DEGREES, TRIAD, pitch_class_index  # noqa: E402

ITEMS = {i.name: i for i in catalogue.all_items()}
MUSIC = [i for i in catalogue.all_items() if isinstance(i, catalogue.MusicItem)]


def test_catalogue_covers_what_the_set_promises():
    tonics = {(pitch_class_index(i.tonic), i.mode) for i in MUSIC if i.kind == "music"}
    assert {pc for pc, m in tonics if m == "major"} == set(range(12))
    assert {pc for pc, m in tonics if m == "minor"} == set(range(12))
    assert {i.meter for i in MUSIC} == {"4/4", "3/4", "6/8"}
    assert any(i.swing for i in MUSIC)
    assert min(i.bpm for i in MUSIC) <= 50 and max(i.bpm for i in MUSIC) >= 220
    assert {i.rate for i in catalogue.all_items()} == {22050, 44100, 48000}
    assert {i.kind for i in catalogue.all_items()} >= set(catalogue.HARD_KINDS) | set(catalogue.NON_MUSIC_KINDS)
    assert len(ITEMS) == len(catalogue.all_items()), "item names must be unique"


@pytest.mark.parametrize("name", ["m03_g_major_60_six_eight", "m05_f_major_72_swing", "h01_bass_e_minor_96",
                                  "h03_clarinet_d_minor_84", "m27_d_minor_184_waltz"])
def test_truth_follows_from_the_notes(name):
    item = ITEMS[name]
    piece = composer.compose(item, seed=17)
    assert piece.beat_bpm(item.meter) == pytest.approx(item.bpm, rel=1e-5)
    # Every chord span carries the progression's chord, and the accompaniment plays only its tones.
    for k, span in enumerate(piece.chords):
        offset, quality = DEGREES[item.mode][item.progression[k % len(item.progression)]]
        root = (pitch_class_index(item.tonic) + offset) % 12
        assert span.label == truth.PITCH_CLASSES[root] + ":" + quality
        tones = {(root + i) % 12 for i in TRIAD[quality]}
        played = {n.pitch % 12 for n in piece.notes if span.on <= n.on < span.off
                  and n.channel in (composer.CHORD_CHANNEL, composer.BASS_CHANNEL)}
        assert played <= tones
        if item.melody_style == "arpeggio":
            assert {n.pitch % 12 for n in piece.notes if span.on <= n.on < span.off} == tones
    # Block weights integrate to the notes' weighted durations.
    notes = truth.note_table(piece, item.duration)
    starts = truth.block_starts(item.duration, item.rate)
    length = truth.BLOCK_SAMPLES / item.rate
    w = truth.block_weights(notes, starts, length)
    expected = np.sum((np.minimum(notes[:, 1], starts[-1] + length) - notes[:, 0]) * (notes[:, 3] / 127.0) ** 2)
    assert w.sum() * length == pytest.approx(expected, rel=1e-9)
    if item.kind == "bass_under_chords":
        assert notes[:, 2].min() == 28


def test_midi_file_plays_the_composed_notes(tmp_path):
    mido = pytest.importorskip("mido")
    item = ITEMS["h08_flat30_as_major_90"]
    piece = composer.compose(item, seed=17)
    path = str(tmp_path / "x.mid")
    render.write_midi(piece, item, path)
    mid = mido.MidiFile(path)
    msgs = list(mid.tracks[0])
    assert sum(m.type == "note_on" for m in msgs) == len(piece.notes)
    assert [m.tempo for m in msgs if m.type == "set_tempo"] == [piece.tempo_us]
    bends = {m.pitch for m in msgs if m.type == "pitchwheel"}
    assert bends == {round(-30 / 200 * 8192)}


@pytest.mark.parametrize("estimate, reference, hits", [
    (120.0, 120.0, (True, True)), (124.7, 120.0, (True, True)), (125.1, 120.0, (False, False)),
    (240.0, 120.0, (False, True)), (60.0, 120.0, (False, True)), (360.0, 120.0, (False, True)),
    (40.0, 120.0, (False, True)), (180.0, 120.0, (False, False)), (90.0, 120.0, (False, False)),
    (None, 120.0, (None, None)), (0.0, 120.0, (None, None)),
])
def test_tempo_hits(estimate, reference, hits):
    assert metrics.tempo_hits(estimate, reference) == hits


@pytest.mark.parametrize("estimate, score", [("A minor", 1.0), ("E minor", 0.5), ("C major", 0.3),
                                             ("A major", 0.2), ("F# major", 0.0), (None, None)])
def test_key_score(estimate, score):
    assert metrics.key_score(estimate, "A minor") == score


def test_chord_overlap_full_for_the_truth_and_partial_otherwise():
    ref_int = np.array([[0.0, 2.0], [2.0, 4.0], [4.0, 6.0]])
    ref_lab = ["C:maj", "A:min", "N"]
    assert metrics.chord_overlap(ref_int, ref_lab, ref_int, ref_lab) == (6.0, 6.0)
    # C:maj right for 1 s, then A:maj (wrong over C:maj and A:min); the estimate ends at 4 s and is padded
    # with N, which is right over the N span.
    correct, total = metrics.chord_overlap(ref_int, ref_lab, np.array([[0.0, 1.0], [1.0, 4.0]]),
                                           ["C:maj", "A:maj"])
    assert (correct, total) == (1.0 + 2.0, 6.0)


def test_chroma_scores_full_for_the_truth_and_lower_when_rotated():
    item = ITEMS["m17_c_minor_120"]
    piece = composer.compose(item, seed=17)
    notes = truth.note_table(piece, item.duration)
    starts = truth.block_starts(item.duration, item.rate)
    length = truth.BLOCK_SAMPLES / item.rate
    perfect = truth.block_weights(notes, starts, length)
    s = metrics.chroma_scores(perfect, starts, length, notes, item.duration)
    assert s["top1"] == s["blocks"] and s["top3"] == pytest.approx(s["blocks"])
    assert s["cos_sum"] == pytest.approx(s["blocks"]) and s["file_cos"] == pytest.approx(1.0)
    rotated = metrics.chroma_scores(np.roll(perfect, 6, axis=1), starts, length, notes, item.duration)
    assert rotated["top1"] < 0.5 * s["blocks"] and rotated["file_cos"] < 0.9
    silent = metrics.chroma_scores(np.zeros_like(perfect), starts, length, notes, item.duration)
    assert silent["top1"] == 0 and silent["top3"] == 0 and silent["cos_sum"] == 0


@pytest.mark.parametrize("vector, spread", [(np.ones((5, 12)), 0.0),
                                            (np.tile([1.1] * 6 + [0.9] * 6, (3, 1)), 0.1),
                                            (np.zeros((4, 12)), None)])
def test_class_spread(vector, spread):
    result = metrics.class_spread(vector)
    assert result == (None if spread is None else pytest.approx(spread))


@pytest.mark.parametrize("label, harte", [("C", "C:maj"), ("Am", "A:min"), ("C#m", "C#:min"), ("Bb", "Bb:maj"),
                                          ("Xyz", "X")])
def test_essentia_chord_labels(label, harte):
    assert systems.essentia_chord_label(label) == harte
