"""The exceptions zqx raises besides TypeError and ValueError."""


class ZqxError(Exception):
    """Base of zqx's own exceptions."""


class ModuleError(ZqxError):
    """A module rejected its parameters or failed on a block.

    str(error) is the module's own message, unchanged; error.module names the plug-in.
    """

    def __init__(self, message, module=None):
        super().__init__(message)
        self.module = module


class PluginError(ZqxError):
    """A plug-in could not be found or loaded; the message names it and where zqx looked."""


class AudioFileError(ZqxError):
    """An input file, folder or playlist that cannot be read; the message names it and says why."""


# Tracebacks name them as users import them.
for _error in (ZqxError, ModuleError, PluginError, AudioFileError):
    _error.__module__ = "zqx"
