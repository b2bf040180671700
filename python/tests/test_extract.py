"""zqx.extract, extract_many and load_result against the zqx command's result files."""

import json
import os
import subprocess

import numpy as np
import pandas
import pytest

import zqx
from conftest import SR, click_train, triad, write_corrupt, write_wav


@pytest.fixture(scope="module")
def song(tmp_path_factory):
    folder = tmp_path_factory.mktemp("song")
    signal = triad([261.63, 329.63, 392.0], 6.0) + click_train(120, 6.0)
    path = folder / "song.wav"
    samples = write_wav(path, signal)
    return path, samples


def without_plugin_files(document):
    # The command loads the plug-ins from its own folder, the package from the package's.
    document = json.loads(json.dumps(document))
    for module in document.get("modules", []):
        module.pop("file", None)
    return document


def test_extract_equals_the_command_result_files(song, tmp_path, zqx_executable):
    path, samples = song
    env = {k: v for k, v in os.environ.items() if k != "ZQX_PLUGIN_PATH"}
    subprocess.run([zqx_executable, "extract", "-q", str(path), "-o", str(tmp_path)], check=True, env=env)
    written = zqx.load_result(tmp_path / "song.json")
    from_file = zqx.extract(path)
    from_array = zqx.extract(samples, sr=SR)

    for name in ("chroma", "rhythm", "dynamics"):
        np.testing.assert_array_equal(from_file.streams[name].values, written.streams[name].values, err_msg=name)
        np.testing.assert_array_equal(from_file.times[name], written.times[name], err_msg=name)
        np.testing.assert_array_equal(from_array.streams[name].values, written.streams[name].values, err_msg=name)
        # The CSV the command wrote is the stream's DataFrame.
        csv = pandas.read_csv(tmp_path / f"song.{name}.csv", index_col="time", float_precision="round_trip")
        frame = from_file.to_pandas(name)
        assert list(frame.columns) == list(csv.columns)
        np.testing.assert_array_equal(frame.index.to_numpy(), csv.index.to_numpy())
        np.testing.assert_array_equal(frame.to_numpy(), csv.to_numpy(dtype=np.float32))
    assert from_file.dynamic_range == written.dynamic_range is not None
    assert from_file.summary == written.summary
    assert without_plugin_files(from_file.document) == without_plugin_files(written.document)
    np.testing.assert_array_equal(from_array.bands, from_file.bands)

    assert written.bands is None
    bands = from_file.bands
    assert bands.dtype == np.float32 and bands.shape[1] == from_file.document["bandEnergy"]["bands"]
    assert bands.shape[0] == from_file.document["bandEnergy"]["frames"]
    assert from_file.chroma.shape == (len(from_file.times.chroma), 24)
    assert from_file.rhythm.shape[0] == len(from_file.times["rhythm"])


def test_extract_settings_reach_the_chain(song):
    path, _ = song
    fft = zqx.extract(path, zqx_tonewheel={"useMRFFT": False})
    tonewheel = next(m for m in fft.document["modules"] if m["name"] == "zqx_tonewheel")
    assert tonewheel["moduleParams"]["useMRFFT"] is False
    assert not np.array_equal(fft.chroma, zqx.extract(path).chroma)
    assert zqx.extract(path, rate=22050).analysis_sample_rate == 22050
    assert zqx.extract(path, rate=np.int64(32000)).analysis_sample_rate == 32000


def test_extract_many_keeps_order_and_reports_every_failure(song, tmp_path):
    path, _ = song
    other = tmp_path / "other.wav"
    write_wav(other, triad([220.0, 277.18, 329.63], 3.0))
    broken = tmp_path / "broken.wav"
    write_corrupt(broken, "garbage")

    results = zqx.extract_many([path, other], jobs=2)
    assert [r.path for r in results] == [str(path), str(other)]
    np.testing.assert_array_equal(results[1].chroma, zqx.extract(other).chroma)

    with pytest.raises(zqx.ExtractError) as caught:
        zqx.extract_many([path, broken, other], jobs=2)
    assert list(caught.value.failures) == [str(broken)]
    assert str(broken) in caught.value.failures[str(broken)]
    assert [r is None for r in caught.value.results] == [False, True, False]


@pytest.mark.parametrize("call, error, pattern", [
    (lambda y, p: zqx.extract(y), ValueError, r"sr .* is needed"),
    (lambda y, p: zqx.extract(p, sr=SR), ValueError, r"sr is read from the file"),
    (lambda y, p: zqx.extract(y, sr="44100"), TypeError, r"sr must be an int"),
    (lambda y, p: zqx.extract((y * 32767).astype(np.int16), sr=SR), TypeError, r"samples must hold floating-point"),
    (lambda y, p: zqx.extract(np.stack([y, y]), sr=SR), ValueError, r"samples must be 1-D"),
    (lambda y, p: zqx.extract(y, sr=SR, nonsense=1), TypeError, r"'nonsense'.*zqx_tonewheel"),
    (lambda y, p: zqx.extract(y, sr=SR, zqx_tonewheel={"useMRFFT": [1]}), TypeError,
     r"zqx_tonewheel\['useMRFFT'\] must be bool, int, float or str"),
    (lambda y, p: zqx.extract(y, sr=SR, rate=-5), ValueError, r"rate must be a positive int"),
    (lambda y, p: zqx.extract(y, sr=SR, rate=True), ValueError, r"rate must be a positive int"),
    (lambda y, p: zqx.extract(p.parent / "missing.wav"), zqx.AudioFileError, r"missing\.wav"),
    (lambda y, p: zqx.extract_many([p], jobs=0), ValueError, r"jobs must be a positive int"),
    (lambda y, p: zqx.load_result(p), ValueError, r"not a zqx result document"),
])
def test_bad_arguments_name_what_is_wrong(song, call, error, pattern):
    path, samples = song
    with pytest.raises(error, match=pattern):
        call(samples, path)


def test_a_low_rate_array_is_converted_before_the_chroma_stage():
    speech_rate = 8000
    result = zqx.extract(triad([440.0], 2.0, sr=speech_rate), sr=speech_rate)
    assert result.sample_rate == speech_rate
    assert result.analysis_sample_rate >= 22050
    assert result.chroma.shape[0] > 0


@pytest.mark.parametrize("bpm", [60, 90, 120, 150, 200])
def test_a_click_train_gives_its_tempo(bpm):
    tempo = zqx.extract(click_train(bpm, 12.0), sr=SR).summary["tempo"]
    assert tempo["steady"] is True
    assert tempo["bpm"] == pytest.approx(bpm, rel=0.02)


def test_a_triad_gives_its_key_and_chord():
    summary = zqx.extract(triad([220.0, 261.63, 329.63], 6.0), sr=SR).summary
    assert summary["key"]["name"] == "A minor"
    assert [c["label"] for c in summary["chords"]] == ["A:min"]
    assert summary["loudness"]["integrated_lufs"] < 0
