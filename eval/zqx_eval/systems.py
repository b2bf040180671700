"""Runs the systems under comparison on the set and reads their answers into one shape per item:
zqx (extract, FFT and MRFFT chroma modes), aubio (`aubio tempo`), Essentia (essentia_peer.js under
Node) and ffmpeg's ebur128 filter as the loudness reference.

Every reader returns plain dicts; a value a system does not give, or did not give for this item,
is None.
"""

import concurrent.futures
import csv
import glob
import json
import math
import os
import re
import subprocess

import numpy as np

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def _run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


# ---------------------------------------------------------------- zqx

def run_zqx(zqx, wavs, out_dir, extra_args=(), jobs=2):
    """zqx extract on every file into out_dir; returns the stderr lines of failures."""
    os.makedirs(out_dir, exist_ok=True)
    for old in glob.glob(os.path.join(out_dir, "*")):
        os.remove(old)
    # "--" ends the options: --set takes several values and would read the file names as its own.
    result = _run([zqx, "extract", "-q", "--jobs", str(jobs), "-o", out_dir, *extra_args, "--", *wavs])
    return [l for l in result.stderr.splitlines() if l.strip()]


def _read_chroma_csv(path):
    with open(path) as f:
        r = csv.reader(f)
        header = next(r)
        rows = np.array([[float(v) for v in row] for row in r], dtype=float).reshape(-1, len(header))
    return header, rows


def read_zqx(out_dir, name):
    """Summary answers, baseline tempo and the chroma halves of one item's zqx results."""
    res = {"summary": None, "baseline_bpm": None, "chroma": None, "dynamic_range": read_dynamic_range(out_dir, name)}
    json_path = os.path.join(out_dir, name + ".json")
    if not os.path.exists(json_path):
        return res
    with open(json_path) as f:
        doc = json.load(f)
    res["summary"] = doc.get("summary")

    rhythm_path = os.path.join(out_dir, name + ".rhythm.csv")
    if os.path.exists(rhythm_path):
        header, rows = _read_chroma_csv(rhythm_path)
        lag_cols = [(i, int(h[4:])) for i, h in enumerate(header) if re.fullmatch(r"lag_\d+", h)]
        if len(rows) and lag_cols:
            # What `zqx demo` does: sum the periodicity profile over the groups, tempo at its peak lag
            # (frames of 10 ms).
            profile = rows[:, [i for i, _ in lag_cols]].sum(axis=0)
            lag = lag_cols[int(np.argmax(profile))][1]
            res["baseline_bpm"] = 6000.0 / lag

    chroma_path = os.path.join(out_dir, name + ".chroma.csv")
    if os.path.exists(chroma_path):
        header, rows = _read_chroma_csv(chroma_path)
        feat = doc.get("features", {}).get("chroma", {})
        rate = doc.get("analysisSampleRate") or doc.get("sampleRate")
        length = feat.get("frameLength") or feat.get("blockLength")
        peak_cols = [i for i, h in enumerate(header) if h.startswith("peak_")]
        mean_cols = [i for i, h in enumerate(header) if h.startswith("mean_")]
        if rate and length and len(peak_cols) == 12:
            res["chroma"] = {"starts": rows[:, 0], "length": float(length) / float(rate),
                             "peak": rows[:, peak_cols],
                             "mean": rows[:, mean_cols] if len(mean_cols) == 12 else None}
    return res


def summary_tempo(summary):
    t = (summary or {}).get("tempo") or {}
    return t.get("bpm"), t.get("steady")


def summary_key(summary):
    k = (summary or {}).get("key") or {}
    if k.get("name"):
        return k["name"]
    if k.get("tonic") and k.get("mode"):
        return f"{k['tonic']} {k['mode']}"
    return None


def summary_chords(summary):
    chords = (summary or {}).get("chords")
    if not chords:
        return None
    return (np.array([[c["start"], c["end"]] for c in chords], dtype=float), [c["label"] for c in chords])


def summary_loudness(summary):
    l = (summary or {}).get("loudness") or {}
    return l.get("integrated_lufs"), l.get("range_lu")


# ---------------------------------------------------------------- aubio

def run_aubio(wav):
    """`aubio tempo FILE` prints 'NNN.NN bpm'; None when it prints nothing usable."""
    result = _run(["aubio", "tempo", wav])
    m = re.search(r"([0-9.]+)\s*bpm", result.stdout)
    return float(m.group(1)) if m else None


# ---------------------------------------------------------------- ffmpeg ebur128

def run_ffmpeg_ebur128(wav):
    """Integrated loudness, loudness range and sample peak from ffmpeg's ebur128 filter.

    The filter's closing summary rounds to 0.1; its per-frame metadata (last frame: the whole file)
    carries three decimals, which a 0.1 LU comparison needs."""
    result = _run(["ffmpeg", "-hide_banner", "-nostats", "-i", wav, "-af",
                   "ebur128=metadata=1:peak=sample,ametadata=mode=print:file=-", "-f", "null", "-"])
    values = {}
    for line in result.stdout.splitlines():
        m = re.match(r"lavfi\.r128\.(I|LRA|sample_peak)=(-?[0-9.inf]+)", line.strip())
        if m:
            values[m.group(1)] = float(m.group(2))
    if "I" not in values:
        return None
    peak = values.get("sample_peak")
    return {"integrated_lufs": values["I"], "range_lu": values.get("LRA"),
            "sample_peak_dbfs": 20 * math.log10(peak) if peak else -math.inf}


# ---------------------------------------------------------------- Essentia (WASM, Node)

def run_essentia(wavs, out_dir, jobs=2):
    """essentia_peer.js over the files, split over `jobs` Node processes; returns failure lines."""
    os.makedirs(out_dir, exist_ok=True)
    script = os.path.join(HERE, "essentia_peer.js")
    chunks = [wavs[i::jobs] for i in range(jobs) if wavs[i::jobs]]
    errors = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        for result in pool.map(lambda c: _run(["node", script, out_dir, *c], cwd=HERE), chunks):
            errors += [l for l in result.stderr.splitlines() if l.strip()]
    return errors


_ESSENTIA_CHORD = re.compile(r"^([A-G][#b]?)(m?)$")


def essentia_chord_label(label):
    """Essentia's 'C#m' / 'Bb' -> Harte 'C#:min' / 'Bb:maj'."""
    m = _ESSENTIA_CHORD.match(label)
    if not m:
        return "X"
    return f"{m.group(1)}:{'min' if m.group(2) else 'maj'}"


def read_essentia(out_dir, name):
    """Essentia's answers for one item; an algorithm that failed on it (essentia_peer.js reports
    which) gives None for its fields."""
    path = os.path.join(out_dir, name + ".essentia.json")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        doc = json.load(f)
    rate, frame = doc["rate"], doc["frame"]
    res = {"bpm": None, "steady": None, "percival_bpm": None, "key": None, "chords": None, "loudness": None,
           "hpcp": None}
    rhythm = doc.get("rhythm_extractor_2013")
    if rhythm:
        res["bpm"] = rhythm["bpm"]
        # RhythmExtractor2013's documentation rates a confidence below 1.5 as low.
        res["steady"] = rhythm["confidence"] >= 1.5
    if doc.get("percival"):
        res["percival_bpm"] = doc["percival"]["bpm"]
    if doc.get("key"):
        res["key"] = f"{doc['key']['key']} {doc['key']['scale']}"
    if doc.get("chords"):
        hop = doc["chords"]["hop"]
        labels = [essentia_chord_label(l) for l in doc["chords"]["labels"]]
        # One chord per HPCP frame of `frame` samples every `hop`: frame i speaks for the hop around its centre.
        centre = (frame - hop) / 2.0
        intervals = np.array([[(i * hop + centre) / rate, ((i + 1) * hop + centre) / rate]
                              for i in range(len(labels))]).reshape(-1, 2)
        if len(intervals):
            intervals[0, 0] = 0.0
            res["chords"] = (intervals, labels)
    res["loudness"] = doc.get("loudness")
    if doc.get("hpcp_blocks"):
        hpcp = np.array(doc["hpcp_blocks"]["values"], dtype=float).reshape(-1, 12)
        block = doc["hpcp_blocks"]["block"]
        res["hpcp"] = {"starts": np.arange(len(hpcp)) * block / rate, "length": block / rate, "values": hpcp}
    return res


# ---------------------------------------------------------------- reference chroma (numpy)

def read_wav_mono(path):
    """(samples as float64 in [-1, 1), rate) of a 16-bit PCM WAV, channels averaged."""
    import wave
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2:
            raise ValueError(f"{path}: only 16-bit PCM is read here")
        rate, channels = w.getframerate(), w.getnchannels()
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(float) / 32768.0
    return data.reshape(-1, channels).mean(axis=1), rate


def stft_chroma(path, block=4096, low_hz=100.0, high_hz=5000.0):
    """A plain STFT chroma as a reference point: per block of `block` samples, Hann window, power
    spectrum, each bin between low_hz and high_hz (zqx's default band) added to the class of its
    nearest equal-tempered pitch (A = 440 Hz). Returns the same shape as the other chroma readers."""
    x, rate = read_wav_mono(path)
    n = int(np.ceil(len(x) / block))
    frames = np.zeros((n, block))
    frames.reshape(-1)[:len(x)] = x
    power = np.abs(np.fft.rfft(frames * np.hanning(block), axis=1)) ** 2
    freqs = np.fft.rfftfreq(block, 1.0 / rate)
    use = (freqs >= low_hz) & (freqs <= high_hz)
    classes = (np.round(12 * np.log2(freqs[use] / 440.0)).astype(int) + 9) % 12
    chroma = np.zeros((n, 12))
    for pc in range(12):
        chroma[:, pc] = power[:, use][:, classes == pc].sum(axis=1)
    return {"starts": np.arange(n) * block / rate, "length": block / rate, "values": chroma}


def read_dynamic_range(out_dir, name):
    """The swellgrid value zqx extract writes in NAME.dynamics.csv (one row), or None."""
    path = os.path.join(out_dir, name + ".dynamics.csv")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        rows = list(csv.DictReader(f))
    return float(rows[-1]["dynamic_range"]) if rows and rows[-1].get("dynamic_range") else None
