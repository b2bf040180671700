"""zqx.Result: the features and summary of one analysed input, from zqx.extract or from the
files the zqx command writes (zqx.load_result)."""

import json
import os
from collections.abc import Mapping

import numpy as np


class Stream:
    """One feature stream: values (rows x width, float32), times (seconds, float64, one per row),
    column names and the plug-in that produced it."""

    __slots__ = ("name", "plugin", "values", "times", "columns", "facts")

    def __init__(self, name, plugin, values, times, columns, facts=None):
        self.name = name
        self.plugin = plugin
        self.values = values
        self.times = times
        self.columns = list(columns)
        self.facts = dict(facts or {})

    def to_pandas(self):
        import pandas

        return pandas.DataFrame(self.values, index=pandas.Index(self.times, name="time"), columns=self.columns)

    def __repr__(self):
        return f"<zqx.Stream {self.name}: {self.values.shape[0]} rows x {self.values.shape[1]} values>"


class _ByName(Mapping):
    """Read-only name -> value mapping that also answers attribute access (times.chroma)."""

    def __init__(self, items):
        self._items = dict(items)

    def __getitem__(self, key):
        return self._items[key]

    def __iter__(self):
        return iter(self._items)

    def __len__(self):
        return len(self._items)

    def __getattr__(self, key):
        try:
            return self._items[key]
        except KeyError:
            raise AttributeError(key) from None

    def __repr__(self):
        return repr(self._items)


def _stream_from_json(name, entry, arrays=None):
    if arrays is not None:
        values, times = arrays
    else:
        width = int(entry["valuesPerRow"])
        rows = entry["values"]
        values = np.asarray(rows, dtype=np.float32).reshape(len(rows), width)
        times = np.asarray(entry["times"], dtype=np.float64)
    facts = {k: v for k, v in entry.items() if k not in ("plugin", "valuesPerRow", "columns", "times", "values")}
    return Stream(name, entry.get("plugin"), values, times, entry.get("columns", []), facts)


class Result:
    """The analysis of one input.

    chroma, rhythm: float32 arrays, one row per block or group (time along axis 0).
    bands: the band-energy frames the rhythm and dynamics stages read, one row per 10 ms frame
        (float32); only for an extraction run in this process, None for a result read from files.
    times, columns: per stream name, the row times in seconds and the column names
        (result.times.chroma, result.columns["rhythm"]).
    dynamic_range: the dynamics stream's value for the whole input.
    summary: the JSON document's "summary" object ({} when the document has none).
    document: the JSON document as written by the zqx command, with the streams' values and times
        left out (they are in streams).
    """

    def __init__(self, document, bands=None, arrays=None):
        # arrays: {stream: (values, times)} when the document leaves the streams' numbers out.
        features = document.get("features", {})
        streams = {name: _stream_from_json(name, entry, None if arrays is None else arrays[name])
                   for name, entry in features.items()}
        if bands is not None:
            period = document.get("bandEnergy", {}).get("framePeriodSeconds", 0.01)
            streams["bands"] = Stream("bands", None, bands, np.arange(bands.shape[0]) * period,
                                      [f"band_{i}" for i in range(bands.shape[1])])
        self.streams = _ByName(streams)
        self.document = {k: v for k, v in document.items() if k != "features"}
        self.document["features"] = {
            name: {k: v for k, v in entry.items() if k not in ("values", "times")} for name, entry in features.items()
        }
        self.summary = document.get("summary") or {}
        dynamics = features.get("dynamics", {})
        self.dynamic_range = dynamics.get("value")

    def _values(self, name):
        stream = self.streams.get(name)
        return None if stream is None else stream.values

    @property
    def chroma(self):
        return self._values("chroma")

    @property
    def rhythm(self):
        return self._values("rhythm")

    @property
    def bands(self):
        return self._values("bands")

    @property
    def times(self):
        return _ByName({name: s.times for name, s in self.streams.items()})

    @property
    def columns(self):
        return _ByName({name: s.columns for name, s in self.streams.items()})

    @property
    def path(self):
        return self.document.get("file")

    @property
    def sample_rate(self):
        return self.document.get("sampleRate")

    @property
    def analysis_sample_rate(self):
        return self.document.get("analysisSampleRate")

    @property
    def duration(self):
        return self.document.get("durationSeconds")

    def to_pandas(self, stream=None):
        """A DataFrame per stream (index: time in seconds, columns: the stream's columns): a dict of
        them by stream name, or the one named."""
        if stream is not None:
            if stream not in self.streams:
                raise KeyError(f"no stream {stream!r}; this result has {', '.join(self.streams)}")
            return self.streams[stream].to_pandas()
        return {name: s.to_pandas() for name, s in self.streams.items()}

    def __repr__(self):
        shapes = ", ".join(f"{name} {s.values.shape}" for name, s in self.streams.items())
        return f"<zqx.Result {self.path}: {shapes}>"


def load_result(json_path):
    """Reads NAME.json as written by `zqx extract` (or zqx.dask.extract_corpus) into a Result."""
    path = os.fspath(json_path)
    with open(path, encoding="utf-8") as file:
        try:
            document = json.load(file)
        except ValueError as error:  # JSONDecodeError, UnicodeDecodeError
            raise ValueError(f"{path}: not a zqx result document ({error})") from None
    if not isinstance(document, dict) or "features" not in document:
        raise ValueError(f"{path}: not a zqx result document (no \"features\")")
    return Result(document)
