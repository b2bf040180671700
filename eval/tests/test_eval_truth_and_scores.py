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
    assert {i.kind for i in catalogue.all_items()} >= \
        set(catalogue.HARD_KINDS) | set(catalogue.NON_MUSIC_KINDS) | {catalogue.RUBATO_KIND}
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


@pytest.mark.parametrize("name, key, has_chords", [("d01_drums_break_97", None, False),
                                                   ("m10_cs_minor_92", "C# minor", True),
                                                   ("m07_as_major_80_waltz", "A# major", True)])
def test_music_truth_key_and_chords(name, key, has_chords):
    import generate_set
    item = ITEMS[name]
    info, spans, notes = generate_set.music_truth(item, composer.compose(item, seed=17))
    assert info["key"] == key and info["tempo_bpm"] == pytest.approx(item.bpm, rel=1e-5)
    assert (spans is not None) == has_chords and (len(notes) > 0) == has_chords
    if spans:
        assert spans[0][0] == 0.0 and spans[-1][1] == item.duration
        assert all(a[1] == pytest.approx(b[0]) for a, b in zip(spans, spans[1:]))


def _write_wav(path, signal, rate):
    import wave
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes((np.clip(signal, -1, 1 - 2 ** -15) * 32768).astype("<i2").tobytes())


@pytest.mark.parametrize("rate", [22050, 44100, 48000])
def test_stft_reference_chroma_finds_a_triad(tmp_path, rate):
    t = np.arange(3 * rate) / rate
    # A minor triad from A3: A, C, E.
    midi = (57, 60, 64)
    x = sum(0.2 * np.sin(2 * np.pi * 440.0 * 2 ** ((m - 69) / 12) * t) for m in midi)
    _write_wav(tmp_path / "triad.wav", x, rate)
    c = systems.stft_chroma(str(tmp_path / "triad.wav"))
    assert c["length"] == pytest.approx(4096 / rate) and len(c["starts"]) == int(np.ceil(3 * rate / 4096))
    top3 = set(np.argsort(-c["values"][1])[:3])
    assert top3 == {9, 0, 4}


def _perfect_answers(item):
    """Truth of a composed item and a zqx result that agrees with it everywhere, in the shapes the
    readers produce (summary as zqx extract writes it, chroma halves on 4096-sample blocks)."""
    import generate_set
    piece = composer.compose(item, seed=17)
    info, spans, notes = generate_set.music_truth(item, piece)
    ref_int = np.array([[s, e] for s, e, _ in spans])
    ref_lab = [l for _, _, l in spans]
    t = dict(info, name=item.name, kind=item.kind, rate=item.rate, duration=item.duration, lab=(ref_int, ref_lab),
             notes=notes)
    tonic, mode = info["key"].split()
    starts = truth.block_starts(item.duration, item.rate)
    length = truth.BLOCK_SAMPLES / item.rate
    weights = truth.block_weights(notes, starts, length)
    summary = {"tempo": {"bpm": info["tempo_bpm"], "confidence": 0.9, "candidates": [], "steady": True},
               "key": {"tonic": tonic, "mode": mode, "name": info["key"], "confidence": 0.8},
               "chords": [{"start": s, "end": e, "label": l} for s, e, l in spans],
               "loudness": {"integrated_lufs": -14.2, "range_lu": 3.0, "sample_peak_dbfs": -1.0},
               "dynamic_range": 1.5}
    z = {"summary": summary, "baseline_bpm": info["tempo_bpm"] * 2, "dynamic_range": 1.5,
         "chroma": {"starts": starts, "length": length, "peak": weights, "mean": np.roll(weights, 1, axis=1)}}
    res = {"zqx_fft": z, "zqx_mrfft": z, "aubio": None, "essentia": None, "stft": None,
           "ffmpeg": {"integrated_lufs": -14.25, "range_lu": 3.2, "sample_peak_dbfs": -1.0}}
    return t, res


def test_score_table_gives_full_marks_to_a_perfect_answer():
    import score
    tallies = {}
    for name in ("m17_c_minor_120", "m09_ds_major_88_six_eight"):
        t, res = _perfect_answers(ITEMS[name])
        score.score_item(t, res, tallies)
    cells = tallies[("zqx", "music")].cells()
    assert {c: cells[c] for c in ("tempo", "tempo_x", "steady", "key", "chords", "lufs")} == \
        {"tempo": 1.0, "tempo_x": 1.0, "steady": 1.0, "key": 1.0, "chords": 1.0, "lufs": 1.0}
    assert cells["lra"] == 0.0                                 # 0.2 LU off
    baseline = tallies[("zqx_baseline", "music")].cells()
    assert (baseline["tempo"], baseline["tempo_x"]) == (0.0, 1.0)   # double tempo
    peak = tallies[("fft_peak", "music")].cells()
    assert peak["top1"] == 1.0 and peak["top3"] == pytest.approx(1.0) and peak["block_cos"] == pytest.approx(1.0)
    assert tallies[("fft_mean", "music")].cells()["block_cos"] < 0.8   # one class off
    assert tallies[("aubio", "music")].cells()["tempo"] is None        # no answer: n/a, not 0


def test_zqx_reader_reads_what_extract_writes(tmp_path):
    import json
    lags = list(range(30, 100))
    with open(tmp_path / "x.rhythm.csv", "w") as f:
        f.write("time," + ",".join(f"lag_{l}" for l in lags) + "\n")
        # Peak at lag 48 (125 BPM) in the sum, though lag 60 wins the first group.
        f.write("0," + ",".join("5" if l == 60 else "3" if l == 48 else "0" for l in lags) + "\n")
        f.write("4," + ",".join("4" if l == 48 else "0" for l in lags) + "\n")
    classes = truth.PITCH_CLASSES
    with open(tmp_path / "x.chroma.csv", "w") as f:
        f.write("time," + ",".join("peak_" + c for c in classes) + "," + ",".join("mean_" + c for c in classes) + "\n")
        f.write("0," + ",".join(["1"] * 24) + "\n0.1," + ",".join(["2"] * 24) + "\n")
    with open(tmp_path / "x.dynamics.csv", "w") as f:
        f.write("time,dynamic_range\n0,1.25\n")
    doc = {"analysisSampleRate": 40960, "features": {"chroma": {"blockLength": 4096}},
           "summary": {"tempo": {"bpm": 125.0, "steady": False}, "key": {"tonic": "A", "mode": "minor"}}}
    (tmp_path / "x.json").write_text(json.dumps(doc))
    z = systems.read_zqx(str(tmp_path), "x")
    assert z["baseline_bpm"] == 125.0 and z["dynamic_range"] == 1.25
    assert z["chroma"]["length"] == 0.1 and z["chroma"]["peak"].shape == (2, 12)
    assert z["chroma"]["mean"][1, 0] == 2.0
    assert systems.summary_tempo(z["summary"]) == (125.0, False)
    assert systems.summary_key(z["summary"]) == "A minor"
    assert systems.summary_chords(z["summary"]) is None and systems.summary_loudness(None) == (None, None)
    assert systems.read_zqx(str(tmp_path), "missing")["summary"] is None


def test_peer_cache_runs_only_new_or_changed_items(tmp_path):
    import score
    calls = []

    def fn(wav):
        calls.append(wav)
        return len(calls)

    path = str(tmp_path / "cache.json")
    first = score.cached_per_file(path, {"a": "d1", "b": "d2"}, ["a.wav", "b.wav"], fn, jobs=1)
    assert first == {"a": 1, "b": 2}
    again = score.cached_per_file(path, {"a": "d1", "b": "d3", "c": "d4"}, ["a.wav", "b.wav", "c.wav"], fn, jobs=1)
    assert calls == ["a.wav", "b.wav", "b.wav", "c.wav"] and again == {"a": 1, "b": 3, "c": 4}


def test_essentia_reader_places_chords_and_tolerates_failed_algorithms(tmp_path):
    import json
    doc = {"rate": 4096, "frame": 4096, "hop": 2048, "errors": ["percival: exception in Essentia"],
           "rhythm_extractor_2013": {"bpm": 120.0, "confidence": 1.2}, "percival": None,
           "key": {"key": "Bb", "scale": "minor", "strength": 0.5}, "loudness": None,
           "hpcp_blocks": {"block": 4096, "values": [[1] + [0] * 11, [0, 1] + [0] * 10]},
           "chords": {"hop": 2048, "labels": ["C", "Am", "F#m"]}}
    (tmp_path / "x.essentia.json").write_text(json.dumps(doc))
    e = systems.read_essentia(str(tmp_path), "x")
    assert (e["bpm"], e["steady"], e["percival_bpm"], e["key"]) == (120.0, False, None, "Bb minor")
    intervals, labels = e["chords"]
    # Frame i speaks for the hop around its centre: [0.5 i + 0.25, 0.5 i + 0.75) s here, the first from 0.
    assert labels == ["C:maj", "A:min", "F#:min"]
    assert intervals.tolist() == [[0.0, 0.75], [0.75, 1.25], [1.25, 1.75]]
    assert e["hpcp"]["starts"].tolist() == [0.0, 1.0] and e["hpcp"]["length"] == 1.0
    assert systems.read_essentia(str(tmp_path), "missing") is None


@pytest.mark.parametrize("quiet, full, ok", [(1.0, 1.0, 1.0), (1.0099, 1.0, 1.0), (1.02, 1.0, 0.0),
                                             (None, 1.0, None)])
def test_dynamic_range_across_gain_variants(quiet, full, ok):
    import score
    rows = [{"name": "a", "zqx_dynamic_range": full, "zqx_baseline_dynamic_range": full},
            {"name": "a_quiet", "zqx_dynamic_range": quiet, "zqx_baseline_dynamic_range": quiet}]
    truths = [{"name": "a", "kind": "music"}, {"name": "a_quiet", "kind": "music", "variant_of": "a"}]
    tallies = {}
    score.score_gain_variants(rows, truths, tallies)
    assert tallies[("zqx", "music")].cells()["dyn_gain"] == ok


def test_swing_moves_off_beat_eighths_to_two_thirds():
    item = ITEMS["m05_f_major_72_swing"]
    piece = composer.compose(item, seed=17)
    hats = sorted({n.on % composer.TICKS_PER_QUARTER for n in piece.notes if n.pitch == composer.CLOSED_HAT
                   and n.channel == composer.DRUM_CHANNEL})
    assert hats == [0, 320]
    straight = composer.compose(ITEMS["m11_a_major_96"], seed=17)
    assert sorted({n.on % 480 for n in straight.notes if n.channel == composer.DRUM_CHANNEL}) == [0, 240]


def test_rubato_has_no_single_tempo_but_keeps_its_chords():
    import generate_set
    item = ITEMS["r01_rubato_piano_c_minor"]
    piece = composer.compose(item, seed=17)
    bpms = [60e6 / us for _, us in piece.tempo_map]
    assert max(bpms) / min(bpms) > 1.5
    # Seconds follow the tempo map: each beat lasts as long as its own tempo says.
    (t0, us0), (t1, _) = piece.tempo_map[:2]
    assert piece.seconds(t1) - piece.seconds(t0) == pytest.approx(us0 / 1e6)
    info, spans, notes = generate_set.music_truth(item, piece)
    assert info["tempo_bpm"] is None and info["key"] == "C minor"
    assert spans[-1][1] == item.duration and notes[:, 1].max() <= item.duration
