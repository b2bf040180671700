"""zqx: audio-analysis plug-ins on numpy arrays.

zqx.Module runs one plug-in on blocks of samples.
"""

from ._errors import ModuleError, PluginError, ZqxError
from ._native import Module

__all__ = ["Module", "ModuleError", "PluginError", "ZqxError"]
