"""zqx.Module: plug-ins loaded from the package and driven with numpy blocks."""

import os
import re
import shutil

import numpy as np
import pytest

import zqx

SR = 44100
# The chain's tonewheel settings (README, "zqx extract"); the module has no usable defaults.
TONEWHEEL = {"loedge": 100, "hiedge": 5000, "earTransfer": True, "numMaxima": 10, "useMRFFT": False}
PITCH_CLASSES = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]


def tones(frequencies, n=4096, sr=SR):
    t = np.arange(n) / sr
    return sum(np.sin(2 * np.pi * f * t) for f in frequencies).astype(np.float32) / len(frequencies)


def midi_hz(note):
    return 440.0 * 2.0 ** ((note - 69) / 12)


@pytest.mark.parametrize("root, third", [(60, 4), (57, 3), (66, 4), (62, 3)],
                         ids=["C major", "A minor", "F# major", "D minor"])
@pytest.mark.parametrize("use_mrfft", [False, True], ids=["fft", "mrfft"])
def test_a_triad_gives_its_chord_tones(root, third, use_mrfft):
    module = zqx.Module("zqx_tonewheel", dict(TONEWHEEL, useMRFFT=use_mrfft))
    notes = [root, root + third, root + 7]
    chroma = module.process(tones([midi_hz(n) for n in notes], n=8192))
    assert chroma.dtype == np.float32 and chroma.shape == (24,)
    strongest = {PITCH_CLASSES[i] for i in np.argsort(chroma[:12])[-3:]}
    assert strongest == {PITCH_CLASSES[n % 12] for n in notes}


def test_results_are_fresh_arrays_and_inputs_are_read_as_given():
    module = zqx.Module("zqx_tonewheel", TONEWHEEL)
    block = tones([261.63])
    first = module.process(block)
    kept = first.copy()
    module.process(tones([440.0]))
    # The module reuses its storage from block to block; the array handed out must not change.
    np.testing.assert_array_equal(first, kept)
    # The same samples as float64, as a strided view and as a 1 x n matrix give the same answer.
    wide = np.zeros(2 * block.size, dtype=np.float32)
    wide[::2] = block
    for same in (block.astype(np.float64), wide[::2], block.reshape(1, -1)):
        np.testing.assert_array_equal(zqx.Module("zqx_tonewheel", TONEWHEEL).process(same), first)


def test_info_kinds_and_global_params_after_construction():
    rows = {
        "zqx_tonewheel": (TONEWHEEL, "matrix", {"samplingRate": 44100, "windowSize": 4096}),
        "zqx_pulsegrid": ({"groupFrames": 400, "hanningLen": 5, "onsetThresh": 0.1, "loBPM": 60, "hiBPM": 200},
                          "matrix", {"samplingRate": 44100}),
        "zqx_swellgrid": ({"hanningLen": 50, "size": 20}, "vector", {"samplingRate": 44100}),
        # ratefold writes the rate and window size it produces into the globals.
        "zqx_ratefold": ({"inSampRate": 44100, "outSampRate": 22050}, "vector",
                         {"samplingRate": 22050, "windowSize": 2048}),
    }
    for name, (params, kind, expected_globals) in rows.items():
        module = zqx.Module(name, params)
        assert module.input_kind == kind, name
        assert module.output_kind == "vector", name
        assert set(module.info) == {"author", "contact", "owner_notice", "date", "version", "description"}
        assert re.fullmatch(r"[A-Z][a-z]{2} [ 1-3]\d \d{4}", module.info["date"]), (name, module.info)
        assert module.info["description"], name
        assert module.global_params.items() >= expected_globals.items(), (name, module.global_params)
        assert module.params == params
        assert os.path.dirname(module.path) == os.path.dirname(zqx._native.__file__)


def test_resampling_by_blocks_and_end_of_stream():
    module = zqx.Module("zqx_ratefold", {"inSampRate": 44100, "outSampRate": 22050, "antiAliasFilter": True})
    assert module.output_size(4096) == 2048
    signal = tones([1000.0], n=4 * 4096)
    out = [module.process(signal[i:i + 4096]) for i in range(0, signal.size, 4096)]
    assert [o.size for o in out] == [2048] * 4
    # A 1 kHz tone at 22.05 kHz: 22.05 samples per period, away from the filter's start.
    joined = np.concatenate(out)[1024:]
    crossings = np.count_nonzero(np.diff(np.signbit(joined)))
    assert abs(crossings / 2 / (joined.size / 22050) - 1000) < 10

    levels = zqx.Module("zqx_swellgrid", {"hanningLen": 5, "size": 1})
    assert levels.process(np.ones(1, np.float32)).size == 0
    levels.set_end_of_stream()
    assert levels.is_end_of_stream
    assert levels.process(np.ones(1, np.float32)).shape == (1,)


@pytest.mark.parametrize("params, global_params, message", [
    (TONEWHEEL, {"samplingRate": 8000}, "Chroma module does not support sampling rates smaller than 22050 Hz"),
    ({"loedge": 5000, "hiedge": 100}, {},
     "Chroma module requires parameter hiedge to be strictly greater than parameter loedge"),
    (TONEWHEEL, {"overlapSize": 512}, "overlapSize out of range"),
])
def test_a_rejected_parameter_is_a_module_error_with_the_module_message(params, global_params, message):
    with pytest.raises(zqx.ModuleError) as caught:
        zqx.Module("zqx_tonewheel", params, global_params)
    assert str(caught.value) == message
    assert caught.value.module == "zqx_tonewheel"


def test_a_module_failing_on_a_block_is_a_module_error():
    module = zqx.Module("zqx_swellgrid", {"hanningLen": 5, "size": 10})
    with pytest.raises(zqx.ModuleError, match="^subvector parameters out of range$"):
        module.process(np.zeros(5, np.float32))


@pytest.mark.parametrize("block, error, pattern", [
    (np.zeros(16, np.int16), TypeError, r"block must hold floating-point.*int16.*scale integer"),
    (np.zeros(16, np.complex64), TypeError, r"block .*complex64"),
    (np.zeros(16, bool), TypeError, r"block .*bool"),
    (np.array(["a", "b"]), TypeError, r"block .*<U1"),
    ([[1.0], [2.0, 3.0]], TypeError, r"block must be a numpy array of floats"),
    (np.float32(1.0), ValueError, r"block must be 1-D .* or 2-D .*shape \(\)"),
    (np.zeros((2, 2, 2), np.float32), ValueError, r"block must be 1-D .*shape \(2, 2, 2\)"),
])
def test_wrong_dtype_or_shape_names_the_argument(block, error, pattern):
    module = zqx.Module("zqx_tonewheel", TONEWHEEL)
    with pytest.raises(error, match=pattern):
        module.process(block)


def test_a_matrix_for_a_vector_module_is_refused():
    module = zqx.Module("zqx_swellgrid", {"hanningLen": 5, "size": 2})
    with pytest.raises(ValueError, match=r"block must be 1-D: zqx_swellgrid reads vector blocks; got shape \(2, 3\)"):
        module.process(np.zeros((2, 3), np.float32))


@pytest.mark.parametrize("params, global_params, error, pattern", [
    ({"loedge": [100]}, {}, TypeError, r"params\['loedge'\] must be bool, int, float or str; got list"),
    ({1: 100}, {}, TypeError, r"params names must be str; got int"),
    ({"loedge": 2 ** 31}, {}, ValueError, r"params\['loedge'\] = 2147483648 is outside the 32-bit"),
    ("loedge=100", {}, TypeError, r"params must be a dict"),
    (TONEWHEEL, {"samplingRate": None}, TypeError, r"global_params\['samplingRate'\]"),
])
def test_bad_parameter_values_name_the_parameter(params, global_params, error, pattern):
    with pytest.raises(error, match=pattern):
        zqx.Module("zqx_tonewheel", params, global_params)


def test_numpy_scalars_keep_their_type():
    module = zqx.Module("zqx_tonewheel", {"loedge": np.int64(100), "hiedge": np.int32(5000),
                                           "earTransfer": np.bool_(True), "numMaxima": 10, "useMRFFT": False},
                        {"samplingRate": np.int16(22050)})
    assert module.params["loedge"] == 100 and type(module.params["loedge"]) is int
    assert module.params["earTransfer"] is True
    assert module.global_params["samplingRate"] == 22050 and module.global_params["windowSize"] == 2048


def test_plugin_discovery(tmp_path, monkeypatch):
    with pytest.raises(zqx.PluginError, match=r"unknown plug-in 'zqx_nonesuch'.*" + re.escape(str(tmp_path))):
        monkeypatch.setenv("ZQX_PLUGIN_PATH", str(tmp_path))
        zqx.Module("zqx_nonesuch")
    # ZQX_PLUGIN_PATH comes before the package's own folder.
    shutil.copy(zqx.Module("zqx_swellgrid", {"hanningLen": 5, "size": 1}).path, tmp_path)
    assert zqx.Module("zqx_swellgrid", {"hanningLen": 5, "size": 1}).path == str(tmp_path / "zqx_swellgrid.so")
    (tmp_path / "broken.so").write_bytes(b"not a library")
    with pytest.raises(zqx.PluginError, match="cannot load plug-in '.*broken.so'"):
        zqx.Module(str(tmp_path / "broken.so"))
