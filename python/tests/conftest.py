"""Shared helpers of the zqx Python tests: synthesised signals written as WAV files."""

import os
import wave

import numpy as np
import pytest

SR = 44100


def click_train(bpm, seconds, sr=SR):
    """Clicks (5 ms decaying noise bursts, fixed seed) every 60/bpm seconds, float32 in [-1, 1]."""
    signal = np.zeros(int(seconds * sr), dtype=np.float32)
    burst = int(0.005 * sr)
    rng = np.random.default_rng(7)
    click = (rng.standard_normal(burst) * np.exp(-np.arange(burst) / (burst / 5))).astype(np.float32) * 0.5
    for start in np.arange(0, seconds, 60.0 / bpm):
        i = int(start * sr)
        end = min(i + burst, signal.size)
        signal[i:end] += click[: end - i]
    return signal


def triad(frequencies, seconds, sr=SR):
    t = np.arange(int(seconds * sr)) / sr
    return (sum(np.sin(2 * np.pi * f * t) for f in frequencies) / (2 * len(frequencies))).astype(np.float32)


def write_wav(path, samples, sr=SR):
    """16-bit PCM; returns the samples as libsndfile reads them back (int / 32768)."""
    pcm = np.clip(np.round(samples * 32767), -32768, 32767).astype("<i2")
    with wave.open(os.fspath(path), "wb") as file:
        file.setnchannels(1)
        file.setsampwidth(2)
        file.setframerate(sr)
        file.writeframes(pcm.tobytes())
    return pcm.astype(np.float32) / 32768


def write_corrupt(path, kind):
    """A file with an audio name that is not audio ("garbage") or whose header announces more
    frames than it holds ("truncated")."""
    if kind == "garbage":
        path.write_bytes(b"this is not a sound file\n" * 40)
    else:
        write_wav(path, triad([440.0], 1.0))
        data = path.read_bytes()
        path.write_bytes(data[: len(data) // 2])


@pytest.fixture(scope="session")
def zqx_executable():
    path = os.environ.get("ZQX_EXECUTABLE")
    if not path or not os.path.isfile(path):
        pytest.skip("ZQX_EXECUTABLE does not name the built zqx command")
    return path
