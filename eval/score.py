#!/usr/bin/python3
"""Scores zqx and its peers on the labelled evaluation set and prints one table.

Runs `zqx extract` (FFT and MRFFT chroma modes), `aubio tempo`, Essentia through its WASM build
(essentia_peer.js under Node) and ffmpeg's ebur128 filter (the loudness reference) on every item of
the set made by generate_set.py, then scores each against the truth: tempo within 4 % (and allowing
x2, x1/2, x3, x1/3), steady as expected (music steady, speech/silence/noise not), key (mir_eval
weighted score), chords (mir_eval majmin, duration-weighted), loudness within 0.1 LU of ffmpeg,
chroma per block (top-1, top-3, cosine) and per file, and the class spread on noise.

Per-item values go to RUN/items.csv and the table's numbers to RUN/scores.json."""

import argparse
import concurrent.futures
import csv
import hashlib
import json
import math
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import numpy as np  # noqa: E402

from zqx_eval import metrics, systems, truth  # noqa: E402
from zqx_eval.catalogue import HARD_KINDS, RUBATO_KIND  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LOUDNESS_TOLERANCE_LU = 0.1

COLUMNS = [("tempo", "tempo 4%"), ("tempo_x", "4% x2x3"), ("steady", "steady"), ("key", "key"),
           ("chords", "chords"), ("lufs", "LUFS"), ("lra", "LRA"), ("top1", "top-1"), ("top3", "top-3"),
           ("block_cos", "blk cos"), ("file_cos", "file cos"), ("spread", "spread"), ("dyn_gain", "dyn gain")]

_TEMPO = ("tempo", "tempo_x")
_CHROMA = ("top1", "top3", "block_cos", "file_cos", "spread")
# (system, label, the columns it answers)
ROWS = [("zqx", "zqx summary (FFT chroma)", _TEMPO + ("steady", "key", "chords", "lufs", "lra", "dyn_gain")),
        ("zqx_mrfft", "zqx summary (MRFFT chroma)", ("key", "chords")),
        ("zqx_baseline", "zqx baseline (lag-peak tempo, swellgrid)", _TEMPO + ("dyn_gain",)),
        ("fft_peak", "zqx chroma FFT peak", _CHROMA), ("fft_mean", "zqx chroma FFT mean", _CHROMA),
        ("mrfft_peak", "zqx chroma MRFFT peak", _CHROMA), ("mrfft_mean", "zqx chroma MRFFT mean", _CHROMA),
        ("aubio", "aubio tempo", _TEMPO),
        ("essentia", "Essentia (RE2013/Key/Chords/HPCP)", tuple(c for c, _ in COLUMNS if c != "dyn_gain")),
        ("percival", "Essentia PercivalBpmEstimator", _TEMPO),
        ("stft", "numpy STFT chroma (reference)", _CHROMA)]


def group_of(kind):
    if kind == "music":
        return ["music"]
    if kind in HARD_KINDS:
        return ["hard cases (all)", f"hard: {kind}"]
    return [kind]


def load_truths(set_dir):
    manifest_path = os.path.join(set_dir, "manifest.json")
    if not os.path.exists(manifest_path):
        sys.exit(f"score: no evaluation set in {set_dir} (run eval/generate_set.py first)")
    with open(manifest_path) as f:
        manifest = json.load(f)
    truths = []
    for name in manifest["items"]:
        with open(os.path.join(set_dir, name + ".truth.json")) as f:
            t = json.load(f)
        t["lab"] = truth.read_lab(os.path.join(set_dir, t["files"]["chords"]))
        t["notes"] = truth.read_notes(os.path.join(set_dir, t["files"]["notes"]))
        t["wav"] = os.path.join(set_dir, t["files"]["audio"])
        truths.append(t)
    return manifest, truths


def file_digest(path):
    h = hashlib.sha1()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def cached_per_file(path, digests, wavs, fn, jobs):
    """fn(wav) for every file, kept in a JSON file keyed by name and the audio's digest, so that
    only new or changed items are run again."""
    cache = {}
    if os.path.exists(path):
        with open(path) as f:
            cache = json.load(f).get("results", {})
    todo = [(n, w) for (n, d), w in zip(digests.items(), wavs)
            if not isinstance(cache.get(n), dict) or cache[n].get("digest") != d]
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for (n, _), value in zip(todo, pool.map(lambda nw: fn(nw[1]), todo)):
            cache[n] = {"digest": digests[n], "value": value}
    with open(path, "w") as f:
        json.dump({"results": cache}, f)
    return {n: cache[n]["value"] for n in digests}


def run_essentia_cached(ess_dir, digests, wavs, jobs):
    """Essentia on the items whose audio changed since its last answer; returns failure lines."""
    os.makedirs(ess_dir, exist_ok=True)
    index_path = os.path.join(ess_dir, "digests.json")
    index = {}
    if os.path.exists(index_path):
        with open(index_path) as f:
            index = json.load(f)
    todo = [(n, w) for (n, d), w in zip(digests.items(), wavs)
            if index.get(n) != d or not os.path.exists(os.path.join(ess_dir, n + ".essentia.json"))]
    problems = []
    if todo:
        for n, _ in todo:
            index.pop(n, None)
            stale = os.path.join(ess_dir, n + ".essentia.json")
            if os.path.exists(stale):
                os.remove(stale)
        problems = systems.run_essentia([w for _, w in todo], ess_dir, jobs)
        for n, _ in todo:
            if os.path.exists(os.path.join(ess_dir, n + ".essentia.json")):
                index[n] = digests[n]
        with open(index_path, "w") as f:
            json.dump(index, f, indent=1)
    return problems


class Tally:
    """Sums for one (system, group) cell row."""

    def __init__(self):
        self.lists = {c: [] for c, _ in COLUMNS}
        self.chroma = {"blocks": 0, "top1": 0.0, "top3": 0.0, "cos_sum": 0.0}
        self.chord_sec = [0.0, 0.0]
        self.any_chords = False

    def add(self, column, value):
        self.lists[column].append(value)

    def add_chroma(self, s):
        if s is None:
            return
        for k in self.chroma:
            self.chroma[k] += s[k]
        self.lists["file_cos"].append(s["file_cos"])

    def add_chords(self, result):
        if result is None:
            self.lists["chords"].append(None)
            return
        self.any_chords = True
        self.chord_sec[0] += result[0]
        self.chord_sec[1] += result[1]

    def cells(self):
        out = {}
        for c, _ in COLUMNS:
            vals = self.lists[c]
            if c in ("top1", "top3", "block_cos"):
                n = self.chroma["blocks"]
                key = {"top1": "top1", "top3": "top3", "block_cos": "cos_sum"}[c]
                out[c] = self.chroma[key] / n if n else None
            elif c == "chords":
                out[c] = self.chord_sec[0] / self.chord_sec[1] if self.any_chords and self.chord_sec[1] else None
            elif not vals or all(v is None for v in vals):
                out[c] = None
            else:
                # A value missing for some items only counts as a miss (0).
                out[c] = float(np.mean([0.0 if v is None else float(v) for v in vals]))
        return out


def score_item(t, res, tallies):
    groups = group_of(t["kind"])
    music = t["tempo_bpm"] is not None
    expect_steady = music

    def tally(system):
        return [tallies.setdefault((system, g), Tally()) for g in groups]

    def add(system, column, value):
        for tl in tally(system):
            tl.add(column, value)

    row = {"name": t["name"], "kind": t["kind"], "rate": t["rate"], "truth_bpm": t["tempo_bpm"],
           "truth_key": t["key"]}
    ref_int, ref_lab = t["lab"]
    ref_loud = res["ffmpeg"]
    row["ffmpeg_lufs"] = ref_loud["integrated_lufs"] if ref_loud else None
    loud_scored = ref_loud is not None and ref_loud["integrated_lufs"] > -70.0   # ffmpeg's floor: silence

    def tempo(system, bpm, steady=None):
        row[f"{system}_bpm"] = bpm
        if music:
            hit, hit_x = metrics.tempo_hits(bpm, t["tempo_bpm"])
            add(system, "tempo", hit)
            add(system, "tempo_x", hit_x)
        if steady is not None or system in ("zqx", "essentia"):
            row[f"{system}_steady"] = steady
            add(system, "steady", None if steady is None else steady == expect_steady)

    def key_and_chords(system, key, chords):
        row[f"{system}_key"] = key
        if t["key"] is not None:
            add(system, "key", metrics.key_score(key, t["key"]))
        result = metrics.chord_overlap(ref_int, ref_lab, *chords) if chords is not None else None
        row[f"{system}_chords"] = None if result is None or not result[1] else result[0] / result[1]
        for tl in tally(system):
            tl.add_chords(result)

    def loudness(system, lufs, lra):
        row[f"{system}_lufs"] = lufs
        if loud_scored:
            add(system, "lufs", metrics.within(lufs, ref_loud["integrated_lufs"], LOUDNESS_TOLERANCE_LU))
            add(system, "lra", metrics.within(lra, ref_loud["range_lu"], LOUDNESS_TOLERANCE_LU))

    def chroma(system, estimate, starts, length):
        if estimate is None:
            return
        s = metrics.chroma_scores(estimate, starts, length, t["notes"], t["duration"])
        for tl in tally(system):
            tl.add_chroma(s)
        if s:
            row[f"{system}_top1"] = s["top1"] / s["blocks"]
        if t["kind"] == "noise":
            add(system, "spread", metrics.class_spread(estimate))

    # zqx
    for system, z in (("zqx", res["zqx_fft"]), ("zqx_mrfft", res["zqx_mrfft"])):
        summary = z["summary"]
        if system == "zqx":
            bpm, steady = systems.summary_tempo(summary)
            tempo("zqx", bpm, steady)
            loudness("zqx", *systems.summary_loudness(summary))
        key_and_chords(system, systems.summary_key(summary), systems.summary_chords(summary))
    tempo("zqx_baseline", res["zqx_fft"]["baseline_bpm"])
    for mode in ("fft", "mrfft"):
        c = res[f"zqx_{mode}"]["chroma"]
        if c is not None:
            chroma(f"{mode}_peak", c["peak"], c["starts"], c["length"])
            if c["mean"] is not None:
                chroma(f"{mode}_mean", c["mean"], c["starts"], c["length"])

    if res["stft"] is not None:
        chroma("stft", res["stft"]["values"], res["stft"]["starts"], res["stft"]["length"])
    row["zqx_dynamic_range"] = (res["zqx_fft"]["summary"] or {}).get("dynamic_range")
    row["zqx_baseline_dynamic_range"] = res["zqx_fft"]["dynamic_range"]

    tempo("aubio", res["aubio"])
    e = res["essentia"]
    if e is not None:
        tempo("essentia", e["bpm"], e["steady"])
        tempo("percival", e["percival_bpm"])
        key_and_chords("essentia", e["key"], e["chords"])
        loud = e["loudness"] or {}
        loudness("essentia", loud.get("integrated_lufs"), loud.get("range_lu"))
        if e["hpcp"] is not None:
            chroma("essentia", e["hpcp"]["values"], e["hpcp"]["starts"], e["hpcp"]["length"])
    return row


DYNAMIC_RANGE_GAIN_TOLERANCE = 0.01

LEGEND = """\
tempo 4%: share of items within 4 % of the true beat; 4% x2x3: also allowing x2, x1/2, x3, x1/3.
steady: share with steady = true on music, false on rubato, speech, silence and noise.
key: mir_eval weighted score. chords: mir_eval majmin overlap, duration-weighted.
LUFS, LRA: share within 0.1 LU of ffmpeg ebur128. dyn gain: share of -20 dB variants whose
dynamic range is within 1 % of the full-level item's.
chroma per 4096-sample block (zqx: its own blocks): top-1, top-3, cosine; file cos: per file.
spread: largest departure of a class from the mean of the 12 on noise. n/a: no answer."""


def score_gain_variants(rows, truths, tallies):
    """The dynamic range of an item at -20 dB against the same item at full level: within 1 %."""
    by_name = {r["name"]: r for r in rows}
    for t in truths:
        if not t.get("variant_of"):
            continue
        quiet, full = by_name[t["name"]], by_name[t["variant_of"]]
        for system, field in (("zqx", "zqx_dynamic_range"), ("zqx_baseline", "zqx_baseline_dynamic_range")):
            a, b = quiet.get(field), full.get(field)
            ok = None if a is None or b is None or not b else abs(a - b) <= DYNAMIC_RANGE_GAIN_TOLERANCE * abs(b)
            for g in group_of(t["kind"]):
                tallies.setdefault((system, g), Tally()).add("dyn_gain", ok)


def fmt(column, value):
    if value is None:
        return "n/a"
    if column == "spread":
        return f"±{100 * value:.0f}%"
    return f"{value:.2f}"


def print_table(tallies, group_sizes, out=sys.stdout):
    name_w = max(len(label) for _, label, _ in ROWS) + 2
    widths = [max(len(h), 6) + 1 for _, h in COLUMNS]
    header = "system".ljust(name_w) + "".join(h.rjust(w) for (_, h), w in zip(COLUMNS, widths))
    print(header, file=out)
    print("-" * len(header), file=out)
    table = {}
    for group, n in group_sizes.items():
        print(f"[{group}: {n} items]", file=out)
        for system, label, answers in ROWS:
            tl = tallies.get((system, group))
            if tl is None:
                continue
            cells = tl.cells()
            table.setdefault(group, {})[system] = cells
            shown = [fmt(c, cells[c]) if c in answers and _applies(c, group) else "" for c, _ in COLUMNS]
            if all(v in ("", "n/a") for v in shown) and system not in ("zqx", "zqx_mrfft"):
                continue
            print(label.ljust(name_w) + "".join(v.rjust(w) for v, w in zip(shown, widths)), file=out)
    return table


def _applies(column, group):
    """Whether a column is a measure of this group at all (blank when not, n/a when a system lacks it)."""
    beat = group == "music" or group.startswith("hard")
    pitched = beat or group == RUBATO_KIND
    if column in ("tempo", "tempo_x"):
        return beat
    if column in ("key", "top1", "top3", "block_cos", "file_cos"):
        return pitched
    if column == "spread":
        return group == "noise"
    if column in ("lufs", "lra"):
        return group != "silence"
    if column == "dyn_gain":
        return group == "music"
    return True


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--set", default=os.path.join(REPO, "build", "eval-set"), help="folder of the set")
    ap.add_argument("--run", default=os.path.join(REPO, "build", "eval-run"), help="folder for results")
    ap.add_argument("--zqx", default=os.path.join(REPO, "build", "default", "bin", "zqx"))
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--no-essentia", action="store_true", help="leave Essentia out (no Node)")
    ap.add_argument("--rerun-peers", action="store_true", help="run aubio, Essentia and ffmpeg again")
    ap.add_argument("--items", metavar="REGEX", help="score only the items whose name or kind matches")
    args = ap.parse_args()

    manifest, truths = load_truths(args.set)
    if args.items:
        try:
            pattern = re.compile(args.items)
        except re.error as e:
            sys.exit(f"score: --items: {e}")
        truths = [t for t in truths if pattern.search(t["name"]) or pattern.search(t["kind"])]
        if not truths:
            sys.exit(f"score: --items {args.items!r} matches no item")
    if not os.access(args.zqx, os.X_OK):
        sys.exit(f"score: no zqx executable at {args.zqx} (build the zqx target, or give --zqx)")
    os.makedirs(args.run, exist_ok=True)
    stamp = manifest["stamp"]
    names = [t["name"] for t in truths]
    wavs = [t["wav"] for t in truths]
    if args.rerun_peers:
        for f in ("aubio.json", "ffmpeg.json", os.path.join("essentia", "digests.json")):
            p = os.path.join(args.run, f)
            if os.path.exists(p):
                os.remove(p)
    digests = {n: file_digest(w) for n, w in zip(names, wavs)}

    problems = []
    # Both modes named: the default chroma mode is MRFFT.
    problems += systems.run_zqx(args.zqx, wavs, os.path.join(args.run, "zqx_fft"),
                                ["--set", "zqx_tonewheel:useMRFFT=false"], jobs=args.jobs)
    problems += systems.run_zqx(args.zqx, wavs, os.path.join(args.run, "zqx_mrfft"),
                                ["--set", "zqx_tonewheel:useMRFFT=true"], jobs=args.jobs)
    aubio = cached_per_file(os.path.join(args.run, "aubio.json"), digests, wavs, systems.run_aubio, args.jobs)
    ffmpeg = cached_per_file(os.path.join(args.run, "ffmpeg.json"), digests, wavs, systems.run_ffmpeg_ebur128,
                             args.jobs)
    ess_dir = os.path.join(args.run, "essentia")
    if not args.no_essentia:
        problems += run_essentia_cached(ess_dir, digests, wavs, args.jobs)

    tallies, rows, group_sizes = {}, [], {}
    for t in truths:
        for g in group_of(t["kind"]):
            group_sizes[g] = group_sizes.get(g, 0) + 1
        res = {"zqx_fft": systems.read_zqx(os.path.join(args.run, "zqx_fft"), t["name"]),
               "zqx_mrfft": systems.read_zqx(os.path.join(args.run, "zqx_mrfft"), t["name"]),
               "aubio": aubio.get(t["name"]), "ffmpeg": ffmpeg.get(t["name"]),
               "essentia": None if args.no_essentia else systems.read_essentia(ess_dir, t["name"]),
               "stft": systems.stft_chroma(t["wav"]) if t["kind"] != "silence" else None}
        rows.append(score_item(t, res, tallies))
    score_gain_variants(rows, truths, tallies)
    order = (["music", "hard cases (all)"] + [f"hard: {k}" for k in HARD_KINDS]
             + [RUBATO_KIND, "speech", "silence", "noise"])
    group_sizes = {g: group_sizes[g] for g in order if g in group_sizes}

    for p in problems:
        print(f"score: {p}", file=sys.stderr)
    table = print_table(tallies, group_sizes)
    print(LEGEND)

    keys = sorted({k for r in rows for k in r})
    with open(os.path.join(args.run, "items.csv"), "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=keys)
        w.writeheader()
        for r in rows:
            w.writerow({k: ("" if r.get(k) is None else
                            (f"{r[k]:.4f}" if isinstance(r[k], float) and math.isfinite(r[k]) else r[k]))
                        for k in keys})
    with open(os.path.join(args.run, "scores.json"), "w") as f:
        json.dump({"set_stamp": stamp, "groups": group_sizes, "table": table}, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
