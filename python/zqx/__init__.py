"""zqx: audio-analysis plug-ins on numpy arrays.

zqx.Module runs one plug-in on blocks of samples; zqx.extract runs the zqx command's extract chain
(chroma, rhythm, dynamics and the summary) on a file or an array and returns a zqx.Result;
zqx.extract_many does so for many files on native threads; zqx.load_result reads the files the
zqx command writes. Corpus runs on Dask: import zqx.dask.
"""

from ._errors import AudioFileError, ModuleError, PluginError, ZqxError
from ._extract import ExtractError, extract, extract_many
from ._native import Module
from ._result import Result, Stream, load_result

__all__ = ["AudioFileError", "ExtractError", "Module", "ModuleError", "PluginError", "Result", "Stream", "ZqxError",
           "extract", "extract_many", "load_result"]
