"""zqx.extract and zqx.extract_many: the zqx command's extract chain on arrays and files."""

import json
import os

import numpy as np

from . import _native
from ._errors import ZqxError
from ._result import Result


class ExtractError(ZqxError):
    """Some inputs of extract_many failed. .failures maps each failed path to its message;
    .results holds the Result of every input in order, None where it failed."""

    def __init__(self, failures, results):
        lines = "; ".join(failures.values())
        super().__init__(f"{len(failures)} of {len(results)} inputs failed: {lines}")
        self.failures = failures
        self.results = results


ExtractError.__module__ = "zqx"


def _result(document, arrays, bands):
    return Result(json.loads(document), bands, arrays)


def _is_path(value):
    return isinstance(value, (str, bytes, os.PathLike))


def extract(path_or_array, sr=None, **settings):
    """Runs the zqx command's extract chain and returns a zqx.Result.

    path_or_array: an audio file (anything libsndfile reads; channels are mixed to mono as their
        mean), or a 1-D array of mono samples (float32 is read in place, other floats converted).
    sr: the sampling rate in Hz of an array; leave it out for a file (the file says).
    settings: rate=HZ analyses at HZ (zqx_ratefold converts first), as `zqx extract --rate`; a
        plug-in's name with a dict replaces or adds its parameters, as `--set`:
        zqx.extract(y, sr=44100, zqx_tonewheel={"useMRFFT": True}).

    The features equal those of `zqx extract` on the same samples. Raises TypeError/ValueError for
    bad arguments, zqx.AudioFileError for a file that cannot be read, zqx.PluginError and
    zqx.ModuleError as zqx.Module does.
    """
    plan = _native.Plan(settings)
    if _is_path(path_or_array):
        if sr is not None:
            raise ValueError("sr is read from the file; leave it out when passing a path")
        return _result(*_native.extract_file(plan, os.fsdecode(path_or_array)))
    if sr is None:
        raise ValueError("sr (the sampling rate in Hz) is needed with an array of samples")
    if isinstance(sr, (bool, np.bool_)) or not isinstance(sr, (int, np.integer)):
        raise TypeError(f"sr must be an int number of Hz; got {type(sr).__name__}")
    return _result(*_native.extract_array(plan, path_or_array, int(sr)))


def extract_many(paths, jobs=None, **settings):
    """extract() on every file of paths, on `jobs` native threads (default: one per core) with the
    GIL released; returns the Results in the order of paths.

    Every file is tried; when some fail, zqx.ExtractError names them and carries the other results.
    """
    paths = [os.fsdecode(p) for p in paths]
    if jobs is None:
        jobs = os.cpu_count() or 1
    if isinstance(jobs, bool) or not isinstance(jobs, (int, np.integer)) or jobs < 1:
        raise ValueError(f"jobs must be a positive int; got {jobs!r}")
    plan = _native.Plan(settings)
    outcomes = _native.extract_files(plan, paths, int(jobs))
    results, failures = [], {}
    for path, (extraction, error) in zip(paths, outcomes):
        if error is None:
            results.append(_result(*extraction))
        else:
            results.append(None)
            failures[path] = error
    if failures:
        raise ExtractError(failures, results)
    return results
